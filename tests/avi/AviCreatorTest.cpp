// The AVI creator window on real widgets: layout, adding and removing, the swapping drop,
// and productions on the worker thread read back with our RIFF walk and ffprobe.
#include "avi/AviCreator.h"

#include <QCheckBox>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "avi/AviTestSupport.h"
#include "avi/OcProgressDlg.h"
#include "gui/OcFileDialog.h"
#include "imaging/Jpeg.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using ocelis::Dialogs;

namespace {

class AviCreatorTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir_ = ocelis::test::FreshTestDir("avicreator");
        Dialogs::SetTestMode(true);
        Dialogs::ClearTestState();
        settings_.SavePath = dir_.string();
        CamViewer = &settings_;
    }
    void TearDown() override {
        while (!FormList.empty())
            delete FormList.back();
        CamViewer = nullptr;
        Dialogs::SetTestMode(false);
        Dialogs::ClearTestState();
    }

    TfoAviCreator* Open() {
        auto* w = new TfoAviCreator;
        w->show();
        return w;
    }
    QString Picture(const std::string& name, int width, int height) {
        const fs::path p = dir_ / name;
        ocelis::test::WriteFileBytes(p, ocelis::EncodeJpeg(ocelis::test::Pattern(width, height)));
        return QString::fromStdString(p.string());
    }
    static QStringList Entries(const TfoAviCreator* w) {
        QStringList out;
        for (int i = 0; i < w->FilesBox->count(); ++i)
            out << w->FilesBox->item(i)->text();
        return out;
    }
    // Answers the save dialog, presses Produce and waits for the end of the production.
    static void Produce(TfoAviCreator* w, const fs::path& out) {
        Dialogs::QueueAnswer(QString::fromStdString(out.string()));
        QTest::mouseClick(w->ProduceButton, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([w] { return !w->Producing(); }, 20000));
    }
    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> out;
        for (const auto& m : Dialogs::Messages())
            out.push_back(m.title.toStdString() + ": " + m.text.toStdString());
        return out;
    }

    fs::path dir_;
    TCamViewer settings_;
};

} // namespace

TEST_F(AviCreatorTest, LayoutDialogsAndProgressWindow) {
    TfoAviCreator* w = Open();
    EXPECT_EQ(w->objectName(), "foAviCreator");
    EXPECT_EQ(w->windowTitle(), "AVI Creator");
    EXPECT_EQ(w->size(), QSize(406, 304));
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    const struct {
        QWidget* widget;
        const char* name;
        QRect place;
        QString caption;
    } controls[] = {
        {w->TipsLabel, "TipsLabel", {4, 4, 399, 41}, w->TipsLabel->text()},
        {w->FilesBox, "FilesBox", {4, 50, 305, 200}, {}},
        {w->AddButton, "AddButton", {322, 50, 75, 25}, "&Add..."},
        {w->RemoveButton, "RemoveButton", {322, 83, 75, 25}, "&Remove"},
        {w->ProduceButton, "ProduceButton", {322, 116, 75, 25}, "&Produce..."},
        {w->PauseSpin, "PauseSpin", {48, 255, 67, 22}, {}},
        {w->MjpegBox, "MjpegBox", {8, 282, 393, 17}, "Keep JPEG compression (much smaller file)"},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.widget->objectName(), c.name);
        EXPECT_EQ(c.widget->geometry(), c.place);
        if (auto* b = qobject_cast<QAbstractButton*>(c.widget)) {
            EXPECT_EQ(b->text(), c.caption);
        }
    }
    EXPECT_TRUE(w->TipsLabel->text().startsWith("To create an AVI file, you have to select"));
    EXPECT_EQ(w->PauseLabel->pos(), QPoint(8, 259));
    EXPECT_EQ(w->PauseLabel->text(), "Pause");
    EXPECT_EQ(w->Pause2Label->pos(), QPoint(122, 259));
    EXPECT_EQ(w->Pause2Label->text(), "milliseconds between each frame");
    EXPECT_EQ(w->PauseSpin->minimum(), 0);
    EXPECT_EQ(w->PauseSpin->maximum(), 10000000);
    EXPECT_EQ(w->PauseSpin->value(), 500);
    EXPECT_FALSE(w->MjpegBox->isChecked());
    EXPECT_EQ(w->FilesBox->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(w->actAdd->shortcut(), QKeySequence(Qt::Key_Insert));
    EXPECT_EQ(w->actRemove->shortcut(), QKeySequence(Qt::Key_Delete));

    EXPECT_EQ(w->OpenPictureDialog1->QtFilter(), "JPEG Image File (*.jpg)");
    EXPECT_EQ(w->OpenPictureDialog1->DialogKind(), TOcFileDialog::Kind::OpenMany);
    EXPECT_EQ(w->SaveDialog->QtFilter(), "AVI File (*.avi)");
    EXPECT_EQ(w->SaveDialog->DefaultExt(), "avi");
    EXPECT_FALSE(w->SaveDialog->OverwritePrompt());
    for (const TOcFileDialog* d : {w->OpenPictureDialog1, w->SaveDialog})
        EXPECT_EQ(d->InitialDir().toStdString(), dir_.string());

    TOcProgressDlg* p = w->ProgressDlg;
    EXPECT_EQ(p->objectName(), "ProgressDlg");
    EXPECT_EQ(p->Maximum(), 100);
    EXPECT_EQ(p->Value(), 0);
    EXPECT_EQ(p->Text(), "Progress");
    EXPECT_TRUE(p->StayOnTop());
    TFormProg* f = p->Form();
    EXPECT_EQ(f->size(), QSize(314, 92));
    EXPECT_TRUE(f->windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_EQ(f->Panel1->geometry(), QRect(0, 0, 314, 92));
    EXPECT_EQ(f->Label1->pos(), QPoint(18, 10));
    EXPECT_EQ(f->ProgressBar1->geometry(), QRect(24, 28, 271, 15));
    EXPECT_EQ(f->CancelButton->objectName(), "CancelButton");
    // Only the component closes its window.
    p->Show();
    EXPECT_TRUE(f->isVisible());
    EXPECT_FALSE(f->close());
    EXPECT_TRUE(f->isVisible());
    p->Close();
    EXPECT_FALSE(f->isVisible());
}

TEST_F(AviCreatorTest, InsertAddsInTheDialogsOrderDeleteRemovesTheSelection) {
    TfoAviCreator* w = Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    Dialogs::QueueFiles(QStringList{"/p/b.jpg", "/p/a.jpg"});
    Dialogs::QueueFiles(QStringList{"/p/a.jpg"});
    QTest::keyClick(w->FilesBox, Qt::Key_Insert);
    QTest::keyClick(w->FilesBox, Qt::Key_Insert);
    QTest::keyClick(w->FilesBox, Qt::Key_Insert); // cancelled: nothing queued
    EXPECT_EQ(Entries(w), (QStringList{"/p/b.jpg", "/p/a.jpg", "/p/a.jpg"}));
    w->FilesBox->item(0)->setSelected(true);
    w->FilesBox->item(2)->setSelected(true);
    QTest::keyClick(w->FilesBox, Qt::Key_Delete);
    EXPECT_EQ(Entries(w), QStringList{"/p/a.jpg"});
}

TEST_F(AviCreatorTest, DropSwapsTheDraggedEntryWithTheOneUnderTheMouse) {
    TfoAviCreator* w = Open();
    QListWidget* box = w->FilesBox;
    const auto centre = [box](int row) { return box->visualItemRect(box->item(row)).center(); };
    const QPoint below(20, box->viewport()->height() - 3);
    struct Case {
        const char* what;
        int from;
        QPoint (*at)(decltype(centre)&, QPoint);
        QStringList order;
    };
    const Case cases[] = {
        {"first onto fourth", 0, [](auto& c, QPoint) { return c(3); }, {"4", "2", "3", "1", "5"}},
        {"second below the last", 1, [](auto&, QPoint b) { return b; }, {"1", "5", "3", "4", "2"}},
        {"onto itself", 2, [](auto& c, QPoint) { return c(2); }, {"1", "2", "3", "4", "5"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        box->clear();
        box->addItems({"1", "2", "3", "4", "5"});
        box->setCurrentRow(c.from);
        const QPoint at = c.at(centre, below);
        ASSERT_TRUE(w->FilesBoxDragOver(box, at));
        w->FilesBoxDragDrop(box, at);
        EXPECT_EQ(Entries(w), c.order);
    }
    // Refused: no current entry, a drag from elsewhere, an empty list.
    box->setCurrentRow(-1);
    EXPECT_FALSE(w->FilesBoxDragOver(box, centre(0)));
    box->setCurrentRow(0);
    EXPECT_FALSE(w->FilesBoxDragOver(w->AddButton, centre(0)));
    QMimeData data;
    data.setText("x");
    QDropEvent outside(centre(1), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box->viewport(), &outside);
    EXPECT_FALSE(outside.isAccepted());
    EXPECT_EQ(Entries(w), (QStringList{"1", "2", "3", "4", "5"}));
    box->clear();
    w->FilesBoxDragDrop(box, below);
    EXPECT_EQ(box->count(), 0);
}

TEST_F(AviCreatorTest, DamagedFirstFileGivesTheDefaultSizeAndTheMessageFollowsTheFile) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    ocelis::test::WriteFileBytes(dir_ / "broken.jpg", "\xFF\xD8 not a picture");
    const QStringList files{QString::fromStdString((dir_ / "broken.jpg").string()),
                            Picture("a.jpg", 64, 48), Picture("b.jpg", 64, 48)};
    TfoAviCreator* w = Open();
    Dialogs::QueueFiles(files);
    w->AddButtonClick();
    for (const bool mjpeg : {false, true}) {
        SCOPED_TRACE(mjpeg ? "MJPG" : "uncompressed");
        Dialogs::ClearTestState();
        w->MjpegBox->setChecked(mjpeg);
        const fs::path name = dir_ / (mjpeg ? "mjpeg" : "raw"); // no extension typed
        Produce(w, name);
        const fs::path out = name.string() + ".avi";
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{"Ocelis: AVI Generation Complete"});
        EXPECT_EQ(Dialogs::Messages().at(0).icon, QMessageBox::NoIcon);
        EXPECT_EQ(Entries(w), files);
        EXPECT_TRUE(w->isEnabled());
        EXPECT_FALSE(w->ProgressDlg->Form()->isVisible());
        EXPECT_EQ(w->ProgressDlg->Value(), 3);
        const std::string bytes = ocelis::test::ReadFileBytes(out);
        const auto chunks = ocelis::test::Chunks(bytes);
        const auto strh = ocelis::test::Find(chunks, "strl/strh");
        const auto strf = ocelis::test::Find(chunks, "strl/strf");
        ASSERT_EQ(strf.size(), 1u);
        EXPECT_EQ(ocelis::test::Le32At(strf[0].Data, 4), screen.width() / 10u);
        EXPECT_EQ(ocelis::test::Le32At(strf[0].Data, 8), screen.height() / 10u);
        EXPECT_EQ(strh[0].Data.substr(4, 4), mjpeg ? "MJPG" : std::string(4, '\0'));
        EXPECT_EQ(ocelis::test::Le32At(strh[0].Data, 20), 500u); // scale = the pause
        if (ocelis::test::HaveTool("ffprobe")) {
            EXPECT_EQ(ocelis::test::ProbeFramesAndRate(out.string()), "2/1,2\n");
        }
    }
}

TEST_F(AviCreatorTest, FailuresGoToTheErrorReportAndLeaveNoFile) {
    TfoAviCreator* w = Open();
    const struct {
        QStringList files;
        fs::path out;
        std::string report;
    } cases[] = {
        {{}, dir_ / "empty.avi", "Ocelis: No bitmaps on the Bitmaps list."},
        {{QString::fromStdString((dir_ / "missing.jpg").string())},
         dir_ / "none.avi",
         "Ocelis: No bitmaps on the Bitmaps list."},
        {{Picture("a.jpg", 32, 24)},
         dir_ / "no-such-folder" / "x.avi",
         "Ocelis: Failed to create AVI video work file."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.out.string());
        Dialogs::ClearTestState();
        w->FilesBox->clear();
        w->FilesBox->addItems(c.files);
        Produce(w, c.out);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.report});
        EXPECT_EQ(Dialogs::Messages().at(0).icon, QMessageBox::Critical);
        EXPECT_FALSE(fs::exists(c.out));
        EXPECT_EQ(Entries(w), c.files);
    }
    // A cancelled save dialog produces nothing.
    Dialogs::ClearTestState();
    QTest::mouseClick(w->ProduceButton, Qt::LeftButton);
    EXPECT_FALSE(w->Producing());
    EXPECT_TRUE(Dialogs::Messages().empty());
}

TEST_F(AviCreatorTest, CancelStopsTheWorkerAndLeavesNoFileWhileTheWindowTakesNoInput) {
    const QString picture = Picture("big.jpg", 320, 240);
    TfoAviCreator* w = Open();
    for (int i = 0; i < 400; ++i)
        w->FilesBox->addItem(picture);
    Dialogs::QueueAnswer(QString::fromStdString((dir_ / "out.avi").string()));
    QTest::mouseClick(w->ProduceButton, Qt::LeftButton);
    ASSERT_TRUE(w->Producing());
    EXPECT_FALSE(w->isEnabled());
    EXPECT_FALSE(w->close()); // the close box waits for the end
    TFormProg* f = w->ProgressDlg->Form();
    EXPECT_TRUE(f->isVisible());
    EXPECT_TRUE(f->CancelButton->isEnabled());
    EXPECT_EQ(w->ProgressDlg->Maximum(), 400);
    QTest::mouseClick(f->CancelButton, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([w] { return !w->Producing(); }, 20000));
    EXPECT_LT(w->ProgressDlg->Value(), 400);
    EXPECT_TRUE(Dialogs::Messages().empty());
    EXPECT_TRUE(w->isEnabled());
    EXPECT_FALSE(f->isVisible());
    std::vector<std::string> left;
    for (const auto& e : fs::directory_iterator(dir_))
        left.push_back(e.path().filename().string());
    EXPECT_EQ(left, std::vector<std::string>{"big.jpg"});
}

TEST_F(AviCreatorTest, TwoWindowsProduceAtTheSameTime) {
    const QString a = Picture("a.jpg", 48, 32);
    TfoAviCreator* first = Open();
    TfoAviCreator* second = Open();
    EXPECT_EQ(first->objectName(), "foAviCreator");
    EXPECT_EQ(second->objectName(), "foAviCreator_1");
    for (TfoAviCreator* w : {first, second})
        for (int i = 0; i < 60; ++i)
            w->FilesBox->addItem(a);
    second->PauseSpin->setValue(1);
    Dialogs::QueueAnswer(QString::fromStdString((dir_ / "one.avi").string()));
    Dialogs::QueueAnswer(QString::fromStdString((dir_ / "two.avi").string()));
    QTest::mouseClick(first->ProduceButton, Qt::LeftButton);
    QTest::mouseClick(second->ProduceButton, Qt::LeftButton);
    EXPECT_TRUE(first->Producing() || second->Producing());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !first->Producing() && !second->Producing(); }, 20000));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>(2, "Ocelis: AVI Generation Complete")));
    if (ocelis::test::HaveTool("ffprobe")) {
        EXPECT_EQ(ocelis::test::ProbeFramesAndRate((dir_ / "one.avi").string()), "2/1,60\n");
        EXPECT_EQ(ocelis::test::ProbeFramesAndRate((dir_ / "two.avi").string()), "1000/1,60\n");
    }
}

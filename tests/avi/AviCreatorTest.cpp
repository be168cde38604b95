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
#include <map>
#include <tuple>

#include "app/CamMain.h"
#include "avi/AviTestSupport.h"
#include "avi/OcProgressDlg.h"
#include "gui/OcFileDialog.h"
#include "imaging/Jpeg.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "support/GuiFixture.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;
using ocelis::TDialogs;

namespace {

class AviCreatorTest : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        dir_ = ocelis::test::FreshTestDir("avicreator");
        settings_.SavePath = dir_.string();
        CamViewer = &settings_;
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
        TDialogs::QueueAnswer(QString::fromStdString(out.string()));
        QTest::mouseClick(w->ProduceButton, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([w] { return !w->Producing(); }, 20000));
    }
    static std::vector<std::string> MessageTexts() {
        std::vector<std::string> out;
        for (const auto& m : TDialogs::Messages())
            out.push_back(m.Title.toStdString() + ": " + m.Text.toStdString());
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
    TFormProg* f = w->ProgressDlg->Form();
    const struct {
        QWidget* widget;
        QRect place;
        QString caption;
    } controls[] = {
        {w->TipsLabel, {4, 4, 399, 41}, {}},
        {w->FilesBox, {4, 50, 305, 200}, {}},
        {w->AddButton, {322, 50, 75, 25}, "&Add..."},
        {w->RemoveButton, {322, 83, 75, 25}, "&Remove"},
        {w->ProduceButton, {322, 116, 75, 25}, "&Produce..."},
        {w->PauseSpin, {48, 255, 67, 22}, {}},
        {w->MjpegBox, {8, 282, 393, 17}, "Keep JPEG compression (much smaller file)"},
        {w->PauseLabel, {8, 259, 0, 0}, "Pause"},
        {w->Pause2Label, {122, 259, 0, 0}, "milliseconds between each frame"},
        {f->Label1, {18, 10, 0, 0}, "Progress"},
        {f->ProgressBar1, {24, 28, 271, 15}, {}},
        {f->Panel1, {0, 0, 314, 92}, {}},
    };
    for (const auto& c : controls) {
        SCOPED_TRACE(c.widget->objectName().toStdString());
        EXPECT_EQ(c.place.isEmpty() ? QRect(c.widget->pos(), QSize(0, 0)) : c.widget->geometry(),
                  c.place);
        if (!c.caption.isEmpty()) {
            EXPECT_EQ(c.widget->property("text").toString(), c.caption);
        }
    }
    EXPECT_TRUE(w->TipsLabel->text().startsWith("To create an AVI file, you have to select"));
    EXPECT_EQ(std::tuple(w->PauseSpin->minimum(), w->PauseSpin->maximum(), w->PauseSpin->value()),
              std::tuple(0, 10000000, 500));
    EXPECT_FALSE(w->MjpegBox->isChecked());
    EXPECT_EQ(w->FilesBox->selectionMode(), QAbstractItemView::ExtendedSelection);
    EXPECT_EQ(w->OpenPictureDialog1->QtFilter(), "JPEG Image File (*.jpg)");
    EXPECT_EQ(w->OpenPictureDialog1->DialogKind(), TOcFileDialog::TKind::OpenMany);
    EXPECT_EQ(w->SaveDialog->QtFilter(), "AVI File (*.avi)");
    EXPECT_EQ(w->SaveDialog->DefaultExt(), "avi");
    EXPECT_FALSE(w->SaveDialog->OverwritePrompt());
    for (const TOcFileDialog* d : {w->OpenPictureDialog1, w->SaveDialog})
        EXPECT_EQ(d->InitialDir().toStdString(), dir_.string());

    TOcProgressDlg* p = w->ProgressDlg;
    EXPECT_EQ(std::tuple(p->Maximum(), p->Value(), p->Text(), p->StayOnTop()),
              std::tuple(100, 0, QString("Progress"), true));
    EXPECT_EQ(f->size(), QSize(314, 92));
    EXPECT_TRUE(f->windowFlags().testFlag(Qt::FramelessWindowHint));
    // Only the component closes its window.
    p->Show();
    EXPECT_FALSE(f->close());
    EXPECT_TRUE(f->isVisible());
    p->Close();
    EXPECT_FALSE(f->isVisible());
}

TEST_F(AviCreatorTest, InsertAddsInTheDialogsOrderDeleteRemovesTheSelection) {
    TfoAviCreator* w = Open();
    ASSERT_TRUE(QTest::qWaitForWindowActive(w));
    TDialogs::QueueFiles(QStringList{"/p/b.jpg", "/p/a.jpg"});
    TDialogs::QueueFiles(QStringList{"/p/a.jpg"});
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
    const auto at = [box](int row) { // -1: the empty space below the last entry
        return row < 0 ? QPoint(20, box->viewport()->height() - 3)
                       : box->visualItemRect(box->item(row)).center();
    };
    const QStringList five{"1", "2", "3", "4", "5"};
    const struct {
        int from, onto;
        QStringList order;
    } cases[] = {
        {0, 3, {"4", "2", "3", "1", "5"}}, {1, -1, {"1", "5", "3", "4", "2"}}, {2, 2, five}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        box->clear();
        box->addItems(five);
        box->setCurrentRow(c.from);
        ASSERT_TRUE(w->FilesBoxDragOver(box, at(c.onto)));
        w->FilesBoxDragDrop(box, at(c.onto));
        EXPECT_EQ(Entries(w), c.order);
    }
    // Refused: a drag from elsewhere, no current entry; nothing to swap in an empty list.
    EXPECT_FALSE(w->FilesBoxDragOver(w->AddButton, at(0)));
    QMimeData data;
    data.setText("x");
    QDropEvent outside(at(1), Qt::CopyAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(box->viewport(), &outside);
    EXPECT_FALSE(outside.isAccepted());
    EXPECT_EQ(Entries(w), five);
    box->setCurrentRow(-1);
    EXPECT_FALSE(w->FilesBoxDragOver(box, at(0)));
    box->clear();
    w->FilesBoxDragDrop(box, at(-1));
    EXPECT_EQ(box->count(), 0);
}

// A damaged first file leaves the default frame size; the completion message follows a
// written file only, every failure goes to the error report; the list stays.
TEST_F(AviCreatorTest, ProductionsEndInTheMessageOrTheErrorReport) {
    const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
    ocelis::test::WriteFileBytes(dir_ / "broken.jpg", "\xFF\xD8 not a picture");
    const QString broken = QString::fromStdString((dir_ / "broken.jpg").string());
    const QStringList three{broken, Picture("a.jpg", 64, 48), Picture("b.jpg", 64, 48)};
    const std::string done = "Ocelis: AVI Generation Complete";
    const std::string empty = "Ocelis: No bitmaps on the Bitmaps list.";
    const struct {
        QStringList files;
        fs::path typed, out;
        bool mjpeg;
        std::string message;
    } cases[] = {
        {three, dir_ / "raw", dir_ / "raw.avi", false, done}, // extension added
        {three, dir_ / "mjpeg", dir_ / "mjpeg.avi", true, done},
        {{}, dir_ / "empty.avi", dir_ / "empty.avi", false, empty},
        {{broken}, dir_ / "none.avi", dir_ / "none.avi", false, empty},
        {three, dir_ / "no-dir" / "x.avi", dir_ / "no-dir" / "x.avi", false,
         "Ocelis: Failed to create AVI video work file."},
    };
    TfoAviCreator* w = Open();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed.string());
        TDialogs::ClearTestState();
        w->FilesBox->clear();
        w->FilesBox->addItems(c.files);
        w->MjpegBox->setChecked(c.mjpeg);
        Produce(w, c.typed);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(TDialogs::Messages().at(0).Icon,
                  c.message == done ? QMessageBox::NoIcon : QMessageBox::Critical);
        EXPECT_EQ(Entries(w), c.files);
        EXPECT_TRUE(w->isEnabled());
        EXPECT_FALSE(w->ProgressDlg->Form()->isVisible());
        if (c.message != done) {
            EXPECT_FALSE(fs::exists(c.out));
            continue;
        }
        EXPECT_EQ(w->ProgressDlg->Value(), 3);
        const std::string bytes = ocelis::test::ReadFileBytes(c.out);
        const auto chunks = ocelis::test::Chunks(bytes);
        const auto strh = ocelis::test::Find(chunks, "strl/strh");
        const auto strf = ocelis::test::Find(chunks, "strl/strf");
        ASSERT_EQ(strf.size(), 1u);
        EXPECT_EQ(ocelis::test::Le32At(strf[0].Data, 4), screen.width() / 10u);
        EXPECT_EQ(ocelis::test::Le32At(strf[0].Data, 8), screen.height() / 10u);
        EXPECT_EQ(strh[0].Data.substr(4, 4), c.mjpeg ? "MJPG" : std::string(4, '\0'));
        if (ocelis::test::HaveTool("ffprobe")) {
            EXPECT_EQ(ocelis::test::ProbeFramesAndRate(c.out.string()), "2/1,2\n");
        }
    }
    if (!ocelis::test::HaveTool("ffprobe"))
        GTEST_SKIP() << "ffprobe not installed (./setup.sh installs it): files not read back";
    // A cancelled save dialog produces nothing.
    TDialogs::ClearTestState();
    QTest::mouseClick(w->ProduceButton, Qt::LeftButton);
    EXPECT_FALSE(w->Producing());
    EXPECT_TRUE(TDialogs::Messages().empty());
}

// The MP4 entry follows a translated filter; the completion counts the skipped files and
// names what was written; the AVI format's bound is a named failure.
TEST_F(AviCreatorTest, Mp4EntrySkippedFilesAndTheAviBound) {
    ocelis::test::WriteFileBytes(dir_ / "text.jpg", "hello");
    const QString text = QString::fromStdString((dir_ / "text.jpg").string());
    const QString missing = QString::fromStdString((dir_ / "missing.jpg").string());
    const QString a = Picture("a.jpg", 64, 48), wide = Picture("wide.jpg", 40000, 8);
    TfoAviCreator* w = Open();
    w->SaveDialog->SetFilter(QStringLiteral("AVI-Datei (*.avi)|*.avi")); // as German sets it
    Mp4Filter = "MP4-Video (*.mp4)";
    const struct {
        QStringList files;
        std::string name, message, details;
    } cases[] = {
        {{a, text, a},
         "out.mp4",
         "Ocelis: MP4 Generation Complete",
         "1 of 3 files was skipped: not a JPEG picture."},
        {{text, missing, a, text},
         "out.avi",
         "Ocelis: AVI Generation Complete",
         "3 of 4 files were skipped: not a JPEG picture (2), could not be read (1)."},
        {{a}, "one.avi", "Ocelis: AVI Generation Complete", ""},
        {{wide},
         "wide.avi",
         "Ocelis: The pictures are too large for an AVI file (40000 \u00d7 8 pixels). MP4 takes "
         "them.",
         ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TDialogs::ClearTestState();
        w->FilesBox->clear();
        w->FilesBox->addItems(c.files);
        Produce(w, dir_ / c.name);
        EXPECT_EQ(MessageTexts(), std::vector<std::string>{c.message});
        EXPECT_EQ(TDialogs::Messages().at(0).Details.toStdString(), c.details);
        EXPECT_EQ(fs::exists(dir_ / c.name), c.name != "wide.avi");
    }
    EXPECT_EQ(w->SaveDialog->QtFilter(), "AVI-Datei (*.avi);;MP4-Video (*.mp4)");
}

// The window's constant quality reaches the encoder: lossless is far larger than the worst.
TEST_F(AviCreatorTest, TheMp4QualityReachesTheFile) {
    const QString picture = Picture("q.jpg", 160, 120);
    TfoAviCreator* w = Open();
    EXPECT_EQ(w->Mp4Spin->value(), 23);
    std::map<int, uintmax_t> sizes;
    for (const int crf : {0, 51}) {
        w->FilesBox->clear();
        w->FilesBox->addItems({picture, picture});
        w->Mp4Spin->setValue(crf);
        const fs::path out = dir_ / ("q" + std::to_string(crf) + ".mp4");
        Produce(w, out);
        ASSERT_TRUE(fs::exists(out)) << crf;
        sizes[crf] = fs::file_size(out);
    }
    EXPECT_GT(sizes[0], 3 * sizes[51]);
}

TEST_F(AviCreatorTest, CancelStopsTheWorkerAndLeavesNoFileWhileTheWindowTakesNoInput) {
    const QString picture = Picture("big.jpg", 320, 240);
    TfoAviCreator* w = Open();
    for (int i = 0; i < 400; ++i)
        w->FilesBox->addItem(picture);
    TDialogs::QueueAnswer(QString::fromStdString((dir_ / "out.avi").string()));
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
    EXPECT_TRUE(TDialogs::Messages().empty());
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
    TDialogs::QueueAnswer(QString::fromStdString((dir_ / "one.avi").string()));
    TDialogs::QueueAnswer(QString::fromStdString((dir_ / "two.avi").string()));
    QTest::mouseClick(first->ProduceButton, Qt::LeftButton);
    QTest::mouseClick(second->ProduceButton, Qt::LeftButton);
    EXPECT_TRUE(first->Producing() || second->Producing());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return !first->Producing() && !second->Producing(); }, 20000));
    EXPECT_EQ(MessageTexts(), (std::vector<std::string>(2, "Ocelis: AVI Generation Complete")));
    if (!ocelis::test::HaveTool("ffprobe"))
        GTEST_SKIP() << "ffprobe not installed (./setup.sh installs it): files not read back";
    EXPECT_EQ(ocelis::test::ProbeFramesAndRate((dir_ / "one.avi").string()), "2/1,60\n");
    EXPECT_EQ(ocelis::test::ProbeFramesAndRate((dir_ / "two.avi").string()), "1000/1,60\n");
}

TEST_F(AviCreatorTest, TheTrayEntryOpensOneMoreWindowEachTime) {
    ocelis::SetAppDirOverride(dir_);
    {
        TfoCamMain main;
        main.actAviCreator->trigger();
        main.actAviCreator->trigger();
    }
    ocelis::SetAppDirOverride({});
    std::vector<QString> open;
    for (const TSForm* f : FormList)
        if (qobject_cast<const TfoAviCreator*>(f) && f->isVisible())
            open.push_back(f->objectName());
    EXPECT_EQ(open, (std::vector<QString>{"foAviCreator", "foAviCreator_1"}));
}

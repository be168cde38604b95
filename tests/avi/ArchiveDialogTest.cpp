// "Add from archive..." on real widgets: the creator's button opens the dialog on the archive
// folder, the rule narrows the pictures as the count shows, and OK appends them in order.
#include "avi/ArchiveDialog.h"
#include "avi/AviCreator.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "gui/OcDirectoryEdit.h"
#include "settings/CamViewer.h"
#include "support/GuiFixture.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

// 2023-11-14 00:00:00 UTC.
constexpr int64_t kDay0 = int64_t{19675} * 86400;

class ArchiveDialogTest : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        setenv("TZ", "UTC", 1);
        tzset();
        dir_ = ocelis::test::FreshTestDir("archivedialog");
        settings_.SavePath = dir_.string();
        CamViewer = &settings_;
    }
    void Write(const std::string& name, int hour) {
        ocelis::test::WriteFileBytes(dir_ / name, "\xff\xd8\xff\xd9");
        const timespec times[2] = {{kDay0 + hour * 3600, 0}, {kDay0 + hour * 3600, 0}};
        ASSERT_EQ(utimensat(AT_FDCWD, (dir_ / name).c_str(), times, 0), 0);
    }
    QString Path(const std::string& name) const {
        return QString::fromStdString((dir_ / name).string());
    }

    fs::path dir_;
    TCamViewer settings_;
};

TEST_F(ArchiveDialogTest, AppendsTheMatchingPicturesInCaptureOrder) {
    // One folder for every webcam; Harbour's numbering restarted after 00010.
    Write("Harbour 00010.jpg", 6);
    Write("Harbour 00001.jpg", 8);
    Write("Harbour 00002.jpg", 12);
    Write("Harbour 00003.jpg", 20);
    Write("Beach 00001.jpg", 9);

    auto* creator = new TfoAviCreator;
    creator->show();
    creator->FilesBox->addItem(QStringLiteral("first.jpg"));
    EXPECT_EQ(creator->ArchiveButton->text(), "Add &from\narchive...");

    std::vector<QString> labels;
    bool driven = false;
    QTimer::singleShot(0, creator, [&] {
        auto* d = qobject_cast<TfoArchive*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(d->objectName(), "foArchive");
        EXPECT_EQ(d->FolderEdit->Text(), QString::fromStdString(dir_.string()));
        ASSERT_TRUE(QTest::qWaitFor([d] { return !d->Listing(); }, 10000));
        EXPECT_EQ(d->WebcamCount(), 2);
        EXPECT_EQ(d->WebcamBox->itemText(0), "Beach");
        d->WebcamBox->setCurrentIndex(1);
        labels.push_back(d->MatchLabel->text());
        QTest::mouseClick(d->DailyBox, Qt::LeftButton); // 07:00 to 19:00
        labels.push_back(d->MatchLabel->text());
        EXPECT_TRUE(d->OkButton->isEnabled());
        driven = true;
        QTest::mouseClick(d->OkButton, Qt::LeftButton);
    });
    QTest::mouseClick(creator->ArchiveButton, Qt::LeftButton);
    ASSERT_TRUE(driven);
    EXPECT_EQ(labels, (std::vector<QString>{
                          "4 pictures match, from 2023-11-14 06:00:00 to 2023-11-14 20:00:00",
                          "2 pictures match, from 2023-11-14 08:00:00 to 2023-11-14 12:00:00"}));
    QStringList entries;
    for (int i = 0; i < creator->FilesBox->count(); ++i)
        entries << creator->FilesBox->item(i)->text();
    EXPECT_EQ(entries,
              (QStringList{"first.jpg", Path("Harbour 00001.jpg"), Path("Harbour 00002.jpg")}));
}

TEST_F(ArchiveDialogTest, AFolderThatCannotBeReadSaysSoAndOffersNothing) {
    TfoArchive d;
    d.SetFolder(QString::fromStdString((dir_ / "missing").string()));
    EXPECT_EQ(d.MatchLabel->text(), "Reading the folder...");
    ASSERT_TRUE(QTest::qWaitFor([&d] { return !d.Listing(); }, 10000));
    EXPECT_EQ(d.MatchLabel->text(), "The folder cannot be read: No such file or directory");
    EXPECT_FALSE(d.OkButton->isEnabled());
    EXPECT_TRUE(d.ChosenFiles().isEmpty());
    // Typing another folder lists it once the typing pauses.
    Write("Image 00001.jpg", 1);
    QTest::keyClicks(d.FolderEdit->Edit(), QStringLiteral("/"));
    d.FolderEdit->SetText(QString::fromStdString(dir_.string()));
    ASSERT_TRUE(QTest::qWaitFor(
        [&d] { return d.MatchLabel->text() == "1 picture matches: 2023-11-14 01:00:00"; }, 10000));
    EXPECT_EQ(d.ChosenFiles(), QStringList{Path("Image 00001.jpg")});
}

} // namespace

// The options dialog as the tray controller runs it, offscreen, through the real widgets.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

#include "AppFixture.h"
#include "app/CamMain.h"
#include "gui/SForm.h"
#include "platform/AppPaths.h"
#include "platform/Autostart.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/OptionsDialog.h"
#include "settings/Translator.h"
#include "support/TestFiles.h"

namespace fs = std::filesystem;

namespace {

class OptionsDialogTest : public TAppFixture {
protected:
    void SetUp() override {
        TAppFixture::SetUp();
        std::error_code ec;
        fs::remove(ocelis::AutostartEntryPath(), ec);
        FMain = std::make_unique<TfoCamMain>();
        ASSERT_NE(CamViewer, nullptr);
    }

    static TfoOptions* Dialog() {
        for (TSForm* f : FormList)
            if (auto* d = qobject_cast<TfoOptions*>(f))
                return d;
        return nullptr;
    }
    TfoOptions* Open() {
        FMain->actOptionsExecute();
        TfoOptions* d = Dialog();
        EXPECT_TRUE(d && d->isVisible());
        return d;
    }
    // The dialog is released after its run.
    static bool Released() {
        return QTest::qWaitFor([] { return Dialog() == nullptr; }, 5000);
    }
    // Inside the indicator: a click on the middle of a wide box may miss its text.
    static void Toggle(QCheckBox* box) { QTest::mouseClick(box, Qt::LeftButton, {}, {8, 8}); }
    static std::vector<QCheckBox*> Boxes(TfoOptions* d) {
        return {d->AlwaysBox, d->PropBox,     d->StatusBox,    d->BeepBox,
                d->ImagesBox, d->ImageSubBox, d->LaunchWindows};
    }
    static std::vector<bool*> Fields(TCamViewer& v) {
        return {&v.AlwaysOnTop, &v.PropResize,   &v.Status,       &v.Beep,
                &v.SaveImages,  &v.SubDirectory, &v.LaunchWindows};
    }
};

QPoint PosIn(const QWidget* w, const QWidget* top) {
    return w->mapTo(top, QPoint(0, 0));
}

} // namespace

TEST_F(OptionsDialogTest, LayoutNamesCaptionsPositionsAndTabOrder) {
    TfoOptions* d = Open();
    ASSERT_TRUE(d);
    ASSERT_TRUE(QTest::qWaitForWindowActive(d));
    EXPECT_EQ(d->objectName(), "foOptions");
    EXPECT_EQ(d->windowTitle(), "Options");
    EXPECT_EQ(d->size(), QSize(328, 263));
    EXPECT_EQ(d->minimumSize(), d->maximumSize());
    EXPECT_FALSE(d->windowIcon().isNull());
    // Centred up to the window frame, which the platform may add on either side.
    const QPoint off =
        d->geometry().center() - QGuiApplication::primaryScreen()->availableGeometry().center();
    EXPECT_LE(std::abs(off.x()), 4);
    EXPECT_LE(std::abs(off.y()), 16);

    struct Row {
        const char* name;
        const char* caption; // nullptr: the folder edit
        int left, top, width;
    };
    const Row rows[] = {
        {"AlwaysBox", "Always on top", 30, 21, 280},
        {"PropBox", "Proportional resize", 30, 43, 280},
        {"StatusBox", "Show status bar", 30, 65, 280},
        {"BeepBox", "Beep on new image", 30, 87, 280},
        {"LaunchWindows", "Start at login", 30, 109, 280},
        {"ImagesBox", "Archive images", 30, 149, 280},
        {"ImageSubBox", "Create subdirectories", 30, 171, 280},
        {"Directory", nullptr, 80, 191, 231},
        {"OkButton", "&Ok", 164, 230, 75},
        {"CancelButton", "&Cancel", 245, 230, 75},
    };
    QStringList expectedOrder;
    for (const Row& r : rows) {
        SCOPED_TRACE(r.name);
        auto* w = d->findChild<QWidget*>(QString::fromLatin1(r.name));
        ASSERT_TRUE(w);
        expectedOrder << r.name;
        if (r.caption)
            EXPECT_EQ(qobject_cast<QAbstractButton*>(w)->text(), r.caption);
        else
            EXPECT_TRUE(qobject_cast<TOcDirectoryEdit*>(w));
        EXPECT_EQ(PosIn(w, d), QPoint(r.left, r.top));
        EXPECT_EQ(w->width(), r.width);
    }
    for (QPushButton* b : {d->OkButton, d->CancelButton}) {
        EXPECT_FALSE(b->isDefault());
        EXPECT_FALSE(b->autoDefault());
        EXPECT_EQ(b->parentWidget(), d->Panel2);
    }
    // Decoration: captions, greyed group captions, no focus.
    const std::pair<QLabel*, const char*> labels[] = {
        {d->ViewerLabel, "Viewer "}, {d->SaveTitle, "Save "}, {d->DirectoryLabel, "Directory"}};
    for (auto [label, caption] : labels) {
        EXPECT_EQ(label->text(), caption);
        EXPECT_EQ(label->focusPolicy(), Qt::NoFocus);
    }
    EXPECT_EQ(d->SaveTitle->palette().color(QPalette::WindowText),
              d->palette().color(QPalette::Disabled, QPalette::WindowText));
    EXPECT_LT(d->ViewerLabel->geometry().bottom(), d->Bevel3->y());
    EXPECT_LT(d->SaveTitle->geometry().bottom(), d->Bevel1->y());
    EXPECT_LE(d->DirectoryLabel->geometry().right(), d->Directory->x());
    EXPECT_EQ(d->Panel2->geometry(), QRect(0, 222, 328, 41));
    EXPECT_EQ(d->Bevel2->geometry().bottom() + 1, d->Panel2->y());

    // Tab from the first box visits the controls in order and wraps round; the notify box
    // sits left of the buttons.
    expectedOrder.insert(expectedOrder.indexOf("OkButton"), "NotifyBox");
    d->AlwaysBox->setFocus();
    QStringList order;
    for (int i = 0; i <= expectedOrder.size(); ++i) {
        QWidget* f = QApplication::focusWidget();
        ASSERT_TRUE(f);
        order << (f->objectName().isEmpty() ? f->parentWidget()->objectName() : f->objectName());
        QTest::keyClick(f, Qt::Key_Tab);
    }
    EXPECT_EQ(order, expectedOrder + QStringList{"AlwaysBox"});
}

TEST_F(OptionsDialogTest, CancelEscapeAndCloseBoxApplyNothing) {
    TCamViewer& v = *CamViewer;
    for (bool* f : Fields(v))
        *f = true;
    v.SavePath = "/pictures";
    v.SetLaunchWindows(true);
    const std::string entry = ocelis::test::ReadFileBytes(ocelis::AutostartEntryPath());
    ASSERT_FALSE(entry.empty());

    const std::pair<const char*, std::function<void(TfoOptions*)>> ways[] = {
        {"Cancel", [](TfoOptions* d) { QTest::mouseClick(d->CancelButton, Qt::LeftButton); }},
        {"Escape", [](TfoOptions* d) { QTest::keyClick(d->Directory->Edit(), Qt::Key_Escape); }},
        {"close box", [](TfoOptions* d) { d->close(); }},
    };
    for (const auto& [way, finish] : ways) {
        SCOPED_TRACE(way);
        TfoOptions* d = Open();
        ASSERT_TRUE(d);
        for (QCheckBox* b : Boxes(d)) {
            EXPECT_TRUE(b->isChecked()); // filled
            Toggle(b);
            EXPECT_FALSE(b->isChecked());
        }
        EXPECT_EQ(d->Directory->Text(), "/pictures");
        QTest::keyClicks(d->Directory->Edit(), "/elsewhere");
        finish(d);
        EXPECT_TRUE(Released());
        for (bool* f : Fields(v))
            EXPECT_TRUE(*f);
        EXPECT_EQ(v.SavePath, "/pictures");
        EXPECT_EQ(ocelis::test::ReadFileBytes(ocelis::AutostartEntryPath()), entry);
    }
}

TEST_F(OptionsDialogTest, EnterPressesNothingOkAppliesAtOnceAnEmptyFolderStaysEmpty) {
    TfoOptions* d = Open();
    ASSERT_TRUE(d);
    for (QCheckBox* b : Boxes(d))
        Toggle(b);
    // The folder button: a chosen folder replaces the text, a cancelled browse keeps it.
    ocelis::TDialogs::QueueAnswer(QStringLiteral("/chosen/folder"));
    QTest::mouseClick(d->Directory->Button(), Qt::LeftButton);
    ocelis::TDialogs::QueueAnswer(std::nullopt);
    QTest::mouseClick(d->Directory->Button(), Qt::LeftButton);
    EXPECT_EQ(d->Directory->Text(), "/chosen/folder");
    for (QWidget* w : std::initializer_list<QWidget*>{d->StatusBox, d->Directory->Edit()}) {
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter);
    }
    EXPECT_EQ(Dialog(), d);
    EXPECT_TRUE(d->isVisible());
    EXPECT_FALSE(CamViewer->Status);
    EXPECT_FALSE(ocelis::AutostartEntryExists());

    QTest::mouseClick(d->OkButton, Qt::LeftButton);
    // At once, before the dialog is released and without any save.
    for (bool* f : Fields(*CamViewer))
        EXPECT_TRUE(*f);
    EXPECT_EQ(CamViewer->SavePath, "/chosen/folder");
    EXPECT_EQ(ocelis::test::ReadFileBytes(ocelis::AutostartEntryPath()),
              ocelis::AutostartEntryText(ocelis::ExecutablePath()));
    EXPECT_FALSE(fs::exists(FDir / "app" / "Options.xml"));
    EXPECT_TRUE(Released());

    // Off removes the entry at once; an emptied folder field stays empty through the file.
    d = Open();
    ASSERT_TRUE(d);
    Toggle(d->LaunchWindows);
    QTest::keyClick(d->Directory->Edit(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(d->Directory->Edit(), Qt::Key_Delete);
    QTest::mouseClick(d->OkButton, Qt::LeftButton);
    EXPECT_FALSE(CamViewer->LaunchWindows);
    EXPECT_FALSE(ocelis::AutostartEntryExists());
    EXPECT_EQ(CamViewer->SavePath, "");
    FMain->SaveAndReleaseSettings();
    TCamViewer back;
    back.Load();
    EXPECT_TRUE(back.Status);
    EXPECT_EQ(back.SavePath, "");
}

TEST_F(OptionsDialogTest, SecondOpenBringsTheOpenDialogToTheFrontAndReleaseClearsIt) {
    TfoOptions* d = Open();
    ASSERT_TRUE(d);
    QWidget other;
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    FMain->actOptionsExecute();
    EXPECT_EQ(Dialog(), d);
    EXPECT_EQ(std::count_if(FormList.begin(), FormList.end(),
                            [](TSForm* f) { return qobject_cast<TfoOptions*>(f); }),
              1);
    EXPECT_TRUE(QTest::qWaitForWindowActive(d));
    QTest::mouseClick(d->CancelButton, Qt::LeftButton);
    ASSERT_TRUE(Released());
    // The reference was cleared with the release: the next choice opens a new dialog.
    d = Open();
    ASSERT_TRUE(d);
    EXPECT_EQ(d->objectName(), "foOptions");
}

TEST_F(OptionsDialogTest, LanguageFilesTranslateTheDialogWithRealAccelerators) {
    struct Case {
        const char* file;
        const char* title;
        const char* ok;
        const char* cancel;
    };
    for (const Case& c : {Case{"English.xml", "Options", "&Ok", "&Cancel"},
                          Case{"Deutsch.xml", "Einstellungen", "&OK", "&Abbrechen"}}) {
        SCOPED_TRACE(c.file);
        FMain->OcTranslator->ApplyLanguageFile(std::string(OCELIS_LANGUAGES_DIR "/") + c.file);
        TfoOptions* d = Open();
        ASSERT_TRUE(d);
        EXPECT_EQ(d->windowTitle(), c.title);
        EXPECT_EQ(d->OkButton->text(), c.ok);
        EXPECT_EQ(d->CancelButton->text(), c.cancel);
        for (QCheckBox* b : Boxes(d))
            EXPECT_FALSE(b->text().contains(QLatin1Char('&'))) << b->text().toStdString();
        d->close();
        ASSERT_TRUE(Released());
    }
}

TEST_F(OptionsDialogTest, NotifyBoxBesideTheButtonsByClickOrAcceleratorIntoTheSettings) {
    EXPECT_TRUE(CamViewer->NotifyHealth); // on by default
    const std::pair<const char*, std::function<void(TfoOptions*)>> ways[] = {
        {"its box", [](TfoOptions* d) { Toggle(d->NotifyBox); }},
        {"its caption",
         [](TfoOptions* d) {
             QTest::mouseClick(d->NotifyLabel, Qt::LeftButton, {}, {20, 8});
         }},
        {"the accelerator and Space",
         [](TfoOptions* d) {
             QTest::keyClick(d, Qt::Key_N, Qt::AltModifier);
             ASSERT_EQ(QApplication::focusWidget(), d->NotifyBox);
             QTest::keyClick(d->NotifyBox, Qt::Key_Space);
         }},
    };
    bool expected = true;
    for (const auto& [way, toggle] : ways) {
        SCOPED_TRACE(way);
        TfoOptions* d = Open();
        ASSERT_TRUE(d);
        d->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(d));
        EXPECT_EQ(d->NotifyBox->isChecked(), expected); // filled
        toggle(d);
        expected = !expected;
        EXPECT_EQ(d->NotifyBox->isChecked(), expected);
        QTest::mouseClick(d->OkButton, Qt::LeftButton);
        EXPECT_EQ(CamViewer->NotifyHealth, expected);
        EXPECT_TRUE(Released());
    }
}

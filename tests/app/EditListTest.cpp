// "Edit List..." from the tray menu: the editor's opener, OK and Cancel, and a tray that
// stays usable while the editor is open.
#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <filesystem>
#include <gtest/gtest.h>

#include "AppFixture.h"
#include "app/CamMain.h"
#include "catalogue/EditCams.h"
#include "gui/SForm.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "support/TestFiles.h"
#include "viewer/ViewerWindow.h"

namespace fs = std::filesystem;

namespace {

class EditListTest : public TAppFixture {
protected:
    fs::path Options() const { return FDir / "app/Options.xml"; }
    TfoCamMain& Start() {
        FMain = std::make_unique<TfoCamMain>();
        return *FMain;
    }
    static std::vector<TfoEditCams*> Editors() {
        std::vector<TfoEditCams*> out;
        for (TSForm* f : FormList)
            if (auto* e = qobject_cast<TfoEditCams*>(f))
                out.push_back(e);
        return out;
    }
    // Opens the editor from the menu entry and returns it.
    TfoEditCams* Open() {
        FMain->actEdit->trigger();
        const auto editors = Editors();
        return editors.size() == 1 ? editors.front() : nullptr;
    }
    static bool Released() {
        return QTest::qWaitFor([] { return Editors().empty(); }, 2000);
    }
    QStringList CatalogueTexts() const {
        QStringList out;
        const QList<QAction*> all = FMain->TrayPopup->actions();
        for (qsizetype i = all.indexOf(FMain->BeforeItems) + 1; i < all.indexOf(FMain->AfterItems);
             ++i)
            out << all[i]->text();
        return out;
    }
};

} // namespace

TEST_F(EditListTest, CancelEscapeAndCloseChangeNeitherCatalogueNorFile) {
    {
        TCamViewer v;
        TCamWebcam* cam = v.RootCategory->Cams.Add();
        cam->Name = "Pier";
        cam->Url = "http://127.0.0.1:9/pier.jpg";
        v.Save();
    }
    const std::string before = ocelis::test::ReadFileBytes(Options());
    TfoCamMain& m = Start();
    const std::function<void(TfoEditCams&)> ends[] = {
        [](TfoEditCams& e) { QTest::mouseClick(e.CancelButton, Qt::LeftButton); },
        [](TfoEditCams& e) { QTest::keyClick(&e, Qt::Key_Escape); },
        [](TfoEditCams& e) { e.close(); },
    };
    for (const auto& end : ends) {
        TfoEditCams* e = Open();
        ASSERT_NE(e, nullptr);
        QTest::mouseClick(e->AddButton, Qt::LeftButton);
        QTest::keyClicks(e->CatName, "x");
        ASSERT_TRUE(e->Modified);
        end(*e);
        EXPECT_TRUE(Released());
        EXPECT_EQ(CamViewer->RootCategory->Categories.Count(), 0);
        EXPECT_EQ(CatalogueTexts(), QStringList{"Pier"});
        EXPECT_EQ(ocelis::test::ReadFileBytes(Options()), before);
    }
    (void)m;
}

TEST_F(EditListTest, EveryOkAppliesRebuildsTheMenuAndSavesViewersKeepTheirCopies) {
    TfoCamMain& m = Start();
    ASSERT_FALSE(fs::exists(Options()));
    // OK without changes still writes the file.
    TfoEditCams* e = Open();
    ASSERT_NE(e, nullptr);
    QTest::mouseClick(e->OkButton, Qt::LeftButton);
    EXPECT_TRUE(Released());
    ASSERT_TRUE(fs::exists(Options()));

    // "Add Webcam" on an empty catalogue, then OK.
    e = Open();
    ASSERT_NE(e, nullptr);
    QTest::mouseClick(e->AddCamButton, Qt::LeftButton);
    QTest::mouseClick(e->OkButton, Qt::LeftButton);
    EXPECT_TRUE(Released());
    ASSERT_EQ(CamViewer->RootCategory->Cams.Count(), 1);
    TCamWebcam& cam = *CamViewer->RootCategory->Cams.Items(0);
    EXPECT_EQ(cam.Name, "New Webcam");
    EXPECT_EQ(cam.Url, "http://");
    EXPECT_EQ(cam.Refresh, 30);
    EXPECT_EQ(CatalogueTexts(), QStringList{"New Webcam"});
    EXPECT_NE(ocelis::test::ReadFileBytes(Options()).find(
                  "<Cam Name=\"New Webcam\" Url=\"http://\" Refresh=\"30\"/>"),
              std::string::npos)
        << ocelis::test::ReadFileBytes(Options());

    // A viewer open during a rename keeps its own copy.
    TfoViewer* viewer = m.OpenViewer(cam);
    e = Open();
    ASSERT_NE(e, nullptr);
    e->CamList->setCurrentItem(e->CamList->topLevelItem(0));
    e->CamName->setText(QStringLiteral("Harbour"));
    QTest::mouseClick(e->OkButton, Qt::LeftButton);
    EXPECT_TRUE(Released());
    EXPECT_EQ(CatalogueTexts(), QStringList{"Harbour"});
    EXPECT_EQ(viewer->Webcam().Name, "New Webcam");
}

TEST_F(EditListTest, TheTrayStaysUsableAndASecondEditListBringsTheEditorForward) {
    TfoCamMain& m = Start();
    TfoEditCams* e = Open();
    ASSERT_TRUE(e && e->isVisible());
    // Nothing blocks the tray icon's windows.
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    m.TrayPopup->popup(QPoint(20, 20));
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.TrayPopup->isVisible(); }, 2000));
    // "Edit List..." chosen again.
    QTest::mouseClick(m.TrayPopup, Qt::LeftButton, {},
                      m.TrayPopup->actionGeometry(m.actEdit).center());
    EXPECT_FALSE(m.TrayPopup->isVisible());
    EXPECT_EQ(Editors(), std::vector<TfoEditCams*>{e});
    e->reject();
    EXPECT_TRUE(Released());
    EXPECT_NE(Open(), nullptr); // after it has gone, the entry opens a new one
}

// The tray controller offscreen: menu content, OpenViewer, the Windows submenu, languages,
// .cam import and the hand-over handler.
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QTest>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

#include "AppFixture.h"
#include "app/AppStart.h"
#include "app/CamMain.h"
#include "app/ShellRules.h"
#include "gui/SForm.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/Translator.h"
#include "support/TestFiles.h"
#include "util/Text.h"
#include "viewer/ViewerHealth.h"
#include "viewer/ViewerWindow.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

// Nobody listens on port 9 of loopback: viewers fail fast and keep their record.
std::string DeadUrl(const std::string& path) {
    return "http://127.0.0.1:9/" + path;
}

class CamMainTest : public TAppFixture {
protected:
    // Options.xml with this catalogue (and default preferences).
    void SaveCatalogue(const std::function<void(TCamCategory&)>& fill,
                       const std::string& language = {}) {
        TCamViewer v;
        fill(*v.RootCategory);
        v.Language = language;
        v.Save();
        ASSERT_TRUE(fs::exists(FDir / "app" / "Options.xml"));
    }
    std::string WriteFile(const fs::path& rel, const std::string& text) {
        const fs::path p = FDir / rel;
        ocelis::test::WriteFileBytes(p, text);
        return p.string();
    }
    TfoCamMain& Start(std::vector<std::string> args = {}) {
        FMain = std::make_unique<TfoCamMain>(std::move(args));
        return *FMain;
    }
    static QStringList Names(const QList<QAction*>& actions) {
        QStringList out;
        for (QAction* a : actions)
            out << (a->objectName().isEmpty() ? a->text() : a->objectName());
        return out;
    }
    // Entries between BeforeItems and AfterItems.
    QList<QAction*> CatalogueEntries() {
        const QList<QAction*> all = FMain->TrayPopup->actions();
        const qsizetype b = all.indexOf(FMain->BeforeItems);
        const qsizetype a = all.indexOf(FMain->AfterItems);
        return all.mid(b + 1, a - b - 1);
    }
    static std::vector<TfoViewer*> Viewers() {
        std::vector<TfoViewer*> out;
        for (TSForm* f : FormList)
            if (auto* v = qobject_cast<TfoViewer*>(f))
                out.push_back(v);
        return out;
    }
    static TCamWebcam* AddCam(TCamCategory& c, const std::string& name, const std::string& url) {
        TCamWebcam* cam = c.Cams.Add();
        cam->Name = name;
        cam->Url = url;
        cam->Refresh = 30;
        return cam;
    }
};

const char* kFixedTail[] = {"AfterItems", "actAviCreator", "actEdit",   "actMire", "actOptions",
                            "N1",         "actLanguage",   "actWindow", "N2",      "actExit"};

} // namespace

TEST_F(CamMainTest, EmptyCatalogueGivesTheFixedEntriesAndTwoAdjacentSeparators) {
    TfoCamMain& m = Start();
    EXPECT_EQ(m.objectName(), "foCamMain");
    EXPECT_FALSE(m.isVisible());
    // Offscreen there is no tray host: the icon waits for one, the menu is drawn by Qt.
    EXPECT_EQ(m.TrayIcon, nullptr);
    EXPECT_FALSE(m.MenuExported());
    QStringList expected{"actCloseMenu", "BeforeItems"};
    for (const char* n : kFixedTail)
        expected << n;
    EXPECT_EQ(Names(m.TrayPopup->actions()), expected);
    EXPECT_TRUE(m.BeforeItems->isSeparator());
    EXPECT_TRUE(m.AfterItems->isSeparator());
    EXPECT_EQ(m.actCloseMenu->text(), "&Close this menu");
    EXPECT_EQ(m.actEdit->text(), "Edit List...");
    EXPECT_EQ(m.actExit->text(), "&Exit");
    EXPECT_EQ(m.actLanguage->menu(), m.Language1);
    EXPECT_EQ(m.actWindow->menu(), m.Windows1);
    // No Languages folder: the submenu is empty (the placeholder is gone).
    EXPECT_TRUE(m.Language1->actions().isEmpty());
    // The components a language file addresses are found by name.
    for (const char* n : {"TrayPopup", "ActionList1", "ImageList1", "OcTranslator", "Variables",
                          "actCloseMenu", "actExit", "Windows1", "Dummy2"})
        EXPECT_NE(m.findChild<QObject*>(QString::fromLatin1(n)), nullptr) << n;
    EXPECT_EQ(CamViewer->RootCategory->Categories.Count(), 0);
    EXPECT_TRUE(ocelis::TDialogs::Messages().empty());
}

TEST_F(CamMainTest, MenuListsNestedCategoriesThenRootWebcamsWithPlaceholdersAndColumns) {
    SaveCatalogue([](TCamCategory& root) {
        TCamCategory* europe = root.Categories.Add();
        europe->Name = "Europe";
        TCamCategory* alps = europe->Categories.Add();
        alps->Name = "Alps";
        AddCam(*alps, "Peak", DeadUrl("peak.jpg"));
        AddCam(*europe, "Harbour & Pier_1", DeadUrl("harbour.jpg"));
        TCamCategory* empty = root.Categories.Add();
        empty->Name = "Nothing";
        TCamCategory* many = root.Categories.Add();
        many->Name = "Many";
        for (int i = 0; i < 60; ++i)
            AddCam(*many, "Cam " + std::to_string(i + 1), DeadUrl(std::to_string(i)));
        AddCam(root, "Loose", DeadUrl("loose.jpg"));
    });
    TfoCamMain& m = Start();
    const QList<QAction*> entries = CatalogueEntries();
    ASSERT_EQ(entries.size(), 4);
    EXPECT_EQ(entries[0]->text(), "Europe");
    EXPECT_EQ(entries[1]->text(), "Nothing");
    EXPECT_EQ(entries[2]->text(), "Many");
    EXPECT_EQ(entries[3]->text(), "Loose");
    EXPECT_EQ(TfoCamMain::EntryWebcam(entries[3]),
              CamViewer->RootCategory->Cams.Items(0)); // a reference, not a copy

    QMenu* europe = entries[0]->menu();
    ASSERT_NE(europe, nullptr);
    // Webcam entries come when the submenu first opens; sub-categories are there at once.
    ASSERT_EQ(europe->actions().size(), 1);
    emit europe->aboutToShow();
    emit europe->aboutToShow(); // once only
    ASSERT_EQ(europe->actions().size(), 2);
    QMenu* alps = europe->actions()[0]->menu();
    ASSERT_NE(alps, nullptr);
    EXPECT_EQ(alps->title(), "Alps");
    emit alps->aboutToShow();
    ASSERT_EQ(TfoCamMain::WebcamEntries(alps).size(), 1u);
    EXPECT_EQ(TfoCamMain::WebcamEntries(alps)[0]->text(), "Peak");
    // Names are plain text: "&" is no accelerator mark.
    EXPECT_EQ(europe->actions()[1]->text(), "Harbour && Pier_1");

    QMenu* nothing = entries[1]->menu();
    ASSERT_NE(nothing, nullptr);
    ASSERT_EQ(nothing->actions().size(), 1);
    EXPECT_EQ(nothing->actions()[0]->text(), "Empty Category");
    EXPECT_FALSE(nothing->actions()[0]->isEnabled());

    emit entries[2]->menu()->aboutToShow();
    const std::vector<QAction*> many = TfoCamMain::WebcamEntries(entries[2]->menu());
    // Real entries, in catalogue order, directly in the submenu.
    EXPECT_EQ(entries[2]->menu()->actions().size(), 60);
    ASSERT_EQ(many.size(), 60u);
    for (size_t i = 0; i < many.size(); ++i)
        EXPECT_EQ(many[i]->text(), QString("Cam %1").arg(i + 1));

    // An entry past the 29th opens its viewer like any other.
    many[29]->trigger();
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_EQ(Viewers()[0]->Webcam().Url, DeadUrl("29"));

    // A rebuild replaces the catalogue entries as a whole.
    CamViewer->RootCategory->Categories.Delete(2);
    m.RebuildTrayMenu();
    EXPECT_EQ(CatalogueEntries().size(), 3);
    EXPECT_EQ(Names(m.TrayPopup->actions()).mid(m.TrayPopup->actions().indexOf(m.AfterItems)),
              QStringList(std::begin(kFixedTail), std::end(kFixedTail)));
}

// Names far wider than the screen, in the widest letter: no menu grows past the screen, on
// either kind of tray (the caption itself is cut, in the middle).
TEST_F(CamMainTest, LongNamesAreCutInTheMiddleSoThatNoMenuIsWiderThanTheScreen) {
    const std::string wide = std::string(300, 'W') + "end";
    SaveCatalogue([&wide](TCamCategory& root) {
        TCamCategory* c = root.Categories.Add();
        c->Name = wide;
        AddCam(*c, wide, DeadUrl("wide.jpg"));
        AddCam(root, wide, DeadUrl("root.jpg"));
    });
    TfoCamMain& m = Start();
    const int screenWidth = QApplication::primaryScreen()->availableGeometry().width();
    QMenu* category = CatalogueEntries()[0]->menu();
    ASSERT_NE(category, nullptr);
    emit category->aboutToShow();
    m.OpenViewer(*CamViewer->RootCategory->Cams.Items(0));
    emit m.Windows1->aboutToShow();
    for (QMenu* menu : {m.TrayPopup, category, m.Windows1}) {
        SCOPED_TRACE(menu->title().toStdString());
        EXPECT_LE(menu->sizeHint().width(), screenWidth);
        for (QAction* a : menu->actions())
            if (a->text().startsWith(QLatin1String("WWW"))) {
                EXPECT_TRUE(a->text().endsWith(QLatin1String("end")) &&
                            a->text().contains(QChar(0x2026)))
                    << a->text().size();
                EXPECT_GE(a->text().size(), static_cast<qsizetype>(ocelis::kMinMenuChars));
            }
    }
}

TEST_F(CamMainTest, SavedLanguageRenamesEntriesAndPlaceholdersBeforeTheMenuIsBuilt) {
    const std::string lang =
        WriteFile("app/Languages/Pirate.xml", "<Texts><foCamMain>"
                                              "<actExit Caption='Abandon ship'/>"
                                              "<Variables><Text Name='emptycat' Value='No booty'/>"
                                              "<Text Name='NoWindow' Value='No sails'/></Variables>"
                                              "</foCamMain></Texts>");
    WriteFile("app/Languages/Plain.xml", "<Texts><foCamMain><actExit Caption='Leave'/>"
                                         "</foCamMain></Texts>");
    WriteFile("app/Languages/readme.txt", "not a language");
    SaveCatalogue([](TCamCategory& root) { root.Categories.Add()->Name = "Empty"; }, lang);
    TfoCamMain& m = Start();
    EXPECT_EQ(m.actExit->text(), "Abandon ship");
    ASSERT_EQ(CatalogueEntries().size(), 1);
    EXPECT_EQ(CatalogueEntries()[0]->menu()->actions()[0]->text(), "No booty");

    QStringList languages;
    QAction* plain = nullptr;
    for (QAction* a : m.Language1->actions()) {
        languages << a->text();
        if (a->text() == "Plain")
            plain = a;
    }
    languages.sort();
    EXPECT_EQ(languages, QStringList({"Pirate", "Plain"}));
    ASSERT_NE(plain, nullptr);
    plain->trigger();
    EXPECT_EQ(m.actExit->text(), "Leave");
    EXPECT_EQ(fs::path(CamViewer->Language), FDir / "app/Languages/Plain.xml");
    // Texts the new file does not mention keep the previous language's wording.
    m.actWindowExecute();
    EXPECT_EQ(m.Dummy2->text(), "No sails");
}

TEST_F(CamMainTest, LanguagesAreSortedByNameWithTheCurrentOneChecked) {
    std::string french;
    for (const char* name : {"Zulu",
                             "fran\xC3\xA7"
                             "ais",
                             "English",
                             "\xC3\x89"
                             "b\xC3\xA8ne",
                             "Deutsch"}) {
        const std::string path =
            WriteFile(fs::path("app/Languages") / (std::string(name) + ".xml"), "<Texts/>");
        if (std::string(name).starts_with("fran"))
            french = path;
    }
    SaveCatalogue([](TCamCategory&) {}, french);
    TfoCamMain& m = Start();
    const auto checked = [&] {
        QStringList out;
        for (QAction* a : m.Language1->actions()) {
            EXPECT_TRUE(a->isCheckable()) << a->text().toStdString();
            if (a->isChecked())
                out << a->text();
        }
        return out;
    };
    EXPECT_EQ(Names(m.Language1->actions()),
              QStringList({"Deutsch", "\u00C9b\u00E8ne", "English", "fran\u00E7ais", "Zulu"}));
    EXPECT_EQ(checked(), QStringList({"fran\u00E7ais"}));
    m.Language1->actions()[2]->trigger();
    EXPECT_EQ(checked(), QStringList({"English"}));
    EXPECT_EQ(fs::path(CamViewer->Language), FDir / "app/Languages/English.xml");
}

TEST_F(CamMainTest, LanguageFileReachesEveryEntryOfTheTrayMenuByItsOwnName) {
    // An entry that shows an action is that action; the later element wins.
    const std::string lang = WriteFile(
        "app/Languages/All.xml",
        "<Texts><foCamMain>"
        "<Closethismenu1 Caption='Close'/><BeforeItems Visible='0'/><AfterItems Visible='0'/>"
        "<AVICreator1 Caption='Film'/><EditWebcams1 Caption='Edit'/><Mire1 Caption='Wall'/>"
        "<Options1 Caption='Prefs' ShortCut='Ctrl+P'/><N1 Visible='0'/>"
        "<Language1 Caption='Tongue'/><Windows1 Caption='Panes'/><N2 Visible='0'/>"
        "<Exit1 Caption='Quit'/><actExit Caption='Leave'/><actMire Caption='Grid'/>"
        "<Mire1 Caption='Mosaic wall'/><Dummy2 Caption='Nothing'/>"
        "<TrayIcon Hint='Not ours'/></foCamMain></Texts>");
    SaveCatalogue([](TCamCategory&) {}, lang);
    TfoCamMain& m = Start();
    EXPECT_EQ(m.actCloseMenu->text(), "Close");
    EXPECT_EQ(m.actAviCreator->text(), "Film");
    EXPECT_EQ(m.actEdit->text(), "Edit");
    EXPECT_EQ(m.actMire->text(), "Mosaic wall");
    EXPECT_EQ(m.actOptions->text(), "Prefs");
    EXPECT_EQ(m.actOptions->shortcut(), QKeySequence(QStringLiteral("Ctrl+P")));
    EXPECT_EQ(m.actLanguage->text(), "Tongue");
    EXPECT_EQ(m.actWindow->text(), "Panes");
    EXPECT_EQ(m.actExit->text(), "Leave");
    for (QAction* separator : m.TrayPopup->actions()) {
        if (separator->isSeparator()) {
            EXPECT_FALSE(separator->isVisible()) << separator->objectName().toStdString();
        }
    }
    EXPECT_EQ(m.Dummy2->text(), "Nothing");
    m.actWindowExecute(); // overwrites the caption, as the layout's handler does
    EXPECT_EQ(m.Dummy2->text(), "No Window");
}

TEST_F(CamMainTest, ALanguageFileCannotShowTheHiddenMainWindow) {
    const std::string lang = WriteFile("app/Languages/Show.xml",
                                       "<Texts><foCamMain Visible='1' Caption='Shown'/></Texts>");
    SaveCatalogue([](TCamCategory&) {}, lang);
    TfoCamMain& m = Start();
    EXPECT_EQ(m.windowTitle(), "Shown");
    EXPECT_FALSE(m.isVisible());
}

TEST_F(CamMainTest, OpenViewerFindsTheSameUrlExactlyAndOpensOnePerUrl) {
    SaveCatalogue([](TCamCategory& root) {
        TCamCategory* a = root.Categories.Add();
        a->Name = "A";
        AddCam(*a, "One", DeadUrl("cam.jpg"));
        TCamCategory* b = root.Categories.Add();
        b->Name = "B";
        AddCam(*b, "Same image elsewhere", DeadUrl("cam.jpg"));
        AddCam(*b, "Other case", DeadUrl("CAM.jpg"));
    });
    TfoCamMain& m = Start();
    TCamCategory& root = *CamViewer->RootCategory;
    TfoViewer* first = m.OpenViewer(*root.Categories.Items(0)->Cams.Items(0));
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(first->Webcam().Name, "One");
    EXPECT_NE(&first->Webcam(), root.Categories.Items(0)->Cams.Items(0)); // a copy

    EXPECT_EQ(m.OpenViewer(*root.Categories.Items(0)->Cams.Items(0)), first);
    first->hide();
    EXPECT_EQ(m.OpenViewer(*root.Categories.Items(1)->Cams.Items(0)), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(Viewers().size(), 1u);

    TfoViewer* other = m.OpenViewer(*root.Categories.Items(1)->Cams.Items(1));
    EXPECT_NE(other, first);
    EXPECT_EQ(Viewers().size(), 2u);

    // Through the menu entry as well.
    emit CatalogueEntries()[1]->menu()->aboutToShow();
    TfoCamMain::WebcamEntries(CatalogueEntries()[1]->menu())[0]->trigger();
    EXPECT_EQ(Viewers().size(), 2u);
}

TEST_F(CamMainTest, WindowsSubmenuListsOpenWindowsOrTheNoWindowPlaceholder) {
    SaveCatalogue([](TCamCategory& root) {
        AddCam(root, "First", DeadUrl("1.jpg"));
        AddCam(root, "Second", DeadUrl("2.jpg"));
    });
    TfoCamMain& m = Start();
    emit m.Windows1->aboutToShow();
    ASSERT_EQ(m.Windows1->actions().size(), 1);
    EXPECT_EQ(m.Windows1->actions()[0], m.Dummy2);
    EXPECT_TRUE(m.Dummy2->isVisible());
    EXPECT_FALSE(m.Dummy2->isEnabled());
    EXPECT_EQ(m.Dummy2->text(), "No Window");

    TfoViewer* v1 = m.OpenViewer(*CamViewer->RootCategory->Cams.Items(0));
    TfoViewer* v2 = m.OpenViewer(*CamViewer->RootCategory->Cams.Items(1));
    emit m.Windows1->aboutToShow();
    QList<QAction*> items = m.Windows1->actions();
    ASSERT_EQ(items.size(), 3);
    EXPECT_FALSE(m.Dummy2->isVisible());
    EXPECT_EQ(items[1]->text(), v1->windowTitle());
    EXPECT_EQ(items[2]->text(), v2->windowTitle());
    EXPECT_EQ(items[1]->text(), "First");

    v2->hide();
    items[2]->trigger();
    EXPECT_TRUE(v2->isVisible());

    // Rebuilt on every opening; a stale entry does nothing.
    QAction* stale = items[2];
    delete v2;
    ASSERT_TRUE(QTest::qWaitFor([&] { return Viewers().size() == 1; }, 2000));
    m.WindowItemClick(stale);
    emit m.Windows1->aboutToShow();
    EXPECT_EQ(m.Windows1->actions().size(), 2);
    EXPECT_EQ(Viewers().size(), 1u);
}

TEST_F(CamMainTest, ImportAddsToImportedCategoryRebuildsTheMenuAndOpensAViewer) {
    TfoCamMain& m = Start();
    const std::string good =
        WriteFile("pier.cam", "<?xml version=\"1.0\"?><Cam><Name>Pier</Name><Url>" +
                                  DeadUrl("pier.jpg") + "</Url><Refresh>60</Refresh></Cam>");
    m.ImportCamFile(good);
    TCamCategory* imported = CamViewer->RootCategory->FindCategory("Imported");
    ASSERT_NE(imported, nullptr);
    ASSERT_EQ(imported->Cams.Count(), 1);
    EXPECT_EQ(imported->Cams.Items(0)->Refresh, 60);
    ASSERT_EQ(CatalogueEntries().size(), 1);
    EXPECT_EQ(CatalogueEntries()[0]->text(), "Imported");
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_EQ(Viewers()[0]->Webcam().Name, "Pier");

    // No duplicate test: the same file again adds a record but shows the open viewer.
    m.ImportCamFile(good);
    EXPECT_EQ(imported->Cams.Count(), 2);
    EXPECT_EQ(Viewers().size(), 1u);

    // Letters as Refresh give -1.
    m.ImportCamFile(WriteFile("letters.cam", "<Cam><Name>L</Name><Url>" + DeadUrl("l.jpg") +
                                                 "</Url><Refresh>often</Refresh></Cam>"));
    ASSERT_EQ(imported->Cams.Count(), 3);
    EXPECT_EQ(imported->Cams.Items(2)->Refresh, -1);
    EXPECT_EQ(Viewers().size(), 2u);
}

TEST_F(CamMainTest, BadCamFilesChangeNothingButTheImportedCategory) {
    TfoCamMain& m = Start();
    m.ImportCamFile(WriteFile("noname.cam", "<Cam><Url>" + DeadUrl("x.jpg") + "</Url></Cam>"));
    m.ImportCamFile(WriteFile("broken.cam", "<Cam><Name>x</Na"));
    m.ImportCamFile((FDir / "missing.cam").string());
    TCamCategory* imported = CamViewer->RootCategory->FindCategory("Imported");
    ASSERT_NE(imported, nullptr);
    EXPECT_EQ(imported->Cams.Count(), 0);
    EXPECT_TRUE(Viewers().empty());
    // The menu is not rebuilt by a failed import; the category shows at the next rebuild.
    EXPECT_TRUE(CatalogueEntries().isEmpty());
    m.RebuildTrayMenu();
    ASSERT_EQ(CatalogueEntries().size(), 1);
    EXPECT_EQ(CatalogueEntries()[0]->menu()->actions()[0]->text(), "Empty Category");
    EXPECT_TRUE(ocelis::TDialogs::Messages().empty());
}

TEST_F(CamMainTest, RenamedImportedCategoryIsCreatedBesideTheOldOne) {
    const std::string lang =
        WriteFile("app/Languages/De.xml",
                  "<T><foCamMain><Variables><x Name='ImportedCat' Value='Importiert'/>"
                  "</Variables></foCamMain></T>");
    SaveCatalogue([](TCamCategory& root) { root.Categories.Add()->Name = "Imported"; }, lang);
    TfoCamMain& m = Start();
    m.ImportCamFile(
        WriteFile("a.cam", "<Cam><Name>A</Name><Url>" + DeadUrl("a.jpg") + "</Url></Cam>"));
    TCamCategory& root = *CamViewer->RootCategory;
    ASSERT_EQ(root.Categories.Count(), 2);
    EXPECT_EQ(root.Categories.Items(0)->Name, "Imported");
    EXPECT_EQ(root.Categories.Items(0)->Cams.Count(), 0);
    EXPECT_EQ(root.Categories.Items(1)->Name, "Importiert");
    EXPECT_EQ(root.Categories.Items(1)->Cams.Count(), 1);
}

TEST_F(CamMainTest, FirstArgumentIsImportedWithoutThePathTests) {
    const std::string txt =
        WriteFile("cam.txt", "<Cam><Name>T</Name><Url>" + DeadUrl("t.jpg") + "</Url></Cam>");
    Start({txt, "ignored second argument"});
    TCamCategory* imported = CamViewer->RootCategory->FindCategory("Imported");
    ASSERT_NE(imported, nullptr);
    ASSERT_EQ(imported->Cams.Count(), 1);
    EXPECT_EQ(Viewers().size(), 1u);
}

TEST_F(CamMainTest, HandOverAppliesCbDataAndTheThreePathTests) {
    TfoCamMain& m = Start();
    const std::string body = "<Cam><Name>H</Name><Url>" + DeadUrl("h.jpg") + "</Url></Cam>";
    const std::string lower = WriteFile("h1.cam", body);
    const std::string upper = WriteFile("H2.CAM", body);
    const std::string txt = WriteFile("h3.cam.txt", body);
    auto count = [] {
        TCamCategory* c = CamViewer->RootCategory->FindCategory("Imported");
        return c ? c->Cams.Count() : 0;
    };
    const std::string block = lower + '\0';
    m.CopyData(block, 0);
    EXPECT_EQ(count(), 0);
    EXPECT_EQ(CamViewer->RootCategory->FindCategory("Imported"), nullptr);
    m.CopyData(txt + '\0', static_cast<uint32_t>(txt.size() + 1));
    m.CopyData((FDir / "gone.cam").string(), 200);
    EXPECT_EQ(CamViewer->RootCategory->FindCategory("Imported"), nullptr);
    m.CopyData(block, static_cast<uint32_t>(block.size()));
    EXPECT_EQ(count(), 1);
    // Text ends at the first zero byte, whatever follows.
    m.CopyData(upper + '\0' + "garbage", static_cast<uint32_t>(upper.size() + 8));
    EXPECT_EQ(count(), 2);
    // Never read past cbData: the cut path names no file.
    m.CopyData(block, static_cast<uint32_t>(lower.size() - 1));
    EXPECT_EQ(count(), 2);
}

TEST_F(CamMainTest, FileTypeIsRegisteredAtEveryStart) {
    const char* data = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(data, nullptr);
    fs::remove(fs::path(data) / "applications/ocelis.desktop");
    Start();
    EXPECT_TRUE(fs::exists(fs::path(data) / "applications/ocelis.desktop"));
    EXPECT_TRUE(fs::exists(fs::path(data) / "mime/packages/ocelis-cam.xml"));
}

TEST_F(CamMainTest, FailingFormCreateStepIsReportedAndEndsStartUpThere) {
    const char* data = std::getenv("XDG_DATA_HOME");
    ASSERT_NE(data, nullptr);
    const std::string saved = data;
    const fs::path blocked = FDir / "blocked-data";
    ocelis::test::WriteFileBytes(blocked / "mime", "a file where a folder belongs");
    setenv("XDG_DATA_HOME", blocked.c_str(), 1);
    const std::string cam =
        WriteFile("x.cam", "<Cam><Name>X</Name><Url>" + DeadUrl("x.jpg") + "</Url></Cam>");
    Start({cam});
    setenv("XDG_DATA_HOME", saved.c_str(), 1);
    ASSERT_EQ(ocelis::TDialogs::Messages().size(), 1u);
    const ocelis::TMessageRecord& msg = ocelis::TDialogs::Messages()[0];
    EXPECT_EQ(msg.Title, "Ocelis");
    EXPECT_EQ(msg.Icon, QMessageBox::Critical);
    EXPECT_TRUE(msg.Text.startsWith("Cannot write")) << msg.Text.toStdString();
    EXPECT_TRUE(msg.Text.endsWith('.'));
    // Steps before the failure ran; the import after it did not.
    EXPECT_NE(CamViewer, nullptr);
    EXPECT_EQ(CamViewer->RootCategory->FindCategory("Imported"), nullptr);
    EXPECT_TRUE(Viewers().empty());
}

TEST_F(CamMainTest, FirstLaunchBalloonAndSaveAtShutdown) {
    WriteFile("app/Options.xml", "<Options><Category/><FirstLaunch>-1</FirstLaunch></Options>");
    TfoCamMain& m = Start();
    EXPECT_EQ(m.BalloonTitle(), "First Launch of Ocelis");
    EXPECT_EQ(m.BalloonText(), "Right click on this icon and select a webcam you want to watch.");
    m.SaveAndReleaseSettings();
    EXPECT_EQ(CamViewer, nullptr);
    const std::string text = ocelis::test::ReadFileBytes(FDir / "app/Options.xml");
    EXPECT_NE(text.find("<FirstLaunch>0</FirstLaunch>"), std::string::npos);
    m.SaveAndReleaseSettings(); // a second call does nothing
}

TEST_F(CamMainTest, NoBalloonWithoutFirstLaunch) {
    TfoCamMain& m = Start();
    EXPECT_TRUE(m.BalloonTitle().isEmpty());
}

TEST(HandOverArgument, RelativePathsBecomeAbsoluteOthersStay) {
    EXPECT_EQ(ocelis::HandOverArgument("/abs/pier.cam"), "/abs/pier.cam");
    EXPECT_EQ(ocelis::HandOverArgument(""), "");
    EXPECT_EQ(fs::path(ocelis::HandOverArgument("sub/pier.cam")),
              fs::current_path() / "sub/pier.cam");
}

TEST_F(CamMainTest, TrayTipCountsOpenViewersAndTheOfflineOnes) {
    SaveCatalogue([](TCamCategory& root) {
        AddCam(root, "First", DeadUrl("1.jpg"));
        AddCam(root, "Second", DeadUrl("2.jpg"));
    });
    TfoCamMain& m = Start();
    EXPECT_EQ(m.TrayTip(), "Ocelis");
    TfoViewer* v1 = m.OpenViewer(*CamViewer->RootCategory->Cams.Items(0));
    m.OpenViewer(*CamViewer->RootCategory->Cams.Items(1));
    EXPECT_EQ(m.TrayTip(), QString::fromUtf8("Ocelis \u2013 2 viewers, 0 offline"));
    // Failures over more than 30 s.
    double now = v1->Health().Clock();
    v1->Health().Clock = [&now] { return now; };
    for (int i = 0; i < 3; ++i) {
        v1->Health().Fetched(ocelis::TFetchFailure{});
        now += 20;
    }
    EXPECT_EQ(m.TrayTip(), QString::fromUtf8("Ocelis \u2013 2 viewers, 1 offline"));
    for (TfoViewer* v : Viewers())
        delete v;
    ASSERT_TRUE(QTest::qWaitFor([&] { return m.TrayTip() == "Ocelis"; }, 2000));
}

TEST_F(CamMainTest, HugeNamesAreElidedOnScreenButKeptWholeAndHugeCamFilesRefused) {
    TfoCamMain& m = Start();
    const std::string name = "Harbour" + std::string(1000000, 'x') + "Pier";
    m.ImportCamFile(WriteFile("long.cam", "<Cam><Name>" + name + "</Name><Url>" +
                                              DeadUrl("long.jpg") + "</Url></Cam>"));
    m.ImportCamFile(WriteFile("huge.cam", "<Cam><Name>" + std::string(2u << 20, 'h') +
                                              "</Name><Url>" + DeadUrl("huge.jpg") +
                                              "</Url></Cam>"));
    TCamCategory* imported = CamViewer->RootCategory->FindCategory("Imported");
    ASSERT_NE(imported, nullptr);
    ASSERT_EQ(imported->Cams.Count(), 1);
    EXPECT_EQ(imported->Cams.Items(0)->Name, name);
    ASSERT_EQ(Viewers().size(), 1u);
    EXPECT_EQ(Viewers()[0]->Webcam().Name, name);

    const QString title = Viewers()[0]->windowTitle();
    ASSERT_EQ(CatalogueEntries().size(), 1);
    QMenu* sub = CatalogueEntries()[0]->menu();
    emit sub->aboutToShow();
    ASSERT_FALSE(sub->actions().isEmpty());
    for (const QString& shown : {title, sub->actions()[0]->text()}) {
        EXPECT_EQ(shown.size(), qsizetype(ocelis::kMaxShownChars));
        EXPECT_TRUE(shown.startsWith("Harbour")) << shown.toStdString();
        EXPECT_TRUE(shown.endsWith("Pier")) << shown.toStdString();
    }
}

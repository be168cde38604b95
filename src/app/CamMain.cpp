#include "app/CamMain.h"

#include "app/ShellIcons.h"
#include "app/ShellRules.h"
#include "catalogue/CamCategory.h"
#include "catalogue/CamFile.h"
#include "catalogue/EditCams.h"
#include "gui/SForm.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/FileAssociation.h"
#include "platform/HandOver.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/PlainText.h"
#include "settings/Translator.h"
#include "util/QtText.h"
#include "util/Text.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <set>

namespace fs = std::filesystem;

namespace {

constexpr const char* kWebcamProperty = "ocelisWebcam";
constexpr const char* kColumnProperty = "ocelisColumn";
constexpr const char* kPathProperty = "ocelisPath";
constexpr const char* kIndexProperty = "ocelisIndex";
// Desktops often start autostart entries before the panel that hosts the tray.
constexpr int kTrayRetryMs = 1000;
constexpr int kTrayRetries = 120;

std::string ErrorText(const std::exception_ptr& e) {
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        return ex.what();
    } catch (...) {
        return "Unknown error";
    }
}

// Qt menus have no column break: a submenu with more webcams than one column holds gets
// this one entry, which lays the webcam entries out side by side with a bar between.
class WebcamColumnsAction : public QWidgetAction {
public:
    explicit WebcamColumnsAction(QMenu* menu) : QWidgetAction(menu) {}
    std::vector<QAction*> Entries;

protected:
    QWidget* createWidget(QWidget* parent) override {
        auto* box = new QWidget(parent);
        auto* row = new QHBoxLayout(box);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(0);
        QVBoxLayout* column = nullptr;
        int current = -1;
        for (QAction* entry : Entries) {
            const int c = TfoCamMain::EntryColumn(entry);
            if (c != current) {
                if (column) {
                    column->addStretch(1);
                    auto* bar = new QFrame(box);
                    bar->setFrameShape(QFrame::VLine);
                    bar->setFrameShadow(QFrame::Sunken);
                    row->addWidget(bar);
                }
                column = new QVBoxLayout;
                column->setSpacing(0);
                row->addLayout(column);
                current = c;
            }
            // Push buttons, because tool buttons centre their text whatever the style says.
            auto* button = new QPushButton(entry->text(), box);
            button->setFlat(true);
            button->setFocusPolicy(Qt::NoFocus);
            button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
            button->setStyleSheet(
                QStringLiteral("QPushButton { text-align: left; padding: 3px 14px; border: none; "
                               "background: transparent; }"
                               "QPushButton:hover { background: palette(highlight); "
                               "color: palette(highlighted-text); }"));
            QObject::connect(button, &QPushButton::clicked, entry, &QAction::trigger);
            column->addWidget(button);
            QObject::connect(button, &QPushButton::clicked, box, [] {
                // A click on an embedded button does not close the menus by itself.
                for (QWidget* w : QApplication::topLevelWidgets())
                    if (auto* m = qobject_cast<QMenu*>(w); m && m->isVisible())
                        m->hide();
            });
        }
        if (column)
            column->addStretch(1);
        return box;
    }
};

} // namespace

template <typename F> void TfoCamMain::Guarded(F&& handler) {
    try {
        handler();
    } catch (...) {
        ocelis::ShowErrorReport(ErrorText(std::current_exception()));
    }
}

TfoCamMain::TfoCamMain(std::vector<std::string> arguments, QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("foCamMain"));
    setWindowTitle(QStringLiteral("Ocelis"));
    // The main window is never shown, whatever a language file says about its Visible.
    setProperty("ocelisKeepHidden", true);
    BuildComponents();
    try {
        FormCreate(arguments);
    } catch (...) {
        ocelis::ShowErrorReport(ErrorText(std::current_exception()));
    }
}

TfoCamMain::~TfoCamMain() {
    if (TrayIcon)
        TrayIcon->hide();
    if (CamViewer == FSettings.get())
        CamViewer = nullptr;
}

void TfoCamMain::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    QCoreApplication::quit();
}

void TfoCamMain::SaveAndReleaseSettings() {
    if (!FSettings)
        return;
    FSettings->Save();
    if (CamViewer == FSettings.get())
        CamViewer = nullptr;
    FSettings.reset();
}

QAction* TfoCamMain::NewAction(const char* name, const QString& caption, int icon) {
    auto* a = new QAction(caption, this);
    a->setObjectName(QString::fromLatin1(name));
    if (icon >= 0)
        a->setIcon(ocelis::ShellActionIcon(static_cast<ocelis::ShellGlyph>(icon)));
    return a;
}

void TfoCamMain::BuildComponents() {
    using ocelis::ShellGlyph;
    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ImageList1 = new QObject(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    OcTranslator = new TOcTranslator(this);
    Variables = new TOcTranslatorStrings(this);

    actCloseMenu = NewAction("actCloseMenu", QStringLiteral("&Close this menu"),
                             static_cast<int>(ShellGlyph::Close));
    actAviCreator = NewAction("actAviCreator", QStringLiteral("&AVI Creator..."),
                              static_cast<int>(ShellGlyph::Avi));
    actEdit =
        NewAction("actEdit", QStringLiteral("Edit List..."), static_cast<int>(ShellGlyph::Edit));
    actMire =
        NewAction("actMire", QStringLiteral("&Mosaic..."), static_cast<int>(ShellGlyph::Mosaic));
    actOptions = NewAction("actOptions", QStringLiteral("&Options..."),
                           static_cast<int>(ShellGlyph::Options));
    actLanguage = NewAction("actLanguage", QStringLiteral("&Language"),
                            static_cast<int>(ShellGlyph::Language));
    actWindow =
        NewAction("actWindow", QStringLiteral("Windows"), static_cast<int>(ShellGlyph::Windows));
    actExit = NewAction("actExit", QStringLiteral("&Exit"), static_cast<int>(ShellGlyph::Exit));

    TrayPopup = new QMenu(this);
    TrayPopup->setObjectName(QStringLiteral("TrayPopup"));
    // Doubled separators stay: an empty catalogue shows two adjacent ones.
    TrayPopup->setSeparatorsCollapsible(false);
    TrayPopup->addAction(actCloseMenu);
    BeforeItems = TrayPopup->addSeparator();
    BeforeItems->setObjectName(QStringLiteral("BeforeItems"));
    AfterItems = TrayPopup->addSeparator();
    AfterItems->setObjectName(QStringLiteral("AfterItems"));
    TrayPopup->addAction(actAviCreator);
    TrayPopup->addAction(actEdit);
    TrayPopup->addAction(actMire);
    TrayPopup->addAction(actOptions);
    TrayPopup->addSeparator()->setObjectName(QStringLiteral("N1"));
    Language1 = new QMenu(this);
    Language1->setObjectName(QStringLiteral("Language1"));
    Language1->addAction(QString()); // the layout's empty placeholder, removed by FormCreate
    actLanguage->setMenu(Language1);
    TrayPopup->addAction(actLanguage);
    Windows1 = new QMenu(this);
    Windows1->setObjectName(QStringLiteral("Windows1"));
    Dummy2 = new QAction(QStringLiteral("Dummy"), this);
    Dummy2->setObjectName(QStringLiteral("Dummy2"));
    Dummy2->setEnabled(false);
    Windows1->addAction(Dummy2);
    actWindow->setMenu(Windows1);
    TrayPopup->addAction(actWindow);
    TrayPopup->addSeparator()->setObjectName(QStringLiteral("N2"));
    TrayPopup->addAction(actExit);

    // actCloseMenu does nothing: choosing it only closes the menu. The mosaic, options and
    // AVI creator entries are in place; their windows are not part of this build yet, so
    // choosing them does nothing.
    connect(actEdit, &QAction::triggered, this, [this] { Guarded([this] { actEditExecute(); }); });
    connect(Windows1, &QMenu::aboutToShow, this,
            [this] { Guarded([this] { actWindowExecute(); }); });
    connect(actExit, &QAction::triggered, this, [] { QCoreApplication::quit(); });

    TrayIcon = new QSystemTrayIcon(ocelis::ProgramIcon(), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setToolTip(QStringLiteral("Ocelis"));
    TrayIcon->setContextMenu(TrayPopup);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                Qt::MouseButton button = Qt::NoButton;
                if (reason == QSystemTrayIcon::Trigger)
                    button = Qt::LeftButton;
                else if (reason == QSystemTrayIcon::Context)
                    button = Qt::RightButton;
                else if (reason == QSystemTrayIcon::MiddleClick)
                    button = Qt::MiddleButton;
                Guarded([this, button] { TrayIconClick(button); });
            });
    FTrayRetry = new QTimer(this);
    FTrayRetry->setInterval(kTrayRetryMs);
    connect(FTrayRetry, &QTimer::timeout, this, &TfoCamMain::TrayRetry);
    ShowTrayIcon();
}

void TfoCamMain::ShowTrayIcon() {
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        TrayIcon->show();
        return;
    }
    std::fprintf(stderr,
                 "Ocelis: no system tray is running; the icon will appear when one "
                 "starts (trying for %d seconds).\n",
                 kTrayRetries * kTrayRetryMs / 1000);
    FTrayRetry->start();
}

void TfoCamMain::TrayRetry() {
    ++FTrayTries;
    if (QSystemTrayIcon::isSystemTrayAvailable()) {
        FTrayRetry->stop();
        TrayIcon->hide();
        TrayIcon->show();
        if (FBalloonPending) {
            FBalloonPending = false;
            TrayIcon->showMessage(FBalloonTitle, FBalloonText, QSystemTrayIcon::NoIcon, 5000);
        }
    } else if (FTrayTries >= kTrayRetries) {
        FTrayRetry->stop();
    }
}

void TfoCamMain::FormCreate(const std::vector<std::string>& arguments) {
    // 1. Settings and catalogue.
    FSettings = std::make_unique<TCamViewer>();
    CamViewer = FSettings.get();
    CamViewer->Load();
    // 2. Message texts.
    ocelis::RegisterMessageTexts(*Variables);
    // 3. The saved language, before any menu entry is built from the texts.
    {
        std::error_code ec;
        if (!CamViewer->Language.empty() && fs::exists(CamViewer->Language, ec))
            OcTranslator->ApplyLanguageFile(CamViewer->Language);
    }
    // 4.
    FillLanguageMenu();
    // 5.
    RebuildTrayMenu();
    // 6.
    if (CamViewer->FirstLaunch) {
        FBalloonTitle = ocelis::DisplayText(StartTitle + ocelis::ProductName).left(63);
        FBalloonText = ocelis::DisplayText(StartText).left(255);
        if (TrayIcon->isVisible())
            TrayIcon->showMessage(FBalloonTitle, FBalloonText, QSystemTrayIcon::NoIcon, 5000);
        else
            FBalloonPending = true;
    }
    // 7.
    RegisterCamFileType();
    // 8. The first argument, without the tests a handed-over path gets.
    if (!arguments.empty())
        ImportCamFile(arguments.front());
}

void TfoCamMain::FillLanguageMenu() {
    for (QAction* a : Language1->actions()) {
        Language1->removeAction(a);
        if (a->parent() == Language1 || a->parent() == this)
            delete a;
    }
    std::set<std::string> seen;
    for (const fs::path& dir : ocelis::LanguageDirs()) {
        std::error_code ec;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path& file = it->path();
            if (!ocelis::SameText(file.extension().string(), ".xml"))
                continue;
            std::error_code fec;
            if (it->is_directory(fec))
                continue;
            // A portable copy's own file wins over an installed one of the same name.
            if (!seen.insert(ocelis::AnsiUpper(file.filename().string())).second)
                continue;
            QAction* entry = Language1->addAction(ocelis::ToQ(file.stem().string()));
            entry->setProperty(kPathProperty, ocelis::ToQ(file.string()));
            connect(entry, &QAction::triggered, this,
                    [this, entry] { Guarded([this, entry] { LanguageItemClick(entry); }); });
        }
    }
}

QAction* TfoCamMain::NewWebcamEntry(QObject* owner, TCamWebcam* cam) {
    auto* entry = new QAction(ocelis::ToQ(cam->Name), owner);
    entry->setProperty(kWebcamProperty, QVariant::fromValue(static_cast<void*>(cam)));
    connect(entry, &QAction::triggered, this,
            [this, entry] { Guarded([this, entry] { WebcamItemClick(entry); }); });
    return entry;
}

void TfoCamMain::RebuildTrayMenu() {
    // 1. Everything between BeforeItems and AfterItems goes.
    for (;;) {
        const QList<QAction*> all = TrayPopup->actions();
        const qsizetype at = all.indexOf(BeforeItems);
        if (at < 0 || at + 1 >= all.size() || all[at + 1] == AfterItems)
            break;
        QAction* entry = all[at + 1];
        TrayPopup->removeAction(entry);
        if (QMenu* sub = entry->menu())
            delete sub; // owns its menu action and every entry below it
        else
            delete entry;
    }
    if (!CamViewer)
        return;
    TCamCategory& root = *CamViewer->RootCategory;
    // 2. Categories, then 3. the root's own webcams, all before AfterItems.
    for (int i = 0; i < root.Categories.Count(); ++i) {
        TCamCategory* cat = root.Categories.Items(i);
        auto* sub = new QMenu(ocelis::ToQ(cat->Name), TrayPopup);
        sub->setSeparatorsCollapsible(false);
        TrayPopup->insertAction(AfterItems, sub->menuAction());
        FillCategoryMenu(sub, *cat);
    }
    for (int i = 0; i < root.Cams.Count(); ++i)
        TrayPopup->insertAction(AfterItems, NewWebcamEntry(TrayPopup, root.Cams.Items(i)));
    // 4. The chooser shows catalogue records: it must not outlive them.
    if (FChoose)
        FChoose->close();
}

void TfoCamMain::FillCategoryMenu(QMenu* menu, TCamCategory& category) {
    for (int i = 0; i < category.Categories.Count(); ++i) {
        TCamCategory* cat = category.Categories.Items(i);
        QMenu* sub = menu->addMenu(ocelis::ToQ(cat->Name));
        sub->setSeparatorsCollapsible(false);
        FillCategoryMenu(sub, *cat);
    }
    const int count = category.Cams.Count();
    std::vector<QAction*> entries;
    for (int i = 0; i < count; ++i) {
        QAction* entry = NewWebcamEntry(menu, category.Cams.Items(i));
        entry->setProperty(kColumnProperty, ocelis::WebcamColumnOf(i));
        entries.push_back(entry);
    }
    if (count > ocelis::kWebcamsPerColumn) {
        auto* columns = new WebcamColumnsAction(menu);
        columns->Entries = entries;
        menu->addAction(columns);
    } else {
        for (QAction* entry : entries)
            menu->addAction(entry);
    }
    if (menu->actions().isEmpty()) {
        QAction* empty = menu->addAction(ocelis::DisplayText(EmptyCat));
        empty->setEnabled(false);
    }
}

std::vector<QAction*> TfoCamMain::WebcamEntries(const QMenu* menu) {
    std::vector<QAction*> out;
    for (QAction* a : menu->actions()) {
        if (EntryWebcam(a))
            out.push_back(a);
        else if (auto* columns = dynamic_cast<WebcamColumnsAction*>(a))
            out.insert(out.end(), columns->Entries.begin(), columns->Entries.end());
    }
    return out;
}

TCamWebcam* TfoCamMain::EntryWebcam(const QAction* entry) {
    if (!entry)
        return nullptr;
    return static_cast<TCamWebcam*>(entry->property(kWebcamProperty).value<void*>());
}

int TfoCamMain::EntryColumn(const QAction* entry) {
    return entry ? entry->property(kColumnProperty).toInt() : 0;
}

void TfoCamMain::WebcamItemClick(QAction* entry) {
    if (TCamWebcam* cam = EntryWebcam(entry))
        OpenViewer(*cam);
}

TfoViewer* TfoCamMain::OpenViewer(const TCamWebcam& webcam) {
    for (TSForm* form : FormList) {
        auto* viewer = qobject_cast<TfoViewer*>(form);
        if (viewer && viewer->Webcam().Url == webcam.Url) {
            viewer->show();
            viewer->raise();
            viewer->activateWindow();
            return viewer;
        }
    }
    auto* viewer = new TfoViewer(nullptr);
    viewer->SetWebcam(webcam);
    viewer->show();
    return viewer;
}

void TfoCamMain::actWindowExecute() {
    for (QAction* a : Windows1->actions()) {
        if (a == Dummy2)
            continue;
        Windows1->removeAction(a);
        delete a;
    }
    for (size_t i = 0; i < FormList.size(); ++i) {
        auto* entry = new QAction(FormList[i]->windowTitle(), Windows1);
        entry->setProperty(kIndexProperty, static_cast<qlonglong>(i));
        connect(entry, &QAction::triggered, this,
                [this, entry] { Guarded([this, entry] { WindowItemClick(entry); }); });
        Windows1->addAction(entry);
    }
    Dummy2->setVisible(Windows1->actions().size() == 1);
    Dummy2->setText(ocelis::DisplayText(NoWindow));
}

void TfoCamMain::WindowItemClick(QAction* entry) {
    bool ok = false;
    const qlonglong i = entry ? entry->property(kIndexProperty).toLongLong(&ok) : -1;
    if (!ok || i < 0 || static_cast<size_t>(i) >= FormList.size())
        return;
    TSForm* form = FormList[static_cast<size_t>(i)];
    form->show();
    form->raise();
    form->activateWindow();
}

void TfoCamMain::LanguageItemClick(QAction* entry) {
    try {
        const std::string path = ocelis::FromQ(entry->property(kPathProperty).toString());
        OcTranslator->ApplyLanguageFile(path);
        if (CamViewer)
            CamViewer->Language = path;
    } catch (...) {
        // A language that cannot be applied changes nothing more.
    }
}

void TfoCamMain::TrayIconClick(Qt::MouseButton button) {
    if (button != Qt::LeftButton)
        return;
    // The chooser is not part of this build yet: a left click brings forward one that
    // exists and otherwise does nothing.
    if (FChoose) {
        FChoose->show();
        FChoose->raise();
        FChoose->activateWindow();
    }
}

void TfoCamMain::actEditExecute() {
    if (FEditCams) {
        FEditCams->show();
        FEditCams->raise();
        FEditCams->activateWindow();
        return;
    }
    if (!CamViewer)
        return;
    // Not exec(): an application-modal window would block the tray icon, through which the
    // open editor is brought back to the front.
    auto* editor = new TfoEditCams(nullptr);
    FEditCams = editor;
    try {
        editor->LoadTree(*CamViewer->RootCategory);
    } catch (...) {
        FEditCams = nullptr;
        delete editor;
        throw;
    }
    connect(editor, &QDialog::finished, this,
            [this, editor](int result) { EditCamsFinished(editor, result); });
    editor->setWindowModality(Qt::NonModal);
    editor->show();
    editor->raise();
    editor->activateWindow();
}

void TfoCamMain::EditCamsFinished(TfoEditCams* editor, int result) {
    // Released in every case, also when a step fails; not at once, as it is still on the
    // stack.
    FEditCams = nullptr;
    editor->deleteLater();
    if (result != QDialog::Accepted || !CamViewer)
        return;
    Guarded([this, editor] {
        editor->ApplyTree(*CamViewer->RootCategory);
        RebuildTrayMenu();
        CamViewer->Save();
    });
}

void TfoCamMain::ImportCamFile(const std::string& path) {
    if (!CamViewer)
        return;
    try {
        TCamWebcam* cam = ocelis::ImportCamFileInto(*CamViewer->RootCategory, ImportedCat, path);
        if (!cam)
            return;
        RebuildTrayMenu();
        OpenViewer(*cam);
    } catch (...) {
        // Imports fail silently; a record already added stays.
    }
}

void TfoCamMain::RegisterCamFileType() {
    ocelis::RegisterCamFileType(ocelis::ExecutablePath().string(), ocelis::XdgDataHome(),
                                ocelis::XdgConfigHome());
}

void TfoCamMain::CopyData(std::string_view block, uint32_t cbData) {
    try {
        const std::optional<std::string> path = ocelis::HandOverText(block, cbData);
        if (path && ocelis::HandOverPathAccepted(*path))
            ImportCamFile(*path);
    } catch (...) {
        // A hand-over never reports anything.
    }
}

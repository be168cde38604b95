#include "app/CamMain.h"

#include "app/Notifier.h"
#include "app/ShellIcons.h"
#include "app/ShellRules.h"
#include "avi/AviCreator.h"
#include "catalogue/CamCategory.h"
#include "catalogue/CamFile.h"
#include "catalogue/EditCams.h"
#include "gui/SForm.h"
#include "gui/WindowKit.h"
#include "mosaic/ChooseWindow.h"
#include "mosaic/MireWindow.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/FileAssociation.h"
#include "platform/HandOver.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/OptionsDialog.h"
#include "settings/PlainText.h"
#include "settings/Translator.h"
#include "util/QtText.h"
#include "util/Text.h"
#include "viewer/HealthText.h"
#include "viewer/ViewerHealth.h"
#include "viewer/ViewerWindow.h"

#include <QActionGroup>
#include <QApplication>
#include <QCollator>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <QMenu>
#include <QMouseEvent>
#include <QScreen>
#include <QTimer>
#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <set>
#include <xcb/xcb.h>

namespace fs = std::filesystem;

namespace {

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

// A webcam entry: the record it shows, without a dynamic property per entry (catalogues
// run to 100,000 webcams).
class TWebcamEntry : public QAction {
public:
    TWebcamEntry(const QString& text, QObject* owner, TCamWebcam* cam)
        : QAction(text, owner), Webcam(cam) {}
    TCamWebcam* Webcam;
};

// Qt takes a press that follows one of the same button within the double-click time as a
// double click, and its XEmbed tray icon opens no menu on a double click: a right-click soon
// after the previous one (the menu closed by a key, say) would be lost. Such a double click
// of any button but the left reaches the icon as the press it also is.
class TTrayPressFilter : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::MouseButtonDblClick ||
            !watched->inherits("QSystemTrayIconSys"))
            return false;
        const auto* e = static_cast<const QMouseEvent*>(event);
        if (e->button() == Qt::LeftButton)
            return false;
        QMouseEvent press(QEvent::MouseButtonPress, e->position(), e->scenePosition(),
                          e->globalPosition(), e->button(), e->buttons(), e->modifiers(),
                          e->pointingDevice());
        press.setTimestamp(e->timestamp());
        QCoreApplication::sendEvent(watched, &press);
        return true;
    }
};

// The category of a submenu whose webcam entries are added when it first opens.
constexpr const char* kPendingProperty = "ocelisPendingCategory";

// Whether an XEmbed tray manager owns the tray selection of the display's screen.
bool XEmbedTrayRunning() {
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    xcb_connection_t* c = x11 ? x11->connection() : nullptr;
    if (!c)
        return false;
    QByteArray display = qgetenv("DISPLAY");
    const qsizetype dot = display.lastIndexOf('.');
    const QByteArray screen =
        dot > display.lastIndexOf(':') ? display.mid(dot + 1) : QByteArrayLiteral("0");
    const QByteArray name = "_NET_SYSTEM_TRAY_S" + screen;
    xcb_intern_atom_reply_t* atom = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, 1, static_cast<uint16_t>(name.size()), name.constData()), nullptr);
    if (!atom)
        return false;
    const xcb_atom_t selection = atom->atom;
    std::free(atom);
    if (selection == XCB_ATOM_NONE)
        return false;
    xcb_get_selection_owner_reply_t* owner =
        xcb_get_selection_owner_reply(c, xcb_get_selection_owner(c, selection), nullptr);
    const bool running = owner && owner->owner != XCB_WINDOW_NONE;
    std::free(owner);
    return running;
}

// The same question Qt asks a D-Bus tray before it exports an icon there.
bool DBusTrayRunning() {
    // Without a known session bus, asking would start one of our own.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") &&
        !fs::exists(fs::path(qEnvironmentVariable("XDG_RUNTIME_DIR").toStdString()) / "bus"))
        return false;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return false;
    // One call a retry: a missing watcher answers it with an error at once.
    const QString watcher = QStringLiteral("org.kde.StatusNotifierWatcher");
    QDBusMessage get = QDBusMessage::createMethodCall(
        watcher, QStringLiteral("/StatusNotifierWatcher"),
        QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"));
    get << watcher << QStringLiteral("IsStatusNotifierHostRegistered");
    get.setAutoStartService(false); // asking must not start a watcher
    const QDBusMessage reply = bus.call(get, QDBus::Block, 1000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return false;
    return qvariant_cast<QDBusVariant>(reply.arguments().first()).variant().toBool();
}

// Qt chooses between the XEmbed and the D-Bus tray once per process, when the first tray
// icon is created or the first availability question is asked, and keeps that choice. So
// nothing of Qt's tray may be touched before a host of either kind runs: an icon created
// earlier could never reach a D-Bus host that starts after us.
bool TrayHostRunning() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("xcb"))
        return XEmbedTrayRunning() || DBusTrayRunning();
    if (platform.startsWith(QLatin1String("wayland")))
        return DBusTrayRunning();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

// Shows a window (also a hidden one) above the others with the focus.
void BringToFront(QWidget* w) {
    w->show();
    w->raise();
    w->activateWindow();
}
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

void TfoCamMain::BuildComponents() {
    using ocelis::TShellGlyph;
    ActionList1 = new QObject(this);
    ActionList1->setObjectName(QStringLiteral("ActionList1"));
    ImageList1 = new QObject(this);
    ImageList1->setObjectName(QStringLiteral("ImageList1"));
    FNotifier = new TNotifier(this);
    FNotifier->TrayIcon = [this] { return TrayIcon; };
    FNotifier->OnActivate = [](QWidget* window) { BringToFront(window); };
    OcTranslator = new TOcTranslator(this);
    Variables = new TOcTranslatorStrings(this);
    HealthTexts = new TOcTranslatorStrings(this);
    HealthTexts->setObjectName(QStringLiteral("HealthTexts"));

    using ocelis::NewAction;
    actCloseMenu = NewAction(this, "actCloseMenu", QStringLiteral("&Close this menu"));
    actAviCreator = NewAction(this, "actAviCreator", QStringLiteral("&AVI Creator..."));
    actEdit = NewAction(this, "actEdit", QStringLiteral("Edit List..."));
    actMire = NewAction(this, "actMire", QStringLiteral("&Mosaic..."));
    actOptions = NewAction(this, "actOptions", QStringLiteral("&Options..."));
    actLanguage = NewAction(this, "actLanguage", QStringLiteral("&Language"));
    actWindow = NewAction(this, "actWindow", QStringLiteral("Windows"));
    actExit = NewAction(this, "actExit", QStringLiteral("&Exit"));
    for (const auto& [action, glyph] :
         {std::pair{actCloseMenu, TShellGlyph::Close}, std::pair{actAviCreator, TShellGlyph::Avi},
          std::pair{actEdit, TShellGlyph::Edit}, std::pair{actMire, TShellGlyph::Mosaic},
          std::pair{actOptions, TShellGlyph::Options},
          std::pair{actLanguage, TShellGlyph::Language}, std::pair{actWindow, TShellGlyph::Windows},
          std::pair{actExit, TShellGlyph::Exit}})
        action->setIcon(ocelis::ShellActionIcon(glyph));

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

    // The layout's entries show these actions: a language file may address either name.
    for (const auto& [action, entry] :
         {std::pair{actCloseMenu, "Closethismenu1"}, std::pair{actAviCreator, "AVICreator1"},
          std::pair{actEdit, "EditWebcams1"}, std::pair{actMire, "Mire1"},
          std::pair{actOptions, "Options1"}, std::pair{actExit, "Exit1"}})
        action->setProperty(TOcTranslator::kAliasesProperty,
                            QStringList{QString::fromLatin1(entry)});

    // actCloseMenu does nothing: choosing it only closes the menu.
    connect(actEdit, &QAction::triggered, this, [this] { Guarded([this] { actEditExecute(); }); });
    connect(Windows1, &QMenu::aboutToShow, this,
            [this] { Guarded([this] { actWindowExecute(); }); });
    connect(actExit, &QAction::triggered, this, [] { QCoreApplication::quit(); });
    connect(actOptions, &QAction::triggered, this,
            [this] { Guarded([this] { actOptionsExecute(); }); });
    connect(actAviCreator, &QAction::triggered, this,
            [this] { Guarded([this] { actAviCreatorExecute(); }); });
    connect(actMire, &QAction::triggered, this, [this] { Guarded([this] { actMireExecute(); }); });

    FTrayRetry = new QTimer(this);
    FTrayRetry->setInterval(kTrayRetryMs);
    connect(FTrayRetry, &QTimer::timeout, this, &TfoCamMain::TrayRetry);
    ShowTrayIcon();
}

void TfoCamMain::ShowTrayIcon() {
    if (TrayHostRunning()) {
        CreateTrayIcon();
        return;
    }
    std::fprintf(stderr,
                 "Ocelis: no system tray is running; the icon will appear when one "
                 "starts (trying for %d seconds).\n",
                 kTrayRetries * kTrayRetryMs / 1000);
    FTrayRetry->start();
}

void TfoCamMain::CreateTrayIcon() {
    if (QGuiApplication::platformName() == QLatin1String("xcb"))
        qApp->installEventFilter(new TTrayPressFilter(this));
    TrayIcon = new QSystemTrayIcon(ocelis::ProgramIcon(), this);
    TrayIcon->setObjectName(QStringLiteral("TrayIcon"));
    TrayIcon->setToolTip(TrayTip());
    TrayIcon->setContextMenu(TrayPopup);
    connect(TrayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                Qt::MouseButton button = Qt::NoButton;
                // A quick second left click arrives as a double click: it is a click too.
                if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick)
                    button = Qt::LeftButton;
                else if (reason == QSystemTrayIcon::Context)
                    button = Qt::RightButton;
                else if (reason == QSystemTrayIcon::MiddleClick)
                    button = Qt::MiddleButton;
                Guarded([this, button] { TrayIconClick(button); });
            });
    TrayIcon->show();
    // Only a menu that Qt exports to a D-Bus host has a platform menu.
    const bool exported = TrayPopup->platformMenu() != nullptr;
    if (exported != FExported) {
        FExported = exported;
        BuildCatalogueEntries();
    }
    FNotifier->TrayReady();
}

void TfoCamMain::TrayRetry() {
    ++FTrayTries;
    if (TrayHostRunning()) {
        FTrayRetry->stop();
        CreateTrayIcon();
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
    ocelis::RegisterHealthTexts(*HealthTexts);
    ocelis::RegisterLaterMessageTexts(*Variables);
    // 3. The saved language, before any menu entry is built from the texts.
    {
        std::error_code ec;
        if (!CamViewer->Language.empty() && fs::exists(CamViewer->Language, ec))
            OcTranslator->ApplyLanguageFile(CamViewer->Language);
    }
    // The catalogue was lost for this run: say so once, now that the texts are known.
    if (const auto unreadable = CamViewer->KeepUnreadableAside()) {
        const fs::path kept =
            unreadable->KeptAs.empty() ? ocelis::OptionsFilePaths().Read : unreadable->KeptAs;
        FNotifier->Notify(ocelis::DisplayText(
            ocelis::FillArgs(OptionsUnreadable, {unreadable->Error, kept.filename().string()})));
    }
    // 4.
    FillLanguageMenu();
    // 5.
    RebuildTrayMenu();
    // 6.
    if (CamViewer->FirstLaunch) {
        FBalloonTitle = ocelis::DisplayText(StartTitle + ocelis::kProductName).left(63);
        FBalloonText = ocelis::DisplayText(StartText).left(255);
        FNotifier->Notify(FBalloonTitle, FBalloonText, 5000);
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
    delete FLanguageGroup;
    FLanguageGroup = new QActionGroup(Language1);
    FLanguageGroup->setExclusive(true);
    struct TLanguageFile {
        QString Caption;
        fs::path Path;
    };
    std::vector<TLanguageFile> files;
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
            files.push_back({ocelis::ToQ(file.stem().string()), file});
        }
    }
    // By name, the way a reader sorts them: accents and letter case do not split the list.
    QCollator collator{QLocale(QLocale::English)};
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(files.begin(), files.end(),
                     [&collator](const TLanguageFile& a, const TLanguageFile& b) {
                         const int order = collator.compare(a.Caption, b.Caption);
                         return order != 0 ? order < 0 : a.Caption < b.Caption;
                     });
    const std::string current = CamViewer ? CamViewer->Language : std::string();
    for (const TLanguageFile& file : files) {
        QAction* entry = Language1->addAction(file.Caption);
        entry->setProperty(kPathProperty, ocelis::ToQ(file.Path.string()));
        entry->setCheckable(true);
        entry->setActionGroup(FLanguageGroup);
        std::error_code ec;
        entry->setChecked(!current.empty() && (file.Path.string() == current ||
                                               fs::equivalent(file.Path, current, ec)));
        connect(entry, &QAction::triggered, this,
                [this, entry] { Guarded([this, entry] { LanguageItemClick(entry); }); });
    }
}

QString TfoCamMain::MenuCaption(const std::string& name) const {
    // Three quarters of the screen: the rest is room for the menu's icons, margins and
    // submenu arrow, and for a desktop that draws an exported menu in a somewhat wider font.
    const QScreen* screen = ocelis::WorkScreen();
    if (!screen)
        return ocelis::ToQ(ocelis::MenuCaption(name, FExported));
    const QFontMetrics metrics(TrayPopup->font());
    const auto width = [&metrics](std::string_view text) {
        return metrics.horizontalAdvance(ocelis::ToQ(std::string(text)));
    };
    return ocelis::ToQ(
        ocelis::MenuCaption(name, FExported, width, screen->availableGeometry().width() * 3 / 4));
}

QAction* TfoCamMain::NewWebcamEntry(QObject* owner, TCamWebcam* cam) {
    auto* entry = new TWebcamEntry(MenuCaption(cam->Name), owner, cam);
    connect(entry, &QAction::triggered, this,
            [this, entry] { Guarded([this, entry] { WebcamItemClick(entry); }); });
    return entry;
}

void TfoCamMain::RebuildTrayMenu() {
    BuildCatalogueEntries();
    // 4. The chooser shows catalogue records: it must not outlive them.
    if (FChoose)
        FChoose->close();
}

void TfoCamMain::BuildCatalogueEntries() {
    // 1. Everything between BeforeItems and AfterItems goes.
    QList<QAction*> all = TrayPopup->actions();
    const qsizetype before = all.indexOf(BeforeItems);
    const qsizetype after = all.indexOf(AfterItems);
    if (before >= 0 && after > before) {
        for (qsizetype i = before + 1; i < after; ++i) {
            QAction* entry = all[i];
            TrayPopup->removeAction(entry);
            if (QMenu* sub = entry->menu())
                delete sub; // owns its menu action and every entry below it
            else
                delete entry;
        }
    }
    if (!CamViewer)
        return;
    TCamCategory& root = *CamViewer->RootCategory;
    // 2. Categories, then 3. the root's own webcams, all before AfterItems.
    QList<QAction*> entries;
    for (int i = 0; i < root.Categories.Count(); ++i) {
        TCamCategory* cat = root.Categories.Items(i);
        auto* sub = new QMenu(MenuCaption(cat->Name), TrayPopup);
        sub->setSeparatorsCollapsible(false);
        FillCategoryMenu(sub, *cat);
        entries.append(sub->menuAction());
    }
    for (int i = 0; i < root.Cams.Count(); ++i)
        entries.append(NewWebcamEntry(TrayPopup, root.Cams.Items(i)));
    TrayPopup->insertActions(AfterItems, entries);
}

void TfoCamMain::FillCategoryMenu(QMenu* menu, TCamCategory& category) {
    for (int i = 0; i < category.Categories.Count(); ++i) {
        TCamCategory* cat = category.Categories.Items(i);
        QMenu* sub = menu->addMenu(MenuCaption(cat->Name));
        sub->setSeparatorsCollapsible(false);
        FillCategoryMenu(sub, *cat);
    }
    if (category.Cams.Count() > 0) {
        // A menu that Qt draws gets its webcams when it first opens: a large catalogue then
        // costs nothing until used. An exported menu is complete at once, because D-Bus
        // hosts show what they read first.
        if (FExported) {
            AddWebcamEntries(menu, category);
        } else {
            menu->setProperty(kPendingProperty, QVariant::fromValue(static_cast<void*>(&category)));
            connect(menu, &QMenu::aboutToShow, this, [this, menu] { FillPendingMenu(menu); });
        }
    } else if (menu->actions().isEmpty()) {
        // 3.
        QAction* empty = menu->addAction(ocelis::DisplayText(EmptyCat));
        empty->setEnabled(false);
    }
}

void TfoCamMain::AddWebcamEntries(QMenu* menu, TCamCategory& category) {
    // Real entries, so that keyboards and D-Bus hosts reach them. Qt wraps a menu taller than
    // the screen into columns by itself; it has no breaks of its own to place.
    QList<QAction*> entries;
    entries.reserve(category.Cams.Count());
    for (int i = 0; i < category.Cams.Count(); ++i)
        entries.append(NewWebcamEntry(menu, category.Cams.Items(i)));
    menu->addActions(entries);
}

void TfoCamMain::FillPendingMenu(QMenu* menu) {
    auto* category = static_cast<TCamCategory*>(menu->property(kPendingProperty).value<void*>());
    if (!category)
        return;
    menu->setProperty(kPendingProperty, QVariant());
    AddWebcamEntries(menu, *category);
}

std::vector<QAction*> TfoCamMain::WebcamEntries(const QMenu* menu) {
    std::vector<QAction*> out;
    for (QAction* a : menu->actions())
        if (EntryWebcam(a))
            out.push_back(a);
    return out;
}

TCamWebcam* TfoCamMain::EntryWebcam(const QAction* entry) {
    const auto* cam = dynamic_cast<const TWebcamEntry*>(entry);
    return cam ? cam->Webcam : nullptr;
}

void TfoCamMain::WebcamItemClick(QAction* entry) {
    if (TCamWebcam* cam = EntryWebcam(entry))
        OpenViewer(*cam);
}

TfoViewer* TfoCamMain::OpenViewer(const TCamWebcam& webcam) {
    for (TSForm* form : FormList) {
        auto* viewer = qobject_cast<TfoViewer*>(form);
        if (viewer && viewer->Webcam().Url == webcam.Url) {
            BringToFront(viewer);
            return viewer;
        }
    }
    auto* viewer = new TfoViewer(nullptr);
    viewer->OnHealth = [this](TfoViewer& v, ocelis::THealthNotice notice) {
        ViewerHealth(v, notice);
    };
    // Counted again once the window has left the window list.
    connect(viewer, &QObject::destroyed, this,
            [this] { QTimer::singleShot(0, this, [this] { UpdateTrayTip(); }); });
    viewer->SetWebcam(webcam);
    viewer->show();
    UpdateTrayTip();
    return viewer;
}

QString TfoCamMain::TrayTip() const {
    int viewers = 0;
    int offline = 0;
    for (TSForm* form : FormList) {
        if (auto* viewer = qobject_cast<TfoViewer*>(form)) {
            ++viewers;
            if (viewer->Health().State() == ocelis::THealthState::Offline)
                ++offline;
        }
    }
    const QString product = QLatin1String(ocelis::kProductName);
    if (viewers == 0)
        return product;
    return product + QStringLiteral(" \u2013 ") +
           ocelis::DisplayText(ocelis::FillArgs(
               TrayTipViewers, {std::to_string(viewers), std::to_string(offline)}));
}

void TfoCamMain::UpdateTrayTip() {
    if (TrayIcon)
        TrayIcon->setToolTip(TrayTip());
}

void TfoCamMain::ViewerHealth(TfoViewer& viewer, ocelis::THealthNotice kind) {
    UpdateTrayTip();
    if (kind == ocelis::THealthNotice::None || !CamViewer || !CamViewer->NotifyHealth)
        return;
    const std::string name = ocelis::ElideMiddle(viewer.Webcam().Name);
    const ocelis::TWebcamHealth& health = viewer.Health().Health();
    std::string text;
    switch (kind) {
    case ocelis::THealthNotice::Offline:
        text = ocelis::OfflineNotice(name, health);
        break;
    case ocelis::THealthNotice::Stale:
        text = ocelis::StaleNotice(name, health);
        break;
    default:
        text = ocelis::BackNotice(name);
        break;
    }
    FNotifier->HealthNotice(&viewer, kind, ocelis::DisplayText(text), viewer.Picture());
}

void TfoCamMain::actWindowExecute() {
    for (QAction* a : Windows1->actions()) {
        if (a == Dummy2)
            continue;
        Windows1->removeAction(a);
        delete a;
    }
    for (size_t i = 0; i < FormList.size(); ++i) {
        auto* entry = new QAction(MenuCaption(ocelis::FromQ(FormList[i]->windowTitle())), Windows1);
        entry->setProperty(kIndexProperty, static_cast<qlonglong>(i));
        connect(entry, &QAction::triggered, this,
                [this, entry] { Guarded([this, entry] { WindowItemClick(entry); }); });
        Windows1->addAction(entry);
    }
    Dummy2->setVisible(Windows1->actions().size() == 1);
    Dummy2->setText(ocelis::DisplayText(NoWindow));
}

void TfoCamMain::actOptionsExecute() {
    if (FOptions) {
        BringToFront(FOptions);
        return;
    }
    if (!CamViewer)
        return;
    auto* dialog = new TfoOptions(nullptr);
    FOptions = dialog;
    dialog->Fill(*CamViewer);
    // An application-modal run would block the tray icon's own window, so the menu could
    // not open to bring the dialog forward. The dialog blocks no window; its end is
    // handled here, and nothing nests an event loop.
    connect(
        dialog, &QDialog::finished, this,
        [this, dialog](int result) {
            Guarded([dialog, result] {
                if (result == QDialog::Accepted && CamViewer)
                    dialog->Apply(*CamViewer);
            });
            dialog->deleteLater();
            FOptions = nullptr;
        },
        Qt::SingleShotConnection);
    dialog->setWindowModality(Qt::NonModal);
    dialog->show();
}

void TfoCamMain::actAviCreatorExecute() {
    (new TfoAviCreator(nullptr))->show();
}

void TfoCamMain::actMireExecute() {
    if (FMire) {
        BringToFront(FMire);
        return;
    }
    auto* mire = new TfoMire(nullptr);
    FMire = mire;
    mire->OpenViewer = [this](const TCamWebcam& webcam) { OpenViewer(webcam); };
    connect(mire, &TfoMire::Closed, this, [this, mire] {
        if (FMire == mire)
            FMire = nullptr;
    });
    mire->show();
}

void TfoCamMain::WindowItemClick(QAction* entry) {
    bool ok = false;
    const qlonglong i = entry ? entry->property(kIndexProperty).toLongLong(&ok) : -1;
    if (!ok || i < 0 || static_cast<size_t>(i) >= FormList.size())
        return;
    TSForm* form = FormList[static_cast<size_t>(i)];
    BringToFront(form);
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
    if (FChoose) {
        BringToFront(FChoose);
        return;
    }
    auto* chooser = new TfoChoose(nullptr);
    FChoose = chooser;
    chooser->OnOpenViewer = [this](const TCamWebcam& cam) { Guarded([&] { OpenViewer(cam); }); };
    chooser->OnFormClose = [this] { FChoose = nullptr; };
    BringToFront(chooser);
}

void TfoCamMain::actEditExecute() {
    if (FEditCams) {
        BringToFront(FEditCams);
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
    BringToFront(editor);
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

// TfoCamMain: the hidden main window. It owns the tray icon and its menu, creates the
// settings at start, lists the catalogue in the menu and opens every other window.
#pragma once

#include "net/WebcamHealth.h"

#include <QPointer>
#include <QString>
#include <QSystemTrayIcon>
#include <QWidget>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QTimer;
class TCamCategory;
class TCamViewer;
class TCamWebcam;
class TfoMire;
class TfoOptions;
class TfoEditCams;
class TfoViewer;
class TNotifier;
class TOcTranslator;
class TOcTranslatorStrings;

class TfoCamMain : public QWidget {
    Q_OBJECT
public:
    // Builds the components, then runs FormCreate with the command-line arguments (without
    // the program name). An error escaping a FormCreate step ends FormCreate there and is
    // shown in the error report.
    explicit TfoCamMain(std::vector<std::string> arguments = {}, QWidget* parent = nullptr);
    ~TfoCamMain() override;

    // Process end, after the message loop: writes Options.xml and releases the settings
    // with the catalogue. Later calls do nothing.
    void SaveAndReleaseSettings();

    void RebuildTrayMenu();
    // Brings forward the open viewer of the same Url (exact comparison) or opens one.
    TfoViewer* OpenViewer(const TCamWebcam& webcam);
    void ImportCamFile(const std::string& path);
    void RegisterCamFileType();
    // The hand-over from a later start: cbData semantics and the three path tests.
    void CopyData(std::string_view block, uint32_t cbData);

    void TrayIconClick(Qt::MouseButton button);
    void WebcamItemClick(QAction* entry);
    void WindowItemClick(QAction* entry);
    void LanguageItemClick(QAction* entry);
    void actWindowExecute();
    // Brings the open options dialog to the front, or opens it filled from the settings;
    // on OK its values go into the settings. The run does not block the tray icon.
    void actOptionsExecute();
    // Opens the catalogue editor, or brings the open one to the front. It runs without
    // blocking the tray icon; its end applies an OK (EditCamsFinished).
    void actEditExecute();
    // Opens one more AVI creator window; none is remembered.
    void actAviCreatorExecute();
    // Brings the open mosaic to the front, or opens it.
    void actMireExecute();

    // Components (objectName = the name here). The tray icon exists once a tray host runs.
    QSystemTrayIcon* TrayIcon = nullptr;
    QMenu* TrayPopup = nullptr;
    QObject* ActionList1 = nullptr;
    QObject* ImageList1 = nullptr;
    TOcTranslator* OcTranslator = nullptr;
    TOcTranslatorStrings* Variables = nullptr;
    TOcTranslatorStrings* HealthTexts = nullptr; // the webcam health texts

    QAction* actCloseMenu = nullptr;
    QAction* actAviCreator = nullptr;
    QAction* actEdit = nullptr;
    QAction* actMire = nullptr;
    QAction* actOptions = nullptr;
    QAction* actLanguage = nullptr;
    QAction* actWindow = nullptr;
    QAction* actExit = nullptr;

    QAction* BeforeItems = nullptr;
    QAction* AfterItems = nullptr;
    QMenu* Language1 = nullptr;
    QMenu* Windows1 = nullptr;
    QAction* Dummy2 = nullptr;

    // The webcam entries of a category submenu in order.
    static std::vector<QAction*> WebcamEntries(const QMenu* menu);
    // The record a webcam entry refers to; null for other entries.
    static TCamWebcam* EntryWebcam(const QAction* entry);
    // Adds the webcam entries of a submenu that waits for its first opening.
    void FillPendingMenu(QMenu* menu);
    // True when Qt exports the menu to a D-Bus tray host rather than drawing it itself.
    bool MenuExported() const { return FExported; }

    // The balloon told at start (through the notifier); empty title when none.
    QString BalloonTitle() const { return FBalloonTitle; }
    QString BalloonText() const { return FBalloonText; }
    // "Ocelis – 5 viewers, 1 offline" while viewers are open, "Ocelis" otherwise.
    QString TrayTip() const;
    TNotifier* Notifier() const { return FNotifier; }

protected:
    // The platform closing this window ends the application, as the exit entry does.
    void closeEvent(QCloseEvent* event) override;

private:
    void BuildComponents();
    void FormCreate(const std::vector<std::string>& arguments);
    void FillLanguageMenu();
    void BuildCatalogueEntries();
    void FillCategoryMenu(QMenu* menu, TCamCategory& category);
    void AddWebcamEntries(QMenu* menu, TCamCategory& category);
    QAction* NewWebcamEntry(QObject* owner, TCamWebcam* cam);
    QString MenuCaption(const std::string& name) const;
    void CreateTrayIcon();
    void ShowTrayIcon();
    void TrayRetry();
    // Runs a handler; an error escaping it goes to the error report.
    template <typename F> void Guarded(F&& handler);
    void EditCamsFinished(TfoEditCams* editor, int result);
    void ViewerHealth(TfoViewer& viewer, ocelis::THealthNotice notice);
    void UpdateTrayTip();

    std::unique_ptr<TCamViewer> FSettings;
    QPointer<QWidget> FChoose;       // the chooser, once it exists
    QPointer<TfoOptions> FOptions;   // the options dialog while it runs
    QPointer<TfoEditCams> FEditCams; // the catalogue editor while it runs
    QPointer<TfoMire> FMire;         // the mosaic while it is open
    // One language entry checked at a time.
    QActionGroup* FLanguageGroup = nullptr;
    QTimer* FTrayRetry = nullptr;
    TNotifier* FNotifier = nullptr;
    int FTrayTries = 0;
    bool FExported = false;
    QString FBalloonTitle;
    QString FBalloonText;
};

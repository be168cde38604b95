// TfoViewer: the small borderless window that watches one webcam. The picture fills the
// window, a status bar shows the countdown, the zoom and the webcam's name; everything else
// is in the popup menu and the shortcuts.
#pragma once

#include "catalogue/CamCategory.h"
#include "gui/SForm.h"
#include "net/WebcamHealth.h"
#include "net/Worker.h"
#include "viewer/ViewerGeometry.h"

#include <QIcon>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>
#include <vector>

class QAction;
class QActionGroup;
class QMenu;
class QProgressBar;
class QToolButton;
class TFramelessDrag;
class THttpThread;
class TOcFormMagnet;
class TOcFileDialog;
class TOcImage;
class TOcStatusBar;
class TViewerHealth;

class TfoViewer : public TSForm {
    Q_OBJECT

public:
    // Create without a parent: each viewer is a top-level window with its own taskbar
    // entry. It frees itself when closed.
    explicit TfoViewer(QWidget* parent = nullptr);
    ~TfoViewer() override;

    // Called once right after creation, before the window is shown: takes a copy of the
    // record and starts fetching.
    void SetWebcam(const TCamWebcam& webcam);
    // The window's own copy (OpenViewer matches viewers by its Url).
    const TCamWebcam& Webcam() const { return *FWebcam; }

    void StartThread();
    // Image hand-overs received so far.
    int32_t ImageCount() const { return FImageCount; }
    // Whether the window has a fetch thread (none after actStopRefresh).
    bool ThreadRunning() const;

    // The size check: the size the window accepts for a proposed one.
    ocelis::TViewerSize CheckSize(ocelis::TViewerSize proposed) const;
    void SetViewSize(int w, int h, const QString& caption);
    // Area holding the picture and the status bar.
    QSize ClientSize() const { return size(); }

    // Run on every thread this window creates, right before it starts (tests shorten the
    // thread's timing here).
    std::function<void(THttpThread&)> ThreadSetup;

    // The thread hand-overs (GUI thread, worker waiting).
    void ThreadImage(THttpThread& thread);
    void ThreadProgress(THttpThread& thread);
    void ThreadTick(THttpThread& thread);
    void ThreadFetched(THttpThread& thread);

    // The webcam's health as shown; OnHealth runs when its state changes or a notice is due.
    TViewerHealth& Health() const { return *FHealth; }
    // The picture shown, as large as the window holds it; null before the first.
    QImage Picture() const;
    std::function<void(TfoViewer& viewer, ocelis::THealthNotice notice)> OnHealth;

protected:
    // The creation handler: applies the viewer settings (always on top, proportional
    // resizing, status bar).
    void FormCreate() override;
    void showEvent(QShowEvent* event) override;
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool event(QEvent* event) override;

private:
    void BuildActions();
    void BuildMenus();
    void BuildStatusBar();
    void LayoutChildren();
    void ResizeHandler();
    bool NormalState() const;

    void actHideExecute();
    void actSnoozeExecute();
    void actRefreshExecute();
    void actStopRefreshExecute();
    void IntervalChange(QAction* action);
    void actRefreshCustomExecute();
    void ZoomExecute(int percent);
    void actFullScreenExecute();
    void actAlwaysOnTopExecute();
    void actProportionalExecute();
    void actStatusExecute();
    void actSiteExecute();
    void actEmailExecute();
    void actSaveExecute();
    void SizeButtonClick();

    // Stops every thread of this window that still runs: clears its handlers (so that no
    // hand-over reaches this window) and terminates it, without waiting.
    void DetachThreads();
    void ForgetThread(bool clearHandlers);
    void SetThreadRefresh(int32_t refresh);

    // Fields (declaration order as the window keeps them).
    ocelis::TWorkerRef<THttpThread> FThread;
    bool FResizing = false;
    int32_t FImageCount = 0;
    std::unique_ptr<TCamWebcam> FWebcam;

    // Threads forgotten by actRefresh/actStopRefresh that may still hand something over.
    std::vector<ocelis::TWorkerRef<THttpThread>> FOldThreads;
    ocelis::TPictureMemory FPictures; // the last picture handed over
    int FBusy = 0;                    // > 0 while a hand-over runs (SaveImage may process events)
    bool FDeleteDeferred = false;

    TFramelessDrag* FDrag = nullptr; // moving and sizing by mouse
    TViewerHealth* FHealth = nullptr;

    TOcImage* CamImage = nullptr;
    TOcStatusBar* StatusBar = nullptr;
    QProgressBar* ProgressBar = nullptr;
    QToolButton* SizeButton = nullptr;
    QToolButton* SpeedButton1 = nullptr;
    QToolButton* SpeedButton2 = nullptr;
    TOcFileDialog* SaveDialog = nullptr;
    QMenu* PopupMenu = nullptr;
    QMenu* SizePopup = nullptr;
    QMenu* RefreshMenu = nullptr;
    QMenu* SizeMenu = nullptr;
    QActionGroup* RefreshGroup = nullptr;
    std::unique_ptr<TOcFormMagnet> BUFormMagnet1;

    QAction* actHide = nullptr;
    QAction* actSnooze = nullptr;
    QAction* actRefresh = nullptr;
    QAction* actStopRefresh = nullptr;
    QAction* actRefresh1 = nullptr;
    QAction* actRefresh2 = nullptr;
    QAction* actRefresh5 = nullptr;
    QAction* actRefresh10 = nullptr;
    QAction* actRefresh20 = nullptr;
    QAction* actRefresh60 = nullptr;
    QAction* actRefresh0 = nullptr;
    QAction* actRefreshBrute = nullptr;
    QAction* actRefreshCustom = nullptr;
    QAction* actSize = nullptr;
    QAction* act300x200 = nullptr;
    QAction* act600x400 = nullptr;
    QAction* act50 = nullptr;
    QAction* act100 = nullptr;
    QAction* act150 = nullptr;
    QAction* act200 = nullptr;
    QAction* actFullScreen = nullptr;
    QAction* actAlwaysOnTop = nullptr;
    QAction* actProportional = nullptr;
    QAction* actStatus = nullptr;
    QAction* actSite = nullptr;
    QAction* actEmail = nullptr;
    QAction* actSave = nullptr;
    QAction* actClose = nullptr;
};

namespace ocelis {

// The address that "Surf to Website" may open: only http and https URLs with a host;
// anything else (a local program, a file: URL, an empty text) gives an invalid QUrl.
QUrl SafeHomepageUrl(const std::string& homepage);
// A mailto: URL for one plain address; anything else gives an invalid QUrl.
QUrl SafeMailtoUrl(const std::string& email);

// The two 14 by 14 status-bar pictures, normal and disabled, drawn in code.
QIcon HomepageIcon();
QIcon EmailIcon();

} // namespace ocelis

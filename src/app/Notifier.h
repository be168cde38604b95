// Tells the user something outside any window: through the desktop's notification service
// on the session bus, or the tray icon's balloon where no such service answers. Health
// notices of several webcams within a few seconds go out as one.
#pragma once

#include "net/WebcamHealth.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <functional>
#include <map>
#include <optional>
#include <vector>

class QSystemTrayIcon;

class TNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int kGatherMs = 5000;

    explicit TNotifier(QObject* parent = nullptr);

    // The balloon's icon where the bus has no notification service; may give null.
    std::function<QSystemTrayIcon*()> TrayIcon;
    // What goes to the desktop; Clickable: its default action brings a window forward.
    struct TNotification {
        QString Title;
        QString Text;
        int TimeoutMs = -1;      // the desktop's own time
        bool Information = true; // the balloon's mark
        QImage Image;
        uint Replaces = 0;
        bool Clickable = false;
    };
    // Called with the desktop's id for the notification, or nothing when none took it.
    using TAnswered = std::function<void(std::optional<uint> id)>;
    // Hands a notification over; empty: the session bus (tests give their own).
    std::function<void(const TNotification& notification, TAnswered answered)> Post;
    // A notification about a window was clicked: bring it forward.
    std::function<void(QWidget* window)> OnActivate;

    // Says text at once.
    void Notify(const QString& text);
    // Says text under its own title, for timeoutMs, without the information icon.
    void Notify(const QString& title, const QString& text, int timeoutMs);
    // Whether the tray icon sits in its tray, so that a balloon points at it (an icon not yet
    // embedded reports the screen's corner); tests replace it.
    std::function<bool(QSystemTrayIcon* icon)> IconPlaced;
    // A webcam's notice; text for it alone, image its last picture (may be null). Notices
    // gathered within kGatherMs go out together; "back" replaces the window's warning.
    void HealthNotice(QWidget* window, ocelis::THealthNotice notice, const QString& text,
                      const QImage& image);
    // How long notices are gathered (tests shorten it).
    void SetGatherMs(int ms) { FGather->setInterval(ms); }

    // The tray icon exists now: shows what waited for it once the icon is placed.
    void TrayReady();
    // Balloons waiting for the tray icon.
    size_t Waiting() const { return FWaiting.size(); }
    // Sends the gathered notices now (the timer's end).
    void Flush();

private slots:
    void ActionInvoked(uint id, const QString& action);
    void NotificationClosed(uint id, uint reason);
    void BalloonClicked();

private:
    struct TPending {
        QPointer<QWidget> Window;
        ocelis::THealthNotice Notice;
        QString Text;
        QImage Image;
    };
    void PostOnBus(const TNotification& notification, TAnswered answered);
    // windows: what the notification is about (the first is brought forward); warning:
    // whether a later "back" replaces it.
    void Send(const TNotification& notification, const std::vector<QPointer<QWidget>>& windows = {},
              bool warning = false);
    struct TBalloon {
        QString Title;
        QString Text;
        int TimeoutMs;
        bool Information;
        QPointer<QWidget> Window; // brought forward by a click
    };
    // Shows the balloons waiting, once the icon is placed; else looks again a little later.
    void ShowWaiting();

    QTimer* FGather;
    std::vector<TPending> FPending;
    // The notification each window was last warned with, and which window an id is about.
    std::map<QWidget*, uint> FWarning;
    std::map<uint, QPointer<QWidget>> FWindowOf;
    QPointer<QWidget> FBalloonWindow;
    std::vector<TBalloon> FWaiting; // balloons that came before the tray icon was placed
    QTimer* FPlaceCheck;
    int FPlaceChecks = 0;
};

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
        QString Text;
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
    // A webcam's notice; text for it alone, image its last picture (may be null). Notices
    // gathered within kGatherMs go out together; "back" replaces the window's warning.
    void HealthNotice(QWidget* window, ocelis::THealthNotice notice, const QString& text,
                      const QImage& image);
    // How long notices are gathered (tests shorten it).
    void SetGatherMs(int ms) { FGather->setInterval(ms); }

    // The tray icon exists now: shows what waited for it.
    void TrayReady();
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
    void Send(const QString& text, const QImage& image, uint replaces,
              const std::vector<QPointer<QWidget>>& windows = {}, bool warning = false);

    QTimer* FGather;
    std::vector<TPending> FPending;
    // The notification each window was last warned with, and which window an id is about.
    std::map<QWidget*, uint> FWarning;
    std::map<uint, QPointer<QWidget>> FWindowOf;
    QPointer<QWidget> FBalloonWindow;
    std::vector<QString> FWaiting; // balloons that came before the tray icon
};

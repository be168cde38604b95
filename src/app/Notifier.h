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
#include <vector>

class QSystemTrayIcon;

class TNotifier : public QObject {
    Q_OBJECT
public:
    static constexpr int kGatherMs = 5000;

    explicit TNotifier(QObject* parent = nullptr);

    // The balloon's icon where the bus has no notification service; may give null.
    std::function<QSystemTrayIcon*()> TrayIcon;
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
    void Flush();
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
};

#include "app/Notifier.h"

#include "settings/MessageTexts.h"
#include "settings/PlainText.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QSystemTrayIcon>
#include <QWidget>

using ocelis::THealthNotice;

namespace {

constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";
constexpr const char* kInterface = "org.freedesktop.Notifications";
constexpr int kImageSide = 128;
constexpr int kExpireMs = -1; // the server's default
constexpr int kBalloonMs = 10000;
// How often, and how many times, a balloon looks whether the tray icon is placed yet.
constexpr int kPlaceCheckMs = 250;
constexpr int kPlaceChecks = 240;

// The image-data hint: width, height, row stride, alpha, bits per sample, channels, bytes.
struct TNotifyImage {
    QImage Image;
};

QDBusArgument& operator<<(QDBusArgument& arg, const TNotifyImage& image) {
    const QImage& i = image.Image;
    arg.beginStructure();
    arg << i.width() << i.height() << static_cast<int>(i.bytesPerLine()) << false << 8 << 3;
    arg << QByteArray(reinterpret_cast<const char*>(i.constBits()),
                      static_cast<qsizetype>(i.sizeInBytes()));
    arg.endStructure();
    return arg;
}

const QDBusArgument& operator>>(const QDBusArgument& arg, TNotifyImage&) {
    return arg; // only ever sent
}

} // namespace

Q_DECLARE_METATYPE(TNotifyImage)

TNotifier::TNotifier(QObject* parent) : QObject(parent) {
    qDBusRegisterMetaType<TNotifyImage>();
    FGather = new QTimer(this);
    FGather->setSingleShot(true);
    FGather->setInterval(kGatherMs);
    connect(FGather, &QTimer::timeout, this, &TNotifier::Flush);
    FPlaceCheck = new QTimer(this);
    FPlaceCheck->setInterval(kPlaceCheckMs);
    connect(FPlaceCheck, &QTimer::timeout, this, [this] {
        if (++FPlaceChecks >= kPlaceChecks)
            FPlaceCheck->stop();
        ShowWaiting();
    });
    // An icon the tray has not taken in yet reports the screen's corner (or nothing).
    IconPlaced = [](QSystemTrayIcon* icon) {
        const QRect g = icon->geometry();
        return icon->isVisible() && !g.isEmpty() && g.topLeft() != QPoint(0, 0);
    };
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (bus.isConnected()) {
        bus.connect(QString(), QLatin1String(kPath), QLatin1String(kInterface),
                    QStringLiteral("ActionInvoked"), this, SLOT(ActionInvoked(uint, QString)));
        bus.connect(QString(), QLatin1String(kPath), QLatin1String(kInterface),
                    QStringLiteral("NotificationClosed"), this,
                    SLOT(NotificationClosed(uint, uint)));
    }
}

void TNotifier::Notify(const QString& text) {
    TNotification n;
    n.Title = QLatin1String(ocelis::kProductName);
    n.Text = text;
    Send(n);
}

void TNotifier::Notify(const QString& title, const QString& text, int timeoutMs) {
    TNotification n;
    n.Title = title;
    n.Text = text;
    n.TimeoutMs = timeoutMs;
    n.Information = false;
    Send(n);
}

void TNotifier::HealthNotice(QWidget* window, THealthNotice notice, const QString& text,
                             const QImage& image) {
    if (notice == THealthNotice::None)
        return;
    // A newer notice of the same window replaces one still waiting.
    std::erase_if(FPending, [window](const TPending& p) { return p.Window == window; });
    // "Back" after a warning that was never sent is no news.
    if (notice == THealthNotice::Back && !FWarning.count(window))
        return;
    FPending.push_back({window, notice, text, image});
    if (!FGather->isActive())
        FGather->start();
}

void TNotifier::Flush() {
    std::vector<TPending> pending;
    pending.swap(FPending);
    std::erase_if(pending, [](const TPending& p) { return p.Window.isNull(); });
    for (THealthNotice kind : {THealthNotice::Offline, THealthNotice::Stale, THealthNotice::Back}) {
        std::vector<TPending*> group;
        for (TPending& p : pending)
            if (p.Notice == kind)
                group.push_back(&p);
        if (group.empty())
            continue;
        QWidget* first = group.front()->Window;
        std::vector<QPointer<QWidget>> windows;
        for (TPending* p : group)
            windows.push_back(p->Window);
        const bool warning = kind != THealthNotice::Back;
        uint replaces = 0;
        if (kind == THealthNotice::Back) {
            auto it = FWarning.find(first);
            if (it != FWarning.end())
                replaces = it->second;
            for (TPending* p : group)
                FWarning.erase(p->Window);
        }
        TNotification n;
        n.Title = QLatin1String(ocelis::kProductName);
        n.Replaces = replaces;
        if (group.size() == 1) {
            n.Text = group.front()->Text;
            n.Image = group.front()->Image;
            Send(n, windows, warning);
            continue;
        }
        const std::string& many = kind == THealthNotice::Offline ? NotifyManyOffline
                                  : kind == THealthNotice::Stale ? NotifyManyStale
                                                                 : NotifyManyBack;
        n.Text = ocelis::DisplayText(many);
        n.Text.replace(QLatin1String("%1"), QString::number(group.size()));
        Send(n, windows, warning);
    }
}

void TNotifier::Send(const TNotification& notice, const std::vector<QPointer<QWidget>>& windows,
                     bool warning) {
    QPointer<QWidget> window = windows.empty() ? nullptr : windows.front();
    TNotification notification = notice;
    notification.Clickable = !window.isNull();
    const TBalloon balloon{notice.Title, notice.Text,
                           notice.TimeoutMs < 0 ? kBalloonMs : notice.TimeoutMs, notice.Information,
                           window};
    auto answered = [this, balloon, window, windows, warning](std::optional<uint> id) {
        // No notification service took it: the tray says it, once its icon is placed.
        if (!id) {
            FWaiting.push_back(balloon);
            ShowWaiting();
            return;
        }
        if (!window)
            return;
        FWindowOf[*id] = window;
        if (!warning)
            return;
        for (const QPointer<QWidget>& w : windows) {
            if (!w)
                continue;
            if (!FWarning.count(w))
                connect(w, &QObject::destroyed, this,
                        [this, key = w.data()] { FWarning.erase(key); });
            FWarning[w] = *id;
        }
    };
    if (Post)
        Post(notification, std::move(answered));
    else
        PostOnBus(notification, std::move(answered));
}

void TNotifier::PostOnBus(const TNotification& notification, TAnswered answered) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        answered(std::nullopt);
        return;
    }
    const QString app = QLatin1String(ocelis::kProductName);
    QDBusMessage call =
        QDBusMessage::createMethodCall(QLatin1String(kService), QLatin1String(kPath),
                                       QLatin1String(kInterface), QStringLiteral("Notify"));
    QVariantMap hints;
    const QImage& image = notification.Image;
    if (!image.isNull()) {
        const QImage small = image.width() > kImageSide || image.height() > kImageSide
                                 ? image.scaled(kImageSide, kImageSide, Qt::KeepAspectRatio,
                                                Qt::SmoothTransformation)
                                 : image;
        hints.insert(
            QStringLiteral("image-data"),
            QVariant::fromValue(TNotifyImage{small.convertToFormat(QImage::Format_RGB888)}));
    }
    const QStringList actions =
        notification.Clickable ? QStringList{QStringLiteral("default"), app} : QStringList{};
    call << app << notification.Replaces << QString() << notification.Title << notification.Text
         << actions << hints << (notification.TimeoutMs < 0 ? kExpireMs : notification.TimeoutMs);
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this,
            [watcher, answered = std::move(answered)](QDBusPendingCallWatcher*) {
                watcher->deleteLater();
                const QDBusPendingReply<uint> reply = *watcher;
                answered(reply.isError() ? std::nullopt : std::optional<uint>(reply.value()));
            });
}

void TNotifier::ActionInvoked(uint id, const QString& action) {
    auto it = FWindowOf.find(id);
    if (it == FWindowOf.end() || action != QLatin1String("default"))
        return;
    if (it->second && OnActivate)
        OnActivate(it->second);
}

void TNotifier::TrayReady() {
    FPlaceChecks = 0;
    ShowWaiting();
}

void TNotifier::ShowWaiting() {
    QSystemTrayIcon* icon = TrayIcon ? TrayIcon() : nullptr;
    if (FWaiting.empty() || !icon)
        return;
    // After a minute of looking a tray at the corner is taken at its word.
    if (IconPlaced && !IconPlaced(icon) && FPlaceChecks < kPlaceChecks) {
        if (!FPlaceCheck->isActive())
            FPlaceCheck->start();
        return;
    }
    FPlaceCheck->stop();
    connect(icon, &QSystemTrayIcon::messageClicked, this, &TNotifier::BalloonClicked,
            Qt::UniqueConnection);
    std::vector<TBalloon> waiting;
    waiting.swap(FWaiting);
    // One balloon shows at a time: the last one stays.
    for (const TBalloon& b : waiting) {
        FBalloonWindow = b.Window;
        icon->showMessage(b.Title, b.Text,
                          b.Information ? QSystemTrayIcon::Information : QSystemTrayIcon::NoIcon,
                          b.TimeoutMs);
    }
}

void TNotifier::BalloonClicked() {
    if (FBalloonWindow && OnActivate)
        OnActivate(FBalloonWindow);
}

void TNotifier::NotificationClosed(uint id, uint) {
    FWindowOf.erase(id);
}

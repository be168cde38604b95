#include "viewer/ViewerHealth.h"

#include "gui/OcStatusBar.h"
#include "settings/PlainText.h"
#include "viewer/HealthText.h"
#include "viewer/OcImage.h"

#include <QEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QPainter>
#include <QTimer>
#include <QToolTip>
#include <chrono>

using namespace ocelis;

namespace {

// Staleness needs minutes to show; a look twice a minute is soon enough.
constexpr int kCheckMs = 30000;
constexpr int kMarkSize = 12;
constexpr int kMarkMargin = 4;

// A dot: amber for stale, red for offline.
class TMark : public QWidget {
public:
    using QWidget::QWidget;
    bool Offline = false;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setPen(QPen(Qt::white, 1.5));
        p.setBrush(Offline ? QColor(210, 30, 30) : QColor(235, 160, 0));
        p.drawEllipse(QRectF(rect()).adjusted(1, 1, -1, -1));
    }
};

} // namespace

TViewerHealth::TViewerHealth(TOcImage* picture, TOcStatusBar* statusBar, QObject* parent)
    : QObject(parent), Clock(HealthClock), FPicture(picture), FStatusBar(statusBar) {
    FReason = new QLabel(picture);
    FReason->setObjectName(QStringLiteral("HealthReason"));
    FReason->setWordWrap(true);
    FReason->setAlignment(Qt::AlignCenter);
    FReason->setTextFormat(Qt::PlainText);
    FReason->setAttribute(Qt::WA_TransparentForMouseEvents);
    QPalette pal = FReason->palette();
    pal.setColor(QPalette::WindowText, QColor(230, 230, 230));
    FReason->setPalette(pal);
    FReason->hide();

    auto* mark = new TMark(picture);
    mark->setObjectName(QStringLiteral("HealthMark"));
    mark->resize(kMarkSize, kMarkSize);
    mark->hide();
    FMark = mark;

    FTimer = new QTimer(this);
    FTimer->setInterval(kCheckMs);
    connect(FTimer, &QTimer::timeout, this, &TViewerHealth::Check);
    if (FStatusBar)
        FStatusBar->installEventFilter(this);
}

void TViewerHealth::Start(const std::string& url, int32_t refresh) {
    FUrl = url;
    FRefresh = refresh;
    FHealth = TWebcamHealth(Clock(), refresh);
    FTimer->start();
    Show(THealthNotice::None);
}

void TViewerHealth::SetRefresh(int32_t refresh) {
    FRefresh = refresh;
    FHealth.SetRefresh(refresh);
}

void TViewerHealth::Pause() {
    FTimer->stop();
}

void TViewerHealth::Resume() {
    FTimer->start();
}

void TViewerHealth::Fetched(const std::optional<TFetchFailure>& failure) {
    Show(failure ? FHealth.Failed(Clock(), *failure) : FHealth.Answered(Clock()));
}

void TViewerHealth::NewPicture() {
    Show(FHealth.Changed(Clock()));
}

void TViewerHealth::Check() {
    Show(FHealth.Check(Clock()));
}

THealthState TViewerHealth::State() const {
    return FState;
}

QString TViewerHealth::ShownReason() const {
    return FReason->isHidden() ? QString() : FReason->text();
}

QString TViewerHealth::MarkTip() const {
    return FMark->isHidden() ? QString() : FMark->toolTip();
}

void TViewerHealth::Show(THealthNotice notice) {
    const double now = Clock();
    const THealthState state = FHealth.State(now);
    const bool picture = FPicture->PictureWidth() > 0;
    // Without a picture every failure is told at once: there is nothing else to see.
    const bool reason = !picture && FHealth.Reason().has_value();
    if (reason)
        FReason->setText(DisplayText(NoPictureText(FUrl, *FHealth.Reason(), FRefresh)));
    FReason->setVisible(reason);
    const QString tip = DisplayText(HealthTip(FHealth, now));
    FPanelTip = tip;
    const bool mark = picture && state != THealthState::Live;
    static_cast<TMark*>(FMark)->Offline = state == THealthState::Offline;
    FMark->setToolTip(tip);
    FMark->setVisible(mark);
    if (mark)
        FMark->update();
    Layout();
    const bool changed = state != FState;
    FState = state;
    if ((changed || notice != THealthNotice::None) && OnChange)
        OnChange(notice);
}

void TViewerHealth::Layout() {
    const QRect area = FPicture->rect();
    FReason->setGeometry(area.adjusted(8, 8, -8, -8));
    FMark->move(area.right() - kMarkMargin - kMarkSize + 1, area.top() + kMarkMargin);
    FMark->raise();
}

bool TViewerHealth::eventFilter(QObject* watched, QEvent* event) {
    if (watched == FStatusBar && event->type() == QEvent::ToolTip && !FPanelTip.isEmpty()) {
        auto* help = static_cast<QHelpEvent*>(event);
        if (FStatusBar->Panels()->Count() > 3 && FStatusBar->PanelRect(3).contains(help->pos())) {
            QToolTip::showText(help->globalPos(), FPanelTip, FStatusBar);
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

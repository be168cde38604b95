#include "viewer/FramelessDrag.h"

#include <QEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QWidget>
#include <QWindow>
#include <algorithm>

namespace {

constexpr int kGrip = 4; // width of the sizing border inside the window's edges

bool OnWayland() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}

bool Contains(const std::vector<QWidget*>& list, const QObject* o) {
    return std::find(list.begin(), list.end(), o) != list.end();
}

} // namespace

TFramelessDrag::TFramelessDrag(QWidget* window) : QObject(window), FWindow(window) {
    FWindow->setMouseTracking(true);
    FWindow->installEventFilter(this);
}

void TFramelessDrag::Watch(QWidget* child, TChild kind) {
    (kind == TChild::Mover ? FMovers : FEdgesOnly).push_back(child);
    child->setMouseTracking(true);
    child->installEventFilter(this);
}

Qt::Edges TFramelessDrag::EdgesAt(const QPoint& pos) const {
    Qt::Edges edges;
    if (FWindow->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen | Qt::WindowMinimized))
        return edges;
    if (pos.x() < kGrip)
        edges |= Qt::LeftEdge;
    else if (pos.x() >= FWindow->width() - kGrip)
        edges |= Qt::RightEdge;
    if (pos.y() < kGrip)
        edges |= Qt::TopEdge;
    else if (pos.y() >= FWindow->height() - kGrip)
        edges |= Qt::BottomEdge;
    return edges;
}

bool TFramelessDrag::OnMover(const QPoint& pos) const {
    for (const QWidget* m : FMovers)
        if (QRect(m->mapTo(FWindow, QPoint(0, 0)), m->size()).contains(pos))
            return true;
    return false;
}

void TFramelessDrag::UpdateCursor(const QPoint& pos) {
    const Qt::Edges e = EdgesAt(pos);
    Qt::CursorShape shape = Qt::ArrowCursor;
    if (e == (Qt::LeftEdge | Qt::TopEdge) || e == (Qt::RightEdge | Qt::BottomEdge))
        shape = Qt::SizeFDiagCursor;
    else if (e == (Qt::RightEdge | Qt::TopEdge) || e == (Qt::LeftEdge | Qt::BottomEdge))
        shape = Qt::SizeBDiagCursor;
    else if (e & (Qt::LeftEdge | Qt::RightEdge))
        shape = Qt::SizeHorCursor;
    else if (e & (Qt::TopEdge | Qt::BottomEdge))
        shape = Qt::SizeVerCursor;
    if (shape == Qt::ArrowCursor)
        FWindow->unsetCursor();
    else
        FWindow->setCursor(shape);
}

bool TFramelessDrag::Begin(QMouseEvent* event, const QPoint& pos) {
    if (event->button() != Qt::LeftButton)
        return false;
    const Qt::Edges edges = EdgesAt(pos);
    if (!edges && !OnMover(pos))
        return false;
    if (OnWayland() && FWindow->windowHandle()) {
        QWindow* w = FWindow->windowHandle();
        if (edges ? w->startSystemResize(edges) : w->startSystemMove())
            return true;
    }
    FMode = edges ? TMode::Resize : TMode::Move;
    FEdges = edges;
    FStartGlobal = event->globalPosition().toPoint();
    FStartGeometry = FWindow->geometry();
    return true;
}

bool TFramelessDrag::Drag(QMouseEvent* event) {
    if (FMode == TMode::None)
        return false;
    if (!(event->buttons() & Qt::LeftButton)) {
        End();
        return false;
    }
    const QPoint d = event->globalPosition().toPoint() - FStartGlobal;
    const QRect g = FStartGeometry;
    if (FMode == TMode::Move) {
        const QRect proposed(g.topLeft() + d, g.size());
        FWindow->move(MoveCheck ? MoveCheck(FWindow->geometry(), proposed) : proposed.topLeft());
        return true;
    }
    int left = g.left(), top = g.top();
    int right = g.left() + g.width(), bottom = g.top() + g.height();
    if (FEdges & Qt::LeftEdge)
        left += d.x();
    if (FEdges & Qt::RightEdge)
        right += d.x();
    if (FEdges & Qt::TopEdge)
        top += d.y();
    if (FEdges & Qt::BottomEdge)
        bottom += d.y();
    const QSize proposed(right - left, bottom - top);
    const QSize s = SizeCheck ? SizeCheck(proposed) : proposed;
    // The edge opposite the one dragged stays where it is.
    const int x = (FEdges & Qt::LeftEdge) ? right - s.width() : left;
    const int y = (FEdges & Qt::TopEdge) ? bottom - s.height() : top;
    FWindow->setGeometry(x, y, s.width(), s.height());
    return true;
}

void TFramelessDrag::End() {
    FMode = TMode::None;
    FEdges = {};
}

bool TFramelessDrag::eventFilter(QObject* watched, QEvent* event) {
    const bool isWindow = watched == FWindow;
    if (!isWindow && !Contains(FMovers, watched) && !Contains(FEdgesOnly, watched))
        return false;
    auto* w = static_cast<QWidget*>(watched);
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint pos = w->mapTo(FWindow, me->position().toPoint());
        if (Contains(FEdgesOnly, watched) && !EdgesAt(pos))
            return false;
        return Begin(me, pos);
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (Drag(me))
            return true;
        UpdateCursor(w->mapTo(FWindow, me->position().toPoint()));
        return false;
    }
    case QEvent::MouseButtonRelease:
        if (FMode != TMode::None && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) {
            End();
            return true;
        }
        return false;
    case QEvent::Leave:
        // Out of a child: the arrow, until the next move over the window tells otherwise.
        if (!isWindow && FMode == TMode::None)
            FWindow->unsetCursor();
        return false;
    default:
        return false;
    }
}

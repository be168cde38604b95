// TFramelessDrag: moves and sizes a window without a frame by mouse. It filters the mouse
// events of the window and of the children it is told to watch: a left press within the
// sizing border along the window's edges sizes the window from those edges, one on a mover
// child moves it; the cursor shows the edges under the mouse. On Wayland, where a client may
// not place its window, the compositor does both.
#pragma once

#include <QObject>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <functional>
#include <vector>

class QMouseEvent;
class QWidget;

class TFramelessDrag : public QObject {
    Q_OBJECT
public:
    // Watches the window's own mouse events; the window owns the filter.
    explicit TFramelessDrag(QWidget* window);

    enum class TChild {
        Mover,     // a press anywhere on it moves the window (at the edges: sizes it)
        EdgesOnly, // only a press at the edges is taken; the rest stays the child's
    };
    void Watch(QWidget* child, TChild kind);

    // The size the window takes for a proposed one while sized; none: as proposed.
    std::function<QSize(const QSize& proposed)> SizeCheck;
    // The place the window takes while moved, from its current and proposed rectangles;
    // none: as proposed.
    std::function<QPoint(const QRect& current, const QRect& proposed)> MoveCheck;

    // The window's edges within the sizing border at a point of the window; none outside
    // the normal state (a maximised window is not sized by hand).
    Qt::Edges EdgesAt(const QPoint& windowPos) const;
    bool Dragging() const { return FMode != TMode::None; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class TMode { None, Move, Resize };

    bool OnMover(const QPoint& windowPos) const;
    bool Begin(QMouseEvent* event, const QPoint& windowPos);
    bool Drag(QMouseEvent* event);
    void End();
    void UpdateCursor(const QPoint& windowPos);

    QWidget* FWindow;
    std::vector<QWidget*> FMovers;
    std::vector<QWidget*> FEdgesOnly;
    TMode FMode = TMode::None;
    Qt::Edges FEdges;
    QPoint FStartGlobal;
    QRect FStartGeometry;
};

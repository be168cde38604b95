// Moving and sizing a frameless window by mouse, with synthetic mouse events offscreen.
#include "viewer/FramelessDrag.h"

#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

namespace {

// A child that takes every press it gets, so that one reaching it is seen.
class TPressTaker : public QWidget {
public:
    using QWidget::QWidget;
    int Presses = 0;

protected:
    void mousePressEvent(QMouseEvent* event) override {
        ++Presses;
        event->accept();
    }
};

void Send(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
          Qt::MouseButtons buttons) {
    QMouseEvent e(type, QPointF(w->mapFromGlobal(global)), QPointF(global), button, buttons,
                  Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

// A 300 by 200 window at (100, 100): a picture over the top 170 rows moves it, a bar over the
// bottom 20 sizes it at the edges only, and the 10 rows between are the window's own.
class FramelessDragTest : public ::testing::Test {
protected:
    void SetUp() override {
        Window.setWindowFlag(Qt::FramelessWindowHint);
        Window.setGeometry(100, 100, 300, 200);
        Picture = new TPressTaker(&Window);
        Picture->setGeometry(0, 0, 300, 170);
        Bar = new TPressTaker(&Window);
        Bar->setGeometry(0, 180, 300, 20);
        Drag = new TFramelessDrag(&Window);
        Drag->Watch(Picture, TFramelessDrag::TChild::Mover);
        Drag->Watch(Bar, TFramelessDrag::TChild::EdgesOnly);
        Window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&Window));
    }

    // Presses at a point of the window (sent to the child there), moves by delta, releases.
    void DragBy(QPoint at, QPoint delta, Qt::MouseButton button = Qt::LeftButton) {
        QWidget* target = Window.childAt(at) ? Window.childAt(at) : &Window;
        const QPoint start = Window.mapToGlobal(at);
        Send(target, QEvent::MouseButtonPress, start, button, button);
        Send(target, QEvent::MouseMove, start + delta, Qt::NoButton, button);
        Send(target, QEvent::MouseButtonRelease, start + delta, button, Qt::NoButton);
    }

    QWidget Window;
    TPressTaker* Picture = nullptr;
    TPressTaker* Bar = nullptr;
    TFramelessDrag* Drag = nullptr;
};

} // namespace

TEST_F(FramelessDragTest, PressesMoveOrSizeByWhereTheyStart) {
    struct TCase {
        const char* What;
        QPoint At;
        QPoint Delta;
        QRect Geometry;
        int PicturePresses, BarPresses;
    };
    const TCase cases[] = {
        {"picture middle moves", {150, 80}, {30, -20}, {130, 80, 300, 200}, 0, 0},
        {"picture at the right edge sizes", {298, 80}, {50, 0}, {100, 100, 350, 200}, 0, 0},
        {"left edge keeps the right one", {1, 80}, {-20, 0}, {80, 100, 320, 200}, 0, 0},
        {"top-left corner", {0, 0}, {10, 10}, {110, 110, 290, 190}, 0, 0},
        {"bar middle stays the bar's", {150, 190}, {30, 30}, {100, 100, 300, 200}, 0, 1},
        {"bar's bottom-right corner sizes", {299, 199}, {10, 15}, {100, 100, 310, 215}, 0, 0},
        {"window's own strip does nothing", {150, 175}, {30, 30}, {100, 100, 300, 200}, 0, 0},
        {"window's own strip at the edge sizes", {297, 175}, {-40, 0}, {100, 100, 260, 200}, 0, 0},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        Window.setGeometry(100, 100, 300, 200);
        Picture->Presses = Bar->Presses = 0;
        DragBy(c.At, c.Delta);
        EXPECT_EQ(Window.geometry(), c.Geometry);
        EXPECT_EQ(Picture->Presses, c.PicturePresses);
        EXPECT_EQ(Bar->Presses, c.BarPresses);
        EXPECT_FALSE(Drag->Dragging());
    }
}

TEST_F(FramelessDragTest, OnlyTheLeftButtonDrags) {
    DragBy({150, 80}, {30, 30}, Qt::RightButton);
    DragBy({298, 80}, {30, 0}, Qt::MiddleButton);
    EXPECT_EQ(Window.geometry(), QRect(100, 100, 300, 200));
    // The picture got both presses the drag did not take.
    EXPECT_EQ(Picture->Presses, 2);
}

TEST_F(FramelessDragTest, ChecksDecideTheSizeAndThePlace) {
    Drag->SizeCheck = [](const QSize& s) { return s.expandedTo(QSize(150, 150)); };
    DragBy({1, 80}, {250, 0});
    // Held at the smallest width, against the right edge that did not move.
    EXPECT_EQ(Window.geometry(), QRect(250, 100, 150, 200));

    Window.setGeometry(100, 100, 300, 200);
    Drag->MoveCheck = [](const QRect& current, const QRect& proposed) {
        EXPECT_EQ(current.size(), proposed.size());
        return QPoint(proposed.left(), 0); // as a magnet pulling to the top
    };
    DragBy({150, 80}, {30, 40});
    EXPECT_EQ(Window.geometry(), QRect(130, 0, 300, 200));
}

TEST_F(FramelessDragTest, MovingWithoutTheButtonEndsTheDrag) {
    const QPoint start = Window.mapToGlobal(QPoint(150, 80));
    Send(Picture, QEvent::MouseButtonPress, start, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(Drag->Dragging());
    // The release went elsewhere: the next move comes without the button.
    Send(Picture, QEvent::MouseMove, start + QPoint(30, 30), Qt::NoButton, Qt::NoButton);
    EXPECT_FALSE(Drag->Dragging());
    EXPECT_EQ(Window.pos(), QPoint(100, 100));
}

TEST_F(FramelessDragTest, TheCursorShowsTheEdgesUnderTheMouse) {
    struct TCase {
        QPoint At;
        Qt::CursorShape Shape;
    };
    const TCase cases[] = {
        {{150, 80}, Qt::ArrowCursor},      {{0, 80}, Qt::SizeHorCursor},
        {{299, 80}, Qt::SizeHorCursor},    {{150, 1}, Qt::SizeVerCursor},
        {{150, 198}, Qt::SizeVerCursor},   {{2, 2}, Qt::SizeFDiagCursor},
        {{299, 199}, Qt::SizeFDiagCursor}, {{297, 0}, Qt::SizeBDiagCursor},
        {{0, 199}, Qt::SizeBDiagCursor},   {{150, 175}, Qt::ArrowCursor},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(testing::Message() << c.At.x() << "," << c.At.y());
        QWidget* target = Window.childAt(c.At) ? Window.childAt(c.At) : &Window;
        Send(target, QEvent::MouseMove, Window.mapToGlobal(c.At), Qt::NoButton, Qt::NoButton);
        EXPECT_EQ(Window.cursor().shape(), c.Shape);
    }
    // Leaving a child gives the arrow back, wherever the mouse goes.
    Send(Bar, QEvent::MouseMove, Window.mapToGlobal(QPoint(299, 199)), Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(Window.cursor().shape(), Qt::SizeFDiagCursor);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(Bar, &leave);
    EXPECT_EQ(Window.cursor().shape(), Qt::ArrowCursor);
}

TEST_F(FramelessDragTest, AMaximisedWindowHasNoEdgesToSize) {
    EXPECT_EQ(Drag->EdgesAt({0, 0}), Qt::LeftEdge | Qt::TopEdge);
    Window.setWindowState(Qt::WindowMaximized);
    EXPECT_EQ(Drag->EdgesAt({0, 0}), Qt::Edges());
    EXPECT_EQ(Drag->EdgesAt({299, 199}), Qt::Edges());
}

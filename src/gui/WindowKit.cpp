#include "gui/WindowKit.h"

#include "gui/Placement.h"
#include "gui/SForm.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QFrame>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QWidget>
#include <algorithm>

namespace ocelis {

QScreen* WorkScreen() {
    if (QScreen* s = QGuiApplication::screenAt(QCursor::pos()))
        return s;
    return QGuiApplication::primaryScreen();
}

namespace {

TPlaceRect ToPlace(const QRect& r) {
    return {r.x(), r.y(), r.width(), r.height()};
}

QRect WorkArea(TScreenArea within) {
    const QScreen* s = WorkScreen();
    if (!s)
        return {};
    return within == TScreenArea::Whole ? s->geometry() : s->availableGeometry();
}

// The frame around the window: what the window system gave it once shown; before that a
// title bar and thin borders as most desktops draw them.
QMargins FrameOf(const QWidget* window) {
    if (window->windowFlags() & Qt::FramelessWindowHint)
        return {};
    const QRect frame = window->frameGeometry();
    const QRect inner = window->geometry();
    if (window->testAttribute(Qt::WA_WState_Created) && frame != inner)
        return {inner.left() - frame.left(), inner.top() - frame.top(),
                frame.right() - inner.right(), frame.bottom() - inner.bottom()};
    return {4, 28, 4, 4};
}

// The part of a name language files address a window by.
QString KindOf(const QString& name) {
    return name.section(QLatin1Char('_'), 0, 0);
}

} // namespace

void CentreOnScreen(QWidget* window, TScreenArea within) {
    if (!WorkScreen())
        return;
    const TPlaceRect place =
        CentredPlace(ToPlace(WorkArea(within)), window->width(), window->height());
    window->move(place.Left, place.Top);
}

void CascadeOnScreen(QWidget* window, TScreenArea within) {
    const QString kind = KindOf(window->objectName());
    const QWidget* newest = nullptr;
    for (auto it = FormList.rbegin(); it != FormList.rend() && !newest; ++it)
        if (*it != window && KindOf((*it)->objectName()) == kind)
            newest = *it;
    if (!newest || !WorkScreen()) {
        CentreOnScreen(window, within);
        return;
    }
    const QMargins frame = FrameOf(window);
    const TPlaceRect place =
        CascadePlace(ToPlace(WorkArea(within)), ToPlace(newest->frameGeometry()),
                     window->width() + frame.left() + frame.right(),
                     window->height() + frame.top() + frame.bottom(), kCascadeStep);
    window->move(place.Left, place.Top);
}

void MoveOnScreen(QWidget* window, int left, int top) {
    if (!WorkScreen()) {
        window->move(left, top);
        return;
    }
    const QRect area = WorkArea(TScreenArea::Available);
    const QPoint at =
        area.contains(left, top) ? QPoint(left, top) : area.topLeft() + QPoint(left, top);
    const TPlaceRect place =
        InsidePlace(ToPlace(area), {at.x(), at.y(), window->width(), window->height()});
    window->move(place.Left, place.Top);
}

void KeepOnScreen(QWidget* window) {
    if (!WorkScreen() || (window->windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)))
        return;
    const QRect area = WorkArea(TScreenArea::Available);
    const QMargins frame = FrameOf(window);
    const int roomWidth = area.width() - frame.left() - frame.right();
    const int roomHeight = area.height() - frame.top() - frame.bottom();
    const QSize minimum = window->minimumSize();
    if (minimum.width() > roomWidth || minimum.height() > roomHeight)
        window->setMinimumSize(GiveWay(minimum.width(), roomWidth),
                               GiveWay(minimum.height(), roomHeight));
    if (window->width() > roomWidth || window->height() > roomHeight)
        window->resize(GiveWay(window->width(), roomWidth), GiveWay(window->height(), roomHeight));
    // A top-level window's position is its frame's.
    const TPlaceRect outer = InsidePlace(
        ToPlace(area), {window->x(), window->y(), window->width() + frame.left() + frame.right(),
                        window->height() + frame.top() + frame.bottom()});
    window->move(outer.Left, outer.Top);
}

QLabel* NewLabel(QWidget* parent, const char* name, const QString& caption) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setTextFormat(Qt::PlainText);
    return label;
}

QPushButton* NewButton(QWidget* parent, const char* name, const QString& caption) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

QAction* NewAction(QWidget* owner, const char* name, const QString& caption,
                   const QKeySequence& key) {
    auto* action = new QAction(caption, owner);
    action->setObjectName(QString::fromLatin1(name));
    if (!key.isEmpty())
        action->setShortcut(key);
    owner->addAction(action);
    return action;
}

QCheckBox* NewCheckBox(QWidget* parent, const char* name, const QString& caption) {
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    return box;
}

QLineEdit* NewEdit(QWidget* parent, const char* name) {
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(QString::fromLatin1(name));
    return edit;
}

QFrame* NewBevel(QWidget* parent, const char* name) {
    auto* bevel = new QFrame(parent);
    bevel->setObjectName(QString::fromLatin1(name));
    bevel->setFrameShape(QFrame::HLine);
    bevel->setFrameShadow(QFrame::Sunken);
    return bevel;
}

} // namespace ocelis

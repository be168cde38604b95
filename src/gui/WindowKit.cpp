#include "gui/WindowKit.h"

#include "gui/Placement.h"

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

namespace ocelis {

QScreen* WorkScreen() {
    if (QScreen* s = QGuiApplication::screenAt(QCursor::pos()))
        return s;
    return QGuiApplication::primaryScreen();
}

void CentreOnScreen(QWidget* window, TScreenArea within) {
    const QScreen* s = WorkScreen();
    if (!s)
        return;
    const QRect area = within == TScreenArea::Whole ? s->geometry() : s->availableGeometry();
    const TPlaceRect place = CentredPlace({area.x(), area.y(), area.width(), area.height()},
                                          window->width(), window->height());
    window->move(place.Left, place.Top);
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

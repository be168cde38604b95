#include "gui/OcDragListBox.h"

#include <QDragMoveEvent>
#include <QDropEvent>

TOcDragListBox::TOcDragListBox(QWidget* parent) : QListWidget(parent) {
    setDragEnabled(true);
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // A copy: the view must not remove the dragged entries after the drop.
    setDefaultDropAction(Qt::CopyAction);
    setDropIndicatorShown(false);
}

void TOcDragListBox::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

void TOcDragListBox::dragMoveEvent(QDragMoveEvent* event) {
    if (OnDragOver && OnDragOver(event->source(), event->position().toPoint())) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TOcDragListBox::dropEvent(QDropEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (!OnDragOver || !OnDragOver(event->source(), pos)) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    if (OnDragDrop)
        OnDragDrop(event->source(), pos);
}

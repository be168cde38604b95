#include "catalogue/CamTree.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace {

constexpr const char* kNodeMime = "application/x-ocelis-editor-node";

} // namespace

TCamTree::TCamTree(QWidget* parent) : QTreeWidget(parent) {}

void TCamTree::startDrag(Qt::DropActions) {
    if (!currentItem())
        return;
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kNodeMime), QByteArray());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    // The drop handler moves the node; nothing is to be removed here afterwards.
    drag->exec(Qt::MoveAction);
}

void TCamTree::dragEnterEvent(QDragEnterEvent* event) {
    if (event->source() == this && event->mimeData()->hasFormat(QString::fromLatin1(kNodeMime)))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TCamTree::dragMoveEvent(QDragMoveEvent* event) {
    if (event->source() == this && OnDragOver && OnDragOver(event->position().toPoint()))
        event->acceptProposedAction();
    else
        event->ignore();
}

void TCamTree::dropEvent(QDropEvent* event) {
    if (event->source() != this) {
        event->ignore();
        return;
    }
    if (OnDragDrop)
        OnDragDrop(event->position().toPoint());
    event->setDropAction(Qt::MoveAction);
    event->accept();
}

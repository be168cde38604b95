// TCamTree: the catalogue editor's tree. A drag moves the selected node within the tree, and
// the window decides where.
#pragma once

#include <QTreeWidget>
#include <functional>

class TCamTree : public QTreeWidget {
    Q_OBJECT
public:
    explicit TCamTree(QWidget* parent = nullptr);

    std::function<bool(const QPoint&)> OnDragOver; // viewport position; true accepts
    std::function<void(const QPoint&)> OnDragDrop;

protected:
    void startDrag(Qt::DropActions supported) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

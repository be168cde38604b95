// TOcDragListBox: a list box whose entries are dragged within itself; its window decides
// what a drop does.
#pragma once

#include <QListWidget>
#include <functional>

class TOcDragListBox : public QListWidget {
    Q_OBJECT
public:
    explicit TOcDragListBox(QWidget* parent = nullptr);

    // (source of the drag, position in the viewport): accept the drop here?
    std::function<bool(QObject*, const QPoint&)> OnDragOver;
    std::function<void(QObject*, const QPoint&)> OnDragDrop;

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
};

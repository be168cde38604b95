#include "gui/OcListView.h"

#include <algorithm>

void TListColumn::SetWidth(int width) {
    FWidth = std::clamp(width, 0, 32767);
}

TListColumn* TListColumns::Add(const QString& caption, int width) {
    auto* c = new TListColumn(this);
    c->SetCaption(caption);
    c->SetWidth(width);
    FItems.push_back(c);
    return c;
}

TOcListView::TOcListView(QWidget* parent) : QListWidget(parent), FColumns(new TListColumns(this)) {}

QStringList TOcListView::SubItems(const QListWidgetItem* item) {
    return item->data(kSubItemsRole).toStringList();
}

void TOcListView::SetSubItems(QListWidgetItem* item, const QStringList& subItems) {
    item->setData(kSubItemsRole, subItems);
}

// A list view (QListWidget, icon or list mode) with the layouts' `Columns` collection and
// per-item sub-items, so a language file can address its Items by Index and Column.
// A plain QListWidget is a list box: its Items is a string list.
#pragma once

#include <QListWidget>
#include <QStringList>
#include <vector>

#include "settings/Collection.h"

class TListColumn : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Caption READ Caption WRITE SetCaption)
    Q_PROPERTY(int Width READ Width WRITE SetWidth)
public:
    using QObject::QObject;
    QString Caption() const { return FCaption; }
    void SetCaption(const QString& caption) { FCaption = caption; }
    int Width() const { return FWidth; }
    void SetWidth(int width); // clamped to 0..32767

private:
    QString FCaption;
    int FWidth = 50;
};

class TListColumns : public TOcCollection {
    Q_OBJECT
public:
    using TOcCollection::TOcCollection;
    int Count() const override { return static_cast<int>(FItems.size()); }
    TListColumn* Item(int i) const override { return FItems.at(static_cast<size_t>(i)); }
    TListColumn* Add(const QString& caption, int width);

private:
    std::vector<TListColumn*> FItems;
};

class TOcListView : public QListWidget {
    Q_OBJECT
public:
    explicit TOcListView(QWidget* parent = nullptr);
    TListColumns* Columns() const { return FColumns; }
    // Sub-items are kept in the item's data under kSubItemsRole.
    static constexpr int kSubItemsRole = Qt::UserRole + 100;
    static QStringList SubItems(const QListWidgetItem* item);
    static void SetSubItems(QListWidgetItem* item, const QStringList& subItems);

private:
    TListColumns* FColumns;
};

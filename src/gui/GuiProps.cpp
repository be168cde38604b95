#include "gui/GuiProps.h"

#include "gui/OcListView.h"
#include "gui/OcStatusBar.h"
#include "settings/PropRegistry.h"

namespace ocelis {

namespace {

template <class T> T* As(QObject* o) {
    T* t = qobject_cast<T*>(o);
    if (!t)
        throw EPropError("wrong class");
    return t;
}

} // namespace

void RegisterGuiPropAdapters() {
    TPropRegistry& registry = TPropRegistry::Instance();
    TPropAdapter items = ListProp(
        TPropType::ListItems, [](QObject* o) { return As<TOcListView>(o)->count(); },
        [](QObject* o, int i, int c, const QString& s) {
            QListWidgetItem* it = As<TOcListView>(o)->item(i);
            if (c == 0) {
                it->setText(s);
                return;
            }
            QStringList sub = TOcListView::SubItems(it);
            sub[c - 1] = s;
            TOcListView::SetSubItems(it, sub);
        });
    items.Cells = [](QObject* o, int i) {
        return 1 + static_cast<int>(TOcListView::SubItems(As<TOcListView>(o)->item(i)).size());
    };
    registry.Register(TOcListView::staticMetaObject, "Items", items);
    registry.Register(TOcListView::staticMetaObject, "Columns", ObjectProp([](QObject* o) {
                          return BorrowedObject(As<TOcListView>(o)->Columns());
                      }));
    registry.Register(TOcStatusBar::staticMetaObject, "Panels", ObjectProp([](QObject* o) {
                          return BorrowedObject(As<TOcStatusBar>(o)->Panels());
                      }));
}

} // namespace ocelis

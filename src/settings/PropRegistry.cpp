#include "settings/PropRegistry.h"

#include <QAbstractButton>
#include <QAction>
#include <QComboBox>
#include <QFont>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMetaProperty>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QWidget>
#include <algorithm>

#include "settings/Collection.h"
#include "settings/FontRef.h"
#include "settings/PlainText.h"
#include "util/Text.h"

namespace ocelis {

TPropAdapter ListProp(TPropType type, std::function<int(QObject*)> count,
                      std::function<void(QObject*, int, int, const QString&)> setItem) {
    TPropAdapter a;
    a.Type = type;
    a.Count = std::move(count);
    a.SetItem = std::move(setItem);
    a.Cells = [](QObject*, int) { return 1; };
    return a;
}

TPropAdapter ObjectProp(std::function<std::shared_ptr<QObject>(QObject*)> get) {
    TPropAdapter a;
    a.Type = TPropType::Object;
    a.GetObject = std::move(get);
    return a;
}

std::shared_ptr<QObject> BorrowedObject(QObject* o) {
    return std::shared_ptr<QObject>(o, [](QObject*) {});
}

namespace {

// Geometry beyond this is refused: a window millions of pixels wide would take unbounded
// memory once shown.
constexpr int64_t kMaxCoord = 32767;
constexpr int kMaxFontPoints = 500;

int CheckedCoord(int64_t v, int64_t low) {
    if (v < low || v > kMaxCoord)
        throw EPropError("coordinate out of range");
    return static_cast<int>(v);
}

// A language file may not show a window that must stay hidden (the hidden main window, a
// window still being created).
bool KeepHidden(const QObject* o) {
    return o->property("ocelisKeepHidden").toBool();
}

template <class T> T* As(QObject* o) {
    T* t = qobject_cast<T*>(o);
    if (!t)
        throw EPropError("wrong class");
    return t;
}

TPropAdapter Text(std::function<void(QObject*, const QString&)> f) {
    TPropAdapter a;
    a.Type = TPropType::Text;
    a.SetText = std::move(f);
    return a;
}

TPropAdapter Integer(std::function<void(QObject*, int64_t)> f) {
    TPropAdapter a;
    a.Type = TPropType::Integer;
    a.SetInteger = std::move(f);
    return a;
}

TPropAdapter YesNo(std::function<void(QObject*, bool)> f) {
    TPropAdapter a;
    a.Type = TPropType::Enumeration;
    a.Members = {"False", "True"};
    a.SetInteger = [f = std::move(f)](QObject* o, int64_t v) { f(o, v != 0); };
    return a;
}

// For a tab page: the tab widget that shows it and its index, or -1.
int TabIndexOf(QWidget* page, QTabWidget** tabs) {
    QWidget* stack = page->parentWidget();
    *tabs = stack ? qobject_cast<QTabWidget*>(stack->parentWidget()) : nullptr;
    return *tabs ? (*tabs)->indexOf(page) : -1;
}

QTreeWidgetItem* TreeNodeAt(QTreeWidget* tree, int index) {
    int i = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it, ++i)
        if (i == index)
            return *it;
    return nullptr;
}

int TreeNodeCount(QTreeWidget* tree) {
    int n = 0;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        ++n;
    return n;
}

void SetWindowWidth(QWidget* w, int outer) {
    const int frame = w->isWindow() ? w->frameGeometry().width() - w->width() : 0;
    w->resize(std::max(0, outer - frame), w->height());
}

void SetWindowHeight(QWidget* w, int outer) {
    const int frame = w->isWindow() ? w->frameGeometry().height() - w->height() : 0;
    w->resize(w->width(), std::max(0, outer - frame));
}

// Fallback: Q_PROPERTYs of our own classes, published by an upper-case first letter.
std::optional<TPropAdapter> FromMetaProperty(const QObject* object, std::string_view name) {
    const QMetaObject* mo = object->metaObject();
    for (int i = 0; i < mo->propertyCount(); ++i) {
        const QMetaProperty mp = mo->property(i);
        const char* pn = mp.name();
        if (!pn || !(pn[0] >= 'A' && pn[0] <= 'Z') || !SameText(pn, name) || !mp.isWritable())
            continue;
        const int idx = i;
        auto write = [idx](QObject* o, const QVariant& v) {
            if (!o->metaObject()->property(idx).write(o, v))
                throw EPropError("property not written");
        };
        const QMetaType t = mp.metaType();
        if (mp.isEnumType()) {
            const QMetaEnum me = mp.enumerator();
            TPropAdapter a;
            a.Type = me.isFlag() ? TPropType::Set : TPropType::Enumeration;
            if (me.isFlag()) {
                // Set members by bit number.
                for (int k = 0; k < me.keyCount(); ++k) {
                    const int v = me.value(k);
                    if (v <= 0 || (v & (v - 1)) != 0)
                        continue;
                    int bit = 0;
                    while ((1 << bit) != v)
                        ++bit;
                    if (static_cast<int>(a.Members.size()) <= bit)
                        a.Members.resize(static_cast<size_t>(bit) + 1);
                    a.Members[static_cast<size_t>(bit)] = me.key(k);
                }
            } else {
                // Ordinals are the enumerator's values 0..n-1 in order.
                for (int k = 0; k < me.keyCount(); ++k) {
                    if (me.value(k) != k)
                        return std::nullopt;
                    a.Members.push_back(me.key(k));
                }
            }
            a.SetInteger = [write](QObject* o, int64_t v) {
                write(o, QVariant(static_cast<int>(v)));
            };
            return a;
        }
        switch (t.id()) {
        case QMetaType::QString:
            return Text([write](QObject* o, const QString& s) { write(o, QVariant(s)); });
        case QMetaType::Int:
            return Integer([write](QObject* o, int64_t v) {
                if (v < INT32_MIN || v > INT32_MAX)
                    throw EPropError("not a 32-bit number");
                write(o, QVariant(static_cast<int>(v)));
            });
        case QMetaType::LongLong:
            return Integer(
                [write](QObject* o, int64_t v) { write(o, QVariant(static_cast<qlonglong>(v))); });
        case QMetaType::Bool:
            return YesNo([write](QObject* o, bool v) { write(o, QVariant(v)); });
        default:
            break;
        }
        if (t.flags() & QMetaType::PointerToQObject) {
            return ObjectProp([idx](QObject* o) {
                return BorrowedObject(o->metaObject()->property(idx).read(o).value<QObject*>());
            });
        }
        return std::nullopt;
    }
    return std::nullopt;
}

} // namespace

QKeySequence ShortCutFromText(const QString& text) {
    const QString t = text.trimmed();
    if (t.isEmpty())
        return {};
    const QKeySequence seq = QKeySequence::fromString(t, QKeySequence::PortableText);
    if (seq.count() != 1 || seq[0].key() == Qt::Key_unknown || seq[0].key() == 0)
        return {};
    return seq;
}

QKeySequence ShortCutFromNumber(int64_t code) {
    if (code <= 0 || code > 0xFFFF)
        return {};
    const int vk = static_cast<int>(code & 0xFF);
    int key = 0;
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z'))
        key = vk; // Qt::Key_0.. and Qt::Key_A.. share the codes
    else if (vk >= 0x70 && vk <= 0x87)
        key = Qt::Key_F1 + (vk - 0x70);
    else if (vk >= 0x60 && vk <= 0x69)
        key = Qt::Key_0 + (vk - 0x60);
    else {
        switch (vk) {
        case 0x08:
            key = Qt::Key_Backspace;
            break;
        case 0x09:
            key = Qt::Key_Tab;
            break;
        case 0x0D:
            key = Qt::Key_Return;
            break;
        case 0x1B:
            key = Qt::Key_Escape;
            break;
        case 0x20:
            key = Qt::Key_Space;
            break;
        case 0x21:
            key = Qt::Key_PageUp;
            break;
        case 0x22:
            key = Qt::Key_PageDown;
            break;
        case 0x23:
            key = Qt::Key_End;
            break;
        case 0x24:
            key = Qt::Key_Home;
            break;
        case 0x25:
            key = Qt::Key_Left;
            break;
        case 0x26:
            key = Qt::Key_Up;
            break;
        case 0x27:
            key = Qt::Key_Right;
            break;
        case 0x28:
            key = Qt::Key_Down;
            break;
        case 0x2D:
            key = Qt::Key_Insert;
            break;
        case 0x2E:
            key = Qt::Key_Delete;
            break;
        case 0xBD:
            key = Qt::Key_Minus;
            break;
        case 0xBB:
            key = Qt::Key_Equal;
            break;
        default:
            return {};
        }
    }
    int mods = 0;
    if (code & 0x2000)
        mods |= Qt::SHIFT;
    if (code & 0x4000)
        mods |= Qt::CTRL;
    if (code & 0x8000)
        mods |= Qt::ALT;
    if (code & 0x1F00)
        return {}; // bits that name no modifier
    return QKeySequence(key | mods);
}

TPropRegistry& TPropRegistry::Instance() {
    static TPropRegistry registry;
    return registry;
}

void TPropRegistry::Register(const QMetaObject& cls, std::string_view name, TPropAdapter adapter) {
    const std::string up = AnsiUpper(name);
    for (TEntry& e : FEntries)
        if (e.Cls == &cls && e.UpperName == up) {
            e.Adapter = std::move(adapter);
            return;
        }
    FEntries.push_back({&cls, up, std::move(adapter)});
}

std::optional<TPropAdapter> TPropRegistry::Find(const QObject* object,
                                                std::string_view name) const {
    if (!object)
        return std::nullopt;
    const std::string up = AnsiUpper(name);
    for (const QMetaObject* mo = object->metaObject(); mo; mo = mo->superClass())
        for (const TEntry& e : FEntries)
            if (e.Cls == mo && e.UpperName == up)
                return e.Adapter;
    return FromMetaProperty(object, name);
}

TPropRegistry::TPropRegistry() {
    // --- Caption
    Register(QWidget::staticMetaObject, "Caption", Text([](QObject* o, const QString& s) {
                 auto* w = As<QWidget>(o);
                 QTabWidget* tabs = nullptr;
                 const int tab = w->isWindow() ? -1 : TabIndexOf(w, &tabs);
                 if (w->isWindow())
                     w->setWindowTitle(NormalizeBreaks(s).section(QLatin1Char('\n'), 0, 0));
                 else if (tab >= 0)
                     tabs->setTabText(tab, NormalizeBreaks(s));
                 else
                     throw EPropError("no caption");
             }));
    Register(QAbstractButton::staticMetaObject, "Caption", Text([](QObject* o, const QString& s) {
                 As<QAbstractButton>(o)->setText(NormalizeBreaks(s));
             }));
    Register(QLabel::staticMetaObject, "Caption",
             Text([](QObject* o, const QString& s) { SetPlainLabel(As<QLabel>(o), s); }));
    Register(QGroupBox::staticMetaObject, "Caption", Text([](QObject* o, const QString& s) {
                 As<QGroupBox>(o)->setTitle(NormalizeBreaks(s));
             }));
    Register(QMenu::staticMetaObject, "Caption", Text([](QObject* o, const QString& s) {
                 As<QMenu>(o)->setTitle(NormalizeBreaks(s));
             }));
    Register(QAction::staticMetaObject, "Caption", Text([](QObject* o, const QString& s) {
                 As<QAction>(o)->setText(NormalizeBreaks(s));
             }));

    // --- Text (edits, status bars)
    Register(QLineEdit::staticMetaObject, "Text", Text([](QObject* o, const QString& s) {
                 As<QLineEdit>(o)->setText(NormalizeBreaks(s).section(QLatin1Char('\n'), 0, 0));
             }));
    Register(QStatusBar::staticMetaObject, "SimpleText", Text([](QObject* o, const QString& s) {
                 As<QStatusBar>(o)->showMessage(NormalizeBreaks(s));
             }));

    // --- Hint
    Register(QWidget::staticMetaObject, "Hint", Text([](QObject* o, const QString& s) {
                 As<QWidget>(o)->setToolTip(PlainToolTip(s));
             }));
    Register(QAction::staticMetaObject, "Hint", Text([](QObject* o, const QString& s) {
                 As<QAction>(o)->setToolTip(PlainToolTip(s));
             }));
    Register(QMenu::staticMetaObject, "Hint", Text([](QObject* o, const QString& s) {
                 As<QMenu>(o)->menuAction()->setToolTip(PlainToolTip(s));
             }));

    // --- ShortCut
    {
        TPropAdapter a;
        a.Type = TPropType::ShortCut;
        a.SetShortCut = [](QObject* o, const QKeySequence& k) { As<QAction>(o)->setShortcut(k); };
        Register(QAction::staticMetaObject, "ShortCut", a);
    }

    // --- Visible, Enabled, Checked
    Register(QWidget::staticMetaObject, "Visible", YesNo([](QObject* o, bool v) {
                 auto* w = As<QWidget>(o);
                 if (KeepHidden(w) || (w->isWindow() && KeepHidden(w->window())))
                     throw EPropError("window kept hidden");
                 w->setVisible(v);
             }));
    Register(QMenu::staticMetaObject, "Visible",
             YesNo([](QObject* o, bool v) { As<QMenu>(o)->menuAction()->setVisible(v); }));
    Register(QAction::staticMetaObject, "Visible",
             YesNo([](QObject* o, bool v) { As<QAction>(o)->setVisible(v); }));
    Register(QWidget::staticMetaObject, "Enabled",
             YesNo([](QObject* o, bool v) { As<QWidget>(o)->setEnabled(v); }));
    Register(QMenu::staticMetaObject, "Enabled",
             YesNo([](QObject* o, bool v) { As<QMenu>(o)->menuAction()->setEnabled(v); }));
    Register(QAction::staticMetaObject, "Enabled",
             YesNo([](QObject* o, bool v) { As<QAction>(o)->setEnabled(v); }));
    Register(QAbstractButton::staticMetaObject, "Checked",
             YesNo([](QObject* o, bool v) { As<QAbstractButton>(o)->setChecked(v); }));
    Register(QAction::staticMetaObject, "Checked",
             YesNo([](QObject* o, bool v) { As<QAction>(o)->setChecked(v); }));

    // --- Left, Top, Width, Height
    Register(QWidget::staticMetaObject, "Left", Integer([](QObject* o, int64_t v) {
                 auto* w = As<QWidget>(o);
                 w->move(CheckedCoord(v, -kMaxCoord), w->pos().y());
             }));
    Register(QWidget::staticMetaObject, "Top", Integer([](QObject* o, int64_t v) {
                 auto* w = As<QWidget>(o);
                 w->move(w->pos().x(), CheckedCoord(v, -kMaxCoord));
             }));
    Register(QWidget::staticMetaObject, "Width", Integer([](QObject* o, int64_t v) {
                 SetWindowWidth(As<QWidget>(o), CheckedCoord(v, -kMaxCoord));
             }));
    Register(QWidget::staticMetaObject, "Height", Integer([](QObject* o, int64_t v) {
                 SetWindowHeight(As<QWidget>(o), CheckedCoord(v, -kMaxCoord));
             }));

    // --- Font (object with Name, Size, Style)
    Register(QWidget::staticMetaObject, "Font",
             ObjectProp([](QObject* o) -> std::shared_ptr<QObject> {
                 return std::make_shared<TOcFontRef>(As<QWidget>(o));
             }));
    auto fontOf = [](QObject* o) -> QWidget* {
        QWidget* w = As<TOcFontRef>(o)->Widget();
        if (!w)
            throw EPropError("font of a destroyed widget");
        return w;
    };
    Register(TOcFontRef::staticMetaObject, "Name", Text([fontOf](QObject* o, const QString& s) {
                 QWidget* w = fontOf(o);
                 QFont f = w->font();
                 f.setFamily(s);
                 w->setFont(f);
             }));
    Register(TOcFontRef::staticMetaObject, "Size", Integer([fontOf](QObject* o, int64_t v) {
                 QWidget* w = fontOf(o);
                 if (v < 1 || v > kMaxFontPoints)
                     throw EPropError("font size out of range");
                 QFont f = w->font();
                 f.setPointSize(static_cast<int>(v));
                 w->setFont(f);
             }));
    {
        TPropAdapter a;
        a.Type = TPropType::Set;
        a.Members = {"fsBold", "fsItalic", "fsUnderline", "fsStrikeOut"};
        a.SetInteger = [fontOf](QObject* o, int64_t mask) {
            QWidget* w = fontOf(o);
            QFont f = w->font();
            f.setBold(mask & 1);
            f.setItalic(mask & 2);
            f.setUnderline(mask & 4);
            f.setStrikeOut(mask & 8);
            w->setFont(f);
        };
        Register(TOcFontRef::staticMetaObject, "Style", a);
    }

    // --- string lists
    auto listCount = [](QObject* o) { return As<QListWidget>(o)->count(); };
    Register(
        QListWidget::staticMetaObject, "Items",
        ListProp(TPropType::StringList, listCount, [](QObject* o, int i, int, const QString& s) {
            As<QListWidget>(o)->item(i)->setText(s);
        }));
    Register(
        QComboBox::staticMetaObject, "Items",
        ListProp(
            TPropType::StringList, [](QObject* o) { return As<QComboBox>(o)->count(); },
            [](QObject* o, int i, int, const QString& s) { As<QComboBox>(o)->setItemText(i, s); }));
    auto setLine = [](QString all, int i, const QString& s) {
        QStringList lines = all.split(QLatin1Char('\n'));
        lines[i] = s;
        return lines.join(QLatin1Char('\n'));
    };
    Register(QPlainTextEdit::staticMetaObject, "Lines",
             ListProp(
                 TPropType::StringList,
                 [](QObject* o) {
                     const QString t = As<QPlainTextEdit>(o)->toPlainText();
                     return t.isEmpty() ? 0 : static_cast<int>(t.count(QLatin1Char('\n'))) + 1;
                 },
                 [setLine](QObject* o, int i, int, const QString& s) {
                     auto* e = As<QPlainTextEdit>(o);
                     e->setPlainText(setLine(e->toPlainText(), i, s));
                 }));
    Register(QTextEdit::staticMetaObject, "Lines",
             ListProp(
                 TPropType::StringList,
                 [](QObject* o) {
                     const QString t = As<QTextEdit>(o)->toPlainText();
                     return t.isEmpty() ? 0 : static_cast<int>(t.count(QLatin1Char('\n'))) + 1;
                 },
                 [setLine](QObject* o, int i, int, const QString& s) {
                     auto* e = As<QTextEdit>(o);
                     e->setPlainText(setLine(e->toPlainText(), i, s));
                 }));

    // --- tree node list
    Register(QTreeWidget::staticMetaObject, "Items",
             ListProp(
                 TPropType::TreeNodes, [](QObject* o) { return TreeNodeCount(As<QTreeWidget>(o)); },
                 [](QObject* o, int i, int, const QString& s) {
                     if (QTreeWidgetItem* it = TreeNodeAt(As<QTreeWidget>(o), i))
                         it->setText(0, s);
                 }));

    // --- spin edits
    Register(QSpinBox::staticMetaObject, "Value", Integer([](QObject* o, int64_t v) {
                 if (v < INT32_MIN || v > INT32_MAX)
                     throw EPropError("not a 32-bit number");
                 As<QSpinBox>(o)->setValue(static_cast<int>(v));
             }));
}

} // namespace ocelis

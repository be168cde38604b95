// The one place where the layouts' property names (Caption, Hint, ShortCut, Visible, Font,
// Items, Panels ...) are mapped onto Qt objects, keyed by Qt class. Lookup walks the
// object's class chain from the most derived class up, then falls back to Q_PROPERTYs whose
// names start with an upper-case letter (so our own components publish properties by
// declaring e.g. Q_PROPERTY(QString Text READ Text WRITE SetText)).
#pragma once

#include <QKeySequence>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

class QObject;
struct QMetaObject;

namespace ocelis {

enum class TPropType {
    Text,
    Integer,
    ShortCut, // an integer property read as shortcut text in attributes
    Enumeration,
    Set,
    Object,     // holds an object (Font, Panels, Columns ...); collections are TOcCollection
    StringList, // Items / Lines: children with Index and Value
    TreeNodes,  // a tree's Items: Index in display order over all levels
    ListItems,  // a list view's Items: Index and Column
};

// Raised by a setter that refuses a value; the translator skips that attribute.
class EPropError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TPropAdapter {
    TPropType Type = TPropType::Text;
    // Enumeration: member names by ordinal (yes/no properties: {"False", "True"});
    // Set: member names by bit number.
    std::vector<std::string> Members;
    std::function<void(QObject*, const QString&)> SetText;
    std::function<void(QObject*, int64_t)> SetInteger; // Integer, Enumeration, Set (bit mask)
    std::function<void(QObject*, const QKeySequence&)> SetShortCut;
    // Object: the held object; may own a temporary stand-in (e.g. a font reference).
    std::function<std::shared_ptr<QObject>(QObject*)> GetObject;
    // StringList, TreeNodes, ListItems
    std::function<int(QObject*)> Count;
    std::function<int(QObject*, int index)> Cells; // ListItems: 1 + sub-items of the item
    std::function<void(QObject*, int index, int column, const QString&)> SetItem;
};

// Building blocks for adapters registered by the libraries that own their components.
TPropAdapter ListProp(TPropType type, std::function<int(QObject*)> count,
                      std::function<void(QObject*, int index, int column, const QString&)> setItem);
TPropAdapter ObjectProp(std::function<std::shared_ptr<QObject>(QObject*)> get);
// An object held by its component, handed out without ownership.
std::shared_ptr<QObject> BorrowedObject(QObject* o);

class TPropRegistry {
public:
    // The registry with the built-in adapters of the Qt classes the windows use; libraries
    // with components of their own add theirs through an explicit call at start-up.
    static TPropRegistry& Instance();

    // Adds or replaces an adapter of a class (name compared without letter case).
    void Register(const QMetaObject& cls, std::string_view name, TPropAdapter adapter);
    std::optional<TPropAdapter> Find(const QObject* object, std::string_view name) const;

private:
    TPropRegistry();
    struct TEntry {
        const QMetaObject* Cls;
        std::string UpperName;
        TPropAdapter Adapter;
    };
    std::vector<TEntry> FEntries;
};

// A numeric shortcut (modifier bits 0x2000 Shift, 0x4000 Ctrl, 0x8000 Alt plus the key code)
// to a key sequence; unknown keys give an empty sequence.
QKeySequence ShortCutFromNumber(int64_t code);
// "Ctrl+T", "Shift+Esc" ... ; text that names no single shortcut gives an empty sequence.
QKeySequence ShortCutFromText(const QString& text);

} // namespace ocelis

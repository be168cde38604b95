#include "settings/Translator.h"

#include <QPointer>
#include <QWidget>
#include <algorithm>
#include <climits>

#include "catalogue/XmlDocument.h"
#include "settings/Collection.h"
#include "settings/PropRegistry.h"
#include "settings/QtTranslations.h"
#include "util/QtText.h"
#include "util/Text.h"

using ocelis::EPropError;
using ocelis::TPropAdapter;
using ocelis::TPropType;

namespace {

TOcTranslator* gInstance = nullptr;

TOcTranslator::TWindowLister& FormLister() {
    static TOcTranslator::TWindowLister lister;
    return lister;
}

// Object properties nest only a few levels in practice; this bounds hostile nesting.
constexpr int kMaxObjectDepth = 32;

bool Oversized(std::string_view text) {
    return text.size() > TOcTranslator::kMaxTextSize;
}

std::string ReplaceBreaks(std::string_view v, bool firstOnly) {
    std::string out;
    out.reserve(v.size() + 2);
    bool done = false;
    for (size_t i = 0; i < v.size(); ++i) {
        if (!done && v[i] == '\\' && i + 1 < v.size() && v[i + 1] == 'n') {
            out += "\r\n";
            ++i;
            done = firstOnly;
            continue;
        }
        out += v[i];
    }
    return out;
}

// A whole number of a 32-bit property; text that is not one gives -1.
int64_t ReadInteger(std::string_view v) {
    const auto n = ocelis::TryStrToInt64(v);
    if (!n || *n < INT32_MIN || *n > INT32_MAX)
        return -1;
    return *n;
}

int64_t ReadSet(std::string_view v, const std::vector<std::string>& members) {
    std::string t = ocelis::Trim(v);
    if (!t.empty() && t.front() == '[') {
        if (t.back() != ']')
            throw EPropError("unterminated set");
        t = t.substr(1, t.size() - 2);
    }
    int64_t mask = 0;
    size_t pos = 0;
    while (pos <= t.size()) {
        const size_t comma = std::min(t.find(',', pos), t.size());
        const std::string name = ocelis::Trim(std::string_view(t).substr(pos, comma - pos));
        if (!name.empty()) {
            const auto it = std::find_if(members.begin(), members.end(), [&](const std::string& m) {
                return ocelis::SameText(m, name);
            });
            if (it == members.end() || it->empty())
                throw EPropError("unknown set member");
            mask |= int64_t{1} << (it - members.begin());
        } else if (comma < t.size()) {
            throw EPropError("empty set member");
        }
        pos = comma + 1;
    }
    return mask;
}

// Converts and stores one value of a text, whole-number, enumeration or set property.
// Returns false when the property is of another kind.
bool SetSimple(QObject* o, const TPropAdapter& a, const std::string& value, bool fromAttribute) {
    switch (a.Type) {
    case TPropType::Text:
        a.SetText(o, ocelis::ToQ(ReplaceBreaks(value, true)));
        return true;
    case TPropType::Integer:
        a.SetInteger(o, ReadInteger(value));
        return true;
    case TPropType::ShortCut:
        a.SetShortCut(o, fromAttribute ? ocelis::ShortCutFromText(ocelis::ToQ(value))
                                       : ocelis::ShortCutFromNumber(ReadInteger(value)));
        return true;
    case TPropType::Enumeration: {
        const auto n = ocelis::TryStrToInt64(value);
        const bool yesNo = a.Members.size() == 2 && a.Members[0] == "False";
        if ((n && *n != 0 && *n >= INT32_MIN && *n <= INT32_MAX) || value == "0") {
            const int64_t v = n ? *n : 0;
            if (yesNo) {
                a.SetInteger(o, v != 0 ? 1 : 0);
            } else if (v >= 0 && v < static_cast<int64_t>(a.Members.size())) {
                a.SetInteger(o, v);
            } else {
                throw EPropError("ordinal out of range");
            }
            return true;
        }
        for (size_t i = 0; i < a.Members.size(); ++i)
            if (ocelis::SameText(a.Members[i], value)) {
                a.SetInteger(o, static_cast<int64_t>(i));
                return true;
            }
        return true; // neither: unchanged
    }
    case TPropType::Set:
        a.SetInteger(o, ReadSet(value, a.Members));
        return true;
    default:
        return false;
    }
}

bool IsListKind(TPropType t) {
    return t == TPropType::StringList || t == TPropType::TreeNodes || t == TPropType::ListItems;
}

// A window owns every named component of its layout, however nested, but not other
// windows; other components own nothing.
bool IsForm(const QObject* o) {
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && w->isWindow() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip;
}

void CollectOwned(QObject* parent, std::vector<std::pair<std::string, QPointer<QObject>>>& out) {
    for (QObject* c : parent->children()) {
        if (IsForm(c))
            continue;
        const QString name = c->objectName();
        if (!name.isEmpty() && !name.startsWith(QLatin1String("qt_")))
            out.emplace_back(ocelis::AnsiLower(ocelis::FromQ(name)), QPointer<QObject>(c));
        for (const QString& alias : c->property(TOcTranslator::kAliasesProperty).toStringList())
            out.emplace_back(ocelis::AnsiLower(ocelis::FromQ(alias)), QPointer<QObject>(c));
        CollectOwned(c, out);
    }
}

struct TDepthGuard {
    explicit TDepthGuard(int& d) : Depth(d) {
        if (++Depth > kMaxObjectDepth) {
            --Depth;
            throw EPropError("nested too deeply");
        }
    }
    ~TDepthGuard() { --Depth; }
    int& Depth;
};

thread_local int gDepth = 0;

} // namespace

// ---------------------------------------------------------------- TOcTranslatorStrings

TOcTranslatorStrings::TOcTranslatorStrings(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("Variables"));
}

void TOcTranslatorStrings::AddVariable(std::string_view name, std::string* variable) {
    if (!variable)
        return;
    if (FVars.emplace(ocelis::AnsiUpper(name), variable).second)
        FOrder.emplace_back(name);
}

std::string* TOcTranslatorStrings::Find(std::string_view name) const {
    const auto it = FVars.find(ocelis::AnsiUpper(name));
    return it == FVars.end() ? nullptr : it->second;
}

void TOcTranslatorStrings::ApplyElement(const TOcSimpleXmlElem& element) {
    const TOcSimpleXmlElems& items = element.Items();
    for (int i = 0; i < items.Count(); ++i) {
        const TOcSimpleXmlElem* child = items.Items(i);
        const std::string value = child->Properties().Value("Value", "");
        if (Oversized(value))
            continue;
        if (std::string* var = Find(child->Properties().Value("Name", "")))
            *var = ReplaceBreaks(value, false);
    }
}

// ---------------------------------------------------------------- TOcTranslator

TOcTranslator::TOcTranslator(QObject* parent)
    : QObject(parent), FDoc(std::make_unique<TOcSimpleXml>()) {
    setObjectName(QStringLiteral("OcTranslator"));
    if (!gInstance)
        gInstance = this;
}

TOcTranslator::~TOcTranslator() {
    if (gInstance == this)
        gInstance = nullptr;
}

TOcTranslator* TOcTranslator::Instance() {
    return gInstance;
}

void TOcTranslator::SetInstance(TOcTranslator* translator) {
    gInstance = translator;
}

void TOcTranslator::SetFormLister(TWindowLister lister) {
    FormLister() = std::move(lister);
}

std::vector<QObject*> TOcTranslator::ApplicationWindows() const {
    std::vector<QObject*> out;
    QObject* main = nullptr;
    if (auto* w = qobject_cast<QWidget*>(parent()))
        main = w->window();
    if (main)
        out.push_back(main);
    if (FormLister())
        for (QObject* o : FormLister()())
            if (o && o != main)
                out.push_back(o);
    return out;
}

void TOcTranslator::ApplyLanguageFile(const std::string& path) {
    try {
        FDoc->SetFileLimit(kMaxFileSize);
        FDoc->LoadFromFile(path);
        ApplyToApplication(*FDoc->Root());
    } catch (...) {
    }
}

void TOcTranslator::ApplyLanguageText(std::string_view bytes) {
    try {
        FDoc->LoadFromString(bytes);
        ApplyToApplication(*FDoc->Root());
    } catch (...) {
    }
}

void TOcTranslator::ApplyToApplication(const TOcSimpleXmlElem& root) {
    // A file that names its language brings Qt's own texts along; one that names none keeps
    // those in use, as it keeps every text it does not mention.
    if (const TOcSimpleXmlProp* lang = root.Properties().ItemNamed("Lang"))
        ocelis::UseQtTranslations(ocelis::QtLanguageTag(lang->Value()));
    // Further windows of a kind are named "kind_n"; every one of them takes the kind's element,
    // as ApplyToForm gives it to one opened later, so no window keeps the previous language.
    struct TOpenWindow {
        std::string Name;
        std::string Kind;
        QPointer<QObject> Window;
    };
    std::vector<TOpenWindow> windows;
    for (QObject* w : ApplicationWindows()) {
        std::string name = ocelis::AnsiLower(ocelis::FromQ(w->objectName()));
        std::string kind = name.substr(0, name.find('_'));
        windows.push_back({std::move(name), std::move(kind), QPointer<QObject>(w)});
    }
    try {
        const TOcSimpleXmlElems& items = root.Items();
        for (int i = 0; i < items.Count(); ++i) {
            const TOcSimpleXmlElem* child = items.Items(i);
            const std::string name = ocelis::AnsiLower(child->Name());
            for (TOpenWindow& w : windows)
                if (w.Window && (w.Kind == name || w.Name == name))
                    ApplyToComponent(w.Window, *child);
        }
    } catch (...) {
    }
}

void TOcTranslator::ApplyToForm(QObject* window) {
    try {
        if (!window)
            return;
        std::string name = ocelis::FromQ(window->objectName());
        name = name.substr(0, name.find('_'));
        if (const TOcSimpleXmlElem* el = FDoc->Root()->Items().ItemNamed(name))
            ApplyToComponent(window, *el);
    } catch (...) {
    }
}

void TOcTranslator::ApplyToComponent(QObject* component, const TOcSimpleXmlElem& element) {
    if (!component)
        return;
    if (auto* vars = qobject_cast<TOcTranslatorStrings*>(component)) {
        vars->ApplyElement(element);
        return;
    }
    try {
        TDepthGuard guard(gDepth);
        QPointer<QObject> self(component);
        ApplyAttributes(component, element);
        std::vector<std::pair<std::string, QPointer<QObject>>> owned;
        if (IsForm(component))
            CollectOwned(component, owned);
        const TOcSimpleXmlElems& items = element.Items();
        for (int i = 0; i < items.Count() && self; ++i) {
            const TOcSimpleXmlElem* child = items.Items(i);
            if (child->Kind() != TOcSimpleXmlKind::Classic)
                continue;
            const std::string name = ocelis::AnsiLower(child->Name());
            bool matched = false;
            for (auto& [oname, o] : owned)
                if (oname == name) {
                    if (o)
                        ApplyToComponent(o, *child);
                    matched = true;
                    break;
                }
            if (matched)
                continue;
            const auto adapter = ocelis::TPropRegistry::Instance().Find(component, child->Name());
            if (!adapter)
                continue;
            if (IsListKind(adapter->Type)) {
                ApplyListChild(component, static_cast<int>(adapter->Type), *child);
            } else if (adapter->Type == TPropType::Object) {
                const std::shared_ptr<QObject> held = adapter->GetObject(component);
                if (held) {
                    ApplyAttributes(held.get(), *child);
                    ApplyChildElements(held.get(), *child);
                }
            }
        }
    } catch (...) {
    }
}

void TOcTranslator::ApplyAttributes(QObject* object, const TOcSimpleXmlElem& element) {
    const TOcSimpleXmlProps& props = element.Properties();
    for (int i = 0; i < props.Count() && object; ++i) {
        try {
            const TOcSimpleXmlProp* p = props.Items(i);
            if (Oversized(p->Value()))
                continue;
            const auto adapter = ocelis::TPropRegistry::Instance().Find(object, p->Name());
            if (adapter)
                SetSimple(object, *adapter, p->Value(), true);
        } catch (...) {
        }
    }
}

void TOcTranslator::ApplyChildElements(QObject* object, const TOcSimpleXmlElem& element) {
    if (!object)
        return;
    TDepthGuard guard(gDepth);
    const TOcSimpleXmlElems& items = element.Items();
    if (auto* coll = qobject_cast<TOcCollection*>(object)) {
        for (int i = 0; i < items.Count(); ++i) {
            const TOcSimpleXmlElem* child = items.Items(i);
            const int64_t index = child->Properties().IntValue("Index", -1);
            if (index < 0 || index >= coll->Count())
                continue;
            QObject* item = coll->Item(static_cast<int>(index));
            ApplyAttributes(item, *child);
            ApplyChildElements(item, *child);
        }
        return;
    }
    for (int i = 0; i < items.Count(); ++i) {
        try {
            const TOcSimpleXmlElem* child = items.Items(i);
            if (child->Kind() != TOcSimpleXmlKind::Classic)
                continue;
            const auto adapter = ocelis::TPropRegistry::Instance().Find(object, child->Name());
            if (!adapter || IsListKind(adapter->Type))
                continue;
            if (adapter->Type == TPropType::Object) {
                const std::shared_ptr<QObject> held = adapter->GetObject(object);
                if (held) {
                    ApplyAttributes(held.get(), *child);
                    ApplyChildElements(held.get(), *child);
                }
                continue;
            }
            if (!Oversized(child->Value()))
                SetSimple(object, *adapter, child->Value(), false);
        } catch (...) {
        }
    }
}

void TOcTranslator::ApplyListChild(QObject* object, int kind, const TOcSimpleXmlElem& element) {
    const auto adapter = ocelis::TPropRegistry::Instance().Find(object, element.Name());
    if (!adapter || static_cast<int>(adapter->Type) != kind)
        return;
    const TOcSimpleXmlElems& items = element.Items();
    for (int i = 0; i < items.Count(); ++i) {
        const TOcSimpleXmlElem* child = items.Items(i);
        const TOcSimpleXmlProps& props = child->Properties();
        if (!props.ItemNamed("Index") || Oversized(props.Value("Value", "")))
            continue;
        const int64_t index = props.IntValue("Index", -1);
        const int count = adapter->Count(object);
        if (index < 0 || index >= count)
            continue;
        int64_t column = 0;
        if (adapter->Type == TPropType::ListItems) {
            if (!props.ItemNamed("Column"))
                continue;
            column = props.IntValue("Column", -1);
            if (column < 0 || column >= adapter->Cells(object, static_cast<int>(index)))
                continue;
        }
        adapter->SetItem(object, static_cast<int>(index), static_cast<int>(column),
                         ocelis::ToQ(props.Value("Value", "")));
    }
}

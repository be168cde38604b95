// Run-time translation of windows and message texts from XML language files.
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

class TOcSimpleXml;
class TOcSimpleXmlElem;

// The `Variables` component: named message texts a language file may replace. The list
// refers to the program's string variables; the variables hold the texts.
class TOcTranslatorStrings : public QObject {
    Q_OBJECT
public:
    explicit TOcTranslatorStrings(QObject* parent = nullptr); // objectName "Variables"

    // Registers a variable under a name (letter case ignored); a name registered again
    // keeps its first variable.
    void AddVariable(std::string_view name, std::string* variable);
    std::string* Find(std::string_view name) const;
    int Count() const { return static_cast<int>(FOrder.size()); }
    const std::vector<std::string>& Names() const { return FOrder; }

    // Each child: attribute "Name" selects the variable, "Value" (every \n -> CR LF) is
    // stored into it.
    void ApplyElement(const TOcSimpleXmlElem& element);

private:
    std::unordered_map<std::string, std::string*> FVars; // key: upper-cased name
    std::vector<std::string> FOrder;
};

// The `OcTranslator` component of the main window. Holds the language file applied last.
class TOcTranslator : public QObject {
    Q_OBJECT
public:
    // objectName "OcTranslator". The first translator created becomes Instance() until it
    // is destroyed; its parent's window (the main window) counts as the application's
    // first window.
    explicit TOcTranslator(QObject* parent = nullptr);
    ~TOcTranslator() override;

    // A QStringList property: further component names that address this object, e.g. the
    // names of the menu entries that show an action.
    static constexpr const char* kAliasesProperty = "ocelisComponentAliases";

    // The application's translator, or null (then windows are created untranslated).
    static TOcTranslator* Instance();
    static void SetInstance(TOcTranslator* translator);

    // Windows the application owns after the main window, in creation order (FormList).
    using TWindowLister = std::function<std::vector<QObject*>()>;
    static void SetFormLister(TWindowLister lister);

    // A language file larger than this is refused unread.
    static constexpr uint64_t kMaxFileSize = 8u << 20;
    // A single text (attribute, element value, list item, message text) longer than this is
    // ignored: the element keeps its text as if the file did not name it.
    static constexpr size_t kMaxTextSize = 64u << 10;

    // Reads the file and applies it to every window of the application: each element of the
    // root to every open window whose name up to its first "_" is the element's. Never throws.
    // A file that cannot be opened or is larger than kMaxFileSize keeps the previous
    // document; a malformed one keeps what was parsed before the error.
    void ApplyLanguageFile(const std::string& path);
    // Same, from bytes already in memory (fuzzing, tests).
    void ApplyLanguageText(std::string_view bytes);
    // Applies the loaded document to one window, matched by its name up to the first "_".
    // Never throws.
    void ApplyToForm(QObject* window);

    // The inner steps; each traps its own errors as described in the file format notes.
    void ApplyToComponent(QObject* component, const TOcSimpleXmlElem& element);
    void ApplyAttributes(QObject* object, const TOcSimpleXmlElem& element);
    void ApplyChildElements(QObject* object, const TOcSimpleXmlElem& element);

    const TOcSimpleXml& Document() const { return *FDoc; }

    // Main window followed by the FormList windows.
    std::vector<QObject*> ApplicationWindows() const;

private:
    void ApplyToApplication(const TOcSimpleXmlElem& root);
    void ApplyListChild(QObject* object, int kind, const TOcSimpleXmlElem& element);

    std::unique_ptr<TOcSimpleXml> FDoc;
};

// The shipped language files on the real windows. A lint: every element and attribute names
// an existing window, component and property (a typo fails here instead of being ignored at
// run time). Completeness: every translatable text of every window and every message text is
// in every file, and arrives where it belongs; English.xml gives the built-in texts exactly.
// Fit: applied to the windows at their sizes, no caption is cut off. No file holds a named
// reference (such as "&amp;"), which the reader keeps as it stands.
#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLibraryInfo>
#include <QMenu>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QStyleOptionButton>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QWidget>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <regex>
#include <set>

#include "app/CamMain.h"
#include "avi/ArchiveDialog.h"
#include "avi/AviCreator.h"
#include "avi/OcProgressDlg.h"
#include "catalogue/CamCategory.h"
#include "catalogue/CamUrlTest.h"
#include "catalogue/EditCams.h"
#include "catalogue/XmlDocument.h"
#include "gui/OcListView.h"
#include "gui/OcStatusBar.h"
#include "gui/SForm.h"
#include "mosaic/ChooseWindow.h"
#include "mosaic/MireWindow.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "platform/FileTestSupport.h"
#include "settings/CamViewer.h"
#include "settings/Collection.h"
#include "settings/MessageTexts.h"
#include "settings/OptionsDialog.h"
#include "settings/PropRegistry.h"
#include "settings/QtTranslations.h"
#include "settings/Translator.h"
#include "support/GuiFixture.h"
#include "support/TestFiles.h"
#include "util/QtText.h"
#include "util/Text.h"
#include "viewer/ViewerWindow.h"

namespace fs = std::filesystem;
using ocelis::TPropType;

namespace {

bool IsWindow(const QObject* o) {
    const auto* w = qobject_cast<const QWidget*>(o);
    return w && w->isWindow() && w->windowType() != Qt::Popup && w->windowType() != Qt::ToolTip;
}

// The named components a window owns, however nested, without other windows.
void CollectOwned(const QObject* parent, std::map<std::string, QObject*>& out) {
    for (QObject* c : parent->children()) {
        if (IsWindow(c))
            continue;
        if (!c->objectName().isEmpty() && !c->objectName().startsWith(QLatin1String("qt_")))
            out.emplace(ocelis::AnsiLower(ocelis::FromQ(c->objectName())), c);
        CollectOwned(c, out);
    }
}

bool IsSimple(TPropType t) {
    return t == TPropType::Text || t == TPropType::Integer || t == TPropType::ShortCut ||
           t == TPropType::Enumeration || t == TPropType::Set;
}

// Lints a language document against the windows by layout name; returns the problems.
class Lint {
public:
    explicit Lint(std::map<std::string, QObject*> windows) : FWindows(std::move(windows)) {}

    std::vector<std::string> Run(const TOcSimpleXmlElem& root) {
        FProblems.clear();
        const TOcSimpleXmlElems& items = root.Items();
        for (int i = 0; i < items.Count(); ++i) {
            const TOcSimpleXmlElem* el = items.Items(i);
            if (el->Kind() != TOcSimpleXmlKind::Classic)
                continue;
            const std::string name = ocelis::AnsiLower(el->Name());
            const auto w = FWindows.find(name);
            if (w == FWindows.end())
                FProblems.push_back(el->Name() + ": no such window");
            else
                Component(w->second, *el, el->Name());
        }
        return FProblems;
    }

private:
    void Attributes(QObject* o, const TOcSimpleXmlElem& el, const std::string& where,
                    const char* skip = "") {
        const TOcSimpleXmlProps& props = el.Properties();
        for (int i = 0; i < props.Count(); ++i) {
            const TOcSimpleXmlProp* p = props.Items(i);
            if (ocelis::SameText(p->Name(), skip))
                continue;
            const auto a = ocelis::TPropRegistry::Instance().Find(o, p->Name());
            if (!a || !IsSimple(a->Type))
                FProblems.push_back(where + " " + p->Name() + ": no such property");
            else if (a->Type == TPropType::ShortCut &&
                     ocelis::ShortCutFromText(ocelis::ToQ(p->Value())).isEmpty())
                FProblems.push_back(where + " " + p->Name() + ": names no shortcut");
        }
    }

    void Variables(const TOcTranslatorStrings& vars, const TOcSimpleXmlElem& el,
                   const std::string& where) {
        for (int i = 0; i < el.Items().Count(); ++i) {
            const TOcSimpleXmlProps& p = el.Items().Items(i)->Properties();
            if (el.Items().Items(i)->Kind() != TOcSimpleXmlKind::Classic)
                continue;
            const std::string name = p.Value("Name");
            if (!vars.Find(name) || !p.ItemNamed("Value") || p.Count() != 2)
                FProblems.push_back(where + " " + name + ": no such message text");
        }
    }

    void Component(QObject* o, const TOcSimpleXmlElem& el, const std::string& where) {
        if (const auto* vars = qobject_cast<TOcTranslatorStrings*>(o)) {
            Variables(*vars, el, where);
            return;
        }
        Attributes(o, el, where);
        std::map<std::string, QObject*> owned;
        if (IsWindow(o))
            CollectOwned(o, owned);
        for (int i = 0; i < el.Items().Count(); ++i) {
            const TOcSimpleXmlElem* child = el.Items().Items(i);
            if (child->Kind() != TOcSimpleXmlKind::Classic)
                continue;
            const std::string path = where + "/" + child->Name();
            if (const auto c = owned.find(ocelis::AnsiLower(child->Name())); c != owned.end())
                Component(c->second, *child, path);
            else
                ObjectProperty(o, *child, path);
        }
    }

    // A child element that names a property holding an object or a list (whose children
    // address lines or cells by "Index").
    void ObjectProperty(QObject* o, const TOcSimpleXmlElem& el, const std::string& where) {
        const auto a = ocelis::TPropRegistry::Instance().Find(o, el.Name());
        if (!a || IsSimple(a->Type)) {
            FProblems.push_back(where + ": no such component or object property");
            return;
        }
        const std::shared_ptr<QObject> held =
            a->Type == TPropType::Object ? a->GetObject(o) : nullptr;
        if (!held)
            return;
        auto* coll = qobject_cast<TOcCollection*>(held.get());
        if (!coll)
            Attributes(held.get(), el, where);
        for (int i = 0; i < el.Items().Count(); ++i) {
            const TOcSimpleXmlElem* child = el.Items().Items(i);
            const std::string path = where + "/" + child->Name();
            const int64_t index = child->Properties().IntValue("Index", -1);
            if (!coll)
                ObjectProperty(held.get(), *child, path);
            else if (index < 0 || index >= coll->Count())
                FProblems.push_back(path + ": no item " + child->Properties().Value("Index"));
            else
                Attributes(coll->Item(static_cast<int>(index)), *child, path, "Index");
        }
    }

    std::map<std::string, QObject*> FWindows;
    std::vector<std::string> FProblems;
};

// Layout texts no language file needs: replaced at run time, or never shown.
const std::set<std::string> kNotTranslated = {
    "foCamMain.Caption",           // the product name
    "foCamMain/Dummy2.Caption",    // becomes NoWindow whenever the submenu opens
    "foViewer/actSave.Caption",    // the action is reached by its shortcut only
    "foViewer/SizeButton.Caption", // the size chosen, in fixed texts
    // The interval entries show their actions' captions.
    "foViewer/N1second1.Caption", "foViewer/N2seconds1.Caption", "foViewer/N5seconds1.Caption",
    "foViewer/N10seconds1.Caption", "foViewer/N20seconds1.Caption", "foViewer/N60seconds1.Caption",
    "foViewer/Alwaysrefresh1.Caption", "foViewer/BruteRefresh1.Caption",
    "foViewer/Custom1.Caption"};

// Texts of our own components, listed even when empty (an empty title leaves the dialog's
// own).
const std::pair<const char*, std::vector<const char*>> kTextProperties[] = {
    {"TOcFileDialog", {"Filter", "Title"}},
    {"TOcDirectoryEdit", {"DialogText"}},
    {"TOcProgressDlg", {"Text", "CancelCaption"}},
};

// One translatable text: the elements from the window down ("#n" is the collection item with
// that Index) and the attribute.
struct TKey {
    std::vector<std::string> steps;
    std::string property;
    QString text;
    std::string Path() const {
        std::string p;
        for (const std::string& s : steps)
            p += (p.empty() ? "" : "/") + s;
        return p + "." + property;
    }
};

std::vector<TKey> KeysOf(QWidget* window, const std::string& name) {
    std::vector<TKey> keys;
    const auto add = [&keys](std::vector<std::string> steps, const char* property,
                             const QString& text, bool always = false) {
        TKey key{std::move(steps), property, text};
        if ((always || !text.isEmpty()) && !kNotTranslated.count(key.Path()))
            keys.push_back(std::move(key));
    };
    add({name}, "Caption", window->windowTitle());
    std::map<std::string, QObject*> owned;
    CollectOwned(window, owned);
    for (const auto& [lower, o] : owned) {
        const std::vector<std::string> at = {name, ocelis::FromQ(o->objectName())};
        if (auto* a = qobject_cast<QAction*>(o)) {
            add(at, "Caption", a->text());
            if (a->text().isEmpty())
                add(at, "Hint", a->toolTip());
            continue;
        }
        if (auto* tool = qobject_cast<QToolButton*>(o); tool && tool->defaultAction())
            continue; // shows its action's texts
        if (auto* m = qobject_cast<QMenu*>(o)) {
            if (m->menuAction()->objectName().isEmpty()) // else the action's caption shows
                add(at, "Caption", m->title());
        } else if (auto* b = qobject_cast<QAbstractButton*>(o))
            add(at, "Caption", b->text());
        else if (auto* l = qobject_cast<QLabel*>(o))
            add(at, "Caption", l->text());
        else if (auto* g = qobject_cast<QGroupBox*>(o))
            add(at, "Caption", g->title());
        if (auto* w = qobject_cast<QWidget*>(o))
            add(at, "Hint", w->toolTip());
        if (auto* tabs = qobject_cast<QTabWidget*>(o); tabs && !tabs->tabBar()->isHidden())
            for (int i = 0; i < tabs->count(); ++i)
                add({name, ocelis::FromQ(tabs->widget(i)->objectName())}, "Caption",
                    tabs->tabText(i));
        for (const auto& [cls, properties] : kTextProperties)
            if (o->inherits(cls))
                for (const char* p : properties)
                    add(at, p, o->property(p).toString(), true);
        const auto items = [&](const char* property, const TOcCollection* c, const char* text) {
            for (int i = 0; i < c->Count(); ++i) {
                std::vector<std::string> steps = at;
                steps.insert(steps.end(), {property, "#" + std::to_string(i)});
                add(steps, text, c->Item(i)->property(text).toString());
            }
        };
        if (const auto* bar = qobject_cast<TOcStatusBar*>(o))
            items("Panels", bar->Panels(), "Text");
        if (const auto* list = qobject_cast<TOcListView*>(o))
            items("Columns", list->Columns(), "Caption");
    }
    return keys;
}

const TOcSimpleXmlProp* FindKey(const TOcSimpleXmlElem& root, const TKey& key) {
    const TOcSimpleXmlElem* el = &root;
    for (const std::string& step : key.steps) {
        const TOcSimpleXmlElem* next = nullptr;
        for (int i = 0; i < el->Items().Count(); ++i) {
            const TOcSimpleXmlElem* c = el->Items().Items(i);
            if (step[0] == '#' ? c->Properties().IntValue("Index", -1) == std::stoi(step.substr(1))
                               : ocelis::SameText(c->Name(), step))
                next = c; // the last of equal names, as the reader finds them
        }
        if (!(el = next))
            return nullptr;
    }
    return el->Properties().ItemNamed(key.property);
}

const TOcSimpleXmlProp* FindMessageText(const TOcSimpleXmlElem& root, const std::string& name) {
    const TOcSimpleXmlElem* main = root.Items().ItemNamed("foCamMain");
    const TOcSimpleXmlElem* el = main ? main->Items().ItemNamed("Variables") : nullptr;
    for (int i = 0; el && i < el->Items().Count(); ++i)
        if (ocelis::SameText(el->Items().Items(i)->Properties().Value("Name"), name))
            return el->Items().Items(i)->Properties().ItemNamed("Value");
    return nullptr;
}

std::vector<fs::path> ShippedLanguageFiles() {
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(OCELIS_LANGUAGES_DIR))
        if (e.path().extension() == ".xml")
            files.push_back(e.path());
    std::sort(files.begin(), files.end());
    return files;
}

// A text property's value as the reader converts it: the first \n becomes a line break.
QString TextValue(const std::string& value) {
    QString v = ocelis::ToQ(value);
    if (const qsizetype at = v.indexOf(QLatin1String("\\n")); at >= 0)
        v.replace(at, 2, QLatin1Char('\n'));
    return v;
}

// A message text's value as the reader converts it: every \n becomes CR LF.
std::string MessageValue(std::string value) {
    for (size_t at = value.find("\\n"); at != std::string::npos; at = value.find("\\n", at + 2))
        value.replace(at, 2, "\r\n");
    return value;
}

// Removes the accelerator marks that buttons show as underlines.
QString Shown(QString text) {
    text.replace(QLatin1String("&&"), QChar(1));
    text.remove(QLatin1Char('&'));
    return text.replace(QChar(1), QLatin1Char('&'));
}

// The room a widget draws its text in, as its style lays it out.
QRect TextRoom(QWidget* w) {
    QStyleOptionButton opt;
    opt.initFrom(w);
    if (auto* b = qobject_cast<QPushButton*>(w); b && b->autoDefault())
        opt.features |= QStyleOptionButton::AutoDefaultButton;
    if (qobject_cast<QPushButton*>(w))
        return w->style()->subElementRect(QStyle::SE_PushButtonContents, &opt, w);
    if (qobject_cast<QCheckBox*>(w))
        return w->style()->subElementRect(QStyle::SE_CheckBoxContents, &opt, w);
    if (qobject_cast<QRadioButton*>(w))
        return w->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, w);
    if (qobject_cast<QToolButton*>(w)) {
        const int frame = w->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &opt, w);
        return w->rect().adjusted(frame, frame, -frame, -frame);
    }
    return w->contentsRect();
}

bool Contains(const QLayout* layout, const QWidget* w) {
    for (int i = 0; layout && i < layout->count(); ++i)
        if (layout->itemAt(i)->widget() == w || Contains(layout->itemAt(i)->layout(), w))
            return true;
    return false;
}

// The size the text takes in the widget's font; for a widget at a fixed place also in DejaVu
// Sans at the same size (the face "arial" and the default face fall back to where only
// fonts-dejavu-core is installed; a layout gives its widgets room in the face at hand).
// Wrapped at the room's width when the widget wraps.
QSize Needed(const QWidget* w, const QString& text, int wrapWidth) {
    QFont fallback = w->font();
    // A scroll area lays out its widget too, in the face at hand.
    const auto* scroll = w->parentWidget()
                             ? qobject_cast<const QScrollArea*>(w->parentWidget()->parentWidget())
                             : nullptr;
    if ((!w->parentWidget() || !Contains(w->parentWidget()->layout(), w)) &&
        !(scroll && scroll->widget() == w))
        fallback.setFamily(QStringLiteral("DejaVu Sans"));
    QSize need;
    for (const QFont& font : {w->font(), fallback}) {
        const QFontMetrics fm(font);
        if (wrapWidth > 0) {
            need = need.expandedTo(
                fm.boundingRect(QRect(0, 0, wrapWidth, 1 << 20), Qt::TextWordWrap, text).size());
            continue;
        }
        for (const QString& line : text.split(QLatin1Char('\n')))
            need = need.expandedTo(QSize(fm.horizontalAdvance(line), fm.height()));
    }
    return need;
}

std::string Cut(const QString& what, const QString& text, QSize need, QRect room) {
    return ocelis::FromQ(what) + ": \"" + ocelis::FromQ(text) + "\" needs " +
           std::to_string(need.width()) + "x" + std::to_string(need.height()) + ", has " +
           std::to_string(room.width()) + "x" + std::to_string(room.height());
}

// Every visible label and button of the window whose text does not fit its room.
std::vector<std::string> CutOff(QWidget* window) {
    QApplication::processEvents(); // the layouts after the face changed on showing
    std::vector<std::string> found;
    for (QWidget* w : window->findChildren<QWidget*>()) {
        QString text;
        bool wrap = false;
        if (auto* l = qobject_cast<QLabel*>(w)) {
            text = l->text();
            wrap = l->wordWrap();
        } else if (auto* b = qobject_cast<QAbstractButton*>(w)) {
            auto* tool = qobject_cast<QToolButton*>(w);
            if (!(tool && !tool->icon().isNull() &&
                  tool->toolButtonStyle() == Qt::ToolButtonIconOnly))
                text = Shown(b->text());
        }
        if (text.isEmpty() || !w->isVisible())
            continue;
        const QRect room = TextRoom(w);
        const QSize need = Needed(w, text, wrap ? room.width() : 0);
        if (need.width() > room.width() || (wrap && need.height() > room.height()))
            found.push_back(Cut(w->objectName(), text, need, room));
    }
    return found;
}

// One outcome of the editor's Test button of every kind, with the longest words each has.
std::vector<TCamUrlTestResult> EveryTestResult() {
    using K = TCamUrlTestKind;
    std::vector<TCamUrlTestResult> out;
    const auto add = [&out](K kind, const std::function<void(TCamUrlTestResult&)>& fill) {
        TCamUrlTestResult r;
        r.Kind = kind;
        fill(r);
        out.push_back(r);
    };
    const auto none = [](TCamUrlTestResult&) {};
    add(K::NotHttp, none);
    add(K::NameNotResolved, [](TCamUrlTestResult& r) { r.Host = "webcam.harbour-town.org"; });
    add(K::ConnectionRefused, none);
    add(K::TimeOut, [](TCamUrlTestResult& r) { r.TimeOutMs = 30000; });
    add(K::HttpStatus, [](TCamUrlTestResult& r) { r.StatusLine = "HTTP/1.1 404 Not Found"; });
    add(K::Redirect,
        [](TCamUrlTestResult& r) { r.Location = "https://cams.example.org/live.jpg"; });
    add(K::NotJpeg, [](TCamUrlTestResult& r) {
        r.Detail = "text/html; charset=utf-8";
        r.BodySize = 123456;
    });
    add(K::AuthNeeded, none);
    add(K::AuthRefused, none);
    add(K::Failed, [](TCamUrlTestResult& r) { r.Detail = "the connection was reset"; });
    for (const bool head : {false, true})
        add(K::Jpeg, [head](TCamUrlTestResult& r) {
            r.Width = 1920;
            r.Height = 1080;
            r.ContentLength = 1234567;
            r.LastModified = "Wed, 09 Dec 2026 21:00:00 GMT";
            r.HeadAnswered = head;
            r.Auth = "Basic";
        });
    add(K::Jpeg, [](TCamUrlTestResult& r) {
        r.Width = 1920;
        r.Height = 1080;
        r.Stream = true;
        r.PicturesPerSecond = 12.5;
        r.Auth = "Digest (SHA-256)";
        r.AuthOverTls = true;
    });
    return out;
}

// The windows the language files cover, by layout name. A new window adds one line here.
const std::pair<const char*, std::function<QWidget*(TfoCamMain&)>> kWindows[] = {
    {"foCamMain", [](TfoCamMain& main) -> QWidget* { return &main; }},
    {"foViewer", [](TfoCamMain&) -> QWidget* { return new TfoViewer(nullptr); }},
    {"foOptions", [](TfoCamMain&) -> QWidget* { return new TfoOptions(nullptr); }},
    {"foEditCams", [](TfoCamMain&) -> QWidget* { return new TfoEditCams(nullptr); }},
    {"foChoose", [](TfoCamMain&) -> QWidget* { return new TfoChoose(nullptr); }},
    {"foAviCreator", [](TfoCamMain&) -> QWidget* { return new TfoAviCreator(nullptr); }},
    {"foMire", [](TfoCamMain&) -> QWidget* { return new TfoMire(nullptr); }},
    {"foArchive", [](TfoCamMain&) -> QWidget* { return new TfoArchive(nullptr); }},
};

class LanguageFilesTest : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        dir_ = OwnAppDir("languagefiles");
        Build();
    }
    void TearDown() override {
        Destroy();
        TGuiFixture::TearDown();
    }
    // Every window afresh, with the built-in texts.
    void Build() {
        ocelis::ResetMessageTexts();
        main_ = std::make_unique<TfoCamMain>();
        for (const auto& [name, create] : kWindows) {
            windows_[name] = create(*main_);
            ASSERT_EQ(windows_[name]->objectName(), name);
        }
    }
    void Destroy() {
        windows_.clear();
        main_.reset();
        while (!FormList.empty())
            delete FormList.back();
        EXPECT_TRUE(WorkersGone());
        ocelis::ResetMessageTexts();
        ocelis::UseQtTranslations({});
    }
    Lint MakeLint() {
        std::map<std::string, QObject*> windows;
        for (const auto& [name, w] : windows_)
            windows[ocelis::AnsiLower(name)] = w;
        return Lint(windows);
    }
    // Path -> text of every translatable text of every window.
    std::map<std::string, QString> Texts() {
        std::map<std::string, QString> texts;
        for (const auto& [name, w] : windows_)
            for (const TKey& key : KeysOf(w, name))
                texts[key.Path()] = key.text;
        return texts;
    }
    // Shows every window but the hidden main window (the face changes on showing) and
    // lists every caption cut off, with the texts that appear only in some states.
    std::vector<std::string> CutOffEverywhere() {
        std::vector<std::string> found;
        const auto check = [&found](QWidget* w) {
            for (std::string& cut : CutOff(w))
                found.push_back(ocelis::FromQ(w->objectName()) + "/" + cut);
        };
        for (const auto& [name, w] : windows_) {
            if (w == main_.get())
                continue;
            const QSize size = w->size();
            w->show();
            check(w);
            if (w->size() != size)
                found.push_back(name + ": grew to " + std::to_string(w->width()) + "x" +
                                std::to_string(w->height()));
        }
        auto* editor = static_cast<TfoEditCams*>(windows_["foEditCams"]);
        editor->UseAddressButton->show(); // after a test that found a redirect
        for (int i = 0; i < editor->Pages->count(); ++i) {
            editor->Pages->setCurrentIndex(i);
            check(editor);
        }
        // Every Test result is whole at the default size (scrolled to, when long).
        editor->Pages->setCurrentWidget(editor->CamSheet);
        for (const TCamUrlTestResult& r : EveryTestResult()) {
            editor->ShowTestResult(r);
            check(editor);
        }
        if (editor->TestResultScroll->viewport()->height() <
            3 * editor->TestResult->fontMetrics().height())
            found.push_back("foEditCams: fewer than three lines of the Test result show");
        QWidget* viewer = windows_["foViewer"];
        // Full screen lends the size button its caption.
        viewer->findChild<QToolButton*>(QStringLiteral("SizeButton"))
            ->setText(viewer->findChild<QAction*>(QStringLiteral("actFullScreen"))->text());
        check(viewer);
        // The countdown in the first panel.
        const auto* bar = viewer->findChild<TOcStatusBar*>(QStringLiteral("StatusBar"));
        const QRect room = bar->PanelRect(0).adjusted(3, 1, -4, -1); // as the panel paints
        for (const std::string* t : {&TimeLeft, &TimeLeftOne, &TestingRefresh}) {
            const QString text = ocelis::ToQ(*t).replace(QLatin1String("%d"), QLatin1String("999"));
            if (const QSize need = Needed(bar, text, 0); need.width() > room.width())
                found.push_back(Cut(QStringLiteral("foViewer/StatusBar"), text, need, room));
        }
        TOcProgressDlg* progress =
            static_cast<TfoAviCreator*>(windows_["foAviCreator"])->ProgressDlg;
        progress->Show();
        check(progress->Form());
        progress->Close();
        return found;
    }

    fs::path dir_;
    std::unique_ptr<TfoCamMain> main_;
    std::map<std::string, QWidget*> windows_;
};

} // namespace

TEST_F(LanguageFilesTest, EveryShippedFileIsCompleteAppliesCleanlyAndFits) {
    const std::vector<fs::path> files = ShippedLanguageFiles();
    ASSERT_GE(files.size(), 3u);
    for (const fs::path& file : files) {
        SCOPED_TRACE(file.filename().string());
        const bool english = file.filename() == "English.xml";
        Destroy();
        Build();
        TOcSimpleXml doc;
        ASSERT_NO_THROW(doc.LoadFromFile(file.string()));
        Lint lint = MakeLint();
        for (const std::string& problem : lint.Run(*doc.Root()))
            ADD_FAILURE() << problem;

        // Complete: every text of every window, and every message text.
        std::map<std::string, QString> expected;
        int count = 0;
        for (const auto& [name, w] : windows_)
            for (const TKey& key : KeysOf(w, name)) {
                ++count;
                const TOcSimpleXmlProp* p = FindKey(*doc.Root(), key);
                if (!p)
                    ADD_FAILURE() << key.Path() << " missing";
                else
                    // A text's first \n is a line break.
                    expected[key.Path()] = english ? key.text : TextValue(p->Value());
            }
        std::map<std::string, std::string> expectedTexts;
        for (const std::string& name : main_->Variables->Names()) {
            const TOcSimpleXmlProp* p = FindMessageText(*doc.Root(), name);
            if (!p)
                ADD_FAILURE() << "message text " << name << " missing";
            else
                expectedTexts[name] =
                    english ? *main_->Variables->Find(name) : MessageValue(p->Value());
        }
        std::cout << file.filename().string() << ": " << count << " window texts, "
                  << main_->Variables->Names().size() << " message texts\n";

        main_->OcTranslator->ApplyLanguageFile(file.string());
        // Every text arrived (English: the built-in texts are the file's).
        size_t compared = 0;
        for (const auto& [path, text] : Texts()) {
            if (expected.count(path)) {
                EXPECT_EQ(ocelis::FromQ(text), ocelis::FromQ(expected[path])) << path;
                ++compared;
            }
        }
        EXPECT_EQ(compared, expected.size()) << "texts of the file that no window shows";
        for (const auto& [name, text] : expectedTexts)
            EXPECT_EQ(*main_->Variables->Find(name), text) << name;
        // The reader decodes numeric references only: "&amp;" would show as it stands.
        const std::string bytes = ocelis::test::ReadFileBytes(file);
        const std::regex named("&[A-Za-z]+;");
        for (auto it = std::sregex_iterator(bytes.begin(), bytes.end(), named);
             it != std::sregex_iterator(); ++it)
            ADD_FAILURE() << it->str() << " at byte " << it->position();
        for (const std::string& cut : CutOffEverywhere())
            ADD_FAILURE() << cut;
    }
}

TEST_F(LanguageFilesTest, LintNamesEveryMistake) {
    TOcSimpleXml doc;
    doc.LoadFromString("<Texts><foViewer><actRefreshh Caption='x'/><actHide Captoin='y'/>"
                       "<actClose ShortCut='Ctrl+Nothing'/><Caption Value='z'/></foViewer>"
                       "<foCamMain><Variables><Text Name='EmptyKat' Value='v'/></Variables>"
                       "</foCamMain><foNothing/><foMire><Whatever/></foMire>"
                       "<foOptions><AlwaysBox Caption='a'/><Whatever/></foOptions></Texts>");
    Lint lint = MakeLint();
    const std::vector<std::string> problems = lint.Run(*doc.Root());
    const std::vector<std::string> expected = {
        "foViewer/actRefreshh: no such component or object property",
        "foViewer/actHide Captoin: no such property",
        "foViewer/actClose ShortCut: names no shortcut",
        "foViewer/Caption: no such component or object property",
        "foCamMain/Variables EmptyKat: no such message text",
        "foNothing: no such window",
        "foMire/Whatever: no such component or object property",
        "foOptions/Whatever: no such component or object property",
    };
    EXPECT_EQ(problems, expected);
}

TEST_F(LanguageFilesTest, QtsOwnButtonsFollowTheLanguageAFileNames) {
    const QString qtDir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* qm : {"qtbase_de.qm", "qtbase_fr.qm"})
        if (!QFileInfo::exists(qtDir + "/" + qm))
            GTEST_SKIP() << "skipped: " << qm << " is not in " << qtDir.toStdString()
                         << " (Debian package qt6-translations-l10n; ./setup.sh installs it)";
    const fs::path shipped(OCELIS_LANGUAGES_DIR);
    const std::string unnamed = (dir_ / "app" / "Unnamed.xml").string(),
                      unknown = (dir_ / "app" / "Unknown.xml").string();
    ocelis::test::WriteFileBytes(unnamed, "<Texts><foCamMain/></Texts>");
    ocelis::test::WriteFileBytes(unknown, "<Texts LANG='../../etc/x'><foCamMain/></Texts>");
    // A window already open follows each switch.
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    const struct {
        std::string file;
        const char* cancel;
        const char* inUse;
    } steps[] = {
        {(shipped / "Deutsch.xml").string(), "Abbrechen", "de"},
        {unnamed, "Abbrechen", "de"}, // names no language: Qt's texts stay
        {(shipped / "Fran\xC3\xA7"
                    "ais.xml")
             .string(),
         "Annuler", "fr"},
        {unknown, "Cancel", ""}, // names one that is no language tag: built-in English
        {(shipped / "Deutsch.xml").string(), "Abbrechen", "de"},
        // Qt's English file holds no text: its built-in texts are the English ones.
        {(shipped / "English.xml").string(), "Cancel", ""},
    };
    for (const auto& step : steps) {
        main_->OcTranslator->ApplyLanguageFile(step.file);
        QCoreApplication::processEvents();
        EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text().remove('&'), step.cancel)
            << step.file;
        EXPECT_EQ(ocelis::QtTranslationsInUse(), step.inUse) << step.file;
    }
}

TEST(QtLanguageTag, OnlyPlainTagsNameATranslationFile) {
    const std::pair<const char*, const char*> cases[] = {
        {"de", "de"},
        {"pt-BR", "pt_BR"},
        {"zh_Hant_TW", "zh_Hant_TW"},
        {"gsw", "gsw"},
        {"", ""},
        {"d", ""},
        {"deut", ""},
        {"de-", ""},
        {"de--AT", ""},
        {"../de", ""},
        {"de/fr", ""},
        {"d1", ""},
        {"de-A", ""},
        {"de-ABCDEFGHI", ""},
        {"de AT", ""},
    };
    for (const auto& [value, tag] : cases)
        EXPECT_EQ(ocelis::QtLanguageTag(value), tag) << value;
}

TEST_F(LanguageFilesTest, AFifoAsLanguageFileIsIgnoredWithoutBlocking) {
    const std::string fifo = (dir_ / "app" / "Pipe.xml").string();
    ASSERT_TRUE(ocelis::test::MakeFifo(fifo));
    const QString before = main_->actExit->text();
    EXPECT_TRUE(ocelis::test::EndsWithin(
        std::chrono::seconds(2), [&] { main_->OcTranslator->ApplyLanguageFile(fifo); },
        ocelis::test::FifoUnblocker(fifo)));
    EXPECT_EQ(main_->actExit->text(), before);
}

TEST_F(LanguageFilesTest, KeysCoverPanelsColumnsTabsAndGroups) {
    QWidget window;
    auto* bar = new TOcStatusBar(&window);
    bar->setObjectName(QStringLiteral("Bar"));
    bar->Panels()->Add(50);
    bar->Panels()->Add(50)->SetText(QStringLiteral("Ready"));
    auto* list = new TOcListView(&window);
    list->setObjectName(QStringLiteral("List"));
    list->Columns()->Add(QStringLiteral("Name"), 80);
    auto* tabs = new QTabWidget(&window);
    tabs->setObjectName(QStringLiteral("Tabs"));
    tabs->addTab(new QWidget, QStringLiteral("General"));
    tabs->widget(0)->setObjectName(QStringLiteral("Page1"));
    (new QGroupBox(QStringLiteral("Size"), &window))->setObjectName(QStringLiteral("Group"));
    std::vector<std::string> paths;
    for (const TKey& key : KeysOf(&window, "foTest"))
        paths.push_back(key.Path() + "=" + ocelis::FromQ(key.text));
    const std::vector<std::string> expected = {
        "foTest/Bar/Panels/#1.Text=Ready", "foTest/Group.Caption=Size",
        "foTest/List/Columns/#0.Caption=Name", "foTest/Page1.Caption=General"};
    EXPECT_EQ(paths, expected);
    TOcSimpleXml doc;
    doc.LoadFromString("<T><foTest><Bar><Panels><P Index='1' Text='Bereit'/></Panels></Bar>"
                       "</foTest></T>");
    EXPECT_EQ(FindKey(*doc.Root(), KeysOf(&window, "foTest")[0])->Value(), "Bereit");
}

TEST_F(LanguageFilesTest, EveryShippedFileGivesEveryHealthText) {
    for (const fs::path& file : ShippedLanguageFiles()) {
        SCOPED_TRACE(file.filename().string());
        const bool english = file.filename() == "English.xml";
        Destroy();
        ocelis::ResetMessageTexts();
        Build();
        TOcSimpleXml doc;
        ASSERT_NO_THROW(doc.LoadFromFile(file.string()));
        const TOcSimpleXmlElem* main = doc.Root()->Items().ItemNamed("foCamMain");
        const TOcSimpleXmlElem* el = main ? main->Items().ItemNamed("HealthTexts") : nullptr;
        ASSERT_TRUE(el);
        std::map<std::string, std::string> given;
        for (int i = 0; i < el->Items().Count(); ++i)
            given[el->Items().Items(i)->Properties().Value("Name")] =
                MessageValue(el->Items().Items(i)->Properties().Value("Value"));
        const std::vector<std::string>& names = main_->HealthTexts->Names();
        ASSERT_FALSE(names.empty());
        EXPECT_EQ(given.size(), names.size());
        std::map<std::string, std::string> builtIn;
        for (const std::string& name : names)
            builtIn[name] = *main_->HealthTexts->Find(name);
        main_->OcTranslator->ApplyLanguageFile(file.string());
        for (const std::string& name : names) {
            ASSERT_TRUE(given.count(name)) << name << " missing";
            EXPECT_EQ(*main_->HealthTexts->Find(name), given[name]) << name;
            // The same placeholders as the English text.
            for (const char* arg : {"%1", "%2", "%3"})
                EXPECT_EQ(given[name].find(arg) == std::string::npos,
                          builtIn[name].find(arg) == std::string::npos)
                    << name;
        }
        if (!english) {
            EXPECT_NE(given["HealthRefused"], "connection refused");
        }
    }
}

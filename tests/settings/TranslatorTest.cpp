// Translator, message texts and the property adapters, on real widgets (offscreen).
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStatusBar>
#include <QTabWidget>
#include <QTextDocument>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>

#include "catalogue/XmlDocument.h"
#include "settings/LangTestWindow.h"
#include "settings/MessageTexts.h"
#include "settings/PropRegistry.h"
#include "settings/Translator.h"
#include "support/TestFiles.h"

using ocelis_test::BuildAllComponents;

namespace {

// The hidden main window with its translator and Variables, plus secondary windows that
// the tests list as the application's forms.
class TranslatorFixture : public ::testing::Test {
protected:
    void SetUp() override {
        ocelis::ResetMessageTexts();
        main = std::make_unique<QWidget>();
        main->setObjectName(QStringLiteral("foCamMain"));
        auto* actions = ocelis_test::Named(new QObject(main.get()), "ActionList1");
        actExit = ocelis_test::Named(new QAction(QStringLiteral("&Exit"), actions), "actExit");
        translator = new TOcTranslator(main.get());
        TOcTranslator::SetInstance(translator);
        variables = new TOcTranslatorStrings(main.get());
        ocelis::RegisterMessageTexts(*variables);
        TOcTranslator::SetFormLister([this] {
            std::vector<QObject*> out;
            for (auto& f : forms)
                out.push_back(f.get());
            return out;
        });
    }
    void TearDown() override {
        TOcTranslator::SetFormLister({});
        forms.clear();
        main.reset();
        TOcTranslator::SetInstance(nullptr);
        ocelis::ResetMessageTexts();
    }

    QWidget* AddForm(const char* name) {
        forms.push_back(std::make_unique<QWidget>());
        QWidget* w = forms.back().get();
        w->setObjectName(QString::fromLatin1(name));
        BuildAllComponents(w);
        return w;
    }

    template <class T> T* Get(QWidget* w, const char* name) {
        T* t = w->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(t, nullptr) << name;
        return t;
    }

    void Apply(const std::string& text) { translator->ApplyLanguageText(text); }

    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::filesystem::path path = ocelis::test::TestHome() / "lang" / name;
        ocelis::test::WriteFileBytes(path, bytes);
        return path.string();
    }

    std::unique_ptr<QWidget> main;
    QAction* actExit = nullptr;
    TOcTranslator* translator = nullptr;
    TOcTranslatorStrings* variables = nullptr;
    std::vector<std::unique_ptr<QWidget>> forms;
};

} // namespace

TEST_F(TranslatorFixture, MessageTextsAreRegisteredInTableOrderWithEnglishTexts) {
    const std::vector<std::string> expected = {
        "EmptyCat", "TimeLeft", "TimeLeftOne", "TestingRefresh", "RefreshTitle", "RefreshCaption",
        "NoWindow", "AviGenerated", "StartText", "StartTitle", "Refreshing", "NewCat", "NewCam",
        "ImportedCat", "CamHint", "Unknow", "OnlineText",
        // The editor's address test comes after the first 17.
        "TestRunning", "TestNotHttp", "TestNoName", "TestRefused", "TestTimeOut", "TestStatus",
        "TestRedirect", "TestNotJpeg", "TestFailed", "TestJpeg", "TestNone", "TestHeadBoth",
        "TestHeadLength", "TestHeadDate", "TestHeadNone", "TestHeadFailed", "TestAuth",
        "TestAuthPlain", "TestAuthNeeded", "TestAuthRefused"};
    EXPECT_EQ(variables->Names(), expected);
    EXPECT_EQ(EmptyCat, "Empty Category");
    EXPECT_EQ(TimeLeft, "%d seconds");
    EXPECT_EQ(StartTitle, "First Launch of ");
    EXPECT_EQ(OnlineText, " (online)");
    EXPECT_EQ(CamHint, "Name: %name%\r\nUrl: %url%\r\nEmail: %email%\r\nHomepage: %home%\r\n"
                       "Last Updated: %date%");
    EXPECT_STREQ(ocelis::kProductName, "Ocelis");
    // A name registered twice keeps its first variable.
    std::string other = "x";
    variables->AddVariable("emptycat", &other);
    EXPECT_EQ(variables->Find("EMPTYCAT"), &EmptyCat);
    EXPECT_EQ(variables->Count(), 37);
}

TEST_F(TranslatorFixture, ExampleFileOfTheFormatNotes) {
    QWidget* options = AddForm("foOptions");
    auto* always = new QCheckBox(QStringLiteral("Always on top"), options);
    always->setObjectName(QStringLiteral("AlwaysBox"));
    const std::string path = WriteFile("example.xml", R"(<Texts>
 <foCamMain>
  <actExit Caption='Quit' ShortCut='Ctrl+Q'/>
  <Variables>
   <Text Name='EmptyCat' Value='No webcams here'/>
   <Text Name='StartText' Value='Right-click this icon.\nThen pick a webcam.'/>
  </Variables>
 </foCamMain>
 <foOptions Caption='Preferences'>
  <AlwaysBox Caption='Keep viewers on top'/>
 </foOptions>
</Texts>)");
    translator->ApplyLanguageFile(path);
    EXPECT_EQ(actExit->text(), QStringLiteral("Quit"));
    EXPECT_EQ(actExit->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_EQ(EmptyCat, "No webcams here");
    EXPECT_EQ(StartText, "Right-click this icon.\r\nThen pick a webcam.");
    EXPECT_EQ(options->windowTitle(), QStringLiteral("Preferences"));
    EXPECT_EQ(always->text(), QStringLiteral("Keep viewers on top"));
    EXPECT_EQ(TimeLeft, "%d seconds"); // not mentioned: unchanged
}

TEST_F(TranslatorFixture, VariablesMatchAnyCaseAndTurnEveryBackslashNIntoALineBreak) {
    Apply(R"(<x><FOCAMMAIN><variables>
      <a Name='emptycat' Value='leer'/>
      <b name='NOWINDOW' value='ignored: attribute names are matched too'/>
      <c Name='TimeLeft' Value='one\ntwo\nthree'/>
      <d Name='NoSuchText' Value='x'/>
      <e Value='no name'/>
    </variables></FOCAMMAIN></x>)");
    EXPECT_EQ(EmptyCat, "leer");
    EXPECT_EQ(NoWindow, "ignored: attribute names are matched too");
    EXPECT_EQ(TimeLeft, "one\r\ntwo\r\nthree");
    EXPECT_EQ(Unknow, "Unknown");
}

TEST_F(TranslatorFixture, CaptionTurnsOnlyTheFirstBackslashNIntoALineBreak) {
    QWidget* w = AddForm("foTest");
    Apply(
        R"(<T><foTest><Label1 Caption='one\ntwo\nthree'/><Button1 Caption='a\nb'/></foTest></T>)");
    const QString label = Get<QLabel>(w, "Label1")->text();
    EXPECT_EQ(label, QStringLiteral("one\ntwo\\nthree"));
    EXPECT_EQ(label.split(QLatin1Char('\n')).size(), 2);
    EXPECT_EQ(Get<QPushButton>(w, "Button1")->text(), QStringLiteral("a\nb"));
}

TEST_F(TranslatorFixture, ShortCutAttributeIsReadAsText) {
    QWidget* w = AddForm("foViewer");
    Apply(R"(<T><foViewer><actAlwaysOnTop ShortCut='Ctrl+T'/><actRefresh ShortCut='16468'/>
             <actHide ShortCut='Shift+Esc'/></foViewer></T>)");
    EXPECT_EQ(Get<QAction>(w, "actAlwaysOnTop")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
    EXPECT_TRUE(Get<QAction>(w, "actRefresh")->shortcut().isEmpty());
    EXPECT_EQ(Get<QAction>(w, "actHide")->shortcut(), QKeySequence(Qt::SHIFT | Qt::Key_Escape));
    Apply(R"(<T><foViewer><actHide ShortCut='nonsense+key'/></foViewer></T>)");
    EXPECT_TRUE(Get<QAction>(w, "actHide")->shortcut().isEmpty());
}

TEST(ShortCutConversion, NumbersAndTexts) {
    EXPECT_EQ(ocelis::ShortCutFromNumber(16468), QKeySequence(Qt::CTRL | Qt::Key_T));
    EXPECT_EQ(ocelis::ShortCutFromNumber(0x2000 + 0x1B), QKeySequence(Qt::SHIFT | Qt::Key_Escape));
    EXPECT_EQ(ocelis::ShortCutFromNumber(0x74), QKeySequence(Qt::Key_F5));
    EXPECT_EQ(ocelis::ShortCutFromNumber(0x4000 + 0x8000 + 0xBD),
              QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_Minus));
    EXPECT_TRUE(ocelis::ShortCutFromNumber(-1).isEmpty());
    EXPECT_TRUE(ocelis::ShortCutFromNumber(0).isEmpty());
    EXPECT_TRUE(ocelis::ShortCutFromNumber(0x07).isEmpty()); // no key
    EXPECT_EQ(ocelis::ShortCutFromText(QStringLiteral("Ctrl+Shift+4")),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_4));
    EXPECT_EQ(ocelis::ShortCutFromText(QStringLiteral("Ins")), QKeySequence(Qt::Key_Insert));
    EXPECT_TRUE(ocelis::ShortCutFromText(QStringLiteral("16468")).isEmpty());
    EXPECT_TRUE(ocelis::ShortCutFromText(QStringLiteral("Ctrl+T, Ctrl+U")).isEmpty());
    EXPECT_TRUE(ocelis::ShortCutFromText(QString()).isEmpty());
}

TEST_F(TranslatorFixture, YesNoPropertiesFromNamesAndNumbers) {
    QWidget* w = AddForm("foTest");
    w->show();
    auto* label = Get<QLabel>(w, "Label1");
    auto* button = Get<QPushButton>(w, "Button1");
    auto* edit = Get<QLineEdit>(w, "Edit1");
    Apply("<T><foTest><Label1 Visible='False'/><Button1 Visible='0'/><Edit1 "
          "Visible='0'/></foTest></T>");
    EXPECT_TRUE(label->isHidden());
    EXPECT_TRUE(button->isHidden());
    EXPECT_TRUE(edit->isHidden());
    Apply("<T><foTest><Label1 Visible='1'/><Button1 Visible='TRUE'/><Edit1 "
          "Visible='yes'/></foTest></T>");
    EXPECT_FALSE(label->isHidden());
    EXPECT_FALSE(button->isHidden());
    EXPECT_TRUE(edit->isHidden()); // neither number nor member: unchanged
    Apply("<T><foTest><Edit1 Visible='-1' Enabled='false'/><CheckBox1 Checked='True'/>"
          "<actAlwaysOnTop Checked='1' Enabled='0' Visible='False'/></foTest></T>");
    EXPECT_FALSE(edit->isHidden());
    EXPECT_FALSE(edit->isEnabled());
    EXPECT_TRUE(Get<QCheckBox>(w, "CheckBox1")->isChecked());
    auto* onTop = Get<QAction>(w, "actAlwaysOnTop");
    EXPECT_TRUE(onTop->isChecked());
    EXPECT_FALSE(onTop->isEnabled());
    EXPECT_FALSE(onTop->isVisible());
}

TEST_F(TranslatorFixture, GeometryAsWholeNumbers) {
    QWidget* w = AddForm("foTest");
    auto* progress = Get<QWidget>(w, "ProgressBar");
    Apply("<T><foTest Left='30' Top='40' Width='500' Height='420'>"
          "<ProgressBar Left='5' Top='3' Width='80' Height='12'/></foTest></T>");
    EXPECT_EQ(w->pos(), QPoint(30, 40));
    EXPECT_EQ(w->frameGeometry().width(), 500);
    EXPECT_EQ(w->frameGeometry().height(), 420);
    EXPECT_EQ(progress->geometry(), QRect(5, 3, 80, 12));
    // Not a number reads as -1; out of range is refused; the other attributes still apply.
    Apply("<T><foTest><ProgressBar Left='abc' Width='99999999' Top='7'/></foTest></T>");
    EXPECT_EQ(progress->x(), -1);
    EXPECT_EQ(progress->y(), 7);
    EXPECT_EQ(progress->width(), 80);
}

TEST_F(TranslatorFixture, FontObjectWithNameSizeAndStyleSet) {
    QWidget* w = AddForm("foTest");
    auto* label = Get<QLabel>(w, "Label1");
    Apply("<T><foTest><Label1><Font Name='Courier' Size='14' Style='[fsBold, fsItalic]'/></Label1>"
          "</foTest></T>");
    EXPECT_EQ(label->font().family(), QStringLiteral("Courier"));
    EXPECT_EQ(label->font().pointSize(), 14);
    EXPECT_TRUE(label->font().bold());
    EXPECT_TRUE(label->font().italic());
    EXPECT_FALSE(label->font().underline());
    // Child elements carry values too; a bad set member and a silly size are skipped.
    Apply("<T><foTest><Label1><Font Style='[fsBold,fsNoSuch]' Size='100000'><Size>9</Size>"
          "<Style>[fsUnderline]</Style></Font></Label1></foTest></T>");
    EXPECT_EQ(label->font().pointSize(), 9);
    EXPECT_FALSE(label->font().bold());
    EXPECT_TRUE(label->font().underline());
    Apply("<T><foTest><Label1><Font Style='[]'/></Label1></foTest></T>");
    EXPECT_FALSE(label->font().underline());
}

TEST_F(TranslatorFixture, StringListsSetExistingLinesOnly) {
    QWidget* w = AddForm("foTest");
    Apply(R"(<T><foTest>
      <FilesBox><Items><L Index='1' Value='one\nkept'/><L Index='99' Value='x'/><L Index='-1' Value='x'/>
        <L Index='two' Value='x'/><L Value='no index'/><L Index='0' Value='zero'/></Items></FilesBox>
      <Combo1><Items><L Index='2' Value='C2'/><L Index='3' Value='x'/></Items></Combo1>
      <Memo1><Lines><L Index='1' Value='M1'/><L Index='3' Value='x'/></Lines></Memo1>
    </foTest></T>)");
    auto* box = Get<QListWidget>(w, "FilesBox");
    ASSERT_EQ(box->count(), 3);
    EXPECT_EQ(box->item(0)->text(), QStringLiteral("zero"));
    EXPECT_EQ(box->item(1)->text(), QStringLiteral("one\\nkept"));
    EXPECT_EQ(box->item(2)->text(), QStringLiteral("l2"));
    auto* combo = Get<QComboBox>(w, "Combo1");
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->itemText(2), QStringLiteral("C2"));
    EXPECT_EQ(Get<QPlainTextEdit>(w, "Memo1")->toPlainText(), QStringLiteral("m0\nM1\nm2"));
}

TEST_F(TranslatorFixture, TreeNodesCountInDisplayOrderOverAllLevels) {
    QWidget* w = AddForm("foTest");
    Apply("<T><foTest><CamTree><Items><N Index='0' Value='a'/><N Index='3' Value='a2x'/>"
          "<N Index='4' Value='b'/><N Index='5' Value='x'/></Items></CamTree></foTest></T>");
    QStringList texts;
    for (QTreeWidgetItemIterator it(Get<QTreeWidget>(w, "CamTree")); *it; ++it)
        texts << (*it)->text(0);
    EXPECT_EQ(texts, (QStringList{"a", "A1", "A2", "a2x", "b"}));
}

TEST_F(TranslatorFixture, ListViewItemsByIndexAndColumnAndColumnsCollection) {
    QWidget* w = AddForm("foTest");
    Apply(R"(<T><foTest><CamList>
      <Items><I Index='0' Column='0' Value='first'/><I Index='0' Column='1' Value='sub'/>
        <I Index='0' Column='2' Value='beyond'/><I Index='1' Column='1' Value='none'/>
        <I Index='1' Column='-1' Value='x'/><I Index='1' Value='no column'/>
        <I Index='1' Column='0' Value='second'/></Items>
      <Columns><C Index='1' Caption='Address' Width='150'/><C Index='2' Caption='x'/><C Caption='y'/></Columns>
    </CamList></foTest></T>)");
    auto* view = Get<TOcListView>(w, "CamList");
    EXPECT_EQ(view->item(0)->text(), QStringLiteral("first"));
    EXPECT_EQ(TOcListView::SubItems(view->item(0)), QStringList{QStringLiteral("sub")});
    EXPECT_EQ(view->item(1)->text(), QStringLiteral("second"));
    EXPECT_TRUE(TOcListView::SubItems(view->item(1)).isEmpty());
    EXPECT_EQ(view->Columns()->Item(0)->Caption(), QStringLiteral("Name"));
    EXPECT_EQ(view->Columns()->Item(1)->Caption(), QStringLiteral("Address"));
    EXPECT_EQ(view->Columns()->Item(1)->Width(), 150);
}

TEST_F(TranslatorFixture, StatusPanelsAndFileDialogAndTabs) {
    QWidget* w = AddForm("foTest");
    Apply(R"(<T><foTest>
      <StatusBar><Panels><P Index='3' Text='name' Width='60'/><P Index='4' Text='x'/><P Index='x' Text='y'/>
        <P Index='0'><Text>child text</Text></P></Panels></StatusBar>
      <StatusBar2 SimpleText='simple'/>
      <SaveDialog Filter='JPEG-Datei (*.jpg)|*.jpg' Title='Speichern'/>
      <CamSheet Caption='Kamera'/>
      <PopupMenu><SizeMenu Caption='Größe'/></PopupMenu>
      <SizeMenu Caption='Grösse'/>
      <SpeedButton1 Hint='Web'/>
    </foTest></T>)");
    auto* status = Get<TOcStatusBar>(w, "StatusBar");
    EXPECT_EQ(status->Panels()->Item(3)->Text(), QStringLiteral("name"));
    EXPECT_EQ(status->Panels()->Item(3)->Width(), 60);
    EXPECT_EQ(status->Panels()->Item(0)->Text(), QStringLiteral("child text"));
    EXPECT_EQ(Get<QStatusBar>(w, "StatusBar2")->currentMessage(), QStringLiteral("simple"));
    auto* save = Get<TOcFileDialog>(w, "SaveDialog");
    EXPECT_EQ(save->Filter(), QStringLiteral("JPEG-Datei (*.jpg)|*.jpg"));
    EXPECT_EQ(save->Title(), QStringLiteral("Speichern"));
    EXPECT_EQ(Get<QTabWidget>(w, "Pages")->tabText(1), QStringLiteral("Kamera"));
    // Components are not nested in the file: the SizeMenu inside PopupMenu is ignored.
    EXPECT_EQ(Get<QMenu>(w, "SizeMenu")->title(), QStringLiteral("Grösse"));
    EXPECT_EQ(Get<QToolButton>(w, "SpeedButton1")->toolTip(), QStringLiteral("Web"));
}

TEST(FileDialogFilter, LayoutNotationToQt) {
    TOcFileDialog d(TOcFileDialog::TKind::Save, QStringLiteral("SaveDialog"), nullptr);
    d.SetFilter(QStringLiteral("JPEG File (*.jpg)|*.jpg"));
    EXPECT_EQ(d.QtFilter(), QStringLiteral("JPEG File (*.jpg)"));
    d.SetFilter(QStringLiteral("Pictures|*.jpg;*.jpeg|All (*.*)|*.*"));
    EXPECT_EQ(d.QtFilter(), QStringLiteral("Pictures (*.jpg *.jpeg);;All (*.*)"));
    d.SetFilter(QString());
    EXPECT_EQ(d.QtFilter(), QString());
}

TEST_F(TranslatorFixture, TextsStayPlainText) {
    QWidget* w = AddForm("foTest");
    const QString hostile = QStringLiteral("<img src=\"/etc/passwd\"><b>bold</b>");
    Apply(R"(<T><foTest><Label1 Caption='&lt;b&gt;bold&lt;/b&gt;'/>
      <Button1 Hint='&lt;img src="/etc/passwd"&gt;&lt;b&gt;bold&lt;/b&gt;'/></foTest></T>)");
    auto* label = Get<QLabel>(w, "Label1");
    EXPECT_EQ(label->text(), QStringLiteral("<b>bold</b>"));
    EXPECT_EQ(label->textFormat(), Qt::PlainText);
    // The tool tip is escaped so it shows the characters themselves.
    const QString tip = Get<QPushButton>(w, "Button1")->toolTip();
    QTextDocument doc;
    doc.setHtml(tip);
    EXPECT_EQ(doc.toPlainText(), hostile);
    EXPECT_FALSE(tip.contains(QStringLiteral("<img")));
}

TEST_F(TranslatorFixture, OneFaultySiblingDoesNotStopTheOthers) {
    QWidget* w = AddForm("foTest");
    Apply(R"(<T><foTest>
      <Label1 Width='1e9' Caption='label ok' Visible='maybe' Height='x'/>
      <NoSuchComponent Caption='x'><Label1 Caption='not nested'/></NoSuchComponent>
      <Button1><Caption>child text for a text property: ignored</Caption></Button1>
      <Edit1 Text='edit ok' NoSuchProperty='x'/>
      <Spin1 Value='12'/>
    </foTest><foNoWindow Caption='x'/></T>)");
    EXPECT_EQ(Get<QLabel>(w, "Label1")->text(), QStringLiteral("label ok"));
    EXPECT_EQ(Get<QPushButton>(w, "Button1")->text(), QStringLiteral("Button"));
    EXPECT_EQ(Get<QLineEdit>(w, "Edit1")->text(), QStringLiteral("edit ok"));
    EXPECT_EQ(Get<QSpinBox>(w, "Spin1")->value(), 12);
}

namespace {
// A component of our own that publishes properties by Q_PROPERTY, and one whose object
// property fails.
class TTestComponent : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString Text MEMBER text)
    Q_PROPERTY(int Count MEMBER count)
    Q_PROPERTY(bool StayOnTop MEMBER stayOnTop)
    Q_PROPERTY(Mode Kind MEMBER kind)
    Q_PROPERTY(QString lowerCase MEMBER lower)
public:
    enum Mode { mdOne, mdTwo, mdThree };
    Q_ENUM(Mode)
    using QObject::QObject;
    QString text, lower;
    int count = 0;
    bool stayOnTop = true;
    Mode kind = mdOne;
};
class TFailing : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
};
} // namespace

TEST_F(TranslatorFixture, OwnComponentsPublishUpperCaseQProperties) {
    QWidget* w = AddForm("foTest");
    auto* c = new TTestComponent(w);
    c->setObjectName(QStringLiteral("ProgressDlg"));
    Apply("<T><foTest><ProgressDlg Text='Fortschritt' Count='7' StayOnTop='False' Kind='mdThree'"
          " lowerCase='x'/></foTest></T>");
    EXPECT_EQ(c->text, QStringLiteral("Fortschritt"));
    EXPECT_EQ(c->count, 7);
    EXPECT_FALSE(c->stayOnTop);
    EXPECT_EQ(c->kind, TTestComponent::mdThree);
    EXPECT_TRUE(c->lower.isEmpty());
    Apply("<T><foTest><ProgressDlg Kind='1' Count='many'/></foTest></T>");
    EXPECT_EQ(c->kind, TTestComponent::mdTwo);
    EXPECT_EQ(c->count, -1);
    Apply("<T><foTest><ProgressDlg Kind='7'/><ProgressDlg Kind='mdNone'/></foTest></T>");
    EXPECT_EQ(c->kind, TTestComponent::mdTwo);
    // Qt's own (lower-case) properties are not reachable.
    Apply("<T><foTest StyleSheet='QWidget{background:red}' WindowTitle='x'/></T>");
    EXPECT_TRUE(w->styleSheet().isEmpty());
}

TEST_F(TranslatorFixture, AnErrorInsideAnElementEndsOnlyThatElement) {
    QWidget* w = AddForm("foTest");
    auto* failing = new TFailing(w);
    failing->setObjectName(QStringLiteral("Failing"));
    ocelis::TPropAdapter boom;
    boom.Type = ocelis::TPropType::Object;
    boom.GetObject = [](QObject*) -> std::shared_ptr<QObject> { throw ocelis::EPropError("boom"); };
    ocelis::TPropRegistry::Instance().Register(TFailing::staticMetaObject, "Boom", boom);
    ocelis::TPropAdapter caption;
    caption.Type = ocelis::TPropType::Text;
    caption.SetText = [](QObject* o, const QString& s) { o->setProperty("caption", s); };
    ocelis::TPropRegistry::Instance().Register(TFailing::staticMetaObject, "Caption", caption);
    Apply(R"(<T><foTest>
      <Failing Caption='before'><Boom/><Caption>never</Caption></Failing>
      <Label1 Caption='sibling'/>
    </foTest></T>)");
    EXPECT_EQ(failing->property("caption").toString(), QStringLiteral("before"));
    EXPECT_EQ(Get<QLabel>(w, "Label1")->text(), QStringLiteral("sibling"));
}

TEST_F(TranslatorFixture, RootNameAndAttributesDoNotMatter) {
    QWidget* w = AddForm("foTest");
    Apply("<Anything lang='de' Caption='root'><FOTEST Caption='Titel'/></Anything>");
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Titel"));
}

TEST_F(TranslatorFixture, ApplyToFormUsesTheNameUpToTheFirstUnderscore) {
    Apply("<T><foViewer Caption='Betrachter'><Label1 Caption='translated'/></foViewer></T>");
    QWidget* later = AddForm("foViewer_3");
    EXPECT_NE(later->windowTitle(), QStringLiteral("Betrachter"));
    translator->ApplyToForm(later);
    EXPECT_EQ(later->windowTitle(), QStringLiteral("Betrachter"));
    EXPECT_EQ(Get<QLabel>(later, "Label1")->text(), QStringLiteral("translated"));
}

// A language switch reaches every open window of a kind, not only the first, and a window of
// that kind opened later gets the same language.
TEST_F(TranslatorFixture, LanguageSwitchReachesEveryOpenWindowOfAKind) {
    QWidget* viewers[] = {AddForm("foViewer"), AddForm("foViewer_1")};
    QWidget* creators[] = {AddForm("foAviCreator"), AddForm("foAviCreator_2")};
    QWidget* other = AddForm("foViewerList");
    const struct {
        const char* file;
        const char* viewer;
        const char* label;
        const char* creator;
    } languages[] = {{"<T><FOVIEWER Caption='Betrachter'><Label1 Caption='Bild'/></FOVIEWER>"
                      "<foAviCreator Caption='AVI erstellen'/></T>",
                      "Betrachter", "Bild", "AVI erstellen"},
                     {"<T><foViewer Caption='Visionneuse'><Label1 Caption='Image'/></foViewer>"
                      "<foAviCreator Caption='Créer un AVI'/></T>",
                      "Visionneuse", "Image", "Créer un AVI"}};
    for (const auto& lang : languages) {
        SCOPED_TRACE(lang.file);
        Apply(lang.file);
        for (QWidget* w : viewers) {
            EXPECT_EQ(w->windowTitle(), QString::fromUtf8(lang.viewer));
            EXPECT_EQ(Get<QLabel>(w, "Label1")->text(), QString::fromUtf8(lang.label));
        }
        for (QWidget* w : creators)
            EXPECT_EQ(w->windowTitle(), QString::fromUtf8(lang.creator));
        EXPECT_NE(other->windowTitle(), QString::fromUtf8(lang.viewer));
        QWidget* later = AddForm("foAviCreator_3");
        translator->ApplyToForm(later);
        EXPECT_EQ(later->windowTitle(), QString::fromUtf8(lang.creator));
    }
    // Opened under the first language, it followed the switch to the second.
    EXPECT_EQ(forms[5]->windowTitle(), QStringLiteral("Créer un AVI"));
}

TEST_F(TranslatorFixture, UnreadableOrMalformedFilesKeepOrPartlyReplaceTheDocument) {
    Apply("<T><foViewer Caption='first'/></T>");
    translator->ApplyLanguageFile(WriteFile("missing-dir", "") + "/nope.xml");
    QWidget* a = AddForm("foViewer");
    translator->ApplyToForm(a);
    EXPECT_EQ(a->windowTitle(), QStringLiteral("first"));

    // Malformed: nothing is applied now; later windows get the part read before the error.
    QWidget* open = AddForm("foMire");
    translator->ApplyLanguageFile(
        WriteFile("broken.xml", "<T><foMire Caption='mosaic'/><foViewer Caption='second'/><oops"));
    EXPECT_NE(open->windowTitle(), QStringLiteral("mosaic"));
    QWidget* b = AddForm("foViewer_1");
    translator->ApplyToForm(b);
    EXPECT_EQ(b->windowTitle(), QStringLiteral("second"));
}

TEST_F(TranslatorFixture, HiddenWindowsStayHidden) {
    main->setProperty("ocelisKeepHidden", true);
    QWidget* w = AddForm("foTest");
    Apply("<T><foCamMain Visible='1'/><foTest Visible='True'/></T>");
    EXPECT_FALSE(main->isVisible());
    EXPECT_TRUE(w->isVisible());
}

TEST_F(TranslatorFixture, OtherWindowsAreNotOwnedByTheirParentWindow) {
    QWidget* outer = AddForm("foOuter");
    auto* inner = new QWidget(outer, Qt::Window);
    inner->setObjectName(QStringLiteral("foInner"));
    auto* innerLabel = new QLabel(QStringLiteral("inner"), inner);
    innerLabel->setObjectName(QStringLiteral("InnerLabel"));
    Apply("<T><foOuter><InnerLabel Caption='reached'/></foOuter></T>");
    EXPECT_EQ(innerLabel->text(), QStringLiteral("inner"));
}

TEST_F(TranslatorFixture, HostileFilesLeaveEveryComponentUsable) {
    QWidget* w = AddForm("foTest");
    std::string deep = "<T><foTest>";
    for (int i = 0; i < 1500; ++i)
        deep += "<Label1><Font>";
    Apply(deep);
    std::string wide = "<T><foTest><FilesBox><Items>";
    for (int i = 0; i < 2000; ++i)
        wide += "<L Index='" + std::to_string(i % 5) + "' Value='v'/>";
    wide += "</Items></FilesBox><StatusBar><Panels><P Index='0' Width='2147483647'/></Panels>"
            "</StatusBar><Label1><Font Size='-5' Name=''/></Label1>"
            "<foTest Caption='x'/><Spin1 Value='99999999999'/></foTest></T>";
    Apply(wide);
    EXPECT_EQ(Get<QListWidget>(w, "FilesBox")->count(), 3);
    EXPECT_EQ(Get<QListWidget>(w, "FilesBox")->item(2)->text(), QStringLiteral("v"));
    EXPECT_EQ(Get<TOcStatusBar>(w, "StatusBar")->Panels()->Item(0)->Width(), 32767);
    // Beyond 32 bits is no whole number: -1, which the spin box clamps to its minimum.
    EXPECT_EQ(Get<QSpinBox>(w, "Spin1")->value(), 0);
    EXPECT_GT(Get<QLabel>(w, "Label1")->font().pointSize(), 0);
    w->show();
    EXPECT_FALSE(w->grab().isNull());
}

#include "TranslatorTest.moc"

TEST_F(TranslatorFixture, OversizedTextsAreIgnoredAndOversizedFilesRefused) {
    QWidget* w = AddForm("foTest");
    const struct {
        size_t size;
        bool applied;
    } cases[] = {{TOcTranslator::kMaxTextSize, true}, {TOcTranslator::kMaxTextSize + 1, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        ocelis::ResetMessageTexts();
        w->setWindowTitle(QStringLiteral("before"));
        const std::string text(c.size, 't');
        Apply("<T><foTest Caption='" + text + "'><FilesBox><Items><L Index='0' Value='" + text +
              "'/></Items></FilesBox></foTest><foCamMain><Variables><V Name='EmptyCat' Value='" +
              text + "'/></Variables></foCamMain></T>");
        EXPECT_EQ(w->windowTitle().size() == qsizetype(c.size), c.applied);
        EXPECT_EQ(Get<QListWidget>(w, "FilesBox")->item(0)->text().size() == qsizetype(c.size),
                  c.applied);
        EXPECT_EQ(EmptyCat.size() == c.size, c.applied);
    }

    // A file over the bound is not read: the document applied before stays.
    Apply("<T><foViewer Caption='kept'/></T>");
    const std::string padding(TOcTranslator::kMaxFileSize, ' ');
    translator->ApplyLanguageFile(
        WriteFile("huge.xml", "<T><foViewer Caption='huge'/></T>" + padding));
    QWidget* viewer = AddForm("foViewer");
    translator->ApplyToForm(viewer);
    EXPECT_EQ(viewer->windowTitle(), QStringLiteral("kept"));
}

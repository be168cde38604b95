#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "catalogue/XmlDocument.h"

namespace {

std::string Saved(TOcSimpleXml& doc) {
    return doc.SaveToString();
}

// Parses and returns the error text, or "" when the parse succeeds.
std::string ParseError(std::string_view bytes) {
    TOcSimpleXml doc;
    try {
        doc.LoadFromString(bytes);
    } catch (const TOcSimpleXmlInvalid& e) {
        return e.what();
    }
    return {};
}

std::string ElementText(std::string_view inner) {
    TOcSimpleXml doc;
    doc.LoadFromString("<a>" + std::string(inner) + "</a>");
    return doc.Root()->Value();
}

constexpr const char* Decl = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";

} // namespace

// ---- writer bytes ------------------------------------------------------------

TEST(XmlWriter, EmptyRootIsDeclarationAndShortTag) {
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    EXPECT_EQ(Saved(doc), std::string(Decl) + "<Options/>\r\n");
    // The default declaration was added to the prolog and is written once.
    EXPECT_EQ(doc.Prolog().Count(), 1);
    EXPECT_EQ(Saved(doc), std::string(Decl) + "<Options/>\r\n");
}

TEST(XmlWriter, ExampleDocumentBytes) {
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    doc.Root()->Items().Add("SavePath", "C:\\A&B");
    doc.Root()->Items().Add("Cams", "");
    EXPECT_EQ(Saved(doc), std::string(Decl) + "<Options>\r\n"
                                              " <SavePath>C:\\A&#38;B</SavePath>\r\n"
                                              " <Cams/>\r\n"
                                              "</Options>\r\n");
}

TEST(XmlWriter, IndentsOneSpacePerLevelAndSkipsValueWhenChildrenExist) {
    TOcSimpleXml doc;
    TOcSimpleXmlElem* root = doc.Root();
    root->SetName("r");
    root->SetValue("hidden");
    TOcSimpleXmlElem* a = root->Items().Add("a", "");
    TOcSimpleXmlElem* b = a->Items().Add("b", "");
    b->Items().Add("c", "x");
    b->Properties().Add("n", int64_t{-5});
    EXPECT_EQ(Saved(doc),
              std::string(Decl) +
                  "<r>\r\n <a>\r\n  <b n=\"-5\">\r\n   <c>x</c>\r\n  </b>\r\n </a>\r\n</r>\r\n");
}

TEST(XmlWriter, EscapesTheFiveCharactersOnly) {
    TOcSimpleXml doc;
    doc.Root()->SetName("r");
    doc.Root()->Properties().Add("v", std::string("\"&'<>\t\x01\xe9"));
    doc.Root()->SetValue("a<b>c");
    EXPECT_EQ(Saved(doc), std::string(Decl) +
                              "<r v=\"&#34;&#38;&#39;&#60;&#62;\t\x01\xe9\">a&#60;b&#62;c</r>\r\n");
}

TEST(XmlWriter, BooleansAndPrefixedProperties) {
    TOcSimpleXml doc;
    doc.Root()->SetName("r");
    doc.Root()->Items().Add("t", true);
    doc.Root()->Items().Add("f", false);
    doc.Root()->Properties().Add("p", "1")->SetNameSpace("ns");
    EXPECT_EQ(Saved(doc),
              std::string(Decl) + "<r ns:p=\"1\">\r\n <t>-1</t>\r\n <f>0</f>\r\n</r>\r\n");
}

TEST(XmlWriter, OtherNodeKinds) {
    TOcSimpleXml doc;
    auto header = std::make_unique<TOcSimpleXmlElemHeader>();
    header->Standalone = true;
    header->Encoding.clear();
    doc.Prolog().Add(std::move(header));
    auto doctype = std::make_unique<TOcSimpleXmlElemDocType>();
    doctype->SetValue("lang");
    doc.Prolog().Add(std::move(doctype));
    auto sheet = std::make_unique<TOcSimpleXmlElemSheet>();
    sheet->Properties().Add("href", "a.css");
    doc.Prolog().Add(std::move(sheet));
    doc.Prolog().Add(std::make_unique<TOcSimpleXmlElemComment>(" top "));
    TOcSimpleXmlElem* root = doc.Root();
    root->SetName("r");
    root->Items().Add(std::make_unique<TOcSimpleXmlElemText>("t&x"));
    root->Items().Add(std::make_unique<TOcSimpleXmlElemText>(""));
    root->Items().Add(std::make_unique<TOcSimpleXmlElemCData>("<raw&>"));
    root->Items().Add(std::make_unique<TOcSimpleXmlElemComment>("c<"));
    EXPECT_EQ(Saved(doc), "<?xml version=\"1.0\" standalone=\"yes\"?>\r\n"
                          "<!DOCTYPE lang>\r\n"
                          "<?xml-stylesheet href=\"a.css\"?>\r\n"
                          "<!-- top -->\r\n"
                          "<r>\r\n t&#38;x\r\n <![CDATA[<raw&>]]>\r\n <!--c<-->\r\n</r>\r\n");
}

// A plain reference for the escaping: byte by byte.
std::string NaiveEscape(std::string_view text) {
    std::string out;
    for (const char c : text) {
        if (c == '"' || c == '&' || c == '\'' || c == '<' || c == '>')
            out += "&#" + std::to_string(static_cast<unsigned char>(c)) + ";";
        else
            out.push_back(c);
    }
    return out;
}

TEST(XmlWriter, EscapingLongTextsAtEveryPosition) {
    // Special bytes at every offset of the eight-byte steps, also at the very end, next to
    // bytes that differ from them in one bit, and NUL bytes.
    const std::string specials = "\"&'<>";
    const std::string neighbours = std::string("#%(=?\0\xa2\xbc", 8);
    for (size_t len = 0; len <= 40; ++len) {
        for (size_t at = 0; at < len; ++at) {
            for (const char sp : specials) {
                std::string text;
                for (size_t i = 0; i < len; ++i)
                    text.push_back(neighbours[(i * 3 + len) % neighbours.size()]);
                text[at] = sp;
                if (at + 9 < len)
                    text[at + 9] = specials[(at + len) % specials.size()];
                std::string out = "prefix";
                ocelis::XmlEscapeTo(out, text);
                ASSERT_EQ(out, "prefix" + NaiveEscape(text)) << "len " << len << " at " << at;
            }
        }
    }
    std::string all;
    for (int c = 0; c < 256; ++c)
        all.push_back(static_cast<char>(c));
    std::string out;
    ocelis::XmlEscapeTo(out, all + all);
    EXPECT_EQ(out, NaiveEscape(all + all));
}

// Writes itself instead of its (absent) children, as the catalogue's writer does.
class SelfWritingElem final : public TOcSimpleXmlElemClassic {
public:
    explicit SelfWritingElem(std::string text)
        : TOcSimpleXmlElemClassic("self"), FText(std::move(text)) {}
    void Write(std::string& out, std::string_view indent) const override {
        out.append(indent);
        out.append(FText);
        out.append("\r\n");
    }

private:
    std::string FText;
};

TEST(XmlWriter, LargeMixedDocumentMatchesAPlainRendering) {
    // Enough output to grow the buffer many times, with every kind of node in between.
    TOcSimpleXml doc;
    TOcSimpleXmlElem* root = doc.Root();
    root->SetName("r");
    std::string expected = std::string(Decl) + "<r>\r\n";
    for (int i = 0; i < 3000; ++i) {
        const std::string v = "value " + std::to_string(i) + (i % 3 ? " & <more> 'text'" : "");
        TOcSimpleXmlElem* e = root->Items().Add("e" + std::to_string(i % 7), v);
        e->Properties().Add("p", v + "\"");
        std::string line = " <e" + std::to_string(i % 7) + " p=\"" + NaiveEscape(v + "\"") + "\">" +
                           NaiveEscape(v) + "</e" + std::to_string(i % 7) + ">\r\n";
        if (i % 100 == 0) {
            // A child list makes the value disappear from the output.
            e->Items().Add(std::make_unique<SelfWritingElem>(std::string(i, 'x')));
            e->Items().Add(std::make_unique<TOcSimpleXmlElemText>("t<" + v));
            e->Items().Add(std::make_unique<TOcSimpleXmlElemComment>("c&" + v));
            TOcSimpleXmlElem* inner = e->Items().Add("in", "");
            inner->Properties().Add("q", std::string(i, '<'));
            line = " <e" + std::to_string(i % 7) + " p=\"" + NaiveEscape(v + "\"") + "\">\r\n" +
                   "  " + std::string(i, 'x') + "\r\n" + "  " + NaiveEscape("t<" + v) + "\r\n" +
                   "  <!--c&" + v + "-->\r\n" + "  <in q=\"" + NaiveEscape(std::string(i, '<')) +
                   "\"/>\r\n" + " </e" + std::to_string(i % 7) + ">\r\n";
        }
        expected += line;
    }
    expected += "</r>\r\n";
    const std::string saved = doc.SaveToString();
    EXPECT_EQ(saved.size(), expected.size());
    EXPECT_EQ(saved, expected);
    // An element written on its own appends to what the string already holds.
    std::string out = "before\n";
    root->Items().Items(1)->Write(out, "\t");
    const std::string one = "value 1 & <more> 'text'";
    EXPECT_EQ(out, "before\n\t<e1 p=\"" + NaiveEscape(one + "\"") + "\">" + NaiveEscape(one) +
                       "</e1>\r\n");
}

// ---- reader acceptance and error texts --------------------------------------

TEST(XmlReader, ReadsPrologAndTree) {
    TOcSimpleXml doc;
    doc.LoadFromString(
        " \t\r\n<!-- hi -->\r\n<?xml version=\"1.1\" encoding='utf-8' standalone=\"yes\"?>"
        "<!DOCTYPE  x [ <!ENTITY a \">\"> ] >"
        "<?xml-stylesheet href=\"s.css\"?>"
        "<root a=\"1\" b='two'><c/><d x=\"y\" /><e>t</e></root> trailing junk <<<");
    ASSERT_EQ(doc.Prolog().Count(), 4);
    EXPECT_EQ(doc.Prolog().Items(0)->Kind(), TOcSimpleXmlKind::Comment);
    EXPECT_EQ(doc.Prolog().Items(0)->Value(), " hi ");
    auto* header = dynamic_cast<TOcSimpleXmlElemHeader*>(doc.Prolog().Items(1));
    ASSERT_NE(header, nullptr);
    EXPECT_EQ(header->Version, "1.1");
    EXPECT_EQ(header->Encoding, "utf-8");
    EXPECT_TRUE(header->Standalone);
    EXPECT_EQ(doc.Prolog().Items(2)->Kind(), TOcSimpleXmlKind::DocType);
    EXPECT_EQ(doc.Prolog().Items(2)->Value(), "x [ <!ENTITY a \">\"> ]");
    EXPECT_EQ(doc.Prolog().Items(3)->Kind(), TOcSimpleXmlKind::Sheet);
    EXPECT_EQ(doc.Prolog().Items(3)->Properties().Value("href"), "s.css");
    EXPECT_EQ(doc.Prolog().Items(1)->Parent(), nullptr);

    TOcSimpleXmlElem* root = doc.Root();
    EXPECT_EQ(root->Name(), "root");
    EXPECT_EQ(root->Properties().Value("a"), "1");
    EXPECT_EQ(root->Properties().Value("b"), "two");
    ASSERT_EQ(root->Items().Count(), 3);
    EXPECT_EQ(root->Items().Items(1)->Properties().Value("x"), "y");
    EXPECT_EQ(root->Items().Items(2)->Value(), "t");
    EXPECT_EQ(root->Items().Items(2)->Parent(), root);
}

TEST(XmlReader, StandaloneOnlyForExactYes) {
    TOcSimpleXml doc;
    doc.LoadFromString("<?xml version=\"1.0\" standalone=\"YES\"?><a/>");
    auto* header = dynamic_cast<TOcSimpleXmlElemHeader*>(doc.Prolog().Items(0));
    ASSERT_NE(header, nullptr);
    EXPECT_FALSE(header->Standalone);
    EXPECT_EQ(header->Encoding, "iso-8859-1");
}

TEST(XmlReader, EmptyOrPrologOnlyGivesUnnamedRoot) {
    for (const char* text : {"", "  \r\n", "<?xml version=\"1.0\"?>\r\n<!-- only -->"}) {
        TOcSimpleXml doc;
        doc.LoadFromString(text);
        EXPECT_EQ(doc.Root()->Name(), "") << text;
        EXPECT_EQ(doc.Root()->Items().Count(), 0) << text;
    }
}

TEST(XmlReader, LoadClearsPreviousContent) {
    TOcSimpleXml doc;
    doc.LoadFromString("<!-- c --><a><b/></a>");
    doc.LoadFromString("<z/>");
    EXPECT_EQ(doc.Prolog().Count(), 0);
    EXPECT_EQ(doc.Root()->Name(), "z");
    EXPECT_EQ(doc.Root()->Items().Count(), 0);
}

TEST(XmlReader, NameSpacePrefixesAreKeptApart) {
    TOcSimpleXml doc;
    doc.LoadFromString("<ns:root xl:href=\"u\"/>");
    EXPECT_EQ(doc.Root()->Name(), "root");
    EXPECT_EQ(doc.Root()->NameSpace(), "ns");
    const TOcSimpleXmlProp* p = doc.Root()->Properties().Items(0);
    EXPECT_EQ(p->Name(), "href");
    EXPECT_EQ(p->NameSpace(), "xl");
    EXPECT_EQ(p->Value(), "u");
}

TEST(XmlReader, ExactErrorTexts) {
    EXPECT_EQ(ParseError("\xef\xbb\xbf<a/>"), "Invalid Document: Unexpected text in file prolog.");
    EXPECT_EQ(ParseError("x<a/>"), "Invalid Document: Unexpected text in file prolog.");
    EXPECT_EQ(ParseError("< a/>"), "Invalid XML Element: Malformed tag found (no valid name)");
    EXPECT_EQ(ParseError("<a/x"), "Invalid XML Element: Expected end of tag but x found.");
    EXPECT_EQ(ParseError("<a b =\"c\"/>"),
              "Invalid XML Element: Unexpected character in properties declaration (  found).");
    EXPECT_EQ(ParseError("<a b.c=\"d\"/>"),
              "Invalid XML Element: Unexpected character in properties declaration (. found).");
    EXPECT_EQ(ParseError("<a b= \"c\"/>"), "Invalid XML Element: Unexpected character in property "
                                           "declaration. Expecting \" or ' but   found.");
    EXPECT_EQ(ParseError("<a b=c/>"), "Invalid XML Element: Unexpected character in property "
                                      "declaration. Expecting \" or ' but c found.");
    EXPECT_EQ(ParseError("<a><b></a>"),
              "Invalid XML Element: Erroneous end of tag, expecting </b> but </a> found.");
    EXPECT_EQ(ParseError("<a></A>"),
              "Invalid XML Element: Erroneous end of tag, expecting </a> but </A> found.");
    EXPECT_EQ(ParseError("<a></a >"),
              "Invalid XML Element: Erroneous end of tag, expecting </a> but </a > found.");
    EXPECT_EQ(ParseError("<a><b>text"),
              "Invalid XML Element: Erroneous end of tag, expecting </b> but </> found.");
    EXPECT_EQ(ParseError("<a>"),
              "Invalid XML Element: Erroneous end of tag, expecting </a> but </> found.");
    EXPECT_EQ(ParseError("<a><!-- open"), "Invalid Comment: Unexpected end of data");
    EXPECT_EQ(ParseError("<a><![CDATA[ open"), "Invalid CDATA: Unexpected end of data");
    EXPECT_EQ(ParseError("<a><!-x--></a>"), "Invalid Comment: Expected - Found x");
    EXPECT_EQ(ParseError("<a><![CDATX[x]]></a>"), "Invalid CDATA: Expected A Found X");
    EXPECT_EQ(ParseError("<?xmm version=\"1.0\"?>"), "Invalid Header: Expected l Found m");
    EXPECT_EQ(ParseError("<?xml version=\"1.0\"?x"), "Invalid Header: Expected > Found x");
    EXPECT_EQ(ParseError("<!DOCTYPX a>"), "Invalid Header: Expected E Found X");
    EXPECT_EQ(ParseError("<!DOCTYPE a [ > ]"), "Invalid Comment: Unexpected end of data");
    EXPECT_EQ(ParseError("<?xml version=\"1.0\""), "Invalid Comment: Unexpected end of data");
    EXPECT_EQ(ParseError("<!-- open"), "Invalid Comment: Unexpected end of data");
}

TEST(XmlReader, ErrorsAreTheirOwnExceptionClass) {
    TOcSimpleXml doc;
    EXPECT_THROW(doc.LoadFromString("<a>"), TOcSimpleXmlInvalid);
    try {
        doc.LoadFromString("<a>");
    } catch (const std::runtime_error& e) {
        EXPECT_NE(std::string(e.what()).find("Erroneous end of tag"), std::string::npos);
    }
}

TEST(XmlReader, DeepNestingFailsCleanly) {
    const int limit = TOcSimpleXml::kMaxDepth;
    std::string ok;
    for (int i = 0; i < limit; ++i)
        ok += "<a>";
    for (int i = 0; i < limit; ++i)
        ok += "</a>";
    TOcSimpleXml doc;
    ASSERT_NO_THROW(doc.LoadFromString(ok));
    // The deepest chain reads and writes back.
    const std::string saved = doc.SaveToString();
    TOcSimpleXml again;
    EXPECT_NO_THROW(again.LoadFromString(saved));

    std::string tooDeep = "<a>" + ok + "</a>";
    EXPECT_THROW(doc.LoadFromString(tooDeep), TOcSimpleXmlInvalid);
    // Far beyond any stack: still a clean error, no crash.
    std::string hostile;
    for (int i = 0; i < 1000000; ++i)
        hostile += "<a>";
    EXPECT_EQ(ParseError(hostile),
              "Invalid XML Element: Nesting deeper than " + std::to_string(limit) + " levels.");
}

TEST(XmlReader, ContentKindsAndValueRule) {
    TOcSimpleXml doc;
    doc.LoadFromString(
        "<r><one>t</one><two>a<b/>c</two><cm><!-- x --></cm><cd><![CDATA[ <raw> &amp; ]]></cd>"
        "<nested><x/></nested></r>");
    const TOcSimpleXmlElems& items = doc.Root()->Items();
    EXPECT_EQ(items.ItemNamed("one")->Value(), "t");
    EXPECT_EQ(items.ItemNamed("one")->Items().Count(), 0);
    TOcSimpleXmlElem* two = items.ItemNamed("two");
    EXPECT_EQ(two->Value(), "");
    ASSERT_EQ(two->Items().Count(), 3);
    EXPECT_EQ(two->Items().Items(0)->Kind(), TOcSimpleXmlKind::Text);
    EXPECT_EQ(two->Items().Items(0)->Value(), "a");
    EXPECT_EQ(two->Items().Items(2)->Value(), "c");
    TOcSimpleXmlElem* cm = items.ItemNamed("cm");
    EXPECT_EQ(cm->Value(), "");
    ASSERT_EQ(cm->Items().Count(), 1);
    EXPECT_EQ(cm->Items().Items(0)->Kind(), TOcSimpleXmlKind::Comment);
    TOcSimpleXmlElem* cd = items.ItemNamed("cd");
    EXPECT_EQ(cd->Value(), "");
    ASSERT_EQ(cd->Items().Count(), 1);
    EXPECT_EQ(cd->Items().Items(0)->Value(), " <raw> &amp; ");
    EXPECT_EQ(cd->Items().Items(0)->Kind(), TOcSimpleXmlKind::CData);
}

TEST(XmlReader, CommentAndCDataEdgeDashes) {
    TOcSimpleXml doc;
    doc.LoadFromString("<r><!-- a - b -- c --><![CDATA[x ] y ]] z]]></r>");
    ASSERT_EQ(doc.Root()->Items().Count(), 2);
    EXPECT_EQ(doc.Root()->Items().Items(0)->Value(), " a - b -- c ");
    EXPECT_EQ(doc.Root()->Items().Items(1)->Value(), "x ] y ]] z");
}

// A pair of dashes (or brackets) is read as one step: when ">" does not follow it, both
// belong to the text, and the search for the end goes on after them.
TEST(XmlReader, CommentAndCDataCloseOnlyAfterAWholePair) {
    struct Case {
        const char* input;
        const char* text; // the single child's text, or null when the parse fails
        const char* error;
    };
    const Case cases[] = {
        {"<a><!-- x ---></a>", nullptr, "Invalid Comment: Unexpected end of data"},
        {"<a><!-- x --->--></a>", " x --->", nullptr},
        {"<a><!-- x ----></a>", " x --", nullptr},
        {"<a><!-- x - --></a>", " x - ", nullptr},
        {"<a><!----></a>", "", nullptr},
        {"<a><!---></a>", nullptr, "Invalid Comment: Unexpected end of data"},
        {"<a><!-- x --", nullptr, "Invalid Comment: Unexpected end of data"},
        {"<a><![CDATA[x]]]></a>", nullptr, "Invalid CDATA: Unexpected end of data"},
        {"<a><![CDATA[x]]]>]]></a>", "x]]]>", nullptr},
        {"<a><![CDATA[x]]]]></a>", "x]]", nullptr},
        {"<a><![CDATA[x]]></a>", "x", nullptr},
        {"<a><![CDATA[]]></a>", "", nullptr},
        {"<a><![CDATA[x]", nullptr, "Invalid CDATA: Unexpected end of data"},
        {"<!-- x ---><a/>", nullptr, "Invalid Comment: Unexpected end of data"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        if (c.error) {
            EXPECT_EQ(ParseError(c.input), c.error);
            continue;
        }
        TOcSimpleXml doc;
        ASSERT_NO_THROW(doc.LoadFromString(c.input));
        ASSERT_EQ(doc.Root()->Items().Count(), 1);
        EXPECT_EQ(doc.Root()->Items().Items(0)->Value(), c.text);
    }
}

// ---- decoding ------------------------------------------------------------------

TEST(XmlDecoding, ReferencesInElementText) {
    EXPECT_EQ(ElementText("&amp;"), "&amp;");
    EXPECT_EQ(ElementText("&quot;"), "&quot;");
    EXPECT_EQ(ElementText("&lt;&LT;&gt;&Gt;"), "<<>>");
    EXPECT_EQ(ElementText("a&#169;b"), "ab");
    EXPECT_EQ(ElementText("&#233;&#232;"), "\xe9\xe8");
    EXPECT_EQ(ElementText("&#65;&#100;&#101;&#0;x").size(), 4u);
    EXPECT_EQ(ElementText("&#65;&#100;&#101;"), "Ad");
    EXPECT_EQ(ElementText("&#99999999999999999999999;z"), "z");
    EXPECT_EQ(ElementText("&#x41;"), "&#x41;");
    EXPECT_EQ(ElementText("a & b"), "a & b");
    EXPECT_EQ(ElementText("&abc"), "&abc");
    EXPECT_EQ(ElementText("&#;"), "&#;");
    EXPECT_EQ(ElementText("&#38;#60;"), "<"); // decoded twice
    EXPECT_EQ(ElementText("&#34;&#38;&#39;&#60;&#62;"), "\"&'<>");
}

TEST(XmlDecoding, WhiteSpaceFolding) {
    EXPECT_EQ(ElementText("a\r\n   b"), "a\rb");
    EXPECT_EQ(ElementText("a    b\t\tc"), "a b\t\tc");
    EXPECT_EQ(ElementText("  lead and trail  "), "lead and trail ");
    EXPECT_EQ(ElementText("x\n\n\ny"), "x\ny");
}

TEST(XmlDecoding, PropertyValuesAreNotFolded) {
    TOcSimpleXml doc;
    doc.LoadFromString("<a v=\"x  \r\n y&#38;&amp;&lt;\" w='it\"s'/>");
    EXPECT_EQ(doc.Root()->Properties().Value("v"), "x  \r\n y&&amp;<");
    EXPECT_EQ(doc.Root()->Properties().Value("w"), "it\"s");
}

TEST(XmlDecoding, DecoderDirectly) {
    EXPECT_EQ(ocelis::XmlDecode("a  b", false), "a  b");
    EXPECT_EQ(ocelis::XmlDecode("a  b", true), "a b");
    EXPECT_EQ(ocelis::XmlDecode("&#32; x", true), " x");
    EXPECT_EQ(ocelis::XmlDecode("tail&", false), "tail&");
    EXPECT_EQ(ocelis::XmlDecode("&#12", false), "&#12");
}

TEST(XmlRoundTrip, SpecialCharactersSurvive) {
    const std::string nasty = "A&B \"q\" 'a' <t> \xe9\x01";
    TOcSimpleXml doc;
    doc.Root()->SetName("r");
    doc.Root()->Properties().Add("p", nasty);
    doc.Root()->Items().Add("e", nasty);
    TOcSimpleXml back;
    back.LoadFromString(doc.SaveToString());
    EXPECT_EQ(back.Root()->Properties().Value("p"), nasty);
    EXPECT_EQ(back.Root()->Items().Value("e"), nasty);
}

// ---- lookups and value readers ------------------------------------------------

TEST(XmlLookup, CaseInsensitiveLastWins) {
    TOcSimpleXml doc;
    doc.LoadFromString("<r k=\"1\" K=\"2\"><Cams/><Cam n=\"1\"/><Cam n=\"2\"/></r>");
    const TOcSimpleXmlElems& items = doc.Root()->Items();
    EXPECT_EQ(items.ItemNamed("cams"), items.Items(0));
    EXPECT_EQ(items.ItemNamed("CAM")->Properties().Value("n"), "2");
    EXPECT_EQ(items.ItemNamed("nope"), nullptr);
    EXPECT_EQ(doc.Root()->Properties().Value("k"), "2");
    EXPECT_EQ(items.Count(), 3); // lookups never create
}

TEST(XmlLookup, PropertyAddKeepsEarlierOfSameName) {
    TOcSimpleXmlElemClassic e("e");
    e.Properties().Add("a", "1");
    e.Properties().Add("A", "2");
    EXPECT_EQ(e.Properties().Count(), 2);
    EXPECT_EQ(e.Properties().Value("a"), "2");
    EXPECT_EQ(e.Properties().Items(0)->Value(), "1");
    e.Properties().Add("n", int64_t{-9223372036854775807LL - 1});
    EXPECT_EQ(e.Properties().Value("n"), "-9223372036854775808");
    EXPECT_EQ(e.Properties().IntValue("n", 0), INT64_MIN);
}

TEST(XmlValues, IntValue) {
    TOcSimpleXml doc;
    doc.LoadFromString("<r><e></e><n>42</n><m>-7</m><x>4x</x><big>99999999999999999999</big></r>");
    const TOcSimpleXmlElems& items = doc.Root()->Items();
    EXPECT_EQ(items.IntValue("e", 5), -1);
    EXPECT_EQ(items.IntValue("absent", 5), 5);
    EXPECT_EQ(items.IntValue("n", 5), 42);
    EXPECT_EQ(items.IntValue("m", 5), -7);
    EXPECT_EQ(items.IntValue("x", 5), -1);
    EXPECT_EQ(items.IntValue("big", 5), -1);
    EXPECT_EQ(items.ItemNamed("n")->IntValue(), 42);
}

TEST(XmlValues, BoolValue) {
    TOcSimpleXml doc;
    doc.LoadFromString(
        "<r><a>-1</a><b>1</b><c>TRUE</c><d>0</d><e>false</e><f>yes</f><g></g><h>2</h></r>");
    const TOcSimpleXmlElems& items = doc.Root()->Items();
    EXPECT_TRUE(items.BoolValue("a", false));
    EXPECT_TRUE(items.BoolValue("b", false));
    EXPECT_TRUE(items.BoolValue("c", false));
    EXPECT_TRUE(items.BoolValue("h", false));
    EXPECT_FALSE(items.BoolValue("d", true));
    EXPECT_FALSE(items.BoolValue("e", true));
    EXPECT_FALSE(items.BoolValue("f", true));
    EXPECT_TRUE(items.BoolValue("g", true));
    EXPECT_FALSE(items.BoolValue("g", false));
    EXPECT_TRUE(items.BoolValue("absent", true));
    EXPECT_FALSE(items.BoolValue("absent", false));
}

TEST(XmlValues, TextValueKeepsEmptyAndUsesDefaultWhenAbsent) {
    TOcSimpleXml doc;
    doc.LoadFromString("<r><p></p><q>v</q></r>");
    EXPECT_EQ(doc.Root()->Items().Value("p", "def"), "");
    EXPECT_EQ(doc.Root()->Items().Value("q", "def"), "v");
    EXPECT_EQ(doc.Root()->Items().Value("z", "def"), "def");
}

TEST(XmlElements, NameParentAndOwnership) {
    TOcSimpleXmlElemClassic e("keep");
    e.SetName("");
    EXPECT_EQ(e.Name(), "keep");
    EXPECT_FALSE(e.HasItems());
    EXPECT_FALSE(e.HasProperties());
    auto child = std::make_unique<TOcSimpleXmlElemClassic>("c");
    EXPECT_EQ(child->Parent(), nullptr);
    TOcSimpleXmlElem* added = e.Items().Add(std::move(child));
    EXPECT_EQ(added->Parent(), &e);
    TOcSimpleXmlElem* made = e.Items().Add("n", "t");
    EXPECT_EQ(made->Parent(), &e);
    EXPECT_EQ(made->Kind(), TOcSimpleXmlKind::Classic);
    std::unique_ptr<TOcSimpleXmlElem> out = e.Items().Extract(0);
    EXPECT_EQ(out->Parent(), nullptr);
    EXPECT_EQ(e.Items().Count(), 1);
    e.Items().Clear();
    EXPECT_EQ(e.Items().Count(), 0);
}

// ---- files --------------------------------------------------------------------

TEST(XmlFiles, SaveAndLoadFile) {
    const std::filesystem::path dir = std::filesystem::path(testing::TempDir()) / "xmlfiles";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "doc.xml").string();
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    doc.Root()->Items().Add("x", "1");
    doc.SaveToFile(path);
    std::ifstream in(path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    EXPECT_EQ(bytes.str(), std::string(Decl) + "<Options>\r\n <x>1</x>\r\n</Options>\r\n");
    TOcSimpleXml back;
    back.LoadFromFile(path);
    EXPECT_EQ(back.Root()->Items().Value("x"), "1");
}

TEST(XmlFiles, MissingFileIsAFileSystemError) {
    TOcSimpleXml doc;
    EXPECT_THROW(doc.LoadFromFile("/nonexistent/dir/none.xml"), std::system_error);
    EXPECT_THROW(doc.LoadFromFile(testing::TempDir()), std::system_error);
}

TEST(XmlReader, NodeCountIsBounded) {
    TOcSimpleXml doc;
    EXPECT_EQ(doc.NodeLimit(), TOcSimpleXml::kMaxNodes);
    doc.SetNodeLimit(1000);
    // Just under the bound parses; one more node fails cleanly.
    std::string ok = "<r>";
    for (size_t i = 1; i < 1000; ++i)
        ok += "<a/>";
    ASSERT_NO_THROW(doc.LoadFromString(ok + "</r>"));
    EXPECT_EQ(doc.Root()->Items().Count(), 999);
    try {
        doc.LoadFromString(ok + "<a b=\"\"/></r>");
        ADD_FAILURE() << "no error";
    } catch (const TOcSimpleXmlInvalid& e) {
        EXPECT_STREQ(e.what(), "Invalid Document: More than 1000 elements and properties.");
    }
    // Texts, comments and properties count as well.
    EXPECT_THROW(doc.LoadFromString("<r>" + std::string(1000, ' ') +
                                    [] {
                                        std::string m;
                                        for (int i = 0; i < 1001; ++i)
                                            m += "<!---->";
                                        return m;
                                    }() +
                                    "</r>"),
                 TOcSimpleXmlInvalid);
    std::string props = "<r";
    for (int i = 0; i < 1001; ++i)
        props += " p" + std::to_string(i) + "=\"\"";
    EXPECT_THROW(doc.LoadFromString(props + "/>"), TOcSimpleXmlInvalid);
}

TEST(XmlElements, ReadElementsOutliveTheirDocument) {
    std::unique_ptr<TOcSimpleXmlElem> kept;
    std::unique_ptr<TOcSimpleXmlElem> text;
    {
        TOcSimpleXml doc;
        doc.LoadFromString(
            "<r><a p=\"1\"><b>x&#38;y</b><!--c--><c/></a><t>v</t><d>one<e/>two</d></r>");
        TOcSimpleXmlElems& items = doc.Root()->Items();
        kept = items.Extract(0);
        text = items.ItemNamed("d")->Items().Extract(0);
        // Loading again and clearing replace the elements that are still inside.
        doc.LoadFromString("<s><u/></s>");
        EXPECT_EQ(doc.Root()->Items().Items(0)->Name(), "u");
        doc.Clear();
        EXPECT_EQ(doc.Root()->Items().Count(), 0);
    }
    // Taken out before the document went, they stay whole.
    EXPECT_EQ(kept->Parent(), nullptr);
    EXPECT_EQ(kept->Name(), "a");
    EXPECT_EQ(kept->Properties().Value("p"), "1");
    ASSERT_EQ(kept->Items().Count(), 3);
    EXPECT_EQ(kept->Items().Items(0)->Value(), "x&y");
    EXPECT_EQ(kept->Items().Items(1)->Kind(), TOcSimpleXmlKind::Comment);
    EXPECT_EQ(text->Kind(), TOcSimpleXmlKind::Text);
    EXPECT_EQ(text->Value(), "one");
    // They can be changed, given to another document and written there.
    kept->Items().Add("new", "n");
    kept->Items().Delete(1);
    TOcSimpleXml other;
    other.Root()->SetName("o");
    other.Root()->Items().Add(std::move(kept));
    other.Root()->Items().Add(std::move(text));
    EXPECT_EQ(other.SaveToString(), std::string(Decl) +
                                        "<o>\r\n <a p=\"1\">\r\n  <b>x&#38;y</b>\r\n"
                                        "  <c/>\r\n  <new>n</new>\r\n </a>\r\n one\r\n</o>\r\n");
}

TEST(XmlElements, TakeValueEmptiesTheProperty) {
    TOcSimpleXmlProp p("n", std::string(100, 'v'));
    EXPECT_EQ(p.TakeValue(), std::string(100, 'v'));
    EXPECT_EQ(p.Value(), "");
    EXPECT_EQ(p.IntValue(), -1);
    EXPECT_EQ(p.TakeValue(), "");
}

TEST(XmlElements, PropertyListsOfReadElementsCopyAndGrow) {
    std::unique_ptr<TOcSimpleXml> doc = std::make_unique<TOcSimpleXml>();
    doc->LoadFromString(
        "<r a=\"1\"><e x=\"long value of the first property\" y=\"2\"/><f z=\"3\"/></r>");
    TOcSimpleXmlElem* e = doc->Root()->Items().Items(0);
    TOcSimpleXmlProps copy(e->Properties());
    TOcSimpleXmlProps assigned;
    assigned.Add("old", "gone");
    assigned = doc->Root()->Items().Items(1)->Properties();
    // Growing a read list moves it; earlier entries keep their texts.
    for (int i = 0; i < 20; ++i)
        e->Properties().Add("p" + std::to_string(i), int64_t{i});
    e->Properties().Add("x", "again");
    EXPECT_EQ(e->Properties().Count(), 23);
    EXPECT_EQ(e->Properties().Items(0)->Value(), "long value of the first property");
    EXPECT_EQ(e->Properties().Value("X"), "again");
    EXPECT_EQ(e->Properties().IntValue("p19", 0), 19);
    doc.reset();
    ASSERT_EQ(copy.Count(), 2);
    EXPECT_EQ(copy.Items(0)->Name(), "x");
    EXPECT_EQ(copy.Value("x"), "long value of the first property");
    EXPECT_EQ(copy.Value("y"), "2");
    ASSERT_EQ(assigned.Count(), 1);
    EXPECT_EQ(assigned.Value("z"), "3");
    EXPECT_EQ(assigned.ItemNamed("old"), nullptr);
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_EQ(copy.Add("n", "v")->Value(), "v");
}

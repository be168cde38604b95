#include <gtest/gtest.h>

#include <string>

#include "catalogue/XmlDocument.h"
#include "catalogue/XmlEncoding.h"
#include "support/TestFiles.h"

namespace {

constexpr const char* kZurich = "Z\xC3\xBC"
                                "rich";

struct TFileCase {
    const char* what;
    std::string bytes;
    std::string name; // the element text expected, in UTF-8
    std::string city; // the property value expected, in UTF-8
};

std::string Cam(std::string_view decl, std::string_view name, std::string_view city) {
    return std::string(decl) + "<Cam City=\"" + std::string(city) + "\"><Name>" +
           std::string(name) + "</Name></Cam>\r\n";
}

} // namespace

// Every kind of file met in the wild reads as the same UTF-8 text.
TEST(XmlFileEncoding, FilesFromEverywhereReadAsUtf8) {
    const std::string latin = "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?>\r\n";
    const TFileCase cases[] = {
        {"Windows Latin-1", Cam(latin, "Z\xFCrich", "M\xFCnchen"), kZurich, "M\xC3\xBCnchen"},
        {"older build: Latin-1 declared, UTF-8 bytes", Cam(latin, kZurich, "\xC3\xA9t\xC3\xA9"),
         kZurich, "\xC3\xA9t\xC3\xA9"},
        {"UTF-8", Cam("<?xml version=\"1.0\" encoding=\"UTF-8\"?>", kZurich, "\xE2\x82\xAC"),
         kZurich, "\xE2\x82\xAC"},
        {"no declaration, UTF-8", Cam("", kZurich, "a"), kZurich, "a"},
        {"no declaration, not UTF-8", Cam("", "Z\xFCrich", "\x80"), kZurich, "\xE2\x82\xAC"},
        {"byte-order mark", Cam("\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?>", kZurich, "a"),
         kZurich, "a"},
        {"byte-order mark, no declaration", Cam("\xEF\xBB\xBF", kZurich, "a"), kZurich, "a"},
        {"windows-1252 specials",
         Cam("<?xml version=\"1.0\" encoding=\"WINDOWS-1252\"?>", "\x93Z\xFCrich\x94 \x80 5",
             "\x8A\x9F"),
         "\xE2\x80\x9C"
         "Z\xC3\xBCrich\xE2\x80\x9D \xE2\x82\xAC 5",
         "\xC5\xA0\xC5\xB8"},
        {"cp1252, single quotes", Cam("<?xml version='1.0' encoding='cp1252'?>", "\xE9", "\xFF"),
         "\xC3\xA9", "\xC3\xBF"},
        {"latin1 name", Cam("<?xml version=\"1.0\" encoding=\"latin1\"?>", "\xC4", "a"), "\xC3\x84",
         "a"},
        {"UTF-8 declared over broken bytes",
         Cam("<?xml version=\"1.0\" encoding=\"utf-8\"?>", "Z\xFCrich", "a"), "Z\xEF\xBF\xBDrich",
         "a"},
    };
    const auto dir = ocelis::test::FreshTestDir("xml_encoding");
    for (const TFileCase& c : cases) {
        SCOPED_TRACE(c.what);
        const auto path = dir / "file.cam";
        ocelis::test::WriteFileBytes(path, c.bytes);
        TOcSimpleXml doc;
        ASSERT_NO_THROW(doc.LoadFromFile(path.string()));
        EXPECT_EQ(doc.Root()->Items().Value("Name"), c.name);
        EXPECT_EQ(doc.Root()->Properties().Value("City"), c.city);
        EXPECT_TRUE(ocelis::IsValidUtf8(doc.SaveToString()));
    }
}

// A file read in another encoding is saved declaring the UTF-8 it now holds, and reads back
// the same; a new document declares UTF-8 too.
TEST(XmlFileEncoding, SavedFilesDeclareUtf8) {
    const auto path = ocelis::test::FreshTestDir("xml_encoding") / "Options.xml";
    ocelis::test::WriteFileBytes(
        path, "<?xml version=\"1.0\" "
              "encoding=\"iso-8859-1\"?>\r\n<Options><Name>Z\xFCrich</Name></Options>");
    TOcSimpleXml doc;
    doc.LoadFromFile(path.string());
    doc.SaveToFile(path.string());
    EXPECT_EQ(ocelis::test::ReadFileBytes(path),
              std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Options>\r\n <Name>") +
                  kZurich + "</Name>\r\n</Options>\r\n");
    TOcSimpleXml again;
    again.LoadFromFile(path.string());
    EXPECT_EQ(again.Root()->Items().Value("Name"), kZurich);

    TOcSimpleXml fresh;
    fresh.Root()->SetName("Options");
    EXPECT_EQ(fresh.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<Options/>\r\n");
}

TEST(XmlFileEncoding, Utf8Validity) {
    const struct {
        std::string_view bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain", true},
        {"\xC3\xBC\xE2\x82\xAC\xF0\x9F\x98\x80", true},
        {"\xF4\x8F\xBF\xBF", true},
        {"\xFC", false},             // a lone Latin-1 byte
        {"\xC3", false},             // cut short
        {"\xE2\x82", false},         // cut short
        {"\xC0\x80", false},         // overlong
        {"\xE0\x80\x80", false},     // overlong
        {"\xED\xA0\x80", false},     // surrogate
        {"\xF4\x90\x80\x80", false}, // past U+10FFFF
        {"\xC3\x28", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ocelis::IsValidUtf8(c.bytes), c.valid)
            << testing::PrintToString(std::string(c.bytes));
}

TEST(XmlFileEncoding, DeclaredEncodingIsFoundOnlyInALeadingDeclaration) {
    EXPECT_EQ(ocelis::DeclaredXmlEncoding("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a/>"),
              "iso-8859-1");
    EXPECT_EQ(ocelis::DeclaredXmlEncoding("<a encoding=\"utf-8\"/>"), "");
    EXPECT_EQ(ocelis::DeclaredXmlEncoding("<?xml version=\"1.0\"?><a encoding='x'/>"), "");
    EXPECT_EQ(ocelis::DeclaredXmlEncoding("<?xml version=\"1.0\" encoding=\"utf-8"), "");
}

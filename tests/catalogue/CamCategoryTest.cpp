#include <gtest/gtest.h>

#include <string>

#include "catalogue/CamCategory.h"
#include "catalogue/XmlDocument.h"

namespace {

// The document text of one element, without the declaration line.
std::string ElementText(std::unique_ptr<TOcSimpleXmlElem> elem) {
    std::string out;
    elem->Write(out, "");
    return out;
}

std::unique_ptr<TOcSimpleXml> Parse(const std::string& text) {
    auto doc = std::make_unique<TOcSimpleXml>();
    doc->LoadFromString(text);
    return doc;
}

TCamWebcam FullCam() {
    TCamWebcam cam;
    cam.Name = "Pier & Lighthouse";
    cam.Url = "http://example.com/cam.jpg";
    cam.Refresh = 30;
    cam.Homepage = "http://example.com/";
    cam.Email = "a@b.c";
    cam.Referer = "http://example.com/ref";
    cam.LastId = 12;
    cam.LastUpdated = 45000.5;
    return cam;
}

} // namespace

TEST(CamWebcam, FreshRecordAndAssign) {
    TCamWebcam fresh;
    EXPECT_EQ(fresh.Refresh, 0);
    EXPECT_EQ(fresh.LastId, 0);
    EXPECT_EQ(fresh.LastUpdated, 0.0);
    EXPECT_TRUE(fresh.Name.empty() && fresh.Url.empty() && fresh.Homepage.empty() &&
                fresh.Email.empty() && fresh.Referer.empty());

    TCamWebcam copy;
    copy.LastUpdated = 7;
    copy.Assign(FullCam());
    EXPECT_EQ(copy.Name, "Pier & Lighthouse");
    EXPECT_EQ(copy.Url, "http://example.com/cam.jpg");
    EXPECT_EQ(copy.Refresh, 30);
    EXPECT_EQ(copy.Homepage, "http://example.com/");
    EXPECT_EQ(copy.Email, "a@b.c");
    EXPECT_EQ(copy.Referer, "http://example.com/ref");
    EXPECT_EQ(copy.LastId, 12);
    EXPECT_EQ(copy.LastUpdated, 7.0); // run-time field is not copied
}

TEST(CamWebcam, StoredFormPropertyOrderAndOmissions) {
    EXPECT_EQ(
        ElementText(FullCam().SaveToXml()),
        "<Cam Name=\"Pier &#38; Lighthouse\" Url=\"http://example.com/cam.jpg\" Refresh=\"30\" "
        "Homepage=\"http://example.com/\" Email=\"a@b.c\" Referer=\"http://example.com/ref\" "
        "LastId=\"12\"/>\r\n");
    TCamWebcam bare;
    bare.Name = "n";
    bare.Url = "u";
    EXPECT_EQ(ElementText(bare.SaveToXml()), "<Cam Name=\"n\" Url=\"u\" Refresh=\"0\"/>\r\n");
    bare.Refresh = -1;
    bare.LastId = -1;
    EXPECT_EQ(ElementText(bare.SaveToXml()),
              "<Cam Name=\"n\" Url=\"u\" Refresh=\"-1\" LastId=\"-1\"/>\r\n");
    TCamWebcam empty;
    EXPECT_EQ(ElementText(empty.SaveToXml()), "<Cam Name=\"\" Url=\"\" Refresh=\"0\"/>\r\n");
}

TEST(CamWebcam, ReadingDefaultsAndBadIntegers) {
    auto doc = Parse("<Cams><Cam Name=\"a\"/><Cam Refresh=\"abc\" LastId=\"\"/><Cam Refresh=\"\"/>"
                     "<Cam Refresh=\"4294967297\" LastId=\"-4294967295\"/><Cam name=\"lower\" "
                     "URL=\"U\"/></Cams>");
    TCamWebcams cams;
    cams.LoadFromXml(doc->Root());
    ASSERT_EQ(cams.Count(), 5);
    EXPECT_EQ(cams.Items(0)->Name, "a");
    EXPECT_EQ(cams.Items(0)->Refresh, 30);
    EXPECT_EQ(cams.Items(0)->LastId, 0);
    EXPECT_EQ(cams.Items(0)->Url, "");
    EXPECT_EQ(cams.Items(1)->Refresh, -1);
    EXPECT_EQ(cams.Items(1)->LastId, -1);
    EXPECT_EQ(cams.Items(2)->Refresh, -1);
    EXPECT_EQ(cams.Items(3)->Refresh, 1); // low 32 bits of 2^32 + 1
    EXPECT_EQ(cams.Items(3)->LastId, 1);
    EXPECT_EQ(cams.Items(4)->Name, "lower"); // property lookup ignores case
    EXPECT_EQ(cams.Items(4)->Url, "U");
    EXPECT_EQ(cams.Items(4)->LastUpdated, 0.0);
}

TEST(CamWebcam, SpecialCharactersSurviveSaveAndLoad) {
    TCamWebcam cam;
    cam.Name = "a&b<c>d\"e'f";
    cam.Url = "http://x/?a=1&b=2";
    cam.Referer = "&amp;";
    TOcSimpleXml doc;
    doc.Root()->SetName("r");
    doc.Root()->Items().Add(cam.SaveToXml());
    auto back = Parse(doc.SaveToString());
    TCamWebcam read;
    read.LoadFromXml(*back->Root()->Items().Items(0));
    EXPECT_EQ(read.Name, cam.Name);
    EXPECT_EQ(read.Url, cam.Url);
    EXPECT_EQ(read.Referer, "&amp;");
}

TEST(CamCategory, EmptyCatalogueStoredForm) {
    TCamCategory root;
    EXPECT_EQ(ElementText(root.SaveToXml()),
              "<Category Name=\"\">\r\n <Categories/>\r\n <Cams/>\r\n</Category>\r\n");
    auto doc = Parse("<Category Name=\"\"><Categories/><Cams/></Category>");
    TCamCategory back;
    back.LoadFromXml(doc->Root());
    EXPECT_EQ(back.Name, "");
    EXPECT_EQ(back.Categories.Count(), 0);
    EXPECT_EQ(back.Cams.Count(), 0);
}

TEST(CamCategory, ExampleDocumentBytes) {
    TCamCategory root;
    TCamCategory* harbours = root.Categories.Add();
    harbours->Name = "Harbours";
    TCamWebcam* cam = harbours->Cams.Add();
    cam->Name = "Pier & Lighthouse";
    cam->Url = "IMAGE-URL";
    cam->Refresh = 30;
    cam->Homepage = "PAGE-URL";
    cam->LastId = 12;
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    doc.Root()->Items().Add(root.SaveToXml());
    doc.Root()->Items().Add("AlwaysOnTop", true);
    EXPECT_EQ(doc.SaveToString(), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                                  "<Options>\r\n"
                                  " <Category Name=\"\">\r\n"
                                  "  <Categories>\r\n"
                                  "   <Category Name=\"Harbours\">\r\n"
                                  "    <Categories/>\r\n"
                                  "    <Cams>\r\n"
                                  "     <Cam Name=\"Pier &#38; Lighthouse\" Url=\"IMAGE-URL\" "
                                  "Refresh=\"30\" Homepage=\"PAGE-URL\" "
                                  "LastId=\"12\"/>\r\n"
                                  "    </Cams>\r\n"
                                  "   </Category>\r\n"
                                  "  </Categories>\r\n"
                                  "  <Cams/>\r\n"
                                  " </Category>\r\n"
                                  " <AlwaysOnTop>-1</AlwaysOnTop>\r\n"
                                  "</Options>\r\n");
}

TEST(CamCategory, DeepTreeRoundTrip) {
    TCamCategory root;
    root.Name = "root";
    for (int i = 0; i < 3; ++i) {
        TCamCategory* c = root.Categories.Add();
        c->Name = "c" + std::to_string(i);
        for (int j = 0; j < 2; ++j) {
            TCamCategory* s = c->Categories.Add();
            s->Name = c->Name + "." + std::to_string(j);
            TCamWebcam* cam = s->Cams.Add();
            cam->Name = s->Name + " cam";
            cam->Url = "http://h/" + s->Name;
            cam->Refresh = i * 10 + j;
        }
        c->Cams.Add()->Name = "direct";
    }
    root.Cams.Add()->Name = "top";
    TOcSimpleXml doc;
    doc.Root()->SetName("Options");
    doc.Root()->Items().Add(root.SaveToXml());
    const std::string first = doc.SaveToString();
    auto back = Parse(first);
    TCamCategory read;
    read.LoadFromXml(back->Root()->Items().ItemNamed("Category"));
    ASSERT_EQ(read.Categories.Count(), 3);
    EXPECT_EQ(read.Name, "root");
    EXPECT_EQ(read.Categories.Items(2)->Categories.Items(1)->Name, "c2.1");
    EXPECT_EQ(read.Categories.Items(2)->Categories.Items(1)->Cams.Items(0)->Refresh, 21);
    EXPECT_EQ(read.Categories.Items(1)->Cams.Items(0)->Name, "direct");
    EXPECT_EQ(read.Categories.Items(1)->Cams.Items(0)->Refresh, 0);
    ASSERT_EQ(read.Cams.Count(), 1);
    EXPECT_EQ(read.Cams.Items(0)->Name, "top");
    // Saving what was read gives the same bytes.
    TOcSimpleXml again;
    again.Root()->SetName("Options");
    again.Root()->Items().Add(read.SaveToXml());
    EXPECT_EQ(again.SaveToString(), first);
}

TEST(CamCategory, ContainerLookupRules) {
    auto doc = Parse("<Category Name=\"r\">"
                     "<CATEGORIES><category Name=\"skipped\"/><Category Name=\"kept\"/>text<!-- c "
                     "--></CATEGORIES>"
                     "<cams><Cam Name=\"first container\"/></cams>"
                     "<Cams><cam Name=\"skipped\"/><Cam Name=\"last container\"/><Other/></Cams>"
                     "</Category>");
    TCamCategory cat;
    cat.LoadFromXml(doc->Root());
    EXPECT_EQ(cat.Name, "r");
    ASSERT_EQ(cat.Categories.Count(), 1);
    EXPECT_EQ(cat.Categories.Items(0)->Name, "kept");
    ASSERT_EQ(cat.Cams.Count(), 1);
    EXPECT_EQ(cat.Cams.Items(0)->Name, "last container");
}

TEST(CamCategory, MissingPiecesAreNotErrors) {
    auto doc = Parse("<Category><Cams><Cam/></Cams></Category>");
    TCamCategory cat;
    cat.Name = "old";
    cat.LoadFromXml(doc->Root());
    EXPECT_EQ(cat.Name, "");
    EXPECT_EQ(cat.Categories.Count(), 0);
    EXPECT_EQ(cat.Cams.Count(), 1);
}

TEST(CamCategory, AbsentElementFailsBeforeChanging) {
    TCamCategory cat;
    cat.Name = "keep";
    cat.Cams.Add();
    EXPECT_THROW(cat.LoadFromXml(nullptr), std::invalid_argument);
    EXPECT_EQ(cat.Name, "keep");
    EXPECT_EQ(cat.Cams.Count(), 1);
    TCamWebcams cams;
    cams.LoadFromXml(nullptr);
    EXPECT_EQ(cams.Count(), 0);
}

TEST(CamCategory, LoadingTwiceAppends) {
    auto doc = Parse("<Category Name=\"x\"><Categories><Category Name=\"s\"/></Categories>"
                     "<Cams><Cam Name=\"c\"/></Cams></Category>");
    TCamCategory cat;
    cat.LoadFromXml(doc->Root());
    cat.LoadFromXml(doc->Root());
    EXPECT_EQ(cat.Categories.Count(), 2);
    EXPECT_EQ(cat.Cams.Count(), 2);
    cat.Clear();
    EXPECT_EQ(cat.Categories.Count(), 0);
    EXPECT_EQ(cat.Cams.Count(), 0);
    EXPECT_EQ(cat.Name, "x");
}

TEST(CamCategory, FindCategoryIsExactAndDirectOnly) {
    TCamCategory root;
    root.Categories.Add()->Name = "Imported";
    TCamCategory* second = root.Categories.Add();
    second->Name = "Other";
    second->Categories.Add()->Name = "Deep";
    TCamCategory* dup = root.Categories.Add();
    dup->Name = "Imported";
    EXPECT_EQ(root.FindCategory("imported"), nullptr);
    EXPECT_EQ(root.FindCategory("Imported"), root.Categories.Items(0));
    EXPECT_EQ(root.FindCategory("Deep"), nullptr);
    EXPECT_EQ(second->FindCategory("Deep"), second->Categories.Items(0));
}

TEST(CamLists, AddDeleteExtractIndexOf) {
    TCamWebcams cams;
    TCamWebcam* a = cams.Add();
    TCamWebcam* b = cams.Add();
    EXPECT_EQ(a->Refresh, 0);
    EXPECT_EQ(cams.IndexOf(b), 1);
    std::unique_ptr<TCamWebcam> taken = cams.Extract(0);
    EXPECT_EQ(taken.get(), a);
    EXPECT_EQ(cams.IndexOf(a), -1);
    EXPECT_EQ(cams.Items(0), b);
    cams.Add(std::move(taken));
    EXPECT_EQ(cams.Items(1), a);
    cams.Delete(0);
    EXPECT_EQ(cams.Count(), 1);
    EXPECT_EQ(cams.Items(0), a);

    TCamCategories cats;
    TCamCategory* c = cats.Add();
    EXPECT_EQ(c->Name, "");
    EXPECT_EQ(c->Cams.Count(), 0);
    EXPECT_EQ(cats.IndexOf(c), 0);
    cats.Clear();
    EXPECT_EQ(cats.Count(), 0);
}

namespace {

// A catalogue with every optional field both present and absent, awkward bytes, extreme
// numbers and empty lists at several depths.
void FillAwkward(TCamCategory& root) {
    root.Name = "root & <all>";
    const int32_t numbers[] = {0, 1, -1, 30, INT32_MIN, INT32_MAX};
    const std::string texts[] = {"", "plain", "a&b<c>d\"e'f", std::string("\x01\t\r\n\xe9\0z", 8),
                                 std::string(300, '&')};
    int n = 0;
    for (int i = 0; i < 4; ++i) {
        TCamCategory* c = root.Categories.Add();
        c->Name = texts[i % 5];
        for (int j = 0; j < i; ++j) {
            TCamCategory* sub = c->Categories.Add();
            sub->Name = "sub " + std::to_string(j);
            for (int k = 0; k < 12; ++k, ++n) {
                TCamWebcam* cam = sub->Cams.Add();
                cam->Name = texts[n % 5];
                cam->Url = texts[(n + 1) % 5] + "http://h/" + std::to_string(n);
                cam->Refresh = numbers[n % 6];
                cam->Homepage = texts[(n + 2) % 5];
                cam->Email = texts[(n + 3) % 5];
                cam->Referer = texts[(n / 5) % 5];
                cam->LastId = numbers[(n / 6) % 6];
            }
        }
    }
    root.Cams.Add()->Name = "top";
}

} // namespace

TEST(CamCategory, DirectWriterGivesTheElementBytes) {
    TCamCategory root;
    FillAwkward(root);
    for (const std::string indent : {"", " ", "\t  "}) {
        std::string direct = "kept";
        root.WriteXml(direct, indent);
        std::string viaElements = "kept";
        root.SaveToXml()->Write(viaElements, indent);
        EXPECT_EQ(direct, viaElements) << "indent '" << indent << "'";
    }
    const TCamWebcam& cam = *root.Categories.Items(3)->Categories.Items(2)->Cams.Items(5);
    std::string direct;
    cam.WriteXml(direct, "  ");
    std::string viaElement;
    cam.SaveToXml()->Write(viaElement, "  ");
    EXPECT_EQ(direct, viaElement);

    TCamCategory empty;
    std::string emptyText;
    empty.WriteXml(emptyText, "");
    EXPECT_EQ(emptyText, "<Category Name=\"\">\r\n <Categories/>\r\n <Cams/>\r\n</Category>\r\n");
}

TEST(CamCategory, WriterElementInADocument) {
    TCamCategory root;
    FillAwkward(root);
    auto build = [&root](bool direct) {
        TOcSimpleXml doc;
        doc.Root()->SetName("Options");
        doc.Root()->Items().Add("Before", "x&y");
        if (direct)
            doc.Root()->Items().Add(std::make_unique<TCamCategoryWriter>(root));
        else
            doc.Root()->Items().Add(root.SaveToXml());
        doc.Root()->Items().Add("After", true);
        return doc.SaveToString();
    };
    const std::string saved = build(true);
    EXPECT_EQ(saved, build(false));
    // And it reads back as the same catalogue.
    auto doc = Parse(saved);
    TCamCategory back;
    back.LoadFromXml(doc->Root()->Items().ItemNamed("Category"));
    std::string again;
    back.WriteXml(again, " ");
    std::string original;
    root.WriteXml(original, " ");
    EXPECT_EQ(again, original);
}

TEST(CamCategory, SizeHintCoversTheUnescapedOutput) {
    TCamCategory root;
    for (int i = 0; i < 200; ++i) {
        TCamWebcam* cam = (i % 2 ? root.Categories.Add()->Cams.Add() : root.Cams.Add());
        cam->Name = "cam " + std::to_string(i);
        cam->Url = "http://example.com/" + std::to_string(i) + ".jpg";
        cam->Refresh = INT32_MIN + i;
        cam->LastId = i % 3 ? INT32_MIN : 0;
        if (i % 4 == 0)
            cam->Homepage = "http://example.com/";
        if (i % 5 == 0)
            cam->Email = "a@example.com";
        if (i % 6 == 0)
            cam->Referer = "http://example.com/r";
    }
    std::string out;
    root.WriteXml(out, "   ");
    const size_t hint = root.WriteSizeHint(3);
    EXPECT_GE(hint, out.size());
    EXPECT_LE(hint, out.size() * 3 / 2); // still a useful estimate
}

TEST(CamCategory, TakingGivesWhatCopyingGives) {
    const std::string texts[] = {
        // Lookup rules: exact-case lists inside any-case containers, the last container wins.
        "<Category Name=\"r\">"
        "<CATEGORIES><category Name=\"skipped\"/><Category Name=\"kept\"/>text<!-- c "
        "--></CATEGORIES>"
        "<cams><Cam Name=\"first container\"/></cams>"
        "<Cams><cam Name=\"skipped\"/><Cam Name=\"last container\"/><Other/></Cams>"
        "</Category>",
        // Properties: any case, the last of equal names wins, defaults and -1 for non-numbers.
        "<Category name=\"a\" NAME=\"b\"><Cams>"
        "<Cam NAME=\"n1\" name=\"n2\" URL=\"u&#38;\" Refresh=\"\" LastId=\"x\" Email=\"e\" "
        "email=\"\" Referer=\"r\" HomePage=\"h\" lastid=\"4294967297\"/>"
        "<Cam/><Cam Name=\"long name long name long name\" Url=\"u\" Refresh=\"-5\">t</Cam>"
        "</Cams><Categories><Category><Categories><Category Name=\"deep\"><Cams><Cam "
        "Url=\"x\"/></Cams></Category></Categories></Category></Categories></Category>",
        "<Category/>",
    };
    for (const std::string& text : texts) {
        auto copied = Parse(text);
        TCamCategory fromCopy;
        fromCopy.LoadFromXml(copied->Root());
        auto taken = Parse(text);
        TCamCategory fromTake;
        fromTake.TakeFromXml(taken->Root());
        std::string a;
        fromCopy.WriteXml(a, "");
        std::string b;
        fromTake.WriteXml(b, "");
        EXPECT_EQ(a, b) << text;
    }
    // The texts moved out, and the lists were not created where there were none.
    auto doc = Parse("<Category Name=\"r\"><Cams><Cam Name=\"a name longer than fifteen\" "
                     "Url=\"u\" Refresh=\"7\"/></Cams></Category>");
    TCamCategory cat;
    cat.TakeFromXml(doc->Root());
    ASSERT_EQ(cat.Cams.Count(), 1);
    EXPECT_EQ(cat.Name, "r");
    EXPECT_EQ(cat.Cams.Items(0)->Name, "a name longer than fifteen");
    EXPECT_EQ(cat.Cams.Items(0)->Refresh, 7);
    const TOcSimpleXmlElem* cam = doc->Root()->Items().ItemNamed("Cams")->Items().Items(0);
    EXPECT_EQ(cam->Properties().Value("Name"), "");
    EXPECT_FALSE(cam->HasItems());
    EXPECT_EQ(cam->Properties().Value("Refresh"), "7");
    EXPECT_THROW(cat.TakeFromXml(nullptr), std::invalid_argument);
    EXPECT_EQ(cat.Cams.Count(), 1); // nothing changed
}

// The chooser offscreen against the loopback server: what each kind of answer gives a
// webcam's thumbnail, caption and date, stopping fetches in flight, the tip, the double
// click, and the tray controller's opening and closing of the one chooser.
#include "mosaic/ChooseWindow.h"
#include "app/CamMain.h"
#include "gui/SForm.h"
#include "imaging/Jpeg.h"
#include "mosaic/ChooseRules.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "support/HttpTestServer.h"
#include "support/TestFiles.h"
#include "util/DateTime.h"
#include "viewer/ViewerWindow.h"

#include <QListWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>
#include <map>

#include "gui/OcStatusBar.h"

using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;

namespace {

std::string Jpeg(int w, int h, uint8_t r, uint8_t g, uint8_t b) {
    ocelis::Bitmap bmp;
    bmp.resize(w, h);
    for (size_t i = 0; i < bmp.pixels.size(); i += 3) {
        bmp.pixels[i] = r;
        bmp.pixels[i + 1] = g;
        bmp.pixels[i + 2] = b;
    }
    return ocelis::EncodeJpeg(bmp);
}

std::string HttpDate(std::time_t t) {
    char buf[64];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "Last-Modified: %a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

HttpAnswer Reply(const std::string& bytes) {
    HttpAnswer a;
    a.Send(bytes);
    return a;
}

bool AllThreadsGone() {
    return QTest::qWaitFor([] { return ocelis::FetchThreadRegistry::Instance().Count() == 0; },
                           10000);
}

QImage ErrorThumbnail() {
    return ocelis::TransparentThumbnail(ocelis::DrawThumbnail(ocelis::ErrorPicture(),
                                                              ocelis::kThumbWidth,
                                                              ocelis::kThumbHeight))
        .toImage();
}

class ChooseTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { static auto sync = ocelis::QtSynchronizer::Install(); }
    void SetUp() override {
        ocelis::ResetMessageTexts();
        CamViewer = &Settings;
    }
    void TearDown() override {
        delete Chooser;
        EXPECT_TRUE(AllThreadsGone());
        CamViewer = nullptr;
        ocelis::ResetMessageTexts();
    }
    TCamCategory* AddCategory(TCamCategory& parent, const std::string& name) {
        TCamCategory* c = parent.Categories.Add();
        c->Name = name;
        return c;
    }
    TCamWebcam* AddCam(TCamCategory& c, const std::string& name, const std::string& path) {
        TCamWebcam* cam = c.Cams.Add();
        cam->Name = name;
        cam->Url = Server.Url(path);
        return cam;
    }
    TfoChoose& Open() {
        Chooser = new TfoChoose();
        Chooser->ThreadSetup = [](TMireThread& t) {
            t.Timing.GetReadTimeout = 300;
            t.Timing.HeadReadTimeout = 300;
        };
        Chooser->show();
        return *Chooser;
    }
    void Select(TCamCategory* c) { Chooser->CamTree->setCurrentItem(Chooser->NodeOf(c)); }
    QImage Thumbnail(int i) const { return Chooser->CamImages->Item(i).toImage(); }

    TCamViewer Settings;
    HttpTestServer Server;
    QPointer<TfoChoose> Chooser;
};

} // namespace

TEST_F(ChooseTest, TreeShowsCategoriesOnlyAndAnEmptyOneStartsNothing) {
    TCamCategory& root = *Settings.RootCategory;
    TCamCategory* outdoor = AddCategory(root, "Outdoor");
    AddCategory(*outdoor, "Harbour");
    TCamCategory* empty = AddCategory(root, "Empty");
    AddCam(root, "In the root", "/root.jpg");
    AddCam(*outdoor, "Beach", "/beach.jpg");
    TfoChoose& c = Open();
    EXPECT_EQ(c.windowTitle(), "Choose a Webcam");
    EXPECT_EQ(c.size(), QSize(520, 375));
    ASSERT_EQ(c.CamTree->topLevelItemCount(), 2);
    EXPECT_EQ(c.CamTree->topLevelItem(0)->text(0), "Outdoor");
    ASSERT_EQ(c.CamTree->topLevelItem(0)->childCount(), 1);
    EXPECT_EQ(c.CamTree->topLevelItem(0)->child(0)->text(0), "Harbour");
    EXPECT_EQ(c.CamTree->topLevelItem(0)->child(0)->childCount(), 0);

    // Opening selects nothing and fetches nothing.
    c.activateWindow();
    c.CamTree->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(c.Category(), nullptr);
    EXPECT_FALSE(c.ThreadRunning());

    c.StatusBar->SetSimpleText("before");
    Select(empty);
    EXPECT_EQ(c.Category(), empty);
    EXPECT_EQ(c.CamList->count(), 0);
    EXPECT_FALSE(c.ThreadRunning());
    EXPECT_EQ(c.StatusBar->SimpleText(), "before");
}

TEST_F(ChooseTest, EachAnswerGivesItsWebcamsThumbnailCaptionAndDate) {
    const std::time_t now = std::time(nullptr);
    const std::string blue = Jpeg(640, 480, 0, 0, 255), green = Jpeg(352, 288, 0, 255, 0);
    struct TCase {
        const char* Path;
        std::vector<std::string> HeadHeaders;
        std::function<HttpAnswer()> Get;
        const char* Picture; // "error", "blue" (no margin) or "green" (5-pixel margins)
        bool Online, Dated;
    };
    const auto ok = [](const std::string& body, std::vector<std::string> headers) {
        return [=] { return Reply(MakeResponse(200, "OK", headers, body)); };
    };
    const std::string fresh = HttpDate(now - 10), old = HttpDate(now - 120);
    const std::vector<TCase> cases = {
        // Failures first: the later webcams must still get their own pictures.
        {"/unchanged", {"Content-Length: 0"}, nullptr, "error", false, false},
        {"/missing",
         {"Content-Length: 9", fresh},
         [] { return Reply(MakeResponse(404, "Not Found", {}, "not here!")); },
         "error",
         false,
         false},
        {"/garbage", {fresh}, ok("not a jpeg", {fresh}), "error", false, false},
        {"/cut",
         {fresh},
         [&] {
             HttpAnswer a;
             a.Send("HTTP/1.1 200 OK\r\n" + fresh + "\r\nContent-Length: " +
                    std::to_string(blue.size()) + "\r\n\r\n" + blue.substr(0, blue.size() / 2))
                 .Close();
             return a;
         },
         "error",
         false,
         false},
        {"/stall",
         {fresh},
         [&] {
             HttpAnswer a;
             a.Send("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n" + blue.substr(0, 300))
                 .Stall();
             return a;
         },
         "error",
         false,
         false},
        {"/fresh", {fresh}, ok(blue, {fresh}), "blue", true, true},
        {"/cif", {fresh}, ok(green, {fresh}), "green", true, true},
        {"/future", {HttpDate(now + 30)}, ok(blue, {HttpDate(now + 30)}), "blue", true, true},
        {"/old", {old}, ok(blue, {old}), "blue", false, true},
        // Neither header: the missing length differs from 0, so it is fetched, undated.
        {"/plain", {}, ok(blue, {}), "blue", false, false},
    };
    std::map<std::string, const TCase*> byPath;
    for (const TCase& c : cases)
        byPath[c.Path] = &c;
    Server.SetHandler([&](const HttpRequestSeen& r) {
        const TCase& c = *byPath.at(r.Target);
        if (r.Method == "HEAD") {
            std::string head = "HTTP/1.1 200 OK\r\n";
            for (const auto& h : c.HeadHeaders)
                head += h + "\r\n";
            return Reply(head + "\r\n");
        }
        return c.Get();
    });
    TCamCategory* cat = AddCategory(*Settings.RootCategory, "All");
    for (const TCase& c : cases)
        AddCam(*cat, c.Path + 1, c.Path);
    TfoChoose& w = Open();
    Select(cat);
    // The first fetch is prepared at once.
    EXPECT_EQ(w.StatusBar->SimpleText(), QString("Refreshing ") + Server.Url("/unchanged").c_str());
    ASSERT_TRUE(AllThreadsGone());
    EXPECT_EQ(w.StatusBar->SimpleText(), "");
    EXPECT_EQ(w.ImageCount(), static_cast<int>(cases.size()));
    EXPECT_EQ(Server.RequestCount(), 2 * static_cast<int>(cases.size()) - 1);

    const QImage error = ErrorThumbnail();
    for (size_t i = 0; i < cases.size(); ++i) {
        const TCase& c = cases[i];
        SCOPED_TRACE(c.Path);
        const QImage t = Thumbnail(static_cast<int>(i));
        ASSERT_EQ(t.size(), QSize(120, 90));
        const std::string picture = c.Picture;
        if (picture == "error") {
            EXPECT_EQ(t, error);
        } else if (picture == "blue") {
            for (const QPoint p : {QPoint(0, 0), QPoint(60, 45), QPoint(119, 89)})
                EXPECT_GT(qBlue(t.pixel(p)), 200) << p.x() << "," << p.y();
        } else {
            EXPECT_EQ(qAlpha(t.pixel(4, 45)), 0);
            EXPECT_GT(qGreen(t.pixel(5, 45)), 200);
            EXPECT_GT(qGreen(t.pixel(114, 45)), 200);
            EXPECT_EQ(qAlpha(t.pixel(115, 45)), 0);
        }
        const QString caption = w.CamList->item(static_cast<int>(i))->text();
        EXPECT_EQ(caption, QString(c.Path + 1) + (c.Online ? " (online)" : ""));
        EXPECT_EQ(cat->Cams.Items(static_cast<int>(i))->LastUpdated != 0, c.Dated);
    }
    EXPECT_EQ(cat->Cams.Items(5)->LastUpdated, ocelis::UnixToLocalDateTime(now - 10));
}

TEST_F(ChooseTest, AStoppedFetchCallsNothingMoreWhenItsRequestEnds) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        if (r.Target == "/hang") {
            HttpAnswer a;
            a.Stall();
            return a;
        }
        if (r.Method == "HEAD")
            return Reply("HTTP/1.1 200 OK\r\n\r\n");
        return Reply(MakeResponse(200, "OK", {}, Jpeg(160, 120, 255, 0, 0)));
    });
    TCamCategory* hanging = AddCategory(*Settings.RootCategory, "Hanging");
    TCamWebcam* hangCam = AddCam(*hanging, "Hang", "/hang");
    TCamCategory* quick = AddCategory(*Settings.RootCategory, "Quick");
    AddCam(*quick, "One", "/1");
    AddCam(*quick, "Two", "/2");
    TfoChoose& w = Open();
    int handOvers = 0;
    w.ThreadSetup = [&handOvers](TMireThread& t) {
        t.Timing.HeadReadTimeout = t.Timing.GetReadTimeout = 300;
        for (auto* cb : {&t.OnImage, &t.OnNext})
            *cb = [inner = *cb, &handOvers](TMireThread& s) {
                ++handOvers;
                inner(s);
            };
    };
    // Another category while the HEAD hangs.
    Select(hanging);
    ASSERT_TRUE(Server.WaitForRequests(1, std::chrono::seconds(5)));
    Select(quick);
    EXPECT_EQ(w.CamList->count(), 2);
    ASSERT_TRUE(AllThreadsGone());
    EXPECT_EQ(handOvers, 4); // two webcams of Quick, OnImage and OnNext each
    EXPECT_EQ(w.ImageCount(), 2);
    EXPECT_GT(qRed(Thumbnail(0).pixel(60, 45)), 200);
    EXPECT_EQ(w.CamList->item(0)->text(), "One");
    EXPECT_EQ(hangCam->LastUpdated, 0);

    // Closing while the HEAD hangs: the window goes at once, its thread later, silently.
    Select(hanging);
    ASSERT_TRUE(Server.WaitForRequests(4, std::chrono::seconds(5)));
    handOvers = 0;
    w.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Chooser.isNull(); }, 5000));
    ASSERT_TRUE(AllThreadsGone());
    EXPECT_EQ(handOvers, 0);
}

TEST_F(ChooseTest, TipAndDoubleClickUseTheCatalogueRecord) {
    TCamCategory* cat = AddCategory(*Settings.RootCategory, "Cat");
    TCamWebcam* cam = AddCam(*cat, "Pier", "/p.jpg");
    cam->Email = "a@b";
    cam->Homepage = "http://home/";
    Server.SetHandler([](const HttpRequestSeen&) {
        return Reply("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n");
    });
    TfoChoose& w = Open();
    std::vector<const TCamWebcam*> opened;
    w.OnOpenViewer = [&opened](const TCamWebcam& c) { opened.push_back(&c); };
    Select(cat);
    ASSERT_TRUE(AllThreadsGone());
    QListWidgetItem* item = w.CamList->item(0);
    EXPECT_EQ(w.CamListInfoTip(item), "Name: Pier\nUrl: " + QString::fromStdString(cam->Url) +
                                          "\nEmail: a@b\nHomepage: http://home/\nLast Updated: "
                                          "Unknown");
    ocelis::TDateTime noon = 0, midnight = 0;
    ASSERT_TRUE(ocelis::EncodeDateTime(2024, 3, 5, 12, 34, 56, 0, noon));
    ASSERT_TRUE(ocelis::EncodeDateTime(2024, 3, 5, 0, 0, 0, 0, midnight));
    CamHint = "%date%";
    cam->LastUpdated = noon;
    EXPECT_TRUE(w.CamListInfoTip(item).contains("12:34:56"))
        << w.CamListInfoTip(item).toStdString();
    cam->LastUpdated = midnight;
    EXPECT_FALSE(w.CamListInfoTip(item).contains(":")) << w.CamListInfoTip(item).toStdString();

    // Nothing selected: nothing opens.
    w.CamListDblClick();
    EXPECT_TRUE(opened.empty());
    const QPoint at = w.CamList->visualItemRect(item).center();
    QTest::mouseClick(w.CamList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w.CamList->viewport(), Qt::LeftButton, {}, at);
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], cam);
}

namespace {

std::vector<TfoChoose*> Choosers() {
    std::vector<TfoChoose*> out;
    for (TSForm* f : FormList)
        if (auto* c = qobject_cast<TfoChoose*>(f))
            out.push_back(c);
    return out;
}

} // namespace

TEST(ChooseTray, LeftClickOpensOneChooserRebuildClosesItDoubleClickOpensAViewer) {
    static auto sync = ocelis::QtSynchronizer::Install();
    namespace fs = std::filesystem;
    const fs::path dir = ocelis::test::FreshTestDir("choose-tray");
    fs::create_directories(dir / "app");
    ocelis::SetAppDirOverride(dir / "app");
    ocelis::Dialogs::SetTestMode(true);
    {
        TCamViewer v;
        TCamCategory* c = v.RootCategory->Categories.Add();
        c->Name = "Harbour";
        TCamWebcam* cam = c->Cams.Add();
        cam->Name = "Pier";
        cam->Url = "http://127.0.0.1:9/pier.jpg"; // nobody listens: fails fast
        v.Save();
    }
    {
        TfoCamMain main;
        main.TrayIconClick(Qt::RightButton);
        EXPECT_TRUE(Choosers().empty());
        main.TrayIconClick(Qt::LeftButton);
        ASSERT_EQ(Choosers().size(), 1u);
        TfoChoose* first = Choosers()[0];
        EXPECT_TRUE(first->isVisible());
        main.TrayIconClick(Qt::LeftButton);
        ASSERT_EQ(Choosers().size(), 1u);
        EXPECT_EQ(Choosers()[0], first);

        first->CamTree->setCurrentItem(first->CamTree->topLevelItem(0));
        first->CamList->setCurrentRow(0);
        first->CamListDblClick();
        std::vector<TfoViewer*> viewers;
        for (TSForm* f : FormList)
            if (auto* v = qobject_cast<TfoViewer*>(f))
                viewers.push_back(v);
        ASSERT_EQ(viewers.size(), 1u);
        EXPECT_EQ(viewers[0]->Webcam().Url, "http://127.0.0.1:9/pier.jpg");

        main.RebuildTrayMenu();
        EXPECT_FALSE(first->isVisible());
        EXPECT_EQ(first->CamList->count(), 0); // refers to no record any more
        EXPECT_TRUE(QTest::qWaitFor([] { return Choosers().empty(); }, 5000));
        main.TrayIconClick(Qt::LeftButton);
        EXPECT_EQ(Choosers().size(), 1u);
        while (!FormList.empty())
            delete FormList.back();
        EXPECT_TRUE(AllThreadsGone());
    }
    ocelis::SetAppDirOverride({});
    ocelis::Dialogs::SetTestMode(false);
}

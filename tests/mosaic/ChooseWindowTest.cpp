// The chooser offscreen against the loopback server, and the tray controller's opening and
// closing of the one chooser.
#include "mosaic/ChooseWindow.h"
#include "app/CamMain.h"
#include "gui/OcStatusBar.h"
#include "mosaic/ChooseRules.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "platform/AppPaths.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "support/GuiFixture.h"
#include "support/HttpTestServer.h"
#include "support/TestFiles.h"
#include "support/TestJpeg.h"
#include "viewer/ViewerWindow.h"

#include <QListWidget>
#include <QTest>
#include <QTreeWidget>
#include <gtest/gtest.h>

using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::MakeResponse;
using ocelis::test::Reply;
using ocelis::test::SolidJpeg;

namespace {

std::string Dated(std::time_t t) {
    char buf[64];
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(buf, sizeof buf, "Last-Modified: %a, %d %b %Y %H:%M:%S GMT", &tm);
    return buf;
}

std::vector<TfoChoose*> Choosers() {
    std::vector<TfoChoose*> out;
    for (TSForm* f : FormList)
        if (auto* c = qobject_cast<TfoChoose*>(f))
            out.push_back(c);
    return out;
}

class ChooseTest : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        CamViewer = &Settings;
    }
    void TearDown() override {
        delete Chooser;
        TGuiFixture::TearDown();
    }
    TCamCategory* AddCategory(TCamCategory& parent, const std::string& name) {
        TCamCategory* c = parent.Categories.Add();
        c->Name = name;
        return c;
    }
    TCamWebcam* AddCam(TCamCategory& c, const std::string& path) {
        TCamWebcam* cam = c.Cams.Add();
        cam->Name = path.substr(1);
        cam->Url = Server.Url(path);
        return cam;
    }
    TfoChoose& Open() {
        Chooser = new TfoChoose();
        Chooser->ThreadSetup = [](TMireThread& t) {
            t.Timing.GetReadTimeout = t.Timing.HeadReadTimeout = 300;
        };
        Chooser->show();
        return *Chooser;
    }
    void Select(TCamCategory* c) { Chooser->CamTree->setCurrentItem(Chooser->NodeOf(c)); }
    QImage Thumbnail(int i) const { return Chooser->CamImages->Item(i).toImage(); }

    TCamViewer Settings;
    ocelis::test::HttpTestServer Server;
    QPointer<TfoChoose> Chooser;
};

} // namespace

TEST_F(ChooseTest, EachAnswerGivesItsOwnWebcamItsThumbnailCaptionAndDate) {
    const std::time_t now = std::time(nullptr);
    const std::string blue = SolidJpeg(640, 480, 0, 0, 255), cif = SolidJpeg(352, 288, 0, 255, 0);
    const std::string fresh = Dated(now - 10), old = Dated(now - 120);
    struct TCase {
        std::string Path, Head, Get; // empty Get: the connection stalls after the head
        char Picture;                // 'E' the ERROR picture, 'B' blue, 'C' CIF with margins
        bool Online, HasDate;
    };
    const auto ok = [](const std::string& date, const std::string& body) {
        return MakeResponse(200, "OK", {date}, body);
    };
    // Failures first: the later webcams must still get their own pictures.
    const std::vector<TCase> cases = {
        {"/unchanged", "Content-Length: 0", "", 'E', false, false},
        {"/missing", fresh, MakeResponse(404, "Not Found", {}, "none"), 'E', false, false},
        {"/garbage", fresh, ok(fresh, "not a jpeg"), 'E', false, false},
        {"/cut", fresh, ok(fresh, blue).substr(0, 400), 'E', false, false},
        {"/stall", fresh, "", 'E', false, false},
        {"/fresh", fresh, ok(fresh, blue), 'B', true, true},
        {"/cif", fresh, ok(fresh, cif), 'C', true, true},
        {"/old", old, ok(old, blue), 'B', false, true},
        // Neither header: the missing length (-1) differs from 0, so it is fetched, undated.
        {"/plain", "X-None: 1", MakeResponse(200, "OK", {}, blue), 'B', false, false},
    };
    Server.SetHandler([&](const HttpRequestSeen& r) {
        const TCase& c = *std::find_if(cases.begin(), cases.end(),
                                       [&](const TCase& k) { return k.Path == r.Target; });
        HttpAnswer a;
        if (r.Method == "HEAD")
            a.Send("HTTP/1.1 200 OK\r\n" + c.Head + "\r\n\r\n");
        else if (c.Path == "/stall")
            a.Send("HTTP/1.1 200 OK\r\nContent-Length: 99999\r\n\r\n" + blue.substr(0, 300))
                .Stall();
        else
            a.Send(c.Get).Close();
        return a;
    });
    TCamCategory* cat = AddCategory(*Settings.RootCategory, "All");
    for (const TCase& c : cases)
        AddCam(*cat, c.Path);
    TfoChoose& w = Open();
    Select(cat);
    EXPECT_EQ(w.StatusBar->SimpleText(), QString("Refreshing ") + Server.Url("/unchanged").c_str());
    ASSERT_TRUE(WorkersGone());
    EXPECT_EQ(w.StatusBar->SimpleText(), "");
    EXPECT_EQ(w.ImageCount(), static_cast<int>(cases.size())); // each once, then it stopped

    const QImage error =
        ocelis::ChooseListIcon(ocelis::DrawChooseThumbnail(ocelis::ChooseErrorPicture(), 120, 90))
            .toImage();
    for (int i = 0; i < static_cast<int>(cases.size()); ++i) {
        const TCase& c = cases[static_cast<size_t>(i)];
        SCOPED_TRACE(c.Path);
        const QImage t = Thumbnail(i);
        ASSERT_EQ(t.size(), QSize(120, 90));
        if (c.Picture == 'E') {
            EXPECT_EQ(t, error);
        }
        for (const int x : {0, 60, 119})
            EXPECT_EQ(qBlue(t.pixel(x, 45)) > 200 && qRed(t.pixel(x, 45)) < 60, c.Picture == 'B')
                << x;
        if (c.Picture == 'C') {
            EXPECT_EQ(qAlpha(t.pixel(4, 45)), 0);
            EXPECT_GT(qGreen(t.pixel(5, 45)), 200);
            EXPECT_GT(qGreen(t.pixel(114, 45)), 200);
            EXPECT_EQ(qAlpha(t.pixel(115, 45)), 0);
        }
        EXPECT_EQ(w.CamList->item(i)->text().toStdString(),
                  c.Path.substr(1) + (c.Online ? " (online)" : ""));
        EXPECT_EQ(cat->Cams.Items(i)->LastUpdated != 0, c.HasDate);
    }
    EXPECT_EQ(cat->Cams.Items(5)->LastUpdated, ocelis::UnixToLocalDateTime(now - 10));
}

TEST_F(ChooseTest, AStoppedFetchCallsNothingMoreWhenItsHangingRequestEnds) {
    Server.SetHandler([](const HttpRequestSeen& r) {
        HttpAnswer a;
        if (r.Target == "/hang")
            return a.Stall(), a;
        return Reply(r.Method == "HEAD"
                         ? "HTTP/1.1 200 OK\r\n\r\n"
                         : MakeResponse(200, "OK", {}, SolidJpeg(160, 120, 255, 0, 0)));
    });
    TCamCategory* hanging = AddCategory(*Settings.RootCategory, "Hanging");
    TCamWebcam* hangCam = AddCam(*hanging, "/hang");
    TCamCategory* quick = AddCategory(*Settings.RootCategory, "Quick");
    AddCam(*quick, "/1");
    AddCam(*quick, "/2");
    TfoChoose& w = Open();
    int handOvers = 0;
    w.ThreadSetup = [&handOvers](TMireThread& t) {
        t.Timing.HeadReadTimeout = t.Timing.GetReadTimeout = 300;
        for (auto* cb : {&t.OnImage, &t.OnNext})
            *cb = [inner = *cb, &handOvers](TMireThread& s) { ++handOvers, inner(s); };
    };
    Select(hanging);
    ASSERT_TRUE(Server.WaitForRequests(1, std::chrono::seconds(5)));
    Select(quick);
    ASSERT_TRUE(WorkersGone());
    EXPECT_EQ(handOvers, 4); // Quick's two webcams, OnImage and OnNext each
    EXPECT_EQ(w.CamList->count(), 2);
    EXPECT_GT(qRed(Thumbnail(0).pixel(60, 45)), 200);
    EXPECT_EQ(hangCam->LastUpdated, 0);

    // Closing while the HEAD hangs: the window goes at once, its thread later and silently.
    Select(hanging);
    ASSERT_TRUE(Server.WaitForRequests(4, std::chrono::seconds(5)));
    handOvers = 0;
    w.close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Chooser.isNull(); }, 5000));
    ASSERT_TRUE(WorkersGone());
    EXPECT_EQ(handOvers, 0);
}

TEST_F(ChooseTest, TreeOfCategoriesTipAndDoubleClick) {
    TCamCategory& root = *Settings.RootCategory;
    TCamCategory* outdoor = AddCategory(root, "Outdoor");
    AddCategory(*outdoor, "Harbour");
    TCamCategory* empty = AddCategory(root, "Empty");
    AddCam(root, "/in-the-root");
    TCamWebcam* cam = AddCam(*outdoor, "/pier");
    cam->Email = "a@b";
    Server.SetHandler(
        [](const HttpRequestSeen&) { return Reply(MakeResponse(404, "Not Found", {}, "")); });
    TfoChoose& w = Open();
    EXPECT_EQ(w.windowTitle(), "Choose a Webcam");
    ASSERT_EQ(w.CamTree->topLevelItemCount(), 2);
    EXPECT_EQ(w.CamTree->topLevelItem(0)->child(0)->text(0), "Harbour");
    // Opening (the tree gets the focus) selects and fetches nothing.
    w.activateWindow();
    w.CamTree->setFocus();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.Category(), nullptr);

    w.StatusBar->SetSimpleText("before");
    Select(empty);
    EXPECT_EQ(w.CamList->count(), 0);
    EXPECT_FALSE(w.ThreadRunning());
    EXPECT_EQ(w.StatusBar->SimpleText(), "before");

    Select(outdoor);
    ASSERT_TRUE(WorkersGone());
    QListWidgetItem* item = w.CamList->item(0);
    EXPECT_EQ(w.CamListInfoTip(item), "Name: pier\nUrl: " + QString::fromStdString(cam->Url) +
                                          "\nEmail: a@b\nHomepage: \nLast Updated: Unknown");
    CamHint = "%date%";
    ocelis::TDateTime t = 0;
    ASSERT_TRUE(ocelis::EncodeDateTime(2024, 3, 5, 12, 34, 56, 0, t));
    cam->LastUpdated = t;
    EXPECT_TRUE(w.CamListInfoTip(item).endsWith(" 12:34:56"))
        << w.CamListInfoTip(item).toStdString();
    cam->LastUpdated = std::floor(t); // midnight: no time
    EXPECT_FALSE(w.CamListInfoTip(item).contains(":"));

    std::vector<const TCamWebcam*> opened;
    w.OnOpenViewer = [&opened](const TCamWebcam& c) { opened.push_back(&c); };
    w.CamListDblClick(); // nothing selected
    const QPoint at = w.CamList->visualItemRect(item).center();
    QTest::mouseClick(w.CamList->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(w.CamList->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(opened, std::vector<const TCamWebcam*>{cam});
}

class ChooseTray : public ocelis::test::TGuiFixture {};

TEST_F(ChooseTray, LeftClickOpensOneChooserRebuildClosesItDoubleClickOpensAViewer) {
    OwnAppDir("choose-tray");
    {
        TCamViewer v;
        TCamCategory* c = v.RootCategory->Categories.Add();
        c->Name = "Harbour";
        c->Cams.Add()->Url = "http://127.0.0.1:9/pier.jpg"; // nobody listens: fails fast
        v.Save();
    }
    {
        TfoCamMain main;
        main.TrayIconClick(Qt::RightButton);
        EXPECT_TRUE(Choosers().empty());
        main.TrayIconClick(Qt::LeftButton);
        main.TrayIconClick(Qt::LeftButton);
        ASSERT_EQ(Choosers().size(), 1u);
        TfoChoose* chooser = Choosers()[0];
        EXPECT_TRUE(chooser->isVisible());

        chooser->CamTree->setCurrentItem(chooser->CamTree->topLevelItem(0));
        chooser->CamList->setCurrentRow(0);
        chooser->CamListDblClick();
        const auto viewer = std::find_if(FormList.begin(), FormList.end(),
                                         [](TSForm* f) { return qobject_cast<TfoViewer*>(f); });
        ASSERT_NE(viewer, FormList.end());
        EXPECT_EQ(static_cast<TfoViewer*>(*viewer)->Webcam().Url, "http://127.0.0.1:9/pier.jpg");

        main.RebuildTrayMenu();
        EXPECT_FALSE(chooser->isVisible());
        EXPECT_EQ(chooser->CamList->count(), 0); // refers to no record any more
        EXPECT_TRUE(QTest::qWaitFor([] { return Choosers().empty(); }, 5000));
        main.TrayIconClick(Qt::LeftButton);
        EXPECT_EQ(Choosers().size(), 1u);
        while (!FormList.empty())
            delete FormList.back();
        EXPECT_TRUE(WorkersGone());
    }
}

TEST_F(ChooseTest, EnterOnASelectedThumbnailOpensItsViewer) {
    TCamCategory& root = *Settings.RootCategory;
    TCamCategory* outdoor = AddCategory(root, "Outdoor");
    TCamWebcam* cam = AddCam(*outdoor, "/pier");
    Server.SetHandler(
        [](const HttpRequestSeen&) { return Reply(MakeResponse(404, "Not Found", {}, "")); });
    TfoChoose& w = Open();
    Select(outdoor);
    ASSERT_TRUE(WorkersGone());
    std::vector<const TCamWebcam*> opened;
    w.OnOpenViewer = [&opened](const TCamWebcam& c) { opened.push_back(&c); };
    w.CamList->setFocus();
    w.CamList->clearSelection();
    QTest::keyClick(w.CamList, Qt::Key_Return); // nothing selected: nothing opens
    EXPECT_TRUE(opened.empty());
    w.CamList->item(0)->setSelected(true);
    QTest::keyClick(w.CamList, Qt::Key_Return);
    QTest::keyClick(w.CamList, Qt::Key_Enter); // the keypad's
    EXPECT_EQ(opened, (std::vector<const TCamWebcam*>{cam, cam}));
}

#include "mosaic/MireWindow.h"

#include "gui/OcStatusBar.h"
#include "imaging/Jpeg.h"
#include "net/FetchThreadRegistry.h"
#include "net/QtSynchronizer.h"
#include "settings/CamViewer.h"
#include "support/FakeGuiLoop.h"
#include "support/GuiFixture.h"
#include "support/HttpTestServer.h"
#include "support/TestJpeg.h"

#include <QPointer>
#include <QTest>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using ocelis::TCellShade;
using ocelis::test::HttpAnswer;
using ocelis::test::HttpRequestSeen;
using ocelis::test::HttpTestServer;
using ocelis::test::MakeResponse;
using ocelis::test::SolidJpeg;

namespace {

class MireWindowTest : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        Settings = std::make_unique<TCamViewer>();
        CamViewer = Settings.get();
    }
    void TearDown() override {
        delete Window.data();
        TfoMire::NewThread = nullptr;
        TGuiFixture::TearDown();
    }

    // Webcams at root, in "A" and in its sub-category "A1", named by where they are.
    void Catalogue(const std::string& base) {
        TCamCategory& root = *Settings->RootCategory;
        TCamCategory* a = root.Categories.Add();
        TCamCategory* a1 = a->Categories.Add();
        const auto add = [&](TCamCategory& c, const std::string& name) {
            TCamWebcam* w = c.Cams.Add();
            w->Name = name;
            w->Url = base + "/" + name + ".jpg";
            w->Referer = "ref-" + name;
        };
        add(*a1, "a1-0");
        add(*a, "a-0");
        add(*a, "a-1");
        add(root, "r-0");
        add(*a1, "a1-1");
        add(root, "r-1");
        add(root, "r-2");
    }

    // A window whose own thread hands nothing over: the test makes the hand-overs itself.
    TfoMire* OpenQuiet() {
        TfoMire::NewThread = [] {
            auto loop = std::make_shared<ocelis::FakeGuiLoop>();
            loop->Shutdown();
            return new TMireThread(loop);
        };
        return Open();
    }
    TfoMire* Open() {
        Window = new TfoMire();
        Window->show();
        return Window;
    }

    std::unique_ptr<TCamViewer> Settings;
    QPointer<TfoMire> Window;
};

} // namespace

TEST_F(MireWindowTest, AnEmptyCatalogueGivesOneEmptyRowAndNoThread) {
    TfoMire* w = Open();
    EXPECT_EQ(w->windowTitle(), "Mosaic");
    EXPECT_EQ(w->objectName(), "foMire");
    EXPECT_EQ(w->CamGrid->RowCount(), 1);
    EXPECT_EQ(w->CamGrid->ColCount(), 6);
    EXPECT_FALSE(w->ThreadRunning());
    EXPECT_TRUE(w->StatusBar->SimpleText().isEmpty());
    EXPECT_EQ(ocelis::TFetchThreadRegistry::Instance().Count(), 0u);
}

TEST_F(MireWindowTest, CellsFillFromLoopbackWebcamsInCatalogueOrderAndDoubleClickOpensAViewer) {
    HttpTestServer server([](const HttpRequestSeen& r) {
        HttpAnswer a;
        const std::string pic = SolidJpeg(640, 480, static_cast<uint8_t>(r.Target.size() * 9));
        if (r.Method == "HEAD")
            a.Send("HTTP/1.1 200 OK\r\nContent-Length: " + std::to_string(pic.size()) + "\r\n\r\n");
        else
            a.Send(MakeResponse(200, "OK", {}, pic));
        return a;
    });
    Catalogue(server.Url(""));
    TfoMire* w = Open();
    ASSERT_EQ(w->CellCount(), 7u);
    EXPECT_EQ(w->CamGrid->RowCount(), 2);
    std::vector<std::string> names;
    for (size_t i = 0; i < w->CellCount(); ++i)
        names.push_back(w->Cell(i).Webcam->Name);
    EXPECT_EQ(names, (std::vector<std::string>{"r-0", "r-1", "r-2", "a-0", "a-1", "a1-0", "a1-1"}));
    EXPECT_EQ(w->Cell(3).Referer, "ref-a-0");
    // Cells of (438 - 20) div 6 = 69 by 52 pixels; pictures decoded at 1/8 cover them.
    EXPECT_EQ(w->CamGrid->DefaultColWidth(), 69);
    EXPECT_EQ(w->CamGrid->DefaultRowHeight(), 52);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            for (size_t i = 0; i < w->CellCount(); ++i)
                if (w->Cell(i).Image.Empty())
                    return false;
            return true;
        },
        10000));
    EXPECT_EQ(w->Cell(6).Image.Width, 80);
    EXPECT_EQ(w->Cell(6).Image.Height, 60);
    // The second pass sees the lengths of the first: green, without downloading again.
    ASSERT_TRUE(QTest::qWaitFor([&] { return server.RequestCount() > 30; }, 10000));
    EXPECT_EQ(w->Shade(0, false), TCellShade::Live);
    int gets = 0;
    for (const auto& r : server.Requests())
        gets += r.Method == "GET";
    EXPECT_EQ(gets, 7);
    EXPECT_TRUE(w->StatusBar->SimpleText().startsWith("Refreshing http://127.0.0.1:"));

    std::vector<std::string> opened;
    w->OpenViewer = [&](const TCamWebcam& cam) { opened.push_back(cam.Name); };
    for (auto [col, row] : {std::pair{0, 1}, std::pair{1, 1}}) {
        QTest::mouseDClick(w->CamGrid->viewport(), Qt::LeftButton, {},
                           w->CamGrid->CellRect(col, row).center());
    }
    // Index 7 is beyond the cells: nothing.
    EXPECT_EQ(opened, std::vector<std::string>{"a1-1"});

    // Closing stops the thread without waiting; nothing is handed to the dead window.
    w->close();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Window.isNull(); }, 5000));
}

TEST_F(MireWindowTest, EachHandOverMarksItsCellByWhatTheFetchMet) {
    Catalogue("http://127.0.0.1:9");
    TfoMire* w = OpenQuiet();
    const std::string big = SolidJpeg(640, 480, 200), other = SolidJpeg(640, 480, 40);
    TMireThread t;
    t.Index = -1;
    w->ThreadNext(t);
    EXPECT_EQ(t.Index, 0);
    EXPECT_EQ(t.PictureWidth, 61);
    EXPECT_EQ(t.PictureHeight, 44);
    EXPECT_EQ(w->StatusBar->SimpleText(), "Refreshing http://127.0.0.1:9/r-0.jpg");
    EXPECT_NE(w->CellHint(0).indexOf("not fetched yet"), -1);
    EXPECT_EQ(w->Shade(0, false), TCellShade::Dark);

    struct TStep {
        const char* Name;
        bool Answered, Downloaded, Complete;
        std::string Data;
        std::string Reason;
        TCellShade Shade;
        int PictureWidth; // 0: none
        int32_t StoredLength;
        const char* Hint;
    };
    const std::vector<TStep> steps = {
        // A first picture with an old Last-Modified: answered, not live yet.
        {"first picture", true, true, true, big, "", TCellShade::Dark, 80, 100, "answering"},
        // One miss is not offline yet: the cell keeps its look.
        {"no answer", false, false, true, "", "read time-out", TCellShade::Live, 80, 100,
         "last fetch failed: read time-out"},
        {"cut short", true, true, false, big.substr(0, 300), "", TCellShade::Offline, 80, 100,
         "offline: picture cut short"},
        // Unchanged: the stored length is not 0, so it is live and keeps its picture.
        {"unchanged", true, false, true, "", "", TCellShade::Live, 80, 100, "live"},
        {"new picture", true, true, true, other, "", TCellShade::Live, 80, 100, "updated 0 s ago"},
        {"not a picture", true, true, true, "<html>", "", TCellShade::Offline, 0, 100,
         "not a JPEG picture"},
    };
    for (const TStep& s : steps) {
        SCOPED_TRACE(s.Name);
        t.Index = 0;
        t.Answered = s.Answered;
        t.FailReason = s.Reason;
        t.Downloaded = s.Downloaded;
        t.BodyComplete = s.Complete;
        t.Data = s.Data;
        t.ContentLength = s.Answered ? 100 : 555;
        t.LastModified.Local = 2.0; // long ago
        t.Picture = {};
        t.PictureFailed = t.PictureCutShort = false;
        if (!s.Data.empty()) {
            if (!s.Complete) {
                t.PictureFailed = t.PictureCutShort = true;
            } else {
                try {
                    t.Picture = ocelis::DecodeJpegScaled(s.Data, 61, 44);
                } catch (...) {
                    t.PictureFailed = true;
                }
            }
        }
        w->ThreadImage(t);
        EXPECT_EQ(w->Shade(0, false), s.Shade);
        EXPECT_EQ(w->Cell(0).Image.Width, s.PictureWidth);
        EXPECT_EQ(w->Cell(0).ContentLength, s.StoredLength);
        EXPECT_NE(w->CellHint(0).indexOf(QString::fromUtf8(s.Hint)), -1)
            << w->CellHint(0).toStdString();
        EXPECT_EQ(w->CamGrid->Col(), 0);
        EXPECT_TRUE(w->Shade(0, true) == TCellShade::Highlight);
    }
    // The seventh webcam is the first cell of the second row.
    t.Index = 6;
    w->ThreadImage(t);
    EXPECT_EQ(w->CamGrid->Col(), 0);
    EXPECT_EQ(w->CamGrid->Row(), 1);
    // Beyond the cells nothing happens.
    t.Index = 7;
    w->ThreadImage(t);
    EXPECT_EQ(w->CamGrid->Row(), 1);
}

TEST_F(MireWindowTest, AnEnlargingResizeFetchesTooSmallPicturesAgain) {
    Catalogue("http://127.0.0.1:9");
    TfoMire* w = OpenQuiet();
    TMireThread t;
    t.Index = -1;
    w->ThreadNext(t);
    t.Answered = t.Downloaded = true;
    t.Data = SolidJpeg(640, 480, 90);
    t.Picture = ocelis::DecodeJpegScaled(t.Data, 61, 44);
    t.ContentLength = 77;
    w->ThreadImage(t);
    ASSERT_EQ(w->Cell(0).Image.Width, 80);

    const auto next = [&] {
        t.Index = static_cast<int32_t>(w->CellCount()) - 1;
        w->ThreadNext(t);
    };
    w->resize(500, 400); // cells 80 x 60: the 80 x 60 picture still covers its room
    next();
    EXPECT_EQ(t.ContentLength, 77);
    w->resize(1000, 700);
    EXPECT_EQ(w->CamGrid->DefaultColWidth(), 163);
    next();
    EXPECT_EQ(t.ContentLength, -2);
    EXPECT_EQ(t.LastModified.Local, 0);
    EXPECT_EQ(t.PictureWidth, 155);
    // The stored values stay for the live rule; a good download ends the refetch.
    EXPECT_EQ(w->Cell(0).ContentLength, 77);
    t.Picture = ocelis::DecodeJpegScaled(t.Data, 155, 114);
    t.ContentLength = 77; // what the HEAD reported
    t.Index = 0;
    w->ThreadImage(t);
    EXPECT_EQ(w->Cell(0).Image.Width, 160);
    next();
    EXPECT_EQ(t.ContentLength, 77);
}

// The cell fetched last is framed in the highlight colour, its own colour showing inside;
// each hand-over leaves the fetch's outcome on the cell.
TEST_F(MireWindowTest, TheCellFetchedLastIsFramedAndEachCellKeepsItsOutcome) {
    Catalogue("http://127.0.0.1:9");
    TfoMire* w = OpenQuiet();
    std::vector<std::size_t> told;
    w->OnCellFetched = [&told](std::size_t i) { told.push_back(i); };
    TMireThread t;
    struct TStep {
        bool Answered;
        THttpFailure Kind;
        int32_t InRow;
    };
    const std::vector<TStep> steps = {
        {false, THttpFailure::Refused, 1},
        {false, THttpFailure::TimeOut, 2},
        {true, THttpFailure::Other, 0},
        {true, THttpFailure::Other, 0}, // the stored length is now known: live
    };
    for (const TStep& s : steps) {
        t.Index = 1;
        w->ThreadPrepare(t);
        EXPECT_EQ(t.Url, "http://127.0.0.1:9/r-1.jpg");
        t.Answered = s.Answered;
        t.FailKind = s.Kind;
        t.ContentLength = 100;
        w->ThreadImage(t);
        const TCamInfo& cell = w->Cell(1);
        EXPECT_EQ(cell.Answered, s.Answered);
        EXPECT_EQ(cell.Health.Reason() ? cell.Health.Reason()->Kind : THttpFailure::Other, s.Kind);
        EXPECT_EQ(cell.Health.FailuresInRow(), s.InRow);
    }
    EXPECT_EQ(told, std::vector<std::size_t>(steps.size(), 1));
    ASSERT_EQ(w->Shade(1, false), TCellShade::Live);
    const QRect r = w->CamGrid->CellRect(1, 0);
    const QImage shot = w->CamGrid->viewport()->grab().toImage();
    const QColor frame = w->CamGrid->palette().color(QPalette::Highlight);
    EXPECT_EQ(shot.pixelColor(r.topLeft()), frame);
    EXPECT_EQ(shot.pixelColor(r.bottomRight()), frame);
    EXPECT_EQ(shot.pixelColor(r.topLeft() + QPoint(3, 3)), QColor(0, 128, 0));
    // Only that cell is framed.
    EXPECT_EQ(shot.pixelColor(w->CamGrid->CellRect(0, 0).topLeft()), QColor(Qt::black));
}

// The viewer window against the loopback test server, offscreen.
#include "viewer/ViewerWindow.h"

#include "gui/OcFileDialog.h"
#include "gui/OcStatusBar.h"
#include "imaging/Jpeg.h"
#include "net/FetchThreadRegistry.h"
#include "net/HttpThread.h"
#include "net/QtSynchronizer.h"
#include "platform/Dialogs.h"
#include "settings/CamViewer.h"
#include "settings/MessageTexts.h"
#include "settings/Translator.h"
#include "support/GuiFixture.h"
#include "support/HttpTestServer.h"
#include "support/TestFiles.h"
#include "support/TestJpeg.h"
#include "viewer/OcImage.h"
#include "viewer/ViewerHealth.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QFile>
#include <QMenu>
#include <QMouseEvent>
#include <QPointer>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QWindow>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>

using namespace ocelis;
using namespace ocelis::test;
using namespace std::chrono_literals;
namespace fs = std::filesystem;

namespace {

// Last-Modified dates that grow with n.
std::string HttpDate(int n) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "Tue, 01 Dec 2026 10:%02d:%02d GMT", (n / 60) % 60, n % 60);
    return buf;
}

HttpAnswer HeadAnswer(size_t length, int dateIndex, bool withLength = true) {
    std::vector<std::string> h = {"Content-Type: image/jpeg",
                                  "Last-Modified: " + HttpDate(dateIndex), "Connection: close"};
    if (withLength)
        h.push_back("Content-Length: " + std::to_string(length));
    return HttpAnswer().Send(MakeResponse(200, "OK", h, "", false)).Close();
}

// Pictures of the same size whose bytes differ with n: each one is a new picture.
std::string NthPicture(int n) {
    return ocelis::test::SolidJpeg(320, 240, static_cast<uint8_t>(40 + n % 200));
}

HttpAnswer GetAnswer(const std::string& body, int dateIndex) {
    return HttpAnswer()
        .Send(MakeResponse(200, "OK",
                           {"Content-Type: image/jpeg", "Last-Modified: " + HttpDate(dateIndex),
                            "Connection: close"},
                           body))
        .Close();
}

class UrlRecorder : public QObject {
    Q_OBJECT
public:
    std::vector<QUrl> Opened;
public slots:
    void Open(const QUrl& url) { Opened.push_back(url); }
};

template <class T> T* Child(QObject* parent, const char* name) {
    T* c = parent->findChild<T*>(QLatin1String(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

class ViewerTest : public ocelis::test::TGuiFixture {
protected:
    void SetUp() override {
        TGuiFixture::SetUp();
        Settings = std::make_unique<TCamViewer>();
        Settings->Status = true;
        Settings->PropResize = false;
        Settings->AlwaysOnTop = false;
        Settings->SaveImages = false;
        Settings->Beep = false;
        CamViewer = Settings.get();
        Server = std::make_unique<HttpTestServer>();
        Picture = GradientJpeg(320, 240);
    }

    void TearDown() override {
        for (QPointer<TfoViewer>& v : Viewers)
            delete v.data();
        Viewers.clear();
        Server->Stop();
        TGuiFixture::TearDown();
        Server.reset();
    }

    // Every HEAD reports the same picture; every GET delivers it.
    void ServeSteadyPicture() {
        Server->SetHandler([this](const HttpRequestSeen& r) {
            if (r.Method == "HEAD")
                return HeadAnswer(Picture.size(), 1);
            return GetAnswer(Picture, 1);
        });
    }

    // A proportional viewer with its first picture, active for key presses.
    TfoViewer* OpenActiveProportional() {
        ServeSteadyPicture();
        Settings->PropResize = true;
        TfoViewer* v = Open(Cam(60));
        if (!QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000))
            return nullptr;
        v->activateWindow();
        return QTest::qWaitForWindowActive(v) ? v : nullptr;
    }

    TCamWebcam Cam(int32_t refresh) const {
        TCamWebcam c;
        c.Name = "Harbour";
        c.Url = Server->Url("/cam.jpg");
        c.Refresh = refresh;
        return c;
    }

    TfoViewer* Open(const TCamWebcam& cam, bool show = true) {
        auto* v = new TfoViewer();
        v->ThreadSetup = [](THttpThread& t) {
            t.Timing.Tick = 20ms;
            t.Timing.UnchangedPause = 20ms;
        };
        v->SetWebcam(cam);
        if (show)
            v->show();
        Viewers.emplace_back(v);
        return v;
    }

    static QString Panel(TfoViewer* v, int i) {
        return v->findChild<TOcStatusBar*>("StatusBar")->Panels()->Item(i)->Text();
    }
    static TOcImage* Image(TfoViewer* v) { return v->findChild<TOcImage*>("CamImage"); }
    static QAction* Act(TfoViewer* v, const char* name) { return Child<QAction>(v, name); }

    std::unique_ptr<TCamViewer> Settings;
    std::unique_ptr<HttpTestServer> Server;
    std::string Picture;
    std::vector<QPointer<TfoViewer>> Viewers;
};

// --- layout -----------------------------------------------------------------------------

TEST_F(ViewerTest, WindowAndComponentsAsLaidOut) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(5), false);
    EXPECT_EQ(v->objectName(), "foViewer");
    EXPECT_TRUE(v->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_TRUE(v->isWindow());
    EXPECT_EQ(v->size(), QSize(308, 253));
    EXPECT_EQ(v->minimumSize(), QSize(150, 150));
    EXPECT_TRUE(v->testAttribute(Qt::WA_DeleteOnClose));

    struct A {
        const char* name;
        const char* caption;
        QKeySequence key;
        int tag;
    };
    const A actions[] = {
        {"actHide", "&Hide", QKeySequence(Qt::Key_Escape), 0},
        {"actSnooze", "&Snooze", QKeySequence(Qt::ShiftModifier | Qt::Key_Escape), 0},
        {"actRefresh", "&Refresh", QKeySequence(Qt::Key_F5), 0},
        {"actStopRefresh", "&Stop Refreshing", QKeySequence(Qt::ControlModifier | Qt::Key_Escape),
         0},
        {"actRefresh1", "1 second", {}, 1},
        {"actRefresh2", "2 seconds", {}, 2},
        {"actRefresh5", "5 seconds", {}, 5},
        {"actRefresh10", "10 seconds", {}, 10},
        {"actRefresh20", "20 seconds", {}, 20},
        {"actRefresh60", "60 seconds", {}, 60},
        {"actRefresh0", "Always refresh", {}, 0},
        {"actRefreshBrute", "&Brute Refresh", {}, -1},
        {"actRefreshCustom", "&Custom...", {}, 0},
        {"actSize", "Size", {}, 0},
        {"act300x200", "300*200", QKeySequence("Ctrl+Shift+4"), 0},
        {"act600x400", "600*400", QKeySequence("Ctrl+Shift+5"), 0},
        {"act50", "50%", QKeySequence("Ctrl+Shift+0"), 0},
        {"act100", "100%", QKeySequence("Ctrl+Shift+1"), 0},
        {"act150", "150%", QKeySequence("Ctrl+Shift+2"), 0},
        {"act200", "200%", QKeySequence("Ctrl+Shift+3"), 0},
        {"actFullScreen", "FullScreen", QKeySequence("Ctrl+F"), 0},
        {"actAlwaysOnTop", "&Always on Top", QKeySequence("Ctrl+T"), 0},
        {"actProportional", "Proportional Resize", QKeySequence("Ctrl+R"), 0},
        {"actStatus", "Show Status", QKeySequence("Ctrl+U"), 0},
        {"actSite", "", {}, 0},
        {"actEmail", "", {}, 0},
        {"actSave", "actSave", QKeySequence("Ctrl+S"), 0},
        {"actClose", "&Close", QKeySequence("Ctrl+F4"), 0},
    };
    for (const A& a : actions) {
        QAction* act = Act(v, a.name);
        ASSERT_NE(act, nullptr);
        EXPECT_EQ(act->text(), QString::fromUtf8(a.caption)) << a.name;
        EXPECT_EQ(act->shortcut(), a.key) << a.name;
        EXPECT_EQ(act->property("Tag").toInt(), a.tag) << a.name;
    }
    EXPECT_EQ(Act(v, "actSite")->toolTip(), "Surf to Website");
    EXPECT_EQ(Act(v, "actEmail")->toolTip(), "Send Email");
    EXPECT_TRUE(Act(v, "actStatus")->isChecked());
    EXPECT_FALSE(Act(v, "actProportional")->isChecked());

    // Popup menu entries in order (separators as empty names).
    auto* popup = Child<QMenu>(v, "PopupMenu");
    QStringList names;
    for (QAction* a : popup->actions())
        names << (a->isSeparator()                         ? QString()
                  : a->menu() && a->objectName().isEmpty() ? a->text()
                                                           : a->objectName());
    EXPECT_EQ(names, (QStringList{"actHide", "actSnooze", "", "actRefresh", "actStopRefresh",
                                  "Refresh Inteval", "actSize", "", "actAlwaysOnTop",
                                  "actProportional", "actStatus", "", "actClose"}));
    // Size submenu and SizePopup hold the same entries.
    const QStringList sizeEntries{"act300x200", "act600x400", "", "act50",        "act100",
                                  "act150",     "act200",     "", "actFullScreen"};
    for (QMenu* m : {Act(v, "actSize")->menu(), Child<QMenu>(v, "SizePopup")}) {
        QStringList got;
        for (QAction* a : m->actions())
            got << (a->isSeparator() ? QString() : a->objectName());
        EXPECT_EQ(got, sizeEntries);
    }

    // The interval submenu: one radio group, shortcuts on the entries, none checked.
    QMenu* refresh = popup->actions().at(5)->menu();
    ASSERT_NE(refresh, nullptr);
    QStringList texts;
    QList<QKeySequence> keys;
    for (QAction* a : refresh->actions()) {
        texts << (a->isSeparator() ? QString() : a->text());
        keys << a->shortcut();
        if (!a->isSeparator()) {
            EXPECT_TRUE(a->isCheckable());
            EXPECT_FALSE(a->isChecked());
            EXPECT_NE(a->actionGroup(), nullptr);
            EXPECT_TRUE(a->actionGroup()->isExclusive());
        }
    }
    EXPECT_EQ(texts,
              (QStringList{"1 second", "2 seconds", "5 seconds", "10 seconds", "20 seconds",
                           "60 seconds", "", "Always refresh", "&Brute Refresh", "&Custom..."}));
    EXPECT_EQ(keys, (QList<QKeySequence>{
                        QKeySequence("Ctrl+Alt+1"), QKeySequence("Ctrl+Alt+2"),
                        QKeySequence("Ctrl+Alt+3"), QKeySequence("Ctrl+Alt+4"),
                        QKeySequence("Ctrl+Alt+5"), QKeySequence("Ctrl+Alt+6"), QKeySequence(),
                        QKeySequence("Ctrl+Alt+9"), QKeySequence("Ctrl+Alt+0"),
                        QKeySequence(Qt::ControlModifier | Qt::AltModifier | Qt::Key_Minus)}));

    // Status bar, progress bar and buttons.
    auto* bar = Child<TOcStatusBar>(v, "StatusBar");
    EXPECT_EQ(bar->height(), 19);
    ASSERT_EQ(bar->Panels()->Count(), 4);
    EXPECT_EQ(bar->Panels()->Item(0)->Width(), 100);
    EXPECT_EQ(bar->Panels()->Item(1)->Width(), 100);
    EXPECT_EQ(bar->Panels()->Item(2)->Width(), 34);
    EXPECT_EQ(bar->Panels()->Item(3)->Width(), 40);
    auto* progress = Child<QProgressBar>(v, "ProgressBar");
    EXPECT_EQ(progress->geometry(), QRect(2, 2, 95, 15));
    EXPECT_TRUE(progress->isHidden());
    EXPECT_EQ(progress->minimum(), 0);
    EXPECT_EQ(progress->maximum(), 100);
    auto* sizeButton = Child<QToolButton>(v, "SizeButton");
    EXPECT_EQ(sizeButton->geometry(), QRect(104, 4, 93, 14));
    EXPECT_EQ(sizeButton->text(), "320*200");
    auto* b1 = Child<QToolButton>(v, "SpeedButton1");
    auto* b2 = Child<QToolButton>(v, "SpeedButton2");
    EXPECT_EQ(b1->geometry().size(), QSize(14, 14));
    EXPECT_EQ(b1->x(), 204);
    EXPECT_EQ(b2->x(), 218);
    EXPECT_EQ(b1->defaultAction(), Act(v, "actSite"));
    EXPECT_EQ(b2->defaultAction(), Act(v, "actEmail"));
    EXPECT_FALSE(b1->icon().pixmap(14, 14, QIcon::Normal).isNull());
    EXPECT_FALSE(b2->icon().pixmap(14, 14, QIcon::Disabled).isNull());
    EXPECT_EQ(Panel(v, 3), "Harbour");
    EXPECT_TRUE(Image(v)->AutoZoom());
}

TEST_F(ViewerTest, NameIsPlainTextEverywhere) {
    ServeSteadyPicture();
    TCamWebcam c = Cam(5);
    c.Name = "<b>Harbour</b> [*] &amp;";
    TfoViewer* v = Open(c, false);
    v->winId();
    ASSERT_NE(v->windowHandle(), nullptr);
    EXPECT_EQ(v->windowHandle()->title(), QString::fromUtf8(c.Name.c_str()));
    EXPECT_EQ(Panel(v, 3), QString::fromUtf8(c.Name.c_str()));
    EXPECT_EQ(Image(v)->property("Hint").toString(), QString::fromUtf8(c.Name.c_str()));
    EXPECT_TRUE(Image(v)->toolTip().isEmpty());
}

TEST_F(ViewerTest, SettingsReadAtCreation) {
    ServeSteadyPicture();
    Settings->AlwaysOnTop = true;
    Settings->PropResize = true;
    Settings->Status = false;
    TfoViewer* v = Open(Cam(5), false);
    EXPECT_TRUE(Act(v, "actAlwaysOnTop")->isChecked());
    EXPECT_TRUE(v->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(Act(v, "actProportional")->isChecked());
    EXPECT_FALSE(Act(v, "actStatus")->isChecked());
    EXPECT_TRUE(Child<TOcStatusBar>(v, "StatusBar")->isHidden());
    EXPECT_FALSE(v->isVisible()) << "creation must not show the window";
}

TEST_F(ViewerTest, LanguageFileTranslatesAtCreation) {
    ServeSteadyPicture();
    TOcTranslator translator;
    translator.ApplyLanguageText("<Texts><foViewer>"
                                 "<actHide Caption='Verstecken' ShortCut='Ctrl+H'/>"
                                 "<actRefresh1 Caption='1 Sekunde'/>"
                                 "<RefreshInteval1 Caption='Intervall'/>"
                                 "<actSite Hint='Webseite'/>"
                                 "<SaveDialog Filter='JPEG-Datei (*.jpg)|*.jpg'/>"
                                 "</foViewer></Texts>");
    TfoViewer* v = Open(Cam(60), false);
    EXPECT_EQ(Act(v, "actHide")->text(), "Verstecken");
    EXPECT_EQ(Act(v, "actHide")->shortcut(), QKeySequence("Ctrl+H"));
    QMenu* refresh = Child<QMenu>(v, "RefreshInteval1");
    EXPECT_EQ(refresh->title(), "Intervall");
    // The interval entry shows its action's caption and keeps its own shortcut.
    EXPECT_EQ(refresh->actions().at(0)->text(), "1 Sekunde");
    EXPECT_EQ(refresh->actions().at(0)->shortcut(), QKeySequence("Ctrl+Alt+1"));
    EXPECT_EQ(Child<QToolButton>(v, "SpeedButton1")->toolTip(), "Webseite");
    EXPECT_EQ(Child<TOcFileDialog>(v, "SaveDialog")->Filter(), "JPEG-Datei (*.jpg)|*.jpg");
}

// --- images -----------------------------------------------------------------------------

TEST_F(ViewerTest, FirstImageSizesWindowTo100Percent) {
    ServeSteadyPicture();
    Settings->PropResize = true;
    TfoViewer* v = Open(Cam(5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 1; }, 10000));
    EXPECT_EQ(Image(v)->PictureWidth(), 320);
    EXPECT_EQ(Image(v)->PictureHeight(), 240);
    EXPECT_EQ(v->ClientSize(), QSize(320, 259));
    EXPECT_EQ(Image(v)->size(), QSize(320, 240));
    EXPECT_EQ(Child<QToolButton>(v, "SizeButton")->text(), "100%");
    EXPECT_TRUE(Child<QProgressBar>(v, "ProgressBar")->isHidden());
}

TEST_F(ViewerTest, FirstImageWithoutProportionalTakesStatusBarFromPicture) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 1; }, 10000));
    EXPECT_EQ(v->ClientSize(), QSize(320, 240));
    EXPECT_EQ(Image(v)->size(), QSize(320, 221));
}

TEST_F(ViewerTest, UndecodableFirstBodyGivesTheMinimum) {
    Server->SetHandler([](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HeadAnswer(12, 1);
        return GetAnswer("not a jpeg!!", 1);
    });
    Settings->PropResize = true;
    TfoViewer* v = Open(Cam(5));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 1; }, 10000));
    EXPECT_TRUE(Image(v)->Bitmap().Empty());
    EXPECT_EQ(v->ClientSize(), QSize(150, 150));
}

TEST_F(ViewerTest, TicksAppearInPanel0InOrder) {
    ServeSteadyPicture();
    TimeLeft = "%d s left";
    TfoViewer* v = Open(Cam(3));
    TStatusPanel* p0 = Child<TOcStatusBar>(v, "StatusBar")->Panels()->Item(0);
    QStringList seen;
    QObject::connect(p0, &TStatusPanel::Changed, [&] {
        if (seen.isEmpty() || seen.back() != p0->Text())
            seen << p0->Text();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return seen.count("Checking...") >= 2; }, 10000));
    const QStringList cycle{"3 s left", "2 s left", "1 second", "Checking..."};
    const qsizetype at = seen.indexOf("3 s left");
    ASSERT_GE(at, 0) << seen.join('|').toStdString();
    EXPECT_EQ(seen.mid(at, 4), cycle) << seen.join('|').toStdString();
    // The second cycle (nothing changed: HEAD only) counts down the same way.
    EXPECT_EQ(seen.mid(at + 4, 4), cycle) << seen.join('|').toStdString();
    EXPECT_EQ(v->ImageCount(), 1);
}

TEST_F(ViewerTest, BruteModeLeavesPanel0EmptyAndShowsProgress) {
    // The body arrives in two parts, so progress is handed over before the image is.
    auto gets = std::make_shared<std::atomic<int>>(0);
    Server->SetHandler([gets](const HttpRequestSeen& r) {
        const std::string picture = NthPicture((*gets)++);
        const size_t half = picture.size() / 2;
        const std::string all = MakeResponse(200, "OK", {"Connection: close"}, picture);
        const size_t split = all.size() - picture.size() + half;
        return HttpAnswer()
            .Send(all.substr(0, split))
            .Pause(r.Method == "GET" ? 150ms : 0ms)
            .Send(all.substr(split))
            .Close();
    });
    TfoViewer* v = Open(Cam(-1));
    TStatusPanel* p0 = Child<TOcStatusBar>(v, "StatusBar")->Panels()->Item(0);
    QStringList seen;
    QObject::connect(p0, &TStatusPanel::Changed, [&] { seen << p0->Text(); });
    auto* progress = Child<QProgressBar>(v, "ProgressBar");
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 3; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return progress->isVisible(); }, 10000));
    for (const QString& s : seen)
        EXPECT_TRUE(s.isEmpty()) << s.toStdString();
    EXPECT_TRUE(Panel(v, 0).isEmpty());
    for (const HttpRequestSeen& r : Server->Requests())
        EXPECT_EQ(r.Method, "GET");
    EXPECT_EQ(Image(v)->PictureWidth(), 320);
}

TEST_F(ViewerTest, HeadWithoutLengthStillShowsTheImage) {
    Server->SetHandler([this](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HeadAnswer(0, 1, false); // ContentLength becomes -1
        return GetAnswer(Picture, 1);
    });
    TfoViewer* v = Open(Cam(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 1; }, 10000));
    EXPECT_EQ(Image(v)->PictureWidth(), 320);
    EXPECT_TRUE(Child<QProgressBar>(v, "ProgressBar")->isHidden());
}

TEST_F(ViewerTest, ProgressWithUnusableLengthDoesNotFail) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60), false);
    Act(v, "actStopRefresh")->trigger();
    auto* progress = Child<QProgressBar>(v, "ProgressBar");
    THttpThread probe;
    probe.ContentLength = -1;
    probe.Received = 500;
    v->ThreadProgress(probe);
    EXPECT_FALSE(progress->isHidden());
    EXPECT_EQ(progress->maximum(), 0); // busy indicator
    probe.ContentLength = 1000;
    probe.Received = 250;
    v->ThreadProgress(probe);
    EXPECT_EQ(progress->maximum(), 1000);
    EXPECT_EQ(progress->value(), 250);
    probe.Received = 2000; // more than announced
    v->ThreadProgress(probe);
    EXPECT_EQ(progress->maximum(), 0);
    probe.Stream = Picture;
    v->ThreadImage(probe);
    EXPECT_TRUE(progress->isHidden());
    EXPECT_EQ(Image(v)->PictureWidth(), 320);
}

TEST_F(ViewerTest, SnoozeStaysHiddenOverFailedDownloadUntilNextImage) {
    std::atomic<int> gets{0};
    std::atomic<int> heads{0};
    // The third GET waits for the test, so the window's state after the failed second one
    // can be looked at before anything else arrives.
    std::mutex gateMutex;
    std::condition_variable gateOpened;
    bool gateOpen = false;
    // A new picture wakes the window: the same bytes again would not.
    const std::string next = ocelis::test::SolidJpeg(320, 240, 90);
    Server->SetHandler([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD") // a new date every cycle: always changed
            return HeadAnswer(Picture.size(), ++heads);
        const int n = ++gets;
        if (n == 2)
            return HttpAnswer()
                .Send(MakeResponse(500, "Broken", {"Connection: close"}, "x"))
                .Close();
        if (n == 3) {
            std::unique_lock<std::mutex> lock(gateMutex);
            gateOpened.wait_for(lock, 10s, [&] { return gateOpen; });
            return GetAnswer(next, heads.load());
        }
        return GetAnswer(Picture, heads.load());
    });
    TfoViewer* v = Open(Cam(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    Act(v, "actSnooze")->trigger();
    EXPECT_FALSE(v->isVisible());
    ASSERT_TRUE(QTest::qWaitFor([&] { return gets >= 3; }, 10000));
    EXPECT_EQ(v->ImageCount(), 1);
    EXPECT_FALSE(v->isVisible());
    {
        std::lock_guard<std::mutex> lock(gateMutex);
        gateOpen = true;
    }
    gateOpened.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 2; }, 10000));
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(Act(v, "actSnooze")->property("Tag").toInt(), 0);
}

TEST_F(ViewerTest, HideKeepsFetching) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    Act(v, "actHide")->trigger();
    EXPECT_FALSE(v->isVisible());
    const int before = Server->RequestCount();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Server->RequestCount() > before + 1; }, 10000));
    EXPECT_FALSE(v->isVisible());
    EXPECT_TRUE(v->ThreadRunning());
}

// --- refresh control --------------------------------------------------------------------

TEST_F(ViewerTest, StopRefreshTwice) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Panel(v, 0).isEmpty(); }, 10000));
    EXPECT_TRUE(v->ThreadRunning());
    Act(v, "actStopRefresh")->trigger();
    EXPECT_FALSE(v->ThreadRunning());
    EXPECT_TRUE(Panel(v, 0).isEmpty());
    Act(v, "actStopRefresh")->trigger();
    EXPECT_FALSE(v->ThreadRunning());
    EXPECT_TRUE(Panel(v, 0).isEmpty());
    // The stopped thread ends by itself; the window stays open with its picture.
    EXPECT_TRUE(WorkersGone());
    EXPECT_TRUE(v->isVisible());
    EXPECT_EQ(Image(v)->PictureWidth(), 320);
    // An interval choice starts a new thread.
    Act(v, "actRefresh2")->trigger();
    EXPECT_TRUE(v->ThreadRunning());
    EXPECT_EQ(v->Webcam().Refresh, 2);
}

TEST_F(ViewerTest, RefreshReplacesTheThread) {
    // A steady picture per thread, another one for the thread the refresh starts.
    auto gets = std::make_shared<std::atomic<int>>(0);
    Server->SetHandler([gets](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HeadAnswer(NthPicture(*gets).size(), 1);
        return GetAnswer(NthPicture((*gets)++), 1);
    });
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    Act(v, "actRefresh")->trigger();
    EXPECT_TRUE(v->ThreadRunning());
    // The new thread downloads again (its first cycle always does).
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 2; }, 10000));
}

TEST_F(ViewerTest, IntervalChoiceStaysInTheViewer) {
    ServeSteadyPicture();
    TCamWebcam* stored = Settings->RootCategory->Cams.Add();
    stored->Assign(Cam(10));
    TfoViewer* v = Open(*stored);
    v->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v));
    QTest::keyClick(v, Qt::Key_3, Qt::ControlModifier | Qt::AltModifier); // 5 seconds
    EXPECT_EQ(v->Webcam().Refresh, 5);
    EXPECT_EQ(stored->Refresh, 10);
    QMenu* refresh = Child<QMenu>(v, "PopupMenu")->actions().at(5)->menu();
    ASSERT_NE(refresh, nullptr);
    QAction* checked = refresh->actions().at(0)->actionGroup()->checkedAction();
    ASSERT_NE(checked, nullptr);
    EXPECT_EQ(checked->text(), "5 seconds");
    QTest::keyClick(v, Qt::Key_0, Qt::ControlModifier | Qt::AltModifier); // brute
    EXPECT_EQ(v->Webcam().Refresh, -1);
    EXPECT_EQ(refresh->actions().at(0)->actionGroup()->checkedAction()->text(), "&Brute Refresh");
    EXPECT_EQ(stored->Refresh, 10);
    // A new viewer of the same webcam starts with the stored interval.
    TfoViewer* second = Open(*stored, false);
    EXPECT_EQ(second->Webcam().Refresh, 10);
}

TEST_F(ViewerTest, CustomIntervalThroughTheInputDialog) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(10), false);
    QAction* custom = Act(v, "actRefreshCustom");
    TDialogs::QueueAnswer(QString("abc"));
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, 10);
    TDialogs::QueueAnswer(QString("0"));
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, 0);
    TDialogs::QueueAnswer(QString("-1"));
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, -1);
    TDialogs::QueueAnswer(QString("99999999999"));
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, -1);
    TDialogs::QueueAnswer(std::nullopt); // cancelled
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, -1);
    // Without a thread the custom interval does not start one.
    Act(v, "actStopRefresh")->trigger();
    TDialogs::QueueAnswer(QString("7"));
    custom->trigger();
    EXPECT_EQ(v->Webcam().Refresh, 7);
    EXPECT_FALSE(v->ThreadRunning());
}

// --- sizes ------------------------------------------------------------------------------

TEST_F(ViewerTest, ZoomStepsAndFixedSizes) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    auto* sizeButton = Child<QToolButton>(v, "SizeButton");
    Act(v, "act50")->trigger();
    EXPECT_EQ(v->ClientSize(), QSize(160, 150));
    EXPECT_EQ(sizeButton->text(), "50%");
    Act(v, "act150")->trigger();
    EXPECT_EQ(v->ClientSize(), QSize(480, 360));
    Act(v, "act300x200")->trigger();
    EXPECT_EQ(v->ClientSize(), QSize(300, 200));
    EXPECT_EQ(sizeButton->text(), "300*200");
    Act(v, "actFullScreen")->trigger();
    EXPECT_TRUE(v->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(sizeButton->text(), "FullScreen");
    Act(v, "act100")->trigger();
    EXPECT_FALSE(v->windowState() & Qt::WindowMaximized);
    EXPECT_EQ(v->ClientSize(), QSize(320, 240));
}

TEST_F(ViewerTest, ProportionalSizeBeyondTheScreenTakesTheScreen) {
    ServeSteadyPicture();
    Settings->PropResize = true;
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    const QSize screen = v->screen()->geometry().size();
    v->SetViewSize(screen.width() * 3, 300, "x");
    EXPECT_EQ(v->ClientSize(), screen);
}

TEST_F(ViewerTest, ProportionalToggleUpdatesZoomCaption) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    v->SetViewSize(640, 499, "x"); // picture area 640 x 480
    Act(v, "actProportional")->trigger();
    EXPECT_EQ(Child<QToolButton>(v, "SizeButton")->text(), "200% (640*499)");
}

TEST_F(ViewerTest, StatusToggleHidesBarAndRefitsPicture) {
    TfoViewer* v = OpenActiveProportional();
    ASSERT_NE(v, nullptr);
    // The picture takes the whole window. One column less goes through the size check
    // (the 259 rows win: 345 x 259), one more again (346 columns win: 346 x 259.5, to even).
    struct Case {
        QSize from, to;
    };
    for (const Case c : {Case{{320, 259}, {346, 260}}, Case{{300, 244}, {326, 244}}}) {
        if (!Act(v, "actStatus")->isChecked())
            Act(v, "actStatus")->trigger();
        v->SetViewSize(c.from.width(), c.from.height(), "x");
        ASSERT_EQ(v->ClientSize(), c.from);
        QTest::keyClick(v, Qt::Key_U, Qt::ControlModifier);
        EXPECT_FALSE(Act(v, "actStatus")->isChecked());
        EXPECT_TRUE(Child<TOcStatusBar>(v, "StatusBar")->isHidden());
        EXPECT_EQ(v->ClientSize(), c.to) << c.from.width() << "x" << c.from.height();
        EXPECT_EQ(Image(v)->size(), v->ClientSize());
    }
}

// Hands the events of one type that an object gets to a function.
class TEventRecorder : public QObject {
public:
    TEventRecorder(QEvent::Type type, std::function<void(QEvent*)> record)
        : FType(type), FRecord(std::move(record)) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == FType)
            FRecord(event);
        return false;
    }

private:
    QEvent::Type FType;
    std::function<void(QEvent*)> FRecord;
};

// Each toggle takes the window to its new size in one step, without a size in between.
TEST_F(ViewerTest, StatusToggleResizesTheWindowOnce) {
    TfoViewer* v = OpenActiveProportional();
    ASSERT_NE(v, nullptr);
    v->SetViewSize(320, 259, "x");
    std::vector<std::string> sizes;
    TEventRecorder resizes(QEvent::Resize, [&](QEvent* e) {
        const QSize s = static_cast<QResizeEvent*>(e)->size();
        sizes.push_back(std::to_string(s.width()) + "x" + std::to_string(s.height()));
    });
    v->installEventFilter(&resizes);
    for (const char* after : {"346x260", "346x279"}) {
        sizes.clear();
        QTest::keyClick(v, Qt::Key_U, Qt::ControlModifier);
        EXPECT_EQ(sizes, std::vector<std::string>{after});
    }
    v->removeEventFilter(&resizes);
}

TEST_F(ViewerTest, SizeButtonNamesTheSizeNotTheTranslatedEntry) {
    ServeSteadyPicture();
    TOcTranslator translator;
    translator.ApplyLanguageText("<Texts><foViewer><act50 Caption='Halb'/>"
                                 "<act300x200 Caption='Klein'/><act150 Caption='Anderthalb'/>"
                                 "<actFullScreen Caption='Vollbild'/></foViewer></Texts>");
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    v->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v));
    auto* sizeButton = Child<QToolButton>(v, "SizeButton");
    QTest::keyClick(v, Qt::Key_0, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(sizeButton->text(), "50%");
    const std::pair<const char*, const char*> shown[] = {
        {"act300x200", "300*200"}, {"act150", "150%"}, {"actFullScreen", "Vollbild"}};
    for (const auto& [action, text] : shown) {
        Act(v, action)->trigger();
        EXPECT_EQ(sizeButton->text(), text) << action;
    }
}

// --- moving and sizing by mouse ---------------------------------------------------------

void SendMouse(QWidget* w, QEvent::Type type, QPoint local, Qt::MouseButton button,
               Qt::MouseButtons buttons) {
    const QPointF global = w->mapToGlobal(local);
    QMouseEvent e(type, QPointF(local), global, button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void SendMouseGlobal(QWidget* w, QEvent::Type type, QPoint global, Qt::MouseButton button,
                     Qt::MouseButtons buttons) {
    const QPoint local = w->mapFromGlobal(global);
    QMouseEvent e(type, QPointF(local), QPointF(global), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

TEST_F(ViewerTest, DraggingThePictureMovesWithTheMagnet) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v));
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    v->move(work.left() + 100, work.top() + 100);
    TOcImage* img = Image(v);
    const QPoint start = img->mapToGlobal(QPoint(50, 50));
    SendMouse(img, QEvent::MouseButtonPress, QPoint(50, 50), Qt::LeftButton, Qt::LeftButton);
    // 30 pixels right and down: far from every edge, taken as proposed.
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(30, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->pos(), work.topLeft() + QPoint(130, 130));
    // Left so that the left edge would be 10 pixels inside the work area: snaps onto it.
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(-90, 30), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->pos(), work.topLeft() + QPoint(0, 130));
    SendMouseGlobal(img, QEvent::MouseButtonRelease, start + QPoint(-90, 30), Qt::LeftButton,
                    Qt::NoButton);
    EXPECT_EQ(v->size(), QSize(308, 253));
    // Without the button, moving does nothing.
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(40, 40), Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(v->pos(), work.topLeft() + QPoint(0, 130));
}

TEST_F(ViewerTest, RightClickDoesNotMove) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v));
    v->move(200, 150);
    TOcImage* img = Image(v);
    const QPoint start = img->mapToGlobal(QPoint(60, 60));
    SendMouse(img, QEvent::MouseButtonPress, QPoint(60, 60), Qt::RightButton, Qt::RightButton);
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(30, 30), Qt::NoButton, Qt::RightButton);
    SendMouseGlobal(img, QEvent::MouseButtonRelease, start + QPoint(30, 30), Qt::RightButton,
                    Qt::NoButton);
    EXPECT_EQ(v->pos(), QPoint(200, 150));
}

TEST_F(ViewerTest, EdgeDragResizesThroughTheSizeCheck) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    v->move(100, 100);
    TOcImage* img = Image(v);
    ASSERT_EQ(v->size(), QSize(320, 240));
    // Right edge outwards by 50.
    QPoint start = img->mapToGlobal(QPoint(img->width() - 2, 100));
    SendMouse(img, QEvent::MouseButtonPress, QPoint(img->width() - 2, 100), Qt::LeftButton,
              Qt::LeftButton);
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(50, 0), Qt::NoButton, Qt::LeftButton);
    SendMouseGlobal(img, QEvent::MouseButtonRelease, start + QPoint(50, 0), Qt::LeftButton,
                    Qt::NoButton);
    EXPECT_EQ(v->size(), QSize(370, 240));
    EXPECT_EQ(v->pos(), QPoint(100, 100));
    // Left edge far inwards: the minimum holds and the right edge stays put.
    start = img->mapToGlobal(QPoint(1, 100));
    SendMouse(img, QEvent::MouseButtonPress, QPoint(1, 100), Qt::LeftButton, Qt::LeftButton);
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(300, 0), Qt::NoButton, Qt::LeftButton);
    SendMouseGlobal(img, QEvent::MouseButtonRelease, start + QPoint(300, 0), Qt::LeftButton,
                    Qt::NoButton);
    EXPECT_EQ(v->size(), QSize(150, 240));
    EXPECT_EQ(v->geometry().right(), 100 + 370 - 1);

    // Proportional: dragging only the right edge inwards is undone.
    Act(v, "act100")->trigger();
    Act(v, "actProportional")->trigger();
    Act(v, "act100")->trigger();
    ASSERT_EQ(v->size(), QSize(320, 259));
    v->move(100, 100);
    start = img->mapToGlobal(QPoint(img->width() - 1, 50));
    SendMouse(img, QEvent::MouseButtonPress, QPoint(img->width() - 1, 50), Qt::LeftButton,
              Qt::LeftButton);
    SendMouseGlobal(img, QEvent::MouseMove, start + QPoint(-40, 0), Qt::NoButton, Qt::LeftButton);
    EXPECT_EQ(v->size(), QSize(320, 259));
    // Bottom-right corner inwards on both axes: the window shrinks in proportion.
    SendMouseGlobal(img, QEvent::MouseButtonRelease, start + QPoint(-40, 0), Qt::LeftButton,
                    Qt::NoButton);
    auto* bar = Child<TOcStatusBar>(v, "StatusBar");
    const QPoint corner(bar->width() - 1, bar->height() - 1);
    start = bar->mapToGlobal(corner);
    SendMouse(bar, QEvent::MouseButtonPress, corner, Qt::LeftButton, Qt::LeftButton);
    SendMouseGlobal(bar, QEvent::MouseMove, start + QPoint(-160, -120), Qt::NoButton,
                    Qt::LeftButton);
    SendMouseGlobal(bar, QEvent::MouseButtonRelease, start + QPoint(-160, -120), Qt::LeftButton,
                    Qt::NoButton);
    // 160 x 139 is raised to 150 high: 131 picture rows are 54.58 % of 240, so 175 wide.
    EXPECT_EQ(v->size(), QSize(175, 150));
}

// --- buttons, saving, archive -----------------------------------------------------------

TEST_F(ViewerTest, RightClickAndSizeButtonOpenTheirMenus) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(v));
    v->move(100, 100);
    TOcImage* img = Image(v);
    QContextMenuEvent menuEvent(QContextMenuEvent::Mouse, QPoint(30, 40),
                                img->mapToGlobal(QPoint(30, 40)));
    QApplication::sendEvent(img, &menuEvent);
    auto* popup = Child<QMenu>(v, "PopupMenu");
    EXPECT_TRUE(popup->isVisible());
    popup->hide();

    auto* sizeButton = Child<QToolButton>(v, "SizeButton");
    auto* sizePopup = Child<QMenu>(v, "SizePopup");
    QTest::mouseClick(sizeButton, Qt::LeftButton);
    ASSERT_TRUE(sizePopup->isVisible());
    EXPECT_EQ(sizePopup->pos(), sizeButton->mapToGlobal(QPoint(0, sizeButton->height())));
    sizePopup->hide();
}

TEST_F(ViewerTest, HomepageAndEmailButtonsNeedData) {
    ServeSteadyPicture();
    TfoViewer* bare = Open(Cam(60), false);
    EXPECT_FALSE(Child<QToolButton>(bare, "SpeedButton1")->isEnabled());
    EXPECT_FALSE(Child<QToolButton>(bare, "SpeedButton2")->isEnabled());
    TCamWebcam c = Cam(60);
    c.Url += "?2";
    c.Homepage = "http://example.org/harbour";
    c.Email = "cam@example.org";
    TfoViewer* full = Open(c, false);
    EXPECT_TRUE(Child<QToolButton>(full, "SpeedButton1")->isEnabled());
    EXPECT_TRUE(Child<QToolButton>(full, "SpeedButton2")->isEnabled());
}

TEST_F(ViewerTest, SiteAndEmailOpenOnlySafeAddresses) {
    ServeSteadyPicture();
    UrlRecorder rec;
    for (const char* scheme : {"http", "https", "mailto", "file"})
        QDesktopServices::setUrlHandler(scheme, &rec, "Open");
    struct Case {
        const char* homepage;
        const char* email;
        const char* site;
        const char* mail;
    };
    const Case cases[] = {
        {"http://example.org/a", "cam@example.org", "http://example.org/a",
         "mailto:cam@example.org"},
        {"HTTPS://Example.org", "x@y.z?attach=/etc/passwd", "https://example.org", nullptr},
        {"file:///etc/passwd", "a@b@c", nullptr, nullptr},
        {"/usr/bin/xterm", "mailto:me@example.org", nullptr, "mailto:me@example.org"},
        {"javascript:alert(1)", "not an address", nullptr, nullptr},
        {"www.example.org", "me@example.org\r\nBcc: x@y", "http://www.example.org", nullptr},
    };
    int n = 0;
    for (const Case& c : cases) {
        TCamWebcam cam = Cam(60);
        cam.Url += "?" + std::to_string(++n);
        cam.Homepage = c.homepage;
        cam.Email = c.email;
        TfoViewer* v = Open(cam, false);
        rec.Opened.clear();
        Act(v, "actSite")->trigger();
        if (c.site) {
            ASSERT_EQ(rec.Opened.size(), 1u) << c.homepage;
            EXPECT_EQ(rec.Opened[0], QUrl(c.site)) << c.homepage;
        } else {
            EXPECT_TRUE(rec.Opened.empty()) << c.homepage;
        }
        rec.Opened.clear();
        Act(v, "actEmail")->trigger();
        if (c.mail) {
            ASSERT_EQ(rec.Opened.size(), 1u) << c.email;
            EXPECT_EQ(rec.Opened[0].toString(), QString(c.mail)) << c.email;
        } else {
            EXPECT_TRUE(rec.Opened.empty()) << c.email;
        }
    }
    for (const char* scheme : {"http", "https", "mailto", "file"})
        QDesktopServices::unsetUrlHandler(scheme);
}

TEST_F(ViewerTest, CtrlSSavesThePictureAsJpeg) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    const fs::path dir = ocelis::test::TestHome() / "saved";
    fs::create_directories(dir);
    const fs::path file = dir / "snap"; // the default extension is added
    fs::remove(dir / "snap.jpg");
    TDialogs::QueueAnswer(QString::fromStdString(file.string()));
    v->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(v));
    QTest::keyClick(v, Qt::Key_S, Qt::ControlModifier);
    ASSERT_TRUE(fs::exists(dir / "snap.jpg"));
    const TJpegImage saved = LoadJpegFile(dir / "snap.jpg");
    EXPECT_EQ(saved.Bitmap.Width, 320);
    EXPECT_EQ(saved.Bitmap.Height, 240);
    // Cancelled: nothing happens.
    TDialogs::QueueAnswer(std::nullopt);
    QTest::keyClick(v, Qt::Key_S, Qt::ControlModifier);
    // The entry is not in the popup menu.
    for (QAction* a : Child<QMenu>(v, "PopupMenu")->actions())
        EXPECT_NE(a->objectName(), "actSave");
}

TEST_F(ViewerTest, SavePictureStartsInTheArchiveFolderOrThePicturesFolder) {
    const fs::path dir = ocelis::test::FreshTestDir("viewer");
    const fs::path archive = dir / "archive", pictures = dir / "home" / "Pictures";
    fs::create_directories(archive);
    fs::create_directories(dir / "config");
    const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("HOME", QFile::encodeName(QString::fromStdString((dir / "home").string())));
    qputenv("XDG_CONFIG_HOME",
            QFile::encodeName(QString::fromStdString((dir / "config").string())));
    const auto q = [](const fs::path& p) { return QString::fromStdString(p.string()); };
    const struct {
        std::string savePath;
        bool picturesExist;
        QString start;
    } cases[] = {
        {archive.string(), true, q(archive / "Harbour")},
        {"", true, q(pictures / "Harbour")},
        {(dir / "gone").string(), true, q(pictures / "Harbour")}, // an archive not made yet
        {"", false, q(dir / "home" / "Harbour")},
    };
    TfoViewer* v = Open(Cam(60), false);
    for (const auto& c : cases) {
        std::error_code ec;
        fs::remove_all(pictures, ec);
        if (c.picturesExist)
            fs::create_directories(pictures);
        Settings->SavePath = c.savePath;
        TDialogs::QueueAnswer(std::nullopt);
        Act(v, "actSave")->trigger();
        EXPECT_EQ(TDialogs::LastStartPath(), c.start) << c.savePath;
    }
    qputenv("HOME", oldHome);
    qputenv("XDG_CONFIG_HOME", oldConfig);
}

// A small window holds the picture reduced; growing it decodes more, and saving writes
// the full size whatever is held.
TEST_F(ViewerTest, PicturesAreHeldAsLargeAsShownAndSavedAtFullSize) {
    Picture = GradientJpeg(640, 360);
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(60));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    TOcImage* image = Image(v);
    struct Step {
        const char* action; // or a size of 320x240
        int scale, width;
    };
    // 50 % leaves 320x161 under the status bar: 1/2 is neither exactly that nor twice it.
    for (const Step s : {Step{nullptr, 2, 320}, Step{"act100", 1, 640}, Step{"act50", 1, 640},
                         Step{"act200", 1, 640}, Step{nullptr, 2, 320}}) {
        if (s.action)
            Act(v, s.action)->trigger();
        else
            v->SetViewSize(320, 240, "x");
        EXPECT_TRUE(QTest::qWaitFor([&] { return image->Scale() == s.scale; }, 10000))
            << (s.action ? s.action : "320x240");
        EXPECT_EQ(image->Bitmap().Width, s.width);
        // The zoom commands and the size check go by the full size.
        EXPECT_EQ(image->PictureWidth(), 640);
        EXPECT_EQ(image->PictureHeight(), 360);
    }
    EXPECT_EQ(v->Picture().width(), 320);

    const fs::path file = ocelis::test::TestHome() / "saved-full.jpg";
    fs::remove(file);
    TDialogs::QueueAnswer(QString::fromStdString(file.string()));
    Act(v, "actSave")->trigger();
    ASSERT_TRUE(fs::exists(file));
    const TJpegImage saved = LoadJpegFile(file);
    EXPECT_EQ(saved.Bitmap.Width, 640);
    EXPECT_EQ(saved.Bitmap.Height, 360);
    EXPECT_EQ(image->Scale(), 2); // the full size was only borrowed
}

TEST_F(ViewerTest, SaveImagesArchivesEveryImage) {
    std::atomic<int> heads{0};
    Server->SetHandler([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HeadAnswer(Picture.size(), ++heads);
        return GetAnswer(heads.load() == 1 ? Picture : NthPicture(heads.load()), heads.load());
    });
    const fs::path root = ocelis::test::TestHome() / "archive1";
    fs::remove_all(root);
    Settings->SaveImages = true;
    Settings->SavePath = root.string();
    Settings->SubDirectory = true;
    TCamWebcam c = Cam(1);
    c.Name = " Harbour ";
    TfoViewer* v = Open(c);
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 2; }, 10000));
    EXPECT_TRUE(fs::exists(root / "Harbour" / "Image 00001.jpg"));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return fs::exists(root / "Harbour" / "Image 00002.jpg"); }, 10000));
    EXPECT_EQ(ocelis::test::ReadFileBytes(root / "Harbour" / "Image 00001.jpg"), Picture);
    EXPECT_GE(v->Webcam().LastId, 1);
}

// A server that dates every answer anew but sends the same picture: one picture, one file,
// one count; no duplicate in the archive.
TEST_F(ViewerTest, TheSamePictureAgainIsNeitherCountedNorArchived) {
    std::atomic<int> heads{0}, gets{0};
    Server->SetHandler([&](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HeadAnswer(Picture.size(), ++heads);
        ++gets;
        return GetAnswer(Picture, heads.load());
    });
    const fs::path root = ocelis::test::TestHome() / "archive-same";
    fs::remove_all(root);
    Settings->SaveImages = true;
    Settings->SavePath = root.string();
    Settings->SubDirectory = false;
    TfoViewer* v = Open(Cam(0));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gets >= 4; }, 10000));
    EXPECT_EQ(v->ImageCount(), 1);
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(root))
        files.push_back(e.path());
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(ocelis::test::ReadFileBytes(files[0]), Picture);
}

TEST_F(ViewerTest, PictureCutShortIsNeitherShownNorArchived) {
    // The server thread outlives this body (the viewer keeps polling until teardown), so
    // what its handler touches is shared, not on this stack.
    struct Gate {
        std::string second = GradientJpeg(160, 120);
        std::atomic<int> gets{0};
        std::mutex mutex;
        std::condition_variable opened;
        bool open = false;
    };
    const auto gate = std::make_shared<Gate>();
    const std::string& second = gate->second;
    Server->SetHandler([gate, picture = Picture](const HttpRequestSeen&) {
        const int n = ++gate->gets;
        if (n == 2) // closed before its Content-Length
            return HttpAnswer()
                .Send(MakeResponse(200, "OK", {"Connection: close"}, picture).substr(0, 300))
                .Close();
        if (n == 3) // complete as announced, but the JPEG has no end
            return GetAnswer(picture.substr(0, picture.size() / 2), n);
        if (n == 4) {
            std::unique_lock<std::mutex> lock(gate->mutex);
            gate->opened.wait_for(lock, 10s, [&] { return gate->open; });
        }
        return GetAnswer(n == 1 ? picture : gate->second, n);
    });
    const fs::path root = ocelis::test::TestHome() / "archive-cut";
    fs::remove_all(root);
    Settings->SaveImages = true;
    Settings->SavePath = root.string();
    Settings->SubDirectory = false;
    TfoViewer* v = Open(Cam(-1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return gate->gets >= 4; }, 10000));
    EXPECT_EQ(v->ImageCount(), 1);
    EXPECT_EQ(Image(v)->Bitmap().Pixels, DecodeJpeg(Picture).Pixels);
    {
        std::lock_guard<std::mutex> lock(gate->mutex);
        gate->open = true;
    }
    gate->opened.notify_all();
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() >= 2; }, 10000));
    EXPECT_EQ(Image(v)->PictureWidth(), 160);
    // Byte for byte, and nothing of the broken ones in between.
    EXPECT_TRUE(ocelis::test::ReadFileBytes(root / "Harbour 00001.jpg") == Picture);
    EXPECT_TRUE(ocelis::test::ReadFileBytes(root / "Harbour 00002.jpg") == second);
}

// --- closing ----------------------------------------------------------------------------

TEST_F(ViewerTest, ClosingDuringSlowRequestNeitherCrashesNorWaits) {
    Server->SetHandler([](const HttpRequestSeen&) { return HttpAnswer().Stall(); });
    TfoViewer* v = Open(Cam(5));
    QPointer<TfoViewer> guard(v);
    ASSERT_TRUE(Server->WaitForRequests(1, 10s));
    const size_t before = FormList.size();
    v->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }, 10000));
    EXPECT_EQ(FormList.size(), before - 1);
    // The window is gone while its thread still waits for the server.
    EXPECT_GE(TFetchThreadRegistry::Instance().Count(), 1u);
    Server->Stop();
    EXPECT_TRUE(WorkersGone());
}

TEST_F(ViewerTest, CloseInsideArchiveEventProcessingIsDeferred) {
    ServeSteadyPicture();
    const fs::path root = ocelis::test::TestHome() / "archive2";
    fs::remove_all(root);
    fs::create_directories(root);
    for (const char* n : {"Harbour 00001.jpg", "Harbour 00002.jpg", "Harbour 00003.jpg"})
        ocelis::test::WriteFileBytes(root / n, "x");
    Settings->SaveImages = true;
    Settings->SavePath = root.string();
    Settings->SubDirectory = false;
    auto* v = new TfoViewer();
    QPointer<TfoViewer> guard(v);
    v->ThreadSetup = [v](THttpThread& t) {
        auto original = t.OnImage;
        // A close request waits in the queue when the image arrives; SaveImage's event
        // processing runs it in the middle of the hand-over.
        t.OnImage = [v, original](THttpThread& th) {
            QMetaObject::invokeMethod(v, &QWidget::close, Qt::QueuedConnection);
            original(th);
        };
    };
    v->SetWebcam(Cam(60));
    v->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }, 10000));
    EXPECT_TRUE(fs::exists(root / "Harbour 00004.jpg"));
}

TEST_F(ViewerTest, ClosingDetachesThreadsForgottenByRefresh) {
    // Every GET is slow, so the threads forgotten by actRefresh are still inside one when
    // the window closes; their late hand-overs must not reach the freed window.
    Server->SetHandler([this](const HttpRequestSeen& r) {
        if (r.Method == "HEAD")
            return HeadAnswer(Picture.size(), 1);
        return HttpAnswer()
            .Pause(200ms)
            .Send(MakeResponse(200, "OK", {"Connection: close"}, Picture))
            .Close();
    });
    TfoViewer* v = Open(Cam(60));
    QPointer<TfoViewer> guard(v);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Server->RequestCount() >= 2; }, 10000));
    Act(v, "actRefresh")->trigger();
    Act(v, "actRefresh")->trigger();
    // The GUI loop runs meanwhile: a thread's hand-over waits for it.
    ASSERT_TRUE(QTest::qWaitFor([&] { return Server->RequestCount() >= 5; }, 10000))
        << Server->RequestCount();
    v->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return guard.isNull(); }, 10000));
    EXPECT_TRUE(WorkersGone());
}

// --- pure helpers -----------------------------------------------------------------------

TEST(ViewerSafeUrls, HomepageOnlyHttpAndHttps) {
    EXPECT_EQ(SafeHomepageUrl("http://example.org/x?y=1"), QUrl("http://example.org/x?y=1"));
    EXPECT_EQ(SafeHomepageUrl("  https://example.org  "), QUrl("https://example.org"));
    EXPECT_EQ(SafeHomepageUrl("www.example.org"), QUrl("http://www.example.org"));
    for (const char* bad :
         {"", "file:///etc/passwd", "/bin/sh", "C:\\Windows\\calc.exe", "ftp://example.org",
          "javascript:alert(1)", "http://", "http:///x", "smb://host/share", "mailto:a@b.c"})
        EXPECT_FALSE(SafeHomepageUrl(bad).isValid()) << bad;
}

// The home page is split as the viewer splits a webcam's address.
TEST(ViewerSafeUrls, HomepageReadAsTheViewerReadsAddresses) {
    const char* cases[][2] = {
        {"http:\\\\example.org\\cams\\", "http://example.org/cams/"},
        {"HTTP://example.org:8080/#top", "http://example.org:8080"},
        {"https://user@[::1]:8443/x?a=1", "https://user@[::1]:8443/x?a=1"},
        {"http://example.org/a b?c d", "http://example.org/a%20b?c%20d"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SafeHomepageUrl(c[0]), QUrl(c[1])) << c[0];
    for (const char* bad : {"http://example.org:99999/", "http://example.org:8o/",
                            "http://exa mple.org/", "http://[::1/"})
        EXPECT_FALSE(SafeHomepageUrl(bad).isValid()) << bad;
}

TEST(ViewerSafeUrls, MailtoFromOnePlainAddress) {
    EXPECT_EQ(SafeMailtoUrl("cam@example.org").toString(), "mailto:cam@example.org");
    EXPECT_EQ(SafeMailtoUrl(" mailto:cam@example.org ").toString(), "mailto:cam@example.org");
    for (const char* bad :
         {"", "cam", "@example.org", "cam@", "a@b@c", "a b@c.d", "a@b.c?subject=x",
          "a@b.c&attach=/etc/passwd", "a@b.c,d@e.f", "a@b.c\nBcc: x", "a%40@b.c", "a@b.c#x"})
        EXPECT_FALSE(SafeMailtoUrl(bad).isValid()) << bad;
}

TEST(ViewerIcons, TwoStatesDrawn) {
    for (const QIcon& icon : {HomepageIcon(), EmailIcon()}) {
        const QImage normal = icon.pixmap(14, 14, QIcon::Normal).toImage();
        const QImage disabled = icon.pixmap(14, 14, QIcon::Disabled).toImage();
        ASSERT_EQ(normal.size(), QSize(14, 14));
        EXPECT_NE(normal, disabled);
        // Some pixels are drawn and the corners stay see-through.
        int opaque = 0;
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 14; ++x)
                opaque += qAlpha(normal.pixel(x, y)) > 0;
        EXPECT_GT(opaque, 40);
        EXPECT_EQ(qAlpha(normal.pixel(0, 13)), 0);
        // The disabled picture is grey.
        for (int y = 0; y < 14; ++y)
            for (int x = 0; x < 14; ++x) {
                const QRgb p = disabled.pixel(x, y);
                if (qAlpha(p) == 255) {
                    EXPECT_TRUE(qRed(p) == qGreen(p) && qGreen(p) == qBlue(p));
                }
            }
    }
}

} // namespace

#include "ViewerWindowTest.moc"

// --- health -----------------------------------------------------------------------------
TEST_F(ViewerTest, WithoutAPictureTheReasonFillsThePictureArea) {
    Server->SetHandler(
        [](const HttpRequestSeen&) { return Reply(MakeResponse(404, "Not Found", {}, "")); });
    const struct {
        std::string Url;
        std::string Shown;
    } cases[] = {
        {Server->Url("/cam.jpg"), "No picture from 127.0.0.1:" + std::to_string(Server->Port()) +
                                      ": HTTP 404 Not Found. Trying again every 5 s."},
        // Nothing listens on port 1.
        {"http://127.0.0.1:1/cam.jpg",
         "Cannot connect to 127.0.0.1:1: connection refused. Trying again every 5 s."},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Url);
        TCamWebcam cam = Cam(5);
        cam.Url = c.Url;
        TfoViewer* v = Open(cam);
        EXPECT_TRUE(QTest::qWaitFor([&] { return !v->Health().ShownReason().isEmpty(); }, 10000));
        EXPECT_EQ(v->Health().ShownReason().toStdString(), c.Shown);
        EXPECT_TRUE(v->Health().MarkTip().isEmpty());               // a mark only over a picture
        EXPECT_EQ(v->Health().State(), ocelis::THealthState::Live); // one miss is not offline
    }
}

TEST_F(ViewerTest, APictureThatFreezesOrGoesOfflineGetsAMarkAndTips) {
    ServeSteadyPicture();
    TfoViewer* v = Open(Cam(1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return v->ImageCount() == 1; }, 10000));
    // Live: exactly as before.
    EXPECT_TRUE(v->Health().ShownReason().isEmpty());
    EXPECT_TRUE(v->Health().MarkTip().isEmpty());
    EXPECT_TRUE(v->Health().PanelTip().isEmpty());
    double now = v->Health().Clock();
    v->Health().Clock = [&now] { return now; };
    std::vector<ocelis::THealthNotice> told;
    v->OnHealth = [&told](TfoViewer&, ocelis::THealthNotice n) { told.push_back(n); };

    now += 11 * 60; // the same picture for 11 minutes: frozen
    v->Health().Check();
    EXPECT_EQ(v->Health().State(), ocelis::THealthState::Stale);
    EXPECT_TRUE(v->Health().MarkTip().startsWith("last new picture "))
        << v->Health().MarkTip().toStdString();
    EXPECT_TRUE(v->Health().MarkTip().endsWith("(11 min ago)"));
    EXPECT_EQ(v->Health().PanelTip(), v->Health().MarkTip());
    // One picture seen so far: its pace is unknown, so nobody is told.
    EXPECT_EQ(told, std::vector<ocelis::THealthNotice>{ocelis::THealthNotice::None});

    Server->SetHandler([](const HttpRequestSeen&) {
        return Reply(MakeResponse(503, "Service Unavailable", {}, ""));
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return v->Health().Health().FailuresInRow() >= 3; }, 10000));
    now += 40;
    v->Health().Check();
    EXPECT_EQ(v->Health().State(), ocelis::THealthState::Offline);
    EXPECT_TRUE(v->Health().MarkTip().startsWith("offline since "))
        << v->Health().MarkTip().toStdString();
    EXPECT_TRUE(
        v->Health().MarkTip().contains(": HTTP 503 Service Unavailable\nlast new picture "));
    EXPECT_TRUE(v->Health().ShownReason().isEmpty()); // the picture stays
    ASSERT_FALSE(told.empty());
    EXPECT_EQ(told.back(), ocelis::THealthNotice::Offline);
}

// Every window at its default size, offscreen and without network. With OCELIS_SHOTS_DIR set
// each window's picture (<name>.png) and place (positions.txt) are saved there, so that two
// builds can be compared pixel by pixel.
#include "avi/AviCreator.h"
#include "avi/OcProgressDlg.h"
#include "catalogue/CamCategory.h"
#include "catalogue/EditCams.h"
#include "mosaic/ChooseWindow.h"
#include "mosaic/MireWindow.h"
#include "net/FetchThreadRegistry.h"
#include "settings/CamViewer.h"
#include "settings/OptionsDialog.h"
#include "support/FakeGuiLoop.h"
#include "viewer/OcImage.h"
#include "viewer/ViewerWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPointer>
#include <QScreen>
#include <QStyleFactory>
#include <QTest>
#include <QTextStream>
#include <QTreeWidget>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Nothing listens on port 1 of the loopback: every fetch fails at once.
const std::string kDeadBase = "http://127.0.0.1:1/";

ocelis::TBitmap Gradient(int w, int h) {
    ocelis::TBitmap b;
    b.Resize(w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* px = b.Row(y) + x * 3;
            px[0] = static_cast<uint8_t>(x);
            px[1] = static_cast<uint8_t>(y);
            px[2] = 128;
        }
    return b;
}

bool ThreadsEnded() {
    return QTest::qWaitFor([] { return ocelis::TFetchThreadRegistry::Instance().Count() == 0; },
                           10000);
}

// A window built for the picture, and what ends it.
struct TShot {
    QWidget* Window = nullptr;
    std::function<void()> Close;
};

struct TShotCase {
    const char* Name;
    QSize DefaultSize;
    std::function<TShot()> Open;
};

class WindowShotsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
        QApplication::setFont(QFont(QStringLiteral("DejaVu Sans"), 9));
    }

    void SetUp() override {
        Settings = std::make_unique<TCamViewer>();
        // As a first start reads them: the viewer shows its status bar.
        Settings->Status = true;
        TCamCategory& root = *Settings->RootCategory;
        TCamCategory* city = root.Categories.Add();
        city->Name = "City";
        TCamCategory* harbour = city->Categories.Add();
        harbour->Name = "Harbour";
        TCamCategory* hills = root.Categories.Add();
        hills->Name = "Hills";
        for (const char* name : {"Bridge", "Square", "Tower"}) {
            TCamWebcam* cam = city->Cams.Add();
            cam->Name = name;
            cam->Url = kDeadBase + name + ".jpg";
            cam->Refresh = 30;
        }
        TCamWebcam* pier = harbour->Cams.Add();
        pier->Name = "Pier";
        pier->Url = kDeadBase + "pier.jpg";
        CamViewer = Settings.get();
        City = city;
    }

    void TearDown() override {
        TfoMire::NewThread = nullptr;
        EXPECT_TRUE(ThreadsEnded());
        CamViewer = nullptr;
    }

    std::vector<TShotCase> Cases() {
        return {
            {"options", {328, 263}, [] { return Owned(new TfoOptions()); }},
            {"editor",
             {500, 384},
             [this] {
                 auto* w = new TfoEditCams();
                 w->LoadTree(*Settings->RootCategory);
                 w->CamList->expandAll();
                 // A webcam's page shows most of the editor's controls.
                 w->CamList->setCurrentItem(w->CamList->topLevelItem(0)->child(1));
                 return Owned(w);
             }},
            {"viewer",
             {308, 253},
             [] {
                 auto* w = new TfoViewer();
                 w->findChild<TOcImage*>(QStringLiteral("CamImage"))->SetBitmap(Gradient(320, 240));
                 return Owned(w);
             }},
            {"mosaic",
             {438, 330},
             [] {
                 // Its thread hands nothing over, so the cells stay as first drawn.
                 TfoMire::NewThread = [] {
                     auto loop = std::make_shared<ocelis::FakeGuiLoop>();
                     loop->Shutdown();
                     return new TMireThread(loop);
                 };
                 return Owned(new TfoMire());
             }},
            {"chooser",
             {520, 375},
             [this] {
                 auto* w = new TfoChoose();
                 w->show();
                 w->CamTree->expandAll();
                 w->CamTree->setCurrentItem(w->NodeOf(City));
                 // Every fetch fails: the list ends with an ERROR picture per webcam.
                 EXPECT_TRUE(QTest::qWaitFor([w] { return !w->ThreadRunning(); }, 10000));
                 EXPECT_EQ(w->ImageCount(), 3);
                 return Owned(w);
             }},
            {"avicreator",
             {406, 304},
             [] {
                 auto* w = new TfoAviCreator();
                 w->FilesBox->addItems(
                     {QStringLiteral("/pictures/one.jpg"), QStringLiteral("/pictures/two.jpg")});
                 return Owned(w);
             }},
            {"progress",
             {314, 92},
             [] {
                 auto owner = std::make_shared<QObject>();
                 auto* dlg = new TOcProgressDlg(QStringLiteral("ProgressDlg"), owner.get());
                 dlg->SetMaximum(10);
                 dlg->SetValue(4);
                 dlg->Show();
                 return TShot{dlg->Form(), [owner, dlg] { dlg->Close(); }};
             }},
        };
    }

    static TShot Owned(QWidget* w) {
        QPointer<QWidget> p(w);
        return TShot{w, [p] { delete p.data(); }};
    }

    std::unique_ptr<TCamViewer> Settings;
    TCamCategory* City = nullptr;
};

} // namespace

TEST_F(WindowShotsTest, EveryWindowOpensAtItsDefaultSize) {
    const QString dir = qEnvironmentVariable("OCELIS_SHOTS_DIR");
    QString places;
    for (const TShotCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        TShot shot = c.Open();
        shot.Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shot.Window));
        QCoreApplication::processEvents();
        EXPECT_EQ(shot.Window->size(), c.DefaultSize);
        const QPixmap picture = shot.Window->grab();
        EXPECT_EQ(picture.size(), c.DefaultSize);
        const QPoint pos = shot.Window->pos();
        places += QStringLiteral("%1 %2 %3\n").arg(QLatin1String(c.Name)).arg(pos.x()).arg(pos.y());
        if (!dir.isEmpty()) {
            EXPECT_TRUE(picture.save(
                QDir(dir).filePath(QString::fromLatin1(c.Name) + QStringLiteral(".png"))));
        }
        shot.Close();
    }
    if (dir.isEmpty())
        return;
    QFile file(QDir(dir).filePath(QStringLiteral("positions.txt")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QTextStream(&file) << places;
}

// Frame and all inside the available area of the screen, with the editor's OK and Cancel
// whole in the window; run a second time on 1280 by 800 at scale 2, where the screen is
// smaller than some windows' default sizes.
TEST_F(WindowShotsTest, EveryWindowOpensInsideTheScreen) {
    for (const TShotCase& c : Cases()) {
        SCOPED_TRACE(c.Name);
        TShot shot = c.Open();
        shot.Window->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(shot.Window));
        QCoreApplication::processEvents();
        const QRect area = shot.Window->screen()->availableGeometry();
        const QRect frame = shot.Window->frameGeometry();
        EXPECT_TRUE(area.contains(frame))
            << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height()
            << " outside " << area.width() << "x" << area.height();
        if (const auto* editor = qobject_cast<TfoEditCams*>(shot.Window))
            for (const QWidget* button : {editor->OkButton, editor->CancelButton}) {
                const QRect r(button->mapTo(editor, QPoint(0, 0)), button->size());
                EXPECT_TRUE(button->isVisible() && editor->rect().contains(r))
                    << button->objectName().toStdString() << " at " << r.y() << ", window "
                    << editor->height() << " high";
            }
        shot.Close();
    }
}

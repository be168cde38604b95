// The window kit on the offscreen screen: where windows go and how its controls behave.
#include "gui/WindowKit.h"

#include "gui/SForm.h"

#include <QAction>
#include <QCheckBox>
#include <QCursor>
#include <QDialog>
#include <QGuiApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using ocelis::TScreenArea;

// The test runs on two offscreen screens side by side (TwoScreens.json): "Left", the primary,
// 800 by 600 at the origin, and "Right", 1280 by 1024 beside it.
QString ScreenName(const QScreen* s) {
    return s ? s->name() : QStringLiteral("none");
}

TEST(WindowKit, TheScreenUnderThePointerIsTheWorkScreenElseThePrimary) {
    ASSERT_EQ(QGuiApplication::screens().size(), 2);
    const std::pair<QPoint, const char*> cases[] = {
        {{400, 300}, "Left"},    {{799, 599}, "Left"}, {{800, 0}, "Right"},
        {{2000, 1000}, "Right"}, {{400, 900}, "Left"}, {{-50, -50}, "Left"},
    };
    for (const auto& [pointer, name] : cases) {
        SCOPED_TRACE(testing::Message() << pointer.x() << "," << pointer.y());
        QCursor::setPos(pointer);
        EXPECT_EQ(ScreenName(ocelis::WorkScreen()), QString::fromLatin1(name));
    }
}

TEST(WindowKit, CentredWindowsStayInsideTheScreenAreaWithMarginsEqualOrOnePixelMore) {
    struct TCase {
        const char* What;
        QPoint Pointer;
        TScreenArea Area;
        int Width, Height;
    };
    const TCase cases[] = {
        {"small, available area", {100, 100}, TScreenArea::Available, 328, 263},
        {"odd size, whole screen", {100, 100}, TScreenArea::Whole, 309, 253},
        {"on the screen beside", {1500, 500}, TScreenArea::Available, 520, 375},
        {"wider than the screen", {100, 100}, TScreenArea::Available, 1000, 200},
        {"larger than the screen beside", {1500, 500}, TScreenArea::Whole, 3000, 2000},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        QCursor::setPos(c.Pointer);
        const QScreen* screen = QGuiApplication::screenAt(c.Pointer);
        ASSERT_NE(screen, nullptr);
        const QRect area =
            c.Area == TScreenArea::Whole ? screen->geometry() : screen->availableGeometry();
        QWidget w;
        w.resize(c.Width, c.Height);
        ocelis::CentreOnScreen(&w, c.Area);
        if (c.Width > area.width()) {
            EXPECT_EQ(w.x(), area.left());
        } else {
            const int leftMargin = w.x() - area.left();
            const int rightMargin = area.right() - w.geometry().right();
            EXPECT_GE(leftMargin, 0);
            EXPECT_TRUE(rightMargin == leftMargin || rightMargin == leftMargin + 1);
        }
        if (c.Height > area.height()) {
            EXPECT_EQ(w.y(), area.top());
        } else {
            const int topMargin = w.y() - area.top();
            const int bottomMargin = area.bottom() - w.geometry().bottom();
            EXPECT_GE(topMargin, 0);
            EXPECT_TRUE(bottomMargin == topMargin || bottomMargin == topMargin + 1);
        }
    }
}

namespace {

// A dialog with an edit, a check box and two kit buttons, the first one in the tab order.
struct TKitDialog {
    QDialog Dialog;
    QPushButton* Ok = ocelis::NewButton(&Dialog, "OkButton", QStringLiteral("&Ok"));
    QPushButton* Cancel = ocelis::NewButton(&Dialog, "CancelButton", QStringLiteral("&Cancel"));
    QLineEdit* Edit = ocelis::NewEdit(&Dialog, "Edit1");
    QCheckBox* Box = ocelis::NewCheckBox(&Dialog, "CheckBox1", QStringLiteral("Box"));

    TKitDialog() {
        auto* layout = new QVBoxLayout(&Dialog);
        for (QWidget* w : std::initializer_list<QWidget*>{Ok, Cancel, Edit, Box})
            layout->addWidget(w);
        QObject::connect(Ok, &QPushButton::clicked, &Dialog, &QDialog::accept);
        QObject::connect(Cancel, &QPushButton::clicked, &Dialog, &QDialog::reject);
    }
};

} // namespace

TEST(WindowKit, EnterPressesNoButtonWhereverTheFocusIs) {
    const std::pair<const char*, std::function<QWidget*(TKitDialog&)>> focus[] = {
        {"edit", [](TKitDialog& d) { return d.Edit; }},
        {"check box", [](TKitDialog& d) { return d.Box; }},
        {"a button that had the focus before",
         [](TKitDialog& d) {
             d.Ok->setFocus();
             return d.Edit;
         }},
    };
    for (const auto& [what, target] : focus) {
        SCOPED_TRACE(what);
        TKitDialog d;
        d.Dialog.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&d.Dialog));
        QWidget* w = target(d);
        w->setFocus();
        QSignalSpy okClicks(d.Ok, &QPushButton::clicked);
        QSignalSpy cancelClicks(d.Cancel, &QPushButton::clicked);
        QTest::keyClick(w, Qt::Key_Return);
        QTest::keyClick(w, Qt::Key_Enter);
        EXPECT_EQ(okClicks.count(), 0);
        EXPECT_EQ(cancelClicks.count(), 0);
        EXPECT_TRUE(d.Dialog.isVisible());
    }
}

TEST(WindowKit, AShortcutGivenLaterWorksWithoutAMenu) {
    QWidget window;
    QAction* go = ocelis::NewAction(&window, "actGo", QStringLiteral("Go"));
    QAction* keyed =
        ocelis::NewAction(&window, "actKeyed", QStringLiteral("Keyed"), QKeySequence(Qt::Key_F6));
    // As a language file's ShortCut does, after the window is built.
    go->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QSignalSpy goRuns(go, &QAction::triggered);
    QSignalSpy keyedRuns(keyed, &QAction::triggered);
    QTest::keyClick(&window, Qt::Key_G, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_F6);
    EXPECT_EQ(goRuns.count(), 1);
    EXPECT_EQ(keyedRuns.count(), 1);
}

namespace {

// A window of a kind, placed the way viewers and AVI creators are.
class TKindForm : public TSForm {
public:
    explicit TKindForm(const char* kind) : TSForm(QString::fromLatin1(kind)) {
        resize(308, 253);
        ocelis::CascadeOnScreen(this);
        FinishCreate();
    }
};

} // namespace

TEST(WindowKit, FurtherWindowsOfAKindCascadeFromTheNewestOpenOne) {
    QCursor::setPos(100, 100); // "Left", 800 by 600: centred at 246, 173
    auto v0 = std::make_unique<TKindForm>("foViewer");
    auto a0 = std::make_unique<TKindForm>("foAviCreator");
    auto v1 = std::make_unique<TKindForm>("foViewer");
    auto v2 = std::make_unique<TKindForm>("foViewer");
    EXPECT_EQ(v0->pos(), QPoint(246, 173));
    EXPECT_EQ(a0->pos(), QPoint(246, 173)) << "the first of its kind";
    EXPECT_EQ(v1->pos(), QPoint(246 + ocelis::kCascadeStep, 173 + ocelis::kCascadeStep));
    EXPECT_EQ(v2->pos(), QPoint(246 + 2 * ocelis::kCascadeStep, 173 + 2 * ocelis::kCascadeStep));
    // From wherever the newest one is now.
    v2->move(500, 20);
    auto v3 = std::make_unique<TKindForm>("foViewer");
    EXPECT_EQ(v3->pos(), QPoint(0, 20 + ocelis::kCascadeStep)) << "past the right edge";
    v3.reset();
    v2.reset();
    auto v4 = std::make_unique<TKindForm>("foViewer");
    EXPECT_EQ(v4->pos(), v1->pos() + QPoint(ocelis::kCascadeStep, ocelis::kCascadeStep));
    v0.reset();
    v1.reset();
    v4.reset();
    EXPECT_EQ(TKindForm("foViewer").pos(), QPoint(246, 173)) << "none open: centred again";
}

TEST(WindowKit, KeepOnScreenGivesWayToASmallerScreen) {
    QCursor::setPos(100, 100);
    struct TCase {
        const char* What;
        QRect Window;
        QSize Minimum;
        QRect Expected; // frame estimate: 4 at the sides and bottom, 28 on top
    };
    const TCase cases[] = {
        {"inside stays", {100, 100, 300, 200}, {0, 0}, {100, 100, 300, 200}},
        {"mosaic past the corner", {446, 285, 438, 330}, {200, 200}, {354, 238, 438, 330}},
        {"editor taller than the screen", {150, 10, 500, 700}, {500, 650}, {150, 0, 500, 568}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.What);
        QDialog w;
        w.setMinimumSize(c.Minimum);
        w.setGeometry(c.Window);
        ocelis::KeepOnScreen(&w);
        EXPECT_EQ(QRect(w.pos(), w.size()), c.Expected);
        EXPECT_LE(w.minimumHeight(), c.Expected.height());
    }
}

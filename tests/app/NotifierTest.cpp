// The notifier's gathering of health notices and its "back" replacing a warning, with the
// desktop's service replaced by a recorder.
#include "app/Notifier.h"

#include "support/GuiFixture.h"

#include <QSystemTrayIcon>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

using ocelis::THealthNotice;

namespace {

struct TPosted {
    std::string Text;
    uint Replaces;
    bool Clickable;
    bool Image;
    bool operator==(const TPosted&) const = default;
};

void PrintTo(const TPosted& p, std::ostream* os) {
    *os << "{" << p.Text << ", " << p.Replaces << ", " << p.Clickable << ", " << p.Image << "}";
}

// One round: notices (window index, kind) gathered, then sent together.
struct TRound {
    std::vector<std::pair<int, THealthNotice>> Notices;
    std::vector<TPosted> Posted;
};

struct TCase {
    const char* Name;
    std::vector<TRound> Rounds;
};

constexpr auto kOffline = THealthNotice::Offline;
constexpr auto kStale = THealthNotice::Stale;
constexpr auto kBack = THealthNotice::Back;

const TCase kCases[] = {
    {"one webcam: offline with its picture, then back in its place",
     {{{{0, kOffline}}, {{"cam0 offline", 0, true, true}}},
      {{{0, kBack}}, {{"cam0 back", 1, true, true}}}}},
    {"three at once go out as one, and so does their return",
     {{{{0, kOffline}, {1, kOffline}, {2, kOffline}}, {{"3 webcams are offline.", 0, true, false}}},
      {{{0, kBack}, {1, kBack}, {2, kBack}}, {{"3 webcams are back.", 1, true, false}}}}},
    {"kinds are told apart",
     {{{{0, kOffline}, {1, kStale}, {2, kStale}},
       {{"cam0 offline", 0, true, true}, {"2 webcams show no new picture.", 0, true, false}}}}},
    {"back without a warning told is no news", {{{{0, kBack}}, {}}}},
    {"offline and back within the gathering time cancel out",
     {{{{0, kOffline}, {0, kBack}}, {}}, {{{0, kBack}}, {}}}},
};

} // namespace

class NotifierTest : public ocelis::test::TGuiFixture {};

TEST_F(NotifierTest, GathersNoticesAndReplacesWarningsWithBack) {
    QImage picture(8, 8, QImage::Format_RGB32);
    picture.fill(Qt::green);
    for (const TCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        std::vector<std::unique_ptr<QWidget>> windows;
        for (int i = 0; i < 3; ++i)
            windows.push_back(std::make_unique<QWidget>());
        TNotifier notifier;
        uint nextId = 0;
        std::vector<TPosted> posted;
        notifier.Post = [&](const TNotifier::TNotification& n, TNotifier::TAnswered answered) {
            posted.push_back({n.Text.toStdString(), n.Replaces, n.Clickable, !n.Image.isNull()});
            answered(n.Replaces ? n.Replaces : ++nextId);
        };
        for (const TRound& round : c.Rounds) {
            posted.clear();
            for (const auto& [i, kind] : round.Notices) {
                const std::string name = "cam" + std::to_string(i);
                notifier.HealthNotice(
                    windows[static_cast<size_t>(i)].get(), kind,
                    QString::fromStdString(name + (kind == kBack ? " back" : " offline")), picture);
            }
            notifier.Flush();
            EXPECT_EQ(posted, round.Posted);
        }
    }
}

TEST_F(NotifierTest, ClickingBringsItsWindowForwardAndNoServiceIsNoFailure) {
    QWidget window;
    TNotifier notifier;
    QWidget* activated = nullptr;
    notifier.OnActivate = [&activated](QWidget* w) { activated = w; };
    notifier.Post = [](const TNotifier::TNotification&, TNotifier::TAnswered answered) {
        answered(7);
    };
    notifier.HealthNotice(&window, kOffline, QStringLiteral("offline"), QImage());
    notifier.Flush();
    QMetaObject::invokeMethod(&notifier, "ActionInvoked", Q_ARG(uint, 7),
                              Q_ARG(QString, QStringLiteral("other")));
    EXPECT_EQ(activated, nullptr);
    QMetaObject::invokeMethod(&notifier, "ActionInvoked", Q_ARG(uint, 7),
                              Q_ARG(QString, QStringLiteral("default")));
    EXPECT_EQ(activated, &window);

    // Nobody takes it and there is no tray icon: nothing happens, nothing breaks.
    bool asked = false;
    notifier.Post = [&asked](const TNotifier::TNotification&, TNotifier::TAnswered answered) {
        asked = true;
        answered(std::nullopt);
    };
    notifier.Notify(QStringLiteral("plain"));
    EXPECT_TRUE(asked);
}

TEST_F(NotifierTest, AMessageOfItsOwnGoesToTheDesktopElseWaitsUntilTheIconIsPlaced) {
    TNotifier notifier;
    std::vector<TNotifier::TNotification> posted;
    std::optional<uint> answer = 4;
    notifier.Post = [&](const TNotifier::TNotification& n, TNotifier::TAnswered answered) {
        posted.push_back(n);
        answered(answer);
    };
    QSystemTrayIcon icon;
    bool placed = false;
    int placedAsked = 0;
    notifier.TrayIcon = [&icon] { return &icon; };
    notifier.IconPlaced = [&](QSystemTrayIcon*) {
        ++placedAsked;
        return placed;
    };

    // A service answers: the desktop shows it, with its own title and time, and no mark.
    notifier.Notify(QStringLiteral("First Launch of Ocelis"), QStringLiteral("Right click"), 5000);
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_EQ(posted[0].Title, "First Launch of Ocelis");
    EXPECT_EQ(posted[0].Text, "Right click");
    EXPECT_EQ(posted[0].TimeoutMs, 5000);
    EXPECT_FALSE(posted[0].Information);
    EXPECT_EQ(notifier.Waiting(), 0u);
    EXPECT_EQ(placedAsked, 0);

    // None answers: the balloon waits for the icon to be placed, then shows.
    answer.reset();
    notifier.Notify(QStringLiteral("First Launch of Ocelis"), QStringLiteral("Right click"), 5000);
    notifier.TrayReady();
    EXPECT_EQ(notifier.Waiting(), 1u);
    EXPECT_GT(placedAsked, 0);
    placed = true;
    EXPECT_TRUE(QTest::qWaitFor([&] { return notifier.Waiting() == 0; }, 5000));

    // Without any tray icon it waits for one.
    notifier.TrayIcon = [] { return static_cast<QSystemTrayIcon*>(nullptr); };
    notifier.Notify(QStringLiteral("plain"));
    EXPECT_EQ(notifier.Waiting(), 1u);
    notifier.TrayIcon = [&icon] { return &icon; };
    notifier.TrayReady();
    EXPECT_EQ(notifier.Waiting(), 0u);
}

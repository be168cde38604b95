#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/WebcamHealth.h"

using ocelis::TFetchFailure;
using ocelis::THealthNotice;
using ocelis::THealthState;
using ocelis::TWebcamHealth;

namespace {

// One fetch of the sequence: c changed, u unchanged, f failed, k only a look at the time.
struct TStep {
    double At;
    char What;
    THealthNotice Notice = THealthNotice::None;
    THealthState State = THealthState::Live;
};

struct TCase {
    const char* Name;
    int32_t Refresh;
    std::vector<TStep> Steps;
};

constexpr auto kLive = THealthState::Live;
constexpr auto kOffline = THealthState::Offline;
constexpr auto kStale = THealthState::Stale;
constexpr auto kNone = THealthNotice::None;
constexpr auto kToldOffline = THealthNotice::Offline;
constexpr auto kToldStale = THealthNotice::Stale;
constexpr auto kBack = THealthNotice::Back;

const TCase kCases[] = {
    {"one miss is nothing", 1, {{0, 'c'}, {1, 'f'}, {2, 'c'}, {40, 'f'}, {41, 'u'}}},
    {"three misses over less than 30 s are not offline",
     1,
     {{0, 'c'}, {1, 'f'}, {2, 'f'}, {3, 'f'}, {4, 'f'}, {5, 'u'}}},
    {"three misses over 30 s: offline once, then back",
     10,
     {{0, 'c'},
      {10, 'f'},
      {20, 'f'},
      {30, 'f'},
      {40, 'f', kToldOffline, kOffline},
      {50, 'f', kNone, kOffline},
      {60, 'f', kNone, kOffline},
      {70, 'u', kBack, kLive}}},
    {"two misses over a long time are not offline", 60, {{0, 'c'}, {60, 'f'}, {120, 'f'}}},
    {"a second outage within 10 minutes is not told, and so no back",
     10,
     {{0, 'c'},
      {10, 'f'},
      {20, 'f'},
      {40, 'f', kToldOffline, kOffline},
      {50, 'c', kBack, kLive},
      {60, 'f'},
      {70, 'f'},
      {100, 'f', kNone, kOffline},
      {110, 'c', kNone, kLive}}},
    {"an outage 10 minutes after the last warning is told",
     10,
     {{0, 'c'},
      {10, 'f'},
      {20, 'f'},
      {40, 'f', kToldOffline, kOffline},
      {50, 'c', kBack, kLive},
      {640, 'f'},
      {650, 'f'},
      {680, 'f', kToldOffline, kOffline}}},
    {"stale after 10 minutes without a new picture, once, back with the next",
     1,
     {{0, 'c'},
      {1, 'c'},
      {2, 'c'},
      {300, 'u'},
      {602, 'u'},
      {603, 'u', kToldStale, kStale},
      {700, 'k', kNone, kStale},
      {701, 'c', kBack, kLive}}},
    {"no stale notice before three changes", 1, {{0, 'c'}, {1, 'c'}, {700, 'u', kNone, kStale}}},
    {"a slow webcam is judged by its own pace",
     60,
     {{0, 'c'},
      {1800, 'c'},
      {3600, 'c'},
      // Every 30 minutes: frozen only after 90.
      {3600 + 5000, 'k'},
      {3600 + 5401, 'k', kToldStale, kStale}}},
    {"three times the refresh when that is longer",
     300,
     {{0, 'c'}, {1, 'c'}, {2, 'c'}, {800, 'u'}, {903, 'k', kToldStale, kStale}}},
    {"offline after stale is told",
     60,
     {{0, 'c'},
      {1, 'c'},
      {2, 'c'},
      {603, 'k', kToldStale, kStale},
      {1300, 'f', kNone, kStale},
      {1360, 'f', kNone, kStale},
      {1420, 'f', kToldOffline, kOffline}}},
    {"failures from the start with no picture",
     5,
     {{5, 'f'}, {10, 'f'}, {20, 'f'}, {35, 'f', kToldOffline, kOffline}}},
};

} // namespace

TEST(WebcamHealthTest, StateTable) {
    for (const TCase& c : kCases) {
        SCOPED_TRACE(c.Name);
        TWebcamHealth health(0, c.Refresh);
        for (const TStep& s : c.Steps) {
            SCOPED_TRACE("at " + std::to_string(s.At) + " " + s.What);
            THealthNotice notice = kNone;
            switch (s.What) {
            case 'c':
                notice = health.Changed(s.At);
                break;
            case 'u':
                notice = health.Unchanged(s.At);
                break;
            case 'f':
                notice = health.Failed(s.At, TFetchFailure{});
                break;
            default:
                notice = health.Check(s.At);
                break;
            }
            EXPECT_EQ(notice, s.Notice);
            EXPECT_EQ(health.State(s.At), s.State);
        }
    }
}

TEST(WebcamHealthTest, OfflineSinceAndReasonFollowTheRunOfFailures) {
    TWebcamHealth health(0, 10);
    health.Changed(5);
    TFetchFailure refused;
    refused.Kind = THttpFailure::Refused;
    health.Failed(10, TFetchFailure{});
    health.Failed(20, refused);
    EXPECT_EQ(health.OfflineSince(), 10);
    ASSERT_TRUE(health.Reason());
    EXPECT_EQ(health.Reason()->Kind, THttpFailure::Refused);
    EXPECT_EQ(health.LastNewPicture(), 5);
    health.Unchanged(30);
    EXPECT_FALSE(health.OfflineSince());
    EXPECT_FALSE(health.Reason());
    EXPECT_EQ(health.LastNewPicture(), 5);
}

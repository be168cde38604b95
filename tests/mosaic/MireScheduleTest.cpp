// The fetch schedule of the mosaic and the chooser on a clock the test moves: due times,
// backoff, one request per server, at most four at once.
#include "mosaic/MireSchedule.h"

#include <gtest/gtest.h>
#include <map>

using namespace std::chrono_literals;
using ocelis::TMireCell;
using ocelis::TMireSchedule;
using ocelis::TMireTicket;
using ocelis::TMireTime;

namespace {

const TMireTime kT0{};

TMireTime At(double seconds) {
    return kT0 + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                     std::chrono::duration<double>(seconds));
}

} // namespace

TEST(MireSchedule, WaitIsTheIntervalDoubledPerFailureUpToFiveMinutes) {
    struct TCase {
        int32_t Refresh, Failures;
        int64_t Seconds;
    };
    const std::vector<TCase> cases = {
        {0, 0, 1},     {-1, 0, 1},    {5, 0, 5},     {5, 1, 5},     {5, 2, 10},     {5, 3, 20},
        {5, 6, 160},   {5, 7, 300},   {1, 9, 256},   {1, 10, 300},  {1, 5000, 300}, {-1, 3, 4},
        {600, 0, 600}, {600, 1, 300}, {300, 1, 300}, {299, 2, 300},
    };
    for (const TCase& c : cases)
        EXPECT_EQ(TMireSchedule::Wait(c.Refresh, c.Failures).count(), c.Seconds)
            << c.Refresh << " after " << c.Failures;
}

TEST(MireSchedule, ServerOfAnAddress) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"http://Cam.Example.ORG/a.jpg", "cam.example.org:80"},
        {"http://cam.example.org:80/b.jpg", "cam.example.org:80"},
        {"https://cam.example.org/a.jpg", "cam.example.org:443"},
        {"http://user:pw@10.0.0.1:8080/x", "10.0.0.1:8080"},
        {"http://[::1]:81/x", "::1:81"},
        {"http://bad host/x", "http://bad host/x"},
    };
    for (const auto& [url, server] : cases)
        EXPECT_EQ(ocelis::MireServer(url), server) << url;
}

// A script of takes and completions on six cells: A and B share server s1, the others have
// one each.
TEST(MireSchedule, ScriptedTakesAndCompletions) {
    TMireSchedule s;
    s.SetCells({{"s1", 5}, {"s1", 0}, {"s2", 2}, {"s3", 10}, {"s4", 1}, {"s5", 1}}, kT0);
    std::map<std::size_t, TMireTicket> held;
    struct TStep {
        char Op;   // 'T' take (Cell: the cell expected, -1 none), 'D' done, 'F' failed
        double At; // seconds
        int Cell;
        double Next; // after the step: NextDue in seconds, -1 none
    };
    const std::vector<TStep> steps = {
        {'T', 0, 0, 0},     // all due at once: the first
        {'T', 0, 2, 0},     // B waits for s1
        {'T', 0, 3, 0},     // ...
        {'T', 0, 4, -1},    // four in flight: nothing until a fetch ends
        {'T', 0, -1, -1},   //
        {'D', 1, 0, 0},     // A due at 6; s1 free for B, due since 0
        {'T', 1, 1, -1},    // B; four in flight again
        {'D', 1.5, 4, 0},   // s4's cell due at 2.5; F (s5) due since 0
        {'T', 1.5, 5, -1},  //
        {'F', 2, 2, 2.5},   // C failed once: its interval, due at 4; next is s4's at 2.5
        {'T', 2, -1, 2.5},  // nothing due yet
        {'T', 2.5, 4, -1},  // s4 again, at its own pace
        {'D', 3, 1, 4},     // B due at 4 (interval 1), like C
        {'D', 3.5, 5, 4},   //
        {'T', 4, 1, 4},     // B and C both due at 4: the first in the grid
        {'T', 4, 2, -1},    //
        {'F', 4.5, 2, 4.5}, // C failed twice: twice its interval, due at 8.5
        {'D', 5, 1, 4.5},   // B due at 6
        {'D', 5, 4, 4.5},   // E due at 6
        {'T', 5, 5, 6},     //
        {'T', 6, 0, 6},     // A, B and E due at 6: A, and B must wait for s1
        {'T', 6, 4, -1},    //
        {'T', 6, -1, -1},   //
        {'D', 6.5, 0, 6},   // A due at 11.5; s1 free for B
        {'T', 6.5, 1, -1},
    };
    for (std::size_t n = 0; n < steps.size(); ++n) {
        const TStep& st = steps[n];
        SCOPED_TRACE(testing::Message() << "step " << n);
        if (st.Op == 'T') {
            const std::optional<TMireTicket> t = s.Take(At(st.At));
            ASSERT_EQ(t.has_value(), st.Cell >= 0);
            if (t) {
                EXPECT_EQ(t->Index, static_cast<std::size_t>(st.Cell));
                held[t->Index] = *t;
            }
        } else {
            ASSERT_TRUE(held.count(static_cast<std::size_t>(st.Cell)));
            s.Done(held[static_cast<std::size_t>(st.Cell)], st.Op == 'D', At(st.At));
            held.erase(static_cast<std::size_t>(st.Cell));
        }
        EXPECT_LE(s.InFlight(), TMireSchedule::kMaxInFlight);
        const std::optional<TMireTime> next = s.NextDue();
        EXPECT_EQ(next.has_value(), st.Next >= 0);
        if (next && st.Next >= 0) {
            EXPECT_EQ(*next, At(st.Next));
        }
    }
    EXPECT_EQ(s.Failures(2), 2);
    EXPECT_EQ(s.Due(2), At(8.5));
}

// A webcam that keeps failing backs off; its first answer brings back its interval.
TEST(MireSchedule, BackoffSequenceAndRecovery) {
    TMireSchedule s;
    s.SetCells({{"s", 3}}, kT0);
    double now = 0;
    const std::vector<std::pair<bool, double>> outcomes = {
        {true, 3},   {false, 3},   {false, 6},   {false, 12},  {false, 24}, {false, 48},
        {false, 96}, {false, 192}, {false, 300}, {false, 300}, {true, 3},   {false, 3},
    };
    for (const auto& [ok, wait] : outcomes) {
        const std::optional<TMireTicket> t = s.Take(At(now));
        ASSERT_TRUE(t);
        EXPECT_FALSE(s.Take(At(now)).has_value());
        now += 0.25; // the fetch takes a while: the wait counts from its end
        s.Done(*t, ok, At(now));
        EXPECT_EQ(s.Due(0), At(now + wait)) << "after " << s.Failures(0) << " failures";
        // Not a moment sooner.
        EXPECT_FALSE(s.Take(At(now + wait) - 1ns).has_value());
        now += wait;
    }
}

TEST(MireSchedule, AtMostFourInFlightAndNeverTwoOnOneServer) {
    struct TCase {
        const char* Name;
        std::vector<std::string> Servers;
        std::size_t Taken;
    };
    const std::vector<TCase> cases = {
        {"ten servers", {"a", "b", "c", "d", "e", "f", "g", "h", "i", "j"}, 4},
        {"one server", {"a", "a", "a", "a", "a"}, 1},
        {"two servers", {"a", "a", "b", "b", "a"}, 2},
        {"three", {"a", "b", "a", "c", "b"}, 3},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TMireSchedule s;
        std::vector<TMireCell> cells;
        for (const std::string& server : c.Servers)
            cells.push_back({server, 1});
        s.SetCells(cells, kT0);
        std::map<std::string, int> busy;
        std::size_t taken = 0;
        while (const std::optional<TMireTicket> t = s.Take(kT0)) {
            EXPECT_EQ(++busy[t->Server], 1) << t->Server;
            ++taken;
        }
        EXPECT_EQ(taken, c.Taken);
        EXPECT_EQ(s.InFlight(), c.Taken);
    }
}

// New cells (the chooser's next category) while an old fetch is under way: its server stays
// busy until it ends, and its outcome changes none of the new cells.
TEST(MireSchedule, NewCellsKeepAnOldFetchsServerBusyAndIgnoreItsOutcome) {
    TMireSchedule s;
    s.SetCells({{"slow", 1, true}}, kT0);
    const std::optional<TMireTicket> old = s.Take(kT0);
    ASSERT_TRUE(old);
    s.SetCells({{"slow", 1, true}, {"quick", 1, true}}, At(1));
    std::optional<TMireTicket> t = s.Take(At(1));
    ASSERT_TRUE(t);
    EXPECT_EQ(t->Index, 1u);
    EXPECT_FALSE(s.Take(At(1)).has_value());
    EXPECT_FALSE(s.Finished());
    s.Done(*old, false, At(2));
    EXPECT_EQ(s.Failures(0), 0);
    const std::optional<TMireTicket> first = s.Take(At(2));
    ASSERT_TRUE(first);
    EXPECT_EQ(first->Index, 0u);
    // Once-only cells: all handed out, nothing waits any more.
    EXPECT_TRUE(s.Finished());
    s.Release(*first); // given back unfetched: it waits again
    EXPECT_FALSE(s.Finished());
    EXPECT_EQ(s.InFlight(), 1u);
}

#include <gtest/gtest.h>

#include <future>
#include <thread>

#include "line/StringWait.h"
#include "support/RecordingPlatform.h"

namespace marlo {
namespace {

void Feed(StringWait& w, const std::string& s) {
    w.Feed(reinterpret_cast<const uint8_t*>(s.data()), s.size());
}

TEST(StringWait, PatternSplitAcrossBlocksMatches) {
    StringWait w;
    int id = w.Arm({"login:"}, true);
    Feed(w, "Welcome\r\nlog");
    EXPECT_EQ(w.Matched(id), 0);
    Feed(w, "in: ");
    EXPECT_EQ(w.Matched(id), 1);
    w.Disarm(id);
}

TEST(StringWait, FiftyPatternsAreKeptAndTheIndexIsOneBased) {
    StringWait w;
    std::vector<std::string> patterns;
    for (int i = 1; i <= 51; ++i) patterns.push_back("p" + std::to_string(i) + "#");
    int id = w.Arm(patterns, true);
    Feed(w, "xx p51# yy");
    EXPECT_EQ(w.Matched(id), 0) << "the 51st pattern is not kept";
    Feed(w, "p50#");
    EXPECT_EQ(w.Matched(id), 50);
    w.Disarm(id);
}

TEST(StringWait, FirstPatternFoundWinsAndLaterBytesReachTheNextWait) {
    StringWait w;
    int first = w.Arm({"Password:", "login:"}, true);
    Feed(w, "login: Password: ");
    EXPECT_EQ(w.Matched(first), 2);
    w.Disarm(first);
    // Text that comes between two waits (a host quicker than the macro) is wanted and kept.
    EXPECT_TRUE(w.Wanted());
    Feed(w, "ignored\r\n");
    // The prompt that came in the same block is there for the next wait.
    int second = w.Arm({"Password:"}, false);
    EXPECT_EQ(w.Matched(second), 1);
    w.Disarm(second);
    // A fresh wait only sees what comes from now on.
    int third = w.Arm({"Password:"}, true);
    EXPECT_EQ(w.Matched(third), 0);
    w.Disarm(third);
}

TEST(StringWait, TimedOutWaitLeavesNothingForLaterAndIdleBytesAreNotRecorded) {
    StringWait w;
    Feed(w, "OK\r\n");
    int id = w.Arm({"OK"}, false);
    EXPECT_EQ(w.Matched(id), 0) << "bytes with no wait active are not recorded";
    Feed(w, "NO");
    w.Disarm(id);
    EXPECT_EQ(w.Window(), "");
    EXPECT_FALSE(w.Wanted());
    // After Record (a macro about to send) the answer is kept until a wait takes it.
    w.Record();
    EXPECT_TRUE(w.Wanted());
    Feed(w, "OK\r\n");
    int after = w.Arm({"OK"}, false);
    EXPECT_EQ(w.Matched(after), 1);
    w.Disarm(after);
}

TEST(StringWait, WindowKeepsTheLast255Bytes) {
    StringWait w;
    int id = w.Arm({std::string(300, 'a')}, true);
    Feed(w, std::string(1000, 'a'));
    EXPECT_EQ(w.Matched(id), 0) << "a pattern longer than the window never matches";
    EXPECT_EQ(w.Window().size(), StringWait::kWindowSize);
    w.Disarm(id);
    id = w.Arm({"needle"}, true);
    Feed(w, std::string(5000, '.') + "needle");
    EXPECT_EQ(w.Matched(id), 1);
    w.Disarm(id);
}

TEST(StringWait, EachWaiterKeepsItsOwnPatterns) {
    StringWait w;
    int a = w.Arm({"alpha"}, true);
    int b = w.Arm({"beta"}, false);
    Feed(w, "beta");
    EXPECT_EQ(w.Matched(a), 0);
    EXPECT_EQ(w.Matched(b), 1);
    Feed(w, "alpha");
    EXPECT_EQ(w.Matched(a), 1);
    w.Disarm(a);
    w.Disarm(b);
}

TEST(StringWait, WaitOnTheUserInterfaceThreadDispatchesUntilTheTextArrives) {
    test::RecordingPlatform platform;
    StringWait w;
    std::vector<std::string> traces;
    platform.StartTimer(1, 10, [&] { Feed(w, "...O"); });
    platform.StartTimer(2, 30, [&] {
        Feed(w, "K");
        platform.StopTimer(2);
    });
    WaitOptions o;
    o.timeoutMs = 10000;
    o.trace = [&](const std::string& t) { traces.push_back(t); };
    EXPECT_EQ(WaitForString(platform, w, "OK", o), WaitOutcome::Matched);
    platform.StopTimer(1);
    EXPECT_EQ(traces.front(), "WaitForString = [OK]");
    EXPECT_EQ(traces.back(), "wait end\n");
}

TEST(StringWait, TimeOutStopAndClose) {
    test::RecordingPlatform platform;
    StringWait w;
    std::vector<std::string> traces;
    WaitOptions o;
    o.timeoutMs = 50;
    o.trace = [&](const std::string& t) { traces.push_back(t); };
    EXPECT_EQ(WaitForString(platform, w, "never", o), WaitOutcome::TimedOut);
    EXPECT_EQ(traces.back(), "TIMEOUT!!\n");

    std::atomic<bool> stop{false};
    o.timeoutMs = 20000;
    o.stop = &stop;
    platform.StartTimer(1, 20, [&] { stop = true; });
    traces.clear();
    EXPECT_EQ(WaitForString(platform, w, "never", o), WaitOutcome::TimedOut);
    platform.StopTimer(1);
    ASSERT_GE(traces.size(), 3u);
    EXPECT_EQ(traces[1], "m_bAutoCmdStop\n");

    // A stop already set when the wait starts does not end it; the close request does.
    std::atomic<bool> closing{false};
    o.closing = &closing;
    platform.StartTimer(1, 20, [&] { closing = true; });
    EXPECT_EQ(WaitForString(platform, w, "never", o), WaitOutcome::Closing);
    platform.StopTimer(1);
    EXPECT_FALSE(w.Active());
}

TEST(StringWait, AnotherThreadWaitsWhileTheUserInterfaceThreadFeeds) {
    test::RecordingPlatform platform;
    StringWait w;
    auto waiter = std::async(std::launch::async, [&] {
        int index = 0;
        WaitOptions o;
        o.timeoutMs = 20000;
        o.fresh = false;
        auto r = WaitForAny(platform, w, {"ready>", "error>"}, o, &index);
        return r == WaitOutcome::Matched ? index : -1;
    });
    while (!w.Active()) std::this_thread::yield();
    Feed(w, "an error");
    Feed(w, ">");
    EXPECT_EQ(waiter.get(), 2);
}

}  // namespace
}  // namespace marlo

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "terminal/PasteModel.h"

namespace marlo {
namespace {

struct FakeWait : IEchoWait {
    bool WaitForEcho(const std::string& text, int timeoutMs) override {
        log += "wait[" + text + "]" + std::to_string(timeoutMs) + ";";
        return true;
    }
    bool Pause(int ms) override {
        log += "pause" + std::to_string(ms) + ";";
        return --pausesLeft > 0;
    }
    std::string log;
    int pausesLeft = 100;
};

TEST(PasteModel, ThreeLinesWithCrOnlyWaitForEachEcho) {
    FakeHost host;
    FakeWait wait;
    EXPECT_TRUE(RunPaste(PlanPaste("one\r\ntwo\nthree\n", false), host, wait));
    EXPECT_EQ(host.sent, "one\rtwo\rthree\r");
    EXPECT_EQ(wait.log,
              "wait[one]5000;pause1000;wait[two]5000;pause1000;wait[three]5000;pause1000;");
}

TEST(PasteModel, SndCrLfKeepsTheLfAndTheRestGoesWithoutWaiting) {
    auto steps = PlanPaste("a\nb", true);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].send, "a\r\n");
    EXPECT_TRUE(steps[0].paced);
    EXPECT_EQ(steps[1].send, "b");
    EXPECT_FALSE(steps[1].paced);
    EXPECT_TRUE(PlanPaste("", false).empty());
}

TEST(PasteModel, EchoAwaitedIsWhatTheWindowCanHold) {
    // Controls end the awaited part; an empty line waits for nothing but still pauses.
    auto steps = PlanPaste("col1\tcol2\n\n", false);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].echo, "col1");
    EXPECT_EQ(steps[1].echo, "");
    EXPECT_TRUE(steps[1].paced);
    // A long line: its last bytes that fit, never starting on a trail byte.
    std::string kanji;
    for (int i = 0; i < 200; ++i) kanji += "\x88\x9f";
    steps = PlanPaste("x" + kanji + "\n", false);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_LT(steps[0].echo.size(), kEchoWindowBytes);
    EXPECT_EQ(steps[0].echo.size() % 2, 0u);
    EXPECT_EQ(steps[0].echo.substr(0, 2), "\x88\x9f");
    EXPECT_EQ(steps[0].send.size(), kanji.size() + 2);
}

TEST(PasteModel, StoppedPauseEndsThePaste) {
    FakeHost host;
    FakeWait wait;
    wait.pausesLeft = 1;
    EXPECT_FALSE(RunPaste(PlanPaste("a\nb\nc", false), host, wait));
    EXPECT_EQ(host.sent, "a\r");
    host.transfer = true;
    EXPECT_FALSE(RunPaste(PlanPaste("d\n", false), host, wait));
    EXPECT_EQ(host.sent, "a\r");
    EXPECT_EQ(host.beeps, 1);
}

}  // namespace
}  // namespace marlo

#include <gtest/gtest.h>

#include "FakeHost.h"
#include "terminal/PasteModel.h"

namespace marlo {
namespace {

std::vector<TextPiece> Sjis(const std::string& text) {
    return {TextPiece{text}};
}

// A step's text, UTF-8 runs in braces as FakeHost records them.
std::string Flat(const std::vector<TextPiece>& pieces) {
    std::string out;
    for (const TextPiece& p : pieces) out += p.utf8 ? "{" + p.bytes + "}" : p.bytes;
    return out;
}

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
    EXPECT_TRUE(RunPaste(PlanPaste(Sjis("one\r\ntwo\nthree\n"), false), host, wait));
    EXPECT_EQ(host.sent, "one\rtwo\rthree\r");
    EXPECT_EQ(wait.log,
              "wait[one]5000;pause1000;wait[two]5000;pause1000;wait[three]5000;pause1000;");
}

TEST(PasteModel, SndCrLfKeepsTheLfAndTheRestGoesWithoutWaiting) {
    auto steps = PlanPaste(Sjis("a\nb"), true);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(Flat(steps[0].send), "a\r\n");
    EXPECT_TRUE(steps[0].paced);
    EXPECT_EQ(Flat(steps[1].send), "b");
    EXPECT_FALSE(steps[1].paced);
    EXPECT_TRUE(PlanPaste(Sjis(""), false).empty());
}

TEST(PasteModel, EchoAwaitedIsWhatTheWindowCanHold) {
    // Controls end the awaited part; an empty line waits for nothing but still pauses.
    auto steps = PlanPaste(Sjis("col1\tcol2\n\n"), false);
    ASSERT_EQ(steps.size(), 2u);
    EXPECT_EQ(steps[0].echo, "col1");
    EXPECT_EQ(steps[1].echo, "");
    EXPECT_TRUE(steps[1].paced);
    // A long line: its last bytes that fit, never starting on a trail byte.
    std::string kanji;
    for (int i = 0; i < 200; ++i) kanji += "\x88\x9f";
    steps = PlanPaste(Sjis("x" + kanji + "\n"), false);
    ASSERT_EQ(steps.size(), 1u);
    EXPECT_LT(steps[0].echo.size(), kEchoWindowBytes);
    EXPECT_EQ(steps[0].echo.size() % 2, 0u);
    EXPECT_EQ(steps[0].echo.substr(0, 2), "\x88\x9f");
    EXPECT_EQ(Flat(steps[0].send).size(), kanji.size() + 2);
}

// Characters Shift-JIS cannot hold go out as UTF-8 runs and are awaited as geta marks; with
// bracketed paste the text goes between the brackets and cannot close them itself.
TEST(PasteModel, UnheldCharactersAndBracketedPaste) {
    FakeHost host;
    FakeWait wait;
    const std::string text = "caf\xC3\xA9 \xF0\x9F\x98\x80\xE6\xBC\xA2\n\xEA\xB0\x80\x1b[201~x";
    EXPECT_TRUE(RunPaste(PlanPaste(Utf8ToSjisPieces(text), false, true), host, wait));
    EXPECT_EQ(host.sent,
              "\x1b[200~caf{\xC3\xA9} {\xF0\x9F\x98\x80}\x8a\xbf\r{\xEA\xB0\x80}[201~x\x1b[201~");
    EXPECT_EQ(wait.log, "wait[caf\x81\xac \x81\xac\x8a\xbf]5000;pause1000;");
    EXPECT_TRUE(PlanPaste(Sjis("\x1b"), false, true).empty());
}

TEST(PasteModel, StoppedPauseEndsThePaste) {
    FakeHost host;
    FakeWait wait;
    wait.pausesLeft = 1;
    EXPECT_FALSE(RunPaste(PlanPaste(Sjis("a\nb\nc"), false), host, wait));
    EXPECT_EQ(host.sent, "a\r");
    host.transfer = true;
    EXPECT_FALSE(RunPaste(PlanPaste(Sjis("d\n"), false), host, wait));
    EXPECT_EQ(host.sent, "a\r");
    EXPECT_EQ(host.beeps, 1);
}

}  // namespace
}  // namespace marlo

#include <gtest/gtest.h>

#include "terminal/TextSend.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

TEST(TextSend, LinesAreBrokenAtTheWidthNeverInsideAKanji) {
    const std::string a77(77, 'a');
    struct Case {
        std::string file;  // UTF-8
        TextSendOptions options;
        std::vector<std::string> lines;
    } cases[] = {
        {"abcdef\r\n", {8, 4, true}, {"abcd\r", "ef\r"}},
        // A kanji begun before the width stays whole; the next character starts a new line.
        {"abc日本\r", {8, 4, true}, {"abc日\r", "本\r"}},
        {a77 + "日b\r", {8, 78, true}, {a77 + "日\r", "b\r"}},
        {std::string(100, 'a') + "\r", {8, 78, true}, {std::string(78, 'a') + "\r", std::string(22, 'a') + "\r"}},
        {"a\tb\r", {4, 78, true}, {"a   b\r"}},
        {"abcde\tX\r", {8, 78, true}, {"abcde   X\r"}},
        {"abc\tx", {8, 5, true}, {"abc  \r", "   x"}},  // the tab's blanks break like characters
        {"a\r\nb\r\n", {8, 78, true}, {"a\r", "b\r"}},
        {"a\r\nb\r\n", {8, 78, false}, {"a\r", "\nb\r", "\n"}},  // a kept LF goes before the next line
    };
    for (const auto& c : cases)
        EXPECT_EQ(TextSendLines(Utf8ToSjis(c.file), c.options), [&] {
            std::vector<std::string> want;
            for (const auto& l : c.lines) want.push_back(Utf8ToSjis(l));
            return want;
        }()) << c.file;
    // A first byte with no second one is sent as it is and leaves the next line's bytes alone.
    EXPECT_EQ(TextSendLines("\x82", {}), std::vector<std::string>{"\x82"});
    EXPECT_EQ(TextSendLines("x\x82\rab\r", {}), (std::vector<std::string>{"x\x82\r", "ab\r"}));
}

TEST(TextSend, TheEchoWaitHoldsTheNextLineUntilTheEchoOrTheTimeOut) {
    TextSendRun run({"ab\r", "cd\r", "tail"}, true);
    auto step = run.Next(0, false);
    ASSERT_TRUE(step.send);
    EXPECT_EQ(*step.send, "ab\r");
    EXPECT_EQ(step.echo, "ab");
    EXPECT_FALSE(run.Next(100, false).send);  // no echo yet
    step = run.Next(200, true);               // an echoing host: at once
    ASSERT_TRUE(step.send);
    EXPECT_EQ(*step.send, "cd\r");
    EXPECT_FALSE(run.Next(kTextSendEchoWaitMs + 199, false).send);
    step = run.Next(kTextSendEchoWaitMs + 200, false);  // a silent host: after the time-out
    ASSERT_TRUE(step.send);
    EXPECT_EQ(*step.send, "tail");
    EXPECT_TRUE(step.echo.empty());  // the unended last line is not awaited
    EXPECT_TRUE(run.Next(kTextSendEchoWaitMs + 200, false).done);
    EXPECT_EQ(run.SentLines(), 3u);

    TextSendRun stopped({"a\r", "b\r"}, false);
    EXPECT_TRUE(stopped.Next(0, false).send);
    stopped.Stop();
    EXPECT_TRUE(stopped.Next(0, false).done);
    EXPECT_EQ(stopped.SentLines(), 1u);
}

}  // namespace
}  // namespace marlo

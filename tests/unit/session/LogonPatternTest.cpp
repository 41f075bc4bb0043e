#include <gtest/gtest.h>

#include "line/StringWait.h"
#include "session/LogonPattern.h"

namespace marlo {
namespace {

using namespace std::chrono_literals;

// A scripted host: when what was typed so far ends with `after` ("" at the connection), it
// answers `reply` in one block.
struct Answer {
    std::string after, reply;
};

struct Case {
    const char* name;
    std::string pattern;
    std::vector<Answer> host;
    std::string sent;  // everything typed
    LogonEnd end;
    int lastSendMs = -1;  // when the last text was typed (-1: not checked)
    bool crlf = false;
    int stopAtMs = -1, dropAtMs = -1;
};

// Plays a case on a clock that steps 100 ms at a time, as the frame's receive path and timers
// would: answers are fed to the string wait after the runner advanced.
void Play(const Case& c) {
    SCOPED_TRACE(c.name);
    StringWait wait;
    std::string sent;
    int lastSendMs = -1, nowMs = 0;
    std::vector<bool> answered(c.host.size(), false);
    LogonRunner run(ParseLogonPattern(c.pattern, {"u1", "pw", c.crlf}), wait,
                    [&](const std::string& s) {
                        sent += s;
                        lastSendMs = nowMs;
                        return true;
                    });
    const auto t0 = LogonRunner::Clock::time_point{};
    LogonEnd end = LogonEnd::Running;
    for (; nowMs <= 100000 && end == LogonEnd::Running; nowMs += 100) {
        if (nowMs == c.stopAtMs) run.Stop();
        if (nowMs == c.dropAtMs) run.ConnectionLost();
        end = run.Advance(t0 + std::chrono::milliseconds(nowMs));
        for (size_t i = 0; i < c.host.size(); ++i) {
            const std::string& after = c.host[i].after;
            if (answered[i] || sent.size() < after.size() ||
                sent.compare(sent.size() - after.size(), after.size(), after) != 0)
                continue;
            answered[i] = true;
            wait.Feed(reinterpret_cast<const uint8_t*>(c.host[i].reply.data()),
                      c.host[i].reply.size());
            end = run.Advance(t0 + std::chrono::milliseconds(nowMs));
        }
    }
    EXPECT_EQ(sent, c.sent);
    EXPECT_EQ(end, c.end);
    if (c.lastSendMs >= 0) {
        EXPECT_EQ(lastSendMs, c.lastSendMs);
    }
}

TEST(LogonPattern, PlaysAgainstAHost) {
    const std::string id = "{ID:}$I'{rd:}$P'";
    const std::vector<Answer> people = {{"", "Welcome to the host\r\nID:"}, {"u1\r", "Password:"}};
    const Case cases[] = {
        {"prompt in the banner's block", id, people, "u1\rpw\r", LogonEnd::Finished, 0},
        {"CR LF",
         id,
         {{"", "ID:"}, {"u1\r\n", "Password:"}},
         "u1\r\npw\r\n",
         LogonEnd::Finished,
         -1,
         true},
        {"silent host, 2 s", "{*,2}C NIF'", {}, "C NIF\r", LogonEnd::Finished, 2000},
        {"escapes and a lone $", "$X\\{\\a", {}, "$X{a", LogonEnd::Finished},
        {"every escapable character", "\\'\\$\\}\\!\\*\\,}x,", {}, "'$}!*,}x,", LogonEnd::Finished},
        {"pauses", "a*b!c", {}, "abc", LogonEnd::Finished, 2000},
        // 本 is 96 7B, マ is 83 7D, 表 is 95 5C: trail bytes that look like { } and \.
        {"kanji trail bytes",
         "{\x96\x7B\x83\x7D}\x95\x5C'",
         {{"", "ID\x96\x7B\x83\x7D"}},
         "\x95\x5C\r",
         LogonEnd::Finished},
        {"no prompt before the password", "{ID:,3}$I'{rd:}$P'", {}, "", LogonEnd::NoPrompt},
        {"a wait after the password goes on", id + "{menu,1}X'", people, "u1\rpw\rX\r",
         LogonEnd::Finished},
        {"text before the wait does not count",
         "*{ID:,2}x",
         {{"", "ID:"}},
         "x",
         LogonEnd::Finished,
         3000},
        {"stopped during a wait", id, {}, "", LogonEnd::Stopped, -1, false, 500},
        {"connection lost",
         id,
         {{"", "ID:"}},
         "u1\r",
         LogonEnd::ConnectionLost,
         -1,
         false,
         -1,
         700},
        {"awaited text beyond the window",
         "{" + std::string(300, 'x') + "}a",
         {},
         "",
         LogonEnd::WaitTooLong},
        {"group open at the end", "a{never", {}, "a", LogonEnd::Finished},
        {"empty group", "{}a", {}, "a", LogonEnd::Finished, 0},
        {"escaped brace inside a group", "{\\}}a", {{"", "x}"}}, "a", LogonEnd::Finished, 0},
    };
    for (const Case& c : cases) Play(c);
}

TEST(LogonPattern, TimeoutDigits) {
    const struct {
        std::string pattern;
        int ms;
    } cases[] = {
        {"{a}", 30000},
        {"{a,5}", 5000},
        {"{a,12x}", 12000},
        {"{a,}", 0},
        {"{a,99999999999999999999999}", kLogonMaxWaitSeconds * 1000},
    };
    for (const auto& c : cases) {
        const auto steps = ParseLogonPattern(c.pattern, {});
        ASSERT_EQ(steps.size(), 1u) << c.pattern;
        EXPECT_EQ(steps[0].timeoutMs, c.ms) << c.pattern;
    }
}

}  // namespace
}  // namespace marlo

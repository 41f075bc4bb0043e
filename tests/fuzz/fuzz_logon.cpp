// The auto-logon pattern of a host entry (a file a user was sent) played against a host's text.
// Any pattern, user ID and password: the steps' time-outs stay within a day; a Shift-JIS pair of
// the pattern is never cut between two steps; the runner ends within a bounded number of
// advances when the clock runs on; once a wait timed out the password is never typed, and
// nothing is typed after the connection is lost.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "line/StringWait.h"
#include "session/LogonPattern.h"

namespace marlo::fuzz {
namespace {

bool IsLead(uint8_t c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// True when `text`, read from its start, does not end inside a double-byte character.
bool EndsWhole(const std::string& text) {
    size_t i = 0;
    while (i < text.size()) i += IsLead(static_cast<uint8_t>(text[i])) ? 2 : 1;
    return i == text.size();
}

}  // namespace

void FuzzOne(Input& in) {
    LogonData data;
    // The ID and password are plain ASCII with a marker that a pattern rarely holds.
    data.id = "id" + std::to_string(in.Below(100));
    data.password = "\x01pw" + std::to_string(in.Below(100)) + "\x02";
    data.crlf = in.Flag();
    const size_t patternLength = static_cast<size_t>(in.Below(300));
    const std::string pattern = in.Bytes(patternLength);

    const std::vector<LogonStep> steps = ParseLogonPattern(pattern, data);
    bool textWhole = EndsWhole(pattern);
    for (const LogonStep& s : steps) {
        if (s.timeoutMs < 0 || s.timeoutMs > kLogonMaxWaitSeconds * 1000)
            Fail("a time-out outside 0 .. a day");
        if (textWhole && (s.kind == LogonStep::Kind::Send || s.kind == LogonStep::Kind::Wait) &&
            !EndsWhole(s.text))
            Fail("a double-byte character cut between two steps");
    }

    StringWait wait;
    std::string typed;
    bool lost = false;
    bool typedAfterLoss = false;
    size_t typedAtTimeOut = std::string::npos;  // what was typed when a wait first timed out
    LogonRunner runner(steps, wait, [&](const std::string& s) {
        if (lost) typedAfterLoss = true;
        typed += s;
        return true;
    });
    auto now = std::chrono::steady_clock::time_point{} + std::chrono::hours(1);
    size_t timeRanOut = 0;  // each wait or pause lets the runner go on once its time is over
    LogonEnd end = LogonEnd::Running;
    while ((end = runner.Advance(now)) == LogonEnd::Running) {
        if (!runner.Waiting() && !runner.Deadline()) Fail("running with nothing to wait for");
        switch (in.Empty() ? 3 : in.Below(6)) {
            case 0:
            case 1: {  // the host's text
                const std::string text = in.Bytes(static_cast<size_t>(in.Below(64)));
                if (runner.Waiting())
                    wait.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
                break;
            }
            case 2:  // the awaited text itself
                if (runner.Waiting())
                    wait.Feed(reinterpret_cast<const uint8_t*>(runner.Awaited().data()),
                              runner.Awaited().size());
                break;
            case 4:
                lost = true;
                runner.ConnectionLost();
                break;
            case 5:
                if (in.Flag()) runner.Stop();
                break;
            default:  // the wait or pause runs out
                if (++timeRanOut > steps.size() + 1) Fail("the runner does not end as time runs on");
                if (runner.Waiting() && typedAtTimeOut == std::string::npos)
                    typedAtTimeOut = typed.size();
                if (auto d = runner.Deadline()) now = *d + std::chrono::milliseconds(1);
                break;
        }
    }
    if (typedAfterLoss) Fail("typed into a line that is gone");
    if (typedAtTimeOut != std::string::npos && pattern.find('\x01') == std::string::npos &&
        typed.find(data.password, typedAtTimeOut) != std::string::npos)
        Fail("the password typed after its prompt never came");
}

}  // namespace marlo::fuzz

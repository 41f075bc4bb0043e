// The auto-logon pattern of a host entry (`AutoCommand`): a one-line script of text to type and
// `{text,seconds}` groups to wait for, with `$I` and `$P` for the user ID and password, `'` for
// the line end, `*` and `!` for one-second pauses and `\` escapes. It is read byte by byte
// (Shift-JIS: the byte after a lead byte is never a pattern character) into a list of steps that
// a runner plays against the line.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

struct LogonStep {
    enum class Kind {
        Send,        // type `text` (Shift-JIS, converted to the send code by the line)
        Wait,        // wait up to `timeoutMs` for `text` to arrive
        Pause,       // 1000 ms while received data keeps being processed
        PlainPause,  // 1000 ms with received data left on the line
    };
    Kind kind = Kind::Send;
    std::string text;
    int timeoutMs = 0;
    // A wait that comes before the password is typed: its time-out ends the logon, so the
    // password is never typed blind.
    bool guardsPassword = false;
    bool operator==(const LogonStep&) const = default;
};

struct LogonData {
    std::string id;
    std::string password;  // plain
    bool crlf = false;     // `'` sends CR LF (SndCRLF)
};

inline constexpr int kLogonDefaultWaitMs = 30000;
// Time-out digits beyond this many seconds are taken as this.
inline constexpr int kLogonMaxWaitSeconds = 24 * 3600;

// The steps of `pattern`; consecutive typed text is one Send step.
std::vector<LogonStep> ParseLogonPattern(const std::string& pattern, const LogonData& data);

class StringWait;

enum class LogonEnd {
    Running,
    Finished,        // the pattern was played to its end
    Stopped,         // F3, the stop window
    ConnectionLost,  // nothing more is typed into a line that is gone
    NoPrompt,        // a wait before the password timed out
    WaitTooLong,     // an awaited text longer than the string wait's window can ever match
    SendFailed,
};

// The status-bar text (UTF-8) of a run that ended otherwise than by finishing; "" for Finished.
std::string LogonEndText(LogonEnd end, const std::string& awaited);

// Plays the steps on the string wait. The caller feeds received text to the wait and calls
// Advance whenever text arrived or Deadline() passed; nothing here sleeps or reads a clock.
class LogonRunner {
  public:
    using Clock = std::chrono::steady_clock;
    using Sender = std::function<bool(const std::string&)>;

    LogonRunner(std::vector<LogonStep> steps, StringWait& wait, Sender send);
    ~LogonRunner();
    LogonRunner(const LogonRunner&) = delete;
    LogonRunner& operator=(const LogonRunner&) = delete;

    // Runs the steps that can run at `now`; Running while a wait or a pause holds it.
    LogonEnd Advance(Clock::time_point now);
    void Stop() { stop_ = true; }
    void ConnectionLost() { lost_ = true; }
    LogonEnd End() const { return end_; }
    // The end of the current wait or pause; nullopt when not in one.
    std::optional<Clock::time_point> Deadline() const;
    // True while waiting for text (received text is to be fed to the wait).
    bool Waiting() const { return waitId_ != 0; }
    // True during a plain pause: received data stays on the line.
    bool HoldsReceive() const;
    // The awaited text of the current or last wait.
    const std::string& Awaited() const { return awaited_; }

  private:
    LogonEnd Finish(LogonEnd end);

    std::vector<LogonStep> steps_;
    StringWait& wait_;
    Sender send_;
    size_t at_ = 0;
    int waitId_ = 0;
    bool pausing_ = false;
    bool armedOnce_ = false;
    Clock::time_point until_;
    std::string awaited_;
    bool stop_ = false;
    bool lost_ = false;
    LogonEnd end_ = LogonEnd::Running;
};

}  // namespace marlo

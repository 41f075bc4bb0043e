// A text file typed into the line: the lines it is sent in. Tabs become blanks up to the next stop,
// a line that has reached the maximum width is broken before its next character (never inside a
// double-byte character), and LF bytes are dropped or kept for the front of the next line.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace marlo {

struct TextSendOptions {
    int tabColumns = 8;   // TxSendTabNum
    int maxColumns = 78;  // TxSendMaxCol
    bool dropLf = true;   // TxSendCRLF
};

// Each line ends with CR, except a last one that the file did not end; Shift-JIS in and out.
std::vector<std::string> TextSendLines(std::string_view file, const TextSendOptions& options);

// How long the echo of a sent line is awaited before the next line goes out anyway.
constexpr int kTextSendEchoWaitMs = 3000;

// A text send in progress, advanced by its driver's timer (nothing blocks): each step sends the
// next line, or, with the echo wait on, holds until the line's echo came back or the wait ran out.
// The driver arms the wait for `echo` before it writes `send`, and reports whether it matched.
class TextSendRun {
  public:
    TextSendRun(std::vector<std::string> lines, bool waitForEcho);

    struct Step {
        const std::string* send = nullptr;  // a line to write now (Shift-JIS), or null
        std::string echo;                   // what to wait for after it; empty: no wait
        bool done = false;                  // every line went out, or it was stopped
    };
    Step Next(int64_t nowMs, bool echoed);
    // Before the next line: nothing more is sent.
    void Stop() { stopped_ = true; }
    bool Stopped() const { return stopped_; }
    size_t SentLines() const { return next_; }
    size_t TotalLines() const { return lines_.size(); }

  private:
    std::vector<std::string> lines_;
    bool waitForEcho_;
    size_t next_ = 0;
    bool stopped_ = false;
    bool waiting_ = false;
    int64_t deadline_ = 0;
};

}  // namespace marlo

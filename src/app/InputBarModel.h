// The one-line input bar: a line of at most 80 characters, the lines sent before (at most 50, the
// newest first), the character counter, and what Enter and Escape do.
#pragma once

#include <deque>
#include <string>

#include "terminal/HexDump.h"

namespace marlo {

class InputBarModel {
  public:
    static constexpr size_t kMaxHistory = 50;
    static constexpr size_t kMaxLength = 80;

    // Enter: the bytes to send for `text` (Shift-JIS), and the history updated. The text is cut at
    // 99 bytes (never in the middle of a double-byte character); CR, and LF with `sndCrLf`, follow.
    std::string Enter(const std::string& text, bool sndCrLf);
    // Enter with the hex box on: `text` (UTF-8) read as hex bytes (ParseHexBytes), to be written
    // to the line as they are. A malformed entry gives the error, sends nothing and is not
    // remembered.
    HexBytes EnterHex(const std::string& text);
    const std::deque<std::string>& History() const { return history_; }

    // Escape: true when the field held text (it is emptied and the key swallowed); false when the
    // key should reach the terminal as the character 27.
    static bool EscapeClearsField(const std::string& text) { return !text.empty(); }
    // The counter's text for the field's content.
    static std::string Counter(const std::string& text) { return std::to_string(text.size()); }

  private:
    // The newest line of the history (once, the oldest dropped when it is full).
    void Remember(const std::string& sjis);

    std::deque<std::string> history_;
};

}  // namespace marlo

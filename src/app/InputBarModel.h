// The one-line input bar: a line of at most 80 characters, the lines sent before (at most 50, the
// newest first), the character counter, and what Enter and Escape do.
#pragma once

#include <deque>
#include <string>

namespace marlo {

class InputBarModel {
  public:
    static constexpr size_t kMaxHistory = 50;
    static constexpr size_t kMaxLength = 80;

    // Enter: the bytes to send for `text` (Shift-JIS), and the history updated. The text is cut at
    // 99 bytes (never in the middle of a double-byte character); CR, and LF with `sndCrLf`, follow.
    std::string Enter(const std::string& text, bool sndCrLf);
    const std::deque<std::string>& History() const { return history_; }

    // Escape: true when the field held text (it is emptied and the key swallowed); false when the
    // key should reach the terminal as the character 27.
    static bool EscapeClearsField(const std::string& text) { return !text.empty(); }
    // The counter's text for the field's content.
    static std::string Counter(const std::string& text) { return std::to_string(text.size()); }

  private:
    std::deque<std::string> history_;
};

}  // namespace marlo

// Interprets a completed escape sequence (the bytes collected after ESC) against the terminal's
// cursor and the screen buffer: cursor moves, erasing, line insertion and deletion, tab stops and
// the display attributes (SGR). Nothing is sent back to the host.
//
// VT100 sequences are told apart by their last byte and their length only, as the terminal always
// did: ESC ( B moves the cursor down like ESC [ B. Numbers are clamped: negative ones count as 0,
// huge ones are cut to the screen, an unreadable count is 1; positions stay on the screen.
#pragma once

#include <cstdint>

namespace marlo {

class ScreenBuffer;
class TerminalState;

// The collector's rules: whether the byte just appended completes the sequence.
// `length` is the number of bytes collected, `last` included.
bool Vt100SequenceComplete(uint8_t last, int length);
bool Vt52SequenceEnds(uint8_t last);

class EscapeInterpreter {
  public:
    EscapeInterpreter(ScreenBuffer& buffer, TerminalState& state)
        : buffer_(buffer), state_(state) {}

    void Vt100(const uint8_t* s, int n);
    void Vt52(const uint8_t* s, int n);

  private:
    void selectGraphicRendition(const uint8_t* s, int n);
    void cursorPosition(const uint8_t* s, int n);

    ScreenBuffer& buffer_;
    TerminalState& state_;
};

}  // namespace marlo

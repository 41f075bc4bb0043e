// Sending text as typed input line by line, paced by the host's echo: each line goes out, then the
// sender waits (at most kPasteEchoWaitMs) until the received text holds the line, then pauses
// kPastePauseMs. The text after the last line end goes out without a wait. When the host asked for
// bracketed paste, the text goes between ESC [200~ and ESC [201~.
#pragma once

#include <string>
#include <vector>

#include "text/Encoding.h"

namespace marlo {

class ITerminalHost;
class IEchoWait;

constexpr int kPasteEchoWaitMs = 5000;
constexpr int kPastePauseMs = 1000;
// The string wait looks for a text in a window of the last received bytes of this size.
constexpr size_t kEchoWindowBytes = 255;

struct PasteStep {
    std::vector<TextPiece> send;  // Shift-JIS for WriteConverted, UTF-8 runs for WriteUnheld
    std::string echo;             // what to wait for; empty: no wait
    bool paced = false;           // wait and pause after sending
};

// The part of a sent line its echo is expected to contain: the text before its first control
// character, cut to what the wait window can hold (its end, on a character boundary).
std::string EchoPart(const std::string& line);

// Splits clipboard text into steps. A bare LF (the desktop's line end) counts as CR LF; with
// `sndCrLf` off the LF of each line is left out. The echo awaited is the line's text before its
// first control character (a character Shift-JIS cannot hold shows as the geta mark), cut to what
// the wait window can hold (its end, on a character boundary), so that a long line or one with
// controls does not stall until the time-out. With `bracketed` the first and last steps send the
// brackets, and an ESC of the text is left out so that the text cannot end the paste itself.
std::vector<PasteStep> PlanPaste(const std::vector<TextPiece>& text, bool sndCrLf,
                                 bool bracketed = false);

// Runs the steps. Returns false when a pause was stopped or a file transfer runs (it beeps);
// the rest is not sent.
bool RunPaste(const std::vector<PasteStep>& steps, ITerminalHost& host, IEchoWait& wait);

}  // namespace marlo

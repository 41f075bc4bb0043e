// The xterm emulation (Emulation 3): what a Linux host with TERM=xterm sends, on the same screen
// buffer and terminal state as the older emulations. It keeps its own state beside them: the
// modes, the scroll region, the pending wrap at the right margin, the character sets, the saved
// cursor, the tab stops and the main screen while the alternate one is shown.
//
// Escape sequences are parsed byte by byte with bounded memory: parameters past the sixteenth and
// string bytes past the title's length are dropped, and a sequence this terminal does not know is
// consumed whole. Control characters inside a sequence act as they do outside it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "terminal/ScreenBuffer.h"
#include "terminal/TerminalModes.h"

namespace marlo {

class TerminalState;

// What the emulation needs from the receive path.
class IXtermPort {
  public:
    virtual ~IXtermPort() = default;
    // The cursor is on the screen's bottom row and the whole screen moves up a line, its top line
    // going into the history.
    virtual void ScrollIntoHistory() = 0;
    // Bytes to send to the host as they are (answers to DA, DSR and CPR).
    virtual void Answer(const std::string& bytes) = 0;
    // The window title as received (OSC 0 or 2), undecoded.
    virtual void Title(const std::string& bytes) = 0;
    virtual void Bell() = 0;
};

// The Shift-JIS character (two bytes) that DEC special graphics code `code` (0x5F..0x7E) is drawn
// as; nullptr for any other byte.
const char* DecGraphicSjis(uint8_t code);

// Colour codes as the cells keep them (30..37 and 90..97 foreground, 40..47 and 100..107
// background): the nearest to an xterm 256-colour index or a direct colour.
uint8_t ColourCodeOfIndex(int index, bool background);
uint8_t ColourCodeOfRgb(int r, int g, int b, bool background);

class Xterm {
  public:
    Xterm(ScreenBuffer& buffer, TerminalState& state, IXtermPort& port)
        : buffer_(buffer), state_(state), port_(port) {}

    // The state of a terminal switched on: modes, margins, tab stops every 8 columns, character
    // sets, attributes; the main screen is shown again. The screen's text stays.
    void Reset();
    const TerminalModes& Modes() const { return modes_; }

    // Whether plain text may be written a run at a time: no pending wrap, insert mode or graphics
    // set. Runs then stop before the right margin.
    bool PlainRuns() const { return !pendingWrap_ && !modes_.insert && !graphicsShown(); }
    int Width() const;

    // The receive path wrote a run of plain text itself; `last` is its last character (0 when that
    // was a double-byte one).
    void RunWritten(uint8_t last) { lastChar_ = last; }
    void Print(uint8_t b);
    void PrintDouble(uint8_t lead, uint8_t trail);
    void BackSpace();
    void Tab();
    void LineFeed();
    void CarriageReturn();
    void Shift(bool out) { shiftOut_ = out; }

    // An escape sequence: Begin at its ESC, then Feed with every byte until it returns kEnd, or
    // kAgain (the sequence ended and this byte is not part of it: process it as usual), or
    // kControl (a control character inside it: process it as usual, the sequence goes on).
    enum FeedResult { kMore, kEnd, kAgain, kControl };
    void Begin();
    FeedResult Feed(uint8_t b);
    // Inside a control string (OSC, DCS, ...), which takes any byte.
    bool InString() const {
        return parse_ == Parse::kOsc || parse_ == Parse::kString || parse_ == Parse::kStringEsc;
    }

  private:
    enum class Parse { kEsc, kEscInter, kCsi, kOsc, kString, kStringEsc };
    struct Saved {
        int row = 0, column = 0;
        bool pendingWrap = false, origin = false;
        CellAttributes attrs;
        bool g0Graphics = false, g1Graphics = false, shiftOut = false;
    };

    bool graphicsShown() const { return shiftOut_ ? g1Graphics_ : g0Graphics_; }
    int rows() const;
    int lineOf(int row) const;
    uint8_t back() const { return buffer_.Attributes().back; }
    void checkMargins();
    void moveTo(int row, int column);
    void wrapIfPending();
    void index();
    void reverseIndex();
    void scrollRegion(int count);  // up when positive
    void eraseRows(int first, int last);
    void escDispatch(uint8_t final);
    void csiDispatch(uint8_t final);
    void oscDispatch();
    void setModes(bool on);
    void sgr();
    int param(int i, int fallback) const;  // fallback also for 0
    int rawParam(int i) const;             // -1 when absent
    void saveCursor();
    void restoreCursor();
    void altScreen(bool on);
    void fullReset();

    ScreenBuffer& buffer_;
    TerminalState& state_;
    IXtermPort& port_;

    TerminalModes modes_;
    bool pendingWrap_ = false;
    int top_ = 0, bottom_ = -1;  // the scroll region's rows; bottom -1: the whole screen
    std::array<bool, kBufferColumns> tabs_{};
    bool g0Graphics_ = false, g1Graphics_ = false, shiftOut_ = false;
    Saved saved_;
    bool hasSaved_ = false;
    std::vector<uint8_t> mainScreen_;  // the main screen's lines while the alternate one shows
    uint8_t lastChar_ = 0;             // the last character printed, for REP

    // The parser.
    static constexpr int kMaxParams = 16;
    static constexpr size_t kMaxString = 256;
    Parse parse_ = Parse::kEsc;
    std::array<int, kMaxParams> params_{};
    int paramCount_ = 0;
    bool paramOpen_ = false;
    uint8_t private_ = 0;
    uint8_t intermediate_ = 0;
    bool malformed_ = false;
    bool osc_ = false;
    std::string string_;
};

}  // namespace marlo

// The terminal's memory of received text: BufferSize lines of 80 cells in four parallel planes
// (characters, flags, foreground, background), the time each line began, the last line in use,
// the dumb-terminal write column, the current attributes and the tab stops.
//
// Lines are kept in a ring so that dropping the oldest lines when the buffer is full costs only
// the lines dropped. Inside a line the 80 cells of each plane are contiguous; read them through
// Chars(line), Flags(line), Fore(line) and Back(line) while holding Lock().
//
// Every operation clips its lines, columns and counts to the buffer: nothing writes outside the
// planes, whatever a caller or a received sequence asks for.
#pragma once

#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "terminal/LineStamps.h"

namespace marlo {

constexpr int kBufferColumns = 80;

// Whether cell `column` of a line's 80 character cells is the second byte of a double-byte
// character, scanning the line from column 0 (as the views pair the cells to draw them).
bool IsTrailCell(const uint8_t* chars, int column);
// The first cell of the character that covers `column` (column itself, or the one left of it when
// it is a trail byte).
int CharStartColumn(const uint8_t* chars, int column);

// Cell flag bits.
enum CellFlag : uint8_t {
    kFlagBold = 1,
    kFlagUnderline = 2,
    kFlagBlink = 4,
    kFlagReverse = 8,
    kFlagSecret = 16,
    // xterm's DEC special graphics: the cell's byte is the character's code in that set (0x5F..
    // 0x7E) and it is drawn as the line-drawing character DecGraphic() names, in one cell.
    kFlagGraphic = 32,
};

// The cell flag a select-graphic-rendition code turns on (1 bold, 4 underline, 5 blink, 7 reverse,
// 8 secret); 0 for any other code.
constexpr uint8_t SgrFlag(int code) {
    switch (code) {
        case 1: return kFlagBold;
        case 4: return kFlagUnderline;
        case 5: return kFlagBlink;
        case 7: return kFlagReverse;
        case 8: return kFlagSecret;
        default: return 0;
    }
}

struct CellAttributes {
    uint8_t flags = 0;
    uint8_t fore = 0;  // 0 default, else 30..37 (or xterm's bright 90..97)
    uint8_t back = 0;  // 0 default, else 40..47 (or xterm's bright 100..107)
};

class ScreenBuffer {
  public:
    explicit ScreenBuffer(int lines = 1000);

    // Reallocates for a new line count, keeping the newest lines that fit.
    void Resize(int lines);

    // The lock other threads (the macro thread) take to read the planes. The receive path holds it
    // for each received run; it is recursive so that a view repainting at once can read too.
    std::unique_lock<std::recursive_mutex> Lock() const {
        return std::unique_lock<std::recursive_mutex>(mutex_);
    }

    int Lines() const { return lines_; }
    int LastLine() const { return lastLine_; }
    void SetLastLine(int line);  // clipped to the buffer
    bool Full() const { return lastLine_ >= lines_ - 1; }
    int DumbColumn() const { return dumbColumn_; }
    void SetDumbColumn(int column);  // clipped to 0..79

    CellAttributes& Attributes() { return attrs_; }
    const CellAttributes& Attributes() const { return attrs_; }
    std::array<bool, kBufferColumns>& TabStops() { return tabStops_; }
    const std::array<bool, kBufferColumns>& TabStops() const { return tabStops_; }

    // The 80 cells of a line in each plane; `line` must be 0..Lines()-1.
    const uint8_t* Chars(int line) const { return plane(0, line); }
    const uint8_t* Flags(int line) const { return plane(1, line); }
    const uint8_t* Fore(int line) const { return plane(2, line); }
    const uint8_t* Back(int line) const { return plane(3, line); }

    // Stores one byte with the current attributes; ignored outside the buffer.
    void Store(int line, int column, uint8_t b) {
        if (static_cast<unsigned>(line) >= static_cast<unsigned>(lines_) ||
            static_cast<unsigned>(column) >= static_cast<unsigned>(kBufferColumns))
            return;
        size_t at = offset(line) + static_cast<size_t>(column);
        severHalves(line, column, column);
        cells_[at] = b;
        cells_[at + planeSize_] = attrs_.flags;
        cells_[at + 2 * planeSize_] = attrs_.fore;
        cells_[at + 3 * planeSize_] = attrs_.back;
    }
    // Stores a run of bytes on one line from `column` with the current attributes (clipped).
    void StoreRun(int line, int column, const uint8_t* bytes, int n);
    // Sets one character cell without touching the attributes (0 marks "never written").
    void SetChar(int line, int column, uint8_t b);
    // Cells first..last of a line become spaces with attributes 0 and background `back` (clipped).
    void EraseCells(int line, int first, int last, uint8_t back = 0);
    // Store, StoreRun, SetChar and EraseCells never leave half of a double-byte character: when
    // they change one half, the other half becomes a space (its attributes kept).
    // A whole line becomes 80 spaces with attributes 0.
    void BlankLine(int line) { EraseCells(line, 0, kBufferColumns - 1); }

    // The time a line began (with the time-stamp option on): it moves, and goes, with its line;
    // a line zeroed or inserted has none.
    void SetLineTime(int line, const LineTime& t) {
        if (static_cast<unsigned>(line) < static_cast<unsigned>(lines_)) times_[physical(line)] = t;
    }
    LineTime LineTimeOf(int line) const {
        return static_cast<unsigned>(line) < static_cast<unsigned>(lines_) ? times_[physical(line)]
                                                                           : LineTime{};
    }

    // The number of lines MakeRoom drops: ClearUp percent of the buffer, at least one.
    int RoomLines(int clearUpPercent) const;
    // Drops the `count` oldest lines: the rest move up, the freed lines at the end are zeroed and
    // the last line goes down by the count (never below 0). Returns the count dropped.
    int DropOldest(int count);
    // Inserts `count` blank lines at `line`; the lines from there to the last line move down and
    // the last line grows by the count. Lines pushed past the end of the buffer are lost.
    void InsertLines(int line, int count);
    // Deletes `count` lines at `line`; the lines after them move up, the last line goes down by the
    // number deleted, and the lines freed at the end are zeroed.
    void DeleteLines(int line, int count);
    // Lines first..last (clipped) move up by `count` (down when negative); the lines freed become
    // blank with background `back`. Nothing outside the range moves.
    void ScrollLines(int first, int last, int count, uint8_t back);
    // In cells column..end-1 of a line, `count` blank cells (background `back`) are inserted at
    // `column`, pushing the cells after them right and out at `end`; or `count` cells at `column`
    // are deleted, the cells after them moving left and blanks entering at `end`.
    void InsertCells(int line, int column, int end, int count, uint8_t back);
    void DeleteCells(int line, int column, int end, int count, uint8_t back);
    // Copies `count` lines from `first`, all four planes, into `out`, or back from `in` (as many
    // whole lines as it holds).
    void CopyLinesOut(int first, int count, std::vector<uint8_t>& out) const;
    void CopyLinesIn(int first, const std::vector<uint8_t>& in);
    // All planes zeroed; last line, dumb column and attributes back to 0.
    void Clear();

    // Line `line` as text: cells up to the last one that is neither 0 nor a space, a 0 cell as a
    // blank.
    std::string LineText(int line) const;
    // The line after the last one up to the last line in use that holds text (0 when none does).
    int TextEnd() const;

    // The screen kept between runs: one line per buffer row from 0 to the last line, each ending in
    // CR LF, trailing blanks removed. An empty last line (the write position on a fresh line) is
    // not written, so that a save and a load give back the same buffer.
    std::string SaveText() const;
    // Loads saved text from line 0: CR is skipped, LF ends a line and so does the 80th cell (a CR
    // LF right after a full line ends that same line). Stops at BufferSize - 1 lines. `vtRows` > 0
    // first blanks that many screen lines and keeps at least that many lines in use.
    void LoadText(const std::string& text, int vtRows);

  private:
    size_t physical(int line) const {
        int at = head_ + line;
        if (at >= lines_) at -= lines_;
        return static_cast<size_t>(at);
    }
    size_t offset(int line) const { return physical(line) * kBufferColumns; }
    const uint8_t* plane(int which, int line) const {
        return cells_.data() + which * planeSize_ + offset(line);
    }
    void copyLine(int from, int to);
    void zeroLine(int line);
    // Cells first..last of a line are about to change: the half of a double-byte character that
    // lies outside them becomes a space.
    void severHalves(int line, int first, int last);

    mutable std::recursive_mutex mutex_;
    int lines_ = 0;
    int head_ = 0;  // physical index of line 0
    size_t planeSize_ = 0;
    std::vector<uint8_t> cells_;   // the four planes one after the other
    std::vector<LineTime> times_;  // one a line, in the ring's order
    int lastLine_ = 0;
    int dumbColumn_ = 0;
    CellAttributes attrs_;
    std::array<bool, kBufferColumns> tabStops_{};
};

}  // namespace marlo

// The terminal's own state, one per screen buffer: where the screen lies in the buffer (its top
// line, rows and columns, the left column escape sequences count from), the cursor and the saved
// cursor. Received control characters and escape sequences change it; the views only show it.
// The current attributes and the tab stops are kept by the buffer itself.
//
// In the VT modes the screen is a window of the buffer and the cursor moves on it. The dumb
// terminal writes at the buffer's end: its cursor is the last line and the dumb column, and its
// screen is the last rows up to the last line.
//
// Whatever changes is reported to the listeners (the views) as damage in buffer coordinates.
// Between BeginBlock and EndBlock damage is collected and handed on once, at the outermost
// EndBlock.
#pragma once

#include <cstdint>
#include <vector>

namespace marlo {

class ScreenBuffer;

// What changed, in buffer lines and columns.
struct ScreenDamage {
    // Cells of lines firstLine..lastLine, columns firstColumn..lastColumn, were written or
    // erased; none when lastLine < firstLine.
    int firstLine = 0;
    int lastLine = -1;
    int firstColumn = 0;
    int lastColumn = -1;
    bool all = false;     // anything may have changed (lines inserted or deleted, the left column)
    int scrolled = 0;     // new lines at the end: the VT screen moved down, or dumb line feeds
    int dropped = 0;      // the oldest lines were dropped and everything moved up by this many
    bool range = false;   // the lines in use changed
    bool cursor = false;  // the cursor moved
    bool lineStart = false;  // a carriage return, which also brings a view back to its first column

    bool Empty() const {
        return lastLine < firstLine && !all && !scrolled && !dropped && !range && !cursor &&
               !lineStart;
    }
    // Called for every character a VT block writes: kept inline.
    void AddCells(int line, int first, int last) {
        if (first > last) return;
        if (lastLine < firstLine) {
            firstLine = lastLine = line;
            firstColumn = first;
            lastColumn = last;
            return;
        }
        if (line < firstLine) firstLine = line;
        if (line > lastLine) lastLine = line;
        if (first < firstColumn) firstColumn = first;
        if (last > lastColumn) lastColumn = last;
    }
    void Merge(const ScreenDamage& d);
};

class IScreenListener {
  public:
    virtual ~IScreenListener() = default;
    virtual void Damaged(const ScreenDamage& damage) = 0;
};

class TerminalState {
  public:
    TerminalState(ScreenBuffer& buffer, int rows, int columns = 80);

    void AddListener(IScreenListener* listener);
    void RemoveListener(IScreenListener* listener);
    // Damage is collected from here and reported once by the matching EndBlock (a block begun
    // inside another one ends with the outer one).
    void BeginBlock();
    void EndBlock();

    bool VtMode() const { return vt_; }
    // Leaving the dumb terminal the screen starts where the dumb screen shows the end.
    void SetVtMode(bool vt);

    // The screen's size: rows at least 1 and at least one line of the buffer beyond the screen,
    // columns 1..80 (the columns that erasing to the end of the screen reaches).
    void SetScreenSize(int rows, int columns);
    int ScreenRows() const { return rows_; }
    int ScreenColumns() const { return columns_; }
    // The screen's first buffer line: the VT screen's, or the dumb screen's that ends with the
    // last line.
    int ScreenTop() const;
    int LeftColumn() const { return vt_ ? left_ : 0; }
    // A user scrolling sideways in the VT modes; the cursor stays in view.
    void SetLeftColumn(int column);

    // The cursor as a buffer line and column.
    void GetCursor(int& line, int& column) const;
    // VT: the cursor's 0-based screen row and buffer column.
    int CursorRow() const { return row_; }
    int CursorColumn() const { return column_; }
    // 1-based screen coordinates as the escape sequences use them.
    int Row1() const { return row_ + 1; }
    int Col1() const { return column_ - left_ + 1; }
    // Absolute moves take 1-based screen coordinates and reset the left column; relative moves
    // add signed counts. Both stop at the screen's edges.
    void MoveCursor(bool relative, int column, int row);
    void SaveCursor() {
        savedColumn_ = Col1();
        savedRow_ = Row1();
    }
    // xterm's moves: the cursor goes to a 0-based row and buffer column (clipped to the screen),
    // the left column following it only as far as needed to keep it in view.
    void PlaceCursor(int row, int column);
    // Changes made straight in the buffer: all of the screen may have changed.
    void ScreenChanged() { allChanged(); }
    // Returns to the saved position; home when nothing was saved.
    void RestoreCursor();

    // Screen operations in 1-based screen coordinates (clipped to the screen and the buffer).
    void InsertLines(int row, int count);
    void DeleteLines(int row, int count);
    void EraseCells(int firstColumn, int row, int lastColumn);
    // A last column or row of -1 means the screen's last one.
    void EraseRegion(int column1, int row1, int column2, int row2);
    // Tab movement from the cursor's column; with too few stops the cursor goes to column 0.
    void ForwardTab(int count);
    void BackTab(int count);
    // A completed escape sequence (the bytes after ESC).
    void Escape(const uint8_t* sequence, int n, bool vt52);

    // What the receive path did. `n` cells were stored from (line, column): VT moves the cursor
    // past them.
    void Written(int line, int column, int n);
    // A line feed: the VT cursor goes down, scrolling the screen at its last row; the dumb
    // terminal's last line has already gone down.
    void LineFeed();
    void CarriageReturn();
    // VT: the cursor steps back one cell (to the end of the previous row from column 0) and that
    // cell becomes a space. Dumb: the cell at the dumb column was changed.
    void BackSpace();
    // The buffer dropped its `count` oldest lines.
    void LinesDropped(int count);
    // The buffer was cleared: a VT screen starts blank at the top with default attributes.
    void Clear();
    // The buffer's contents were replaced: the screen ends with the last line, the cursor home.
    void PlaceAtEnd();
    // A terminal that starts afresh: the VT cursor goes to the start of the line after the last
    // text, the screen scrolling forward only as far as needed to show it.
    void PlaceBelowText();

  private:
    int dumbTop() const;
    // Inserts or deletes lines at a screen row (1-based), within the screen.
    void moveLines(int row, int count, bool insert);
    void clipToBuffer();
    void report(const ScreenDamage& d);
    void cursorMoved() {
        ScreenDamage d;
        d.cursor = true;
        report(d);
    }
    void allChanged();

    ScreenBuffer& buffer_;
    std::vector<IScreenListener*> listeners_;
    int blockDepth_ = 0;
    ScreenDamage pending_;
    bool vt_ = false;
    int rows_ = 24;
    int columns_ = 80;
    int top_ = 0;
    int left_ = 0;
    int row_ = 0;
    int column_ = 0;
    int savedColumn_ = 0;  // 1-based; 0 = never saved
    int savedRow_ = 0;
};

}  // namespace marlo

// The state of one terminal view: which part of the screen buffer it shows (top line, left
// column, visible rows and columns), the VT cursor and the saved cursor, the focus and scroll-back
// flags, and its handling of what the receive path hands to the views. The drawing itself belongs
// to a front end, which learns what to repaint through ITerminalPainter; without a painter (the
// headless front end) the view is a pure model.
//
// Coordinates: buffer lines and columns count from 0; the cursor is kept as a screen row (0-based,
// from the top line) and a buffer column (0..79). Escape-sequence coordinates (1-based screen
// columns and rows) are taken by MoveCursor and the erase operations.
#pragma once

#include <cstdint>

namespace marlo {

class ScreenBuffer;

// What a drawing front end needs to know. Rows and columns are 0-based screen positions.
class ITerminalPainter {
  public:
    virtual ~ITerminalPainter() = default;
    virtual void InvalidateAll() {}
    virtual void InvalidateCells(int /*row*/, int /*firstColumn*/, int /*lastColumn*/) {}
    // The contents moved up by `lines` (down when negative); the rows uncovered need drawing.
    virtual void ScrolledBy(int /*lines*/) {}
    // The top line or the last line changed: the vertical scroll bar needs updating.
    virtual void ScrollRangeChanged() {}
    virtual void CaretMoved(int /*row*/, int /*column*/) {}
    virtual void CaretVisible(bool /*visible*/) {}
};

class TerminalView {
  public:
    TerminalView(ScreenBuffer& buffer, int rows, int columns = 80);

    void SetPainter(ITerminalPainter* painter) { painter_ = painter; }
    // VT modes address the screen with the cursor; the dumb terminal follows the buffer's end.
    void SetVtMode(bool vt) { vt_ = vt; }
    bool VtMode() const { return vt_; }

    // Geometry (a front end sets it from the window size). Rows are at least 1 and leave the
    // buffer at least one line beyond the screen; columns are 1..80.
    // Called on the user-interface thread; the receive path calls the other operations while it
    // holds the buffer's lock.
    void SetVisibleSize(int rows, int columns);
    int VisibleRows() const { return rows_; }
    int VisibleColumns() const { return columns_; }
    // The first line shown. A VT view scrolled back shows history above its screen, which stays
    // where it was: ScreenTop() is the screen's first line, where the cursor and received text
    // are placed.
    int TopLine() const { return vt_ && scrollBack_ ? viewTop_ : topLine_; }
    int ScreenTop() const { return topLine_; }
    // The top line at which the view shows the newest text (the end of the scroll range).
    int BottomTop() const;
    int LeftColumn() const { return leftColumn_; }
    // Scrolling by the user (scroll bar, keys): the top line is clipped to the lines in use; a top
    // line above BottomTop() is the scroll-back mode.
    void ScrollTo(int topLine);
    void ScrollBy(int lines) { ScrollTo(TopLine() + lines); }
    void SetLeftColumn(int column);
    bool ScrollBack() const { return scrollBack_; }
    bool Focused() const { return focused_; }
    void SetFocused(bool on) { focused_ = on; }
    bool CaretHidden() const { return caretHidden_; }

    // Cursor: buffer line and column.
    void GetCursor(int& line, int& column) const;
    int CursorRow() const { return row_; }        // 0-based screen row
    int CursorColumn() const { return column_; }  // 0-based buffer column
    // 1-based screen coordinates as the escape sequences use them.
    int Row1() const { return row_ + 1; }
    int Col1() const { return column_ - leftColumn_ + 1; }
    // Absolute moves take 1-based screen coordinates and reset the left column; relative moves add
    // signed counts. Both stop at the screen's edges.
    void MoveCursor(bool relative, int column, int row);
    void SaveCursor() {
        savedColumn_ = Col1();
        savedRow_ = Row1();
    }
    // Returns to the saved position; home when nothing was saved.
    void RestoreCursor();

    // Screen operations in 1-based screen coordinates (clipped to the screen and the buffer).
    void InsertLines(int row, int count);
    void DeleteLines(int row, int count);
    void EraseCells(int firstColumn, int row, int lastColumn);
    // A last column or row of -1 means the last one that fits in the window.
    void EraseRegion(int column1, int row1, int column2, int row2);
    // Tab movement from the cursor's column; with too few stops the cursor goes to column 0.
    void ForwardTab(int count);
    void BackTab(int count);

    // What the receive path hands to the views.
    // `n` bytes were stored from buffer cell (line, column).
    void OnDisplay(const uint8_t* bytes, int n, int line, int column);
    void OnLineFeed();
    void OnCarriageReturn();
    // Dumb mode: the cell at the dumb column was cleared. VT modes: the cursor steps back one cell
    // (to the end of the previous row from column 0) and that cell becomes a space.
    void OnBackSpace();
    void OnTab();
    // A completed escape sequence (the bytes after ESC), interpreted against this view's cursor.
    void OnEscape(const uint8_t* sequence, int n, bool vt52);
    void OnLinesDropped(int count);
    void OnBatchBegin();
    void OnBatchEnd();
    void OnHideCaret();
    void OnShowCaret();
    // The buffer was cleared.
    void OnClear();
    // Something changed that the view cannot tell (an escape sequence in the other pane).
    void Repaint();
    // Places the view after the buffer's contents were replaced (saved screen loaded, buffer
    // resized): the last line at the bottom, the cursor at its start (dumb) or home (VT).
    void PlaceAtEnd();
    // Places the view for a terminal that starts afresh (a host entry's reset, an emulation
    // change): what the buffer holds stays where it is; the VT cursor goes to the start of the
    // line after the last text, the screen scrolling forward only as far as needed to show it,
    // and a dumb view shows the end.
    void PlaceBelowText();

  private:
    void followEnd();  // dumb mode: keep the last line visible unless the user scrolled back
    void clipToBuffer();
    void caretMoved();
    void paintRows(int firstRow, int lastRow);
    // Screen cells first..last of a row changed (the painter is set).
    void paintCells(int row, int first, int last);

    ScreenBuffer& buffer_;
    ITerminalPainter* painter_ = nullptr;
    bool vt_ = false;
    int rows_ = 24;
    int columns_ = 80;
    int topLine_ = 0;
    int viewTop_ = 0;  // the line shown first while a VT view is scrolled back
    int leftColumn_ = 0;
    int row_ = 0;
    int column_ = 0;
    int savedColumn_ = 0;  // 1-based; 0 = never saved
    int savedRow_ = 0;
    bool focused_ = true;
    bool scrollBack_ = false;
    bool caretHidden_ = false;
    // Line-feed batching of the dumb terminal.
    bool batch_ = false;
    bool batchQuiet_ = false;  // drawing skipped while the batch runs
    int batchLines_ = 0;
};

}  // namespace marlo

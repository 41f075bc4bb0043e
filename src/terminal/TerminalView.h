// One terminal view: a viewport onto the terminal. It keeps which part of the buffer it shows
// (top line, left column, visible rows and columns), the scroll-back and focus flags, and turns
// the terminal's damage into what a front end must repaint (through ITerminalPainter). The
// cursor and the screen belong to the terminal (TerminalState); without a painter (the headless
// front end) the view is a pure model.
//
// Coordinates: buffer lines and columns count from 0; screen rows count from the view's top line.
#pragma once

#include <cstdint>

#include "terminal/TerminalState.h"

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

class TerminalView : public IScreenListener {
  public:
    TerminalView(ScreenBuffer& buffer, TerminalState& state, int rows, int columns = 80);

    void SetPainter(ITerminalPainter* painter) { painter_ = painter; }
    // VT modes show the terminal's screen; the dumb terminal's view follows the buffer's end.
    void SetVtMode(bool vt) { vt_ = vt; }
    bool VtMode() const { return vt_; }
    // The view whose size is the screen's (the active one).
    void SetSizesScreen(bool on);

    // Geometry (a front end sets it from the window size). Rows are at least 1 and leave the
    // buffer at least one line beyond the screen; columns are 1..80.
    // Called on the user-interface thread; the receive path reports damage while it holds the
    // buffer's lock.
    void SetVisibleSize(int rows, int columns);
    int VisibleRows() const { return rows_; }
    int VisibleColumns() const { return columns_; }
    // The first line shown. A VT view scrolled back shows history above the screen, which stays
    // where it was: ScreenTop() is the screen's first line, where the cursor and received text
    // are placed.
    int TopLine() const { return vt_ ? (scrollBack_ ? viewTop_ : state_.ScreenTop()) : topLine_; }
    int ScreenTop() const { return vt_ ? state_.ScreenTop() : topLine_; }
    // The top line at which the view shows the newest text (the end of the scroll range).
    int BottomTop() const;
    int LeftColumn() const { return vt_ ? state_.LeftColumn() : leftColumn_; }
    // Scrolling by the user (scroll bar, keys): the top line is clipped to the lines in use; a top
    // line above BottomTop() is the scroll-back mode.
    void ScrollTo(int topLine);
    void ScrollBy(int lines) { ScrollTo(TopLine() + lines); }
    void SetLeftColumn(int column);
    bool ScrollBack() const { return scrollBack_; }
    bool Focused() const { return focused_; }
    void SetFocused(bool on) { focused_ = on; }
    bool CaretHidden() const { return caretHidden_; }

    // The terminal's cursor: buffer line and column.
    void GetCursor(int& line, int& column) const { state_.GetCursor(line, column); }
    // The cursor's 0-based row in this view's screen and its buffer column.
    int CursorRow() const;
    int CursorColumn() const;
    // 1-based screen coordinates as the escape sequences use them.
    int Row1() const { return CursorRow() + 1; }
    int Col1() const { return CursorColumn() - LeftColumn() + 1; }

    // The terminal's damage.
    void Damaged(const ScreenDamage& damage) override;
    // A received block: the caret is hidden while it runs.
    void OnBlockBegin();
    void OnBlockEnd();
    // Dumb line-feed batching: a view scrolled away skips drawing until the batch ends.
    void OnBatchBegin();
    void OnBatchEnd();
    // The buffer was cleared.
    void OnClear();
    // Something changed that the view cannot tell.
    void Repaint();
    // Shows the newest text after the buffer's contents were replaced or a split added the view.
    void PlaceAtEnd();
    // After a terminal reset: scroll-back ends, the view shows the screen (VT) or the end (dumb).
    void PlaceBelowText();

  private:
    void followEnd();  // dumb mode: keep the last line visible unless the user scrolled back
    void clipToBuffer();
    void caretMoved();
    // Screen cells first..last of a row changed (the painter is set).
    void paintCells(int row, int first, int last);
    void linesDropped(int count);

    ScreenBuffer& buffer_;
    TerminalState& state_;
    ITerminalPainter* painter_ = nullptr;
    bool vt_ = false;
    bool sizesScreen_ = false;
    int rows_ = 24;
    int columns_ = 80;
    int topLine_ = 0;     // dumb mode: the line shown first
    int viewTop_ = 0;     // the line shown first while a VT view is scrolled back
    int leftColumn_ = 0;  // dumb mode: the first column shown
    bool focused_ = true;
    bool scrollBack_ = false;
    bool caretHidden_ = false;
    // Line-feed batching of the dumb terminal.
    bool batch_ = false;
    bool batchQuiet_ = false;  // drawing skipped while the batch runs
    int batchLines_ = 0;
};

}  // namespace marlo

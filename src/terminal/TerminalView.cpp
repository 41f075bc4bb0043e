#include "terminal/TerminalView.h"

#include <algorithm>

#include "terminal/EscapeInterpreter.h"
#include "terminal/ScreenBuffer.h"

namespace marlo {

TerminalView::TerminalView(ScreenBuffer& buffer, int rows, int columns) : buffer_(buffer) {
    SetVisibleSize(rows, columns);
}

void TerminalView::SetVisibleSize(int rows, int columns) {
    auto lock = buffer_.Lock();
    rows_ = std::clamp(rows, 1, std::max(buffer_.Lines() - 1, 1));
    columns_ = std::clamp(columns, 1, kBufferColumns);
    clipToBuffer();
    if (painter_) {
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
}

void TerminalView::clipToBuffer() {
    rows_ = std::clamp(rows_, 1, std::max(buffer_.Lines() - 1, 1));
    topLine_ = std::clamp(topLine_, 0, buffer_.Lines() - rows_);
    row_ = std::clamp(row_, 0, rows_ - 1);
    column_ = std::clamp(column_, 0, kBufferColumns - 1);
    leftColumn_ = std::clamp(leftColumn_, 0, column_);
    // In the VT modes the whole screen is in use: the last line never ends above its bottom row.
    if (vt_ && buffer_.LastLine() < topLine_ + rows_ - 1) buffer_.SetLastLine(topLine_ + rows_ - 1);
}

int TerminalView::BottomTop() const {
    if (vt_) return topLine_;
    return std::clamp(buffer_.LastLine() - rows_ + 1, 0, std::max(buffer_.Lines() - rows_, 0));
}

void TerminalView::ScrollTo(int topLine) {
    auto lock = buffer_.Lock();
    const int old = TopLine();
    const int bottom = BottomTop();
    const int top = std::clamp(topLine, 0, bottom);
    scrollBack_ = top < bottom;
    if (vt_)
        viewTop_ = top;
    else
        topLine_ = top;
    if (painter_ && old != top) {
        painter_->ScrolledBy(top - old);
        painter_->ScrollRangeChanged();
        caretMoved();
    }
}

void TerminalView::SetLeftColumn(int column) {
    int old = leftColumn_;
    leftColumn_ = std::clamp(column, 0, kBufferColumns - 1);
    if (column_ < leftColumn_) column_ = leftColumn_;
    if (painter_ && old != leftColumn_) painter_->InvalidateAll();
}

void TerminalView::GetCursor(int& line, int& column) const {
    if (vt_) {
        line = topLine_ + row_;
        column = column_;
    } else {
        line = buffer_.LastLine();
        column = buffer_.DumbColumn();
    }
}

void TerminalView::caretMoved() {
    if (!vt_) {
        row_ = std::clamp(buffer_.LastLine() - topLine_, 0, rows_ - 1);
        column_ = buffer_.DumbColumn();
    }
    if (painter_ && !batchQuiet_) painter_->CaretMoved(row_, column_ - leftColumn_);
}

void TerminalView::paintRows(int firstRow, int lastRow) {
    if (!painter_ || batchQuiet_) return;
    for (int r = std::max(firstRow, 0); r <= std::min(lastRow, rows_ - 1); ++r)
        painter_->InvalidateCells(r, 0, columns_ - 1);
}

void TerminalView::paintCells(int row, int first, int last) {
    // One more cell on each side: a write over half of a double-byte character blanks the other.
    first = std::max(first - 1, 0);
    last = std::min(last + 1, columns_ - 1);
    if (first <= last) painter_->InvalidateCells(row, first, last);
}

void TerminalView::MoveCursor(bool relative, int column, int row) {
    if (relative) {
        row_ = std::clamp(row_ + row, 0, rows_ - 1);
        int target = std::clamp(column_ + column, 0, kBufferColumns - 1);
        if (column < 0 && leftColumn_ > 0) {
            leftColumn_ = std::max(leftColumn_ + column, 0);
            if (painter_) painter_->InvalidateAll();
        }
        column_ = target;
        if (column_ < leftColumn_) leftColumn_ = column_;
    } else {
        if (leftColumn_ != 0) {
            leftColumn_ = 0;
            if (painter_) painter_->InvalidateAll();
        }
        column_ = std::clamp(column, 1, kBufferColumns) - 1;
        row_ = std::clamp(row, 1, rows_) - 1;
    }
    caretMoved();
}

void TerminalView::RestoreCursor() {
    if (savedRow_ == 0 || savedColumn_ == 0)
        MoveCursor(false, 1, 1);
    else
        MoveCursor(false, savedColumn_, savedRow_);
}

void TerminalView::InsertLines(int row, int count) {
    if (row < 1 || row > rows_ || count <= 0) return;
    count = std::min(count, rows_ - row + 1);
    buffer_.InsertLines(topLine_ + row - 1, count);
    clipToBuffer();
    if (painter_) {
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
}

void TerminalView::DeleteLines(int row, int count) {
    if (row < 1 || row > rows_ || count <= 0) return;
    count = std::min(count, rows_ - row + 1);
    buffer_.DeleteLines(topLine_ + row - 1, count);
    clipToBuffer();
    if (painter_) {
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
}

void TerminalView::EraseCells(int firstColumn, int row, int lastColumn) {
    if (row < 1 || row > rows_) return;
    firstColumn = std::max(firstColumn, 1);
    lastColumn = std::min(lastColumn, kBufferColumns - leftColumn_);
    if (firstColumn > lastColumn) return;
    buffer_.EraseCells(topLine_ + row - 1, leftColumn_ + firstColumn - 1,
                       leftColumn_ + lastColumn - 1);
    if (painter_) paintCells(row - 1, firstColumn - 1, lastColumn - 1);
}

void TerminalView::EraseRegion(int column1, int row1, int column2, int row2) {
    if (column2 == -1) column2 = columns_;
    if (row2 == -1) row2 = rows_;
    row1 = std::clamp(row1, 1, rows_);
    row2 = std::clamp(row2, 1, rows_);
    if (row1 == row2) {
        EraseCells(column1, row1, column2);
        return;
    }
    if (row2 < row1) return;
    EraseCells(column1, row1, kBufferColumns);
    for (int r = row1 + 1; r < row2; ++r) EraseCells(1, r, kBufferColumns);
    EraseCells(1, row2, column2);
}

void TerminalView::ForwardTab(int count) {
    if (count <= 0) return;
    const auto& stops = buffer_.TabStops();
    int c = column_ - leftColumn_;
    for (int col = c + 1; col < kBufferColumns; ++col) {
        if (stops[col] && --count == 0) {
            MoveCursor(false, col + 1, row_ + 1);
            return;
        }
    }
    MoveCursor(false, 1, row_ + 1);
}

void TerminalView::BackTab(int count) {
    if (count <= 0) return;
    const auto& stops = buffer_.TabStops();
    int c = column_ - leftColumn_;
    for (int col = std::min(c - 1, kBufferColumns - 1); col >= 1; --col) {
        if (stops[col] && --count == 0) {
            MoveCursor(false, col + 1, row_ + 1);
            return;
        }
    }
    MoveCursor(false, 1, row_ + 1);
}

void TerminalView::OnDisplay(const uint8_t* /*bytes*/, int n, int line, int column) {
    if (n <= 0) return;
    if (vt_) {
        if (painter_) {
            paintCells(line - topLine_, column - leftColumn_, column + n - 1 - leftColumn_);
        }
        column_ = std::min(column + n, kBufferColumns - 1);
        if (column_ < leftColumn_) leftColumn_ = column_;
    } else if (painter_ && !batchQuiet_) {
        int row = line - topLine_;
        if (row >= 0 && row < rows_)
            paintCells(row, column - leftColumn_, column + n - 1 - leftColumn_);
    }
    caretMoved();
}

void TerminalView::followEnd() {
    if (scrollBack_) return;
    int last = buffer_.LastLine();
    if (last >= topLine_ + rows_) {
        int old = topLine_;
        topLine_ = std::min(last - rows_ + 1, buffer_.Lines() - rows_);
        if (painter_ && !batchQuiet_) painter_->ScrolledBy(topLine_ - old);
    }
}

void TerminalView::OnLineFeed() {
    if (vt_) {
        if (row_ == rows_ - 1) {
            if (topLine_ + rows_ < buffer_.Lines()) {
                ++topLine_;
                if (painter_) {
                    painter_->ScrolledBy(1);
                    painter_->InvalidateCells(rows_ - 1, 0, columns_ - 1);
                }
            }
            clipToBuffer();
        } else {
            ++row_;
        }
    } else {
        if (batch_) ++batchLines_;
        followEnd();
    }
    if (painter_ && !batchQuiet_) painter_->ScrollRangeChanged();
    caretMoved();
}

void TerminalView::OnCarriageReturn() {
    if (leftColumn_ != 0) {
        leftColumn_ = 0;
        if (painter_ && !batchQuiet_) painter_->InvalidateAll();
    }
    if (vt_) column_ = 0;
    caretMoved();
}

void TerminalView::OnBackSpace() {
    if (vt_) {
        int cell = column_ - 1;
        if (column_ == 0) {
            row_ = row_ == 0 ? rows_ - 1 : row_ - 1;
            cell = kBufferColumns - 1;
        }
        buffer_.SetChar(topLine_ + row_, cell, ' ');
        column_ = cell;
        if (column_ < leftColumn_) leftColumn_ = column_;
        if (painter_) paintCells(row_, cell - leftColumn_, cell - leftColumn_);
    } else if (painter_ && !batchQuiet_) {
        int row = buffer_.LastLine() - topLine_;
        int cell = buffer_.DumbColumn() - leftColumn_;
        if (row >= 0 && row < rows_) paintCells(row, cell, cell);
    }
    caretMoved();
}

void TerminalView::OnEscape(const uint8_t* sequence, int n, bool vt52) {
    EscapeInterpreter interpreter(buffer_, *this);
    if (vt52)
        interpreter.Vt52(sequence, n);
    else
        interpreter.Vt100(sequence, n);
}

void TerminalView::OnTab() {
    if (vt_) ForwardTab(1);
}

void TerminalView::OnLinesDropped(int count) {
    if (vt_) {
        topLine_ = std::max(topLine_ - count, 0);
        viewTop_ = std::min(std::max(viewTop_ - count, 0), topLine_);
        clipToBuffer();
    } else if (topLine_ != 0) {
        int top = topLine_ - count;
        topLine_ = top < rows_ ? 0 : top;
        followEnd();
    }
    if (painter_ && !batchQuiet_) {
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
    caretMoved();
}

void TerminalView::OnBatchBegin() {
    batch_ = true;
    batchQuiet_ = topLine_ != 0;
    batchLines_ = 0;
}

void TerminalView::OnBatchEnd() {
    bool quiet = batchQuiet_;
    int lines = batchLines_;
    batch_ = false;
    batchQuiet_ = false;
    batchLines_ = 0;
    if (quiet && painter_) {
        if (lines) painter_->ScrolledBy(lines);
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
    caretMoved();
}

void TerminalView::OnHideCaret() {
    caretHidden_ = true;
    if (painter_) painter_->CaretVisible(false);
}

void TerminalView::OnShowCaret() {
    caretHidden_ = false;
    if (painter_) painter_->CaretVisible(true);
    // The dumb terminal's caret follows the write position, which the run may have moved after
    // its last display message (a full line without the automatic margin).
    caretMoved();
}

void TerminalView::OnClear() {
    topLine_ = 0;
    leftColumn_ = 0;
    scrollBack_ = false;
    row_ = 0;
    column_ = 0;
    if (vt_) {
        for (int i = 0; i < rows_; ++i) buffer_.BlankLine(i);
        buffer_.SetLastLine(rows_ - 1);
        buffer_.Attributes() = {};
    }
    Repaint();
    caretMoved();
}

void TerminalView::Repaint() {
    if (painter_) {
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
}

void TerminalView::PlaceBelowText() {
    scrollBack_ = false;
    leftColumn_ = 0;
    column_ = 0;
    if (vt_) {
        const int next = buffer_.TextEnd();
        topLine_ = std::max(topLine_, next - rows_ + 1);
        row_ = std::max(next - topLine_, 0);
    } else {
        topLine_ = BottomTop();
        row_ = 0;
    }
    clipToBuffer();
    Repaint();
    caretMoved();
}

void TerminalView::PlaceAtEnd() {
    scrollBack_ = false;
    leftColumn_ = 0;
    topLine_ = std::max(buffer_.LastLine() - rows_ + 1, 0);
    row_ = 0;
    column_ = 0;
    clipToBuffer();
    Repaint();
    caretMoved();
}

}  // namespace marlo

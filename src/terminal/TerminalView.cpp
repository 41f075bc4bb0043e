#include "terminal/TerminalView.h"

#include <algorithm>

#include "terminal/ScreenBuffer.h"

namespace marlo {

TerminalView::TerminalView(ScreenBuffer& buffer, TerminalState& state, int rows, int columns)
    : buffer_(buffer), state_(state) {
    SetVisibleSize(rows, columns);
}

void TerminalView::SetSizesScreen(bool on) {
    sizesScreen_ = on;
    if (on) state_.SetScreenSize(rows_, columns_);
}

void TerminalView::SetVisibleSize(int rows, int columns) {
    auto lock = buffer_.Lock();
    rows_ = std::clamp(rows, 1, std::max(buffer_.Lines() - 1, 1));
    columns_ = std::clamp(columns, 1, kBufferColumns);
    if (sizesScreen_) state_.SetScreenSize(rows_, columns_);
    clipToBuffer();
    if (painter_) {
        painter_->InvalidateAll();
        painter_->ScrollRangeChanged();
    }
}

void TerminalView::clipToBuffer() {
    rows_ = std::clamp(rows_, 1, std::max(buffer_.Lines() - 1, 1));
    topLine_ = std::clamp(topLine_, 0, buffer_.Lines() - rows_);
    leftColumn_ = std::clamp(leftColumn_, 0, buffer_.DumbColumn());
}

int TerminalView::BottomTop() const {
    if (vt_) return state_.ScreenTop();
    return std::clamp(buffer_.LastLine() - rows_ + 1, 0, std::max(buffer_.Lines() - rows_, 0));
}

int TerminalView::CursorRow() const {
    if (vt_) return state_.CursorRow();
    return std::clamp(buffer_.LastLine() - topLine_, 0, rows_ - 1);
}

int TerminalView::CursorColumn() const {
    return vt_ ? state_.CursorColumn() : buffer_.DumbColumn();
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
    if (vt_) {
        state_.SetLeftColumn(column);  // the state reports the change to every view
        return;
    }
    int old = leftColumn_;
    leftColumn_ = std::clamp(column, 0, kBufferColumns - 1);
    if (painter_ && old != leftColumn_) painter_->InvalidateAll();
}

void TerminalView::caretMoved() {
    if (painter_ && !batchQuiet_) painter_->CaretMoved(CursorRow(), CursorColumn() - LeftColumn());
}

void TerminalView::paintCells(int row, int first, int last) {
    // One more cell on each side: a write over half of a double-byte character blanks the other.
    first = std::max(first - 1, 0);
    last = std::min(last + 1, columns_ - 1);
    if (first <= last) painter_->InvalidateCells(row, first, last);
}

void TerminalView::Damaged(const ScreenDamage& d) {
    if (d.dropped) linesDropped(d.dropped);
    if (d.scrolled) {
        if (!vt_) {
            if (batch_) batchLines_ += d.scrolled;
            followEnd();
        } else if (painter_) {
            painter_->ScrolledBy(d.scrolled);
            for (int r = std::max(rows_ - d.scrolled, 0); r < rows_; ++r)
                painter_->InvalidateCells(r, 0, columns_ - 1);
        }
    }
    const bool paint = painter_ && !batchQuiet_;
    if (d.lineStart && !vt_ && leftColumn_ != 0) {
        leftColumn_ = 0;
        if (paint) painter_->InvalidateAll();
    }
    if (paint) {
        if (d.all) {
            painter_->InvalidateAll();
        } else if (d.firstLine <= d.lastLine) {
            const int top = TopLine();
            const int left = LeftColumn();
            const int first = std::max(d.firstLine, top);
            const int last = std::min(d.lastLine, top + rows_ - 1);
            for (int line = first; line <= last; ++line)
                paintCells(line - top, d.firstColumn - left, d.lastColumn - left);
        }
        if (d.range || d.dropped) painter_->ScrollRangeChanged();
    }
    if (d.cursor) caretMoved();
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

void TerminalView::linesDropped(int count) {
    if (vt_) {
        viewTop_ = std::min(std::max(viewTop_ - count, 0), state_.ScreenTop());
        clipToBuffer();
    } else if (topLine_ != 0) {
        int top = topLine_ - count;
        topLine_ = top < rows_ ? 0 : top;
        followEnd();
    }
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

void TerminalView::OnBlockBegin() {
    caretHidden_ = true;
    if (painter_) painter_->CaretVisible(false);
}

void TerminalView::OnBlockEnd() {
    caretHidden_ = false;
    if (painter_) painter_->CaretVisible(true);
    // The dumb terminal's caret follows the write position, which the run may have moved after
    // its last damage (a full line without the automatic margin).
    caretMoved();
}

void TerminalView::OnClear() {
    topLine_ = 0;
    leftColumn_ = 0;
    scrollBack_ = false;
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
    if (!vt_) topLine_ = BottomTop();
    clipToBuffer();
    Repaint();
    caretMoved();
}

void TerminalView::PlaceAtEnd() {
    scrollBack_ = false;
    leftColumn_ = 0;
    topLine_ = std::max(buffer_.LastLine() - rows_ + 1, 0);
    clipToBuffer();
    Repaint();
    caretMoved();
}

}  // namespace marlo

#include "terminal/TerminalState.h"

#include <algorithm>

#include "terminal/EscapeInterpreter.h"
#include "terminal/ScreenBuffer.h"

namespace marlo {

void ScreenDamage::Merge(const ScreenDamage& d) {
    // Dropped lines move every line up: cells noted before no longer say where they are.
    if (d.dropped) all = true;
    if (d.lastLine >= d.firstLine) {
        AddCells(d.firstLine, d.firstColumn, d.lastColumn);
        lastLine = std::max(lastLine, d.lastLine);
    }
    all = all || d.all;
    scrolled += d.scrolled;
    dropped += d.dropped;
    range = range || d.range;
    cursor = cursor || d.cursor;
    lineStart = lineStart || d.lineStart;
}

TerminalState::TerminalState(ScreenBuffer& buffer, int rows, int columns) : buffer_(buffer) {
    SetScreenSize(rows, columns);
}

void TerminalState::AddListener(IScreenListener* listener) {
    if (std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void TerminalState::RemoveListener(IScreenListener* listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), listener), listeners_.end());
}

void TerminalState::BeginBlock() {
    if (blockDepth_++ == 0) pending_ = {};
}

void TerminalState::EndBlock() {
    if (blockDepth_ == 0 || --blockDepth_ > 0) return;
    ScreenDamage d = pending_;
    pending_ = {};
    if (!d.Empty())
        for (IScreenListener* l : listeners_) l->Damaged(d);
}

void TerminalState::report(const ScreenDamage& d) {
    if (blockDepth_ > 0) {
        pending_.Merge(d);
        return;
    }
    for (IScreenListener* l : listeners_) l->Damaged(d);
}

void TerminalState::allChanged() {
    ScreenDamage d;
    d.all = true;
    report(d);
}

void TerminalState::SetVtMode(bool vt) {
    if (vt && !vt_) top_ = dumbTop();
    vt_ = vt;
}

int TerminalState::dumbTop() const {
    return std::clamp(buffer_.LastLine() - rows_ + 1, 0, std::max(buffer_.Lines() - rows_, 0));
}

int TerminalState::ScreenTop() const {
    return vt_ ? top_ : dumbTop();
}

void TerminalState::SetScreenSize(int rows, int columns) {
    auto lock = buffer_.Lock();
    // A VT screen made shorter than the cursor's row keeps the cursor on its line: the lines
    // above go up into the history instead of the host's next output landing on older text.
    const int oldTop = top_;
    if (vt_ && rows >= 1 && row_ > rows - 1) {
        top_ += row_ - (rows - 1);
        row_ = rows - 1;
    }
    rows_ = rows;
    columns_ = std::clamp(columns, 1, kBufferColumns);
    clipToBuffer();
    if (top_ != oldTop) allChanged();
}

void TerminalState::clipToBuffer() {
    rows_ = std::clamp(rows_, 1, std::max(buffer_.Lines() - 1, 1));
    top_ = std::clamp(top_, 0, buffer_.Lines() - rows_);
    row_ = std::clamp(row_, 0, rows_ - 1);
    column_ = std::clamp(column_, 0, kBufferColumns - 1);
    left_ = std::clamp(left_, 0, column_);
    // In the VT modes the whole screen is in use: the last line never ends above its bottom row.
    if (vt_ && buffer_.LastLine() < top_ + rows_ - 1) buffer_.SetLastLine(top_ + rows_ - 1);
}

void TerminalState::SetLeftColumn(int column) {
    const int old = left_;
    left_ = std::clamp(column, 0, kBufferColumns - 1);
    if (column_ < left_) column_ = left_;
    if (old != left_) allChanged();
}

void TerminalState::GetCursor(int& line, int& column) const {
    if (vt_) {
        line = top_ + row_;
        column = column_;
    } else {
        line = buffer_.LastLine();
        column = buffer_.DumbColumn();
    }
}

void TerminalState::MoveCursor(bool relative, int column, int row) {
    if (relative) {
        row_ = std::clamp(row_ + row, 0, rows_ - 1);
        int target = std::clamp(column_ + column, 0, kBufferColumns - 1);
        if (column < 0 && left_ > 0) {
            left_ = std::max(left_ + column, 0);
            allChanged();
        }
        column_ = target;
        if (column_ < left_) left_ = column_;
    } else {
        if (left_ != 0) {
            left_ = 0;
            allChanged();
        }
        column_ = std::clamp(column, 1, kBufferColumns) - 1;
        row_ = std::clamp(row, 1, rows_) - 1;
    }
    cursorMoved();
}

void TerminalState::PlaceCursor(int row, int column) {
    row_ = std::clamp(row, 0, rows_ - 1);
    column_ = std::clamp(column, 0, kBufferColumns - 1);
    if (column_ < left_) {
        left_ = column_;
        allChanged();
    }
    cursorMoved();
}

void TerminalState::RestoreCursor() {
    if (savedRow_ == 0 || savedColumn_ == 0)
        MoveCursor(false, 1, 1);
    else
        MoveCursor(false, savedColumn_, savedRow_);
}

void TerminalState::InsertLines(int row, int count) {
    moveLines(row, count, true);
}

void TerminalState::DeleteLines(int row, int count) {
    moveLines(row, count, false);
}

void TerminalState::moveLines(int row, int count, bool insert) {
    if (row < 1 || row > rows_ || count <= 0) return;
    count = std::min(count, rows_ - row + 1);
    if (insert)
        buffer_.InsertLines(top_ + row - 1, count);
    else
        buffer_.DeleteLines(top_ + row - 1, count);
    clipToBuffer();
    ScreenDamage d;
    d.all = d.range = true;
    report(d);
}

void TerminalState::EraseCells(int firstColumn, int row, int lastColumn) {
    if (row < 1 || row > rows_) return;
    firstColumn = std::max(firstColumn, 1);
    lastColumn = std::min(lastColumn, kBufferColumns - left_);
    if (firstColumn > lastColumn) return;
    const int line = top_ + row - 1;
    buffer_.EraseCells(line, left_ + firstColumn - 1, left_ + lastColumn - 1);
    ScreenDamage d;
    d.AddCells(line, left_ + firstColumn - 1, left_ + lastColumn - 1);
    report(d);
}

void TerminalState::EraseRegion(int column1, int row1, int column2, int row2) {
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

void TerminalState::ForwardTab(int count) {
    if (count <= 0) return;
    const auto& stops = buffer_.TabStops();
    for (int col = column_ - left_ + 1; col < kBufferColumns; ++col) {
        if (stops[col] && --count == 0) {
            MoveCursor(false, col + 1, row_ + 1);
            return;
        }
    }
    MoveCursor(false, 1, row_ + 1);
}

void TerminalState::BackTab(int count) {
    if (count <= 0) return;
    const auto& stops = buffer_.TabStops();
    for (int col = std::min(column_ - left_ - 1, kBufferColumns - 1); col >= 1; --col) {
        if (stops[col] && --count == 0) {
            MoveCursor(false, col + 1, row_ + 1);
            return;
        }
    }
    MoveCursor(false, 1, row_ + 1);
}

void TerminalState::Escape(const uint8_t* sequence, int n, bool vt52) {
    EscapeInterpreter interpreter(buffer_, *this);
    if (vt52)
        interpreter.Vt52(sequence, n);
    else
        interpreter.Vt100(sequence, n);
}

void TerminalState::Written(int line, int column, int n) {
    if (n <= 0) return;
    if (vt_) {
        column_ = std::min(column + n, kBufferColumns - 1);
        if (column_ < left_) left_ = column_;
    }
    ScreenDamage one;
    ScreenDamage& d = blockDepth_ > 0 ? pending_ : one;  // a block's characters add up in place
    d.AddCells(line, column, column + n - 1);
    d.cursor = true;
    if (&d == &one) report(one);
}

void TerminalState::LineFeed() {
    ScreenDamage d;
    d.range = d.cursor = true;
    if (!vt_) {
        d.scrolled = 1;
    } else if (row_ == rows_ - 1) {
        if (top_ + rows_ < buffer_.Lines()) {
            ++top_;
            d.scrolled = 1;
        }
        clipToBuffer();
    } else {
        ++row_;
    }
    report(d);
}

void TerminalState::CarriageReturn() {
    ScreenDamage d;
    d.cursor = d.lineStart = true;
    if (vt_) {
        d.all = left_ != 0;
        left_ = 0;
        column_ = 0;
    }
    report(d);
}

void TerminalState::BackSpace() {
    ScreenDamage d;
    d.cursor = true;
    if (vt_) {
        int cell = column_ - 1;
        if (column_ == 0) {
            row_ = row_ == 0 ? rows_ - 1 : row_ - 1;
            cell = kBufferColumns - 1;
        }
        buffer_.SetChar(top_ + row_, cell, ' ');
        column_ = cell;
        if (column_ < left_) left_ = column_;
        d.AddCells(top_ + row_, cell, cell);
    } else {
        d.AddCells(buffer_.LastLine(), buffer_.DumbColumn(), buffer_.DumbColumn());
    }
    report(d);
}

void TerminalState::LinesDropped(int count) {
    if (vt_) {
        top_ = std::max(top_ - count, 0);
        clipToBuffer();
    }
    ScreenDamage d;
    d.dropped = count;
    d.all = d.range = d.cursor = true;
    report(d);
}

void TerminalState::Clear() {
    top_ = 0;
    left_ = 0;
    row_ = 0;
    column_ = 0;
    if (vt_) {
        for (int i = 0; i < rows_; ++i) buffer_.BlankLine(i);
        buffer_.SetLastLine(rows_ - 1);
        buffer_.Attributes() = {};
    }
}

void TerminalState::PlaceBelowText() {
    left_ = 0;
    column_ = 0;
    row_ = 0;
    if (vt_) {
        const int next = buffer_.TextEnd();
        top_ = std::max(top_, next - rows_ + 1);
        row_ = std::max(next - top_, 0);
    }
    clipToBuffer();
}

void TerminalState::PlaceAtEnd() {
    left_ = 0;
    top_ = std::max(buffer_.LastLine() - rows_ + 1, 0);
    row_ = 0;
    column_ = 0;
    clipToBuffer();
}

}  // namespace marlo

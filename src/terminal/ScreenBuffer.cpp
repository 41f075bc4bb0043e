#include "terminal/ScreenBuffer.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "terminal/KanjiCodec.h"

namespace marlo {

bool IsTrailCell(const uint8_t* chars, int column) {
    if (column <= 0 || column >= kBufferColumns) return false;
    int c = 0;
    while (c < column) {
        if (IsSjisLead(chars[c]) && c + 1 < kBufferColumns && IsSjisTrail(chars[c + 1])) {
            if (c + 1 == column) return true;
            c += 2;
        } else {
            ++c;
        }
    }
    return false;
}

int CharStartColumn(const uint8_t* chars, int column) {
    column = std::clamp(column, 0, kBufferColumns - 1);
    return IsTrailCell(chars, column) ? column - 1 : column;
}

ScreenBuffer::ScreenBuffer(int lines) {
    lines_ = std::max(lines, 2);
    planeSize_ = static_cast<size_t>(lines_) * kBufferColumns;
    cells_.assign(4 * planeSize_, 0);
    times_.assign(static_cast<size_t>(lines_), {});
}

void ScreenBuffer::Resize(int lines) {
    lines = std::max(lines, 2);
    if (lines == lines_) return;
    // Keep the newest lines, and leave room for at least one more so the buffer is not full.
    int used = lastLine_ + 1;
    int keep = std::min(used, lines - 1);
    int first = used - keep;
    size_t newPlane = static_cast<size_t>(lines) * kBufferColumns;
    std::vector<uint8_t> cells(4 * newPlane, 0);
    std::vector<LineTime> times(static_cast<size_t>(lines));
    for (int i = 0; i < keep; ++i) {
        for (int p = 0; p < 4; ++p)
            std::memcpy(cells.data() + p * newPlane + static_cast<size_t>(i) * kBufferColumns,
                        plane(p, first + i), kBufferColumns);
        times[static_cast<size_t>(i)] = LineTimeOf(first + i);
    }
    cells_.swap(cells);
    times_.swap(times);
    lines_ = lines;
    planeSize_ = newPlane;
    head_ = 0;
    lastLine_ = std::max(keep - 1, 0);
}

void ScreenBuffer::SetLastLine(int line) {
    lastLine_ = std::clamp(line, 0, lines_ - 1);
}

void ScreenBuffer::SetDumbColumn(int column) {
    dumbColumn_ = std::clamp(column, 0, kBufferColumns - 1);
}

void ScreenBuffer::StoreRun(int line, int column, const uint8_t* bytes, int n) {
    if (line < 0 || line >= lines_ || column < 0 || column >= kBufferColumns) return;
    n = std::min(n, kBufferColumns - column);
    if (n <= 0) return;
    severHalves(line, column, column + n - 1);
    uint8_t* at = cells_.data() + offset(line) + static_cast<size_t>(column);
    std::memcpy(at, bytes, static_cast<size_t>(n));
    std::memset(at + planeSize_, attrs_.flags, static_cast<size_t>(n));
    std::memset(at + 2 * planeSize_, attrs_.fore, static_cast<size_t>(n));
    std::memset(at + 3 * planeSize_, attrs_.back, static_cast<size_t>(n));
}

void ScreenBuffer::SetChar(int line, int column, uint8_t b) {
    if (line < 0 || line >= lines_ || column < 0 || column >= kBufferColumns) return;
    severHalves(line, column, column);
    cells_[offset(line) + static_cast<size_t>(column)] = b;
}

void ScreenBuffer::EraseCells(int line, int first, int last, uint8_t back) {
    if (line < 0 || line >= lines_) return;
    first = std::max(first, 0);
    last = std::min(last, kBufferColumns - 1);
    if (first > last) return;
    severHalves(line, first, last);
    size_t at = offset(line) + static_cast<size_t>(first);
    size_t n = static_cast<size_t>(last - first + 1);
    std::memset(cells_.data() + at, ' ', n);
    for (int p = 1; p < 3; ++p) std::memset(cells_.data() + p * planeSize_ + at, 0, n);
    std::memset(cells_.data() + 3 * planeSize_ + at, back, n);
}

void ScreenBuffer::ScrollLines(int first, int last, int count, uint8_t back) {
    first = std::max(first, 0);
    last = std::min(last, lines_ - 1);
    if (first > last || count == 0) return;
    const int span = last - first + 1;
    const int n = std::min(std::abs(count), span);
    if (count > 0) {
        for (int to = first; to + n <= last; ++to) copyLine(to + n, to);
        for (int i = last - n + 1; i <= last; ++i) EraseCells(i, 0, kBufferColumns - 1, back);
    } else {
        for (int to = last; to - n >= first; --to) copyLine(to - n, to);
        for (int i = first; i < first + n; ++i) EraseCells(i, 0, kBufferColumns - 1, back);
    }
}

void ScreenBuffer::InsertCells(int line, int column, int end, int count, uint8_t back) {
    if (line < 0 || line >= lines_) return;
    end = std::min(end, kBufferColumns);
    if (column < 0 || column >= end || count <= 0) return;
    count = std::min(count, end - column);
    severHalves(line, column, end - 1);
    for (int p = 0; p < 4; ++p) {
        uint8_t* at = cells_.data() + p * planeSize_ + offset(line);
        std::memmove(at + column + count, at + column, static_cast<size_t>(end - column - count));
    }
    EraseCells(line, column, column + count - 1, back);
    severHalves(line, end - 1, end - 1);  // a character pushed half out at the end
}

void ScreenBuffer::DeleteCells(int line, int column, int end, int count, uint8_t back) {
    if (line < 0 || line >= lines_) return;
    end = std::min(end, kBufferColumns);
    if (column < 0 || column >= end || count <= 0) return;
    count = std::min(count, end - column);
    severHalves(line, column, column + count - 1);
    for (int p = 0; p < 4; ++p) {
        uint8_t* at = cells_.data() + p * planeSize_ + offset(line);
        std::memmove(at + column, at + column + count, static_cast<size_t>(end - column - count));
    }
    EraseCells(line, end - count, end - 1, back);
}

void ScreenBuffer::CopyLinesOut(int first, int count, std::vector<uint8_t>& out) const {
    out.clear();
    for (int i = first; i < first + count && i >= 0 && i < lines_; ++i)
        for (int p = 0; p < 4; ++p) {
            const uint8_t* src = plane(p, i);
            out.insert(out.end(), src, src + kBufferColumns);
        }
}

void ScreenBuffer::CopyLinesIn(int first, const std::vector<uint8_t>& in) {
    const size_t lineBytes = 4 * kBufferColumns;
    for (size_t k = 0; (k + 1) * lineBytes <= in.size(); ++k) {
        const int line = first + static_cast<int>(k);
        if (line < 0 || line >= lines_) break;
        for (int p = 0; p < 4; ++p)
            std::memcpy(cells_.data() + p * planeSize_ + offset(line),
                        in.data() + k * lineBytes + static_cast<size_t>(p) * kBufferColumns,
                        kBufferColumns);
    }
}

int ScreenBuffer::RoomLines(int clearUpPercent) const {
    long long n = static_cast<long long>(lines_) * std::clamp(clearUpPercent, 0, 100) / 100;
    return static_cast<int>(std::clamp<long long>(n, 1, lines_ - 1));
}

void ScreenBuffer::severHalves(int line, int first, int last) {
    uint8_t* chars = cells_.data() + offset(line);
    // Both halves are found before either is cleared: clearing the left one changes how the cells
    // after it pair up.
    const bool leftHalf = first > 0 && IsSjisLead(chars[first - 1]) && IsSjisTrail(chars[first]) &&
                          IsTrailCell(chars, first);
    const bool rightHalf = last + 1 < kBufferColumns && IsSjisLead(chars[last]) &&
                           IsSjisTrail(chars[last + 1]) && !IsTrailCell(chars, last);
    if (leftHalf) chars[first - 1] = ' ';
    if (rightHalf) chars[last + 1] = ' ';
}

void ScreenBuffer::copyLine(int from, int to) {
    for (int p = 0; p < 4; ++p)
        std::memcpy(cells_.data() + p * planeSize_ + offset(to),
                    cells_.data() + p * planeSize_ + offset(from), kBufferColumns);
    times_[physical(to)] = times_[physical(from)];
}

void ScreenBuffer::zeroLine(int line) {
    for (int p = 0; p < 4; ++p)
        std::memset(cells_.data() + p * planeSize_ + offset(line), 0, kBufferColumns);
    times_[physical(line)] = {};
}

int ScreenBuffer::DropOldest(int count) {
    count = std::clamp(count, 0, lines_);
    if (count == 0) return 0;
    // Turning the ring moves every line up by `count`; the lines that come round to the end held
    // the dropped text and are zeroed.
    head_ = (head_ + count) % lines_;
    for (int i = lines_ - count; i < lines_; ++i) zeroLine(i);
    lastLine_ = std::max(lastLine_ - count, 0);
    return count;
}

void ScreenBuffer::InsertLines(int line, int count) {
    if (line < 0 || line >= lines_ || count <= 0) return;
    count = std::min(count, lines_ - line);
    int newLast = std::min(std::max(lastLine_, line) + count, lines_ - 1);
    for (int to = newLast; to >= line + count; --to) copyLine(to - count, to);
    for (int i = line; i < line + count; ++i) {
        EraseCells(i, 0, kBufferColumns - 1);
        times_[physical(i)] = {};
    }
    lastLine_ = newLast;
}

void ScreenBuffer::DeleteLines(int line, int count) {
    if (line < 0 || line > lastLine_ || count <= 0) return;
    count = std::min(count, lastLine_ - line + 1);
    for (int to = line; to + count <= lastLine_; ++to) copyLine(to + count, to);
    for (int i = lastLine_ - count + 1; i <= lastLine_; ++i) zeroLine(i);
    lastLine_ = std::max(lastLine_ - count, 0);
}

void ScreenBuffer::Clear() {
    std::fill(cells_.begin(), cells_.end(), 0);
    std::fill(times_.begin(), times_.end(), LineTime{});
    head_ = 0;
    lastLine_ = 0;
    dumbColumn_ = 0;
    attrs_ = {};
}

std::string ScreenBuffer::LineText(int line) const {
    if (line < 0 || line >= lines_) return {};
    const uint8_t* c = Chars(line);
    int end = kBufferColumns;
    while (end > 0 && (c[end - 1] == 0 || c[end - 1] == ' ')) --end;
    std::string text(reinterpret_cast<const char*>(c), static_cast<size_t>(end));
    std::replace(text.begin(), text.end(), '\0', ' ');
    return text;
}

int ScreenBuffer::TextEnd() const {
    for (int line = lastLine_; line >= 0; --line) {
        const uint8_t* c = Chars(line);
        if (std::any_of(c, c + kBufferColumns, [](uint8_t b) { return b != 0 && b != ' '; }))
            return line + 1;
    }
    return 0;
}

std::string ScreenBuffer::SaveText() const {
    std::string out;
    int last = lastLine_;
    if (last > 0 && LineText(last).empty()) --last;
    if (last == 0 && LineText(0).empty()) return out;
    out.reserve(static_cast<size_t>(last + 1) * 40);
    for (int i = 0; i <= last; ++i) {
        out += LineText(i);
        out += "\r\n";
    }
    return out;
}

void ScreenBuffer::LoadText(const std::string& text, int vtRows) {
    vtRows = std::clamp(vtRows, 0, lines_ - 1);
    for (int i = 0; i < vtRows; ++i) BlankLine(i);
    int line = 0;
    int column = 0;
    bool justWrapped = false;  // the line ended at its 80th cell
    for (size_t i = 0; i < text.size() && line < lines_ - 1; ++i) {
        uint8_t b = static_cast<uint8_t>(text[i]);
        if (b == '\r') continue;
        if (b == '\n') {
            if (!justWrapped) {
                ++line;
                column = 0;
            }
            justWrapped = false;
            continue;
        }
        justWrapped = false;
        // The saved text is put back as it was, pairs and all, so no half is cleared here.
        cells_[offset(line) + static_cast<size_t>(column)] = b;
        if (++column == kBufferColumns) {
            ++line;
            column = 0;
            justWrapped = true;
        }
    }
    line = std::min(line, lines_ - 1);
    lastLine_ = line;
    dumbColumn_ = line >= lines_ - 1 ? 0 : column;
    if (vtRows > 0 && lastLine_ < vtRows - 1) lastLine_ = vtRows - 1;
}

}  // namespace marlo

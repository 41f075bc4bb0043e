#include "terminal/Selection.h"

#include <algorithm>

#include "terminal/KanjiCodec.h"
#include "terminal/ScreenBuffer.h"
#include "terminal/Xterm.h"

namespace marlo {

void Selection::SelectAll(const ScreenBuffer& buffer) {
    active_ = true;
    anchor_ = {0, 0};
    end_ = {buffer.LastLine(), buffer.DumbColumn()};
}

void Selection::Ordered(const ScreenBuffer& buffer, CellPos& first, CellPos& last) const {
    first = anchor_;
    last = end_;
    if (last < first) std::swap(first, last);
    const int lines = buffer.Lines();
    first.line = std::clamp(first.line, 0, lines - 1);
    last.line = std::clamp(last.line, 0, lines - 1);
    first.column = std::clamp(first.column, 0, kBufferColumns);
    last.column = std::clamp(last.column, 0, kBufferColumns);
    if (first.column < kBufferColumns)
        first.column = CharStartColumn(buffer.Chars(first.line), first.column);
    // An end between a lead byte and its trail takes the trail too.
    if (last.column > 0 && last.column < kBufferColumns &&
        IsTrailCell(buffer.Chars(last.line), last.column))
        ++last.column;
}

bool Selection::Contains(const ScreenBuffer& buffer, int line, int column) const {
    if (Empty()) return false;
    CellPos first, last;
    Ordered(buffer, first, last);
    CellPos at{line, column};
    return !(at < first) && at < last;
}

namespace {

// A cell's bytes as copied: a DEC graphics cell as the Shift-JIS line character it is drawn as.
void AppendCell(std::string& out, const ScreenBuffer& buffer, int line, int column) {
    const uint8_t ch = buffer.Chars(line)[column];
    const char* graphic =
        (buffer.Flags(line)[column] & kFlagGraphic) ? DecGraphicSjis(ch) : nullptr;
    if (graphic)
        out += graphic;
    else
        out += static_cast<char>(ch);
}

std::string Build(const ScreenBuffer& buffer, const Selection& selection, bool vt,
                  const std::string& quote) {
    std::string out;
    if (selection.Empty()) return out;
    CellPos first, last;
    selection.Ordered(buffer, first, last);
    // The dumb terminal's text ends at its write position.
    if (!vt) {
        CellPos write{buffer.LastLine(), buffer.DumbColumn()};
        if (write < last) last = write;
        if (last < first) return out;
    }
    if (first.line == last.line) {
        // Within one line: the cells between the two columns, up to the line's end.
        const uint8_t* chars = buffer.Chars(first.line);
        out += quote;
        for (int c = first.column; c < last.column && chars[c] != 0; ++c)
            AppendCell(out, buffer, first.line, c);
        return out;
    }
    for (int line = first.line; line <= last.line; ++line) {
        const uint8_t* chars = buffer.Chars(line);
        const int from = line == first.line ? first.column : 0;
        const int to = line == last.line ? last.column : kBufferColumns;
        if (line == last.line && to == 0) break;  // the selection ends at the line's start
        out += quote;
        bool ended = false;
        for (int c = from; c < to; ++c) {
            if (chars[c] == 0) {
                out += "\r\n";
                ended = true;
                break;
            }
            AppendCell(out, buffer, line, c);
        }
        // A VT line is a full screen row; the dumb terminal's full line continued on the next.
        if (!ended && line != last.line && vt) out += "\r\n";
    }
    return out;
}

}  // namespace

std::string CopyText(const ScreenBuffer& buffer, const Selection& selection, bool vt,
                     const std::string& quote) {
    return Build(buffer, selection, vt, quote);
}

std::string FileCopyText(const ScreenBuffer& buffer, const Selection& selection, bool vt) {
    std::string text = Build(buffer, selection, vt, {});
    if (!text.empty() && (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0))
        text += "\r\n";
    return text;
}

}  // namespace marlo

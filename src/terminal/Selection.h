// The view's text selection and what is built from it: the copy text (plain or quoted) and the
// text of a copy to a file. A selection, a copy or a search never splits a double-byte character
// (IsTrailCell and CharStartColumn of the screen buffer).
//
// Positions are buffer cells (line, column). A selection is a stream from its anchor to its end in
// reading order; the end cell itself is not included (a mouse drag ends between cells).
#pragma once

#include <cstdint>
#include <string>

namespace marlo {

class ScreenBuffer;

struct CellPos {
    int line = 0;
    int column = 0;
    friend bool operator==(const CellPos&, const CellPos&) = default;
    friend bool operator<(const CellPos& a, const CellPos& b) {
        return a.line != b.line ? a.line < b.line : a.column < b.column;
    }
};

class Selection {
  public:
    bool Active() const { return active_; }
    bool Empty() const { return !active_ || anchor_ == end_; }
    const CellPos& Anchor() const { return anchor_; }
    const CellPos& End() const { return end_; }

    void Start(CellPos at) {
        active_ = true;
        anchor_ = end_ = at;
    }
    void Extend(CellPos to) { end_ = to; }
    void Clear() { active_ = false; }
    // Everything from line 0, column 0 to the buffer's write position.
    void SelectAll(const ScreenBuffer& buffer);

    // The first and last position in reading order, widened so that no double-byte character is
    // cut: a start on a trail byte moves back to its lead, an end after a lead byte takes its
    // trail.
    void Ordered(const ScreenBuffer& buffer, CellPos& first, CellPos& last) const;
    // True when the cell is selected (drawing).
    bool Contains(const ScreenBuffer& buffer, int line, int column) const;

    // Dragging with the mouse, and the keyboard range-selection mode.
    bool dragging = false;
    bool rangeMode = false;

  private:
    bool active_ = false;
    CellPos anchor_;
    CellPos end_;
};

// The selection as text with CR LF line ends, each line prefixed by `quote` when it is not empty.
// `vt` is the VT modes' rule (every line is 80 cells long); the dumb terminal's lines end at their
// first never-written cell. Empty for an empty selection. The caller holds the buffer's lock.
std::string CopyText(const ScreenBuffer& buffer, const Selection& selection, bool vt,
                     const std::string& quote = {});
// The text of a copy to a file: the same lines, the last one ended by CR LF too.
std::string FileCopyText(const ScreenBuffer& buffer, const Selection& selection, bool vt);

}  // namespace marlo

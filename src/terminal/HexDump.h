// The received bytes as a hex dump: the raw bytes as they came off the line (the newest ones, a
// bounded amount), shown 16 a row as hex and as text side by side:
//
//   00000010  41 42 0D 0A 88 9F 00 00  00 00 00 00 00 00 00 00  |AB..亜..........|
//
// The text column decodes the bytes with the line's receive code into Shift-JIS: printable ASCII,
// half-width katakana and kanji show as themselves, everything else as '.'. A character is shown
// at its first byte and covers as many cells as it is wide; the rest of its bytes show blank. A
// kanji whose bytes came in two receive blocks shows whole; one that starts in a row's last
// column runs one column past that row's end.
//
// Appending only keeps the bytes; they are decoded when rows are asked for, so a dump nobody
// looks at costs the receive path a copy.
//
// Also the parser of typed hex bytes ("$0D $0A", "0x1b", "0D0A", "1b 5b"), so that what the dump
// shows can be typed back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <vector>

#include "terminal/KanjiCodec.h"

namespace marlo {

class HexDump {
  public:
    static constexpr size_t kRowBytes = 16;
    static constexpr size_t kDefaultCapacity = size_t{1} << 20;

    // Keeps at most `capacity` bytes (at least a row), dropping the oldest whole rows.
    explicit HexDump(size_t capacity = kDefaultCapacity);

    // The line's receive code: the bytes that come after it are decoded in it.
    void SetCode(int code);
    int Code() const { return code_; }
    void Append(const uint8_t* p, size_t n);
    // Forgets everything; offsets count from 0 again.
    void Clear();

    // Stream offsets: the oldest byte kept (always at a row start), and the one after the newest.
    uint64_t Begin() const { return begin_; }
    uint64_t End() const { return begin_ + bytes_.size(); }
    // The bytes before this offset show their final text; the rest wait for the bytes that
    // complete their character.
    uint64_t Decoded() const {
        CatchUp();
        return runStart_;
    }
    // Changes whenever bytes come or go (views redraw when it changed).
    uint64_t Generation() const { return generation_; }

    size_t Rows() const { return (bytes_.size() + kRowBytes - 1) / kRowBytes; }
    // Row `row` of the kept rows (0 is the oldest), without a line end; "" past the last.
    std::string Row(size_t row) const;
    // The rows holding the kept bytes from..to-1 (clipped), each ending with "\n". Bytes outside
    // the range leave their places blank, so a row printed in two parts keeps its columns.
    std::string Format(uint64_t from, uint64_t to) const;

  private:
    // What a byte shows in the text column.
    enum CellKind : uint8_t {
        kWaiting,  // its character is not complete yet
        kDot,      // a control or a byte that is no text
        kSingle,   // a printable ASCII byte or a half-width katakana
        kDouble,   // the first byte of a kanji (a Shift-JIS pair in a, b)
        kCovered,  // inside a character drawn at an earlier byte
        kBlank,    // a byte of a character that is shorter on screen than on the line
    };
    struct Cell {
        CellKind kind = kWaiting;
        uint8_t a = 0;
        uint8_t b = 0;
    };
    class Sink;
    friend class Sink;

    // Decodes the bytes that came since the last time (the cells are a cache of the bytes).
    void CatchUp() const;
    // The decoder gave a character (single byte `a`, or the pair a b) at byte `at_`.
    void OnChar(bool pair, uint8_t a, uint8_t b) const;
    // The number of bytes (ending at `at_`) that the character just decoded came in.
    size_t CharBytes(bool pair) const;
    uint8_t ByteAt(uint64_t offset) const { return bytes_[static_cast<size_t>(offset - begin_)]; }
    Cell& CellAt(uint64_t offset) const { return cells_[static_cast<size_t>(offset - begin_)]; }
    void AppendText(uint64_t offset, bool rowStart, std::string& out) const;
    void DropOldest();

    size_t capacity_;
    std::deque<uint8_t> bytes_;
    uint64_t begin_ = 0;
    uint64_t generation_ = 0;
    int code_ = kShiftJis;
    // What the bytes show, decoded up to fedTo_.
    mutable std::deque<Cell> cells_;
    mutable KanjiDecoder decoder_;
    mutable uint64_t fedTo_ = 0;
    mutable uint64_t at_ = 0;        // the byte being decoded
    mutable uint64_t runStart_ = 0;  // the first byte whose character is not decoded yet
};

// Typed hex bytes: tokens separated by spaces, tabs or commas; "$" or "0x" followed by one or two
// hex digits is one byte ("$0D", "0x1b", "$d"), and bare digits are read in pairs ("0D0A",
// "1b"). Upper or lower case. On a malformed entry `error` says which token is wrong and `bytes`
// is empty.
struct HexBytes {
    std::vector<uint8_t> bytes;
    std::string error;  // UTF-8; empty when the entry was good
};
HexBytes ParseHexBytes(std::string_view text);

}  // namespace marlo

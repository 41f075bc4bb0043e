#include "terminal/HexDump.h"

#include <algorithm>
#include <cstdio>

namespace marlo {

namespace {

bool Printable(uint8_t b) {
    return b >= 0x20 && b <= 0x7E;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

}  // namespace

class HexDump::Sink : public IKanjiSink {
  public:
    explicit Sink(const HexDump& dump) : dump_(dump) {}
    void SingleByte(uint8_t b) override { dump_.OnChar(false, b, 0); }
    void DoubleByte(uint8_t lead, uint8_t trail) override { dump_.OnChar(true, lead, trail); }

  private:
    const HexDump& dump_;
};

HexDump::HexDump(size_t capacity)
    : capacity_(std::max(kRowBytes, capacity / kRowBytes * kRowBytes)) {}

void HexDump::SetCode(int code) {
    if (code == code_) return;
    // What came before is decoded in the code it came in.
    CatchUp();
    code_ = code;
    decoder_.SetCode(code);
    // What waited for the old code's next byte is shown as it is.
    runStart_ = End();
}

void HexDump::Clear() {
    bytes_.clear();
    cells_.clear();
    begin_ = runStart_ = fedTo_ = 0;
    decoder_.Reset();
    ++generation_;
}

void HexDump::Append(const uint8_t* p, size_t n) {
    if (!p || n == 0) return;
    bytes_.insert(bytes_.end(), p, p + n);
    DropOldest();
    ++generation_;
}

void HexDump::CatchUp() const {
    if (fedTo_ < begin_) {
        // Bytes went before anyone asked for them: decoding starts afresh after them.
        decoder_.Reset();
        fedTo_ = begin_;
    }
    runStart_ = std::max(runStart_, begin_);
    if (fedTo_ == End()) return;
    cells_.resize(bytes_.size());
    Sink sink(*this);
    for (at_ = fedTo_; at_ < End(); ++at_) decoder_.Feed(ByteAt(at_), false, sink);
    fedTo_ = End();
}

size_t HexDump::CharBytes(bool pair) const {
    const uint64_t newest = at_;
    const uint64_t low = std::max(runStart_, begin_);
    switch (code_) {
        case kUtf8: {
            // Back over the continuation bytes to the lead byte.
            size_t n = 1;
            uint64_t at = newest;
            while (n < 4 && at > low && (ByteAt(at) & 0xC0) == 0x80) {
                --at;
                ++n;
            }
            return n;
        }
        case kEuc:
            if (pair) return newest >= low + 2 && ByteAt(newest - 2) == 0x8F ? 3 : 2;
            return newest >= low + 1 && ByteAt(newest - 1) == 0x8E ? 2 : 1;
        default:
            return pair ? 2 : 1;
    }
}

void HexDump::OnChar(bool pair, uint8_t a, uint8_t b) const {
    const uint64_t newest = at_;
    const uint64_t low = std::max(runStart_, begin_);
    // A second character out of the same byte has no byte of its own left to show at.
    if (low > newest) return;
    const uint64_t first = newest + 1 - std::min<uint64_t>(CharBytes(pair), newest + 1 - low);
    // Bytes that gave no character (shift sequences, a lead byte dropped) show as themselves.
    for (uint64_t at = low; at < first; ++at) {
        const uint8_t byte = ByteAt(at);
        CellAt(at) = Printable(byte) ? Cell{kSingle, byte, 0} : Cell{kDot, 0, 0};
    }
    Cell shown{kDot, 0, 0};
    if (pair)
        shown = {kDouble, a, b};
    else if (Printable(a) || IsHalfWidthKana(a))
        shown = {kSingle, a, 0};
    CellAt(first) = shown;
    const uint64_t wide = first + (pair ? 2 : 1);
    for (uint64_t at = first + 1; at <= newest; ++at)
        CellAt(at) = {at < wide ? kCovered : kBlank, 0, 0};
    runStart_ = newest + 1;
}

void HexDump::DropOldest() {
    if (bytes_.size() <= capacity_) return;
    const size_t drop = (bytes_.size() - capacity_ + kRowBytes - 1) / kRowBytes * kRowBytes;
    bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(drop));
    cells_.erase(cells_.begin(),
                 cells_.begin() + static_cast<std::ptrdiff_t>(std::min(drop, cells_.size())));
    begin_ += drop;
}

void HexDump::AppendText(uint64_t offset, bool firstShown, std::string& out) const {
    const Cell& c = cells_[static_cast<size_t>(offset - begin_)];
    switch (c.kind) {
        case kSingle:
            out.push_back(static_cast<char>(c.a));
            break;
        case kDouble:
            out.push_back(static_cast<char>(c.a));
            out.push_back(static_cast<char>(c.b));
            break;
        case kCovered:
            // Its character was drawn on the row before (or in an earlier part of this row).
            if (firstShown) out.push_back(' ');
            break;
        case kBlank:
            out.push_back(' ');
            break;
        default:
            out.push_back('.');
            break;
    }
}

std::string HexDump::Format(uint64_t from, uint64_t to) const {
    CatchUp();
    from = std::max(from, begin_);
    to = std::min(to, End());
    std::string out;
    if (from >= to) return out;
    out.reserve(static_cast<size_t>((to - from) / kRowBytes + 2) * 96);
    for (uint64_t row = from / kRowBytes * kRowBytes; row < to; row += kRowBytes) {
        char address[24];
        std::snprintf(address, sizeof address, "%08llX  ", static_cast<unsigned long long>(row));
        out += address;
        for (uint64_t at = row; at < row + kRowBytes; ++at) {
            if (at >= from && at < to) {
                static constexpr char kDigits[] = "0123456789ABCDEF";
                const uint8_t b = ByteAt(at);
                out += kDigits[b >> 4];
                out += kDigits[b & 15];
                out += ' ';
            } else {
                out += "   ";
            }
            if (at == row + kRowBytes / 2 - 1) out.push_back(' ');
        }
        out += " |";
        const uint64_t first = std::max(row, from);
        out.append(static_cast<size_t>(first - row), ' ');
        for (uint64_t at = first; at < std::min(row + kRowBytes, to); ++at)
            AppendText(at, at == first, out);
        out += "|\n";
    }
    return out;
}

std::string HexDump::Row(size_t row) const {
    const uint64_t start = begin_ + static_cast<uint64_t>(row) * kRowBytes;
    std::string text = Format(start, start + kRowBytes);
    if (!text.empty()) text.pop_back();
    return text;
}

HexBytes ParseHexBytes(std::string_view text) {
    HexBytes result;
    auto fail = [&result](std::string_view token, const char* why) {
        std::string shown(token.substr(0, 24));
        // Not cut inside a UTF-8 character.
        while (shown.size() < token.size() && !shown.empty() &&
               (static_cast<uint8_t>(token[shown.size()]) & 0xC0) == 0x80)
            shown.pop_back();
        if (shown.size() < token.size()) shown += "…";
        result.bytes.clear();
        result.error = "16進入力: 「" + shown + "」" + why;
        return result;
    };
    size_t i = 0;
    while (i < text.size()) {
        if (text[i] == ' ' || text[i] == '\t' || text[i] == ',') {
            ++i;
            continue;
        }
        size_t end = text.find_first_of(" \t,", i);
        if (end == std::string_view::npos) end = text.size();
        const std::string_view token = text.substr(i, end - i);
        i = end;
        std::string_view digits = token;
        bool prefixed = false;
        if (digits.front() == '$') {
            digits.remove_prefix(1);
            prefixed = true;
        } else if (digits.size() >= 2 && digits[0] == '0' &&
                   (digits[1] == 'x' || digits[1] == 'X')) {
            digits.remove_prefix(2);
            prefixed = true;
        }
        if (digits.empty() ||
            !std::all_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) >= 0; }))
            return fail(token, "は16進数ではありません");
        if (prefixed && digits.size() > 2) return fail(token, "は1ﾊﾞｲﾄ(16進2桁まで)を越えています");
        if (!prefixed && digits.size() % 2) return fail(token, "は桁数が奇数です(2桁で1ﾊﾞｲﾄ)");
        if (prefixed && digits.size() == 1) {
            result.bytes.push_back(static_cast<uint8_t>(HexDigit(digits[0])));
            continue;
        }
        for (size_t d = 0; d < digits.size(); d += 2)
            result.bytes.push_back(
                static_cast<uint8_t>(HexDigit(digits[d]) * 16 + HexDigit(digits[d + 1])));
    }
    if (result.bytes.empty()) result.error = "16進入力: 送るﾊﾞｲﾄがありません";
    return result;
}

}  // namespace marlo

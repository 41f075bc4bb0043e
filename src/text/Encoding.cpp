#include "text/Encoding.h"

#include <iconv.h>

#include <array>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace marlo {

namespace {

class Iconv {
  public:
    Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
    ~Iconv() {
        if (Ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;
    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    iconv_t Get() const { return cd_; }

  private:
    iconv_t cd_;
};

// Converts with `cd`, appending to `out` and replacing each byte that cannot be converted with '?'.
void ConvertInto(iconv_t cd, std::string_view in, std::string& out) {
    size_t used = out.size();
    out.resize(used + in.size() * 3 + 16);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data() + used;
    size_t dstLeft = out.size() - used;
    auto grow = [&] {
        used = static_cast<size_t>(dst - out.data());
        out.resize(out.size() * 2);
        dst = out.data() + used;
        dstLeft = out.size() - used;
    };
    while (srcLeft > 0) {
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        if (r != static_cast<size_t>(-1)) break;
        if (errno == E2BIG) {
            grow();
            continue;
        }
        // EILSEQ or EINVAL: replace one byte and go on.
        if (dstLeft == 0) grow();
        *dst++ = '?';
        --dstLeft;
        ++src;
        --srcLeft;
    }
    out.resize(static_cast<size_t>(dst - out.data()));
}

std::string Convert(const char* to, const char* from, std::string_view in) {
    Iconv cd(to, from);
    if (!cd.Ok()) return std::string(in);
    std::string out;
    ConvertInto(cd.Get(), in, out);
    return out;
}

bool IsSjisLead(unsigned char b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}

// The UTF-8 of every Shift-JIS character as iconv's CP932 gives it, asked once: the single bytes
// from 0x80 and the pairs of a lead byte with any second byte. Length 0 where iconv converts
// nothing whole.
class SjisTable {
  public:
    struct Entry {
        char bytes[4];
        uint8_t length;
    };

    SjisTable() {
        Iconv cd("UTF-8", "CP932");
        ok_ = cd.Ok();
        if (!ok_) return;
        for (int b = 0x80; b <= 0xFF; ++b) {
            const char one[] = {static_cast<char>(b)};
            if (!IsSjisLead(static_cast<unsigned char>(b))) Ask(cd.Get(), one, single_[b - 0x80]);
        }
        for (int lead = 0x80; lead <= 0xFF; ++lead) {
            if (!IsSjisLead(static_cast<unsigned char>(lead))) continue;
            for (int trail = 0; trail <= 0xFF; ++trail) {
                const char two[] = {static_cast<char>(lead), static_cast<char>(trail)};
                Ask(cd.Get(), two, pairs_[Row(lead)][trail]);
            }
        }
    }
    bool Ok() const { return ok_; }
    const Entry& Single(unsigned char b) const { return single_[b - 0x80]; }
    const Entry& Pair(unsigned char lead, unsigned char trail) const {
        return pairs_[Row(lead)][trail];
    }

  private:
    static int Row(int lead) { return lead <= 0x9F ? lead - 0x81 : lead - 0xE0 + 0x1F; }
    // A character that would grow more than threefold is left to iconv.
    template <size_t N>
    static void Ask(iconv_t cd, const char (&sjis)[N], Entry& e) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(sjis);
        size_t srcLeft = N;
        char* dst = e.bytes;
        size_t dstLeft = sizeof e.bytes;
        size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
        size_t length = sizeof e.bytes - dstLeft;
        if (r != static_cast<size_t>(-1) && srcLeft == 0 && length <= 3 * N)
            e.length = static_cast<uint8_t>(length);
    }

    bool ok_ = false;
    std::array<Entry, 128> single_{};
    std::array<std::array<Entry, 256>, 60> pairs_{};
};

const SjisTable& TheSjisTable() {
    static const SjisTable table;
    return table;
}

// The code point of one UTF-8 character of 1..4 bytes (well-formed, as iconv gives them).
char32_t DecodeOne(const char* b, size_t n) {
    const auto u = [&](size_t i) { return static_cast<char32_t>(static_cast<unsigned char>(b[i])); };
    switch (n) {
        case 1:
            return u(0);
        case 2:
            return (u(0) & 0x1F) << 6 | (u(1) & 0x3F);
        case 3:
            return (u(0) & 0x0F) << 12 | (u(1) & 0x3F) << 6 | (u(2) & 0x3F);
        default:
            return (u(0) & 0x07) << 18 | (u(1) & 0x3F) << 12 | (u(2) & 0x3F) << 6 | (u(3) & 0x3F);
    }
}

std::vector<uint16_t> MakeUnicodeToSjis() {
    std::vector<uint16_t> t(0x10000, 0);
    for (char32_t c = 0x01; c < 0x80; ++c) t[c] = static_cast<uint16_t>(c);
    const SjisTable& table = TheSjisTable();
    if (!table.Ok()) return t;
    for (int b = 0xA1; b <= 0xDF; ++b) {
        const SjisTable::Entry& e = table.Single(static_cast<unsigned char>(b));
        if (e.length == 0) continue;
        const char32_t c = DecodeOne(e.bytes, e.length);
        if (c < t.size() && t[c] == 0) t[c] = static_cast<uint16_t>(b);
    }
    // The NEC-selected IBM extensions (leads 0xED, 0xEE) repeat characters of the IBM rows: the
    // IBM codes are taken, as code page 932 itself does from Unicode.
    auto fill = [&](bool necSelected) {
        for (int lead = 0x81; lead <= 0xFC; ++lead) {
            if (!IsSjisLead(static_cast<unsigned char>(lead))) continue;
            if ((lead == 0xED || lead == 0xEE) != necSelected) continue;
            for (int trail = 0x40; trail <= 0xFC; ++trail) {
                const SjisTable::Entry& e =
                    table.Pair(static_cast<unsigned char>(lead), static_cast<unsigned char>(trail));
                if (e.length == 0) continue;
                const char32_t c = DecodeOne(e.bytes, e.length);
                if (c >= 0x80 && c < t.size() && t[c] == 0) t[c] = static_cast<uint16_t>(lead << 8 | trail);
            }
        }
    };
    fill(false);
    fill(true);
    static constexpr std::pair<char32_t, char32_t> kJisForms[] = {
        {0x301C, 0xFF5E}, {0x2016, 0x2225}, {0x2212, 0xFF0D}, {0x00A2, 0xFFE0},
        {0x00A3, 0xFFE1}, {0x00AC, 0xFFE2}, {0x2014, 0x2015}};
    for (auto [jis, cp932] : kJisForms)
        if (t[jis] == 0) t[jis] = t[cp932];
    if (t[0x00A5] == 0) t[0x00A5] = 0x5C;
    if (t[0x203E] == 0) t[0x203E] = 0x7E;
    return t;
}

}  // namespace

const uint16_t* UnicodeToSjisTable() {
    static const std::vector<uint16_t> table = MakeUnicodeToSjis();
    return table.data();
}

bool AppendSjisCharAsUtf8(uint8_t lead, uint8_t trail, std::string& out) {
    if (lead < 0x80) {
        out += static_cast<char>(lead);
        return true;
    }
    const SjisTable& table = TheSjisTable();
    if (!table.Ok()) return false;
    const SjisTable::Entry& e = IsSjisLead(lead) ? table.Pair(lead, trail) : table.Single(lead);
    if (e.length == 0) return false;
    out.append(e.bytes, e.length);
    return true;
}

std::string SjisToUtf8(std::string_view sjis) {
    const SjisTable& table = TheSjisTable();
    if (!table.Ok()) return std::string(sjis);
    // Received text is converted at line speed: each character is looked up. Where a byte starts
    // nothing iconv converts, iconv itself takes the rest, so that what it makes of a broken
    // sequence (and where it picks up again) stays exactly its own.
    std::string out(sjis.size() * 3 + sizeof(SjisTable::Entry::bytes), '\0');
    char* o = out.data();
    const auto* p = reinterpret_cast<const unsigned char*>(sjis.data());
    const auto* end = p + sjis.size();
    while (p < end) {
        if (*p < 0x80) {
            *o++ = static_cast<char>(*p++);
            continue;
        }
        const bool lead = IsSjisLead(*p);
        if (lead && p + 1 == end) break;
        const SjisTable::Entry& e = lead ? table.Pair(p[0], p[1]) : table.Single(*p);
        if (e.length == 0) break;
        std::memcpy(o, e.bytes, sizeof e.bytes);
        o += e.length;
        p += lead ? 2 : 1;
    }
    out.resize(static_cast<size_t>(o - out.data()));
    if (p < end) {
        Iconv cd("UTF-8", "CP932");
        const auto done =
            static_cast<size_t>(p - reinterpret_cast<const unsigned char*>(sjis.data()));
        ConvertInto(cd.Get(), sjis.substr(done), out);
    }
    return out;
}

std::string Utf8ToSjis(std::string_view utf8) {
    return Convert("CP932", "UTF-8", utf8);
}

size_t Utf8CharLength(std::string_view bytes, size_t i) {
    if (i >= bytes.size()) return 0;
    const auto c = static_cast<unsigned char>(bytes[i]);
    size_t follow;
    unsigned char low = 0x80, high = 0xBF;  // the range of the byte after the first
    if (c < 0x80) {
        return 1;
    } else if (c >= 0xC2 && c <= 0xDF) {
        follow = 1;
    } else if (c >= 0xE0 && c <= 0xEF) {
        follow = 2;
        if (c == 0xE0) low = 0xA0;   // overlong
        if (c == 0xED) high = 0x9F;  // surrogates
    } else if (c >= 0xF0 && c <= 0xF4) {
        follow = 3;
        if (c == 0xF0) low = 0x90;   // overlong
        if (c == 0xF4) high = 0x8F;  // past U+10FFFF
    } else {
        return 0;
    }
    if (i + follow >= bytes.size()) return 0;  // cut short
    for (size_t k = 1; k <= follow; ++k) {
        const auto b = static_cast<unsigned char>(bytes[i + k]);
        if (k == 1 ? (b < low || b > high) : (b < 0x80 || b > 0xBF)) return 0;
    }
    return follow + 1;
}

bool IsValidUtf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        const size_t n = Utf8CharLength(bytes, i);
        if (n == 0) return false;
        i += n;
    }
    return true;
}

std::vector<TextPiece> Utf8ToSjisPieces(std::string_view utf8) {
    const uint16_t* table = UnicodeToSjisTable();
    std::vector<TextPiece> pieces;
    auto run = [&pieces](bool unheld) -> std::string& {
        if (pieces.empty() || pieces.back().utf8 != unheld) pieces.push_back({{}, unheld});
        return pieces.back().bytes;
    };
    for (size_t i = 0; i < utf8.size();) {
        const size_t n = Utf8CharLength(utf8, i);
        if (n == 0) {
            run(false) += '?';  // a byte that is no character, as Utf8ToSjis shows it
            ++i;
            continue;
        }
        const auto lead = static_cast<unsigned char>(utf8[i]);
        char32_t c = n == 1 ? lead : lead & (0x7F >> n);
        for (size_t k = 1; k < n; ++k)
            c = c << 6 | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        const uint16_t sjis = c < 0x80 ? static_cast<uint16_t>(c) : c < 0x10000 ? table[c] : 0;
        if (c >= 0x80 && sjis == 0) {
            run(true).append(utf8.substr(i, n));
        } else {
            std::string& text = run(false);
            if (sjis > 0xFF) text += static_cast<char>(sjis >> 8);
            text += static_cast<char>(sjis & 0xFF);
        }
        i += n;
    }
    return pieces;
}

}  // namespace marlo

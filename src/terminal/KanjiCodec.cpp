#include "terminal/KanjiCodec.h"

#include "text/Encoding.h"

namespace marlo {

namespace {

constexpr uint8_t kEsc = 0x1B;
constexpr uint8_t kSs2 = 0x8E;
constexpr uint8_t kSs3 = 0x8F;

const char* const kCodeNames[kKanjiCodeCount] = {"Shift-JIS", "旧JIS", "新JIS",
                                                 "NEC漢字",   "EUC",   "UTF-8"};

// Bytes that can never begin a Shift-JIS character.
inline bool IsInvalidFirst(uint8_t b) {
    return b == 0x80 || b == 0xA0 || b >= 0xFD;
}

bool IsShiftedCode(int code) {
    return code == kOldJis || code == kNewJis || code == kNecKanji;
}

// Appends straight into a buffer sized beforehand; the fast path of Decode.
struct BufferSink {
    uint8_t* p;
    void SingleByte(uint8_t b) { *p++ = b; }
    void DoubleByte(uint8_t lead, uint8_t trail) {
        p[0] = lead;
        p[1] = trail;
        p += 2;
    }
};

}  // namespace

int KanjiCodeFromName(std::string_view name) {
    for (int i = 0; i < kKanjiCodeCount; ++i)
        if (name == kCodeNames[i]) return i;
    return -1;
}

const char* KanjiCodeName(int code) {
    return code >= 0 && code < kKanjiCodeCount ? kCodeNames[code] : "";
}

uint16_t JisToSjis(uint8_t j1, uint8_t j2) {
    if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) return 0;
    const int k = (j1 - 0x21) / 2;
    const int s1 = k + 0x81 + (k >= 31 ? 0x40 : 0);
    int s2;
    if (j1 & 1)
        s2 = j2 + (j2 < 0x60 ? 0x1F : 0x20);
    else
        s2 = j2 + 0x7E;
    return static_cast<uint16_t>(s1 << 8 | s2);
}

uint16_t SjisToJis(uint8_t s1, uint8_t s2) {
    if (!IsSjisLead(s1) || !IsSjisTrail(s2)) return 0;
    const int r = s1 < 0xA0 ? s1 - 0x81 : s1 - 0xC1;
    int j1, j2;
    if (s2 >= 0x9F) {
        j1 = 2 * r + 0x22;
        j2 = s2 - 0x7E;
    } else {
        j1 = 2 * r + 0x21;
        j2 = s2 - 0x1F - (s2 >= 0x7F ? 1 : 0);
    }
    if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) return 0;
    return static_cast<uint16_t>(j1 << 8 | j2);
}

// ---- receive ----

void KanjiDecoder::SetCode(int code) {
    if (code != code_) Reset();
    code_ = code;
    if (code_ == kUtf8 && !toSjis_) toSjis_ = UnicodeToSjisTable();
}

void KanjiDecoder::Reset() {
    hasLead_ = false;
    pendingLead_ = 0;
    state_ = 0;
    ss2_ = false;
    ss3Left_ = 0;
    utf8Left_ = 0;
}

bool KanjiDecoder::InSequence() const {
    if (code_ == kEuc) return ss2_ || ss3Left_ != 0;
    if (code_ == kUtf8) return utf8Left_ != 0;
    if (code_ == kNecKanji) return state_ == 1 || state_ == 3;
    if (IsShiftedCode(code_)) return state_ != 0 && state_ != 3;
    return false;
}

// The single-byte path: a printable byte will be written to the screen and so ends any half
// character that was waiting for its second byte.
template <class Sink>
inline void KanjiDecoder::Single(uint8_t b, Sink& sink) {
    if (b >= 0x20) hasLead_ = false;
    sink.SingleByte(b);
}

// Outside kanji mode in the shifted codes: a byte that moves no state.
template <class Sink>
inline void KanjiDecoder::StepBase(uint8_t b, Sink& sink) {
    if (b == kEsc) {
        state_ = 1;
        return;
    }
    if (b >= 0x20 && (IsInvalidFirst(b) || (hasLead_ && IsSjisLead(b)))) return;
    Single(b, sink);
}

// Inside kanji mode every byte is half of a JIS pair, control characters included.
template <class Sink>
inline void KanjiDecoder::JisByte(uint8_t b, Sink& sink) {
    if (!hasLead_) {
        hasLead_ = true;
        pendingLead_ = b;
        return;
    }
    hasLead_ = false;
    const uint16_t s = JisToSjis(pendingLead_, b);
    // A pair outside the JIS plane has no character: it shows as the geta mark.
    if (s == 0)
        sink.DoubleByte(kGetaSjis[0], kGetaSjis[1]);
    else
        sink.DoubleByte(static_cast<uint8_t>(s >> 8), static_cast<uint8_t>(s));
}

// The bytes of a shift sequence consumed so far, when the sequence turned out to be something else
// (a VT100 sequence, say): they go on to the single-byte path so that nothing is lost.
template <class Sink>
void KanjiDecoder::HandOnHeld(Sink& sink) {
    int held = 0;
    uint8_t second = 0;
    if (code_ == kNecKanji) {
        held = (state_ == 1 || state_ == 3) ? 1 : 0;
    } else {
        switch (state_) {
            case 1:
            case 4:
                held = 1;
                break;
            case 2:
                held = 2;
                second = '$';
                break;
            case 5:
                held = 2;
                second = '(';
                break;
            default:
                break;
        }
    }
    if (held == 0) return;
    // Leaving kanji mode abandons a half pair.
    hasLead_ = false;
    state_ = 0;
    sink.SingleByte(kEsc);
    if (held == 2) sink.SingleByte(second);
}

template <class Sink>
inline void KanjiDecoder::StepSjis(uint8_t b, Sink& sink) {
    if (hasLead_) {
        if (IsSjisTrail(b)) {
            hasLead_ = false;
            sink.DoubleByte(pendingLead_, b);
            return;
        }
    } else if (IsSjisLead(b)) {
        hasLead_ = true;
        pendingLead_ = b;
        return;
    }
    // Invalid bytes, and a lead byte while one is waiting (the waiting one is kept).
    if (b >= 0x20 && (IsInvalidFirst(b) || IsSjisLead(b))) return;
    Single(b, sink);
}

template <class Sink>
inline void KanjiDecoder::StepJis(uint8_t b, Sink& sink) {
    const uint8_t kanjiIn = code_ == kOldJis ? '@' : 'B';
    const uint8_t kanjiOut2 = code_ == kOldJis ? 'H' : 'B';
    switch (state_) {
        case 0:
            StepBase(b, sink);
            return;
        case 1:
            if (b == '$') {
                state_ = 2;
                return;
            }
            break;
        case 2:
            if (b == kanjiIn) {
                state_ = 3;
                hasLead_ = false;
                return;
            }
            break;
        case 3:
            if (b == kEsc) {
                state_ = 4;
                return;
            }
            JisByte(b, sink);
            return;
        case 4:
            if (b == '(') {
                state_ = 5;
                return;
            }
            if (b == '$') {  // a kanji-in again while in kanji mode
                state_ = 2;
                return;
            }
            break;
        case 5:
            if (b == 'J' || b == kanjiOut2) {
                state_ = 0;
                hasLead_ = false;
                return;
            }
            break;
        default:
            state_ = 0;
            break;
    }
    HandOnHeld(sink);
    StepBase(b, sink);
}

template <class Sink>
inline void KanjiDecoder::StepNec(uint8_t b, Sink& sink) {
    switch (state_) {
        case 0:
            StepBase(b, sink);
            return;
        case 1:
            if (b == 'K') {
                state_ = 2;
                hasLead_ = false;
                return;
            }
            break;
        case 2:
            if (b == kEsc) {
                state_ = 3;
                return;
            }
            JisByte(b, sink);
            return;
        case 3:
            if (b == 'H') {
                state_ = 0;
                hasLead_ = false;
                return;
            }
            if (b == 'K') {  // a kanji-in again while in kanji mode
                state_ = 2;
                return;
            }
            break;
        default:
            state_ = 0;
            break;
    }
    HandOnHeld(sink);
    StepBase(b, sink);
}

template <class Sink>
inline void KanjiDecoder::StepEuc(uint8_t b, Sink& sink) {
    if (ss3Left_ | ss2_) [[unlikely]] {
        if (ss3Left_) {
            // A JIS X 0212 character has no Shift-JIS form: its two bytes become the geta mark.
            if (b >= 0x80) {
                if (--ss3Left_ == 0) sink.DoubleByte(kGetaSjis[0], kGetaSjis[1]);
                return;
            }
            ss3Left_ = 0;  // cut short by a control or ASCII byte, which is kept
        } else {
            ss2_ = false;
            if (b < 0x80 || IsHalfWidthKana(b)) {
                Single(b, sink);
                return;
            }
            // A stray SS2 before a byte that is no katakana: the byte is taken as it comes.
        }
    }
    if (b < 0x80) {
        Single(b, sink);
        return;
    }
    if (b == kSs2 || b == kSs3) [[unlikely]] {
        hasLead_ = false;
        if (b == kSs2)
            ss2_ = true;
        else
            ss3Left_ = 2;
        return;
    }
    JisByte(static_cast<uint8_t>(b - 0x80), sink);
}

// A byte that cannot continue a character ends the one begun as the geta mark and starts afresh,
// so that a damaged character costs one mark and never the text after it.
template <class Sink>
inline void KanjiDecoder::StepUtf8(uint8_t b, Sink& sink) {
    if (utf8Left_) [[unlikely]] {
        if ((b & 0xC0) == 0x80) {
            utf8Char_ = utf8Char_ << 6 | (b & 0x3F);
            if (--utf8Left_ == 0) Utf8Char(sink);
            return;
        }
        utf8Left_ = 0;
        sink.DoubleByte(kGetaSjis[0], kGetaSjis[1]);
    }
    if (b < 0x80) {
        Single(b, sink);
        return;
    }
    if (b >= 0xC2 && b <= 0xDF) {
        utf8Left_ = 1;
        utf8Char_ = b & 0x1F;
        utf8Least_ = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
        utf8Left_ = 2;
        utf8Char_ = b & 0x0F;
        utf8Least_ = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
        utf8Left_ = 3;
        utf8Char_ = b & 0x07;
        utf8Least_ = 0x10000;
    } else {  // a continuation byte with no start, or a byte UTF-8 never uses
        sink.DoubleByte(kGetaSjis[0], kGetaSjis[1]);
    }
}

// A whole character: its Shift-JIS form, or the geta mark for an overlong form, a surrogate, a
// code point past U+10FFFF and a character Shift-JIS does not have.
template <class Sink>
inline void KanjiDecoder::Utf8Char(Sink& sink) {
    const char32_t c = utf8Char_;
    const bool valid = c >= utf8Least_ && c < 0x10000 && (c < 0xD800 || c > 0xDFFF);
    const uint16_t s = valid ? toSjis_[c] : 0;
    if (s == 0)
        sink.DoubleByte(kGetaSjis[0], kGetaSjis[1]);
    else if (s < 0x100)
        Single(static_cast<uint8_t>(s), sink);
    else
        sink.DoubleByte(static_cast<uint8_t>(s >> 8), static_cast<uint8_t>(s));
}

template <class Sink>
inline void KanjiDecoder::Step(uint8_t b, Sink& sink) {
    switch (code_) {
        case kOldJis:
        case kNewJis:
            StepJis(b, sink);
            break;
        case kNecKanji:
            StepNec(b, sink);
            break;
        case kEuc:
            StepEuc(b, sink);
            break;
        case kUtf8:
            StepUtf8(b, sink);
            break;
        default:
            StepSjis(b, sink);
            break;
    }
}

void KanjiDecoder::Feed(uint8_t b, bool inEscape, IKanjiSink& sink) {
    if (inEscape) {
        if (IsShiftedCode(code_)) {
            HandOnHeld(sink);
            if (state_ != 0) hasLead_ = false;
            state_ = 0;
        }
        sink.SingleByte(b);
        return;
    }
    Step(b, sink);
}

void KanjiDecoder::Decode(const uint8_t* p, size_t n, std::string& out) {
    // Output never exceeds the input by more than the bytes held from an earlier run, except in
    // UTF-8, where a single stray byte becomes a two-byte geta mark.
    const size_t start = out.size();
    out.resize(start + (code_ == kUtf8 ? 2 * n : n) + 4);
    BufferSink sink{reinterpret_cast<uint8_t*>(out.data()) + start};
    const uint8_t* const end = p + n;
    switch (code_) {
        case kOldJis:
        case kNewJis:
            while (p != end) StepJis(*p++, sink);
            break;
        case kNecKanji:
            while (p != end) StepNec(*p++, sink);
            break;
        case kEuc:
            while (p != end) StepEuc(*p++, sink);
            break;
        case kUtf8:
            while (p != end) {
                if (*p < 0x80 && !utf8Left_) {
                    Single(*p++, sink);
                    continue;
                }
                StepUtf8(*p++, sink);
            }
            break;
        default:
            while (p != end) {
                // Plain ASCII with nothing waiting is by far the commonest case.
                if (*p < 0x80 && !hasLead_) {
                    Single(*p++, sink);
                    continue;
                }
                StepSjis(*p++, sink);
            }
            break;
    }
    out.resize(static_cast<size_t>(sink.p - reinterpret_cast<uint8_t*>(out.data())));
}

// ---- send ----

void KanjiEncoder::SetCode(int code) {
    if (code != code_) Reset();
    code_ = code;
}

void KanjiEncoder::PutJisPair(uint16_t jis, std::string& out) {
    if (jis == 0) jis = static_cast<uint16_t>(kGetaJis[0] << 8 | kGetaJis[1]);
    if (code_ == kEuc) {
        out += static_cast<char>((jis >> 8) | 0x80);
        out += static_cast<char>((jis & 0xFF) | 0x80);
        return;
    }
    if (!kanjiMode_) {
        out += code_ == kOldJis ? "\x1b$@" : code_ == kNewJis ? "\x1b$B" : "\x1bK";
        kanjiMode_ = true;
    }
    out += static_cast<char>(jis >> 8);
    out += static_cast<char>(jis & 0xFF);
}

void KanjiEncoder::EncodeShifted(uint8_t b, std::string& out) {
    if (hasLead_) {
        hasLead_ = false;
        if (IsSjisTrail(b)) {
            PutJisPair(SjisToJis(pendingLead_, b), out);
            return;
        }
        // A lead byte whose trail never came: the half character goes out as the geta mark, and
        // the byte that broke it is sent as itself below.
        PutJisPair(0, out);
    }
    if (IsSjisLead(b)) {
        hasLead_ = true;
        pendingLead_ = b;
        return;
    }
    LeaveKanjiMode(out);
    out += static_cast<char>(b);
}

void KanjiEncoder::LeaveKanjiMode(std::string& out) {
    if (!kanjiMode_) return;
    out += code_ == kOldJis ? "\x1b(H" : code_ == kNewJis ? "\x1b(J" : "\x1bH";
    kanjiMode_ = false;
}

void KanjiEncoder::EncodeEuc(uint8_t b, std::string& out) {
    if (hasLead_) {
        hasLead_ = false;
        if (IsSjisTrail(b)) {
            PutJisPair(SjisToJis(pendingLead_, b), out);
            return;
        }
        PutJisPair(0, out);
    }
    if (IsSjisLead(b)) {
        hasLead_ = true;
        pendingLead_ = b;
        return;
    }
    if (IsHalfWidthKana(b)) out += static_cast<char>(kSs2);
    out += static_cast<char>(b);
}

// Shift-JIS characters go out as their UTF-8; a half character or a pair code page 932 does not
// have goes out as the geta mark.
void KanjiEncoder::EncodeUtf8(uint8_t b, std::string& out) {
    if (hasLead_) {
        hasLead_ = false;
        if (IsSjisTrail(b)) {
            if (!AppendSjisCharAsUtf8(pendingLead_, b, out)) out += kGetaUtf8;
            return;
        }
        out += kGetaUtf8;
    }
    if (IsSjisLead(b)) {
        hasLead_ = true;
        pendingLead_ = b;
        return;
    }
    if (!AppendSjisCharAsUtf8(b, 0, out)) out += kGetaUtf8;
}

void KanjiEncoder::Encode(const uint8_t* p, size_t n, std::string& out) {
    if (code_ == kUtf8) {
        out.reserve(out.size() + n + n / 2);
        for (size_t i = 0; i < n; ++i) {
            if (p[i] < 0x80 && !hasLead_)
                out += static_cast<char>(p[i]);
            else
                EncodeUtf8(p[i], out);
        }
    } else if (code_ == kEuc) {
        out.reserve(out.size() + n + n / 2);
        for (size_t i = 0; i < n; ++i) EncodeEuc(p[i], out);
    } else if (IsShiftedCode(code_)) {
        out.reserve(out.size() + n + 8);
        for (size_t i = 0; i < n; ++i) EncodeShifted(p[i], out);
    } else {
        out.append(reinterpret_cast<const char*>(p), n);
    }
}

std::string GetaMarks(std::string_view utf8) {
    std::string out;
    for (char c : utf8)
        if ((static_cast<uint8_t>(c) & 0xC0) != 0x80)
            out.append(reinterpret_cast<const char*>(kGetaSjis), 2);
    return out;
}

void KanjiEncoder::EncodeUnheld(std::string_view utf8, std::string& out) {
    if (code_ != kUtf8) {
        const std::string marks = GetaMarks(utf8);
        Encode(reinterpret_cast<const uint8_t*>(marks.data()), marks.size(), out);
        return;
    }
    if (hasLead_) {
        hasLead_ = false;
        out += kGetaUtf8;
    }
    out.append(utf8);
}

void KanjiEncoder::Finish(std::string& out) {
    if (hasLead_) {
        hasLead_ = false;
        if (code_ == kEuc || IsShiftedCode(code_)) PutJisPair(0, out);
        if (code_ == kUtf8) out += kGetaUtf8;
    }
    if (IsShiftedCode(code_)) LeaveKanjiMode(out);
}

}  // namespace marlo

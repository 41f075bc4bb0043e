// Placeholder: Shift-JIS only until the line codes are built.
#include "terminal/KanjiCodec.h"

namespace marlo {

int KanjiCodeFromName(std::string_view name) {
    static const char* const names[] = {"Shift-JIS", "旧JIS", "新JIS", "NEC漢字", "EUC"};
    for (int i = 0; i < 5; ++i)
        if (name == names[i]) return i;
    return -1;
}
const char* KanjiCodeName(int code) {
    static const char* const names[] = {"Shift-JIS", "旧JIS", "新JIS", "NEC漢字", "EUC"};
    return code >= 0 && code < 5 ? names[code] : "";
}
bool IsSjisLead(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
bool IsSjisTrail(uint8_t b) { return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC); }
bool IsHalfWidthKana(uint8_t b) { return b >= 0xA1 && b <= 0xDF; }
uint16_t JisToSjis(uint8_t, uint8_t) { return 0; }
uint16_t SjisToJis(uint8_t, uint8_t) { return 0; }

void KanjiDecoder::SetCode(int code) {
    if (code != code_) Reset();
    code_ = code;
}
void KanjiDecoder::Reset() {
    pendingLead_ = 0;
    state_ = 0;
    ss2_ = false;
}
void KanjiDecoder::Feed(uint8_t b, bool inEscape, IKanjiSink& sink) {
    if (inEscape) {
        sink.SingleByte(b);
        return;
    }
    if (pendingLead_ && IsSjisTrail(b)) {
        uint8_t lead = pendingLead_;
        pendingLead_ = 0;
        sink.DoubleByte(lead, b);
    } else if (!pendingLead_ && IsSjisLead(b)) {
        pendingLead_ = b;
    } else if (b >= 32 && (b == 0x80 || b == 0xA0 || b >= 0xFD || IsSjisLead(b))) {
        // invalid, or a second lead: dropped
    } else {
        sink.SingleByte(b);
    }
}

void KanjiEncoder::SetCode(int code) { code_ = code; }
void KanjiEncoder::Encode(const uint8_t* p, size_t n, std::string& out) {
    out.append(reinterpret_cast<const char*>(p), n);
}

}  // namespace marlo

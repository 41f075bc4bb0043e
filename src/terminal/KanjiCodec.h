// Kanji code conversion between the line codes and Shift-JIS, the program's internal code.
// Receive: KanjiDecoder turns line bytes into single bytes and Shift-JIS pairs.
// Send: KanjiEncoder turns Shift-JIS text into the line code.
// Both are stateful (shift sequences and lead bytes are kept across calls).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace marlo {

enum KanjiCode : int { kShiftJis = 0, kOldJis = 1, kNewJis = 2, kNecKanji = 3, kEuc = 4 };

// The display names "Shift-JIS", "旧JIS", "新JIS", "NEC漢字", "EUC" (UTF-8 here); -1 when unknown.
int KanjiCodeFromName(std::string_view utf8Name);
const char* KanjiCodeName(int code);  // UTF-8; "" for an unknown code

bool IsSjisLead(uint8_t b);
bool IsSjisTrail(uint8_t b);
bool IsHalfWidthKana(uint8_t b);
// JIS pair (0x21..0x7E each) to a Shift-JIS pair as lead << 8 | trail; 0 when invalid.
uint16_t JisToSjis(uint8_t j1, uint8_t j2);
// Shift-JIS pair to a JIS pair as j1 << 8 | j2; 0 when it has no JIS form.
uint16_t SjisToJis(uint8_t s1, uint8_t s2);

class IKanjiSink {
public:
    virtual ~IKanjiSink() = default;
    // A byte for the single-byte path (controls, ASCII, half-width katakana).
    virtual void SingleByte(uint8_t b) = 0;
    // A whole Shift-JIS character.
    virtual void DoubleByte(uint8_t lead, uint8_t trail) = 0;
};

class KanjiDecoder {
public:
    void SetCode(int code);  // resets the state when the code changes
    int Code() const { return code_; }
    // Feeds one received byte. While an escape sequence is being collected (`inEscape`) the byte
    // goes straight to the single-byte path and the JIS decoders return to their base state.
    void Feed(uint8_t b, bool inEscape, IKanjiSink& sink);
    // A printable single byte reached the screen, or the buffer was cleared: a waiting lead byte is
    // discarded.
    void DropPendingLead() { pendingLead_ = 0; }
    bool HasPendingLead() const { return pendingLead_ != 0; }
    void Reset();

private:
    int code_ = kShiftJis;
    uint8_t pendingLead_ = 0;
    int state_ = 0;
    bool ss2_ = false;
};

class KanjiEncoder {
public:
    void SetCode(int code);
    int Code() const { return code_; }
    // Appends the line form of the Shift-JIS bytes to `out`.
    void Encode(const uint8_t* p, size_t n, std::string& out);
    // The line is taken to be out of kanji mode (settings applied, host connected).
    void ClearKanjiMode() { kanjiMode_ = false; }
    void Reset() {
        kanjiMode_ = false;
        pendingLead_ = 0;
    }

private:
    int code_ = kShiftJis;
    bool kanjiMode_ = false;
    uint8_t pendingLead_ = 0;
};

}  // namespace marlo

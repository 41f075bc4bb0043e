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

enum KanjiCode : int {
    kShiftJis = 0,
    kOldJis = 1,
    kNewJis = 2,
    kNecKanji = 3,
    kEuc = 4,
    kUtf8 = 5,
};
inline constexpr int kKanjiCodeCount = 6;

// The display names "Shift-JIS", "旧JIS", "新JIS", "NEC漢字", "EUC", "UTF-8" (UTF-8 here); -1 when
// unknown.
int KanjiCodeFromName(std::string_view utf8Name);
const char* KanjiCodeName(int code);  // UTF-8; "" for an unknown code

inline bool IsSjisLead(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
inline bool IsSjisTrail(uint8_t b) {
    return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}
inline bool IsHalfWidthKana(uint8_t b) {
    return b >= 0xA1 && b <= 0xDF;
}
// JIS pair (0x21..0x7E each) to a Shift-JIS pair as lead << 8 | trail; 0 when invalid.
uint16_t JisToSjis(uint8_t j1, uint8_t j2);
// Shift-JIS pair to a JIS pair as j1 << 8 | j2; 0 when it has no JIS form.
uint16_t SjisToJis(uint8_t s1, uint8_t s2);

// The geta mark 〓, sent in place of a character the line code cannot carry.
constexpr uint8_t kGetaSjis[2] = {0x81, 0xAC};
constexpr uint8_t kGetaJis[2] = {0x22, 0x2E};
constexpr char kGetaUtf8[] = "\xE3\x80\x93";
// One geta mark (Shift-JIS) for each character of UTF-8 text: how characters that Shift-JIS
// cannot hold show and travel where only Shift-JIS does.
std::string GetaMarks(std::string_view utf8);

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
    // A printable byte handed to the single-byte path discards a waiting lead byte.
    void Feed(uint8_t b, bool inEscape, IKanjiSink& sink);
    // Decodes a run in which no escape sequence is being collected, appending the single bytes and
    // the Shift-JIS pairs to `out` (what a file conversion writes out). Same state as Feed.
    void Decode(const uint8_t* p, size_t n, std::string& out);
    // A printable single byte reached the screen, or the buffer was cleared: a waiting lead byte is
    // discarded.
    void DropPendingLead() { hasLead_ = false; }
    bool HasPendingLead() const { return hasLead_; }
    // In the middle of a shift sequence or an EUC SS2/SS3 character.
    bool InSequence() const;
    void Reset();

  private:
    template <class Sink>
    void Step(uint8_t b, Sink& sink);
    template <class Sink>
    void StepSjis(uint8_t b, Sink& sink);
    template <class Sink>
    void StepJis(uint8_t b, Sink& sink);
    template <class Sink>
    void StepNec(uint8_t b, Sink& sink);
    template <class Sink>
    void StepEuc(uint8_t b, Sink& sink);
    template <class Sink>
    void StepUtf8(uint8_t b, Sink& sink);
    template <class Sink>
    void Utf8Char(Sink& sink);
    template <class Sink>
    void StepBase(uint8_t b, Sink& sink);
    template <class Sink>
    void Single(uint8_t b, Sink& sink);
    template <class Sink>
    void JisByte(uint8_t b, Sink& sink);
    template <class Sink>
    void HandOnHeld(Sink& sink);

    int code_ = kShiftJis;
    bool hasLead_ = false;
    uint8_t pendingLead_ = 0;
    // JIS modes: 0 base, 1 ESC, 2 ESC $, 3 kanji, 4 kanji ESC, 5 kanji ESC (.
    // NEC kanji: 0 base, 1 ESC, 2 kanji, 3 kanji ESC.
    int state_ = 0;
    bool ss2_ = false;
    uint8_t ss3Left_ = 0;  // bytes still to come of an EUC SS3 character
    // UTF-8: the continuation bytes still to come, the code point so far and the least code
    // point the sequence's length may carry (less is an overlong form).
    uint8_t utf8Left_ = 0;
    char32_t utf8Char_ = 0;
    char32_t utf8Least_ = 0;
    const uint16_t* toSjis_ = nullptr;  // Unicode to Shift-JIS, looked up once the code is UTF-8
};

class KanjiEncoder {
  public:
    void SetCode(int code);  // leaves kanji mode and forgets a waiting lead when the code changes
    int Code() const { return code_; }
    // Appends the line form of the Shift-JIS bytes to `out`.
    void Encode(const uint8_t* p, size_t n, std::string& out);
    // Appends the line form of whole UTF-8 characters that Shift-JIS cannot hold: themselves when
    // the code is UTF-8, else a geta mark each.
    void EncodeUnheld(std::string_view utf8, std::string& out);
    // End of a text (a file conversion): a waiting lead byte goes out as the geta mark and the line
    // is taken back out of kanji mode.
    void Finish(std::string& out);
    // The line is taken to be out of kanji mode (settings applied, host connected).
    void ClearKanjiMode() { kanjiMode_ = false; }
    bool InKanjiMode() const { return kanjiMode_; }
    bool HasPendingLead() const { return hasLead_; }
    void Reset() {
        kanjiMode_ = false;
        hasLead_ = false;
        pendingLead_ = 0;
    }

  private:
    void EncodeShifted(uint8_t b, std::string& out);
    void EncodeEuc(uint8_t b, std::string& out);
    void EncodeUtf8(uint8_t b, std::string& out);
    void PutJisPair(uint16_t jis, std::string& out);
    void LeaveKanjiMode(std::string& out);

    int code_ = kShiftJis;
    bool kanjiMode_ = false;
    bool hasLead_ = false;
    uint8_t pendingLead_ = 0;
};

}  // namespace marlo

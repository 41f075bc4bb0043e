#include <gtest/gtest.h>
#include <iconv.h>

#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "support/RunProgram.h"
#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

using Bytes = std::string;

// glibc iconv as the reference; nullopt when iconv refuses any part of the input.
std::optional<Bytes> Iconv(const char* from, const char* to, const Bytes& in) {
    iconv_t cd = iconv_open(to, from);
    if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
    Bytes out(in.size() * 4 + 16, '\0');
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char* dst = out.data();
    size_t dstLeft = out.size();
    const bool ok = iconv(cd, &src, &srcLeft, &dst, &dstLeft) != static_cast<size_t>(-1) &&
                    iconv(cd, nullptr, nullptr, &dst, &dstLeft) != static_cast<size_t>(-1);
    iconv_close(cd);
    if (!ok) return std::nullopt;
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
}

// Writes what the decoder hands on as "S1b" (single byte) and "D889f" (pair), blank-separated.
class RecordingSink : public IKanjiSink {
  public:
    void SingleByte(uint8_t b) override { Add('S', b, -1); }
    void DoubleByte(uint8_t lead, uint8_t trail) override { Add('D', lead, trail); }
    std::string events;
    Bytes bytes;  // the same, as the Shift-JIS text a file conversion writes

  private:
    void Add(char kind, int a, int b) {
        char buf[8];
        std::snprintf(buf, sizeof buf, b < 0 ? "%c%02x" : "%c%02x%02x", kind, a, b);
        if (!events.empty()) events += ' ';
        events += buf;
        bytes += static_cast<char>(a);
        if (b >= 0) bytes += static_cast<char>(b);
    }
};

std::string FeedAll(int code, const Bytes& in) {
    KanjiDecoder d;
    d.SetCode(code);
    RecordingSink sink;
    for (unsigned char c : in) d.Feed(c, false, sink);
    return sink.events;
}

Bytes DecodeAll(int code, const Bytes& in) {
    KanjiDecoder d;
    d.SetCode(code);
    Bytes out;
    d.Decode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), out);
    return out;
}

Bytes EncodeAll(int code, const Bytes& in, bool finish = true) {
    KanjiEncoder e;
    e.SetCode(code);
    Bytes out;
    e.Encode(reinterpret_cast<const uint8_t*>(in.data()), in.size(), out);
    if (finish) e.Finish(out);
    return out;
}

Bytes Replace(Bytes s, const Bytes& from, const Bytes& to) {
    for (size_t pos = 0; (pos = s.find(from, pos)) != Bytes::npos; pos += to.size())
        s.replace(pos, from.size(), to);
    return s;
}

// Index of the first differing two-byte character, for a readable failure.
std::string FirstDifference(const Bytes& got, const Bytes& want) {
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    if (got == want) return "none";
    char buf[80];
    std::snprintf(buf, sizeof buf, "at byte %zu of %zu/%zu: got %02x want %02x", i, got.size(),
                  want.size(), i < got.size() ? static_cast<unsigned char>(got[i]) : 0,
                  i < want.size() ? static_cast<unsigned char>(want[i]) : 0);
    return buf;
}

// Every JIS X 0208 character as iconv knows it, in each form.
struct Repertoire {
    int count = 0;
    Bytes sjis, euc, iso2022, jisPairs;
    Bytes utf8;  // as the JIS table maps them (U+301C for the wave dash)
};

const Repertoire& AllJisX0208() {
    static const Repertoire r = [] {
        Repertoire rep;
        Bytes utf8;
        for (int j1 = 0x21; j1 <= 0x7E; ++j1) {
            for (int j2 = 0x21; j2 <= 0x7E; ++j2) {
                const Bytes euc{static_cast<char>(j1 | 0x80), static_cast<char>(j2 | 0x80)};
                auto u = Iconv("EUC-JP", "UTF-8", euc);
                if (!u) continue;
                ++rep.count;
                utf8 += *u;
                rep.jisPairs += static_cast<char>(j1);
                rep.jisPairs += static_cast<char>(j2);
            }
        }
        rep.utf8 = utf8;
        rep.sjis = Iconv("UTF-8", "SHIFT_JIS", utf8).value_or("");
        rep.euc = Iconv("UTF-8", "EUC-JP", utf8).value_or("");
        rep.iso2022 = Iconv("UTF-8", "ISO-2022-JP", utf8).value_or("");
        return rep;
    }();
    return r;
}

TEST(KanjiArithmetic, RejectsWhatHasNoForm) {
    struct Case {
        uint8_t a, b;
    };
    for (Case c : {Case{0x20, 0x21}, Case{0x21, 0x20}, Case{0x7F, 0x21}, Case{0x21, 0x7F},
                   Case{0x0D, 0x0A}, Case{0xB0, 0xA1}})
        EXPECT_EQ(JisToSjis(c.a, c.b), 0) << std::hex << int(c.a) << " " << int(c.b);
    // The user-defined area and the IBM extensions lie beyond the JIS plane; bad trails too.
    for (Case c :
         {Case{0xF0, 0x40}, Case{0xF9, 0xFC}, Case{0xFA, 0x40}, Case{0xFC, 0x4B}, Case{0x88, 0x7F},
          Case{0x88, 0x3F}, Case{0x88, 0xFD}, Case{0xA0, 0x40}, Case{0x41, 0x41}})
        EXPECT_EQ(SjisToJis(c.a, c.b), 0) << std::hex << int(c.a) << " " << int(c.b);
    EXPECT_EQ(SjisToJis(kGetaSjis[0], kGetaSjis[1]), kGetaJis[0] << 8 | kGetaJis[1]);
}

// The whole JIS X 0208 repertoire in every code, byte by byte and in one run.
TEST(KanjiOracle, DecodersAgreeWithIconv) {
    const Repertoire& r = AllJisX0208();
    ASSERT_EQ(r.count, 6879);
    const Bytes oldJis = Replace(Replace(r.iso2022, "\x1b$B", "\x1b$@"), "\x1b(B", "\x1b(J");
    const Bytes nec = "\x1bK" + r.jisPairs + "\x1bH";
    struct Case {
        int code;
        Bytes line;
    };
    // UTF-8 in both tables' forms: the JIS table's and code page 932's.
    const Bytes cp932 = Iconv("CP932", "UTF-8", r.sjis).value_or("");
    ASSERT_FALSE(cp932.empty());
    for (const Case& c : {Case{kShiftJis, r.sjis}, Case{kOldJis, oldJis}, Case{kNewJis, r.iso2022},
                          Case{kNecKanji, nec}, Case{kEuc, r.euc}, Case{kUtf8, r.utf8},
                          Case{kUtf8, cp932}}) {
        const Bytes got = DecodeAll(c.code, c.line);
        EXPECT_EQ(got, r.sjis) << "code " << c.code << ": " << FirstDifference(got, r.sjis);
        // Byte by byte through the sink interface, as the receive path feeds it.
        KanjiDecoder d;
        d.SetCode(c.code);
        RecordingSink sink;
        for (unsigned char b : c.line) d.Feed(b, false, sink);
        EXPECT_EQ(sink.bytes, r.sjis) << "code " << c.code;
    }
}

TEST(KanjiOracle, EncodersAgreeWithIconv) {
    const Repertoire& r = AllJisX0208();
    // iconv ends kanji with ESC ( B; the new-JIS send ends it with ESC ( J.
    const Bytes pairs = r.iso2022.substr(3, r.iso2022.size() - 6);
    ASSERT_EQ(pairs, r.jisPairs);
    struct Case {
        int code;
        Bytes line;
    };
    for (const Case& c : {Case{kShiftJis, r.sjis}, Case{kOldJis, "\x1b$@" + pairs + "\x1b(H"},
                          Case{kNewJis, "\x1b$B" + pairs + "\x1b(J"},
                          Case{kNecKanji, "\x1bK" + pairs + "\x1bH"}, Case{kEuc, r.euc},
                          Case{kUtf8, Iconv("CP932", "UTF-8", r.sjis).value_or("")}}) {
        const Bytes got = EncodeAll(c.code, r.sjis);
        EXPECT_EQ(got, c.line) << "code " << c.code << ": " << FirstDifference(got, c.line);
    }
}

TEST(KanjiOracle, HalfWidthKatakana) {
    Bytes sjis, euc;
    for (int b = 0xA1; b <= 0xDF; ++b) {
        sjis += static_cast<char>(b);
        euc += static_cast<char>(0x8E);
        euc += static_cast<char>(b);
    }
    ASSERT_EQ(Iconv("EUC-JP", "SHIFT_JIS", euc).value_or(""), sjis);
    EXPECT_EQ(DecodeAll(kEuc, euc), sjis);
    EXPECT_EQ(DecodeAll(kShiftJis, sjis), sjis);
    EXPECT_EQ(EncodeAll(kEuc, sjis), euc);
    const Bytes utf8 = Iconv("SHIFT_JIS", "UTF-8", sjis).value_or("");
    EXPECT_EQ(DecodeAll(kUtf8, utf8), sjis);
    EXPECT_EQ(EncodeAll(kUtf8, sjis), utf8);
    // The shifted codes send them as 8-bit bytes, leaving kanji mode first.
    EXPECT_EQ(EncodeAll(kNewJis, "\x88\x9f\xb1"), "\x1b$B0!\x1b(J\xb1");
}

// One received stream per row: code, bytes, what the single-byte path and the screen get.
TEST(KanjiDecoder, ReceiveCases) {
    struct Case {
        int code;
        Bytes in;
        const char* want;
    };
    const Case cases[] = {
        // kanji-in, one character, kanji-out, then ASCII again
        {kNewJis, "\x1b$B0!\x1b(Ba", "D889f S61"},
        {kNewJis, "\x1b$B0!\x1b(Ja", "D889f S61"},
        {kOldJis, "\x1b$@0!\x1b(Ha", "D889f S61"},
        // old JIS knows no ESC ( B: the sequence leaves kanji mode and goes on as it came
        {kOldJis, "\x1b$@0!\x1b(Bx", "D889f S1b S28 S42 S78"},
        // a pair outside the JIS plane (CR LF inside kanji mode among them) is the geta mark
        {kNewJis, "\x1b$B\r\n\x1b(B", "D81ac"},
        {kNewJis,
         "\x1b$B\x21\x7f"
         "0!",
         "D81ac D889f"},
        {kOldJis, "\x1b$@\x7f\x7f", "D81ac"},
        {kNecKanji, "\x1bK\x20\x21", "D81ac"},
        {kEuc, "\xa1\xff\xff\xa1", "D81ac D81ac"},
        // other escape sequences reach the single-byte path whole, in and out of kanji mode
        {kNewJis, "\x1b[2J", "S1b S5b S32 S4a"},
        {kNewJis, "\x1b$B0!\x1b[K0", "D889f S1b S5b S4b S30"},
        {kNewJis, "\x1b$A", "S1b S24 S41"},
        {kNewJis, "\x1b\x1b$B0!", "S1b D889f"},
        {kOldJis, "\x1b(J", "S1b S28 S4a"},
        // a kanji-in while already in kanji mode stays in kanji mode
        {kNewJis, "\x1b$B0!\x1b$B0!", "D889f D889f"},
        // leaving kanji mode abandons half a pair
        {kNewJis, "\x1b$B0\x1b(B\x1b$B0!", "D889f"},
        {kNecKanji, "\x1bK0!\x1bHa", "D889f S61"},
        {kNecKanji, "\x1b[A", "S1b S5b S41"},
        {kNecKanji, "\x1bK0!\x1b[m", "D889f S1b S5b S6d"},
        // outside kanji mode invalid 8-bit bytes are dropped, katakana pass
        {kNewJis, "\x80\xa0\xff\xb1", "Sb1"},
        {kEuc, "\xb0\xa1", "D889f"},
        {kEuc, "\x8e\xb1", "Sb1"},
        {kEuc, "\xb0\r\xa1", "S0d D889f"},
        // SS3 (JIS X 0212) shows the geta mark and keeps the following pairs in step
        {kEuc, "\x8f\xb0\xa1\xb0\xa1", "D81ac D889f"},
        {kEuc, "\x8f\xb0\r\xb0\xa1", "S0d D889f"},
        {kEuc, "\x8e\xe0\xa1\xb0\xa1", "De09f D889f"},
        // Shift-JIS: a control between lead and trail leaves the lead waiting
        {kShiftJis, "\x88\r\x9f", "S0d D889f"},
        {kShiftJis, "\x80\xa0\xfd\xfe\xffZ", "S5a"},
        {kShiftJis, "\x88\xfd\x9f", "D889f"},
        // a printable byte ends a waiting lead
        {kShiftJis, "\x88!\x9f", "S21"},
        {kShiftJis, "\x88\x88\x9f", "D8888"},
        {kShiftJis, "\xb1\xdf", "Sb1 Sdf"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FeedAll(c.code, c.in), c.want) << "code " << c.code << " input " << c.in;
    }
}

// The receive path as the terminal drives it: once an ESC reaches the single-byte path, the
// following bytes of the sequence are fed with `inEscape` until its final letter.
class CollectingSink : public IKanjiSink {
  public:
    void SingleByte(uint8_t b) override {
        if (collecting) {
            sequence += static_cast<char>(b);
            if (std::isalpha(b)) {
                screen += "<" + sequence + ">";
                collecting = false;
                sequence.clear();
            }
        } else if (b == 0x1B) {
            collecting = true;
        } else {
            screen += static_cast<char>(b);
        }
    }
    void DoubleByte(uint8_t lead, uint8_t trail) override {
        screen += static_cast<char>(lead);
        screen += static_cast<char>(trail);
    }
    bool collecting = false;
    std::string sequence, screen;
};

TEST(KanjiDecoder, VtSequencesWorkWithTheJisCodes) {
    struct Case {
        int code;
        Bytes in, screen;
    };
    const Case cases[] = {
        {kNewJis, "\x1b[1;1H\x1b$B0!\x1b(B\x1b[0mA", "<[1;1H>\x88\x9f<[0m>A"},
        {kOldJis, "\x1b$@0!\x1b[2J0!\x1b(J", "\x88\x9f<[2J>0!<(J>"},
        {kNecKanji, "\x1bK0!\x1bH\x1b[7m", "\x88\x9f<[7m>"},
        {kShiftJis, "\x88\x1b[K\x9f", "<[K>\x88\x9f"},
        {kEuc, "\x1b[1m\xb0\xa1", "<[1m>\x88\x9f"},
    };
    for (const Case& c : cases) {
        KanjiDecoder d;
        d.SetCode(c.code);
        CollectingSink sink;
        for (unsigned char b : c.in) d.Feed(b, sink.collecting, sink);
        EXPECT_EQ(sink.screen, c.screen) << "code " << c.code;
    }
}

TEST(KanjiEncoder, SendCases) {
    struct Case {
        int code;
        Bytes in, want;
    };
    const Case cases[] = {
        {kShiftJis, "\x88\x9fz\xb1\xf0\x40", "\x88\x9fz\xb1\xf0\x40"},
        {kNewJis, "\x88\x9fz", "\x1b$B0!\x1b(Jz"},
        {kOldJis, "\x88\x9fz", "\x1b$@0!\x1b(Hz"},
        {kNecKanji, "\x88\x9fz", "\x1bK0!\x1bHz"},
        {kEuc, "\x88\x9fz", "\xb0\xa1z"},
        {kEuc, "\xb1", "\x8e\xb1"},
        // no JIS form (user-defined area, IBM extensions): the geta mark
        {kNewJis, "\xf0\x40\r", "\x1b$B\x22\x2e\x1b(J\r"},
        {kEuc, "\xfa\x40", "\xa2\xae"},
        // a lead byte followed by a byte that cannot be its trail: geta, then the byte itself
        {kNewJis, "\x88\r\x88\x9f", "\x1b$B\x22\x2e\x1b(J\r\x1b$B\x30\x21"},
        {kEuc, "\x88\r", "\xa2\xae\r"},
        {kNecKanji, "\x88!", "\x1bK\x22\x2e\x1bH!"},
        // invalid single bytes go out unchanged
        {kNewJis, "\x80\xfd", "\x80\xfd"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodeAll(c.code, c.in, false), c.want) << "code " << c.code << " " << c.in;
}

TEST(KanjiEncoder, StateCarriesAcrossWrites) {
    KanjiEncoder e;
    e.SetCode(kNewJis);
    Bytes out;
    const uint8_t lead = 0x88, trail = 0x9F, a = 'a';
    // The keyboard writes a double-byte character one byte at a time.
    e.Encode(&lead, 1, out);
    EXPECT_EQ(out, "");
    EXPECT_TRUE(e.HasPendingLead());
    e.Encode(&trail, 1, out);
    EXPECT_EQ(out, "\x1b$B0!");
    e.Encode(&lead, 1, out);
    e.Encode(&trail, 1, out);
    EXPECT_EQ(out, "\x1b$B0!0!");  // still in kanji mode: no second kanji-in
    e.Encode(&a, 1, out);
    EXPECT_EQ(out, "\x1b$B0!0!\x1b(Ja");
    // A host connected while the line was in kanji mode: the next kanji shifts in again.
    out.clear();
    e.Encode(&lead, 1, out);
    e.Encode(&trail, 1, out);
    e.ClearKanjiMode();
    e.Encode(&lead, 1, out);
    e.Encode(&trail, 1, out);
    EXPECT_EQ(out, "\x1b$B0!\x1b$B0!");
    // A code change forgets both the mode and a waiting lead.
    e.Encode(&lead, 1, out);
    e.SetCode(kEuc);
    out.clear();
    e.Encode(&a, 1, out);
    EXPECT_EQ(out, "a");
    // The end of a converted text closes kanji mode and shows a dangling lead.
    e.SetCode(kOldJis);
    e.Encode(&lead, 1, out);
    e.Finish(out);
    EXPECT_EQ(out, "a\x1b$@\x22\x2e\x1b(H");
}

// Characters Shift-JIS cannot hold: as they are to a UTF-8 line, a geta mark each to the others;
// the desktop's text splits into such runs and Shift-JIS (a broken byte shows as "?").
TEST(KanjiEncoder, UnheldCharactersGoAsUtf8OrAsGetaMarks) {
    const std::string unheld = "\xC3\xA9\xF0\x9F\x98\x80";  // é and an emoji
    KanjiEncoder e;
    Bytes out;
    e.SetCode(kUtf8);
    e.EncodeUnheld(unheld, out);
    EXPECT_EQ(out, unheld);
    out.clear();
    e.SetCode(kNewJis);
    e.EncodeUnheld(unheld, out);
    EXPECT_EQ(out, "\x1b$B\x22\x2e\x22\x2e");
    const auto pieces = Utf8ToSjisPieces("a\xEF\xBD\xB1\xC3\xA9\xF0\x9F\x98\x80\xE3\x80\x9C\xFFz");
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].bytes, "a\xB1");
    EXPECT_FALSE(pieces[0].utf8);
    EXPECT_EQ(pieces[1].bytes, unheld);
    EXPECT_TRUE(pieces[1].utf8);
    EXPECT_EQ(pieces[2].bytes, "\x81\x60?z");  // the wave dash of the JIS table, a broken byte
}

// ---- marlo-cli convert ----

test::RunResult RunCli(std::vector<std::string> args, const Bytes& input) {
    args.insert(args.begin(), "convert");
    return test::RunProgram(MARLO_CLI_PATH, args, {}, 30000, input);
}

TEST(ConvertCommand, ConvertsThroughShiftJis) {
    const Bytes euc = "a\xb0\xa1\x8e\xb1\r\n";
    test::RunResult r = RunCli({"--from", "euc", "--to", "newjis", "-"}, euc);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "a\x1b$B0!\x1b(J\xb1\r\n");
    r = RunCli({"--from", "新JIS", "--to", "EUC"}, "a\x1b$B0!\x1b(Bb");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out,
              "a\xb0\xa1"
              "b");
    r = RunCli({"--from", "NEC漢字", "--to", "sjis"}, "\x1bK0!\x1bH");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\x88\x9f");
    // A pair with no character becomes the geta mark, never two NUL bytes.
    r = RunCli({"--from", "euc", "--to", "sjis"}, "\xa1\xff");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\x81\xac");
    r = RunCli({"--from", "newjis", "--to", "euc"}, "\x1b$B\x21\x7f\x1b(B");
    EXPECT_EQ(r.out, "\xa2\xae");
    r = RunCli({"--from", "utf8", "--to", "sjis"}, "\xe6\x97\xa5\xc3\xa9");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, "\x93\xfa\x81\xac");
    r = RunCli({"--from", "EUC", "--to", "UTF-8"}, "\xc6\xfc");
    EXPECT_EQ(r.out, "\xe6\x97\xa5");
}

// Damaged UTF-8 costs one geta mark per broken character and never the text after it, whatever
// the blocks it arrives in; characters Shift-JIS lacks show as the geta mark.
TEST(KanjiDecoder, Utf8DamageNeverDesynchronises) {
    const Bytes geta = "\x81\xac";
    struct Case {
        Bytes in, want;
    };
    const Case cases[] = {
        {"a\xe3\x81\x82" "b", "a\x82\xa0" "b"},             // あ
        {"\xc0\xaf" "b", geta + geta + "b"},                     // never used, stray continuation
        {"\xe0\x80\xaf" "b", geta + "b"},                       // overlong
        {"\xed\xa0\x80" "b", geta + "b"},                       // a surrogate
        {"\xf4\x90\x80\x80" "b", geta + "b"},                 // past U+10FFFF
        {"\xe3\x81" "A\xe3\x81\x82", geta + "A\x82\xa0"},      // cut short by ASCII
        {"\xe3\x81\xe3\x81\x82", geta + "\x82\xa0"},           // cut short by a new start
        {"\xc3\xa9\xf0\x9f\x98\x80\r\n", geta + geta + "\r\n"},  // é and an emoji
        {"\xef\xbd\xb1\xe2\x94\x80\xe3\x80\x9c", "\xb1\x84\x9f\x81\x60"},  // ｱ ─ 〜
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecodeAll(kUtf8, c.in), c.want) << FirstDifference(DecodeAll(kUtf8, c.in), c.want);
        // Split in two at every place: the state carries across the blocks.
        for (size_t cut = 1; cut < c.in.size(); ++cut) {
            KanjiDecoder d;
            d.SetCode(kUtf8);
            Bytes out;
            d.Decode(reinterpret_cast<const uint8_t*>(c.in.data()), cut, out);
            d.Decode(reinterpret_cast<const uint8_t*>(c.in.data()) + cut, c.in.size() - cut, out);
            EXPECT_EQ(out, c.want) << "cut at " << cut;
        }
    }
    KanjiDecoder d;
    d.SetCode(kUtf8);
    Bytes out;
    d.Decode(reinterpret_cast<const uint8_t*>("\xe3\x81"), 2, out);
    EXPECT_TRUE(d.InSequence());
    // Sending: a pair code page 932 lacks and a half character become the geta mark.
    EXPECT_EQ(EncodeAll(kUtf8, "a\x85\x40\x88\x9f\x88"), "a\xe3\x80\x93\xe4\xba\x9c\xe3\x80\x93");
}

TEST(ConvertCommand, RefusesBadArguments) {
    const std::vector<std::vector<std::string>> bad = {
        {"--from", "euc"},
        {"--to", "euc"},
        {"--from", "euc", "--to", "utf16"},
        {"--from"},
        {"--from", "sjis", "--to", "euc", "--bogus"},
        {"--from", "sjis", "--to", "euc", "a", "b"},
        {"--from", "sjis", "--to", "euc", "/nonexistent/marlo-input"}};
    for (const auto& args : bad) EXPECT_EQ(RunCli(args, "x").status, 2) << args.back();
}

}  // namespace
}  // namespace marlo

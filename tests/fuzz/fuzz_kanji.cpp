// The kanji decoders and encoders. Any bytes, any receive code: the decoder hands on only single
// bytes and whole Shift-JIS characters, and decoding in one run, byte by byte through the sink,
// or in the runs the input chooses gives the same text. Valid Shift-JIS text sent in any code and
// received in the same code comes back unchanged.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "terminal/KanjiCodec.h"

namespace marlo::fuzz {
namespace {

// Keeps what the decoder hands on, as the text a file conversion writes, and checks each pair.
class CheckingSink : public IKanjiSink {
  public:
    void SingleByte(uint8_t b) override { text += static_cast<char>(b); }
    void DoubleByte(uint8_t lead, uint8_t trail) override {
        if (!IsSjisLead(lead) || !IsSjisTrail(trail)) Fail("the decoder made an invalid pair");
        text += static_cast<char>(lead);
        text += static_cast<char>(trail);
    }
    std::string text;
};

std::string Decode(int code, const std::string& bytes, Input& cuts) {
    KanjiDecoder d;
    d.SetCode(code);
    std::string out;
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t i = 0; i < bytes.size();) {
        size_t n = std::min<size_t>(1 + cuts.Below(64), bytes.size() - i);
        d.Decode(p + i, n, out);
        i += n;
    }
    return out;
}

// Valid Shift-JIS text from the input: printable ASCII and controls other than ESC, SO and SI,
// half-width katakana, and the double-byte characters that have a JIS form.
std::string ValidText(Input& in) {
    std::string s;
    while (!in.Empty()) {
        const uint8_t kind = in.Byte();
        const uint8_t b = in.Byte();
        if (kind % 4 == 0) {
            const uint8_t lead = static_cast<uint8_t>(b % 2 ? 0x81 + b % 31 : 0xE0 + b % 15);
            const uint8_t trail = in.Byte();
            if (SjisToJis(lead, trail) == 0) continue;
            s += static_cast<char>(lead);
            s += static_cast<char>(trail);
        } else if (kind % 4 == 1) {
            s += static_cast<char>(0xA1 + b % 63);
        } else if (b != 0x1B && b != 0x0E && b != 0x0F && b < 0x80) {
            s += static_cast<char>(b);
        }
    }
    return s;
}

}  // namespace

void FuzzOne(Input& in) {
    const int code = in.Below(5);
    const bool roundTrip = in.Flag();
    if (roundTrip) {
        const std::string text = ValidText(in);
        KanjiEncoder e;
        e.SetCode(code);
        std::string line;
        e.Encode(reinterpret_cast<const uint8_t*>(text.data()), text.size(), line);
        e.Finish(line);
        Input cuts(reinterpret_cast<const uint8_t*>(text.data()), text.size());
        ExpectSame(Decode(code, line, cuts), text, "valid text does not come back");
        return;
    }
    const std::string cutBytes = in.Bytes(in.Below(32));
    const std::string bytes = in.Rest();
    KanjiDecoder d;
    d.SetCode(code);
    CheckingSink sink;
    for (unsigned char c : bytes) d.Feed(c, false, sink);
    Input cuts(reinterpret_cast<const uint8_t*>(cutBytes.data()), cutBytes.size());
    ExpectSame(Decode(code, bytes, cuts), sink.text, "run and byte decoding differ");
    std::string whole;
    KanjiDecoder w;
    w.SetCode(code);
    w.Decode(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), whole);
    ExpectSame(whole, sink.text, "one run and byte decoding differ");
}

}  // namespace marlo::fuzz

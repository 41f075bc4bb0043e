// The telnet receive parser. However the bytes are split across reads and however small the
// reader's buffer, the data and the replies are the same; no byte of a command or of a
// subnegotiation (IAC SB ... IAC SE) is ever data; a reply is always a whole IAC command.
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "line/TelnetLine.h"

namespace marlo::fuzz {
namespace {

constexpr uint8_t kIac = 255, kSe = 240, kSb = 250, kWill = 251, kDont = 254;

struct Parsed {
    std::string data, replies;
};

// The bytes through one parser, fed in the pieces and with the output room `cuts` chooses (in one
// piece with room for everything without it).
Parsed Run(const std::string& bytes, bool transferMode, bool opening, Input* cuts) {
    TelnetLine::Parser parser;
    if (opening) parser.OfferOpening();
    Parsed out;
    uint8_t buf[4096];
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.data());
    const uint8_t* const end = p + bytes.size();
    while (p < end) {
        const uint8_t* pieceEnd = cuts ? p + std::min<size_t>(1 + cuts->Below(300), end - p) : end;
        while (p < pieceEnd) {
            int produced = 0;
            const int room = cuts ? 1 + cuts->Below(sizeof buf) : static_cast<int>(sizeof buf);
            parser.Run(p, pieceEnd, buf, room, produced, out.replies, transferMode, nullptr);
            out.data.append(reinterpret_cast<const char*>(buf), static_cast<size_t>(produced));
        }
    }
    return out;
}

// The data of a stream by the protocol alone: IAC IAC is one 0xFF, IAC and a verb take one more
// byte, IAC SB runs to IAC SE (an IAC inside it escapes the next byte), any other IAC command is
// two bytes; while the far side does not send binary (its WILL BINARY not yet seen, or taken back
// by WONT), the NUL right after a CR only carries the CR and is no data.
std::string Data(const std::string& bytes) {
    constexpr uint8_t kCr = 13, kNul = 0, kBinary = 0;
    std::string data;
    enum { Plain, Iac, Verb, Sb, SbIac } state = Plain;
    uint8_t verb = 0;
    bool binary = false, afterCr = false;
    for (unsigned char b : bytes) {
        switch (state) {
            case Plain:
                if (afterCr && b == kNul) {
                    afterCr = false;
                    break;
                }
                afterCr = false;
                if (b == kIac) {
                    state = Iac;
                } else {
                    data += static_cast<char>(b);
                    afterCr = b == kCr && !binary;
                }
                break;
            case Iac:
                if (b == kIac) {
                    data += '\xff';
                    state = Plain;
                } else {
                    verb = b;
                    state = b >= kWill && b <= kDont ? Verb : b == kSb ? Sb : Plain;
                }
                break;
            case Verb:
                if (b == kBinary && verb == kWill) binary = true;
                if (b == kBinary && verb == kWill + 1) binary = false;  // WONT
                state = Plain;
                break;
            case Sb:
                if (b == kIac) state = SbIac;
                break;
            case SbIac:
                state = b == kSe ? Plain : Sb;
                break;
        }
    }
    return data;
}

}  // namespace

void FuzzOne(Input& in) {
    const bool transferMode = in.Flag();
    const bool opening = in.Flag();
    const std::string cutBytes = in.Bytes(in.Below(64));
    const std::string bytes = in.Rest();
    Parsed a = Run(bytes, transferMode, opening, nullptr);
    Input cuts(reinterpret_cast<const uint8_t*>(cutBytes.data()), cutBytes.size());
    Parsed b = Run(bytes, transferMode, opening, &cuts);
    ExpectSame(a.data, b.data, "the data depends on the split");
    ExpectSame(a.replies, b.replies, "the replies depend on the split");
    ExpectSame(a.data, Data(bytes), "command or subnegotiation bytes reached the data");
    if (a.replies.size() % 3 != 0) Fail("a reply that is not a whole command");
    for (size_t i = 0; i < a.replies.size(); i += 3)
        if (static_cast<uint8_t>(a.replies[i]) != kIac ||
            static_cast<uint8_t>(a.replies[i + 1]) < kWill)
            Fail("a reply that is not IAC WILL/WONT/DO/DONT");
}

}  // namespace marlo::fuzz

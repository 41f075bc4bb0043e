// The B Plus engine against a scripted host: ENQ, the '+' parameters, download and upload requests
// with file names (hostile ones among them), file information, data packets of one content, the
// close, repeated packets, acknowledgements, NAK, ENQ and ETX, quiet spells, noise, damaged and
// made-up packets. The host's packets carry the check the parameters it sent last ask for.
// Checks: nothing is written outside the download folder and no byte of a file outside the upload
// folder reaches the line; a download reported complete holds exactly the data of the host's data
// packets between its request and the close (after what the file held, when it may have been
// resumed), when the host sent only whole packets in order; the engine ends (libFuzzer's -timeout
// bounds the time).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "support/BPlusHost.h"
#include "transfer/BPlus.h"

namespace marlo::fuzz {
namespace {

constexpr const char* kUploadName = "u0";
constexpr const char* kUploadText = "upload";

class Host {
  public:
    explicit Host(ScriptedLine& line) : line_(line) {}

    void Packet(uint8_t type, const std::string& data) {
        seq_ = (seq_ + 1) % 10;
        last_ =
            test::BPlusHost::Packet(static_cast<uint8_t>('0' + seq_), type,
                                    std::vector<uint8_t>(data.begin(), data.end()), crc, quoteAll);
        line_.Send(last_);
    }
    void Repeat() { line_.Send(last_); }
    // The last packet again with one byte changed on the way.
    void Damaged(Input& in) {
        if (last_.empty()) return;
        std::vector<uint8_t> w = last_;
        w[static_cast<size_t>(in.Below(static_cast<int>(w.size())))] ^=
            static_cast<uint8_t>(1 + in.Below(255));
        line_.Send(w);
    }

    bool crc = false;
    bool quoteAll = true;

  private:
    ScriptedLine& line_;
    int seq_ = 0;
    std::vector<uint8_t> last_;
};

std::string Request(char what, Input& in) {
    bool lengthKnown = true;
    std::string name;
    switch (in.Below(4)) {
        case 0:
            name = kUploadName;
            break;
        default:
            name = OfferedName(in, 80, lengthKnown);
            break;
    }
    return std::string(1, what) + (in.Flag() ? 'B' : 'A') + name;
}

}  // namespace

void FuzzOne(Input& in) {
    const std::string content = FileContent(static_cast<size_t>(in.Below(6000)), in.Word());
    const int resumeAnswer = in.Below(3) - 1;
    ScriptedLine script;
    Host host(script);
    bool honest = true;      // only whole packets of the host, in order, or repeats of them
    bool requested = false;  // a download was asked for: the data packets from here are the file
    bool closed = false;     // ... up to its close
    bool mayResume = false;  // the parameters in force let the terminal resume a download
    bool resumable = false;  // ... as they were when the download was asked for
    std::string sent;        // the data packets' bytes after the first download request
    size_t pos = 0;
    int quiet = 0;
    while (!in.Empty() && !script.Full()) {
        switch (in.Below(14)) {
            case 0:
                script.Send("\x05");
                break;
            case 1: {  // the transport parameters
                const std::string p =
                    in.Bytes(static_cast<size_t>(in.Below(BPlus::kParamCount + 1)));
                host.Packet('+', p);
                host.crc = p.size() > 3 && p[3] != 0;
                mayResume = p.size() > 14 && p[14] != 0;
                host.quoteAll = in.Below(4) != 0;
                break;
            }
            case 2:
                if (!requested) {
                    requested = true;
                    resumable = mayResume;
                    sent.clear();
                }
                host.Packet('T', Request('D', in));
                break;
            case 3: {  // file information: size and five more numbers, then the name
                char info[96];
                const int n = std::snprintf(info, sizeof info, "I%c%c%u.%u.%u.%u.%u.%u.%c",
                                            in.Flag() ? 'B' : 'A', 0, in.Word(), in.Word(),
                                            in.Byte(), in.Byte(), in.Byte(), in.Byte(), 2);
                host.Packet('T', std::string(info, static_cast<size_t>(n)) + "f0");
                break;
            }
            case 4: {
                const std::string part =
                    pos < content.size() ? content.substr(pos, 1 + in.Below(1024)) : "";
                pos += part.size();
                if (requested && !closed) sent += part;
                host.Packet('N', part);
                break;
            }
            case 5:
                closed = closed || requested;
                host.Packet('T', "C");
                break;
            case 6:
                host.Repeat();
                break;
            case 7:  // an acknowledgement
                script.Send(std::string{static_cast<char>(BPlus::DLE),
                                        static_cast<char>('0' + in.Below(10))});
                break;
            case 8: {
                static const char kControl[] = {BPlus::NAK, BPlus::ENQ, BPlus::ETX};
                script.Send(std::string(1, kControl[in.Below(3)]));
                break;
            }
            case 9:
                if (++quiet <= 20) script.Quiet();
                break;
            case 10:
                host.Packet('T', Request('U', in));
                break;
            case 11:  // line noise
                honest = false;
                script.Send(in.Bytes(static_cast<size_t>(in.Below(256))));
                break;
            case 12:
                honest = false;
                host.Damaged(in);
                break;
            default: {  // a made-up packet
                honest = false;
                const uint8_t type =
                    in.Flag() ? static_cast<uint8_t>("TN+F"[in.Below(4)]) : in.Byte();
                host.Packet(type, in.Bytes(static_cast<size_t>(in.Below(BPlus::kMaxData + 8))));
                break;
            }
        }
    }

    DownloadArea area;
    test::WriteWhole((area.Dir() / kUploadName).string(), kUploadText);
    TransferContext ctx;
    ctx.line = &script;
    ctx.clock = &script;
    ctx.downloadDir = area.Dir();
    ctx.uploadDir = area.Dir();
    ctx.resumeAnswer = resumeAnswer;
    ctx.timeScale = 0.0001;
    const bool ok = BPlus(ctx).Download();
    area.CheckConfined();
    if (script.written.find("outside") != std::string::npos)
        Fail("a file outside the upload folder was sent");
    if (!ok || ctx.received.empty()) return;
    if (ctx.received.size() != 1) Fail("more than one file from one download");
    if (!area.Inside(ctx.received[0]))
        Fail("received outside the download folder: " + ctx.received[0].string());
    if (!honest) return;
    const std::string got = FileText(ctx.received[0]);
    const bool resumed = resumable && resumeAnswer != 0 && got.size() > sent.size() &&
                         got.compare(got.size() - sent.size(), sent.size(), sent) == 0;
    if (got != sent && !resumed) Fail("a download reported complete is not what the host sent");
}

}  // namespace marlo::fuzz

// The ZMODEM receiver against a scripted sender. The frames are well formed (the protocol's own
// wire level builds them); what they say and in what order is the fuzzer's: header forms, the
// attention string, file names (hostile ones among them), conversion and management options,
// positions, subpacket ends, ZEOF, ZFIN, commands, cancels, quiet spells, and raw bytes between
// frames. Every file of a run carries one content under one announced length.
// Checks: nothing is written outside the download folder; a file reported complete is at least as
// long as announced (unless something else could pass for a ZFILE) and, from a sender that sent
// only whole frames of that content, a beginning of it; the engine ends (libFuzzer's -timeout
// bounds the time).
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "transfer/ZModem.h"

namespace marlo::fuzz {
namespace {

class Sender {
  public:
    explicit Sender(ScriptedLine& script) : script_(script) { ctx_.line = &wire_; }

    void Header(int type, const uint8_t h[4]) {
        if (hex_)
            z_.SendHexHeader(type, h);
        else
            z_.SendBinHeader(type, h);
        Emit();
    }
    void Position(int type, uint32_t pos) {
        uint8_t h[4];
        ZModem::StorePos(h, pos);
        Header(type, h);
    }
    void Data(const std::string& bytes, int end) {
        z_.SendData(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), end);
        Emit();
    }
    void Raw(const std::string& bytes) { script_.Send(bytes); }
    ZModem& Wire() { return z_; }
    void ToggleHex() { hex_ = !hex_; }

  private:
    void Emit() {
        z_.Flush();
        script_.Send(wire_.Take());
    }

    ScriptedLine& script_;
    CaptureLine wire_;
    TransferContext ctx_;
    ZModem z_{ctx_};
    bool hex_ = false;
};

int End(Input& in) {
    static const int kEnds[] = {ZModem::ZCRCW, ZModem::ZCRCE, ZModem::ZCRCG, ZModem::ZCRCQ};
    const uint8_t b = in.Byte();
    return kEnds[b % 8 < 5 ? 0 : b % 4];
}

}  // namespace

void FuzzOne(Input& in) {
    const size_t contentSize = static_cast<size_t>(in.Below(6000));
    const std::string content = FileContent(contentSize, in.Word());
    long announced = static_cast<long>(content.size());
    switch (in.Below(4)) {
        case 1:
            announced += 1 + in.Below(3000);
            break;
        case 2:
            announced = in.Below(static_cast<int>(content.size()) + 1);
            break;
        case 3:
            announced = -1;  // no length at all
            break;
        default:
            break;
    }
    const std::string lengthText = announced < 0 ? "" : std::to_string(announced);

    ScriptedLine script;
    Sender sender(script);
    // Honest: only whole frames of the content at their positions. Forged: something else may
    // have been taken for a ZFILE, with a length of its own.
    bool honest = true, forged = false, lengthKnown = announced > 0, text = false, append = false;
    uint32_t pos = 0;
    auto slice = [&](size_t n) {
        std::string s = pos < content.size() ? content.substr(pos, n) : "";
        pos += static_cast<uint32_t>(s.size());
        return s;
    };
    int quiet = 0;
    while (!in.Empty() && !script.Full()) {
        uint8_t h[4] = {};
        switch (in.Below(14)) {
            case 0: {  // any header; without its subpacket what follows is taken for it
                const int type = in.Below(19);
                if (type == ZModem::ZFILE) forged = true;
                if (type == ZModem::ZFILE || type == ZModem::ZDATA || type == ZModem::ZSINIT ||
                    type == ZModem::ZCOMMAND)
                    honest = false;
                sender.Position(type, in.Word());
                break;
            }
            case 1:
                h[0] = in.Byte();
                sender.Header(ZModem::ZRQINIT, h);
                break;
            case 2: {
                h[3] = in.Byte();  // ZF0: TESCCTL asks for every control character escaped
                sender.Header(ZModem::ZSINIT, h);
                const std::string attention = in.Bytes(in.Below(40)) + '\0';
                sender.Data(attention, End(in));
                break;
            }
            case 3: {
                h[3] = static_cast<uint8_t>(in.Below(4));  // ZF0 conversion
                h[2] = in.Byte();                          // ZF1 management
                h[1] = in.Byte();                          // ZF2 transport
                h[0] = in.Byte();                          // ZF3
                text = text || h[3] == ZModem::ZCNL;
                append = append || (h[2] & 0x1F) == ZModem::ZMAPND;
                std::string info = OfferedName(in, 48, lengthKnown);
                char mtime[16];
                std::snprintf(mtime, sizeof mtime, " %o", in.Word());
                info += '\0' + lengthText + mtime;
                sender.Header(ZModem::ZFILE, h);
                sender.Data(info, End(in));
                pos = 0;
                break;
            }
            case 4: {
                switch (in.Below(4)) {
                    case 0:
                        pos = 0;
                        break;
                    case 1:
                        break;
                    case 2:
                        pos = static_cast<uint32_t>(content.size()) / (1 + in.Below(4));
                        break;
                    default:
                        pos = in.Word();
                        break;
                }
                sender.Position(ZModem::ZDATA, pos);
                for (int n = 1 + in.Below(4); n > 0; --n) {
                    const std::string part = slice(1 + in.Below(ZModem::kMaxData));
                    sender.Data(part, End(in));
                }
                break;
            }
            case 5: {
                const std::string part = slice(in.Below(ZModem::kMaxData + 1));
                sender.Data(part, End(in));
                break;
            }
            case 6: {
                const int which = in.Below(3);
                sender.Position(ZModem::ZEOF, which == 0   ? static_cast<uint32_t>(content.size())
                                              : which == 1 ? pos
                                                           : in.Word());
                break;
            }
            case 7:
                sender.Position(ZModem::ZFIN, 0);
                if (in.Flag()) sender.Raw("OO");
                break;
            case 8: {
                sender.Position(ZModem::ZCOMMAND, 0);
                const std::string command = in.Bytes(in.Below(32)) + '\0';
                sender.Data(command, End(in));
                break;
            }
            case 9:
                switch (in.Below(4)) {
                    case 0:
                        sender.Wire().SetVarHeaders(!sender.Wire().VarHeaders());
                        break;
                    case 1:
                        sender.Wire().SetSendCrc32(in.Flag());
                        break;
                    case 2:
                        sender.Wire().SetEscapeAll(!sender.Wire().EscapeAll());
                        break;
                    default:
                        sender.ToggleHex();
                        break;
                }
                break;
            case 10:
                sender.Raw(std::string(5, '\x18'));
                break;
            case 11:
                if (++quiet <= 20) script.Quiet();
                break;
            case 12:  // line noise
                honest = false;
                forged = true;
                sender.Raw(in.Bytes(in.Below(256)));
                break;
            default: {  // a lying sender: data that is not the file's
                honest = false;
                forged = true;
                const std::string made = in.Bytes(in.Below(ZModem::kMaxData + 100));
                sender.Data(made, End(in));
                break;
            }
        }
    }

    DownloadArea area;
    TransferContext ctx;
    ReceivedFiles received(ctx, [&](const std::filesystem::path& p, const std::string& got) {
        if (!area.Inside(p)) Fail("received outside the download folder: " + p.string());
        if (text) return;  // line ends converted: neither length nor content compare
        if (lengthKnown && !forged && static_cast<long>(got.size()) < announced)
            Fail("a file shorter than announced was reported complete");
        if (honest && !append && !IsPrefix(got, content))
            Fail("a file reported complete is not the sender's content");
    });
    ctx.line = &script;
    ctx.clock = &script;
    ctx.status = &received;
    ctx.downloadDir = area.Dir();
    ctx.timeScale = 0.0001;
    {
        ZModem z(ctx);
        z.SetTimeout(1);
        z.Download();
    }
    received.Finish();
    area.CheckConfined();
}

}  // namespace marlo::fuzz

// The XMODEM receiver (checksum and CRC) against a scripted sender: blocks of one content in the
// order, repeats and gaps the fuzzer chooses, EOT, cancels, quiet spells, noise and made-up or
// damaged blocks. Checks: the file is written where it was asked for and nowhere else; a transfer
// reported complete from an honest sender holds the beginning of the content as its blocks carry
// it; the engine ends (libFuzzer's -timeout bounds the time).
#include <cstdint>
#include <string>

#include "FuzzSupport.h"
#include "transfer/XModem.h"

namespace marlo::fuzz {

void FuzzOne(Input& in) {
    const int mode = in.Below(2);  // 0 checksum, 1 CRC
    const size_t contentSize = static_cast<size_t>(in.Below(6000));
    const std::string content = FileContent(contentSize, in.Word());
    ScriptedLine script;
    BlockScript sender(script, content, in.Flag() ? 1024 : 128, mode == 1);
    while (!in.Empty() && !script.Full()) sender.Step(in.Below(BlockScript::kSteps), in);

    DownloadArea area;
    TransferContext ctx;
    ctx.line = &script;
    ctx.clock = &script;
    ctx.files = {area.Dir() / "x.bin"};
    ctx.timeScale = 0.0001;
    const bool ok = CXmodem(mode, ctx).Download();
    area.CheckConfined();
    if (!ok) return;
    if (ctx.received != std::vector<std::filesystem::path>{area.Dir() / "x.bin"})
        Fail("the received file is not the one asked for");
    const std::string got = FileText(area.Dir() / "x.bin");
    if (sender.honest && !IsPrefix(got, sender.Blocks().Padded(got.size())))
        Fail("a file reported complete is not the sender's content");
}

}  // namespace marlo::fuzz

// The YMODEM and YMODEM-G receiver against a scripted sender: block 0 with file names (hostile ones
// among them) and one announced length, then blocks of one content in the order, repeats and gaps
// the fuzzer chooses, EOT, the empty block 0 that ends a batch, cancels, quiet spells, noise and
// made-up or damaged blocks. Checks: nothing is written outside the download folder; a file
// reported complete has exactly the announced length when there is one (and no noise could have
// brought another block 0) and, from an honest sender, holds the beginning of the content; the
// engine ends (libFuzzer's -timeout bounds the time).
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "transfer/YModem.h"

namespace marlo::fuzz {

void FuzzOne(Input& in) {
    const bool gMode = in.Flag();
    const size_t contentSize = static_cast<size_t>(in.Below(6000));
    const std::string content = FileContent(contentSize, in.Word());
    long announced = static_cast<long>(content.size());
    if (in.Flag()) announced = in.Below(8000);  // a length that may be wrong, or 0 for none
    ScriptedLine script;
    BlockScript sender(script, content, in.Flag() ? 1024 : 128, true);
    bool lengthKnown = announced > 0;
    while (!in.Empty() && !script.Full()) {
        const int step = in.Below(BlockScript::kSteps + 2);
        if (step < BlockScript::kSteps) {
            sender.Step(step, in);
            continue;
        }
        std::string info;  // block 0: name, NUL, "size mtime mode serial files-left"
        if (step == BlockScript::kSteps) {
            info = OfferedName(in, 200, lengthKnown);
            const uint32_t mtime = in.Word();
            const int filesLeft = in.Below(3);
            char rest[64];
            std::snprintf(rest, sizeof rest, "%ld %o 0 0 %d", announced, mtime, filesLeft);
            info += '\0' + std::string(rest);
        }
        info.resize(info.size() + 1 > 128 ? 1024 : 128, '\0');
        script.Send(test::MakeBlock(0, std::vector<uint8_t>(info.begin(), info.end()), true));
        sender.NewFile();
    }

    DownloadArea area;
    TransferContext ctx;
    ReceivedFiles received(ctx, [&](const std::filesystem::path& p, const std::string& got) {
        if (!area.Inside(p)) Fail("received outside the download folder: " + p.string());
        if (lengthKnown && !sender.forged && static_cast<long>(got.size()) != announced)
            Fail("a file reported complete is not as long as announced");
        if (sender.honest && !IsPrefix(got, sender.Blocks().Padded(got.size())))
            Fail("a file reported complete is not the sender's content");
    });
    ctx.line = &script;
    ctx.clock = &script;
    ctx.status = &received;
    ctx.downloadDir = area.Dir();
    ctx.timeScale = 0.0001;
    YModem(gMode, ctx).Download();
    received.Finish();
    area.CheckConfined();
}

}  // namespace marlo::fuzz

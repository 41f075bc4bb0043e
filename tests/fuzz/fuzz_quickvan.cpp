// The Quick-VAN receiver against a scripted sender: initialisation packets with offers right or
// wrong, file information with names (hostile ones among them), sizes, dates and file numbers the
// fuzzer chooses, then data blocks of one content in the order, repeats and gaps the fuzzer
// chooses, end-of-file packets with any count, EOT, cancels, quiet spells, noise and damaged
// blocks. Checks: nothing is written outside the download folder; a file reported complete is
// exactly as long as announced; the engine ends (libFuzzer's -timeout bounds the time).
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzSupport.h"
#include "transfer/QuickVan.h"

namespace marlo::fuzz {

void FuzzOne(Input& in) {
    const std::string content = FileContent(static_cast<size_t>(in.Below(3000)), in.Word());
    ScriptedLine script;
    BlockScript sender(script, content, 128, false);
    const int overwrite = in.Flag() ? 1 : 0;
    std::vector<long long> announced;  // the sizes of the files announced
    bool sizesKnown = true;            // no name hid where its size begins
    int fileNumber = 1;
    auto control = [&](uint8_t type, const std::string& data) {
        script.Send(CQuickVan::ControlPacket(type, data));
    };
    while (!in.Empty() && !script.Full()) {
        const int step = in.Below(BlockScript::kSteps + 4);
        if (step < BlockScript::kSteps) {
            sender.Step(step, in);
        } else if (step == BlockScript::kSteps) {  // the offer: mostly sound
            control('0', in.Flag() ? std::string("10") + char('0' + in.Below(4)) +
                                         char('0' + in.Below(10)) + "11"
                                   : in.Bytes(in.Below(8)));
        } else if (step == BlockScript::kSteps + 1) {  // file information
            bool lengthKnown = true;
            const std::string name = OfferedName(in, 100, lengthKnown);
            sizesKnown = sizesKnown && lengthKnown;
            const long long size = in.Flag() ? static_cast<long long>(content.size())
                                             : static_cast<long long>(in.Word());
            char head[8];
            std::snprintf(head, sizeof head, "%02d", in.Below(8) == 0 ? in.Below(100) : fileNumber);
            const std::string sizeText =
                in.Below(8) == 0 ? in.Bytes(in.Below(24)) : std::to_string(size);
            control('1', head + name + '\0' + sizeText + '\0' + in.Bytes(in.Below(16)));
            // The size field ends at its first NUL, whatever the fuzzer put after it.
            const std::string sizeField = sizeText.substr(0, sizeText.find('\0'));
            const bool digits = !sizeField.empty() && sizeField.size() <= 18 &&
                                sizeField.find_first_not_of("0123456789") == std::string::npos;
            if (digits) announced.push_back(std::stoll(sizeField));
            fileNumber = (fileNumber + 1) % 100;
            sender.NewFile();
        } else if (step == BlockScript::kSteps + 2) {  // end of file with any count
            control('2', std::string{static_cast<char>(in.Byte()), '0'});
        } else {
            script.Send(CQuickVan::ShortPacket('T', 0x80, "0"));  // a packet of the other side
        }
    }

    DownloadArea area;
    TransferContext ctx;
    ReceivedFiles received(ctx, [&](const std::filesystem::path& p, const std::string& got) {
        if (!area.Inside(p)) Fail("received outside the download folder: " + p.string());
        // Whatever the sender claimed, the file is cut to the size it announced.
        bool announcedSize = false;
        for (long long size : announced)
            announcedSize |= static_cast<long long>(got.size()) == size;
        if (sizesKnown && !sender.forged && !announcedSize)
            Fail("a file reported complete is not as long as any announced");
    });
    ctx.line = &script;
    ctx.clock = &script;
    ctx.status = &received;
    ctx.downloadDir = area.Dir();
    ctx.overwriteAnswer = overwrite;
    ctx.timeScale = 0.0001;
    CQuickVan(ctx).Download();
    received.Finish();
    area.CheckConfined();
}

}  // namespace marlo::fuzz

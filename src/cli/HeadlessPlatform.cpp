#include "cli/HeadlessPlatform.h"

#include <cstdio>

#include "platform/Spawn.h"

namespace marlo::cli {

MsgResult HeadlessPlatform::MessageBox(const std::string& text, MsgIcon, MsgButtons buttons,
                                       const std::string& title) {
    if (!quiet) std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    switch (buttons) {
        case MsgButtons::YesNo:
        case MsgButtons::YesNoCancel:
            return questionAnswer;
        case MsgButtons::OkCancel:
            return MsgResult::Cancel;
        case MsgButtons::Ok:
            return MsgResult::Ok;
    }
    return MsgResult::Ok;
}

bool HeadlessPlatform::StartProcess(const std::vector<std::string>& argv,
                                    const std::string& workDir) {
    return SpawnDetached(argv, workDir);
}

void HeadlessPlatform::SetStatusText(const std::string& utf8) {
    if (!quiet && !utf8.empty()) std::fprintf(stderr, "%s\n", utf8.c_str());
}

void HeadlessPlatform::ShowProgress(const std::string& text) {
    progressCancelled_ = false;
    progressVisible_ = true;
    if (!quiet) std::fprintf(stderr, "%s\n", text.c_str());
}

void HeadlessPlatform::SetProgressStatus(const std::string& status) {
    if (!quiet && !status.empty()) std::fprintf(stderr, "%s\n", status.c_str());
}

}  // namespace marlo::cli

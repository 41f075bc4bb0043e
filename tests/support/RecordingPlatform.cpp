#include "support/RecordingPlatform.h"

namespace marlo::test {

MsgResult RecordingPlatform::MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                        const std::string& boxTitle) {
    boxes.push_back({text, icon, boxTitle});
    if (!answers.empty()) {
        auto a = answers.front();
        answers.pop_front();
        return a;
    }
    return buttons == MsgButtons::YesNo || buttons == MsgButtons::YesNoCancel ? MsgResult::Yes
                                                                              : MsgResult::Ok;
}

std::optional<std::string> RecordingPlatform::ChooseFile(bool, const std::string&,
                                                         const std::string&, const std::string&) {
    if (fileAnswers.empty()) return std::nullopt;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

std::optional<std::string> RecordingPlatform::ChooseFolder(const std::string&,
                                                           const std::string& initial) {
    if (fileAnswers.empty()) return initial;
    auto a = fileAnswers.front();
    fileAnswers.pop_front();
    return a;
}

std::optional<int> RecordingPlatform::ChooseFromList(const std::string&, const std::string&,
                                                     const std::vector<std::string>& items, int) {
    listsShown.push_back(items);
    if (listAnswers.empty()) return 0;
    auto a = listAnswers.front();
    listAnswers.pop_front();
    return a;
}

}  // namespace marlo::test

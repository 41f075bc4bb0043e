#include "app/InputBarModel.h"

#include <algorithm>

#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"

namespace marlo {

std::string InputBarModel::Enter(const std::string& input, bool sndCrLf) {
    // Cut at 99 bytes without splitting a double-byte character.
    size_t end = 0;
    while (end < input.size()) {
        size_t step = IsSjisLead(static_cast<uint8_t>(input[end])) ? 2 : 1;
        if (end + step > 99 || end + step > input.size()) break;
        end += step;
    }
    std::string text = input.substr(0, end);
    std::string out = text;
    Remember(text);
    out.push_back('\r');
    if (sndCrLf) out.push_back('\n');
    return out;
}

HexBytes InputBarModel::EnterHex(const std::string& text) {
    HexBytes bytes = ParseHexBytes(text);
    if (bytes.error.empty()) Remember(Utf8ToSjis(text));
    return bytes;
}

void InputBarModel::Remember(const std::string& text) {
    if (text.empty()) return;
    if (history_.size() >= kMaxHistory &&
        std::find(history_.begin(), history_.end(), text) == history_.end())
        history_.pop_back();
    history_.erase(std::remove(history_.begin(), history_.end(), text), history_.end());
    history_.push_front(text);
}

}  // namespace marlo

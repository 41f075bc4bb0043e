#include "terminal/UserKeyTable.h"

#include <algorithm>

#include "settings/Settings.h"
#include "terminal/KanjiCodec.h"

namespace marlo {

namespace {

std::string Clip(const std::string& text, size_t max) {
    if (text.size() <= max) return text;
    size_t end = 0;
    while (end < text.size()) {
        size_t next = end + (IsSjisLead(static_cast<uint8_t>(text[end])) ? 2 : 1);
        if (next > max) break;
        end = next;
    }
    return text.substr(0, end);
}

}  // namespace

UserKeyTable::UserKeyTable(const Settings& settings) {
    for (size_t i = 0; i < keys_.size(); ++i) {
        keys_[i].text = Clip(settings.UserKey[i], kUserKeyTextMax);
        keys_[i].label = settings.UserKeyF[i];
        keys_[i].kind = settings.UserKeyK[i] == 1 ? 1 : 0;
    }
}

const UserKeyEntry& UserKeyTable::At(int index) const {
    return keys_.at(static_cast<size_t>(std::clamp(index, 0, kUserKeyCount - 1)));
}

void UserKeyTable::Set(int index, UserKeyEntry entry) {
    if (index < 0 || index >= kUserKeyCount) return;
    entry.text = Clip(entry.text, kUserKeyTextMax);
    if (entry.kind != 1) entry.kind = 0;
    keys_[static_cast<size_t>(index)] = std::move(entry);
}

void UserKeyTable::Store(Settings& settings) const {
    for (size_t i = 0; i < keys_.size(); ++i) {
        settings.UserKey[i] = keys_[i].text;
        settings.UserKeyF[i] = keys_[i].label;
        settings.UserKeyK[i] = keys_[i].kind;
    }
}

std::string FunctionBarLabel(const Settings& settings, int index) {
    if (index < 0 || index >= kUserKeyCount) return {};
    std::string label = "F" + std::to_string(index + 1);
    const std::string& text = settings.UserKeyF[static_cast<size_t>(index)];
    if (!text.empty()) label += " " + text;
    return label;
}

}  // namespace marlo

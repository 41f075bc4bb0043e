#include "hosts/HostWindow.h"

#include <cstdio>

#include "platform/Platform.h"
#include "text/Encoding.h"

namespace marlo {

HostWindowModel::HostWindowModel(const HostTable& table, IPlatform& platform)
    : table_(table), platform_(platform) {
    if (!table_.Empty()) selection_ = 0;
}

bool HostWindowModel::MayOpen(bool online, IPlatform& platform) {
    if (!online) return true;
    platform.MessageBox(kHostOnline, MsgIcon::Information);
    return false;
}

void HostWindowModel::Select(std::optional<size_t> index) {
    selection_ = index && *index < table_.Size() ? index : std::nullopt;
}

bool HostWindowModel::NeedSelection() {
    if (selection_ && *selection_ < table_.Size()) return true;
    platform_.MessageBox(kHostNotSelected, MsgIcon::Exclamation);
    return false;
}

std::optional<std::string> HostWindowModel::SettleName(const std::string& name,
                                                       std::optional<size_t> except,
                                                       const NamePrompt& prompt) {
    return SettleHostName(
        table_, name, except,
        [this](const std::string& m) { platform_.MessageBox(m, MsgIcon::Exclamation); }, prompt);
}

std::optional<size_t> HostWindowModel::Connect() {
    if (!NeedSelection()) return std::nullopt;
    // Looked up by name, as the list shows names.
    auto index = table_.Find(table_.At(*selection_).Name);
    if (!index) platform_.MessageBox(kHostNotFound, MsgIcon::Exclamation);
    return index;
}

bool HostWindowModel::Add(const SheetEditor& sheet, const NamePrompt& prompt) {
    HostEntry e;
    if (!sheet(e)) return false;
    auto name = SettleName(e.Name, std::nullopt, prompt);
    if (!name) return false;
    e.Name = *name;
    auto r = table_.Add(std::move(e));
    if (!r.ok) return false;
    selection_ = r.index;
    return true;
}

bool HostWindowModel::Copy(const NamePrompt& prompt) {
    if (!NeedSelection()) return false;
    auto first = prompt(table_.At(*selection_).Name);
    if (!first) return false;
    auto name = SettleName(*first, std::nullopt, prompt);
    if (!name) return false;
    auto r = table_.Copy(*selection_, *name);
    if (!r.ok) return false;
    selection_ = r.index;
    return true;
}

bool HostWindowModel::Delete() {
    if (!NeedSelection()) return false;
    char text[256];
    std::snprintf(text, sizeof text, kHostDeleteAskFormat,
                  SjisToUtf8(table_.At(*selection_).Name).c_str());
    if (platform_.MessageBox(text, MsgIcon::Question, MsgButtons::OkCancel) != MsgResult::Ok)
        return false;
    auto index = table_.Find(table_.At(*selection_).Name);
    if (!index) {
        platform_.MessageBox(kHostDeleteFailed, MsgIcon::Exclamation);
        return false;
    }
    selection_ = table_.Remove(*index);
    return true;
}

bool HostWindowModel::Properties(const SheetEditor& sheet, const NamePrompt& prompt) {
    if (!NeedSelection()) return false;
    auto index = table_.Find(table_.At(*selection_).Name);
    if (!index) {
        platform_.MessageBox(kHostNotFound, MsgIcon::Exclamation);
        return false;
    }
    HostEntry e = table_.At(*index);
    if (!sheet(e)) return false;
    auto name = SettleName(e.Name, index, prompt);
    if (!name) return false;
    e.Name = *name;
    return table_.Replace(*index, std::move(e)).ok;
}

void HostWindowModel::MoveUp() {
    if (!NeedSelection()) return;
    if (table_.MoveUp(*selection_))
        --*selection_;
    else
        platform_.Beep();
}

void HostWindowModel::MoveDown() {
    if (!NeedSelection()) return;
    if (table_.MoveDown(*selection_))
        ++*selection_;
    else
        platform_.Beep();
}

void HostWindowModel::SortByName() {
    std::optional<std::string> selected;
    if (selection_) selected = table_.At(*selection_).Name;
    table_.SortByName();
    if (selected) selection_ = table_.Find(*selected);
}

}  // namespace marlo

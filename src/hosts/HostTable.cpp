#include "hosts/HostTable.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "hosts/Password.h"
#include "platform/SettingsStore.h"
#include "text/Encoding.h"

namespace marlo {

namespace {

bool IsLeadByte(uint8_t b) {
    return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
}
bool IsTrailByte(uint8_t b) {
    return b >= 0x40 && b <= 0xFC && b != 0x7F;
}

bool NeedsEscape(uint8_t b) {
    return b == '%' || b == '\\' || b < 0x20 || b == 0x7F;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

std::string SubKey(const std::string& name) {
    return std::string(kHostKey) + "\\" + HostKeyName(name);
}

}  // namespace

std::optional<std::string> CheckHostName(const std::string& name) {
    if (name.empty()) return kHostNameEmpty;
    if (name.size() > kMaxHostNameBytes) return kHostNameTooLong;
    for (size_t i = 0; i < name.size(); ++i) {
        const auto b = static_cast<uint8_t>(name[i]);
        if (b < 0x20 || b == 0x7F) return kHostNameBadChar;
        if (IsLeadByte(b)) {
            if (i + 1 >= name.size() || !IsTrailByte(static_cast<uint8_t>(name[i + 1])))
                return kHostNameBadChar;
            ++i;
        }
    }
    return std::nullopt;
}

std::string HostKeyName(const std::string& name) {
    std::string key;
    key.reserve(name.size());
    for (char c : name) {
        const auto b = static_cast<uint8_t>(c);
        if (NeedsEscape(b)) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%%%02X", b);
            key += hex;
        } else {
            key += c;
        }
    }
    return key;
}

std::string HostNameFromKey(const std::string& key) {
    std::string name;
    name.reserve(key.size());
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == '%' && i + 2 < key.size() && HexValue(key[i + 1]) >= 0 &&
            HexValue(key[i + 2]) >= 0) {
            name += static_cast<char>(HexValue(key[i + 1]) * 16 + HexValue(key[i + 2]));
            i += 2;
        } else {
            name += key[i];  // a lone '%' written by hand stays as it is
        }
    }
    return name;
}

std::optional<size_t> HostTable::Find(const std::string& name) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Name == name) return i;
    return std::nullopt;
}

bool HostTable::NameTaken(const std::string& name, std::optional<size_t> except) const {
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].Name == name && (!except || *except != i)) return true;
    return false;
}

HostTable::Result HostTable::Add(HostEntry e) {
    if (auto bad = CheckHostName(e.Name)) return {false, 0, *bad};
    if (NameTaken(e.Name)) return {false, 0, kHostDuplicate};
    entries_.push_back(std::move(e));
    return {true, entries_.size() - 1, {}};
}

HostTable::Result HostTable::Copy(size_t from, const std::string& newName) {
    if (from >= entries_.size()) return {false, 0, kHostNotFound};
    HostEntry e = entries_[from];
    e.Name = newName;
    return Add(std::move(e));
}

HostTable::Result HostTable::Replace(size_t index, HostEntry e) {
    if (index >= entries_.size()) return {false, 0, kHostNotFound};
    if (auto bad = CheckHostName(e.Name)) return {false, index, *bad};
    if (NameTaken(e.Name, index)) return {false, index, kHostDuplicate};
    entries_[index] = std::move(e);
    return {true, index, {}};
}

std::optional<size_t> HostTable::Remove(size_t index) {
    if (index >= entries_.size()) return std::nullopt;
    entries_.erase(entries_.begin() + static_cast<std::ptrdiff_t>(index));
    if (entries_.empty()) return std::nullopt;
    return std::min(index, entries_.size() - 1);
}

bool HostTable::MoveUp(size_t index) {
    if (index == 0 || index >= entries_.size()) return false;
    std::swap(entries_[index], entries_[index - 1]);
    return true;
}

bool HostTable::MoveDown(size_t index) {
    if (index + 1 >= entries_.size()) return false;
    std::swap(entries_[index], entries_[index + 1]);
    return true;
}

void HostTable::SortByName() {
    std::stable_sort(entries_.begin(), entries_.end(), [](const HostEntry& a, const HostEntry& b) {
        return std::lexicographical_compare(
            a.Name.begin(), a.Name.end(), b.Name.begin(), b.Name.end(),
            [](char x, char y) { return static_cast<uint8_t>(x) < static_cast<uint8_t>(y); });
    });
}

std::vector<std::string> HostTable::Load(const ISettingsStore& store) {
    std::vector<std::string> messages;
    struct Loaded {
        bool hasOrder;
        uint32_t order;
        size_t seen;
        HostEntry entry;
    };
    std::vector<Loaded> loaded;
    const std::vector<std::string> keys = store.SubKeys(kHostKey);
    for (size_t k = 0; k < keys.size(); ++k) {
        const std::string key = std::string(kHostKey) + "\\" + keys[k];
        HostEntry e = HostEntry::LoadDefaults();
        e.Name = HostNameFromKey(keys[k]);
        if (e.Name.empty()) continue;
        bool duplicate = std::any_of(loaded.begin(), loaded.end(),
                                     [&](const Loaded& l) { return l.entry.Name == e.Name; });
        if (duplicate) {
            messages.push_back("ﾎｽﾄ「" + SjisToUtf8(e.Name) +
                               "」が二重に登録されているので,一方を読み込みませんでした．");
            continue;
        }
        for (const HostField& f : HostFields(e)) {
            if (f.number) {
                if (auto v = store.GetNumber(key, f.name)) *f.number = *v;
            } else if (auto t = store.GetText(key, f.name)) {
                *f.text = *t;
            }
        }
        if (!e.Password.empty()) {
            if (auto plain = RestorePassword(e.Password)) {
                e.Password = *plain;
            } else {
                messages.push_back(kPasswordRestoreFailed);
                e.Password.clear();
            }
        }
        // Positions come from the stored "Order"; gaps, repeats and huge values only decide the
        // sequence, and an entry without one goes to the end instead of being dropped.
        const auto order = store.GetNumber(key, "Order");
        loaded.push_back(
            {order.has_value(), order ? static_cast<uint32_t>(*order) : 0u, k, std::move(e)});
    }
    std::stable_sort(loaded.begin(), loaded.end(), [](const Loaded& a, const Loaded& b) {
        if (a.hasOrder != b.hasOrder) return a.hasOrder;
        if (a.order != b.order) return a.order < b.order;
        return a.seen < b.seen;
    });
    entries_.clear();
    for (Loaded& l : loaded) entries_.push_back(std::move(l.entry));
    return messages;
}

bool HostTable::Save(ISettingsStore& store, std::vector<std::string>* messages) const {
    store.DeleteKey(kHostKey);
    for (size_t i = 0; i < entries_.size(); ++i) {
        HostEntry e = entries_[i];
        if (auto scrambled = ScramblePassword(e.Password)) {
            e.Password = *scrambled;
        } else {
            if (messages) messages->push_back(kPasswordScrambleFailed);
            e.Password.clear();
        }
        const std::string key = SubKey(e.Name);
        store.SetNumber(key, "Order", static_cast<int32_t>(i));
        for (const HostField& f : HostFields(e)) {
            if (f.number)
                store.SetNumber(key, f.name, *f.number);
            else
                store.SetText(key, f.name, *f.text);
        }
    }
    return store.Save();
}

std::optional<std::string> SettleHostName(
    const HostTable& table, std::string name, std::optional<size_t> except,
    const std::function<void(const std::string& message)>& tell,
    const std::function<std::optional<std::string>(const std::string& prefill)>& ask) {
    for (;;) {
        std::optional<std::string> refusal = CheckHostName(name);
        if (!refusal && table.NameTaken(name, except)) refusal = kHostDuplicate;
        if (!refusal) return name;
        tell(*refusal);
        auto again = ask(name);
        if (!again) return std::nullopt;
        name = *again;
    }
}

}  // namespace marlo

#include "macro/MacroVariables.h"

#include <algorithm>
#include <cctype>

namespace marlo {
namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

void MacroVariables::Reset() {
    globals_ = {};
    frames_.clear();
    DefineNumber(kResult, false);
    DefineString(kUserId, false);
    DefineString(kPassword, false);
}

template <typename Self, typename Table>
auto MacroVariables::Lookup(Self& self, Table table, const std::string& name) {
    auto find = [&](auto& tables) {
        auto& slots = tables.*table;
        auto it = std::find_if(slots.begin(), slots.end(),
                               [&](const auto& slot) { return slot.name == name; });
        return it == slots.end() ? nullptr : &*it;
    };
    // `result` is always the global one.
    if (!self.frames_.empty() && name != kResult)
        if (auto* slot = find(self.frames_.back())) return slot;
    return find(self.globals_);
}

std::optional<std::string> MacroVariables::GetString(const std::string& name) const {
    auto* slot = Lookup(*this, &Tables::strings, name);
    if (!slot) return std::nullopt;
    if (name == kUserId) return userId ? userId() : std::string();
    if (name == kPassword) return password ? password() : std::string();
    return slot->value;
}

std::optional<int32_t> MacroVariables::GetNumber(const std::string& name) const {
    auto* slot = Lookup(*this, &Tables::numbers, name);
    if (!slot) return std::nullopt;
    return slot->value;
}

bool MacroVariables::SetString(const std::string& name, const std::string& value) {
    auto* slot = Lookup(*this, &Tables::strings, name);
    if (!slot) return false;
    slot->value = value;
    return true;
}

bool MacroVariables::SetNumber(const std::string& name, int32_t value) {
    auto* slot = Lookup(*this, &Tables::numbers, name);
    if (!slot) return false;
    slot->value = value;
    return true;
}

template <typename T>
MacroVariables::Define MacroVariables::DefineIn(std::vector<Slot<T>>& table,
                                                const std::string& name) {
    for (const auto& slot : table)
        if (slot.name == name) return Define::Exists;
    if (table.size() >= kSlots) return Define::Full;
    table.push_back({name, T{}});
    return Define::Ok;
}

MacroVariables::Define MacroVariables::DefineString(const std::string& name, bool local) {
    return DefineIn(Scope(local).strings, name);
}

MacroVariables::Define MacroVariables::DefineNumber(const std::string& name, bool local) {
    return DefineIn(Scope(local).numbers, name);
}

template <typename T>
bool MacroVariables::DeleteIn(std::vector<Slot<T>>& table, const std::string& name) {
    auto it = std::find_if(table.begin(), table.end(),
                           [&](const Slot<T>& slot) { return SameIgnoringCase(slot.name, name); });
    if (it == table.end()) return false;
    table.erase(it);
    return true;
}

bool MacroVariables::DeleteString(const std::string& name, bool local) {
    return DeleteIn(Scope(local).strings, name);
}

bool MacroVariables::DeleteNumber(const std::string& name, bool local) {
    return DeleteIn(Scope(local).numbers, name);
}

bool MacroVariables::IsReserved(const std::string& name) {
    return SameIgnoringCase(name, kResult) || SameIgnoringCase(name, kUserId) ||
           SameIgnoringCase(name, kPassword);
}

void MacroVariables::PushFrame() { frames_.emplace_back(); }

void MacroVariables::PopFrame() {
    if (!frames_.empty()) frames_.pop_back();
}

}  // namespace marlo

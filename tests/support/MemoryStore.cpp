#include "support/MemoryStore.h"

#include <algorithm>

namespace marlo::test {

MemoryStore::Key* MemoryStore::Find(const std::string& path) {
    for (Key& k : live_.keys)
        if (k.path == path) return &k;
    return nullptr;
}

const MemoryStore::Key* MemoryStore::Find(const std::string& path) const {
    for (const Key& k : live_.keys)
        if (k.path == path) return &k;
    return nullptr;
}

MemoryStore::Key& MemoryStore::Create(const std::string& path) {
    if (Key* k = Find(path)) return *k;
    const auto sep = path.rfind('\\');
    if (sep != std::string::npos) Create(path.substr(0, sep));
    live_.keys.push_back({path, {}});
    return live_.keys.back();
}

void MemoryStore::Set(const std::string& key, const std::string& name, Value v) {
    if (name.empty()) return;  // refused, as the settings file refuses it
    Key& k = Create(key);
    for (auto& [n, value] : k.values)
        if (n == name) {
            value = std::move(v);
            return;
        }
    k.values.emplace_back(name, std::move(v));
}

std::optional<int32_t> MemoryStore::GetNumber(const std::string& key,
                                              const std::string& name) const {
    if (const Key* k = Find(key))
        for (const auto& [n, v] : k->values)
            if (n == name && std::holds_alternative<int32_t>(v)) return std::get<int32_t>(v);
    return std::nullopt;
}

std::optional<std::string> MemoryStore::GetText(const std::string& key,
                                                const std::string& name) const {
    if (const Key* k = Find(key))
        for (const auto& [n, v] : k->values)
            if (n == name && std::holds_alternative<std::string>(v))
                return std::get<std::string>(v);
    return std::nullopt;
}

void MemoryStore::SetNumber(const std::string& key, const std::string& name, int32_t value) {
    Set(key, name, value);
}

void MemoryStore::SetText(const std::string& key, const std::string& name,
                          const std::string& value) {
    Set(key, name, value);
}

void MemoryStore::DeleteValue(const std::string& key, const std::string& name) {
    if (Key* k = Find(key))
        std::erase_if(k->values, [&](const auto& nv) { return nv.first == name; });
}

void MemoryStore::DeleteKey(const std::string& key) {
    std::erase_if(live_.keys, [&](const Key& k) {
        return k.path == key || (k.path.size() > key.size() && k.path.starts_with(key) &&
                                 k.path[key.size()] == '\\');
    });
}

bool MemoryStore::KeyExists(const std::string& key) const {
    return key.empty() || Find(key);
}

std::vector<std::string> MemoryStore::SubKeys(const std::string& key) const {
    std::vector<std::string> names;
    const std::string prefix = key.empty() ? "" : key + "\\";
    for (const Key& k : live_.keys) {
        if (!k.path.starts_with(prefix) || k.path.size() == prefix.size()) continue;
        const std::string rest = k.path.substr(prefix.size());
        if (rest.find('\\') == std::string::npos) names.push_back(rest);
    }
    return names;
}

std::vector<std::string> MemoryStore::ValueNames(const std::string& key) const {
    std::vector<std::string> names;
    if (const Key* k = Find(key))
        for (const auto& nv : k->values) names.push_back(nv.first);
    return names;
}

bool MemoryStore::Save() {
    ++saves;
    if (failSave) return false;
    committed_ = live_;
    return true;
}

}  // namespace marlo::test

// The per-user key-value store of the settings: keys with sub-keys, values of two forms (number,
// text). Key paths use "\\" between levels, relative to the program's root key
// ("Software\\Brightwater\\marlo"): "" is the root, "Trace", "Host\\<name>". Texts are byte
// strings (Shift-JIS) and round-trip exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

class ISettingsStore {
  public:
    virtual ~ISettingsStore() = default;

    virtual std::optional<int32_t> GetNumber(const std::string& key,
                                             const std::string& name) const = 0;
    virtual std::optional<std::string> GetText(const std::string& key,
                                               const std::string& name) const = 0;
    // A value needs a name: setting one with an empty name is refused (nothing is stored).
    virtual void SetNumber(const std::string& key, const std::string& name, int32_t value) = 0;
    virtual void SetText(const std::string& key, const std::string& name,
                         const std::string& value) = 0;
    virtual void DeleteValue(const std::string& key, const std::string& name) = 0;
    // Deletes a key with its values and sub-keys.
    virtual void DeleteKey(const std::string& key) = 0;
    virtual bool KeyExists(const std::string& key) const = 0;
    // Names of the direct sub-keys of `key`, and of its values, in stored order.
    virtual std::vector<std::string> SubKeys(const std::string& key) const = 0;
    virtual std::vector<std::string> ValueNames(const std::string& key) const = 0;

    // Writes every change since the last save to durable storage at once (all or nothing); false
    // when it could not be written. A store kept only in memory returns true.
    virtual bool Save() = 0;
};

}  // namespace marlo

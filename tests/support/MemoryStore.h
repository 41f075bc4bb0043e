// A settings store kept in memory for tests: keys in creation order, a committed copy that Save
// replaces (or refuses to, when told to fail), and Restart to go back to what was committed.
#pragma once

#include <map>
#include <string>
#include <variant>
#include <vector>

#include "platform/SettingsStore.h"

namespace marlo::test {

class MemoryStore : public ISettingsStore {
  public:
    std::optional<int32_t> GetNumber(const std::string& key,
                                     const std::string& name) const override;
    std::optional<std::string> GetText(const std::string& key,
                                       const std::string& name) const override;
    void SetNumber(const std::string& key, const std::string& name, int32_t value) override;
    void SetText(const std::string& key, const std::string& name,
                 const std::string& value) override;
    void DeleteValue(const std::string& key, const std::string& name) override;
    void DeleteKey(const std::string& key) override;
    bool KeyExists(const std::string& key) const override;
    std::vector<std::string> SubKeys(const std::string& key) const override;
    std::vector<std::string> ValueNames(const std::string& key) const override;
    bool Save() override;

    // Drops every change since the last successful save, as a restart of the program would.
    void Restart() { live_ = committed_; }

    bool failSave = false;
    int saves = 0;

  private:
    using Value = std::variant<int32_t, std::string>;
    struct Key {
        std::string path;
        std::vector<std::pair<std::string, Value>> values;
    };
    struct State {
        std::vector<Key> keys;  // creation order; parents before children
    };
    Key* Find(const std::string& path);
    const Key* Find(const std::string& path) const;
    Key& Create(const std::string& path);
    void Set(const std::string& key, const std::string& name, Value v);

    State live_, committed_;
};

}  // namespace marlo::test

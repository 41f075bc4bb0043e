#include "app/StoreFactory.h"

namespace marlo {

namespace {

// Replaced when the file store lands: an empty store that holds nothing and refuses to save, so
// that no caller believes its changes were kept.
class EmptyStore : public ISettingsStore {
  public:
    std::optional<int32_t> GetNumber(const std::string&, const std::string&) const override {
        return std::nullopt;
    }
    std::optional<std::string> GetText(const std::string&, const std::string&) const override {
        return std::nullopt;
    }
    void SetNumber(const std::string&, const std::string&, int32_t) override {}
    void SetText(const std::string&, const std::string&, const std::string&) override {}
    void DeleteValue(const std::string&, const std::string&) override {}
    void DeleteKey(const std::string&) override {}
    bool KeyExists(const std::string& key) const override { return key.empty(); }
    std::vector<std::string> SubKeys(const std::string&) const override { return {}; }
    std::vector<std::string> ValueNames(const std::string&) const override { return {}; }
    bool Save() override { return false; }
};

}  // namespace

std::unique_ptr<ISettingsStore> OpenUserSettingsStore(std::string* message) {
    if (message) message->clear();
    return std::make_unique<EmptyStore>();
}

}  // namespace marlo

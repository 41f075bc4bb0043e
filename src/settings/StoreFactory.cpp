#include "settings/StoreFactory.h"

#include "settings/Paths.h"
#include "settings/SettingsFile.h"

namespace marlo {

std::unique_ptr<ISettingsStore> OpenUserSettingsStore(std::string* message) {
    auto store = std::make_unique<SettingsFile>(ConfigDir());
    std::string text;
    // Only looks: a damaged file stays where it is for the program itself to set aside.
    store->Load(&text, false);
    if (message) *message = text;
    return store;
}

}  // namespace marlo

// Opens the user's settings store (the one the program loads at start-up and saves at the end).
#pragma once

#include <memory>
#include <string>

#include "platform/SettingsStore.h"

namespace marlo {

// The store of the current user; never null. `message` gets a text to show (UTF-8) when the stored
// settings could not be read and the store starts empty.
std::unique_ptr<ISettingsStore> OpenUserSettingsStore(std::string* message);

}  // namespace marlo

// The twelve user keys as the key dialog edits them: a copy taken from the settings, changed entry
// by entry, and stored back as a whole.
#pragma once

#include <array>
#include <string>

namespace marlo {

struct Settings;

constexpr int kUserKeyCount = 12;
constexpr size_t kUserKeyTextMax = 260;  // bytes of the text or macro file name

struct UserKeyEntry {
    std::string text;   // Shift-JIS: the text to send, or the macro file
    std::string label;  // Shift-JIS: shown on the function bar
    int kind = 0;       // 0 send the text, 1 run the macro file
};

class UserKeyTable {
  public:
    explicit UserKeyTable(const Settings& settings);
    const UserKeyEntry& At(int index) const;
    // Replaces an entry; a text longer than the limit is cut at a character boundary and a kind
    // other than 1 is the text kind.
    void Set(int index, UserKeyEntry entry);
    void Store(Settings& settings) const;

  private:
    std::array<UserKeyEntry, kUserKeyCount> keys_;
};

// The label of a user key on the function bar: "F1" and the key's label, if any.
std::string FunctionBarLabel(const Settings& settings, int index);

}  // namespace marlo

// The host table: the ordered list of host entries, its edit operations (those of the host window
// and the host property sheet, with their refusals and messages), and its place in the settings
// store: key "Host", one sub-key per host holding its values and its position "Order".
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "hosts/HostEntry.h"

namespace marlo {

class ISettingsStore;

// Messages of the host window and the property sheet (UTF-8).
inline constexpr const char* kHostNotSelected = "ﾎｽﾄが選択されていません．";
inline constexpr const char* kHostDuplicate = "ﾎｽﾄ名が重複しています。";
inline constexpr const char* kHostNamePrompt = "ﾎｽﾄ名を入力してください";
inline constexpr const char* kHostDeleteAskFormat = "「%s」を削除します．";
inline constexpr const char* kHostDeleteFailed = "削除に失敗しました.";
inline constexpr const char* kHostNotFound = "ﾎｽﾄﾃﾞｰﾀが見つかりません．";
inline constexpr const char* kHostOnline = "オンライン中です.";
inline constexpr const char* kHostNotRegistered = "指定されたﾎｽﾄは登録されていません。";
inline constexpr const char* kHostNameEmpty = "ﾎｽﾄ名が入力されていません．";
inline constexpr const char* kHostNameTooLong = "ﾎｽﾄ名は半角30文字(全角15文字)までです．";
inline constexpr const char* kHostNameBadChar = "ﾎｽﾄ名に使えない文字が含まれています．";

inline constexpr const char* kHostKey = "Host";

// Whether `name` (Shift-JIS) may name a host: not empty, at most 30 bytes, no control bytes, no
// half of a double-byte character. nullopt when it may, else the message to show.
std::optional<std::string> CheckHostName(const std::string& name);

// The sub-key under "Host" that holds a host, and back. The key separator and the escape byte are
// written as %XX so that a Shift-JIS second byte 0x5C cannot split the key.
std::string HostKeyName(const std::string& name);
std::string HostNameFromKey(const std::string& key);

class HostTable {
  public:
    // The outcome of an edit: the index of the entry concerned, or the message that refused it.
    struct Result {
        bool ok = false;
        size_t index = 0;
        std::string message;
    };

    const std::vector<HostEntry>& Entries() const { return entries_; }
    size_t Size() const { return entries_.size(); }
    bool Empty() const { return entries_.empty(); }
    const HostEntry& At(size_t i) const { return entries_.at(i); }
    std::optional<size_t> Find(const std::string& name) const;
    // True when another entry than `except` has this name.
    bool NameTaken(const std::string& name, std::optional<size_t> except = std::nullopt) const;

    // Add: the entry is appended; refused for a bad or duplicate name.
    Result Add(HostEntry e);
    // Copy: a new entry with every field of entry `from` and the new name, appended.
    Result Copy(size_t from, const std::string& newName);
    // Properties OK: every field of entry `index` replaced; the name must not be another entry's.
    Result Replace(size_t index, HostEntry e);
    // Delete: the index now selected (the same position, or the previous one when the last entry
    // went), nullopt when the table is empty afterwards or `index` did not exist.
    std::optional<size_t> Remove(size_t index);
    // Swap with the neighbour; false (the window only beeps) at the top or bottom.
    bool MoveUp(size_t index);
    bool MoveDown(size_t index);
    // Ascending byte order of the names; equal names keep their order.
    void SortByName();

    // Replaces the table with what the store holds under "Host". Returns the messages to show
    // (a password that cannot be restored, an entry that cannot be read); the rest loads.
    std::vector<std::string> Load(const ISettingsStore& store);
    // Writes the whole table under "Host", replacing what was there, and saves the store once, so
    // that a failed write leaves the previous table in place. `messages` gets what to show (a
    // password that cannot be scrambled is stored empty). False when the store could not be saved.
    bool Save(ISettingsStore& store, std::vector<std::string>* messages = nullptr) const;

    bool operator==(const HostTable&) const = default;

  private:
    std::vector<HostEntry> entries_;
};

// The duplicate-name test of Add, Copy and Properties: while `name` is refused (bad or taken by
// another entry than `except`), shows why through `tell` and asks again through `ask` (the
// "ﾎｽﾄ名を入力してください" prompt prefilled with the refused name). nullopt when the user
// cancelled: the whole command is then abandoned.
std::optional<std::string> SettleHostName(
    const HostTable& table, std::string name, std::optional<size_t> except,
    const std::function<void(const std::string& message)>& tell,
    const std::function<std::optional<std::string>(const std::string& prefill)>& ask);

}  // namespace marlo

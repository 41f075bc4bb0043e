// The host selection window ("ﾎｽﾄ選択") as a model: it edits a copy of the host table (OK or
// Connect hands the copy back, Cancel drops it), keeps the selection, and runs the window's
// commands with their questions, messages and beeps. The Qt window draws the list and forwards the
// commands.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "hosts/HostTable.h"

namespace marlo {

class IPlatform;

inline constexpr const char* kHostWindowTitle = "ﾎｽﾄ選択";
inline constexpr const char* kHostWindowHelp = "［ホスト選択］ウィンドウ";

class HostWindowModel {
  public:
    // Opens the property sheet on an entry; true on OK with the entry changed in place. The sheet
    // refuses its own bad values (CheckHostSheet) before it returns.
    using SheetEditor = std::function<bool(HostEntry& entry)>;
    // The "ﾎｽﾄ名を入力してください" prompt, prefilled; nullopt on Cancel. Names are Shift-JIS.
    using NamePrompt = std::function<std::optional<std::string>(const std::string& prefill)>;

    HostWindowModel(const HostTable& table, IPlatform& platform);

    // The window does not open while a connection is up; it tells the user so.
    static bool MayOpen(bool online, IPlatform& platform);

    const HostTable& Table() const { return table_; }
    std::optional<size_t> Selection() const { return selection_; }
    void Select(std::optional<size_t> index);

    // Connect (also a double-click): the index of the selected entry in the table.
    std::optional<size_t> Connect();
    // Add: the sheet on a new entry; appended and selected on OK with a name that is free.
    bool Add(const SheetEditor& sheet, const NamePrompt& prompt);
    // Copy: a new entry with every field of the selected one under a name asked for.
    bool Copy(const NamePrompt& prompt);
    // Delete (also the Delete key), after "「%s」を削除します．".
    bool Delete();
    // Properties: the sheet on the selected entry; written back on OK.
    bool Properties(const SheetEditor& sheet, const NamePrompt& prompt);
    // "↑" and "↓": the selected entry moves and stays selected; at the end only a beep.
    void MoveUp();
    void MoveDown();
    // A click on the column header.
    void SortByName();

  private:
    bool NeedSelection();
    std::optional<std::string> SettleName(const std::string& name, std::optional<size_t> except,
                                          const NamePrompt& prompt);

    HostTable table_;
    IPlatform& platform_;
    std::optional<size_t> selection_;
};

}  // namespace marlo

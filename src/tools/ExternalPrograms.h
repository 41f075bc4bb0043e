// Other programs the user starts from Marlo: the editor, a typed command line, the seven user
// applications and the log viewers. Each becomes an argument vector and a working folder; no shell
// ever reads the text, and the platform starts the program detached.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

class IPlatform;
struct Settings;

inline constexpr const char* kEditorStartFailed = "エディタの起動に失敗しました.";
inline constexpr const char* kCommandStartFailed = "コマンドの実行に失敗しました.";
inline constexpr const char* kProgramChooserTitle = "ファイルの参照";
inline constexpr const char* kProgramChooserFilter = "すべてのﾌｧｲﾙ (*.*)|*.*||";

// The first user application's command id; the seventh is kFirstAppCommand + 6.
inline constexpr int kFirstAppCommand = 900;
inline constexpr int kAppCount = 7;

struct ProgramStart {
    std::vector<std::string> argv;
    std::string workDir;  // empty: where Marlo runs
};

// Reads an environment variable (getenv by default; tests give their own).
using EnvReader = std::function<const char*(const char*)>;

// A command line (UTF-8) as a program to start: the first word, quotes respected, is the program.
// A program named with a folder starts in that folder, whatever its arguments, and is named by its
// absolute path (the folder change must not lose it); one looked up in PATH starts where Marlo
// runs. nullopt for a text with no program.
std::optional<ProgramStart> CommandStart(const std::string& commandLine);

// The programs that open `files` (UTF-8 paths, maybe none) in `program`, a command line such as
// `Editor` or `LogViewer1`. The stored default "notepad.exe" (or an empty setting) means the
// user's editor: $VISUAL; then $EDITOR, a terminal program, inside x-terminal-emulator; then the
// desktop's application for each file through xdg-open (which takes one file at a time), or the
// system's sensible-editor in a terminal when there is no file. Every file goes to one process
// otherwise.
std::vector<ProgramStart> OpenWith(const std::string& program,
                                   const std::vector<std::string>& files,
                                   const EnvReader& env = {});

// A chosen program path as the first word of a command line: quoted when it holds a blank or a
// quote, so that splitting gives it back whole.
std::string CommandWord(const std::string& path);

// True for the stored default that stands for the user's editor.
bool IsDefaultEditor(const std::string& program);

// Starts every program of `starts`; false (nothing more started) at the first that fails, or when
// there is none.
bool StartAll(IPlatform& platform, const std::vector<ProgramStart>& starts);

// The "ｴﾃﾞｨﾀ(&E)" command: `Editor` (Shift-JIS) without a file, "エディタの起動に失敗しました."
// when it does not start.
bool StartEditor(IPlatform& platform, const Settings& settings, const EnvReader& env = {});

// "ｺﾏﾝﾄﾞ実行(&C)..." after its dialog and the user applications: the command line (Shift-JIS)
// started, "コマンドの実行に失敗しました." when it does not start or is empty.
bool RunCommandLine(IPlatform& platform, const std::string& commandSjis);

// Command kFirstAppCommand + n starts `AppCommand` n+1. False for an id that is not one of them.
bool IsAppCommand(int id);
void RunAppCommand(IPlatform& platform, const Settings& settings, int id);

// The menu entries of the user applications (Shift-JIS texts): the id and the title of each that
// has a title or a command, in order; an untitled one is named by its command.
struct AppMenuEntry {
    int id = 0;
    std::string label;
};
std::vector<AppMenuEntry> AppMenuEntries(const Settings& settings);

// The "ｱﾌﾟﾘｹｰｼｮﾝ" dialog's list: the seven titles and commands (Shift-JIS) while they are edited.
// The dialog shows the rows, the title and command fields of the selected row, and calls these.
class AppListModel {
  public:
    explicit AppListModel(const Settings& settings);

    struct Entry {
        std::string title;
        std::string command;
    };
    const std::array<Entry, kAppCount>& Entries() const { return entries_; }
    // The text of a row of the list: its number, then the title (the command when untitled).
    std::string RowText(int row) const;
    int Selected() const { return selected_; }
    void Select(int row);
    // "↑" and "↓": the selected entry changes place with its neighbour and stays selected; false
    // at the list's end.
    bool MoveUp();
    bool MoveDown();
    // "削除(&D)": the selected entry goes, the ones below move up, an empty row comes last.
    void Delete();
    // "更新(&A)": the fields become the selected entry.
    void Update(const std::string& title, const std::string& command);
    // The OK of the dialog.
    void Apply(Settings& settings) const;

  private:
    std::array<Entry, kAppCount> entries_;
    int selected_ = 0;
};

}  // namespace marlo

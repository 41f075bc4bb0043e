#include "tools/ExternalPrograms.h"

#include <cstdlib>
#include <filesystem>

#include "macro/MacroText.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "text/Encoding.h"

namespace marlo {

namespace fs = std::filesystem;

namespace {

const char* ReadEnv(const EnvReader& env, const char* name) {
    const char* value = env ? env(name) : std::getenv(name);
    return value && *value ? value : nullptr;
}

std::vector<std::string> Append(std::vector<std::string> argv,
                                const std::vector<std::string>& more) {
    argv.insert(argv.end(), more.begin(), more.end());
    return argv;
}

}  // namespace

std::optional<ProgramStart> CommandStart(const std::string& commandLine) {
    ProgramStart start;
    start.argv = SplitProgramLine(commandLine);
    if (start.argv.empty() || start.argv[0].empty()) return std::nullopt;
    const fs::path program(start.argv[0]);
    if (program.has_parent_path()) {
        std::error_code ec;
        const fs::path absolute = fs::absolute(program, ec);
        if (!ec) {
            start.argv[0] = absolute.string();
            start.workDir = absolute.parent_path().string();
        }
    }
    return start;
}

std::string CommandWord(const std::string& path) {
    if (path.find_first_of(" \t\"'") == std::string::npos) return path;
    // In double quotes; a double quote itself leaves them for a single-quoted one.
    std::string word = "\"";
    for (char c : path) word += c == '"' ? std::string("\"'\"'\"") : std::string(1, c);
    return word + '"';
}

bool IsDefaultEditor(const std::string& program) {
    const auto words = SplitProgramLine(program);
    return words.empty() || EqualsIgnoringCase(program, "notepad.exe");
}

std::vector<ProgramStart> OpenWith(const std::string& program,
                                   const std::vector<std::string>& files, const EnvReader& env) {
    if (!IsDefaultEditor(program)) {
        auto start = CommandStart(program);
        if (!start) return {};
        start->argv = Append(std::move(start->argv), files);
        return {*start};
    }
    if (const char* visual = ReadEnv(env, "VISUAL"))
        if (auto words = SplitProgramLine(visual); !words.empty())
            return {{Append(std::move(words), files), {}}};
    if (const char* editor = ReadEnv(env, "EDITOR"))
        if (auto words = SplitProgramLine(editor); !words.empty())
            return {{Append(Append({"x-terminal-emulator", "-e"}, words), files), {}}};
    if (files.empty()) return {{{"x-terminal-emulator", "-e", "sensible-editor"}, {}}};
    std::vector<ProgramStart> starts;
    for (const auto& f : files) starts.push_back({{"xdg-open", f}, {}});
    return starts;
}

bool StartAll(IPlatform& platform, const std::vector<ProgramStart>& starts) {
    if (starts.empty()) return false;
    for (const auto& s : starts)
        if (!platform.StartProcess(s.argv, s.workDir)) return false;
    return true;
}

bool StartEditor(IPlatform& platform, const Settings& settings, const EnvReader& env) {
    if (StartAll(platform, OpenWith(SjisToUtf8(settings.Editor), {}, env))) return true;
    platform.MessageBox(kEditorStartFailed, MsgIcon::Exclamation);
    return false;
}

bool RunCommandLine(IPlatform& platform, const std::string& commandSjis) {
    auto start = CommandStart(SjisToUtf8(commandSjis));
    if (start && platform.StartProcess(start->argv, start->workDir)) return true;
    platform.MessageBox(kCommandStartFailed, MsgIcon::Exclamation);
    return false;
}

bool IsAppCommand(int id) {
    return id >= kFirstAppCommand && id < kFirstAppCommand + kAppCount;
}

void RunAppCommand(IPlatform& platform, const Settings& settings, int id) {
    if (IsAppCommand(id))
        RunCommandLine(platform, settings.AppCommand[static_cast<size_t>(id - kFirstAppCommand)]);
}

std::vector<AppMenuEntry> AppMenuEntries(const Settings& settings) {
    std::vector<AppMenuEntry> entries;
    for (size_t i = 0; i < kAppCount; ++i) {
        const std::string& label =
            settings.AppTitle[i].empty() ? settings.AppCommand[i] : settings.AppTitle[i];
        if (!label.empty()) entries.push_back({kFirstAppCommand + static_cast<int>(i), label});
    }
    return entries;
}

AppListModel::AppListModel(const Settings& settings) {
    for (size_t i = 0; i < kAppCount; ++i)
        entries_[i] = {settings.AppTitle[i], settings.AppCommand[i]};
}

std::string AppListModel::RowText(int row) const {
    if (row < 0 || row >= kAppCount) return {};
    const Entry& e = entries_[static_cast<size_t>(row)];
    return std::to_string(row + 1) + ": " + (e.title.empty() ? e.command : e.title);
}

void AppListModel::Select(int row) {
    if (row >= 0 && row < kAppCount) selected_ = row;
}

bool AppListModel::MoveUp() {
    if (selected_ == 0) return false;
    std::swap(entries_[static_cast<size_t>(selected_)],
              entries_[static_cast<size_t>(selected_ - 1)]);
    --selected_;
    return true;
}

bool AppListModel::MoveDown() {
    if (selected_ + 1 >= kAppCount) return false;
    std::swap(entries_[static_cast<size_t>(selected_)],
              entries_[static_cast<size_t>(selected_ + 1)]);
    ++selected_;
    return true;
}

void AppListModel::Delete() {
    for (size_t i = static_cast<size_t>(selected_); i + 1 < kAppCount; ++i)
        entries_[i] = entries_[i + 1];
    entries_[kAppCount - 1] = {};
}

void AppListModel::Update(const std::string& title, const std::string& command) {
    entries_[static_cast<size_t>(selected_)] = {title, command};
}

void AppListModel::Apply(Settings& settings) const {
    for (size_t i = 0; i < kAppCount; ++i) {
        settings.AppTitle[i] = entries_[i].title;
        settings.AppCommand[i] = entries_[i].command;
    }
}

}  // namespace marlo

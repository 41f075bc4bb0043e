#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <thread>

#include "platform/Spawn.h"
#include "settings/Settings.h"
#include "support/PtyPair.h"
#include "support/RecordingPlatform.h"
#include "support/TempDir.h"
#include "tools/ExternalPrograms.h"

namespace marlo {
namespace {

using Argv = std::vector<std::string>;

// Starts programs for real, as the desktop does.
struct SpawningPlatform : test::RecordingPlatform {
    bool StartProcess(const Argv& argv, const std::string& workDir) override {
        RecordingPlatform::StartProcess(argv, workDir);
        return SpawnDetached(argv, workDir);
    }
};

std::string WaitForFile(const std::string& path) {
    std::string text;
    for (int i = 0; i < 100 && (text = test::ReadWhole(path)).empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return text;
}

// A program in folder T ("my tools", a blank in its name) that writes where it runs, its
// arguments and its open descriptors.
struct ToolFolder {
    ToolFolder() {
        std::filesystem::create_directory(tools);
        test::WriteWhole(
            script,
            "#!/bin/sh\n"
            "out=\"$1\"; shift\n"
            "{ pwd; for a in \"$@\"; do echo \"[$a]\"; done; ls /proc/$$/fd; } > \"$out.tmp\"\n"
            "mv \"$out.tmp\" \"$out\"\n");
        ::chmod(script.c_str(), 0755);
    }
    test::TempDir dir;
    std::string tools = dir.Str() + "/my tools";
    std::string script = tools + "/report.sh";
    std::string out = dir.Str() + "/out";
};

TEST(ExternalPrograms, ACommandStartsInItsProgramsFolderWithItsArgumentsAndNoneOfOurDescriptors) {
    ToolFolder t;
    // The line and a socket, open without close-on-exec as a careless opener leaves them.
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    int line = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY);
    int lineHigh = ::fcntl(line, F_DUPFD, 60);
    int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    int sockHigh = ::fcntl(sock, F_DUPFD, 61);
    ASSERT_GE(lineHigh, 60);
    ASSERT_GE(sockHigh, 61);

    SpawningPlatform p;
    // The folder comes from the program alone: the arguments name other folders and hold blanks.
    const std::string command = "\"" + t.script + "\" '" + t.out + "' /usr/lib \"two words\" x/y";
    EXPECT_TRUE(RunCommandLine(p, command));
    const std::string text = WaitForFile(t.out);
    ::close(lineHigh);
    ::close(sockHigh);
    ::close(line);
    ::close(sock);
    EXPECT_EQ(text.substr(0, text.find('\n')), t.tools) << text;
    EXPECT_NE(text.find("\n[/usr/lib]\n[two words]\n[x/y]\n"), std::string::npos) << text;
    EXPECT_EQ(text.find("\n60\n"), std::string::npos) << "the line leaked: " << text;
    EXPECT_EQ(text.find("\n61\n"), std::string::npos) << "the socket leaked: " << text;
    EXPECT_TRUE(p.boxes.empty());

    // A program named relative to where Marlo runs still starts after the folder change.
    const auto cwd = std::filesystem::current_path();
    std::filesystem::current_path(t.dir.path);
    auto start = CommandStart("'my tools/report.sh' out2");
    std::filesystem::current_path(cwd);
    ASSERT_TRUE(start);
    EXPECT_EQ(start->argv, (Argv{t.script, "out2"}));
    EXPECT_EQ(start->workDir, t.tools);
    // A program found in PATH starts where Marlo runs.
    start = CommandStart("  ls   -l /tmp ");
    ASSERT_TRUE(start);
    EXPECT_EQ(start->argv, (Argv{"ls", "-l", "/tmp"}));
    EXPECT_EQ(start->workDir, "");
    // A chosen program path comes back whole from the command line it is put into.
    for (const std::string path : {"/bin/ls", "/a b/c", "/it's/x", "/say \"hi\" 'x'/p"}) {
        start = CommandStart(CommandWord(path) + " arg");
        ASSERT_TRUE(start) << path;
        EXPECT_EQ(start->argv[0], path);
    }
}

TEST(ExternalPrograms, ACommandThatCannotStartSaysSo) {
    ToolFolder t;
    SpawningPlatform p;
    for (const std::string& command :
         {std::string("/nonexistent/program arg"), std::string(""), std::string("   "),
          std::string("\"\""), t.dir.Str() /* a folder */}) {
        p.boxes.clear();
        EXPECT_FALSE(RunCommandLine(p, command)) << command;
        ASSERT_EQ(p.boxes.size(), 1u) << command;
        EXPECT_EQ(p.boxes[0].text, "コマンドの実行に失敗しました.");
    }
    // A working folder that cannot be entered is a failure too, not a start elsewhere.
    EXPECT_FALSE(SpawnDetached({"true"}, t.dir.Str() + "/missing"));

    // The user applications: the n-th command, its failure told the same way.
    Settings s;
    s.AppCommand[2] = CommandWord(t.script) + " " + CommandWord(t.out);
    test::RecordingPlatform r;
    RunAppCommand(r, s, kFirstAppCommand + 2);
    ASSERT_EQ(r.processes.size(), 1u);
    EXPECT_EQ(r.processes[0], (Argv{t.script, t.out}));
    EXPECT_EQ(r.workDirs[0], t.tools);
    RunAppCommand(r, s, kFirstAppCommand);  // empty
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0].text, "コマンドの実行に失敗しました.");
    EXPECT_FALSE(IsAppCommand(kFirstAppCommand + kAppCount));
    EXPECT_FALSE(IsAppCommand(kFirstAppCommand - 1));
}

TEST(ExternalPrograms, TheStoredNotepadMeansTheUsersEditor) {
    std::map<std::string, std::string> env;
    EnvReader read = [&env](const char* name) -> const char* {
        auto it = env.find(name);
        return it == env.end() ? nullptr : it->second.c_str();
    };
    auto argvs = [&](const std::string& program, const Argv& files) {
        std::vector<Argv> out;
        for (const auto& s : OpenWith(program, files, read)) out.push_back(s.argv);
        return out;
    };
    // Nothing set: the desktop's application for each file, one at a time.
    EXPECT_EQ(argvs("notepad.exe", {"/l/a.log", "/l/b.log"}),
              (std::vector<Argv>{{"xdg-open", "/l/a.log"}, {"xdg-open", "/l/b.log"}}));
    EXPECT_EQ(argvs("NOTEPAD.EXE", {}),
              (std::vector<Argv>{{"x-terminal-emulator", "-e", "sensible-editor"}}));
    EXPECT_EQ(argvs("", {"/f"}), (std::vector<Argv>{{"xdg-open", "/f"}}));
    // $EDITOR is a terminal program: it gets a terminal; its own arguments stay.
    env["EDITOR"] = "vim -R";
    EXPECT_EQ(
        argvs("notepad.exe", {"/l/a.log", "/l/b.log"}),
        (std::vector<Argv>{{"x-terminal-emulator", "-e", "vim", "-R", "/l/a.log", "/l/b.log"}}));
    // $VISUAL comes first and runs as it is.
    env["VISUAL"] = "'/opt/my editor/ed'";
    EXPECT_EQ(argvs("notepad.exe", {"/f"}), (std::vector<Argv>{{"/opt/my editor/ed", "/f"}}));
    // Any other setting is the program itself, every file to one process.
    EXPECT_EQ(argvs("gedit --new-window", {"/l/a b.log", "/l/c.log"}),
              (std::vector<Argv>{{"gedit", "--new-window", "/l/a b.log", "/l/c.log"}}));
    EXPECT_TRUE(argvs("\"\"", {"/f"}).empty());

    // The editor command: a failure is told with its own message.
    Settings s;
    s.Editor = "/nonexistent/editor";
    SpawningPlatform p;
    EXPECT_FALSE(StartEditor(p, s, read));
    ASSERT_EQ(p.boxes.size(), 1u);
    EXPECT_EQ(p.boxes[0].text, "エディタの起動に失敗しました.");
}

TEST(ExternalPrograms, TheApplicationListMovesDeletesUpdatesAndNamesTheMenu) {
    Settings s;
    s.AppTitle[0] = "one";
    s.AppCommand[0] = "cmd1";
    s.AppTitle[1] = "two";
    s.AppCommand[1] = "cmd2";
    s.AppCommand[3] = "untitled --x";
    AppListModel m(s);
    EXPECT_EQ(m.RowText(0), "1: one");
    EXPECT_EQ(m.RowText(3), "4: untitled --x");
    EXPECT_EQ(m.RowText(6), "7: ");
    EXPECT_FALSE(m.MoveUp());  // the first row stays
    EXPECT_TRUE(m.MoveDown());
    EXPECT_EQ(m.Selected(), 1);
    EXPECT_EQ(m.Entries()[1].title, "one");
    EXPECT_EQ(m.Entries()[0].title, "two");
    m.Select(6);
    EXPECT_FALSE(m.MoveDown());  // the last row stays
    m.Update("seven", "cmd7");
    m.Select(0);
    m.Delete();  // "two" goes, the rest move up, the last row is empty
    EXPECT_EQ(m.Entries()[0].title, "one");
    EXPECT_EQ(m.Entries()[2].command, "untitled --x");
    EXPECT_EQ(m.Entries()[5].title, "seven");
    EXPECT_EQ(m.Entries()[6].title, "");
    m.Select(99);  // ignored
    EXPECT_EQ(m.Selected(), 0);

    m.Apply(s);
    EXPECT_EQ(s.AppTitle[5], "seven");
    EXPECT_EQ(s.AppCommand[6], "");
    auto menu = AppMenuEntries(s);
    ASSERT_EQ(menu.size(), 3u);
    EXPECT_EQ(menu[0].id, 900);
    EXPECT_EQ(menu[0].label, "one");
    EXPECT_EQ(menu[1].id, 902);
    EXPECT_EQ(menu[1].label, "untitled --x");
    EXPECT_EQ(menu[2].id, 905);
}

}  // namespace
}  // namespace marlo

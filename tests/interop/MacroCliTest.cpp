// marlo-cli macro end to end: a logon on a real telnet server (inetutils telnetd running a login
// script), a modem dialled over a pty, a wait that times out, SIGINT during a wait or a transfer,
// ZMODEM both ways against lrzsz, and the exit statuses a script relies on.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

#include "support/ModemSimulator.h"
#include "support/PtyPair.h"
#include "support/RunProgram.h"
#include "support/TelnetDaemon.h"
#include "support/TempDir.h"
#include "support/TransferKit.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

// A macro file in `dir` from lines ended by CR, in Shift-JIS, as the program's own editor would
// save it.
std::string MacroFile(const test::TempDir& dir, const std::string& name,
                      const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += Utf8ToSjis(l) + "\r";
    std::string path = dir.Str() + "/" + name;
    test::WriteWhole(path, text);
    return path;
}

TEST(MacroCli, LogsOnToARealTelnetServer) {
    test::TempDir dir;
    test::TelnetDaemon daemon(
        "printf 'login: '; read u; printf 'Password: '; stty -echo; read p; stty echo\n"
        "printf '\\nWelcome %s (%s)\\n$ ' \"$u\" \"${#p}\"; read c; echo \"ran $c\"; sleep 1",
        dir.path);
    ASSERT_TRUE(daemon.Running());
    auto mac = MacroFile(dir, "logon.mac",
                         {"wait \"login:\" /T10", "send \"guest^M\"", "wait \"Password:\" /T10",
                          "send \"secret^M\"", "wait \"$ \" \"incorrect\" /T10",
                          "if (@result != 1)", "exit", "endif", "send \"date^M\"",
                          "wait \"ran date\" /T10", "wait \"never\" /T1"});
    auto r = test::RunProgram(MARLO_CLI_PATH, {"macro", mac, "--telnet", daemon.Address()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("Welcome guest (6)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ran date"), std::string::npos) << r.out;
}

TEST(MacroCli, DialsAModemAndTalksToTheHostBehindIt) {
    test::TempDir dir;
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    test::ModemSimulator modem([&](const std::string& s) { pty.Write(s); });
    std::atomic<bool> done{false};
    std::thread far([&] {
        // Once the program has ended, what it wrote last is still read before the modem stops.
        for (bool quiet = false; !(done && quiet);) {
            pollfd p{pty.Master(), POLLIN, 0};
            quiet = true;
            if (::poll(&p, 1, 20) > 0 && (p.revents & POLLIN)) {
                uint8_t buf[256];
                ssize_t n = ::read(pty.Master(), buf, sizeof buf);
                if (n > 0) modem.FromHost(buf, static_cast<size_t>(n));
                quiet = n <= 0;
            }
            modem.Poll();
        }
    });
    auto mac = MacroFile(dir, "dial.mac",
                         {"send \"ATZ^M\"", "wait \"OK\" /T5", "send \"ATDT0123^M\"",
                          "wait \"CONNECT\" \"BUSY\" /T5", "string r", "changeitos @result $r",
                          "send \"result \"", "send $r", "send \"^M\""});
    auto r = test::RunProgram(MARLO_CLI_PATH, {"macro", mac, "--serial", pty.SlavePath()});
    done = true;
    far.join();
    EXPECT_EQ(r.status, 0) << r.err;
    ASSERT_GE(modem.Commands().size(), 2u);
    EXPECT_EQ(modem.Commands()[1], "ATDT0123");
    EXPECT_NE(modem.OnlineReceived().find("result 1\r"), std::string::npos) << modem.OnlineReceived();
}

TEST(MacroCli, ExitStatusesAndTimeOuts) {
    test::TempDir dir;
    // A wait with /T gives up with result 0 and the macro goes on; the answers file answers
    // nothing here, and an error names its line and fails the run.
    auto timeout = MacroFile(dir, "t.mac", {"wait \"never\" /T1", "send @result", "exit"});
    auto r = test::RunProgram(MARLO_CLI_PATH, {"macro", timeout, "--stdio"}, {}, 30000, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "0");
    // Without a history folder nothing is left behind in the working folder.
    EXPECT_FALSE(std::filesystem::exists("lglog.txt"));
    auto bad = MacroFile(dir, "bad.mac", {"send \"a\"", "nonsense"});
    r = test::RunProgram(MARLO_CLI_PATH, {"macro", bad, "--offline"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("認識できないコマンド(nonsense)です。 [2行目]"), std::string::npos) << r.err;
    r = test::RunProgram(MARLO_CLI_PATH, {"macro", dir.Str() + "/missing.mac", "--offline"});
    EXPECT_EQ(r.status, 2);
    r = test::RunProgram(MARLO_CLI_PATH, {"macro", bad});
    EXPECT_EQ(r.status, 2) << "no line named";
    r = test::RunProgram(MARLO_CLI_PATH, {"macro", bad, "--telnet", "127.0.0.1:1"});
    EXPECT_EQ(r.status, 1) << "refused host";
}

TEST(MacroCli, EveryKindOfBoxTakesItsAnswerFromTheFile) {
    test::TempDir dir;
    auto mac = MacroFile(dir, "boxes.mac",
                         {"string s",
                          "int n",
                          "message \"お知らせ\"",
                          "question \"続けますか\"",
                          "send @result",
                          "input \"名前\" $s",
                          "send $s",
                          "inputpassword \"ﾊﾟｽﾜｰﾄﾞ\" $s",
                          "send $s",
                          "createdialog \"ホスト\" 0 0 120 80",
                          "addlist \"\" 10 5 5 100 50",
                          "addstring 10 \"PC-VAN\"",
                          "addstring 10 \"NIFTY\"",
                          "addcheck \"ログ\" 20 5 60 40 10",
                          "adddefbutton \"OK\" 1 60 60 40 14",
                          "domodal",
                          "send @result",
                          "getstring 10 $s",
                          "send $s",
                          "getstate 20 @n",
                          "send @n",
                          "domodal",
                          "send @result",
                          "input \"x\" $s",
                          "send @result"});
    const std::string answers = dir.Str() + "/answers.txt";
    test::WriteWhole(answers, "ok\nyes\ntext:guest\ntext:secret\nid:1|1|1\nid:5\ncancel\n");
    auto r = test::RunProgram(MARLO_CLI_PATH, {"macro", mac, "--stdio", "--answers", answers}, {},
                              30000, "");
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "1guestsecret1NIFTY100");
    for (const char* shown : {"[お知らせ] -> ok", "[続けますか] -> yes", "[名前] -> text:guest",
                              "[ﾊﾟｽﾜｰﾄﾞ] -> text:****", "[ホスト] -> id:1",
                              "no button or list has the ID 5", "[x] -> cancel"})
        EXPECT_NE(r.err.find(shown), std::string::npos) << shown << "\n" << r.err;
}

// Suspended, the line is not read: a wait misses what arrives until resume. The capture log opened
// by the macro records what the terminal shows, and the screen can be read back.
TEST(MacroCli, SuspendHoldsTheLineAndTheLogAndScreenSeeWhatArrives) {
    test::TempDir dir;
    auto mac = MacroFile(dir, "s.mac",
                         {"log begin /F\"" + dir.Str() + "/cap.log\" /M", "suspend",
                          "wait \"mail\" /T1", "send @result", "resume", "wait \"mail\" /T10",
                          "send @result", "log end", "string s", "readline /L1 $s", "strhead $s $s 8",
                          "send $s"});
    test::RunningProgram p(MARLO_CLI_PATH, {"macro", mac, "--stdio"});
    ASSERT_TRUE(p.Started());
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));  // the line is suspended by now
    p.Type("new mail\r\n");
    auto r = p.Wait(30000);
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "01new mail");
    EXPECT_EQ(test::ReadWhole(dir.Str() + "/cap.log"), "new mail\r\n");
}

// The day's mail by ZMODEM both ways against lrzsz: the macro sends a file to rz, takes one from
// sz (which the host starts, so the download may already run when the macro asks), and goes on
// with both results set.
TEST(MacroCli, UploadsAndDownloadsByZmodemAgainstLrzszAndGoesOn) {
    test::TempDir ours, theirs;
    test::WriteWhole(ours.Str() + "/up.txt", "from the macro\n");
    test::WriteWhole(theirs.Str() + "/mail.txt", "today's mail\n");
    std::filesystem::create_directory(ours.Str() + "/in");
    auto mac = MacroFile(ours, "mail.mac",
                         {"string a b", "upload /P\"ZMODEM\" /F\"" + ours.Str() + "/up.txt\"",
                          "changeitos @result $a", "download /P7", "changeitos @result $b",
                          "send \"R\"", "send $a", "send $b", "send \"^M\""});
    test::SocketPair sp;
    pid_t cli = test::SpawnOnFd({MARLO_CLI_PATH, "macro", mac, "--stdio", "--set",
                                 "DownlodDefPath=" + ours.Str() + "/in"},
                                sp.a, "", ours.Str() + "/cli.err");
    pid_t peer = test::SpawnOnFd({"sh", "-c", "rz -q -y && sz -q mail.txt && head -c 4 > tail.txt"},
                                 sp.b, theirs.Str(), theirs.Str() + "/peer.err");
    ::close(sp.a);
    ::close(sp.b);
    sp.a = sp.b = -1;
    EXPECT_EQ(test::WaitExit(cli, 60000), 0) << test::ReadWhole(ours.Str() + "/cli.err");
    EXPECT_EQ(test::WaitExit(peer, 10000), 0) << test::ReadWhole(theirs.Str() + "/peer.err");
    EXPECT_EQ(test::ReadWhole(theirs.Str() + "/up.txt"), "from the macro\n");
    EXPECT_EQ(test::ReadWhole(ours.Str() + "/in/mail.txt"), "today's mail\n");
    EXPECT_EQ(test::ReadWhole(theirs.Str() + "/tail.txt"), "R11\r");
}

TEST(MacroCli, SigintStopsAWaitOrATransferAtOnce) {
    test::TempDir dir;
    struct Case {
        const char* statement;
        const char* line;
    } cases[] = {{"wait \"never\" /T600", "--offline"}, {"download /P\"ZMODEM\"", "--stdio"}};
    for (const auto& c : cases) {
        auto mac = MacroFile(dir, "long.mac", {c.statement, "send \"after\""});
        test::RunningProgram p(MARLO_CLI_PATH, {"macro", mac, c.line});
        ASSERT_TRUE(p.Started());
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        auto started = std::chrono::steady_clock::now();
        ASSERT_EQ(::kill(p.Pid(), SIGINT), 0);
        auto r = p.Wait(20000);
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << c.statement;
        EXPECT_EQ(r.status, 1) << c.statement;
        EXPECT_NE(r.err.find("stopped"), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("after"), std::string::npos);
    }
}

}  // namespace
}  // namespace marlo

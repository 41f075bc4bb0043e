// marlo-cli connect against the scripted telnet server and, for --serial --dial, against the
// modem simulator passing the session through to that server.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/ModemSimulator.h"
#include "support/RunProgram.h"
#include "support/TelnetTestServer.h"
#include "support/TempDir.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

using test::TelnetTestServer;

// marlo-cli connect with its standard input held open (or closed) and its outputs collected.
class Cli {
  public:
    explicit Cli(std::vector<std::string> args, bool closeStdin = true)
        : run_(MARLO_CLI_PATH, WithCommand(std::move(args))) {
        if (closeStdin) run_.CloseInput();
    }
    void Type(const std::string& s) { EXPECT_TRUE(run_.Type(s)); }
    // The exit status, or -1 when it did not end within the limit (it is killed then, and its
    // outputs are collected all the same).
    int Wait(int ms = 20000) {
        test::RunResult r = run_.Wait(ms);
        out = r.out;
        err = r.err;
        return r.status;
    }
    std::string out, err;

  private:
    static std::vector<std::string> WithCommand(std::vector<std::string> args) {
        args.insert(args.begin(), "connect");
        return args;
    }
    test::RunningProgram run_;
};

TEST(ConnectCommand, ScriptedDialogueThenExitWhenTheServerCloses) {
    TelnetTestServer server;
    Cli cli({"--telnet", "127.0.0.1:" + std::to_string(server.Port()), "--utf8", "--set",
             "CodeExchange=0", "--wait", "login:", "--send", "guest\\r", "--wait",
             "word:", "--send", "secret\\r"});
    ASSERT_TRUE(server.Accept());
    // Prompt and the next prompt in one burst: the second wait still sees it.
    server.Send("\xff\xfd\x01Welcome\r\nlogin: \x82\xa0 Password: ");
    ASSERT_TRUE(server.WaitFor("secret\r"));
    std::string r = server.Received();
    EXPECT_EQ(r.substr(0, 6), std::string("\xff\xfd\x00\xff\xfb\x00", 6));
    EXPECT_NE(r.find("\xff\xfb\x01"), std::string::npos) << "the DO ECHO is answered raw";
    EXPECT_LT(r.find("guest\r"), r.find("secret\r"));
    server.CloseClient();
    EXPECT_EQ(cli.Wait(), 0) << cli.err;
    EXPECT_NE(cli.out.find("login: あ Password:"), std::string::npos) << cli.out;
}

TEST(ConnectCommand, StandardInputGoesToTheLineAsTypedLines) {
    TelnetTestServer server;
    Cli cli({"--telnet", "127.0.0.1:" + std::to_string(server.Port())}, false);
    ASSERT_TRUE(server.Accept());
    cli.Type("ls -l\n");
    ASSERT_TRUE(server.WaitFor("ls -l\r"));
    server.CloseClient();
    EXPECT_EQ(cli.Wait(), 0);
}

// With --timestamps each received line starts with its time, once, however the host's blocks cut
// it; the string wait still sees the host's own text.
TEST(ConnectCommand, TimestampsStartEachReceivedLine) {
    TelnetTestServer server;
    Cli cli({"--telnet", "127.0.0.1:" + std::to_string(server.Port()), "--timestamps", "--set",
             "TimeStamp=2", "--wait", "ready\r\n", "--send", "go\r"});
    ASSERT_TRUE(server.Accept());
    server.Send("rea");
    server.Send("dy\r\nline\rlast\r\n");
    ASSERT_TRUE(server.WaitFor("go\r"));
    server.CloseClient();
    EXPECT_EQ(cli.Wait(), 0) << cli.err;
    const std::string stamp = "+00:00:00.";
    ASSERT_EQ(cli.out.size(), 3 * (stamp.size() + 4) + 18) << cli.out;
    EXPECT_EQ(cli.out.rfind(stamp, 0), 0u) << cli.out;
    size_t at = 0;
    for (const char* line : {"ready\r\n", "line\r", "last\r\n"}) {
        EXPECT_EQ(cli.out.compare(at, stamp.size(), stamp), 0) << cli.out;
        at += stamp.size() + 4;
        EXPECT_EQ(cli.out.compare(at, std::string(line).size(), line), 0) << cli.out;
        at += std::string(line).size();
    }
}

TEST(ConnectCommand, FailuresGiveAMessageAndANonZeroStatus) {
    // A refused connect and a device that cannot be opened are marlo-cli's one line code for
    // every command (checked with send).
    {
        Cli cli({"--telnet", "nosuch.invalid"});
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_NE(cli.err.find("marlo-cli connect: cannot resolve host 'nosuch.invalid': "),
                  std::string::npos)
            << cli.err;
    }
    {
        TelnetTestServer server;
        Cli cli({"--telnet", "127.0.0.1:" + std::to_string(server.Port()), "--wait", "never",
                 "--wait-timeout", "200"});
        ASSERT_TRUE(server.Accept());
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_NE(cli.err.find("timed out waiting for \"never\""), std::string::npos) << cli.err;
    }
    for (auto args :
         std::vector<std::vector<std::string>>{{},
                                               {"--telnet", "h", "--serial", "/dev/null"},
                                               {"--telnet", "h:99999"},
                                               {"--telnet", "h", "--set", "NoSuchSetting=1"},
                                               {"--telnet", "h", "--dial", "123"},
                                               {"--telnet", "h", "--send", "bad\\q"},
                                               {"--telnet", "h", "--dtr", "on"},
                                               {"--serial", "/dev/null", "--rts", "high"},
                                               {"--serial", "/dev/null", "--dtr-pulse", "0"},
                                               {"--serial", "/dev/null", "--dtr-pulse"}}) {
        Cli cli(args);
        EXPECT_EQ(cli.Wait(), 2) << cli.err;
    }
}

// Where two long texts part, for a failure message that does not print megabytes.
std::string Difference(const std::string& got, const std::string& want) {
    size_t at = 0;
    while (at < got.size() && at < want.size() && got[at] == want[at]) ++at;
    return "got " + std::to_string(got.size()) + " bytes, want " + std::to_string(want.size()) +
           ", first difference at " + std::to_string(at);
}

TEST(ConnectCommand, EverythingTheHostSentBeforeItClosedIsShownInOrder) {
    const std::string text = test::NumberedSjisLines(10u << 20);
    const std::string last = "line " + test::LastLineNumber(text);
    for (bool utf8 : {false, true}) {
        TelnetTestServer server;
        std::vector<std::string> args{"--telnet", "127.0.0.1:" + std::to_string(server.Port()),
                                      "--wait",   last,
                                      "--send",   "seen\\r"};
        if (utf8) args.push_back("--utf8");
        Cli cli(args);
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.Send(text));
        server.EndSending();
        EXPECT_EQ(cli.Wait(), 0) << cli.err;
        const std::string want = utf8 ? SjisToUtf8(text) : text;
        EXPECT_TRUE(cli.out == want) << Difference(cli.out, want);
        // The wait saw the very last line.
        EXPECT_TRUE(server.WaitFor("seen\r")) << utf8;
    }
}

TEST(ConnectCommand, DialsThroughTheModemToTheHost) {
    TelnetTestServer server;
    test::PtyModem modem;
    modem.PassThroughTo(server.Port());
    Cli cli({"--serial", modem.ProgramPath(), "--dial", "0,123", "--set", "ModemInit1=ATE0",
             "--wait", "Hello", "--send", "hi\\r", "--close-after-script"});
    ASSERT_TRUE(server.Accept(10000));
    server.Send("Hello from the host\r\n");
    if (!server.WaitFor("hi\r")) {
        cli.Wait(0);
        FAIL() << "out: " << cli.out << "\nerr: " << cli.err << "\nserver: " << server.Received();
    }
    EXPECT_EQ(modem.Modem().Commands(), (std::vector<std::string>{"ATE0", "ATDT0,123"}));
    EXPECT_EQ(cli.Wait(), 0) << cli.err;
    EXPECT_NE(cli.out.find("Hello from the host"), std::string::npos);
}

TEST(ConnectCommand, ModemAnswersThatEndTheDial) {
    test::PtyModem modem;
    modem.Modem().QueueDialResults({test::ModemSimulator::DialResult::NoCarrier});
    Cli cli({"--serial", modem.ProgramPath(), "--dial", "123"});
    EXPECT_EQ(cli.Wait(), 1);
    EXPECT_NE(cli.err.find("NO CARRIER"), std::string::npos) << cli.err;
}

}  // namespace
}  // namespace marlo

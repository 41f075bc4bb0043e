// marlo-cli connect against the scripted telnet server and, for --serial --dial, against the
// modem simulator passing the session through to that server.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "support/ModemSimulator.h"
#include "support/TelnetTestServer.h"

extern char** environ;

namespace marlo {
namespace {

using test::TelnetTestServer;

// marlo-cli with its standard input held open (or closed) and its outputs collected.
class Cli {
  public:
    explicit Cli(std::vector<std::string> args, bool closeStdin = true) {
        int in[2], out[2], err[2];
        EXPECT_EQ(::pipe2(in, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(out, O_CLOEXEC), 0);
        EXPECT_EQ(::pipe2(err, O_CLOEXEC), 0);
        posix_spawn_file_actions_t fa;
        posix_spawn_file_actions_init(&fa);
        posix_spawn_file_actions_adddup2(&fa, in[0], 0);
        posix_spawn_file_actions_adddup2(&fa, out[1], 1);
        posix_spawn_file_actions_adddup2(&fa, err[1], 2);
        args.insert(args.begin(), {MARLO_CLI_PATH, "connect"});
        std::vector<char*> argv;
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        EXPECT_EQ(::posix_spawn(&pid_, MARLO_CLI_PATH, &fa, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&fa);
        ::close(in[0]);
        ::close(out[1]);
        ::close(err[1]);
        stdin_ = in[1];
        if (closeStdin) CloseStdin();
        out_ = std::async(std::launch::async, [fd = out[0]] { return Drain(fd); });
        err_ = std::async(std::launch::async, [fd = err[0]] { return Drain(fd); });
    }
    ~Cli() {
        CloseStdin();
        if (pid_ > 0 && !exited_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    void Type(const std::string& s) {
        EXPECT_EQ(::write(stdin_, s.data(), s.size()), (ssize_t)s.size());
    }
    void CloseStdin() {
        if (stdin_ >= 0) ::close(stdin_);
        stdin_ = -1;
    }
    // The exit status, or -1 when it did not end within the limit (it is killed then, and its
    // outputs are collected all the same).
    int Wait(int ms = 20000) {
        auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
        int status = 0;
        bool late = false;
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() >= end) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                late = true;
                break;
            }
            ::usleep(5000);
        }
        exited_ = true;
        CloseStdin();
        out = out_.get();
        err = err_.get();
        return !late && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    std::string out, err;

  private:
    static std::string Drain(int fd) {
        std::string s;
        char buf[4096];
        ssize_t n;
        while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, static_cast<size_t>(n));
        ::close(fd);
        return s;
    }
    pid_t pid_ = -1;
    bool exited_ = false;
    int stdin_ = -1;
    std::future<std::string> out_, err_;
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

TEST(ConnectCommand, FailuresGiveAMessageAndANonZeroStatus) {
    {
        Cli cli({"--telnet", "127.0.0.1:" + std::to_string(TelnetTestServer::ClosedPort())});
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_NE(cli.err.find("connect error(111)"), std::string::npos) << cli.err;
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
                                               {"--telnet", "h", "--send", "bad\\q"}}) {
        Cli cli(args);
        EXPECT_EQ(cli.Wait(), 2) << cli.err;
    }
    {
        Cli cli({"--serial", "/nonexistent/tty"});
        EXPECT_EQ(cli.Wait(), 1);
        EXPECT_NE(cli.err.find("cannot open /nonexistent/tty"), std::string::npos);
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

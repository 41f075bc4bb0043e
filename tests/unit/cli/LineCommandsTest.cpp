// The line options of marlo-cli's send, receive, connect and hosts connect: devices that cannot
// be had, hosts that refuse, the receive options, and host entries connected from a temporary
// configuration folder against the scripted telnet server and the modem simulator.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <future>

#include "app/MainFrame.h"
#include "hosts/HostTable.h"
#include "line/SerialDevice.h"
#include "settings/SettingsFile.h"
#include "support/ModemSimulator.h"
#include "support/PtyPair.h"
#include "support/RecordingPlatform.h"
#include "support/RunProgram.h"
#include "support/TelnetTestServer.h"
#include "support/TempDir.h"
#include "terminal/HexDump.h"
#include "text/Encoding.h"

namespace marlo {
namespace {

namespace fs = std::filesystem;
using test::RunResult;
using test::TelnetTestServer;
using test::TempDir;

RunResult Cli(std::vector<std::string> args, const std::string& configDir = "") {
    std::vector<std::pair<std::string, std::string>> env;
    if (!configDir.empty()) env = {{"MARLO_CONFIG_DIR", configDir}, {"XDG_DATA_HOME", configDir}};
    return test::RunProgram(MARLO_CLI_PATH, args, env, 30000);
}

std::future<RunResult> CliAsync(std::vector<std::string> args, const std::string& configDir) {
    return std::async(std::launch::async, [=] { return Cli(args, configDir); });
}

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

TEST(LineCommands, BadReceiveOptionsAreUsageErrors) {
    const std::vector<std::vector<std::string>> cases = {
        {"receive", "--protocol", "zmodem", "--stdio", "--management", "BOGUS"},
        {"receive", "--protocol", "zmodem", "--stdio", "--management"},
        {"receive", "--protocol", "xmodem", "--stdio", "--management", "prot", "f"},
        {"receive", "--protocol", "zmodem", "--stdio", "--resume", "maybe"},
        {"send", "--protocol", "zmodem", "--stdio", "--resume", "yes", "f"},
        {"receive", "--protocol", "zmodem", "--stdio", "--telnet", "h"},
        {"receive", "--protocol", "zmodem", "--telnet", "h:0"},
        {"receive", "--protocol", "zmodem", "--serial"},
    };
    for (const auto& args : cases) {
        RunResult r = Cli(args);
        EXPECT_EQ(r.status, 2) << args[4] << " " << r.err;
    }
    RunResult bogus = Cli(cases[0]);
    EXPECT_TRUE(Has(bogus.err, "BOGUS")) << bogus.err;
}

TEST(LineCommands, EveryCommandTakesHelp) {
    for (const char* cmd : {"send", "receive", "screen", "convert", "connect", "settings", "hosts",
                            "history", "ports"}) {
        for (const char* help : {"--help", "-h"}) {
            RunResult r = Cli({cmd, "--protocol", "zmodem", help});
            EXPECT_EQ(r.status, 0) << cmd << " " << r.err;
            EXPECT_TRUE(Has(r.out, std::string("usage:\n  ") + cmd)) << r.out;
        }
    }
    EXPECT_TRUE(Has(Cli({"receive", "--help"}).out, "no also wins over a sender"));
}

// Where received files go must take them: the folder is named with the reason before the line is
// used (the kernel's /sys takes no new files, not even from root).
TEST(LineCommands, AFolderThatTakesNoFilesIsNamed) {
    const std::vector<std::vector<std::string>> cases = {
        {"receive", "--protocol", "zmodem", "--stdio", "--dir", "/sys"},
        {"receive", "--protocol", "xmodem", "--stdio", "/sys/f.bin"},
        {"receive", "--protocol", "ymodem", "--stdio", "--set", "DownlodDefPath=/sys"},
    };
    for (const auto& args : cases) {
        RunResult r = Cli(args);
        EXPECT_EQ(r.status, 2) << args.back();
        EXPECT_TRUE(Has(r.err, "cannot write in folder /sys: Permission denied")) << r.err;
    }
}

TEST(LineCommands, DevicesThatCannotBeHadAreNamed) {
    {
        RunResult send =
            Cli({"send", "--protocol", "zmodem", "--serial", "/nonexistent/tty", "/etc/hostname"});
        EXPECT_EQ(send.status, 2);
        EXPECT_TRUE(Has(send.err, "cannot open /nonexistent/tty: No such file")) << send.err;
    }
    {
        RunResult notTty = Cli({"connect", "--serial", "/dev/null"});
        EXPECT_EQ(notTty.status, 2);
        EXPECT_TRUE(Has(notTty.err, "not a serial device")) << notTty.err;
    }
    // A device that is no serial device is a file error for every command.
    for (const char* cmd : {"send", "receive"}) {
        RunResult notTty =
            Cli({cmd, "--protocol", "zmodem", "--serial", "/dev/null", "/etc/hostname"});
        EXPECT_EQ(notTty.status, 2) << cmd;
        EXPECT_TRUE(Has(notTty.err, "/dev/null: not a serial device")) << notTty.err;
    }
    test::PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TermiosDevice holder;
    ASSERT_EQ(holder.Open(pty.SlavePath()), SerialStatus::Ok);
    RunResult busy = Cli({"connect", "--serial", pty.SlavePath()});
    EXPECT_EQ(busy.status, 2);
    EXPECT_TRUE(Has(busy.err, "in use by another program")) << busy.err;
    holder.Close();
    RunResult params = Cli({"connect", "--serial", pty.SlavePath(), "--set", "DataLen=5"});
    EXPECT_EQ(params.status, 2);
    EXPECT_TRUE(Has(params.err, "does not take Speed=2400 DataLen=5")) << params.err;
}

TEST(LineCommands, ConnectOnASerialLineShowsEverythingAndEndsWhenTheFarEndHangsUp) {
    auto pty = std::make_unique<test::PtyPair>();
    ASSERT_TRUE(pty->Ok());
    const std::string text = test::NumberedSjisLines(1u << 20);
    auto cli = CliAsync(
        {"connect", "--serial", pty->SlavePath(), "--dtr-pulse", "20", "--wait", "ready", "--send",
         "ok\\r", "--wait", "line " + test::LastLineNumber(text), "--send", "bye\\r"},
        "");
    pty->Write("ready");
    EXPECT_EQ(pty->Read(3, 10000), "ok\r");
    ASSERT_TRUE(pty->Write(text));
    // A pty throws away what its reader has not taken when the far end closes: the far end
    // hangs up once the last line was seen.
    EXPECT_EQ(pty->Read(4, 10000), "bye\r");
    pty.reset();
    RunResult r = cli.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == "ready" + text) << r.out.size();
}

// With --reconnect a serial device that goes away is waited for and opened again under the same
// name with the same parameters; what came before and after is shown in order.
TEST(LineCommands, ConnectReconnectsASerialDeviceThatComesBackUnderItsName) {
    TempDir dir;
    const fs::path byId = fs::path(dir.Str()) / "by-id";
    const fs::path link = byId / "usb-Marlo_Adapter_0001-if00-port0";
    fs::create_directories(byId);
    auto pty = std::make_unique<test::PtyPair>();
    ASSERT_TRUE(pty->Ok());
    fs::create_symlink(pty->SlavePath(), link);
    auto cli = CliAsync({"connect", "--serial", link.string(), "--reconnect", "--set",
                         "Speed=19200", "--wait", "before", "--send", "ok\\r", "--wait", "after",
                         "--send", "back\\r", "--wait", "end", "--close-after-script"},
                        "");
    ASSERT_TRUE(pty->Write("before"));
    EXPECT_EQ(pty->Read(3, 10000), "ok\r");
    pty.reset();
    fs::remove(link);
    pty = std::make_unique<test::PtyPair>();
    fs::create_symlink(pty->SlavePath(), link);
    ASSERT_TRUE(pty->Write("after"));
    EXPECT_EQ(pty->Read(5, 10000), "back\r");
    struct termios t {};
    ASSERT_TRUE(pty->SlaveTermios(t));
    EXPECT_EQ(cfgetospeed(&t), B19200);
    ASSERT_TRUE(pty->Write("end"));
    RunResult r = cli.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "beforeafterend");
    EXPECT_LT(r.err.find("回線が切断されました"), r.err.find("回線を再接続しました")) << r.err;
}

TEST(LineCommands, ConnectSavesTheReceivedTextAsTheTerminalKeepsIt) {
    TempDir d;
    const std::string file = (d.path / "recv.txt").string();
    for (bool append : {false, true}) {
        auto pty = std::make_unique<test::PtyPair>();
        ASSERT_TRUE(pty->Ok());
        std::vector<std::string> args = {
            "connect", "--serial",    pty->SlavePath(), "--set",  "CodeExchange=4",
            "--set",   "Emulation=1", "--text-receive", file,     "--wait",
            "ready",   "--send",      "ok\\r",          "--wait", "END",
            "--send",  "bye\\r"};
        if (append) args.push_back("--append");
        auto cli = CliAsync(args, "");
        pty->Write("ready");
        ASSERT_EQ(pty->Read(3, 10000), "ok\r");
        // EUC in; the host erases a kanji with two backspaces; a VT100's escapes only drive the
        // screen.
        pty->Write("\x1b[1mab\xb4\xc1\b\bc\r\nEND");
        ASSERT_EQ(pty->Read(4, 10000), "bye\r");
        pty.reset();
        RunResult r = cli.get();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.out, "\x1b[1mab")) << r.out;  // standard output is unchanged
        const std::string once = "readyabc\r\nEND";
        EXPECT_EQ(test::ReadWhole(file), append ? once + once : once);
    }
    test::PtyPair pty;
    RunResult lone = Cli({"connect", "--serial", pty.SlavePath(), "--append"});
    EXPECT_EQ(lone.status, 2);
    EXPECT_TRUE(Has(lone.err, "--append needs --text-receive")) << lone.err;
    RunResult folder =
        Cli({"connect", "--serial", pty.SlavePath(), "--text-receive", d.path.string()});
    EXPECT_EQ(folder.status, 2);
    EXPECT_TRUE(Has(folder.err, "ﾃｷｽﾄ受信ﾌｧｲﾙのｵｰﾌﾟﾝに失敗しました.")) << folder.err;
}

// --hex writes the received bytes as a dump, row by row as they come: their hex columns read
// back give every byte in order, and a kanji whose bytes came apart shows whole.
TEST(LineCommands, ConnectHexDumpsTheReceivedBytes) {
    auto pty = std::make_unique<test::PtyPair>();
    ASSERT_TRUE(pty->Ok());
    auto cli = CliAsync({"connect", "--serial", pty->SlavePath(), "--hex", "--utf8", "--wait",
                         "ready", "--send", "ok\\r", "--wait", "END", "--send", "bye\\r"},
                        "");
    pty->Write("ready");
    ASSERT_EQ(pty->Read(3, 10000), "ok\r");
    pty->Write("0123456789\x88");
    pty->Write(std::string("\x9f\x00\xff\r\nEND", 8));
    ASSERT_EQ(pty->Read(4, 10000), "bye\r");
    pty.reset();
    RunResult r = cli.get();
    EXPECT_EQ(r.status, 0) << r.err;
    std::string bytes;
    size_t at = 0;
    while (at < r.out.size()) {
        const size_t end = r.out.find('\n', at);
        ASSERT_NE(end, std::string::npos) << r.out;
        const std::string row = r.out.substr(at, end - at);
        EXPECT_EQ(row.find("000000"), 0u) << r.out;
        HexBytes hex = ParseHexBytes(row.substr(10, 49));
        bytes.append(hex.bytes.begin(), hex.bytes.end());
        at = end + 1;
    }
    EXPECT_EQ(bytes, std::string("ready0123456789\x88\x9f\x00\xff\r\nEND", 24));
    EXPECT_TRUE(Has(r.out, "亜|\n")) << r.out;
    EXPECT_TRUE(Has(r.out, "END|\n")) << r.out;
    RunResult help = Cli({"connect", "--help"});
    EXPECT_TRUE(Has(help.out + help.err, "[--hex]"));
}

TEST(LineCommands, TransferToARefusingHostFailsWithTheConnectError) {
    TempDir d;
    // A folder named in UTF-8 stays the folder the file system knows.
    fs::create_directories(d.path / "送信");
    std::ofstream(d.path / "送信" / "f.bin") << "data";
    const std::string where = "127.0.0.1:" + std::to_string(TelnetTestServer::ClosedPort());
    RunResult r = Cli({"send", "--protocol", "zmodem", "--telnet", where, "--set",
                       "UploadDefPath=" + (d.path / "送信").string(), "f.bin"});
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_TRUE(Has(r.err, "connect error(111)")) << r.err;
    EXPECT_TRUE(Has(r.err, "marlo-cli send: cannot connect to " + where + ": Connection refused"))
        << r.err;
}

class HostsConnect : public ::testing::Test {
  protected:
    void AddHost(HostEntry e) {
        SettingsFile store(cfg_);
        HostTable table;
        table.Load(store);
        ASSERT_TRUE(table.Add(std::move(e)).ok);
        ASSERT_TRUE(table.Save(store));
    }
    static HostEntry ModemEntry(const char* name, const char* number, const char* init) {
        HostEntry e;
        e.Name = name;
        e.TelNum1 = number;
        e.ModemIniCommand = init;
        e.RedialNum = 1;
        e.Infinite = 0;
        return e;
    }
    static HostEntry TelnetEntry(int port) {
        HostEntry e = test::LoopbackTelnetEntry(port);
        e.Name = Utf8ToSjis("試験ホスト");
        return e;
    }
    TempDir dir_;
    std::string cfg_ = dir_.Str() + "/cfg";
};

// A telnet entry with an auto-logon pattern answers the host's prompts by itself (CR LF with
// SndCRLF); a prompt that never comes stops it before the password; --no-logon types nothing.
TEST_F(HostsConnect, TelnetEntryLogsOnByItself) {
    const struct {
        const char* name;
        std::string pattern;
        int crlf;
        bool noLogon;
        bool prompts;
        int status;
        std::string typed;  // what the host saw typed (a bare CR goes out as CR NUL)
    } cases[] = {
        {"logon", "{ID:}$I'{rd:}$P'", 0, false, true, 0, std::string("u1\r\0pw\r\0", 8)},
        {"CR LF", "{ID:}$I'{rd:}$P'", 1, false, true, 0, std::string("u1\r\0\npw\r\0\n", 10)},
        {"no prompt", "{ID:,1}$I'{rd:}$P'", 0, false, false, 1, ""},
        {"--no-logon", "{ID:}$I'{rd:}$P'", 0, true, true, 0, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(cfg_);
        TelnetTestServer server;
        HostEntry e = TelnetEntry(server.Port());
        e.Logon = 1;
        e.AutoCommand = c.pattern;
        e.ID = "u1";
        e.Password = "pw";
        e.SndCRLF = c.crlf;
        AddHost(e);
        std::vector<std::string> args = {"hosts", "connect", "試験ホスト"};
        if (c.noLogon) args.push_back("--no-logon");
        auto cli = CliAsync(args, cfg_);
        ASSERT_TRUE(server.Accept());
        if (c.prompts) {
            server.Send("Welcome\r\nID:");
            server.Collect(300);
            server.Send("Password:");
            server.Collect(300);
            server.EndSending();
        }
        RunResult r = cli.get();
        EXPECT_EQ(r.status, c.status) << r.err;
        // What the host saw typed, without the option negotiation.
        std::string typed;
        const std::string wire = server.Collect();
        for (size_t i = 0; i < wire.size(); ++i) {
            if (wire[i] == '\xff')
                i += 2;
            else
                typed.push_back(wire[i]);
        }
        EXPECT_EQ(typed, c.typed);
    }
}

// A modem entry dials on the device given, or without one on the port the settings name.
TEST_F(HostsConnect, ModemEntryDialsOnTheGivenDeviceOrThePortOfTheSettings) {
    for (bool given : {true, false}) {
        SCOPED_TRACE(given);
        fs::remove_all(cfg_);
        TelnetTestServer server;
        test::PtyModem modem;
        modem.PassThroughTo(server.Port());
        AddHost(ModemEntry("modemhost", given ? "0,123" : "555", given ? "ATE0" : "ATZ"));
        std::vector<std::string> args = {"hosts", "connect", "modemhost", "--wait",
                                         "Hello", "--send",  "hi\\r",     "--close-after-script"};
        if (given) {
            args.insert(args.end(), {"--serial", modem.ProgramPath()});
        } else {
            // COM2 is the simulator's pty, and the stored Port says COM2.
            SettingsFile store(cfg_);
            store.Load(nullptr);
            store.SetNumber("", "Port", 2);
            ASSERT_TRUE(store.Save());
            std::ofstream(fs::path(cfg_) / "ports.conf") << "/dev/ttyS0\n"
                                                         << modem.ProgramPath() << "\n";
        }
        auto cli = CliAsync(args, cfg_);
        ASSERT_TRUE(server.Accept(10000));
        server.Send("Hello from the host\r\n");
        EXPECT_TRUE(server.WaitFor("hi\r"));
        RunResult r = cli.get();
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(modem.Modem().Commands(), given ? (std::vector<std::string>{"ATE0", "ATDT0,123"})
                                                  : (std::vector<std::string>{"ATZ", "ATDT555"}));
    }
}

// A dialled entry logs on by itself too, once the modem's CONNECT is in.
TEST_F(HostsConnect, ModemEntryLogsOnByItselfAfterTheDial) {
    TelnetTestServer server;
    test::PtyModem modem;
    modem.PassThroughTo(server.Port());
    HostEntry e = ModemEntry("modemhost", "123", "ATZ");
    e.Logon = 1;
    e.AutoCommand = "{ID:}$I'{rd:}$P'";
    e.ID = "u1";
    e.Password = "pw";
    AddHost(e);
    auto cli = CliAsync({"hosts", "connect", "modemhost", "--serial", modem.ProgramPath(),
                         "--close-after-script"},
                        cfg_);
    ASSERT_TRUE(server.Accept(10000));
    server.Send("Welcome\r\nID:");
    EXPECT_TRUE(server.WaitFor("u1\r"));
    server.Send("Password:");
    EXPECT_TRUE(server.WaitFor("pw\r"));
    RunResult r = cli.get();
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(modem.Modem().Commands(), (std::vector<std::string>{"ATZ", "ATDT123"}));
}

TEST_F(HostsConnect, FailuresAndMisuse) {
    AddHost(TelnetEntry(TelnetTestServer::ClosedPort()));
    HostEntry two = TelnetEntry(TelnetTestServer::ClosedPort());
    two.Name = "twice";
    two.RedialNum = 2;
    AddHost(two);
    RunResult refused = Cli({"hosts", "connect", "twice"}, cfg_);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, "2回の接続に失敗しました.")) << refused.err;
    EXPECT_TRUE(Has(refused.err, "cannot connect to 127.0.0.1:")) << refused.err;
    EXPECT_EQ(Cli({"hosts", "connect", "nobody"}, cfg_).status, 1);
    EXPECT_EQ(Cli({"hosts", "list", "--wait", "x"}, cfg_).status, 2);
    EXPECT_EQ(Cli({"hosts", "connect", "twice", "--set", "Bogus=1"}, cfg_).status, 2);
    EXPECT_EQ(Cli({"hosts", "connect", "twice", "--send", "bad\\q"}, cfg_).status, 2);
}

// A macro's connect of a telnet entry goes on once connected, and sends in the entry's code.
TEST_F(HostsConnect, MacroConnectsATelnetEntryAndSendsInItsCode) {
    TelnetTestServer server;
    HostEntry e = TelnetEntry(server.Port());
    e.CodeExchange2 = 2;  // new JIS to the host
    AddHost(e);
    const std::string mac = dir_.Str() + "/telnet.mac";
    test::WriteWhole(mac, Utf8ToSjis("connect \"試験ホスト\"\rif (@result == 0)\rexit\rendif\r"
                                     "send \"日本^M\"\rwait \"bye\" /T10\r"));
    auto cli = CliAsync({"macro", mac, "--offline"}, cfg_);
    ASSERT_TRUE(server.Accept());
    EXPECT_TRUE(server.WaitFor("\x1b$BF|K\\\x1b(J\r")) << server.Received();
    server.Send("bye");
    RunResult r = cli.get();
    EXPECT_EQ(r.status, 0) << r.err;
}

// A macro's connect of a modem entry: the entry's initialisation, the dial once the modem says
// OK, and no dial (with the message) when the modem stays silent; the macro goes on either way.
TEST_F(HostsConnect, MacroConnectsAModemEntryOrReportsASilentModem) {
    AddHost(ModemEntry("modemhost", "0,123", "ATE1Q0V1X3"));
    const std::string mac = dir_.Str() + "/dial.mac";
    test::WriteWhole(mac, "connect \"modemhost\"\rif (@result == 1)\rexit\rendif\rnonsense\r");
    {
        test::PtyModem modem;
        RunResult r = Cli({"macro", mac, "--serial", modem.ProgramPath()}, cfg_);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(modem.Modem().Commands(), (std::vector<std::string>{"ATE1Q0V1X3", "ATDT0,123"}));
    }
    test::PtyPair silent;
    ASSERT_TRUE(silent.Ok());
    RunResult r = Cli({"macro", mac, "--serial", silent.SlavePath()}, cfg_);
    EXPECT_EQ(r.status, 1) << "result 0 runs on into the error line";
    EXPECT_TRUE(Has(r.err, "ﾓﾃﾞﾑの初期化に失敗しました.")) << r.err;
    EXPECT_EQ(silent.Read(100, 200), "ATE1Q0V1X3\r");
}

// The desktop frame and marlo-cli reach a telnet host entry through the same session, with the
// entry's own codes (EUC from the host, new JIS to it): the host sees the same bytes (the opening
// offers, the text in the entry's send code) and each leaves the same history record, times aside.
TEST_F(HostsConnect, TelnetEntryMeetsTheHostAsTheFrameDoes) {
    auto masked = [](std::string record) {
        for (char& c : record)
            if (c >= '0' && c <= '9') c = '#';
        return record;
    };
    const std::string typed = "\x82\xa0\r";                          // "あ" and CR in Shift-JIS
    const std::string prompt = "\xa5\xed\xa5\xb0\xa5\xa4\xa5\xf3:";  // "ログイン:" in EUC
    std::string cliWire, frameWire;
    {
        TelnetTestServer server;
        HostEntry e = TelnetEntry(server.Port());
        e.CodeExchange = 4;
        e.CodeExchange2 = 2;
        AddHost(e);
        auto cli = CliAsync({"hosts", "connect", "試験ホスト", "--utf8", "--wait",
                             "ログイン:", "--send", "あ\\r", "--close-after-script"},
                            cfg_);
        ASSERT_TRUE(server.Accept());
        server.Send(prompt);
        RunResult r = cli.get();
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(Has(r.out, "ログイン:")) << r.out;
        ASSERT_TRUE(server.WaitFor("\r"));
        cliWire = server.Received();
    }
    const std::string cliHistory = test::ReadWhole(cfg_ + "/marlo/history.txt");

    TempDir frameDir;
    test::RecordingPlatform platform;
    Settings settings(frameDir.Str());
    settings.Port = 0;
    {
        TelnetTestServer server;
        HostEntry e = TelnetEntry(server.Port());
        e.CodeExchange = 4;
        e.CodeExchange2 = 2;
        CMainFrame frame(platform, settings, CMainFrame::Paths{frameDir.Str(), frameDir.Str(), {}},
                         nullptr);
        ASSERT_TRUE(frame.ConnectHostEntry(e));
        ASSERT_TRUE(platform.Until([&] { return frame.Conn().connected.load(); }));
        ASSERT_TRUE(server.Accept());
        server.Send(prompt);
        frame.WriteConverted(typed);
        ASSERT_TRUE(server.WaitFor("\r"));
        frameWire = server.Received();
        server.CloseClient();
        ASSERT_TRUE(platform.Until([&] { return !frame.Conn().connected.load(); }));
    }
    const std::string frameHistory = test::ReadWhole(frameDir.Str() + "/history.txt");

    EXPECT_EQ(cliWire, frameWire);
    EXPECT_NE(cliWire.find("\x1b$B$\""), std::string::npos) << cliWire;
    ASSERT_FALSE(cliHistory.empty());
    EXPECT_EQ(std::count(cliHistory.begin(), cliHistory.end(), '\n'), 1) << cliHistory;
    EXPECT_EQ(masked(cliHistory), masked(frameHistory));
}

}  // namespace
}  // namespace marlo

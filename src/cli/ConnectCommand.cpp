// marlo-cli connect: a headless client on a telnet host or a serial line (optionally dialling a
// Hayes modem). Standard input goes to the line as typed text, received text goes to standard
// output, and --wait/--send pairs script a simple dialogue through the string wait.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>

#include "app/Settings.h"
#include "app/SettingsIo.h"
#include "app/Trace.h"
#include "cli/CliCommand.h"
#include "cli/CliText.h"
#include "cli/HeadlessPlatform.h"
#include "line/Dialler.h"
#include "line/StreamLine.h"
#include "line/StringWait.h"
#include "line/TelnetConnect.h"
#include "line/TelnetLine.h"
#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"

namespace marlo::cli {

namespace {

const char kUsage[] =
    "  connect (--telnet HOST[:PORT] | --serial DEVICE [--dial NUMBER]) [--set Name=Value]...\n"
    "          [--utf8] [--wait TEXT --send TEXT]... [--wait-timeout MS] [--close-after-script]\n"
    "          [--trace FILE]\n"
    "      relay standard input to the line and received text to standard output; --wait and\n"
    "      --send (in order; \\r \\n \\t \\\\ \\xHH escapes in TEXT) script a dialogue; exits 0\n"
    "      when the far end closes; --trace writes the line trace (negotiation, waits) to FILE";

// The headless platform, remembering the messages it showed (each one ends the connect).
class ConsolePlatform : public HeadlessPlatform {
  public:
    MsgResult MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override {
        messages.push_back(text);
        return HeadlessPlatform::MessageBox(text, icon, buttons, title);
    }
    std::vector<std::string> messages;
};

struct Step {
    bool wait;
    std::string text;  // Shift-JIS
};

struct Options {
    std::string telnet, serial, dial;
    bool utf8 = false;
    bool closeAfterScript = false;
    int waitTimeoutMs = 30000;
    std::vector<Step> script;
    Settings settings;
};

bool Unescape(const std::string& in, std::string& out) {
    out.clear();
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            out.push_back(in[i]);
            continue;
        }
        if (++i >= in.size()) return false;
        switch (in[i]) {
            case 'r':
                out.push_back('\r');
                break;
            case 'n':
                out.push_back('\n');
                break;
            case 't':
                out.push_back('\t');
                break;
            case 'e':
                out.push_back('\x1b');
                break;
            case '\\':
                out.push_back('\\');
                break;
            case 'x': {
                if (i + 2 >= in.size()) return false;
                std::string hex = in.substr(i + 1, 2);
                if (hex.size() != 2 || !std::isxdigit(static_cast<unsigned char>(hex[0])) ||
                    !std::isxdigit(static_cast<unsigned char>(hex[1])))
                    return false;
                out.push_back(static_cast<char>(std::stoi(hex, nullptr, 16)));
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

int Usage(const std::string& why) {
    std::fprintf(stderr, "marlo-cli connect: %s\nusage:\n%s\n", why.c_str(), kUsage);
    return kExitUsage;
}

bool ParseOptions(const std::vector<std::string>& args, Options& o, std::string& error) {
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = a + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string v;
        if (a == "--telnet") {
            if (!value(o.telnet)) return false;
        } else if (a == "--serial") {
            if (!value(o.serial)) return false;
        } else if (a == "--dial") {
            if (!value(o.dial)) return false;
        } else if (a == "--trace") {
            std::string file;
            if (!value(file)) return false;
            SetTraceMode(true);
            SetTraceMask(kTraceMain | kTraceMacro);
            SetTraceFile(file);
        } else if (a == "--utf8") {
            o.utf8 = true;
        } else if (a == "--close-after-script") {
            o.closeAfterScript = true;
        } else if (a == "--wait-timeout") {
            if (!value(v)) return false;
            char* end = nullptr;
            long ms = std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end || ms < 0) {
                error = "bad --wait-timeout " + v;
                return false;
            }
            o.waitTimeoutMs = static_cast<int>(ms);
        } else if (a == "--wait" || a == "--send") {
            if (!value(v)) return false;
            std::string text;
            if (!Unescape(v, text)) {
                error = "bad escape in " + v;
                return false;
            }
            o.script.push_back({a == "--wait", ArgToSjis(text)});
        } else if (a == "--set") {
            std::string name, val;
            if (!value(v)) return false;
            std::string why;
            if (!SplitSetting(v, name, val)) {
                error = "--set needs Name=Value: " + v;
                return false;
            }
            if (!SettingFromText(o.settings, name, ArgToSjis(val), &why)) {
                error = "--set " + v + ": " + why;
                return false;
            }
        } else {
            error = "unknown option " + a;
            return false;
        }
    }
    if (o.telnet.empty() == o.serial.empty()) {
        error = "give one of --telnet and --serial";
        return false;
    }
    if (!o.dial.empty() && o.serial.empty()) {
        error = "--dial needs --serial";
        return false;
    }
    return true;
}

speed_t SpeedConstant(int speed) {
    switch (speed) {
        case 300:
            return B300;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;
    }
}

// Opens a serial device raw with the settings' speed, frame and flow control; -1 with `error`.
int OpenSerial(const std::string& path, const Settings& s, std::string& error) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return -1;
    }
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        error = path + " is not a serial device";
        ::close(fd);
        return -1;
    }
    ::cfmakeraw(&t);
    speed_t sp = SpeedConstant(s.Speed);
    if (sp == B0) {
        error = "unsupported Speed " + std::to_string(s.Speed);
        ::close(fd);
        return -1;
    }
    ::cfsetispeed(&t, sp);
    ::cfsetospeed(&t, sp);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= (s.DataLen == 7 ? CS7 : CS8) | CLOCAL | CREAD;
    if (s.Parity == 1) t.c_cflag |= PARENB | PARODD;
    if (s.Parity == 2) t.c_cflag |= PARENB;
    if (s.StopBit != 0) t.c_cflag |= CSTOPB;
    if (s.Flow == 2) t.c_cflag |= CRTSCTS;
    if (s.Flow == 1) t.c_iflag |= IXON | IXOFF;
    ::tcsetattr(fd, TCSANOW, &t);
    ::ioctl(fd, TIOCEXCL);
    return fd;
}

// The serial device as the dialler sees it.
class SerialPort : public IModemPort {
  public:
    SerialPort(StreamLine& line, int fd, KanjiEncoder& enc) : line_(line), fd_(fd), enc_(enc) {}
    bool WriteConverted(const std::string& sjis) override {
        std::string out;
        enc_.Encode(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size(), out);
        return line_.WriteRaw(reinterpret_cast<const uint8_t*>(out.data()), out.size());
    }
    void SetDtr(bool on) override { SetBit(TIOCM_DTR, on); }
    void SetRts(bool on) override { SetBit(TIOCM_RTS, on); }
    bool PortOpen() const override { return line_.IsOpen(); }
    // The carrier, or nullopt when the device has no modem lines (a pty).
    std::optional<bool> Carrier() const {
        int bits = 0;
        if (::ioctl(fd_, TIOCMGET, &bits) != 0) return std::nullopt;
        return (bits & TIOCM_CAR) != 0;
    }

  private:
    void SetBit(int bit, bool on) { ::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit); }
    StreamLine& line_;
    int fd_;
    KanjiEncoder& enc_;
};

// Received bytes through the receive decoder into Shift-JIS text.
struct TextSink : IKanjiSink {
    std::string text;
    void SingleByte(uint8_t b) override { text.push_back(static_cast<char>(b)); }
    void DoubleByte(uint8_t lead, uint8_t trail) override {
        text.push_back(static_cast<char>(lead));
        text.push_back(static_cast<char>(trail));
    }
};

bool WriteOut(const std::string& s) {
    size_t done = 0;
    while (done < s.size()) {
        ssize_t w = ::write(STDOUT_FILENO, s.data() + done, s.size() - done);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

class Session {
  public:
    Session(ConsolePlatform& platform, ILineIo& line, const Options& o,
            std::function<bool(const std::string&)> writeConverted)
        : platform_(platform), line_(line), o_(o), writeConverted_(std::move(writeConverted)) {
        decoder_.SetCode(o.settings.ReceiveCode());
    }

    // Runs until the far end closes, the script fails or ends (--close-after-script).
    int Run(const std::function<bool()>& carrierLost) {
        ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        platform_.StartTimer(1, 5, [&] { Pump(carrierLost); });
        platform_.DispatchWait([&] { return done_; }, std::nullopt);
        platform_.StopTimer(1);
        if (waitId_) wait_.Disarm(waitId_);
        return status_;
    }
    // Text that arrived (and was shown) before the session began, for the first wait.
    void SetEarlyText(std::string sjis) { early_ = std::move(sjis); }

  private:
    void Finish(int status) {
        done_ = true;
        status_ = status;
    }
    void Received(const uint8_t* p, int n) {
        TextSink sink;
        for (int i = 0; i < n; ++i) decoder_.Feed(p[i], false, sink);
        wait_.Feed(reinterpret_cast<const uint8_t*>(sink.text.data()), sink.text.size());
        if (!WriteOut(o_.utf8 ? SjisToUtf8(sink.text) : sink.text)) Finish(kExitFailed);
    }
    void Script() {
        while (step_ < o_.script.size()) {
            const Step& s = o_.script[step_];
            if (!s.wait) {
                if (!writeConverted_(s.text)) {
                    std::fprintf(stderr, "marlo-cli connect: sending failed\n");
                    Finish(kExitFailed);
                    return;
                }
                ++step_;
                continue;
            }
            if (!waitId_) {
                waitId_ = wait_.Arm({s.text}, false);
                waitEnd_ =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(o_.waitTimeoutMs);
            }
            if (!wait_.Matched(waitId_)) {
                if (std::chrono::steady_clock::now() >= waitEnd_) {
                    std::fprintf(stderr, "marlo-cli connect: timed out waiting for \"%s\"\n",
                                 SjisToUtf8(s.text).c_str());
                    Finish(kExitFailed);
                }
                return;
            }
            wait_.Disarm(waitId_);
            waitId_ = 0;
            ++step_;
        }
        if (o_.closeAfterScript) Finish(kExitOk);
    }
    void Pump(const std::function<bool()>& carrierLost) {
        if (done_) return;
        Script();  // a wait is armed before the bytes it waits for are read
        if (done_) return;
        if (!early_.empty()) {
            wait_.Feed(reinterpret_cast<const uint8_t*>(early_.data()), early_.size());
            early_.clear();
            Script();
            if (done_) return;
        }
        uint8_t buf[4096];
        int max = o_.settings.ReadBlockSize();
        for (int rounds = 0; rounds < 16; ++rounds) {
            int n = line_.ReadLineData(buf, max, 0);
            if (n <= 0) break;
            Received(buf, n);
        }
        Script();
        if (done_) return;
        if (!line_.IsOpen() || (carrierLost && carrierLost())) {
            Finish(kExitOk);
            return;
        }
        if (stdinOpen_) {
            pollfd p{STDIN_FILENO, POLLIN, 0};
            if (::poll(&p, 1, 0) > 0) {
                char in[1024];
                ssize_t r = ::read(STDIN_FILENO, in, sizeof in);
                if (r > 0) {
                    std::string text(in, static_cast<size_t>(r));
                    if (o_.utf8) text = Utf8ToSjis(text);
                    std::string typed;
                    for (char c : text) {
                        if (c == '\n') {
                            typed.push_back('\r');
                            if (o_.settings.SndCRLF) typed.push_back('\n');
                        } else {
                            typed.push_back(c);
                        }
                    }
                    writeConverted_(typed);
                } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
                    stdinOpen_ = false;
                }
            }
        }
    }

    ConsolePlatform& platform_;
    ILineIo& line_;
    const Options& o_;
    std::function<bool(const std::string&)> writeConverted_;
    KanjiDecoder decoder_;
    StringWait wait_;
    size_t step_ = 0;
    int waitId_ = 0;
    std::chrono::steady_clock::time_point waitEnd_;
    std::string early_;
    bool stdinOpen_ = true;
    bool done_ = false;
    int status_ = kExitOk;
};

int RunTelnet(const Options& o) {
    std::string host = o.telnet;
    int port = 23;
    if (auto colon = host.rfind(':'); colon != std::string::npos) {
        auto p = telnet_hosts::ParsePort(host.substr(colon + 1));
        if (!p) return Usage("bad port in " + o.telnet);
        port = *p;
        host = host.substr(0, colon);
    }
    if (host.empty()) return Usage("no host in " + o.telnet);

    ConsolePlatform platform;
    TelnetLine line;
    Connection::Hooks hooks;
    hooks.closeTelnet = [&] { line.Close(); };
    Connection conn(platform, hooks);
    TelnetConnect connect(platform, line, conn);
    connect.SetReportPauseMs(0);
    struct Router : IEventTarget {
        TelnetConnect& c;
        explicit Router(TelnetConnect& c) : c(c) {}
        void OnEvent(const Event& e) override {
            if (e.id == WM_TELNET_RESOLVED) c.OnResolved();
            if (e.id == WM_TELNET_RETRY) c.OnRetry();
        }
    } router(connect);
    platform.SetEventTarget(&router);
    connect.StartFromDialog(host, port);
    platform.DispatchWait([&] { return conn.connected || !platform.messages.empty(); },
                          std::nullopt);
    if (!conn.connected) return kExitFailed;

    KanjiEncoder enc;
    enc.SetCode(o.settings.SendCode());
    Session session(platform, line, o, [&](const std::string& sjis) {
        std::string out;
        enc.Encode(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size(), out);
        return line.WriteRaw(reinterpret_cast<const uint8_t*>(out.data()), out.size());
    });
    int status = session.Run(nullptr);
    line.Close();
    return status;
}

int RunSerial(const Options& o) {
    std::string error;
    int fd = OpenSerial(o.serial, o.settings, error);
    if (fd < 0) {
        std::fprintf(stderr, "marlo-cli connect: %s\n", error.c_str());
        return kExitFailed;
    }
    StreamLine line(fd, fd, true);
    KanjiEncoder enc;
    enc.SetCode(o.settings.SendCode());
    SerialPort port(line, fd, enc);
    ConsolePlatform platform;
    Connection conn(platform, Connection::Hooks{});
    bool modemLines = port.Carrier().has_value();
    std::string earlyText;

    if (!o.dial.empty()) {
        StringWait wait;
        Dialler dialler(platform, port, wait, conn);
        KanjiDecoder dec;
        dec.SetCode(o.settings.ReceiveCode());
        std::string early;
        int outcome = wait.Arm({"CONNECT", "NO CARRIER", "NO DIALTONE", "NODIALTONE"}, true);
        platform.StartTimer(1, 5, [&] {
            if (conn.connected || wait.Matched(outcome)) return;  // the rest is the session's
            uint8_t buf[4096];
            int n = line.ReadLineData(buf, sizeof buf, 0);
            if (n > 0) {
                TextSink sink;
                for (int i = 0; i < n; ++i) dec.Feed(buf[i], false, sink);
                wait.Feed(reinterpret_cast<const uint8_t*>(sink.text.data()), sink.text.size());
                dialler.OnReceived(reinterpret_cast<const uint8_t*>(sink.text.data()),
                                   sink.text.size());
                WriteOut(o.utf8 ? SjisToUtf8(sink.text) : sink.text);
                early = sink.text;
            }
            if (modemLines && port.Carrier().value_or(false) && !conn.connected) conn.OnConnected();
        });
        platform.StartTimer(3, 500, [&] { dialler.OnTick(); });
        DialPlan plan;
        plan.TelNum1 = ArgToSjis(o.dial);
        bool dialled = dialler.Connect(plan, o.settings.ModemInit1);
        int matched = 0;
        if (dialled) {
            platform.DispatchWait(
                [&] {
                    matched = wait.Matched(outcome);
                    // The modem's CONNECT counts too: a pty or a cable may carry no CD.
                    return conn.connected || !platform.messages.empty() || matched;
                },
                std::chrono::steady_clock::now() + std::chrono::seconds(120));
        }
        platform.StopTimer(1);
        platform.StopTimer(3);
        wait.Disarm(outcome);
        if (!dialled || !platform.messages.empty()) return kExitFailed;
        if (matched > 1) {
            std::fprintf(stderr, "marlo-cli connect: the modem answered %s\n",
                         matched == 2 ? "NO CARRIER" : "NO DIALTONE");
            return kExitFailed;
        }
        if (!matched && !conn.connected) {
            std::fprintf(stderr, "marlo-cli connect: no connection\n");
            dialler.Cancel();
            return kExitFailed;
        }
        earlyText = early;
    }
    bool hadCarrier = modemLines && port.Carrier().value_or(false);
    Session session(platform, line, o,
                    [&](const std::string& s) { return port.WriteConverted(s); });
    session.SetEarlyText(earlyText);
    return session.Run([&] { return hadCarrier && !port.Carrier().value_or(true); });
}

int RunConnect(const std::vector<std::string>& args) {
    Options o;
    std::string error;
    if (!ParseOptions(args, o, error)) return Usage(error);
    std::signal(SIGPIPE, SIG_IGN);
    return o.telnet.empty() ? RunSerial(o) : RunTelnet(o);
}

}  // namespace

MARLO_CLI_COMMAND("connect", kUsage, RunConnect);

}  // namespace marlo::cli

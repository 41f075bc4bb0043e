// marlo-cli macro: runs a macro file headless, on the same frame and macro thread as the desktop
// program (the frame on the headless platform). Received text goes to standard output as with
// connect; message boxes take their answers from --answers; SIGINT stops the macro as the menu's
// 停止 does.
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include "app/MainFrame.h"
#include "cli/CliCommand.h"
#include "cli/CliLine.h"
#include "cli/CliText.h"
#include "hosts/HostTable.h"
#include "macro/MacroDialog.h"
#include "settings/Paths.h"
#include "settings/StoreFactory.h"
#include "settings/Trace.h"
#include "terminal/CaptureSink.h"
#include "terminal/ScreenDump.h"
#include "text/Encoding.h"

namespace marlo::cli {

namespace {

const char kUsage[] =
    "  macro FILE (--telnet HOST[:PORT] | --serial DEVICE | --stdio | --host NAME | --offline)\n"
    "          [--set Name=Value]... [--answers FILE] [--utf8] [--trace FILE] [--screen]\n"
    "      run a macro on the line; received text goes to standard output (UTF-8 with --utf8),\n"
    "      --screen prints the final screen; message boxes take their answers from FILE, one\n"
    "      line each (ok, yes, no, cancel, text:..., file:PATH, id:N|VALUE|... for a dialog:\n"
    "      the closing ID and the values of its controls in order); exits 0 when the macro ends,\n"
    "      1 on a macro error or a line that cannot be reached, 2 for a file that cannot be\n"
    "      loaded or a wrong command line; SIGINT stops the macro";

int Usage(const std::string& why) { return UsageFailure("macro", why, kUsage); }

std::atomic<bool> gInterrupted{false};

void OnInterrupt(int) { gInterrupted = true; }

// Message boxes, the macro's input boxes and dialogs answered from a file, each box and its
// answer shown on stderr.
class AnsweringPlatform : public HeadlessPlatform, public MacroUserInterface {
  public:
    std::deque<std::string> answers;

    MsgResult MessageBox(const std::string& text, MsgIcon, MsgButtons buttons,
                         const std::string&) override {
        // A box with only OK (an error, a message) takes an answer only when "ok" is next.
        std::string answer = buttons != MsgButtons::Ok || NextIs("ok") ? Next() : "ok";
        MsgResult result;
        if (answer == "yes")
            result = MsgResult::Yes;
        else if (answer == "no")
            result = MsgResult::No;
        else if (answer == "cancel")
            result = MsgResult::Cancel;
        else if (answer == "ok")
            result = MsgResult::Ok;
        else  // unanswered: nothing is done that was not asked for
            result = buttons == MsgButtons::Ok            ? MsgResult::Ok
                     : buttons == MsgButtons::OkCancel ? MsgResult::Cancel
                                                       : MsgResult::No;
        static const char* kNames[] = {"ok", "cancel", "yes", "no"};
        std::fprintf(stderr, "marlo-cli macro: [%s] -> %s\n", text.c_str(),
                     kNames[static_cast<int>(result)]);
        return result;
    }
    std::optional<std::string> ChooseFile(bool, const std::string& title, const std::string&,
                                          const std::string&) override {
        std::string answer = Next();
        std::fprintf(stderr, "marlo-cli macro: [%s] -> %s\n", title.c_str(), answer.c_str());
        if (answer.rfind("file:", 0) == 0) return answer.substr(5);
        return std::nullopt;
    }
    // The macro's progress is not news on a console.
    void SetStatusText(const std::string&) override {}

    void Message(const std::string& text, const std::atomic<bool>&) override {
        MessageBox(SjisToUtf8(text), MsgIcon::Information, MsgButtons::Ok, "");
    }
    bool Question(const std::string& text, const std::atomic<bool>&) override {
        return MessageBox(SjisToUtf8(text), MsgIcon::Question, MsgButtons::YesNo, "") ==
               MsgResult::Yes;
    }
    std::optional<std::string> Input(const std::string& prompt, bool masked,
                                     const std::atomic<bool>&) override {
        std::string answer = Next();
        std::optional<std::string> text;
        if (answer.rfind("text:", 0) == 0)
            text = answer.substr(5);
        else if (answer == "ok")
            text = "";
        else if (answer != "cancel" && !answer.empty())
            std::fprintf(
                stderr,
                "marlo-cli macro: warning: an input box takes text:..., ok or cancel, not '%s'\n",
                answer.c_str());
        std::fprintf(stderr, "marlo-cli macro: [%s] -> %s\n", SjisToUtf8(prompt).c_str(),
                     !text    ? "cancel"
                     : masked ? "text:****"
                              : ("text:" + *text).c_str());
        if (text) text = Utf8ToSjis(*text);
        return text;
    }
    std::optional<int> ShowDialog(MacroDialog& dialog, const std::atomic<bool>&) override {
        std::string answer = Next(), why;
        auto id = AnswerDialog(dialog, Utf8ToSjis(answer), &why);
        if (!id) {
            std::fprintf(
                stderr,
                "marlo-cli macro: warning: %s ('%s'): the dialog is closed by its close box\n",
                why.c_str(), answer.c_str());
            id = 0;
        }
        std::fprintf(stderr, "marlo-cli macro: [%s] -> id:%d\n",
                     SjisToUtf8(dialog.Dialog().text).c_str(), *id);
        return id;
    }

  private:
    bool NextIs(const std::string& word) {
        std::lock_guard lock(mutex_);
        return !answers.empty() && answers.front() == word;
    }
    std::string Next() {
        std::lock_guard lock(mutex_);
        if (answers.empty()) {
            std::fprintf(stderr, "marlo-cli macro: warning: no answer left for a box\n");
            return "";
        }
        std::string a = answers.front();
        answers.pop_front();
        return a;
    }
    std::mutex mutex_;
};

// Received text as the capture log sees it, to standard output.
class StdoutSink : public ICaptureSink {
  public:
    explicit StdoutSink(bool utf8) : utf8_(utf8) {}
    ~StdoutSink() override { Flush(); }
    void Put(uint8_t b) override {
        pending_ += static_cast<char>(b);
        if (pending_.size() >= 65536 || b == '\n') Flush();
    }
    void BackStep() override {}
    void Flush() {
        if (pending_.empty()) return;
        // A kanji cut in half waits for its second byte.
        size_t keep = 0;
        if (utf8_) {
            for (size_t i = 0; i < pending_.size();)
                if (IsSjisLead(static_cast<uint8_t>(pending_[i])) && i + 1 == pending_.size()) {
                    keep = 1;
                    break;
                } else {
                    i += IsSjisLead(static_cast<uint8_t>(pending_[i])) ? 2 : 1;
                }
        }
        std::string out = pending_.substr(0, pending_.size() - keep);
        pending_.erase(0, pending_.size() - keep);
        if (utf8_) out = SjisToUtf8(out);
        std::fwrite(out.data(), 1, out.size(), stdout);
        std::fflush(stdout);
    }

  private:
    bool utf8_;
    std::string pending_;
};

// Standard input and output made into a serial device: a pty whose far end they are joined to,
// so the frame reads and writes them as it reads any line.
class StdioBridge {
  public:
    bool Open() {
        int slave = -1;
        if (::openpty(&master_, &slave, nullptr, nullptr, nullptr) != 0) return false;
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        char name[256];
        if (::ttyname_r(slave, name, sizeof name) != 0) return false;
        path_ = name;
        slave_ = slave;
        relay_ = std::thread([this] { Relay(); });
        return true;
    }
    ~StdioBridge() {
        stop_ = true;
        if (relay_.joinable()) relay_.join();
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    const std::string& Path() const { return path_; }
    // Waits (two seconds at most) until the pty has been quiet for 100 ms, so that what the
    // frame's line was still writing has been passed on: closing the line would discard it.
    void Drain() {
        for (int i = 0, quiet = 0; i < 400 && quiet < 20 && master_ >= 0; ++i) {
            int pending = 0;
            if (::ioctl(master_, FIONREAD, &pending) != 0) return;
            quiet = pending == 0 ? quiet + 1 : 0;
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }

  private:
    void Relay() {
        bool inputOpen = true;
        char buf[65536];
        auto toOutput = [&] {
            ssize_t n = ::read(master_, buf, sizeof buf);
            for (ssize_t done = 0; n > 0 && done < n;) {
                ssize_t w = ::write(1, buf + done, static_cast<size_t>(n - done));
                if (w <= 0) break;
                done += w;
            }
            return n > 0;
        };
        while (!stop_) {
            pollfd fds[2] = {{master_, POLLIN, 0}, {0, static_cast<short>(inputOpen ? POLLIN : 0), 0}};
            if (::poll(fds, 2, 100) <= 0) continue;
            if (fds[0].revents & POLLIN) toOutput();
            if (inputOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
                ssize_t n = ::read(0, buf, sizeof buf);
                if (n <= 0) inputOpen = false;
                for (ssize_t done = 0; n > 0 && done < n;) {
                    ssize_t w = ::write(master_, buf + done, static_cast<size_t>(n - done));
                    if (w <= 0) break;
                    done += w;
                }
            }
        }
        // What the frame wrote last is still on its way out: pass it on before leaving.
        for (pollfd p{master_, POLLIN, 0}; ::poll(&p, 1, 50) > 0 && (p.revents & POLLIN) && toOutput();)
            p.revents = 0;
    }
    int master_ = -1, slave_ = -1;
    std::string path_;
    std::atomic<bool> stop_{false};
    std::thread relay_;
};

struct MacroOptions {
    std::string file;
    LineChoice line;
    std::string host;
    bool offline = false;
    std::vector<std::string> sets;
    std::string answers;
    bool utf8 = false;
    std::string trace;
    bool screen = false;
};

// A folder of its own for the frame's port map when the line is a device the command names.
struct PortMapFolder {
    explicit PortMapFolder(const std::string& device) {
        char name[] = "/tmp/marlo-cli-macro-XXXXXX";
        if (::mkdtemp(name)) path = name;
        std::ofstream(path + "/ports.conf") << device << "\n";
    }
    ~PortMapFolder() {
        std::error_code error;
        if (!path.empty()) std::filesystem::remove_all(path, error);
    }
    std::string path;
};

int RunMacro(const std::vector<std::string>& args) {
    MacroOptions o;
    std::string error;
    int lines = 0;
    for (size_t i = 0; i < args.size(); ++i) {
        int taken = TakeLineOption(args, i, o.line, error);
        if (taken < 0) return Usage(error);
        if (taken > 0) continue;
        const std::string& a = args[i];
        if (a == "--offline") {
            o.offline = true;
            ++lines;
        } else if (a == "--utf8") {
            o.utf8 = true;
        } else if (a == "--screen") {
            o.screen = true;
        } else if (a == "--host" || a == "--set" || a == "--answers" || a == "--trace") {
            if (i + 1 >= args.size()) return Usage(a + " needs a value");
            const std::string& v = args[++i];
            if (a == "--host") {
                o.host = v;
                ++lines;
            } else if (a == "--set") {
                o.sets.push_back(v);
            } else if (a == "--answers") {
                o.answers = v;
            } else {
                o.trace = v;
            }
        } else if (a.starts_with("--") || !o.file.empty()) {
            return Usage("unknown option " + a);
        } else {
            o.file = a;
        }
    }
    if (o.file.empty()) return Usage("give the macro file");
    if (lines + o.line.given != 1)
        return Usage("give one of --telnet, --serial, --stdio, --host and --offline");

    AnsweringPlatform platform;
    if (!o.answers.empty()) {
        std::ifstream in(o.answers);
        if (!in) {
            std::fprintf(stderr, "marlo-cli macro: cannot read %s\n", o.answers.c_str());
            return kExitUsage;
        }
        for (std::string line; std::getline(in, line);) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            platform.answers.push_back(line);
        }
    }
    if (!std::ifstream(o.file)) {
        std::fprintf(stderr, "marlo-cli macro: cannot read %s\n", o.file.c_str());
        return kExitUsage;
    }

    Settings settings;
    HostEntry entry;
    // The host table serves --host and the macro's connect; the settings store is only read.
    std::string message;
    std::unique_ptr<ISettingsStore> store = OpenUserSettingsStore(&message);
    if (!message.empty()) std::fprintf(stderr, "marlo-cli macro: %s\n", message.c_str());
    HostTable table;
    if (store) table.Load(*store);
    if (!o.host.empty()) {
        auto index = table.Find(ArgToSjis(o.host));
        if (!index) {
            std::fprintf(stderr, "marlo-cli macro: no host '%s' in the host table\n", o.host.c_str());
            return kExitFailed;  // as hosts connect answers a name it does not know
        }
        entry = table.At(*index);
        if (!entry.IsTelnet() && store) settings.Port = store->GetNumber("", "Port").value_or(0);
    }
    for (const auto& set : o.sets)
        if (!ApplySetOption(settings, set, error)) return Usage(error);
    if (!o.trace.empty()) {
        SetTraceFile(o.trace);
        SetTraceMask(TraceMask() | kTraceMacro | kTraceMain);
        SetTraceMode(true);
    }

    // A device the command names (or standard input and output behind a pty) is COM1 of a port
    // map of the command's own.
    StdioBridge bridge;
    std::string device = o.line.device;
    if (o.line.kind == LineChoice::Kind::Stdio) {
        if (!bridge.Open()) {
            std::fprintf(stderr, "marlo-cli macro: cannot make a pty for standard input\n");
            return kExitFailed;
        }
        device = bridge.Path();
    }
    std::unique_ptr<PortMapFolder> portMap;
    std::string configDir = ConfigDir();
    if (!device.empty()) {
        portMap = std::make_unique<PortMapFolder>(device);
        configDir = portMap->path;
        settings.Port = 1;
    } else if (o.host.empty() || entry.IsTelnet()) {
        settings.Port = 0;
    }
    settings.ModemInit = 0;  // the macro decides what the modem hears

    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);
    CMainFrame frame(platform, settings, CMainFrame::Paths{configDir, DataDir(), {}}, nullptr);
    frame.Macro().userInterface = &platform;
    frame.Hosts() = table;
    StdoutSink out(o.utf8);
    // With --stdio the far end's bytes are the input; only the terminal's copy goes out.
    if (o.line.kind != LineChoice::Kind::Stdio) frame.Term().AddCaptureSink(&out);
    if (!frame.OpenConfiguredPort()) return CliLine::OpenFailedStatus(LineChoice::Kind::Serial);
    frame.StartTimer3();

    auto connecting = [&frame] {
        return frame.Conn().telnetConnecting || frame.Conn().dialling;
    };
    if (o.line.kind == LineChoice::Kind::Telnet) {
        frame.ConnectTelnet(o.line.host, o.line.port);
    } else if (!o.host.empty() && !frame.ConnectHostEntry(entry)) {
        return kExitFailed;
    }
    if (o.line.kind == LineChoice::Kind::Telnet || entry.IsTelnet()) {
        platform.DispatchWait([&] { return !connecting(); }, std::nullopt, &gInterrupted);
        if (!frame.Conn().connected) return kExitFailed;
    }

    bool ended = false;
    MacroInterpreter::End end = MacroInterpreter::End::Finished;
    frame.Macro().onEnded = [&](MacroInterpreter::End e) {
        ended = true;
        end = e;
    };
    if (!frame.Macro().Start(std::filesystem::absolute(o.file).string())) return kExitUsage;
    while (!ended) {
        platform.DispatchWait([&] { return ended; }, std::nullopt, &gInterrupted);
        if (gInterrupted && !ended) {
            frame.Macro().Stop();
            gInterrupted = false;
        }
    }
    // What arrived after the macro's last statement is shown before the line closes.
    platform.DispatchPending();
    out.Flush();
    if (o.screen) {
        ScreenDumpOptions options;
        options.utf8 = o.utf8;
        std::string screen = DumpScreen(frame.Term(), options);
        std::fwrite(screen.data(), 1, screen.size(), stdout);
    }
    frame.Term().RemoveCaptureSink(&out);
    bridge.Drain();
    frame.Shutdown(true);
    switch (end) {
        case MacroInterpreter::End::Error:
        case MacroInterpreter::End::Start:  // the next macro could not be started
            return kExitFailed;
        case MacroInterpreter::End::Stopped:
            std::fprintf(stderr, "marlo-cli macro: stopped\n");
            return kExitFailed;
        default:
            return kExitOk;
    }
}

}  // namespace

MARLO_CLI_COMMAND("macro", kUsage, RunMacro);

}  // namespace marlo::cli

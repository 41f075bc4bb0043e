#include "cli/ConnectSession.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "cli/CliCommand.h"
#include "cli/CliText.h"
#include "cli/TransferRun.h"
#include "line/SerialLine.h"
#include "line/StringWait.h"
#include "session/HostRoute.h"
#include "settings/Trace.h"
#include "terminal/HexDump.h"
#include "terminal/KanjiCodec.h"
#include "terminal/Terminal.h"
#include "terminal/TextReceive.h"
#include "terminal/LineStamps.h"
#include "text/Encoding.h"
#include "transfer/AutoStart.h"
#include "transfer/Protocols.h"

namespace marlo::cli {

const char* const kSessionUsage =
    "[--utf8] [--wait TEXT --send TEXT]... [--wait-timeout MS] [--close-after-script]\n"
    "          [--trace FILE] [--dir DIR] [--text-receive FILE [--append]]\n"
    "          [--timestamps] [--hex] [--reconnect]";

namespace {

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

// The carrier of the session's serial line, or nullopt when the line has no modem lines (a pty,
// a socket).
std::optional<bool> Carrier(Session& session) {
    SerialLine* s = session.Comm().Line();
    if (!s || session.Conn().telnetMode) return std::nullopt;
    bool cd = session.UpdateCarrier();
    if (!s->HasModemLines()) return std::nullopt;
    return cd;
}

// The headless front end of the session: it waits in the platform's event loop on the line and
// standard input together and hands whatever the line has to the session as soon as it comes; the
// session gives every block to Received (and to a running dial). Received text goes to standard
// output, typed text to the line through the session's send encoder, and the --wait/--send script
// runs on the session's string wait. Time-outs are the platform's timers (the string wait, the
// dial, the carrier watch); nothing else sleeps.
class Relay {
  public:
    Relay(CliLine& line, const Settings& s, const SessionOptions& o)
        : line_(line), session_(line.LineSession()), settings_(s), o_(o), buf_(kReadMax) {
        decoder_.SetCode(s.ReceiveCode());
        hex_.SetCode(s.ReceiveCode());
        // --timestamps stamps in the form of the settings, the time of day unless one is set.
        stamps_.SetForm(o.timestamps && s.TimeStamp == kStampOff ? kStampClock : s.TimeStamp);
        stamps_.SetOrigin(LineStamper::SteadyClock::now());
        Session::Hooks hooks;
        hooks.received = [this](const uint8_t* p, size_t n) { Received(p, n); };
        hooks.reconnected = [this] { woken_ = true; };
        session_.SetHooks(std::move(hooks));
    }
    ~Relay() {
        Unwatch();
        session_.SetHooks({});
    }

    // --reconnect, or the setting AutoReconnect.
    bool Reconnects() const { return o_.reconnect || settings_.AutoReconnect != 0; }

    // The received text also goes through a terminal of its own into `file`.
    void TextReceive(CaptureLog& file) {
        receiveTerm_ = std::make_unique<Terminal>(settings_);
        receiveTerm_->AddCaptureSink(&file);
    }

    // Dials and waits for the outcome; the text received meanwhile is shown and kept for the
    // first wait of the script. False, with the reason on stderr, when no connection came of it.
    bool Dial(const DialRequest& dial) {
        ConsolePlatform& platform = line_.Platform();
        Connection& conn = session_.Conn();
        StringWait& wait = session_.Wait();
        const bool modemLines = Carrier(session_).has_value();
        const size_t shown = platform.messages.size();
        dialling_ = true;
        int outcome = wait.Arm({"CONNECT", "NO CARRIER", "NO DIALTONE", "NODIALTONE"}, true);
        // The dialler's own waits (the modem's OK) dispatch timers: the line is read on one.
        platform.StartTimer(1, kDialReadMs, [&] {
            if (conn.connected || wait.Matched(outcome)) return;  // the rest is the session's
            Drain();
            if (modemLines && Carrier(session_).value_or(false) && !conn.connected)
                conn.OnConnected();
        });
        platform.StartTimer(3, 500, [&] { session_.OnTick(); });
        bool dialled = dial.entry ? session_.ConnectHost(*dial.entry)
                                  : session_.ConnectPhone(dial.plan, dial.initCommand);
        int matched = 0;
        if (dialled) {
            // Redials of a busy line run inside this wait; a given-up dial shows its message.
            // A modem that never answers does not hold the command for ever, unless the plan
            // says to keep dialling.
            std::optional<std::chrono::steady_clock::time_point> deadline;
            const DialPlan plan = dial.entry ? DialPlanOf(*dial.entry) : dial.plan;
            if (!plan.Infinite)
                deadline = std::chrono::steady_clock::now() +
                           std::chrono::seconds(std::max(1, plan.RedialNum) *
                                                (120 + std::max(0, plan.Interval)));
            platform.DispatchWait(
                [&] {
                    matched = wait.Matched(outcome);
                    // The modem's CONNECT counts too: a pty or a cable may carry no CD.
                    return conn.connected || platform.messages.size() > shown || matched;
                },
                deadline);
        }
        platform.StopTimer(1);
        platform.StopTimer(3);
        wait.Disarm(outcome);
        dialling_ = false;
        if (!Flush() || !dialled || platform.messages.size() > shown) return false;
        if (matched > 1) {
            std::fprintf(stderr, "marlo-cli connect: the modem answered %s\n",
                         matched == 2 ? "NO CARRIER" : "NO DIALTONE");
            return false;
        }
        if (!matched && !conn.connected) {
            std::fprintf(stderr, "marlo-cli connect: no connection\n");
            session_.Dial().Cancel();
            return false;
        }
        return true;
    }

    // Runs until the far end is gone (after everything it sent was shown), the script fails or
    // ends (--close-after-script). `watchCarrier`: the line had a carrier, and its drop ends the
    // session.
    int Run(bool watchCarrier) {
        ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        if (o_.logon)
            logon_.emplace(*o_.logon, session_.Wait(),
                           [this](const std::string& s) { return session_.WriteConverted(s); });
        Steps();  // a wait is armed before the bytes it waits for are read
        if (!done_ && !early_.empty()) {
            session_.Wait().Feed(reinterpret_cast<const uint8_t*>(early_.data()), early_.size());
            early_.clear();
            Steps();
        }
        ConsolePlatform& platform = line_.Platform();
        if (watchCarrier)
            platform.StartTimer(kCarrierTimer, kCarrierCheckMs, [this] { woken_ = true; });
        while (!done_) {
            // A serial device that went away and is awaited is not the far end's hang-up.
            const bool awaited = session_.AwaitingDevice();
            // Seen gone before the line is read empty: what the far end sent first still counts.
            const bool gone =
                !awaited && (line_.HungUp() || (watchCarrier && !Carrier(session_).value_or(true)));
            if (!Holding() && !awaited) Drain();
            if (!done_) Steps();  // the wait's time-out
            if (done_) break;
            if (gone) {
                if (LogonRunning()) {
                    logon_->ConnectionLost();
                    Steps();
                }
                // With --reconnect a device that went away is waited for. Its descriptor leaves
                // the event loop before it is closed (the return watch may get its number).
                const bool await = Reconnects() && session_.SerialGone();
                if (await) UnwatchLine();
                if (!(await && session_.OnSerialGone())) {
                    Finish(kExitOk);
                    break;
                }
            }
            if (!Flush()) break;
            WaitForInput(watchCarrier);
        }
        platform.StopTimer(kCarrierTimer);
        Unwatch();
        Flush();
        if (waitId_) session_.Wait().Disarm(waitId_);
        logon_.reset();
        return status_;
    }

  private:
    static constexpr size_t kReadMax = 65536;
    // Received text is written out in pieces of about this size.
    static constexpr size_t kFlushAt = 256 * 1024;
    // How often a carrier is looked at: a modem line change wakes nobody.
    static constexpr int kCarrierCheckMs = 100;
    // How often the line is read while the dialler waits for the modem.
    static constexpr int kDialReadMs = 5;
    // The platform timers of the carrier watch and of a wait's time-out.
    static constexpr int kCarrierTimer = 4;
    static constexpr int kWaitTimer = 5;

    void Finish(int status) {
        done_ = true;
        status_ = status;
    }
    bool ScriptRunning() const { return LogonRunning() || step_ < o_.script.size(); }
    bool LogonRunning() const { return logon_ && logon_->End() == LogonEnd::Running; }
    bool Waiting() const { return waitId_ || (LogonRunning() && logon_->Waiting()); }
    // A plain pause of the logon leaves received data on the line.
    bool Holding() const { return LogonRunning() && logon_->HoldsReceive(); }
    // The logon first, then the script.
    void Steps() {
        if (LogonRunning()) {
            const LogonEnd end = logon_->Advance(std::chrono::steady_clock::now());
            if (end == LogonEnd::Running) return;
            if (end != LogonEnd::Finished) {
                std::fprintf(stderr, "marlo-cli connect: the auto-logon stopped: %s\n",
                             LogonEndText(end, logon_->Awaited()).c_str());
                if (end != LogonEnd::ConnectionLost) Finish(kExitFailed);
                return;
            }
        }
        Script();
    }
    // Reads until the line has nothing more; a script step runs as soon as its wait matched.
    void Drain() {
        for (;;) {
            int n = session_.ReadLineData(buf_.data(), static_cast<int>(buf_.size()), 0);
            if (n <= 0) return;
            session_.Deliver(buf_.data(), static_cast<size_t>(n));
            if (done_) return;
            if (shown_.size() >= kFlushAt && !Flush()) return;
        }
    }
    // The host may start a download by itself (AutoZMODEM, AutoBplus): what came before is shown,
    // the download runs, and what the host sends after it is shown again. The rest of the block
    // that started it belongs to the protocol.
    void Received(const uint8_t* p, size_t n) {
        std::vector<uint8_t> kept;
        kept.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            const auto r =
                autoStart_.Feed(p[i], settings_.AutoBplus != 0, settings_.AutoZMODEM != 0);
            if (r.display) kept.push_back(p[i]);
            if (!r.protocol) continue;
            Show(kept.data(), kept.size());
            if (!Flush()) return;
            TransferRequest req;
            req.protocol = r.protocol;
            req.direction = kDownload;
            req.downloadDir = o_.downloadDir.empty() ? settings_.DownlodDefPath : o_.downloadDir;
            if (req.downloadDir.empty()) req.downloadDir = ".";
            req.uploadDir = settings_.UploadDefPath.empty() ? "." : settings_.UploadDefPath;
            req.sevenToEight = settings_.SevenToEight != 0;
            req.fileNameCode = settings_.FileNameCode;
            std::vector<uint8_t> after;
            RunTransferOnLine(*session_.ActiveLine(), req, "connect", &after);
            Received(after.data(), after.size());
            return;
        }
        Show(kept.data(), kept.size());
    }
    void Show(const uint8_t* p, size_t n) {
        if (receiveTerm_) receiveTerm_->ProcessReceived(p, n);
        if (o_.hex) hex_.Append(p, n);
        // While a wait is armed the text goes to it in blocks of ReadSize, so that the next step
        // is armed close behind the match. Bytes taken from the line are shown all the same.
        // During a dial the text is kept for the script's first wait.
        const size_t piece = Waiting() ? static_cast<size_t>(settings_.ReadBlockSize()) : n;
        for (size_t at = 0; at < n; at += piece) {
            const size_t from = shown_.size();
            decoder_.Decode(p + at, std::min(piece, n - at), shown_);
            if (dialling_) {
                session_.Wait().Feed(reinterpret_cast<const uint8_t*>(shown_.data()) + from,
                                     shown_.size() - from);
                early_.append(shown_, from, std::string::npos);
            }
            if (done_ || !ScriptRunning() || dialling_) continue;
            session_.Wait().Feed(reinterpret_cast<const uint8_t*>(shown_.data()) + from,
                                 shown_.size() - from);
            if (Waiting()) Steps();
        }
        if (dialling_ || (o_.hex && hex_.End() - hexShown_ >= kFlushAt)) Flush();
    }
    bool Flush() {
        std::string text = shown_;
        if (o_.hex) {
            // Rows go out as far as their text is decoded (a kanji's first byte waits for the
            // rest of it), and whole at the end.
            const uint64_t upTo = done_ ? hex_.End() : hex_.Decoded();
            text = hex_.Format(hexShown_, upTo);
            hexShown_ = std::max(hexShown_, upTo);
        }
        shown_.clear();
        if (text.empty()) return true;
        text = stamps_.Stamp(text);
        bool ok = WriteOut(o_.utf8 ? SjisToUtf8(text) : text);
        if (!ok) Finish(kExitFailed);
        return ok;
    }
    void Script() {
        StringWait& wait = session_.Wait();
        while (step_ < o_.script.size()) {
            const SessionStep& s = o_.script[step_];
            if (!s.wait) {
                if (!session_.WriteConverted(s.text)) {
                    std::fprintf(stderr, "marlo-cli connect: sending failed\n");
                    Finish(kExitFailed);
                    return;
                }
                ++step_;
                continue;
            }
            if (!waitId_) {
                waitId_ = wait.Arm({s.text}, false);
                waitEnd_ =
                    std::chrono::steady_clock::now() + std::chrono::milliseconds(o_.waitTimeoutMs);
            }
            if (!wait.Matched(waitId_)) {
                if (std::chrono::steady_clock::now() >= waitEnd_) {
                    std::fprintf(stderr, "marlo-cli connect: timed out waiting for \"%s\"\n",
                                 SjisToUtf8(s.text).c_str());
                    Finish(kExitFailed);
                }
                return;
            }
            wait.Disarm(waitId_);
            waitId_ = 0;
            ++step_;
        }
        if (o_.closeAfterScript) Finish(kExitOk);
    }
    // Runs the platform's event loop until the line has something, typed text was sent, a wait's
    // time runs out, the carrier is due to be looked at or the serial device is back.
    void WaitForInput(bool watchCarrier) {
        ConsolePlatform& platform = line_.Platform();
        const int fd = Holding() ? -1 : line_.ReadFd();
        if (fd != lineFd_) {
            UnwatchLine();
            lineFd_ = fd;
            if (fd >= 0) platform.WatchFd(fd, [this] { woken_ = true; });
        }
        if (stdinOpen_ && !stdinWatched_) {
            platform.WatchFd(STDIN_FILENO, [this] {
                Typed();
                woken_ = true;
            });
            stdinWatched_ = true;
        }
        std::optional<std::chrono::steady_clock::time_point> end;
        if (waitId_) end = waitEnd_;
        if (LogonRunning()) end = logon_->Deadline();
        if (end) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(
                *end - std::chrono::steady_clock::now());
            if (left.count() <= 0) return;
            platform.StartTimer(kWaitTimer, static_cast<int>(left.count()),
                                [this] { woken_ = true; });
        }
        // Nothing to wait for: the line is gone.
        if (lineFd_ < 0 && !stdinOpen_ && !end && !watchCarrier && !session_.AwaitingDevice())
            return;
        woken_ = false;
        platform.DispatchWait([this] { return woken_; }, std::nullopt);
        platform.StopTimer(kWaitTimer);
    }
    void UnwatchLine() {
        if (lineFd_ >= 0) line_.Platform().UnwatchFd(lineFd_);
        lineFd_ = -1;
    }
    void Unwatch() {
        UnwatchLine();
        if (stdinWatched_) line_.Platform().UnwatchFd(STDIN_FILENO);
        stdinWatched_ = false;
    }
    void Typed() {
        char in[4096];
        ssize_t r = ::read(STDIN_FILENO, in, sizeof in);
        if (r > 0) {
            std::string text(in, static_cast<size_t>(r));
            if (o_.utf8) text = Utf8ToSjis(text);
            std::string typed;
            for (char c : text) {
                if (c == '\n') {
                    typed.push_back('\r');
                    if (settings_.SndCRLF) typed.push_back('\n');
                } else {
                    typed.push_back(c);
                }
            }
            session_.WriteConverted(typed);
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            stdinOpen_ = false;
            line_.Platform().UnwatchFd(STDIN_FILENO);
            stdinWatched_ = false;
        }
    }

    CliLine& line_;
    Session& session_;
    const Settings& settings_;
    const SessionOptions& o_;
    KanjiDecoder decoder_;
    std::unique_ptr<Terminal> receiveTerm_;  // with --text-receive
    AutoStartDetector autoStart_;
    std::optional<LogonRunner> logon_;
    std::vector<uint8_t> buf_;
    std::string shown_;  // received text (Shift-JIS) not yet written out
    HexDump hex_;        // with --hex, the received bytes written out as a dump
    uint64_t hexShown_ = 0;
    LineStamper stamps_;
    size_t step_ = 0;
    int waitId_ = 0;
    std::chrono::steady_clock::time_point waitEnd_;
    std::string early_;  // the text of the dial, for the first wait
    bool dialling_ = false;
    bool stdinOpen_ = true;
    bool stdinWatched_ = false;
    int lineFd_ = -1;     // the line's descriptor as the event loop watches it
    bool woken_ = false;  // something for the loop came while the platform dispatched
    bool done_ = false;
    int status_ = kExitOk;
};

}  // namespace

bool UnescapeArg(const std::string& in, std::string& out) {
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
                const auto hi = static_cast<unsigned char>(in[i + 1]);
                const auto lo = static_cast<unsigned char>(in[i + 2]);
                if (!std::isxdigit(hi) || !std::isxdigit(lo)) return false;
                out.push_back(static_cast<char>(std::stoi(in.substr(i + 1, 2), nullptr, 16)));
                i += 2;
                break;
            }
            default:
                return false;
        }
    }
    return true;
}

int TakeSessionOption(const std::vector<std::string>& args, size_t& i, SessionOptions& o,
                      std::string& error) {
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
    if (a == "--utf8") {
        o.utf8 = true;
    } else if (a == "--timestamps") {
        o.timestamps = true;
    } else if (a == "--hex") {
        o.hex = true;
    } else if (a == "--reconnect") {
        o.reconnect = true;
    } else if (a == "--close-after-script") {
        o.closeAfterScript = true;
    } else if (a == "--text-receive") {
        if (!value(o.textReceive)) return -1;
    } else if (a == "--append") {
        o.textReceiveAppend = true;
    } else if (a == "--trace") {
        if (!value(v)) return -1;
        SetTraceMode(true);
        SetTraceMask(kTraceMain | kTraceMacro);
        SetTraceFile(v);
    } else if (a == "--dir") {
        if (!value(o.downloadDir)) return -1;
    } else if (a == "--wait-timeout") {
        if (!value(v)) return -1;
        char* end = nullptr;
        long ms = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end || ms < 0 || ms > 24L * 3600 * 1000) {
            error = "bad --wait-timeout " + v;
            return -1;
        }
        o.waitTimeoutMs = static_cast<int>(ms);
    } else if (a == "--wait" || a == "--send") {
        if (!value(v)) return -1;
        std::string text;
        if (!UnescapeArg(v, text)) {
            error = "bad escape in " + v;
            return -1;
        }
        o.script.push_back({a == "--wait", ArgToSjis(text)});
    } else {
        return 0;
    }
    return 1;
}

int RunConnectSession(CliLine& line, const Settings& settings, const SessionOptions& o,
                      const std::optional<DialRequest>& dial) {
    CaptureLog received;  // outlives the relay's terminal that writes to it
    Relay relay(line, settings, o);
    if (o.textReceiveAppend && o.textReceive.empty()) {
        std::fprintf(stderr, "%s: --append needs --text-receive FILE\n", line.Who().c_str());
        return kExitUsage;
    }
    if (!o.textReceive.empty()) {
        // A name alone is taken where the command runs.
        Settings here = settings;
        here.TxrecvDefPath.clear();
        if (!OpenTextReceive(received, {o.textReceive, o.textReceiveAppend}, here,
                             line.Platform())) {
            std::fprintf(stderr, "%s: %s\n", line.Who().c_str(), o.textReceive.c_str());
            return kExitUsage;
        }
        relay.TextReceive(received);
    }
    line.SetAutoReconnect(relay.Reconnects());
    if (dial && !relay.Dial(*dial)) return kExitFailed;
    return relay.Run(Carrier(line.LineSession()).value_or(false));
}

}  // namespace marlo::cli

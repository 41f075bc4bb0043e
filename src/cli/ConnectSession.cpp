#include "cli/ConnectSession.h"

#include <fcntl.h>
#include <poll.h>
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
#include "settings/Trace.h"
#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"
#include "transfer/AutoStart.h"
#include "transfer/Protocols.h"

namespace marlo::cli {

const char* const kSessionUsage =
    "[--utf8] [--wait TEXT --send TEXT]... [--wait-timeout MS] [--close-after-script]\n"
    "          [--trace FILE] [--dir DIR]";

namespace {

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

// The line as the dialler sees it; typed text goes out through the session's send encoder.
class LinePort : public IModemPort {
  public:
    explicit LinePort(CliLine& line) : line_(line) {}
    bool WriteConverted(const std::string& sjis) override {
        return line_.LineSession().WriteConverted(sjis);
    }
    void SetDtr(bool on) override {
        if (line_.Serial()) line_.Serial()->SetDtr(on);
    }
    void SetRts(bool on) override {
        if (line_.Serial()) line_.Serial()->SetRts(on);
    }
    bool PortOpen() const override { return line_.Line() && line_.Line()->IsOpen(); }
    // The carrier, or nullopt when the line has no modem lines (a pty, a socket).
    std::optional<bool> Carrier() const {
        SerialLine* s = line_.Serial();
        if (!s) return std::nullopt;
        bool cd = s->UpdateModemStatus();
        if (!s->HasModemLines()) return std::nullopt;
        return cd;
    }

  private:
    CliLine& line_;
};

// The session proper: waits on the line and standard input together and reads the line empty
// whenever it has something, so received text goes out as fast as it comes. Time-outs are those
// of the string wait and the carrier watch; nothing else sleeps.
class Session {
  public:
    Session(CliLine& line, const Settings& s, const SessionOptions& o, LinePort& port)
        : line_(line), settings_(s), o_(o), port_(port), buf_(kReadMax) {
        decoder_.SetCode(s.ReceiveCode());
    }

    // Runs until the far end is gone (after everything it sent was shown), the script fails or
    // ends (--close-after-script). `watchCarrier`: the line had a carrier, and its drop ends the
    // session.
    int Run(bool watchCarrier) {
        ::fcntl(STDIN_FILENO, F_SETFL, ::fcntl(STDIN_FILENO, F_GETFL) | O_NONBLOCK);
        Script();  // a wait is armed before the bytes it waits for are read
        if (!done_ && !early_.empty()) {
            wait_.Feed(reinterpret_cast<const uint8_t*>(early_.data()), early_.size());
            early_.clear();
            Script();
        }
        while (!done_) {
            // Seen gone before the line is read empty: what the far end sent first still counts.
            const bool gone = line_.HungUp() || (watchCarrier && !port_.Carrier().value_or(true));
            Drain();
            if (!done_) Script();  // the wait's time-out
            if (done_) break;
            if (gone) {
                Finish(kExitOk);
                break;
            }
            if (!Flush()) break;
            WaitForInput(watchCarrier);
        }
        Flush();
        if (waitId_) wait_.Disarm(waitId_);
        return status_;
    }
    // Text that arrived (and was shown) before the session began, for the first wait.
    void SetEarlyText(std::string sjis) { early_ = std::move(sjis); }

  private:
    static constexpr size_t kReadMax = 65536;
    // Received text is written out in pieces of about this size.
    static constexpr size_t kFlushAt = 256 * 1024;
    // How often a carrier is looked at: a modem line change wakes nobody.
    static constexpr int kCarrierCheckMs = 100;

    void Finish(int status) {
        done_ = true;
        status_ = status;
    }
    bool ScriptRunning() const { return step_ < o_.script.size(); }
    // Reads until the line has nothing more; a script step runs as soon as its wait matched.
    void Drain() {
        for (;;) {
            int n = line_.Line()->ReadLineData(buf_.data(), static_cast<int>(buf_.size()), 0);
            if (n <= 0) return;
            Received(buf_.data(), static_cast<size_t>(n));
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
            RunTransferOnLine(*line_.Line(), req, "connect", &after);
            Received(after.data(), after.size());
            return;
        }
        Show(kept.data(), kept.size());
    }
    void Show(const uint8_t* p, size_t n) {
        // While a wait is armed the text goes to it in blocks of ReadSize, so that the next step
        // is armed close behind the match. Bytes taken from the line are shown all the same.
        const size_t piece = waitId_ ? static_cast<size_t>(settings_.ReadBlockSize()) : n;
        for (size_t at = 0; at < n; at += piece) {
            const size_t from = shown_.size();
            decoder_.Decode(p + at, std::min(piece, n - at), shown_);
            if (done_ || !ScriptRunning()) continue;
            wait_.Feed(reinterpret_cast<const uint8_t*>(shown_.data()) + from,
                       shown_.size() - from);
            if (waitId_) Script();
        }
    }
    bool Flush() {
        if (shown_.empty()) return true;
        bool ok = WriteOut(o_.utf8 ? SjisToUtf8(shown_) : shown_);
        shown_.clear();
        if (!ok) Finish(kExitFailed);
        return ok;
    }
    void Script() {
        while (step_ < o_.script.size()) {
            const SessionStep& s = o_.script[step_];
            if (!s.wait) {
                if (!port_.WriteConverted(s.text)) {
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
    // Blocks until the line or standard input has something, a wait's time runs out or the
    // carrier is due to be looked at; typed text goes to the line.
    void WaitForInput(bool watchCarrier) {
        pollfd p[2];
        nfds_t count = 0;
        if (int fd = line_.ReadFd(); fd >= 0) p[count++] = {fd, POLLIN, 0};
        const nfds_t typed = count;
        if (stdinOpen_) p[count++] = {STDIN_FILENO, POLLIN, 0};
        int timeoutMs = -1;
        if (waitId_) {
            auto left = std::chrono::ceil<std::chrono::milliseconds>(
                waitEnd_ - std::chrono::steady_clock::now());
            timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
        }
        if (watchCarrier && (timeoutMs < 0 || timeoutMs > kCarrierCheckMs))
            timeoutMs = kCarrierCheckMs;
        if (count == 0 && timeoutMs < 0) return;  // nothing to wait for: the line is gone
        if (::poll(p, count, timeoutMs) > 0 && stdinOpen_ && p[typed].revents) Typed();
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
            port_.WriteConverted(typed);
        } else if (r == 0 || (errno != EAGAIN && errno != EINTR)) {
            stdinOpen_ = false;
        }
    }

    CliLine& line_;
    const Settings& settings_;
    const SessionOptions& o_;
    LinePort& port_;
    KanjiDecoder decoder_;
    AutoStartDetector autoStart_;
    StringWait wait_;
    std::vector<uint8_t> buf_;
    std::string shown_;  // received text (Shift-JIS) not yet written out
    size_t step_ = 0;
    int waitId_ = 0;
    std::chrono::steady_clock::time_point waitEnd_;
    std::string early_;
    bool stdinOpen_ = true;
    bool done_ = false;
    int status_ = kExitOk;
};

// Dials and waits for the outcome. The text received meanwhile (already shown) comes back in
// `early`. False, with the reason on stderr, when no connection came of it.
bool Dial(CliLine& line, const Settings& s, const SessionOptions& o, LinePort& port,
          const DialRequest& dial, std::string& early) {
    ConsolePlatform& platform = line.Platform();
    Connection& conn = line.Conn();
    StringWait wait;
    Dialler dialler(platform, port, wait, conn);
    KanjiDecoder dec;
    dec.SetCode(s.ReceiveCode());
    const bool modemLines = port.Carrier().has_value();
    const size_t shown = platform.messages.size();
    int outcome = wait.Arm({"CONNECT", "NO CARRIER", "NO DIALTONE", "NODIALTONE"}, true);
    platform.StartTimer(1, 5, [&] {
        if (conn.connected || wait.Matched(outcome)) return;  // the rest is the session's
        uint8_t buf[4096];
        int n = line.Line()->ReadLineData(buf, sizeof buf, 0);
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
    bool dialled = dialler.Connect(dial.plan, dial.initCommand);
    int matched = 0;
    if (dialled) {
        // Redials of a busy line run inside this wait; a given-up dial shows its message.
        // A modem that never answers does not hold the command for ever, unless the plan says
        // to keep dialling.
        std::optional<std::chrono::steady_clock::time_point> deadline;
        if (!dial.plan.Infinite)
            deadline = std::chrono::steady_clock::now() +
                       std::chrono::seconds(std::max(1, dial.plan.RedialNum) *
                                            (120 + std::max(0, dial.plan.Interval)));
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
    if (!dialled || platform.messages.size() > shown) return false;
    if (matched > 1) {
        std::fprintf(stderr, "marlo-cli connect: the modem answered %s\n",
                     matched == 2 ? "NO CARRIER" : "NO DIALTONE");
        return false;
    }
    if (!matched && !conn.connected) {
        std::fprintf(stderr, "marlo-cli connect: no connection\n");
        dialler.Cancel();
        return false;
    }
    return true;
}

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
    } else if (a == "--close-after-script") {
        o.closeAfterScript = true;
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
    LinePort port(line);
    std::string early;
    if (dial && !Dial(line, settings, o, port, *dial, early)) return kExitFailed;
    const bool hadCarrier = port.Carrier().value_or(false);
    Session session(line, settings, o, port);
    session.SetEarlyText(early);
    return session.Run(hadCarrier);
}

}  // namespace marlo::cli

// The line as a TCP connection to a telnet server (RFC 854). The name lookup runs on a worker
// thread and reports through a callback; the connect never blocks the caller. Option negotiation
// is minimal: binary transmission is offered both ways, binary and echo are accepted; a line
// that announces a terminal type (xterm mode) also agrees to TERMINAL-TYPE and NAWS; everything
// else is refused. Negotiation is parsed by a state machine that survives any split of a command
// across reads; replies go out raw and only when an option's state changes.
#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "line/LineIo.h"
#include "settings/Trace.h"

namespace marlo {

class TelnetLine : public ILineIo {
  public:
    using TraceFn = TraceSink;

    enum class ConnectState { Idle, InProgress, Connected, Failed };

    TelnetLine();
    ~TelnetLine() override;
    TelnetLine(const TelnetLine&) = delete;
    TelnetLine& operator=(const TelnetLine&) = delete;

    // Every trace text of the line goes here (category 1); none until a sink is given.
    void SetTrace(TraceFn fn) { trace_ = std::move(fn); }
    // Called once when the server closes the connection or the socket fails, from the thread that
    // noticed it (a reader). The frame turns it into its close handling.
    void SetClosedCallback(std::function<void()> fn) { closed_ = std::move(fn); }

    // Starts looking the host up on a worker thread; `done` runs on that thread when the answer is
    // there (the frame posts WM_TELNET_RESOLVED from it). A later Cancel or StartLookup means
    // `done` will not run for this lookup any more.
    void StartLookup(const std::string& host, int port, std::function<void()> done);
    // After `done`: empty on success, else the failure text. `official` receives the resolved
    // name, `addrLen` the address length (for the trace), `reason` the resolver's own words for a
    // failure ("Name or service not known").
    std::string LookupResult(std::string* official = nullptr, int* addrLen = nullptr,
                             std::string* reason = nullptr) const;
    // Starts a non-blocking connect to the looked-up address. Failed with `error` set when the
    // socket cannot be created or the connect is refused at once.
    ConnectState BeginConnect(int& error);
    // Checks the connect for up to `waitMs`. On success sends the opening offers (IAC DO 0,
    // IAC WILL 0) and the line is open.
    ConnectState PollConnect(int waitMs, int& error);
    // Drops a pending lookup and closes the socket. Safe to call twice.
    void Close();

    // Waits up to `timeoutMs` for something to read (or the close).
    bool WaitReadable(int timeoutMs) const;
    // Calls `ready` on a worker thread when received bytes (or the server's close) wait to be
    // read: the frame posts WM_COMMNOTIFY from it. It fires once and is armed again when a
    // connection opens and when a read leaves nothing to read, so notifications neither pile up
    // while a reader works through a burst nor stay silent for a new connection.
    void StartNotifier(std::function<void()> ready);
    void StopNotifier();
    int Fd() const { return fd_.load(); }

    LineKind Kind() const override { return LineKind::Telnet; }
    int ReadLineData(uint8_t* buf, int max, int timeoutMs = 1000) override;
    bool WriteRaw(const uint8_t* buf, size_t n) override;
    bool IsOpen() const override { return open_.load(); }
    void Purge() override;
    void SetTransferMode(bool on) override { transferMode_ = on; }
    bool TransferMode() const { return transferMode_.load(); }

    // The terminal type the next connection announces ("xterm"); empty: TERMINAL-TYPE and NAWS
    // are refused. Set before the connect.
    void SetTerminalType(std::string type) { terminalType_ = std::move(type); }
    // The window's size, told to the server now when it asked for it (NAWS) and at every
    // connection that asks later.
    void SetWindowSize(int columns, int rows);

    // The limit for one try of a blocked send, and for a connect. Tests shorten them.
    void SetSendLimitMs(int ms) { sendLimitMs_ = ms; }
    void SetConnectLimitMs(int ms) { connectLimitMs_ = ms; }

    // The negotiation state machine, usable alone: turns received bytes into data bytes and
    // replies, and data to send into the bytes that go out. Replies are queued in `replies`;
    // data bytes are appended to `out` up to `max`.
    //
    // Until binary transmission is agreed for a direction, that direction is the network virtual
    // terminal, where a CR travels as CR NUL or CR LF: a server that declines binary sends its
    // bare CRs as CR NUL, and turns a CR LF of ours into a lone CR. So while the server does not
    // send binary, a NUL after a CR is dropped; while we do not, every CR goes out as CR NUL
    // (CR LF as CR NUL LF). Either way the bytes arrive as they were sent.
    class Parser {
      public:
        // Takes bytes from `in` (advancing it) until `in` is exhausted or `max` data bytes were
        // produced.
        void Run(const uint8_t*& in, const uint8_t* end, uint8_t* out, int max, int& produced,
                 std::string& replies, bool transferMode, const TraceFn& trace);
        // Records the offers sent when the connection opens, so that their answers are not
        // answered again.
        void OfferOpening();
        // Appends `n` data bytes to `out` as they go on the line: each CR as CR NUL unless we
        // send binary, and in transfer mode each 0xFF doubled. May run on another thread than
        // Run.
        void Encode(const uint8_t* buf, size_t n, bool transferMode, std::string& out) const;
        // The terminal type to announce (empty: refuse TERMINAL-TYPE and NAWS).
        void SetTerminalType(const std::string& type) { terminalType_ = type; }
        // The window's size (any thread); the size report to send now, empty unless the server
        // agreed to NAWS.
        std::string SetWindowSize(int columns, int rows);
        int WindowColumns() const { return static_cast<int>(size_.packed.load() >> 16); }
        int WindowRows() const { return static_cast<int>(size_.packed.load() & 0xFFFF); }

      private:
        enum class State { Data, Cr, Iac, Verb, Sb, SbIac };
        void Negotiate(uint8_t verb, uint8_t opt, std::string& replies, const TraceFn& trace);
        void SubnegotiationByte(uint8_t b);
        void EndSubnegotiation(std::string& replies, const TraceFn& trace);
        std::string SizeReport() const;
        // Our sending side's binary option, read by writers while the reader negotiates; copied
        // with the parser.
        struct Flag {
            std::atomic<bool> on{false};
            Flag() = default;
            Flag(const Flag& o) : on(o.on.load()) {}
            Flag& operator=(const Flag& o) {
                on = o.on.load();
                return *this;
            }
        };
        State state_ = State::Data;
        uint8_t verb_ = 0;
        // Per option: the far side's option is on (its WILL accepted) / ours is on.
        std::array<bool, 256> remoteOn_{};
        std::array<bool, 256> localOn_{};
        // Our DO or WILL sent and not yet answered.
        std::array<bool, 256> remoteAsked_{};
        std::array<bool, 256> localAsked_{};
        Flag sendsBinary_;
        Flag naws_;  // the server agreed to hear the window's size
        struct Size {
            std::atomic<uint32_t> packed{80u << 16 | 24u};  // columns << 16 | rows
            Size() = default;
            Size(const Size& o) : packed(o.packed.load()) {}
            Size& operator=(const Size& o) {
                packed = o.packed.load();
                return *this;
            }
        };
        Size size_;
        std::string terminalType_;
        // The subnegotiation being read: its option, its first byte after it, the bytes so far.
        uint8_t sbOption_ = 0;
        uint8_t sbCommand_ = 0;
        size_t sbLength_ = 0;
    };

  private:
    struct Lookup;
    bool SendAll(const uint8_t* buf, size_t n);
    // Hands pending bytes through the parser to `buf` (under readMutex_): the data bytes given.
    int TakePending(uint8_t* buf, int max);
    void ArmNotifier();
    void NoteClosed();
    void Trace(const std::string& text) const {
        if (trace_) trace_(1, text);
    }

    TraceFn trace_;
    std::function<void()> closed_;
    std::shared_ptr<Lookup> lookup_;
    std::atomic<int> fd_{-1};
    std::atomic<bool> open_{false};
    std::atomic<bool> closedReported_{false};
    std::atomic<bool> transferMode_{false};
    std::atomic<int> sendLimitMs_{30000};
    int connectLimitMs_ = 30000;
    std::chrono::steady_clock::time_point connectStart_;
    mutable std::mutex readMutex_;
    std::mutex writeMutex_;
    Parser parser_;
    std::string terminalType_;
    std::mutex notifyMutex_;
    std::condition_variable notifyCv_;
    std::atomic<bool> notifyArmed_{true};
    std::jthread notifier_;
    // Received bytes not yet walked by the parser: one receive takes what a busy loopback socket
    // holds at a time.
    std::array<uint8_t, 65536> pending_{};
    size_t pendingHead_ = 0;
    size_t pendingCount_ = 0;
    bool eof_ = false;
};

}  // namespace marlo

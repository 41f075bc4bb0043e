#include "line/TelnetLine.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace marlo {

namespace {

constexpr uint8_t kIac = 255, kDont = 254, kDo = 253, kWont = 252, kWill = 251, kSb = 250,
                  kSe = 240;
constexpr uint8_t kCr = 13, kNul = 0;
constexpr uint8_t kBinary = 0, kTerminalType = 24, kNaws = 31;
constexpr uint8_t kTypeIs = 0, kTypeSend = 1;
// A subnegotiation that never ends must not swallow the stream.

std::string Format(const char* fmt, int v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

// The system's words for an error number; strerror itself is not safe off the main thread.
std::string SystemErrorText(int err) {
    char buf[256];
    return ::strerror_r(err, buf, sizeof buf);
}

int PollOne(int fd, short events, int timeoutMs) {
    pollfd p{fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r <= 0) return r;
    return p.revents;
}

}  // namespace

// ---- negotiation ----

void TelnetLine::Parser::OfferOpening() {
    localAsked_[0] = true;
    remoteAsked_[0] = true;
}

void TelnetLine::Parser::Negotiate(uint8_t verb, uint8_t opt, std::string& replies,
                                   const TraceFn& trace) {
    const bool supported =
        opt <= 1 || (!terminalType_.empty() && (opt == kTerminalType || opt == kNaws));
    auto reply = [&](uint8_t v) {
        replies.push_back(static_cast<char>(kIac));
        replies.push_back(static_cast<char>(v));
        replies.push_back(static_cast<char>(opt));
    };
    auto say = [&](const char* fmt) {
        if (trace) trace(1, Format(fmt, opt));
    };
    switch (verb) {
        case kWill:
            say("WILL %d\n");
            if (!supported) {
                reply(kDont);
            } else if (!remoteOn_[opt]) {
                remoteOn_[opt] = true;
                if (!remoteAsked_[opt]) reply(kDo);
            }
            remoteAsked_[opt] = false;
            break;
        case kWont:
            say("WONT %d\n");
            if (remoteOn_[opt]) {
                remoteOn_[opt] = false;
                reply(kDont);
            }
            remoteAsked_[opt] = false;
            break;
        case kDo:
            say("DO %d\n");
            if (!supported) {
                reply(kWont);
            } else if (!localOn_[opt]) {
                localOn_[opt] = true;
                if (!localAsked_[opt]) reply(kWill);
                if (opt == kNaws) {
                    naws_.on = true;
                    replies += SizeReport();
                }
            }
            localAsked_[opt] = false;
            if (opt == kBinary) sendsBinary_.on = localOn_[opt];
            break;
        case kDont:
            say("DONT %d\n");
            if (localOn_[opt]) {
                localOn_[opt] = false;
                reply(kWont);
            }
            localAsked_[opt] = false;
            if (opt == kBinary) sendsBinary_.on = false;
            if (opt == kNaws) naws_.on = false;
            break;
        default:
            break;
    }
}

void TelnetLine::Parser::SubnegotiationByte(uint8_t b) {
    if (sbLength_ == 0) sbOption_ = b;
    if (sbLength_ == 1) sbCommand_ = b;
    if (sbLength_ < 3) ++sbLength_;  // 3: more than a request carries
}

void TelnetLine::Parser::EndSubnegotiation(std::string& replies, const TraceFn& trace) {
    const bool typeAsked = sbLength_ == 2 && sbOption_ == kTerminalType && sbCommand_ == kTypeSend;
    sbLength_ = 0;
    if (!typeAsked || !localOn_[kTerminalType]) return;
    if (trace) trace(1, "SB TERMINAL-TYPE SEND\n");
    replies += {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kTerminalType),
                static_cast<char>(kTypeIs)};
    replies += terminalType_;
    replies += {static_cast<char>(kIac), static_cast<char>(kSe)};
}

std::string TelnetLine::Parser::SizeReport() const {
    const uint32_t packed = size_.packed.load();
    const uint32_t columns = packed >> 16, rows = packed & 0xFFFF;
    std::string out = {static_cast<char>(kIac), static_cast<char>(kSb), static_cast<char>(kNaws)};
    for (uint32_t v : {columns >> 8, columns & 0xFF, rows >> 8, rows & 0xFF}) {
        out += static_cast<char>(v);
        if (v == kIac) out += static_cast<char>(kIac);
    }
    out += {static_cast<char>(kIac), static_cast<char>(kSe)};
    return out;
}

std::string TelnetLine::Parser::SetWindowSize(int columns, int rows) {
    const auto clamp16 = [](int v) { return static_cast<uint32_t>(std::clamp(v, 1, 0xFFFF)); };
    const uint32_t packed = clamp16(columns) << 16 | clamp16(rows);
    const bool changed = size_.packed.exchange(packed) != packed;
    return changed && naws_.on ? SizeReport() : std::string();
}

void TelnetLine::Parser::Run(const uint8_t*& from, const uint8_t* end, uint8_t* out, int max,
                             int& producedSoFar, std::string& replies, bool transferMode,
                             const TraceFn& trace) {
    // Locals while the loop runs: every byte stored to `out` could otherwise alias them, and the
    // loop would go through memory for each byte.
    const uint8_t* in = from;
    int produced = producedSoFar;
    while (in < end && produced < max) {
        uint8_t b = *in++;
        switch (state_) {
            case State::Cr:
                state_ = State::Data;
                if (b == kNul) break;  // the NUL that carried a bare CR
                [[fallthrough]];
            case State::Data:
                if (b == kIac) {
                    state_ = State::Iac;
                } else {
                    out[produced++] = b;
                    if (b == kCr && !remoteOn_[kBinary]) state_ = State::Cr;
                }
                break;
            case State::Iac:
                if (b == kIac) {
                    out[produced++] = 0xFF;
                    state_ = State::Data;
                } else if (b >= kWill && b <= kDont) {
                    verb_ = b;
                    state_ = State::Verb;
                } else if (b == kSb) {
                    state_ = State::Sb;
                    sbLength_ = 0;
                } else {
                    state_ = State::Data;  // NOP, GA and the like carry nothing for us
                }
                break;
            case State::Verb:
                Negotiate(verb_, b, replies, trace);
                state_ = State::Data;
                break;
            case State::Sb:
                // Only a request for the terminal type is answered; everything else of a
                // subnegotiation is skipped up to IAC SE, however long.
                if (b == kIac)
                    state_ = State::SbIac;
                else
                    SubnegotiationByte(b);
                break;
            case State::SbIac:
                if (b == kSe) {
                    EndSubnegotiation(replies, trace);
                    state_ = State::Data;
                } else {
                    if (b == kIac) SubnegotiationByte(b);
                    state_ = State::Sb;
                }
                break;
        }
    }
    from = in;
    producedSoFar = produced;
    if (transferMode && state_ == State::Iac && in == end && trace) trace(1, "1個しかない\n");
}

// ---- lookup and connect ----

struct TelnetLine::Lookup {
    std::mutex mutex;
    bool cancelled = false;
    bool done = false;
    std::string error;
    std::string reason;
    std::string official;
    sockaddr_in addr{};
    std::function<void()> notify;
};

TelnetLine::TelnetLine() = default;

TelnetLine::~TelnetLine() {
    StopNotifier();
    closed_ = nullptr;
    Close();
}

void TelnetLine::StartNotifier(std::function<void()> ready) {
    StopNotifier();
    ArmNotifier();
    notifier_ = std::jthread([this, ready = std::move(ready)](std::stop_token st) {
        std::stop_callback wake(st, [this] {
            std::lock_guard lock(notifyMutex_);
            notifyCv_.notify_all();
        });
        while (!st.stop_requested()) {
            {
                // A connect in progress is the connect's business; the open arms it.
                std::unique_lock lock(notifyMutex_);
                notifyCv_.wait(lock,
                               [&] { return st.stop_requested() || (notifyArmed_ && open_); });
            }
            if (st.stop_requested()) break;
            if (WaitReadable(50) && open_ && notifyArmed_.exchange(false)) ready();
        }
    });
}

void TelnetLine::ArmNotifier() {
    {
        std::lock_guard lock(notifyMutex_);
        notifyArmed_ = true;
    }
    notifyCv_.notify_all();
}

void TelnetLine::StopNotifier() {
    if (notifier_.joinable()) {
        notifier_.request_stop();
        notifier_.join();
    }
}

void TelnetLine::StartLookup(const std::string& host, int port, std::function<void()> done) {
    if (lookup_) {
        std::lock_guard lock(lookup_->mutex);
        lookup_->cancelled = true;
    }
    auto lookup = std::make_shared<Lookup>();
    lookup->notify = std::move(done);
    lookup_ = lookup;
    // Detached: a lookup cannot be interrupted, and a cancelled one must not hold anyone up.
    std::thread([lookup, host, port] {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_flags = AI_CANONNAME;
        addrinfo* res = nullptr;
        int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &res);
        std::lock_guard lock(lookup->mutex);
        if (rc != 0 || !res) {
            lookup->error = "WSAGETASYNCERROR";
            lookup->reason = rc == EAI_SYSTEM ? SystemErrorText(errno)
                             : rc != 0        ? ::gai_strerror(rc)
                                              : ::gai_strerror(EAI_NONAME);
        } else {
            std::memcpy(&lookup->addr, res->ai_addr, sizeof lookup->addr);
            lookup->addr.sin_port = htons(static_cast<uint16_t>(port));
            lookup->official = res->ai_canonname ? res->ai_canonname : host;
            if (lookup->official.empty()) lookup->error = "h_name NULL";
        }
        if (res) ::freeaddrinfo(res);
        lookup->done = true;
        if (!lookup->cancelled && lookup->notify) lookup->notify();
    }).detach();
}

std::string TelnetLine::LookupResult(std::string* official, int* addrLen,
                                     std::string* reason) const {
    if (!lookup_) return "WSAGETASYNCERROR";
    std::lock_guard lock(lookup_->mutex);
    if (!lookup_->done) return "WSAGETASYNCERROR";
    if (official) *official = lookup_->official;
    if (addrLen) *addrLen = sizeof(in_addr);
    if (reason) *reason = lookup_->reason;
    return lookup_->error;
}

TelnetLine::ConnectState TelnetLine::BeginConnect(int& error) {
    error = 0;
    sockaddr_in addr{};
    {
        if (!lookup_) return ConnectState::Failed;
        std::lock_guard lock(lookup_->mutex);
        if (!lookup_->done || !lookup_->error.empty()) return ConnectState::Failed;
        addr = lookup_->addr;
    }
    Close();
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = errno;
        return ConnectState::Failed;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    {
        std::lock_guard lock(readMutex_);
        pendingHead_ = pendingCount_ = 0;
        eof_ = false;
        const int columns = parser_.WindowColumns(), rows = parser_.WindowRows();
        parser_ = Parser{};
        parser_.SetTerminalType(terminalType_);
        parser_.SetWindowSize(columns, rows);
    }
    closedReported_ = false;
    transferMode_ = false;
    fd_ = fd;
    connectStart_ = std::chrono::steady_clock::now();
    if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        return PollConnect(0, error);
    }
    if (errno != EINPROGRESS) {
        error = errno;
        Close();
        return ConnectState::Failed;
    }
    return ConnectState::InProgress;
}

TelnetLine::ConnectState TelnetLine::PollConnect(int waitMs, int& error) {
    error = 0;
    int fd = fd_.load();
    if (fd < 0) return ConnectState::Idle;
    if (open_) return ConnectState::Connected;
    int ev = PollOne(fd, POLLOUT, waitMs);
    if (ev == 0) {
        auto spent = std::chrono::steady_clock::now() - connectStart_;
        if (spent >= std::chrono::milliseconds(connectLimitMs_)) {
            error = ETIMEDOUT;
            Close();
            return ConnectState::Failed;
        }
        return ConnectState::InProgress;
    }
    int soError = 0;
    socklen_t len = sizeof soError;
    if (ev < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &len) != 0) soError = errno;
    if (soError != 0) {
        error = soError;
        Close();
        return ConnectState::Failed;
    }
    open_ = true;
    parser_.OfferOpening();
    static const uint8_t offers[] = {kIac, kDo, 0, kIac, kWill, 0};
    if (!SendAll(offers, sizeof offers)) {
        error = errno ? errno : EPIPE;
        Close();
        return ConnectState::Failed;
    }
    // Whatever became of notifications for an earlier connection, this one is heard from its
    // first byte.
    ArmNotifier();
    return ConnectState::Connected;
}

void TelnetLine::Close() {
    if (lookup_) {
        std::lock_guard lock(lookup_->mutex);
        lookup_->cancelled = true;
    }
    open_ = false;
    closedReported_ = true;  // a close of our own is not the server's
    int fd = fd_.load();
    if (fd < 0) return;
    // Wakes a reader or writer blocked on the socket before the descriptor is given back.
    ::shutdown(fd, SHUT_RDWR);
    std::scoped_lock lock(readMutex_, writeMutex_);
    if (fd_.compare_exchange_strong(fd, -1)) ::close(fd);
}

void TelnetLine::NoteClosed() {
    open_ = false;
    if (!closedReported_.exchange(true) && closed_) closed_();
}

// ---- reading and writing ----

void TelnetLine::SetWindowSize(int columns, int rows) {
    const std::string report = parser_.SetWindowSize(columns, rows);
    if (!report.empty() && open_)
        SendAll(reinterpret_cast<const uint8_t*>(report.data()), report.size());
}

bool TelnetLine::WaitReadable(int timeoutMs) const {
    {
        std::lock_guard lock(readMutex_);
        if (pendingCount_ > 0 || eof_) return true;
    }
    int fd = fd_.load();
    if (fd < 0) return false;
    return PollOne(fd, POLLIN, timeoutMs) > 0;
}

int TelnetLine::TakePending(uint8_t* buf, int max) {
    const uint8_t* in = pending_.data() + pendingHead_;
    const uint8_t* end = in + pendingCount_;
    int produced = 0;
    std::string replies;
    parser_.Run(in, end, buf, max, produced, replies, transferMode_, trace_);
    size_t used = static_cast<size_t>(in - (pending_.data() + pendingHead_));
    pendingHead_ += used;
    pendingCount_ -= used;
    if (pendingCount_ == 0) pendingHead_ = 0;
    if (!replies.empty()) SendAll(reinterpret_cast<const uint8_t*>(replies.data()), replies.size());
    return produced;
}

int TelnetLine::ReadLineData(uint8_t* buf, int max, int timeoutMs) {
    if (max <= 0) return 0;
    if (!open_) return 0;
    std::unique_lock lock(readMutex_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int fd = fd_.load();
        if (fd < 0) return 0;
        if (pendingCount_ > 0) {
            int produced = TakePending(buf, max);
            if (produced > 0) {
                if (pendingCount_ == 0 && !eof_ && PollOne(fd, POLLIN, 0) == 0) ArmNotifier();
                return produced;
            }
        }
        // Nothing pending: the parser has walked every byte received so far.
        if (eof_) {
            lock.unlock();
            NoteClosed();
            return 0;
        }
        ssize_t n = ::recv(fd, pending_.data(), pending_.size(), MSG_DONTWAIT);
        if (n > 0) {
            pendingCount_ = static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            eof_ = true;
            continue;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        int ev = left > 0 ? PollOne(fd, POLLIN, static_cast<int>(left)) : 0;
        if (ev < 0) {
            eof_ = true;
        } else if (ev == 0) {
            ArmNotifier();
            return 0;
        }
    }
}

bool TelnetLine::SendAll(const uint8_t* buf, size_t n) {
    std::lock_guard lock(writeMutex_);
    size_t done = 0;
    while (done < n) {
        int fd = fd_.load();
        if (fd < 0) return false;
        ssize_t w = ::send(fd, buf + done, n - done, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (w > 0) {
            done += static_cast<size_t>(w);
            continue;
        }
        if (w < 0 && errno == EINTR) continue;
        int err = errno;
        Trace(Format("send() error = %d\n", err));
        if (w < 0 && (err == EAGAIN || err == EWOULDBLOCK)) {
            Trace("WaitForSingleObject BEGIN\n");
            int ev = PollOne(fd, POLLOUT, sendLimitMs_);
            Trace("WaitForSingleObject END\n");
            if (ev == 0) return false;  // no progress within the limit: the rest is not sent
            if (ev < 0) return false;
            continue;
        }
        return false;
    }
    return true;
}

void TelnetLine::Parser::Encode(const uint8_t* buf, size_t n, bool transferMode,
                                std::string& out) const {
    const bool crNul = !sendsBinary_.on.load();
    out.reserve(out.size() + n + n / 8);
    for (size_t i = 0; i < n; ++i) {
        out.push_back(static_cast<char>(buf[i]));
        if (buf[i] == kCr && crNul) out.push_back(static_cast<char>(kNul));
        if (buf[i] == kIac && transferMode) out.push_back(static_cast<char>(kIac));
    }
}

bool TelnetLine::WriteRaw(const uint8_t* buf, size_t n) {
    if (!open_) return false;
    std::string encoded;
    parser_.Encode(buf, n, transferMode_, encoded);
    return SendAll(reinterpret_cast<const uint8_t*>(encoded.data()), encoded.size());
}

void TelnetLine::Purge() {
    uint8_t scratch[4096];
    while (open_ && ReadLineData(scratch, sizeof scratch, 0) > 0) {
    }
}

}  // namespace marlo

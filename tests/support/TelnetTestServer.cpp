#include "support/TelnetTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include "support/Loopback.h"
#include "support/TransferKit.h"

namespace marlo::test {

namespace {

constexpr uint8_t kIac = 255, kSb = 250, kSe = 240, kWill = 251, kWont = 252, kDo = 253,
                  kDont = 254, kCr = 13, kLf = 10;

bool WriteAll(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::send(fd, p, n, MSG_NOSIGNAL);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

HostEntry LoopbackTelnetEntry(int port) {
    HostEntry e;
    e.Name = "LOCAL";
    e.Line = 1;
    e.TelnetHost = "127.0.0.1";
    e.TelnetPort = port;
    e.RedialNum = 1;
    e.Infinite = 0;
    e.Interval = 0;
    return e;
}

TelnetTestServer::TelnetTestServer() {
    listen_ = ListenOnLoopback(port_);
}

// The program served, and the thread that accepts the client and relays between the two.
struct TelnetTestServer::Program {
    Program(std::vector<std::string> a, std::filesystem::path d, int l, bool b)
        : argv(std::move(a)), dir(std::move(d)), listen(l), binary(b) {
        thread = std::thread([this] { Run(); });
    }
    ~Program() {
        stop = true;
        if (thread.joinable()) thread.join();
    }
    void Run();
    bool Relay(int client, int prog);

    std::vector<std::string> argv;
    std::filesystem::path dir;
    int listen;
    bool binary;
    std::unique_ptr<PeerProcess> peer;
    std::atomic<bool> stop{false}, done{false};
    std::atomic<int64_t> doubled{0}, undoubled{0};
    std::mutex m;
    std::condition_variable cv;
    std::thread thread;
};

TelnetTestServer::TelnetTestServer(std::vector<std::string> argv, std::filesystem::path dir,
                                   bool binary)
    : TelnetTestServer() {
    program_ = std::make_unique<Program>(std::move(argv), std::move(dir), listen_, binary);
}

TelnetTestServer::~TelnetTestServer() {
    program_.reset();
    CloseClient();
    if (listen_ >= 0) ::close(listen_);
}

int TelnetTestServer::ClosedPort() {
    int port = 0;
    ::close(ListenOnLoopback(port));
    return port;
}

bool TelnetTestServer::Accept(int timeoutMs) {
    pollfd p{listen_, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0) return false;
    CloseClient();
    client_ = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
    received_.clear();
    return client_ >= 0;
}

bool TelnetTestServer::Send(const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t w = ::send(client_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (w <= 0) return false;
        done += static_cast<size_t>(w);
    }
    return true;
}

bool TelnetTestServer::ReadSome(int ms) {
    if (client_ < 0) return false;
    pollfd p{client_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char buf[65536];
    ssize_t r = ::recv(client_, buf, sizeof buf, 0);
    if (r <= 0) return false;
    received_.append(buf, static_cast<size_t>(r));
    return true;
}

std::string TelnetTestServer::Collect(int ms) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) ReadSome(10);
    return received_;
}

bool TelnetTestServer::WaitFor(const std::string& bytes, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received_.find(bytes) == std::string::npos) {
        if (std::chrono::steady_clock::now() >= end) return false;
        ReadSome(20);
    }
    return true;
}

bool TelnetTestServer::WaitForCount(size_t n, int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (received_.size() < n) {
        if (std::chrono::steady_clock::now() >= end) return false;
        ReadSome(20);
    }
    return true;
}

void TelnetTestServer::SetSmallReceiveBuffer() {
    int size = 4096;
    // On the listening socket, so that the window is agreed small from the handshake on.
    ::setsockopt(listen_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

void TelnetTestServer::CloseClient() {
    if (client_ >= 0) ::close(client_);
    client_ = -1;
}

void TelnetTestServer::EndSending() {
    if (client_ >= 0) ::shutdown(client_, SHUT_WR);
}

int TelnetTestServer::WaitProgram(int timeoutMs) {
    if (!program_) return -1;
    Program& p = *program_;
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (p.thread.joinable()) {
        // The relay ends when either side closes; past the limit it is told to stop.
        while (!p.done.load() && std::chrono::steady_clock::now() < end) {
            std::unique_lock lock(p.m);
            p.cv.wait_until(lock, end, [&p] { return p.done.load(); });
        }
        if (!p.done.load()) p.stop = true;
        p.thread.join();
    }
    if (!p.peer) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now())
                    .count();
    return p.peer->Wait(static_cast<int>(std::max<long long>(left, 1000)));
}

void TelnetTestServer::Program::Run() {
    int client = -1;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stop.load() && std::chrono::steady_clock::now() < end) {
        pollfd p{listen, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            client = ::accept4(listen, nullptr, nullptr, SOCK_CLOEXEC);
            break;
        }
    }
    if (client >= 0) {
        SocketPair pair;
        const int ours = std::exchange(pair.a, -1);
        peer = std::make_unique<PeerProcess>(argv, pair.b, dir);
        ::close(std::exchange(pair.b, -1));
        const uint8_t offers[] = {kIac, kDo, 0, kIac, kWill, 0};
        if (!binary || WriteAll(client, offers, sizeof offers)) Relay(client, ours);
        ::close(ours);
        ::close(client);
    }
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_all();
}

bool TelnetTestServer::Program::Relay(int client, int prog) {
    enum class State { Data, Cr, Iac, Option, Sb, SbIac } state = State::Data;
    uint8_t buf[8192];
    uint8_t verb = 0;
    std::vector<uint8_t> out, answers;
    while (!stop.load()) {
        pollfd p[2] = {{client, POLLIN, 0}, {prog, POLLIN, 0}};
        int r = ::poll(p, 2, 100);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (p[1].revents) {
            ssize_t n = ::read(prog, buf, sizeof buf);
            if (n <= 0) return true;  // the program is done
            out.clear();
            for (ssize_t i = 0; i < n; ++i) {
                out.push_back(buf[i]);
                if (buf[i] == kIac) {
                    out.push_back(kIac);
                    ++doubled;
                }
                if (!binary && buf[i] == kCr && (i + 1 == n || buf[i + 1] != kLf)) out.push_back(0);
            }
            if (!WriteAll(client, out.data(), out.size())) return false;
        }
        if (p[0].revents) {
            ssize_t n = ::read(client, buf, sizeof buf);
            if (n <= 0) return true;  // the client left
            out.clear();
            answers.clear();
            for (ssize_t i = 0; i < n; ++i) {
                uint8_t b = buf[i];
                switch (state) {
                    case State::Cr:
                        state = State::Data;
                        if (b == 0 || b == kLf) break;
                        [[fallthrough]];
                    case State::Data:
                        if (b == kIac) {
                            state = State::Iac;
                        } else {
                            out.push_back(b);
                            if (!binary && b == kCr) state = State::Cr;
                        }
                        break;
                    case State::Iac:
                        if (b == kIac) {
                            out.push_back(b);
                            ++undoubled;
                            state = State::Data;
                        } else if (b >= kWill && b <= kDont) {
                            verb = b;
                            state = State::Option;
                        } else {
                            state = b == kSb ? State::Sb : State::Data;
                        }
                        break;
                    case State::Option:
                        if (!binary && (verb == kWill || verb == kDo))
                            answers.insert(answers.end(), {kIac, verb == kWill ? kDont : kWont, b});
                        state = State::Data;
                        break;
                    case State::Sb:
                        if (b == kIac) state = State::SbIac;
                        break;
                    case State::SbIac:
                        state = b == kSe ? State::Data : State::Sb;
                        break;
                }
            }
            if (!WriteAll(prog, out.data(), out.size())) return false;
            if (!WriteAll(client, answers.data(), answers.size())) return false;
        }
    }
    return false;
}

int64_t TelnetTestServer::DoubledToClient() const {
    return program_ ? program_->doubled.load() : 0;
}

int64_t TelnetTestServer::UndoubledFromClient() const {
    return program_ ? program_->undoubled.load() : 0;
}

}  // namespace marlo::test

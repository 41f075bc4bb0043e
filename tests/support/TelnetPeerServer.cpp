#include "support/TelnetPeerServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "support/ZmodemRelay.h"

namespace marlo::test {

namespace {

constexpr uint8_t kIac = 255, kSb = 250, kSe = 240, kWill = 251, kDont = 254;

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

TelnetPeerServer::TelnetPeerServer(std::vector<std::string> argv, std::filesystem::path dir)
    : argv_(std::move(argv)), dir_(std::move(dir)) {
    listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (listen_ < 0 || ::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::listen(listen_, 1) != 0 ||
        ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return;
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this] { Run(); });
}

TelnetPeerServer::~TelnetPeerServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    peer_.reset();
    if (listen_ >= 0) ::close(listen_);
}

int TelnetPeerServer::Wait(int timeoutMs) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    if (thread_.joinable()) {
        // The relay ends when either side closes; past the limit it is told to stop.
        while (!done_.load() && std::chrono::steady_clock::now() < end) {
            std::unique_lock lock(m_);
            cv_.wait_until(lock, end, [this] { return done_.load(); });
        }
        if (!done_.load()) stop_ = true;
        thread_.join();
    }
    if (!peer_) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    end - std::chrono::steady_clock::now())
                    .count();
    return peer_->Wait(static_cast<int>(std::max<long long>(left, 1000)));
}

void TelnetPeerServer::Run() {
    int client = -1;
    auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!stop_.load() && std::chrono::steady_clock::now() < end) {
        pollfd p{listen_, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            client = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            break;
        }
    }
    if (client >= 0) {
        auto [ours, theirs] = SocketPair();
        peer_ = std::make_unique<PeerProcess>(argv_, theirs, dir_);
        ::close(theirs);
        const uint8_t offers[] = {kIac, 253, 0, kIac, kWill, 0};
        if (WriteAll(client, offers, sizeof offers)) Relay(client, ours);
        ::close(ours);
        ::close(client);
    }
    {
        std::lock_guard lock(m_);
        done_ = true;
    }
    cv_.notify_all();
}

bool TelnetPeerServer::Relay(int client, int peer) {
    enum class State { Data, Iac, Option, Sb, SbIac } state = State::Data;
    uint8_t buf[8192];
    std::vector<uint8_t> out;
    while (!stop_.load()) {
        pollfd p[2] = {{client, POLLIN, 0}, {peer, POLLIN, 0}};
        int r = ::poll(p, 2, 100);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return false;
        if (p[1].revents) {
            ssize_t n = ::read(peer, buf, sizeof buf);
            if (n <= 0) return true;  // the program is done
            out.clear();
            for (ssize_t i = 0; i < n; ++i) {
                out.push_back(buf[i]);
                if (buf[i] == kIac) {
                    out.push_back(kIac);
                    ++doubled_;
                }
            }
            if (!WriteAll(client, out.data(), out.size())) return false;
        }
        if (p[0].revents) {
            ssize_t n = ::read(client, buf, sizeof buf);
            if (n <= 0) return true;  // the client left
            out.clear();
            for (ssize_t i = 0; i < n; ++i) {
                uint8_t b = buf[i];
                switch (state) {
                    case State::Data:
                        if (b == kIac)
                            state = State::Iac;
                        else
                            out.push_back(b);
                        break;
                    case State::Iac:
                        if (b == kIac) {
                            out.push_back(b);
                            ++undoubled_;
                            state = State::Data;
                        } else if (b >= kWill && b <= kDont) {
                            state = State::Option;
                        } else {
                            state = b == kSb ? State::Sb : State::Data;
                        }
                        break;
                    case State::Option:
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
            if (!WriteAll(peer, out.data(), out.size())) return false;
        }
    }
    return false;
}

}  // namespace marlo::test

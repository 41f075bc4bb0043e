#include "support/TelnetTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace marlo::test {

namespace {

int BindLoopback(int& port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    port = ntohs(a.sin_port);
    return fd;
}

}  // namespace

TelnetTestServer::TelnetTestServer() {
    listen_ = BindLoopback(port_);
    ::listen(listen_, 4);
}

TelnetTestServer::~TelnetTestServer() {
    CloseClient();
    if (listen_ >= 0) ::close(listen_);
}

int TelnetTestServer::ClosedPort() {
    int port = 0;
    int fd = BindLoopback(port);
    ::close(fd);
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

}  // namespace marlo::test

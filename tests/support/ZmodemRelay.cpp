#include "ZmodemRelay.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <fstream>
#include <random>
#include <stdexcept>

namespace marlo::test {

namespace {

bool WriteAllBlocking(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0) {
            if (errno == EINTR) continue;
            if (errno == EAGAIN) {
                pollfd q{fd, POLLOUT, 0};
                ::poll(&q, 1, 100);
                continue;
            }
            return false;
        }
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

}  // namespace

ZmodemRelay::ZmodemRelay(int a, int b, RelayFaults aToB, RelayFaults bToA)
    : fd_{a, b}, faults_{aToB, bToA} {
    thread_ = std::thread([this] { Run(); });
}

ZmodemRelay::~ZmodemRelay() {
    Stop();
    ::close(fd_[0]);
    ::close(fd_[1]);
}

void ZmodemRelay::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void ZmodemRelay::Run() {
    std::mt19937 rng[2] = {std::mt19937(faults_[0].seed), std::mt19937(faults_[1].seed + 7)};
    int dropsLeft[2] = {faults_[0].drops, faults_[1].drops};
    int dupsLeft[2] = {faults_[0].duplicates, faults_[1].duplicates};
    uint8_t buf[8192];
    std::vector<uint8_t> out;
    while (!stop_) {
        pollfd p[2] = {{fd_[0], POLLIN, 0}, {fd_[1], POLLIN, 0}};
        int r = ::poll(p, 2, 50);
        if (r < 0 && errno != EINTR) break;
        if (r <= 0) continue;
        for (int dir = 0; dir < 2; ++dir) {
            if (!(p[dir].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(fd_[dir], buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                ::shutdown(fd_[0], SHUT_RDWR);
                ::shutdown(fd_[1], SHUT_RDWR);
                return;
            }
            const RelayFaults& f = faults_[dir];
            out.clear();
            for (ssize_t i = 0; i < n; ++i) {
                uint8_t c = buf[i];
                if (f.corruptOneIn && rng[dir]() % f.corruptOneIn == 0)
                    c = static_cast<uint8_t>(c ^ (1u << (rng[dir]() % 8)));
                // Spread drops and duplicates: each chance is about one in 20000 bytes.
                if (dropsLeft[dir] > 0 && rng[dir]() % 20000 == 0) {
                    --dropsLeft[dir];
                    continue;
                }
                out.push_back(c);
                if (dupsLeft[dir] > 0 && rng[dir]() % 20000 == 0) {
                    --dupsLeft[dir];
                    out.push_back(c);
                }
            }
            int64_t before = counted_[dir].load();
            size_t send = out.size();
            bool cut = false;
            if (f.cutAfter >= 0 && before + static_cast<int64_t>(send) >= f.cutAfter) {
                send = static_cast<size_t>(std::max<int64_t>(0, f.cutAfter - before));
                cut = true;
            }
            if (!WriteAllBlocking(fd_[1 - dir], out.data(), send)) cut = true;
            counted_[dir] += static_cast<int64_t>(send);
            if (cut) {
                ::shutdown(fd_[0], SHUT_RDWR);
                ::shutdown(fd_[1], SHUT_RDWR);
                return;
            }
        }
    }
}

std::pair<int, int> SocketPair() {
    int sv[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0)
        throw std::runtime_error("socketpair failed");
    return {sv[0], sv[1]};
}

PeerProcess::PeerProcess(const std::vector<std::string>& argv, int fd,
                         const std::filesystem::path& dir) {
    std::string log = (dir / "peer.log").string();
    pid_ = ::fork();
    if (pid_ == 0) {
        if (::chdir(dir.c_str()) != 0) _exit(126);
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        int e = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
        if (e >= 0) ::dup2(e, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
}

PeerProcess::~PeerProcess() {
    if (pid_ > 0 && !done_) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status_, 0);
    }
}

int PeerProcess::Wait(int timeoutMs) {
    if (done_) return status_;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        int st = 0;
        pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            done_ = true;
            status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
            return status_;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &st, 0);
            done_ = true;
            status_ = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& data) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

}  // namespace marlo::test

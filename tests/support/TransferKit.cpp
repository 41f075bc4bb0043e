#include "support/TransferKit.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <random>

#include "line/StreamLine.h"

namespace marlo::test {

namespace {
// A peer that has gone away must show as a failed write, not end the test program.
[[maybe_unused]] const bool kIgnoreSigpipe = [] {
    ::signal(SIGPIPE, SIG_IGN);
    return true;
}();
}  // namespace

SocketPair::SocketPair() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) == 0) {
        a = fds[0];
        b = fds[1];
    }
}

SocketPair::~SocketPair() {
    if (a >= 0) ::close(a);
    if (b >= 0) ::close(b);
}

int Peer::Byte(int ms) {
    uint8_t c;
    return ReadWithin(fd_, &c, 1, ms) == 1 ? c : -1;
}

std::vector<uint8_t> Peer::Bytes(size_t n, int ms) {
    std::vector<uint8_t> out(n);
    size_t got = 0;
    while (got < n) {
        int r = ReadWithin(fd_, out.data() + got, static_cast<int>(n - got), ms);
        if (r <= 0) break;
        got += static_cast<size_t>(r);
    }
    out.resize(got);
    return out;
}

void Peer::Write(const std::vector<uint8_t>& bytes) {
    WriteAllWithin(fd_, bytes.data(), bytes.size(), 5000);
}

std::vector<uint8_t> Peer::Drain(int ms) {
    std::vector<uint8_t> out;
    uint8_t buf[4096];
    int r;
    while ((r = ReadWithin(fd_, buf, sizeof buf, ms)) > 0) out.insert(out.end(), buf, buf + r);
    return out;
}

std::vector<uint8_t> MakeBlock(int number, const std::vector<uint8_t>& data, bool crc) {
    std::vector<uint8_t> b;
    b.reserve(data.size() + 5);
    b.push_back(static_cast<uint8_t>(data.size() == 1024 ? 0x02 : 0x01));
    b.push_back(static_cast<uint8_t>(number & 0xFF));
    b.push_back(static_cast<uint8_t>(~number & 0xFF));
    uint8_t sum = 0;
    for (uint8_t d : data) {
        b.push_back(d);
        sum = static_cast<uint8_t>(sum + d);
    }
    if (crc) {
        uint16_t c = CTransEngine::Crc16(data.data(), data.size());
        b.push_back(static_cast<uint8_t>(c >> 8));
        b.push_back(static_cast<uint8_t>(c));
    } else {
        b.push_back(sum);
    }
    return b;
}

void RecordingStatus::SetField(TransField field, const std::string& utf8) {
    std::lock_guard lock(mutex_);
    fields_[field] = utf8;
    if (field == TransField::Message) messages_.push_back(utf8);
}
void RecordingStatus::SetTitle(const std::string& utf8) {
    std::lock_guard lock(mutex_);
    titles_.push_back(utf8);
}
void RecordingStatus::SetStatusTitle(const std::string& utf8) {
    std::lock_guard lock(mutex_);
    titles_.push_back("status:" + utf8);
}
std::string RecordingStatus::Field(TransField f) {
    std::lock_guard lock(mutex_);
    return fields_[f];
}
std::vector<std::string> RecordingStatus::Titles() {
    std::lock_guard lock(mutex_);
    return titles_;
}
std::vector<std::string> RecordingStatus::Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
}

void WriteFileBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes) {
    if (p.has_parent_path()) std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

Relay::Relay(int a, int b, Fault aToB, Fault bToA, bool own)
    : a_(a), b_(b), faults_{aToB, bToA}, own_(own) {
    thread_ = std::thread([this] { Run(); });
}

Relay::~Relay() {
    Stop();
    if (own_) {
        ::close(a_);
        ::close(b_);
    }
}

void Relay::Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
}

void Relay::Run() {
    int from[2] = {a_, b_}, to[2] = {b_, a_};
    size_t offset[2] = {0, 0};
    bool open[2] = {true, true};
    std::mt19937 rng[2] = {std::mt19937(faults_[0].seed), std::mt19937(faults_[1].seed + 7)};
    int dropsLeft[2] = {faults_[0].drops, faults_[1].drops};
    int dupsLeft[2] = {faults_[0].duplicates, faults_[1].duplicates};
    auto hangUp = [&] {
        ::shutdown(a_, SHUT_RDWR);
        ::shutdown(b_, SHUT_RDWR);
    };
    uint8_t buf[8192];
    std::vector<uint8_t> out;
    while (!stop_ && (open[0] || open[1])) {
        pollfd p[2] = {{open[0] ? from[0] : -1, POLLIN, 0}, {open[1] ? from[1] : -1, POLLIN, 0}};
        if (::poll(p, 2, 50) <= 0) continue;
        for (int d = 0; d < 2; ++d) {
            if (!open[d] || !(p[d].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(from[d], buf, sizeof buf);
            if (n <= 0) {
                if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
                open[d] = false;
                ::shutdown(to[d], SHUT_WR);
                continue;
            }
            const Fault& f = faults_[d];
            bool hangup = false;
            out.clear();
            for (ssize_t i = 0; i < n; ++i) {
                size_t pos = offset[d]++;
                uint8_t c = buf[i];
                if (f.kind == Fault::Hangup && pos >= f.at) {
                    hangup = true;
                    break;
                }
                bool hit = f.kind != Fault::None && pos >= f.at && pos < f.at + f.count;
                if (f.kind == Fault::Cut && pos >= f.at) continue;
                if (hit && f.kind == Fault::Drop) continue;
                if (hit && f.kind == Fault::Corrupt) c ^= 0x5A;
                if (f.corruptOneIn && rng[d]() % f.corruptOneIn == 0)
                    c = static_cast<uint8_t>(c ^ (1u << (rng[d]() % 8)));
                // Random drops and duplicates: each chance is about one in 20000 bytes.
                if (dropsLeft[d] > 0 && rng[d]() % 20000 == 0) {
                    --dropsLeft[d];
                    continue;
                }
                if ((hit && f.kind == Fault::Duplicate) ||
                    (dupsLeft[d] > 0 && rng[d]() % 20000 == 0 && dupsLeft[d]--))
                    out.push_back(c);
                if (f.kind == Fault::Stall && pos == f.at) {
                    counted_[d] += static_cast<int64_t>(out.size());
                    WriteAllWithin(to[d], out.data(), out.size(), 5000);
                    out.clear();
                    auto until =
                        std::chrono::steady_clock::now() + std::chrono::milliseconds(f.stallMs);
                    while (!stop_ && std::chrono::steady_clock::now() < until)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                out.push_back(c);
            }
            if (!out.empty() && !WriteAllWithin(to[d], out.data(), out.size(), 5000))
                open[d] = false;
            else
                counted_[d] += static_cast<int64_t>(out.size());
            if (hangup) {
                hangUp();
                return;
            }
        }
    }
}

EngineRun::EngineRun(double scale, ILineIo* l)
    : line(l ? *l : streamLine), session(line, &status, nullptr), timeScale(scale) {}

StartResult EngineRun::Start(int protocol, int direction,
                             std::vector<std::filesystem::path> files) {
    TransferRequest req;
    req.protocol = protocol;
    req.direction = direction;
    req.files = std::move(files);
    req.downloadDir = req.uploadDir = dir.path;
    req.timeScale = timeScale;
    req.fileNameCode = fileNameCode;
    req.windowLimit = windowLimit;
    req.overwriteAnswer = overwriteAnswer;
    return session.Start(req, [this](bool ok) {
        endResult = ok;
        ++endCalls;
    });
}

StartResult EngineRun::Send(int protocol, const std::vector<uint8_t>& data,
                            const std::string& name) {
    WriteFileBytes(dir.path / name, data);
    return Start(protocol, kUpload, {dir.path / name});
}

bool EngineRun::Finish(int ms) {
    if (!session.WaitEngine(ms)) session.Close();
    session.Finish();
    return session.Succeeded();
}

int CountCans(Peer& peer, int ms) {
    // The five CANs of a cancel come 100 ms (scaled) apart; stop as soon as all are in.
    int n = 0;
    for (int c; n < 5 && (c = peer.Byte(ms)) >= 0;) n += c == 0x18;
    return n;
}

pid_t SpawnOnFd(const std::vector<std::string>& argv, int fd, const std::string& cwd,
                const std::string& stderrPath) {
    std::vector<char*> args;
    for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::string err = stderrPath.empty() ? "/dev/null" : stderrPath;
    pid_t pid = ::fork();
    if (pid != 0) return pid;
    // Child: only async-signal-safe calls until exec.
    int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (e >= 0) ::dup2(e, 2);
    ::dup2(fd, 0);
    ::dup2(fd, 1);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(127);
    ::execvp(args[0], args.data());
    ::_exit(127);
}

int WaitExit(pid_t pid, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        int status = 0;
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (r < 0) return -1;
        if (std::chrono::steady_clock::now() >= until) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

}  // namespace marlo::test

// YMODEM and YMODEM-G throughput and CPU time over ptys: marlo-cli against lrzsz's sb/rb, and lrzsz
// against itself on the same kind of line, 20 MB each. Each program has a pty of its own (lrzsz
// sets its own terminal modes, which a shared pty would impose on the other side); the two masters
// are joined by a relay thread here, the same for every pair.
#include <poll.h>
#include <signal.h>

#include <atomic>
#include <cstdio>
#include <thread>

#include "PtyBench.h"

namespace fs = std::filesystem;

namespace {

using namespace marlo::bench;

constexpr size_t kSize = 20u * 1024 * 1024;

struct Outcome {
    double seconds = 0;
    double cpuA = 0, cpuB = 0;  // user + system seconds of each side
    int exitA = -1, exitB = -1;
};

bool WriteAll(int fd, const char* p, ssize_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, static_cast<size_t>(n));
        if (w <= 0) return false;
        p += w;
        n -= w;
    }
    return true;
}

void Relay(int x, int y, const std::atomic<bool>& stop) {
    char buf[16384];
    while (!stop) {
        pollfd p[2] = {{x, POLLIN, 0}, {y, POLLIN, 0}};
        if (::poll(p, 2, 100) <= 0) continue;
        for (int i = 0; i < 2; ++i) {
            if (!(p[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            ssize_t n = ::read(p[i].fd, buf, sizeof buf);
            if (n > 0) WriteAll(p[1 - i].fd, buf, n);
        }
    }
}

Outcome RunOnPty(const std::vector<std::string>& a, const fs::path& cwdA,
                 const std::vector<std::string>& b, const fs::path& cwdB) {
    Outcome o;
    Pty pa = OpenPty(), pb = OpenPty();
    if (pa.slave < 0 || pb.slave < 0) return o;
    std::atomic<bool> stop{false};
    std::thread relay(Relay, pa.master, pb.master, std::cref(stop));
    auto start = std::chrono::steady_clock::now();
    pid_t ida = Spawn(a, pa.slave, cwdA);
    pid_t idb = Spawn(b, pb.slave, cwdB);
    ::close(pa.slave);
    ::close(pb.slave);
    int status;
    rusage ru{};
    for (int left = 2; left > 0; --left) {
        pid_t p = ::wait4(-1, &status, 0, &ru);
        int code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        if (p == ida) {
            o.exitA = code;
            o.cpuA = Cpu(ru);
        } else if (p == idb) {
            o.exitB = code;
            o.cpuB = Cpu(ru);
        }
        // One side is done: the other gets a bounded time to finish.
        if (left == 2) {
            pid_t other = p == ida ? idb : ida;
            std::thread([other, &stop] {
                for (int i = 0; i < 300 && !stop; ++i)
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                if (!stop) ::kill(other, SIGKILL);
            }).detach();
        }
    }
    o.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    stop = true;
    relay.join();
    ::close(pa.master);
    ::close(pb.master);
    return o;
}

void Report(const char* name, const Outcome& o, bool exact, const char* aName, const char* bName) {
    double mbps = o.seconds > 0 ? static_cast<double>(kSize) / o.seconds / 1e6 : 0;
    std::printf("%-34s %7.2f s %7.2f MB/s  CPU %s %.2f s, %s %.2f s  %s\n", name, o.seconds, mbps,
                aName, o.cpuA, bName, o.cpuB,
                o.exitA == 0 && o.exitB == 0 && exact ? "ok" : "FAILED");
}

}  // namespace

int main() {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    fs::path root =
        fs::temp_directory_path() / ("marlo-bench-ymodem-" + std::to_string(::getpid()));
    fs::path src = root / "src";
    const std::vector<uint8_t> data = WritePayload(src / "data.bin", kSize);
    auto exact = [&](const fs::path& d) { return ReadAll(d / "data.bin") == data; };
    const std::string cli = MARLO_CLI_PATH;
    auto fresh = [&](const char* name) {
        fs::path d = root / name;
        fs::remove_all(d);
        fs::create_directories(d);
        return d;
    };
    std::printf("20 MB, one file, each side on its own raw pty\n");

    fs::path d = fresh("ll");
    auto o = RunOnPty({"sb", "-q", "data.bin"}, src, {"rb", "-q"}, d);
    Report("lrzsz sb -> lrzsz rb (YMODEM)", o, exact(d), "sb", "rb");

    d = fresh("so");
    o = RunOnPty({"sb", "-q", "data.bin"}, src,
                 {cli, "receive", "--protocol", "ymodem", "--stdio", "--dir", d.string()}, d);
    Report("lrzsz sb -> marlo (YMODEM)", o, exact(d), "sb", "marlo");

    d = fresh("sog");
    o = RunOnPty({"sb", "-q", "data.bin"}, src,
                 {cli, "receive", "--protocol", "ymodem-g", "--stdio", "--dir", d.string()}, d);
    Report("lrzsz sb -> marlo (YMODEM-G)", o, exact(d), "sb", "marlo");

    d = fresh("or");
    o = RunOnPty(
        {cli, "send", "--protocol", "ymodem", "--stdio", "--dir", src.string(), "data.bin"}, src,
        {"rb", "-q"}, d);
    Report("marlo -> lrzsz rb (YMODEM)", o, exact(d), "marlo", "rb");

    d = fresh("oog");
    o = RunOnPty(
        {cli, "send", "--protocol", "ymodem", "--stdio", "--dir", src.string(), "data.bin"}, src,
        {cli, "receive", "--protocol", "ymodem-g", "--stdio", "--dir", d.string()}, d);
    Report("marlo -> marlo (YMODEM-G)", o, exact(d), "sender", "receiver");
    std::printf("(rb has no YMODEM-G receive, so lrzsz -> lrzsz runs YMODEM only)\n");

    fs::remove_all(root);
    return 0;
}

// What the transfer benchmarks share: a raw pty pair, a peer program on its slave, CPU times.
// Header only: every .cpp file of this folder is a benchmark program of its own.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "line/StreamLine.h"
#include "transfer/ZModem.h"

namespace marlo::bench {

struct Pty {
    int master = -1;
    int slave = -1;
};

// A pty pair with the slave in raw mode.
inline Pty OpenPty() {
    Pty p;
    p.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (p.master < 0 || ::grantpt(p.master) != 0 || ::unlockpt(p.master) != 0) return {};
    p.slave = ::open(::ptsname(p.master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios t{};
    ::tcgetattr(p.slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(p.slave, TCSANOW, &t);
    return p;
}

// `argv` in `dir` with `fd` as its standard input and output, stderr to /dev/null.
inline pid_t Spawn(const std::vector<std::string>& argv, int fd, const std::filesystem::path& dir) {
    pid_t pid = ::fork();
    if (pid == 0) {
        if (::chdir(dir.c_str()) != 0) _exit(126);
        ::dup2(fd, 0);
        ::dup2(fd, 1);
        int null = ::open("/dev/null", O_WRONLY);
        ::dup2(null, 2);
        std::vector<char*> args;
        for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        ::execvp(args[0], args.data());
        _exit(127);
    }
    return pid;
}

// User and system CPU seconds of a usage record.
inline double Cpu(const rusage& u) {
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// User and system CPU seconds of RUSAGE_SELF, RUSAGE_CHILDREN or RUSAGE_THREAD.
inline double Cpu(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return Cpu(u);
}

// What one benchmark run measured: wall time, CPU of our engine and of the peer.
struct Figures {
    double wall = 0, ours = 0, peer = 0;
    bool ok = false;
};

// `size` random bytes (seeded, the same every run), written to `path`.
inline std::vector<uint8_t> WritePayload(const std::filesystem::path& path, size_t size) {
    std::vector<uint8_t> data(size);
    std::mt19937 rng(42);
    for (auto& c : data) c = static_cast<uint8_t>(rng());
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
    return data;
}

// A benchmark's scratch folder, removed at the end, with its payload: `size` bytes in src/.
struct Scratch {
    Scratch(const char* tag, size_t size)
        : root(std::filesystem::temp_directory_path() /
               (std::string("marlo-bench-") + tag + "-" + std::to_string(::getpid()))),
          src(root / "src" / "payload.bin"),
          data(WritePayload(src, size)) {}
    ~Scratch() { std::filesystem::remove_all(root); }
    std::filesystem::path root, src;
    std::vector<uint8_t> data;
};

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A fresh pty pair and an empty `out`; an engine's context whose line is the master and whose
// download folder is `out`.
struct PtyRig {
    explicit PtyRig(const std::filesystem::path& out)
        : pty((std::filesystem::remove_all(out), std::filesystem::create_directories(out),
               OpenPty())),
          line(pty.master, pty.master, true) {
        ctx.line = &line;
        ctx.downloadDir = out;
    }
    Pty pty;
    marlo::StreamLine line;
    marlo::TransferContext ctx;
};

// The fastest of `rounds` runs, and whether all of them crossed correctly.
template <typename Run>
Figures Best(int rounds, Run run) {
    Figures best;
    best.wall = 1e9;
    bool allOk = true;
    for (int i = 0; i < rounds; ++i) {
        Figures f = run();
        allOk = allOk && f.ok;
        if (f.wall < best.wall) best = f;
    }
    best.ok = allOk;
    return best;
}

// Our ZMODEM engine against lrzsz on a fresh pty: `upload` sends `src` to rz in `out`, otherwise
// sz sends `src` to us. The engine runs on this thread.
inline Figures ZmodemRun(bool upload, const std::filesystem::path& src,
                         const std::filesystem::path& out) {
    Figures f;
    const double childBefore = Cpu(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid;
    {
        PtyRig rig(out);
        pid = upload
                  ? Spawn({"rz", "-q"}, rig.pty.slave, out)
                  : Spawn({"sz", "-q", src.filename().string()}, rig.pty.slave, src.parent_path());
        ::close(rig.pty.slave);
        const double before = Cpu(RUSAGE_THREAD);
        rig.ctx.files = {src};
        marlo::ZModem z(rig.ctx);
        f.ok = upload ? z.Upload() : z.Download();
        f.ours = Cpu(RUSAGE_THREAD) - before;
    }  // the line closes: rz does not wait for more after the session
    int st = 0;
    ::waitpid(pid, &st, 0);
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.peer = Cpu(RUSAGE_CHILDREN) - childBefore;
    f.ok = f.ok && WIFEXITED(st) && WEXITSTATUS(st) == 0 &&
           ReadAll(out / src.filename()) == ReadAll(src);
    return f;
}

}  // namespace marlo::bench

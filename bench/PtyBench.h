// What the transfer benchmarks share: a raw pty pair, a peer program on its slave, CPU times, the
// payload, our ZMODEM engine against lrzsz and the best of several rounds.
// Header only: every .cpp file of this folder is a benchmark program of its own.
#pragma once

#include <fcntl.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
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

// The same of RUSAGE_SELF, RUSAGE_CHILDREN or RUSAGE_THREAD.
inline double Cpu(int who) {
    rusage u{};
    ::getrusage(who, &u);
    return Cpu(u);
}

struct Figures {
    double wall = 0, ours = 0, peer = 0;
    bool ok = false;
};

inline std::vector<uint8_t> ReadAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Writes `size` random bytes (always the same ones) to `path`; the bytes.
inline std::vector<uint8_t> WritePayload(const std::filesystem::path& path, size_t size) {
    std::vector<uint8_t> data(size);
    std::mt19937 rng(42);
    for (auto& c : data) c = static_cast<uint8_t>(rng());
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
    return data;
}

// Our ZMODEM engine on the pty's master against sz sending `src` (download) or rz storing into
// `out` (upload); ours is the CPU time of this thread, the peer's that of the child.
inline Figures RunZModem(bool download, const std::filesystem::path& src,
                         const std::vector<uint8_t>& data, const std::filesystem::path& out) {
    std::filesystem::remove_all(out);
    std::filesystem::create_directories(out);
    Pty pty = OpenPty();
    Figures f;
    TransferContext ctx;
    StreamLine line(pty.master, pty.master, true);
    ctx.line = &line;
    ctx.downloadDir = out;
    ctx.files = {src};
    const double childBefore = Cpu(RUSAGE_CHILDREN);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid =
        download ? Spawn({"sz", "-q", src.filename().string()}, pty.slave, src.parent_path())
                 : Spawn({"rz", "-q"}, pty.slave, out);
    ::close(pty.slave);
    const double before = Cpu(RUSAGE_THREAD);
    ZModem z(ctx);
    f.ok = download ? z.Download() : z.Upload();
    f.ours = Cpu(RUSAGE_THREAD) - before;
    int st = 0;
    ::waitpid(pid, &st, 0);
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    f.peer = Cpu(RUSAGE_CHILDREN) - childBefore;
    f.ok = f.ok && WIFEXITED(st) && WEXITSTATUS(st) == 0 && ReadAll(out / src.filename()) == data;
    return f;
}

// The fastest of `rounds` runs; `allOk` says whether every one of them succeeded.
inline Figures BestOf(int rounds, const std::function<Figures()>& run, bool& allOk) {
    Figures best;
    best.wall = 1e9;
    allOk = true;
    for (int i = 0; i < rounds; ++i) {
        Figures f = run();
        allOk = allOk && f.ok;
        if (f.wall < best.wall) best = f;
    }
    return best;
}

}  // namespace marlo::bench

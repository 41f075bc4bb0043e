// 20 MB over a pty pair with B Plus against the host simulator (download and upload), and the same
// file with ZMODEM on the same kind of pty (sz to our engine, our engine to rz). Prints wall time
// and CPU time: ours (the engine's thread) and the peer's (the simulator's thread or lrzsz).
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "PtyBench.h"
#include "line/StreamLine.h"
#include "support/BPlusHost.h"
#include "transfer/BPlus.h"
#include "transfer/ZModem.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using namespace marlo::bench;

struct Figures {
    double wall = 0, ours = 0, peer = 0;
    bool ok = false;
};

std::vector<uint8_t> ReadAll(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// 0: B Plus download, 1: B Plus upload, 2: sz -> ours, 3: ours -> rz.
Figures Run(int mode, const fs::path& src, const std::vector<uint8_t>& data, const fs::path& out) {
    fs::remove_all(out);
    fs::create_directories(out);
    Pty pty = OpenPty();
    Figures f;
    marlo::TransferContext ctx;
    marlo::StreamLine line(pty.master, pty.master, true);
    ctx.line = &line;
    ctx.downloadDir = out;
    ctx.uploadDir = src.parent_path();
    const double childBefore = Cpu(RUSAGE_CHILDREN);
    const auto start = Clock::now();
    if (mode <= 1) {
        bool hostOk = false;
        std::vector<uint8_t> got;
        std::thread host([&] {
            const double before = Cpu(RUSAGE_THREAD);
            marlo::test::BPlusHost h(pty.slave);
            h.SendEnq();
            if (h.ExpectHello() && h.Negotiate({}))
                hostOk = mode == 0 ? h.Download("payload.bin", data).ok
                                   : h.Upload("payload.bin", got).ok;
            f.peer = Cpu(RUSAGE_THREAD) - before;
        });
        const double before = Cpu(RUSAGE_THREAD);
        marlo::BPlus engine(ctx);
        f.ok = mode == 0 ? engine.Download() : engine.Upload();
        f.ours = Cpu(RUSAGE_THREAD) - before;
        host.join();
        f.ok = f.ok && hostOk && (mode == 0 ? ReadAll(out / "payload.bin") == data : got == data);
        ::close(pty.slave);
    } else {
        pid_t pid = mode == 2
                        ? Spawn({"sz", "-q", src.filename().string()}, pty.slave, src.parent_path())
                        : Spawn({"rz", "-q"}, pty.slave, out);
        ::close(pty.slave);
        const double before = Cpu(RUSAGE_THREAD);
        ctx.files = {src};
        marlo::ZModem z(ctx);
        f.ok = mode == 2 ? z.Download() : z.Upload();
        f.ours = Cpu(RUSAGE_THREAD) - before;
        int st = 0;
        ::waitpid(pid, &st, 0);
        f.peer = Cpu(RUSAGE_CHILDREN) - childBefore;
        f.ok = f.ok && WIFEXITED(st) && WEXITSTATUS(st) == 0 && ReadAll(out / "payload.bin") == data;
    }
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 1;
    fs::path root = fs::temp_directory_path() / ("marlo-bench-bp-" + std::to_string(::getpid()));
    fs::create_directories(root / "src");
    const fs::path src = root / "src" / "payload.bin";
    std::vector<uint8_t> data(size);
    std::mt19937 rng(42);
    for (auto& c : data) c = static_cast<uint8_t>(rng());
    std::ofstream(src, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<long>(data.size()));
    const char* names[] = {"B Plus host -> ours", "B Plus ours -> host", "ZMODEM sz -> ours  ",
                           "ZMODEM ours -> rz  "};
    std::printf("%zu bytes over a pty pair, best of %d\n", size, rounds);
    for (int mode = 0; mode < 4; ++mode) {
        Figures best;
        best.wall = 1e9;
        bool allOk = true;
        for (int i = 0; i < rounds; ++i) {
            Figures f = Run(mode, src, data, root / "out");
            allOk = allOk && f.ok;
            if (f.wall < best.wall) best = f;
        }
        std::printf("%s  wall %.3f s  %.0f KB/s  cpu ours %.3f s  cpu peer %.3f s  %s\n",
                    names[mode], best.wall, size / 1024.0 / best.wall, best.ours, best.peer,
                    allOk ? "ok" : "FAILED");
    }
    fs::remove_all(root);
    return 0;
}

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

// 0: B Plus download, 1: B Plus upload, 2: sz -> ours, 3: ours -> rz.
Figures Run(int mode, const fs::path& src, const std::vector<uint8_t>& data, const fs::path& out) {
    if (mode >= 2) return ZmodemRun(mode == 3, src, out);
    PtyRig rig(out);
    Pty& pty = rig.pty;
    marlo::TransferContext& ctx = rig.ctx;
    Figures f;
    ctx.uploadDir = src.parent_path();
    const auto start = Clock::now();
    {
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
    }
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 1;
    const Scratch scratch("bp", size);
    const fs::path& root = scratch.root;
    const fs::path& src = scratch.src;
    const std::vector<uint8_t>& data = scratch.data;
    const char* names[] = {"B Plus host -> ours", "B Plus ours -> host", "ZMODEM sz -> ours  ",
                           "ZMODEM ours -> rz  "};
    std::printf("%zu bytes over a pty pair, best of %d\n", size, rounds);
    for (int mode = 0; mode < 4; ++mode) {
        const Figures best = Best(rounds, [&] { return Run(mode, src, data, root / "out"); });
        std::printf("%s  wall %.3f s  %.0f KB/s  cpu ours %.3f s  cpu peer %.3f s  %s\n",
                    names[mode], best.wall, size / 1024.0 / best.wall, best.ours, best.peer,
                    best.ok ? "ok" : "FAILED");
    }
    return 0;
}

// 20 MB over a pty pair with Quick-VAN, our sender to our receiver at window 30, beside ZMODEM on
// the same kind of pty (our engine to rz, sz to our engine). Prints wall time and CPU time: the
// receiving and the sending side (for ZMODEM: ours and lrzsz's).
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "PtyBench.h"
#include "line/StreamLine.h"
#include "transfer/QuickVan.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using namespace marlo::bench;

// Our receiver on the master, our sender on the slave, each on its own thread; `ours` is the
// receiver's CPU, `peer` the sender's.
Figures QuickVanRun(const fs::path& src, const fs::path& out, int window) {
    PtyRig rig(out);
    Figures f;
    marlo::StreamLine senderLine(rig.pty.slave, rig.pty.slave, true);
    marlo::TransferContext& rx = rig.ctx;
    marlo::TransferContext tx;
    tx.line = &senderLine;
    tx.files = {src};
    rx.windowLimit = tx.windowLimit = window;
    const auto start = Clock::now();
    bool sent = false;
    std::thread sender([&] {
        const double before = Cpu(RUSAGE_THREAD);
        sent = marlo::CQuickVan(tx).Upload();
        f.peer = Cpu(RUSAGE_THREAD) - before;
    });
    const double before = Cpu(RUSAGE_THREAD);
    const bool received = marlo::CQuickVan(rx).Download();
    f.ours = Cpu(RUSAGE_THREAD) - before;
    sender.join();
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.ok = sent && received && ReadAll(out / src.filename()) == ReadAll(src);
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 1;
    const int window = argc > 3 ? std::stoi(argv[3]) : 30;
    const Scratch scratch("qv", size);
    const fs::path& root = scratch.root;
    const fs::path& src = scratch.src;
    const char* names[] = {"Quick-VAN ours -> ours", "ZMODEM ours -> rz     ",
                           "ZMODEM sz -> ours     "};
    std::printf("%zu bytes over a pty pair, Quick-VAN window %d, best of %d\n", size, window,
                rounds);
    for (int mode = 0; mode < 3; ++mode) {
        const Figures best = Best(rounds, [&] {
            return mode == 0 ? QuickVanRun(src, root / "out", window)
                             : ZmodemRun(mode == 1, src, root / "out");
        });
        std::printf("%s  wall %.3f s  %.0f KB/s  cpu %s %.3f s  cpu %s %.3f s  %s\n", names[mode],
                    best.wall, size / 1024.0 / best.wall, mode == 0 ? "receiver" : "ours",
                    best.ours, mode == 0 ? "sender" : "peer", best.peer, best.ok ? "ok" : "FAILED");
    }
    return 0;
}

// 20 MB over a pty pair with B Plus against the host simulator (download and upload), and the same
// file with ZMODEM on the same kind of pty (sz to our engine, our engine to rz). Prints wall time
// and CPU time: ours (the engine's thread) and the peer's (the simulator's thread or lrzsz).
#include <signal.h>

#include <cstdio>
#include <thread>

#include "PtyBench.h"
#include "support/BPlusHost.h"
#include "transfer/BPlus.h"

namespace fs = std::filesystem;
using namespace marlo::bench;

namespace {

// Our B Plus engine against the host simulator: the host sends `data` (download) or takes it.
Figures RunBPlus(bool download, const fs::path& src, const std::vector<uint8_t>& data,
                 const fs::path& out) {
    fs::remove_all(out);
    fs::create_directories(out);
    Pty pty = OpenPty();
    Figures f;
    marlo::TransferContext ctx;
    marlo::StreamLine line(pty.master, pty.master, true);
    ctx.line = &line;
    ctx.downloadDir = out;
    ctx.uploadDir = src.parent_path();
    const auto start = std::chrono::steady_clock::now();
    bool hostOk = false;
    std::vector<uint8_t> got;
    std::thread host([&] {
        const double before = Cpu(RUSAGE_THREAD);
        marlo::test::BPlusHost h(pty.slave);
        h.SendEnq();
        if (h.ExpectHello() && h.Negotiate({}))
            hostOk =
                download ? h.Download("payload.bin", data).ok : h.Upload("payload.bin", got).ok;
        f.peer = Cpu(RUSAGE_THREAD) - before;
    });
    const double before = Cpu(RUSAGE_THREAD);
    marlo::BPlus engine(ctx);
    f.ok = download ? engine.Download() : engine.Upload();
    f.ours = Cpu(RUSAGE_THREAD) - before;
    host.join();
    f.ok = f.ok && hostOk && (download ? ReadAll(out / "payload.bin") == data : got == data);
    ::close(pty.slave);
    f.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 1;
    fs::path root = fs::temp_directory_path() / ("marlo-bench-bp-" + std::to_string(::getpid()));
    const fs::path src = root / "src" / "payload.bin", out = root / "out";
    const std::vector<uint8_t> data = WritePayload(src, size);
    const char* names[] = {"B Plus host -> ours", "B Plus ours -> host", "ZMODEM sz -> ours  ",
                           "ZMODEM ours -> rz  "};
    std::printf("%zu bytes over a pty pair, best of %d\n", size, rounds);
    for (int mode = 0; mode < 4; ++mode) {
        bool allOk = true;
        const Figures best = BestOf(
            rounds,
            [&] {
                return mode < 2 ? RunBPlus(mode == 0, src, data, out)
                                : RunZModem(mode == 2, src, data, out);
            },
            allOk);
        std::printf("%s  wall %.3f s  %.0f KB/s  cpu ours %.3f s  cpu peer %.3f s  %s\n",
                    names[mode], best.wall, size / 1024.0 / best.wall, best.ours, best.peer,
                    allOk ? "ok" : "FAILED");
    }
    fs::remove_all(root);
    return 0;
}

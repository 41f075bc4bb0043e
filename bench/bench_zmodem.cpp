// 20 MB over a pty pair with ZMODEM: our engine sending to rz, sz sending to our engine, and sz to
// rz for comparison. Prints wall time and CPU time (ours and the peers') for each.
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
#include <vector>

#include "PtyBench.h"
#include "line/StreamLine.h"
#include "transfer/ZModem.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

using namespace marlo::bench;

bool SameFile(const fs::path& a, const fs::path& b) {
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    return std::equal(std::istreambuf_iterator<char>(fa), {}, std::istreambuf_iterator<char>(fb));
}

Figures Run(int mode, const fs::path& src, const fs::path& outDir) {
    fs::remove_all(outDir);
    fs::create_directories(outDir);
    Pty pty = OpenPty();
    Figures f;
    double selfBefore = Cpu(RUSAGE_SELF), childBefore = Cpu(RUSAGE_CHILDREN);
    auto start = Clock::now();
    std::vector<pid_t> pids;
    if (mode == 2) {
        pids.push_back(Spawn({"sz", "-q", src.filename().string()}, pty.slave, src.parent_path()));
        pids.push_back(Spawn({"rz", "-q"}, pty.master, outDir));
        ::close(pty.slave);
        ::close(pty.master);
        f.ok = true;
    } else {
        marlo::TransferContext ctx;
        marlo::StreamLine line(pty.master, pty.master, true);
        ctx.line = &line;
        ctx.downloadDir = outDir;
        if (mode == 0) {
            pids.push_back(Spawn({"rz", "-q"}, pty.slave, outDir));
            ::close(pty.slave);
            ctx.files = {src};
            marlo::ZModem z(ctx);
            f.ok = z.Upload();
        } else {
            pids.push_back(
                Spawn({"sz", "-q", src.filename().string()}, pty.slave, src.parent_path()));
            ::close(pty.slave);
            marlo::ZModem z(ctx);
            f.ok = z.Download();
        }
    }
    for (pid_t p : pids) {
        int st = 0;
        ::waitpid(p, &st, 0);
        f.ok = f.ok && WIFEXITED(st) && WEXITSTATUS(st) == 0;
    }
    f.wall = std::chrono::duration<double>(Clock::now() - start).count();
    f.ours = Cpu(RUSAGE_SELF) - selfBefore;
    f.peer = Cpu(RUSAGE_CHILDREN) - childBefore;
    f.ok = f.ok && SameFile(src, outDir / src.filename());
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
    const std::string only = argc > 3 ? argv[3] : "012";  // which of the three to run
    const Scratch scratch("zm", size);
    const fs::path& root = scratch.root;
    const fs::path& src = scratch.src;
    const char* names[] = {"ours -> rz", "sz -> ours", "sz -> rz  "};
    std::printf("ZMODEM, %zu bytes over a pty pair, best of %d\n", size, rounds);
    for (int mode : {0, 1, 2}) {
        if (only.find(static_cast<char>('0' + mode)) == std::string::npos) continue;
        const Figures best = Best(rounds, [&] { return Run(mode, src, root / "out"); });
        std::printf("%s  wall %.3f s  cpu ours %.3f s  cpu peers %.3f s  total cpu %.3f s  %s\n",
                    names[mode], best.wall, best.ours, best.peer, best.ours + best.peer,
                    best.ok ? "ok" : "FAILED");
    }
    return 0;
}

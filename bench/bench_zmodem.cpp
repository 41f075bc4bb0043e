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

struct Figures {
    double wall = 0, ours = 0, peers = 0;
    bool ok = false;
};

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
    f.peers = Cpu(RUSAGE_CHILDREN) - childBefore;
    f.ok = f.ok && SameFile(src, outDir / src.filename());
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    ::signal(SIGPIPE, SIG_IGN);
    const size_t size = argc > 1 ? std::stoul(argv[1]) : 20u * 1024 * 1024;
    const int rounds = argc > 2 ? std::stoi(argv[2]) : 3;
    const std::string only = argc > 3 ? argv[3] : "012";  // which of the three to run
    fs::path root = fs::temp_directory_path() / ("marlo-bench-zm-" + std::to_string(::getpid()));
    fs::create_directories(root / "src");
    fs::path src = root / "src" / "payload.bin";
    {
        std::mt19937 rng(42);
        std::vector<char> data(size);
        for (auto& c : data) c = static_cast<char>(rng());
        std::ofstream(src, std::ios::binary).write(data.data(), static_cast<long>(data.size()));
    }
    const char* names[] = {"ours -> rz", "sz -> ours", "sz -> rz  "};
    std::printf("ZMODEM, %zu bytes over a pty pair, best of %d\n", size, rounds);
    for (int mode : {0, 1, 2}) {
        if (only.find(static_cast<char>('0' + mode)) == std::string::npos) continue;
        Figures best;
        best.wall = 1e9;
        bool allOk = true;
        for (int i = 0; i < rounds; ++i) {
            Figures f = Run(mode, src, root / "out");
            allOk = allOk && f.ok;
            if (f.wall < best.wall) best = f;
        }
        std::printf("%s  wall %.3f s  cpu ours %.3f s  cpu peers %.3f s  total cpu %.3f s  %s\n",
                    names[mode], best.wall, best.ours, best.peers, best.ours + best.peers,
                    allOk ? "ok" : "FAILED");
    }
    fs::remove_all(root);
    return 0;
}

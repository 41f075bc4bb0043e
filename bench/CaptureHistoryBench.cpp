// Figures for the capture log's write path and the history window's read of a large file.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "line/History.h"
#include "terminal/CaptureLog.h"

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int main() {
    const fs::path dir = fs::temp_directory_path() / ("marlo-bench-" + std::to_string(::getpid()));
    fs::create_directories(dir);

    {
        marlo::CaptureLog log;
        if (!log.Open((dir / "bench.log").string(), false)) return 1;
        const std::string line = "ABCDEFGHIJKLMNOPQRSTUVWXYZ \x8a\xbf\x8e\x9a 0123456789\r\n";
        const size_t total = 64u << 20;
        const auto t0 = Clock::now();
        for (size_t n = 0; n < total; n += line.size()) {
            for (char c : line) log.Put(static_cast<uint8_t>(c));
            if ((n & 0xFFF) == 0) log.BackStep();
        }
        log.Close();
        std::printf("capture log: %.1f MB/s through Put\n", total / 1048576.0 / Seconds(t0));
    }
    {
        std::ofstream out(dir / marlo::kHistoryFileName, std::ios::binary);
        std::tm a{}, b{};
        a.tm_year = b.tm_year = 126;
        a.tm_hour = 10;
        b.tm_hour = 11;
        const int records = 100000;
        for (int i = 0; i < records; ++i) {
            b.tm_mday = a.tm_mday = 1 + i % 28;
            out << marlo::FormatHistoryRecord("HOST" + std::to_string(i % 50), a, b, 10 * i % 9999)
                << "\r\n";
        }
        out.close();
        const auto t0 = Clock::now();
        const auto view =
            marlo::ReadHistory(dir.string(), marlo::HistoryPeriod::All, std::string("HOST7"), a);
        std::printf("history read: %d records in %.1f ms (%d kept)\n", records, Seconds(t0) * 1000,
                    view.count);
    }
    {
        const auto t0 = Clock::now();
        long yen = 0;
        for (int i = 0; i < 1000000; ++i)
            yen += marlo::Charge(i % 86400, (i * 7) % 86400, 1 + i % 7, i % 7);
        std::printf("charge: %.0f ns per call (%ld)\n", Seconds(t0) * 1e9 / 1000000, yen);
    }
    fs::remove_all(dir);
    return 0;
}

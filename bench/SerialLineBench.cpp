// Figures of the serial line over a pty: receive and send throughput through ReadLineData and
// WriteRaw, and how long the event thread takes to report received data.
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "line/SerialDevice.h"
#include "line/SerialLine.h"

using namespace marlo;
using Clock = std::chrono::steady_clock;

namespace {

struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        grantpt(master);
        unlockpt(master);
        char name[128];
        ptsname_r(master, name, sizeof name);
        path = name;
        slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
    }
    ~Pty() {
        close(slave);
        close(master);
    }
};

double Seconds(Clock::duration d) {
    return std::chrono::duration<double>(d).count();
}

}  // namespace

int main() {
    const size_t total = 32u << 20;
    {
        Pty pty;
        auto dev = std::make_unique<TermiosDevice>();
        if (dev->Open(pty.path) != SerialStatus::Ok ||
            dev->Configure({115200, 8, 0, 0, 0}) != SerialStatus::Ok) {
            std::fprintf(stderr, "cannot open %s\n", pty.path.c_str());
            return 1;
        }
        SerialLine line(std::move(dev));
        std::thread writer([&] {
            std::vector<char> block(4096, 'x');
            size_t sent = 0;
            while (sent < total) {
                ssize_t w = write(pty.master, block.data(), block.size());
                if (w > 0) sent += static_cast<size_t>(w);
            }
        });
        std::vector<uint8_t> buf(4096);
        size_t got = 0;
        auto t0 = Clock::now();
        while (got < total) {
            int n = line.ReadLineData(buf.data(), static_cast<int>(buf.size()), 1000);
            if (n <= 0) break;
            got += static_cast<size_t>(n);
        }
        double s = Seconds(Clock::now() - t0);
        writer.join();
        std::printf("receive through ReadLineData (4096-byte reads): %.1f MB/s (%zu bytes)\n",
                    got / s / 1e6, got);

        std::thread reader([&] {
            std::vector<char> b(65536);
            size_t n = 0;
            while (n < total) {
                pollfd p{pty.master, POLLIN, 0};
                if (poll(&p, 1, 2000) <= 0) break;
                ssize_t r = read(pty.master, b.data(), b.size());
                if (r <= 0) break;
                n += static_cast<size_t>(r);
            }
        });
        std::vector<uint8_t> block(4096, 'y');
        t0 = Clock::now();
        size_t sent = 0;
        while (sent < total && line.WriteRaw(block.data(), block.size())) sent += block.size();
        s = Seconds(Clock::now() - t0);
        reader.join();
        std::printf("send through WriteRaw (4096-byte writes): %.1f MB/s (%zu bytes)\n",
                    sent / s / 1e6, sent);
    }
    {
        Pty pty;
        auto dev = std::make_unique<TermiosDevice>();
        if (dev->Open(pty.path) != SerialStatus::Ok) return 1;
        dev->Configure({115200, 8, 0, 0, 0});
        SerialLine line(std::move(dev));
        std::mutex m;
        std::condition_variable cv;
        int seen = 0;
        line.StartEvents([&](int w) {
            if (w != SerialLine::kNotifyData) return;
            uint8_t b[64];
            while (line.ReadLineData(b, sizeof b, 0) > 0) {
            }
            {
                std::lock_guard lock(m);
                ++seen;
            }
            cv.notify_all();
        });
        const int rounds = 500;
        double sum = 0, worst = 0;
        for (int i = 0; i < rounds; ++i) {
            std::unique_lock lock(m);
            int before = seen;
            auto t = Clock::now();
            if (write(pty.master, "a", 1) != 1) break;
            cv.wait_for(lock, std::chrono::seconds(2), [&] { return seen > before; });
            double d = Seconds(Clock::now() - t) * 1e6;
            sum += d;
            worst = std::max(worst, d);
        }
        std::printf("data notification latency: mean %.0f us, worst %.0f us (%d rounds)\n",
                    sum / rounds, worst, rounds);
        line.Close();
    }
    return 0;
}

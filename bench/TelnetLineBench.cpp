// Figures for the telnet line and the string wait: how fast received bytes pass the negotiation
// parser and a loopback socket, and how fast the wait matcher takes text with 50 patterns armed.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <future>
#include <string>

#include "line/StringWait.h"
#include "line/TelnetLine.h"
#include "support/Loopback.h"

using namespace marlo;
using Clock = std::chrono::steady_clock;

static double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

int main() {
    // Parser alone: data with a doubled IAC every 64 bytes and a negotiation every 4 KiB.
    std::string stream;
    for (int i = 0; i < 64 * 1024; ++i) {
        stream.append(62, 'a');
        stream.append("\xff\xff");
        if (i % 64 == 0) stream.append("\xff\xfb\x01");
    }
    {
        TelnetLine::Parser parser;
        std::string replies;
        uint8_t out[4096];
        auto start = Clock::now();
        size_t total = 0;
        for (int rep = 0; rep < 5; ++rep) {
            auto* in = reinterpret_cast<const uint8_t*>(stream.data());
            auto* end = in + stream.size();
            while (in < end) {
                int produced = 0;
                parser.Run(in, end, out, sizeof out, produced, replies, false, nullptr);
                total += static_cast<size_t>(produced);
            }
        }
        std::printf("telnet parser: %.1f MB/s of data\n", total / Seconds(start) / 1e6);
    }

    // Loopback socket: a sender thread writes, the line reads in 4096-byte blocks.
    {
        int port = 0;
        int lfd = test::ListenOnLoopback(port);
        TelnetLine line;
        std::promise<void> resolved;
        line.StartLookup("127.0.0.1", port, [&] { resolved.set_value(); });
        resolved.get_future().wait();
        int err = 0;
        line.BeginConnect(err);
        int peer = ::accept(lfd, nullptr, nullptr);
        line.PollConnect(5000, err);
        const size_t kTotal = 64u * 1024 * 1024;
        auto sender = std::async(std::launch::async, [&] {
            std::string chunk(65536, 'x');
            for (size_t sent = 0; sent < kTotal; sent += chunk.size())
                if (::send(peer, chunk.data(), chunk.size(), MSG_NOSIGNAL) <= 0) break;
        });
        uint8_t buf[4096];
        size_t got = 0;
        auto start = Clock::now();
        while (got < kTotal) {
            int n = line.ReadLineData(buf, sizeof buf, 1000);
            if (n <= 0 && !line.IsOpen()) break;
            got += static_cast<size_t>(n > 0 ? n : 0);
        }
        std::printf("telnet line receive (loopback, 4096-byte reads): %.1f MB/s\n",
                    got / Seconds(start) / 1e6);
        sender.get();
        ::close(peer);
        ::close(lfd);
    }

    // The wait matcher with 50 patterns armed, fed in 80-byte blocks (the default ReadSize).
    {
        StringWait wait;
        std::vector<std::string> patterns;
        for (int i = 0; i < 50; ++i) patterns.push_back("pattern-number-" + std::to_string(i));
        int id = wait.Arm(patterns, true);
        std::string text(8 * 1024 * 1024, 'q');
        auto start = Clock::now();
        for (size_t i = 0; i < text.size(); i += 80)
            wait.Feed(reinterpret_cast<const uint8_t*>(text.data()) + i, 80);
        std::printf("string wait, 50 patterns: %.1f MB/s\n", text.size() / Seconds(start) / 1e6);
        wait.Disarm(id);
    }
    return 0;
}

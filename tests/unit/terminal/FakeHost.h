// Test doubles of the terminal's surroundings: a host that records what the view sends and asks
// for, and a capture sink that keeps what reaches the log.
#pragma once

#include <string>
#include <vector>

#include "terminal/CaptureSink.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHost.h"

namespace marlo {

struct FakeHost : ITerminalHost {
    bool WriteConverted(const std::string& sjis) override {
        sent += sjis;
        return true;
    }
    // Recorded in braces, to tell them from converted text.
    bool WriteUnheld(const std::string& utf8) override {
        sent += "{" + utf8 + "}";
        return true;
    }
    void SendBreak() override { ++breaks; }
    void RunMacroFile(const std::string& path) override { macros.push_back(path); }
    bool TransferRunning() const override { return transfer; }
    void Beep() override { ++beeps; }
    void EchoLocal(const std::string& sjis) override {
        echoed += sjis;
        if (terminal)
            terminal->ProcessLocal(reinterpret_cast<const uint8_t*>(sjis.data()), sjis.size());
    }

    Terminal* terminal = nullptr;
    std::string sent, echoed;
    std::vector<std::string> macros;
    int breaks = 0, beeps = 0;
    bool transfer = false;
};

// Keeps the captured bytes as a log file would, a back step overwriting the last one.
struct CaptureRecorder : ICaptureSink {
    explicit CaptureRecorder(bool escapes = false) : escapes(escapes) {}
    void Put(uint8_t b) override {
        if (pos < bytes.size())
            bytes[pos] = static_cast<char>(b);
        else
            bytes += static_cast<char>(b);
        ++pos;
    }
    void BackStep() override {
        if (pos > 0) --pos;
    }
    bool WantsEscapes() const override { return escapes; }
    std::string bytes;
    size_t pos = 0;
    bool escapes;
};

inline void Feed(Terminal& t, const std::string& bytes) {
    t.ProcessReceived(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace marlo

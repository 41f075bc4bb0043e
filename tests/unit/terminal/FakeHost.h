// A terminal host that records what the view sends and asks for.
#pragma once

#include <string>
#include <vector>

#include "terminal/Terminal.h"
#include "terminal/TerminalHost.h"

namespace marlo {

struct FakeHost : ITerminalHost {
    bool WriteConverted(const std::string& sjis) override {
        sent += sjis;
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

inline void Feed(Terminal& t, const std::string& bytes) {
    t.ProcessReceived(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace marlo

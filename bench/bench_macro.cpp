// The macro language's speed: statements a second in a loop of arithmetic and string assignment,
// and a wait for one of 50 texts while 50 MB of received text go through the string wait byte by
// byte, as the receive path hands them over.
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include "line/StringWait.h"
#include "macro/MacroInterpreter.h"

using namespace marlo;
using Clock = std::chrono::steady_clock;

namespace {

class BenchHost : public MacroHost {
  public:
    explicit BenchHost(StringWait* wait = nullptr, MacroControl* control = nullptr)
        : wait_(wait), control_(control) {}
    void Send(const std::string&) override {}
    int Wait(const std::vector<std::string>& texts, long timeoutMs) override {
        if (!wait_) return 0;
        int id = wait_->Arm(texts, false);
        armed = true;
        int index = wait_->BlockFor(id, static_cast<int>(timeoutMs), &control_->StopFlag());
        wait_->Disarm(id);
        return index;
    }
    void Pause(long, bool) override {}
    void ShowError(const std::string& text) override { std::fprintf(stderr, "%s\n", text.c_str()); }
    void SetStatus(const std::string&) override {}
    void StartMacro(const std::string&) override {}
    std::atomic<bool> armed{false};

  private:
    StringWait* wait_;
    MacroControl* control_;
};

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

}  // namespace

int main() {
    {
        const long iterations = 1000000;
        std::string program = "int i\rint x\rstring s\rwhile (@i < " + std::to_string(iterations) +
                              ")\r@i = (@i + 1)\r@x = (@x * 3 + 7 % 1000)\r$s = \"abcdef\"\rendwhile\r";
        BenchHost host;
        MacroControl control;
        MacroInterpreter interpreter(host, control);
        auto start = Clock::now();
        auto end = interpreter.Run(program);
        double s = Seconds(start);
        double statements = iterations * 5.0 + 4;
        std::printf("loop of %ld iterations (%.0f statements): %.2f s, %.2f M statements/s%s\n",
                    iterations, statements, s, statements / s / 1e6,
                    end == MacroInterpreter::End::Finished ? "" : " (did not finish)");
    }
    {
        // Fifty texts fit one line of 255 bytes only as variables with one-letter names.
        const std::string names = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWX";
        std::string program, waitLine = "wait";
        for (int i = 0; i < 50; ++i) {
            program += std::string("string ") + names[i] + "\r$" + names[i] + " = \"pattern number " +
                       std::to_string(i + 1) + "\"\r";
            waitLine += std::string(" $") + names[i];
        }
        program += waitLine + " /T600\rsend @result\r";
        const size_t total = 50u << 20;
        std::string block;
        while (block.size() < 4096) block += "ordinary line of host text without a match 0123\r\n";
        block.resize(4096);
        StringWait wait;
        MacroControl control;
        BenchHost host(&wait, &control);
        MacroInterpreter interpreter(host, control);
        MacroInterpreter::End end{};
        std::thread macro([&] { end = interpreter.Run(program); });
        while (!host.armed && !interpreter.LastError().size()) std::this_thread::yield();
        auto start = Clock::now();
        for (size_t fed = 0; fed < total; fed += block.size())
            for (char c : block) wait.Feed(static_cast<uint8_t>(c));
        const std::string last = "pattern number 50";
        wait.Feed(reinterpret_cast<const uint8_t*>(last.data()), last.size());
        macro.join();
        double s = Seconds(start);
        std::printf("wait for one of 50 texts over %zu MB fed byte by byte: %.2f s, %.1f MB/s%s\n",
                    total >> 20, s, (total >> 20) / s,
                    end == MacroInterpreter::End::Finished ? "" : " (did not finish)");
    }
}

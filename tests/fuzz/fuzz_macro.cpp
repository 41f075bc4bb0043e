// The macro language: a program from any bytes (a macro file a user was sent) and any received
// text. Every run ends by itself or at the step limit; an error names a line of the program; the
// host never hears of more texts to wait for than a wait may have.
#include <cctype>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "macro/MacroInterpreter.h"

namespace marlo::fuzz {
namespace {

class QuietHost : public MacroHost {
  public:
    explicit QuietHost(std::string received) : received_(std::move(received)) {}
    void Send(const std::string& bytes) override { sent += bytes.size(); }
    int Wait(const std::vector<std::string>& texts, long) override {
        if (texts.empty() || texts.size() > MacroInterpreter::kMaxWaitTexts) Fail("wait with no or too many texts");
        for (size_t i = 0; i < texts.size(); ++i)
            if (!texts[i].empty() && received_.find(texts[i]) != std::string::npos)
                return static_cast<int>(i) + 1;
        return 0;
    }
    void Pause(long, bool) override {}
    void ShowError(const std::string&) override {}
    void SetStatus(const std::string&) override {}
    void StartMacro(const std::string&) override {}
    size_t sent = 0;

  private:
    std::string received_;
};

}  // namespace

void FuzzOne(Input& in) {
    std::string received = in.Bytes(in.Below(64));
    std::string program = in.Rest();
    // The file and folder statements would act on this machine's files: not here.
    std::string lower = program;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find("file") != std::string::npos || lower.find("dir") != std::string::npos) return;
    QuietHost host(received);
    MacroControl control;
    MacroInterpreter interpreter(host, control);
    auto end = interpreter.Run(program, 2000);
    if (end == MacroInterpreter::End::Error && interpreter.LastError().find("行目]") == std::string::npos)
        Fail("an error without its line");
}

}  // namespace marlo::fuzz

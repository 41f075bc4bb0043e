#include "terminal/PasteModel.h"

#include "terminal/KanjiCodec.h"
#include "terminal/TerminalHost.h"

namespace marlo {

std::string EchoPart(const std::string& line) {
    size_t end = 0;
    while (end < line.size() && static_cast<uint8_t>(line[end]) >= 0x20 &&
           static_cast<uint8_t>(line[end]) != 0x7F)
        ++end;
    // Character starts, so that a cut never begins on a trail byte.
    size_t start = 0;
    const size_t room = kEchoWindowBytes - 1;
    for (size_t i = 0; i < end;) {
        if (end - i <= room) {
            start = i;
            break;
        }
        bool pair = IsSjisLead(static_cast<uint8_t>(line[i])) && i + 1 < end;
        i += pair ? 2 : 1;
        start = i;
    }
    return line.substr(start, end - start);
}

std::vector<PasteStep> PlanPaste(const std::string& sjis, bool sndCrLf) {
    std::vector<PasteStep> steps;
    std::string line;
    for (size_t i = 0; i < sjis.size(); ++i) {
        char c = sjis[i];
        if (c != '\n') {
            line += c;
            continue;
        }
        if (line.empty() || line.back() != '\r') line += '\r';
        if (sndCrLf) line += '\n';
        PasteStep step;
        step.echo = EchoPart(line);
        step.paced = true;
        step.send = std::move(line);
        steps.push_back(std::move(step));
        line.clear();
    }
    if (!line.empty()) {
        PasteStep step;
        step.send = std::move(line);
        steps.push_back(std::move(step));
    }
    return steps;
}

bool RunPaste(const std::vector<PasteStep>& steps, ITerminalHost& host, IEchoWait& wait) {
    for (const auto& step : steps) {
        // Text typed into a running file transfer would corrupt it.
        if (host.TransferRunning()) {
            host.Beep();
            return false;
        }
        host.WriteConverted(step.send);
        if (!step.paced) continue;
        if (!step.echo.empty()) wait.WaitForEcho(step.echo, kPasteEchoWaitMs);
        if (!wait.Pause(kPastePauseMs)) return false;
    }
    return true;
}

}  // namespace marlo

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

std::vector<PasteStep> PlanPaste(const std::vector<TextPiece>& text, bool sndCrLf, bool bracketed) {
    std::vector<PasteStep> steps;
    std::vector<TextPiece> line;
    auto append = [&line](std::string_view bytes, bool utf8) {
        if (line.empty() || line.back().utf8 != utf8) line.push_back({{}, utf8});
        line.back().bytes += bytes;
    };
    auto endStep = [&](bool paced) {
        PasteStep step;
        if (paced) {
            std::string shown;
            for (const TextPiece& piece : line)
                shown += piece.utf8 ? GetaMarks(piece.bytes) : piece.bytes;
            step.echo = EchoPart(shown);
        }
        step.paced = paced;
        step.send = std::move(line);
        steps.push_back(std::move(step));
        line.clear();
    };
    for (const TextPiece& piece : text) {
        if (piece.utf8) {
            append(piece.bytes, true);
            continue;
        }
        for (char c : piece.bytes) {
            if (bracketed && c == '\x1b') continue;
            if (c != '\n') {
                append({&c, 1}, false);
                continue;
            }
            const bool afterCr =
                !line.empty() && !line.back().utf8 && line.back().bytes.back() == '\r';
            if (!afterCr) append("\r", false);
            if (sndCrLf) append("\n", false);
            endStep(true);
        }
    }
    if (!line.empty()) endStep(false);
    if (bracketed && !steps.empty()) {
        steps.insert(steps.begin(), PasteStep{{{"\x1b[200~"}}, "", false});
        line = {{"\x1b[201~"}};
        endStep(false);
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
        for (const TextPiece& piece : step.send) {
            if (piece.utf8)
                host.WriteUnheld(piece.bytes);
            else
                host.WriteConverted(piece.bytes);
        }
        if (!step.paced) continue;
        if (!step.echo.empty()) wait.WaitForEcho(step.echo, kPasteEchoWaitMs);
        if (!wait.Pause(kPastePauseMs)) return false;
    }
    return true;
}

}  // namespace marlo

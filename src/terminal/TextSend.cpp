#include "terminal/TextSend.h"

#include <algorithm>

#include "terminal/KanjiCodec.h"
#include "terminal/PasteModel.h"

namespace marlo {

std::vector<std::string> TextSendLines(std::string_view file, const TextSendOptions& options) {
    const int tab = std::max(1, options.tabColumns);
    const int width = std::max(1, options.maxColumns);
    std::vector<std::string> lines;
    std::string line;
    int column = 0;
    auto endLine = [&] {
        line += '\r';
        lines.push_back(std::move(line));
        line.clear();
        column = 0;
    };
    auto put = [&](std::string_view character) {
        // A character starts a new line only once the width is reached, so a double-byte character
        // begun in the last column stays whole on its line.
        if (column >= width) endLine();
        line += character;
        column += static_cast<int>(character.size());
    };
    for (size_t i = 0; i < file.size(); ++i) {
        const auto b = static_cast<uint8_t>(file[i]);
        if (IsSjisLead(b) && i + 1 < file.size() && IsSjisTrail(static_cast<uint8_t>(file[i + 1]))) {
            put(file.substr(i, 2));
            ++i;
        } else if (b == '\r') {
            endLine();
        } else if (b == '\n') {
            if (options.dropLf) continue;
            line += '\n';
            column = 0;
        } else if (b == '\t') {
            for (int n = tab - column % tab; n > 0; --n) put(" ");
        } else {
            put(file.substr(i, 1));
        }
    }
    // The file's last line without an end still goes out.
    if (!line.empty()) lines.push_back(std::move(line));
    return lines;
}

TextSendRun::TextSendRun(std::vector<std::string> lines, bool waitForEcho)
    : lines_(std::move(lines)), waitForEcho_(waitForEcho) {}

TextSendRun::Step TextSendRun::Next(int64_t nowMs, bool echoed) {
    Step step;
    if (waiting_ && !echoed && !stopped_ && nowMs < deadline_) return step;
    waiting_ = false;
    if (stopped_ || next_ >= lines_.size()) {
        step.done = true;
        return step;
    }
    const std::string& line = lines_[next_++];
    step.send = &line;
    // A kept LF at the front is not part of what the host echoes as the line; a last line that
    // the file did not end is not awaited.
    if (waitForEcho_ && !line.empty() && line.back() == '\r') {
        step.echo = EchoPart(line.substr(line.front() == '\n' ? 1 : 0));
        if (!step.echo.empty()) {
            waiting_ = true;
            deadline_ = nowMs + kTextSendEchoWaitMs;
        }
    }
    return step;
}

}  // namespace marlo

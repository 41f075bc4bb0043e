#include "terminal/TextSend.h"

#include <algorithm>

#include "terminal/KanjiCodec.h"

namespace marlo {

std::vector<std::string> TextSendLines(std::string_view file, const TextSendOptions& options) {
    const int tab = std::max(1, options.tabColumns);
    const int width = std::max(2, options.maxColumns);  // room for one double-byte character
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
        if (column + static_cast<int>(character.size()) > width) endLine();
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

}  // namespace marlo

#include "macro/MacroTokenizer.h"

#include "macro/MacroMessages.h"
#include "macro/MacroText.h"

namespace marlo {
namespace {

// The index of the `)` that closes the `(` at `open`, or npos (the line or a comment ends first).
size_t MatchingParen(const std::string& line, size_t open) {
    int depth = 0;
    bool quoted = false;
    for (size_t i = open; i < line.size(); i += SjisStep(line, i)) {
        char c = line[i];
        if (c == ';') return std::string::npos;
        if (c == '"') quoted = !quoted;
        if (quoted) continue;
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) return i;
    }
    return std::string::npos;
}

}  // namespace

MacroTokens TokenizeMacroLine(
    const std::string& line,
    const std::function<std::optional<std::string>(const std::string&)>& evaluate) {
    MacroTokens out;
    std::string token;
    bool quoted = false;
    int brackets = 0;
    auto push = [&](std::string text) {
        if (!out.error.empty()) return;
        if (out.tokens.size() >= kMacroMaxTokens)
            out.error = macro_text::kTooManyTokens;
        else if (text.size() > kMacroMaxTokenBytes)
            out.error = macro_text::kTokenTooLong;
        else
            out.tokens.push_back(std::move(text));
    };
    auto flush = [&] {
        if (!token.empty()) push(std::move(token));
        token.clear();
    };
    for (size_t i = 0; i < line.size() && out.error.empty();) {
        char c = line[i];
        size_t step = SjisStep(line, i);
        if (step == 2) {
            token.append(line, i, 2);
            i += 2;
            continue;
        }
        if (c == ';') break;
        if (quoted) {
            token += c;
            ++i;
            if (c == '"') {
                quoted = false;
                flush();
            }
            continue;
        }
        if (c == '#') break;
        if (c == '"') {
            quoted = true;
            token += c;
            ++i;
            continue;
        }
        if (c == '[') ++brackets;
        if (c == ']' && brackets > 0) --brackets;
        if (brackets > 0 || c == ']') {
            token += c;
            ++i;
            continue;
        }
        if (c == ' ' || c == ',' || c == '\t') {
            flush();
            ++i;
            continue;
        }
        if (c == '(') {
            flush();
            size_t close = MatchingParen(line, i);
            if (close == std::string::npos) {
                out.error = macro_text::kSyntax;
                break;
            }
            auto value = evaluate(line.substr(i + 1, close - i - 1));
            if (!value) {
                out.error = macro_text::kSyntax;
                break;
            }
            push(std::move(*value));
            i = close + 1;
            continue;
        }
        token += c;
        ++i;
    }
    flush();
    return out;
}

}  // namespace marlo

#include "macro/MacroText.h"

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "terminal/KanjiCodec.h"

namespace marlo {
namespace {

bool EndsWord(char c) {
    return c == ' ' || c == '\t' || c == ',' || c == '(' || c == ';' || c == '#';
}

// The word starting at or after `from` (blanks and commas skipped); `from` moves past it.
std::string WordAt(std::string_view line, size_t& from) {
    while (from < line.size() && (line[from] == ' ' || line[from] == '\t' || line[from] == ','))
        ++from;
    size_t start = from;
    while (from < line.size() && !EndsWord(line[from])) from += SjisStep(line, from);
    return std::string(line.substr(start, from - start));
}

}  // namespace

int32_t MacroAtoi(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    uint32_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        value = value * 10u + static_cast<uint32_t>(text[i] - '0');
    return static_cast<int32_t>(negative ? 0u - value : value);
}

std::string Unquote(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        if (c != '"') out += c;
    return out;
}

std::vector<std::string> SplitProgramLine(std::string_view text) {
    std::vector<std::string> words;
    std::string word;
    bool inWord = false;
    char quote = 0;
    for (char c : text) {
        if (quote) {
            if (c == quote)
                quote = 0;
            else
                word += c;
        } else if (c == ' ' || c == '\t') {
            if (inWord) words.push_back(std::move(word));
            word.clear();
            inWord = false;
        } else {
            inWord = true;
            if (c == '"' || c == '\'')
                quote = c;
            else
                word += c;
        }
    }
    if (inWord) words.push_back(std::move(word));
    return words;
}

size_t SjisStep(std::string_view text, size_t i) {
    return i + 1 < text.size() && IsSjisLead(static_cast<uint8_t>(text[i])) ? 2 : 1;
}

size_t FindByte(std::string_view text, char c) {
    for (size_t i = 0; i < text.size(); i += SjisStep(text, i))
        if (text[i] == c) return i;
    return std::string_view::npos;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::string ToLower(std::string_view text) {
    std::string out(text);
    for (size_t i = 0; i < out.size(); i += SjisStep(out, i))
        out[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(out[i])));
    return out;
}

std::string LineKeyword(std::string_view line) {
    size_t at = 0;
    return ToLower(WordAt(line, at));
}

std::string LineSecondWord(std::string_view line) {
    size_t at = 0;
    WordAt(line, at);
    return WordAt(line, at);
}

std::string MacroFormat(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int size = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string out;
    if (size > 0) {
        std::vector<char> buffer(static_cast<size_t>(size) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        out.assign(buffer.data(), static_cast<size_t>(size));
    }
    va_end(again);
    return out;
}

}  // namespace marlo

// The string, number and clock statements of the macro language. Lengths are in bytes, but a
// two-byte Shift-JIS character is never split: a cut that would fall inside one leaves it out.
#include <algorithm>
#include <cctype>
#include <ctime>

#include "macro/MacroInterpreter.h"
#include "macro/MacroMessages.h"
#include "macro/MacroText.h"

namespace marlo {

using namespace macro_text;

namespace {

// The byte offsets where the characters of `text` start, and its end.
std::vector<size_t> CharacterStarts(const std::string& text) {
    std::vector<size_t> starts;
    for (size_t i = 0; i < text.size(); i += SjisStep(text, i)) starts.push_back(i);
    starts.push_back(text.size());
    return starts;
}

std::string CaseConverted(const std::string& text, int (*convert)(int)) {
    std::string out = text;
    for (size_t i = 0; i < out.size(); i += SjisStep(out, i))
        out[i] = static_cast<char>(convert(static_cast<unsigned char>(out[i])));
    return out;
}

std::tm LocalNow() {
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    return tm;
}

}  // namespace

void MacroInterpreter::GetValue(const Tokens& args) {
    // The source names a variable whose value is itself a reference: it is followed twice.
    std::string once = Unquote(ResolveOrFail(Unquote(Arg(args, 0))).text);
    MacroValue value = ResolveOrFail(once);
    const std::string& destination = Arg(args, 1);
    if (destination[0] == '$')
        StoreString(VariableName(destination), Unquote(value.text));
    else if (destination[0] == '@')
        StoreNumber(VariableName(destination), MacroAtoi(value.text));
    else
        Fail(kSyntax);
}

void MacroInterpreter::StrStr(const Tokens& args) {
    std::string text = Text(Arg(args, 0)), pattern = Text(Arg(args, 1));
    variables_.SetResult(text.find(pattern) != std::string::npos ? 1 : 0);
}

void MacroInterpreter::StrHead(const Tokens& args) {
    std::string text = Text(Arg(args, 0));
    std::string destination = Destination(args, 1, '$');
    int32_t n = Number(Arg(args, 2));
    auto starts = CharacterStarts(text);
    // The longest run of whole characters within n bytes.
    size_t end = 0;
    for (size_t s : starts)
        if (n >= 0 && s <= static_cast<size_t>(n)) end = s;
    StoreString(destination, text.substr(0, end));
    variables_.SetResult(1);
}

void MacroInterpreter::StrTail(const Tokens& args) {
    std::string text = Text(Arg(args, 0));
    std::string destination = Destination(args, 1, '$');
    int32_t n = Number(Arg(args, 2));
    auto starts = CharacterStarts(text);
    size_t begin = text.size();
    for (auto it = starts.rbegin(); it != starts.rend(); ++it)
        if (n >= 0 && text.size() - *it <= static_cast<size_t>(n)) begin = *it;
    StoreString(destination, text.substr(begin));
    variables_.SetResult(1);
}

void MacroInterpreter::StrUpr(const Tokens& args) { ConvertCase(args, std::toupper); }

void MacroInterpreter::StrLwr(const Tokens& args) { ConvertCase(args, std::tolower); }

void MacroInterpreter::ConvertCase(const Tokens& args, int (*convert)(int)) {
    std::string name = Destination(args, 0, '$');
    auto value = variables_.GetString(name);
    if (!value) Fail(kVariableMissing);
    StoreString(name, CaseConverted(*value, convert));
    variables_.SetResult(1);
}

void MacroInterpreter::StrTok(const Tokens& args) {
    const std::string& source = Arg(args, 0);
    std::string text = Text(source);
    std::string destination = Destination(args, 1, '$');
    std::string delimiters = Text(Arg(args, 2));
    // Delimiters are whole characters too: a kanji delimiter matches that kanji only.
    size_t cut = std::string::npos, step = 0;
    for (size_t i = 0; i < text.size() && cut == std::string::npos; i += SjisStep(text, i)) {
        std::string_view character(text.data() + i, SjisStep(text, i));
        for (size_t d = 0; d < delimiters.size(); d += SjisStep(delimiters, d))
            if (std::string_view(delimiters.data() + d, SjisStep(delimiters, d)) == character) {
                cut = i;
                step = character.size();
                break;
            }
    }
    if (cut == std::string::npos) {
        StoreString(destination, text);
        variables_.SetResult(0);
        return;
    }
    StoreString(destination, text.substr(0, cut));
    if (source[0] == '$') StoreString(VariableName(source), text.substr(cut + step));
    variables_.SetResult(1);
}

void MacroInterpreter::StrLen(const Tokens& args) {
    variables_.SetResult(static_cast<int32_t>(Text(Arg(args, 0)).size()));
}

void MacroInterpreter::Max(const Tokens& args) {
    variables_.SetResult(std::max(Number(Arg(args, 0)), Number(Arg(args, 1))));
}

void MacroInterpreter::Min(const Tokens& args) {
    variables_.SetResult(std::min(Number(Arg(args, 0)), Number(Arg(args, 1))));
}

void MacroInterpreter::GetDate(const Tokens& args) {
    std::tm tm = LocalNow();
    StoreString(Destination(args, 0, '$'),
                MacroFormat("%04d%02d%02d", tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
    variables_.SetResult(1);
}

void MacroInterpreter::GetTime(const Tokens& args) {
    std::tm tm = LocalNow();
    StoreString(Destination(args, 0, '$'),
                MacroFormat("%02d%02d%02d", tm.tm_hour, tm.tm_min, tm.tm_sec));
    variables_.SetResult(1);
}

void MacroInterpreter::GetVersion(const Tokens& args) {
    std::string digits = MARLO_VERSION_TEXT;
    digits.erase(std::remove(digits.begin(), digits.end(), '.'), digits.end());
    bool stored = variables_.SetNumber(Destination(args, 0, '@'), MacroAtoi(digits));
    variables_.SetResult(stored ? 1 : 0);
}

}  // namespace marlo

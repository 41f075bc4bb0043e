#include "app/CommandLine.h"

#include <cctype>
#include <cstdlib>

#include "macro/MacroText.h"

namespace marlo {

const char* const kUsageText =
    "マーロ for Windows NT/95\n起動方法:\n   Marlo [/h<ﾎｽﾄｲﾝﾃﾞｯｸｽ>]\n     /h : 起動時接続";

namespace {

// Decimal digits from the start of `s`, optionally signed; 0 when it does not begin with a number.
int LeadingNumber(const std::string& s) {
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
    long value = 0;
    bool any = false;
    for (; i < s.size() && std::isdigit(static_cast<unsigned char>(s[i])); ++i) {
        any = true;
        if (value < 100000000) value = value * 10 + (s[i] - '0');
    }
    if (!any) return 0;
    return static_cast<int>(negative ? -value : value);
}

}  // namespace

CommandLine ParseCommandLine(const std::vector<std::string>& tokens) {
    CommandLine cl;
    for (const auto& t : tokens) {
        if (t == "/t" || t == "/T") {
            cl.trace = true;
        } else if (t.size() >= 3 && (t.rfind("/h", 0) == 0 || t.rfind("/H", 0) == 0)) {
            cl.startupHost = LeadingNumber(t.substr(2));
        } else if (t == "/?") {
            cl.showUsage = true;
            break;
        } else if (t == "--version") {
            cl.showVersion = true;
            break;
        }
    }
    return cl;
}

std::vector<std::string> SplitCommandLine(const std::string& text) {
    return SplitProgramLine(text);
}

}  // namespace marlo

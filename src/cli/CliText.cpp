#include "cli/CliText.h"

#include "text/Encoding.h"

namespace marlo::cli {

namespace {

bool IsUtf8(const std::string& s) {
    for (size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        size_t more;
        if (b < 0x80)
            more = 0;
        else if ((b & 0xE0) == 0xC0)
            more = 1;
        else if ((b & 0xF0) == 0xE0)
            more = 2;
        else if ((b & 0xF8) == 0xF0)
            more = 3;
        else
            return false;
        if (i + more >= s.size() && more > 0) return false;
        for (size_t k = 1; k <= more; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) return false;
        i += more + 1;
    }
    return true;
}

}  // namespace

std::string ArgToSjis(const std::string& arg) {
    return IsUtf8(arg) ? Utf8ToSjis(arg) : arg;
}

}  // namespace marlo::cli

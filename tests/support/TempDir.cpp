#include "support/TempDir.h"

#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace marlo::test {

TempDir::TempDir() {
    std::string templ = (std::filesystem::temp_directory_path() / "marlo-test-XXXXXX").string();
    if (::mkdtemp(templ.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path = templ;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

std::string ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteWhole(const std::string& path, const std::string& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::vector<uint8_t> RandomBytes(size_t n, unsigned seed) {
    std::mt19937 gen(seed);
    std::vector<uint8_t> v(n);
    for (auto& b : v) b = static_cast<uint8_t>(gen());
    return v;
}

std::string NumberedSjisLines(size_t bytes) {
    // "日本語" in Shift-JIS.
    const std::string kanji = "\x93\xfa\x96\x7b\x8c\xea";
    std::string out;
    out.reserve(bytes + 64);
    char number[16];
    for (unsigned i = 0; out.size() < bytes; ++i) {
        std::snprintf(number, sizeof number, "%07u", i);
        out += kanji + " text of a busy host, line " + number + "\r\n";
    }
    return out;
}

std::string LastLineNumber(const std::string& lines) {
    size_t end = lines.rfind("\r\n");
    return end == std::string::npos || end < 7 ? "" : lines.substr(end - 7, 7);
}

}  // namespace marlo::test

#include "CaseFile.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>

namespace marlo {

bool Unescape(const std::string& text, std::string* out) {
    static const std::string kNames = "erntba0\\";
    static const std::string kBytes("\x1b\r\n\t\b\a\0\\", 8);
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            *out += text[i];
        } else if (++i >= text.size()) {
            return false;
        } else if (size_t k = kNames.find(text[i]); k != std::string::npos) {
            *out += kBytes[k];
        } else if (text[i] == 'x' && i + 2 < text.size() && std::isxdigit(uint8_t(text[i + 1])) &&
                   std::isxdigit(uint8_t(text[i + 2]))) {
            *out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
            i += 2;
        } else {
            return false;
        }
    }
    return true;
}

std::string Escape(const std::string& bytes) {
    static const std::string kBytes("\x1b\r\n\t\b\a\\", 7);
    static const std::string kNames = "erntba\\";
    std::string out;
    for (char c : bytes) {
        if (size_t k = kBytes.find(c); k != std::string::npos) {
            out += '\\';
            out += kNames[k];
        } else if (static_cast<uint8_t>(c) < 0x20 || c == 0x7f) {
            static const char* kHex = "0123456789abcdef";
            out += "\\x";
            out += kHex[static_cast<uint8_t>(c) >> 4];
            out += kHex[static_cast<uint8_t>(c) & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::vector<CaseText> ReadCaseFiles(const std::string& folder) {
    std::vector<CaseText> cases;
    std::vector<std::filesystem::path> files;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        if (e.path().extension() == ".txt") files.push_back(e.path());
    std::sort(files.begin(), files.end());
    for (const auto& path : files) {
        std::ifstream in(path);
        std::string line;
        int number = 0;
        bool inExpect = false;
        CaseText* c = nullptr;
        std::vector<CaseDirective> leading;
        while (std::getline(in, line)) {
            ++number;
            if (!line.empty() && line.back() == '\r') line.pop_back();
            if (line.rfind("===", 0) == 0) {
                cases.push_back({});
                c = &cases.back();
                c->file = path.filename().string();
                c->line = number;
                c->name = line.size() > 4 ? line.substr(4) : "";
                c->directives = leading;
                inExpect = false;
                continue;
            }
            if (line.empty() || line[0] == '#') continue;
            std::string word = line.substr(0, line.find(' '));
            std::string rest = line.size() > word.size() + 1 ? line.substr(word.size() + 1) : "";
            if (!c) {
                leading.push_back({word, rest, number});
                continue;
            }
            if (inExpect) {
                if (line[0] == '|')
                    c->expected += line.substr(1) + "\n";
                else if (c->error.empty())
                    c->error = "line " + std::to_string(number) + ": expected a '|' line";
                continue;
            }
            if (word == "expect") {
                inExpect = true;
                c->expectOptions = rest;
                continue;
            }
            c->directives.push_back({word, rest, number});
        }
    }
    return cases;
}

std::string CaseTestName(const CaseText& c) {
    std::string name = c.file.substr(0, c.file.find('.')) + "_" + std::to_string(c.line);
    for (char& ch : name)
        if (!std::isalnum(static_cast<unsigned char>(ch))) ch = '_';
    return name;
}

}  // namespace marlo

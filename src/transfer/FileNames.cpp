#include "transfer/FileNames.h"

#include "text/Encoding.h"

namespace marlo {

namespace {

// After the last '/' or '\'. In UTF-8 those bytes are never part of another character.
std::string_view LastComponent(std::string_view utf8) {
    const size_t cut = utf8.find_last_of("/\\");
    return cut == std::string_view::npos ? utf8 : utf8.substr(cut + 1);
}

}  // namespace

std::string FileNameToUtf8(std::string_view bytes) {
    return IsValidUtf8(bytes) ? std::string(bytes) : SjisToUtf8(bytes);
}

std::optional<std::string> ReceivedFileName(std::string_view wire) {
    const std::string utf8 = FileNameToUtf8(wire);
    std::string clean;
    for (unsigned char c : LastComponent(utf8))
        if (c >= 0x20 && c != 0x7F && c != ':') clean.push_back(static_cast<char>(c));
    while (!clean.empty() && (clean.back() == ' ' || clean.back() == '.')) clean.pop_back();
    if (clean.empty()) return std::nullopt;
    return clean;
}

std::string SentFileName(std::string_view path) {
    std::string name = FileNameToUtf8(path);
    for (char& c : name) {
        if (c == '\\') c = '/';
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    if (name.size() >= 2 && name[1] == ':') name.erase(0, 2);
    return std::string(LastComponent(name));
}

std::string FileNameInCode(const std::string& utf8, int code) {
    return code == kFileNameUtf8 ? utf8 : Utf8ToSjis(utf8);
}

}  // namespace marlo

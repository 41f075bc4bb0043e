#include "support/LzhArchive.h"

#include "tools/Lzh.h"

namespace marlo::test {

namespace {

void Put16(std::string& s, size_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>((v >> 8) & 0xFF);
}

void Put32(std::string& s, size_t v) {
    Put16(s, v & 0xFFFF);
    Put16(s, (v >> 16) & 0xFFFF);
}

// One extension as level 1 and 2 chain them: type, data, then the size of the next one.
std::string Extension(uint8_t type, const std::string& data) {
    return static_cast<char>(type) + data;
}

}  // namespace

std::string LzhArchive(const std::vector<LzhEntry>& entries, bool endMark) {
    std::string out;
    for (const LzhEntry& e : entries) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(e.data.data());
        const uint16_t crc = LzhCrc16(bytes, e.data.size());
        std::vector<std::string> exts;
        if (e.level >= 1) {
            if (e.level == 2) exts.push_back(Extension(0x01, e.name));
            if (!e.folder.empty()) exts.push_back(Extension(0x02, e.folder));
            if (e.unixMode) {
                std::string mode;
                Put16(mode, *e.unixMode);
                exts.push_back(Extension(0x50, mode));
            }
        }
        // Each extension is followed by the size of the next (0 after the last).
        std::string chain;
        for (size_t i = 0; i < exts.size(); ++i) {
            chain += exts[i];
            Put16(chain, i + 1 < exts.size() ? exts[i + 1].size() + 2 : 0);
        }
        const size_t firstExt = exts.empty() ? 0 : exts[0].size() + 2;
        std::string h;
        if (e.level <= 1) {
            std::string base = e.method;
            Put32(base, e.data.size() + (e.level == 1 ? chain.size() : 0));
            Put32(base, e.data.size());
            Put32(base, 0x5A210000);  // 2025-01-01 00:00 in MS-DOS form
            base += '\x20';
            base += static_cast<char>(e.level);
            base += static_cast<char>(e.name.size());
            base += e.name;
            Put16(base, crc);
            if (e.level == 1) {
                base += 'M';
                Put16(base, firstExt);
            }
            unsigned sum = 0;
            for (unsigned char c : base) sum += c;
            h += static_cast<char>(base.size());
            h += static_cast<char>(sum & 0xFF);
            h += base + (e.level == 1 ? chain : "");
        } else {
            std::string rest = e.method;
            Put32(rest, e.data.size());
            Put32(rest, e.data.size());
            Put32(rest, 1735689600);  // 2025-01-01 00:00 UTC
            rest += '\x20';
            rest += '\x02';
            Put16(rest, crc);
            rest += 'U';
            Put16(rest, firstExt);
            rest += chain;
            Put16(h, rest.size() + 2);
            h += rest;
        }
        out += h + e.data;
    }
    if (endMark) out += '\0';
    return out;
}

}  // namespace marlo::test

// LZH archives written byte by byte for the tests: stored (-lh0-) members, or directory and link
// entries (-lhd-), under header level 0, 1 or 2, with their CRCs, so that any name or mode a
// hostile archive could hold is easy to make.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace marlo::test {

struct LzhEntry {
    LzhEntry(std::string n, std::string d, int l = 2, std::string f = {}, std::string m = "-lh0-",
             std::optional<uint16_t> mode = {})
        : name(std::move(n)), data(std::move(d)), level(l), folder(std::move(f)),
          method(std::move(m)), unixMode(mode) {}

    std::string name;    // the stored name bytes (level 0: the whole path, '\' or '/' between)
    std::string data;    // stored as it is
    int level = 2;
    std::string folder;  // levels 1 and 2: the folder extension, 0xFF between its parts
    std::string method = "-lh0-";
    std::optional<uint16_t> unixMode;  // levels 1 and 2: the Unix mode extension
};

// The archive of `entries`, ended by a zero byte unless `endMark` is false.
std::string LzhArchive(const std::vector<LzhEntry>& entries, bool endMark = true);

}  // namespace marlo::test

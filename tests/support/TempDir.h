// A temporary folder for a test, removed with everything in it when the test ends, and small
// helpers for test data: whole-file reads and writes, repeatable random bytes.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace marlo::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    std::string Str() const { return path.string(); }

    std::filesystem::path path;
};

std::string ReadWhole(const std::string& path);
void WriteWhole(const std::string& path, const std::string& bytes);
// `n` bytes from a generator seeded with `seed` (the same bytes every run).
std::vector<uint8_t> RandomBytes(size_t n, unsigned seed);
// What a busy host sends: numbered lines of Shift-JIS text ending in CR LF, about `bytes` in
// all. Each number appears once, so a line is found by it ("line 0000042").
std::string NumberedSjisLines(size_t bytes);
// The number of the last line of NumberedSjisLines(bytes), as it appears in that line.
std::string LastLineNumber(const std::string& lines);

}  // namespace marlo::test

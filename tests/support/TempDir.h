// A temporary folder for a test, removed with everything in it when the test ends, and two small
// whole-file helpers.
#pragma once

#include <string>

namespace marlo::test {

class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

std::string ReadWhole(const std::string& path);
void WriteWhole(const std::string& path, const std::string& bytes);

}  // namespace marlo::test

// Port numbers and device paths. The settings keep a port as a number (`Port`, shown as "COM%d");
// on Linux a port is a device path. The map file "ports.conf" in the config folder holds one device
// path per line, line n being COM n; a number without a line means /dev/ttyS<n-1>. A path the user
// types that the map does not know is appended and takes the next number.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

// The name of "no port" in lists and settings pages (UTF-8).
inline constexpr const char* kNoModemName = "ﾓﾃﾞﾑなし";

class PortMap {
  public:
    explicit PortMap(std::filesystem::path configDir);

    // The device path of COM n (n >= 1).
    std::string PathOf(int n) const;
    // The number of a device path: its line in the map, /dev/ttyS<k> as k+1 where the map has
    // no line k+1, else a new line appended to the map (and saved). 0 for an empty path.
    int NumberOf(const std::string& path);
    // The same without appending: nullopt when the path has no number yet.
    std::optional<int> Lookup(const std::string& path) const;
    // The number a port name stands for: 0 for "ﾓﾃﾞﾑなし", n for "COMn", else NumberOf(path).
    int NumberOfName(const std::string& name);
    // The device path a port name stands for; empty for "ﾓﾃﾞﾑなし".
    std::string Resolve(const std::string& name) const;

    // "COM%d".
    static std::string ComName(int n);
    // n for "COMn" (n >= 1), case-insensitive.
    static std::optional<int> ParseComName(const std::string& name);

    const std::vector<std::string>& Entries() const { return entries_; }
    std::filesystem::path FilePath() const { return file_; }
    // False when the map could not be written (the numbers still hold for this run).
    bool Saved() const { return saved_; }

  private:
    void Load();
    bool Save();

    std::filesystem::path file_;
    std::vector<std::string> entries_;
    bool saved_ = true;
};

// The serial devices present under /dev (serial/by-id links first, then ttyS, ttyUSB and ttyACM
// devices not already named by a link), in natural order. `devDir` is for tests.
std::vector<std::string> FindSerialDevices(const std::filesystem::path& devDir = "/dev");

}  // namespace marlo

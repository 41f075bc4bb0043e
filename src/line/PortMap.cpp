#include "line/PortMap.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <set>
#include <system_error>

namespace marlo {

namespace fs = std::filesystem;

namespace {

constexpr const char* kMapFileName = "ports.conf";

// Orders "ttyS2" before "ttyS10".
bool NaturalLess(const std::string& a, const std::string& b) {
    size_t i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (std::isdigit(static_cast<unsigned char>(a[i])) &&
            std::isdigit(static_cast<unsigned char>(b[j]))) {
            size_t i2 = i, j2 = j;
            while (i2 < a.size() && std::isdigit(static_cast<unsigned char>(a[i2]))) ++i2;
            while (j2 < b.size() && std::isdigit(static_cast<unsigned char>(b[j2]))) ++j2;
            std::string na = a.substr(i, i2 - i), nb = b.substr(j, j2 - j);
            na.erase(0, std::min(na.find_first_not_of('0'), na.size()));
            nb.erase(0, std::min(nb.find_first_not_of('0'), nb.size()));
            if (na.size() != nb.size()) return na.size() < nb.size();
            if (na != nb) return na < nb;
            i = i2;
            j = j2;
        } else {
            if (a[i] != b[j]) return a[i] < b[j];
            ++i;
            ++j;
        }
    }
    return a.size() - i < b.size() - j;
}

std::optional<int> TtySIndex(const std::string& path) {
    const std::string prefix = "/dev/ttyS";
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size())
        return std::nullopt;
    int k = 0;
    for (size_t i = prefix.size(); i < path.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(path[i])) || k > 100000) return std::nullopt;
        k = k * 10 + (path[i] - '0');
    }
    return k;
}

}  // namespace

PortMap::PortMap(fs::path configDir) : file_(std::move(configDir) / kMapFileName) {
    Load();
}

void PortMap::Load() {
    entries_.clear();
    std::ifstream in(file_);
    std::string line;
    while (std::getline(in, line)) {
        while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        size_t start = line.find_first_not_of(" \t");
        entries_.push_back(start == std::string::npos ? std::string() : line.substr(start));
    }
}

bool PortMap::Save() {
    std::error_code ec;
    fs::create_directories(file_.parent_path(), ec);
    fs::path tmp = file_;
    tmp += ".tmp";
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (const auto& e : entries_) out << e << '\n';
        out.flush();
        if (!out) {
            fs::remove(tmp, ec);
            return saved_ = false;
        }
    }
    fs::rename(tmp, file_, ec);
    if (ec) fs::remove(tmp, ec);
    return saved_ = !ec;
}

std::string PortMap::PathOf(int n) const {
    if (n < 1) return {};
    if (static_cast<size_t>(n) <= entries_.size() && !entries_[n - 1].empty())
        return entries_[n - 1];
    return "/dev/ttyS" + std::to_string(n - 1);
}

std::optional<int> PortMap::Lookup(const std::string& path) const {
    if (path.empty()) return std::nullopt;
    for (size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i] == path) return static_cast<int>(i) + 1;
    if (auto k = TtySIndex(path)) {
        size_t n = static_cast<size_t>(*k) + 1;
        if (n > entries_.size() || entries_[n - 1].empty()) return static_cast<int>(n);
    }
    return std::nullopt;
}

int PortMap::NumberOf(const std::string& path) {
    if (path.empty()) return 0;
    if (auto n = Lookup(path)) return *n;
    entries_.push_back(path);
    Save();
    return static_cast<int>(entries_.size());
}

int PortMap::NumberOfName(const std::string& name) {
    if (name == kNoModemName || name.empty()) return 0;
    if (auto n = ParseComName(name)) return *n;
    return NumberOf(name);
}

std::string PortMap::Resolve(const std::string& name) const {
    if (name == kNoModemName || name.empty()) return {};
    if (auto n = ParseComName(name)) return PathOf(*n);
    return name;
}

std::string PortMap::ComName(int n) {
    return "COM" + std::to_string(n);
}

std::optional<int> PortMap::ParseComName(const std::string& name) {
    if (name.size() < 4 || name.size() > 9) return std::nullopt;
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return std::nullopt;
    int n = 0;
    for (size_t i = 3; i < name.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return std::nullopt;
        n = n * 10 + (name[i] - '0');
    }
    if (n < 1) return std::nullopt;
    return n;
}

std::vector<std::string> FindSerialDevices(const fs::path& devDir) {
    std::vector<std::string> links, ttys;
    std::set<fs::path> covered;
    std::error_code ec;
    for (fs::directory_iterator it(devDir / "serial" / "by-id", ec), end; !ec && it != end;
         it.increment(ec)) {
        links.push_back(it->path().string());
        auto target = fs::canonical(it->path(), ec);
        if (!ec) covered.insert(target);
        ec.clear();
    }
    ec.clear();
    for (fs::directory_iterator it(devDir, ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        bool serial = (name.rfind("ttyS", 0) == 0 && name.size() > 4) ||
                      name.rfind("ttyUSB", 0) == 0 || name.rfind("ttyACM", 0) == 0;
        if (!serial) continue;
        std::error_code ec2;
        auto canon = fs::canonical(it->path(), ec2);
        if (!ec2 && covered.count(canon)) continue;
        ttys.push_back(it->path().string());
    }
    std::sort(links.begin(), links.end(), NaturalLess);
    std::sort(ttys.begin(), ttys.end(), NaturalLess);
    links.insert(links.end(), ttys.begin(), ttys.end());
    return links;
}

}  // namespace marlo

// marlo-cli ports: the port numbers the settings use ("COM%d") with the device each stands for,
// and the serial devices that can be opened now, each followed by a comment line that tells what
// the device is (USB maker, product, serial number, ids, the tty it is today). The numbers live in
// "ports.conf" in the config folder, one device path per line, line n being COM n.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "cli/CliCommand.h"
#include "line/PortMap.h"
#include "line/PortNames.h"
#include "line/SerialDevice.h"

namespace marlo::cli {
namespace {

std::filesystem::path DefaultConfigDir() {
    if (const char* d = std::getenv("MARLO_CONFIG_DIR"); d && *d) return d;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        return std::filesystem::path(x) / "marlo";
    if (const char* h = std::getenv("HOME"); h && *h)
        return std::filesystem::path(h) / ".config" / "marlo";
    return ".";
}

int RunPorts(const std::vector<std::string>& args) {
    std::filesystem::path dir = DefaultConfigDir();
    std::string dev = "/dev", sys = "/sys";
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--config" && i + 1 < args.size()) {
            dir = args[++i];
        } else if (args[i] == "--dev" && i + 1 < args.size()) {
            dev = args[++i];
        } else if (args[i] == "--sys" && i + 1 < args.size()) {
            sys = args[++i];
        } else {
            std::fprintf(stderr, "marlo-cli ports: unknown option '%s'\n", args[i].c_str());
            return kExitUsage;
        }
    }
    PortMap map(dir);
    PortNamer namer(dev, sys);
    std::printf("# %s\n", map.FilePath().c_str());
    for (size_t n = 1; n <= map.Entries().size(); ++n)
        std::printf("%s\t%s\n", PortMap::ComName(static_cast<int>(n)).c_str(),
                    map.PathOf(static_cast<int>(n)).c_str());
    for (const auto& path : FindSerialDevices(dev)) {
        TermiosDevice probe;
        SerialStatus st = probe.Open(path);
        const char* state = st == SerialStatus::Ok     ? "free"
                            : st == SerialStatus::Busy ? "busy"
                                                       : "cannot open";
        auto n = map.Lookup(path);
        std::printf("%s\t%s\t%s\n", n ? PortMap::ComName(*n).c_str() : "-", path.c_str(), state);
        PortDescription d = namer.Describe(path);
        std::string about = d.Label();
        auto add = [&](const std::string& part) {
            if (part.empty() || about.find(part) != std::string::npos) return;
            about += (about.empty() ? "" : ", ") + part;
        };
        if (!d.vendorId.empty()) add("USB " + d.vendorId + ":" + d.productId);
        if (d.tty != path) add(d.tty);
        if (d.byId != path) add(d.byId);
        if (!about.empty()) std::printf("# %s: %s\n", path.c_str(), about.c_str());
    }
    return kExitOk;
}

}  // namespace

MARLO_CLI_COMMAND(
    "ports",
    "  ports [--config DIR] [--dev DIR] [--sys DIR]   list the port numbers (COMn) with their "
    "devices, and the serial devices present, each with what it is (USB maker, product, serial "
    "number)",
    RunPorts);

}  // namespace marlo::cli

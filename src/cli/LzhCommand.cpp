// marlo-cli lzh: an LZH archive extracted (or listed) by the desktop program's extraction, with
// the same rules for members that would land outside the destination.
#include <atomic>
#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "tools/Lzh.h"

namespace marlo::cli {

namespace {

const char kUsage[] =
    "  lzh ARCHIVE [--dir DIR] [--list]\n"
    "      extract the LZH archive into DIR (default: the archive's folder), or list its members;\n"
    "      exits 0 when every member was extracted, 1 when one was refused or damaged";

int Usage(const std::string& why) { return UsageFailure("lzh", why, kUsage); }

std::atomic<bool> gLzhInterrupted{false};
extern "C" void OnLzhInterrupt(int) { gLzhInterrupted = true; }

int RunLzh(const std::vector<std::string>& args) {
    std::string archive, dir;
    bool list = false, dirGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--dir") {
            if (i + 1 >= args.size()) return Usage("--dir needs a folder");
            dir = args[++i];
            dirGiven = true;
        } else if (a == "--list") {
            list = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option " + a);
        } else if (!archive.empty()) {
            return Usage("give one ARCHIVE");
        } else {
            archive = a;
        }
    }
    if (archive.empty()) return Usage("give an ARCHIVE");
    if (dirGiven && dir.empty()) return Usage("--dir needs a folder");
    if (list && dirGiven) return Usage("--list takes no --dir");

    LzhResult r;
    if (list) {
        r = ListLzh(archive);
        for (const LzhMember& m : r.members) {
            std::string name = m.name;
            if (m.directory && (name.empty() || name.back() != '/')) name += '/';
            if (!m.linkTarget.empty()) name += " -> " + m.linkTarget;
            std::printf("%llu\t%llu\t%s\t%s\n", static_cast<unsigned long long>(m.size),
                        static_cast<unsigned long long>(m.packed), m.method.c_str(), name.c_str());
        }
    } else {
        gLzhInterrupted = false;
        auto oldInt = std::signal(SIGINT, OnLzhInterrupt);
        auto oldTerm = std::signal(SIGTERM, OnLzhInterrupt);
        LzhProgress progress;
        progress.cancel = &gLzhInterrupted;
        r = ExtractLzh(archive, dir, progress);
        std::signal(SIGINT, oldInt);
        std::signal(SIGTERM, oldTerm);
        for (const std::string& name : r.extracted) std::printf("%s\n", name.c_str());
    }
    std::fflush(stdout);
    for (const std::string& p : r.problems) std::fprintf(stderr, "marlo-cli lzh: %s\n", p.c_str());
    switch (r.status) {
        case LzhStatus::Ok:
            return kExitOk;
        case LzhStatus::FileError:
            return kExitUsage;
        case LzhStatus::Cancelled:
            std::fprintf(stderr, "marlo-cli lzh: interrupted\n");
            return kExitFailed;
        case LzhStatus::Failed:
            break;
    }
    std::fprintf(stderr, "marlo-cli lzh: %s\n", kLzhFailed);
    return kExitFailed;
}

}  // namespace

MARLO_CLI_COMMAND("lzh", kUsage, RunLzh);

}  // namespace marlo::cli

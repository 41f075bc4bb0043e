// LZH extraction. Any archive, as bytes or as members with any names, levels, methods and modes:
// the extraction ends, writes nothing outside the destination folder, never writes through the
// links planted there (a file link and a folder link leading out), leaves no temporary file, and
// makes only plain files, folders and links that stay inside.
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "FuzzSupport.h"
#include "support/LzhArchive.h"
#include "tools/Lzh.h"

namespace marlo::fuzz {
namespace {

namespace fs = std::filesystem;

std::string Archive(Input& in) {
    if (!in.Flag()) return in.Rest();
    static const char* const kNames[] = {"f1", "d1/x", "../x", "a/../../x", "/abs", "d1",
                                         "s|../outside/file", "s|d1/x", "a\\b", "C:x"};
    static const char* const kMethods[] = {"-lh0-", "-lhd-", "-lh5-", "-lh1-"};
    std::vector<test::LzhEntry> entries;
    for (int n = 1 + in.Below(4); n > 0; --n) {
        std::string name = in.Flag() ? kNames[in.Below(10)] : in.Bytes(in.Below(24));
        test::LzhEntry e(name, in.Bytes(in.Below(64)), in.Below(3));
        if (in.Flag()) e.folder = in.Flag() ? "d1" : in.Bytes(in.Below(12));
        e.method = kMethods[in.Below(4)];
        if (in.Flag()) e.unixMode = static_cast<uint16_t>(in.Byte() << 8 | in.Byte());
        entries.push_back(std::move(e));
    }
    std::string bytes = test::LzhArchive(entries, in.Flag());
    // Now and then one byte changed on the way.
    if (!bytes.empty() && in.Flag())
        bytes[static_cast<size_t>(in.Below(static_cast<int>(bytes.size())))] ^=
            static_cast<char>(1 + in.Below(255));
    return bytes;
}

// Whether `p` stays inside `root` once its links (those made by the extraction) are followed
// by their text.
bool Inside(const fs::path& root, const fs::path& p) {
    const fs::path rel = p.lexically_normal().lexically_relative(root);
    return !rel.empty() && *rel.begin() != "..";
}

}  // namespace

void FuzzOne(Input& in) {
    test::TempDir scratch;
    const fs::path dest = scratch.path / "dest", outside = scratch.path / "outside";
    fs::create_directories(dest);
    fs::create_directories(outside);
    test::WriteWhole((outside / "file").string(), "outside");
    fs::create_symlink(outside / "file", dest / "f1");
    fs::create_directory_symlink(outside, dest / "d1");
    const std::string archive = (scratch.path / "a.lzh").string();
    test::WriteWhole(archive, Archive(in));

    const LzhResult r = ExtractLzh(archive, dest.string());
    if (r.status == LzhStatus::FileError) Fail("a readable archive gave a file error");

    for (const auto& e : fs::directory_iterator(scratch.path))
        if (e.path() != dest && e.path() != outside && e.path() != archive)
            Fail("written outside the destination: " + e.path().string());
    if (test::ReadWhole((outside / "file").string()) != "outside") Fail("the file outside changed");
    for (const auto& e : fs::directory_iterator(outside))
        if (e.path().filename() != "file") Fail("written through a link: " + e.path().string());
    const std::string tempPrefix = ".marlo-lzh-" + std::to_string(::getpid()) + "-";
    std::set<fs::path> extracted;
    for (const std::string& m : r.extracted) extracted.insert((dest / m).lexically_normal());
    for (const auto& e : fs::recursive_directory_iterator(dest)) {
        const std::string name = e.path().filename().string();
        // The extraction's own temporary names (the prefix and a number); a member may be called
        // ".marlo-lzh-..." itself.
        const bool tempForm =
            name.rfind(tempPrefix, 0) == 0 && name.size() > tempPrefix.size() &&
            name.find_first_not_of("0123456789", tempPrefix.size()) == std::string::npos;
        if (tempForm && !extracted.count(e.path()))
            Fail("a temporary file was left: " + name);
        if (e.is_symlink()) {
            if (e.path() == dest / "f1" || e.path() == dest / "d1") continue;
            const fs::path target = fs::read_symlink(e.path());
            if (target.is_absolute() || !Inside(dest, e.path().parent_path() / target))
                Fail("a link leading out: " + e.path().string() + " -> " + target.string());
        } else if (!e.is_regular_file() && !e.is_directory()) {
            Fail("a special file: " + e.path().string());
        }
    }
    // A member of a planted link's name may take its place as a plain file or as a link of its
    // own (which the walk above found leading inside), as it replaces any file; nothing else.
    for (const fs::path& link : {dest / "f1", dest / "d1"}) {
        const fs::file_status st = fs::symlink_status(link);
        if (!fs::is_symlink(st) && !fs::is_regular_file(st))
            Fail("a planted link was replaced by something else than a plain file or a link");
    }
}

}  // namespace marlo::fuzz

// marlo-cli lzh: extraction and listing with the desktop program's rules, and its statuses.
#include <gtest/gtest.h>

#include <filesystem>

#include "support/LzhArchive.h"
#include "support/RunProgram.h"
#include "support/TempDir.h"

namespace marlo {
namespace {

using test::TempDir;

test::RunResult Cli(const std::vector<std::string>& args) {
    return test::RunProgram(MARLO_CLI_PATH, args, {}, 10000, "");
}

TEST(LzhCommand, ExtractsListsAndTellsFailuresByStatus) {
    TempDir d;
    const std::string sample = std::string(MARLO_TEST_DATA) + "/lzh/lh5.lzh";
    auto r = Cli({"lzh", sample, "--dir", d.Str() + "/out/"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "a.txt\nsub/b.txt\n");
    EXPECT_EQ(test::ReadWhole(d.Str() + "/out/sub/b.txt"), "inner file\n");

    r = Cli({"lzh", "--list", sample});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("600\t"), std::string::npos);
    EXPECT_NE(r.out.find("\t-lh5-\ta.txt\n"), std::string::npos);

    // Without --dir the archive's own folder; a refused member fails the run, the rest is there.
    test::WriteWhole(d.Str() + "/h.lzh", test::LzhArchive({{"../evil", "x", 0}, {"ok", "y"}}));
    r = Cli({"lzh", d.Str() + "/h.lzh"});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("「../evil」"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("解凍に失敗しました."), std::string::npos);
    EXPECT_EQ(test::ReadWhole(d.Str() + "/ok"), "y");
    EXPECT_FALSE(std::filesystem::exists(d.path.parent_path() / "evil"));

    for (const auto& args : {std::vector<std::string>{"lzh"},
                             {"lzh", d.Str() + "/missing.lzh"},
                             {"lzh", sample, "--dir"},
                             {"lzh", sample, "--list", "--dir", d.Str()},
                             {"lzh", sample, "--bogus"},
                             {"lzh", sample, sample}}) {
        r = Cli(args);
        EXPECT_EQ(r.status, 2) << args.back() << " " << r.err;
    }
}

}  // namespace
}  // namespace marlo

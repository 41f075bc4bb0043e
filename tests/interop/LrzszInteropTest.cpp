// Our transfers against lrzsz (sx/rx, sb/rb): marlo-cli joined to lrzsz over a socket, every size
// both ways, an interrupt, and the usage errors.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <sstream>
#include <thread>

#include "support/RunProgram.h"
#include "support/TransferKit.h"
#include "transfer/Protocols.h"

namespace marlo {
namespace {

using test::RandomBytes;
using test::ReadFileBytes;
using test::TempDir;
using test::WriteFileBytes;

namespace fs = std::filesystem;

const std::vector<size_t> kSizes = {0, 1, 127, 128, 129, 1024, 1025};
constexpr size_t kBig = 3 * 1024 * 1024 + 77;

std::string Slurp(const fs::path& p) {
    return test::ReadWhole(p.string());
}

struct PairResult {
    int ours = -1, theirs = -1;
    std::string oursErr;
};

// Runs marlo-cli and a peer program on the two ends of a socket and waits for both.
PairResult RunPair(const std::vector<std::string>& ours, const std::vector<std::string>& theirs,
                   const fs::path& theirCwd, const fs::path& logDir) {
    test::SocketPair sp;
    auto err = logDir / "ours.err";
    pid_t a = test::SpawnOnFd(ours, sp.a, "", err.string());
    pid_t b = test::SpawnOnFd(theirs, sp.b, theirCwd.string(), (logDir / "theirs.err").string());
    ::close(sp.a);
    ::close(sp.b);
    sp.a = sp.b = -1;
    PairResult r;
    r.ours = test::WaitExit(a, 120000);
    r.theirs = test::WaitExit(b, 10000);
    r.oursErr = Slurp(err);
    return r;
}

// lrzsz waits a second at each end of a file; the pairs run side by side to keep the suite short.
void RunConcurrently(const std::vector<std::function<void()>>& jobs) {
    std::vector<std::thread> threads;
    for (const auto& j : jobs) threads.emplace_back(j);
    for (auto& t : threads) t.join();
}

std::vector<std::string> Cli(const std::string& cmd, const std::string& protocol,
                             const fs::path& dir, const std::vector<std::string>& files) {
    std::vector<std::string> v{MARLO_CLI_PATH, cmd,     "--protocol", protocol,
                               "--stdio",      "--dir", dir.string()};
    v.insert(v.end(), files.begin(), files.end());
    return v;
}

// XMODEM keeps the sender's padding: the prefix is the file, the rest 0x1A up to a block.
void ExpectPadded(const std::vector<uint8_t>& sent, const std::vector<uint8_t>& got, size_t block) {
    size_t expected = (sent.size() + block - 1) / block * block;
    if (got.size() != expected && got.size() != (sent.size() + 127) / 128 * 128) {
        ADD_FAILURE() << "got " << got.size() << " bytes for " << sent.size();
        return;
    }
    EXPECT_TRUE(std::equal(sent.begin(), sent.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<long>(sent.size()), got.end(),
                            [](uint8_t c) { return c == 0x1A; }));
}

// Every size both ways: ours sends to rx and receives from sx, with each check and block size.
TEST(LrzszXmodem, OursSendsToRxAndReceivesFromSx) {
    struct Variant {
        bool send;
        const char* protocol;
        std::vector<std::string> peer;  // without its file
        size_t block;
    } variants[] = {{true, "xmodem", {"rx", "-q"}, 128},
                    {true, "xmodem", {"rx", "-q", "-c"}, 128},
                    {true, "xmodem-1k", {"rx", "-q", "-c"}, 1024},
                    {false, "xmodem", {"sx", "-q"}, 128},
                    {false, "xmodem-crc", {"sx", "-q"}, 128},
                    {false, "xmodem-crc", {"sx", "-q", "-k"}, 1024}};
    std::vector<std::function<void()>> jobs;
    for (const auto& v : variants) {
        for (size_t size : kSizes) {
            jobs.push_back([&v, size] {
                SCOPED_TRACE(testing::Message() << v.protocol << " " << v.peer[0] << " "
                                                << v.peer.back() << " " << size);
                TempDir in, out;
                auto data = RandomBytes(size, static_cast<unsigned>(size) + (v.send ? 1 : 2));
                WriteFileBytes(in.path / "f.bin", data);
                auto peer = v.peer;
                peer.push_back(v.send ? "got.bin" : "f.bin");
                auto r = v.send ? RunPair(Cli("send", v.protocol, in.path, {"f.bin"}), peer,
                                          out.path, in.path)
                                : RunPair(Cli("receive", v.protocol, out.path, {"got.bin"}), peer,
                                          in.path, out.path);
                EXPECT_EQ(r.ours, 0) << r.oursErr;
                EXPECT_EQ(r.theirs, 0);
                ExpectPadded(data, ReadFileBytes(out.path / "got.bin"), v.block);
            });
        }
    }
    RunConcurrently(jobs);
}

TEST(LrzszXmodem, ThreeMegabytesWithOneKBlocksBothWays) {
    TempDir a, b;
    auto data = RandomBytes(kBig, 3);
    WriteFileBytes(a.path / "big.bin", data);
    auto r = RunPair(Cli("send", "xmodem-1k", a.path, {"big.bin"}), {"rx", "-q", "-c", "got.bin"},
                     b.path, a.path);
    EXPECT_EQ(r.ours, 0) << r.oursErr;
    ExpectPadded(data, ReadFileBytes(b.path / "got.bin"), 1024);
    r = RunPair(Cli("receive", "xmodem-crc", b.path, {"back.bin"}), {"sx", "-q", "-k", "big.bin"},
                a.path, b.path);
    EXPECT_EQ(r.ours, 0) << r.oursErr;
    ExpectPadded(data, ReadFileBytes(b.path / "back.bin"), 1024);
}

// Every size of the list and a large file, in one batch.
struct Batch {
    TempDir dir;
    std::vector<std::string> names;
    std::vector<std::vector<uint8_t>> contents;
    explicit Batch(const std::vector<size_t>& sizes) {
        for (size_t s : sizes) {
            names.push_back("f" + std::to_string(s) + ".bin");
            contents.push_back(RandomBytes(s, static_cast<unsigned>(s) + 5));
            WriteFileBytes(dir.path / names.back(), contents.back());
        }
    }
    void ExpectIn(const fs::path& out) const {
        for (size_t i = 0; i < names.size(); ++i)
            EXPECT_EQ(ReadFileBytes(out / names[i]), contents[i]) << names[i];
    }
};

const std::vector<std::vector<size_t>> kBatches = {{0, 1, 127}, {128, 129, 1024}, {1025, kBig}};

// Every batch both ways: from sb with YMODEM and YMODEM-G, to rb by the display name or the alias
// (which name the same protocol: each batch goes once, by either).
TEST(LrzszYmodem, OursReceivesBatchesFromSbAndSendsThemToRb) {
    std::vector<std::function<void()>> jobs;
    auto job = [&jobs](bool send, const char* protocol, const std::vector<size_t>& sizes) {
        jobs.push_back([send, protocol, &sizes] {
            SCOPED_TRACE(protocol);
            Batch batch(sizes);
            TempDir out;
            std::vector<std::string> sb{"sb", "-q"};
            sb.insert(sb.end(), batch.names.begin(), batch.names.end());
            auto r = send ? RunPair(Cli("send", protocol, batch.dir.path, batch.names),
                                    {"rb", "-q"}, out.path, batch.dir.path)
                          : RunPair(Cli("receive", protocol, out.path, {}), sb, batch.dir.path,
                                    out.path);
            EXPECT_EQ(r.ours, 0) << r.oursErr;
            EXPECT_EQ(r.theirs, 0);
            batch.ExpectIn(out.path);
        });
    };
    for (size_t i = 0; i < kBatches.size(); ++i) {
        for (const char* protocol : {"ymodem", "ymodem-g"}) job(false, protocol, kBatches[i]);
        job(true, i % 2 ? "YMODEM" : "ymodem", kBatches[i]);
    }
    RunConcurrently(jobs);
}

// Japanese file names with both batch protocols: a Linux host's UTF-8 names and a BBS host's
// Shift-JIS ones (表示: the trail byte of 表 is 0x5C) arrive under their UTF-8 names; ours go out
// in the code FileNameCode names.
TEST(LrzszNames, JapaneseNamesCrossBothWays) {
    const std::string sjisName = "\x95\x5C\x8E\xA6.txt";  // 表示.txt
    struct Peers {
        const char* protocol;
        const char* sender;
        const char* receiver;
    } peers[] = {{"zmodem", "sz", "rz"}, {"ymodem", "sb", "rb"}};
    std::vector<std::function<void()>> jobs;
    for (const auto& p : peers) {
        for (const std::string& name : {std::string("日本語.txt"), sjisName}) {
            jobs.push_back([&p, name] {
                SCOPED_TRACE(std::string(p.sender) + " " + name);
                TempDir in, out;
                WriteFileBytes(in.path / name, {'s', 'z'});
                auto r = RunPair(Cli("receive", p.protocol, out.path, {}), {p.sender, "-q", name},
                                 in.path, out.path);
                EXPECT_EQ(r.ours, 0) << r.oursErr;
                EXPECT_EQ(r.theirs, 0);
                const char* stored = name == "日本語.txt" ? "日本語.txt" : "表示.txt";
                EXPECT_EQ(ReadFileBytes(out.path / stored), (std::vector<uint8_t>{'s', 'z'}));
            });
        }
        for (int code : {0, 1}) {
            jobs.push_back([&p, code, sjisName] {
                SCOPED_TRACE(std::string(p.receiver) + " FileNameCode=" + std::to_string(code));
                TempDir in, out;
                WriteFileBytes(in.path / "日本語.txt", {'r', 'z'});
                auto ours = Cli("send", p.protocol, in.path, {"日本語.txt"});
                ours.insert(ours.end(), {"--set", "FileNameCode=" + std::to_string(code)});
                auto r = RunPair(ours, {p.receiver, "-q"}, out.path, in.path);
                EXPECT_EQ(r.ours, 0) << r.oursErr;
                EXPECT_EQ(r.theirs, 0);
                // lrzsz stores the name as it came: Shift-JIS bytes or UTF-8.
                const std::string wire = code == 1 ? "日本語.txt" : "\x93\xFA\x96{\x8C\xEA.txt";
                EXPECT_EQ(ReadFileBytes(out.path / wire), (std::vector<uint8_t>{'r', 'z'}));
            });
        }
    }
    RunConcurrently(jobs);
}

TEST(LrzszCli, AnInterruptCancelsTheTransferAndExitsWithOne) {
    TempDir in, out;
    WriteFileBytes(in.path / "big.bin", RandomBytes(20 * 1024 * 1024, 4));
    test::SocketPair sp;
    auto err = out.path / "ours.err";
    pid_t ours = test::SpawnOnFd(Cli("receive", "ymodem", out.path, {}), sp.a, "", err.string());
    pid_t theirs = test::SpawnOnFd({"sb", "-q", "big.bin"}, sp.b, in.path.string());
    ::close(sp.a);
    ::close(sp.b);
    sp.a = sp.b = -1;
    // Once the first block has landed, the user presses Ctrl-C.
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (Slurp(err).find("ﾌｧｲﾙｻｲｽﾞ") == std::string::npos &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::kill(ours, SIGINT);
    EXPECT_EQ(test::WaitExit(ours, 30000), 1) << Slurp(err);
    EXPECT_NE(test::WaitExit(theirs, 30000), 0);
    EXPECT_NE(Slurp(err).find("転送失敗"), std::string::npos);
}

TEST(LrzszCli, UsageAndFileErrorsExitWithTwo) {
    TempDir d;
    auto run = [&](const std::vector<std::string>& args) {
        return test::RunProgram(MARLO_CLI_PATH, args, {}, 10000).status;
    };
    EXPECT_EQ(run({"send", "--protocol", "xmodem", "--stdio", (d.path / "missing").string()}), 2);
    EXPECT_EQ(run({"send", "--protocol", "xmodem-crc", "--stdio", "x"}), 2);  // cannot send
    EXPECT_EQ(run({"receive", "--protocol", "xmodem-1k", "--stdio", "x"}), 2);
    EXPECT_EQ(run({"receive", "--protocol", "xmodem", "--stdio"}), 2);  // no FILE
    EXPECT_EQ(run({"receive", "--protocol", "nope", "--stdio"}), 2);
    EXPECT_EQ(run({"receive", "--protocol", "ymodem", "--telnet", "localhost:99999"}), 2);
    EXPECT_EQ(
        run({"receive", "--protocol", "ymodem", "--stdio", "--dir", (d.path / "no").string()}), 2);
    EXPECT_EQ(run({"receive", "--protocol", "ymodem", "--stdio", "--set", "Bogus=1"}), 2);
    EXPECT_EQ(run({"receive", "--protocol", "ymodem", "--serial", (d.path / "tty").string()}), 2);
}

}  // namespace
}  // namespace marlo

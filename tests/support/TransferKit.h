// Helpers of the transfer tests: a scripted far end on a socket, a status sink that records, a
// fault-injecting relay between two ends, and child processes joined to a socket.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "line/StreamLine.h"
#include "support/TempDir.h"
#include "transfer/TransEngine.h"
#include "transfer/TransferSession.h"

namespace marlo::test {

// A connected pair of stream sockets; both ends closed on destruction.
struct SocketPair {
    SocketPair();
    ~SocketPair();
    int a = -1, b = -1;
};

// The far end of a line, driven by the test.
class Peer {
  public:
    explicit Peer(int fd) : fd_(fd) {}
    // The next byte, or -1 after `ms` of silence.
    int Byte(int ms = 3000);
    // Exactly `n` bytes, or fewer when the line went quiet for `ms`.
    std::vector<uint8_t> Bytes(size_t n, int ms = 3000);
    void Write(const std::vector<uint8_t>& bytes);
    void Write(uint8_t b) { Write(std::vector<uint8_t>{b}); }
    // Reads and drops what arrives until the line is quiet for `ms`; the bytes dropped.
    std::vector<uint8_t> Drain(int ms);

  private:
    int fd_;
};

// An XMODEM/YMODEM block as a sender puts it on the line.
std::vector<uint8_t> MakeBlock(int number, const std::vector<uint8_t>& data, bool crc);

class RecordingStatus : public ITransferStatus {
  public:
    void SetField(TransField field, const std::string& utf8) override;
    void SetTitle(const std::string& utf8) override;
    void SetStatusTitle(const std::string& utf8) override;
    void SetPercent(int p) override { percent = p; }
    std::string Field(TransField f);
    std::vector<std::string> Titles();
    std::vector<std::string> Messages();
    std::atomic<int> percent{-1};

  private:
    std::mutex mutex_;
    std::map<TransField, std::string> fields_;
    std::vector<std::string> titles_, messages_;
};

// Writes a whole file, creating its folders.
void WriteFileBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& p);

// What the relay does to one direction of the stream: one fault at a byte offset of that
// direction, and random noise spread over the whole stream.
struct Fault {
    enum Kind { None, Drop, Corrupt, Duplicate, Stall, Cut, Hangup } kind = None;
    size_t at = 0;     // offset of the first byte affected (Hangup: bytes let through)
    size_t count = 1;  // bytes dropped, corrupted or duplicated
    int stallMs = 0;   // Stall: the pause before the byte at `at` goes on
    // Cut drops everything from `at` on and leaves the line open; Hangup closes both sides.
    uint32_t corruptOneIn = 0;  // flip a bit in about one byte of this many (0: never)
    int drops = 0;              // bytes to drop at random
    int duplicates = 0;         // bytes to send twice at random
    uint32_t seed = 1;
};

// Forwards bytes between two descriptors until both ends close or Stop; applies a fault to
// each direction (a to b, b to a) and counts the bytes passed on. With `own` the descriptors
// are closed on destruction.
class Relay {
  public:
    Relay(int a, int b, Fault aToB = {}, Fault bToA = {}, bool own = false);
    ~Relay();
    Relay(const Relay&) = delete;
    Relay& operator=(const Relay&) = delete;
    void Stop();
    int64_t BytesAToB() const { return counted_[0].load(); }
    int64_t BytesBToA() const { return counted_[1].load(); }

  private:
    void Run();
    int a_, b_;
    Fault faults_[2];
    bool own_;
    std::atomic<int64_t> counted_[2]{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// One engine run through a TransferSession on one end of a socket pair (or on a given line); the
// test plays the far end through `peer`. Time limits are scaled down so that failures come fast.
class EngineRun {
  public:
    explicit EngineRun(double timeScale = 0.2, ILineIo* line = nullptr);
    StartResult Start(int protocol, int direction, std::vector<std::filesystem::path> files = {});
    // Writes `data` to dir/`name` and starts sending it.
    StartResult Send(int protocol, const std::vector<uint8_t>& data,
                     const std::string& name = "in.bin");
    // Waits for the engine (bounded) and does the end steps; the engine's result.
    bool Finish(int ms = 30000);

    SocketPair sp;
    StreamLine streamLine{sp.a, sp.a};
    ILineIo& line;
    RecordingStatus status;
    TransferSession session;
    Peer peer{sp.b};
    TempDir dir;
    double timeScale;
    int fileNameCode = 0;  // `FileNameCode` of the next Start
    int windowLimit = 0;   // Quick-VAN's window limit of the next Start (0: its own)
    int overwriteAnswer = -1;
    std::atomic<int> endCalls{0};
    std::atomic<bool> endResult{false};
};

// Counts the CAN bytes that arrive, up to five, until the line is quiet for `ms`.
int CountCans(Peer& peer, int ms = 1000);

// A child process with `fd` as its standard input and output; stderr goes to `stderrPath` (or
// /dev/null); it runs in `cwd` when given.
pid_t SpawnOnFd(const std::vector<std::string>& argv, int fd, const std::string& cwd = "",
                const std::string& stderrPath = "");
// The exit status, or -1 when it had not ended within `ms` (it is then killed).
int WaitExit(pid_t pid, int ms);

// A peer program (sz, rz, ...) run in `dir` on `fd` with its stderr in dir/peer.log; killed on
// destruction when it is still running. `fd` is not closed here.
class PeerProcess {
  public:
    PeerProcess(const std::vector<std::string>& argv, int fd, const std::filesystem::path& dir)
        : pid_(SpawnOnFd(argv, fd, dir.string(), (dir / "peer.log").string())) {}
    ~PeerProcess() { Wait(0); }
    PeerProcess(const PeerProcess&) = delete;
    PeerProcess& operator=(const PeerProcess&) = delete;
    // The exit status, or -1 when it did not end within `timeoutMs` (it is then killed).
    int Wait(int timeoutMs) {
        if (pid_ > 0) status_ = WaitExit(pid_, timeoutMs);
        pid_ = -1;
        return status_;
    }

  private:
    pid_t pid_;
    int status_ = -1;
};

}  // namespace marlo::test

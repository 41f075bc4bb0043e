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

// A fresh folder under the system's temporary folder, removed on destruction.
void WriteFileBytes(const std::filesystem::path& p, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadFileBytes(const std::filesystem::path& p);

// What the relay does to one direction of the stream, at a byte offset of that direction.
struct Fault {
    enum Kind { None, Drop, Corrupt, Duplicate, Stall, Cut } kind = None;
    size_t at = 0;     // offset of the first byte affected
    size_t count = 1;  // bytes dropped, corrupted or duplicated
    int stallMs = 0;   // Stall: the pause before the byte at `at` goes on
};

// Forwards bytes between two descriptors until either end closes or Stop; applies a fault to
// each direction (a to b, b to a).
class Relay {
  public:
    Relay(int a, int b, Fault aToB = {}, Fault bToA = {});
    ~Relay();
    void Stop();

  private:
    void Run();
    int a_, b_;
    Fault faults_[2];
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// One engine run through a TransferSession on one end of a socket pair (or on a given line); the
// test plays the far end through `peer`. Time limits are scaled down so that failures come fast.
class EngineRun {
  public:
    explicit EngineRun(double timeScale = 0.2, ILineIo* line = nullptr);
    StartResult Start(int protocol, int direction, std::vector<std::filesystem::path> files = {});
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

}  // namespace marlo::test

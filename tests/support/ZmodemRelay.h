// Test helpers for file transfers against real peers: a relay between two descriptors that counts
// bytes and can corrupt, drop, duplicate or cut the stream, and a peer program (sz, rz, ...) run
// with its standard input and output on a descriptor.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "support/TempDir.h"

namespace marlo::test {

// Faults applied to one direction of the relay.
struct RelayFaults {
    uint32_t corruptOneIn = 0;  // flip a bit in about one byte of this many (0: never)
    int drops = 0;              // bytes to drop, spread over the stream
    int duplicates = 0;         // bytes to send twice
    int64_t cutAfter = -1;      // close both sides once this many bytes went this way
    uint32_t seed = 1;
};

class ZmodemRelay {
  public:
    // Relays between `a` and `b` until either side closes; the descriptors are owned and closed.
    ZmodemRelay(int a, int b, RelayFaults aToB = {}, RelayFaults bToA = {});
    ~ZmodemRelay();
    ZmodemRelay(const ZmodemRelay&) = delete;
    ZmodemRelay& operator=(const ZmodemRelay&) = delete;

    void Stop();
    int64_t BytesAToB() const { return counted_[0].load(); }
    int64_t BytesBToA() const { return counted_[1].load(); }

  private:
    void Run();

    int fd_[2];
    RelayFaults faults_[2];
    std::atomic<int64_t> counted_[2]{};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A connected pair of stream sockets: {ours, theirs}.
std::pair<int, int> SocketPair();

class PeerProcess {
  public:
    // Starts argv[0] (searched in PATH) in `dir` with stdin and stdout on `fd`; stderr goes to
    // `dir`/peer.log. `fd` is not closed here.
    PeerProcess(const std::vector<std::string>& argv, int fd, const std::filesystem::path& dir);
    ~PeerProcess();
    // Waits up to `timeoutMs` for the exit: the exit status, or -1 (killed after the wait).
    int Wait(int timeoutMs);
    pid_t Pid() const { return pid_; }

  private:
    pid_t pid_ = -1;
    int status_ = -1;
    bool done_ = false;
};

// Writes `data` to `path`, creating folders.
void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& data);
std::vector<uint8_t> ReadFile(const std::filesystem::path& path);

}  // namespace marlo::test

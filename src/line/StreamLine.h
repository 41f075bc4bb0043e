// A line over a pair of file descriptors: standard input and output (marlo-cli --stdio, joined to
// another program by socat) or a pty. No modem lines, no parameters.
#pragma once

#include <atomic>

#include "line/LineIo.h"

namespace marlo {

class StreamLine : public ILineIo {
  public:
    // The descriptors stay owned by the caller unless `own` is set. The read descriptor is made
    // non-blocking while the line exists (its flags are restored after).
    StreamLine(int readFd, int writeFd, bool own = false);
    ~StreamLine() override;

    LineKind Kind() const override { return LineKind::Stream; }
    int ReadLineData(uint8_t* buf, int max, int timeoutMs = 1000) override;
    bool WriteRaw(const uint8_t* buf, size_t n) override;
    bool IsOpen() const override { return open_.load(); }
    void Purge() override;

  private:
    int readFd_;
    int writeFd_;
    bool own_;
    int readFlags_ = -1;  // as found, when this line made the descriptor non-blocking
    bool nonBlocking_ = false;
    // The last read was a large one: the far end outpaces us, so the next read comes before any
    // wait (saving a poll for every read while data streams in).
    bool moreWaiting_ = false;
    std::atomic<bool> open_{true};
};

// Waits until `fd` can be written, up to `timeoutMs`; then writes as much as it takes. Loops until
// all `n` bytes are out; false when `timeoutMs` passes with no progress or the descriptor fails.
bool WriteAllWithin(int fd, const uint8_t* buf, size_t n, int timeoutMs);
// Waits up to `timeoutMs` for `fd` to become readable and reads what is there: the count, 0 on
// time-out, -1 at end of file or on an error.
int ReadWithin(int fd, uint8_t* buf, int max, int timeoutMs);

}  // namespace marlo

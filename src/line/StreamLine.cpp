#include "line/StreamLine.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace marlo {

namespace {
// A read at least this large says more data is probably waiting (a pty hands over 4 KB at most).
constexpr ssize_t kLargeRead = 2048;
}  // namespace

StreamLine::StreamLine(int readFd, int writeFd, bool own)
    : readFd_(readFd), writeFd_(writeFd), own_(own) {
    const int flags = readFd_ >= 0 ? ::fcntl(readFd_, F_GETFL) : -1;
    if (flags < 0) return;
    // Not when standard error is the same file (a terminal the line runs on): a message must
    // never meet a non-blocking descriptor whose buffer is full.
    struct stat lineFile = {};
    struct stat errFile = {};
    if (::fstat(readFd_, &lineFile) == 0 && ::fstat(STDERR_FILENO, &errFile) == 0 &&
        lineFile.st_dev == errFile.st_dev && lineFile.st_ino == errFile.st_ino)
        return;
    nonBlocking_ = (flags & O_NONBLOCK) || ::fcntl(readFd_, F_SETFL, flags | O_NONBLOCK) == 0;
    if (!(flags & O_NONBLOCK) && nonBlocking_) readFlags_ = flags;
}

StreamLine::~StreamLine() {
    if (readFlags_ >= 0) ::fcntl(readFd_, F_SETFL, readFlags_);
    if (own_) {
        ::close(readFd_);
        if (writeFd_ != readFd_) ::close(writeFd_);
    }
}

int ReadWithin(int fd, uint8_t* buf, int max, int timeoutMs) {
    if (max <= 0) return 0;
    pollfd p{fd, POLLIN, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    if (r < 0) return -1;
    if (r == 0) return 0;
    if (p.revents & (POLLIN | POLLHUP | POLLERR)) {
        ssize_t n;
        do {
            n = ::read(fd, buf, static_cast<size_t>(max));
        } while (n < 0 && errno == EINTR);
        if (n > 0) return static_cast<int>(n);
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
        return -1;
    }
    return (p.revents & POLLNVAL) ? -1 : 0;
}

bool WriteAllWithin(int fd, const uint8_t* buf, size_t n, int timeoutMs) {
    size_t done = 0;
    while (done < n) {
        pollfd p{fd, POLLOUT, 0};
        int r = ::poll(&p, 1, timeoutMs);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;  // no progress within the limit, or poll failed
        if (p.revents & (POLLERR | POLLNVAL)) return false;
        ssize_t w = ::write(fd, buf + done, n - done);
        if (w < 0) {
            if (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK) continue;
            return false;
        }
        done += static_cast<size_t>(w);
    }
    return true;
}

int StreamLine::ReadLineData(uint8_t* buf, int max, int timeoutMs) {
    if (!open_ || max <= 0) return 0;
    if (moreWaiting_) {
        moreWaiting_ = false;
        ssize_t n;
        do {
            n = ::read(readFd_, buf, static_cast<size_t>(max));
        } while (n < 0 && errno == EINTR);
        if (n > 0) {
            moreWaiting_ = n >= kLargeRead;
            return static_cast<int>(n);
        }
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK)) {
            open_ = false;
            return 0;
        }
    }
    int n = ReadWithin(readFd_, buf, max, timeoutMs);
    if (n < 0) {
        open_ = false;
        return 0;
    }
    moreWaiting_ = nonBlocking_ && n >= kLargeRead;
    return n;
}

bool StreamLine::WriteRaw(const uint8_t* buf, size_t n) {
    if (!open_) return false;
    if (!WriteAllWithin(writeFd_, buf, n, 5000)) return false;
    return true;
}

void StreamLine::Purge() {
    uint8_t scratch[4096];
    while (ReadWithin(readFd_, scratch, sizeof scratch, 0) > 0) {
    }
}

}  // namespace marlo

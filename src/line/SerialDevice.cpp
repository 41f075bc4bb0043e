#include "line/SerialDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace marlo {

namespace {

int RetryPoll(pollfd* fds, nfds_t n, int timeoutMs) {
    int r;
    do {
        r = ::poll(fds, n, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
}

// The signal that breaks a TIOCMIWAIT: a handler that does nothing, installed without
// SA_RESTART so that the ioctl returns EINTR. Installed once, and only where nobody else took it.
int ModemWaitSignal() {
    static int sig = [] {
        int s = SIGRTMIN + 3;
        struct sigaction old {};
        if (::sigaction(s, nullptr, &old) != 0) return 0;
        if (old.sa_handler != SIG_DFL && old.sa_handler != SIG_IGN) return 0;
        struct sigaction sa {};
        sa.sa_handler = [](int) {};
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = 0;
        return ::sigaction(s, &sa, nullptr) == 0 ? s : 0;
    }();
    return sig;
}

}  // namespace

TermiosDevice::~TermiosDevice() {
    Close();
}

SerialStatus TermiosDevice::Open(const std::string& path) {
    Close();
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        lastError_ = errno;
        return errno == EBUSY ? SerialStatus::Busy : SerialStatus::Failed;
    }
    if (!::isatty(fd)) {
        lastError_ = ENOTTY;
        ::close(fd);
        return SerialStatus::Failed;
    }
    // TIOCEXCL does not stop a privileged opener; the advisory lock stops every program that
    // takes it, root included.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        lastError_ = errno;
        ::close(fd);
        return lastError_ == EWOULDBLOCK ? SerialStatus::Busy : SerialStatus::Failed;
    }
    ::ioctl(fd, TIOCEXCL);
    haveSaved_ = ::tcgetattr(fd, &saved_) == 0;
    wakeFd_ = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wakeFd_ < 0) {
        lastError_ = errno;
        ::ioctl(fd, TIOCNXCL);
        ::close(fd);
        return SerialStatus::Failed;
    }
    fd_ = fd;
    return SerialStatus::Ok;
}

void TermiosDevice::Close() {
    if (fd_ >= 0) {
        if (haveSaved_) ::tcsetattr(fd_, TCSANOW, &saved_);
        ::ioctl(fd_, TIOCNXCL);
        ::close(fd_);  // also releases the advisory lock
        fd_ = -1;
    }
    if (wakeFd_ >= 0) {
        ::close(wakeFd_);
        wakeFd_ = -1;
    }
    haveSaved_ = false;
}

SerialStatus TermiosDevice::Configure(const LineParams& p) {
    if (fd_ < 0) return SerialStatus::Failed;
    if (p.dataBits != 7 && p.dataBits != 8) return SerialStatus::Refused;
    if (p.stopBits != 0 && p.stopBits != 2) return SerialStatus::Refused;  // 1.5 has no form
    if (p.parity < 0 || p.parity > 3 || p.flow < 0 || p.flow > 2 || p.speed <= 0)
        return SerialStatus::Refused;

    struct termios t {};
    if (::tcgetattr(fd_, &t) != 0) {
        lastError_ = errno;
        return SerialStatus::Failed;
    }
    // Raw: no input or output processing, no echo, no signals, reads return what is there.
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR);
    t.c_oflag &= ~OPOST;
    t.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    // The program watches the carrier itself; the tty must not hang up when it drops.
    t.c_cflag |= CREAD | CLOCAL;
    t.c_cflag |= p.dataBits == 7 ? CS7 : CS8;
    switch (p.parity) {
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
        case 3:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;  // mark
        default:
            break;
    }
    // Parity is checked; a byte that fails the check is dropped rather than passed on altered.
    if (p.parity != 0) t.c_iflag |= INPCK | IGNPAR;
    if (p.stopBits == 2) t.c_cflag |= CSTOPB;
    if (p.flow == 1) {
        t.c_iflag |= IXON | IXOFF;
        t.c_cc[VSTART] = 0x11;
        t.c_cc[VSTOP] = 0x13;
    } else if (p.flow == 2) {
        t.c_cflag |= CRTSCTS;
    }
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(fd_, TCSANOW, &t) != 0) {
        lastError_ = errno;
        return SerialStatus::Refused;
    }
    if (!SetTtySpeed(fd_, p.speed)) {
        lastError_ = errno;
        return SerialStatus::Refused;
    }
    // tcsetattr succeeds when any one change took; check that all of them did.
    LineParams got;
    if (!GetConfig(got)) return SerialStatus::Refused;
    // A pty carries no framing: it always reads back 8 data bits without parity.
    int bits = 0;
    bool pty = ::ioctl(fd_, TIOCMGET, &bits) != 0 && (errno == ENOTTY || errno == EINVAL);
    long diff = std::labs(static_cast<long>(got.speed) - p.speed);
    if (diff * 100 > static_cast<long>(p.speed) * 3 || got.stopBits != p.stopBits ||
        got.flow != p.flow || (!pty && (got.dataBits != p.dataBits || got.parity != p.parity)))
        return SerialStatus::Refused;
    return SerialStatus::Ok;
}

bool TermiosDevice::GetConfig(LineParams& p) {
    if (fd_ < 0) return false;
    struct termios t {};
    if (::tcgetattr(fd_, &t) != 0) {
        lastError_ = errno;
        return false;
    }
    p.speed = GetTtySpeed(fd_);
    p.dataBits = (t.c_cflag & CSIZE) == CS7 ? 7 : (t.c_cflag & CSIZE) == CS8 ? 8 : 0;
    if (!(t.c_cflag & PARENB))
        p.parity = 0;
    else if (t.c_cflag & CMSPAR)
        p.parity = (t.c_cflag & PARODD) ? 3 : -1;  // space parity is not offered
    else
        p.parity = (t.c_cflag & PARODD) ? 1 : 2;
    p.stopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    if (t.c_cflag & CRTSCTS)
        p.flow = 2;
    else if ((t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF))
        p.flow = 1;
    else
        p.flow = 0;
    return true;
}

int TermiosDevice::Read(uint8_t* buf, size_t max, int timeoutMs) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return -1;
    }
    if (max == 0) return 0;
    pollfd p{fd_, POLLIN, 0};
    int r = RetryPoll(&p, 1, timeoutMs);
    if (r < 0) {
        lastError_ = errno;
        return -1;
    }
    if (r == 0) return 0;
    ssize_t n;
    do {
        n = ::read(fd_, buf, max);
    } while (n < 0 && errno == EINTR);
    if (n > 0) return static_cast<int>(n);
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return 0;
    // End of file on a tty: the other side hung up (a pty master closed, a device removed).
    lastError_ = n < 0 ? errno : EIO;
    return -1;
}

long TermiosDevice::Write(const uint8_t* buf, size_t n, int timeoutMs) {
    if (fd_ < 0) {
        lastError_ = EBADF;
        return -1;
    }
    if (n == 0) return 0;
    ssize_t w = ::write(fd_, buf, n);
    if (w >= 0) return static_cast<long>(w);
    if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
        lastError_ = errno;
        return -1;
    }
    pollfd p{fd_, POLLOUT, 0};
    int r = RetryPoll(&p, 1, timeoutMs);
    if (r < 0) {
        lastError_ = errno;
        return -1;
    }
    if (r == 0) return 0;
    if (p.revents & (POLLERR | POLLNVAL)) {
        lastError_ = EIO;
        return -1;
    }
    w = ::write(fd_, buf, n);
    if (w >= 0) return static_cast<long>(w);
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return 0;
    lastError_ = errno;
    return -1;
}

WaitResult TermiosDevice::WaitEvent(int timeoutMs) {
    if (fd_ < 0) return WaitResult::Error;
    pollfd p[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
    int r = RetryPoll(p, 2, timeoutMs);
    if (r < 0) {
        lastError_ = errno;
        return WaitResult::Error;
    }
    if (p[1].revents & POLLIN) {
        uint64_t count;
        [[maybe_unused]] ssize_t ignored = ::read(wakeFd_, &count, sizeof count);
        return WaitResult::Woken;
    }
    if (r == 0) return WaitResult::Timeout;
    if (p[0].revents & POLLIN) return WaitResult::Data;
    return WaitResult::Error;  // hang-up or error without data
}

void TermiosDevice::Wake() {
    if (wakeFd_ < 0) return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t ignored = ::write(wakeFd_, &one, sizeof one);
}

SerialStatus TermiosDevice::GetModemLines(ModemLines& lines) {
    lines = {};
    if (fd_ < 0) return SerialStatus::Failed;
    int bits = 0;
    if (::ioctl(fd_, TIOCMGET, &bits) != 0) {
        lastError_ = errno;
        return (errno == ENOTTY || errno == EINVAL) ? SerialStatus::NoModemLines
                                                    : SerialStatus::Failed;
    }
    lines.cts = bits & TIOCM_CTS;
    lines.dsr = bits & TIOCM_DSR;
    lines.cd = bits & TIOCM_CAR;
    lines.ri = bits & TIOCM_RNG;
    return SerialStatus::Ok;
}

SerialStatus TermiosDevice::WaitModemChange() {
    if (fd_ < 0) return SerialStatus::Failed;
    if (ModemWaitSignal() == 0) return SerialStatus::NoModemLines;  // cannot be interrupted
    modemWaiter_ = static_cast<unsigned long>(::pthread_self());
    modemWaiting_ = true;
    int r = ::ioctl(fd_, TIOCMIWAIT, TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_RNG);
    int err = errno;
    modemWaiting_ = false;
    if (r == 0) return SerialStatus::Ok;
    lastError_ = err;
    return (err == ENOTTY || err == EINVAL || err == ENOSYS || err == EOPNOTSUPP)
               ? SerialStatus::NoModemLines
               : SerialStatus::Failed;
}

void TermiosDevice::InterruptModemWait() {
    int sig = ModemWaitSignal();
    if (sig != 0 && modemWaiting_) ::pthread_kill(static_cast<pthread_t>(modemWaiter_.load()), sig);
}

SerialStatus TermiosDevice::SetModemBit(int bit, bool on) {
    if (fd_ < 0) return SerialStatus::Failed;
    if (::ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) != 0) {
        lastError_ = errno;
        return (errno == ENOTTY || errno == EINVAL) ? SerialStatus::NoModemLines
                                                    : SerialStatus::Failed;
    }
    return SerialStatus::Ok;
}

SerialStatus TermiosDevice::SetDtr(bool on) {
    return SetModemBit(TIOCM_DTR, on);
}
SerialStatus TermiosDevice::SetRts(bool on) {
    return SetModemBit(TIOCM_RTS, on);
}

SerialStatus TermiosDevice::SetBreak(bool on) {
    if (fd_ < 0) return SerialStatus::Failed;
    if (::ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) != 0) {
        lastError_ = errno;
        return SerialStatus::Failed;
    }
    return SerialStatus::Ok;
}

void TermiosDevice::Purge() {
    if (fd_ >= 0) ::tcflush(fd_, TCIOFLUSH);
}

void TermiosDevice::SettleForClose(int drainMs) {
    if (fd_ < 0) return;
    // Flushing the output would also drop what a pty has taken but its other end not yet seen
    // (the last line a macro sent before the program ended): only a queue that does not empty
    // in time is dropped.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(drainMs);
    int queued = 0;
    while (::ioctl(fd_, TIOCOUTQ, &queued) == 0 && queued > 0 &&
           std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ::tcflush(fd_, queued > 0 ? TCIOFLUSH : TCIFLUSH);
}

}  // namespace marlo

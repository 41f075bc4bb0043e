#include "line/DeviceReturn.h"

#include <sys/inotify.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

namespace marlo {

namespace fs = std::filesystem;

namespace {

// A new entry, one renamed into the folder, changed permissions; the folder itself going away.
constexpr uint32_t kWatchMask =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool Exists(const fs::path& p) {
    std::error_code ec;
    return fs::exists(p, ec);
}

}  // namespace

DeviceReturnWatch::DeviceReturnWatch(IPlatform& platform, int timerId)
    : platform_(platform), timerId_(timerId) {}

DeviceReturnWatch::~DeviceReturnWatch() {
    Stop();
}

bool DeviceReturnWatch::Start(const fs::path& path, ReopenFn reopen) {
    Stop();
    fd_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (fd_ < 0) return false;
    path_ = path.is_absolute() ? path : fs::absolute(path);
    reopen_ = std::move(reopen);
    if (!Arm()) {
        Stop();
        return false;
    }
    platform_.WatchFd(fd_, [this] { OnChange(); });
    // The device may be back already.
    retriesLeft_ = kRetries;
    Check();
    return true;
}

void DeviceReturnWatch::Stop() {
    StopRetries();
    if (fd_ < 0) return;
    platform_.UnwatchFd(fd_);
    ::close(fd_);
    fd_ = -1;
    wd_ = -1;
    folder_.clear();
}

bool DeviceReturnWatch::Arm() {
    // A folder made between the look and the watch would go unseen: look again until the
    // folder watched is the deepest that exists.
    for (;;) {
        fs::path folder = path_.parent_path();
        while (!folder.empty() && !Exists(folder) && folder != folder.root_path())
            folder = folder.parent_path();
        if (folder == folder_ && wd_ >= 0) return true;
        if (wd_ >= 0) ::inotify_rm_watch(fd_, wd_);
        wd_ = ::inotify_add_watch(fd_, folder.c_str(), kWatchMask);
        folder_ = wd_ >= 0 ? folder : fs::path();
        if (wd_ < 0) return false;
    }
}

void DeviceReturnWatch::OnChange() {
    // What changed is looked at afresh below; of the events only the end of the watched folder
    // matters (removed or moved away: its watch is dead or looks at the wrong place).
    alignas(inotify_event) char buf[4096];
    bool folderGone = false;
    for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (ssize_t at = 0; at + static_cast<ssize_t>(sizeof(inotify_event)) <= n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(buf + at);
            if (e->wd == wd_ && (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)))
                folderGone = true;
            at += static_cast<ssize_t>(sizeof(inotify_event) + e->len);
        }
    }
    // A folder on the way to the path was created (by-id comes back with the first adapter) or
    // the watched one went away: the watch moves to the nearest folder that exists.
    if (folderGone) {
        ::inotify_rm_watch(fd_, wd_);
        wd_ = -1;
    }
    if (!Arm()) {
        Stop();
        return;
    }
    if (!retrying_) {
        retriesLeft_ = kRetries;
        Check();
    }
}

void DeviceReturnWatch::Check() {
    if (fd_ < 0) return;
    if (Exists(path_) && reopen_ && reopen_()) {
        Stop();
        return;
    }
    if (!Exists(path_) || retriesLeft_ <= 0) {
        StopRetries();
        return;
    }
    if (!retrying_) {
        retrying_ = true;
        platform_.StartTimer(timerId_, kRetryMs, [this] {
            --retriesLeft_;
            Check();
        });
    }
}

void DeviceReturnWatch::StopRetries() {
    if (retrying_) platform_.StopTimer(timerId_);
    retrying_ = false;
}

}  // namespace marlo

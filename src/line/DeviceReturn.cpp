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
    fs::path folder = path_.parent_path();
    while (!folder.empty() && !Exists(folder) && folder != folder.root_path())
        folder = folder.parent_path();
    if (folder == folder_ && wd_ >= 0) return true;
    if (wd_ >= 0) ::inotify_rm_watch(fd_, wd_);
    wd_ = ::inotify_add_watch(fd_, folder.c_str(), kWatchMask);
    folder_ = wd_ >= 0 ? folder : fs::path();
    return wd_ >= 0;
}

void DeviceReturnWatch::OnChange() {
    // What changed is looked at afresh below; the events themselves only wake the watch.
    alignas(inotify_event) char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd_, buf, sizeof buf);
        if (n > 0) continue;
        if (n < 0 && errno == EINTR) continue;
        break;
    }
    // A folder on the way to the path was created (by-id comes back with the first adapter) or
    // the watched one went away: the watch moves to the nearest folder that exists.
    wd_ = Exists(folder_) ? wd_ : -1;
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

// Waits for a serial device that went away (a USB adapter unplugged) to come back under its path,
// without polling: inotify tells of new entries in the folder of the path (or in the nearest folder
// that still exists, since udev removes /dev/serial/by-id with the last adapter), through the
// platform's watch of a descriptor. A node that is there but cannot be opened yet (udev sets its
// permissions a moment after creating it) is tried again a few times at a short interval.
#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "platform/Platform.h"

namespace marlo {

class DeviceReturnWatch {
  public:
    // Tries to open the device again; true when it is open (the watch ends).
    using ReopenFn = std::function<bool()>;

    // How often and how many times a node that exists is tried before the watch waits for the
    // next change in its folder again.
    static constexpr int kRetryMs = 100;
    static constexpr int kRetries = 30;

    // `timerId` is the platform timer of the retries.
    DeviceReturnWatch(IPlatform& platform, int timerId);
    ~DeviceReturnWatch();
    DeviceReturnWatch(const DeviceReturnWatch&) = delete;
    DeviceReturnWatch& operator=(const DeviceReturnWatch&) = delete;

    // Watches for `path` and calls `reopen` when it is there (at once when it already is). False
    // when inotify cannot be had (nothing is watched then).
    bool Start(const std::filesystem::path& path, ReopenFn reopen);
    void Stop();
    bool Active() const { return fd_ >= 0; }
    // The folder watched now (tests).
    const std::filesystem::path& Folder() const { return folder_; }

  private:
    // Moves the watch to the nearest folder of the path that exists.
    bool Arm();
    void OnChange();
    // Tries the reopen while the node exists; schedules the retries.
    void Check();
    void StopRetries();

    IPlatform& platform_;
    const int timerId_;
    int fd_ = -1;
    int wd_ = -1;
    std::filesystem::path path_;
    std::filesystem::path folder_;
    ReopenFn reopen_;
    int retriesLeft_ = 0;
    bool retrying_ = false;
};

}  // namespace marlo

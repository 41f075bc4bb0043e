// LZH archives: extraction and listing through liblhasa, for the extraction command, the automatic
// extraction after a download and `marlo-cli lzh`.
//
// The archive's members are trusted for nothing. A member lands inside the destination folder or
// is refused with a message naming it: an absolute name, a ".." component, a symbolic link whose
// target leads out of the destination, a device node or other special file. Nothing is written
// through a symbolic link that is already there: every folder on the way is opened without
// following links. Stored names in Shift-JIS are converted to UTF-8 for the file system (a trail
// byte 0x5C stays part of its character); names that are valid UTF-8 are kept. Each file is
// written under a temporary name and renamed into place only after its length and CRC checked out,
// so a damaged member never replaces a file that was there.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace marlo {

class IPlatform;

// The texts of the extraction.
inline constexpr const char* kLzhFailed = "解凍に失敗しました.";
inline constexpr const char* kLzhDeleteFailed = "ファイルの削除に失敗しました";

enum class LzhStatus {
    Ok,         // every member extracted (or listed)
    Failed,     // a member was refused or damaged, or the archive is broken
    Cancelled,  // stopped by the user; the members extracted so far stay
    FileError,  // the archive cannot be read or the destination cannot be made
};

struct LzhMember {
    std::string name;    // UTF-8, folders separated by '/', as stored
    std::string method;  // "-lh5-"
    uint64_t size = 0;   // extracted length
    uint64_t packed = 0;
    bool directory = false;
    std::string linkTarget;  // a symbolic link's target, else empty
};

struct LzhResult {
    LzhStatus status = LzhStatus::Ok;
    std::vector<std::string> problems;   // UTF-8, each naming the member or the archive
    std::vector<std::string> extracted;  // the members written, relative to the destination
    std::vector<LzhMember> members;      // what a listing found
};

// The progress of one run: `report` is called from the running thread with the archive's bytes
// read so far, its size and the member at hand; `cancel` is polled while data is written.
struct LzhProgress {
    std::function<void(uint64_t done, uint64_t total, const std::string& member)> report;
    const std::atomic<bool>* cancel = nullptr;
};

// The folder members go to: `destination`, or the archive's own folder when it is empty. A
// trailing separator changes nothing.
std::filesystem::path LzhDestination(const std::string& archive, const std::string& destination);

// Extracts every member of `archive` (UTF-8 path) into the destination folder, which is made when
// it does not exist. Existing files of the same names are replaced.
LzhResult ExtractLzh(const std::string& archive, const std::string& destination,
                     const LzhProgress& progress = {});
// The members of `archive`, nothing written.
LzhResult ListLzh(const std::string& archive);

// The library's version in the "Version %2d.%02d" form.
std::string LzhVersionText();

// The CRC of LZH members (CRC-16 with the reflected polynomial 0xA001, starting from 0).
uint16_t LzhCrc16(const uint8_t* data, size_t n, uint16_t crc = 0);

// What the extraction dialog asks for.
struct LzhRequest {
    std::string archive;      // UTF-8
    std::string destination;  // UTF-8; empty: the archive's folder
    bool deleteArchive = false;
};

// A request and what came of it.
struct LzhOutcome {
    LzhRequest request;
    LzhResult result;
};

// An extraction on a thread of its own, for a window that shows its progress and may cancel it.
class LzhJob {
  public:
    explicit LzhJob(LzhRequest request);
    ~LzhJob();  // cancels and waits
    LzhJob(const LzhJob&) = delete;
    LzhJob& operator=(const LzhJob&) = delete;

    bool Finished() const { return finished_.load(); }
    uint64_t BytesDone() const { return done_.load(); }
    uint64_t BytesTotal() const { return total_.load(); }
    std::string CurrentMember() const;
    void Cancel() { cancel_ = true; }
    // Once Finished().
    LzhOutcome Outcome() const;

  private:
    LzhRequest request_;
    std::atomic<bool> cancel_{false};
    std::atomic<bool> finished_{false};
    std::atomic<uint64_t> done_{0};
    std::atomic<uint64_t> total_{0};
    mutable std::mutex mutex_;
    std::string member_;
    LzhResult result_;
    std::jthread thread_;  // last: it stops before the rest goes away
};

// The end of the extraction command: the failure message with what went wrong, or, after a
// whole extraction with the delete flag on, the archive deleted (a message when that fails).
// A cancelled run says nothing and keeps the archive.
void ReportLzhOutcome(IPlatform& platform, const LzhOutcome& outcome);

}  // namespace marlo

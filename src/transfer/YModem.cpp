#include "transfer/YModem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "transfer/FileNames.h"
#include "transfer/ProgressText.h"

namespace marlo {

namespace {
constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18;
constexpr int kRetryMax = 10;
constexpr int kEotQuietMs = 250;
}  // namespace

YModem::YModem(bool gMode, TransferContext& ctx) : CTransEngine(ctx), gMode_(gMode) {}

YModem::~YModem() {
    CloseReceived();
}

void YModem::CloseReceived() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string YModem::Block0Data(const std::string& name, unsigned long size, unsigned long mtime,
                               int filesLeft, long bytesLeft) {
    char info[96];
    std::snprintf(info, sizeof info, "%lu %lo 0 0 %d %ld", size, mtime, filesLeft, bytesLeft);
    std::string data = name.substr(0, 1024 - std::strlen(info) - 2);
    data += '\0';
    data += info;
    data.resize(data.size() + 1 > 128 ? 1024 : 128, '\0');
    return data;
}

// ---- Receiving ----

bool YModem::Download() {
    int r = ReceiveBatch();
    if (r != TRANS_DONE) {
        if (Aborted()) NoteUserAbort();
        if (r != kCancelled) {
            SendCancelSequence();
            ctx_.line->Purge();
            PurgeInput();
        }
        CloseReceived();
        return false;
    }
    if (!receivedPath_.empty()) ctx_.files = {receivedPath_};
    return true;
}

int YModem::ReceiveBlock(int headerTimeoutMs, int& len) {
    const int t = Limit(1000);
    int c = RecvByte(headerTimeoutMs);
    for (;;) {
        if (c < 0) return ERR_TIMEOUT;
        if (c == SOH || c == STX) break;
        if (c == EOT) {
            if (PeekByte(Limit(kEotQuietMs)) < 0) return ERR_EOT;
        } else if (c == CAN) {
            c = RecvByte(t);
            if (c == CAN) return kCancelled;
            continue;
        }
        c = RecvByte(headerTimeoutMs);
    }
    len = c == SOH ? 128 : 1024;
    int number = RecvByte(t);
    if (number < 0) return ERR_TIMEOUT;
    int complement = RecvByte(t);
    if (complement < 0) return ERR_TIMEOUT;
    if (complement != (~number & 0xFF)) return ERR_PROTOCOL;
    for (int i = 0; i < len; ++i) {
        int d = RecvByte(t);
        if (d < 0) return ERR_TIMEOUT;
        block_[i] = static_cast<uint8_t>(d);
    }
    int hi = RecvByte(t);
    if (hi < 0) return ERR_TIMEOUT;
    int lo = RecvByte(t);
    if (lo < 0) return ERR_TIMEOUT;
    if (Crc16(block_, static_cast<size_t>(len)) != ((hi << 8) | lo)) return ERR_PROTOCOL;
    return number;
}

int YModem::ReceiveBatch() {
    ShowTitles(kTextDownloading, FormatTitlePercent(false, 0));
    const uint8_t request = gMode_ ? 'G' : 'C';
    int filesLeft = -1;  // as announced in the last block 0 (1: that file was the last)
    for (;;) {
        int attempts = 0;
        int len = 0;
        for (;;) {
            if (Aborted()) return ERR_PROTOCOL;
            SendByte(request);
            Flush();
            std::memset(block_, 0, sizeof block_);
            int r = ReceiveBlock(Limit(10000), len);
            if (r == 0) {
                if (!gMode_) SendByte(ACK);
                Flush();
                break;
            }
            // A sender that announced its last file may hang up without the closing block 0;
            // every file it sent is complete, so the batch is.
            if (r == ERR_TIMEOUT && filesLeft == 1 && !ctx_.received.empty()) return TRANS_DONE;
            if (r == ERR_TIMEOUT || r == kCancelled) return r;
            if (r == ERR_EOT) {
                SendByte(ACK);
                RecvByte(Limit(1000));
            } else if (r == ERR_PROTOCOL) {
                DrainInput(Limit(1000), Limit(10000));
            }
            if (++attempts >= kRetryMax) return ERR_RETRYMAX;
        }
        if (block_[0] == 0) return TRANS_DONE;  // an empty name ends the batch

        // Block 0: name, NUL, then size (decimal) and modification time (octal).
        block_[len] = 0;
        std::string name(reinterpret_cast<const char*>(block_));
        char info[1028] = {0};
        if (name.size() + 1 < static_cast<size_t>(len))
            std::memcpy(info, block_ + name.size() + 1, static_cast<size_t>(len) - name.size() - 1);
        char* end = info;
        long size = std::strtol(info, &end, 10);
        if (size < 0) size = 0;
        modTime_ = std::strtol(end, &end, 8);
        if (modTime_ < 0) modTime_ = 0;
        // Then mode and serial number (octal), and the number of files left with this one.
        std::strtol(end, &end, 8);
        std::strtol(end, &end, 8);
        char* after = end;
        long left = std::strtol(end, &after, 10);
        filesLeft = after != end && left > 0 ? static_cast<int>(left) : -1;

        if (int r = OpenReceived(name, size); r != 0) return r;
        if (int r = ReceiveFile(size); r != TRANS_DONE) return r;
    }
}

int YModem::OpenReceived(const std::string& name, long size) {
    const std::optional<std::string> file = ReceivedFileName(name);
    ShowField(TransField::File, file ? *file : FileNameToUtf8(name));
    ShowField(TransField::Size, FormatBytes(size));
    if (!file) {
        ShowMessage("ファイルのオープンに失敗しました。", MsgIcon::Stop);
        return ERR_PROTOCOL;
    }
    // The sender's name never leaves the download folder, whatever folders it names.
    const std::filesystem::path path = ctx_.downloadDir / *file;
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(path, ec)) &&
        AskYesNo("同名のﾌｧｲﾙが存在しますが、中止しますか？", false))
        return ERR_PROTOCOL;
    // O_NOFOLLOW: a symlink planted under the received name is not followed out of the folder.
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        ShowFileMessage("ファイルのオープンに失敗しました。", path, errno);
        return ERR_PROTOCOL;
    }
    receivedPath_ = path;
    return 0;
}

int YModem::ReceiveFile(long size) {
    int errors = 0;
    int last = 0;
    long bytes = 0;
    bool dataArrived = false;
    uint8_t request = gMode_ ? 'G' : 'C';
    for (;;) {
        ShowField(TransField::Retries, std::to_string(errors));
        if (Aborted()) return ERR_PROTOCOL;
        if (request) {
            SendByte(request);
            Flush();
        }
        int len = 0;
        int r = ReceiveBlock(Limit(10000), len);
        if (r == ERR_PROTOCOL || r == ERR_TIMEOUT) {
            if (gMode_ && (r == ERR_PROTOCOL || dataArrived)) return r;
            if (r == ERR_PROTOCOL) DrainInput(Limit(1000), Limit(10000));
            ++errors;
            if (dataArrived) request = NAK;
            if (errors > kRetryMax) return ERR_RETRYMAX;
            continue;
        }
        if (r == kCancelled) return r;
        if (r == ERR_EOT) {
            if (size > 0) ReportProgress(bytes, size, false, "%ldﾊﾞｲﾄ");
            bool ok = true;
            if (modTime_ > 0) {
                timespec times[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(modTime_), 0}};
                ::futimens(fd_, times);
            }
            if (::close(fd_) != 0) ok = false;
            fd_ = -1;
            // A file shorter than its announced size did not cross completely.
            if (!ok || (size > 0 && bytes < size)) {
                if (ok) ShowMessage("ファイルが途中で終わりました。", MsgIcon::Stop);
                return ERR_PROTOCOL;
            }
            SendByte(ACK);
            Flush();
            ctx_.received.push_back(receivedPath_);
            return TRANS_DONE;
        }
        errors = 0;
        request = gMode_ ? 0 : ACK;
        dataArrived = true;
        if (r == ((last + 1) & 0xFF)) {
            last = r;
            long w = len;
            if (size > 0 && bytes + len > size) w = size - bytes;
            if (w > 0 && !WriteFull(fd_, block_, static_cast<size_t>(w))) {
                ShowFileMessage("ファイルの書き込みに失敗しました。", receivedPath_, errno);
                return ERR_PROTOCOL;
            }
            bytes += w;
        } else if (r != last) {
            return ERR_BLOCKNUM;
        }
        if (size > 0) ReportProgress(bytes, size, false, "%ldﾊﾞｲﾄ");
    }
}

// ---- Sending ----

bool YModem::Upload() {
    int r = SendBatch();
    if (r != TRANS_DONE && Aborted()) {
        NoteUserAbort();
        SendCancelSequence();
    }
    return r == TRANS_DONE;
}

bool YModem::CancelWaiting() {
    int run = 0;
    while (PollInput()) {
        int c = RecvByte(0);
        run = c == CAN ? run + 1 : 0;
        if (run >= 2) return true;
    }
    return run == 1 && RecvByte(Limit(1000)) == CAN;
}

int YModem::SendYBlock(int number, int len, int answerMs) {
    if (gMode_ && CancelWaiting()) return kCancelled;
    if (!gMode_ && DiscardStale()) return kCancelled;
    uint16_t crc = Crc16(block_, static_cast<size_t>(len));
    const uint8_t head[3] = {static_cast<uint8_t>(len == 128 ? SOH : STX),
                             static_cast<uint8_t>(number & 0xFF),
                             static_cast<uint8_t>(~number & 0xFF)};
    const uint8_t tail[2] = {static_cast<uint8_t>(crc >> 8), static_cast<uint8_t>(crc & 0xFF)};
    for (int sends = 1;; ++sends) {
        SendBlock(head, 3);
        SendBlock(block_, static_cast<size_t>(len));
        SendBlock(tail, 2);
        if (gMode_) return ACK;
        int cans = 0;
        int c;
        for (;;) {
            c = RecvByte(answerMs);
            if (c < 0) return ERR_TIMEOUT;
            if (c == ACK) return ACK;
            if (c == NAK) break;
            cans = c == CAN ? cans + 1 : 0;
            if (cans >= 2) return kCancelled;
        }
        ShowField(TransField::Retries, std::to_string(sends));
        if (sends >= kRetryMax || Aborted()) return ERR_RETRYMAX;
    }
}

int YModem::SendBatch() {
    ShowTitles(kTextUploading, FormatTitlePercent(true, 0));
    // The receiver's first request decides between YMODEM and YMODEM-G.
    for (;;) {
        int c = RecvByte(Limit(30000));
        if (c < 0) return ERR_TIMEOUT;
        if (c == 'C' || c == 'G') {
            gMode_ = c == 'G';
            break;
        }
    }
    std::vector<long> sizes;
    long total = 0;
    for (auto& f : ctx_.files) {
        f = WithDefaultDir(f, true);
        std::error_code ec;
        auto s = std::filesystem::file_size(f, ec);
        sizes.push_back(ec ? 0 : static_cast<long>(s));
        total += sizes.back();
    }
    for (size_t i = 0; i < ctx_.files.size(); ++i) {
        if (i > 0 && WaitForByte(gMode_ ? 'G' : 'C', Limit(60000)) < 0) return ERR_TIMEOUT;
        int r = SendFile(ctx_.files[i], static_cast<int>(ctx_.files.size() - i), total);
        if (r != TRANS_DONE) return r;
        total -= sizes[i];
    }
    // The end of the batch: an empty block 0. Every file has been acknowledged by now, so a
    // receiver that hangs up before its last ACK reaches us does not undo the transfer.
    if (WaitForByte(gMode_ ? 'G' : 'C', Limit(60000)) < 0) return ERR_TIMEOUT;
    std::memset(block_, 0, 128);
    SendYBlock(0, 128, Limit(10000));
    Flush();
    return TRANS_DONE;
}

int YModem::SendFile(const std::filesystem::path& path, int filesLeft, long bytesLeft) {
    struct stat st {};
    int fd = OpenForSending(path, st);
    if (fd < 0) {
        SendCancelSequence();
        return ERR_PROTOCOL;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    const long size = static_cast<long>(st.st_size);
    const std::string name = FileNameInCode(SentFileName(path.string()), ctx_.fileNameCode);
    std::string b0 = Block0Data(name, static_cast<unsigned long>(size),
                                static_cast<unsigned long>(st.st_mtime), filesLeft, bytesLeft);
    ShowField(TransField::File, FileNameToUtf8(path.filename().string()));
    ShowField(TransField::Size, FormatBytes(size));
    std::memcpy(block_, b0.data(), b0.size());
    int r = SendYBlock(0, static_cast<int>(b0.size()), Limit(60000));
    if (r != ACK) return r;
    if (WaitForByte(gMode_ ? 'G' : 'C', Limit(60000)) < 0) return ERR_TIMEOUT;

    int len = 1024;
    int number = 1;
    long bytes = 0;
    for (;;) {
        if (Aborted()) return ERR_PROTOCOL;
        if (len == 1024 && bytes + 896 >= size) len = 128;
        long got = ReadFull(fd, block_, static_cast<size_t>(len));
        if (got < 0) {
            ShowFileMessage("ファイルの読み込みに失敗しました.", path, errno);
            SendCancelSequence();
            return ERR_PROTOCOL;
        }
        if (got == 0) break;
        if (got < len) std::memset(block_ + got, 0x1A, static_cast<size_t>(len - got));
        r = SendYBlock(number, len, Limit(60000));
        if (r != ACK) return r;
        bytes += got;
        ++number;
        ReportProgress(bytes, size, true, "%ldﾊﾞｲﾄ");
    }
    // End of file: EOT until the receiver acknowledges it.
    for (int sends = 1;; ++sends) {
        SendByte(EOT);
        Flush();
        int cans = 0;
        int c;
        for (;;) {
            c = RecvByte(Limit(60000));
            if (c < 0) return ERR_TIMEOUT;
            if (c == ACK) return TRANS_DONE;
            if (c == NAK) break;
            cans = c == CAN ? cans + 1 : 0;
            if (cans >= 2) return kCancelled;
        }
        if (sends >= kRetryMax) return ERR_RETRYMAX;
    }
}

}  // namespace marlo

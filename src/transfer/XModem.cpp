#include "transfer/XModem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "transfer/FileNames.h"
#include "transfer/ProgressText.h"

namespace marlo {

namespace {
constexpr int kReadLimitMs = 10000;
constexpr int kRetryMax = 10;
// A real EOT is followed by silence (the sender waits for its ACK); an EOT byte inside a stream
// that lost its framing is followed by more data at once.
constexpr int kEotQuietMs = 250;
}  // namespace

CXmodem::CXmodem(int mode, TransferContext& ctx) : CTransEngine(ctx), mode_(mode) {}

bool CXmodem::Download() {
    if (ctx_.files.empty()) {
        ShowMessage("ファイルの作成に失敗しました.", MsgIcon::Stop);
        return false;
    }
    auto path = WithDefaultDir(ctx_.files.front(), false);
    ctx_.files.front() = path;
    int r = ERR_PROTOCOL;
    if (mode_ != 2) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        if (fd < 0) {
            ShowFileMessage("ファイルの作成に失敗しました.", path, errno);
            return false;
        }
        ShowField(TransField::File, FileNameToUtf8(path.filename().string()));
        r = DoDownload(fd);
        if (::close(fd) != 0 && r == TRANS_DONE) r = ERR_PROTOCOL;
    }
    if (r != TRANS_DONE) {
        if (Aborted()) NoteUserAbort();
        SendCancelSequence();
        return false;
    }
    ctx_.received.push_back(path);
    return true;
}

bool CXmodem::Upload() {
    if (ctx_.files.empty()) {
        ShowMessage("ファイルのオープンに失敗しました.", MsgIcon::Stop);
        return false;
    }
    auto path = WithDefaultDir(ctx_.files.front(), true);
    ctx_.files.front() = path;
    struct stat st {};
    int fd = OpenForSending(path, st);
    if (fd < 0) return false;
    const long size = static_cast<long>(st.st_size);
    ShowField(TransField::Size, FormatBytes(size));
    ShowField(TransField::File, FileNameToUtf8(path.filename().string()));
    int r = DoUpload(fd, size);
    ::close(fd);
    if (r != TRANS_DONE) {
        if (Aborted()) NoteUserAbort();
        SendCancelSequence();
        return false;
    }
    return true;
}

int CXmodem::DoDownload(int fd) {
    if (mode_ == 2) return ERR_PROTOCOL;
    uint8_t answer = mode_ == 0 ? NAK : CRCREQ;
    ShowTitles(kTextDownloading, "");
    ShowField(TransField::Size, "???");
    ShowField(TransField::Remaining, "???");
    int errors = 0;
    int last = 0;
    long bytes = 0;
    for (;;) {
        ShowField(TransField::Retries, std::to_string(errors));
        if (Aborted()) return ERR_PROTOCOL;
        SendByte(answer);
        Flush();
        int len = 0;
        int r = ReceiveBlock(Limit(kReadLimitMs), len);
        if (r == ERR_CANCEL) return TRANS_CANCELLED;
        if (r == ERR_EOT) {
            SendByte(ACK);
            Flush();
            return TRANS_DONE;
        }
        if (r == ERR_PROTOCOL || r == ERR_TIMEOUT) {
            // What is left of a broken block must not be taken for the next header.
            if (r == ERR_PROTOCOL) DrainInput(Limit(1000), Limit(kReadLimitMs));
            ++errors;
            answer = NAK;
            ShowField(TransField::Retries, std::to_string(errors));
            if (errors > kRetryMax) return ERR_RETRYMAX;
            continue;
        }
        errors = 0;
        answer = ACK;
        if (r == ((last + 1) & 0xFF)) {
            last = r;
            if (!WriteFull(fd, data_, static_cast<size_t>(len))) {
                ShowFileMessage("ファイルの書き込みに失敗しました.", ctx_.files.front(), errno);
                return ERR_PROTOCOL;
            }
            bytes += len;
            ReportProgress(bytes, 0, false, "%ld ﾊﾞｲﾄ");
        } else if (r != last) {
            return ERR_BLOCKNUM;
        }
    }
}

int CXmodem::ReceiveBlock(int timeoutMs, int& len) {
    int c = RecvByte(timeoutMs);
    for (;;) {
        if (c < 0) return ERR_TIMEOUT;
        if (c == SOH || c == STX) break;
        if (c == EOT) {
            if (PeekByte(Limit(kEotQuietMs)) < 0) return ERR_EOT;
        } else if (c == CAN) {
            c = RecvByte(timeoutMs);
            if (c == CAN) return ERR_CANCEL;
            continue;  // examine that byte as a header
        }
        c = RecvByte(timeoutMs);
    }
    len = c == SOH ? 128 : 1024;
    int number = RecvByte(timeoutMs);
    if (number < 0) return ERR_PROTOCOL;
    int complement = RecvByte(timeoutMs);
    if (complement < 0 || complement != (~number & 0xFF)) return ERR_PROTOCOL;
    for (int i = 0; i < len; ++i) {
        int d = RecvByte(timeoutMs);
        if (d < 0) return ERR_TIMEOUT;
        data_[i] = static_cast<uint8_t>(d);
    }
    if (mode_ == 0) {
        uint8_t sum = 0;
        for (int i = 0; i < len; ++i) sum = static_cast<uint8_t>(sum + data_[i]);
        int check = RecvByte(timeoutMs);
        if (check < 0) return ERR_TIMEOUT;
        if (check != sum) return ERR_PROTOCOL;
    } else {
        int hi = RecvByte(timeoutMs);
        if (hi < 0) return ERR_TIMEOUT;
        int lo = RecvByte(timeoutMs);
        if (lo < 0) return ERR_TIMEOUT;
        if (Crc16(data_, static_cast<size_t>(len)) != ((hi << 8) | lo)) return ERR_PROTOCOL;
    }
    return number;
}

int CXmodem::DoUpload(int fd, long size) {
    int c = RecvByte(Limit(kReadLimitMs));
    if (c < 0) return ERR_TIMEOUT;
    if (c == NAK)
        checksum_ = true;
    else if (c == CRCREQ)
        checksum_ = false;
    else
        return ERR_PROTOCOL;
    ShowTitles(kTextUploading, "");
    const int blockLen = mode_ == 2 ? 1024 : 128;
    int number = 1;
    long bytes = 0;
    for (;;) {
        if (Aborted()) return ERR_PROTOCOL;
        long got = ReadFull(fd, data_, static_cast<size_t>(blockLen));
        if (got < 0) {
            ShowFileMessage("ファイルの読み込みに失敗しました.", ctx_.files.front(), errno);
            return ERR_PROTOCOL;
        }
        if (got == 0) break;
        bool lastBlock = got < blockLen;
        if (lastBlock) std::memset(data_ + got, PAD, static_cast<size_t>(blockLen - got));
        // Answers still queued (repeated requests, a doubled ACK) belong to no block of ours.
        if (DiscardStale()) return ERR_CANCEL;
        int r;
        int sends = 0;
        for (;;) {
            r = SendDataBlock(number, blockLen, Limit(kReadLimitMs));
            if (r != NAK) break;
            if (Aborted()) return ERR_PROTOCOL;
            if (++sends >= kRetryMax) return ERR_RETRYMAX;
            ShowField(TransField::Retries, std::to_string(sends));
        }
        if (r != ACK) return r;
        ShowField(TransField::Retries, "0");
        bytes += got;
        ReportProgress(bytes, size, true, "%ld ﾊﾞｲﾄ");
        ++number;
        if (lastBlock) break;
    }
    SendByte(EOT);
    Flush();
    for (;;) {
        int a = RecvByte(Limit(kReadLimitMs));
        if (a == ACK) return TRANS_DONE;
        if (a < 0) return ERR_TIMEOUT;
    }
}

int CXmodem::SendDataBlock(int number, int len, int timeoutMs) {
    uint8_t head[3] = {static_cast<uint8_t>(len == 128 ? SOH : STX),
                       static_cast<uint8_t>(number & 0xFF), static_cast<uint8_t>(~number & 0xFF)};
    SendBlock(head, 3);
    SendBlock(data_, static_cast<size_t>(len));
    if (checksum_) {
        uint8_t sum = 0;
        for (int i = 0; i < len; ++i) sum = static_cast<uint8_t>(sum + data_[i]);
        SendByte(sum);
    } else {
        uint16_t crc = Crc16(data_, static_cast<size_t>(len));
        SendByte(static_cast<uint8_t>(crc >> 8));
        SendByte(static_cast<uint8_t>(crc & 0xFF));
    }
    Flush();
    int cans = 0;
    for (;;) {
        int c = RecvByte(timeoutMs);
        if (c < 0) return ERR_TIMEOUT;
        if (c == ACK || c == NAK) return c;
        cans = c == CAN ? cans + 1 : 0;
        if (cans >= 2) return ERR_CANCEL;
    }
}

}  // namespace marlo

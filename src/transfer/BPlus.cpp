#include "transfer/BPlus.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <thread>

#include "transfer/FileNames.h"
#include "transfer/ProgressText.h"

namespace marlo {

namespace fs = std::filesystem;

namespace {

constexpr int kByteMs = 10000;
constexpr int kErrorMax = 10;
constexpr int kResendMax = 10;

const char* const kNotImplemented = "Not impremented";
const char* const kAskOverwrite = "同じﾌｧｲﾙ名が存在します。上書きしますか？";
const char* const kAskResume = "同じﾌｧｲﾙ名が存在します。ﾘｼﾞｭｰﾑしますか？";
const char* const kAskOverwriteToo = "上書きしますか？";
const char* const kBackupFailed = "ﾌｧｲﾙのﾊﾞｯｸｱｯﾌﾟに失敗しました。";

// Results of reading a packet's body.
enum : int { kBodyOk = 0, kBadPacket = 1, kEnqSeen = 2 };

// The characters quoted whatever the host asks: ETX, ENQ, DLE, XON, XOFF, NAK and NUL.
constexpr uint8_t kAlwaysQuoted[] = {0x00, 0x03, 0x05, 0x10, 0x11, 0x13, 0x15};

// The running sum keeps its ninth bit (it may reach 0x100); the check byte is its low byte.
unsigned Checksum(unsigned sum, uint8_t c) {
    const unsigned s = 2 * sum + c;
    return (s & 0xFF) + (s >> 8);
}

// The place of `c` in the 8-byte quoting mask (0x00..0x1F, then 0x80..0x9F): byte k / 8, bit
// 0x80 >> k % 8. -1 for a character the mask does not cover.
int MaskIndex(uint8_t c) {
    if (c < 0x20) return c;
    if (c >= 0x80 && c < 0xA0) return c - 0x80 + 0x20;
    return -1;
}
uint8_t MaskBit(int k) {
    return static_cast<uint8_t>(0x80 >> (k % 8));
}

uint8_t Dequote(uint8_t x) {
    return x < 0x60 ? static_cast<uint8_t>(x & 0x1F) : static_cast<uint8_t>((x + 0x80) & 0x9F);
}

std::string Format(const char* fmt, long long a) {
    char text[64];
    std::snprintf(text, sizeof text, fmt, a);
    return text;
}

// The upload folder's regular file a host's name stands for, or nullopt: no absolute name, no
// drive, nothing that resolves (through folders or symbolic links) outside the folder.
std::optional<fs::path> UploadPath(const fs::path& folder, const std::string& wire) {
    std::string name = FileNameToUtf8(wire);
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name.empty() || name[0] == '/' || (name.size() >= 2 && name[1] == ':')) return std::nullopt;
    std::error_code ec;
    const fs::path dir = fs::canonical(folder.empty() ? fs::path(".") : folder, ec);
    if (ec) return std::nullopt;
    const fs::path p = fs::canonical(dir / name, ec);
    if (ec) return std::nullopt;
    const fs::path rel = p.lexically_relative(dir);
    if (rel.empty() || *rel.begin() == ".." || rel == ".") return std::nullopt;
    if (!fs::is_regular_file(p, ec)) return std::nullopt;
    return p;
}

}  // namespace

BPlus::BPlus(TransferContext& ctx) : CTransEngine(ctx) {
    std::memset(mask_, 0xFF, sizeof mask_);
}

BPlus::~BPlus() {
    if (rfd_ >= 0) ::close(rfd_);
    if (sfd_ >= 0) ::close(sfd_);
}

bool BPlus::Run() {
    // The answer to the host's ENQ.
    const uint8_t hello[] = {DLE, '+', '+', DLE, '0'};
    SendBlock(hello, sizeof hello);
    Flush();
    for (;;) {
        int t = Receive(-1);
        if (t == '+') {
            if (!Negotiate()) break;
            continue;
        }
        if (t == 'T') {
            Step s = Act(t);
            while (s == Step::GoOn) {
                int next = Receive(-1);
                if (next == kUserAbort) {
                    UserAbort();
                    break;
                }
                if (next < 0) {
                    errorFlag_ = true;
                    break;
                }
                s = Act(next);
            }
            break;
        }
        if (t == kUserAbort) UserAbort();
        if (t < 0) break;
        if (!SendFailure('N', kNotImplemented)) break;
    }
    if (sfd_ >= 0) {
        ::close(sfd_);
        sfd_ = -1;
    }
    if (rfd_ >= 0) {
        // A file the host never closed did not cross completely.
        ::close(rfd_);
        rfd_ = -1;
        transferDone_ = false;
    }
    if (!path_.empty()) ctx_.files = {path_};
    // Whatever the host saw, a session in which no file crossed is no success.
    return !errorFlag_ && transferDone_;
}

// ---- Packets ----

bool BPlus::CountError() {
    ++errors_;
    ShowField(TransField::Retries, std::to_string(errors_));
    if (errors_ < kErrorMax) return true;
    errorFlag_ = true;
    return false;
}

void BPlus::SendAck() {
    SendByte(DLE);
    SendByte(static_cast<uint8_t>('0' + lastRecv_));
    Flush();
}

void BPlus::SendEnqTwice() {
    SendByte(ENQ);
    SendByte(ENQ);
    Flush();
}

bool BPlus::Resend() {
    if (outstanding_.empty()) return true;
    if (++resends_ > kResendMax) {
        errorFlag_ = true;
        return false;
    }
    ShowField(TransField::Retries, std::to_string(resends_));
    for (const Sent& s : outstanding_) SendBlock(s.wire.data(), s.wire.size());
    Flush();
    return true;
}

void BPlus::OnAckDigit(uint8_t digit) {
    // The host acknowledges in order: a digit also covers the packets sent before that one.
    auto it = std::find_if(outstanding_.begin(), outstanding_.end(),
                           [&](const Sent& s) { return s.seq == digit; });
    if (it != outstanding_.end()) {
        outstanding_.erase(outstanding_.begin(), it + 1);
        resends_ = 0;
        errors_ = 0;
        enqSent_ = false;
        return;
    }
    // The answer to our ENQ names a packet before the oldest outstanding one: that one was lost.
    if (enqSent_ && !outstanding_.empty()) {
        enqSent_ = false;
        Resend();
    }
}

int BPlus::Receive(int ackedDownTo) {
    const bool forAcks = ackedDownTo >= 0;
    errors_ = 0;
    for (;;) {
        if (forAcks && outstanding_.size() <= static_cast<size_t>(ackedDownTo)) return kAcked;
        if (!forAcks && !pending_.empty()) {
            const Held& h = pending_.front();
            rxSeq_ = h.seq;
            rxType_ = h.type;
            rxLen_ = h.data.size();
            std::copy(h.data.begin(), h.data.end(), rxData_);
            pending_.pop_front();
            return rxType_;
        }
        if (errorFlag_) return ERR_RETRYMAX;
        int c = RecvByte(Limit(kByteMs));
        if (c < 0) {
            if (Aborted()) return ctx_.abort.load() ? int{kUserAbort} : int{ERR_PROTOCOL};
            if (LineFailed() || !ctx_.line->IsOpen()) return ERR_TIMEOUT;
            // Nothing for a while: ask the host where it stands.
            if (!CountError()) return ERR_RETRYMAX;
            SendEnqTwice();
            enqSent_ = true;
            continue;
        }
        if (c == NAK) {
            if (!outstanding_.empty()) {
                if (!Resend()) return ERR_RETRYMAX;
            } else {
                SendEnqTwice();
            }
            continue;
        }
        if (c == ENQ) {
            SendAck();
            continue;
        }
        if (c == ETX) {
            if (!CountError()) return ERR_RETRYMAX;
            SendByte(NAK);
            Flush();
            continue;
        }
        if (c != DLE) continue;
        c = RecvByte(Limit(kByteMs));
        if (c < 0) continue;  // the next pass sees the silence again
        if (c >= '0' && c <= '9') {
            OnAckDigit(static_cast<uint8_t>(c));
            continue;
        }
        if (c != 'B') continue;
        int body = ReadPacketBody();
        if (body == ERR_TIMEOUT) {
            errorFlag_ = true;
            return ERR_TIMEOUT;
        }
        if (body == kEnqSeen) {
            SendAck();
            continue;
        }
        const int seq = rxSeq_ - '0';
        // How far behind the last accepted packet: 0 a repeat, 1 or 2 an older copy that a resend
        // of the whole window brought again.
        const int behind = (lastRecv_ - seq + 10) % 10;
        if (body == kBadPacket || seq < 0 || seq > 9 || (behind > 2 && behind != 9)) {
            if (!CountError()) return ERR_RETRYMAX;
            SendByte(NAK);
            Flush();
            continue;
        }
        if (behind <= 2) {
            // Already taken: its acknowledgement was lost. Acknowledge again, do not act twice.
            SendAck();
            continue;
        }
        // More than a host's window already waits: this one is not taken, the host sends it again.
        if (forAcks && pending_.size() >= kMaxHeld) continue;
        lastRecv_ = seq;
        errors_ = 0;
        ShowField(TransField::Retries, "0");
        if (rxType_ == 'F') {
            const size_t n = std::min<size_t>(rxLen_ > 0 ? rxLen_ - 1 : 0, 80);
            hostMessage_.assign(reinterpret_cast<const char*>(rxData_) + (rxLen_ > 0), n);
            SendAck();
            errorFlag_ = true;
            if (!hostMessage_.empty()) ShowField(TransField::Message, FileNameToUtf8(hostMessage_));
            return kHostFailed;
        }
        if (!forAcks) return rxType_;
        // Acted on, in order, once our packets are acknowledged. The host has gone on, so our
        // acknowledgement may have been lost on the way: ask it where it stands.
        pending_.push_back(Held{rxSeq_, rxType_, std::vector<uint8_t>(rxData_, rxData_ + rxLen_)});
        if (!enqSent_) {
            SendEnqTwice();
            enqSent_ = true;
        }
    }
}

int BPlus::ReadPacketBody() {
    const int limit = Limit(kByteMs);
    int c = RecvByte(limit);
    if (c < 0) return ERR_TIMEOUT;
    if (c == ENQ) return kEnqSeen;
    rxSeq_ = static_cast<uint8_t>(c);
    c = RecvByte(limit);
    if (c < 0) return ERR_TIMEOUT;
    if (c == ENQ) return kEnqSeen;
    rxType_ = static_cast<uint8_t>(c);
    unsigned sum = Checksum(Checksum(0, rxSeq_), rxType_);
    uint16_t crc = Crc16(&rxSeq_, 1, 0xFFFF);
    crc = Crc16(&rxType_, 1, crc);
    rxLen_ = 0;
    for (;;) {
        c = RecvByte(limit);
        if (c < 0) return ERR_TIMEOUT;
        if (c == ENQ) return kEnqSeen;
        if (c == ETX) break;
        if (c == DLE) {
            c = RecvByte(limit);
            if (c < 0) return ERR_TIMEOUT;
            c = Dequote(static_cast<uint8_t>(c));
        }
        // A data field longer than any packet may carry is damage, never an overrun.
        if (rxLen_ >= kMaxData) return kBadPacket;
        const uint8_t b = static_cast<uint8_t>(c);
        rxData_[rxLen_++] = b;
        sum = Checksum(sum, b);
        crc = Crc16(&b, 1, crc);
    }
    const uint8_t etx = ETX;
    sum = Checksum(sum, etx);
    crc = Crc16(&etx, 1, crc);
    for (int i = 0; i < (crc_ ? 2 : 1); ++i) {
        c = RecvByte(limit);
        if (c < 0) return ERR_TIMEOUT;
        if (c == DLE) {
            c = RecvByte(limit);
            if (c < 0) return ERR_TIMEOUT;
            c = Dequote(static_cast<uint8_t>(c));
        }
        const uint8_t b = static_cast<uint8_t>(c);
        if (!crc_) return b == (sum & 0xFF) ? kBodyOk : kBadPacket;
        crc = Crc16(&b, 1, crc);
    }
    return crc == 0 ? kBodyOk : kBadPacket;
}

void BPlus::PutQuoted(uint8_t c, std::vector<uint8_t>& out) const {
    const int k = MaskIndex(c);
    if (k >= 0 && (mask_[k / 8] & MaskBit(k))) {
        out.push_back(DLE);
        out.push_back(static_cast<uint8_t>(c < 0x20 ? c + 0x40 : c - 0x20));
    } else {
        out.push_back(c);
    }
}

bool BPlus::SendPacket(uint8_t type, const uint8_t* data, size_t n, bool answered) {
    if (outstanding_.size() > sendWindow_) {
        int r = Receive(static_cast<int>(sendWindow_));
        if (r == kUserAbort) UserAbort();
        if (r != kAcked) return errorFlag_ = true, false;
    }
    seq_ = (seq_ + 1) % 10;
    Sent s{static_cast<uint8_t>('0' + seq_), {}};
    std::vector<uint8_t>& w = s.wire;
    w.reserve(n * 2 + 8);
    w.push_back(DLE);
    w.push_back('B');
    w.push_back(s.seq);
    w.push_back(type);
    unsigned sum = Checksum(Checksum(0, s.seq), type);
    uint16_t crc = Crc16(&s.seq, 1, 0xFFFF);
    crc = Crc16(&type, 1, crc);
    for (size_t i = 0; i < n; ++i) {
        PutQuoted(data[i], w);
        sum = Checksum(sum, data[i]);
    }
    crc = Crc16(data, n, crc);
    w.push_back(ETX);
    const uint8_t etx = ETX;
    sum = Checksum(sum, etx);
    crc = Crc16(&etx, 1, crc);
    if (crc_) {
        PutQuoted(static_cast<uint8_t>(crc >> 8), w);
        PutQuoted(static_cast<uint8_t>(crc), w);
    } else {
        PutQuoted(static_cast<uint8_t>(sum), w);
    }
    SendBlock(w.data(), w.size());
    Flush();
    outstanding_.push_back(std::move(s));
    if (!answered) return true;
    int r = Receive(0);
    if (r == kUserAbort) UserAbort();
    if (r != kAcked) errorFlag_ = true;
    return r == kAcked;
}

bool BPlus::SendText(uint8_t type, const std::string& text, bool answered) {
    return SendPacket(type, reinterpret_cast<const uint8_t*>(text.data()), text.size(), answered);
}

bool BPlus::SendFailure(char code, const char* text) {
    return SendText('F', std::string(1, code) + text, true);
}

// ---- The session ----

bool BPlus::Negotiate() {
    uint8_t d[kParamCount] = {};
    std::memcpy(d, rxData_, std::min<size_t>(rxLen_, kParamCount));
    uint8_t a[kParamCount] = {};
    a[0] = std::min<uint8_t>(d[1], 2);
    a[1] = std::min<uint8_t>(d[0], 2);
    // A host that names no block size keeps the 512 bytes of the start.
    a[2] = d[2] == 0 ? 4 : std::min<uint8_t>(d[2], 8);
    a[3] = d[3] != 0 ? 1 : 0;
    a[4] = std::min<uint8_t>(d[4], 4);
    a[5] = 0;
    std::memcpy(a + 6, d + 6, 8);
    for (uint8_t c : kAlwaysQuoted) a[6 + c / 8] |= MaskBit(c);
    a[14] = std::min<uint8_t>(d[14], 2);
    a[15] = 0;
    a[16] = d[16] != 0 ? 1 : 0;
    SendAck();
    if (!SendPacket('+', a, kParamCount, true)) return false;
    crc_ = a[3] != 0;
    blockSize_ = static_cast<size_t>(a[2]) * 128;
    sendWindow_ = a[0];
    downloadResume_ = a[14];
    fileInfo_ = a[16] != 0;
    std::memcpy(mask_, a + 6, 8);
    return true;
}

BPlus::Step BPlus::Act(int type) {
    if (type == 'N') return WriteData();
    if (type == 'T' && rxLen_ >= 1) {
        switch (rxData_[0]) {
            case 'D':
                return StartDownload();
            case 'U':
                return UploadFile();
            case 'I':
                return FileInformation();
            case 'f':
                return ResumeFailed();
            case 'C':
                if (rfd_ < 0) break;
                if (!CloseReceive()) {
                    SendFailure('I', "File write error");
                    return Step::Stop;
                }
                SendAck();
                transferDone_ = true;
                ctx_.received.push_back(path_);
                return Step::Stop;
            default:
                break;  // 'u' (upload resume) and anything unknown
        }
    }
    SendFailure('N', kNotImplemented);
    return Step::Stop;
}

BPlus::Step BPlus::Reject() {
    // What came after it is asked for again too.
    lastRecv_ = (rxSeq_ - '0' + 9) % 10;
    pending_.clear();
    // Counted over the session: the host may send the same malformed packet forever.
    if (++rejects_ >= kErrorMax) {
        errorFlag_ = true;
        return Step::Stop;
    }
    SendByte(NAK);
    Flush();
    return Step::GoOn;
}

bool BPlus::CloseReceive() {
    const bool ok = ::close(rfd_) == 0;
    rfd_ = -1;
    return ok;
}

BPlus::Step BPlus::WriteData() {
    if (Aborted()) return UserAbort();
    if (rfd_ < 0) {
        SendFailure('N', kNotImplemented);
        return Step::Stop;
    }
    if (!WriteFull(rfd_, rxData_, rxLen_)) {
        ShowFileMessage("ファイルの書き込みに失敗しました.", path_, errno);
        CloseReceive();
        SendFailure('I', "File write error");
        return Step::Stop;
    }
    bytes_ += static_cast<int64_t>(rxLen_);
    Progress(false);
    SendAck();
    return Step::GoOn;
}

BPlus::Step BPlus::FileInformation() {
    // 'I', the data type letter, the compression (0: none), six numbers each ended by one
    // non-digit (the first is the size), a length byte and that many characters of name.
    if (rxLen_ < 3 || (rxData_[1] != 'A' && rxData_[1] != 'B') || rxData_[2] != 0) {
        SendFailure('N', kNotImplemented);
        return Step::Stop;
    }
    size_t i = 3;
    int64_t numbers[6] = {};
    for (int64_t& v : numbers) {
        bool negative = i < rxLen_ && rxData_[i] == '-';
        if (negative) ++i;
        size_t digits = 0;
        for (; i < rxLen_ && rxData_[i] >= '0' && rxData_[i] <= '9'; ++i, ++digits)
            if (digits < 18) v = v * 10 + (rxData_[i] - '0');
        if (negative) v = -v;
        if (i >= rxLen_) return Reject();
        ++i;  // the separator
    }
    if (i >= rxLen_ || rxData_[i] > rxLen_ - i - 1) return Reject();
    const size_t nameLen = rxData_[i];
    const std::string name(reinterpret_cast<const char*>(rxData_) + i + 1, nameLen);
    if (numbers[0] > 0) {
        size_ = numbers[0];
        ShowField(TransField::Size, Format("%lld ﾊﾞｲﾄ", size_));
    }
    // The name is shown only: the file was named by the download request and stays confined.
    if (!name.empty() && path_.empty()) ShowField(TransField::File, FileNameToUtf8(name));
    SendAck();
    return Step::GoOn;
}

std::optional<std::string> BPlus::RequestedName(bool upload) {
    upload_ = upload;
    ShowTitles(upload ? kTextUploading : kTextDownloading, FormatTitlePercent(upload, 0));
    if ((upload ? sfd_ : rfd_) >= 0 || rxLen_ < 2 || (rxData_[1] != 'A' && rxData_[1] != 'B')) {
        SendFailure('N', kNotImplemented);
        return std::nullopt;
    }
    return std::string(reinterpret_cast<const char*>(rxData_) + 2,
                       std::min<size_t>(rxLen_ - 2, 260));
}

BPlus::Step BPlus::StartDownload() {
    const std::optional<std::string> requested = RequestedName(false);
    if (!requested) return Step::Stop;
    const std::string& wire = *requested;
    const std::optional<std::string> name = ReceivedFileName(wire);
    ShowField(TransField::File, name ? *name : FileNameToUtf8(wire));
    if (!name) {
        SendFailure('I', "File creation error");
        return Step::Stop;
    }
    // The host's name never leaves the download folder, whatever folders it names.
    path_ = (ctx_.downloadDir.empty() ? fs::path(".") : ctx_.downloadDir) / *name;
    const int create = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    std::error_code ec;
    bool exists = fs::exists(fs::symlink_status(path_, ec));
    if (exists) {
        bool overwrite;
        bool resume = false;
        if (downloadResume_ == 0) {
            if (!AskYesNo(kAskOverwrite, true)) {
                SendFailure('A', "user abort");
                errorFlag_ = true;
                return Step::Stop;
            }
            if (!Backup(path_)) {
                ShowMessage(kBackupFailed, MsgIcon::Stop);
                SendFailure('I', "File already exists");
                return Step::Stop;
            }
            overwrite = true;
        } else {
            resume = ctx_.resumeAnswer >= 0 ? ctx_.resumeAnswer == 1 : AskYesNo(kAskResume, true);
            overwrite = !resume;
            if (!resume && !AskYesNo(kAskOverwriteToo, true)) {
                SendFailure('A', "user abort");
                errorFlag_ = true;
                return Step::Stop;
            }
        }
        if (resume) {
            int fd = ::open(path_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
            uint16_t crc = 0xFFFF;
            int64_t size = 0;
            std::vector<uint8_t> buf(blockSize_);
            long got = fd < 0 ? -1 : 0;
            while (fd >= 0 && (got = ReadFull(fd, buf.data(), buf.size())) > 0) {
                crc = Crc16(buf.data(), static_cast<size_t>(got), crc);
                size += got;
            }
            if (fd >= 0) ::close(fd);
            if (got < 0) {
                SendFailure('I', "File read error");
                return Step::Stop;
            }
            rfd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
            if (rfd_ < 0) {
                SendFailure('I', "File append error");
                return Step::Stop;
            }
            bytes_ = resumeStart_ = size;
            char answer[64];
            std::snprintf(answer, sizeof answer, "r%" PRId64 " %u ", size, unsigned{crc});
            if (!SendText('T', answer, true)) return Step::Stop;
        } else if (overwrite) {
            exists = false;
        }
    }
    if (!exists) {
        rfd_ = ::open(path_.c_str(), create, 0644);
        if (rfd_ < 0) {
            ShowFileMessage("ファイルの作成に失敗しました.", path_, errno);
            SendFailure('I', "File creation error");
            return Step::Stop;
        }
        SendAck();
    }
    if (!started_) {
        started_ = true;
        start_ = std::chrono::steady_clock::now();
    }
    return Step::GoOn;
}

BPlus::Step BPlus::ResumeFailed() {
    if (rfd_ < 0 || path_.empty()) {
        SendFailure('N', kNotImplemented);
        return Step::Stop;
    }
    CloseReceive();
    if (!Backup(path_)) {
        SendFailure('I', "file backup error");
        return Step::Stop;
    }
    bytes_ = resumeStart_ = 0;
    rfd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (rfd_ < 0) {
        SendFailure('I', "file create error");
        return Step::Stop;
    }
    SendAck();
    return Step::GoOn;
}

BPlus::Step BPlus::UploadFile() {
    const std::optional<std::string> requested = RequestedName(true);
    if (!requested) return Step::Stop;
    const std::string& wire = *requested;
    ShowField(TransField::File, FileNameToUtf8(wire));
    // The host may read only what the user put in the upload folder.
    std::optional<fs::path> p = UploadPath(ctx_.uploadDir, wire);
    struct stat st {};
    if (p) sfd_ = ::open(p->c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (sfd_ >= 0 && (::fstat(sfd_, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(sfd_);
        sfd_ = -1;
    }
    if (sfd_ < 0) {
        SendFailure('M', "File Missing");
        return Step::Stop;
    }
    path_ = *p;
    SendAck();
    if (size_ <= 0) size_ = static_cast<int64_t>(st.st_size);
    ShowField(TransField::File, FileNameToUtf8(path_.filename().string()));
    ShowField(TransField::Size, Format("%lld ﾊﾞｲﾄ", size_));
    if (!started_) {
        started_ = true;
        start_ = std::chrono::steady_clock::now();
    }
    std::vector<uint8_t> buf(blockSize_);
    for (;;) {
        long got = ReadFull(sfd_, buf.data(), buf.size());
        if (got < 0) {
            SendFailure('I', "File read error");
            return Step::Stop;
        }
        if (got == 0) break;
        if (Aborted()) return UserAbort();
        if (!SendPacket('N', buf.data(), static_cast<size_t>(got), false)) return Step::Stop;
        bytes_ += got;
        Progress(true);
    }
    if (SendText('T', "C", true)) transferDone_ = true;
    return Step::Stop;
}

BPlus::Step BPlus::UserAbort() {
    if (aborted_) return Step::Stop;
    aborted_ = true;
    errorFlag_ = true;
    if (!ctx_.abort.load()) return Step::Stop;  // the window was closed: nobody to tell
    NoteUserAbort();
    // The host is told at once; what it still acknowledges no longer matters.
    outstanding_.clear();
    SendText('F', "Auser abort", false);
    // What the host sent before it saw the abort is protocol, not text for the terminal.
    std::vector<uint8_t> late;
    const auto cap = std::chrono::steady_clock::now() + std::chrono::milliseconds(Limit(3000));
    auto quiet = std::chrono::steady_clock::now() + std::chrono::milliseconds(Limit(300));
    while (std::chrono::steady_clock::now() < std::min(cap, quiet) && ctx_.running.load()) {
        if (PollInput()) {
            TakeUnread(late);
            late.clear();
            quiet = std::chrono::steady_clock::now() + std::chrono::milliseconds(Limit(300));
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }
    return Step::Stop;
}

bool BPlus::Backup(const fs::path& path) {
    int in = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (in < 0) return false;
    int out = -1;
    for (int i = 0; i < 1000 && out < 0; ++i) {
        char ext[8];
        std::snprintf(ext, sizeof ext, ".%03d", i);
        const fs::path candidate = path.parent_path() / (path.stem().string() + ext);
        out = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
        if (out < 0 && errno != EEXIST) break;
    }
    bool ok = out >= 0;
    uint8_t buf[65536];
    long got;
    while (ok && (got = ReadFull(in, buf, sizeof buf)) != 0)
        ok = got > 0 && WriteFull(out, buf, static_cast<size_t>(got));
    ::close(in);
    if (out >= 0 && ::close(out) != 0) ok = false;
    return ok;
}

void BPlus::Progress(bool upload) {
    if (!ctx_.status) return;
    ShowField(TransField::Bytes, Format("%lldﾊﾞｲﾄ", bytes_));
    if (size_ > 0) {
        const int64_t p = std::clamp<int64_t>(bytes_ * 100 / size_, 0, 100);
        ctx_.status->SetPercent(static_cast<int>(p));
        ctx_.status->SetTitle(FormatTitlePercent(upload, static_cast<int>(p)));
    }
    // The speed counts from the first file's start and leaves out what a resume kept.
    const long secs = static_cast<long>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start_)
            .count());
    ProgressFigures f = ComputeProgress(static_cast<long>(bytes_ - resumeStart_),
                                        static_cast<long>(size_ - resumeStart_), secs);
    if (f.cps >= 0) ShowField(TransField::Speed, FormatCps(f.cps));
    if (f.remaining >= 0) ShowField(TransField::Remaining, FormatRemaining(f.remaining));
}

}  // namespace marlo

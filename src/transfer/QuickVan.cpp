#include "transfer/QuickVan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "transfer/FileNames.h"
#include "transfer/ProgressText.h"

namespace marlo {

namespace fs = std::filesystem;

namespace {

constexpr int kAttempts = 10;
constexpr int kRepeatMax = 10;  // the eleventh repeat of the same request in a row fails
constexpr int kPacketMs = 20000;
constexpr int kReplyMs = 120000;
constexpr int kAckMs = 200000;
constexpr int kInPacketMs = 3000;  // between the bytes of one packet
// Once an error or a stray block showed that the sender went on, a quiet line this long means it
// waits for us.
constexpr int kQuietMs = 3000;

const char* const kAskStop = "同一のファイルが存在します。ファイル転送を中止しますか？";

bool IsDigit(uint8_t c) {
    return c >= '0' && c <= '9';
}

// A decimal number of at most 18 digits that fills the whole text; nullopt otherwise.
std::optional<int64_t> Decimal(std::string_view text) {
    if (text.empty() || text.size() > 18) return std::nullopt;
    int64_t v = 0;
    for (char c : text) {
        if (!IsDigit(static_cast<uint8_t>(c))) return std::nullopt;
        v = v * 10 + (c - '0');
    }
    return v;
}

// A fixed-width run of digits, or 0xFFFF (not given) when the text is absent or not digits.
int Field(std::string_view text, size_t at, size_t width) {
    if (text.size() < at + width) return 0xFFFF;
    auto v = Decimal(text.substr(at, width));
    return v ? static_cast<int>(*v) : 0xFFFF;
}

}  // namespace

CQuickVan::CQuickVan(TransferContext& ctx) : CTransEngine(ctx) {
    std::memset(rx_, 0, sizeof rx_);
}

CQuickVan::~CQuickVan() {
    CloseReceived();
}

// ---- Packets ----

std::optional<CQuickVan::Options> CQuickVan::AgreeOptions(const uint8_t* f, size_t n,
                                                          int windowLimit) {
    Options o;
    if (n < 5) return std::nullopt;
    if (f[0] != '0' && f[0] != '1') return std::nullopt;
    o.version = static_cast<char>(std::min<uint8_t>(f[0], '1'));
    if (f[1] != '0') return std::nullopt;
    o.retryMethod = '0';
    if (!IsDigit(f[2]) || !IsDigit(f[3])) return std::nullopt;
    const int offered = (f[2] - '0') * 10 + (f[3] - '0');
    if (offered < 1) return std::nullopt;
    o.window = std::min(offered, windowLimit);
    if (f[4] < '0' || f[4] > '8') return std::nullopt;
    o.optionNumber = static_cast<char>(std::min<uint8_t>(f[4], '1'));
    o.optionFunc1 = '0';
    if (o.optionNumber != '0') {
        const uint8_t v = n > 5 && f[5] != 0 ? f[5] : '0';
        if (v != '0' && v != '1') return std::nullopt;
        o.optionFunc1 = static_cast<char>(v);
    }
    return o;
}

std::string CQuickVan::ReplyFields(const Options& o) {
    char text[16];
    std::snprintf(text, sizeof text, "%c%c%02d%c", o.version, o.retryMethod, o.window,
                  o.optionNumber);
    std::string fields = text;
    if (o.optionNumber != '0') fields += o.optionFunc1;
    return fields;
}

std::vector<uint8_t> CQuickVan::ShortPacket(uint8_t type, uint8_t seq, const std::string& fields) {
    std::vector<uint8_t> p;
    p.reserve(fields.size() + 5);
    p.push_back(STX);
    p.push_back(type);
    p.push_back(seq);
    for (char c : fields) p.push_back(static_cast<uint8_t>(c));
    unsigned sum = 0;
    for (uint8_t c : p) sum += c;
    p.push_back(static_cast<uint8_t>(sum % 128 + 0x80));
    p.push_back(CR);
    return p;
}

std::vector<uint8_t> CQuickVan::ControlPacket(uint8_t type, const std::string& data) {
    std::vector<uint8_t> p(kLongPacket, 0);
    p[0] = SOH;
    p[1] = 0x00;
    p[2] = type;
    std::memcpy(p.data() + 3, data.data(), std::min<size_t>(data.size(), kBlock));
    unsigned sum = 0;
    for (int i = 0; i < kLongPacket - 1; ++i) sum += p[static_cast<size_t>(i)];
    p[kLongPacket - 1] = static_cast<uint8_t>(sum);
    return p;
}

bool CQuickVan::Alone(int c, int quietMs) {
    const int next = PeekByte(Limit(quietMs));
    if (next < 0) return true;
    // A sender that gives up sends CAN and CR: that is a cancel too.
    if (c == CAN && (next == CR || next == CAN)) {
        RecvByte(0);
        return true;
    }
    return false;
}

int CQuickVan::ReadLong(int timeoutMs, bool blockExpected) {
    const int t = Limit(kInPacketMs);
    for (;;) {
        int c = RecvByte(timeoutMs);
        if (c < 0) return ERR_TIMEOUT;
        if (c == EOT || c == ACK || c == NAK || c == CAN) {
            if (Alone(c, 1000)) return c == CAN ? int{ERR_CANCEL} : c;
            continue;
        }
        if (c != SOH) continue;
        const int a = RecvByte(t);
        if (a < 0) return ERR_PROTOCOL;
        const int b = RecvByte(t);
        if (b < 0) return ERR_PROTOCOL;
        const bool control = a == 0 && b >= '0' && b <= '2';
        const bool block = blockExpected && b == 255 - a;
        if (!control && !block) {
            Unget();  // the second byte may start the real packet
            continue;
        }
        unsigned sum = control ? SOH + b : 0;
        for (int i = 0; i < kBlock; ++i) {
            const int d = RecvByte(t);
            if (d < 0) return ERR_PROTOCOL;
            rx_[i] = static_cast<uint8_t>(d);
            sum += static_cast<unsigned>(d);
        }
        const int check = RecvByte(t);
        if (check < 0) return ERR_PROTOCOL;
        if (check != static_cast<int>(sum & 0xFF)) return ERR_PROTOCOL;
        if (control) return b;
        rxNumber_ = a;
        return kDataBlock;
    }
}

int CQuickVan::ReadShort(int timeoutMs) {
    const int t = Limit(kInPacketMs);
    int c;
    for (;;) {
        c = RecvByte(timeoutMs);
        if (c < 0) return ERR_TIMEOUT;
        if (c == STX) break;
        if ((c == EOT || c == ACK || c == NAK || c == CAN) && Alone(c, 100))
            return c == CAN ? int{ERR_CANCEL} : c;
    }
    // Type, sequence, fields and the check byte, up to CR; a longer run is damage.
    uint8_t body[127];
    size_t n = 0;
    for (;;) {
        c = RecvByte(t);
        if (c < 0) return ERR_PROTOCOL;  // cut short: damage, not the other side's silence
        if (c == CR) break;
        if (c == STX) {  // a packet cut short: the next one starts here
            n = 0;
            continue;
        }
        if (n == sizeof body) return ERR_PROTOCOL;
        body[n++] = static_cast<uint8_t>(c);
    }
    if (n < 3) return ERR_PROTOCOL;
    unsigned sum = STX;
    for (size_t i = 0; i + 1 < n; ++i) sum += body[i];
    if (body[n - 1] != sum % 128 + 0x80) return ERR_PROTOCOL;
    rxSeq_ = body[1];
    rxFields_.assign(reinterpret_cast<const char*>(body) + 2, n - 3);
    return body[0];
}

void CQuickVan::SendShort(uint8_t type, uint8_t seq, const std::string& fields) {
    const auto p = ShortPacket(type, seq, fields);
    SendBlock(p.data(), p.size());
    Flush();
}

int CQuickVan::SendAndRead(const std::vector<uint8_t>& packet) {
    SendBlock(packet.data(), packet.size());
    Flush();
    const int p = ReadShort(Limit(kReplyMs));
    if (Aborted()) return kUserAbort;
    return p == ERR_CANCEL ? int{kCancelled} : p;
}

void CQuickVan::SendPending() {
    SendBlock(pending_.data(), pending_.size());
    Flush();
}

bool CQuickVan::Fail(int why, bool upload) {
    if (why == kUserAbort && ctx_.abort.load()) NoteUserAbort();  // not when the window closed
    if (why != kCancelled && ctx_.running.load()) {
        // The far end learns of the failure at once; what it still had on the way is dropped.
        PurgeInput();
        SendByte(CAN);
        if (upload) SendByte(CR);
        Flush();
    }
    CloseReceived();
    return false;
}

void CQuickVan::Adopt(const Options& o) {
    m_Version = o.version;
    m_RetryMethod = o.retryMethod;
    m_WindowSize = o.window;
    m_OptionNumber = o.optionNumber;
    m_OptionFunc1 = o.optionFunc1;
    ackInterval_ = std::max(1, m_WindowSize / 2);
}

// ---- Receiving ----

bool CQuickVan::Download() {
    ShowTitles(kTextDownloading, FormatTitlePercent(false, 0));
    windowLimit_ = ctx_.windowLimit > 0 ? std::min(ctx_.windowLimit, 30) : 30;
    fileCounter_ = 1;
    const int r = ReceiveSession();
    if (r != TRANS_DONE) return Fail(r, false);
    if (!path_.empty()) ctx_.files = {path_};
    return true;
}

int CQuickVan::ReceiveSession() {
    int r = ERR_RETRYMAX;
    for (int attempt = 1; attempt <= kAttempts && r != 0; ++attempt) {
        ShowField(TransField::Retries, std::to_string(attempt));
        if (Aborted()) return kUserAbort;
        SendByte(NAK);
        Flush();
        for (;;) {
            const int p = ReadLong(Limit(kPacketMs), false);
            if (p == '0') {
                r = AnswerInit();
                if (r != 0) return r;
                break;
            }
            if (Aborted()) return kUserAbort;
            if (p == ERR_CANCEL) return kCancelled;
            if (p == ERR_TIMEOUT || p == ERR_PROTOCOL) break;
        }
    }
    if (r != 0) return r;
    ShowField(TransField::Retries, "0");
    for (;;) {
        int p = ERR_TIMEOUT;
        for (int attempt = 1;; ++attempt) {
            if (Aborted()) return kUserAbort;
            if (attempt > kAttempts) return ERR_RETRYMAX;
            SendPending();
            p = ReadLong(Limit(kPacketMs), false);
            if (Aborted()) return kUserAbort;
            if (p == '1') break;
            if (p == EOT) {
                SendByte(ACK);
                Flush();
                // The sender's CR after our ACK belongs to the protocol, not to the terminal.
                if (PeekByte(Limit(1000)) == CR) RecvByte(0);
                return TRANS_DONE;
            }
            if (p == ERR_CANCEL) return kCancelled;
        }
        if (int o = OpenReceived(); o != 0) return o;
        if (int b = ReceiveBlocks(); b != 0) return b;
    }
}

int CQuickVan::AnswerInit() {
    const size_t n = strnlen(reinterpret_cast<const char*>(rx_), kBlock);
    const std::optional<Options> o = AgreeOptions(rx_, n, windowLimit_);
    if (!o) {
        ShowMessage("転送オプションが正しくありません.", MsgIcon::Stop);
        return ERR_PROTOCOL;
    }
    Adopt(*o);
    pending_ = ShortPacket('R', 0x80, ReplyFields(*o));
    return 0;
}

int CQuickVan::OpenReceived() {
    // "NN" name NUL size NUL "YYYYMMDDhhmmss"; every field inside the 128 bytes.
    const std::string_view data(reinterpret_cast<const char*>(rx_), kBlock);
    const size_t nameEnd = data.find('\0', 2);
    const size_t sizeEnd =
        nameEnd == std::string_view::npos ? nameEnd : data.find('\0', nameEnd + 1);
    if (!IsDigit(rx_[0]) || !IsDigit(rx_[1]) || sizeEnd == std::string_view::npos) {
        ShowMessage("ファイル情報が正しくありません.", MsgIcon::Stop);
        return ERR_PROTOCOL;
    }
    const int number = (rx_[0] - '0') * 10 + (rx_[1] - '0');
    if (number != fileCounter_) {
        ShowMessage("ファイル番号が正しくありません.", MsgIcon::Stop);
        return ERR_PROTOCOL;
    }
    fileCounter_ = (fileCounter_ + 1) % 100;
    const std::string wire(data.substr(2, nameEnd - 2));
    const std::optional<int64_t> size = Decimal(data.substr(nameEnd + 1, sizeEnd - nameEnd - 1));
    const std::string_view stamp =
        data.substr(sizeEnd + 1, strnlen(data.data() + sizeEnd + 1, kBlock - sizeEnd - 1));
    date_[0] = Field(stamp, 0, 4), date_[1] = Field(stamp, 4, 2), date_[2] = Field(stamp, 6, 2);
    time_[0] = Field(stamp, 8, 2), time_[1] = Field(stamp, 10, 2), time_[2] = Field(stamp, 12, 2);

    // Only a plain name is taken: no folders to climb, no absolute path, no control characters.
    std::string utf8 = FileNameToUtf8(wire);
    bool plain =
        !utf8.empty() && utf8[0] != '/' && utf8[0] != '\\' && !(utf8.size() >= 2 && utf8[1] == ':');
    for (unsigned char c : utf8) plain = plain && c >= 0x20 && c != 0x7F;
    std::replace(utf8.begin(), utf8.end(), '\\', '/');
    for (const auto& part : fs::path(utf8)) plain = plain && part != "..";
    const std::optional<std::string> name = plain ? ReceivedFileName(wire) : std::nullopt;
    ShowField(TransField::File, name ? *name : FileNameToUtf8(wire));
    if (!name) {
        ShowFileMessage("ファイル名が正しくありません.", FileNameToUtf8(wire), 0);
        return ERR_PROTOCOL;
    }
    if (!size || *size > (INT64_MAX - kBlock)) {
        ShowMessage("ファイルサイズが正しくありません.", MsgIcon::Stop);
        return ERR_PROTOCOL;
    }
    size_ = *size;
    totalBlocks_ = (size_ + kBlock - 1) / kBlock;
    ShowField(TransField::Size, FormatBytes(static_cast<long>(size_)));

    path_ = (ctx_.downloadDir.empty() ? fs::path(".") : ctx_.downloadDir) / *name;
    m_BlockOffset = 0;
    struct stat st {};
    // O_NOFOLLOW: a symbolic link planted under the name is not followed out of the folder.
    int flags = O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC;
    if (::lstat(path_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
        if (st.st_size == size_) {
            const bool stop =
                ctx_.overwriteAnswer >= 0 ? ctx_.overwriteAnswer == 0 : AskYesNo(kAskStop, true);
            if (stop) {
                // Where nobody was asked, say why the download ends.
                if (!ctx_.platform || ctx_.overwriteAnswer >= 0)
                    ShowFileMessage("同一のファイルが存在します。", path_, 0);
                return ERR_PROTOCOL;
            }
        } else if (st.st_size < size_) {
            // The local bytes are taken as the start of the same file: only whole blocks count.
            flags = O_WRONLY | O_NOFOLLOW | O_CLOEXEC;
            m_BlockOffset = std::min<int64_t>(st.st_size / kBlock, totalBlocks_);
        }
    }
    fd_ = ::open(path_.c_str(), flags, 0644);
    if (fd_ >= 0 && ::lseek(fd_, static_cast<off_t>(m_BlockOffset * kBlock), SEEK_SET) < 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (fd_ < 0) {
        ShowFileMessage("ファイルのオープンに失敗しました.", path_, errno);
        return ERR_PROTOCOL;
    }
    pending_ = ShortPacket('P', 0x80, std::to_string(m_BlockOffset));
    return 0;
}

int CQuickVan::ReceiveBlocks() {
    enum { kWaitFirst, kBlocks, kRecover, kEnd } state = kWaitFirst;
    blocks_ = 0;
    auto counter = [&] { return static_cast<int>(blocks_ & 0xFF); };
    auto expected = [&] { return (counter() + 1) & 0xFF; };
    // The end-of-file packet carries the count of blocks sent: it must be ours.
    auto endMatches = [&] { return rx_[0] == counter() && rx_[1] == '0'; };
    int p = ERR_TIMEOUT;
    for (int attempt = 1; state == kWaitFirst; ++attempt) {
        if (attempt > kAttempts) return ERR_RETRYMAX;
        if (Aborted()) return kUserAbort;
        SendPending();
        p = ReadLong(Limit(kPacketMs), true);
        if (p == ERR_CANCEL) return kCancelled;
        if (p == kDataBlock && rxNumber_ == expected())
            state = kBlocks;
        else if (p == '2')
            state = endMatches() ? kEnd : kRecover;
        else if (p == ERR_PROTOCOL || p == kDataBlock)
            state = kRecover;
    }
    int errors = 0;
    while (state != kEnd) {
        if (Aborted()) return kUserAbort;
        if (state == kBlocks) {
            // Blocks past the announced size are counted but not kept: a sender cannot fill the
            // disk beyond what it announced.
            const bool keep = m_BlockOffset + blocks_ < totalBlocks_;
            if (keep && !WriteFull(fd_, rx_, kBlock)) {
                ShowFileMessage("ファイルの書き込みに失敗しました.", path_, errno);
                return ERR_PROTOCOL;
            }
            ++blocks_;
            errors = 0;
            ShowField(TransField::Retries, "0");
            Progress(false);
            if (blocks_ % ackInterval_ == 0)
                SendShort('A', static_cast<uint8_t>(0x80 | (counter() & 0x7F)), "");
            for (;;) {
                p = ReadLong(Limit(kPacketMs), true);
                if (p == kDataBlock && rxNumber_ != expected()) {
                    const int behind = (expected() - rxNumber_) & 0xFF;
                    if (behind <= m_WindowSize) {
                        // An older block again: our acknowledgement was lost.
                        SendShort('A', static_cast<uint8_t>(0x80 | (counter() & 0x7F)), "");
                        continue;
                    }
                }
                break;
            }
            if (p == ERR_CANCEL) return kCancelled;
            if (p == kDataBlock && rxNumber_ == expected()) continue;
            state = p == '2' && endMatches() ? kEnd : kRecover;
            continue;
        }
        // Recovering: ask for the expected block until it comes.
        if (++errors > kAttempts) return ERR_RETRYMAX;
        ShowField(TransField::Retries, std::to_string(errors));
        SendShort('N', static_cast<uint8_t>(0x80 | (expected() & 0x7F)), "");
        int limit = Limit(kPacketMs);
        for (int strays = 0; strays < 4 * kAttempts + 2 * m_WindowSize; ++strays) {
            p = ReadLong(limit, true);
            if (p == ERR_CANCEL) return kCancelled;
            if (p == ERR_TIMEOUT || Aborted()) break;
            if (p == kDataBlock && rxNumber_ == expected()) {
                state = kBlocks;
                break;
            }
            if (p == '2' && endMatches()) {
                state = kEnd;
                break;
            }
            // Blocks the sender had on the way before it saw our request, or damage.
            limit = Limit(kQuietMs);
        }
    }
    return FinishFile();
}

int CQuickVan::FinishFile() {
    const int64_t have = (m_BlockOffset + blocks_) * kBlock;
    if (have < size_) {
        ShowMessage("ファイルが途中で終わりました。", MsgIcon::Stop);
        return ERR_PROTOCOL;
    }
    // The fill of the last block goes; the file gets the sender's date and time.
    bool ok = ::ftruncate(fd_, static_cast<off_t>(size_)) == 0;
    std::tm tm{};
    const std::time_t now = std::time(nullptr);
    ::localtime_r(&now, &tm);
    if (date_[0] != 0xFFFF) tm.tm_year = date_[0] - 1900;
    if (date_[1] != 0xFFFF) tm.tm_mon = date_[1] - 1;
    if (date_[2] != 0xFFFF) tm.tm_mday = date_[2];
    if (time_[0] != 0xFFFF) tm.tm_hour = time_[0];
    if (time_[1] != 0xFFFF) tm.tm_min = time_[1];
    if (time_[2] != 0xFFFF) tm.tm_sec = time_[2];
    tm.tm_isdst = -1;
    const std::time_t when = std::mktime(&tm);
    if (when != static_cast<std::time_t>(-1)) {
        const timespec times[2] = {{0, UTIME_OMIT}, {when, 0}};
        ::futimens(fd_, times);
    }
    ok = ::close(fd_) == 0 && ok;
    fd_ = -1;
    if (!ok) {
        ShowFileMessage("ファイルの書き込みに失敗しました.", path_, errno);
        return ERR_PROTOCOL;
    }
    ctx_.received.push_back(path_);
    Progress(false);
    pending_ = ShortPacket('T', static_cast<uint8_t>(0x80 | (blocks_ & 0x7F)), "0");
    return 0;
}

void CQuickVan::CloseReceived() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void CQuickVan::Progress(bool upload) {
    // Counted in whole blocks, as the protocol moves them.
    const int64_t blocks = m_BlockOffset + blocks_;
    ReportProgress(static_cast<long>(std::min(blocks, totalBlocks_) * kBlock),
                   static_cast<long>(totalBlocks_ * kBlock), upload, "%ldﾊﾞｲﾄ");
}

// ---- Sending ----

bool CQuickVan::Upload() {
    ShowTitles(kTextUploading, FormatTitlePercent(true, 0));
    windowLimit_ = ctx_.windowLimit > 0 ? std::min(ctx_.windowLimit, 30) : 15;
    fileCounter_ = 0;
    const int r = SendSession();
    return r == TRANS_DONE ? true : Fail(r, true);
}

int CQuickVan::SendSession() {
    for (;;) {
        const int c = RecvByte(Limit(kReplyMs));
        if (Aborted()) return kUserAbort;
        if (c < 0) return ERR_TIMEOUT;
        if (c == CAN) return kCancelled;
        if (c == NAK) break;
    }
    // NAKs the receiver repeated while we were not there yet would each ask for the offer again.
    PurgeInput();
    char offer[16];
    std::snprintf(offer, sizeof offer, "10%02d11", windowLimit_);
    const auto init = ControlPacket('0', offer);
    bool agreed = false;
    for (int attempt = 1; attempt <= kAttempts && !agreed; ++attempt) {
        const int p = SendAndRead(init);
        if (p == kUserAbort || p == kCancelled || p == ERR_TIMEOUT) return p;
        if (p != 'R') continue;
        const auto o = AgreeOptions(reinterpret_cast<const uint8_t*>(rxFields_.data()),
                                    rxFields_.size(), windowLimit_);
        if (!o || rxSeq_ != 0x80) {
            ShowMessage("転送オプションが正しくありません.", MsgIcon::Stop);
            return ERR_PROTOCOL;
        }
        Adopt(*o);
        agreed = true;
    }
    if (!agreed) return ERR_RETRYMAX;
    for (const auto& f : ctx_.files)
        if (int r = SendFile(WithDefaultDir(f, true)); r != 0) return r;
    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        SendByte(EOT);
        Flush();
        for (;;) {
            const int c = RecvByte(Limit(kAckMs));
            if (Aborted()) return kUserAbort;
            if (c < 0) return ERR_TIMEOUT;
            if (c == ACK) {
                SendByte(CR);
                Flush();
                return TRANS_DONE;
            }
            if (c == CAN) return kCancelled;
            if (c == NAK) break;
        }
    }
    return ERR_RETRYMAX;
}

int CQuickVan::SendFile(const fs::path& path) {
    struct stat st {};
    const int fd = OpenForSending(path, st);
    if (fd < 0) return ERR_PROTOCOL;
    path_ = path;
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    fileCounter_ = (fileCounter_ + 1) % 100;
    size_ = static_cast<int64_t>(st.st_size);
    totalBlocks_ = (size_ + kBlock - 1) / kBlock;
    m_BlockOffset = 0;
    blocks_ = 0;
    std::tm tm{};
    const std::time_t mtime = st.st_mtime;
    ::localtime_r(&mtime, &tm);
    char head[4], tail[64];
    std::snprintf(head, sizeof head, "%02d", fileCounter_);
    std::snprintf(tail, sizeof tail, "%" PRId64 "%c%04d%02d%02d%02d%02d%02d", size_, '\0',
                  tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
    const std::string sizeAndStamp(tail, std::strlen(tail) + 1 + 14);
    std::string name = FileNameInCode(SentFileName(path.string()), ctx_.fileNameCode);
    // Number, name, NUL, size, NUL, date and time must all fit the 128 bytes.
    name.resize(std::min(name.size(), kBlock - 2 - 1 - sizeAndStamp.size()));
    const auto info = ControlPacket('1', std::string(head) + name + '\0' + sizeAndStamp);
    ShowField(TransField::File, FileNameToUtf8(path.filename().string()));
    ShowField(TransField::Size, FormatBytes(static_cast<long>(size_)));

    for (int attempt = 1;; ++attempt) {
        if (attempt > kAttempts) return ERR_RETRYMAX;
        const int p = SendAndRead(info);
        if (p == kUserAbort || p == kCancelled || p == ERR_TIMEOUT) return p;
        if (p == 'P') {
            const auto first = Decimal(rxFields_);
            if (rxSeq_ != 0x80 || !first || *first > totalBlocks_) {
                ShowMessage("m_BlockOffset > m_FBlock", MsgIcon::Stop);
                return ERR_PROTOCOL;
            }
            m_BlockOffset = *first;
            break;
        }
        if (p == 'S') {
            const auto n = Decimal(rxFields_);
            if (rxSeq_ != 0x80 || !n) return ERR_PROTOCOL;
            if (*n == fileCounter_) return 0;  // the receiver does not want this file
            if (*n == (fileCounter_ + 99) % 100) continue;
            return ERR_PROTOCOL;
        }
    }
    return SendBlocks(fd);
}

int CQuickVan::SendBlocks(int fd) {
    auto seek = [&](int64_t block) {
        return ::lseek(fd, static_cast<off_t>(block * kBlock), SEEK_SET) >= 0;
    };
    if (!seek(m_BlockOffset)) return ERR_PROTOCOL;
    int64_t sent = 0, acked = 0;
    bool endSent = false;
    int64_t lastAsked = -1;
    int repeats = 0, restarts = 0;
    // A 7-bit number from the receiver as the count it stands for, counted from `acked`.
    auto counted = [&](uint8_t seq) { return acked + (((seq & 0x7F) - (acked & 0x7F)) & 0x7F); };
    uint8_t block[kLongPacket];
    for (;;) {
        const bool mustRead = endSent || sent - acked >= m_WindowSize;
        // With room in the window only a packet that has already begun to arrive is read.
        while (!mustRead && PollInput() && BufferedData()[0] != STX && BufferedData()[0] != CAN)
            Consume(1);
        if (mustRead || PollInput()) {
            const int p = ReadShort(Limit(kAckMs));
            if (Aborted()) return kUserAbort;
            if (p == ERR_CANCEL) {
                SendByte(EOT);
                Flush();
                return kCancelled;
            }
            if (p == ERR_TIMEOUT) return ERR_TIMEOUT;
            if (p == 'A') {
                const int64_t c = counted(rxSeq_);
                if (c > acked && c <= sent) {
                    acked = c;
                    repeats = 0;
                    lastAsked = -1;
                }
            } else if (p == 'N') {
                const int64_t c = counted(rxSeq_);
                if (c >= 1 && c <= sent + 1) {
                    repeats = c == lastAsked ? repeats + 1 : 0;
                    lastAsked = c;
                    ShowField(TransField::Retries, std::to_string(repeats));
                    if (repeats > kRepeatMax) return ERR_RETRYMAX;
                    sent = c - 1;
                    acked = std::max<int64_t>(0, sent - 1);
                    if (!seek(m_BlockOffset + sent)) return ERR_PROTOCOL;
                    endSent = false;
                }
            } else if (p == 'P' && acked == 0 && rxSeq_ == 0x80) {
                // The receiver did not see our first blocks and asks to start again.
                if (++restarts > kRepeatMax) return ERR_RETRYMAX;
                sent = 0;
                if (!seek(m_BlockOffset)) return ERR_PROTOCOL;
                endSent = false;
            } else if (p == 'T' && endSent && rxFields_ == "0") {
                return 0;
            }
            continue;
        }
        // What was announced is sent, even if the file grows meanwhile.
        const long got = m_BlockOffset + sent < totalBlocks_ ? ReadFull(fd, block + 3, kBlock) : 0;
        if (got < 0) {
            ShowFileMessage("ファイルの読み込みに失敗しました.", path_, errno);
            return ERR_PROTOCOL;
        }
        if (got == 0) {
            std::string end{static_cast<char>(sent & 0xFF), '0'};
            const auto packet = ControlPacket('2', end);
            SendBlock(packet.data(), packet.size());
            Flush();
            endSent = true;
            continue;
        }
        std::memset(block + 3 + got, 0x1A, static_cast<size_t>(kBlock - got));
        ++sent;
        block[0] = SOH;
        block[1] = static_cast<uint8_t>(sent & 0xFF);
        block[2] = static_cast<uint8_t>(255 - block[1]);
        unsigned sum = 0;
        for (int i = 0; i < kBlock; ++i) sum += block[3 + i];
        block[kLongPacket - 1] = static_cast<uint8_t>(sum);
        SendBlock(block, kLongPacket);
        blocks_ = sent;
        Progress(true);
        if (Aborted()) return kUserAbort;
    }
}

}  // namespace marlo

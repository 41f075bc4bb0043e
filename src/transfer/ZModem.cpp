#include "transfer/ZModem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/Platform.h"
#include "transfer/FileNames.h"
#include "transfer/ProgressText.h"

namespace marlo {

namespace {

constexpr uint8_t ZPAD = '*';
constexpr uint8_t ZDLE = 0x18;
constexpr uint8_t CAN = 0x18;
constexpr uint8_t XON = 0x11;
constexpr uint8_t XOFF = 0x13;
constexpr uint8_t BS = 0x08;

// Flags of ZRINIT's ZF0.
constexpr uint8_t CANFDX = 0x01, CANOVIO = 0x02, CANBRK = 0x04, CANCRY = 0x08, CANFC32 = 0x20,
                  ESCCTL = 0x40;
constexpr uint8_t kRinitFlags = CANFDX | CANOVIO | CANBRK | CANCRY | CANFC32;  // 0x2F
constexpr uint8_t CANVHDR = 0x01;                                              // ZRINIT ZF1
constexpr uint8_t TESCCTL = 0x40;                                              // ZSINIT ZF0

// How many bytes may pass before a header while waiting for one; while data streams the sender
// may still have a window's worth and the line's buffers in flight after a ZRPOS.
constexpr int kGarbageIdle = 2400;
constexpr int kGarbageStreaming = 131072;

constexpr int kFileDone = 0x200;
constexpr int kSkipped = 0x201;
constexpr int kSessionDone = 0x202;
constexpr int kUserAbort = 0x203;
constexpr int kOpenFailed = 0x204;

constexpr size_t kWriteChunk = 65536;
constexpr int kCanGapMs = 1000;

// 0: sent as it is; 1: escaped; 2: escaped after '@' (the telenet escape "@<CR>").
constexpr std::array<uint8_t, 256> MakeEscapeTable(bool all) {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c) {
        if (c & 0x60)
            t[c] = 0;
        else if (c == ZDLE || c == 0x10 || c == 0x11 || c == 0x13 || c == 0x90 || c == 0x91 ||
                 c == 0x93)
            t[c] = 1;
        else if (c == 0x0D || c == 0x8D)
            t[c] = all ? 1 : 2;
        else
            t[c] = all ? 1 : 0;
    }
    return t;
}
constexpr auto kEscNormal = MakeEscapeTable(false);
constexpr auto kEscAll = MakeEscapeTable(true);

// Received bytes that the subpacket decoder must look at one by one: ZDLE and flow control, and
// every control character while the sender escapes them all.
constexpr std::array<uint8_t, 256> MakeStopTable(bool all) {
    std::array<uint8_t, 256> t{};
    for (int c = 0; c < 256; ++c)
        t[c] = c == ZDLE || (c & 0x7F) == XON || (c & 0x7F) == XOFF || (all && !(c & 0x60));
    return t;
}
constexpr auto kStopPlain = MakeStopTable(false);
constexpr auto kStopAll = MakeStopTable(true);

const char kHex[] = "0123456789abcdef";

bool IsFlow(int c) {
    return (c & 0x7F) == XON || (c & 0x7F) == XOFF;
}

std::string Format(const char* fmt, long v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

}  // namespace

ZModem::ZModem(TransferContext& ctx) : CTransEngine(ctx), escTable_(kEscNormal.data()) {
    enc_.reserve(2 * 1024 + 64);
    data_.resize(kMaxData + 16);
    // A streaming sender writes in large pieces: fewer writes, and fewer wake-ups of the reader.
    SetSendChunk(16384);
}

ZModem::~ZModem() {
    if (fd_ >= 0) CloseReceived(false);
    if (txFd_ >= 0) ::close(txFd_);
}

std::optional<int> ZModem::ParseManagement(const std::string& name) {
    static const char* const kNames[] = {"",    "NEWL", "CRC",  "APND", "CLOB",
                                         "NEW", "DIFF", "PROT", "CHNG"};
    std::string up;
    for (char c : name)
        up.push_back(static_cast<char>(std::toupper(static_cast<unsigned char>(c))));
    if (up.rfind("ZM", 0) == 0) up = up.substr(2);
    if (up.empty()) return std::nullopt;
    for (int i = 1; i <= 8; ++i)
        if (up == kNames[i]) return i;
    if (up == "SKNOLOC") return ZMSKNOLOC;
    char* end = nullptr;
    long v = std::strtol(name.c_str(), &end, 0);
    if (end && *end == '\0' && v >= 0 && v <= 0xFF) return static_cast<int>(v);
    return std::nullopt;
}

void ZModem::SetEscapeAll(bool on) {
    escapeAll_ = on;
    escTable_ = on ? kEscAll.data() : kEscNormal.data();
}

// ---- Sending on the wire --------------------------------------------------------------------

void ZModem::Encode(const uint8_t* p, size_t n) {
    size_t at = enc_.size();
    enc_.resize(at + 2 * n);
    uint8_t* o = enc_.data() + at;
    const uint8_t* t = escTable_;
    uint8_t last = lastSent_;
    for (size_t i = 0; i < n; ++i) {
        uint8_t c = p[i];
        uint8_t k = t[c];
        if (k == 0 || (k == 2 && (last & 0x7F) != '@')) {
            *o++ = c;
            last = c;
        } else {
            *o++ = ZDLE;
            last = static_cast<uint8_t>(c ^ 0x40);
            *o++ = last;
        }
    }
    lastSent_ = last;
    enc_.resize(static_cast<size_t>(o - enc_.data()));
}

void ZModem::SendHexHeader(int type, const uint8_t hdr[4]) {
    uint8_t raw[5] = {static_cast<uint8_t>(type), hdr[0], hdr[1], hdr[2], hdr[3]};
    uint16_t crc = Crc16(raw, 5);
    uint8_t out[32];
    size_t n = 0;
    out[n++] = ZPAD;
    out[n++] = ZPAD;
    out[n++] = ZDLE;
    auto hex = [&](uint8_t b) {
        out[n++] = static_cast<uint8_t>(kHex[b >> 4]);
        out[n++] = static_cast<uint8_t>(kHex[b & 15]);
    };
    if (varHeaders_) {
        out[n++] = 'b';
        hex(4);
    } else {
        out[n++] = 'B';
    }
    for (uint8_t b : raw) hex(b);
    hex(static_cast<uint8_t>(crc >> 8));
    hex(static_cast<uint8_t>(crc));
    out[n++] = 0x0D;
    out[n++] = 0x0A;
    if (type != ZACK && type != ZFIN) out[n++] = XON;
    lastSent_ = out[n - 1];
    SendBlock(out, n);
}

void ZModem::SendBinHeader(int type, const uint8_t hdr[4]) {
    uint8_t raw[5] = {static_cast<uint8_t>(type), hdr[0], hdr[1], hdr[2], hdr[3]};
    enc_.clear();
    enc_.push_back(ZPAD);
    enc_.push_back(ZDLE);
    char letter = txCrc32_ ? 'C' : 'A';
    if (varHeaders_) {
        enc_.push_back(static_cast<uint8_t>(letter + 32));
        lastSent_ = enc_.back();
        const uint8_t len = 4;
        Encode(&len, 1);
    } else {
        enc_.push_back(static_cast<uint8_t>(letter));
        lastSent_ = enc_.back();
    }
    Encode(raw, 5);
    if (txCrc32_) {
        uint32_t crc = ~Crc32(raw, 5);
        uint8_t c[4] = {uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
        Encode(c, 4);
    } else {
        uint16_t crc = Crc16(raw, 5);
        uint8_t c[2] = {uint8_t(crc >> 8), uint8_t(crc)};
        Encode(c, 2);
    }
    SendBlock(enc_.data(), enc_.size());
}

void ZModem::SendData(const uint8_t* p, size_t n, int end) {
    enc_.clear();
    if (n) Encode(p, n);
    enc_.push_back(ZDLE);
    enc_.push_back(static_cast<uint8_t>(end));
    lastSent_ = static_cast<uint8_t>(end);
    const uint8_t e = static_cast<uint8_t>(end);
    if (txCrc32_) {
        uint32_t crc = ~Crc32(&e, 1, Crc32(p, n));
        uint8_t c[4] = {uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
        Encode(c, 4);
    } else {
        uint16_t crc = Crc16(&e, 1, Crc16(p, n));
        uint8_t c[2] = {uint8_t(crc >> 8), uint8_t(crc)};
        Encode(c, 2);
    }
    SendBlock(enc_.data(), enc_.size());
}

void ZModem::SendPosHeader(int type, uint32_t pos, bool hex) {
    uint8_t h[4];
    StorePos(h, pos);
    if (hex)
        SendHexHeader(type, h);
    else
        SendBinHeader(type, h);
}

// ---- Receiving from the wire ----------------------------------------------------------------

// One ZDLE-decoded byte; kGot | letter for a subpacket end; ERR_CANCEL for five CANs.
int ZModem::ZdlRead(int timeoutMs) {
    int c;
    for (;;) {
        c = RecvByte(timeoutMs);
        if (c < 0) return c;
        if (c & 0x60) return c;
        if (c == ZDLE) break;
        if (IsFlow(c)) continue;
        if (dropCtl_) continue;  // noise: the sender escapes every control character
        return c;
    }
    int cans = 1;
    for (;;) {
        c = RecvByte(timeoutMs);
        if (c < 0) return c;
        if (c == CAN) {
            if (++cans >= 5) return ERR_CANCEL;
            continue;
        }
        if (cans > 1) return ERR_PROTOCOL;
        switch (c) {
            case ZCRCE:
            case ZCRCG:
            case ZCRCQ:
            case ZCRCW:
                return kGot | c;
            case 'l':
                return 0x7F;
            case 'm':
                return 0xFF;
            default:
                break;
        }
        if (IsFlow(c)) continue;
        if ((c & 0x60) == 0x40) return c ^ 0x40;
        return ERR_PROTOCOL;
    }
}

int ZModem::HexByte() {
    int v = 0;
    for (int k = 0; k < 2; ++k) {
        int c;
        do {
            c = RecvByte(timeoutMs_);
            if (c < 0) return c;
        } while (IsFlow(c));
        c &= 0x7F;
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else
            return ERR_PROTOCOL;
        v = v * 16 + d;
    }
    return v;
}

int ZModem::RecvBinHeader(uint8_t hdr[4], bool crc32, bool lengthByte) {
    int n = 4;
    if (lengthByte) {
        int c = ZdlRead(timeoutMs_);
        if (c < 0) return c == ERR_CANCEL ? ZCAN : c;
        if (c > 16) return ERR_PROTOCOL;  // kGot values included
        n = c;
    }
    uint8_t raw[17] = {};
    for (int i = 0; i <= n; ++i) {
        int c = ZdlRead(timeoutMs_);
        if (c < 0) return c == ERR_CANCEL ? ZCAN : c;
        if (c & kGot) return ERR_PROTOCOL;
        raw[i] = static_cast<uint8_t>(c);
    }
    const int checkLen = crc32 ? 4 : 2;
    uint8_t chk[4];
    for (int i = 0; i < checkLen; ++i) {
        int c = ZdlRead(timeoutMs_);
        if (c < 0) return c == ERR_CANCEL ? ZCAN : c;
        if (c & kGot) return ERR_PROTOCOL;
        chk[i] = static_cast<uint8_t>(c);
    }
    if (crc32) {
        uint32_t crc = ~Crc32(raw, static_cast<size_t>(n) + 1);
        if (crc !=
            (chk[0] | uint32_t(chk[1]) << 8 | uint32_t(chk[2]) << 16 | uint32_t(chk[3]) << 24))
            return ERR_PROTOCOL;
    } else {
        uint16_t crc = Crc16(raw, static_cast<size_t>(n) + 1);
        if (crc != (chk[0] << 8 | chk[1])) return ERR_PROTOCOL;
    }
    for (int i = 0; i < 4; ++i) hdr[i] = raw[i + 1];
    rxCrc32_ = crc32;
    return raw[0];
}

int ZModem::RecvHexHeader(uint8_t hdr[4], bool lengthByte) {
    int n = 4;
    if (lengthByte) {
        n = HexByte();
        if (n < 0) return n;
        if (n > 16) return ERR_PROTOCOL;
    }
    uint8_t raw[17] = {};
    for (int i = 0; i <= n; ++i) {
        int c = HexByte();
        if (c < 0) return c;
        raw[i] = static_cast<uint8_t>(c);
    }
    int hi = HexByte();
    if (hi < 0) return hi;
    int lo = HexByte();
    if (lo < 0) return lo;
    if (Crc16(raw, static_cast<size_t>(n) + 1) != (hi << 8 | lo)) return ERR_PROTOCOL;
    // The CR and LF that end the line.
    const int lineEnd = std::min(1000, timeoutMs_);
    int c = RecvByte(lineEnd);
    if (c >= 0 && (c & 0x7F) == 0x0D) RecvByte(lineEnd);
    for (int i = 0; i < 4; ++i) hdr[i] = raw[i + 1];
    rxCrc32_ = false;
    rxRle_ = false;
    return raw[0];
}

int ZModem::RecvHeader(uint8_t hdr[4], bool padSeen) {
    int garbage = 0;
    int cans = 0;
    int c = padSeen ? ZPAD : RecvByte(timeoutMs_);
    for (;;) {
        if (c < 0) return c;
        if (c == CAN) {
            if (++cans >= 5) return ZCAN;
            // Cancel sequences are often paced (this program's own sends one CAN per 100 ms):
            // the next CAN may take a little longer than that.
            c = RecvByte(std::min(kCanGapMs, timeoutMs_));
            if (c == ERR_TIMEOUT) {
                cans = 0;
                c = RecvByte(timeoutMs_);
            }
            continue;
        }
        cans = 0;
        if ((c & 0x7F) != ZPAD) {
            if (++garbage > garbageLimit_) return kGarbage;
            c = RecvByte(timeoutMs_);
            continue;
        }
        do {
            c = RecvByte(timeoutMs_);
        } while (c >= 0 && ((c & 0x7F) == ZPAD || IsFlow(c)));
        if (c < 0) return c;
        if (c != ZDLE) continue;
        do {
            c = RecvByte(timeoutMs_);
        } while (c >= 0 && IsFlow(c));
        if (c < 0) return c;
        if (c == CAN) {
            cans = 1;  // the ZDLE was the first CAN
            continue;
        }
        int r;
        const int letter = c & 0x7F;
        switch (letter) {
            case 'A':
            case 'a':
                r = RecvBinHeader(hdr, false, letter == 'a');
                rxRle_ = false;
                break;
            case 'C':
            case 'c':
            case 'D':
            case 'd':
                r = RecvBinHeader(hdr, true, letter == 'c' || letter == 'd');
                rxRle_ = letter == 'D' || letter == 'd';
                break;
            case 'B':
            case 'b':
                r = RecvHexHeader(hdr, letter == 'b');
                break;
            default:
                if (++garbage > garbageLimit_) return kGarbage;
                c = RecvByte(timeoutMs_);
                continue;
        }
        if (r >= 0 && letter >= 'a') varHeaders_ = true;
        return r;
    }
}

int ZModem::RecvData(uint8_t* buf, int max, int& len) {
    len = 0;
    // Run-length encoded data is never asked for (no CANRLE in ZRINIT) and is not decoded here:
    // refusing it fails the transfer cleanly instead of storing encoded bytes.
    if (rxRle_) return ERR_PROTOCOL;
    for (;;) {
        // Runs of bytes that need no decoding go straight from the input buffer, and so do bytes
        // escaped the plain way (ZDLE, then the byte with 0x40 flipped); the rest is ZdlRead's.
        const uint8_t* p = BufferedData();
        const uint8_t* stop = dropCtl_ ? kStopAll.data() : kStopPlain.data();
        const int n = Buffered();
        int i = 0;
        for (;;) {
            const int end = std::min(n, i + (max - len));
            int k = i;
            while (k < end && !stop[p[k]]) ++k;
            std::memcpy(buf + len, p + i, static_cast<size_t>(k - i));
            len += k - i;
            i = k;
            if (len >= max || i + 1 >= n || p[i] != ZDLE || (p[i + 1] & 0x60) != 0x40) break;
            buf[len++] = static_cast<uint8_t>(p[i + 1] ^ 0x40);
            i += 2;
        }
        Consume(i);
        int c = ZdlRead(timeoutMs_);
        if (c < 0) return c == ERR_CANCEL ? ZCAN : c;
        if (c & kGot) {
            const uint8_t e = static_cast<uint8_t>(c);
            const int checkLen = rxCrc32_ ? 4 : 2;
            uint8_t chk[4];
            for (int i = 0; i < checkLen; ++i) {
                int k = ZdlRead(timeoutMs_);
                if (k < 0) return k == ERR_CANCEL ? ZCAN : k;
                if (k & kGot) return ERR_PROTOCOL;
                chk[i] = static_cast<uint8_t>(k);
            }
            const size_t n = static_cast<size_t>(len);
            if (rxCrc32_) {
                uint32_t crc = ~Crc32(&e, 1, Crc32(buf, n));
                if (crc != (chk[0] | uint32_t(chk[1]) << 8 | uint32_t(chk[2]) << 16 |
                            uint32_t(chk[3]) << 24))
                    return ERR_PROTOCOL;
            } else {
                if (Crc16(&e, 1, Crc16(buf, n)) != (chk[0] << 8 | chk[1])) return ERR_PROTOCOL;
            }
            return c;
        }
        if (len >= max) return ERR_PROTOCOL;
        buf[len++] = static_cast<uint8_t>(c);
    }
}

// ---- Shared pieces --------------------------------------------------------------------------

void ZModem::Pause(int ms) {
    Flush();
    // In slices, so that the user's abort ends the pause at once.
    const auto until = Now() + std::chrono::milliseconds(Limit(ms));
    while (!Aborted()) {
        const long left = MsUntil(until);
        if (left <= 0) break;
        Sleep(static_cast<int>(std::min(left, 50L)));
    }
}

void ZModem::SendAttention() {
    // The sender chooses the pauses, but its string must not hold the receiver for long: all the
    // pauses of one attention together take at most kAttentionPauseMs.
    int pauseLeft = kAttentionPauseMs;
    for (unsigned char c : attn_) {
        if (Aborted()) break;
        if (c == 0xDD || c == 0xDE) {
            // 0xDD is a break: the line interface has none to send, so only its pause.
            const int ms = std::min(c == 0xDD ? 200 : 1000, pauseLeft);
            pauseLeft -= ms;
            if (ms > 0) Pause(ms);
        } else {
            SendByte(c);
        }
    }
    Flush();
}

void ZModem::SendCancel() {
    if (LineFailed() || !ctx_.line->IsOpen()) return;
    for (int i = 0; i < 8; ++i) {
        SendByte(CAN);
        Flush();
        // Paced even after an abort, so that a slow reader sees each CAN.
        Sleep(Limit(100));
    }
    for (int i = 0; i < 10; ++i) SendByte(BS);
    Flush();
}

void ZModem::NoteSkipped() {
    // Said in the status window's message line, so that a batch with skipped files does not
    // look like it lost them.
    if (ctx_.status) ctx_.status->SetField(TransField::Message, "ｽｷｯﾌﾟしたﾌｧｲﾙ: " + rxName_);
}

void ZModem::ShowRemaining(uint64_t total, uint64_t pos, long cps) {
    if (!ctx_.status || cps <= 0 || pos > total) return;
    long rest = static_cast<long>((total - pos) / static_cast<uint64_t>(cps));
    ctx_.status->SetField(TransField::Remaining, FormatRemaining(rest));
}

void ZModem::ShowRetries(int budget) {
    if (ctx_.status) ctx_.status->SetField(TransField::Retries, Format("%ld", 20 - budget));
}

// ---- Receiving ------------------------------------------------------------------------------

bool ZModem::Download() {
    if (ctx_.status) ctx_.status->SetTitle("ダウンロード中(0%)");
    if (!ctx_.management.empty()) {
        forcedMgmt_ = ParseManagement(ctx_.management);
        if (!forcedMgmt_) {
            ShowMessage("管理オプションが正しくありません: " + ctx_.management, MsgIcon::Stop);
            return false;
        }
    }
    int r = ReceiveBatch();
    if (r == kSessionDone) {
        if (!ctx_.received.empty()) ctx_.files = {ctx_.received.back()};
        return true;
    }
    CloseReceived(false);
    if (r != ZCAN) {
        SendCancel();
        ctx_.line->Purge();
        PurgeInput();
    }
    return false;
}

int ZModem::ReceiveBatch() {
    uint8_t hdr[4];
    int pending = ZRINIT;
    for (int attempt = 0; attempt < 15; ++attempt) {
        if (Aborted()) return kUserAbort;
        garbageLimit_ = kGarbageIdle;
        uint8_t tx[4] = {0, 0, 0, 0};
        if (pending == ZRINIT) {
            tx[ZF1] = CANVHDR;
            tx[ZF0] = static_cast<uint8_t>(escapeAll_ ? kRinitFlags | ESCCTL : kRinitFlags);
        }
        SendHexHeader(pending, tx);
        Flush();
        pending = ZRINIT;
        for (bool again = true; again;) {
            again = false;
            int t = RecvHeader(hdr);
            switch (t) {
                case ZRQINIT:
                    if (hdr[ZF3] & 0x80) varHeaders_ = true;
                    break;
                case ZFILE: {
                    conv_ = hdr[ZF0];
                    mgmt_ = hdr[ZF1];
                    transport_ = hdr[ZF2];
                    if (hdr[ZF3] & 0x01) varHeaders_ = true;
                    int len = 0;
                    int d = RecvData(data_.data(), kMaxInfo, len);
                    if (d == ZCAN) return ZCAN;
                    if (d != (kGot | ZCRCW)) {
                        SendPosHeader(ZNAK, 0, true);
                        Flush();
                        again = true;
                        break;
                    }
                    int o = OpenReceived(data_.data(), len);
                    if (o == kSkipped) {
                        NoteSkipped();
                        pending = ZSKIP;
                        attempt = -1;
                        break;
                    }
                    if (o != 0) return o;
                    int f = ReceiveFile();
                    if (f == kSkipped) NoteSkipped();
                    if (f != kFileDone && f != kSkipped) return f;
                    attempt = -1;
                    break;
                }
                case ZSINIT: {
                    SetEscapeAll(true);
                    if (hdr[ZF0] & TESCCTL) dropCtl_ = true;
                    // Up to 32 bytes and the NUL that ends them.
                    uint8_t buf[kMaxAttention + 1];
                    int len = 0;
                    int d = RecvData(buf, kMaxAttention + 1, len);
                    if (d == ZCAN) return ZCAN;
                    const size_t attnLen =
                        strnlen(reinterpret_cast<char*>(buf), static_cast<size_t>(len));
                    if (d == (kGot | ZCRCW) && attnLen <= kMaxAttention) {
                        attn_.assign(reinterpret_cast<char*>(buf), attnLen);
                        SendPosHeader(ZACK, 1, true);
                    } else {
                        SendPosHeader(ZNAK, 0, true);
                    }
                    Flush();
                    again = true;
                    break;
                }
                case ZFIN:
                    EndExchange();
                    return kSessionDone;
                case ZCOMPL:
                case ZFREECNT:
                    again = true;
                    break;
                case ZCOMMAND: {
                    int len = 0;
                    int d = RecvData(data_.data(), kMaxInfo, len);
                    if (d == ZCAN) return ZCAN;
                    if (d != (kGot | ZCRCW)) {
                        SendPosHeader(ZNAK, 0, true);
                        Flush();
                        again = true;
                        break;
                    }
                    // Commands from the far end are never run; the sender is told it completed.
                    for (int i = 0; i < 15; ++i) {
                        SendPosHeader(ZCOMPL, 0xFFFFFFFFu, true);
                        Flush();
                        int a = RecvHeader(hdr);
                        if (a == ZFIN) {
                            EndExchange();
                            return kSessionDone;
                        }
                        if (a == ZCAN) return ZCAN;
                    }
                    return kRetries;
                }
                case ZCAN:
                    return ZCAN;
                default:
                    break;
            }
        }
    }
    return kRetries;
}

void ZModem::EndExchange() {
    for (int i = 0; i < 3; ++i) {
        SendPosHeader(ZFIN, 0, true);
        Flush();
        const auto until = Now() + std::chrono::milliseconds(1000);
        for (;;) {
            const long left = MsUntil(until);
            if (left <= 0) break;
            int c = RecvByte(static_cast<int>(left));
            // Silence: the sender has gone (its "OO" may be lost with its tty); the session is
            // complete either way.
            if (c < 0) return;
            if (c == 'O') {
                c = RecvByte(100);
                if (c >= 0 && c != 'O') Unget();  // the host's text, already after "O"
                return;
            }
            if (c == ZPAD || c == ZDLE) {
                // The sender's ZFIN again: it did not hear ours, which the next round repeats.
                Unget();
                uint8_t hdr[4];
                if (RecvHeader(hdr) == ZFIN) break;
                continue;
            }
            // Anything else is what the host says once the sender has ended without its "OO"
            // reaching us: it stays for the terminal.
            Unget();
            return;
        }
    }
}

int ZModem::ReceiveFile() {
    uint8_t hdr[4];
    int budget = 20;
    garbageLimit_ = kGarbageStreaming;
    lastPercent_ = -1;
    ShowRetries(budget);
    ShowReceiveProgress(true);
    for (;;) {
        if (Aborted()) return kUserAbort;
        if (budget < 0) return kRetries;
        ShowRetries(budget);
        SendPosHeader(ZRPOS, static_cast<uint32_t>(rxPos_), true);
        Flush();
    nextHeader:
        int t = RecvHeader(hdr);
        switch (t) {
            case ZDATA:
                if (Pos(hdr) != static_cast<uint32_t>(rxPos_)) {
                    --budget;
                    SendAttention();
                    continue;
                }
                break;
            case ZNAK:
            case ERR_TIMEOUT:
                --budget;
                continue;
            case ZFILE: {
                int len = 0;
                RecvData(data_.data(), kMaxInfo, len);
                continue;
            }
            case ZEOF:
                if (Pos(hdr) != static_cast<uint32_t>(rxPos_)) goto nextHeader;
                ShowReceiveProgress(true);
                if (!FlushOut()) {
                    SendPosHeader(ZFERR, 0, true);
                    return ERR_PROTOCOL;
                }
                // A file that ends before its announced length did not cross completely: the
                // part stays for a resumed receive, and the transfer fails.
                if (rxLength_ > 0 && rxPos_ < static_cast<uint64_t>(rxLength_)) {
                    CloseReceived(false);
                    ShowMessage("ファイルが途中で終わりました。", MsgIcon::Stop);
                    return ERR_PROTOCOL;
                }
                CloseReceived(true);
                return kFileDone;
            case ZSKIP:
                CloseReceived(false);
                return kSkipped;
            case ZCAN:
                return ZCAN;
            default:
                --budget;
                if (t < 0) SendAttention();
                continue;
        }
        // Data loop.
        for (;;) {
            ShowReceiveProgress(false);
            if (Aborted()) return kUserAbort;
            int len = 0;
            int d = RecvData(data_.data(), kMaxData, len);
            if (d == ZCAN) return ZCAN;
            if (d == ERR_TIMEOUT) {
                --budget;
                break;
            }
            if (d < 0) {
                --budget;
                SendAttention();
                break;
            }
            if (!WriteOut(data_.data(), static_cast<size_t>(len))) {
                SendPosHeader(ZFERR, 0, true);
                Flush();
                return ERR_PROTOCOL;
            }
            rxPos_ += static_cast<uint64_t>(len);
            if (budget != 20) {
                budget = 20;
                ShowRetries(budget);
            }
            if (d == (kGot | ZCRCW)) {
                SendPosHeader(ZACK, static_cast<uint32_t>(rxPos_), true);
                SendByte(XON);
                Flush();
                goto nextHeader;
            }
            if (d == (kGot | ZCRCQ)) {
                SendPosHeader(ZACK, static_cast<uint32_t>(rxPos_), true);
                Flush();
                continue;
            }
            if (d == (kGot | ZCRCE)) goto nextHeader;
        }
    }
}

void ZModem::ShowReceiveProgress(bool force) {
    if (!ctx_.status) return;
    const auto now = Now();
    if (!force && now - lastShown_ < std::chrono::milliseconds(200)) return;
    lastShown_ = now;
    ctx_.status->SetField(TransField::Bytes, Format("%ldﾊﾞｲﾄ", static_cast<long>(rxPos_)));
    if (rxLength_ > 0) {
        int percent = static_cast<int>(std::min<uint64_t>(rxPos_ * 100 / uint64_t(rxLength_), 100));
        if (percent != lastPercent_) {
            lastPercent_ = percent;
            ctx_.status->SetPercent(percent);
            ctx_.status->SetTitle(Format("ダウンロード中(%ld%%)", percent));
        }
    }
    long e = ctx_.elapsedSeconds.load();
    if (e > 0) {
        long cps = static_cast<long>((rxPos_ - resumeStart_) / static_cast<uint64_t>(e));
        ctx_.status->SetField(TransField::Speed, Format("%ld CPS", cps));
        if (rxLength_ > 0) ShowRemaining(static_cast<uint64_t>(rxLength_), rxPos_, cps);
    }
}

bool ZModem::WriteOut(const uint8_t* p, size_t n) {
    if (textMode_) {
        // The line's CR LF becomes the local LF; a CR not followed by LF stays.
        for (size_t i = 0; i < n; ++i) {
            uint8_t c = p[i];
            if (pendingCr_) {
                pendingCr_ = false;
                if (c != '\n') wbuf_.push_back('\r');
            }
            if (c == '\r')
                pendingCr_ = true;
            else
                wbuf_.push_back(c);
        }
    } else {
        wbuf_.insert(wbuf_.end(), p, p + n);
    }
    if (wbuf_.size() >= kWriteChunk) return FlushOut();
    return !writeFailed_;
}

bool ZModem::FlushOut() {
    if (fd_ < 0) return false;
    if (!wbuf_.empty() && !writeFailed_ && !WriteFull(fd_, wbuf_.data(), wbuf_.size()))
        writeFailed_ = true;
    wbuf_.clear();
    return !writeFailed_;
}

void ZModem::CloseReceived(bool complete) {
    if (fd_ < 0) return;
    if (complete && pendingCr_) wbuf_.push_back('\r');
    pendingCr_ = false;
    FlushOut();
    if (complete && rxMtime_ > 0) {
        timespec times[2];
        times[0].tv_sec = 0;
        times[0].tv_nsec = UTIME_OMIT;
        times[1].tv_sec = static_cast<time_t>(rxMtime_);
        times[1].tv_nsec = 0;
        ::futimens(fd_, times);
    }
    ::close(fd_);
    fd_ = -1;
    if (complete && !writeFailed_) ctx_.received.push_back(rxPath_);
}

bool ZModem::CompareFileCrc(const std::filesystem::path& path, uint64_t localLen) {
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return false;
    uint32_t crc = 0xFFFFFFFFu;
    std::vector<uint8_t> buf(65536);
    for (;;) {
        ssize_t r = ReadFull(fd, buf.data(), buf.size());
        if (r <= 0) break;
        crc = Crc32(buf.data(), static_cast<size_t>(r), crc);
    }
    ::close(fd);
    SendPosHeader(ZCRC, static_cast<uint32_t>(localLen + 1), true);
    Flush();
    const int saved = timeoutMs_;
    timeoutMs_ = 60000;
    uint8_t hdr[4];
    int t = ERR_TIMEOUT;
    for (int i = 0; i < 10; ++i) {
        t = RecvHeader(hdr);
        if (t == ZCRC || t == ZCAN || t == ERR_TIMEOUT) break;
    }
    timeoutMs_ = saved;
    return t == ZCRC && Pos(hdr) == ~crc;
}

int ZModem::OpenReceived(const uint8_t* info, int len) {
    const char* s = reinterpret_cast<const char*>(info);
    size_t nameLen = strnlen(s, static_cast<size_t>(len));
    std::string name(s, nameLen);
    std::string rest;
    if (nameLen < static_cast<size_t>(len))
        rest.assign(s + nameLen + 1, static_cast<size_t>(len) - nameLen - 1);
    rest = rest.c_str();  // up to the next NUL
    long length = -1;
    long mtime = 0;
    std::sscanf(rest.c_str(), "%ld %lo", &length, &mtime);
    rxLength_ = length;
    rxMtime_ = mtime;
    rxPos_ = resumeStart_ = 0;
    writeFailed_ = false;
    pendingCr_ = false;
    wbuf_.clear();

    const std::optional<std::string> file = ReceivedFileName(name);
    rxName_ = file ? *file : FileNameToUtf8(name);
    if (ctx_.status) {
        ctx_.status->SetField(TransField::File, rxName_);
        if (length >= 0) ctx_.status->SetField(TransField::Size, Format("%ld ﾊﾞｲﾄ", length));
    }

    auto refuse = [&](const std::filesystem::path& path, int err) {
        ShowFileMessage("ファイルのオープンに失敗しました。", path, err);
        SendPosHeader(ZFERR, 0, true);
        Flush();
        return kOpenFailed;
    };
    // The sender's name never leaves the download folder, whatever folders it names.
    if (!file) return refuse(FileNameToUtf8(name), 0);
    rxPath_ = ctx_.downloadDir / *file;

    int conv = conv_;
    textMode_ = conv == ZCNL;
    const int mgmt = forcedMgmt_ ? *forcedMgmt_ : mgmt_;
    const int option = mgmt & 0x1F;

    enum class How { Write, Append, Resume, Skip } how = How::Write;
    struct stat st {};
    const bool exists = ::lstat(rxPath_.c_str(), &st) == 0;
    if (!exists) {
        if (mgmt & ZMSKNOLOC) return kSkipped;
        how = option == ZMAPND ? How::Append : How::Write;
    } else {
        const int64_t localLen = st.st_size;
        const int64_t localTime = st.st_mtime;
        // A user who said no to resuming is not overruled by the sender's request.
        const bool resumeAsked = conv == ZCRESUM && ctx_.resumeAnswer != 0;
        switch (option) {
            case ZMNEWL:
                if (!(mtime > localTime) && !(length > localLen)) how = How::Skip;
                break;
            case ZMCRC:
                if (resumeAsked) {
                    how = CompareFileCrc(rxPath_, static_cast<uint64_t>(localLen)) ? How::Resume
                                                                                   : How::Write;
                } else if (length == localLen &&
                           CompareFileCrc(rxPath_, static_cast<uint64_t>(localLen))) {
                    how = How::Skip;
                }
                break;
            case ZMAPND:
                how = How::Append;
                break;
            case ZMCLOB:
                break;
            case ZMNEW:
                if (!(mtime > localTime)) how = How::Skip;
                break;
            case ZMDIFF:
                if (mtime == localTime && length == localLen) how = How::Skip;
                break;
            case ZMPROT:
                how = How::Skip;
                break;
            case ZMCHNG: {
                std::string file = rxPath_.filename().string();
                std::string stem = file.substr(0, file.find('.'));
                bool found = false;
                for (int n = 0; n < 0x1000 && !found; ++n) {
                    char ext[8];
                    std::snprintf(ext, sizeof ext, ".%03x", n);
                    auto candidate = rxPath_.parent_path() / (stem + ext);
                    struct stat cst {};
                    if (::lstat(candidate.c_str(), &cst) != 0) {
                        rxPath_ = candidate;
                        found = true;
                    }
                }
                if (!found) return refuse(rxPath_, EEXIST);
                break;
            }
            default:
                if (resumeAsked) {
                    how = How::Resume;
                } else {
                    int answer = ctx_.resumeAnswer;
                    if (answer < 0)
                        answer = ctx_.platform &&
                                         ctx_.platform->MessageBox(
                                             "すでに同名のﾌｧｲﾙが存在します。ﾘｼﾞｭｰﾑしますか？",
                                             MsgIcon::Question, MsgButtons::YesNo) == MsgResult::Yes
                                     ? 1
                                     : 0;
                    how = answer == 1 ? How::Resume : How::Write;
                }
                break;
        }
        // A local file longer than the one offered is no beginning of it.
        if (how == How::Resume && length >= 0 && localLen > length) how = How::Write;
    }
    if (how == How::Skip) return kSkipped;

    int flags = O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC;
    flags |= how == How::Write ? O_TRUNC : O_APPEND;
    fd_ = ::open(rxPath_.c_str(), flags, 0644);
    if (fd_ < 0) return refuse(rxPath_, errno);
    struct stat ost {};
    if (::fstat(fd_, &ost) != 0 || !S_ISREG(ost.st_mode)) {
        ::close(fd_);
        fd_ = -1;
        return refuse(rxPath_, 0);
    }
    if (how == How::Resume) rxPos_ = resumeStart_ = static_cast<uint64_t>(ost.st_size);
    return 0;
}

// ---- Sending --------------------------------------------------------------------------------

bool ZModem::Upload() {
    if (ctx_.status) ctx_.status->SetTitle("アップロード中(0%)");
    if (ctx_.files.empty()) return false;
    uint64_t total = 0;
    for (const auto& f : ctx_.files) {
        int fd = ::open(f.c_str(), O_RDONLY | O_CLOEXEC);
        const int err = fd < 0 ? errno : 0;
        struct stat st {};
        if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || st.st_size > 0xFFFFFFFFll) {
            if (fd >= 0) ::close(fd);
            ShowFileMessage("ファイルのオープンに失敗しました。", f, err);
            return false;
        }
        ::close(fd);
        total += static_cast<uint64_t>(st.st_size);
    }
    garbageLimit_ = kGarbageIdle;
    SendPosHeader(ZRQINIT, 0, true);
    Flush();
    int r = GetReceiverInit();
    if (r != ZRINIT) {
        if (Aborted()) SendCancel();
        return false;
    }
    int left = static_cast<int>(ctx_.files.size());
    for (const auto& f : ctx_.files) {
        int s = SendOneFile(f, left, total);
        if (txFd_ >= 0) {
            ::close(txFd_);
            txFd_ = -1;
        }
        if (s != kFileDone && s != kSkipped) {
            if (s != kUserAbort && Aborted()) SendCancel();
            return false;
        }
        --left;
        total -= std::min<uint64_t>(total, txSize_);
    }
    EndSession();
    return true;
}

int ZModem::GetReceiverInit() {
    uint8_t hdr[4];
    for (int headers = 0; headers < 10; ++headers) {
        for (;;) {
            int c = RecvByte(80000);
            if (c < 0) return c;
            if (c == CAN) {
                c = RecvByte(2000);
                if (c == CAN) return ZCAN;
            }
            if (c >= 0 && (c & 0x7F) == ZPAD) break;
        }
        int t = RecvHeader(hdr, true);
        switch (t) {
            case ZRINIT: {
                const uint8_t flags = hdr[ZF0];
                txCrc32_ = (flags & CANFC32) != 0;
                if (hdr[ZF1] & CANVHDR) varHeaders_ = true;
                if (flags & ESCCTL) SetEscapeAll(true);
                rxbuflen_ = hdr[0] | uint32_t(hdr[1]) << 8;
                if (rxbuflen_ != 0 && (rxbuflen_ < 32 || rxbuflen_ > 1024)) rxbuflen_ = 1024;
                return ZRINIT;
            }
            case ZCHALLENGE:
                SendHexHeader(ZACK, hdr);
                break;
            case ZCOMMAND:
                SendPosHeader(ZRQINIT, 0, true);
                break;
            case ZRQINIT:
                if (hdr[ZF0] != ZCOMMAND) SendPosHeader(ZNAK, 0, true);
                break;
            case ZCAN:
            case ERR_TIMEOUT:
                return t;
            default:
                SendPosHeader(ZNAK, 0, true);
                break;
        }
        Flush();
    }
    return kRetries;
}

bool ZModem::SeekTo(uint32_t pos) {
    if (pos > txSize_) return false;
    fileAt_ = fileLen_ = 0;
    fileEnd_ = false;
    lastQuery_ = lastLook_ = pos;
    return ::lseek(txFd_, static_cast<off_t>(pos), SEEK_SET) == static_cast<off_t>(pos);
}

long ZModem::NextBlock(size_t want, const uint8_t*& block) {
    if (fileLen_ - fileAt_ < want && !fileEnd_) {
        // Reads ahead in large pieces: one read of the file for many blocks.
        constexpr size_t kReadAhead = 65536;
        if (fileBuf_.size() < kReadAhead) fileBuf_.resize(kReadAhead);
        std::memmove(fileBuf_.data(), fileBuf_.data() + fileAt_, fileLen_ - fileAt_);
        fileLen_ -= fileAt_;
        fileAt_ = 0;
        const size_t room = fileBuf_.size() - fileLen_;
        const long r = ReadFull(txFd_, fileBuf_.data() + fileLen_, room);
        if (r < 0) return -1;
        fileLen_ += static_cast<size_t>(r);
        fileEnd_ = static_cast<size_t>(r) < room;
    }
    const size_t n = std::min(want, fileLen_ - fileAt_);
    block = fileBuf_.data() + fileAt_;
    fileAt_ += n;
    return static_cast<long>(n);
}

int ZModem::SendOneFile(const std::filesystem::path& path, int filesLeft, uint64_t bytesLeft) {
    txFd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (txFd_ < 0 || ::fstat(txFd_, &st) != 0) {
        ShowFileMessage("ファイルのオープンに失敗しました。", path, errno);
        return kOpenFailed;
    }
    txSize_ = static_cast<uint64_t>(st.st_size);
    txPos_ = lastAck_ = 0;
    lastSync_ = -1;
    txEof_ = false;
    syncRepeats_ = 0;
    blockLen_ = 1024;
    crcAnswer_.reset();
    lastPercent_ = -1;

    const std::string shown = SentFileName(path.string());
    std::string info = FileNameInCode(shown, ctx_.fileNameCode);
    info.push_back('\0');
    char tail[128];
    std::snprintf(tail, sizeof tail, "%lu %lo 0 0 %d %lu", static_cast<unsigned long>(txSize_),
                  static_cast<unsigned long>(st.st_mtime), filesLeft,
                  static_cast<unsigned long>(bytesLeft));
    info += tail;
    info.push_back('\0');
    if (ctx_.status) {
        ctx_.status->SetField(TransField::File, shown);
        ctx_.status->SetField(TransField::Size, Format("%ld ﾊﾞｲﾄ", static_cast<long>(txSize_)));
    }

    uint8_t hdr[4];
    int errors = 0;
    for (;;) {
        const uint8_t zero[4] = {0, 0, 0, 0};
        SendBinHeader(ZFILE, zero);
        SendData(reinterpret_cast<const uint8_t*>(info.data()), info.size(), ZCRCW);
        Flush();
        bool pad = false;
        for (bool again = true; again;) {
            again = false;
            int t = RecvHeader(hdr, pad);
            pad = false;
            switch (t) {
                case ZRPOS: {
                    uint32_t pos = Pos(hdr);
                    if (!SeekTo(pos)) {
                        SendPosHeader(ZFERR, 0, true);
                        Flush();
                        return ERR_PROTOCOL;
                    }
                    txPos_ = lastAck_ = pos;
                    lastSync_ = static_cast<int64_t>(pos) - 1;
                    return SendFileData();
                }
                case ZSKIP:
                case ZFERR:
                    return kSkipped;
                case ZCRC: {
                    uint32_t want = Pos(hdr);
                    if (!crcAnswer_ || crcAnswer_->first != want) {
                        // The first (position - 1) bytes; 0 asks for the whole file.
                        uint64_t count = want == 0 ? txSize_ : want - 1;
                        uint32_t crc = 0xFFFFFFFFu;
                        ::lseek(txFd_, 0, SEEK_SET);
                        std::vector<uint8_t> buf(65536);
                        while (count > 0) {
                            ssize_t r =
                                ReadFull(txFd_, buf.data(), std::min<uint64_t>(count, buf.size()));
                            if (r <= 0) break;
                            crc = Crc32(buf.data(), static_cast<size_t>(r), crc);
                            count -= static_cast<uint64_t>(r);
                        }
                        crcAnswer_ = std::make_pair(want, ~crc);
                    }
                    SendPosHeader(ZCRC, crcAnswer_->second, false);
                    Flush();
                    again = true;
                    break;
                }
                case ZRINIT: {
                    int c;
                    do {
                        c = RecvByte(5000);
                    } while (c >= 0 && (c & 0x7F) != ZPAD);
                    if (c >= 0) {
                        pad = true;
                        again = true;
                    } else if (++errors >= 10) {
                        return kRetries;
                    }
                    break;
                }
                case ZABORT:
                case ZFIN:
                case ZCAN:
                    return ZCAN;
                case ERR_TIMEOUT:
                    return ERR_TIMEOUT;
                default:
                    if (++errors >= 10) return kRetries;
                    break;
            }
        }
    }
}

int ZModem::SendFileData() {
    for (;;) {
        // a: a data frame from the transmit position.
        SendPosHeader(ZDATA, static_cast<uint32_t>(txPos_), false);
        int64_t newCount = rxbuflen_;
        int junk = 0;
        int answer = 0;
        bool atEof = false;
        for (;;) {
            if (Aborted()) {
                SendCancel();
                return kUserAbort;
            }
            const uint8_t* block = nullptr;
            const long n = NextBlock(static_cast<size_t>(blockLen_), block);
            if (n < 0) return ERR_PROTOCOL;
            const bool eof = n < blockLen_;
            int end;
            if (eof)
                end = ZCRCE;
            else if (junk >= 4 || static_cast<int64_t>(txPos_) == lastSync_)
                end = ZCRCW;
            else if (rxbuflen_ != 0 && newCount - n <= 0)
                end = ZCRCW;
            else if (txPos_ + static_cast<uint64_t>(n) - lastQuery_ >= kQueryEvery)
                end = ZCRCQ;
            else
                end = ZCRCG;
            newCount -= n;
            SendData(block, static_cast<size_t>(n), end);
            txPos_ += static_cast<uint64_t>(n);
            if (end == ZCRCQ) lastQuery_ = txPos_;
            ShowSendProgress(false);
            if (eof) {
                atEof = true;
                break;
            }
            if (end == ZCRCW) {
                Flush();
                answer = Sync(false, false);
                break;
            }
            // d: a look at the back channel now and then, without waiting: silence is normal
            // while streaming, and a look per subpacket would cost a system call each.
            const bool look = txPos_ - lastLook_ >= kLookEvery || !InputBufferEmpty();
            if (look) lastLook_ = txPos_;
            if (look && PollInput()) {
                int c = RecvByte(0);
                if (c >= 0 && IsFlow(c) && (c & 0x7F) == XOFF) {
                    Flush();
                    RecvByte(10000);
                    ++junk;
                } else if (c == CAN || (c >= 0 && (c & 0x7F) == ZPAD)) {
                    Flush();
                    answer = Sync(true, c != CAN, true);
                    if (answer != ZACK) {
                        SendData(nullptr, 0, ZCRCE);
                        break;
                    }
                } else if (c >= 0 && !IsFlow(c)) {
                    ++junk;
                }
            }
            if (txPos_ - lastAck_ >= kWindow) {
                SendData(nullptr, 0, ZCRCQ);
                Flush();
                while (txPos_ - lastAck_ >= kWindow) {
                    answer = Sync(false, false, true);
                    if (answer != ZACK) break;
                }
                if (answer != ZACK) {
                    SendData(nullptr, 0, ZCRCE);
                    break;
                }
            }
        }
        if (atEof) {
            ShowSendProgress(true);
            int tries = 0;
            for (;;) {
                if (++tries > 10) return kRetries;
                SendPosHeader(ZEOF, static_cast<uint32_t>(txPos_), false);
                Flush();
                int r = Sync(false, false);
                if (r == ZACK) continue;
                if (r == ZRPOS) break;
                if (r == ZRINIT || r == ZSKIP) return r == ZRINIT ? kFileDone : kSkipped;
                return r < 0 ? r : ERR_PROTOCOL;
            }
            continue;  // a ZRPOS: back to sending data
        }
        int r = AfterAnswer(answer);
        if (r != 0) return r;
    }
}

// e: what follows the receiver's answer to a waiting subpacket; 0 to go on sending.
int ZModem::AfterAnswer(int answer) {
    for (;;) {
        if (answer == ZACK || answer == ZRPOS) {
            Flush();
            if (!PollInput()) return 0;
            int c = RecvByte(0);
            if (c >= 0 && (c & 0x7F) == XOFF) {
                RecvByte(10000);
                return 0;
            }
            if (c == CAN || (c >= 0 && (c & 0x7F) == ZPAD)) {
                answer = Sync(true, c != CAN);
                continue;
            }
            return 0;
        }
        if (answer == ZSKIP) return kSkipped;
        if (answer == ZRINIT) return kFileDone;
        return answer < 0 ? answer : ERR_PROTOCOL;
    }
}

int ZModem::Sync(bool anyAck, bool padSeen, bool inFrame) {
    uint8_t hdr[4];
    bool nudged = false;
    for (int errors = 0; errors < 20;) {
        int t = RecvHeader(hdr, padSeen);
        padSeen = false;
        switch (t) {
            case ZACK:
                rewinds_ = 0;
                lastAck_ = Pos(hdr);
                if (anyAck || Pos(hdr) == static_cast<uint32_t>(txPos_)) return ZACK;
                break;
            case ZRPOS: {
                uint32_t pos = Pos(hdr);
                txEof_ = false;
                rewinds_ = 0;
                if (!SeekTo(pos)) return ERR_PROTOCOL;  // beyond the file
                txPos_ = lastAck_ = pos;
                if (static_cast<int64_t>(pos) == lastSync_) {
                    if (++syncRepeats_ > 4) blockLen_ = std::max(32, blockLen_ / 2);
                }
                lastSync_ = pos;
                return ZRPOS;
            }
            case ZSKIP:
            case ZRINIT:
                return t;
            case ERR_TIMEOUT:
                if (nudged) return t;
                nudged = true;
                [[fallthrough]];
            case ERR_PROTOCOL:
            case kGarbage:
                // The answer was spoilt or lost on the line (most often a ZRPOS). Start again
                // from the last position the receiver acknowledged: a receiver that has more
                // answers the new frame with its own position.
                if (++rewinds_ > 20) return kRetries;
                if (inFrame) SendData(nullptr, 0, ZCRCE);
                if (!SeekTo(static_cast<uint32_t>(lastAck_))) return ERR_PROTOCOL;
                txEof_ = false;
                txPos_ = lastAck_;
                lastSync_ = static_cast<int64_t>(lastAck_);
                return ZRPOS;
            default:
                ++errors;
                SendPosHeader(ZNAK, 0, true);
                Flush();
                break;
            case ZCAN:
            case ZABORT:
            case ZFIN:
                return ZCAN;
        }
    }
    return kRetries;
}

void ZModem::ShowSendProgress(bool force) {
    if (!ctx_.status || txSize_ == 0) return;
    const auto now = Now();
    if (!force && now - lastShown_ < std::chrono::milliseconds(200)) return;
    lastShown_ = now;
    ctx_.status->SetField(TransField::Bytes, Format("%ldﾊﾞｲﾄ", static_cast<long>(txPos_)));
    int percent = static_cast<int>(std::min<uint64_t>(txPos_ * 100 / txSize_, 100));
    if (percent != lastPercent_) {
        lastPercent_ = percent;
        ctx_.status->SetPercent(percent);
        ctx_.status->SetTitle(Format("アップロード中(%ld%%)", percent));
    }
    long e = ctx_.elapsedSeconds.load();
    if (e > 0) {
        long cps = static_cast<long>(txPos_ / static_cast<uint64_t>(e));
        ctx_.status->SetField(TransField::Speed, Format("%ld CPS", cps));
        ShowRemaining(txSize_, txPos_, cps);
    }
}

void ZModem::EndSession() {
    uint8_t hdr[4];
    for (int i = 0; i < 10; ++i) {
        SendPosHeader(ZFIN, 0, true);
        Flush();
        int t = RecvHeader(hdr);
        if (t == ZFIN) {
            const uint8_t oo[2] = {'O', 'O'};
            SendBlock(oo, 2);
            Flush();
            return;
        }
        if (t == ZCAN || t == ERR_TIMEOUT) return;
    }
}

}  // namespace marlo

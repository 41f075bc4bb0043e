#include "transfer/TransEngine.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

#include "transfer/ProgressText.h"

namespace marlo {

void CTransEngine::TakeUnread(std::vector<uint8_t>& out) {
    if (rindex_ < rcount_) out.insert(out.end(), rbuf_ + rindex_, rbuf_ + rcount_);
    rindex_ = rcount_ = 0;
}

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int k = 0; k < 8; ++k)
            c = static_cast<uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
        t[i] = c;
    }
    return t;
}
// Table k gives the CRC of a byte followed by k zero bytes, so that eight bytes fold in at once.
using Crc32Tables = std::array<std::array<uint32_t, 256>, 8>;
constexpr Crc32Tables MakeCrc32Tables() {
    Crc32Tables t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[0][i] = c;
    }
    for (int k = 1; k < 8; ++k)
        for (int i = 0; i < 256; ++i) t[k][i] = (t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF];
    return t;
}
constexpr auto kCrc16 = MakeCrc16Table();
constexpr Crc32Tables kCrc32Tables = MakeCrc32Tables();
constexpr const std::array<uint32_t, 256>& kCrc32 = kCrc32Tables[0];

}  // namespace

CTransEngine::CTransEngine(TransferContext& ctx) : ctx_(ctx) {
    out_.reserve(4096);
}

uint16_t CTransEngine::UpdateCrc16(uint8_t c, uint16_t crc) {
    return static_cast<uint16_t>(kCrc16[crc >> 8] ^ static_cast<uint16_t>(crc << 8) ^ c);
}

uint32_t CTransEngine::UpdateCrc32(uint8_t c, uint32_t crc) {
    return kCrc32[(crc ^ c) & 0xFF] ^ (crc >> 8);
}

uint16_t CTransEngine::Crc16(const uint8_t* p, size_t n, uint16_t crc) {
    // The table-driven form that takes the data byte at the high end (no trailing zero bytes).
    for (size_t i = 0; i < n; ++i)
        crc = static_cast<uint16_t>(kCrc16[((crc >> 8) ^ p[i]) & 0xFF] ^
                                    static_cast<uint16_t>(crc << 8));
    return crc;
}

uint32_t CTransEngine::Crc32(const uint8_t* p, size_t n, uint32_t crc) {
    const auto& t = kCrc32Tables;
    for (; n >= 8; n -= 8, p += 8) {
        const uint32_t lo = crc ^ (p[0] | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                                   uint32_t(p[3]) << 24);
        crc = t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF] ^ t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24] ^
              t[3][p[4]] ^ t[2][p[5]] ^ t[1][p[6]] ^ t[0][p[7]];
    }
    for (size_t i = 0; i < n; ++i) crc = kCrc32[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

int CTransEngine::Refill(int timeoutMs) {
    rindex_ = rcount_ = 0;
    if (!Flush()) return ERR_TIMEOUT;
    const auto deadline = Now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Aborted() || !ctx_.line->IsOpen()) return ERR_TIMEOUT;
        const long left = MsUntil(deadline);
        if (left < 0) return ERR_TIMEOUT;
        // Waits in slices so that an abort request is seen within a fraction of a second.
        int n = ctx_.line->ReadLineData(rbuf_, sizeof rbuf_,
                                        static_cast<int>(std::min<long>(left, 200)));
        if (n > 0) {
            rcount_ = n;
            rindex_ = 1;
            return rbuf_[0];
        }
        if (left == 0) return ERR_TIMEOUT;
    }
}

bool CTransEngine::PollInput() {
    if (rindex_ < rcount_) return true;
    int n = ctx_.line->ReadLineData(rbuf_, sizeof rbuf_, 0);
    if (n <= 0) return false;
    rcount_ = n;
    rindex_ = 0;
    return true;
}

int CTransEngine::WaitForByte(uint8_t b, int timeoutMs) {
    const auto deadline = Now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const long left = MsUntil(deadline);
        if (left <= 0) return ERR_TIMEOUT;
        int c = RecvByte(static_cast<int>(left));
        if (c == b) return b;
        if (c < 0) return c;
    }
}

void CTransEngine::SendByte(uint8_t b) {
    out_.push_back(b);
    if (out_.size() >= sendChunk_) Flush();
}

void CTransEngine::SendBlock(const uint8_t* p, size_t n) {
    out_.insert(out_.end(), p, p + n);
    if (out_.size() >= sendChunk_) Flush();
}

bool CTransEngine::Flush() {
    if (out_.empty()) return !lineFailed_;
    bool ok = ctx_.line->WriteRaw(out_.data(), out_.size());
    out_.clear();
    if (!ok) lineFailed_ = true;
    return ok;
}

void CTransEngine::PurgeInput() {
    rindex_ = rcount_ = 0;
    while (ctx_.line->ReadLineData(rbuf_, sizeof rbuf_, 0) > 0) {
    }
}

int CTransEngine::Limit(int ms) const {
    double scaled = ms * ctx_.timeScale;
    if (!(scaled >= 1.0)) return 1;
    return scaled > 3600000.0 ? 3600000 : static_cast<int>(std::lround(scaled));
}

std::chrono::steady_clock::time_point CTransEngine::Now() const {
    return ctx_.clock ? ctx_.clock->Now() : std::chrono::steady_clock::now();
}

void CTransEngine::Sleep(int ms) {
    if (ctx_.clock)
        ctx_.clock->Sleep(std::chrono::milliseconds(ms));
    else
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

long CTransEngine::MsUntil(std::chrono::steady_clock::time_point deadline) const {
    return static_cast<long>(
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Now()).count());
}

void CTransEngine::ShowField(TransField field, const std::string& utf8) {
    if (ctx_.status) ctx_.status->SetField(field, utf8);
}

void CTransEngine::ShowTitles(const std::string& statusTitle, const std::string& mainTitle) {
    if (!ctx_.status) return;
    if (!statusTitle.empty()) ctx_.status->SetStatusTitle(statusTitle);
    if (!mainTitle.empty()) ctx_.status->SetTitle(mainTitle);
}

void CTransEngine::ReportProgress(long bytes, long size, bool upload, const char* bytesFormat) {
    if (!ctx_.status) return;
    char text[64];
    std::snprintf(text, sizeof text, bytesFormat, bytes);
    ctx_.status->SetField(TransField::Bytes, text);
    ProgressFigures f = ComputeProgress(bytes, size, ctx_.elapsedSeconds.load());
    if (f.percent >= 0) {
        ctx_.status->SetPercent(f.percent);
        ctx_.status->SetTitle(FormatTitlePercent(upload, f.percent));
    }
    if (f.cps >= 0) ctx_.status->SetField(TransField::Speed, FormatCps(f.cps));
    if (f.remaining >= 0)
        ctx_.status->SetField(TransField::Remaining, FormatRemaining(f.remaining));
}

void CTransEngine::ShowMessage(const std::string& utf8, MsgIcon icon) {
    if (ctx_.platform)
        ctx_.platform->MessageBox(utf8, icon);
    else if (ctx_.status)
        ctx_.status->SetField(TransField::Message, utf8);
}

void CTransEngine::ShowFileMessage(const std::string& utf8, const std::filesystem::path& path,
                                   int err) {
    if (ctx_.platform || !ctx_.status) {
        ShowMessage(utf8, MsgIcon::Stop);
        return;
    }
    std::string text = utf8 + " " + path.string();
    if (err != 0) text += std::string(": ") + std::strerror(err);
    ctx_.status->SetField(TransField::Message, text);
}

bool CTransEngine::AskYesNo(const std::string& utf8, bool whenNobody) {
    if (!ctx_.platform) return whenNobody;
    return ctx_.platform->MessageBox(utf8, MsgIcon::Question, MsgButtons::YesNo) == MsgResult::Yes;
}

void CTransEngine::NoteUserAbort() {
    if (ctx_.platform && !ctx_.abortSound.empty()) ctx_.platform->PlaySound(ctx_.abortSound, false);
    ShowTitles(kTextAborting, kTextAborting);
}

void CTransEngine::SendCancelSequence() {
    for (int i = 0; i < 5; ++i) {
        SendByte(0x18);
        if (!Flush()) return;  // the line is gone: nobody to pace the CANs for
        // The pause lets a receiver that reads slowly see each CAN on its own.
        Sleep(Limit(100));
    }
}

int CTransEngine::PeekByte(int timeoutMs) {
    int c = RecvByte(timeoutMs);
    if (c >= 0) --rindex_;
    return c;
}

void CTransEngine::DrainInput(int quietMs, int capMs) {
    const auto cap = Now() + std::chrono::milliseconds(capMs);
    rindex_ = rcount_ = 0;
    while (Now() < cap && !Aborted()) {
        if (RecvByte(quietMs) < 0) break;
        rindex_ = rcount_ = 0;
    }
}

bool CTransEngine::DiscardStale() {
    bool cancelled = false;
    int run = 0;
    while (PollInput()) {
        for (; rindex_ < rcount_; ++rindex_) {
            run = rbuf_[rindex_] == 0x18 ? run + 1 : 0;
            if (run >= 2) cancelled = true;
        }
    }
    return cancelled;
}

std::filesystem::path CTransEngine::WithDefaultDir(const std::filesystem::path& p,
                                                   bool upload) const {
    const auto& dir = upload ? ctx_.uploadDir : ctx_.downloadDir;
    if (p.has_parent_path() || p.is_absolute() || dir.empty()) return p;
    return dir / p;
}

int CTransEngine::OpenForSending(const std::filesystem::path& path, struct stat& st) {
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    int err = errno;
    st = {};
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        fd = -1;
        err = 0;
    }
    if (fd < 0) ShowFileMessage("ファイルのオープンに失敗しました.", path, err);
    return fd;
}

bool CTransEngine::WriteFull(int fd, const uint8_t* p, size_t n) {
    while (n > 0) {
        ssize_t w = ::write(fd, p, n);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) return false;
        p += w;
        n -= static_cast<size_t>(w);
    }
    return true;
}

long CTransEngine::ReadFull(int fd, uint8_t* p, size_t n) {
    size_t got = 0;
    while (got < n) {
        ssize_t r = ::read(fd, p + got, n - got);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return -1;
        if (r == 0) break;
        got += static_cast<size_t>(r);
    }
    return static_cast<long>(got);
}

}  // namespace marlo

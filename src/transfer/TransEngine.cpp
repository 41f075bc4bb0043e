#include "transfer/TransEngine.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace marlo {

namespace {

constexpr std::array<uint16_t, 256> MakeCrc16Table() {
    std::array<uint16_t, 256> t{};
    for (int i = 0; i < 256; ++i) {
        uint16_t c = static_cast<uint16_t>(i << 8);
        for (int k = 0; k < 8; ++k) c = static_cast<uint16_t>((c & 0x8000) ? (c << 1) ^ 0x1021 : c << 1);
        t[i] = c;
    }
    return t;
}
constexpr std::array<uint32_t, 256> MakeCrc32Table() {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
        uint32_t c = i;
        for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
        t[i] = c;
    }
    return t;
}
constexpr auto kCrc16 = MakeCrc16Table();
constexpr auto kCrc32 = MakeCrc32Table();

}  // namespace

CTransEngine::CTransEngine(TransferContext& ctx) : ctx_(ctx) { out_.reserve(4096); }

uint16_t CTransEngine::UpdateCrc16(uint8_t c, uint16_t crc) {
    return static_cast<uint16_t>(kCrc16[crc >> 8] ^ static_cast<uint16_t>(crc << 8) ^ c);
}

uint32_t CTransEngine::UpdateCrc32(uint8_t c, uint32_t crc) {
    return kCrc32[(crc ^ c) & 0xFF] ^ (crc >> 8);
}

uint16_t CTransEngine::Crc16(const uint8_t* p, size_t n, uint16_t crc) {
    // The table-driven form that takes the data byte at the high end (no trailing zero bytes).
    for (size_t i = 0; i < n; ++i)
        crc = static_cast<uint16_t>(kCrc16[((crc >> 8) ^ p[i]) & 0xFF] ^ static_cast<uint16_t>(crc << 8));
    return crc;
}

uint32_t CTransEngine::Crc32(const uint8_t* p, size_t n, uint32_t crc) {
    for (size_t i = 0; i < n; ++i) crc = kCrc32[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
    return crc;
}

std::optional<std::filesystem::path> CTransEngine::ConfineReceivedName(
    const std::filesystem::path& dir, const std::string& name) {
    // Take the last component of either separator; refuse what would leave the folder.
    size_t cut = name.find_last_of("/\\");
    std::string last = cut == std::string::npos ? name : name.substr(cut + 1);
    std::string clean;
    for (unsigned char c : last)
        if (c >= 0x20 && c != 0x7F && c != ':') clean.push_back(static_cast<char>(c));
    while (!clean.empty() && (clean.back() == ' ' || clean.back() == '.')) clean.pop_back();
    if (clean.empty() || clean == "." || clean == "..") return std::nullopt;
    return dir / clean;
}

int CTransEngine::RecvByte(int timeoutMs) {
    if (rindex_ < rcount_) return rbuf_[rindex_++];
    if (!Flush()) return ERR_TIMEOUT;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (Aborted() || !ctx_.line->IsOpen()) return ERR_TIMEOUT;
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left < 0) return ERR_TIMEOUT;
        // Waits in slices so that an abort request is seen within a fraction of a second.
        int n = ctx_.line->ReadLineData(rbuf_, sizeof rbuf_, static_cast<int>(std::min<long>(left, 200)));
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
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                        deadline - std::chrono::steady_clock::now())
                        .count();
        if (left <= 0) return ERR_TIMEOUT;
        int c = RecvByte(static_cast<int>(left));
        if (c == b) return b;
        if (c < 0) return c;
    }
}

void CTransEngine::SendByte(uint8_t b) {
    out_.push_back(b);
    if (out_.size() >= 4096) Flush();
}

void CTransEngine::SendBlock(const uint8_t* p, size_t n) {
    out_.insert(out_.end(), p, p + n);
    if (out_.size() >= 4096) Flush();
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
    uint8_t scratch[4096];
    while (ctx_.line->ReadLineData(scratch, sizeof scratch, 0) > 0) {
    }
}

}  // namespace marlo

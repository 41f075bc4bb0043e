// What the fuzz targets share: choices read off the fuzzer's bytes, a failed check that libFuzzer
// reports with its input, a line that plays a scripted far end to a transfer engine, the folder a
// receiver writes into with the check that nothing got out of it, and a sender's XMODEM/YMODEM
// blocks.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "line/LineIo.h"
#include "support/TempDir.h"
#include "support/TransferKit.h"
#include "transfer/TransEngine.h"

namespace marlo::fuzz {

// A broken invariant: libFuzzer keeps the input that led here.
[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what.c_str());
    std::abort();
}

// Two results that must be equal; the failure shows where they part.
inline void ExpectSame(const std::string& a, const std::string& b, const std::string& what) {
    if (a == b) return;
    size_t i = 0;
    while (i < a.size() && i < b.size() && a[i] == b[i]) ++i;
    auto around = [i](const std::string& s) {
        std::string out;
        for (size_t k = i < 16 ? 0 : i - 16; k < std::min(s.size(), i + 16); ++k) {
            char hex[4];
            std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(s[k]));
            out += hex;
            out += k + 1 == i ? '|' : ' ';
        }
        return out;
    };
    Fail(what + " (at byte " + std::to_string(i) + " of " + std::to_string(a.size()) + "/" +
         std::to_string(b.size()) + ")\n  " + around(a) + "\n  " + around(b));
}

// Takes choices off the front of the fuzzer's bytes; past the end every choice is 0.
class Input {
  public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    bool Empty() const { return p_ == end_; }
    size_t Left() const { return static_cast<size_t>(end_ - p_); }
    uint8_t Byte() { return p_ == end_ ? 0 : *p_++; }
    bool Flag() { return Byte() & 1; }
    // 0 .. n-1 (n at most 65536).
    int Below(int n) { return n <= 256 ? Byte() % n : (Byte() << 8 | Byte()) % n; }
    uint32_t Word() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v = v << 8 | Byte();
        return v;
    }
    // Up to `n` bytes, fewer at the end of the input.
    std::string Bytes(size_t n) {
        n = std::min(n, Left());
        std::string s(reinterpret_cast<const char*>(p_), n);
        p_ += n;
        return s;
    }
    std::string Rest() { return Bytes(Left()); }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// The far end of a transfer as a fixed script: what it sends, in order, with quiet spells between.
// It is also the engine's clock, which moves only while the engine waits or pauses, so that a run
// takes no real time: the engine gets the script as fast as it reads; a quiet spell keeps the line
// silent for a few milliseconds of that clock (the engine's time limits are scaled down to match,
// so it times out); when the script is spent the far end hangs up. What the engine sends changes
// nothing in the script.
class ScriptedLine : public ILineIo, public ITransferClock {
  public:
    static constexpr std::chrono::milliseconds kQuiet{2};
    // How much a script holds before the targets stop adding to it: more of the same adds nothing
    // new, and a short run lets the fuzzer try many more inputs.
    static constexpr size_t kFull = 48 * 1024;

    void Send(const std::string& bytes) {
        segments_.back() += bytes;
        size_ += bytes.size();
    }
    void Send(const std::vector<uint8_t>& bytes) {
        segments_.back().append(bytes.begin(), bytes.end());
        size_ += bytes.size();
    }
    void Quiet() { segments_.emplace_back(); }
    bool Full() const { return size_ >= kFull; }

    std::string written;
    std::chrono::steady_clock::time_point Now() override { return now_; }
    void Sleep(std::chrono::milliseconds ms) override { now_ += ms; }

    LineKind Kind() const override { return LineKind::Stream; }
    int ReadLineData(uint8_t* buf, int max, int timeoutMs) override {
        for (;;) {
            if (quietUntil_) {
                if (*quietUntil_ > now_) {
                    now_ = std::min(*quietUntil_, now_ + std::chrono::milliseconds(timeoutMs));
                    return 0;
                }
                quietUntil_.reset();
                NextSegment();
            }
            if (segment_ >= segments_.size()) return 0;
            const std::string& s = segments_[segment_];
            if (at_ < s.size()) {
                int n =
                    static_cast<int>(std::min<size_t>(static_cast<size_t>(max), s.size() - at_));
                std::copy_n(s.data() + at_, n, buf);
                at_ += static_cast<size_t>(n);
                return n;
            }
            if (segment_ + 1 >= segments_.size()) {
                segment_ = segments_.size();  // spent: the far end hangs up
                return 0;
            }
            quietUntil_ = now_ + kQuiet;
        }
    }
    // What the engine sent is kept (its first kFull x 4 bytes) for the targets that check it.
    bool WriteRaw(const uint8_t* buf, size_t n) override {
        if (written.size() < 4 * kFull) written.append(reinterpret_cast<const char*>(buf), n);
        return IsOpen();
    }
    bool IsOpen() const override { return segment_ < segments_.size(); }
    // What has arrived is the rest of the current segment.
    void Purge() override {
        if (segment_ < segments_.size()) at_ = segments_[segment_].size();
    }

  private:
    void NextSegment() {
        ++segment_;
        at_ = 0;
    }

    std::vector<std::string> segments_{std::string()};
    size_t size_ = 0;
    size_t segment_ = 0;
    size_t at_ = 0;
    std::chrono::steady_clock::time_point now_{};
    std::optional<std::chrono::steady_clock::time_point> quietUntil_;
};

// A line that keeps what is written to it: a sender's wire level builds frames into it.
class CaptureLine : public ILineIo {
  public:
    LineKind Kind() const override { return LineKind::Stream; }
    int ReadLineData(uint8_t*, int, int) override { return 0; }
    bool WriteRaw(const uint8_t* buf, size_t n) override {
        out.append(reinterpret_cast<const char*>(buf), n);
        return true;
    }
    bool IsOpen() const override { return true; }
    // What was written since the last call.
    std::string Take() { return std::exchange(out, std::string()); }

    std::string out;
};

// The download folder of a run, in a scratch folder that also holds a file the receiver must never
// reach: a symbolic link to it waits in the download folder under `kLinkName`.
class DownloadArea {
  public:
    static constexpr const char* kLinkName = "f1";

    DownloadArea() : dir_(scratch_.path / "dl"), outside_(scratch_.path / "outside") {
        std::filesystem::create_directory(dir_);
        test::WriteWhole(outside_.string(), "outside");
        std::filesystem::create_symlink(outside_, dir_ / kLinkName);
    }

    // Nothing beside the download folder changed, and inside it there are only plain files and
    // the link as it was.
    void CheckConfined() const {
        for (const auto& e : std::filesystem::directory_iterator(scratch_.path))
            if (e.path() != dir_ && e.path() != outside_)
                Fail("written outside the download folder: " + e.path().string());
        if (test::ReadWhole(outside_.string()) != "outside") Fail("the file outside was changed");
        for (const auto& e : std::filesystem::directory_iterator(dir_)) {
            if (e.path().filename() == kLinkName) {
                std::error_code ec;
                if (!e.is_symlink() || std::filesystem::read_symlink(e.path(), ec) != outside_)
                    Fail("the planted link was replaced");
            } else if (!e.is_regular_file() || e.is_symlink()) {
                Fail("not a plain file in the download folder: " + e.path().string());
            }
        }
    }

    const std::filesystem::path& Dir() const { return dir_; }
    // Whether a received file is in the download folder itself.
    bool Inside(const std::filesystem::path& p) const { return p.parent_path() == dir_; }

  private:
    test::TempDir scratch_;
    std::filesystem::path dir_;
    std::filesystem::path outside_;
};

inline std::string FileText(const std::filesystem::path& p) {
    return test::ReadWhole(p.string());
}

inline bool IsPrefix(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

// Checks each file a receiver reports complete when the next file begins (before anything can
// write it again) and at the end of the run (Finish).
class ReceivedFiles : public ITransferStatus {
  public:
    using Check = std::function<void(const std::filesystem::path&, const std::string& content)>;
    ReceivedFiles(const TransferContext& ctx, Check check) : ctx_(ctx), check_(std::move(check)) {}
    void SetField(TransField field, const std::string&) override {
        if (field == TransField::File) Finish();
    }
    void SetTitle(const std::string&) override {}
    void Finish() {
        for (; checked_ < ctx_.received.size(); ++checked_)
            check_(ctx_.received[checked_], FileText(ctx_.received[checked_]));
    }

  private:
    const TransferContext& ctx_;
    Check check_;
    size_t checked_ = 0;
};

// The content every file of a run carries: `n` bytes that exercise the escapes of the protocols
// (ZDLE, flow control, CR after '@', 0x1A), from a seed. '*' (ZPAD) is left out, so that no header
// can hide in the data of a frame the receiver passes over.
inline std::string FileContent(size_t n, uint32_t seed) {
    static const uint8_t kSpecial[] = {0x18, 0x11, 0x13, 0x91, 0x93, 0x10, 0x0D, 0x8D,
                                       '@',  0x1A, 0x00, 0xFF, 0x7F, 0x04, 0x15, 0x06};
    std::string s(n, '\0');
    uint32_t x = seed | 1;
    for (auto& c : s) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        uint8_t b = (x >> 8) % 4 == 0 ? kSpecial[(x >> 16) % sizeof kSpecial] : uint8_t(x >> 24);
        if ((b & 0x7F) == '*') b = 'x';
        c = static_cast<char>(b);
    }
    return s;
}

// An XMODEM/YMODEM sender's data blocks over one content: block k of `length` bytes carries the
// content from (k - 1) x `length` on, padded with 0x1A. A receiver that took blocks 1 to k of one
// length in order holds the beginning of Padded().
class BlockSender {
  public:
    explicit BlockSender(const std::string& content) : content_(content) {}

    std::vector<uint8_t> Block(int number, int length, bool crc) const {
        const size_t at =
            static_cast<size_t>(std::max(number - 1, 0)) * static_cast<size_t>(length);
        std::string data =
            at < content_.size() ? content_.substr(at, static_cast<size_t>(length)) : "";
        data.resize(static_cast<size_t>(length), '\x1a');
        return test::MakeBlock(number, std::vector<uint8_t>(data.begin(), data.end()), crc);
    }
    // The content padded far enough for any file a receiver can have taken.
    std::string Padded(size_t size) const {
        std::string s = content_;
        s.resize(std::max(size, s.size()), '\x1a');
        return s;
    }

  private:
    const std::string& content_;
};

// The script of an XMODEM or YMODEM sender over one content, with blocks of one length: the steps
// both protocols share. A sender is honest while every block it sends is one of the content's;
// noise, blocks of made-up data, damaged blocks or blocks of another length make it dishonest.
// Noise and made-up blocks can also hold a block 0 of their own (`forged`).
class BlockScript {
  public:
    static constexpr int kSteps = 8;

    BlockScript(ScriptedLine& line, const std::string& content, int length, bool crc)
        : line_(line), blocks_(content), length_(length), crc_(crc) {}

    // Step `step` (0 .. kSteps - 1), its details read from `in`.
    void Step(int step, Input& in) {
        switch (step) {
            case 0:  // the next block; now and then checked the other way
                Send(blocks_.Block(next_++, length_, in.Below(8) == 0 ? !crc_ : crc_));
                break;
            case 1:  // the last one again
                Send(blocks_.Block(std::max(next_ - 1, 1), length_, crc_));
                break;
            case 2:  // one block lost on the way
                next_ += 1;
                Send(blocks_.Block(next_++, length_, crc_));
                break;
            case 3:
                line_.Send(std::string(1, '\x04'));
                break;
            case 4:
                line_.Send(in.Flag() ? "\x18\x18" : "\x18");
                break;
            case 5:
                if (++quiet_ <= 20) line_.Quiet();
                break;
            case 6:  // line noise
                honest = false;
                forged = true;
                line_.Send(in.Bytes(in.Below(140)));
                break;
            default: {
                honest = false;
                const int length = in.Flag() ? 128 : 1024;
                std::vector<uint8_t> block;
                if (in.Flag()) {  // made-up data under the next number
                    forged = true;
                    std::string data = in.Bytes(static_cast<size_t>(length));
                    data.resize(static_cast<size_t>(length));
                    block = test::MakeBlock(next_++, std::vector<uint8_t>(data.begin(), data.end()),
                                            crc_);
                } else {  // a block damaged on the way, or of the other length
                    block = blocks_.Block(next_, length, crc_);
                    const size_t at = static_cast<size_t>(in.Below(static_cast<int>(block.size())));
                    block[at] ^= static_cast<uint8_t>(1 + in.Below(255));
                }
                Send(block);
                break;
            }
        }
    }
    // A new file starts at block 1.
    void NewFile() { next_ = 1; }
    const BlockSender& Blocks() const { return blocks_; }

    bool honest = true;
    bool forged = false;

  private:
    void Send(const std::vector<uint8_t>& block) { line_.Send(block); }

    ScriptedLine& line_;
    BlockSender blocks_;
    int length_;
    bool crc_;
    int next_ = 1;
    int quiet_ = 0;
};

// A file name as a sender offers it: "f0" to "f3" (f1 is the link DownloadArea plants), a hostile
// one (folders, "..", control bytes), or made-up bytes up to `mostMadeUp` after which no length
// can be relied on (`lengthKnown` is then cleared). A NUL ends the name where the receiver reads
// it, so that what follows the NUL, not the announced length, is the length it reads: a name
// holding one also clears `lengthKnown`.
inline std::string OfferedName(Input& in, size_t mostMadeUp, bool& lengthKnown) {
    switch (in.Below(4)) {
        case 0:
        case 1:
            return "f" + std::to_string(in.Below(4));
        case 2: {
            std::string name = in.Bytes(in.Below(24));
            if (name.find('\0') != std::string::npos) lengthKnown = false;
            return name;
        }
        default:
            lengthKnown = false;
            return in.Bytes(in.Below(static_cast<int>(mostMadeUp) + 1));
    }
}

// What each target does with one input.
void FuzzOne(Input& in);

}  // namespace marlo::fuzz

// libFuzzer's set-up: the folders of the runs go to memory (/dev/shm) unless TMPDIR says where,
// since making and removing them on a disk file system costs more than the run itself.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    struct stat st {};
    if (!std::getenv("TMPDIR") && ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) &&
        ::access("/dev/shm", W_OK) == 0)
        ::setenv("TMPDIR", "/dev/shm", 0);
    return 0;
}

// libFuzzer's entry point: every target is one source file that includes this header.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    marlo::fuzz::Input in(data, size);
    marlo::fuzz::FuzzOne(in);
    return 0;
}

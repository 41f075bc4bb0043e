// The common base of the file-transfer engines: byte-level receive through a 16 KB buffer,
// buffered byte and block send, CRC-16/CCITT and CRC-32, and what every engine shares of the
// transfer's context (line, status window, abort request, folders).
#pragma once

#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "line/LineIo.h"
#include "platform/Platform.h"

namespace marlo {

// Result codes of the engines' internal operations (a byte value 0..255 otherwise).
enum TransResult : int {
    ERR_PROTOCOL = -1000,
    ERR_TIMEOUT = -1001,
    ERR_RETRYMAX = -1002,
    ERR_BLOCKNUM = -1003,
    ERR_EOT = -1004,
    ERR_CANCEL = -1005,
    // How a file's run ended in the XMODEM family: the file went across (the value of EOT), or
    // the other side cancelled (the value of CAN).
    TRANS_DONE = 4,
    TRANS_CANCELLED = 24,
};

// The fields of the transfer status window "転送中".
enum class TransField { File, Size, Protocol, Retries, Elapsed, Bytes, Speed, Remaining, Message };

// Where an engine reports progress: the status window in the GUI, stderr in marlo-cli. Texts are
// UTF-8. Called from the transfer thread.
class ITransferStatus {
  public:
    virtual ~ITransferStatus() = default;
    virtual void SetField(TransField field, const std::string& utf8) = 0;
    // The main window's title during the transfer ("アップロード中(%d%%)" and the like).
    virtual void SetTitle(const std::string& utf8) = 0;
    // The status window's own title ("ダウンロード中", "アボート中").
    virtual void SetStatusTitle(const std::string&) {}
    // Percent done: the progress bar and the "%d％" field.
    virtual void SetPercent(int) {}
};

// Where the engines read the time and wait: the steady clock unless a test brings its own (the fuzz
// targets play whole transfers on a clock that moves only when they say, so nothing really waits).
class ITransferClock {
  public:
    virtual ~ITransferClock() = default;
    virtual std::chrono::steady_clock::time_point Now() = 0;
    virtual void Sleep(std::chrono::milliseconds ms) = 0;
};

// Everything an engine may use of the one transfer that runs.
struct TransferContext {
    ILineIo* line = nullptr;
    ITransferStatus* status = nullptr;
    IPlatform* platform = nullptr;    // questions and messages; may be null (nobody to ask)
    std::atomic<bool> abort{false};   // the user asked to cancel
    std::atomic<bool> running{true};  // the status window is open
    std::atomic<long> elapsedSeconds{0};
    std::filesystem::path downloadDir;
    std::filesystem::path uploadDir;
    // Download: the file to write (XMODEM) or empty (batch protocols name their files).
    // Upload: the files to send. After the run: the name actually received, if any.
    std::vector<std::filesystem::path> files;
    std::vector<std::filesystem::path> received;  // files completely received
    int protocol = 0;
    // The answer to a resume question when nobody can be asked: -1 ask, 0 no, 1 yes. No also
    // overrules a sender that asks to resume.
    int resumeAnswer = -1;
    // Quick-VAN: the answer to "stop, an equal file exists?" when nobody can be asked: -1 ask,
    // 0 keep the file (the download ends), 1 overwrite it.
    int overwriteAnswer = -1;
    // Quick-VAN: our window limit (0: 30 when receiving, 15 when sending).
    int windowLimit = 0;
    std::string management;  // ZMODEM management option forced for tests ("" = as sent)
    // The code of the file names a sender announces (`FileNameCode`, FileNames.h).
    int fileNameCode = 0;
    // The sound played when the user aborts ("" silent).
    std::string abortSound;
    // Multiplies every protocol time limit (tests shorten them; 1 in use).
    double timeScale = 1.0;
    ITransferClock* clock = nullptr;  // null: the steady clock
};

class CTransEngine {
  public:
    explicit CTransEngine(TransferContext& ctx);
    virtual ~CTransEngine() = default;
    CTransEngine(const CTransEngine&) = delete;
    CTransEngine& operator=(const CTransEngine&) = delete;

    // Runs the whole transfer; true when every file crossed completely.
    virtual bool Download() = 0;
    virtual bool Upload() = 0;
    // After the run: bytes read from the line that the protocol did not use (what the host sent
    // right after the session, such as its prompt), in order.
    void TakeUnread(std::vector<uint8_t>& out);

    static uint16_t UpdateCrc16(uint8_t c, uint16_t crc);
    static uint32_t UpdateCrc32(uint8_t c, uint32_t crc);
    // CRC-16/XMODEM and CRC-32 (ISO 3309) of a whole block.
    static uint16_t Crc16(const uint8_t* p, size_t n, uint16_t crc = 0);
    static uint32_t Crc32(const uint8_t* p, size_t n, uint32_t crc = 0xFFFFFFFFu);

  protected:
    // The next received byte, or ERR_TIMEOUT after `timeoutMs` of silence (or when the transfer was
    // aborted or its window closed). Sends what is queued before it waits.
    int RecvByte(int timeoutMs) { return rindex_ < rcount_ ? rbuf_[rindex_++] : Refill(timeoutMs); }
    // The received bytes already buffered, for decoders that take them in runs: Buffered() of
    // them start at BufferedData(); Consume(n) takes n of them. Unget() gives back the byte that
    // RecvByte took last.
    const uint8_t* BufferedData() const { return rbuf_ + rindex_; }
    int Buffered() const { return rcount_ - rindex_; }
    void Consume(int n) { rindex_ += n; }
    void Unget() { --rindex_; }
    // Reads until byte `b` arrives: b, or ERR_TIMEOUT.
    int WaitForByte(uint8_t b, int timeoutMs);
    // Queues bytes for the line; they go out when a send chunk is queued (4096 bytes unless set
    // otherwise), at Flush or before a wait.
    void SendByte(uint8_t b);
    void SendBlock(const uint8_t* p, size_t n);
    void SetSendChunk(size_t n) { sendChunk_ = n; }
    // Sends what is queued; false when the line refused it.
    bool Flush();
    // Drops received bytes not yet taken (after an error, before a retry).
    void PurgeInput();
    // True when no received byte is waiting in the buffer (the line may still hold some).
    bool InputBufferEmpty() const { return rindex_ >= rcount_; }
    // Takes what the line has now without waiting; true when at least one byte is buffered.
    bool PollInput();
    bool Aborted() const { return ctx_.abort.load() || !ctx_.running.load(); }
    bool LineFailed() const { return lineFailed_; }

    // A protocol time limit scaled by the context's time scale (at least 1 ms).
    int Limit(int ms) const;
    // The time, and a pause, on the context's clock.
    std::chrono::steady_clock::time_point Now() const;
    void Sleep(int ms);
    // Milliseconds until `deadline` (negative once passed).
    long MsUntil(std::chrono::steady_clock::time_point deadline) const;
    // Status reporting; all of these are no-ops when there is no status sink.
    void ShowField(TransField field, const std::string& utf8);
    void ShowTitles(const std::string& statusTitle, const std::string& mainTitle);
    // After a block: bytes in "転送ﾃﾞｰﾀ" (`bytesFormat`, "%ld ﾊﾞｲﾄ" or "%ldﾊﾞｲﾄ"); with a known
    // size the percent and the title; with elapsed seconds the speed and the time remaining.
    void ReportProgress(long bytes, long size, bool upload, const char* bytesFormat);
    // A message for the user (the platform's box, or the status sink's message line).
    void ShowMessage(const std::string& utf8, MsgIcon icon);
    // A file that could not be opened, created, read or written: the message (stop icon); on the
    // status sink's message line followed by the path and the reason (`err`, an errno value; 0
    // for none), since no dialog there shows which file it was.
    void ShowFileMessage(const std::string& utf8, const std::filesystem::path& path, int err);
    // A yes/no question; `whenNobody` is the answer when there is nobody to ask.
    bool AskYesNo(const std::string& utf8, bool whenNobody);
    // What every engine but ZMODEM does first on a user abort: the abort sound and "アボート中".
    void NoteUserAbort();
    // CAN five times with 100 ms pauses, sent at once.
    void SendCancelSequence();
    // The next received byte without taking it, or ERR_TIMEOUT.
    int PeekByte(int timeoutMs);
    // Reads and drops bytes until `quietMs` pass without one (at most `capMs` in all).
    void DrainInput(int quietMs, int capMs);
    // Drops what has already arrived without waiting; true when it held two CANs in a row (the
    // other side cancelled).
    bool DiscardStale();
    // A path given without a folder is taken from the download or upload folder.
    std::filesystem::path WithDefaultDir(const std::filesystem::path& p, bool upload) const;
    // Opens a regular file to send: its descriptor (and its status in `st`), or -1 after the
    // message "ファイルのオープンに失敗しました.".
    int OpenForSending(const std::filesystem::path& path, struct stat& st);
    // Whole-buffer file writes and reads on a descriptor. ReadFull returns the count (short only at
    // the end of the file) or -1.
    static bool WriteFull(int fd, const uint8_t* p, size_t n);
    static long ReadFull(int fd, uint8_t* p, size_t n);

    TransferContext& ctx_;

  private:
    // Waits for the line and returns the first byte it brings (RecvByte when the buffer is empty).
    int Refill(int timeoutMs);

    uint8_t rbuf_[16384];
    int rcount_ = 0;
    int rindex_ = 0;
    std::vector<uint8_t> out_;
    size_t sendChunk_ = 4096;
    bool lineFailed_ = false;
};

}  // namespace marlo

// ZMODEM (Chuck Forsberg's protocol): receiving a batch with crash recovery and the file
// management options, sending files with streaming, window and error recovery.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "transfer/TransEngine.h"

namespace marlo {

class ZModem : public CTransEngine {
  public:
    // Frame types.
    enum Frame : int {
        ZRQINIT = 0,
        ZRINIT = 1,
        ZSINIT = 2,
        ZACK = 3,
        ZFILE = 4,
        ZSKIP = 5,
        ZNAK = 6,
        ZABORT = 7,
        ZFIN = 8,
        ZRPOS = 9,
        ZDATA = 10,
        ZEOF = 11,
        ZFERR = 12,
        ZCRC = 13,
        ZCHALLENGE = 14,
        ZCOMPL = 15,
        ZCAN = 16,
        ZFREECNT = 17,
        ZCOMMAND = 18,
    };
    // Subpacket ends, and what the data reader returns for them (the letter plus 0x100).
    enum End : int { ZCRCE = 'h', ZCRCG = 'i', ZCRCQ = 'j', ZCRCW = 'k' };
    static constexpr int kGot = 0x100;
    // Results beside frame types and ERR_*.
    static constexpr int kGarbage = -4;
    static constexpr int kRetries = -8;
    // Management options (ZF1 of ZFILE).
    enum Management : int {
        ZMNEWL = 1,
        ZMCRC = 2,
        ZMAPND = 3,
        ZMCLOB = 4,
        ZMNEW = 5,
        ZMDIFF = 6,
        ZMPROT = 7,
        ZMCHNG = 8,
        ZMSKNOLOC = 0x80,
    };
    // Conversion options (ZF0 of ZFILE).
    enum Conversion : int { ZCBIN = 1, ZCNL = 2, ZCRESUM = 3 };

    // The longest data subpacket accepted (senders with 8 KB blocks), and the longest file
    // information or command.
    static constexpr int kMaxData = 8192;
    static constexpr int kMaxInfo = 1024;
    static constexpr int kMaxAttention = 32;  // longest attention string accepted
    // The longest the pauses of one attention string may take together (0xDE 1 s, 0xDD 200 ms
    // each): a hostile string cannot stall the receiver.
    static constexpr int kAttentionPauseMs = 3000;
    static constexpr uint32_t kWindow = 31744;
    // A streaming sender asks for an acknowledgement (ZCRCQ) every quarter window, so that the
    // answer is back before the window fills and the stream never stops to wait for it.
    static constexpr uint32_t kQueryEvery = kWindow / 4;
    // How often (in bytes sent) a streaming sender looks at the back channel.
    static constexpr uint32_t kLookEvery = 8192;

    explicit ZModem(TransferContext& ctx);
    ~ZModem() override;

    bool Download() override;
    bool Upload() override;

    // "ZMCRC", "crc", "2", "0x82" and the like: the option number, or nullopt when unknown.
    static std::optional<int> ParseManagement(const std::string& name);

    // The wire level, reachable for tests.
    void SendHexHeader(int type, const uint8_t hdr[4]);
    void SendBinHeader(int type, const uint8_t hdr[4]);
    void SendData(const uint8_t* p, size_t n, int end);
    // A frame type, ZCAN, ERR_TIMEOUT, ERR_PROTOCOL (bad check value, bad length) or kGarbage.
    // `padSeen`: the first ZPAD was already taken from the line.
    int RecvHeader(uint8_t hdr[4], bool padSeen = false);
    // kGot | end letter, ZCAN, ERR_TIMEOUT or ERR_PROTOCOL (bad escape, bad check value, longer
    // than `max`). `len` is the number of data bytes.
    int RecvData(uint8_t* buf, int max, int& len);
    bool Flush() { return CTransEngine::Flush(); }

    void SetEscapeAll(bool on);
    void SetVarHeaders(bool on) { varHeaders_ = on; }
    void SetSendCrc32(bool on) { txCrc32_ = on; }
    bool VarHeaders() const { return varHeaders_; }
    bool EscapeAll() const { return escapeAll_; }
    int BlockLength() const { return blockLen_; }
    void SetTimeout(int ms) { timeoutMs_ = ms; }
    const std::string& Attention() const { return attn_; }
    static uint32_t Pos(const uint8_t hdr[4]) {
        return hdr[0] | uint32_t(hdr[1]) << 8 | uint32_t(hdr[2]) << 16 | uint32_t(hdr[3]) << 24;
    }
    static void StorePos(uint8_t hdr[4], uint32_t pos) {
        hdr[0] = uint8_t(pos);
        hdr[1] = uint8_t(pos >> 8);
        hdr[2] = uint8_t(pos >> 16);
        hdr[3] = uint8_t(pos >> 24);
    }

  private:
    // Header byte indexes of the flags (the reverse of the position bytes).
    static constexpr int ZF0 = 3, ZF1 = 2, ZF2 = 1, ZF3 = 0;

    void Encode(const uint8_t* p, size_t n);
    int ZdlRead(int timeoutMs);
    int HexByte();
    int RecvBinHeader(uint8_t hdr[4], bool crc32, bool lengthByte);
    int RecvHexHeader(uint8_t hdr[4], bool lengthByte);
    void SendPosHeader(int type, uint32_t pos, bool hex);
    void SendAttention();
    void SendCancel();
    // A protocol pause (scaled by the context's time scale) that the user's abort ends.
    void Pause(int ms);
    void NoteSkipped();

    // Receiving.
    int ReceiveBatch();
    int ReceiveFile();
    int OpenReceived(const uint8_t* info, int len);
    bool CompareFileCrc(const std::filesystem::path& path, uint64_t localLen);
    void EndExchange();
    bool WriteOut(const uint8_t* p, size_t n);
    bool FlushOut();
    void CloseReceived(bool complete);
    void ShowReceiveProgress(bool force);
    void ShowRetries(int budget);

    // Sending.
    int GetReceiverInit();
    int SendOneFile(const std::filesystem::path& path, int filesLeft, uint64_t bytesLeft);
    int SendFileData();
    // Waits for the receiver's answer. `inFrame`: a data frame is still open (no ZCRCE/ZCRCW sent).
    int Sync(bool anyAck, bool padSeen, bool inFrame = false);
    int AfterAnswer(int answer);
    bool SeekTo(uint32_t pos);
    // The next block of the file (up to `want` bytes, fewer only at its end) from the read-ahead
    // buffer; its length, or -1 when the file cannot be read.
    long NextBlock(size_t want, const uint8_t*& block);
    void ShowSendProgress(bool force);
    void EndSession();

    void ShowRemaining(uint64_t total, uint64_t pos, long cps);

    // Wire state.
    bool varHeaders_ = false;
    bool escapeAll_ = false;
    bool txCrc32_ = false;
    bool rxCrc32_ = false;  // check type of the data that follows the last header
    bool rxRle_ = false;    // the last header announced run-length encoded data
    bool dropCtl_ = false;  // the sender escapes every control character: unescaped ones are noise
    int garbageLimit_ = 2400;
    const uint8_t* escTable_;
    uint8_t lastSent_ = 0;
    int timeoutMs_ = 10000;
    int blockLen_ = 1024;
    std::vector<uint8_t> enc_;
    std::string attn_;

    // Receiver.
    int conv_ = 0, mgmt_ = 0, transport_ = 0;
    int fd_ = -1;
    std::filesystem::path rxPath_;
    int64_t rxLength_ = -1;
    std::string rxName_;  // the file being received, as shown (UTF-8)
    int64_t rxMtime_ = 0;
    uint64_t rxPos_ = 0;
    uint64_t resumeStart_ = 0;
    bool textMode_ = false;
    bool pendingCr_ = false;
    std::vector<uint8_t> wbuf_;
    bool writeFailed_ = false;
    std::vector<uint8_t> data_;
    std::optional<int> forcedMgmt_;

    // Sender.
    int txFd_ = -1;
    uint64_t txSize_ = 0;
    uint64_t txPos_ = 0, lastAck_ = 0;
    int64_t lastSync_ = -1;
    bool txEof_ = false;
    int syncRepeats_ = 0;
    int rewinds_ = 0;        // consecutive restarts after a spoilt answer
    uint32_t rxbuflen_ = 0;  // 0: the receiver takes a full stream
    std::vector<uint8_t> fileBuf_;  // read ahead from txPos_: fileAt_ .. fileLen_
    size_t fileAt_ = 0, fileLen_ = 0;
    bool fileEnd_ = false;  // the read-ahead reached the end of the file
    uint64_t lastQuery_ = 0, lastLook_ = 0;
    std::optional<std::pair<uint32_t, uint32_t>> crcAnswer_;  // position, CRC

    std::chrono::steady_clock::time_point lastShown_{};
    int lastPercent_ = -1;
};

}  // namespace marlo

// Quick-VAN: a windowed protocol of 128-byte blocks. The receiver asks with NAK, the sender offers
// its options in a long control packet and the receiver answers in a short packet; then per file
// an information packet (number, name, size, date and time), the receiver's restart position,
// numbered data blocks acknowledged every half window, and an end-of-file packet. EOT ends the
// session. Long packets carry binary data; short packets are ASCII lines ended by CR.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "transfer/TransEngine.h"

namespace marlo {

class CQuickVan : public CTransEngine {
  public:
    static constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, CR = 0x0D, NAK = 0x15,
                             CAN = 0x18;
    static constexpr int kBlock = 128;
    static constexpr int kLongPacket = 132;

    // The negotiated options, each as its ASCII digit (the window as a number).
    struct Options {
        char version = '1';
        char retryMethod = '0';
        int window = 1;
        char optionNumber = '1';
        char optionFunc1 = '1';
    };

    explicit CQuickVan(TransferContext& ctx);
    ~CQuickVan() override;

    bool Download() override;
    bool Upload() override;

    // Reads an offer (the initialisation packet's data) or a reply: the options agreed with our
    // window limit, or nullopt when a value is outside what the protocol allows.
    static std::optional<Options> AgreeOptions(const uint8_t* fields, size_t n, int windowLimit);
    // The fields of the option reply 'R' for agreed options.
    static std::string ReplyFields(const Options& o);
    // A short packet: STX, type, sequence byte, fields, check byte, CR.
    static std::vector<uint8_t> ShortPacket(uint8_t type, uint8_t seq, const std::string& fields);
    // A long control packet ('0', '1', '2') with its data zero-filled to 128 bytes.
    static std::vector<uint8_t> ControlPacket(uint8_t type, const std::string& data);

  private:
    // Results of the packet readers beside byte values and ERR_*.
    enum : int { kDataBlock = 0x100, kCancelled = -4, kUserAbort = -5 };

    // The next long packet: '0'..'2' (its data in rx_), kDataBlock (number in rxNumber_) when
    // `blockExpected`, EOT / ACK / NAK alone, ERR_CANCEL, ERR_PROTOCOL or ERR_TIMEOUT.
    int ReadLong(int timeoutMs, bool blockExpected);
    // The next short packet's type (sequence in rxSeq_, fields in rxFields_), EOT / ACK / NAK
    // alone, ERR_CANCEL, ERR_PROTOCOL (a bad check) or ERR_TIMEOUT.
    int ReadShort(int timeoutMs);
    // A lone control byte: reported when nothing (or, for CAN, a CR or CAN) follows soon.
    bool Alone(int c, int quietMs);
    void SendShort(uint8_t type, uint8_t seq, const std::string& fields);
    void SendPending();
    // Sends a packet and reads the short packet that answers it: its type, kUserAbort, kCancelled
    // or ERR_TIMEOUT; damage and lone bytes as ReadShort gives them.
    int SendAndRead(const std::vector<uint8_t>& packet);
    void Adopt(const Options& o);
    // The end of a failed run: CAN (and CR when sending) unless the other side cancelled.
    bool Fail(int why, bool upload);

    // Receiving
    int ReceiveSession();
    int AnswerInit();
    int OpenReceived();
    int ReceiveBlocks();
    int FinishFile();
    void CloseReceived();

    // Sending
    int SendSession();
    int SendFile(const std::filesystem::path& path);
    int SendBlocks(int fd);
    void Progress(bool upload);

    // Negotiated
    char m_Version = '1';
    char m_RetryMethod = '0';
    int m_WindowSize = 1;
    char m_OptionNumber = '0';
    char m_OptionFunc1 = '0';
    int windowLimit_ = 0;
    int ackInterval_ = 1;

    int fileCounter_ = 0;
    std::vector<uint8_t> pending_;  // the short packet the receiver sends until it is answered

    // The file
    int64_t size_ = 0;
    int64_t totalBlocks_ = 0;
    int64_t m_BlockOffset = 0;  // the first block (restart position)
    int64_t blocks_ = 0;        // blocks since the first block
    int date_[3] = {0xFFFF, 0xFFFF, 0xFFFF};
    int time_[3] = {0xFFFF, 0xFFFF, 0xFFFF};
    int fd_ = -1;
    std::filesystem::path path_;

    uint8_t rx_[kBlock];
    int rxNumber_ = 0;
    uint8_t rxSeq_ = 0;
    std::string rxFields_;
};

}  // namespace marlo

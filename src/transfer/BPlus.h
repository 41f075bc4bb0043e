// B Plus: the host-driven packet protocol of the online services. The host opens with ENQ,
// negotiates the transport parameters and then says by transfer packets which file the terminal
// receives or sends; the terminal answers. One engine serves both directions.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "transfer/TransEngine.h"

namespace marlo {

class BPlus : public CTransEngine {
  public:
    static constexpr uint8_t DLE = 0x10, ETX = 0x03, ENQ = 0x05, NAK = 0x15;
    static constexpr size_t kMaxData = 1029;  // the longest data field accepted
    static constexpr int kParamCount = 17;

    explicit BPlus(TransferContext& ctx);
    ~BPlus() override;

    // The host decides the direction: both answer its session.
    bool Download() override { return Run(); }
    bool Upload() override { return Run(); }

  private:
    // Results of the receive routine beside a packet type and ERR_*.
    enum : int { kAcked = -1, kHostFailed = -2, kUserAbort = -3 };
    enum class Step { GoOn, Stop };

    struct Sent {
        uint8_t seq;                // '0'..'9'
        std::vector<uint8_t> wire;  // the packet as it went out, for a resend
    };

    bool Run();
    // With `ackedDownTo` >= 0: receives until no more than that many packets of ours are
    // outstanding (kAcked). With -1: the next accepted packet of the host, its type, with its data
    // in rxData_. Failure codes otherwise.
    int Receive(int ackedDownTo);
    // The rest of a packet after DLE 'B': 0, or kBadPacket / kEnqSeen / ERR_TIMEOUT.
    int ReadPacketBody();
    void OnAckDigit(uint8_t digit);
    // Counts an error of the current packet; false (and the error flag) at the tenth.
    bool CountError();
    bool Resend();
    void SendAck();
    void SendEnqTwice();
    void PutQuoted(uint8_t c, std::vector<uint8_t>& out) const;
    // Sends one packet; `answered` waits until every outstanding packet is acknowledged.
    bool SendPacket(uint8_t type, const uint8_t* data, size_t n, bool answered);
    bool SendFailure(char code, const char* text);
    bool SendText(uint8_t type, const std::string& text, bool answered);

    bool Negotiate();
    Step Act(int type);
    // The file name of a 'T' 'D' or 'T' 'U' request, or nullopt when the request was refused.
    std::optional<std::string> RequestedName(bool upload);
    Step StartDownload();
    Step FileInformation();
    Step ResumeFailed();
    Step UploadFile();
    Step WriteData();
    Step UserAbort();
    // Takes back the packet just accepted and asks for it again (a malformed packet).
    Step Reject();
    // The open receive file is closed; true when that went well.
    bool CloseReceive();
    // Copies `path` to "name.000" .. "name.999" beside it.
    static bool Backup(const std::filesystem::path& path);
    void Progress(bool upload);

    // Negotiated (defaults before negotiation).
    bool crc_ = false;
    size_t blockSize_ = 512;
    size_t sendWindow_ = 0;
    int downloadResume_ = 0;
    bool fileInfo_ = false;
    uint8_t mask_[8];

    int seq_ = 0;       // our last sequence number
    int lastRecv_ = 0;  // the host's last packet accepted
    int errors_ = 0;
    int resends_ = 0;
    int rejects_ = 0;
    bool enqSent_ = false;
    bool errorFlag_ = false;
    bool aborted_ = false;
    bool transferDone_ = false;
    // Packets of the host that arrived while we waited for acknowledgements, up to more than its
    // window (a lost acknowledgement lets it send a whole window).
    struct Held {
        uint8_t seq, type;
        std::vector<uint8_t> data;
    };
    static constexpr size_t kMaxHeld = 8;
    std::deque<Held> pending_;
    std::deque<Sent> outstanding_;

    uint8_t rxSeq_ = 0, rxType_ = 0;
    uint8_t rxData_[kMaxData];
    size_t rxLen_ = 0;

    int rfd_ = -1, sfd_ = -1;
    std::filesystem::path path_;
    int64_t bytes_ = 0, size_ = 0, resumeStart_ = 0;
    bool upload_ = false;
    std::chrono::steady_clock::time_point start_{};
    bool started_ = false;
    std::string hostMessage_;
};

}  // namespace marlo

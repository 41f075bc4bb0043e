// XMODEM in its three forms: mode 0 "XMODEM" (receives with the 8-bit checksum, sends with
// checksum or CRC as the receiver asks), mode 1 "XMODEM/CRC" (receives with CRC-16), mode 2
// "XMODEM-1k" (sends 1024-byte blocks). One file each way; the receiver keeps the sender's padding.
#pragma once

#include <cstdint>

#include "transfer/TransEngine.h"

namespace marlo {

class CXmodem : public CTransEngine {
  public:
    CXmodem(int mode, TransferContext& ctx);

    bool Download() override;
    bool Upload() override;

    // Protocol bytes.
    static constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, NAK = 0x15, CAN = 0x18,
                             CRCREQ = 'C', PAD = 0x1A;

  private:
    int DoDownload(int fd);
    int DoUpload(int fd, long size);
    // The block number, or a negative code; the data lands in data_ and its length in `len`.
    int ReceiveBlock(int timeoutMs, int& len);
    // ACK, NAK or a negative code.
    int SendDataBlock(int number, int len, int timeoutMs);

    int mode_;
    bool checksum_ = false;  // the sender's check method: the receiver asked with NAK
    uint8_t data_[1024];
};

}  // namespace marlo

// YMODEM and YMODEM-G: a batch of files, each announced by a block 0 with its name, size and
// modification time, then CRC-16 blocks of 1024 (and 128 at the end) bytes; acknowledged block by
// block, or streamed without acknowledgements in G mode. A sender follows what the receiver asks
// for ("C" or "G"), whatever protocol was chosen.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "transfer/TransEngine.h"

namespace marlo {

class YModem : public CTransEngine {
  public:
    YModem(bool gMode, TransferContext& ctx);
    ~YModem() override;

    bool Download() override;
    bool Upload() override;

    // Block 0's data for a file (name, NUL, "%lu %lo 0 0 %d %ld"); its length is 128 or 1024.
    static std::string Block0Data(const std::string& name, unsigned long size, unsigned long mtime,
                                  int filesLeft, long bytesLeft);

  private:
    static constexpr int kCancelled = -4;

    int ReceiveBatch();
    int ReceiveFile(long size);
    int OpenReceived(const std::string& name, long size);
    int ReceiveBlock(int headerTimeoutMs, int& len);
    int SendBatch();
    int SendFile(const std::filesystem::path& path, int filesLeft, long bytesLeft);
    // Delivered (ACK), or a negative code; each answer byte is awaited `answerMs`.
    int SendYBlock(int number, int len, int answerMs);
    // G mode: true when the receiver cancelled (two CANs) while we streamed.
    bool CancelWaiting();
    void CloseReceived();

    bool gMode_;
    uint8_t block_[1028];
    // Receiver
    int fd_ = -1;
    std::filesystem::path receivedPath_;
    long modTime_ = 0;
};

}  // namespace marlo

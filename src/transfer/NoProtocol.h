// "無手順": a file sent to the line as it is, byte after byte, with no handshake and no check.
// Upload only; receiving without a protocol is the capture of received text.
#pragma once

#include "transfer/TransEngine.h"

namespace marlo {

class CNoProtocol : public CTransEngine {
  public:
    explicit CNoProtocol(TransferContext& ctx) : CTransEngine(ctx) {}

    bool Download() override { return false; }
    // True when the whole file went out (an empty file sends nothing and succeeds).
    bool Upload() override;

    // The status window is brought up to date at most this often; the bytes go out regardless.
    static constexpr int kShowEveryMs = 250;
};

}  // namespace marlo

// One file transfer on an open line, as marlo-cli's send and receive run it and as connect runs a
// download that the host started by itself.
#pragma once

#include <cstdint>
#include <vector>

#include "line/LineIo.h"
#include "transfer/TransferSession.h"

namespace marlo::cli {

// Runs the transfer with the status window's texts as progress on stderr; Ctrl-C cancels it. Then
// names the files received and "転送終了" or "転送失敗" after "`cmd`: ". True on success. What the
// host sent right after the session (its prompt) lands in `unread`.
bool RunTransferOnLine(ILineIo& line, const TransferRequest& req, const char* cmd,
                       std::vector<uint8_t>* unread = nullptr);

}  // namespace marlo::cli

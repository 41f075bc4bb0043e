#include "transfer/AutoStart.h"

#include "transfer/Protocols.h"

namespace marlo {

AutoStartDetector::Result AutoStartDetector::Feed(uint8_t c, bool autoBplus, bool autoZmodem) {
    Result r;
    switch (c) {
        case 0x05:
            state_ = 0;
            r.display = false;
            if (autoBplus) r.protocol = kProtoBplus;
            return r;
        case '*':
            state_ = state_ < 2 ? state_ + 1 : 0;
            return r;
        case 0x18:
            state_ = state_ == 2 ? 3 : 0;
            return r;
        case 'B':
            state_ = state_ == 3 ? 4 : 0;
            return r;
        case '0':
            state_ = state_ == 4 || state_ == 5 ? state_ + 1 : 0;
            break;
        default:
            state_ = 0;
            return r;
    }
    if (state_ == 6) {
        state_ = 0;
        r.display = false;
        if (autoZmodem) r.protocol = kProtoZmodem;
    }
    return r;
}

}  // namespace marlo

// Where the receive path hands the text it writes: the capture log and the text-receive file.
#pragma once

#include <cstdint>

namespace marlo {

class ICaptureSink {
public:
    virtual ~ICaptureSink() = default;
    // One byte as displayed (CR and LF included; escape bytes only when the sink wants them).
    virtual void Put(uint8_t b) = 0;
    // A backspace: the next byte overwrites the last one written.
    virtual void BackStep() = 0;
    // True when escape sequences (ESC and the collected bytes) should be logged too.
    virtual bool WantsEscapes() const { return false; }
};

}  // namespace marlo

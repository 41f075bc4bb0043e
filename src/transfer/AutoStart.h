// The automatic start of a download: the host's ENQ opens a B Plus session, and "**", CAN, "B00"
// (the start of a ZMODEM ZRQINIT header) a ZMODEM one. It sees the characters the terminal is
// about to process, one at a time; while a transfer runs the engine has the line and it sees none.
#pragma once

#include <cstdint>

namespace marlo {

class AutoStartDetector {
  public:
    struct Result {
        bool display = true;  // false: the character was taken (the ENQ, the last '0')
        int protocol = 0;     // kProtoBplus or kProtoZmodem when a download is to start
    };
    Result Feed(uint8_t c, bool autoBplus, bool autoZmodem);
    void Reset() { state_ = 0; }

  private:
    int state_ = 0;  // how much of "**" CAN "B00" has been seen
};

}  // namespace marlo

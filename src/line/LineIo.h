// The line as the terminal, the transfer engines and the macro language see it: serial device,
// telnet socket or a plain byte stream (standard input and output, a pty). Each kind implements it;
// nothing above asks which one it is except through Kind() where a behaviour truly differs.
#pragma once

#include <cstddef>
#include <cstdint>

#include "settings/LineSettings.h"

namespace marlo {

enum class LineKind { Serial, Telnet, Stream };

// Serial parameters a transfer may change for its run and put back afterwards.
struct LineParams {
    int speed = 2400;
    int dataBits = 8;
    int stopBits = 0;  // 0 one, 1 one and a half, 2 two
    int parity = 0;    // 0 none, 1 odd, 2 even, 3 mark
    int flow = 2;      // 0 none, 1 XON/XOFF, 2 RTS/CTS
};

// The parameters that `Speed`, `DataLen`, `StopBit`, `Parity` and `Flow` give.
inline LineParams LineParamsOf(const LineSettings& s) {
    return LineParams{s.Speed, s.DataLen, s.StopBit, s.Parity, s.Flow};
}

class ILineIo {
public:
    virtual ~ILineIo() = default;
    virtual LineKind Kind() const = 0;
    // Takes up to `max` received bytes; waits at most `timeoutMs` for the first one. 0 when nothing
    // arrived (or the line is closed: see IsOpen).
    virtual int ReadLineData(uint8_t* buf, int max, int timeoutMs = 1000) = 0;
    // Sends the bytes unchanged; false when not all of them could be sent within the write limit
    // (5 s of no progress) or the line failed.
    virtual bool WriteRaw(const uint8_t* buf, size_t n) = 0;
    virtual bool IsOpen() const = 0;
    // Drops received bytes not yet read and bytes not yet sent.
    virtual void Purge() {}
    // Serial only: the parameters in force, and changing them; false where there are none.
    virtual bool GetParams(LineParams&) { return false; }
    virtual bool SetParams(const LineParams&) { return false; }
    // Telnet only: in transfer mode a doubled IAC in the stream is one 0xFF byte and a sent 0xFF is
    // doubled; outside it the line does its usual negotiation. Other kinds ignore it.
    virtual void SetTransferMode(bool) {}
};

}  // namespace marlo

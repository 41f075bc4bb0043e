// A Quick-VAN far end for the tests, written from the protocol's description with its own packet
// code: it plays a sender (initialisation, file information, numbered blocks, end of file, EOT)
// or a receiver (NAK, option reply, restart position or skip, acknowledgements, 'T', ACK), and
// records every packet our engine sent. Needs nothing but a descriptor.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace marlo::test {

class QuickVanPeer {
  public:
    // A short packet as it arrived: type, sequence byte, fields (the check byte verified).
    struct Short {
        uint8_t type = 0;
        uint8_t seq = 0;
        std::string fields;
    };
    // A long packet: a control packet (`control`, its type letter) or data block `number`.
    struct Long {
        bool control = false;
        uint8_t type = 0;
        int number = -1;
        std::vector<uint8_t> data;  // 128 bytes
    };
    // What arrived from the engine, in order: a short packet, a long one, or a lone byte.
    struct Seen {
        char kind;  // 'S' short, 'L' long, 'B' byte
        Short s;
        Long l;
        uint8_t byte = 0;
    };

    explicit QuickVanPeer(int fd, int ms = 5000) : fd_(fd), ms_(ms) {}

    static std::vector<uint8_t> ShortPacket(uint8_t type, uint8_t seq, const std::string& fields);
    static std::vector<uint8_t> ControlPacket(uint8_t type, const std::vector<uint8_t>& data);
    static std::vector<uint8_t> DataBlock(int number, const std::vector<uint8_t>& data);

    void Raw(const std::vector<uint8_t>& bytes);
    // The next thing from the engine; false after `ms_` of silence.
    bool Next(Seen& out);
    // Skips lone bytes until a packet of the kind comes; false on silence.
    bool NextShort(Short& out);
    bool NextLong(Long& out);
    // Waits for one byte value (other bytes are dropped); false on silence.
    bool Expect(uint8_t byte);

    // ---- As the sender ----
    struct SendPlan {
        std::string offer = "103011";  // the initialisation data
        std::string name = "file.bin";
        std::string stamp = "19960401123456";
        int fileNumber = 1;
        int window = 30;         // blocks on the way before waiting for an acknowledgement
        int dropBlockOnce = -1;  // a block (counted from 1) not sent the first time
    };
    struct SendOutcome {
        bool ok = false;
        Short reply;                  // the option reply
        long long restart = -1;       // the restart position asked for
        std::vector<Short> answers;   // every short packet after the file information
        std::vector<int> ackedAfter;  // blocks received by the engine when each 'A' came
    };
    SendOutcome Send(const std::vector<uint8_t>& content, const SendPlan& plan);

    // ---- As the receiver ----
    struct ReceivePlan {
        std::string reply = "103011";  // the option reply's fields
        std::string answer = "0";      // 'P' with this field, or 'S' when `skip`
        bool skip = false;
        int repeatRestartAfter = -1;  // blocks after which the 'P' is sent once more
        int ackEvery = 1;
    };
    struct ReceiveOutcome {
        bool ok = false;
        std::vector<uint8_t> init;  // the initialisation packet's data
        std::vector<uint8_t> info;  // the file information's data
        std::vector<Long> blocks;   // every data block in order of arrival
        std::vector<uint8_t> end;   // the end-of-file packet's data
        std::vector<uint8_t> file;  // the content rebuilt from the blocks
        bool sawCr = false;         // the CR after our ACK to the EOT
    };
    ReceiveOutcome Receive(const ReceivePlan& plan);

  private:
    int Byte(int ms);
    int fd_;
    int ms_;
    std::vector<uint8_t> in_;
    size_t at_ = 0;
};

}  // namespace marlo::test

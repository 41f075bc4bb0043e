// A B Plus host for the tests and the benchmark, written from the protocol's description with
// its own quoting and check code: it opens the session with ENQ, offers parameters, asks the
// terminal to receive or send a file, and can damage, drop or repeat what it sends. Every byte the
// terminal sends is recorded. Needs nothing but a descriptor (no test framework).
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace marlo::test {

class BPlusHost {
  public:
    // What the host offers in its '+' packet (`count` of the 17 bytes are sent).
    struct Offer {
        uint8_t windowSend = 2, windowRecv = 2, blockSize = 8, crc = 1, quoteLevel = 1;
        uint8_t mask[8] = {0x14, 0x00, 0xD4, 0x00, 0x00, 0x00, 0x00, 0x00};
        uint8_t downloadResume = 0, uploadResume = 0, fileInfo = 1;
        size_t count = 17;
    };
    // Faults of the host's first sending of a data packet (index from 0), or of its answer.
    struct Faults {
        int dropData = -1;           // not sent the first time
        int damageData = -1;         // one byte flipped the first time
        int repeatData = -1;         // sent twice
        int dropAckOf = -1;          // the terminal's data packet not acknowledged the first time
        bool dropResumeAck = false;  // the terminal's resume answer not acknowledged
    };
    struct Outcome {
        bool ok = false;
        char failCode = 0;  // a failure packet of the terminal: its code and text
        std::string failText;
        long long resumeSize = -1;  // a "Tr" answer: the size and CRC it carried
        unsigned resumeCrc = 0;
    };
    // A packet of the terminal as it came over the line, between DLE 'B' and the check.
    struct Seen {
        uint8_t type;
        std::vector<uint8_t> data;  // unquoted
        std::vector<uint8_t> wire;  // as sent (sequence, type, quoted data, ETX)
    };

    explicit BPlusHost(int fd, int ackMs = 1000) : fd_(fd), ackMs_(ackMs) {}

    void SendEnq();
    // The terminal's answer to ENQ: DLE '+' '+' DLE '0'. The bytes read are in `got`.
    bool ExpectHello(std::vector<uint8_t>* got = nullptr);
    // Sends the offer, acknowledges the terminal's answer and adopts it; the answer's 17 bytes.
    bool Negotiate(const Offer& offer, std::vector<uint8_t>* answer = nullptr);
    // Sends `data` as the file `name`; with `fileInfo` a 'T' 'I' packet first. A resume answer
    // starts the data at the size it names.
    Outcome Download(const std::string& name, const std::vector<uint8_t>& data,
                     bool fileInfo = false);
    // Asks the terminal for `name`; the bytes it sent land in `got`.
    Outcome Upload(const std::string& name, std::vector<uint8_t>& got);
    // Sends any packet and waits for its acknowledgement (or the terminal's failure packet).
    Outcome Exchange(uint8_t type, const std::vector<uint8_t>& data);
    // Sends a packet without waiting.
    void Send(uint8_t type, const std::vector<uint8_t>& data);
    // Raw bytes to the line.
    void Raw(const std::vector<uint8_t>& bytes);
    // Waits up to `ms` for the terminal's next packet (acknowledging it); false on silence.
    bool NextPacket(Seen& out, int ms);

    Faults faults;
    std::vector<uint8_t> received;  // every byte from the terminal
    std::vector<Seen> packets;      // every packet accepted from the terminal
    int nakCount = 0;               // NAKs the terminal sent
    int resendCount = 0;            // packets the host sent again

    // The check code of the description, for the tests' own packets.
    static uint8_t Checksum(const std::vector<uint8_t>& bytes);
    static uint16_t Crc(const std::vector<uint8_t>& bytes);
    // A whole packet as it goes on the line: DLE 'B', sequence, type, the data quoted (every
    // control character, or only those always quoted), ETX and the check.
    static std::vector<uint8_t> Packet(uint8_t seq, uint8_t type, const std::vector<uint8_t>& data,
                                       bool crc, bool quoteAll);

  private:
    enum Event { kTimeout, kAck, kPacket, kGone };
    int Byte(int ms);
    Event Next(int ms, Seen& packet);
    void Ack();
    bool WaitAcked(size_t keep, Outcome* failure);
    void Write(const std::vector<uint8_t>& bytes);

    struct Out {
        uint8_t seq;
        std::vector<uint8_t> wire;
    };
    int fd_;
    int ackMs_;
    int seq_ = 0;   // the host's last sequence number
    int last_ = 0;  // the terminal's last packet accepted
    bool crc_ = false;
    bool quoteAll_ = true;
    size_t block_ = 512;
    size_t window_ = 0;
    bool enqSent_ = false;
    int dataIndex_ = 0;
    bool ackDropped_ = false;
    std::deque<Out> out_;
    std::vector<uint8_t> inbuf_;  // read ahead from the line
    size_t at_ = 0;
};

}  // namespace marlo::test

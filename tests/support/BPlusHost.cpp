#include "support/BPlusHost.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include "line/StreamLine.h"

namespace marlo::test {

namespace {
constexpr uint8_t kDle = 0x10, kEtx = 0x03, kEnq = 0x05, kNak = 0x15;
constexpr int kTries = 10;

bool Control(uint8_t c) {
    return c < 0x20 || (c >= 0x80 && c < 0xA0);
}
bool AlwaysQuoted(uint8_t c) {
    switch (c) {
        case 0x00:
        case 0x03:
        case 0x05:
        case 0x10:
        case 0x11:
        case 0x13:
        case 0x15:
            return true;
        default:
            return false;
    }
}
uint8_t Unquote(uint8_t x) {
    return static_cast<uint8_t>(x >= 0x60 ? x + 0x20 : x - 0x40);
}
}  // namespace

uint8_t BPlusHost::Checksum(const std::vector<uint8_t>& bytes) {
    unsigned s = 0;
    for (uint8_t c : bytes) {
        s = (s << 1) + c;
        if (s > 0xFF) s = (s & 0xFF) + (s >> 8);
    }
    return static_cast<uint8_t>(s);
}

uint16_t BPlusHost::Crc(const std::vector<uint8_t>& bytes) {
    unsigned crc = 0xFFFF;
    for (uint8_t c : bytes) {
        crc ^= static_cast<unsigned>(c) << 8;
        for (int k = 0; k < 8; ++k)
            crc = (crc & 0x8000) ? ((crc << 1) ^ 0x1021) & 0xFFFF : (crc << 1) & 0xFFFF;
    }
    return static_cast<uint16_t>(crc);
}

int BPlusHost::Byte(int ms) {
    if (at_ == inbuf_.size()) {
        inbuf_.resize(4096);
        int r = ReadWithin(fd_, inbuf_.data(), static_cast<int>(inbuf_.size()), ms);
        inbuf_.resize(r > 0 ? static_cast<size_t>(r) : 0);
        at_ = 0;
        if (r <= 0) return r == 0 ? -1 : -2;
    }
    const uint8_t c = inbuf_[at_++];
    received.push_back(c);
    return c;
}

void BPlusHost::Write(const std::vector<uint8_t>& bytes) {
    WriteAllWithin(fd_, bytes.data(), bytes.size(), 5000);
}

void BPlusHost::Raw(const std::vector<uint8_t>& bytes) {
    Write(bytes);
}

void BPlusHost::SendEnq() {
    Write({kEnq});
}

void BPlusHost::Ack() {
    Write({kDle, static_cast<uint8_t>('0' + last_)});
}

bool BPlusHost::ExpectHello(std::vector<uint8_t>* got) {
    std::vector<uint8_t> hello;
    for (int i = 0; i < 5; ++i) {
        int c = Byte(5000);
        if (c < 0) break;
        hello.push_back(static_cast<uint8_t>(c));
    }
    if (got) *got = hello;
    return hello == std::vector<uint8_t>{kDle, '+', '+', kDle, '0'};
}

std::vector<uint8_t> BPlusHost::Packet(uint8_t seq, uint8_t type, const std::vector<uint8_t>& data,
                                       bool crc, bool quoteAll) {
    std::vector<uint8_t> covered{seq, type};
    covered.insert(covered.end(), data.begin(), data.end());
    covered.push_back(kEtx);
    std::vector<uint8_t> check;
    if (crc) {
        uint16_t c = Crc(covered);
        check = {static_cast<uint8_t>(c >> 8), static_cast<uint8_t>(c & 0xFF)};
    } else {
        check = {Checksum(covered)};
    }
    std::vector<uint8_t> w{kDle, 'B', seq, type};
    auto put = [&](uint8_t c) {
        if (Control(c) && (quoteAll || AlwaysQuoted(c))) {
            w.push_back(kDle);
            w.push_back(static_cast<uint8_t>(c < 0x20 ? c + 0x40 : c - 0x20));
        } else {
            w.push_back(c);
        }
    };
    for (uint8_t c : data) put(c);
    w.push_back(kEtx);
    for (uint8_t c : check) put(c);
    return w;
}

void BPlusHost::Send(uint8_t type, const std::vector<uint8_t>& data) {
    seq_ = (seq_ + 1) % 10;
    Out o{static_cast<uint8_t>('0' + seq_),
          Packet(static_cast<uint8_t>('0' + seq_), type, data, crc_, quoteAll_)};
    Write(o.wire);
    out_.push_back(std::move(o));
}

BPlusHost::Event BPlusHost::Next(int ms, Seen& packet) {
    for (;;) {
        int c = Byte(ms);
        if (c == -1) return kTimeout;
        if (c < 0) return kGone;
        if (c == kNak) {
            ++nakCount;
            for (const Out& o : out_) Write(o.wire);
            resendCount += static_cast<int>(out_.size());
            continue;
        }
        if (c == kEnq) {
            Ack();
            continue;
        }
        if (c != kDle) continue;
        c = Byte(ms);
        if (c < 0) continue;
        if (c >= '0' && c <= '9') {
            size_t i = 0;
            while (i < out_.size() && out_[i].seq != c) ++i;
            if (i < out_.size()) {
                out_.erase(out_.begin(), out_.begin() + static_cast<long>(i) + 1);
            } else if (enqSent_ && !out_.empty()) {
                for (const Out& o : out_) Write(o.wire);
                resendCount += static_cast<int>(out_.size());
            }
            enqSent_ = false;
            return kAck;
        }
        if (c != 'B') continue;
        Seen p;
        std::vector<uint8_t> covered;
        bool bad = false;
        int seq = Byte(ms), type = Byte(ms);
        if (seq < 0 || type < 0) continue;
        p.type = static_cast<uint8_t>(type);
        p.wire = {static_cast<uint8_t>(seq), p.type};
        covered = p.wire;
        for (;;) {
            int d = Byte(ms);
            if (d < 0) {
                bad = true;
                break;
            }
            p.wire.push_back(static_cast<uint8_t>(d));
            if (d == kEtx) break;
            if (d == kDle) {
                int q = Byte(ms);
                if (q < 0) {
                    bad = true;
                    break;
                }
                p.wire.push_back(static_cast<uint8_t>(q));
                d = Unquote(static_cast<uint8_t>(q));
            }
            if (p.data.size() > 2048) {
                bad = true;
                break;
            }
            p.data.push_back(static_cast<uint8_t>(d));
        }
        covered.insert(covered.end(), p.data.begin(), p.data.end());
        covered.push_back(kEtx);
        std::vector<uint8_t> check;
        for (int i = 0; !bad && i < (crc_ ? 2 : 1); ++i) {
            int d = Byte(ms);
            if (d == kDle) d = Byte(ms) < 0 ? -1 : Unquote(received.back());
            if (d < 0) bad = true;
            check.push_back(static_cast<uint8_t>(d));
        }
        if (!bad) {
            if (crc_) {
                uint16_t want = Crc(covered);
                bad = check[0] != (want >> 8) || check[1] != (want & 0xFF);
            } else {
                bad = check[0] != Checksum(covered);
            }
        }
        if (bad || seq < '0' || seq > '9') {
            Write({kNak});
            continue;
        }
        // The last packet or the two before it, brought again by a resend of the whole window.
        if ((last_ - (seq - '0') + 10) % 10 <= 2) {
            Ack();
            continue;
        }
        if (seq - '0' != (last_ + 1) % 10) {
            Write({kNak});
            continue;
        }
        last_ = seq - '0';
        packets.push_back(p);
        packet = std::move(p);
        return kPacket;
    }
}

bool BPlusHost::WaitAcked(size_t keep, Outcome* outcome) {
    int tries = 0;
    while (out_.size() > keep) {
        Seen p;
        Event e = Next(ackMs_, p);
        if (e == kGone) return false;
        if (e == kTimeout) {
            if (++tries > kTries) return false;
            Write({kEnq});
            enqSent_ = true;
            continue;
        }
        if (e != kPacket) continue;
        const bool resume = p.type == 'T' && !p.data.empty() && p.data[0] == 'r';
        if (!resume || !std::exchange(faults.dropResumeAck, false)) Ack();
        if (p.type == 'F') {
            if (outcome) {
                outcome->failCode = p.data.empty() ? 0 : static_cast<char>(p.data[0]);
                if (!p.data.empty()) outcome->failText.assign(p.data.begin() + 1, p.data.end());
            }
            out_.clear();
            return false;
        }
        if (resume && outcome) {
            // A resume answer stands for the acknowledgement of the download request.
            std::string text(p.data.begin() + 1, p.data.end());
            outcome->resumeSize = std::strtoll(text.c_str(), nullptr, 10);
            outcome->resumeCrc = static_cast<unsigned>(
                std::strtoul(text.substr(text.find(' ') + 1).c_str(), nullptr, 10));
            out_.clear();
        }
    }
    return true;
}

bool BPlusHost::Negotiate(const Offer& offer, std::vector<uint8_t>* answer) {
    std::vector<uint8_t> d{offer.windowSend, offer.windowRecv, offer.blockSize,
                           offer.crc,        offer.quoteLevel, 0};
    d.insert(d.end(), offer.mask, offer.mask + 8);
    d.insert(d.end(), {offer.downloadResume, offer.uploadResume, offer.fileInfo});
    d.resize(offer.count);
    Send('+', d);
    if (!WaitAcked(0, nullptr)) return false;
    Seen p;
    if (!NextPacket(p, ackMs_ * 5) || p.type != '+' || p.data.size() != 17) return false;
    if (answer) *answer = p.data;
    // The terminal adopts its answer once this acknowledgement arrives; so does the host.
    crc_ = p.data[3] != 0;
    block_ = p.data[2] * 128u;
    window_ = p.data[1];
    quoteAll_ = false;
    return true;
}

bool BPlusHost::NextPacket(Seen& out, int ms) {
    for (int tries = 0; tries < kTries; ++tries) {
        Event e = Next(ms, out);
        if (e == kGone) return false;
        if (e == kTimeout) return false;
        if (e != kPacket) continue;
        const bool drop = faults.dropAckOf == dataIndex_++;
        if (drop) faults.dropAckOf = -1;
        if (!drop) Ack();
        ackDropped_ = drop;
        return true;
    }
    return false;
}

BPlusHost::Outcome BPlusHost::Exchange(uint8_t type, const std::vector<uint8_t>& data) {
    Outcome o;
    Send(type, data);
    o.ok = WaitAcked(0, &o);
    return o;
}

BPlusHost::Outcome BPlusHost::Download(const std::string& name, const std::vector<uint8_t>& data,
                                       bool fileInfo) {
    std::vector<uint8_t> td{'D', 'B'};
    td.insert(td.end(), name.begin(), name.end());
    Outcome o = Exchange('T', td);
    if (!o.ok) return o;
    if (fileInfo) {
        char numbers[96];
        std::snprintf(numbers, sizeof numbers, "%zu 0 0 0 0 0 ", data.size());
        std::vector<uint8_t> ti{'I', 'B', 0};
        ti.insert(ti.end(), numbers, numbers + std::string(numbers).size());
        ti.push_back(static_cast<uint8_t>(name.size()));
        ti.insert(ti.end(), name.begin(), name.end());
        Outcome i = Exchange('T', ti);
        if (!i.ok) return i;
    }
    size_t pos = o.resumeSize > 0 ? static_cast<size_t>(o.resumeSize) : 0;
    for (int index = 0; pos < data.size(); ++index) {
        if (!WaitAcked(window_, &o)) return o.ok = false, o;
        const size_t n = std::min(block_, data.size() - pos);
        std::vector<uint8_t> chunk(data.begin() + static_cast<long>(pos),
                                   data.begin() + static_cast<long>(pos + n));
        pos += n;
        seq_ = (seq_ + 1) % 10;
        Out out{static_cast<uint8_t>('0' + seq_),
                Packet(static_cast<uint8_t>('0' + seq_), 'N', chunk, crc_, quoteAll_)};
        std::vector<uint8_t> wire = out.wire;
        out_.push_back(std::move(out));
        if (index == faults.damageData) wire[wire.size() / 2] ^= 0x01;
        if (index != faults.dropData) Write(wire);
        if (index == faults.repeatData) Write(out_.back().wire);
    }
    if (!WaitAcked(window_, &o)) return o.ok = false, o;
    Outcome c = Exchange('T', {'C'});
    c.resumeSize = o.resumeSize;
    c.resumeCrc = o.resumeCrc;
    return c;
}

BPlusHost::Outcome BPlusHost::Upload(const std::string& name, std::vector<uint8_t>& got) {
    std::vector<uint8_t> tu{'U', 'B'};
    tu.insert(tu.end(), name.begin(), name.end());
    Outcome o = Exchange('T', tu);
    if (!o.ok) return o;
    o.ok = false;
    dataIndex_ = 0;
    Seen p;
    while (NextPacket(p, ackMs_ * 10)) {
        if (p.type == 'N') {
            got.insert(got.end(), p.data.begin(), p.data.end());
        } else if (p.type == 'T' && !p.data.empty() && p.data[0] == 'C') {
            o.ok = true;
            // A dropped acknowledgement of the close is asked for again with ENQ.
            Seen more;
            if (ackDropped_) Next(ackMs_ * 10, more);
            return o;
        } else if (p.type == 'F') {
            o.failCode = p.data.empty() ? 0 : static_cast<char>(p.data[0]);
            if (!p.data.empty()) o.failText.assign(p.data.begin() + 1, p.data.end());
            return o;
        }
    }
    return o;
}

}  // namespace marlo::test

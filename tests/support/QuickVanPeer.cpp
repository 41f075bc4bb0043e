#include "support/QuickVanPeer.h"

#include <cstdio>
#include <cstdlib>

#include "line/StreamLine.h"

namespace marlo::test {

namespace {
constexpr uint8_t SOH = 0x01, STX = 0x02, EOT = 0x04, ACK = 0x06, CR = 0x0D, NAK = 0x15;

// A receiver's 7-bit block number as the count it stands for, counted on from `base`.
long long Counted(long long base, uint8_t seq) {
    return base + (((seq & 0x7F) - (base & 0x7F)) & 0x7F);
}
}  // namespace

std::vector<uint8_t> QuickVanPeer::ShortPacket(uint8_t type, uint8_t seq,
                                               const std::string& fields) {
    std::vector<uint8_t> p = {STX, type, seq};
    for (char c : fields) p.push_back(static_cast<uint8_t>(c));
    int sum = 0;
    for (uint8_t c : p) sum += c;
    p.push_back(static_cast<uint8_t>(0x80 + sum % 128));
    p.push_back(CR);
    return p;
}

std::vector<uint8_t> QuickVanPeer::ControlPacket(uint8_t type, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> p = {SOH, 0x00, type};
    for (size_t i = 0; i < 128; ++i) p.push_back(i < data.size() ? data[i] : 0);
    uint8_t sum = 0;
    for (uint8_t c : p) sum = static_cast<uint8_t>(sum + c);
    p.push_back(sum);
    return p;
}

std::vector<uint8_t> QuickVanPeer::DataBlock(int number, const std::vector<uint8_t>& data) {
    const uint8_t n = static_cast<uint8_t>(number);
    std::vector<uint8_t> p = {SOH, n, static_cast<uint8_t>(0xFF - n)};
    uint8_t sum = 0;
    for (size_t i = 0; i < 128; ++i) {
        const uint8_t c = i < data.size() ? data[i] : 0x1A;
        p.push_back(c);
        sum = static_cast<uint8_t>(sum + c);
    }
    p.push_back(sum);
    return p;
}

void QuickVanPeer::Raw(const std::vector<uint8_t>& bytes) {
    WriteAllWithin(fd_, bytes.data(), bytes.size(), 5000);
}

int QuickVanPeer::Byte(int ms) {
    if (at_ == in_.size()) {
        in_.resize(4096);
        const int r = ReadWithin(fd_, in_.data(), static_cast<int>(in_.size()), ms);
        in_.resize(r > 0 ? static_cast<size_t>(r) : 0);
        at_ = 0;
        if (r <= 0) return -1;
    }
    return in_[at_++];
}

bool QuickVanPeer::Next(Seen& out) {
    for (;;) {
        const int c = Byte(ms_);
        if (c < 0) return false;
        out = Seen{};
        if (c == STX) {
            std::vector<uint8_t> body;
            int d;
            while ((d = Byte(ms_)) >= 0 && d != CR) body.push_back(static_cast<uint8_t>(d));
            if (d < 0 || body.size() < 3) return false;
            int sum = STX;
            for (size_t i = 0; i + 1 < body.size(); ++i) sum += body[i];
            if (body.back() != 0x80 + sum % 128) continue;
            out.kind = 'S';
            out.s.type = body[0];
            out.s.seq = body[1];
            out.s.fields.assign(body.begin() + 2, body.end() - 1);
            return true;
        }
        if (c == SOH) {
            std::vector<uint8_t> p = {SOH};
            for (int i = 0; i < 131; ++i) {
                const int d = Byte(ms_);
                if (d < 0) return false;
                p.push_back(static_cast<uint8_t>(d));
            }
            const bool control = p[1] == 0 && p[2] >= '0' && p[2] <= '2';
            uint8_t sum = 0;
            for (int i = control ? 0 : 3; i < 131; ++i) sum = static_cast<uint8_t>(sum + p[i]);
            if (sum != p[131] || (!control && p[2] != 0xFF - p[1])) continue;
            out.kind = 'L';
            out.l.control = control;
            out.l.type = control ? p[2] : 0;
            out.l.number = control ? -1 : p[1];
            out.l.data.assign(p.begin() + 3, p.begin() + 131);
            return true;
        }
        out.kind = 'B';
        out.byte = static_cast<uint8_t>(c);
        return true;
    }
}

bool QuickVanPeer::NextShort(Short& out) {
    Seen s;
    while (Next(s))
        if (s.kind == 'S') return out = s.s, true;
    return false;
}

bool QuickVanPeer::NextLong(Long& out) {
    Seen s;
    while (Next(s))
        if (s.kind == 'L') return out = s.l, true;
    return false;
}

bool QuickVanPeer::Expect(uint8_t byte) {
    for (int c; (c = Byte(ms_)) >= 0;)
        if (c == byte) return true;
    return false;
}

QuickVanPeer::SendOutcome QuickVanPeer::Send(const std::vector<uint8_t>& content,
                                             const SendPlan& plan) {
    SendOutcome out;
    if (!Expect(NAK)) return out;
    Raw(ControlPacket('0', std::vector<uint8_t>(plan.offer.begin(), plan.offer.end())));
    if (!NextShort(out.reply) || out.reply.type != 'R' || out.reply.fields.size() < 4) return out;
    const int window = std::atoi(out.reply.fields.substr(2, 2).c_str());
    char number[8];
    std::snprintf(number, sizeof number, "%02d", plan.fileNumber);
    std::string info =
        number + plan.name + '\0' + std::to_string(content.size()) + '\0' + plan.stamp;
    Raw(ControlPacket('1', std::vector<uint8_t>(info.begin(), info.end())));
    Short s;
    if (!NextShort(s) || s.type != 'P') return out.answers.push_back(s), out;
    out.restart = std::atoll(s.fields.c_str());
    const long long total = (static_cast<long long>(content.size()) + 127) / 128;
    long long sent = 0, acked = 0;
    bool endSent = false, dropped = false;
    for (;;) {
        while (sent - acked < window && out.restart + sent < total) {
            const long long at = (out.restart + sent) * 128;
            const auto first = content.begin() + at;
            const auto last = content.begin() + std::min<long long>(at + 128, content.size());
            ++sent;
            if (sent == plan.dropBlockOnce && !dropped) {
                dropped = true;
                continue;
            }
            Raw(DataBlock(static_cast<int>(sent & 0xFF), std::vector<uint8_t>(first, last)));
        }
        if (out.restart + sent == total && !endSent) {
            Raw(ControlPacket('2', {static_cast<uint8_t>(sent & 0xFF), '0'}));
            endSent = true;
        }
        if (!NextShort(s)) return out;
        out.answers.push_back(s);
        if (s.type == 'A') {
            const long long c = Counted(acked, s.seq);
            if (c <= sent) acked = c;
            out.ackedAfter.push_back(static_cast<int>(c));
        } else if (s.type == 'N') {
            sent = acked = Counted(acked, s.seq) - 1;
            endSent = false;
        } else if (s.type == 'T' && endSent) {
            break;
        }
    }
    Raw({EOT});
    out.ok = Expect(ACK);
    Raw({CR});
    return out;
}

QuickVanPeer::ReceiveOutcome QuickVanPeer::Receive(const ReceivePlan& plan) {
    ReceiveOutcome out;
    Raw({NAK});
    Long l;
    if (!NextLong(l) || !l.control || l.type != '0') return out;
    out.init = l.data;
    Raw(ShortPacket('R', 0x80, plan.reply));
    if (!NextLong(l) || !l.control || l.type != '1') return out;
    out.info = l.data;
    if (plan.skip) {
        Raw(ShortPacket('S', 0x80, plan.answer));
    } else {
        Raw(ShortPacket('P', 0x80, plan.answer));
        long long count = 0;
        bool repeated = false;
        for (;;) {
            if (!NextLong(l)) return out;
            // An end that does not count our blocks belongs to a run we asked to start again.
            if (l.control && l.type == '2' && l.data[0] == (count & 0xFF)) {
                out.end = l.data;
                Raw(ShortPacket('T', static_cast<uint8_t>(0x80 | (count & 0x7F)), "0"));
                break;
            }
            if (l.control || l.number != ((count + 1) & 0xFF)) continue;
            out.blocks.push_back(l);
            out.file.insert(out.file.end(), l.data.begin(), l.data.end());
            ++count;
            if (count == plan.repeatRestartAfter && !repeated) {
                repeated = true;
                count = 0;
                out.file.clear();
                Raw(ShortPacket('P', 0x80, plan.answer));
                continue;
            }
            if (count % plan.ackEvery == 0)
                Raw(ShortPacket('A', static_cast<uint8_t>(0x80 | (count & 0x7F)), ""));
        }
    }
    if (!Expect(EOT)) return out;
    Raw({ACK});
    out.sawCr = Byte(ms_) == CR;
    out.ok = true;
    return out;
}

}  // namespace marlo::test

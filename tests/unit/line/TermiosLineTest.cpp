// The serial line on a real tty: a pty pair stands for the port and its far end.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "line/SerialDevice.h"
#include "line/SerialLine.h"
#include "support/PtyPair.h"

namespace marlo {
namespace {

using test::PtyPair;

std::unique_ptr<TermiosDevice> OpenOn(const PtyPair& pty, const LineParams& p = {}) {
    auto dev = std::make_unique<TermiosDevice>();
    if (dev->Open(pty.SlavePath()) != SerialStatus::Ok) return nullptr;
    if (dev->Configure(p) != SerialStatus::Ok) return nullptr;
    return dev;
}

TEST(TermiosLine, BytesCrossBothWaysUnchanged) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto dev = OpenOn(pty, {9600, 8, 0, 0, 0});
    ASSERT_NE(dev, nullptr);
    SerialLine line(std::move(dev));
    uint8_t buf[512];
    EXPECT_EQ(line.ReadLineData(buf, sizeof buf), 0);  // a silent line
    EXPECT_EQ(line.Lamps() & kLampRd, 0u);
    EXPECT_EQ(line.ReadLineData(buf, 0), 0);

    // Every byte value, CR and LF included, must pass untouched in raw mode.
    std::string all;
    for (int i = 0; i < 256; ++i) all.push_back(static_cast<char>(i));
    ASSERT_TRUE(pty.Write(all));
    std::string got;
    for (int tries = 0; got.size() < all.size() && tries < 50; ++tries) {
        int n = line.ReadLineData(buf, sizeof buf, 1000);
        got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(std::max(n, 0)));
    }
    EXPECT_EQ(got, all);

    ASSERT_TRUE(line.WriteRaw(reinterpret_cast<const uint8_t*>(all.data()), all.size()));
    EXPECT_EQ(pty.Read(all.size()), all);
    EXPECT_TRUE(line.Lamps() & kLampSd);
    EXPECT_TRUE(line.Lamps() & kLampRd);
}

// A port closed right after the last write still delivers it: a flush of the output at the
// close dropped about one such write in three on a pty.
TEST(TermiosLine, WhatWasWrittenJustBeforeTheCloseArrives) {
    int lost = 0;
    for (int i = 0; i < 100; ++i) {
        PtyPair pty;
        ASSERT_TRUE(pty.Ok());
        auto dev = OpenOn(pty);
        ASSERT_NE(dev, nullptr);
        SerialLine line(std::move(dev));
        ASSERT_TRUE(line.WriteRaw(reinterpret_cast<const uint8_t*>("result 1\r"), 9));
        line.SettleForClose(2000);
        line.Close();
        if (pty.Read(9, 200) != "result 1\r") ++lost;
    }
    EXPECT_EQ(lost, 0);
}

TEST(TermiosLine, TermiosFollowsParameters) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TermiosDevice dev;
    ASSERT_EQ(dev.Open(pty.SlavePath()), SerialStatus::Ok);
    // A pty keeps stop bits, flow control, speed and the parity kind (odd, mark), but always
    // forces 8 data bits without parity: those two are checked on the fake device.
    struct Case {
        LineParams p;
        tcflag_t cflagSet, cflagClear, iflagSet;
    };
    const Case cases[] = {
        {{2400, 8, 0, 0, 2}, CS8 | CRTSCTS, PARENB | CSTOPB, 0},
        {{9600, 7, 2, 2, 0}, CSTOPB, PARODD | CMSPAR | CRTSCTS, INPCK},
        {{19200, 8, 0, 1, 1}, PARODD, CMSPAR | CRTSCTS, IXON | IXOFF | INPCK},
        {{57600, 7, 0, 3, 0}, PARODD | CMSPAR, CSTOPB, INPCK},
        {{14400, 8, 0, 0, 0}, CS8, PARENB, 0},
        {{56000, 8, 0, 0, 0}, CS8, PARENB, 0},
        {{128000, 8, 0, 0, 0}, CS8, PARENB, 0},
        {{256000, 8, 0, 0, 0}, CS8, PARENB, 0},
        {{115200, 8, 0, 0, 0}, CS8, PARENB, 0},
        {{300, 8, 0, 0, 0}, CS8, PARENB, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.p.speed);
        ASSERT_EQ(dev.Configure(c.p), SerialStatus::Ok);
        struct termios t {};
        ASSERT_TRUE(pty.SlaveTermios(t));
        EXPECT_EQ(t.c_cflag & c.cflagSet, c.cflagSet);
        EXPECT_EQ(t.c_cflag & c.cflagClear, 0u);
        EXPECT_EQ(t.c_iflag & c.iflagSet, c.iflagSet);
        EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
        EXPECT_EQ(t.c_oflag & OPOST, 0u);
        EXPECT_EQ(GetTtySpeed(pty.Master()), c.p.speed);
        if (c.p.flow == 1) {
            EXPECT_EQ(t.c_cc[VSTART], 0x11);
            EXPECT_EQ(t.c_cc[VSTOP], 0x13);
        }
        LineParams back;
        ASSERT_TRUE(dev.GetConfig(back));
        EXPECT_EQ(back.speed, c.p.speed);
        EXPECT_EQ(back.stopBits, c.p.stopBits);
        EXPECT_EQ(back.flow, c.p.flow);
    }
}

TEST(TermiosLine, RefusesParametersWithoutATermiosForm) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TermiosDevice dev;
    ASSERT_EQ(dev.Open(pty.SlavePath()), SerialStatus::Ok);
    const LineParams bad[] = {
        {2400, 8, 1, 0, 0},  // 1.5 stop bits
        {2400, 6, 0, 0, 0}, {2400, 8, 0, 4, 0}, {2400, 8, 0, 0, 3}, {0, 8, 0, 0, 0},
    };
    for (const auto& p : bad) EXPECT_EQ(dev.Configure(p), SerialStatus::Refused);
}

TEST(TermiosLine, SecondOpenIsBusyAndTheFirstCloseFreesIt) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    TermiosDevice first, second;
    ASSERT_EQ(first.Open(pty.SlavePath()), SerialStatus::Ok);
    EXPECT_EQ(second.Open(pty.SlavePath()), SerialStatus::Busy);
    first.Close();
    EXPECT_EQ(second.Open(pty.SlavePath()), SerialStatus::Ok);
    EXPECT_EQ(first.Open("/nonexistent/ttyX"), SerialStatus::Failed);
    EXPECT_EQ(first.Open("/dev/null"), SerialStatus::Failed);  // not a terminal
}

TEST(TermiosLine, PtyHasNoModemLines) {
    PtyPair pty;
    ASSERT_TRUE(pty.Ok());
    auto dev = OpenOn(pty);
    ASSERT_NE(dev, nullptr);
    ModemLines lines;
    EXPECT_EQ(dev->GetModemLines(lines), SerialStatus::NoModemLines);
    // No TIOCMIWAIT either: the wait refuses at once instead of blocking.
    auto waited = std::async(std::launch::async, [&] { return dev->WaitModemChange(); });
    ASSERT_EQ(waited.wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_EQ(waited.get(), SerialStatus::NoModemLines);
    SerialLine line(std::move(dev));
    EXPECT_TRUE(line.SetDtr(true));  // kept as a flag
    EXPECT_FALSE(line.UpdateModemStatus());
    EXPECT_FALSE(line.HasModemLines());
    EXPECT_EQ(line.Lamps() & (kLampCts | kLampDsr | kLampCd), 0u);
    EXPECT_TRUE(line.Lamps() & kLampDtr);
}

}  // namespace
}  // namespace marlo

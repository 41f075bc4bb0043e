// SerialLine over the fake device: the event thread's reports, pausing, break, control lines,
// lamps, writes that stall, and closing while the thread waits inside a notification.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "line/SerialLine.h"
#include "support/FakeSerialDevice.h"

namespace marlo {
namespace {

using namespace std::chrono_literals;
using test::FakePort;
using test::FakePortBank;
using test::FakeSerialDevice;

// Collects the thread's notifications and lets a test wait for one.
class Notes {
  public:
    void Add(int w) {
        {
            std::lock_guard lock(m_);
            notes_.push_back(w);
        }
        cv_.notify_all();
    }
    // Waits (bounded) until `count` notes of kind `w` arrived.
    bool WaitFor(int w, int count = 1) {
        std::unique_lock lock(m_);
        return cv_.wait_for(lock, 5s, [&] { return Count(w) >= count; });
    }
    int Of(int w) {
        std::lock_guard lock(m_);
        return Count(w);
    }

  private:
    int Count(int w) const {
        int n = 0;
        for (int x : notes_) n += x == w;
        return n;
    }
    std::mutex m_;
    std::condition_variable cv_;
    std::vector<int> notes_;
};

class SerialLineTest : public ::testing::Test {
  protected:
    void SetUp() override {
        port = bank.Add("/dev/fake0");
        auto dev = std::make_unique<FakeSerialDevice>(bank);
        ASSERT_EQ(dev->Open("/dev/fake0"), SerialStatus::Ok);
        line = std::make_unique<SerialLine>(std::move(dev));
        line->SetLampsCallback([this](unsigned l) { lampReports.store(l); });
    }
    FakePortBank bank;
    std::shared_ptr<FakePort> port;
    Notes notes;  // outlives the line and its thread
    std::unique_ptr<SerialLine> line;
    std::atomic<unsigned> lampReports{0};
};

TEST_F(SerialLineTest, CarrierRiseAndDropAreReportedAsLineStatus) {
    ASSERT_TRUE(line->StartEvents([&](int w) { notes.Add(w); }));
    EXPECT_FALSE(line->UpdateModemStatus());

    port->SetLines(true, true, true);
    ASSERT_TRUE(notes.WaitFor(SerialLine::kNotifyLineStatus, 1));
    EXPECT_TRUE(line->UpdateModemStatus());
    EXPECT_TRUE(line->Cd());
    EXPECT_EQ(line->Lamps() & (kLampCts | kLampDsr | kLampCd), kLampCts | kLampDsr | kLampCd);
    EXPECT_EQ(lampReports.load() & kLampCd, unsigned(kLampCd));

    port->SetLines(true, true, false);
    ASSERT_TRUE(notes.WaitFor(SerialLine::kNotifyLineStatus, 2));
    EXPECT_FALSE(line->UpdateModemStatus());
    EXPECT_EQ(line->Lamps() & kLampCd, 0u);
    EXPECT_EQ(notes.Of(SerialLine::kNotifyData), 0);
}

TEST_F(SerialLineTest, ADeviceThatWaitsForModemChangesIsWatchedAndStoppedOnClose) {
    {
        std::lock_guard lock(port->m);
        port->modemWait = true;
    }
    auto waitsReach = [&](int n) {
        std::unique_lock lock(port->m);
        return port->cv.wait_for(lock, 5s, [&] { return port->modemWaits >= n; });
    };
    ASSERT_TRUE(line->StartEvents([&](int w) { notes.Add(w); }));
    ASSERT_TRUE(waitsReach(1));  // the watcher is blocked in the device's wait
    port->SetLines(false, false, true);
    ASSERT_TRUE(notes.WaitFor(SerialLine::kNotifyLineStatus, 1));
    EXPECT_TRUE(line->UpdateModemStatus());
    // Back in its blocking wait, the watcher must be broken out of it by Close.
    ASSERT_TRUE(waitsReach(2));
    auto closed = std::async(std::launch::async, [&] { line->Close(); });
    ASSERT_EQ(closed.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(port->IsOpen());
}

TEST_F(SerialLineTest, ReceivedDataIsReportedUntilRead) {
    std::string got;
    ASSERT_TRUE(line->StartEvents([&](int w) {
        if (w == SerialLine::kNotifyData) {
            uint8_t buf[3];  // small reads: the thread must report again for the rest
            int n = line->ReadLineData(buf, sizeof buf, 0);
            got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(std::max(n, 0)));
        }
        notes.Add(w);
    }));
    port->Feed("ATDT123\r");
    ASSERT_TRUE(notes.WaitFor(SerialLine::kNotifyData, 3));
    line->Close();  // joins the thread: `got` is no longer written
    EXPECT_EQ(got, "ATDT123\r");
}

TEST_F(SerialLineTest, PausedLineReportsNothingAndResumesAtOnce) {
    std::atomic<int> reads{0};
    ASSERT_TRUE(line->StartEvents([&](int w) {
        if (w == SerialLine::kNotifyData) {
            uint8_t buf[64];
            while (line->ReadLineData(buf, sizeof buf, 0) > 0) ++reads;
        }
        notes.Add(w);
    }));
    line->SetNotificationsPaused(true);
    // Let a notification that raced with the pause finish before counting.
    std::this_thread::sleep_for(150ms);
    int before = notes.Of(SerialLine::kNotifyData);
    port->Feed("waiting");
    port->SetLines(false, false, true);
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(notes.Of(SerialLine::kNotifyData), before);
    EXPECT_EQ(notes.Of(SerialLine::kNotifyLineStatus), 0);
    EXPECT_EQ(reads.load(), 0);

    // The bytes waited in the device; resuming reports them and the carrier change.
    line->SetNotificationsPaused(false);
    EXPECT_TRUE(notes.WaitFor(SerialLine::kNotifyData, before + 1));
    EXPECT_TRUE(notes.WaitFor(SerialLine::kNotifyLineStatus, 1));
    line->Close();  // before `reads` goes
}

TEST_F(SerialLineTest, UnreadDataDoesNotMakeTheThreadSpin) {
    ASSERT_TRUE(line->StartEvents([&](int w) { notes.Add(w); }));  // never reads
    port->Feed("x");
    ASSERT_TRUE(notes.WaitFor(SerialLine::kNotifyData, 1));
    std::this_thread::sleep_for(300ms);
    // A spinning thread would have reported thousands of times; a calm one a handful.
    EXPECT_LT(notes.Of(SerialLine::kNotifyData), 20);
}

TEST_F(SerialLineTest, BreakHoldsForTheGivenTimeWithTheThreadQuiet) {
    ASSERT_TRUE(line->StartEvents([&](int w) { notes.Add(w); }));
    bool quietDuringBreak = false;
    ASSERT_TRUE(line->SendBreak(120, [&](int ms) {
        EXPECT_TRUE(line->BreakActive());
        EXPECT_FALSE(line->SendBreak(10));  // a second break while one runs does nothing
        int before = notes.Of(SerialLine::kNotifyLineStatus);
        port->SetLines(false, false, true);
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        quietDuringBreak = notes.Of(SerialLine::kNotifyLineStatus) == before;
    }));
    EXPECT_TRUE(quietDuringBreak);
    EXPECT_FALSE(line->BreakActive());
    auto spans = port->Breaks();
    ASSERT_EQ(spans.size(), 1u);
    EXPECT_GE(spans[0].off - spans[0].on, 120ms);
    // Once the break ends the thread reports the change it held back.
    EXPECT_TRUE(notes.WaitFor(SerialLine::kNotifyLineStatus, 1));
}

TEST_F(SerialLineTest, ControlLinesAndActivityLamps) {
    EXPECT_TRUE(line->SetDtr(true));
    EXPECT_TRUE(line->SetRts(true));
    EXPECT_TRUE(port->Dtr());
    EXPECT_TRUE(port->Rts());
    EXPECT_EQ(line->Lamps() & (kLampDtr | kLampRts), kLampDtr | kLampRts);
    EXPECT_TRUE(line->SetRts(false));
    EXPECT_FALSE(port->Rts());
    EXPECT_EQ(line->Lamps() & (kLampDtr | kLampRts), unsigned(kLampDtr));

    const uint8_t out[] = {'h', 'i'};
    ASSERT_TRUE(line->WriteRaw(out, 2));
    port->Feed("ok");
    uint8_t buf[8];
    EXPECT_EQ(line->ReadLineData(buf, sizeof buf), 2);
    EXPECT_EQ(line->Lamps() & (kLampSd | kLampRd), kLampSd | kLampRd);
    EXPECT_EQ(lampReports.load() & (kLampSd | kLampRd), kLampSd | kLampRd);
    line->ClearActivity();
    EXPECT_EQ(line->Lamps() & (kLampSd | kLampRd), 0u);
    EXPECT_EQ(lampReports.load() & kLampDtr, unsigned(kLampDtr));
}

TEST_F(SerialLineTest, ShortWritesContinueAndAStalledWriteGivesUp) {
    std::vector<std::string> traces;
    line->SetTrace([&](int cat, const std::string& t) {
        EXPECT_EQ(cat, 1);
        traces.push_back(t);
    });
    {
        std::lock_guard lock(port->m);
        port->writeChunk = 3;
    }
    std::string text(100, 'z');
    ASSERT_TRUE(line->WriteRaw(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
    EXPECT_EQ(port->Written(), text);

    {
        std::lock_guard lock(port->m);
        port->writeStalled = true;
    }
    line->SetWriteLimitMs(200);
    EXPECT_FALSE(line->WriteRaw(reinterpret_cast<const uint8_t*>("more"), 4));
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(traces[0].rfind("<CE-", 0), 0u);
    EXPECT_EQ(port->Written(), text);
}

TEST_F(SerialLineTest, ParametersPassToTheDevice) {
    LineParams p{56000, 7, 2, 3, 1};
    EXPECT_TRUE(line->SetParams(p));
    LineParams back;
    ASSERT_TRUE(line->GetParams(back));
    EXPECT_EQ(back.speed, 56000);
    EXPECT_EQ(back.dataBits, 7);
    EXPECT_EQ(back.stopBits, 2);
    EXPECT_EQ(back.parity, 3);
    EXPECT_EQ(back.flow, 1);
    EXPECT_FALSE(line->SetParams({2400, 8, 1, 0, 0}));  // 1.5 stop bits
}

TEST_F(SerialLineTest, CloseDoesNotWaitForAThreadBlockedOnTheClosingThread) {
    // The notification is handled only once the closing thread gets back to its loop: a Close
    // that joined the event thread here would never return.
    std::promise<void> handled;
    auto handledFuture = handled.get_future().share();
    std::promise<void> entered;
    std::atomic<bool> enteredOnce{false};
    ASSERT_TRUE(line->StartEvents([&, handledFuture](int) {
        if (!enteredOnce.exchange(true)) entered.set_value();
        handledFuture.wait();
    }));
    port->Feed("x");
    ASSERT_EQ(entered.get_future().wait_for(5s), std::future_status::ready);

    auto closed = std::async(std::launch::async, [&] { line->Close(); });
    ASSERT_EQ(closed.wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(port->IsOpen());  // the device is released at once
    EXPECT_FALSE(line->IsOpen());
    uint8_t buf[4];
    EXPECT_EQ(line->ReadLineData(buf, sizeof buf), 0);
    EXPECT_FALSE(line->WriteRaw(buf, 1));
    handled.set_value();  // the abandoned thread now ends by itself
    EXPECT_TRUE(SerialLine::ReapAbandonedThreads(5000));
    line.reset();
}

TEST_F(SerialLineTest, CloseFromInsideTheNotificationReturns) {
    std::promise<void> done;
    ASSERT_TRUE(line->StartEvents([&](int) {
        line->Close();
        done.set_value();
    }));
    port->Feed("x");
    EXPECT_EQ(done.get_future().wait_for(5s), std::future_status::ready);
    EXPECT_FALSE(port->IsOpen());
    EXPECT_TRUE(SerialLine::ReapAbandonedThreads(5000));
}

}  // namespace
}  // namespace marlo

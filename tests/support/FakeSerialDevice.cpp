#include "support/FakeSerialDevice.h"

#include <algorithm>
#include <cerrno>

namespace marlo::test {

using std::chrono::milliseconds;

void FakePort::Feed(const std::string& bytes) {
    {
        std::lock_guard lock(m);
        rx.insert(rx.end(), bytes.begin(), bytes.end());
    }
    cv.notify_all();
}

void FakePort::SetLines(bool cts, bool dsr, bool cd) {
    {
        std::lock_guard lock(m);
        lines.cts = cts;
        lines.dsr = dsr;
        lines.cd = cd;
    }
    cv.notify_all();
}

std::shared_ptr<FakePort> FakePortBank::Add(const std::string& path) {
    std::lock_guard lock(m_);
    auto& p = ports_[path];
    if (!p) p = std::make_shared<FakePort>();
    return p;
}

std::shared_ptr<FakePort> FakePortBank::Find(const std::string& path) {
    std::lock_guard lock(m_);
    auto it = ports_.find(path);
    return it == ports_.end() ? nullptr : it->second;
}

std::function<std::unique_ptr<ISerialDevice>()> FakePortBank::Factory() {
    return [this] { return std::make_unique<FakeSerialDevice>(*this); };
}

SerialStatus FakeSerialDevice::Open(const std::string& path) {
    Close();
    auto port = bank_.Find(path);
    if (!port) {
        lastError_ = ENOENT;
        return SerialStatus::Failed;
    }
    std::lock_guard lock(port->m);
    if (port->openResult != SerialStatus::Ok) return port->openResult;
    if (port->open) {
        lastError_ = EBUSY;
        return SerialStatus::Busy;
    }
    port->open = true;
    ++port->opens;
    port_ = port;
    return SerialStatus::Ok;
}

void FakeSerialDevice::Close() {
    if (!port_) return;
    {
        std::lock_guard lock(port_->m);
        port_->open = false;
        port_->dtr = port_->rts = port_->breakOn = false;
    }
    port_->cv.notify_all();
    port_.reset();
}

SerialStatus FakeSerialDevice::Configure(const LineParams& p) {
    if (!port_) return SerialStatus::Failed;
    std::lock_guard lock(port_->m);
    if (port_->configResult != SerialStatus::Ok) return port_->configResult;
    if (p.stopBits == 1) return SerialStatus::Refused;
    port_->config = p;
    return SerialStatus::Ok;
}

bool FakeSerialDevice::GetConfig(LineParams& p) {
    if (!port_) return false;
    std::lock_guard lock(port_->m);
    p = port_->config;
    return true;
}

int FakeSerialDevice::Read(uint8_t* buf, size_t max, int timeoutMs) {
    if (!port_) return -1;
    std::unique_lock lock(port_->m);
    port_->cv.wait_for(lock, milliseconds(timeoutMs), [&] { return !port_->rx.empty(); });
    size_t n = std::min(max, port_->rx.size());
    std::copy_n(port_->rx.begin(), n, buf);
    port_->rx.erase(port_->rx.begin(), port_->rx.begin() + static_cast<long>(n));
    return static_cast<int>(n);
}

long FakeSerialDevice::Write(const uint8_t* buf, size_t n, int timeoutMs) {
    if (!port_) return -1;
    std::unique_lock lock(port_->m);
    if (port_->writeStalled) {
        port_->cv.wait_for(lock, milliseconds(timeoutMs), [&] { return !port_->writeStalled; });
        if (port_->writeStalled) return 0;
    }
    size_t take = std::min(n, port_->writeChunk);
    port_->tx.append(reinterpret_cast<const char*>(buf), take);
    return static_cast<long>(take);
}

WaitResult FakeSerialDevice::WaitEvent(int timeoutMs) {
    if (!port_) return WaitResult::Error;
    std::unique_lock lock(port_->m);
    port_->cv.wait_for(lock, milliseconds(timeoutMs),
                       [&] { return !port_->rx.empty() || port_->woken; });
    if (!port_->rx.empty()) return WaitResult::Data;
    if (port_->woken) {
        port_->woken = false;
        return WaitResult::Woken;
    }
    return WaitResult::Timeout;
}

void FakeSerialDevice::Signal(bool FakePort::*flag) {
    if (!port_) return;
    {
        std::lock_guard lock(port_->m);
        (*port_).*flag = true;
    }
    port_->cv.notify_all();
}

void FakeSerialDevice::Wake() {
    Signal(&FakePort::woken);
}

SerialStatus FakeSerialDevice::GetModemLines(ModemLines& lines) {
    lines = {};
    if (!port_) return SerialStatus::Failed;
    std::lock_guard lock(port_->m);
    if (!port_->hasModemLines) return SerialStatus::NoModemLines;
    lines = port_->lines;
    return SerialStatus::Ok;
}

SerialStatus FakeSerialDevice::WaitModemChange() {
    if (!port_) return SerialStatus::Failed;
    std::unique_lock lock(port_->m);
    if (!port_->modemWait || !port_->hasModemLines) return SerialStatus::NoModemLines;
    ++port_->modemWaits;
    port_->cv.notify_all();
    ModemLines before = port_->lines;
    port_->cv.wait(lock, [&] { return port_->modemWaitInterrupted || !(port_->lines == before); });
    if (port_->modemWaitInterrupted) {
        port_->modemWaitInterrupted = false;
        return SerialStatus::Failed;
    }
    return SerialStatus::Ok;
}

void FakeSerialDevice::InterruptModemWait() {
    Signal(&FakePort::modemWaitInterrupted);
}

SerialStatus FakeSerialDevice::SetLine(bool FakePort::*line, bool on) {
    if (!port_) return SerialStatus::Failed;
    std::lock_guard lock(port_->m);
    if (!port_->hasModemLines) return SerialStatus::NoModemLines;
    (*port_).*line = on;
    if (line == &FakePort::dtr) port_->dtrChanges.push_back({on, FakePort::Clock::now()});
    return SerialStatus::Ok;
}

SerialStatus FakeSerialDevice::SetDtr(bool on) {
    return SetLine(&FakePort::dtr, on);
}
SerialStatus FakeSerialDevice::SetRts(bool on) {
    return SetLine(&FakePort::rts, on);
}

SerialStatus FakeSerialDevice::SetBreak(bool on) {
    if (!port_) return SerialStatus::Failed;
    std::lock_guard lock(port_->m);
    auto now = FakePort::Clock::now();
    if (on && !port_->breakOn) port_->breaks.push_back({now, now});
    if (!on && port_->breakOn && !port_->breaks.empty()) port_->breaks.back().off = now;
    port_->breakOn = on;
    return SerialStatus::Ok;
}

void FakeSerialDevice::Purge() {
    if (!port_) return;
    std::lock_guard lock(port_->m);
    port_->rx.clear();
}

}  // namespace marlo::test

#include "cli/CliLine.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/CliCommand.h"
#include "cli/CliText.h"
#include "line/SerialDevice.h"
#include "line/SerialLine.h"
#include "line/StreamLine.h"
#include "line/TelnetLine.h"
#include "settings/Paths.h"
#include "settings/SettingsByName.h"

namespace marlo::cli {

namespace {

// Settings whose values are file or folder names: the command line gives them in the file
// system's own bytes.
bool NamesAFile(const std::string& canonical) {
    auto endsWith = [&](const char* tail) {
        size_t n = std::strlen(tail);
        return canonical.size() >= n && canonical.compare(canonical.size() - n, n, tail) == 0;
    };
    return endsWith("DefPath") || endsWith("TraceFile") || endsWith("Editor") ||
           canonical.find("WaveFile") != std::string::npos ||
           canonical.find("LogViewer\\") != std::string::npos ||
           canonical.rfind("AppCommand", 0) == 0;
}

std::string ParamsText(const Settings& s) {
    return "Speed=" + std::to_string(s.Speed) + " DataLen=" + std::to_string(s.DataLen) +
           " Parity=" + std::to_string(s.Parity) + " StopBit=" + std::to_string(s.StopBit) +
           " Flow=" + std::to_string(s.Flow);
}

}  // namespace

int TakeLineOption(const std::vector<std::string>& args, size_t& i, LineChoice& line,
                   std::string& error, bool allowStdio) {
    const std::string& a = args[i];
    if (a == "--stdio" && allowStdio) {
        line.kind = LineChoice::Kind::Stdio;
        ++line.given;
        return 1;
    }
    if (a != "--serial" && a != "--telnet") return 0;
    if (i + 1 >= args.size()) {
        error = a == "--serial" ? "--serial needs a device" : "--telnet needs HOST[:PORT]";
        return -1;
    }
    const std::string& value = args[++i];
    ++line.given;
    if (a == "--serial") {
        if (value.empty()) {
            error = "--serial needs a device";
            return -1;
        }
        line.kind = LineChoice::Kind::Serial;
        line.device = value;
        return 1;
    }
    line.kind = LineChoice::Kind::Telnet;
    return ParseHostPort(value, line.host, line.port, error) ? 1 : -1;
}

bool ParseHostPort(const std::string& text, std::string& host, int& port, std::string& error) {
    host = text;
    port = 23;
    // "[::1]:23" style brackets are not needed for the names and IPv4 addresses telnet takes.
    if (auto colon = host.rfind(':'); colon != std::string::npos) {
        auto p = telnet_hosts::ParsePort(host.substr(colon + 1));
        if (!p) {
            error = "bad port in " + text;
            return false;
        }
        port = *p;
        host.resize(colon);
    }
    if (host.empty()) {
        error = "no host in " + text;
        return false;
    }
    return true;
}

bool ApplySetOption(Settings& s, const std::string& nameValue, std::string& error) {
    std::string name, value;
    if (!SplitSetting(nameValue, name, value)) {
        error = "--set needs Name=Value: " + nameValue;
        return false;
    }
    auto canonical = ResolveSettingName(name);
    std::string stored = canonical && NamesAFile(*canonical) ? value : ArgToSjis(value);
    std::string why;
    if (!SetSettingByName(s, name, stored, &why)) {
        error = "--set " + nameValue + ": " + why;
        return false;
    }
    return true;
}

CliLine::CliLine(ConsolePlatform& platform, std::string who)
    : platform_(platform), who_(std::move(who)) {
    session_ = std::make_unique<Session>(platform_, settings_, ConfigDir(),
                                         CommPort::DeviceFactory{}, Session::Hooks{});
    // The command reads the line itself, as fast as it comes: no notices of received bytes.
    session_->Telnet().StopNotifier();
}

CliLine::~CliLine() {
    Close();
}

SerialLine* CliLine::Serial() const {
    return session_->Comm().Line();
}

void CliLine::Close() {
    if (SerialLine* serial = Serial()) serial->Close();
    if (OnTelnet() && session_->Conn().telnetMode)
        session_->HangUp();
    else
        session_->Telnet().Close();
}

int CliLine::OpenFailedStatus(LineChoice::Kind kind) {
    return kind == LineChoice::Kind::Telnet ? kExitFailed : kExitUsage;
}

bool CliLine::Open(const LineChoice& choice, const Settings& s) {
    settings_ = s;
    switch (choice.kind) {
        case LineChoice::Kind::Serial:
            return OpenSerial(choice.device, s);
        case LineChoice::Kind::Telnet: {
            TelnetTarget t;
            t.host = choice.host;
            t.port = choice.port;
            return OpenTelnet(t);
        }
        case LineChoice::Kind::Stdio:
            OpenStdio();
            return true;
        case LineChoice::Kind::None:
            break;
    }
    return false;
}

bool CliLine::OpenSerial(const std::string& device, const Settings& s) {
    settings_ = s;
    auto dev = std::make_unique<TermiosDevice>();
    switch (dev->Open(device)) {
        case SerialStatus::Ok:
            break;
        case SerialStatus::Busy:
            std::fprintf(stderr, "%s: cannot open %s: it is in use by another program\n",
                         who_.c_str(), device.c_str());
            return false;
        default: {
            int err = dev->LastError();
            std::fprintf(stderr, "%s: cannot open %s: %s\n", who_.c_str(), device.c_str(),
                         err == ENOTTY ? "not a serial device" : std::strerror(err));
            return false;
        }
    }
    if (dev->Configure(LineParamsOf(s)) != SerialStatus::Ok) {
        std::fprintf(stderr, "%s: %s does not take %s\n", who_.c_str(), device.c_str(),
                     ParamsText(s).c_str());
        dev->Close();
        return false;
    }
    // The session's port from now on: its dialler, control lines and carrier act on it. The
    // command reads it itself, so no thread watches it.
    settings_.Port = 1;
    if (!session_->AdoptSerial(std::move(dev), false, device)) return false;
    line_ = Serial();
    return true;
}

bool CliLine::OpenTelnet(const TelnetTarget& target) {
    return AwaitTelnet(
        [&] {
            if (target.history)
                session_->ConnectTelnetHost(target);
            else
                session_->ConnectTelnet(target.host, target.port);
        },
        target.host, target.port);
}

bool CliLine::OpenHost(const HostEntry& e, const Settings& s) {
    settings_ = s;
    return AwaitTelnet([&] { session_->ConnectHost(e); }, e.TelnetHost, e.TelnetPort);
}

bool CliLine::AwaitTelnet(const std::function<void()>& start, const std::string& hostName,
                          int port) {
    TelnetConnect& connect = session_->TelnetConnector();
    connect.SetReportPauseMs(0);
    struct Router : IEventTarget {
        TelnetConnect& c;
        explicit Router(TelnetConnect& c) : c(c) {}
        void OnEvent(const Event& e) override {
            if (e.id == WM_TELNET_RESOLVED) c.OnResolved();
            if (e.id == WM_TELNET_RETRY) c.OnRetry();
        }
    } router(connect);
    platform_.SetEventTarget(&router);
    size_t shown = platform_.messages.size();
    start();
    Connection& conn = session_->Conn();
    platform_.DispatchWait(
        [&] { return conn.connected.load() || platform_.messages.size() > shown; }, std::nullopt);
    platform_.SetEventTarget(nullptr);
    if (!conn.connected) {
        session_->Telnet().Close();
        const TelnetConnect::Failure& failure = connect.LastFailure();
        const char* host = hostName.c_str();
        if (!failure.reason.empty() && failure.lookup)
            std::fprintf(stderr, "%s: cannot resolve host '%s': %s\n", who_.c_str(), host,
                         failure.reason.c_str());
        else if (!failure.reason.empty())
            std::fprintf(stderr, "%s: cannot connect to %s:%d: %s\n", who_.c_str(), host, port,
                         failure.reason.c_str());
        return false;
    }
    line_ = &session_->Telnet();
    return true;
}

void CliLine::OpenStdio() {
    stream_ = std::make_unique<StreamLine>(0, 1);
    line_ = stream_.get();
    session_->AttachLine(line_);
}

int CliLine::ReadFd() const {
    if (OnTelnet()) return session_->Telnet().Fd();
    if (SerialLine* serial = Serial()) return serial->ReadFd();
    return -1;
}

bool CliLine::HungUp() const {
    if (OnTelnet()) return !session_->Telnet().IsOpen();
    if (SerialLine* serial = Serial()) return !serial->IsOpen() || serial->HungUp();
    if (stream_) return !stream_->IsOpen();
    return true;
}

}  // namespace marlo::cli

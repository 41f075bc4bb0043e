// marlo-cli send / receive: one file transfer over a line, driven exactly as the desktop program
// drives it, with the status window's texts as progress on stderr.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/Settings.h"
#include "cli/CliCommand.h"
#include "line/StreamLine.h"
#include "transfer/Protocols.h"
#include "transfer/TransferSession.h"

namespace marlo::cli {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) {
    gInterrupted = true;
}

// The few settings a transfer reads; the rest are refused so that a typo is not silently ignored.
bool ApplyTransferSetting(Settings& s, const std::string& name, const std::string& value) {
    auto number = [&](int32_t& field) {
        char* end = nullptr;
        long v = std::strtol(value.c_str(), &end, 10);
        if (value.empty() || *end) return false;
        field = static_cast<int32_t>(v);
        return true;
    };
    if (name == "DownlodDefPath") {
        s.DownlodDefPath = value;
        return true;
    }
    if (name == "UploadDefPath") {
        s.UploadDefPath = value;
        return true;
    }
    if (name == "7to8") return number(s.SevenToEight);
    if (name == "Speed") return number(s.Speed);
    return false;
}

speed_t BaudConstant(int speed) {
    switch (speed) {
        case 300:
            return B300;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        default:
            return B0;
    }
}

// A serial device opened raw: 8 bits, no flow control, no echo, no signals.
int OpenSerialRaw(const std::string& device, int speed) {
    int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        ::cfmakeraw(&t);
        t.c_cflag |= CLOCAL | CREAD;
        t.c_cflag &= ~CRTSCTS;
        t.c_iflag &= ~(IXON | IXOFF | IXANY);
        if (speed_t b = BaudConstant(speed); b != B0) ::cfsetspeed(&t, b);
        if (::tcsetattr(fd, TCSANOW, &t) != 0) {
            ::close(fd);
            return -1;
        }
    }
    return fd;
}

const char* FieldLabel(TransField f) {
    switch (f) {
        case TransField::File:
            return "転送ﾌｧｲﾙ";
        case TransField::Size:
            return "ﾌｧｲﾙｻｲｽﾞ";
        case TransField::Protocol:
            return "転送ﾌﾟﾛﾄｺﾙ";
        case TransField::Retries:
            return "ﾘﾄﾗｲ回数";
        case TransField::Elapsed:
            return "経過時間";
        case TransField::Bytes:
            return "転送ﾃﾞｰﾀ";
        case TransField::Speed:
            return "平均転送速度";
        case TransField::Remaining:
            return "終了予定時間";
        case TransField::Message:
            return "";
    }
    return "";
}

// The status window on stderr: named fields as they change, progress at most twice a second.
class StderrStatus : public ITransferStatus {
  public:
    void SetField(TransField field, const std::string& utf8) override {
        std::lock_guard lock(mutex_);
        switch (field) {
            case TransField::Bytes:
                bytes_ = utf8;
                break;
            case TransField::Speed:
                speed_ = utf8;
                break;
            case TransField::Remaining:
                remaining_ = utf8;
                break;
            case TransField::Elapsed:
                elapsed_ = utf8;
                break;
            case TransField::Retries:
                if (utf8 != retries_) {
                    retries_ = utf8;
                    if (utf8 != "0")
                        std::fprintf(stderr, "%s: %s\n", FieldLabel(field), utf8.c_str());
                }
                return;
            case TransField::Message:
                std::fprintf(stderr, "%s\n", utf8.c_str());
                return;
            default:
                std::fprintf(stderr, "%s: %s\n", FieldLabel(field), utf8.c_str());
                return;
        }
        MaybePrint(false);
    }
    void SetTitle(const std::string& utf8) override {
        std::lock_guard lock(mutex_);
        if (utf8.find('(') == std::string::npos && utf8 != title_) {
            std::fprintf(stderr, "%s\n", utf8.c_str());
            title_ = utf8;
        }
    }
    void SetStatusTitle(const std::string& utf8) override {
        std::lock_guard lock(mutex_);
        if (utf8 != title_) {
            std::fprintf(stderr, "%s\n", utf8.c_str());
            title_ = utf8;
        }
    }
    void SetPercent(int percent) override {
        std::lock_guard lock(mutex_);
        percent_ = percent;
    }
    void Flush() {
        std::lock_guard lock(mutex_);
        MaybePrint(true);
    }

  private:
    void MaybePrint(bool force) {
        auto now = std::chrono::steady_clock::now();
        if (!force && now - lastPrint_ < std::chrono::milliseconds(500)) return;
        if (bytes_.empty()) return;
        lastPrint_ = now;
        std::string line = std::string("転送ﾃﾞｰﾀ: ") + bytes_;
        if (percent_ >= 0) line += "  " + FormatPercent(percent_);
        if (!speed_.empty()) line += std::string("  平均転送速度: ") + speed_;
        if (!remaining_.empty()) line += std::string("  終了予定時間: ") + remaining_;
        if (!elapsed_.empty()) line += std::string("  経過時間: ") + elapsed_;
        std::fprintf(stderr, "%s\n", line.c_str());
    }

    std::mutex mutex_;
    std::string bytes_, speed_, remaining_, elapsed_, retries_ = "0", title_;
    int percent_ = -1;
    std::chrono::steady_clock::time_point lastPrint_{};
};

int Usage(const char* why, const std::string& what = "") {
    std::fprintf(stderr, "marlo-cli: %s%s\n", why, what.c_str());
    return kExitUsage;
}

int RunTransfer(const std::vector<std::string>& args, int direction) {
    const char* cmd = direction == kUpload ? "send" : "receive";
    std::string protocolName, serial, telnet, dir;
    bool useStdio = false, haveDir = false;
    Settings settings;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        if (a == "--protocol") {
            if (!value(protocolName)) return Usage("--protocol needs a name");
        } else if (a == "--stdio") {
            useStdio = true;
        } else if (a == "--serial") {
            if (!value(serial)) return Usage("--serial needs a device");
        } else if (a == "--telnet") {
            if (!value(telnet)) return Usage("--telnet needs HOST[:PORT]");
        } else if (a == "--dir") {
            if (!value(dir)) return Usage("--dir needs a folder");
            haveDir = true;
        } else if (a == "--set") {
            std::string setting, name, v;
            if (!value(setting) || !SplitSetting(setting, name, v))
                return Usage("--set needs Name=Value");
            if (!ApplyTransferSetting(settings, name, v))
                return Usage("unknown or bad setting for a transfer: ", setting);
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option ", a);
        } else {
            files.push_back(a);
        }
    }
    if (protocolName.empty()) return Usage("--protocol NAME is required");
    int lines = (useStdio ? 1 : 0) + (serial.empty() ? 0 : 1) + (telnet.empty() ? 0 : 1);
    if (lines != 1)
        return Usage("give exactly one line: --stdio, --serial DEVICE or --telnet HOST[:PORT]");

    int protocol = ProtocolFromCliName(protocolName);
    if (protocol == kProtoNone) return Usage("unknown protocol ", protocolName);
    if (!StartAccepted(direction, protocol))
        return Usage(
            direction == kUpload ? "this protocol cannot send: " : "this protocol cannot receive: ",
            protocolName);
    {
        StreamLine probeLine(-1, -1);
        TransferContext probe;
        probe.line = &probeLine;
        if (!CreateEngine(protocol, probe))
            return Usage("protocol not available yet: ", protocolName);
    }
    if (!telnet.empty()) return Usage("--telnet: not available yet");

    TransferRequest req;
    req.protocol = protocol;
    req.direction = direction;
    req.sevenToEight = settings.SevenToEight != 0;
    fs::path folder =
        haveDir ? fs::path(dir)
                : fs::path(direction == kUpload ? settings.UploadDefPath : settings.DownlodDefPath);
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Usage("no such folder: ", folder.string());
    req.downloadDir = req.uploadDir = folder;

    bool batch = protocol == kProtoYmodem || protocol == kProtoYmodemG ||
                 protocol == kProtoZmodem || protocol == kProtoBplus || protocol == kProtoQuickVan;
    if (direction == kUpload) {
        if (files.empty()) return Usage("send needs at least one FILE");
        if (!batch && files.size() > 1) return Usage("this protocol sends one FILE");
        for (const auto& f : files) {
            fs::path p = f;
            if (!p.has_parent_path()) p = folder / p;
            if (!fs::is_regular_file(p, ec)) return Usage("cannot open ", p.string());
            req.files.push_back(p);
        }
    } else {
        if (files.size() > 1) return Usage("receive takes at most one FILE");
        if (!batch) {
            if (files.empty()) return Usage("this protocol carries no file name: give FILE");
            req.files.push_back(files.front());
        } else if (!files.empty()) {
            std::fprintf(stderr, "marlo-cli: the sender names the files; %s is not used\n",
                         files.front().c_str());
        }
    }

    std::unique_ptr<StreamLine> line;
    if (useStdio) {
        line = std::make_unique<StreamLine>(0, 1);
    } else {
        int fd = OpenSerialRaw(serial, settings.Speed);
        if (fd < 0) {
            std::fprintf(stderr, "marlo-cli: cannot open %s\n", serial.c_str());
            return kExitUsage;
        }
        line = std::make_unique<StreamLine>(fd, fd, true);
    }

    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGINT, OnInterrupt);
    std::signal(SIGTERM, OnInterrupt);

    StderrStatus status;
    TransferSession session(*line, &status, nullptr);
    switch (session.Start(req, nullptr)) {
        case StartResult::Started:
            break;
        case StartResult::EightBitFailed:
            std::fprintf(stderr, "8ﾋﾞｯﾄに変更できませんでした\n");
            return kExitFailed;
        default:
            std::fprintf(stderr, "転送ｽﾚｯﾄﾞの作成に失敗しました\n");
            return kExitFailed;
    }
    bool cancelled = false;
    while (!session.WaitEngine(500)) {
        status.SetField(TransField::Elapsed, session.UpdateElapsed());
        if (gInterrupted.load() && !cancelled) {
            cancelled = true;
            session.Cancel();
        }
    }
    status.SetField(TransField::Elapsed, session.UpdateElapsed());
    status.Flush();
    bool ok = session.Succeeded();
    if (!session.Finish()) std::fprintf(stderr, "元の通信条件に戻せませんでした\n");
    for (const auto& f : session.ReceivedFiles())
        std::fprintf(stderr, "%s: %s\n", cmd, f.string().c_str());
    std::fprintf(stderr, "%s: %s\n", cmd, ok ? "転送終了" : "転送失敗");
    return ok ? kExitOk : kExitFailed;
}

int RunSend(const std::vector<std::string>& args) {
    return RunTransfer(args, kUpload);
}
int RunReceive(const std::vector<std::string>& args) {
    return RunTransfer(args, kDownload);
}

}  // namespace

MARLO_CLI_COMMAND("send",
                  "  send --protocol NAME (--stdio | --serial DEVICE | --telnet HOST[:PORT])\n"
                  "       [--dir DIR] [--set Name=Value]... FILE...",
                  RunSend);
MARLO_CLI_COMMAND("receive",
                  "  receive --protocol NAME (--stdio | --serial DEVICE | --telnet HOST[:PORT])\n"
                  "       [--dir DIR] [--set Name=Value]... [FILE]",
                  RunReceive);

}  // namespace marlo::cli

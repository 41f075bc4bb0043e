// marlo-cli send / receive: one file transfer over a line, driven exactly as the desktop program
// drives it, with the status window's texts as progress on stderr.
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliCommand.h"
#include "cli/CliLine.h"
#include "cli/TransferRun.h"
#include "line/StreamLine.h"
#include "settings/Settings.h"
#include "transfer/Protocols.h"
#include "transfer/ProgressText.h"
#include "transfer/TransferSession.h"
#include "transfer/ZModem.h"

namespace marlo::cli {
namespace {

namespace fs = std::filesystem;

std::atomic<bool> gInterrupted{false};
extern "C" void OnInterrupt(int) {
    gInterrupted = true;
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

// Why no file can be created in `dir`, or nullopt when one can. A probe file is made and removed:
// permission bits do not tell (root, read-only mounts, file systems of the kernel).
std::optional<std::string> CannotCreateIn(const fs::path& dir) {
    std::string probe = (dir / ".marlo-XXXXXX").string();
    const int fd = ::mkstemp(probe.data());
    if (fd < 0) return std::string(std::strerror(errno));
    ::close(fd);
    ::unlink(probe.c_str());
    return std::nullopt;
}

int RunTransfer(const std::vector<std::string>& args, int direction) {
    const char* cmd = direction == kUpload ? "send" : "receive";
    std::string protocolName, dir, management, uploadDir;
    bool haveDir = false, haveManagement = false, haveUploadDir = false;
    int resumeAnswer = -1, overwriteAnswer = -1;
    LineChoice choice;
    Settings settings;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        auto value = [&](std::string& out) {
            if (i + 1 >= args.size()) return false;
            out = args[++i];
            return true;
        };
        std::string error;
        if (int taken = TakeLineOption(args, i, choice, error); taken != 0) {
            if (taken < 0) return Usage(error.c_str());
        } else if (a == "--protocol") {
            if (!value(protocolName)) return Usage("--protocol needs a name");
        } else if (a == "--dir") {
            if (!value(dir)) return Usage("--dir needs a folder");
            haveDir = true;
        } else if (a == "--upload-dir" && direction == kDownload) {
            if (!value(uploadDir)) return Usage("--upload-dir needs a folder");
            haveUploadDir = true;
        } else if (a == "--set") {
            std::string setting;
            if (!value(setting)) return Usage("--set needs Name=Value");
            if (!ApplySetOption(settings, setting, error)) return Usage(error.c_str());
        } else if (a == "--resume" && direction == kDownload) {
            std::string answer;
            if (!value(answer) || (answer != "yes" && answer != "no"))
                return Usage("--resume needs yes or no");
            resumeAnswer = answer == "yes" ? 1 : 0;
        } else if (a == "--overwrite" && direction == kDownload) {
            std::string answer;
            if (!value(answer) || (answer != "yes" && answer != "no"))
                return Usage("--overwrite needs yes or no");
            overwriteAnswer = answer == "yes" ? 1 : 0;
        } else if (a == "--management" && direction == kDownload) {
            if (!value(management) || !ZModem::ParseManagement(management))
                return Usage(
                    "--management needs a ZMODEM management option (NEWL, CRC, APND, "
                    "CLOB, NEW, DIFF, PROT, CHNG, SKNOLOC or a number): ",
                    management);
            haveManagement = true;
        } else if (a.size() > 1 && a[0] == '-') {
            return Usage("unknown option ", a);
        } else {
            files.push_back(a);
        }
    }
    if (protocolName.empty()) return Usage("--protocol NAME is required");
    if (choice.given != 1)
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
    if (haveManagement && protocol != kProtoZmodem) return Usage("--management is a ZMODEM option");
    if (haveUploadDir && protocol != kProtoBplus) return Usage("--upload-dir is a B Plus option");
    if (overwriteAnswer >= 0 && protocol != kProtoQuickVan)
        return Usage("--overwrite is a Quick-VAN option");

    TransferRequest req;
    req.protocol = protocol;
    req.direction = direction;
    req.sevenToEight = settings.SevenToEight != 0;
    req.fileNameCode = settings.FileNameCode;
    req.resumeAnswer = resumeAnswer;
    req.overwriteAnswer = overwriteAnswer;
    req.management = management;
    fs::path folder =
        haveDir ? fs::path(dir)
                : fs::path(direction == kUpload ? settings.UploadDefPath : settings.DownlodDefPath);
    if (folder.empty()) folder = ".";
    std::error_code ec;
    if (!fs::is_directory(folder, ec)) return Usage("no such folder: ", folder.string());
    req.downloadDir = req.uploadDir = folder;
    if (protocol == kProtoBplus && direction == kDownload) {
        // The host may also ask for a file: it is read from the upload folder.
        req.uploadDir = haveUploadDir ? fs::path(uploadDir) : fs::path(settings.UploadDefPath);
        if (req.uploadDir.empty()) req.uploadDir = ".";
        if (!fs::is_directory(req.uploadDir, ec))
            return Usage("no such folder: ", req.uploadDir.string());
    }

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
        // Where the files will be written must take them before anything is asked of the line.
        const fs::path target = req.files.empty() || !req.files.front().has_parent_path()
                                    ? folder
                                    : req.files.front().parent_path();
        if (!fs::is_directory(target, ec)) return Usage("no such folder: ", target.string());
        if (std::optional<std::string> why = CannotCreateIn(target))
            return Usage("cannot write in folder ", target.string() + ": " + *why);
    }

    std::signal(SIGPIPE, SIG_IGN);
    ConsolePlatform platform;
    CliLine cliLine(platform, std::string("marlo-cli ") + cmd);
    if (!cliLine.Open(choice, settings)) return CliLine::OpenFailedStatus(choice.kind);
    ILineIo* line = cliLine.Line();

    return RunTransferOnLine(*line, req, cmd) ? kExitOk : kExitFailed;
}

}  // namespace

bool RunTransferOnLine(ILineIo& line, const TransferRequest& req, const char* cmd,
                       std::vector<uint8_t>* unread) {
    gInterrupted = false;
    auto oldInt = std::signal(SIGINT, OnInterrupt);
    auto oldTerm = std::signal(SIGTERM, OnInterrupt);
    StderrStatus status;
    TransferSession session(line, &status, nullptr);
    const StartResult started = session.Start(req, nullptr);
    if (started != StartResult::Started) {
        std::fprintf(stderr, "%s\n",
                     started == StartResult::EightBitFailed ? "8ﾋﾞｯﾄに変更できませんでした"
                                                             : "転送ｽﾚｯﾄﾞの作成に失敗しました");
        std::signal(SIGINT, oldInt);
        std::signal(SIGTERM, oldTerm);
        return false;
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
    std::signal(SIGINT, oldInt);
    std::signal(SIGTERM, oldTerm);
    for (const auto& f : session.ReceivedFiles())
        std::fprintf(stderr, "%s: %s\n", cmd, f.string().c_str());
    std::fprintf(stderr, "%s: %s\n", cmd, ok ? "転送終了" : "転送失敗");
    if (unread) *unread = session.TakeUnread();
    return ok;
}

namespace {

int RunSend(const std::vector<std::string>& args) {
    return RunTransfer(args, kUpload);
}
int RunReceive(const std::vector<std::string>& args) {
    return RunTransfer(args, kDownload);
}

}  // namespace

MARLO_CLI_COMMAND("send",
                  "  send --protocol NAME (--stdio | --serial DEVICE | --telnet HOST[:PORT])\n"
                  "       [--dir DIR] [--set Name=Value]... FILE...\n"
                  "      sends the FILEs (found in DIR, default UploadDefPath, when given without\n"
                  "      a folder); names go out in Shift-JIS, or UTF-8 with --set FileNameCode=1",
                  RunSend);
MARLO_CLI_COMMAND("receive",
                  "  receive --protocol NAME (--stdio | --serial DEVICE | --telnet HOST[:PORT])\n"
                  "       [--dir DIR] [--set Name=Value]... [--resume yes|no]\n"
                  "       [--management NAME] [--upload-dir DIR] [--overwrite yes|no] [FILE]\n"
                  "      receives into DIR (default DownlodDefPath); FILE names the file of a\n"
                  "      protocol that carries no name (XMODEM). --resume answers the question\n"
                  "      about an existing file; no also wins over a sender that asks to resume.\n"
                  "      --management overrides the ZMODEM sender's management option.\n"
                  "      B Plus (bplus, b+) answers the host's session: a file the host asks\n"
                  "      for is read from --upload-dir (default UploadDefPath).\n"
                  "      --overwrite answers Quick-VAN's question about a file of the same size\n"
                  "      (default no: the download ends)",
                  RunReceive);

}  // namespace marlo::cli

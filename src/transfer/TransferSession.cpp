#include "transfer/TransferSession.h"

#include <cstdio>
#include <utility>

#include "platform/Platform.h"
#include "transfer/ProgressText.h"
#include "transfer/Protocols.h"

namespace marlo {

const char* const kTextNoProtocol = "転送プロトコルが指定されていません.";

namespace {

// Binary protocols without escaping cannot pass XON/XOFF through the line.
bool NeedsSoftwareFlowOff(int protocol) {
    return protocol == kProtoXmodem || protocol == kProtoXmodemCrc || protocol == kProtoXmodem1k ||
           protocol == kProtoYmodem || protocol == kProtoYmodemG;
}

}  // namespace

bool StartAccepted(int direction, int protocol) {
    if (direction == kUpload)
        return protocol == kProtoNoProtocol || protocol == kProtoXmodem ||
               protocol == kProtoXmodem1k || protocol == kProtoYmodem || protocol == kProtoZmodem ||
               protocol == kProtoBplus || protocol == kProtoQuickVan;
    return protocol == kProtoXmodem || protocol == kProtoXmodemCrc || protocol == kProtoYmodem ||
           protocol == kProtoYmodemG || protocol == kProtoZmodem || protocol == kProtoBplus ||
           protocol == kProtoQuickVan;
}

bool SkipsFileChoice(int direction, int protocol) {
    if (direction == kUpload) return protocol == kProtoBplus;
    return protocol == kProtoYmodem || protocol == kProtoYmodemG || protocol == kProtoZmodem ||
           protocol == kProtoBplus || protocol == kProtoQuickVan;
}

StartPlan PlanTransferStart(
    int direction, int protocol, const std::string& file, bool transferRunning,
    const std::function<std::optional<std::string>(const std::vector<std::string>&)>&
        chooseProtocol,
    const std::function<std::optional<std::string>()>& chooseFile) {
    StartPlan plan;
    if (transferRunning) return plan;
    if (protocol == kProtoNone) {
        plan.askedProtocol = true;
        auto chosen = chooseProtocol ? chooseProtocol(ProtocolChoices(direction)) : std::nullopt;
        if (!chosen) return plan;
        protocol = ProtocolFromName(*chosen);
    }
    plan.protocol = protocol;
    // A protocol that cannot start in this direction asks for no file either.
    if (!StartAccepted(direction, protocol)) return plan;
    if (!SkipsFileChoice(direction, protocol)) {
        if (!file.empty()) {
            plan.path = file;
        } else {
            plan.askedFile = true;
            auto chosen = chooseFile ? chooseFile() : std::nullopt;
            if (!chosen) return plan;
            plan.path = *chosen;
        }
    }
    plan.start = true;
    return plan;
}

std::string ProtocolFieldText(int protocol) {
    switch (protocol) {
        case kProtoXmodem:
        case kProtoXmodemCrc:
        case kProtoXmodem1k:
        case kProtoYmodem:
        case kProtoYmodemG:
        case kProtoZmodem:
        case kProtoBplus:
        case kProtoQuickVan:
            return ProtocolName(protocol);
        case kProtoNoProtocol:
            return "無手順";
        default:
            return "";
    }
}

bool ShouldExtractLzh(int direction, bool succeeded, bool unlha,
                      const std::filesystem::path& path) {
    if (direction != kDownload || !succeeded || !unlha) return false;
    std::string ext = path.extension().string();
    if (ext.size() != 4) return false;
    for (char& c : ext) c = static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
    return ext == ".LZH";
}

TransferSession::TransferSession(ILineIo& line, ITransferStatus* status, IPlatform* platform)
    : line_(line) {
    ctx_.line = &line;
    ctx_.status = status;
    ctx_.platform = platform;
}

TransferSession::~TransferSession() {
    if (thread_.joinable()) Close();
}

StartResult TransferSession::Start(const TransferRequest& request,
                                   std::function<void(bool)> onEnd) {
    if (running_.load()) return StartResult::Busy;
    if (thread_.joinable()) thread_.join();

    savedParams_.reset();
    LineParams params;
    if (line_.Kind() != LineKind::Telnet && line_.GetParams(params)) {
        LineParams want = params;
        bool eightBits = request.sevenToEight && params.dataBits == 7;
        if (eightBits) {
            want.dataBits = 8;
            want.parity = 0;
            want.stopBits = 0;
        }
        bool flowOff = NeedsSoftwareFlowOff(request.protocol) && params.flow == 1;
        if (flowOff) want.flow = 0;
        if (eightBits || flowOff) {
            if (!line_.SetParams(want)) {
                if (eightBits) {
                    line_.SetParams(params);
                    return StartResult::EightBitFailed;
                }
                // Flow control that cannot be switched off is left as it is.
            } else {
                savedParams_ = params;
            }
        }
    }
    line_.SetTransferMode(true);
    transferMode_ = true;

    ctx_.abort = false;
    ctx_.running = true;
    ctx_.elapsedSeconds = 0;
    ctx_.files = request.files;
    ctx_.received.clear();
    ctx_.downloadDir = request.downloadDir;
    ctx_.uploadDir = request.uploadDir;
    ctx_.protocol = request.protocol;
    ctx_.abortSound = request.abortSound;
    ctx_.timeScale = request.timeScale;
    ctx_.resumeAnswer = request.resumeAnswer;
    ctx_.management = request.management;
    ctx_.overwriteAnswer = request.overwriteAnswer;
    ctx_.windowLimit = request.windowLimit;
    ctx_.fileNameCode = request.fileNameCode;
    result_ = false;
    engineDone_ = false;
    closed_ = false;
    start_ = std::chrono::steady_clock::now();
    running_ = true;
    try {
        thread_ = std::jthread(
            [this, onEnd = std::move(onEnd), dir = request.direction] { Run(onEnd, dir); });
    } catch (const std::system_error&) {
        running_ = false;
        RestoreLine();
        return StartResult::NoThread;
    }
    return StartResult::Started;
}

void TransferSession::Run(std::function<void(bool)> onEnd, int direction) {
    // WM_TRANS_PROTOCOL: the status window names the protocol it runs.
    if (ctx_.status) {
        std::string name = ProtocolFieldText(ctx_.protocol);
        if (!name.empty()) ctx_.status->SetField(TransField::Protocol, name);
    }
    bool ok = false;
    if (auto engine = CreateEngine(ctx_.protocol, ctx_)) {
        ok = direction == kUpload ? engine->Upload() : engine->Download();
        // What follows a completed session is the host's again; after a failure it is the
        // protocol's debris.
        if (ok) engine->TakeUnread(unread_);
    } else if (ctx_.platform) {
        ctx_.platform->MessageBox(kTextNoProtocol, MsgIcon::Exclamation);
    } else if (ctx_.status) {
        ctx_.status->SetField(TransField::Message, kTextNoProtocol);
    }
    // A transfer that was stopped from outside never counts as a success.
    if (ctx_.abort.load() || !ctx_.running.load()) ok = false;
    result_ = ok;
    {
        std::lock_guard lock(doneMutex_);
        engineDone_ = true;
    }
    doneCv_.notify_all();
    if (!closed_.load() && onEnd) onEnd(ok);
}

bool TransferSession::WaitEngine(int ms) {
    std::unique_lock lock(doneMutex_);
    return doneCv_.wait_for(lock, std::chrono::milliseconds(ms),
                            [this] { return engineDone_.load(); });
}

std::string TransferSession::UpdateElapsed() {
    if (running_.load() && !engineDone_.load()) {
        auto secs = std::chrono::duration_cast<std::chrono::seconds>(
                        std::chrono::steady_clock::now() - start_)
                        .count();
        ctx_.elapsedSeconds = static_cast<long>(secs);
    }
    return FormatElapsed(ctx_.elapsedSeconds.load());
}

void TransferSession::Cancel() {
    if (!running_.load()) return;
    line_.Purge();
    ctx_.abort = true;
}

void TransferSession::RequestStop() {
    closed_ = true;
    ctx_.running = false;
}

void TransferSession::Close() {
    closed_ = true;
    ctx_.running = false;
    if (thread_.joinable()) thread_.join();
    RestoreLine();
    running_ = false;
}

bool TransferSession::Finish() {
    if (thread_.joinable()) thread_.join();
    bool ok = RestoreLine();
    running_ = false;
    return ok;
}

bool TransferSession::RestoreLine() {
    if (transferMode_) {
        line_.SetTransferMode(false);
        transferMode_ = false;
    }
    if (!savedParams_) return true;
    bool ok = line_.SetParams(*savedParams_);
    savedParams_.reset();
    return ok;
}

std::vector<std::filesystem::path> TransferSession::ReceivedFiles() const {
    if (running_.load() && !engineDone_.load()) return {};
    return ctx_.received;
}

std::vector<uint8_t> TransferSession::TakeUnread() {
    if (running_.load() && !engineDone_.load()) return {};
    return std::exchange(unread_, {});
}

std::filesystem::path TransferSession::TransferPath() const {
    if ((running_.load() && !engineDone_.load()) || ctx_.files.empty()) return {};
    return ctx_.files.back();
}

}  // namespace marlo

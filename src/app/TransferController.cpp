#include "app/TransferController.h"

#include <chrono>
#include <filesystem>

#include "settings/Trace.h"
#include "text/Encoding.h"
#include "transfer/Protocols.h"

namespace marlo {

const char* const TransferController::kAskCancel = "転送処理を中断しますがよろしいですか";
const char* const TransferController::kAskClose =
    "このｳｨﾝﾄﾞｳを閉じるとﾌｧｲﾙ転送が継続できなくなります\nそれでも閉じますか？";
const char* const TransferController::kEightBitFailed = "8ﾋﾞｯﾄに変更できませんでした";
const char* const TransferController::kEndedOk = "転送が終了しました";
const char* const TransferController::kEndedFailed = "転送に失敗しました";
const char* const TransferController::kEndedStopped = "転送を中止しました";
const char* const TransferController::kRestoreFailed = "元の通信条件に戻せませんでした";
const char* const TransferController::kNoThread = "転送ｽﾚｯﾄﾞの作成に失敗しました";
const char* const TransferController::kNoLine = "通信回線がオープンされていません.";
const char* const TransferController::kFileTitle = "転送元ファイル設定";
const char* const TransferController::kFileFilter = "すべてのﾌｧｲﾙ (*.*)|*.*||";

// Takes the engine's reports on the transfer thread and keeps the latest of each; the first report
// after the window last caught up posts one event, so a fast engine never floods the queue.
class TransferController::StatusRelay : public ITransferStatus {
  public:
    struct Snapshot {
        std::map<TransField, std::string> fields;
        std::optional<std::string> title, statusTitle;
        std::optional<int> percent;
    };

    StatusRelay(IPlatform& platform, intptr_t serial) : platform_(platform), serial_(serial) {}

    void SetField(TransField field, const std::string& utf8) override {
        Update([&](Snapshot& s) { s.fields[field] = utf8; });
    }
    void SetTitle(const std::string& utf8) override {
        Update([&](Snapshot& s) { s.title = utf8; });
    }
    void SetStatusTitle(const std::string& utf8) override {
        Update([&](Snapshot& s) { s.statusTitle = utf8; });
    }
    void SetPercent(int percent) override {
        Update([&](Snapshot& s) { s.percent = percent; });
    }

    Snapshot Take() {
        std::lock_guard lock(mutex_);
        Snapshot out = std::move(pending_);
        pending_ = Snapshot{};
        posted_ = false;
        return out;
    }

  private:
    template <typename F>
    void Update(F change) {
        bool post = false;
        {
            std::lock_guard lock(mutex_);
            change(pending_);
            post = !posted_;
            posted_ = true;
        }
        if (post) platform_.PostEvent(Event{WM_TRANS_PROTOCOL, 0, serial_, {}, {}});
    }

    IPlatform& platform_;
    const intptr_t serial_;
    std::mutex mutex_;
    Snapshot pending_;
    bool posted_ = false;
};

TransferController::TransferController(IPlatform& platform, const Settings& settings,
                                       TransferFrameHooks hooks)
    : platform_(platform), settings_(settings), hooks_(std::move(hooks)) {}

TransferController::~TransferController() {
    // The thread is stopped and joined before the relay it reports to goes away.
    session_.reset();
}

bool TransferController::StartTransfer(int direction, int protocol, const std::string& file) {
    if (Running()) return false;
    direction_ = direction;
    auto chooseName = [&](const std::vector<std::string>& sjisItems) -> std::optional<std::string> {
        if (chooseProtocol) return chooseProtocol(direction, sjisItems);
        std::vector<std::string> items;
        for (const auto& item : sjisItems) items.push_back(SjisToUtf8(item));
        auto index = platform_.ChooseFromList(
            direction == kUpload ? "アップロード" : "ダウンロード", "転送ﾌﾟﾛﾄｺﾙ", items, 0);
        if (!index || *index < 0 || static_cast<size_t>(*index) >= sjisItems.size())
            return std::nullopt;
        return sjisItems[static_cast<size_t>(*index)];
    };
    auto chooseFile = [&]() -> std::optional<std::string> {
        const std::string& folder =
            direction == kUpload ? settings_.UploadDefPath : settings_.DownlodDefPath;
        // A download names a file that is about to be written, so it is chosen like a save.
        return platform_.ChooseFile(direction == kDownload, kFileTitle, kFileFilter, folder);
    };
    StartPlan plan =
        PlanTransferStart(direction, protocol, file, Running(), chooseName, chooseFile);
    if (!plan.start) return false;
    if (!plan.path.empty()) transferPath_ = plan.path;
    return TransExecute(plan.protocol);
}

bool TransferController::TransExecute(int protocol) {
    if (Running()) return false;
    if (hooks_.trace)
        hooks_.trace(kTraceMain, "TransExecute(protocol = " + std::to_string(protocol) + ")\n");
    ILineIo* line = hooks_.line ? hooks_.line() : nullptr;
    if (!line || !line->IsOpen()) {
        platform_.MessageBox(kNoLine, MsgIcon::Exclamation);
        return false;
    }

    TransferRequest request;
    request.protocol = protocol;
    request.direction = direction_;
    // Which engines are given the transfer path: the others name their files themselves.
    bool givePath =
        direction_ == kUpload
            ? protocol != kProtoBplus
            : protocol == kProtoXmodem || protocol == kProtoXmodemCrc || protocol == kProtoBplus;
    if (givePath && !transferPath_.empty()) request.files.push_back(transferPath_);
    request.downloadDir = settings_.DownlodDefPath;
    request.uploadDir = settings_.UploadDefPath;
    request.sevenToEight = settings_.SevenToEight != 0;
    request.fileNameCode = settings_.FileNameCode;
    request.abortSound = settings_.WaveFile[5];

    // A report of an earlier transfer that is still queued must not reach this one's window.
    ++serial_;
    session_.reset();
    relay_ = std::make_unique<StatusRelay>(platform_, serial_);
    session_ = std::make_unique<TransferSession>(*line, relay_.get(), &platform_);

    // The frame stops reading before the engine may take the first byte.
    if (hooks_.setRunning) hooks_.setRunning(true);
    IPlatform* platform = &platform_;
    const intptr_t serial = serial_;
    StartResult started = session_->Start(request, [platform, serial](bool ok) {
        platform->PostEvent(Event{WM_TRANS_END, ok ? 1 : 0, serial, {}, {}});
    });
    if (started != StartResult::Started) {
        session_.reset();
        if (hooks_.setRunning) hooks_.setRunning(false);
        if (started == StartResult::EightBitFailed)
            platform_.MessageBox(kEightBitFailed, MsgIcon::Exclamation);
        else if (started == StartResult::NoThread)
            platform_.MessageBox(kNoThread, MsgIcon::Exclamation);
        return false;
    }
    open_ = true;
    ++starts_;
    if (window_) {
        window_->Open();
        window_->SetStatusTitle("転送中");
    }
    return true;
}

bool TransferController::OnEvent(const Event& e) {
    switch (e.id) {
        case WM_TRANS_UPLOAD:
        case WM_TRANS_DOWNLOAD:
            StartTransfer(e.id == WM_TRANS_UPLOAD ? kUpload : kDownload, ProtocolFromName(e.text),
                          e.text2);
            return true;
        case WM_TRANS_END:
            OnTransEnd(e.wParam != 0, e.lParam);
            return true;
        case WM_TRANS_PROTOCOL:
            if (e.lParam == serial_ && Running()) ShowReported();
            return true;
        default:
            return false;
    }
}

bool TransferController::AutoStartByte(uint8_t b) {
    // The engine has the line while a transfer runs; nothing seen now starts another.
    if (Running()) return true;
    const AutoStartDetector::Result r =
        autoStart_.Feed(b, settings_.AutoBplus != 0, settings_.AutoZMODEM != 0);
    if (r.protocol)
        platform_.PostEvent(Event{WM_TRANS_DOWNLOAD, 0, 0, ProtocolName(r.protocol), {}});
    return r.display;
}

void TransferController::ShowReported() {
    if (!relay_) return;
    StatusRelay::Snapshot s = relay_->Take();
    if (window_) {
        for (const auto& [field, text] : s.fields) window_->SetField(field, text);
        if (s.statusTitle) window_->SetStatusTitle(*s.statusTitle);
        if (s.percent) window_->SetPercent(*s.percent);
    }
    if (s.title) platform_.SetWindowTitle(*s.title);
}

void TransferController::OnTick() {
    if (!Running()) return;
    std::string elapsed = session_->UpdateElapsed();
    if (window_) window_->SetField(TransField::Elapsed, elapsed);
    ShowReported();
}

void TransferController::CloseWindow() {
    if (!open_) return;
    open_ = false;
    if (window_) window_->Close();
    if (hooks_.setRunning) hooks_.setRunning(false);
    if (hooks_.idleTitle) platform_.SetWindowTitle(hooks_.idleTitle());
}

void TransferController::OnTransEnd(bool ok, intptr_t serial) {
    if (serial != serial_ || !session_) return;
    ShowReported();
    const int protocol = session_->Protocol();
    bool restored = session_->Finish();
    ok = ok && session_->Succeeded();
    std::string path = session_->TransferPath().string();
    // B Plus went the way the host asked: a file received makes it a download.
    if (protocol == kProtoBplus)
        direction_ = session_->ReceivedFiles().empty() ? kUpload : kDownload;
    // B Plus uploads and Quick-VAN downloads were given no path and leave it as it was.
    bool keepsPath = (direction_ == kUpload && protocol == kProtoBplus) ||
                     (direction_ == kDownload && protocol == kProtoQuickVan);
    if (!keepsPath && !path.empty()) transferPath_ = path;
    // What crossed: a Quick-VAN download keeps the transfer path but names the file it received,
    // and that file is the one reported and extracted.
    const std::vector<std::filesystem::path> received = session_->ReceivedFiles();
    const std::string crossed =
        keepsPath && !received.empty() ? received.back().string() : transferPath_;
    std::vector<uint8_t> unread = session_->TakeUnread();
    session_.reset();
    CloseWindow();
    // Before anything the line holds now, which the frame reads next.
    if (!unread.empty() && hooks_.unread) hooks_.unread(unread);
    ReportEnd(ok ? kEndedOk : kEndedFailed, crossed);
    platform_.PlaySound(settings_.WaveFile[4], false);
    if (!restored) platform_.MessageBox(kRestoreFailed, MsgIcon::Exclamation);
    if (hooks_.idleTitle) platform_.SetWindowTitle(hooks_.idleTitle());
    if (extractLzh && ShouldExtractLzh(direction_, ok, settings_.Unlha != 0, crossed))
        extractLzh(crossed);
}

void TransferController::RequestCancel() {
    // F3 pressed again while the question is open asks nothing more.
    if (!Running() || asking_) return;
    asking_ = true;
    MsgResult answer = platform_.MessageBox(kAskCancel, MsgIcon::Exclamation, MsgButtons::OkCancel);
    asking_ = false;
    // The transfer may have ended while the question was open.
    if (answer != MsgResult::Ok || !Running()) return;
    session_->Cancel();
    if (window_) window_->SetCancelEnabled(false);
}

void TransferController::WaitEngineDispatching(int ms) {
    // The engine may be waiting for the user-interface thread (a question it asks), so the wait
    // handles events instead of blocking on the thread.
    TransferSession* session = session_.get();
    platform_.DispatchWait([session] { return session->EngineDone(); },
                           std::chrono::steady_clock::now() + std::chrono::milliseconds(ms));
}

bool TransferController::RequestClose() {
    if (!Running()) {
        CloseWindow();
        return true;
    }
    if (asking_) return false;
    asking_ = true;
    MsgResult answer = platform_.MessageBox(kAskClose, MsgIcon::Stop, MsgButtons::OkCancel);
    asking_ = false;
    if (answer != MsgResult::Ok) return false;
    if (Running()) Stop();
    return true;
}

void TransferController::Stop() {
    if (!Running() || stopping_) return;
    stopping_ = true;
    // No end report of this transfer is taken any more: no end sound, no extraction.
    ++serial_;
    session_->RequestStop();
    if (platform_.OnUiThread()) WaitEngineDispatching(3000);
    session_->Close();
    session_.reset();
    stopping_ = false;
    CloseWindow();
    ReportEnd(kEndedStopped, transferPath_);
}

void TransferController::ReportEnd(const char* what, const std::string& path) {
    lastSucceeded_ = what == kEndedOk;
    ++ends_;
    // The window is gone by now, so the status bar keeps the outcome for the user to see.
    std::string text = what;
    std::string name = std::filesystem::path(path).filename().string();
    if (!name.empty()) text += " (" + name + ")";
    platform_.SetStatusText(text);
}

}  // namespace marlo

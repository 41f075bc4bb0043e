#include "line/CommPort.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <thread>

namespace marlo {

namespace {

// The user's texts of the serial port (UTF-8).
// How long a closing port lets written bytes leave.
constexpr int kCloseDrainMs = 2000;
constexpr const char* kMsgBusy = "通信デバイスはすでに使用されています.(%s)";
constexpr const char* kMsgOpenFailed = "通信デバイスのオープンに失敗しました.(%s)";
constexpr const char* kMsgParamsRefused = "通信パラメータの設定に失敗しました。";
constexpr const char* kMsgParamsRefusedStartup =
    "通信ﾊﾟﾗﾒｰﾀの設定に失敗しました。\n[設定]-[通信条件］で通信条件を設定し、[ＯＫ]"
    "ボタンを押してください。";
constexpr const char* kMsgThreadFailed = "ｲﾍﾞﾝﾄ監視用ｽﾚｯﾄﾞの作成に失敗しました";
constexpr const char* kMsgToggleFailed = "通信パラメータの設定に失敗しました.";
constexpr const char* kMsgBreak = "ﾌﾞﾚｰｸ信号を送信しました";
constexpr const char* kMsgDtrPulse = "DTRﾊﾟﾙｽを送信しました";
constexpr const char* kPortDialogLabel = "COMポート";

std::string WithName(const char* format, const std::string& name) {
    std::string_view f = format;
    auto at = f.find("%s");
    if (at == std::string_view::npos) return std::string(f);
    std::string text(f.substr(0, at));
    text += name;
    text += f.substr(at + 2);
    return text;
}

constexpr unsigned kLineLamps = kLampDtr | kLampRts | kLampCts | kLampDsr | kLampCd;

}  // namespace

CommPort::CommPort(IPlatform& platform, Settings& settings, PortMap& ports, DeviceFactory factory)
    : platform_(platform), settings_(settings), ports_(ports), factory_(std::move(factory)) {}

CommPort::~CommPort() {
    if (line_) line_->Close();
}

std::unique_ptr<ISerialDevice> CommPort::MakeDevice() {
    if (factory_) return factory_();
    return std::make_unique<TermiosDevice>();
}

void CommPort::Trace(const std::string& text) {
    if (trace_) trace_(1, text);
}

void CommPort::OnLamps(unsigned lamps) {
    lamps_ = lamps;
    if (lampsFn_) lampsFn_(lamps);
}

LineParams CommPort::SettingsParams() const {
    return LineParamsOf(settings_);
}

std::string CommPort::CurrentPortName() const {
    return settings_.Port == 0 ? std::string(kNoModemName) : PortMap::ComName(settings_.Port);
}

std::string CommPort::OpenPath() const {
    return line_ ? ports_.Resolve(CurrentPortName()) : std::string();
}

std::vector<std::string> CommPort::AvailablePorts() {
    std::vector<std::string> candidates = FindSerialDevices(devDir_);
    for (const auto& e : ports_.Entries())
        if (!e.empty() && std::find(candidates.begin(), candidates.end(), e) == candidates.end())
            candidates.push_back(e);
    std::string mine = OpenPath();
    std::vector<std::string> list;
    for (const auto& path : candidates) {
        // The port this program holds open counts as available: it is ours to choose.
        if (path == mine) {
            list.push_back(path);
            continue;
        }
        auto dev = MakeDevice();
        if (dev->Open(path) == SerialStatus::Ok) {
            dev->Close();
            list.push_back(path);
        }
    }
    list.push_back(kNoModemName);
    return list;
}

std::optional<std::string> CommPort::ChoosePort(const std::string& preset) {
    auto list = AvailablePorts();
    std::string presetPath = ports_.Resolve(preset);
    int pre = 0;
    // Each device is shown with what it is ("/dev/ttyUSB0  FTDI FT232R USB UART (A50285BI)").
    std::vector<std::string> texts;
    for (size_t i = 0; i < list.size(); ++i) {
        if (list[i] == preset || (!presetPath.empty() && list[i] == presetPath))
            pre = static_cast<int>(i);
        texts.push_back(list[i] == kNoModemName ? list[i] : namer_.Describe(list[i]).ListText());
    }
    auto choice = platform_.ChooseOrTypeText("マーロ", kPortDialogLabel, texts, pre);
    if (!choice || choice->empty()) return std::nullopt;
    for (size_t i = 0; i < texts.size(); ++i)
        if (*choice == texts[i]) return list[i];
    return PathOfListText(*choice);
}

CommPort::OpenResult CommPort::OpenCommPort(std::string& name, bool startup) {
    if (line_) CloseCommPort();
    std::unique_ptr<ISerialDevice> dev;
    for (;;) {
        if (name == kNoModemName) return OpenResult::NoModem;
        std::string path = ports_.Resolve(name);
        dev = MakeDevice();
        SerialStatus st = path.empty() ? SerialStatus::Failed : dev->Open(path);
        if (st == SerialStatus::Ok) break;
        platform_.MessageBox(WithName(st == SerialStatus::Busy ? kMsgBusy : kMsgOpenFailed, name),
                             MsgIcon::Exclamation);
        auto chosen = ChoosePort(name);
        if (!chosen) return OpenResult::Failed;
        name = *chosen;
    }

    SerialStatus cfg = dev->Configure(SettingsParams());
    if (cfg != SerialStatus::Ok) {
        if (!startup) {
            platform_.MessageBox(kMsgParamsRefused, MsgIcon::Stop);
            dev->Close();
            return OpenResult::Failed;
        }
        platform_.MessageBox(kMsgParamsRefusedStartup, MsgIcon::Exclamation);
    }

    return AdoptDevice(std::move(dev), true, ports_.Resolve(name)) ? OpenResult::Opened
                                                                   : OpenResult::Failed;
}

bool CommPort::Reopen() {
    if (line_ || returnPath_.empty()) return false;
    auto dev = MakeDevice();
    if (dev->Open(returnPath_) != SerialStatus::Ok) return false;
    if (dev->Configure(SettingsParams()) != SerialStatus::Ok) {
        Trace("reopened device refuses the parameters\n");
        dev->Close();
        return false;
    }
    const std::string path = returnPath_;
    return AdoptDevice(std::move(dev), events_, path);
}

bool CommPort::AdoptDevice(std::unique_ptr<ISerialDevice> dev, bool events,
                           const std::string& path) {
    if (line_) CloseCommPort();
    returnPath_.clear();
    if (!path.empty()) {
        std::error_code ec;
        const std::string byId = std::filesystem::is_symlink(path, ec) ? std::string()
                                                                       : namer_.StablePath(path);
        returnPath_ = byId.empty() ? path : byId;
    }
    events_ = events;
    auto line = std::make_unique<SerialLine>(std::move(dev));
    line->SetTrace(trace_);
    line->SetLampsCallback([this](unsigned lamps) { OnLamps(lamps); });
    if (events && !line->StartEvents(notify_)) {
        platform_.MessageBox(kMsgThreadFailed, MsgIcon::Exclamation);
        line->Close();
        return false;
    }
    line_ = std::move(line);
    SetDtr(true);
    SetRts(true);
    UpdateModemStatus();
    return true;
}

bool CommPort::CloseCommPort() {
    if (!line_) return true;
    // What was written goes out before the control lines drop (a modem hangs up then).
    line_->SettleForClose(kCloseDrainMs);
    SetRts(false);
    SetDtr(false);
    UpdateModemStatus();
    line_->Close();
    line_.reset();
    // A closed port shows no line at all, not the last carrier it saw.
    unsigned now = lamps_.load() & ~kLineLamps;
    OnLamps(now);
    return true;
}

bool CommPort::UpdateModemStatus() {
    if (settings_.Port == 0 || !line_) {
        unsigned now =
            lamps_.load() & ~(settings_.Port == 0 ? kLineLamps : (kLampCts | kLampDsr | kLampCd));
        if (now != lamps_.load()) OnLamps(now);
        return false;
    }
    return line_->UpdateModemStatus();
}

void CommPort::SetDtr(bool on) {
    if (line_) line_->SetDtr(on);
}

void CommPort::SetRts(bool on) {
    if (line_) line_->SetRts(on);
}

void CommPort::ClearActivity() {
    if (line_)
        line_->ClearActivity();
    else if (lamps_ & (kLampSd | kLampRd))
        OnLamps(lamps_ & ~(kLampSd | kLampRd));
}

void CommPort::Pause(int ms, const std::atomic<bool>* stop) {
    if (ms <= 0) return;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    if (platform_.OnUiThread())
        platform_.DispatchWait([] { return false; }, deadline, stop, {WM_COMMNOTIFY});
    else
        std::this_thread::sleep_until(deadline);
}

void CommPort::SendBreak() { SendBreak(settings_.BreakTime, nullptr); }

void CommPort::SendBreak(int ms, const std::atomic<bool>* stop) {
    if (!line_ || line_->BreakActive()) return;
    platform_.SetStatusText(kMsgBreak);
    line_->SendBreak(ms, [this, stop](int ms) { Pause(ms, stop); });
    platform_.SetStatusText("");
}

bool CommPort::PulseDtr() {
    return PulseDtr(settings_.DtrPulseTime, nullptr);
}

bool CommPort::PulseDtr(int ms, const std::atomic<bool>* stop) {
    // The pause lets other commands run: a second pulse (or a close) meanwhile is refused or
    // ends it, never nests.
    if (!line_ || pulsing_) return false;
    pulsing_ = true;
    const bool was = Dtr();
    platform_.SetStatusText(kMsgDtrPulse);
    SetDtr(!was);
    Pause(ms, stop);
    SetDtr(was);
    platform_.SetStatusText("");
    pulsing_ = false;
    return true;
}

void CommPort::TogglePort() {
    if (line_) {
        CloseCommPort();
        return;
    }
    if (settings_.Port == 0) return;
    std::string name = CurrentPortName();
    OpenResult r = OpenCommPort(name, false);
    if (r != OpenResult::Opened) {
        platform_.MessageBox(kMsgToggleFailed, MsgIcon::Stop);
        return;
    }
    settings_.Port = PortNumberOf(name);
    UpdateModemStatus();
}

}  // namespace marlo

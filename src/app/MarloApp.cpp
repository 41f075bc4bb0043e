#include "app/MarloApp.h"

#include <filesystem>
#include <system_error>

#include "app/CommandIds.h"
#include "line/PortMap.h"
#include "settings/Paths.h"
#include "settings/SettingsIo.h"
#include "settings/Trace.h"

namespace marlo {

namespace {
const char* const kNoModem = "ﾓﾃﾞﾑなし";
const char* const kFolderNames[7] = {"log",    "download", "upload", "txsend",
                                     "txrecv", "macro",    "history"};
const char* const kFolderLabels[7] = {"ﾛｸﾞ",      "ﾀﾞｳﾝﾛｰﾄﾞ", "ｱｯﾌﾟﾛｰﾄﾞ", "ﾃｷｽﾄ送信",
                                      "ﾃｷｽﾄ受信", "ﾏｸﾛ",      "接続履歴"};
}  // namespace

CMarloApp::CMarloApp(IPlatform& platform) : platform_(platform) {}

CMarloApp::~CMarloApp() {
    frame_.reset();
    store_.reset();
}

std::vector<std::string> CMarloApp::DefaultFolders(const std::string& dataDir) {
    std::vector<std::string> out;
    for (const char* name : kFolderNames)
        out.push_back((std::filesystem::path(dataDir) / name).string());
    return out;
}

bool CMarloApp::AskFolders(Settings& s) {
    std::vector<std::string*> members = {&s.LogDefPath,    &s.DownlodDefPath, &s.UploadDefPath,
                                         &s.TxsendDefPath, &s.TxrecvDefPath,  &s.MacroDefPath,
                                         &s.HistoryDefPath};
    auto proposed = DefaultFolders(DataDir());
    std::vector<std::string> labels(std::begin(kFolderLabels), std::end(kFolderLabels));
    auto chosen = platform_.EditTextFields("マーロ", labels, proposed);
    if (!chosen) return false;
    for (size_t i = 0; i < members.size() && i < chosen->size(); ++i) {
        std::string dir = (*chosen)[i].empty() ? proposed[i] : (*chosen)[i];
        std::error_code ec;
        std::filesystem::create_directories(dir, ec);  // an existing folder is not an error
        *members[i] = dir;
    }
    return true;
}

bool CMarloApp::InitInstance(const std::vector<std::string>& args,
                             const std::function<void(CMainFrame&)>& createWindow) {
    command_ = ParseCommandLine(args);
    if (command_.showUsage) {
        platform_.MessageBox(kUsageText, MsgIcon::Information);
        return false;
    }
    SetTraceMode(command_.trace);

    const std::string configDir = ConfigDir();
    const std::string dataDir = DataDir();
    std::error_code ec;
    std::filesystem::create_directories(dataDir, ec);

    store_ = std::make_unique<SettingsFile>(configDir);
    std::string message;
    store_->Load(&message);
    if (!message.empty()) platform_.MessageBox(message, MsgIcon::Exclamation);
    firstRun_ = !store_->FileFound();

    // A first run asks which port to use; "終了" gives the start-up up (and the next start is a
    // first run again, since nothing was saved).
    std::string chosenPort;
    if (firstRun_) {
        std::vector<std::string> ports = FindSerialDevices();
        ports.push_back(kNoModem);
        auto choice = platform_.ChooseOrTypeText("マーロ", "COMポート", ports, 0);
        if (!choice) return false;
        chosenPort = *choice;
    }

    Settings settings(dataDir);
    LoadSettings(*store_, settings, configDir);
    SetTraceMask(settings.TracePos);
    SetTraceFile(settings.TraceFile);
    frame_ = std::make_unique<CMainFrame>(platform_, std::move(settings),
                                          CMainFrame::Paths{configDir, dataDir}, store_.get());
    if (createWindow) createWindow(*frame_);
    frame_->StartLogAtStart();

    if (firstRun_) {
        frame_->S().Port = chosenPort == kNoModem ? 0 : frame_->Comm().PortNumberOf(chosenPort);
    }
    if (!frame_->OpenConfiguredPort()) return false;
    if (firstRun_) AskFolders(frame_->S());

    if (command_.startupHost != 0)
        frame_->ConnectHostNumber(command_.startupHost);
    else if (frame_->S().HostselectOnBegin)
        frame_->OnCommand(ID_HOST_WINDOW);

    frame_->StartTimer3();
    SetTraceMask(frame_->S().TracePos);
    SetTraceFile(frame_->S().TraceFile);
    return true;
}

}  // namespace marlo

// Start-up: the command line, the settings store (first run when it has no file yet), the port
// choice of a first run, the frame with its settings, the configured port, the folders of a first
// run, the host to connect or the host window, timer 3 and the trace state.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/MainFrame.h"
#include "platform/Platform.h"
#include "settings/SettingsFile.h"

namespace marlo {

class CMarloApp {
  public:
    explicit CMarloApp(IPlatform& platform);
    ~CMarloApp();

    // Runs the start-up. `createWindow` is called once the frame exists (the front end builds its
    // window around it). False: the program ends (usage shown, first run given up, the port not
    // opened).
    bool InitInstance(const std::vector<std::string>& args,
                      const std::function<void(CMainFrame&)>& createWindow);

    CMainFrame* Frame() { return frame_.get(); }
    const CommandLine& Command() const { return command_; }
    bool FirstRun() const { return firstRun_; }

    // The seven folders a first run proposes, under the data folder.
    static std::vector<std::string> DefaultFolders(const std::string& dataDir);

  private:
    bool AskFolders(Settings& s);

    IPlatform& platform_;
    CommandLine command_;
    std::unique_ptr<SettingsFile> store_;
    std::unique_ptr<CMainFrame> frame_;
    bool firstRun_ = false;
};

}  // namespace marlo

// A serial line behind the communication sheet that records each call as a word ("open 2",
// "params 9600", "reset"...) and refuses what it is told to. Header-only, for the core and the Qt
// sheet tests alike.
#pragma once

#include <deque>
#include <string>
#include <vector>

#include "app/CommSettingsModel.h"

namespace marlo::test {

class FakeCommLine : public ICommLineControl {
  public:
    bool PortOpen() const override { return open; }
    void SaveControlBlock() override { calls.push_back("save"); }
    void RestoreControlBlock() override { calls.push_back("restore"); }
    bool ClosePort() override {
        calls.push_back("close");
        if (refuseClose) return false;
        open = false;
        return true;
    }
    std::optional<int> OpenPort(int port) override {
        calls.push_back("open " + std::to_string(port));
        const bool ok = openResults.empty() || openResults.front();
        if (!openResults.empty()) openResults.pop_front();
        if (!ok) return std::nullopt;
        open = true;
        return port;
    }
    bool ApplyLineParams(const LineParams& p) override {
        calls.push_back("params " + std::to_string(p.speed));
        return !refuseParams;
    }
    void SetDtr(bool on) override { calls.push_back(on ? "dtr" : "-dtr"); }
    void SetRts(bool on) override { calls.push_back(on ? "rts" : "-rts"); }
    void UpdateModemStatus() override { calls.push_back("status"); }
    void Pause(int ms) override { calls.push_back("pause " + std::to_string(ms)); }
    void ClearSendKanjiMode() override { calls.push_back("kanji"); }
    void ResetTerminal() override { calls.push_back("reset"); }
    void ShowMessage(const std::string& text, MsgIcon) override { messages.push_back(text); }

    bool open = true, refuseClose = false, refuseParams = false;
    std::deque<bool> openResults;  // one per OpenPort call; none left: the open succeeds
    std::vector<std::string> calls, messages;
};

}  // namespace marlo::test

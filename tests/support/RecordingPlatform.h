// The platform of the core tests: the headless event loop, with every message box, sound, title
// and process start recorded, and the answers to questions scripted.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/QueuedPlatform.h"

namespace marlo::test {

class RecordingPlatform : public QueuedPlatform {
  public:
    struct Box {
        std::string text;
        MsgIcon icon;
        std::string title;
    };

    MsgResult MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override;
    std::optional<std::string> ChooseFile(bool, const std::string&, const std::string&,
                                          const std::string&) override;
    std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override;
    std::optional<int> ChooseFromList(const std::string&, const std::string&,
                                      const std::vector<std::string>& items, int) override;
    void SetClipboardText(const std::string& sjis) override { clipboard = sjis; }
    std::string ClipboardText() override { return clipboard; }
    void PlaySound(const std::string& path, bool) override { sounds.push_back(path); }
    void Beep() override { ++beeps; }
    bool StartProcess(const std::vector<std::string>& argv,
                      const std::string& workDir = {}) override {
        processes.push_back(argv);
        workDirs.push_back(workDir);
        return startSucceeds;
    }
    void SetStatusText(const std::string& t) override { statusText = t; }
    void SetWindowTitle(const std::string& t) override { title = t; }
    void UpdateLamps(unsigned l) override { lamps = l; }
    void ShowProgress(const std::string& t) override {
        progressCancel = false;
        progressVisible = true;
        progressTexts.push_back(t);
    }
    void SetProgressStatus(const std::string& s) override { progressStatus.push_back(s); }
    void SetProgressSeconds(const std::string& s) override { progressSeconds = s; }
    void CloseProgress() override { progressVisible = false; }
    bool ProgressVisible() const override { return progressVisible; }
    const std::atomic<bool>& ProgressCancelled() const override { return progressCancel; }

    // Runs the event loop until `cond` holds (true) or `ms` have passed (false).
    bool Until(const std::function<bool()>& cond, int ms = 10000) {
        return DispatchWait(cond, std::chrono::steady_clock::now() +
                                      std::chrono::milliseconds(ms)) == WaitEnd::Condition;
    }
    // Runs the event loop for `ms`.
    void Idle(int ms) { Until(nullptr, ms); }

    // Scripted answers, taken in order; when empty: Yes/Ok, cancel for choosers, 0 for lists.
    std::deque<MsgResult> answers;
    std::deque<std::optional<std::string>> fileAnswers;
    std::deque<std::optional<int>> listAnswers;

    std::vector<Box> boxes;
    std::vector<std::string> sounds;
    std::vector<std::vector<std::string>> processes;
    std::vector<std::string> workDirs;
    bool startSucceeds = true;
    std::vector<std::vector<std::string>> listsShown;
    std::string clipboard, statusText, title;
    unsigned lamps = 0;
    // Set it to press "中断".
    std::atomic<bool> progressCancel{false};
    bool progressVisible = false;
    std::vector<std::string> progressTexts, progressStatus;
    std::string progressSeconds;
    int beeps = 0;
};

}  // namespace marlo::test

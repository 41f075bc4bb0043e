// The platform of marlo-cli: the queued event loop, messages on stderr, questions answered by a
// fixed policy (nobody is there to ask), no sounds, no clipboard beyond the process.
#pragma once

#include <string>

#include "platform/QueuedPlatform.h"

namespace marlo::cli {

class HeadlessPlatform : public QueuedPlatform {
  public:
    // The answer to Yes/No questions (default No: nothing is done that was not asked for).
    MsgResult questionAnswer = MsgResult::No;
    bool quiet = false;

    MsgResult MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override;
    std::optional<std::string> ChooseFile(bool, const std::string&, const std::string&,
                                          const std::string&) override {
        return std::nullopt;
    }
    std::optional<std::string> ChooseFolder(const std::string&,
                                            const std::string& initial) override {
        return initial;
    }
    std::optional<int> ChooseFromList(const std::string&, const std::string&,
                                      const std::vector<std::string>&, int) override {
        return std::nullopt;
    }
    void SetClipboardText(const std::string& sjis) override { clipboard_ = sjis; }
    std::string ClipboardText() override { return clipboard_; }
    void PlaySound(const std::string&, bool) override {}
    void Beep() override {}
    bool StartProcess(const std::vector<std::string>& argv,
                      const std::string& workDir = {}) override;
    void SetStatusText(const std::string& utf8) override;
    void SetWindowTitle(const std::string&) override {}
    void UpdateLamps(unsigned) override {}
    void ShowProgress(const std::string& text) override;
    void SetProgressStatus(const std::string& status) override;
    void SetProgressSeconds(const std::string&) override {}
    void CloseProgress() override { progressVisible_ = false; }
    bool ProgressVisible() const override { return progressVisible_; }
    const std::atomic<bool>& ProgressCancelled() const override { return progressCancelled_; }
    // Set from a signal handler or another thread to press "中断".
    std::atomic<bool>& CancelFlag() { return progressCancelled_; }

  private:
    std::string clipboard_;
    bool progressVisible_ = false;
    std::atomic<bool> progressCancelled_{false};
};

}  // namespace marlo::cli

// The platform on Qt: events through the application's event queue, timers as QTimers, dispatching
// waits as nested event loops, dialogs as Qt dialogs. Texts from the core are UTF-8 or, where the
// interface says so, Shift-JIS converted here.
#pragma once

#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <set>
#include <vector>

#include "platform/Platform.h"

class QDialog;
class QMessageBox;
class QSocketNotifier;
class QTimer;
#include <QWidget>

namespace marlo::ui {

class ProgressWindow;
class AutoLogonStopWindow;

// A chooser's filter of the core, "名前 (*.x)|*.x|他 (*.*)|*.*||", in Qt's "名前 (*.x);;他 (*.*)".
QString QtFilter(const std::string& filter);

// Receives the posted events on the user-interface thread and hands them to the frame.
class EventBridge : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;
    bool event(QEvent* e) override;

    IEventTarget* target = nullptr;
    // Event ids held back while a dispatching wait runs (notifications do not nest).
    std::vector<int> held;
    std::vector<QEvent*> deferred;
    void ReleaseDeferred();
};

class QtPlatform : public IPlatform {
  public:
    QtPlatform();
    ~QtPlatform() override;

    // The window that owns dialogs, and the places of the main window's title, status and lamps.
    void SetMainWidget(QWidget* w) { mainWidget_ = w; }
    void SetStatusSink(std::function<void(const std::string&)> f) { statusSink_ = std::move(f); }
    void SetLampSink(std::function<void(unsigned)> f) { lampSink_ = std::move(f); }

    void SetEventTarget(IEventTarget* target) override { bridge_->target = target; }
    void PostEvent(Event e) override;
    void SendEvent(Event e) override;
    bool OnUiThread() const override;
    void StartTimer(int id, int periodMs, std::function<void()> tick) override;
    void StopTimer(int id) override;
    void WatchFd(int fd, std::function<void()> ready) override;
    void UnwatchFd(int fd) override;
    WaitEnd DispatchWait(const std::function<bool()>& done,
                         std::optional<std::chrono::steady_clock::time_point> deadline,
                         const std::atomic<bool>* stop, std::vector<int> held) override;
    void DispatchPending(std::vector<int> held) override;
    MsgResult MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                         const std::string& title) override;
    // The message box itself, over `parent` (dialogs that show their own refusals use it too).
    static MsgResult ShowMessageBox(QWidget* parent, const std::string& text, MsgIcon icon,
                                    MsgButtons buttons, const std::string& title);
    // The box, not yet shown; `Answer` reads what closed it.
    static QMessageBox* MakeMessageBox(QWidget* parent, const std::string& text, MsgIcon icon,
                                       MsgButtons buttons, const std::string& title);
    static MsgResult Answer(int closedWith);
    // Closes the modal dialog with result 0 soon after `stop` is set (a stopped macro's box).
    static void CloseOnStop(QDialog* dialog, const std::atomic<bool>* stop);
    std::optional<std::string> ChooseFile(bool save, const std::string& title,
                                          const std::string& filter,
                                          const std::string& initialPath) override;
    std::optional<std::string> ChooseFolder(const std::string& title,
                                            const std::string& initialPath) override;
    std::optional<int> ChooseFromList(const std::string& title, const std::string& label,
                                      const std::vector<std::string>& items,
                                      int preselect) override;
    std::optional<std::string> ChooseOrTypeText(const std::string& title, const std::string& label,
                                                const std::vector<std::string>& items,
                                                int preselect) override;
    std::optional<std::vector<std::string>> EditTextFields(
        const std::string& title, const std::vector<std::string>& labels,
        const std::vector<std::string>& values) override;
    void SetClipboardText(const std::string& sjis) override;
    std::string ClipboardText() override;
    std::vector<TextPiece> ClipboardPieces() override;
    void PlaySound(const std::string& path, bool wait) override;
    void Beep() override;
    bool StartProcess(const std::vector<std::string>& argv,
                      const std::string& workDir = {}) override;
    void SetStatusText(const std::string& utf8) override;
    void ShowAutoLogonStop(std::atomic<bool>* stop) override;
    void SetWindowTitle(const std::string& utf8) override;
    void UpdateLamps(unsigned lamps) override;
    void ShowProgress(const std::string& text) override;
    void SetProgressStatus(const std::string& status) override;
    void SetProgressSeconds(const std::string& seconds) override;
    void CloseProgress() override;
    bool ProgressVisible() const override;
    const std::atomic<bool>& ProgressCancelled() const override { return progressCancelled_; }

  private:
    std::unique_ptr<EventBridge> bridge_;
    QPointer<QWidget> mainWidget_;
    std::map<int, QTimer*> timers_;
    std::map<int, QSocketNotifier*> notifiers_;
    std::function<void(const std::string&)> statusSink_;
    std::function<void(unsigned)> lampSink_;
    QPointer<ProgressWindow> progress_;
    QPointer<AutoLogonStopWindow> logonStop_;
    std::atomic<bool> progressCancelled_{false};
};

}  // namespace marlo::ui

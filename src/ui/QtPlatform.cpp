#include "ui/QtPlatform.h"

#include <QApplication>
#include <QClipboard>
#include <QCoreApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QEvent>
#include <QEventLoop>
#include <QFileDialog>
#include <QFormLayout>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QThread>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <future>

#ifdef MARLO_HAVE_MULTIMEDIA
#include <QSoundEffect>
#include <QUrl>
#endif

#include "platform/Spawn.h"
#include "text/Encoding.h"
#include "ui/AutoLogonStopWindow.h"
#include "ui/ProgressWindow.h"
#include "ui/SheetControls.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

const QEvent::Type kMarloEventType = static_cast<QEvent::Type>(QEvent::registerEventType());

struct MarloQEvent : QEvent {
    MarloQEvent(Event ev, std::shared_ptr<std::promise<void>> d)
        : QEvent(kMarloEventType), event(std::move(ev)), done(std::move(d)) {}
    ~MarloQEvent() override {
        // A sent event that was never delivered must not leave its sender waiting.
        if (done && !delivered) done->set_value();
    }
    Event event;
    std::shared_ptr<std::promise<void>> done;
    bool delivered = false;
};

QString Q(const std::string& utf8) {
    return QString::fromUtf8(utf8.data(), static_cast<int>(utf8.size()));
}

}  // namespace

QString QtFilter(const std::string& filter) {
    QStringList parts = Q(filter).split(QLatin1Char('|'));
    QStringList out;
    for (int i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].isEmpty()) break;
        out << parts[i];
    }
    return out.join(QStringLiteral(";;"));
}

bool EventBridge::event(QEvent* e) {
    if (e->type() != kMarloEventType) return QObject::event(e);
    auto* me = static_cast<MarloQEvent*>(e);
    if (std::find(held.begin(), held.end(), me->event.id) != held.end()) {
        // Keep it for later: re-post a copy when the wait ends.
        deferred.push_back(new MarloQEvent(me->event, me->done));
        me->done = nullptr;
        return true;
    }
    if (target) target->OnEvent(me->event);
    me->delivered = true;
    if (me->done) {
        me->done->set_value();
        me->done = nullptr;
    }
    return true;
}

void EventBridge::ReleaseDeferred() {
    auto events = std::move(deferred);
    deferred.clear();
    for (QEvent* e : events) QCoreApplication::postEvent(this, e);
}

QtPlatform::QtPlatform() : bridge_(std::make_unique<EventBridge>()) {}

QtPlatform::~QtPlatform() {
    for (auto& [id, t] : timers_) delete t;
    for (auto& [fd, n] : notifiers_) delete n;
}

bool QtPlatform::OnUiThread() const {
    return QThread::currentThread() == bridge_->thread();
}

void QtPlatform::PostEvent(Event e) {
    QCoreApplication::postEvent(bridge_.get(), new MarloQEvent(std::move(e), nullptr));
}

void QtPlatform::SendEvent(Event e) {
    if (OnUiThread()) {
        if (bridge_->target) bridge_->target->OnEvent(e);
        return;
    }
    auto done = std::make_shared<std::promise<void>>();
    auto handled = done->get_future();
    QCoreApplication::postEvent(bridge_.get(), new MarloQEvent(std::move(e), done));
    handled.wait();
}

void QtPlatform::StartTimer(int id, int periodMs, std::function<void()> tick) {
    StopTimer(id);
    auto* t = new QTimer;
    t->setInterval(periodMs);
    QObject::connect(t, &QTimer::timeout, t, [tick = std::move(tick)] { tick(); });
    t->start();
    timers_[id] = t;
}

void QtPlatform::StopTimer(int id) {
    auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->stop();
    it->second->deleteLater();
    timers_.erase(it);
}

void QtPlatform::WatchFd(int fd, std::function<void()> ready) {
    UnwatchFd(fd);
    if (fd < 0) return;
    auto* n = new QSocketNotifier(fd, QSocketNotifier::Read);
    QObject::connect(n, &QSocketNotifier::activated, n, [ready = std::move(ready)] { ready(); });
    notifiers_[fd] = n;
}

void QtPlatform::UnwatchFd(int fd) {
    auto it = notifiers_.find(fd);
    if (it == notifiers_.end()) return;
    // Possibly from inside its own signal: it goes once control is back in the event loop.
    it->second->setEnabled(false);
    it->second->deleteLater();
    notifiers_.erase(it);
}

WaitEnd QtPlatform::DispatchWait(const std::function<bool()>& done,
                                 std::optional<std::chrono::steady_clock::time_point> deadline,
                                 const std::atomic<bool>* stop, std::vector<int> held) {
    auto savedHeld = bridge_->held;
    bridge_->held.insert(bridge_->held.end(), held.begin(), held.end());
    WaitEnd end = WaitEnd::Condition;
    auto check = [&]() -> bool {
        if (done && done()) {
            end = WaitEnd::Condition;
            return true;
        }
        if (stop && stop->load()) {
            end = WaitEnd::Stopped;
            return true;
        }
        if (deadline && std::chrono::steady_clock::now() >= *deadline) {
            end = WaitEnd::Deadline;
            return true;
        }
        return false;
    };
    if (!check()) {
        QEventLoop loop;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (check()) loop.quit();
        });
        poll.start();
        loop.exec();
    }
    bridge_->held = savedHeld;
    if (bridge_->held.empty()) bridge_->ReleaseDeferred();
    return end;
}

void QtPlatform::DispatchPending(std::vector<int> held) {
    auto savedHeld = bridge_->held;
    bridge_->held.insert(bridge_->held.end(), held.begin(), held.end());
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    bridge_->held = savedHeld;
    if (bridge_->held.empty()) bridge_->ReleaseDeferred();
}

MsgResult QtPlatform::MessageBox(const std::string& text, MsgIcon icon, MsgButtons buttons,
                                 const std::string& title) {
    if (!OnUiThread()) {
        // A worker thread (a transfer asking whether to resume) waits for the answer.
        MsgResult result = MsgResult::Cancel;
        QMetaObject::invokeMethod(
            bridge_.get(), [&] { result = MessageBox(text, icon, buttons, title); },
            Qt::BlockingQueuedConnection);
        return result;
    }
    return ShowMessageBox(mainWidget_, text, icon, buttons, title);
}

void QtPlatform::CloseOnStop(QDialog* dialog, const std::atomic<bool>* stop) {
    if (!stop) return;
    auto* watch = new QTimer(dialog);
    watch->setInterval(50);
    QObject::connect(watch, &QTimer::timeout, dialog, [dialog, stop] {
        if (stop->load()) dialog->done(0);
    });
    watch->start();
}

MsgResult QtPlatform::ShowMessageBox(QWidget* parent, const std::string& text, MsgIcon icon,
                                     MsgButtons buttons, const std::string& title) {
    std::unique_ptr<QMessageBox> box(MakeMessageBox(parent, text, icon, buttons, title));
    return Answer(box->exec());
}

QMessageBox* QtPlatform::MakeMessageBox(QWidget* parent, const std::string& text, MsgIcon icon,
                                        MsgButtons buttons, const std::string& title) {
    auto* made = new QMessageBox(parent);
    QMessageBox& box = *made;
    box.setWindowTitle(Q(title));
    box.setText(Q(text));
    switch (icon) {
        case MsgIcon::Information:
            box.setIcon(QMessageBox::Information);
            break;
        case MsgIcon::Question:
            box.setIcon(QMessageBox::Question);
            break;
        case MsgIcon::Exclamation:
            box.setIcon(QMessageBox::Warning);
            break;
        case MsgIcon::Stop:
            box.setIcon(QMessageBox::Critical);
            break;
        case MsgIcon::None:
            break;
    }
    switch (buttons) {
        case MsgButtons::Ok:
            box.setStandardButtons(QMessageBox::Ok);
            break;
        case MsgButtons::OkCancel:
            box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
            break;
        case MsgButtons::YesNo:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
            break;
        case MsgButtons::YesNoCancel:
            box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
            break;
    }
    return made;
}

MsgResult QtPlatform::Answer(int closedWith) {
    switch (closedWith) {
        case QMessageBox::Yes:
            return MsgResult::Yes;
        case QMessageBox::No:
            return MsgResult::No;
        case QMessageBox::Cancel:
            return MsgResult::Cancel;
        default:
            return MsgResult::Ok;
    }
}

std::optional<std::string> QtPlatform::ChooseFile(bool save, const std::string& title,
                                                  const std::string& filter,
                                                  const std::string& initialPath) {
    QString path =
        save
            ? QFileDialog::getSaveFileName(mainWidget_, Q(title), Q(initialPath), QtFilter(filter))
            : QFileDialog::getOpenFileName(mainWidget_, Q(title), Q(initialPath), QtFilter(filter));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<std::string> QtPlatform::ChooseFolder(const std::string& title,
                                                    const std::string& initialPath) {
    QString path = QFileDialog::getExistingDirectory(mainWidget_, Q(title), Q(initialPath));
    if (path.isEmpty()) return std::nullopt;
    return path.toStdString();
}

std::optional<int> QtPlatform::ChooseFromList(const std::string& title, const std::string& label,
                                              const std::vector<std::string>& items,
                                              int preselect) {
    QStringList list;
    for (const auto& i : items) list << Q(i);
    bool ok = false;
    QString chosen = QInputDialog::getItem(mainWidget_, Q(title), Q(label), list,
                                           std::max(0, preselect), false, &ok);
    if (!ok) return std::nullopt;
    int index = static_cast<int>(list.indexOf(chosen));
    return index < 0 ? std::nullopt : std::optional<int>(index);
}

std::optional<std::string> QtPlatform::ChooseOrTypeText(const std::string& title,
                                                        const std::string& label,
                                                        const std::vector<std::string>& items,
                                                        int preselect) {
    // The port choice: a list to choose from, or any device path typed in; "終了" gives up.
    QInputDialog dialog(mainWidget_);
    dialog.setWindowTitle(Q(title));
    dialog.setLabelText(Q(label));
    QStringList list;
    for (const auto& i : items) list << Q(i);
    dialog.setComboBoxItems(list);
    dialog.setComboBoxEditable(true);
    if (preselect >= 0 && preselect < list.size()) dialog.setTextValue(list[preselect]);
    dialog.setOkButtonText(QStringLiteral("OK"));
    dialog.setCancelButtonText(QStringLiteral("終了"));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    QString chosen = dialog.textValue().trimmed();
    if (chosen.isEmpty()) return std::nullopt;
    return chosen.toStdString();
}

std::optional<std::vector<std::string>> QtPlatform::EditTextFields(
    const std::string& title, const std::vector<std::string>& labels,
    const std::vector<std::string>& values) {
    QDialog dialog(mainWidget_);
    dialog.setWindowTitle(Q(title));
    auto* form = new QFormLayout(&dialog);
    std::vector<QLineEdit*> edits;
    for (size_t i = 0; i < labels.size(); ++i) {
        auto* edit = new QLineEdit(Q(i < values.size() ? values[i] : std::string()), &dialog);
        edit->setMinimumWidth(360);
        form->addRow(Q(labels[i]), edit);
        edits.push_back(edit);
    }
    auto* buttons = SheetButtons(&dialog);
    form->addRow(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    std::vector<std::string> out;
    for (auto* e : edits) out.push_back(e->text().toStdString());
    return out;
}

void QtPlatform::SetClipboardText(const std::string& sjis) {
    QGuiApplication::clipboard()->setText(Q(SjisToUtf8(sjis)));
}

std::vector<TextPiece> QtPlatform::ClipboardPieces() {
    return Utf8ToSjisPieces(QGuiApplication::clipboard()->text().toStdString());
}

std::string QtPlatform::ClipboardText() {
    return Utf8ToSjis(QGuiApplication::clipboard()->text().toStdString());
}

void QtPlatform::PlaySound(const std::string& path, bool wait) {
    if (path.empty()) return;
    if (!OnUiThread()) {
        QMetaObject::invokeMethod(bridge_.get(), [this, path] { PlaySound(path, false); });
        return;
    }
#ifdef MARLO_HAVE_MULTIMEDIA
    auto* effect = new QSoundEffect;
    effect->setSource(QUrl::fromLocalFile(Q(path)));
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying()) effect->deleteLater();
    });
    effect->play();
    if (wait) {
        auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        DispatchWait(
            [effect] { return !effect->isPlaying() && effect->status() != QSoundEffect::Loading; },
            until, nullptr, {});
    }
#else
    (void)wait;
#endif
}

void QtPlatform::Beep() {
    QApplication::beep();
}

bool QtPlatform::StartProcess(const std::vector<std::string>& argv, const std::string& workDir) {
    return SpawnDetached(argv, workDir);
}

void QtPlatform::SetStatusText(const std::string& utf8) {
    if (!OnUiThread()) {  // the macro thread shows its progress too
        QMetaObject::invokeMethod(bridge_.get(), [this, utf8] { SetStatusText(utf8); });
        return;
    }
    if (statusSink_) statusSink_(utf8);
}

void QtPlatform::ShowAutoLogonStop(std::atomic<bool>* stop) {
    if (logonStop_) {
        delete logonStop_;
        // The keys go back to the terminal.
        if (mainWidget_) mainWidget_->activateWindow();
    }
    if (!stop) return;
    logonStop_ = new AutoLogonStopWindow(mainWidget_, *stop);
    logonStop_->show();
}

void QtPlatform::SetWindowTitle(const std::string& utf8) {
    if (!OnUiThread()) {
        QMetaObject::invokeMethod(bridge_.get(), [this, utf8] { SetWindowTitle(utf8); });
        return;
    }
    if (mainWidget_) mainWidget_->setWindowTitle(Q(utf8));
}

void QtPlatform::UpdateLamps(unsigned lamps) {
    if (lampSink_) lampSink_(lamps);
}

void QtPlatform::ShowProgress(const std::string& text) {
    progressCancelled_ = false;
    if (!progress_) progress_ = new ProgressWindow(mainWidget_, progressCancelled_);
    progress_->SetText(Q(text));
    progress_->SetStatus(QString());
    progress_->SetSeconds(QString());
    progress_->show();
}

void QtPlatform::SetProgressStatus(const std::string& status) {
    if (progress_) progress_->SetStatus(Q(status));
}

void QtPlatform::SetProgressSeconds(const std::string& seconds) {
    if (progress_) progress_->SetSeconds(Q(seconds));
}

void QtPlatform::CloseProgress() {
    if (progress_) {
        progress_->hide();
        progress_->deleteLater();
        progress_ = nullptr;
    }
}

bool QtPlatform::ProgressVisible() const {
    return progress_ && progress_->isVisible();
}

}  // namespace marlo::ui

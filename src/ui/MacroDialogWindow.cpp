#include "ui/MacroDialogWindow.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>
#include <algorithm>
#include <future>
#include <memory>

#include "macro/MacroMessages.h"
#include "macro/MacroVariables.h"
#include "text/Encoding.h"
#include "ui/QtPlatform.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

// Opens a window on the user-interface thread and waits for its answer on the macro thread. `open`
// shows a window that calls the answer function when it closes. A stop ends the wait at once with
// `cancelled`; the window, told by the same flag, closes itself and its answer goes nowhere.
template <class Result, class Open>
Result AskOnUiThread(Open open, const std::atomic<bool>& stop, Result cancelled) {
    if (stop) return cancelled;
    auto promise = std::make_shared<std::promise<Result>>();
    auto future = promise->get_future();
    auto answered = std::make_shared<std::atomic<bool>>(false);
    std::function<void(Result)> answer = [promise, answered](Result r) {
        if (!answered->exchange(true)) promise->set_value(std::move(r));
    };
    QMetaObject::invokeMethod(
        qApp,
        [open = std::move(open), answer, cancelled, &stop]() mutable {
            if (stop) return answer(cancelled);  // stopped while the request was queued
            open(answer);
        },
        Qt::QueuedConnection);
    while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
        if (stop) return cancelled;
    return future.get();
}

// A window modal over the main window that deletes itself when closed and closes when the macro
// stops. The macro debugger, a window of its own, stays usable: its Stop reaches an open box.
void ShowModal(QDialog* window, const std::atomic<bool>& stop) {
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->setWindowModality(Qt::WindowModal);
    QtPlatform::CloseOnStop(window, &stop);
    window->show();
}

}  // namespace

MacroDialogWindow::MacroDialogWindow(MacroDialog& dialog, QWidget* owner)
    : QDialog(owner), dialog_(dialog) {
    setObjectName(QStringLiteral("MacroDialogWindow"));
    setWindowTitle(FromSjis(dialog.Dialog().text));
    const QFontMetrics metrics(font());
    // The average width of the Latin letters, rounded as dialog base units are.
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = std::max(1, (letters / 26 + 1) / 2);
    baseY_ = std::max(1, metrics.height());
    Build();
    const MacroDialogEntry& frame = dialog.Dialog();
    // Placed where the macro says in the owner's client area (below its menu bar); otherwise Qt
    // centres it over the owner.
    if (frame.x != 0 && frame.y != 0 && owner) {
        auto* main = qobject_cast<QMainWindow*>(owner);
        const int menu = main && main->menuWidget() ? main->menuWidget()->height() : 0;
        move(owner->mapToGlobal(QPoint(PixelsX(frame.x), menu + PixelsY(frame.y))));
    }
}

namespace {

// Dialog units held 16 bits in the templates they come from; larger numbers are bounded there.
int Bounded(int units) {
    return std::clamp(units, -32768, 32767);
}

}  // namespace

int MacroDialogWindow::PixelsX(int units) const {
    return Bounded(units) * baseX_ / 4;
}
int MacroDialogWindow::PixelsY(int units) const {
    return Bounded(units) * baseY_ / 8;
}

void MacroDialogWindow::Build() {
    const MacroDialogEntry& frame = dialog_.Dialog();
    setFixedSize(std::max(PixelsX(frame.width), 60), std::max(PixelsY(frame.height), 30));
    auto* radios = new QButtonGroup(this);  // one group: a radio button unchecks the others
    std::vector<QWidget*> groups;
    for (const MacroDialogEntry& control : dialog_.Controls()) {
        const QString text = FromSjis(control.text);
        QWidget* w = nullptr;
        switch (control.kind) {
            case MacroControlKind::Text: {
                auto* label = new QLabel(text, this);
                label->setWordWrap(true);
                label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
                w = label;
                break;
            }
            case MacroControlKind::Button:
                if (control.IsGroup()) {
                    w = new QGroupBox(text, this);
                    groups.push_back(w);
                } else {
                    auto* button = new QPushButton(text, this);
                    button->setAutoDefault(false);
                    button->setDefault(control.IsDefault());
                    const int id = control.id;
                    connect(button, &QPushButton::clicked, this, [this, id] { done(id); });
                    w = button;
                }
                break;
            case MacroControlKind::Check: {
                auto* check = new QCheckBox(text, this);
                check->setChecked(control.state != 0);
                w = check;
                break;
            }
            case MacroControlKind::Radio: {
                auto* radio = new QRadioButton(text, this);
                radios->addButton(radio);
                radio->setChecked(control.state != 0);
                w = radio;
                break;
            }
            case MacroControlKind::List: {
                auto* list = new QListWidget(this);
                for (const auto& s : control.strings) list->addItem(FromSjis(s));
                list->setCurrentRow(control.state);
                const int id = control.id;
                connect(list, &QListWidget::itemDoubleClicked, this, [this, id] { done(id); });
                w = list;
                break;
            }
            case MacroControlKind::Combo: {
                auto* combo = new QComboBox(this);
                for (const auto& s : control.strings) combo->addItem(FromSjis(s));
                combo->setCurrentIndex(control.state);
                w = combo;
                break;
            }
            case MacroControlKind::Edit: {
                auto* edit = new QLineEdit(FromSjis(MacroDialog::EditText(control)), this);
                edit->setValidator(new SjisLengthValidator(MacroDialog::kMaxEditBytes, edit));
                edit->setCursorPosition(static_cast<int>(edit->text().size()));  // the end shows
                w = edit;
                break;
            }
            case MacroControlKind::Dialog:
                w = new QWidget(this);
                break;
        }
        int height = PixelsY(control.height);
        // A drop-down list's height counts its open list; closed it is one line.
        if (control.kind == MacroControlKind::Combo) height = w->sizeHint().height();
        w->setGeometry(PixelsX(control.x), PixelsY(control.y), PixelsX(control.width), height);
        w->setObjectName(QStringLiteral("control%1").arg(control.id));
        widgets_.push_back(w);
    }
    for (QWidget* group : groups) group->lower();  // frames stay behind what they surround
}

void MacroDialogWindow::done(int result) {
    StoreBack();
    QDialog::done(result);
}

void MacroDialogWindow::StoreBack() {
    auto& controls = dialog_.Controls();
    for (size_t i = 0; i < controls.size() && i < widgets_.size(); ++i) {
        MacroDialogEntry& control = controls[i];
        switch (control.kind) {
            case MacroControlKind::Check:
            case MacroControlKind::Radio:
                control.state = static_cast<QAbstractButton*>(widgets_[i])->isChecked() ? 1 : 0;
                break;
            case MacroControlKind::List:
                control.state = static_cast<QListWidget*>(widgets_[i])->currentRow();
                break;
            case MacroControlKind::Combo:
                control.state = static_cast<QComboBox*>(widgets_[i])->currentIndex();
                break;
            case MacroControlKind::Edit:
                dialog_.StoreEditText(control,
                                      ToSjis(static_cast<QLineEdit*>(widgets_[i])->text()));
                break;
            default:
                break;
        }
    }
}

// ---- The boxes, asked for from the macro thread ----

void QtMacroUi::Message(const std::string& text, const std::atomic<bool>& stop) {
    AskOnUiThread<int>(
        [this, text, &stop](const std::function<void(int)>& answer) {
            QMessageBox* box = QtPlatform::MakeMessageBox(
                owner_, SjisToUtf8(text), MsgIcon::Information, MsgButtons::Ok, "マーロ");
            QObject::connect(box, &QDialog::finished, box, answer);
            ShowModal(box, stop);
        },
        stop, 0);
}

bool QtMacroUi::Question(const std::string& text, const std::atomic<bool>& stop) {
    return AskOnUiThread<bool>(
        [this, text, &stop](const std::function<void(bool)>& answer) {
            QMessageBox* box = QtPlatform::MakeMessageBox(
                owner_, SjisToUtf8(text), MsgIcon::Question, MsgButtons::YesNo, "マーロ");
            QObject::connect(box, &QDialog::finished, box,
                             [answer](int r) { answer(QtPlatform::Answer(r) == MsgResult::Yes); });
            ShowModal(box, stop);
        },
        stop, false);
}

std::optional<std::string> QtMacroUi::Input(const std::string& prompt, bool masked,
                                            const std::atomic<bool>& stop) {
    using Text = std::optional<std::string>;
    return AskOnUiThread<Text>(
        [this, prompt, masked, &stop](const std::function<void(Text)>& answer) {
            auto* box = new QDialog(owner_);
            box->setObjectName(masked ? QStringLiteral("PasswordInputWindow")
                                      : QStringLiteral("InputWindow"));
            // The prompt is the title; without one the window's own name.
            box->setWindowTitle(prompt.empty() ? FromUtf8(masked ? macro_text::kPasswordWindow
                                                                 : macro_text::kInputWindow)
                                               : FromSjis(prompt));
            auto* layout = new QVBoxLayout(box);
            auto* edit = new QLineEdit(box);
            edit->setMinimumWidth(320);
            edit->setValidator(new SjisLengthValidator(MacroVariables::kMaxValue, edit));
            if (masked) edit->setEchoMode(QLineEdit::Password);
            layout->addWidget(edit);
            auto* buttons =
                new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, box);
            QObject::connect(buttons, &QDialogButtonBox::accepted, box, &QDialog::accept);
            QObject::connect(buttons, &QDialogButtonBox::rejected, box, &QDialog::reject);
            layout->addWidget(buttons);
            QObject::connect(box, &QDialog::finished, box, [answer, edit](int r) {
                answer(r == QDialog::Accepted ? Text(ToSjis(edit->text())) : std::nullopt);
            });
            ShowModal(box, stop);
        },
        stop, std::nullopt);
}

std::optional<int> QtMacroUi::ShowDialog(MacroDialog& dialog, const std::atomic<bool>& stop) {
    // The window works on a copy: a stopped macro may be gone before the window has closed.
    auto copy = std::make_shared<MacroDialog>(dialog);
    int id = AskOnUiThread<int>(
        [this, copy, &stop](const std::function<void(int)>& answer) {
            auto* window = new MacroDialogWindow(*copy, owner_);
            // The copy lives as long as the window that stores into it.
            QObject::connect(window, &QDialog::finished, window,
                             [answer, copy](int id) { answer(id); });
            ShowModal(window, stop);
        },
        stop, -1);
    if (id < 0 && stop) return 0;
    dialog = *copy;
    return id;
}

}  // namespace marlo::ui

#include "ui/GuiShell.h"

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QMessageBox>

#include "app/CommandIds.h"
#include "app/Trace.h"
#include "text/Encoding.h"
#include "ui/CommSettingsSheet.h"
#include "ui/ConnectDialogs.h"
#include "ui/EnvSettingsSheet.h"
#include "ui/HistoryWindow.h"
#include "ui/HostWindow.h"
#include "ui/MainWindow.h"
#include "ui/QtPlatform.h"
#include "ui/TerminalWidget.h"
#include "ui/TraceSettingsDialog.h"

namespace marlo::ui {

GuiShell::GuiShell(QtPlatform& platform, bool traceMode)
    : platform_(platform), traceMode_(traceMode) {}

GuiShell::~GuiShell() = default;

void GuiShell::Attach(CMainFrame& frame) {
    frame_ = &frame;
    window_ = std::make_unique<MainWindow>(traceMode_);
    platform_.SetMainWidget(window_.get());
    pane_ =
        new TerminalWidget(frame.Term().Buffer(), frame.Term().View(0), frame.S(), window_.get());
    window_->SetCentral(pane_);
    pane_->onKey = [this](QKeyEvent* e) { OnKey(e); };
    pane_->onInputMethod = [this](QInputMethodEvent* e) {
        if (!e->commitString().isEmpty())
            frame_->WriteConverted(Utf8ToSjis(e->commitString().toStdString()));
    };
    platform_.SetLampSink([this](unsigned lamps) { window_->SetLamps(lamps); });
    platform_.SetStatusSink(
        [this](const std::string& t) { window_->SetStatusMessage(QString::fromStdString(t)); });
    window_->onCommand = [this](int id) { frame_->OnCommand(id); };
    window_->isEnabled = [this](int id) { return frame_->CommandEnabled(id); };
    window_->isChecked = [this](int id) {
        if (id == ID_INPUT_BAR) return window_->InputBarVisible();
        return frame_->CommandChecked(id);
    };
    window_->onClose = [this](bool normal) { return frame_->Shutdown(normal); };
    window_->onInputLine = [this](const QString& text) { SendInputLine(text); };
    window_->onForwardKey = [this](QKeyEvent* e) { OnKey(e); };
    frame.onUiCommand = [this](int id) { return OnUiCommand(id); };
    const auto& s = frame.S();
    if (s.Window[0] && s.Window[1] && s.Window[2] && s.Window[3])
        window_->setGeometry(s.Window[1], s.Window[0], s.Window[3] - s.Window[1],
                             s.Window[2] - s.Window[0]);
}

void GuiShell::Show() {
    window_->show();
    pane_->setFocus();
}

void GuiShell::SendInputLine(const QString& text) {
    std::string bytes = inputBar_.Enter(Utf8ToSjis(text.toStdString()), frame_->S().SndCRLF != 0);
    frame_->WriteConverted(bytes);
    QStringList history;
    for (const auto& line : inputBar_.History())
        history << QString::fromStdString(SjisToUtf8(line));
    window_->SetInputHistory(history);
}

void GuiShell::OnKey(QKeyEvent* e) {
    if (frame_->transferRunning) {
        QApplication::beep();
        return;
    }
    const bool vt = frame_->S().EmulationMode() != 0;
    const bool vt52 = frame_->S().EmulationMode() == 2;
    std::string bytes;
    auto cursor = [&](char c) {
        bytes = vt52 ? std::string("\x1b") + c : std::string("\x1b[") + c;
    };
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            bytes = frame_->S().SndCRLF ? "\r\n" : "\r";
            break;
        case Qt::Key_Up:
            if (vt) cursor('A');
            break;
        case Qt::Key_Down:
            if (vt) cursor('B');
            break;
        case Qt::Key_Right:
            if (vt) cursor('C');
            break;
        case Qt::Key_Left:
            if (vt) cursor('D');
            break;
        case Qt::Key_Space:
            if (e->modifiers() & Qt::ControlModifier) {
                frame_->SendBreak();
                return;
            }
            bytes = " ";
            break;
        default:
            bytes = Utf8ToSjis(e->text().toStdString());
            break;
    }
    if (!bytes.empty()) frame_->WriteConverted(bytes);
}

bool GuiShell::OnUiCommand(int id) {
    switch (id) {
        case ID_APP_EXIT:
            window_->close();
            return true;
        case ID_INPUT_BAR:
            window_->SetInputBarVisible(!window_->InputBarVisible());
            return true;
        case ID_TELNET_CONNECT: {
            if (frame_->Conn().connected) {
                frame_->Platform().MessageBox("オンライン中です.", MsgIcon::Exclamation);
                return true;
            }
            auto browse = [this]() {
                return HostWindow::ChooseTelnetHost(frame_->Hosts(), frame_->S(), frame_->Store(),
                                                    frame_->Platform(), window_.get());
            };
            auto chosen = TelnetConnectDialog::Run(window_.get(), frame_->S().TelnetHost, browse);
            if (chosen) frame_->ConnectTelnet(chosen->first, chosen->second);
            return true;
        }
        case ID_PHONE_CONNECT: {
            if (frame_->Conn().connected) {
                frame_->Platform().MessageBox("オンライン中です.", MsgIcon::Exclamation);
                return true;
            }
            auto chosen = PhoneConnectDialog::Run(window_.get());
            if (chosen) frame_->ConnectPhone(chosen->first, chosen->second);
            return true;
        }
        case ID_COMM_SETTINGS: {
            std::vector<int> openable;
            std::vector<std::string> paths;
            for (const auto& name : frame_->Comm().AvailablePorts()) {
                if (name == "ﾓﾃﾞﾑなし") continue;
                openable.push_back(frame_->Comm().PortNumberOf(name));
                paths.push_back(name);
            }
            auto ports = PortChoices(openable);
            // Show each COM number with the device it stands for.
            for (auto& choice : ports)
                for (size_t i = 0; i < openable.size(); ++i)
                    if (choice.value == openable[i]) choice.text += " (" + paths[i] + ")";
            frame_->SetEnvSheetOpen(true);  // the line is not read while a sheet is open
            CommApplyResult applied;
            CommSettingsSheet::Run(frame_->S(), ports, frame_, window_.get(), &applied);
            frame_->SetEnvSheetOpen(false);
            pane_->ApplySettings();
            return true;
        }
        case ID_ENV_SETTINGS: {
            frame_->SetEnvSheetOpen(true);
            EnvApplyResult changed;
            bool ok = EnvSettingsSheet::Run(frame_->S(), window_.get(), &changed);
            if (ok && changed.bufferSizeChanged) frame_->Term().ResizeBuffer();
            frame_->SetEnvSheetOpen(false);
            pane_->ApplySettings();
            return true;
        }
        case ID_TRACE_SETTINGS:
            if (TraceSettingsDialog::Run(frame_->S(), window_.get())) {
                SetTraceMask(frame_->S().TracePos);
                SetTraceFile(frame_->S().TraceFile);
            }
            return true;
        case ID_HOST_WINDOW: {
            auto index = HostWindow::Run(frame_->Conn().connected, frame_->Hosts(), frame_->S(),
                                         frame_->Store(), frame_->Platform(), window_.get());
            if (index && *index < frame_->Hosts().Size())
                frame_->ConnectHostEntry(frame_->Hosts().At(*index));
            return true;
        }
        case ID_HISTORY:
            HistoryWindow::Run(frame_->S(), frame_->Hosts(), frame_->Platform(), window_.get());
            return true;
        case ID_REPLAY: {
            auto path = frame_->Platform().ChooseFile(false, "ファイルの参照",
                                                      "すべてのﾌｧｲﾙ (*.*)|*.*||", "");
            if (path) frame_->ReplayFile(*path);
            return true;
        }
        case ID_ABOUT:
            frame_->Platform().MessageBox(std::string("マーロ Version ") + MARLO_VERSION_TEXT,
                                          MsgIcon::Information);
            return true;
        default:
            return false;
    }
}

}  // namespace marlo::ui

#include "ui/GuiShell.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QKeyEvent>
#include <QMessageBox>
#include <QRegularExpression>
#include <ctime>

#include "app/CommandIds.h"
#include "app/MacroThread.h"
#include "settings/Trace.h"
#include "terminal/ViewModel.h"
#include "text/Encoding.h"
#include "ui/CommSettingsSheet.h"
#include "ui/ConnectDialogs.h"
#include "ui/ControlCodeWindow.h"
#include "ui/DisplaySettingsDialog.h"
#include "ui/EnvSettingsSheet.h"
#include "ui/ExternalProgramDialogs.h"
#include "ui/FunctionKeyBar.h"
#include "ui/HexView.h"
#include "ui/HistoryWindow.h"
#include "ui/HostWindow.h"
#include "ui/KeyDialog.h"
#include "ui/LogBrowserWindow.h"
#include "ui/LogFileDialog.h"
#include "ui/LzhDialog.h"
#include "ui/MacroDebuggerDialog.h"
#include "ui/MacroDialogWindow.h"
#include "ui/MainWindow.h"
#include "ui/ProtocolDialog.h"
#include "ui/QtPlatform.h"
#include "ui/StatusPanes.h"
#include "ui/SjisField.h"
#include "ui/TerminalPanes.h"
#include "ui/TerminalWidget.h"
#include "ui/ToolBars.h"
#include "ui/TraceSettingsDialog.h"
#include "ui/TransferStatusWindow.h"

namespace marlo::ui {

GuiShell::GuiShell(QtPlatform& platform, bool traceMode)
    : platform_(platform), traceMode_(traceMode) {}

GuiShell::~GuiShell() {
    // The window goes first: nothing may reach it through the platform or the frame afterwards.
    platform_.SetLampSink({});
    platform_.SetStatusSink({});
    platform_.SetMainWidget(nullptr);
    if (frame_) {
        frame_->onUiCommand = nullptr;
        frame_->Macro().userInterface = nullptr;
        frame_->logDialog = nullptr;
        frame_->lzhDialog = nullptr;
        frame_->textReceiveDialog = nullptr;
        frame_->Transfer().Stop();
        frame_->Transfer().SetWindow(nullptr);
        frame_->Transfer().chooseProtocol = nullptr;
    }
}

void GuiShell::Attach(CMainFrame& frame) {
    frame_ = &frame;
    host_ = std::make_unique<FrameTerminalHost>(frame);
    window_ = std::make_unique<MainWindow>(traceMode_);
    platform_.SetMainWidget(window_.get());
    panes_ = new TerminalPanes(frame.Term(), frame.S(), *host_, frame.Platform(), window_.get());
    panes_->SetEchoWait(host_.get());
    panes_->onCommand = [this](int id) { frame_->OnCommand(id); };
    panes_->isEnabled = [this](int id) { return frame_->CommandEnabled(id); };
    window_->SetCentral(panes_);
    window_->AddEditCommands(EditMenuCommands());
    auto* hexDock = new QDockWidget(QStringLiteral("16進表示"), window_.get());
    hexDock->setObjectName(QStringLiteral("hexDock"));
    hexView_ = new HexView(frame.Hex(), frame.S(), hexDock);
    hexDock->setWidget(hexView_);
    window_->addDockWidget(Qt::BottomDockWidgetArea, hexDock);
    hexDock->hide();
    functionBar_ = new FunctionKeyBar(frame.S(), window_.get());
    functionBar_->onUserKey = [this](int index) { panes_->ActiveModel().Keys().RunUserKey(index); };
    window_->AddFunctionBar(functionBar_, frame.S().FunctionBar != 0);
    window_->SetStatusBarVisible(frame.S().StatusBar != 0);
    StatusPanes* status = window_->Status();
    status->SetCellFont(StatusFont(frame.S()));
    status->facts = [this] { return StatusFactsOf(*frame_, std::time(nullptr)); };
    status->onLampClicked = [this](unsigned lamp) {
        if (!frame_->ToggleControlLine(lamp)) QApplication::beep();
    };
    status->SetItems(StatusItemsFrom(frame.S()));
    platform_.SetLampSink([this](unsigned lamps) { window_->SetLamps(lamps); });
    platform_.SetStatusSink(
        [this](const std::string& t) { window_->SetStatusMessage(QString::fromStdString(t)); });
    window_->onCommand = [this](int id) {
        if (!panes_->RunCommand(id)) frame_->OnCommand(id);
    };
    window_->isEnabled = [this](int id) { return panes_->Enabled(id); };
    window_->isChecked = [this](int id) { return CommandChecked(id); };
    panes_->isChecked = window_->isChecked;
    // The buttons take their commands' state as they are made.
    toolBars_ = std::make_unique<ToolBarSet>(*window_);
    BuildToolBars();
    for (int bar = 0; bar < kToolBarCount; ++bar)
        toolBars_->SetVisible(bar, ToolBarsVisible(frame.S())[static_cast<size_t>(bar)]);
    window_->onClose = [this](bool normal) {
        frame_->S().FunctionBar = window_->FunctionBarVisible() ? 1 : 0;
        frame_->S().StatusBar = window_->StatusBarVisible() ? 1 : 0;
        StoreToolBarsVisible({toolBars_->Visible(0), toolBars_->Visible(1), toolBars_->Visible(2)},
                             frame_->S());
        if (normal) {
            // Stored as top, left, bottom, right.
            const QRect r = window_->geometry();
            frame_->S().Window = {r.top(), r.left(), r.bottom() + 1, r.right() + 1};
        }
        return frame_->Shutdown(normal);
    };
    window_->onInputLine = [this](const QString& text) { SendInputLine(text); };
    window_->onForwardKey = [this](QKeyEvent* e) {
        if (auto* pane = panes_->ActivePane()) QCoreApplication::sendEvent(pane, e);
    };
    frame.onUiCommand = [this](int id) { return OnUiCommand(id); };
    macroUi_ = std::make_unique<QtMacroUi>(window_.get());
    frame.Macro().userInterface = macroUi_.get();
    frame.logDialog = [this](const std::string& autoName, bool append) {
        return LogFileDialog::Run(kLogDialogTexts, autoName, append, window_.get());
    };
    frame.textReceiveDialog = [this](const std::string& name, bool append) {
        return LogFileDialog::Run(kTextReceiveDialogTexts, name, append, window_.get());
    };
    frame.lzhDialog = [this](const std::string& archive) {
        auto outcome = LzhDialog::Run(archive, frame_->Platform(), window_.get());
        window_->raise();
        window_->activateWindow();
        return outcome;
    };
    transferWindow_ = new TransferStatusWindow(window_.get());
    transferWindow_->onCancel = [this] { frame_->Transfer().RequestCancel(); };
    transferWindow_->onCloseRequest = [this] { frame_->Transfer().RequestClose(); };
    frame.Transfer().SetWindow(transferWindow_);
    frame.Transfer().chooseProtocol = [this](int direction, const std::vector<std::string>& names) {
        return ProtocolDialog::Run(direction, names, window_.get());
    };
    ShowAppCommands();
    const auto& s = frame.S();
    if (s.Window[0] && s.Window[1] && s.Window[2] && s.Window[3])
        window_->setGeometry(s.Window[1], s.Window[0], s.Window[3] - s.Window[1],
                             s.Window[2] - s.Window[0]);
}

void GuiShell::Show() {
    window_->show();
    if (auto* pane = panes_->ActivePane()) pane->setFocus();
}

void GuiShell::SendInputLine(const QString& text) {
    if (window_->InputHex()->isChecked()) {
        // Bytes a keyboard cannot type, as they are: no kanji conversion, no line end.
        HexBytes hex = inputBar_.EnterHex(text.toStdString());
        if (!hex.error.empty()) {
            window_->SetStatusMessage(QString::fromStdString(hex.error));
            QApplication::beep();
            return;  // the entry stays in the field to be mended
        }
        if (frame_->transferRunning || !frame_->WriteRaw(hex.bytes.data(), hex.bytes.size())) {
            window_->SetStatusMessage(QStringLiteral("16進入力: 回線に送れませんでした"));
            QApplication::beep();
        }
    } else {
        frame_->WriteConverted(
            inputBar_.Enter(Utf8ToSjis(text.toStdString()), frame_->S().SndCRLF != 0));
    }
    QStringList history;
    for (const auto& line : inputBar_.History())
        history << QString::fromStdString(SjisToUtf8(line));
    window_->SetInputHistory(history);
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
            // Show each COM number with the device it stands for and what that device is.
            for (auto& choice : ports)
                for (size_t i = 0; i < openable.size(); ++i)
                    if (choice.value == openable[i])
                        choice.text += " (" + frame_->Comm().Describe(paths[i]).ListText() + ")";
            frame_->SetEnvSheetOpen(true);  // the line is not read while a sheet is open
            CommApplyResult applied;
            CommSettingsSheet::Run(frame_->S(), ports, frame_, window_.get(), &applied);
            frame_->SetEnvSheetOpen(false);
            panes_->ApplySettings();
            return true;
        }
        case ID_ENV_SETTINGS: {
            frame_->SetEnvSheetOpen(true);
            EnvApplyResult changed;
            bool ok = EnvSettingsSheet::Run(frame_->S(), window_.get(), &changed);
            if (ok && changed.bufferSizeChanged) frame_->Term().ResizeBuffer();
            if (ok && changed.toolBarsChanged) {
                BuildToolBars();
                functionBar_->Refresh();
            }
            if (ok && changed.statusBarChanged)
                window_->Status()->SetItems(StatusItemsFrom(frame_->S()));
            frame_->SetEnvSheetOpen(false);
            panes_->ApplySettings();
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
        case ID_CONTROL_CODE:
            if (!controlCodes_) {
                controlCodes_ = new ControlCodeWindow(window_.get());
                controlCodes_->onCode = [this](uint8_t code) { frame_->SendControlCode(code); };
                connect(controlCodes_, &QDialog::finished, this, [this] {
                    if (auto* pane = panes_->ActivePane()) pane->setFocus();
                });
            }
            controlCodes_->show();
            controlCodes_->raise();
            return true;
        case ID_HISTORY:
            HistoryWindow::Run(frame_->S(), frame_->Hosts(), frame_->Platform(), window_.get());
            return true;
        case ID_LOG_BROWSER:
            LogBrowserWindow::Run(frame_->S(), frame_->Platform(), window_.get());
            return true;
        case ID_COMMAND_LINE:
            if (auto command = CommandLineDialog::Run(frame_->Platform(), window_.get()))
                RunCommandLine(frame_->Platform(), *command);
            return true;
        case ID_APPLICATION:
            if (ApplicationDialog::Run(frame_->S(), frame_->Platform(), window_.get()))
                ShowAppCommands();
            return true;
        case ID_REPLAY: {
            auto path = frame_->Platform().ChooseFile(false, "ファイルの参照",
                                                      "すべてのﾌｧｲﾙ (*.*)|*.*||", "");
            if (path) frame_->ReplayFile(*path);
            return true;
        }
        case ID_SPLIT:
            panes_->ToggleSplit();
            return true;
        case ID_VIEW_FUNCTIONBAR:
            window_->SetFunctionBarVisible(!window_->FunctionBarVisible());
            return true;
        case ID_VIEW_HEX:
            hexView_->parentWidget()->setVisible(hexView_->parentWidget()->isHidden());
            return true;
        case ID_VIEW_STATUSBAR:
            window_->SetStatusBarVisible(!window_->StatusBarVisible());
            return true;
        case ID_VIEW_TOOLBAR:
        case ID_VIEW_TOOLBAR2:
        case ID_VIEW_TOOLBAR3: {
            const int bar = ToolBarOfCommand(id);
            toolBars_->SetVisible(bar, !toolBars_->Visible(bar));
            return true;
        }
        case ID_KEY_SETTINGS: {
            KeyDialog dialog(frame_->S(), frame_->Platform(), window_.get());
            if (dialog.exec() == QDialog::Accepted) functionBar_->Refresh();
            return true;
        }
        case ID_DISPLAY_SETTINGS:
        case ID_TERM_SETTINGS: {
            DisplaySettingsDialog dialog(frame_->S(), window_.get());
            if (dialog.exec() == QDialog::Accepted) {
                panes_->ApplySettings();
                hexView_->ApplySettings();
                window_->Status()->SetCellFont(StatusFont(frame_->S()));
            }
            return true;
        }
        case ID_TERM_DUMB:
        case ID_TERM_VT100:
        case ID_TERM_XTERM:
            frame_->S().Emulation = id == ID_TERM_DUMB    ? 0
                                    : id == ID_TERM_VT100 ? 1
                                                          : kXtermTerminal;
            frame_->Term().Reset();
            panes_->ApplySettings();
            return true;
        case ID_MACRO_DEBUGGER:
            // A window of its own, not the main window's: a box the macro opens over the main
            // window leaves it usable, so that its Stop can end the macro.
            if (!macroDebugger_)
                macroDebugger_ = std::make_unique<MacroDebuggerDialog>(*frame_, nullptr);
            macroDebugger_->show();
            macroDebugger_->raise();
            return true;
        case ID_ABOUT:
            frame_->Platform().MessageBox(std::string("マーロ Version ") + MARLO_VERSION_TEXT,
                                          MsgIcon::Information);
            return true;
        default:
            if (!NotBuiltYet().count(id)) return false;
            ShowNotBuiltYet(id);
            return true;
    }
}

bool GuiShell::CommandChecked(int id) const {
    switch (id) {
        case ID_INPUT_BAR:
            return window_->InputBarVisible();
        case ID_SPLIT:
            return panes_->IsSplit();
        case ID_VIEW_FUNCTIONBAR:
            return window_->FunctionBarVisible();
        case ID_VIEW_HEX:
            return !hexView_->parentWidget()->isHidden();
        case ID_VIEW_STATUSBAR:
            return window_->StatusBarVisible();
        case ID_VIEW_TOOLBAR:
        case ID_VIEW_TOOLBAR2:
        case ID_VIEW_TOOLBAR3:
            return toolBars_->Visible(ToolBarOfCommand(id));
        default:
            return frame_->CommandChecked(id);
    }
}

void GuiShell::BuildToolBars() {
    toolBars_->Build(ToolListsFrom(frame_->S()), frame_->S().ToolSize == 1);
}

int GuiShell::ToolBarOfCommand(int id) {
    return id == ID_VIEW_TOOLBAR2 ? 1 : id == ID_VIEW_TOOLBAR3 ? 2 : 0;
}

QFont GuiShell::StatusFont(const Settings& s) {
    return TerminalFont(s, kStatusFontPixels);
}

void GuiShell::ShowAppCommands() {
    std::vector<std::pair<int, QString>> entries;
    for (const auto& e : AppMenuEntries(frame_->S())) entries.emplace_back(e.id, FromSjis(e.label));
    window_->SetAppCommands(entries);
}

ControlCodeWindow* GuiShell::ControlCodes() const {
    return controlCodes_.data();
}

const std::set<int>& GuiShell::NotBuiltYet() {
    static const std::set<int> ids = {
        ID_HELP,
        ID_LOCAL_EDIT,
    };
    return ids;
}

void GuiShell::ShowNotBuiltYet(int id) {
    // The menu's label without its mnemonic and dots, so the user sees which command it was.
    QString label = QStringLiteral("この機能");
    if (QAction* a = window_->Action(id)) {
        label = a->text();
        label.remove(QRegularExpression(QStringLiteral("\\(&.\\)|\\.\\.\\.$")));
        label = QStringLiteral("「") + label + QStringLiteral("」");
    }
    frame_->Platform().MessageBox(
        (label + QStringLiteral("はこの版ではまだ使えません.")).toStdString(),
        MsgIcon::Information);
}

}  // namespace marlo::ui

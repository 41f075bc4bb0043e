// Ties the Qt front end to the frame: the main window and its terminal pane, the input bar, the
// tool bars, the status bar's panes and lamps, and the commands that open windows of the front
// end.
#pragma once

#include <QFont>
#include <QObject>
#include <QPointer>
#include <map>
#include <memory>
#include <set>

#include "app/FrameTerminalHost.h"
#include "app/InputBarModel.h"
#include "app/MainFrame.h"

class QKeyEvent;

namespace marlo::ui {

class ControlCodeWindow;
class FunctionKeyBar;
class HexView;
class MacroDebuggerDialog;
class QtMacroUi;
class MainWindow;
class QtPlatform;
class TerminalPanes;
class ToolBarSet;
class TransferStatusWindow;

class GuiShell : public QObject {
    Q_OBJECT
  public:
    GuiShell(QtPlatform& platform, bool traceMode);
    ~GuiShell() override;

    // Builds the window around the frame (called during start-up).
    void Attach(CMainFrame& frame);
    void Show();
    MainWindow* Window() { return window_.get(); }
    TerminalPanes* Panes() { return panes_; }
    HexView* Hex() { return hexView_; }
    TransferStatusWindow* TransferWindow() { return transferWindow_; }
    ToolBarSet* ToolBars() { return toolBars_.get(); }
    // The control-code palette while it is open, or null.
    ControlCodeWindow* ControlCodes() const;

  private:
    bool OnUiCommand(int id);
    bool CommandChecked(int id) const;
    // Commands that are in the menus but whose windows this version does not have yet: they say
    // so when chosen.
    static const std::set<int>& NotBuiltYet();
    void ShowNotBuiltYet(int id);
    // The user applications in the file menu, as the settings name them.
    void ShowAppCommands();
    void SendInputLine(const QString& text);
    void BuildToolBars();
    // The bar (0..2) a 表示 menu command shows or hides.
    static int ToolBarOfCommand(int id);
    // The status bar's panes are measured in the terminal's face at this size.
    static constexpr int kStatusFontPixels = 12;
    static QFont StatusFont(const Settings& s);

    QtPlatform& platform_;
    bool traceMode_;
    CMainFrame* frame_ = nullptr;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<MacroDebuggerDialog> macroDebugger_;
    std::unique_ptr<QtMacroUi> macroUi_;  // the boxes and dialogs of macros
    TerminalPanes* panes_ = nullptr;
    HexView* hexView_ = nullptr;  // in a dock the 表示 menu shows and hides
    FunctionKeyBar* functionBar_ = nullptr;
    TransferStatusWindow* transferWindow_ = nullptr;
    QPointer<ControlCodeWindow> controlCodes_;  // deleted when it closes
    std::unique_ptr<FrameTerminalHost> host_;
    std::unique_ptr<ToolBarSet> toolBars_;
    InputBarModel inputBar_;
};

}  // namespace marlo::ui

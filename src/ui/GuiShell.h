// Ties the Qt front end to the frame: the main window and its terminal pane, the input bar, the
// status bar's lamps, and the commands that open windows of the front end.
#pragma once

#include <QObject>
#include <map>
#include <memory>

#include "app/InputBarModel.h"
#include "app/MainFrame.h"

class QKeyEvent;

namespace marlo::ui {

class MainWindow;
class QtPlatform;
class TerminalWidget;

class GuiShell : public QObject {
    Q_OBJECT
  public:
    GuiShell(QtPlatform& platform, bool traceMode);
    ~GuiShell() override;

    // Builds the window around the frame (called during start-up).
    void Attach(CMainFrame& frame);
    void Show();
    MainWindow* Window() { return window_.get(); }
    TerminalWidget* Pane() { return pane_; }

    // Keys typed in the terminal (and those the input bar passes on).
    void OnKey(QKeyEvent* e);

  private:
    bool OnUiCommand(int id);
    void SendInputLine(const QString& text);

    QtPlatform& platform_;
    bool traceMode_;
    CMainFrame* frame_ = nullptr;
    std::unique_ptr<MainWindow> window_;
    TerminalWidget* pane_ = nullptr;
    InputBarModel inputBar_;
};

}  // namespace marlo::ui

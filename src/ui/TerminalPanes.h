// The terminal's client area: one TerminalWidget, or two in a splitter over the same Terminal
// (the split command adds the second pane, given again it removes it). Runs the view commands of
// the edit menu and the context menu: copy (plain, quoted, to a file), send the clipboard paced by
// the host's echo, send a file name, select all, range selection, search and the search window.
#pragma once

#include <QPointer>
#include <QSplitter>
#include <functional>
#include <memory>
#include <set>
#include <vector>

namespace marlo {
class Terminal;
class ViewModel;
class ITerminalHost;
class IEchoWait;
class IPlatform;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

class TerminalWidget;
class SearchWindow;

// The view's entries of the edit menu in their order (a null label is a separator), with their
// accelerators; the main window builds its menu from this and sends the ids to RunCommand.
struct ViewCommand {
    const char* label;  // UTF-8
    int id;
    const char* shortcut;
};
const std::vector<ViewCommand>& EditMenuCommands();

class TerminalPanes : public QSplitter {
    Q_OBJECT
  public:
    TerminalPanes(Terminal& terminal, const Settings& settings, ITerminalHost& host,
                  IPlatform& platform, QWidget* parent = nullptr);
    ~TerminalPanes() override;

    // The echo wait that paces a paste (the frame's string wait). Without one a paste pauses
    // after each line but does not wait for the echo.
    void SetEchoWait(IEchoWait* wait) { echoWait_ = wait; }
    // Commands the panes do not handle themselves (connection, terminal type, settings).
    std::function<void(int id)> onCommand;
    std::function<bool(int id)> isEnabled;
    // The check marks of the context menu (the terminal type).
    std::function<bool(int id)> isChecked;

    // A view command; false when the id is not one of them.
    bool RunCommand(int id);
    bool CommandEnabled(int id) const;

    bool IsSplit() const { return panes_.size() > 1; }
    void ToggleSplit();
    int PaneCount() const { return static_cast<int>(panes_.size()); }
    TerminalWidget* Pane(int i) const { return panes_.at(static_cast<size_t>(i)); }
    TerminalWidget* ActivePane() const;
    ViewModel& ActiveModel() const;
    void ApplySettings();
    SearchWindow* Search() const;

    // Whether a command may run now: the panes' own rule for their commands, and the frame's
    // (isEnabled) for every command.
    bool Enabled(int id) const;
    // The commands the panes handle and enable themselves.
    static const std::set<int>& RunCommandIds();

  private:
    void AddPane(int viewIndex);
    void Wire(TerminalWidget* pane, int index);
    void Paste();
    void CopyToFile();
    void SendFileName();
    void OpenSearch();

    Terminal& terminal_;
    const Settings& settings_;
    ITerminalHost& host_;
    IPlatform& platform_;
    IEchoWait* echoWait_ = nullptr;
    std::vector<std::unique_ptr<ViewModel>> models_;
    std::vector<TerminalWidget*> panes_;
    int active_ = 0;
    bool pasting_ = false;
    QPointer<SearchWindow> search_;
};

}  // namespace marlo::ui

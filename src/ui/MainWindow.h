// The main window: menus, the terminal pane(s), the one-line input bar, the status bar with its
// panes. It draws and forwards; every decision is the frame's.
#pragma once

#include <QMainWindow>
#include <QMenu>
#include <QPointer>
#include <functional>
#include <map>
#include <utility>
#include <vector>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QMenu;
class QSplitter;
class QToolBar;

namespace marlo::ui {

class StatusPanes;

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    explicit MainWindow(bool traceMode);

    // Where menu commands go (the frame's OnCommand).
    std::function<void(int id)> onCommand;
    // The close request: returns false when the shutdown was abandoned.
    std::function<bool(bool normalWindow)> onClose;
    // Enter in the input bar: the line as typed (UTF-8).
    std::function<void(const QString& text)> onInputLine;
    // A key the input bar passes on to the terminal.
    std::function<void(QKeyEvent* e)> onForwardKey;

    void SetCentral(QWidget* w);
    // The terminal view's commands at the top of the edit menu (label null: a separator).
    template <typename Commands>
    void AddEditCommands(const Commands& commands) {
        QAction* first = editMenu_->actions().isEmpty() ? nullptr : editMenu_->actions().first();
        for (const auto& c : commands) {
            if (!c.label) {
                editMenu_->insertSeparator(first);
                continue;
            }
            QAction* a = MakeCommand(
                QString::fromUtf8(c.label), c.id,
                c.shortcut ? QKeySequence(QString::fromLatin1(c.shortcut)) : QKeySequence());
            editMenu_->insertAction(first, a);
        }
        if (first) editMenu_->insertSeparator(first);
    }
    // The user applications' entries of the file menu, after "ｱﾌﾟﾘｹｰｼｮﾝ(&A)...": id and title,
    // replacing the ones shown before.
    void SetAppCommands(const std::vector<std::pair<int, QString>>& entries);
    // The function-key bar, docked at the bottom.
    void AddFunctionBar(QWidget* bar, bool visible);
    // The bars the 表示 menu shows and hides (visible means "not hidden": it holds while the
    // window itself is not shown yet or minimised).
    void SetFunctionBarVisible(bool visible);
    bool FunctionBarVisible() const;
    void SetStatusBarVisible(bool visible);
    bool StatusBarVisible() const;
    void SetLamps(unsigned lamps);
    void SetStatusMessage(const QString& text);
    void SetInputBarVisible(bool visible);
    bool InputBarVisible() const;
    // The history list of the input bar (newest first).
    void SetInputHistory(const QStringList& lines);
    QAction* Action(int id) const;
    // A tool button's action, owned by `owner` (its bar): it sends the command as the menu item
    // does and follows the command's enabled state.
    QAction* MakeToolCommand(const QString& tip, int id, const QIcon& icon, QObject* owner);
    StatusPanes* Status() const { return statusPanes_; }
    // Every command's enabled and checked state from isEnabled and isChecked (a timer does it
    // four times a second; menus do it when they open).
    void RefreshCommands();
    // The top-level menus in their order.
    QList<QMenu*> Menus() const;
    QComboBox* InputCombo() const { return inputCombo_; }
    QLabel* InputCounter() const { return inputCounter_; }
    // The input bar's "16進" box: the line is read as hex bytes.
    QCheckBox* InputHex() const { return inputHex_; }
    // Tells whether the command may run now / shows a check mark (called before menus open).
    std::function<bool(int id)> isEnabled;
    std::function<bool(int id)> isChecked;

  protected:
    void closeEvent(QCloseEvent* e) override;
    bool eventFilter(QObject* obj, QEvent* e) override;

  private:
    void BuildMenus(bool traceMode);
    void BuildInputBar();
    QAction* AddCommand(QMenu* menu, const QString& label, int id, const QKeySequence& key = {});
    QAction* MakeCommand(const QString& label, int id, const QKeySequence& key);
    QAction* NewCommand(const QString& label, int id, QObject* owner);
    void RefreshAction(QAction* a);
    void RefreshMenu(QMenu* menu);

    std::map<int, QAction*> actions_;
    QList<QPointer<QAction>> toolActions_;
    std::vector<int> appCommands_;
    QMenu* fileMenu_ = nullptr;
    QMenu* editMenu_ = nullptr;
    QToolBar* inputBar_ = nullptr;
    QToolBar* functionDock_ = nullptr;
    QComboBox* inputCombo_ = nullptr;
    QLabel* inputCounter_ = nullptr;
    QCheckBox* inputHex_ = nullptr;
    StatusPanes* statusPanes_ = nullptr;
};

}  // namespace marlo::ui

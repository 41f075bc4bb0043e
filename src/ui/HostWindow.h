// The host selection window "ﾎｽﾄ選択": the host table as a report (one column "ﾎｽﾄ"), a list or
// icons, the commands as buttons and a right-click menu, up/down, and a double-click to connect.
// It edits a copy (the host window model); OK and Connect hand the copy back to the caller's table,
// store it and remember the window's size and view mode; Cancel drops every edit.
#pragma once

#include <QDialog>
#include <functional>
#include <optional>
#include <string>

#include "hosts/HostWindow.h"

class QAbstractItemView;
class QComboBox;
class QItemSelectionModel;
class QListView;
class QMenu;
class QStackedWidget;
class QStandardItemModel;
class QTreeView;

namespace marlo {
class ISettingsStore;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

// "ﾎｽﾄ名を入力してください", prefilled; the name (Shift-JIS) or nullopt on Cancel. The edit box
// takes no more than a host name's 30 bytes.
std::optional<std::string> AskHostName(const std::string& prefill, QWidget* parent);

class HostWindow : public QDialog {
    Q_OBJECT
  public:
    // What exec() returns for Connect; OK is Accepted, Cancel Rejected.
    static constexpr int kConnected = 2;
    enum class Mode { Connect, Choose };

    // `store` may be null: the table is then handed back without being stored.
    HostWindow(HostTable& table, Settings& settings, ISettingsStore* store, IPlatform& platform,
               QWidget* parent, Mode mode = Mode::Connect);

    // Connect, after the edited table was handed back: the entry and its index.
    std::function<void(const HostEntry& entry, size_t index)> onConnect;
    // The help button, with the window's help keyword.
    std::function<void(const std::string& keyword)> onHelp;

    // The entry chosen by Connect.
    std::optional<size_t> ConnectedIndex() const { return connected_; }
    const HostWindowModel& Model() const { return model_; }
    // The view now in front (the report's tree, or the list/icon view).
    QAbstractItemView* CurrentView() const;

    // The window as the host command opens it: not while a connection is up. The index of the
    // entry to connect, or nullopt after OK, Cancel or a refusal.
    static std::optional<size_t> Run(bool online, HostTable& table, Settings& settings,
                                     ISettingsStore* store, IPlatform& platform, QWidget* parent);
    // The choosing mode of the telnet dialog's "参照(&R)...": the chosen entry's telnet host
    // (Shift-JIS), nullopt when nothing was chosen or the entry has no telnet host.
    static std::optional<std::string> ChooseTelnetHost(HostTable& table, Settings& settings,
                                                       ISettingsStore* store, IPlatform& platform,
                                                       QWidget* parent);

    // The commands, as the buttons and the menu run them.
    void DoConnect();
    void DoAdd();
    void DoCopy();
    void DoDelete();
    void DoProperties();
    void DoMoveUp();
    void DoMoveDown();
    void DoSort();
    void SetStyle(int style);  // 0 report, 1 list, 2 icons

    void accept() override;

  private:
    void Refresh();
    void ShowSelection();
    void TakeSelection();
    void Commit();
    void ShowMenu(QAbstractItemView* view, const QPoint& pos);
    HostWindowModel::SheetEditor Sheet();
    HostWindowModel::NamePrompt Prompt();

    HostTable& table_;
    Settings& settings_;
    ISettingsStore* store_;
    IPlatform& platform_;
    HostWindowModel model_;
    Mode mode_;
    std::optional<size_t> connected_;
    int style_ = 0;

    QStandardItemModel* items_ = nullptr;
    QItemSelectionModel* selection_ = nullptr;
    QStackedWidget* stack_ = nullptr;
    QTreeView* report_ = nullptr;
    QListView* list_ = nullptr;
    QComboBox* styleCombo_ = nullptr;
    QMenu* menu_ = nullptr;
    bool refreshing_ = false;
};

}  // namespace marlo::ui

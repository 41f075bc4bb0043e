// The connection history window "接続履歴": a host choice ("すべてのホスト" first), the periods
// "全年", "今年", "今月", "今日", the records of "history.txt" with their totals, and delete.
// Reading, filtering and totalling are the history model's; the window shows its result.
#pragma once

#include <QDialog>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "line/History.h"

class QButtonGroup;
class QComboBox;
class QGroupBox;
class QLabel;
class QTreeWidget;

namespace marlo {
class HostTable;
class IPlatform;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

// The period buttons "全年", "今年", "今月", "今日" in the group "表示範囲", each in `group` with
// its HistoryPeriod as id; the history and the log browser share them.
QGroupBox* PeriodBox(QWidget* parent, QButtonGroup* group);

class HistoryWindow : public QDialog {
    Q_OBJECT
  public:
    // `dir` is HistoryDefPath (Shift-JIS path); `hostNames` the table's names in order
    // (Shift-JIS). `today` gives the date the periods are counted from (the local date when
    // empty).
    HistoryWindow(const std::string& dir, const std::vector<std::string>& hostNames,
                  IPlatform& platform, QWidget* parent, std::function<std::tm()> today = nullptr);

    // The help button, with the window's help keyword.
    std::function<void(const std::string& keyword)> onHelp;

    // The window as the "接続履歴(&H)..." command opens it: the file in HistoryDefPath, the
    // hosts of the table.
    static void Run(const Settings& settings, const HostTable& table, IPlatform& platform,
                    QWidget* parent,
                    std::function<void(const std::string& keyword)> onHelp = nullptr);

    HistoryPeriod Period() const { return period_; }
    void SetPeriod(HistoryPeriod p);
    // Chooses the host combo's row (0 is every host).
    void SetHostRow(int row);
    // Reads the file again with the current period and host.
    void Reload();
    void Delete();

    const HistoryView& View() const { return view_; }

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void FitColumns();

    std::string dir_;
    std::vector<std::string> hosts_;
    IPlatform& platform_;
    std::function<std::tm()> today_;
    HistoryPeriod period_ = HistoryPeriod::Month;
    HistoryView view_;

    QComboBox* host_ = nullptr;
    QButtonGroup* periods_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLabel* count_ = nullptr;
    QLabel* time_ = nullptr;
    QLabel* charge_ = nullptr;
};

}  // namespace marlo::ui

// The log browser window "ﾛｸﾞ参照": the log folder, the periods, the list of logs, the viewer box
// and the view and delete buttons. What it lists and does is the core's LogBrowserModel.
#pragma once

#include <QDialog>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "tools/LogBrowser.h"

class QButtonGroup;
class QComboBox;
class QTreeWidget;

namespace marlo::ui {

class LogBrowserWindow : public QDialog {
    Q_OBJECT
  public:
    LogBrowserWindow(const Settings& settings, IPlatform& platform, QWidget* parent,
                     std::function<std::tm()> today = nullptr);

    std::function<void(const std::string& keyword)> onHelp;

    LogBrowserModel& Model() { return model_; }
    void SetPeriod(HistoryPeriod p);
    // The rows the user selected, in list order.
    std::vector<int> SelectedRows() const;
    void View();
    void Delete();

    static void Run(const Settings& settings, IPlatform& platform, QWidget* parent,
                    std::function<void(const std::string& keyword)> onHelp = nullptr);

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void ShowFiles();

    LogBrowserModel model_;
    QButtonGroup* periods_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QComboBox* viewers_ = nullptr;
};

}  // namespace marlo::ui

// The dialogs of the external programs: "ｺﾏﾝﾄﾞ実行" asks for a command line, "ｱﾌﾟﾘｹｰｼｮﾝ" edits the
// seven user applications. Their rules are the core's AppListModel and command splitting.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "tools/ExternalPrograms.h"

class QLineEdit;
class QListWidget;

namespace marlo {
class IPlatform;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

class CommandLineDialog : public QDialog {
    Q_OBJECT
  public:
    CommandLineDialog(IPlatform& platform, QWidget* parent);
    // The typed command line (Shift-JIS).
    std::string Command() const;
    // The dialog as the "ｺﾏﾝﾄﾞ実行(&C)..." command opens it; the command line on OK.
    static std::optional<std::string> Run(IPlatform& platform, QWidget* parent);

  private:
    QLineEdit* command_ = nullptr;
};

class ApplicationDialog : public QDialog {
    Q_OBJECT
  public:
    ApplicationDialog(const Settings& settings, IPlatform& platform, QWidget* parent);
    const AppListModel& Model() const { return model_; }
    // The dialog as the "ｱﾌﾟﾘｹｰｼｮﾝ(&A)..." command opens it; true when OK changed `settings`.
    static bool Run(Settings& settings, IPlatform& platform, QWidget* parent);

  private:
    void ShowList();
    void ShowSelected();

    AppListModel model_;
    QListWidget* list_ = nullptr;
    QLineEdit* title_ = nullptr;
    QLineEdit* command_ = nullptr;
};

}  // namespace marlo::ui

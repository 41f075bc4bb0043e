// "ﾏｸﾛﾃﾞﾊﾞｯｶﾞ": the lines of a macro with the one running selected, and buttons to load a file,
// run it and stop it. It stays open beside the terminal and follows the macro thread four times a
// second.
#pragma once

#include <QDialog>
#include <QTimer>
#include <string>
#include <vector>

class QListWidget;
class QPushButton;

namespace marlo {
class CMainFrame;
}

namespace marlo::ui {

class MacroDebuggerDialog : public QDialog {
    Q_OBJECT
  public:
    MacroDebuggerDialog(CMainFrame& frame, QWidget* parent);

  private:
    void Load();
    void Run();
    void Follow();
    void Show(const std::vector<std::string>& lines);

    CMainFrame& frame_;
    QListWidget* list_;
    QPushButton* run_;
    QPushButton* stop_;
    QTimer follow_;
    std::string loaded_;  // the file the 実行 button runs (UTF-8 path)
    std::vector<std::string> shown_;
};

}  // namespace marlo::ui

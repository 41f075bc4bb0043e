// The dialog "ログファイル" of the log toggle: the log file's name (the automatic name to start
// with, a name without a folder goes into the log folder), a browse button, and new or append.
#pragma once

#include <QDialog>
#include <optional>
#include <string>

#include "terminal/CaptureLog.h"

class QLineEdit;
class QRadioButton;

namespace marlo::ui {

class LogFileDialog : public QDialog {
    Q_OBJECT
  public:
    LogFileDialog(const std::string& autoName, bool append, QWidget* parent);
    LogChoice Choice() const;

    // Shows the dialog; nullopt on ｷｬﾝｾﾙ or an empty name.
    static std::optional<LogChoice> Run(const std::string& autoName, bool append, QWidget* parent);

  private:
    QLineEdit* name_;
    QRadioButton* append_;
};

}  // namespace marlo::ui

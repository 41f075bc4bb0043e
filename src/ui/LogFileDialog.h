// The dialog of a capture file ("ログファイル" of the log toggle, "テキスト受信ファイル" of the
// text receive): the file's name (a name without a folder goes into the file's folder), a browse
// button, and new or append.
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
    LogFileDialog(const CaptureDialogTexts& texts, const std::string& name, bool append,
                  QWidget* parent);
    LogChoice Choice() const;

    // Shows the dialog; nullopt on ｷｬﾝｾﾙ or an empty name.
    static std::optional<LogChoice> Run(const CaptureDialogTexts& texts, const std::string& name,
                                        bool append, QWidget* parent);

  private:
    QLineEdit* name_;
    QRadioButton* append_;
};

}  // namespace marlo::ui

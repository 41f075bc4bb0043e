// The trace settings dialog "ﾄﾚｰｽ" (command 589, trace mode only): the categories to trace and the
// trace file. OK stores TracePos and TraceFile in the settings; the caller hands them on to the
// process-wide trace state (SetTraceMask, SetTraceFile).
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "app/TraceSettingsModel.h"
#include "platform/Platform.h"

class QCheckBox;
class QLineEdit;

namespace marlo::ui {

class TraceSettingsDialog : public QDialog {
    Q_OBJECT
  public:
    explicit TraceSettingsDialog(Settings& settings, QWidget* parent = nullptr);

    // Shows the dialog; true when it was closed with OK and the settings were changed.
    static bool Run(Settings& settings, QWidget* parent);

    // How a refusal is shown; a message box by default.
    std::function<void(const std::string& utf8, MsgIcon icon)> showMessage;

    void accept() override;

  private:
    Settings& settings_;
    TraceSettingsModel model_;
    QCheckBox *main_, *macro_, *transfer_;
    QLineEdit* file_;
};

}  // namespace marlo::ui

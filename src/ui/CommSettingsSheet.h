// The communication settings sheet "通信条件の設定" (command 327): pages for the line, the
// terminal, the modem, file transfer and text send. It only shows and collects the values: what it
// refuses and how a change reaches a running line are CommSettingsModel's.
#pragma once

#include <QDialog>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/CommSettingsModel.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QTabWidget;

namespace marlo::ui {

class CommSettingsSheet : public QDialog {
    Q_OBJECT
  public:
    // `ports` is the port list to offer (for example PortChoices of the ports that can be opened
    // now); the current port is added when it is missing, so that opening the sheet never loses
    // it. `line` is the running line; with null only the settings are changed.
    CommSettingsSheet(Settings& settings, const std::vector<ParamChoice>& ports,
                      ICommLineControl* line, QWidget* parent = nullptr);
    ~CommSettingsSheet() override;

    // Shows the sheet; true when it was closed with OK and applied. `applied` receives what the
    // frame has to redo (a changed emulation resets the terminal through the line control).
    static bool Run(Settings& settings, const std::vector<ParamChoice>& ports,
                    ICommLineControl* line, QWidget* parent, CommApplyResult* applied = nullptr);

    // How a refusal is shown; a message box by default.
    std::function<void(const std::string& utf8, MsgIcon icon)> showMessage;

    // Set once OK has applied the sheet.
    const std::optional<CommApplyResult>& applied() const { return applied_; }

    QTabWidget* pages() const { return pages_; }

    // OK: takes the fields, refuses with a message (the sheet stays open) or applies and closes.
    void accept() override;

  private:
    QWidget* LinePage(const std::vector<ParamChoice>& ports);
    QWidget* TerminalPage();
    QWidget* ModemPage();
    QWidget* TransferPage();
    QWidget* TextSendPage();
    void Collect();

    Settings& settings_;
    std::unique_ptr<ICommLineControl> detached_;  // stands in when no line is given
    CommSettingsModel model_;
    std::optional<CommApplyResult> applied_;
    QTabWidget* pages_ = nullptr;

    QComboBox *port_, *speed_, *dataLen_, *parity_, *stopBit_, *flow_;
    QSpinBox *breakTime_, *dtrPulseTime_, *readSize_;
    QComboBox *emulation_, *receiveCode_, *sendCode_, *fileNameCode_, *timeStamp_;
    std::vector<std::pair<QCheckBox*, int CommSheetValues::*>> switches_;
    QLineEdit *modemInit1_, *modemInit2_;
    QSpinBox *tabNum_, *maxCol_;
};

}  // namespace marlo::ui

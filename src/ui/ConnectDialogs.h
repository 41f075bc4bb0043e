// The connect dialogs: "Telnet接続" (host with the five remembered ones, port) and "電話接続"
// (number with its keypad, tone or pulse, extension, redial). Their rules are the core models'.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "line/Dialler.h"

class QComboBox;
class QLineEdit;

namespace marlo::ui {

class TelnetConnectDialog : public QDialog {
    Q_OBJECT
  public:
    // `hosts` are the remembered hosts (Shift-JIS); `browse` opens the host window in its choosing
    // mode and returns the chosen entry's telnet host.
    TelnetConnectDialog(QWidget* parent, const std::array<std::string, 5>& hosts,
                        std::function<std::optional<std::string>()> browse);
    std::string Host() const;  // Shift-JIS
    int Port() const { return port_; }

    // Shows the dialog; on OK remembers the host in `hosts` and returns host and port.
    static std::optional<std::pair<std::string, int>> Run(
        QWidget* parent, std::array<std::string, 5>& hosts,
        std::function<std::optional<std::string>()> browse);

  protected:
    void accept() override;

  private:
    QComboBox* host_;
    QLineEdit* portEdit_;
    int port_ = 23;
};

class PhoneConnectDialog : public QDialog {
    Q_OBJECT
  public:
    explicit PhoneConnectDialog(QWidget* parent);
    // Shows the dialog; on "接続" the plan and the initialisation command.
    static std::optional<std::pair<DialPlan, std::string>> Run(QWidget* parent);
    PhoneDialogModel model;

  private:
    void Sync();
    QLineEdit* number_;
};

}  // namespace marlo::ui

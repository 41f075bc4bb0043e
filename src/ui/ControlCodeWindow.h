// The control-code palette: a modeless window of 32 buttons, NUL to US, each sending its byte;
// it stays open so that several codes can be sent in a row.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>

namespace marlo::ui {

class ControlCodeWindow : public QDialog {
    Q_OBJECT
  public:
    explicit ControlCodeWindow(QWidget* parent = nullptr);
    std::function<void(uint8_t code)> onCode;
};

}  // namespace marlo::ui

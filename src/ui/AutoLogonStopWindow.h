// The auto-logon's stop window: one button "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ停止(F3)" at the main window's top-left
// corner. While it is open F3 anywhere in the program presses it (the key goes no further).
#pragma once

#include <QDialog>
#include <atomic>

namespace marlo::ui {

class AutoLogonStopWindow : public QDialog {
    Q_OBJECT
  public:
    AutoLogonStopWindow(QWidget* parent, std::atomic<bool>& stop);
    ~AutoLogonStopWindow() override;

  protected:
    bool eventFilter(QObject* watched, QEvent* e) override;
    void reject() override;

  private:
    std::atomic<bool>& stop_;
};

}  // namespace marlo::ui

// The modeless transfer status window "転送中": the file, its size, the protocol, the retry count,
// the elapsed and remaining time, the bytes so far, the speed, a progress bar with its percent and
// the cancel button. F3 anywhere in the program presses the cancel button while it is open.
#pragma once

#include <QDialog>
#include <functional>
#include <map>

#include "app/TransferController.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace marlo::ui {

class TransferStatusWindow : public QDialog, public ITransferWindow {
    Q_OBJECT
  public:
    explicit TransferStatusWindow(QWidget* parent);
    ~TransferStatusWindow() override;

    // The cancel button, F3 or Escape; the close box.
    std::function<void()> onCancel;
    std::function<void()> onCloseRequest;

    // ITransferWindow
    void Open() override;
    void Close() override;
    void SetField(TransField field, const std::string& utf8) override;
    void SetStatusTitle(const std::string& utf8) override;
    void SetPercent(int percent) override;
    void SetCancelEnabled(bool enabled) override;

    QString FieldText(TransField field) const;
    int Percent() const;

  protected:
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
    bool eventFilter(QObject* watched, QEvent* e) override;

  private:
    void Reset();

    std::map<TransField, QLabel*> values_;
    QProgressBar* bar_;
    QLabel* percent_;
    QLabel* message_;
    QPushButton* cancel_;
    bool filtering_ = false;
};

}  // namespace marlo::ui

// The modeless progress window "マーロ": a text line, a status line, a seconds field and "中断".
#pragma once

#include <QDialog>
#include <atomic>

class QLabel;

namespace marlo::ui {

class ProgressWindow : public QDialog {
    Q_OBJECT
  public:
    ProgressWindow(QWidget* parent, std::atomic<bool>& cancelled);
    void SetText(const QString& t);
    void SetStatus(const QString& s);
    void SetSeconds(const QString& s);

  private:
    QLabel* text_;
    QLabel* status_;
    QLabel* seconds_;
};

}  // namespace marlo::ui

// The search window: a text, the match-case switch and the direction; each search goes to the
// active pane as a request (text and flags), and closing the window removes the highlight.
#pragma once

#include <QDialog>
#include <functional>
#include <string>

class QLineEdit;
class QCheckBox;

namespace marlo::ui {

class SearchWindow : public QDialog {
    Q_OBJECT
  public:
    explicit SearchWindow(QWidget* parent = nullptr);
    // The request: Shift-JIS text and the flags (match case, downward; -1 removes the highlight).
    std::function<void(const std::string& sjis, int flags)> onRequest;
    void SetText(const QString& text);

  protected:
    void done(int r) override;

  private:
    void Request(bool down);
    QLineEdit* text_;
    QCheckBox* matchCase_;
};

}  // namespace marlo::ui

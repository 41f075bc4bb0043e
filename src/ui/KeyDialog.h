// The key dialog "ｷｰ": the twelve user keys, one at a time by the drop-down, each a text to send
// or a macro file to run, with its function-bar label. Edits a copy; OK stores all twelve.
#pragma once

#include <QDialog>

#include "terminal/UserKeyTable.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace marlo {
struct Settings;
class IPlatform;
}  // namespace marlo

namespace marlo::ui {

class KeyDialog : public QDialog {
    Q_OBJECT
  public:
    KeyDialog(Settings& settings, IPlatform& platform, QWidget* parent = nullptr);
    void accept() override;

    QComboBox* KeyChoice() const { return key_; }
    QRadioButton* TextKind() const { return textKind_; }
    QRadioButton* MacroKind() const { return macroKind_; }
    QLineEdit* TextEdit() const { return text_; }
    QLineEdit* LabelEdit() const { return label_; }
    QPushButton* BrowseButton() const { return browse_; }

  private:
    void Show(int index);
    void Keep();
    void Browse();

    Settings& settings_;
    IPlatform& platform_;
    UserKeyTable table_;
    int shown_ = 0;
    QComboBox* key_;
    QRadioButton* textKind_;
    QRadioButton* macroKind_;
    QLineEdit* text_;
    QPushButton* browse_;
    QLineEdit* label_;
};

}  // namespace marlo::ui

// The display settings of the terminal: text and background colours, the terminal font, the
// caret's shape and blinking, the quote mark of a quoted copy, and the VT100 colour table
// ("ANSI色属性(&A)..."). Each dialog edits a copy and stores it on OK.
#pragma once

#include <QDialog>
#include <array>
#include <cstdint>

#include "settings/Settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace marlo::ui {

// The 32 colours of the VT100 table: four groups of eight (normal text, normal background,
// bright text, bright background), black to white.
class AnsiColourDialog : public QDialog {
    Q_OBJECT
  public:
    AnsiColourDialog(std::array<int32_t, 32>& table, QWidget* parent = nullptr);
    void accept() override;
    // Sets one entry as a click and a colour choice would (tests).
    void SetColour(int index, int32_t ref);
    QPushButton* Button(int index) const { return buttons_[static_cast<size_t>(index)]; }

  private:
    void Paint(int index);
    std::array<int32_t, 32>& target_;
    std::array<int32_t, 32> table_;
    std::array<QPushButton*, 32> buttons_{};
};

class DisplaySettingsDialog : public QDialog {
    Q_OBJECT
  public:
    DisplaySettingsDialog(Settings& settings, QWidget* parent = nullptr);
    void accept() override;
    // The edited copy (tests).
    Settings& Edited() { return edited_; }
    void SetFont(const QFont& font);

  private:
    void ChooseColour(bool text);
    void ChooseFont();
    void Refresh();

    Settings& settings_;
    Settings edited_;
    QLabel* sample_;
    QComboBox* caret_;
    QCheckBox* blink_;
    QLineEdit* quote_;
};

}  // namespace marlo::ui

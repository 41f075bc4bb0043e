// Small pieces shared by the settings sheets and dialogs: the sheets' message box, drop-down lists
// of display texts with their stored values, number fields that show a stored value as it is (the
// core model decides what it accepts), check boxes for 0/1 values and colour conversions.
#pragma once

#include <QColor>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "app/CommSettingsModel.h"
#include "platform/Platform.h"
#include "ui/SjisField.h"

class QCheckBox;
class QComboBox;
class QDialogButtonBox;
class QPushButton;
class QSpinBox;
class QWidget;

namespace marlo::ui {

// A push button of a dialog's side (not the default one), named for tests.
QPushButton* Button(const QString& text, const QString& objectName, QWidget* parent);

// A message box with the title "マーロ" and the icon, over `parent`.
void ShowSheetMessage(QWidget* parent, const std::string& utf8, MsgIcon icon);

// A drop-down list of the choices; the entry holding `value` is selected, none when no entry
// holds it (so the model refuses it until the user picks one).
QComboBox* ChoiceCombo(const std::vector<ParamChoice>& choices, int value, const QString& name,
                       QWidget* parent);
// The value of the selected entry; -1 when none is selected.
int ChoiceValue(const QComboBox* combo);

// A number field from 0 to `max`, widened so that a stored value outside that range is shown
// unchanged rather than silently clamped.
QSpinBox* NumberField(int value, int max, const QString& name, QWidget* parent);
// The field's value, taking text typed but not yet committed.
int NumberValue(QSpinBox* field);

QCheckBox* Switch(const QString& label, int value, const QString& name, QWidget* parent);
int SwitchValue(const QCheckBox* box);

// "OK" and "ｷｬﾝｾﾙ".
QDialogButtonBox* SheetButtons(QWidget* parent);

// Colours are stored as 0x00BBGGRR.
QColor FromColorRef(int32_t c);
int32_t ToColorRef(const QColor& c);
// The colour chooser starting at `current`, with the 16 custom colours brought in and taken back
// out (the chooser keeps one set for the whole program); nullopt when cancelled.
std::optional<int32_t> ColourDialog(QWidget* parent, int32_t current, const QString& title,
                                    std::array<int32_t, 16>& custom);

}  // namespace marlo::ui

#include "ui/SheetControls.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <algorithm>

#include "ui/QtPlatform.h"

namespace marlo::ui {

QPushButton* Button(const QString& text, const QString& objectName, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(objectName);
    b->setAutoDefault(false);
    return b;
}

void ShowSheetMessage(QWidget* parent, const std::string& utf8, MsgIcon icon) {
    QtPlatform::ShowMessageBox(parent, utf8, icon, MsgButtons::Ok, "マーロ");
}

QComboBox* ChoiceCombo(const std::vector<ParamChoice>& choices, int value, const QString& name,
                       QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(name);
    for (const ParamChoice& c : choices) combo->addItem(FromUtf8(c.text), c.value);
    combo->setCurrentIndex(combo->findData(value));
    return combo;
}

int ChoiceValue(const QComboBox* combo) {
    return combo->currentIndex() < 0 ? -1 : combo->currentData().toInt();
}

QSpinBox* NumberField(int value, int max, const QString& name, QWidget* parent) {
    auto* field = new QSpinBox(parent);
    field->setObjectName(name);
    field->setRange(std::min(0, value), std::max(max, value));
    field->setValue(value);
    return field;
}

int NumberValue(QSpinBox* field) {
    field->interpretText();
    return field->value();
}

QCheckBox* Switch(const QString& label, int value, const QString& name, QWidget* parent) {
    auto* box = new QCheckBox(label, parent);
    box->setObjectName(name);
    box->setChecked(value != 0);
    return box;
}

int SwitchValue(const QCheckBox* box) {
    return box->isChecked() ? 1 : 0;
}

QDialogButtonBox* SheetButtons(QWidget* parent) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, parent);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    return buttons;
}

QColor FromColorRef(int32_t c) {
    const auto u = static_cast<uint32_t>(c);
    return QColor(u & 0xFF, (u >> 8) & 0xFF, (u >> 16) & 0xFF);
}

int32_t ToColorRef(const QColor& c) {
    return static_cast<int32_t>(static_cast<uint32_t>(c.red()) |
                                (static_cast<uint32_t>(c.green()) << 8) |
                                (static_cast<uint32_t>(c.blue()) << 16));
}

std::optional<int32_t> ColourDialog(QWidget* parent, int32_t current, const QString& title,
                                    std::array<int32_t, 16>& custom) {
    // The chooser's custom colours are one set for the whole program; each chooser of the sheet
    // brings its own 16 in and takes them back out.
    for (int i = 0; i < 16; ++i) QColorDialog::setCustomColor(i, FromColorRef(custom[i]));
    QColor c = QColorDialog::getColor(FromColorRef(current), parent, title);
    for (int i = 0; i < 16; ++i) custom[i] = ToColorRef(QColorDialog::customColor(i));
    if (!c.isValid()) return std::nullopt;
    return ToColorRef(c);
}

}  // namespace marlo::ui

#include "ui/KeyDialog.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "settings/Settings.h"
#include "text/Encoding.h"
#include "ui/SheetControls.h"

namespace marlo::ui {

KeyDialog::KeyDialog(Settings& settings, IPlatform& platform, QWidget* parent)
    : QDialog(parent), settings_(settings), platform_(platform), table_(settings) {
    setWindowTitle(QStringLiteral("ｷｰ"));
    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    key_ = new QComboBox;
    for (int i = 1; i <= kUserKeyCount; ++i) key_->addItem(QStringLiteral("F%1").arg(i));
    form->addRow(QStringLiteral("設定ｷｰ"), key_);
    auto* kinds = new QHBoxLayout;
    textKind_ = new QRadioButton(QStringLiteral("文字列"));
    macroKind_ = new QRadioButton(QStringLiteral("ﾏｸﾛ"));
    auto* group = new QButtonGroup(this);
    group->addButton(textKind_);
    group->addButton(macroKind_);
    kinds->addWidget(textKind_);
    kinds->addWidget(macroKind_);
    kinds->addStretch();
    form->addRow(QString(), kinds);
    auto* textRow = new QHBoxLayout;
    text_ = new QLineEdit;
    text_->setMaxLength(static_cast<int>(kUserKeyTextMax));
    browse_ = new QPushButton(QStringLiteral("参照(&R)..."));
    textRow->addWidget(text_, 1);
    textRow->addWidget(browse_);
    form->addRow(QString(), textRow);
    label_ = new QLineEdit;
    form->addRow(QStringLiteral("ﾌｧﾝｸｼｮﾝﾊﾞｰ登録文字列"), label_);
    layout->addLayout(form);
    auto* buttons = SheetButtons(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(key_, &QComboBox::currentIndexChanged, this, [this](int index) {
        Keep();
        Show(index);
    });
    connect(macroKind_, &QRadioButton::toggled, browse_, &QPushButton::setEnabled);
    connect(browse_, &QPushButton::clicked, this, &KeyDialog::Browse);
    Show(0);
}

void KeyDialog::Show(int index) {
    shown_ = index;
    const UserKeyEntry& e = table_.At(index);
    (e.kind == 1 ? macroKind_ : textKind_)->setChecked(true);
    browse_->setEnabled(e.kind == 1);
    text_->setText(FromSjis(e.text));
    label_->setText(FromSjis(e.label));
}

void KeyDialog::Keep() {
    table_.Set(shown_,
               {ToSjis(text_->text()), ToSjis(label_->text()), macroKind_->isChecked() ? 1 : 0});
}

void KeyDialog::Browse() {
    auto chosen = platform_.ChooseFile(false, "マクロファイルの参照",
                                       "ﾏｸﾛﾌｧｲﾙ(*.mac)|*.mac|すべてのﾌｧｲﾙ (*.*)|*.*||",
                                       SjisToUtf8(settings_.MacroDefPath));
    if (chosen) text_->setText(QString::fromStdString(*chosen));
}

void KeyDialog::accept() {
    Keep();
    table_.Store(settings_);
    QDialog::accept();
}

}  // namespace marlo::ui

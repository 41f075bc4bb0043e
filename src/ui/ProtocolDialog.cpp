#include "ui/ProtocolDialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "text/Encoding.h"

namespace marlo::ui {

ProtocolDialog::ProtocolDialog(int direction, const std::vector<std::string>& sjisNames,
                               QWidget* parent)
    : QDialog(parent), names_(sjisNames) {
    setObjectName(QStringLiteral("protocolDialog"));
    setWindowTitle(direction == 1 ? QStringLiteral("アップロード")
                                  : QStringLiteral("ダウンロード"));
    auto* group = new QGroupBox(QStringLiteral("転送ﾌﾟﾛﾄｺﾙ"), this);
    list_ = new QListWidget(group);
    list_->setObjectName(QStringLiteral("protocolList"));
    for (const auto& name : names_) list_->addItem(QString::fromStdString(SjisToUtf8(name)));
    if (list_->count() > 0) list_->setCurrentRow(0);
    auto* groupLayout = new QVBoxLayout(group);
    groupLayout->addWidget(list_);
    auto* buttons = new QDialogButtonBox(
        QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Help, Qt::Vertical,
        this);
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    buttons->button(QDialogButtonBox::Help)->setText(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    // There are no help pages for this dialog yet.
    buttons->button(QDialogButtonBox::Help)->setEnabled(false);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });
    auto* top = new QHBoxLayout(this);
    top->addWidget(group, 1);
    top->addWidget(buttons);
}

std::optional<std::string> ProtocolDialog::Chosen() const {
    int row = list_->currentRow();
    if (row < 0 || static_cast<size_t>(row) >= names_.size()) return std::nullopt;
    return names_[static_cast<size_t>(row)];
}

std::optional<std::string> ProtocolDialog::Run(int direction,
                                               const std::vector<std::string>& sjisNames,
                                               QWidget* parent) {
    ProtocolDialog dialog(direction, sjisNames, parent);
    if (parent) {
        dialog.adjustSize();
        dialog.move(parent->frameGeometry().center() - dialog.rect().center());
    }
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Chosen();
}

}  // namespace marlo::ui

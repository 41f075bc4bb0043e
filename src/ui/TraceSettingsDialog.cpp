#include "ui/TraceSettingsDialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "ui/SheetControls.h"

namespace marlo::ui {

TraceSettingsDialog::TraceSettingsDialog(Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), model_(settings) {
    setWindowTitle(QStringLiteral("ﾄﾚｰｽ"));
    showMessage = [this](const std::string& text, MsgIcon icon) {
        ShowSheetMessage(this, text, icon);
    };
    const TraceSheetValues& v = model_.values;
    auto* where = new QGroupBox(QStringLiteral("ﾄﾚｰｽ位置"), this);
    auto* whereLayout = new QVBoxLayout(where);
    main_ = Switch(QStringLiteral("ﾒｲﾝ"), v.main, QStringLiteral("TraceMain"), where);
    macro_ = Switch(QStringLiteral("ﾏｸﾛ"), v.macro, QStringLiteral("TraceMacro"), where);
    transfer_ =
        Switch(QStringLiteral("ﾌｧｲﾙ転送"), v.transfer, QStringLiteral("TraceTransfer"), where);
    whereLayout->addWidget(main_);
    whereLayout->addWidget(macro_);
    whereLayout->addWidget(transfer_);

    // The trace file is a path as the file system spells it, not text of the program.
    file_ = new QLineEdit(QFile::decodeName(QByteArray::fromStdString(v.file)), this);
    file_->setObjectName(QStringLiteral("TraceFile"));
    file_->setMinimumWidth(280);
    auto* browse = new QPushButton(QStringLiteral("参照(&B)..."), this);
    connect(browse, &QPushButton::clicked, this, [this] {
        QString path =
            QFileDialog::getSaveFileName(this, QStringLiteral("ファイルの参照"), file_->text(),
                                         QString(), nullptr, QFileDialog::DontConfirmOverwrite);
        if (!path.isEmpty()) file_->setText(path);
    });
    auto* fileRow = new QHBoxLayout;
    auto* fileLabel = new QLabel(QStringLiteral("ﾄﾚｰｽﾌｧｲﾙ(&F)"), this);
    fileLabel->setBuddy(file_);
    fileRow->addWidget(fileLabel);
    fileRow->addWidget(file_, 1);
    fileRow->addWidget(browse);

    auto* buttons = SheetButtons(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(where);
    layout->addLayout(fileRow);
    layout->addWidget(buttons);
}

void TraceSettingsDialog::accept() {
    TraceSheetValues& v = model_.values;
    v.main = main_->isChecked();
    v.macro = macro_->isChecked();
    v.transfer = transfer_->isChecked();
    v.file = QFile::encodeName(file_->text()).toStdString();
    if (std::optional<std::string> refusal = model_.Validate()) {
        if (showMessage) showMessage(*refusal, MsgIcon::Exclamation);
        return;
    }
    model_.Apply(settings_);
    QDialog::accept();
}

bool TraceSettingsDialog::Run(Settings& settings, QWidget* parent) {
    TraceSettingsDialog dialog(settings, parent);
    return dialog.exec() == QDialog::Accepted;
}

}  // namespace marlo::ui

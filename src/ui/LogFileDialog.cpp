#include "ui/LogFileDialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/QtPlatform.h"
#include "ui/SheetControls.h"

namespace marlo::ui {

LogFileDialog::LogFileDialog(const CaptureDialogTexts& texts, const std::string& name, bool append,
                             QWidget* parent)
    : QDialog(parent) {
    setObjectName(QStringLiteral("logFileDialog"));
    setWindowTitle(QString::fromUtf8(texts.title));
    name_ = new QLineEdit(QString::fromStdString(name), this);
    name_->setObjectName(QStringLiteral("logName"));
    name_->setMinimumWidth(320);
    auto* browse = new QPushButton(QStringLiteral("参照(&R)..."), this);
    browse->setObjectName(QStringLiteral("logBrowse"));
    connect(browse, &QPushButton::clicked, this, [this, texts] {
        // A file chosen to append to is not a file to overwrite: no question about it.
        QString path = QFileDialog::getSaveFileName(this, QString::fromUtf8(texts.chooserTitle),
                                                    name_->text(), QtFilter(texts.chooserFilter),
                                                    nullptr, QFileDialog::DontConfirmOverwrite);
        if (path.isEmpty()) return;
        if (QFileInfo(path).suffix().isEmpty())
            path += QLatin1Char('.') + QString::fromUtf8(texts.extension);
        name_->setText(path);
    });
    auto* created = new QRadioButton(QStringLiteral("新規"), this);
    created->setObjectName(QStringLiteral("logNew"));
    append_ = new QRadioButton(QStringLiteral("追加"), this);
    append_->setObjectName(QStringLiteral("logAppend"));
    (append ? append_ : created)->setChecked(true);

    auto* nameRow = new QHBoxLayout;
    nameRow->addWidget(new QLabel(QStringLiteral("ﾌｧｲﾙ名"), this));
    nameRow->addWidget(name_, 1);
    nameRow->addWidget(browse);
    auto* mode = new QGroupBox(QStringLiteral("保存形式"), this);
    auto* modeRow = new QHBoxLayout(mode);
    modeRow->addWidget(created);
    modeRow->addWidget(append_);
    modeRow->addStretch();
    auto* buttons = SheetButtons(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* top = new QVBoxLayout(this);
    top->addLayout(nameRow);
    top->addWidget(mode);
    top->addWidget(buttons);
}

LogChoice LogFileDialog::Choice() const {
    return {name_->text().trimmed().toStdString(), append_->isChecked()};
}

std::optional<LogChoice> LogFileDialog::Run(const CaptureDialogTexts& texts,
                                            const std::string& name, bool append, QWidget* parent) {
    LogFileDialog dialog(texts, name, append, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    LogChoice choice = dialog.Choice();
    if (choice.name.empty()) return std::nullopt;
    return choice;
}

}  // namespace marlo::ui

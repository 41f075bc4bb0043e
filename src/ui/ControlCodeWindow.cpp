#include "ui/ControlCodeWindow.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/ControlCodes.h"

namespace marlo::ui {

ControlCodeWindow::ControlCodeWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("制御ｺｰﾄﾞ入力"));
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    constexpr int kRows = 8;  // column by column: NUL to BEL, BS to SI, ...
    for (int code = 0; code < kControlCodeCount; ++code) {
        auto* button = new QPushButton(QString::fromLatin1(kControlCodeLabels[code]), this);
        button->setAutoDefault(false);
        button->setFocusPolicy(Qt::NoFocus);
        connect(button, &QPushButton::clicked, this, [this, code] {
            if (onCode) onCode(static_cast<uint8_t>(code));
        });
        grid->addWidget(button, code % kRows, code / kRows);
    }
    layout->addLayout(grid);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    auto* help = buttons->addButton(QStringLiteral("ﾍﾙﾌﾟ(&H)"), QDialogButtonBox::HelpRole);
    help->setObjectName(QStringLiteral("controlCodeHelp"));
    // There are no help pages for this window yet.
    help->setEnabled(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

}  // namespace marlo::ui

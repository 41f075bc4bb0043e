#include "ui/TransferStatusWindow.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>
#include <algorithm>

namespace marlo::ui {

namespace {

struct FieldRow {
    TransField field;
    const char* label;
    const char* initial;
    const char* name;
};

// Every field with its initial text; the protocol field is filled by the transfer thread.
const FieldRow kRows[] = {
    {TransField::File, "転送ﾌｧｲﾙ", "", "fileValue"},
    {TransField::Size, "ﾌｧｲﾙｻｲｽﾞ", "0 バイト", "sizeValue"},
    {TransField::Protocol, "転送ﾌﾟﾛﾄｺﾙ", "", "protocolValue"},
    {TransField::Retries, "ﾘﾄﾗｲ回数", "0", "retriesValue"},
    {TransField::Elapsed, "経過時間", "00:00:00", "elapsedValue"},
    {TransField::Bytes, "転送ﾃﾞｰﾀ", "0バイト", "bytesValue"},
    {TransField::Speed, "平均転送速度", "0 Bps", "speedValue"},
    {TransField::Remaining, "終了予定時間", "", "remainingValue"},
};

}  // namespace

TransferStatusWindow::TransferStatusWindow(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("transferStatus"));
    setModal(false);
    setWindowTitle(QStringLiteral("転送中"));
    auto* grid = new QGridLayout;
    int row = 0;
    for (const auto& r : kRows) {
        grid->addWidget(new QLabel(QString::fromUtf8(r.label), this), row, 0);
        auto* value = new QLabel(this);
        value->setObjectName(QString::fromLatin1(r.name));
        value->setFrameShape(QFrame::Panel);
        value->setFrameShadow(QFrame::Sunken);
        value->setMinimumWidth(220);
        value->setTextInteractionFlags(Qt::NoTextInteraction);
        grid->addWidget(value, row, 1);
        values_[r.field] = value;
        ++row;
    }
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("progressBar"));
    bar_->setRange(0, 100);
    bar_->setTextVisible(false);
    percent_ = new QLabel(this);
    percent_->setObjectName(QStringLiteral("percentValue"));
    percent_->setMinimumWidth(48);
    percent_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    auto* barRow = new QHBoxLayout;
    barRow->addWidget(bar_, 1);
    barRow->addWidget(percent_);
    message_ = new QLabel(this);
    message_->setObjectName(QStringLiteral("messageValue"));
    message_->setWordWrap(true);
    cancel_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ(F3)"), this);
    cancel_->setObjectName(QStringLiteral("cancelButton"));
    cancel_->setAutoDefault(false);
    connect(cancel_, &QPushButton::clicked, this, [this] {
        if (onCancel) onCancel();
    });
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addStretch(1);
    auto* top = new QVBoxLayout(this);
    top->addLayout(grid);
    top->addLayout(barRow);
    top->addWidget(message_);
    top->addLayout(buttons);
    Reset();
}

TransferStatusWindow::~TransferStatusWindow() {
    if (filtering_) qApp->removeEventFilter(this);
}

void TransferStatusWindow::Reset() {
    for (const auto& r : kRows) values_[r.field]->setText(QString::fromUtf8(r.initial));
    bar_->setValue(0);
    percent_->setText(QStringLiteral("0％"));
    message_->clear();
    message_->hide();
    cancel_->setEnabled(true);
    setWindowTitle(QStringLiteral("転送中"));
}

void TransferStatusWindow::Open() {
    Reset();
    adjustSize();
    if (QWidget* p = parentWidget()) {
        QRect frame = p->frameGeometry();
        move(frame.center() - rect().center());
    }
    if (!filtering_) {
        qApp->installEventFilter(this);
        filtering_ = true;
    }
    show();
    raise();
}

void TransferStatusWindow::Close() {
    if (filtering_) {
        qApp->removeEventFilter(this);
        filtering_ = false;
    }
    hide();
}

void TransferStatusWindow::SetField(TransField field, const std::string& utf8) {
    if (field == TransField::Message) {
        message_->setText(QString::fromStdString(utf8));
        message_->setVisible(!utf8.empty());
        return;
    }
    auto it = values_.find(field);
    if (it != values_.end()) it->second->setText(QString::fromStdString(utf8));
}

void TransferStatusWindow::SetStatusTitle(const std::string& utf8) {
    setWindowTitle(QString::fromStdString(utf8));
}

void TransferStatusWindow::SetPercent(int percent) {
    percent = std::clamp(percent, 0, 100);
    bar_->setValue(percent);
    percent_->setText(QString::number(percent) + QStringLiteral("％"));
}

void TransferStatusWindow::SetCancelEnabled(bool enabled) {
    cancel_->setEnabled(enabled);
}

QString TransferStatusWindow::FieldText(TransField field) const {
    if (field == TransField::Message) return message_->text();
    auto it = values_.find(field);
    return it == values_.end() ? QString() : it->second->text();
}

int TransferStatusWindow::Percent() const {
    return bar_->value();
}

void TransferStatusWindow::closeEvent(QCloseEvent* e) {
    // The controller decides; it hides the window when the transfer is really given up.
    e->ignore();
    if (onCloseRequest) onCloseRequest();
}

void TransferStatusWindow::reject() {
    // Escape is the cancel button, as in a dialog; it never just closes the window.
    if (cancel_->isEnabled() && onCancel) onCancel();
}

bool TransferStatusWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress && isVisible()) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_F3 && !key->isAutoRepeat()) {
            // Only the first receiver of the key acts on it; the rest see it swallowed.
            if (cancel_->isEnabled() && onCancel) onCancel();
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace marlo::ui

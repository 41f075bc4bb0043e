#include "ui/ProgressWindow.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace marlo::ui {

ProgressWindow::ProgressWindow(QWidget* parent, std::atomic<bool>& cancelled) : QDialog(parent) {
    setWindowTitle(QStringLiteral("マーロ"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    text_ = new QLabel(this);
    status_ = new QLabel(this);
    seconds_ = new QLabel(this);
    auto* stop = new QPushButton(QStringLiteral("中断"), this);
    stop->setObjectName(QStringLiteral("progressStop"));
    layout->addWidget(text_);
    layout->addWidget(status_);
    layout->addWidget(seconds_);
    layout->addWidget(stop, 0, Qt::AlignHCenter);
    connect(stop, &QPushButton::clicked, this, [&cancelled] { cancelled = true; });
    setMinimumWidth(320);
}

void ProgressWindow::SetText(const QString& t) {
    text_->setText(t);
}
void ProgressWindow::SetStatus(const QString& s) {
    status_->setText(s);
}
void ProgressWindow::SetSeconds(const QString& s) {
    seconds_->setText(s);
}

}  // namespace marlo::ui

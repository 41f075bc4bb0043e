#include "ui/SearchWindow.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "terminal/Search.h"
#include "text/Encoding.h"

namespace marlo::ui {

SearchWindow::SearchWindow(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("検索"));
    setModal(false);
    setAttribute(Qt::WA_DeleteOnClose);
    auto* layout = new QVBoxLayout(this);
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("検索する文字列(&N):")));
    text_ = new QLineEdit;
    row->addWidget(text_, 1);
    layout->addLayout(row);
    matchCase_ = new QCheckBox(QStringLiteral("大文字と小文字を区別する(&C)"));
    layout->addWidget(matchCase_);
    auto* buttons = new QHBoxLayout;
    auto* up = new QPushButton(QStringLiteral("上方検索(&U)"));
    auto* down = new QPushButton(QStringLiteral("下方検索(&D)"));
    auto* close = new QPushButton(QStringLiteral("閉じる"));
    down->setDefault(true);
    buttons->addWidget(up);
    buttons->addWidget(down);
    buttons->addStretch();
    buttons->addWidget(close);
    layout->addLayout(buttons);
    connect(up, &QPushButton::clicked, this, [this] { Request(false); });
    connect(down, &QPushButton::clicked, this, [this] { Request(true); });
    connect(close, &QPushButton::clicked, this, &QDialog::reject);
}

void SearchWindow::SetText(const QString& text) {
    text_->setText(text);
    text_->selectAll();
}

void SearchWindow::Request(bool down) {
    if (text_->text().isEmpty() || !onRequest) return;
    int flags = (matchCase_->isChecked() ? kSearchMatchCase : 0) | (down ? kSearchDown : 0);
    onRequest(Utf8ToSjis(text_->text().toStdString()), flags);
}

void SearchWindow::done(int r) {
    if (onRequest) onRequest({}, kSearchRemoveHighlight);
    QDialog::done(r);
}

}  // namespace marlo::ui

#include "ui/AutoLogonStopWindow.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QVBoxLayout>

namespace marlo::ui {

AutoLogonStopWindow::AutoLogonStopWindow(QWidget* parent, std::atomic<bool>& stop)
    : QDialog(parent, Qt::Tool), stop_(stop) {
    setWindowTitle(QStringLiteral("マーロ"));
    setModal(false);
    auto* layout = new QVBoxLayout(this);
    auto* button = new QPushButton(QStringLiteral("ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ停止(F3)"), this);
    button->setObjectName(QStringLiteral("autoLogonStop"));
    layout->addWidget(button);
    connect(button, &QPushButton::clicked, this, [this] { stop_ = true; });
    if (parent) move(parent->mapToGlobal(QPoint(0, 0)));
    qApp->installEventFilter(this);
}

AutoLogonStopWindow::~AutoLogonStopWindow() {
    qApp->removeEventFilter(this);
}

void AutoLogonStopWindow::reject() {
    stop_ = true;
}

bool AutoLogonStopWindow::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(e);
        if (key->key() == Qt::Key_F3) {
            if (!key->isAutoRepeat()) stop_ = true;
            return true;
        }
    }
    return QDialog::eventFilter(watched, e);
}

}  // namespace marlo::ui

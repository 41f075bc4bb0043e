#include "ui/FunctionKeyBar.h"

#include <QAction>

#include "settings/Settings.h"
#include "terminal/UserKeyTable.h"
#include "text/Encoding.h"

namespace marlo::ui {

FunctionKeyBar::FunctionKeyBar(const Settings& settings, QWidget* parent)
    : QToolBar(QStringLiteral("ﾌｧﾝｸｼｮﾝﾊﾞｰ"), parent), settings_(settings) {
    setObjectName(QStringLiteral("FunctionKeyBar"));
    setFocusPolicy(Qt::NoFocus);
    for (int i = 0; i < kUserKeyCount; ++i) {
        QAction* a = addAction(QString());
        connect(a, &QAction::triggered, this, [this, i] {
            if (onUserKey) onUserKey(i);
        });
        keys_.push_back(a);
    }
    Refresh();
}

void FunctionKeyBar::Refresh() {
    for (int i = 0; i < kUserKeyCount; ++i)
        keys_[static_cast<size_t>(i)]->setText(
            QString::fromStdString(SjisToUtf8(FunctionBarLabel(settings_, i))));
}

QString FunctionKeyBar::Label(int index) const {
    if (index < 0 || index >= static_cast<int>(keys_.size())) return {};
    return keys_[static_cast<size_t>(index)]->text();
}

}  // namespace marlo::ui

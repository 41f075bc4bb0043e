#include "ui/PresetListDialog.h"

#include <QDialogButtonBox>
#include <QEvent>
#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/SheetControls.h"
#include "ui/SjisField.h"

namespace marlo::ui {

PresetListDialog::PresetListDialog(const std::string& title, const std::string& valueHeader,
                                   const std::vector<NamedPreset>& presets, QWidget* parent)
    : QDialog(parent), presets_(presets) {
    setWindowTitle(FromUtf8(title));
    auto* layout = new QVBoxLayout(this);
    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("presetList"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({FromUtf8(kPresetNameColumn), FromUtf8(valueHeader)});
    list_->header()->setStretchLastSection(false);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->viewport()->installEventFilter(this);
    for (const auto& p : presets_)
        new QTreeWidgetItem(list_, {FromSjis(p.name), FromSjis(p.value)});
    if (!presets_.empty()) list_->setCurrentItem(list_->topLevelItem(0));
    layout->addWidget(list_);
    auto* buttons = SheetButtons(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);
    resize(560, 360);
}

void PresetListDialog::FitColumns() {
    // Each column takes half of what is left after a vertical scroll bar and a small margin.
    const int scroll = style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    const int half = std::max(40, (list_->viewport()->width() - scroll - 5) / 2);
    list_->setColumnWidth(0, half);
    list_->setColumnWidth(1, half);
}

bool PresetListDialog::eventFilter(QObject* watched, QEvent* e) {
    // The columns share the list's visible width, so they follow its viewport.
    if (watched == list_->viewport() && e->type() == QEvent::Resize) FitColumns();
    return QDialog::eventFilter(watched, e);
}

std::optional<std::string> PresetListDialog::Chosen() const {
    const int row = list_->indexOfTopLevelItem(list_->currentItem());
    if (result() != Accepted || row < 0 || static_cast<size_t>(row) >= presets_.size())
        return std::nullopt;
    return presets_[static_cast<size_t>(row)].value;
}

std::optional<std::string> PresetListDialog::Choose(const std::string& title,
                                                    const std::string& valueHeader,
                                                    const std::vector<NamedPreset>& presets,
                                                    QWidget* parent) {
    PresetListDialog dlg(title, valueHeader, presets, parent);
    dlg.exec();
    return dlg.Chosen();
}

}  // namespace marlo::ui

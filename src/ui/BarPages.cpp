#include "ui/BarPages.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "ui/ToolBars.h"

namespace marlo::ui {

namespace {

QPushButton* Button(const QString& text, const QString& name, QWidget* parent) {
    auto* b = new QPushButton(text, parent);
    b->setObjectName(name);
    b->setAutoDefault(false);
    return b;
}

QListWidget* List(const QString& name, QWidget* parent) {
    auto* l = new QListWidget(parent);
    l->setObjectName(name);
    l->setIconSize(QSize(16, 16));
    return l;
}

QLabel* Caption(const QString& text, QWidget* buddy, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

// The selected row of a list; -1 when none is selected.
int SelectedRow(const QListWidget* list) {
    return list->currentItem() && list->currentItem()->isSelected() ? list->currentRow() : -1;
}

// "← 追加(&A)" over "→ 削除(&D)", between the two lists.
QVBoxLayout* AddDeleteColumn(QPushButton* add, QPushButton* remove) {
    auto* column = new QVBoxLayout;
    column->addStretch();
    column->addWidget(add);
    column->addWidget(remove);
    column->addStretch();
    return column;
}

// Selects `row` when the list has it.
void SelectRow(QListWidget* list, int row) {
    if (row < 0 || row >= list->count()) return;
    list->setCurrentRow(row);
    list->currentItem()->setSelected(true);
}

}  // namespace

ToolBarPage::ToolBarPage(const ToolLists& lists, QWidget* parent)
    : QWidget(parent), model_(lists) {
    auto* choice = new QGroupBox(QStringLiteral("ﾂｰﾙﾊﾞｰの選択"), this);
    auto* choiceLayout = new QHBoxLayout(choice);
    auto* bars = new QButtonGroup(this);
    for (int i = 0; i < kToolBarCount; ++i) {
        auto* r = new QRadioButton(QStringLiteral("ﾂｰﾙﾊﾞｰ&%1").arg(i + 1), choice);
        r->setObjectName(QStringLiteral("Bar%1").arg(i + 1));
        r->setChecked(i == 0);
        bars->addButton(r, i);
        choiceLayout->addWidget(r);
    }
    choiceLayout->addStretch();

    shown_ = List(QStringLiteral("ShownButtons"), this);
    offered_ = List(QStringLiteral("OfferedButtons"), this);
    category_ = new QComboBox(this);
    category_->setObjectName(QStringLiteral("Category"));
    for (const ToolCategory& c : ToolCategories()) category_->addItem(QString::fromUtf8(c.name));
    up_ = Button(QStringLiteral("↑"), QStringLiteral("Up"), this);
    down_ = Button(QStringLiteral("↓"), QStringLiteral("Down"), this);
    auto* add = Button(QStringLiteral("← 追加(&A)"), QStringLiteral("Add"), this);
    delete_ = Button(QStringLiteral("→ 削除(&D)"), QStringLiteral("Delete"), this);
    auto* separator = Button(QStringLiteral("ｾﾊﾟﾚｰﾀ追加(&P)"), QStringLiteral("Separator"), this);
    auto* standard = Button(QStringLiteral("標準配置(&H)"), QStringLiteral("Standard"), this);
    auto* clear = Button(QStringLiteral("すべてを削除(&C)"), QStringLiteral("DeleteAll"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(Caption(QStringLiteral("表示ボタン(&D)"), shown_, this), 0, 0);
    grid->addWidget(shown_, 1, 0, 3, 1);
    auto* moves = new QHBoxLayout;
    moves->addWidget(up_);
    moves->addWidget(down_);
    grid->addLayout(moves, 4, 0);
    grid->addLayout(AddDeleteColumn(add, delete_), 1, 1, 3, 1);
    grid->addWidget(Caption(QStringLiteral("選択ボタン(&B)"), offered_, this), 0, 2);
    auto* categoryRow = new QHBoxLayout;
    categoryRow->addWidget(Caption(QStringLiteral("分類(&K)"), category_, this));
    categoryRow->addWidget(category_, 1);
    grid->addLayout(categoryRow, 1, 2);
    grid->addWidget(offered_, 2, 2, 2, 1);
    auto* actions = new QHBoxLayout;
    actions->addWidget(separator);
    actions->addWidget(standard);
    actions->addWidget(clear);
    actions->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(choice);
    layout->addLayout(grid, 1);
    layout->addLayout(actions);

    connect(bars, &QButtonGroup::idClicked, this, [this](int bar) {
        model_.bar = bar;
        Show(-1);
        ShowOffered();
    });
    connect(category_, &QComboBox::currentIndexChanged, this, [this] { ShowOffered(); });
    connect(shown_, &QListWidget::itemSelectionChanged, this, [this] { UpdateButtons(Row()); });
    connect(add, &QPushButton::clicked, this, [this] {
        int row = Row();
        const QListWidgetItem* chosen = offered_->currentItem();
        const auto message = model_.Add(row, chosen ? chosen->data(Qt::UserRole).toInt() : -1);
        Step(message, row);
    });
    connect(separator, &QPushButton::clicked, this, [this] {
        int row = Row();
        const auto message = model_.AddSeparator(row);
        Step(message, row);
    });
    connect(delete_, &QPushButton::clicked, this, [this] {
        int row = Row();
        const auto message = model_.Delete(row);
        Step(message, row);
    });
    connect(up_, &QPushButton::clicked, this, [this] {
        int row = Row();
        model_.MoveUp(row);
        Step(std::nullopt, row);
    });
    connect(down_, &QPushButton::clicked, this, [this] {
        int row = Row();
        model_.MoveDown(row);
        Step(std::nullopt, row);
    });
    connect(standard, &QPushButton::clicked, this, [this] {
        model_.StandardLayout();
        Step(std::nullopt, -1);
    });
    connect(clear, &QPushButton::clicked, this, [this] {
        model_.DeleteAll();
        Step(std::nullopt, -1);
    });
    Show(-1);
    ShowOffered();
}

int ToolBarPage::Row() const {
    return SelectedRow(shown_);
}

void ToolBarPage::Step(const std::optional<std::string>& message, int row) {
    if (message && showMessage) showMessage(*message, MsgIcon::Exclamation);
    Show(row);
    ShowOffered();
}

void ToolBarPage::Show(int row) {
    {
        const QSignalBlocker block(shown_);
        shown_->clear();
        const std::vector<std::string> texts = model_.DisplayTexts();
        const ToolList& list = model_.Current();
        for (size_t i = 0; i < texts.size(); ++i) {
            auto* item = new QListWidgetItem(QString::fromUtf8(texts[i]), shown_);
            if (i < list.size() && list[i] != kToolSeparator) item->setIcon(ToolButtonIcon(list[i]));
        }
        SelectRow(shown_, row);
    }
    UpdateButtons(row);
}

void ToolBarPage::UpdateButtons(int row) {
    up_->setEnabled(model_.CanMoveUp(row));
    down_->setEnabled(model_.CanMoveDown(row));
    delete_->setEnabled(row != model_.EndMark());
}

void ToolBarPage::ShowOffered() {
    const QSignalBlocker block(offered_);
    offered_->clear();
    for (int b : model_.Offered(category_->currentIndex())) {
        auto* item = new QListWidgetItem(ToolButtonIcon(b), QString::fromUtf8(ToolButtonAt(b).label),
                                         offered_);
        item->setData(Qt::UserRole, b);
    }
}

StatusBarPage::StatusBarPage(const std::vector<int>& items, QWidget* parent)
    : QWidget(parent), model_(items) {
    shown_ = List(QStringLiteral("ShownItems"), this);
    all_ = List(QStringLiteral("AllItems"), this);
    for (int i = 0; i < kStatusItemCount; ++i) {
        auto* item = new QListWidgetItem(QString::fromUtf8(StatusItemLabel(i)), all_);
        item->setData(Qt::UserRole, i);
    }
    auto* up = Button(QStringLiteral("↑"), QStringLiteral("Up"), this);
    auto* down = Button(QStringLiteral("↓"), QStringLiteral("Down"), this);
    auto* add = Button(QStringLiteral("← 追加(&A)"), QStringLiteral("Add"), this);
    auto* remove = Button(QStringLiteral("→ 削除(&D)"), QStringLiteral("Delete"), this);

    auto* grid = new QGridLayout(this);
    grid->addWidget(Caption(QStringLiteral("表示ｽﾃｰﾀｽ(&D)"), shown_, this), 0, 0);
    grid->addWidget(shown_, 1, 0);
    auto* moves = new QHBoxLayout;
    moves->addWidget(up);
    moves->addWidget(down);
    grid->addLayout(moves, 2, 0);
    grid->addLayout(AddDeleteColumn(add, remove), 1, 1);
    grid->addWidget(Caption(QStringLiteral("選択ｽﾃｰﾀｽ(&B)"), all_, this), 0, 2);
    grid->addWidget(all_, 1, 2);

    auto row = [this] { return SelectedRow(shown_); };
    connect(add, &QPushButton::clicked, this, [this, row] {
        int r = row();
        const QListWidgetItem* chosen = all_->currentItem();
        const auto message = model_.Add(r, chosen ? chosen->data(Qt::UserRole).toInt() : -1);
        Step(message, r);
    });
    connect(remove, &QPushButton::clicked, this, [this, row] {
        int r = row();
        const auto message = model_.Delete(r);
        Step(message, r);
    });
    connect(up, &QPushButton::clicked, this, [this, row] {
        int r = row();
        model_.MoveUp(r);
        Step(std::nullopt, r);
    });
    connect(down, &QPushButton::clicked, this, [this, row] {
        int r = row();
        model_.MoveDown(r);
        Step(std::nullopt, r);
    });
    Show(-1);
}

void StatusBarPage::Step(const std::optional<std::string>& message, int row) {
    if (message && showMessage) showMessage(*message, MsgIcon::Exclamation);
    Show(row);
}

void StatusBarPage::Show(int row) {
    shown_->clear();
    for (int item : model_.Items()) shown_->addItem(QString::fromUtf8(StatusItemLabel(item)));
    SelectRow(shown_, row);
}

}  // namespace marlo::ui

#include "ui/ExternalProgramDialogs.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "settings/Settings.h"
#include "ui/SheetControls.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

QDialogButtonBox* OkCancel(QDialog* dialog) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("ｷｬﾝｾﾙ"));
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return buttons;
}

// The browse button of both dialogs: a chosen program replaces the field's text.
void BrowseInto(IPlatform& platform, QLineEdit* field) {
    auto path = platform.ChooseFile(false, kProgramChooserTitle, kProgramChooserFilter, "");
    if (path) field->setText(QString::fromStdString(CommandWord(*path)));
}

}  // namespace

CommandLineDialog::CommandLineDialog(IPlatform& platform, QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("ｺﾏﾝﾄﾞ実行"));
    command_ = new QLineEdit(this);
    command_->setObjectName(QStringLiteral("commandLine"));
    command_->setMinimumWidth(360);
    auto* browse = Button(QStringLiteral("参照(&R)..."), "commandBrowse", this);
    connect(browse, &QPushButton::clicked, this,
            [this, &platform] { BrowseInto(platform, command_); });
    auto* row = new QHBoxLayout;
    row->addWidget(new QLabel(QStringLiteral("ｺﾏﾝﾄﾞﾗｲﾝ"), this));
    row->addWidget(command_, 1);
    row->addWidget(browse);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(OkCancel(this));
}

std::string CommandLineDialog::Command() const {
    return ToSjis(command_->text());
}

std::optional<std::string> CommandLineDialog::Run(IPlatform& platform, QWidget* parent) {
    CommandLineDialog dialog(platform, parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return dialog.Command();
}

ApplicationDialog::ApplicationDialog(const Settings& settings, IPlatform& platform, QWidget* parent)
    : QDialog(parent), model_(settings) {
    setWindowTitle(QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("appList"));
    auto* up = Button(QStringLiteral("↑"), "appUp", this);
    auto* down = Button(QStringLiteral("↓"), "appDown", this);
    auto* remove = Button(QStringLiteral("削除(&D)"), "appDelete", this);
    title_ = new QLineEdit(this);
    title_->setObjectName(QStringLiteral("appTitle"));
    command_ = new QLineEdit(this);
    command_->setObjectName(QStringLiteral("appCommand"));
    command_->setMinimumWidth(320);
    auto* browse = Button(QStringLiteral("参照(&R)..."), "appBrowse", this);
    auto* update = Button(QStringLiteral("更新(&A)"), "appUpdate", this);

    auto* side = new QVBoxLayout;
    side->addWidget(up);
    side->addWidget(down);
    side->addWidget(remove);
    side->addStretch();
    auto* top = new QHBoxLayout;
    top->addWidget(list_, 1);
    top->addLayout(side);
    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("ﾀｲﾄﾙ"), this), 0, 0);
    fields->addWidget(title_, 0, 1);
    fields->addWidget(update, 0, 2);
    fields->addWidget(new QLabel(QStringLiteral("ｺﾏﾝﾄﾞ"), this), 1, 0);
    fields->addWidget(command_, 1, 1);
    fields->addWidget(browse, 1, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(fields);
    layout->addWidget(OkCancel(this));

    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row < 0 || row == model_.Selected()) return;
        model_.Select(row);
        ShowSelected();
    });
    connect(up, &QPushButton::clicked, this, [this] {
        if (model_.MoveUp()) ShowList();
    });
    connect(down, &QPushButton::clicked, this, [this] {
        if (model_.MoveDown()) ShowList();
    });
    connect(remove, &QPushButton::clicked, this, [this] {
        model_.Delete();
        ShowList();
    });
    connect(update, &QPushButton::clicked, this, [this] {
        model_.Update(ToSjis(title_->text()), ToSjis(command_->text()));
        ShowList();
    });
    connect(browse, &QPushButton::clicked, this,
            [this, &platform] { BrowseInto(platform, command_); });
    ShowList();
}

void ApplicationDialog::ShowList() {
    const QSignalBlocker quiet(list_);
    list_->clear();
    for (int i = 0; i < kAppCount; ++i) list_->addItem(FromSjis(model_.RowText(i)));
    list_->setCurrentRow(model_.Selected());
    ShowSelected();
}

void ApplicationDialog::ShowSelected() {
    const auto& e = model_.Entries()[static_cast<size_t>(model_.Selected())];
    title_->setText(FromSjis(e.title));
    command_->setText(FromSjis(e.command));
}

bool ApplicationDialog::Run(Settings& settings, IPlatform& platform, QWidget* parent) {
    ApplicationDialog dialog(settings, platform, parent);
    if (dialog.exec() != QDialog::Accepted) return false;
    dialog.Model().Apply(settings);
    return true;
}

}  // namespace marlo::ui

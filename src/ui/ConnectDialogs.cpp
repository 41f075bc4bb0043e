#include "ui/ConnectDialogs.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "line/TelnetConnect.h"
#include "ui/SjisField.h"

namespace marlo::ui {

TelnetConnectDialog::TelnetConnectDialog(QWidget* parent, const std::array<std::string, 5>& hosts,
                                         std::function<std::optional<std::string>()> browse)
    : QDialog(parent) {
    setWindowTitle(QStringLiteral("Telnet接続"));
    auto* form = new QFormLayout;
    host_ = new QComboBox(this);
    host_->setEditable(true);
    host_->setObjectName(QStringLiteral("telnetHost"));
    for (const auto& h : telnet_hosts::Items(hosts)) host_->addItem(FromSjis(h));
    host_->setEditText(FromSjis(telnet_hosts::Initial(hosts)));
    host_->setMinimumWidth(280);
    portEdit_ = new QLineEdit(QStringLiteral("23"), this);
    portEdit_->setObjectName(QStringLiteral("telnetPort"));
    auto* browseButton = new QPushButton(QStringLiteral("参照(&R)..."), this);
    auto* hostRow = new QHBoxLayout;
    hostRow->addWidget(host_, 1);
    hostRow->addWidget(browseButton);
    form->addRow(QStringLiteral("ﾎｽﾄ名"), hostRow);
    form->addRow(QStringLiteral("ﾎﾟｰﾄ"), portEdit_);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(browseButton, &QPushButton::clicked, this, [this, browse] {
        if (!browse) return;
        if (auto h = browse()) host_->setEditText(FromSjis(*h));
    });
    browseButton->setEnabled(static_cast<bool>(browse));
    browseButton->setAutoDefault(false);
    // Host, then port, then the buttons; the browse button comes last.
    setTabOrder(host_, portEdit_);
    setTabOrder(portEdit_, buttons);
    setTabOrder(buttons, browseButton);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

std::string TelnetConnectDialog::Host() const {
    return ToSjis(host_->currentText().trimmed());
}

void TelnetConnectDialog::accept() {
    auto port = telnet_hosts::ParsePort(portEdit_->text().trimmed().toStdString());
    if (Host().empty() || !port) {
        QMessageBox::warning(this, QStringLiteral("マーロ"),
                             Host().empty() ? QStringLiteral("ﾎｽﾄ名を入力してください.")
                                            : QStringLiteral("ﾎﾟｰﾄ番号が正しくありません."));
        return;
    }
    port_ = *port;
    QDialog::accept();
}

std::optional<std::pair<std::string, int>> TelnetConnectDialog::Run(
    QWidget* parent, std::array<std::string, 5>& hosts,
    std::function<std::optional<std::string>()> browse) {
    TelnetConnectDialog dialog(parent, hosts, std::move(browse));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    telnet_hosts::Remember(hosts, dialog.Host());
    return std::make_pair(dialog.Host(), dialog.Port());
}

PhoneConnectDialog::PhoneConnectDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("電話接続"));
    auto* layout = new QVBoxLayout(this);
    number_ = new QLineEdit(this);
    number_->setObjectName(QStringLiteral("phoneNumber"));
    number_->setMaxLength(static_cast<int>(PhoneDialogModel::kMaxNumber));
    connect(number_, &QLineEdit::textEdited, this,
            [this](const QString& t) { model.number = ToSjis(t); });
    layout->addWidget(number_);
    auto* pad = new QGridLayout;
    const char* keys[] = {"1", "2", "3", "4", "5", "6", "7", "8", "9", "*", "0", "#", "CL", "BS"};
    for (int i = 0; i < 14; ++i) {
        auto* b = new QPushButton(QString::fromLatin1(keys[i]), this);
        char k = keys[i][1] == 'L' ? 'C' : keys[i][1] == 'S' ? 'B' : keys[i][0];
        connect(b, &QPushButton::clicked, this, [this, k] {
            model.Key(k);
            Sync();
        });
        pad->addWidget(b, i / 3, i % 3);
    }
    layout->addLayout(pad);
    auto* tone = new QRadioButton(QStringLiteral("ﾌﾟｯｼｭ"), this);
    auto* pulse = new QRadioButton(QStringLiteral("ﾀﾞｲﾔﾙ"), this);
    tone->setChecked(true);
    connect(tone, &QRadioButton::toggled, this, [this](bool on) { model.tone = on ? 1 : 0; });
    auto* lineType = new QHBoxLayout;
    lineType->addWidget(tone);
    lineType->addWidget(pulse);
    layout->addLayout(lineType);
    auto* form = new QFormLayout;
    auto* internal = new QCheckBox(QStringLiteral("内線"), this);
    auto* external = new QLineEdit(this);
    external->setEnabled(false);
    connect(internal, &QCheckBox::toggled, this, [this, external](bool on) {
        model.internal = on;
        external->setEnabled(on);
    });
    connect(external, &QLineEdit::textEdited, this,
            [this](const QString& t) { model.external = ToSjis(t); });
    form->addRow(internal, external);
    auto* infinite = new QCheckBox(QStringLiteral("接続するまで電話をかけ続ける"), this);
    connect(infinite, &QCheckBox::toggled, this, [this](bool on) { model.infinite = on; });
    form->addRow(infinite);
    auto* redial = new QLineEdit(QStringLiteral("1"), this);
    connect(redial, &QLineEdit::textEdited, this,
            [this](const QString& t) { model.redialCount = ToSjis(t); });
    form->addRow(QStringLiteral("ﾘﾀﾞｲｱﾙ回数"), redial);
    auto* init = new QLineEdit(FromSjis(model.init), this);
    connect(init, &QLineEdit::textEdited, this, [this](const QString& t) { model.init = ToSjis(t); });
    form->addRow(QStringLiteral("ﾓﾃﾞﾑ初期化ｺﾏﾝﾄﾞ"), init);
    layout->addLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    buttons->addButton(QStringLiteral("接続"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("ｷｬﾝｾﾙ"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
}

void PhoneConnectDialog::Sync() {
    number_->setText(FromSjis(model.number));
}

std::optional<std::pair<DialPlan, std::string>> PhoneConnectDialog::Run(QWidget* parent) {
    PhoneConnectDialog dialog(parent);
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    return std::make_pair(dialog.model.Plan(), dialog.model.init);
}

}  // namespace marlo::ui

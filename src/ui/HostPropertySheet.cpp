#include "ui/HostPropertySheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "app/CommSettingsModel.h"
#include "hosts/HostSheet.h"
#include "hosts/LogonPresets.h"
#include "hosts/Password.h"
#include "line/PortNames.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "text/Encoding.h"
#include "ui/HostIcons.h"
#include "ui/PresetListDialog.h"
#include "ui/SheetControls.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

constexpr const char* kMacroChooserTitle = "マクロファイルの選択";
constexpr const char* kMacroFilter = "ﾏｸﾛﾌｧｲﾙ (*.mac)|*.mac|すべてのﾌｧｲﾙ (*.*)|*.*||";

// The terminal switches of the 端末 page, by value name, with their labels.
struct TermSwitch {
    const char* name;
    const char* label;
};
constexpr TermSwitch kTermSwitches[] = {
    {"RcvCRLF", "CR受信時にLFを付ける"},
    {"RcvLFCR", "LF受信時にCRを付ける"},
    {"SndCRLF", "Enter入力時にCR+LFを送信"},
    {"BS2Byte", "BSを2ﾊﾞｲﾄ文字対応"},
    {"BSDel", "BS入力時に前文字を削除"},
    {"AutoMargin", "自動折り返し"},
    {"LocalEcho", "ﾛｰｶﾙｴｺｰ"},
    {"SI/SO", "SI/SO制御"},
    {"AutoBplus", "BPlus自動起動"},
    {"AutoZMODEM", "ZMODEM自動起動"},
    {"FKLocal", "ﾌｧﾝｸｼｮﾝｷｰを処理"},
};

// The numeric field of an entry by its stored value name.
int32_t* Number(HostEntry& e, const std::string& name) {
    for (const HostField& f : HostFields(e))
        if (f.number && name == f.name) return f.number;
    return nullptr;
}

QComboBox* ChoiceCombo(LineParam p, const QString& objectName, QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setObjectName(objectName);
    for (const ParamChoice& choice : ParamChoices(p))
        c->addItem(FromUtf8(choice.text), choice.value);
    return c;
}

// Shows `value`; a value the list does not offer is added as its number so that it is kept.
void SetComboValue(QComboBox* c, int value) {
    int i = c->findData(value);
    if (i < 0) {
        c->addItem(QString::number(value), value);
        i = c->count() - 1;
    }
    c->setCurrentIndex(i);
}

QSpinBox* Spin(int lo, int hi, const QString& objectName, QWidget* parent) {
    auto* s = new QSpinBox(parent);
    s->setObjectName(objectName);
    s->setRange(lo, hi);
    return s;
}

QLineEdit* Edit(const QString& objectName, QWidget* parent) {
    auto* e = new QLineEdit(parent);
    e->setObjectName(objectName);
    return e;
}

}  // namespace

HostPropertySheet::HostPropertySheet(const HostEntry& entry, const Settings& settings,
                                     IPlatform& platform, QWidget* parent)
    : QDialog(parent), entry_(entry), settings_(settings), platform_(platform) {
    setWindowTitle(FromUtf8(kHostSheetTitle));
    auto* layout = new QVBoxLayout(this);
    pages_ = new QTabWidget(this);
    pages_->addTab(BuildHostPage(), QStringLiteral("ﾎｽﾄ"));
    pages_->addTab(BuildLinePage(), QStringLiteral("回線"));
    pages_->addTab(BuildLogonPage(), QStringLiteral("ｵｰﾄﾛｸﾞｵﾝ"));
    pages_->addTab(BuildCommPage(), QStringLiteral("通信"));
    pages_->addTab(BuildTermPage(), QStringLiteral("端末"));
    pages_->addTab(BuildLogPage(), QStringLiteral("ﾛｸﾞ"));
    layout->addWidget(pages_);
    auto* buttons = SheetButtons(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &HostPropertySheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    Show(entry_);
}

QWidget* HostPropertySheet::BuildHostPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    name_ = Edit(QStringLiteral("hostName"), page);
    name_->setValidator(new SjisLengthValidator(kMaxHostNameBytes, name_));
    auto* nameLabel = new QLabel(QStringLiteral("ﾎｽﾄ名(&N)："), page);
    nameLabel->setBuddy(name_);
    grid->addWidget(nameLabel, 0, 0);
    grid->addWidget(name_, 0, 1, 1, 2);
    icons_ = new QListWidget(page);
    icons_->setObjectName(QStringLiteral("hostIcons"));
    icons_->setIconSize(QSize(16, 16));
    for (int i = 0; i < kHostIconCount; ++i)
        new QListWidgetItem(HostIcon(i), FromUtf8(HostIconLabel(i)), icons_);
    auto* iconLabel = new QLabel(QStringLiteral("ｱｲｺﾝ(&I)："), page);
    iconLabel->setBuddy(icons_);
    iconPreview_ = new QLabel(page);
    iconPreview_->setObjectName(QStringLiteral("hostIconPreview"));
    iconPreview_->setFixedSize(40, 40);
    iconPreview_->setAlignment(Qt::AlignCenter);
    grid->addWidget(iconLabel, 1, 0, Qt::AlignTop);
    grid->addWidget(icons_, 1, 1);
    grid->addWidget(iconPreview_, 1, 2, Qt::AlignTop);
    connect(icons_, &QListWidget::currentRowChanged, this,
            [this](int row) { iconPreview_->setPixmap(HostIcon(row).pixmap(32, 32)); });
    return page;
}

QWidget* HostPropertySheet::BuildLinePage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* kind = new QGroupBox(QStringLiteral("回線"), page);
    auto* kindRow = new QHBoxLayout(kind);
    lineModem_ = new QRadioButton(QStringLiteral("ﾓﾃﾞﾑ直結"), kind);
    lineModem_->setObjectName(QStringLiteral("lineModem"));
    lineTelnet_ = new QRadioButton(QStringLiteral("Telnet"), kind);
    lineTelnet_->setObjectName(QStringLiteral("lineTelnet"));
    kindRow->addWidget(lineModem_);
    kindRow->addWidget(lineTelnet_);
    kindRow->addStretch();
    layout->addWidget(kind);

    auto* phone = new QGroupBox(QStringLiteral("電話"), page);
    auto* pf = new QGridLayout(phone);
    tone_ = new QRadioButton(QStringLiteral("ﾌﾟｯｼｭ"), phone);
    tone_->setObjectName(QStringLiteral("telTone"));
    pulse_ = new QRadioButton(QStringLiteral("ﾀﾞｲﾔﾙ"), phone);
    pulse_->setObjectName(QStringLiteral("telPulse"));
    internal_ = new QCheckBox(QStringLiteral("内線"), phone);
    internal_->setObjectName(QStringLiteral("internal"));
    external_ = Edit(QStringLiteral("external"), phone);
    telNum1_ = Edit(QStringLiteral("telNum1"), phone);
    telNum2_ = Edit(QStringLiteral("telNum2"), phone);
    distance_ = new QComboBox(phone);
    distance_->setObjectName(QStringLiteral("distance"));
    for (const std::string& band : DistanceBandTexts()) distance_->addItem(FromSjis(band));
    modemIni_ = Edit(QStringLiteral("modemIniCommand"), phone);
    auto* dialRow = new QHBoxLayout;
    dialRow->addWidget(tone_);
    dialRow->addWidget(pulse_);
    dialRow->addSpacing(16);
    dialRow->addWidget(internal_);
    dialRow->addWidget(new QLabel(QStringLiteral("外線番号："), phone));
    dialRow->addWidget(external_);
    pf->addLayout(dialRow, 0, 0, 1, 2);
    pf->addWidget(new QLabel(QStringLiteral("1回目："), phone), 1, 0);
    pf->addWidget(telNum1_, 1, 1);
    pf->addWidget(new QLabel(QStringLiteral("2回目："), phone), 2, 0);
    pf->addWidget(telNum2_, 2, 1);
    pf->addWidget(new QLabel(QStringLiteral("距離："), phone), 3, 0);
    pf->addWidget(distance_, 3, 1);
    pf->addWidget(new QLabel(QStringLiteral("ﾓﾃﾞﾑ初期化ｺﾏﾝﾄﾞ："), phone), 4, 0);
    pf->addWidget(modemIni_, 4, 1);
    layout->addWidget(phone);
    telephoneControls_ = {tone_, pulse_, internal_, telNum1_, telNum2_, distance_, modemIni_};

    auto* telnet = new QGroupBox(QStringLiteral("Telnet"), page);
    auto* tf = new QGridLayout(telnet);
    telnetHost_ = Edit(QStringLiteral("telnetHost"), telnet);
    telnetBrowse_ = new QPushButton(QStringLiteral("参照(&R)..."), telnet);
    telnetBrowse_->setObjectName(QStringLiteral("telnetBrowse"));
    telnetPort_ = Spin(1, 65535, QStringLiteral("telnetPort"), telnet);
    tf->addWidget(new QLabel(QStringLiteral("ﾎｽﾄ名："), telnet), 0, 0);
    tf->addWidget(telnetHost_, 0, 1);
    tf->addWidget(telnetBrowse_, 0, 2);
    tf->addWidget(new QLabel(QStringLiteral("ﾎﾟｰﾄ："), telnet), 1, 0);
    tf->addWidget(telnetPort_, 1, 1, Qt::AlignLeft);
    layout->addWidget(telnet);
    telnetControls_ = {telnetHost_, telnetBrowse_, telnetPort_};

    auto* redial = new QGroupBox(QStringLiteral("ﾘﾀﾞｲｱﾙ"), page);
    auto* rf = new QHBoxLayout(redial);
    infinite_ = new QCheckBox(QStringLiteral("接続するまで接続をかける."), redial);
    infinite_->setObjectName(QStringLiteral("infinite"));
    redialNum_ = Spin(0, kMaxRedialField, QStringLiteral("redialNum"), redial);
    interval_ = Spin(0, kMaxRedialField, QStringLiteral("interval"), redial);
    rf->addWidget(infinite_);
    rf->addSpacing(12);
    rf->addWidget(new QLabel(QStringLiteral("回数："), redial));
    rf->addWidget(redialNum_);
    rf->addWidget(new QLabel(QStringLiteral("間隔："), redial));
    rf->addWidget(interval_);
    rf->addWidget(new QLabel(QStringLiteral("秒"), redial));
    rf->addStretch();
    layout->addWidget(redial);
    layout->addStretch();

    for (QRadioButton* r : {lineModem_, lineTelnet_})
        connect(r, &QRadioButton::toggled, this, &HostPropertySheet::UpdateControls);
    connect(internal_, &QCheckBox::toggled, this, &HostPropertySheet::UpdateControls);
    connect(infinite_, &QCheckBox::toggled, this, &HostPropertySheet::UpdateControls);
    connect(telnetBrowse_, &QPushButton::clicked, this, &HostPropertySheet::BrowseTelnetHost);
    return page;
}

QWidget* HostPropertySheet::BuildLogonPage() {
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    macro_ = new QCheckBox(QStringLiteral("ﾏｸﾛ"), page);
    macro_->setObjectName(QStringLiteral("macro"));
    macroFile_ = Edit(QStringLiteral("macroFile"), page);
    macroBrowse_ = new QPushButton(QStringLiteral("ﾏｸﾛ参照..."), page);
    macroBrowse_->setObjectName(QStringLiteral("macroBrowse"));
    logon_ = new QCheckBox(QStringLiteral("ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ"), page);
    logon_->setObjectName(QStringLiteral("logon"));
    autoCommand_ = Edit(QStringLiteral("autoCommand"), page);
    autoCommand_->setMaxLength(static_cast<int>(kMaxAutoCommandChars));
    logonBrowse_ = new QPushButton(QStringLiteral("ｺﾏﾝﾄﾞ参照..."), page);
    logonBrowse_->setObjectName(QStringLiteral("logonBrowse"));
    userId_ = Edit(QStringLiteral("userId"), page);
    userId_->setMaxLength(static_cast<int>(kMaxIdChars));
    password_ = Edit(QStringLiteral("password"), page);
    password_->setMaxLength(static_cast<int>(kMaxPasswordChars));
    password_->setEchoMode(QLineEdit::Password);
    grid->addWidget(macro_, 0, 0);
    grid->addWidget(macroFile_, 0, 1);
    grid->addWidget(macroBrowse_, 0, 2);
    grid->addWidget(logon_, 1, 0);
    grid->addWidget(autoCommand_, 1, 1);
    grid->addWidget(logonBrowse_, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("ﾕｰｻﾞID："), page), 2, 0);
    grid->addWidget(userId_, 2, 1);
    grid->addWidget(new QLabel(QStringLiteral("ﾊﾟｽﾜｰﾄﾞ："), page), 3, 0);
    grid->addWidget(password_, 3, 1);
    grid->setRowStretch(4, 1);
    grid->setColumnStretch(1, 1);

    // Ticking one choice clears the other; the model says which.
    connect(macro_, &QCheckBox::clicked, this, [this](bool on) {
        HostEntry e = Values();
        TickMacro(e, on);
        logon_->setChecked(e.Logon != 0);
        UpdateControls();
    });
    connect(logon_, &QCheckBox::clicked, this, [this](bool on) {
        HostEntry e = Values();
        TickLogon(e, on);
        macro_->setChecked(e.Macro != 0);
        UpdateControls();
    });
    connect(macroBrowse_, &QPushButton::clicked, this, &HostPropertySheet::BrowseMacro);
    connect(logonBrowse_, &QPushButton::clicked, this, &HostPropertySheet::BrowseLogonPattern);
    return page;
}

QWidget* HostPropertySheet::BuildCommPage() {
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    auto combo = [&](const char* name, LineParam p, const char* label) {
        QComboBox* c = ChoiceCombo(p, QString::fromLatin1(name), page);
        combos_[name] = c;
        form->addRow(FromUtf8(label), c);
    };
    combo("Port", LineParam::Port, "ﾎﾟｰﾄ：");
    // The entry's own device: blank for the port already open, else a path (a by-id link keeps
    // finding the adapter); the list shows each device present with what it is.
    device_ = new QComboBox(page);
    device_->setObjectName(QStringLiteral("PortPath"));
    device_->setEditable(true);
    device_->addItem(QString());
    for (const auto& text : PortListTexts()) device_->addItem(QString::fromStdString(text));
    form->addRow(QStringLiteral("ﾃﾞﾊﾞｲｽ："), device_);
    combo("Speed", LineParam::Speed, "通信速度：");
    combo("DataLen", LineParam::DataLen, "ﾃﾞｰﾀ長：");
    combo("StopBit", LineParam::StopBit, "ｽﾄｯﾌﾟﾋﾞｯﾄ：");
    combo("Parity", LineParam::Parity, "ﾊﾟﾘﾃｨ：");
    combo("Flow", LineParam::Flow, "ﾌﾛｰ制御：");
    combo("CodeExchange", LineParam::KanjiCode, "受信漢字ｺｰﾄﾞ：");
    combo("CodeExchange2", LineParam::KanjiCode, "送信漢字ｺｰﾄﾞ：");
    combo("FileNameCode", LineParam::FileNameCode, "送信ﾌｧｲﾙ名の漢字ｺｰﾄﾞ：");
    breakTime_ = Spin(0, 60000, QStringLiteral("breakTime"), page);
    breakTime_->setSuffix(QStringLiteral(" ms"));
    readSize_ = Spin(1, 4096, QStringLiteral("readSize"), page);
    form->addRow(QStringLiteral("ﾌﾞﾚｰｸ時間："), breakTime_);
    form->addRow(QStringLiteral("読み込みｻｲｽﾞ："), readSize_);
    return page;
}

QWidget* HostPropertySheet::BuildTermPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* row = new QHBoxLayout;
    QComboBox* emulation = ChoiceCombo(LineParam::Emulation, QStringLiteral("Emulation"), page);
    combos_["Emulation"] = emulation;
    row->addWidget(new QLabel(QStringLiteral("ｴﾐｭﾚｰｼｮﾝ："), page));
    row->addWidget(emulation);
    row->addStretch();
    layout->addLayout(row);
    auto* grid = new QGridLayout;
    int i = 0;
    for (const TermSwitch& s : kTermSwitches) {
        auto* box = new QCheckBox(FromUtf8(s.label), page);
        box->setObjectName(QString::fromLatin1(s.name));
        switches_[s.name] = box;
        grid->addWidget(box, i % 6, i / 6);
        ++i;
    }
    layout->addLayout(grid);
    layout->addStretch();
    return page;
}

QWidget* HostPropertySheet::BuildLogPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    auto* log = new QCheckBox(QStringLiteral("接続時にﾛｸﾞを開始する(&S)"), page);
    log->setObjectName(QStringLiteral("Log"));
    switches_["Log"] = log;
    layout->addWidget(log);
    auto* row = new QHBoxLayout;
    logHead_ = Edit(QStringLiteral("logHead"), page);
    logHead_->setValidator(new SjisLengthValidator(kMaxLogHeadBytes, logHead_));
    logHead_->setMaximumWidth(60);
    auto* label = new QLabel(QStringLiteral("ﾛｸﾞﾌｧｲﾙ先頭の２文字：(&H)"), page);
    label->setBuddy(logHead_);
    row->addWidget(label);
    row->addWidget(logHead_);
    row->addStretch();
    layout->addLayout(row);
    layout->addStretch();
    return page;
}

void HostPropertySheet::Show(const HostEntry& e) {
    name_->setText(FromSjis(e.Name));
    icons_->setCurrentRow(e.Bitmap >= 0 && e.Bitmap < kHostIconCount ? e.Bitmap : 0);

    (e.IsTelnet() ? lineTelnet_ : lineModem_)->setChecked(true);
    (e.TelForm != 0 ? tone_ : pulse_)->setChecked(true);
    internal_->setChecked(e.Internal != 0);
    external_->setText(FromSjis(e.External));
    telNum1_->setText(FromSjis(e.TelNum1));
    telNum2_->setText(FromSjis(e.TelNum2));
    distance_->setCurrentIndex(e.Long >= 0 && e.Long < kDistanceBandCount ? e.Long : 0);
    modemIni_->setText(FromSjis(e.ModemIniCommand));
    telnetHost_->setText(FromSjis(e.TelnetHost));
    telnetPort_->setValue(e.TelnetPort);
    infinite_->setChecked(e.Infinite != 0);
    redialNum_->setValue(e.RedialNum);
    interval_->setValue(e.Interval);

    macro_->setChecked(e.Macro != 0);
    macroFile_->setText(FromSjis(e.MacroFile));
    logon_->setChecked(e.Logon != 0);
    autoCommand_->setText(FromSjis(e.AutoCommand));
    userId_->setText(FromSjis(e.ID));
    password_->setText(FromSjis(e.Password));

    HostEntry copy = e;
    for (auto& [name, combo] : combos_) SetComboValue(combo, *Number(copy, name));
    breakTime_->setValue(e.BreakTime);
    readSize_->setValue(e.ReadSize);
    device_->setEditText(QString::fromStdString(e.PortPath));
    for (auto& [name, box] : switches_) box->setChecked(*Number(copy, name) != 0);
    logHead_->setText(FromSjis(e.LogHead));
    UpdateControls();
}

HostEntry HostPropertySheet::Values() const {
    HostEntry e = entry_;
    e.Name = ToSjis(name_->text());
    e.Bitmap = std::max(0, icons_->currentRow());

    e.Line = lineTelnet_->isChecked() ? 1 : 0;
    e.TelForm = tone_->isChecked() ? 1 : 0;
    e.Internal = internal_->isChecked() ? 1 : 0;
    e.External = ToSjis(external_->text());
    e.TelNum1 = ToSjis(telNum1_->text());
    e.TelNum2 = ToSjis(telNum2_->text());
    e.Long = std::max(0, distance_->currentIndex());
    e.ModemIniCommand = ToSjis(modemIni_->text());
    e.TelnetHost = ToSjis(telnetHost_->text());
    e.TelnetPort = telnetPort_->value();
    e.Infinite = infinite_->isChecked() ? 1 : 0;
    e.RedialNum = redialNum_->value();
    e.Interval = interval_->value();

    e.Macro = macro_->isChecked() ? 1 : 0;
    e.MacroFile = ToSjis(macroFile_->text());
    e.Logon = logon_->isChecked() ? 1 : 0;
    e.AutoCommand = ToSjis(autoCommand_->text());
    e.ID = ToSjis(userId_->text());
    e.Password = ToSjis(password_->text());

    for (const auto& [name, combo] : combos_) *Number(e, name) = combo->currentData().toInt();
    e.BreakTime = breakTime_->value();
    e.ReadSize = readSize_->value();
    e.PortPath = PathOfListText(device_->currentText().trimmed().toStdString());
    for (const auto& [name, box] : switches_) *Number(e, name) = box->isChecked() ? 1 : 0;
    e.LogHead = ToSjis(logHead_->text());
    return e;
}

void HostPropertySheet::UpdateControls() {
    const HostSheetControls c = SheetControls(Values());
    for (QWidget* w : telephoneControls_) w->setEnabled(c.telephone);
    external_->setEnabled(c.outsideLine);
    for (QWidget* w : telnetControls_) w->setEnabled(c.telnet);
    redialNum_->setEnabled(c.redialCount);
    macro_->setEnabled(c.macroCheck);
    logon_->setEnabled(c.logonCheck);
    macroFile_->setEnabled(c.macroFile);
    macroBrowse_->setEnabled(c.macroFile);
    autoCommand_->setEnabled(c.logonPattern);
    logonBrowse_->setEnabled(c.logonPattern);
}

void HostPropertySheet::BrowseTelnetHost() {
    if (auto host = PresetListDialog::Choose(kTelnetPresetTitle, kTelnetPresetColumn,
                                             TelnetHostPresets(), this))
        telnetHost_->setText(FromSjis(*host));
}

void HostPropertySheet::BrowseLogonPattern() {
    if (auto pattern =
            PresetListDialog::Choose(kLogonPresetTitle, kLogonPresetColumn, LogonPresets(), this))
        autoCommand_->setText(FromSjis(*pattern));
}

void HostPropertySheet::BrowseMacro() {
    auto path = platform_.ChooseFile(false, kMacroChooserTitle, kMacroFilter,
                                     SjisToUtf8(settings_.MacroDefPath));
    if (!path) return;
    QString chosen = FromUtf8(*path);
    // A name typed without an extension means the macro file.
    if (QFileInfo(chosen).suffix().isEmpty() && !QFileInfo::exists(chosen) &&
        QFileInfo::exists(chosen + QStringLiteral(".mac")))
        chosen += QStringLiteral(".mac");
    macroFile_->setText(chosen);
}

void HostPropertySheet::accept() {
    HostEntry e = Values();
    std::optional<std::string> refused = CheckHostSheet(e);
    // A password that could not be scrambled would be stored empty; refuse it here instead.
    if (!refused && !ScramblePassword(e.Password)) refused = kPasswordScrambleFailed;
    if (refused) {
        platform_.MessageBox(*refused, MsgIcon::Exclamation);
        return;
    }
    entry_ = std::move(e);
    QDialog::accept();
}

bool HostPropertySheet::Run(HostEntry& entry, const Settings& settings, IPlatform& platform,
                            QWidget* parent) {
    HostPropertySheet sheet(entry, settings, platform, parent);
    if (sheet.exec() != Accepted) return false;
    entry = sheet.Entry();
    return true;
}

}  // namespace marlo::ui

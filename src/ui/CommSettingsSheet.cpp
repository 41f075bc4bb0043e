#include "ui/CommSettingsSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "text/Encoding.h"
#include "ui/SheetControls.h"

namespace marlo::ui {

namespace {

// The line when the caller has none: every port "opens", nothing is closed or configured, so
// that applying the sheet only changes the settings.
class DetachedLine : public ICommLineControl {
  public:
    bool PortOpen() const override { return false; }
    void SaveControlBlock() override {}
    void RestoreControlBlock() override {}
    bool ClosePort() override { return true; }
    std::optional<int> OpenPort(int port) override { return port; }
    bool ApplyLineParams(const LineParams&) override { return true; }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    void UpdateModemStatus() override {}
    void Pause(int) override {}
    void ClearSendKanjiMode() override {}
    void ResetTerminal() override {}
    void ShowMessage(const std::string&, MsgIcon) override {}
};

// Adds the current port to the offered ones when it is not among them (it may be the port this
// program holds open, which no probe can open a second time).
std::vector<ParamChoice> WithCurrentPort(std::vector<ParamChoice> ports, int current) {
    for (const ParamChoice& c : ports)
        if (c.value == current) return ports;
    std::string text;
    if (ParamToText(LineParam::Port, current, text) < 0) return ports;
    auto at = ports.begin();
    while (at != ports.end() && at->value != 0 && at->value < current) ++at;
    ports.insert(at, {text, current});
    return ports;
}

}  // namespace

CommSettingsSheet::CommSettingsSheet(Settings& settings, const std::vector<ParamChoice>& ports,
                                     ICommLineControl* line, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      detached_(line ? nullptr : std::make_unique<DetachedLine>()),
      model_(settings, line ? *line : *detached_) {
    setWindowTitle(QStringLiteral("通信条件の設定"));
    showMessage = [this](const std::string& text, MsgIcon icon) {
        ShowSheetMessage(this, text, icon);
    };
    pages_ = new QTabWidget(this);
    pages_->setUsesScrollButtons(false);  // every page title in sight
    pages_->addTab(LinePage(ports), QStringLiteral("回線"));
    pages_->addTab(TerminalPage(), QStringLiteral("端末"));
    pages_->addTab(ModemPage(), QStringLiteral("ﾓﾃﾞﾑ"));
    pages_->addTab(TransferPage(), QStringLiteral("ﾌｧｲﾙ転送"));
    pages_->addTab(TextSendPage(), QStringLiteral("ﾃｷｽﾄ送信"));
    auto* buttons = SheetButtons(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
}

CommSettingsSheet::~CommSettingsSheet() = default;

QWidget* CommSettingsSheet::LinePage(const std::vector<ParamChoice>& ports) {
    const CommSheetValues& v = model_.values;
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("通信ﾊﾟﾗﾒｰﾀ"), page);
    auto* form = new QFormLayout(group);
    port_ = ChoiceCombo(WithCurrentPort(ports, v.Port), v.Port, QStringLiteral("Port"), group);
    speed_ = ChoiceCombo(ParamChoices(LineParam::Speed), v.Speed, QStringLiteral("Speed"), group);
    dataLen_ =
        ChoiceCombo(ParamChoices(LineParam::DataLen), v.DataLen, QStringLiteral("DataLen"), group);
    parity_ =
        ChoiceCombo(ParamChoices(LineParam::Parity), v.Parity, QStringLiteral("Parity"), group);
    stopBit_ =
        ChoiceCombo(ParamChoices(LineParam::StopBit), v.StopBit, QStringLiteral("StopBit"), group);
    flow_ = ChoiceCombo(ParamChoices(LineParam::Flow), v.Flow, QStringLiteral("Flow"), group);
    form->addRow(QStringLiteral("ﾎﾟｰﾄ(&P)"), port_);
    form->addRow(QStringLiteral("通信速度(&S)"), speed_);
    form->addRow(QStringLiteral("ﾃﾞｰﾀ長(&D)"), dataLen_);
    form->addRow(QStringLiteral("ﾊﾟﾘﾃｨ(&R)"), parity_);
    form->addRow(QStringLiteral("ｽﾄｯﾌﾟﾋﾞｯﾄ(&T)"), stopBit_);
    form->addRow(QStringLiteral("ﾌﾛｰ制御(&F)"), flow_);

    auto* other = new QGroupBox(QStringLiteral("その他"), page);
    auto* form2 = new QFormLayout(other);
    breakTime_ = NumberField(v.BreakTime, 99999, QStringLiteral("BreakTime"), other);
    breakTime_->setSuffix(QStringLiteral(" ms"));
    readSize_ = NumberField(v.ReadSize, 99999, QStringLiteral("ReadSize"), other);
    readSize_->setSuffix(QStringLiteral(" ﾊﾞｲﾄ"));
    dtrPulseTime_ = NumberField(v.DtrPulseTime, 99999, QStringLiteral("DtrPulseTime"), other);
    dtrPulseTime_->setSuffix(QStringLiteral(" ms"));
    form2->addRow(QStringLiteral("ﾌﾞﾚｰｸ時間(&B)"), breakTime_);
    form2->addRow(QStringLiteral("DTRﾊﾟﾙｽ時間(&U)"), dtrPulseTime_);
    form2->addRow(QStringLiteral("受信ﾌﾞﾛｯｸｻｲｽﾞ(&K)"), readSize_);
    QCheckBox* reconnect = Switch(QStringLiteral("自動再接続(&A)"), v.AutoReconnect,
                                  QStringLiteral("AutoReconnect"), other);
    switches_.emplace_back(reconnect, &CommSheetValues::AutoReconnect);
    form2->addRow(reconnect);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addWidget(other);
    layout->addStretch();
    return page;
}

QWidget* CommSettingsSheet::TerminalPage() {
    const CommSheetValues& v = model_.values;
    auto* page = new QWidget;
    auto* kind = new QGroupBox(QStringLiteral("端末"), page);
    auto* form = new QFormLayout(kind);
    emulation_ = ChoiceCombo(ParamChoices(LineParam::Emulation), v.Emulation,
                             QStringLiteral("Emulation"), kind);
    receiveCode_ = ChoiceCombo(ParamChoices(LineParam::KanjiCode), v.CodeExchange,
                               QStringLiteral("CodeExchange"), kind);
    sendCode_ = ChoiceCombo(ParamChoices(LineParam::KanjiCode), v.CodeExchange2,
                            QStringLiteral("CodeExchange2"), kind);
    form->addRow(QStringLiteral("端末の種類(&E)"), emulation_);
    form->addRow(QStringLiteral("受信時の漢字ｺｰﾄﾞ(&R)"), receiveCode_);
    form->addRow(QStringLiteral("送信時の漢字ｺｰﾄﾞ(&S)"), sendCode_);
    timeStamp_ = ChoiceCombo(ParamChoices(LineParam::TimeStamp), v.TimeStamp,
                             QStringLiteral("TimeStamp"), kind);
    form->addRow(QStringLiteral("ﾛｸﾞのﾀｲﾑｽﾀﾝﾌﾟ(&M)"), timeStamp_);

    auto* options = new QGroupBox(QStringLiteral("端末ｵﾌﾟｼｮﾝ"), page);
    auto* grid = new QGridLayout(options);
    const struct {
        const char* label;
        int CommSheetValues::*member;
        const char* name;
    } boxes[] = {
        {"CR受信時にLFを付ける", &CommSheetValues::RcvCRLF, "RcvCRLF"},
        {"LF受信時にCRを付ける", &CommSheetValues::RcvLFCR, "RcvLFCR"},
        {"Enter入力時にCR+LFを送信", &CommSheetValues::SndCRLF, "SndCRLF"},
        {"BSを2ﾊﾞｲﾄ文字対応", &CommSheetValues::BS2Byte, "BS2Byte"},
        {"BS入力時に前文字を削除", &CommSheetValues::BSDel, "BSDel"},
        {"自動折り返し", &CommSheetValues::AutoMargin, "AutoMargin"},
        {"ﾛｰｶﾙｴｺｰ", &CommSheetValues::LocalEcho, "LocalEcho"},
        {"SI/SO制御", &CommSheetValues::SISO, "SISO"},
        {"BPlus自動起動", &CommSheetValues::AutoBplus, "AutoBplus"},
        {"ZMODEM自動起動", &CommSheetValues::AutoZMODEM, "AutoZMODEM"},
        {"ﾌｧﾝｸｼｮﾝｷｰを処理", &CommSheetValues::FKLocal, "FKLocal"},
    };
    int i = 0;
    for (const auto& b : boxes) {
        QCheckBox* box =
            Switch(QString::fromUtf8(b.label), v.*b.member, QString::fromLatin1(b.name), options);
        switches_.emplace_back(box, b.member);
        grid->addWidget(box, i % 6, i / 6);
        ++i;
    }
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(kind);
    layout->addWidget(options);
    layout->addStretch();
    return page;
}

QWidget* CommSettingsSheet::ModemPage() {
    const CommSheetValues& v = model_.values;
    auto* page = new QWidget;
    auto* init = new QGroupBox(QStringLiteral("ﾓﾃﾞﾑ初期化ｺﾏﾝﾄﾞ"), page);
    auto* form = new QFormLayout(init);
    modemInit1_ = new QLineEdit(FromSjis(v.ModemInit1), init);
    modemInit1_->setObjectName(QStringLiteral("ModemInit1"));
    modemInit2_ = new QLineEdit(FromSjis(v.ModemInit2), init);
    modemInit2_->setObjectName(QStringLiteral("ModemInit2"));
    form->addRow(QStringLiteral("初期化ｺﾏﾝﾄﾞ&1"), modemInit1_);
    form->addRow(QStringLiteral("初期化ｺﾏﾝﾄﾞ&2"), modemInit2_);
    QCheckBox* atStart = Switch(QStringLiteral("起動時にﾓﾃﾞﾑを初期化する(&I)"), v.ModemInit,
                                QStringLiteral("ModemInit"), init);
    switches_.emplace_back(atStart, &CommSheetValues::ModemInit);
    form->addRow(atStart);

    auto* hangUp = new QGroupBox(QStringLiteral("回線切断"), page);
    auto* hangUpLayout = new QVBoxLayout(hangUp);
    QCheckBox* dtr = Switch(QStringLiteral("DTRを落として回線を切断する(&D)"), v.Disconnect,
                            QStringLiteral("Disconnect"), hangUp);
    switches_.emplace_back(dtr, &CommSheetValues::Disconnect);
    hangUpLayout->addWidget(dtr);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(init);
    layout->addWidget(hangUp);
    layout->addStretch();
    return page;
}

QWidget* CommSettingsSheet::TransferPage() {
    const CommSheetValues& v = model_.values;
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("ﾌｧｲﾙ転送"), page);
    auto* inner = new QVBoxLayout(group);
    QCheckBox* unlha = Switch(QStringLiteral(".LZH書庫ﾌｧｲﾙﾀﾞｳﾝﾛｰﾄﾞ後、解凍処理を行う"), v.Unlha,
                              QStringLiteral("Unlha"), group);
    QCheckBox* eight = Switch(QStringLiteral("7ﾋﾞｯﾄ通信のとき、8ﾋﾞｯﾄに変更する"), v.SevenToEight,
                              QStringLiteral("7to8"), group);
    switches_.emplace_back(unlha, &CommSheetValues::Unlha);
    switches_.emplace_back(eight, &CommSheetValues::SevenToEight);
    inner->addWidget(unlha);
    inner->addWidget(eight);
    fileNameCode_ = ChoiceCombo(ParamChoices(LineParam::FileNameCode), v.FileNameCode,
                                QStringLiteral("FileNameCode"), group);
    auto* names = new QFormLayout;
    names->addRow(QStringLiteral("送信ﾌｧｲﾙ名の漢字ｺｰﾄﾞ(&N)"), fileNameCode_);
    inner->addLayout(names);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addStretch();
    return page;
}

QWidget* CommSettingsSheet::TextSendPage() {
    const CommSheetValues& v = model_.values;
    auto* page = new QWidget;
    auto* group = new QGroupBox(QStringLiteral("ﾃｷｽﾄ送信"), page);
    auto* form = new QFormLayout(group);
    QCheckBox* tab = Switch(QStringLiteral("ﾀﾌﾞを空白に展開する(&T)"), v.TxSendTab,
                            QStringLiteral("TxSendTab"), group);
    tabNum_ = NumberField(v.TxSendTabNum, 999, QStringLiteral("TxSendTabNum"), group);
    maxCol_ = NumberField(v.TxSendMaxCol, 999, QStringLiteral("TxSendMaxCol"), group);
    QCheckBox* crlf = Switch(QStringLiteral("LFを送信しない(行末はCRのみ)(&L)"), v.TxSendCRLF,
                             QStringLiteral("TxSendCRLF"), group);
    QCheckBox* sync = Switch(QStringLiteral("1行ごとにｴｺｰﾊﾞｯｸを待つ(&E)"), v.TxSendSync,
                             QStringLiteral("TxSendSync"), group);
    switches_.emplace_back(tab, &CommSheetValues::TxSendTab);
    switches_.emplace_back(crlf, &CommSheetValues::TxSendCRLF);
    switches_.emplace_back(sync, &CommSheetValues::TxSendSync);
    form->addRow(tab);
    form->addRow(QStringLiteral("ﾀﾌﾞ幅(&W)"), tabNum_);
    form->addRow(QStringLiteral("最大桁数(&M)"), maxCol_);
    form->addRow(crlf);
    form->addRow(sync);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(group);
    layout->addStretch();
    return page;
}

void CommSettingsSheet::Collect() {
    CommSheetValues& v = model_.values;
    v.Port = ChoiceValue(port_);
    v.Speed = ChoiceValue(speed_);
    v.DataLen = ChoiceValue(dataLen_);
    v.Parity = ChoiceValue(parity_);
    v.StopBit = ChoiceValue(stopBit_);
    v.Flow = ChoiceValue(flow_);
    v.BreakTime = NumberValue(breakTime_);
    v.DtrPulseTime = NumberValue(dtrPulseTime_);
    v.ReadSize = NumberValue(readSize_);
    v.Emulation = ChoiceValue(emulation_);
    v.CodeExchange = ChoiceValue(receiveCode_);
    v.CodeExchange2 = ChoiceValue(sendCode_);
    v.TimeStamp = ChoiceValue(timeStamp_);
    v.FileNameCode = ChoiceValue(fileNameCode_);
    for (const auto& [box, member] : switches_) v.*member = SwitchValue(box);
    v.ModemInit1 = ToSjis(modemInit1_->text());
    v.ModemInit2 = ToSjis(modemInit2_->text());
    v.TxSendTabNum = NumberValue(tabNum_);
    v.TxSendMaxCol = NumberValue(maxCol_);
}

void CommSettingsSheet::accept() {
    Collect();
    if (std::optional<std::string> refusal = model_.Validate()) {
        if (showMessage) showMessage(*refusal, MsgIcon::Exclamation);
        return;
    }
    applied_ = model_.Apply(settings_);
    QDialog::accept();
}

bool CommSettingsSheet::Run(Settings& settings, const std::vector<ParamChoice>& ports,
                            ICommLineControl* line, QWidget* parent, CommApplyResult* applied) {
    CommSettingsSheet sheet(settings, ports, line, parent);
    if (sheet.exec() != QDialog::Accepted || !sheet.applied()) return false;
    if (applied) *applied = *sheet.applied();
    return true;
}

}  // namespace marlo::ui

#include "ui/EnvSettingsSheet.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QVBoxLayout>

#include "ui/BarPages.h"
#include "ui/SheetControls.h"

namespace marlo::ui {

namespace {

QPushButton* Swatch(QPushButton* button, int32_t colour) {
    QPixmap pm(24, 14);
    pm.fill(FromColorRef(colour));
    button->setIcon(QIcon(pm));
    return button;
}

QWidget* Page(std::initializer_list<QWidget*> groups) {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    for (QWidget* g : groups) {
        g->setParent(page);
        layout->addWidget(g);
    }
    layout->addStretch();
    return page;
}

}  // namespace

EnvSettingsSheet::EnvSettingsSheet(Settings& settings, QWidget* parent)
    : QDialog(parent),
      settings_(settings),
      model_(settings),
      textCustom_(settings.TextColorCust),
      backCustom_(settings.BackColorCust) {
    setWindowTitle(QStringLiteral("動作環境の設定"));
    showMessage = [this](const std::string& text, MsgIcon icon) {
        ShowSheetMessage(this, text, icon);
    };
    chooseColour = [this](int32_t current, const QString& title, std::array<int32_t, 16>& custom) {
        return ColourDialog(this, current, title, custom);
    };
    pages_ = new QTabWidget(this);
    pages_->setUsesScrollButtons(false);  // every page title in sight
    pages_->addTab(ColourPage(), QStringLiteral("色"));
    pages_->addTab(ScreenPage(), QStringLiteral("画面"));
    pages_->addTab(BufferPage(), QStringLiteral("ﾊﾞｯﾌｧ"));
    pages_->addTab(LogPage(), QStringLiteral("ﾛｸﾞ"));
    pages_->addTab(StartEndPage(), QStringLiteral("起動／終了"));
    pages_->addTab(MakeToolBarPage(), QStringLiteral("ﾂｰﾙﾊﾞｰ"));
    pages_->addTab(MakeStatusBarPage(), QStringLiteral("ｽﾃｰﾀｽﾊﾞｰ"));
    auto* buttons = SheetButtons(this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
    ShowColours();
    UpdateClearUpText();
}

void EnvSettingsSheet::AddPage(QWidget* page, const QString& title) {
    pages_->addTab(page, title);
}

QWidget* EnvSettingsSheet::ColourPage() {
    const EnvSheetValues& v = model_.values;
    auto* group = new QGroupBox(QStringLiteral("表示色"));
    auto* grid = new QGridLayout(group);
    sameSysColor_ = Switch(QStringLiteral("ｼｽﾃﾑの色を使う(&Y)"), v.SameSysColor,
                           QStringLiteral("SameSysColor"), group);
    textColour_ = new QPushButton(QStringLiteral("文字色(&T)..."), group);
    textColour_->setObjectName(QStringLiteral("TextColor"));
    backColour_ = new QPushButton(QStringLiteral("背景色(&B)..."), group);
    backColour_->setObjectName(QStringLiteral("BackColor"));
    sample_ = new QLabel(QStringLiteral(" ABCabc ｱｲｳ 漢字かな "), group);
    sample_->setObjectName(QStringLiteral("ColourSample"));
    sample_->setAutoFillBackground(true);
    sample_->setFrameShape(QFrame::Box);
    sample_->setMinimumHeight(40);
    sample_->setAlignment(Qt::AlignCenter);
    grid->addWidget(sameSysColor_, 0, 0, 1, 2);
    grid->addWidget(textColour_, 1, 0);
    grid->addWidget(backColour_, 1, 1);
    grid->addWidget(new QLabel(QStringLiteral("見本"), group), 2, 0, 1, 2);
    grid->addWidget(sample_, 3, 0, 1, 2);
    connect(textColour_, &QPushButton::clicked, this, [this] { PickColour(true); });
    connect(backColour_, &QPushButton::clicked, this, [this] { PickColour(false); });
    connect(sameSysColor_, &QCheckBox::toggled, this, [this] { ShowColours(); });
    return Page({group});
}

void EnvSettingsSheet::PickColour(bool text) {
    int32_t& colour = text ? model_.values.TextColor : model_.values.BackColor;
    std::array<int32_t, 16>& custom = text ? textCustom_ : backCustom_;
    if (!chooseColour) return;
    const QString title = text ? QStringLiteral("文字色") : QStringLiteral("背景色");
    if (std::optional<int32_t> picked = chooseColour(colour, title, custom)) colour = *picked;
    ShowColours();
}

void EnvSettingsSheet::ShowColours() {
    const bool system = sameSysColor_->isChecked();
    textColour_->setEnabled(!system);
    backColour_->setEnabled(!system);
    Swatch(textColour_, model_.values.TextColor);
    Swatch(backColour_, model_.values.BackColor);
    QPalette pal = palette();
    if (!system) {
        pal.setColor(QPalette::WindowText, FromColorRef(model_.values.TextColor));
        pal.setColor(QPalette::Window, FromColorRef(model_.values.BackColor));
    } else {
        pal.setColor(QPalette::WindowText, pal.color(QPalette::Text));
        pal.setColor(QPalette::Window, pal.color(QPalette::Base));
    }
    sample_->setPalette(pal);
}

QWidget* EnvSettingsSheet::ScreenPage() {
    const EnvSheetValues& v = model_.values;
    auto* size = new QGroupBox(QStringLiteral("画面ｻｲｽﾞ"));
    auto* form = new QFormLayout(size);
    lineColFix_ = Switch(QStringLiteral("画面ｻｲｽﾞを固定する(&X)"), v.LineColFix,
                         QStringLiteral("LineColFix"), size);
    columns_ = NumberField(v.LineColumn[0], 999, QStringLiteral("Columns"), size);
    rows_ = NumberField(v.LineColumn[1], 9999, QStringLiteral("Rows"), size);
    form->addRow(lineColFix_);
    form->addRow(QStringLiteral("桁数(&C)"), columns_);
    form->addRow(QStringLiteral("行数(&L)"), rows_);

    auto* other = new QGroupBox(QStringLiteral("表示"));
    auto* form2 = new QFormLayout(other);
    blink_ =
        Switch(QStringLiteral("ｶｰｿﾙを点滅させる(&K)"), v.Blink, QStringLiteral("Blink"), other);
    form2->addRow(blink_);
    return Page({size, other});
}

QWidget* EnvSettingsSheet::BufferPage() {
    const EnvSheetValues& v = model_.values;
    auto* group = new QGroupBox(QStringLiteral("ﾊﾞｯﾌｧ"));
    auto* form = new QFormLayout(group);
    bufferSize_ = NumberField(v.BufferSize, 9999999, QStringLiteral("BufferSize"), group);
    bufferSize_->setSuffix(QStringLiteral(" 行"));
    clearUp_ = NumberField(v.ClearUp, 999, QStringLiteral("ClearUp"), group);
    clearUpText_ = new QLabel(group);
    clearUpText_->setObjectName(QStringLiteral("ClearUpText"));
    auto* clearUpRow = new QHBoxLayout;
    clearUpRow->addWidget(clearUp_);
    clearUpRow->addWidget(clearUpText_, 1);
    form->addRow(QStringLiteral("ｳｨﾝﾄﾞｳﾊﾞｯﾌｧ(&A)"), bufferSize_);
    auto* clearUpLabel = new QLabel(QStringLiteral("ｸﾘｱｱｯﾌﾟ率(&U)"), group);
    clearUpLabel->setBuddy(clearUp_);
    form->addRow(clearUpLabel, clearUpRow);
    connect(bufferSize_, &QSpinBox::valueChanged, this, [this] { UpdateClearUpText(); });
    connect(clearUp_, &QSpinBox::valueChanged, this, [this] { UpdateClearUpText(); });

    auto* scroll = new QGroupBox(QStringLiteral("ｽｸﾛｰﾙ"));
    auto* form2 = new QFormLayout(scroll);
    scrollSpeed_ = Switch(QStringLiteral("受信速度に追従してｽｸﾛｰﾙする(&S)"), v.ScrollSpeed,
                          QStringLiteral("ScrollSpeed"), scroll);
    scrollLine_ = NumberField(v.ScrollLine, 999, QStringLiteral("ScrollLine"), scroll);
    form2->addRow(scrollSpeed_);
    form2->addRow(QStringLiteral("↑↓ｷｰでのｽｸﾛｰﾙ行(&O)"), scrollLine_);
    return Page({group, scroll});
}

void EnvSettingsSheet::UpdateClearUpText() {
    clearUpText_->setText(
        FromUtf8(EnvSettingsModel::ClearUpText(clearUp_->value(), bufferSize_->value())));
}

QWidget* EnvSettingsSheet::LogPage() {
    const EnvSheetValues& v = model_.values;
    auto* form = new QGroupBox(QStringLiteral("ﾛｸﾞﾌｧｲﾙの保存形式"));
    auto* formLayout = new QVBoxLayout(form);
    logAppend_ = new QRadioButton(QStringLiteral("追加書き込み(&A)"), form);
    logAppend_->setObjectName(QStringLiteral("LogAppend"));
    logNew_ = new QRadioButton(QStringLiteral("新規作成(&N)"), form);
    logNew_->setObjectName(QStringLiteral("LogNew"));
    (v.LogSaveForm != 0 ? logAppend_ : logNew_)->setChecked(true);
    formLayout->addWidget(logAppend_);
    formLayout->addWidget(logNew_);

    auto* options = new QGroupBox(QStringLiteral("ﾛｸﾞ"));
    auto* optionsLayout = new QVBoxLayout(options);
    logDefault_ = Switch(QStringLiteral("ﾛｸﾞﾌｧｲﾙ名を自動で付ける(&D)"), v.LogDefault,
                         QStringLiteral("LogDefault"), options);
    logIniBegin_ = Switch(QStringLiteral("起動時にﾛｸﾞを開始する(&B)"), v.LogIniBegin,
                          QStringLiteral("LogIniBegin"), options);
    logRemoveEsc_ = Switch(QStringLiteral("ｴｽｹｰﾌﾟｼｰｹﾝｽを取り除く(&E)"), v.LogRemoveEsc,
                           QStringLiteral("LogRemoveEsc"), options);
    optionsLayout->addWidget(logDefault_);
    optionsLayout->addWidget(logIniBegin_);
    optionsLayout->addWidget(logRemoveEsc_);
    return Page({form, options});
}

QWidget* EnvSettingsSheet::StartEndPage() {
    const EnvSheetValues& v = model_.values;
    auto* start = new QGroupBox(QStringLiteral("起動時"));
    auto* startLayout = new QVBoxLayout(start);
    hostselectOnBegin_ = Switch(QStringLiteral("ﾎｽﾄ選択ｳｨﾝﾄﾞｳを開く(&H)"), v.HostselectOnBegin,
                                QStringLiteral("HostselectOnBegin"), start);
    startLayout->addWidget(hostselectOnBegin_);
    auto* end = new QGroupBox(QStringLiteral("終了時"));
    auto* endLayout = new QVBoxLayout(end);
    saveOnEnd_ =
        Switch(QStringLiteral("設定を保存する(&S)"), v.SaveOnEnd, QStringLiteral("SaveOnEnd"), end);
    bufferClearOnEnd_ = Switch(QStringLiteral("ﾊﾞｯﾌｧの内容を残さない(&C)"), v.BufferClearOnEnd,
                               QStringLiteral("BufferClearOnEnd"), end);
    endLayout->addWidget(saveOnEnd_);
    endLayout->addWidget(bufferClearOnEnd_);
    return Page({start, end});
}

QWidget* EnvSettingsSheet::MakeToolBarPage() {
    const EnvSheetValues& v = model_.values;
    toolLists_ = ToolListsFrom(v.ToolTable, v.ToolNum);
    toolPage_ = new ui::ToolBarPage(toolLists_);
    toolPage_->showMessage = [this](const std::string& text, MsgIcon icon) {
        if (showMessage) showMessage(text, icon);
    };

    auto* size = new QGroupBox(QStringLiteral("ﾂｰﾙﾎﾞﾀﾝｻｲｽﾞ(&S)"));
    auto* sizeLayout = new QHBoxLayout(size);
    toolLarge_ = new QRadioButton(QStringLiteral("大"), size);
    toolLarge_->setObjectName(QStringLiteral("ToolLarge"));
    toolSmall_ = new QRadioButton(QStringLiteral("小"), size);
    toolSmall_->setObjectName(QStringLiteral("ToolSmall"));
    (v.ToolSize == 1 ? toolLarge_ : toolSmall_)->setChecked(true);
    sizeLayout->addWidget(toolLarge_);
    sizeLayout->addWidget(toolSmall_);
    sizeLayout->addStretch();

    auto* function = new QGroupBox(QStringLiteral("ﾌｧﾝｸｼｮﾝﾎﾞﾀﾝｻｲｽﾞ(&F)"));
    auto* functionLayout = new QHBoxLayout(function);
    funcBarSize_ = NumberField(v.FuncBarSize, 999, QStringLiteral("FuncBarSize"), function);
    functionLayout->addWidget(funcBarSize_);
    functionLayout->addStretch();

    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    toolPage_->setParent(page);
    layout->addWidget(toolPage_, 1);
    auto* sizes = new QHBoxLayout;
    size->setParent(page);
    function->setParent(page);
    sizes->addWidget(size);
    sizes->addWidget(function);
    layout->addLayout(sizes);
    return page;
}

QWidget* EnvSettingsSheet::MakeStatusBarPage() {
    statusPage_ = new ui::StatusBarPage(model_.values.StatusItems);
    statusPage_->showMessage = [this](const std::string& text, MsgIcon icon) {
        if (showMessage) showMessage(text, icon);
    };
    return statusPage_;
}

void EnvSettingsSheet::Collect() {
    EnvSheetValues& v = model_.values;
    v.SameSysColor = SwitchValue(sameSysColor_);
    v.LineColFix = SwitchValue(lineColFix_);
    v.LineColumn = {NumberValue(columns_), NumberValue(rows_)};
    v.Blink = SwitchValue(blink_);
    v.FuncBarSize = NumberValue(funcBarSize_);
    v.BufferSize = NumberValue(bufferSize_);
    v.ClearUp = NumberValue(clearUp_);
    v.ScrollSpeed = SwitchValue(scrollSpeed_);
    v.ScrollLine = NumberValue(scrollLine_);
    v.LogSaveForm = logAppend_->isChecked() ? 1 : 0;
    v.LogDefault = SwitchValue(logDefault_);
    v.LogIniBegin = SwitchValue(logIniBegin_);
    v.LogRemoveEsc = SwitchValue(logRemoveEsc_);
    v.HostselectOnBegin = SwitchValue(hostselectOnBegin_);
    v.SaveOnEnd = SwitchValue(saveOnEnd_);
    v.BufferClearOnEnd = SwitchValue(bufferClearOnEnd_);
    v.ToolSize = toolLarge_->isChecked() ? 1 : 0;
    // Lists the page did not change are left as they were stored.
    if (toolPage_->Lists() != toolLists_)
        for (size_t bar = 0; bar < kToolBarCount; ++bar)
            StoreToolList(toolPage_->Lists()[bar], v.ToolTable[bar], v.ToolNum[bar]);
    v.StatusItems = statusPage_->Items();
}

void EnvSettingsSheet::accept() {
    Collect();
    if (std::optional<std::string> refusal = model_.Validate()) {
        if (showMessage) showMessage(*refusal, MsgIcon::Exclamation);
        return;
    }
    applied_ = model_.Apply(settings_);
    settings_.TextColorCust = textCustom_;
    settings_.BackColorCust = backCustom_;
    QDialog::accept();
}

bool EnvSettingsSheet::Run(Settings& settings, QWidget* parent, EnvApplyResult* changed) {
    EnvSettingsSheet sheet(settings, parent);
    if (sheet.exec() != QDialog::Accepted || !sheet.applied()) return false;
    if (changed) *changed = *sheet.applied();
    return true;
}

}  // namespace marlo::ui

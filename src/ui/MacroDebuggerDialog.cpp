#include "ui/MacroDebuggerDialog.h"

#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <fstream>
#include <iterator>

#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "macro/MacroProgram.h"
#include "text/Encoding.h"

namespace marlo::ui {

MacroDebuggerDialog::MacroDebuggerDialog(CMainFrame& frame, QWidget* parent)
    : QDialog(parent), frame_(frame) {
    setWindowTitle(QStringLiteral("ﾏｸﾛﾃﾞﾊﾞｯｶﾞ"));
    setObjectName(QStringLiteral("macroDebugger"));
    list_ = new QListWidget(this);
    list_->setObjectName(QStringLiteral("lines"));
    auto* load = new QPushButton(QStringLiteral("読込(&L)..."), this);
    run_ = new QPushButton(QStringLiteral("実行(&R)"), this);
    stop_ = new QPushButton(QStringLiteral("停止(&S)"), this);
    auto* close = new QPushButton(QStringLiteral("閉じる"), this);
    load->setObjectName(QStringLiteral("load"));
    run_->setObjectName(QStringLiteral("run"));
    stop_->setObjectName(QStringLiteral("stop"));
    auto* buttons = new QVBoxLayout;
    for (QPushButton* b : {load, run_, stop_, close}) buttons->addWidget(b);
    buttons->addStretch();
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(list_, 1);
    layout->addLayout(buttons);
    resize(560, 360);
    connect(load, &QPushButton::clicked, this, &MacroDebuggerDialog::Load);
    connect(run_, &QPushButton::clicked, this, &MacroDebuggerDialog::Run);
    connect(stop_, &QPushButton::clicked, this, [this] { frame_.OnCommand(ID_MACRO_STOP); });
    connect(close, &QPushButton::clicked, this, &QDialog::close);
    connect(&follow_, &QTimer::timeout, this, &MacroDebuggerDialog::Follow);
    follow_.start(250);
    Follow();
}

void MacroDebuggerDialog::Load() {
    auto path = frame_.Platform().ChooseFile(false, "マクロファイルの選択",
                                             "ﾏｸﾛﾌｧｲﾙ (*.mac)|*.mac|すべてのﾌｧｲﾙ (*.*)|*.*||",
                                             SjisToUtf8(frame_.S().MacroDefPath));
    if (!path) return;
    std::ifstream in(*path, std::ios::binary);
    if (!in) {
        frame_.Platform().MessageBox("マクロファイルのオープンに失敗しました.", MsgIcon::Stop);
        return;
    }
    loaded_ = *path;
    Show(LoadMacroProgram(std::string(std::istreambuf_iterator<char>(in), {})).lines);
    Follow();
}

void MacroDebuggerDialog::Run() {
    if (!loaded_.empty()) frame_.Macro().Start(loaded_);
    Follow();
}

void MacroDebuggerDialog::Show(const std::vector<std::string>& lines) {
    if (lines == shown_) return;
    shown_ = lines;
    list_->clear();
    for (size_t i = 0; i < lines.size(); ++i)
        list_->addItem(QStringLiteral("%1  %2").arg(i + 1, 4).arg(
            QString::fromStdString(SjisToUtf8(lines[i]))));
}

void MacroDebuggerDialog::Follow() {
    const bool running = frame_.Macro().Running();
    run_->setEnabled(!running && !loaded_.empty());
    stop_->setEnabled(running);
    if (!running) return;
    Show(frame_.Macro().ProgramLines());
    int line = frame_.Macro().CurrentLine();
    if (line >= 0 && line < list_->count()) list_->setCurrentRow(line);
}

}  // namespace marlo::ui

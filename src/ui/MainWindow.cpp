#include "ui/MainWindow.h"

#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include "app/CommandIds.h"
#include "text/Encoding.h"
#include "ui/StatusPanes.h"

namespace marlo::ui {

MainWindow::MainWindow(bool traceMode) {
    setWindowTitle(QStringLiteral("マーロ"));
    BuildMenus(traceMode);
    BuildInputBar();
    statusPanes_ = new StatusPanes(this);
    statusBar()->addWidget(statusPanes_, 1);
    resize(820, 560);
    // Accelerators work only through enabled actions, so their state follows the program's state
    // while no menu is open, as the menus do when they open.
    auto* refresh = new QTimer(this);
    connect(refresh, &QTimer::timeout, this, [this] { RefreshCommands(); });
    refresh->start(250);
}

QAction* MainWindow::AddCommand(QMenu* menu, const QString& label, int id,
                                const QKeySequence& key) {
    QAction* a = MakeCommand(label, id, key);
    menu->addAction(a);
    return a;
}

QAction* MainWindow::MakeCommand(const QString& label, int id, const QKeySequence& key) {
    QAction* a = NewCommand(label, id, this);
    a->setShortcut(key);
    actions_[id] = a;
    return a;
}

QAction* MainWindow::MakeToolCommand(const QString& tip, int id, const QIcon& icon,
                                     QObject* owner) {
    QAction* a = NewCommand(tip, id, owner);
    a->setIcon(icon);
    toolActions_.push_back(a);
    RefreshAction(a);
    return a;
}

QAction* MainWindow::NewCommand(const QString& label, int id, QObject* owner) {
    auto* a = new QAction(label, owner);
    a->setData(id);
    connect(a, &QAction::triggered, this, [this, id] {
        // An accelerator may fire before the next refresh caught up with a change of state.
        if (isEnabled && !isEnabled(id)) {
            QApplication::beep();
            return;
        }
        if (onCommand) onCommand(id);
    });
    return a;
}

void MainWindow::RefreshAction(QAction* a) {
    const int id = a->data().toInt();
    if (isEnabled) a->setEnabled(isEnabled(id));
    if (isChecked) {
        bool c = isChecked(id);
        a->setCheckable(c || a->isCheckable());
        a->setChecked(c);
    }
}

void MainWindow::RefreshMenu(QMenu* menu) {
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && !a->menu()) RefreshAction(a);
}

void MainWindow::RefreshCommands() {
    for (auto& [id, a] : actions_) RefreshAction(a);
    // A rebuilt tool bar has deleted its old buttons.
    toolActions_.removeAll(nullptr);
    for (QAction* a : toolActions_) RefreshAction(a);
}

void MainWindow::BuildMenus(bool traceMode) {
    auto menu = [this](const QString& title) {
        QMenu* m = menuBar()->addMenu(title);
        connect(m, &QMenu::aboutToShow, this, [this, m] { RefreshMenu(m); });
        return m;
    };
    // Top-level menus whose mnemonic would collide with an Alt accelerator of the terminal (Alt+F
    // search, Alt+M macro, Alt+T telephone, Alt+V send) have none.
    QMenu* file = menu(QStringLiteral("ﾌｧｲﾙ"));
    fileMenu_ = file;
    AddCommand(file, QStringLiteral("ｱｯﾌﾟﾛｰﾄﾞ(&U)..."), ID_UPLOAD,
               QKeySequence(Qt::ALT | Qt::Key_U));
    AddCommand(file, QStringLiteral("ﾀﾞｳﾝﾛｰﾄﾞ(&D)..."), ID_DOWNLOAD);
    file->addSeparator();
    AddCommand(file, QStringLiteral("ﾃｷｽﾄ送信(&S)..."), ID_TEXT_SEND);
    AddCommand(file, QStringLiteral("ﾃｷｽﾄ受信(&R)..."), ID_TEXT_RECEIVE);
    AddCommand(file, QStringLiteral("ﾛｸﾞ開始／終了(&S)..."), ID_LOG_TOGGLE);
    AddCommand(file, QStringLiteral("ﾛｸﾞ参照(&P)..."), ID_LOG_BROWSER);
    file->addSeparator();
    AddCommand(file, QStringLiteral("ｴﾃﾞｨﾀ(&E)"), ID_EDITOR);
    AddCommand(file, QStringLiteral("ｺﾏﾝﾄﾞ実行(&C)..."), ID_COMMAND_LINE);
    AddCommand(file, QStringLiteral(".LZH書庫ﾌｧｲﾙ解凍(&U)..."), ID_LZH_EXTRACT);
    AddCommand(file, QStringLiteral("ｱﾌﾟﾘｹｰｼｮﾝ(&A)..."), ID_APPLICATION);
    file->addSeparator();
    AddCommand(file, QStringLiteral("ﾏｰﾛの終了(&X)"), ID_APP_EXIT);

    QMenu* edit = menu(QStringLiteral("編集(&E)"));
    editMenu_ = edit;
    AddCommand(edit, QStringLiteral("ﾊﾞｯﾌｧｸﾘｱ(&B)"), ID_CLEAR_BUFFER);
    AddCommand(edit, QStringLiteral("制御ｺｰﾄﾞ入力(&C)..."), ID_CONTROL_CODE);

    QMenu* line = menu(QStringLiteral("回線(&L)"));
    AddCommand(line, QStringLiteral("ﾎｽﾄ選択(&S)..."), ID_HOST_WINDOW);
    AddCommand(line, QStringLiteral("電話接続(&T)..."), ID_PHONE_CONNECT,
               QKeySequence(Qt::ALT | Qt::Key_T));
    AddCommand(line, QStringLiteral("Telnet接続(&I)..."), ID_TELNET_CONNECT,
               QKeySequence(Qt::ALT | Qt::Key_I));
    AddCommand(line, QStringLiteral("回線切断(&D)..."), ID_HANGUP,
               QKeySequence(Qt::ALT | Qt::Key_D));
    line->addSeparator();
    AddCommand(line, QStringLiteral("ﾌﾞﾚｰｸ信号(&B)"), ID_BREAK);
    AddCommand(line, QStringLiteral("DTR(&R)"), ID_DTR_TOGGLE);
    AddCommand(line, QStringLiteral("RTS(&Q)"), ID_RTS_TOGGLE);
    AddCommand(line, QStringLiteral("DTRﾊﾟﾙｽ(&U)"), ID_DTR_PULSE);
    AddCommand(line, QStringLiteral("ﾓﾃﾞﾑ初期化(&M)"), ID_MODEM_INIT);
    AddCommand(line, QStringLiteral("COMﾎﾟｰﾄｵｰﾌﾟﾝ／ｸﾛｰｽﾞ(&P)"), ID_PORT_TOGGLE);

    QMenu* options = menu(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)"));
    AddCommand(options, QStringLiteral("通信条件(&C)..."), ID_COMM_SETTINGS);
    AddCommand(options, QStringLiteral("動作環境(&E)..."), ID_ENV_SETTINGS);
    AddCommand(options, QStringLiteral("ｷｰ(&K)..."), ID_KEY_SETTINGS);
    AddCommand(options, QStringLiteral("表示(&D)..."), ID_DISPLAY_SETTINGS);
    options->addSeparator();
    AddCommand(options, QStringLiteral("１行入力ﾓｰﾄﾞ(&1)..."), ID_INPUT_BAR,
               QKeySequence(Qt::ALT | Qt::Key_1));
    AddCommand(options, QStringLiteral("接続履歴(&H)..."), ID_HISTORY);
    if (traceMode) {
        options->addSeparator();
        AddCommand(options, QStringLiteral("ﾄﾚｰｽ設定(&T)..."), ID_TRACE_SETTINGS);
        AddCommand(options, QStringLiteral("ﾌｧｲﾙの読み込み(&L)..."), ID_REPLAY);
    }

    QMenu* macro = menu(QStringLiteral("ﾏｸﾛ"));
    AddCommand(macro, QStringLiteral("実行(&X)..."), ID_MACRO_RUN,
               QKeySequence(Qt::ALT | Qt::Key_M));
    AddCommand(macro, QStringLiteral("停止(&S)"), ID_MACRO_STOP);
    AddCommand(macro, QStringLiteral("一時停止(&T)"), ID_MACRO_PAUSE);
    AddCommand(macro, QStringLiteral("編集(&E)..."), ID_MACRO_EDIT);
    AddCommand(macro, QStringLiteral("ﾃﾞﾊﾞｯｶﾞ(&D)..."), ID_MACRO_DEBUGGER);

    QMenu* view = menu(QStringLiteral("表示"));
    AddCommand(view, QStringLiteral("ﾂｰﾙﾊﾞｰ(&T)"), ID_VIEW_TOOLBAR);
    AddCommand(view, QStringLiteral("ﾂｰﾙﾊﾞｰ2(&2)"), ID_VIEW_TOOLBAR2);
    AddCommand(view, QStringLiteral("ﾂｰﾙﾊﾞｰ3(&3)"), ID_VIEW_TOOLBAR3);
    AddCommand(view, QStringLiteral("ｽﾃｰﾀｽﾊﾞｰ(&S)"), ID_VIEW_STATUSBAR);
    AddCommand(view, QStringLiteral("ﾌｧﾝｸｼｮﾝﾊﾞｰ(&F)"), ID_VIEW_FUNCTIONBAR);
    view->addSeparator();
    AddCommand(view, QStringLiteral("16進表示(&H)"), ID_VIEW_HEX);

    QMenu* help = menu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    AddCommand(help, QStringLiteral("目次(&C)"), ID_HELP, QKeySequence(Qt::Key_F1 | Qt::SHIFT));
    AddCommand(help, QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)..."), ID_ABOUT);
}

void MainWindow::SetAppCommands(const std::vector<std::pair<int, QString>>& entries) {
    for (int id : appCommands_) {
        delete actions_[id];
        actions_.erase(id);
    }
    appCommands_.clear();
    // Before the separator that follows "ｱﾌﾟﾘｹｰｼｮﾝ(&A)...".
    const QList<QAction*> items = fileMenu_->actions();
    const qsizetype at = items.indexOf(Action(ID_APPLICATION));
    QAction* before = at >= 0 && at + 1 < items.size() ? items[at + 1] : nullptr;
    for (const auto& [id, title] : entries) {
        // The title is shown as it is: an "&" in it is no mnemonic.
        QString label = title;
        label.replace(QLatin1Char('&'), QStringLiteral("&&"));
        fileMenu_->insertAction(before, MakeCommand(label, id, {}));
        appCommands_.push_back(id);
    }
}

void MainWindow::BuildInputBar() {
    inputBar_ = new QToolBar(QStringLiteral("１行入力"), this);
    inputBar_->setObjectName(QStringLiteral("inputBar"));
    inputCombo_ = new QComboBox(inputBar_);
    inputCombo_->setEditable(true);
    inputCombo_->setInsertPolicy(QComboBox::NoInsert);
    inputCombo_->setMinimumWidth(420);
    inputCombo_->lineEdit()->setMaxLength(160);
    inputCounter_ = new QLabel(QStringLiteral("0"), inputBar_);
    inputCounter_->setMinimumWidth(30);
    inputHex_ = new QCheckBox(QStringLiteral("16進"), inputBar_);
    inputHex_->setToolTip(
        QStringLiteral("入力をﾊﾞｲﾄ列として漢字ｺｰﾄﾞの変換なしに送ります。\n"
                       "$0D $0A、0x1b のように $ か 0x に続く1〜2桁で1ﾊﾞｲﾄ、\n"
                       "0D0A、1b 5b のように数字だけなら2桁ずつで1ﾊﾞｲﾄ。\n"
                       "区切りは空白かｶﾝﾏ。改行は付けません。"));
    inputBar_->addWidget(inputCombo_);
    inputBar_->addWidget(inputCounter_);
    inputBar_->addWidget(inputHex_);
    addToolBar(Qt::BottomToolBarArea, inputBar_);
    inputBar_->hide();
    // The field holds at most 80 bytes of Shift-JIS (a kanji counts two); the counter shows bytes.
    auto updateCounter = [this](const QString& text) {
        std::string sjis = Utf8ToSjis(text.toStdString());
        if (sjis.size() > 80) {
            QString cut = text;
            while (!cut.isEmpty() && Utf8ToSjis(cut.toStdString()).size() > 80) cut.chop(1);
            QApplication::beep();
            inputCombo_->setEditText(cut);
            return;
        }
        inputCounter_->setText(QString::number(sjis.size()));
    };
    connect(inputCombo_, &QComboBox::editTextChanged, this, updateCounter);
    inputCombo_->installEventFilter(this);
    inputCombo_->lineEdit()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* obj, QEvent* e) {
    if (e->type() == QEvent::KeyPress && (obj == inputCombo_ || obj == inputCombo_->lineEdit())) {
        auto* k = static_cast<QKeyEvent*>(e);
        // Enter sends the line; taken here once (the combo box would hand it to its edit again).
        if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
            if (onInputLine) onInputLine(inputCombo_->currentText());
            return true;
        }
        if (k->key() == Qt::Key_Escape) {
            if (!inputCombo_->currentText().isEmpty()) {
                inputCombo_->setEditText(QString());
                inputCounter_->setText(QStringLiteral("0"));
            } else if (onForwardKey) {
                onForwardKey(k);
            }
            return true;
        }
        bool listOpen = inputCombo_->view() && inputCombo_->view()->isVisible();
        bool passed = (k->key() >= Qt::Key_F1 && k->key() <= Qt::Key_F12) ||
                      (!listOpen && (k->key() == Qt::Key_PageUp || k->key() == Qt::Key_PageDown ||
                                     k->key() == Qt::Key_End || k->key() == Qt::Key_Home ||
                                     k->key() == Qt::Key_Up || k->key() == Qt::Key_Down));
        if (passed && onForwardKey) {
            onForwardKey(k);
            return true;
        }
    }
    return QMainWindow::eventFilter(obj, e);
}

void MainWindow::SetInputHistory(const QStringList& lines) {
    inputCombo_->blockSignals(true);
    inputCombo_->clear();
    inputCombo_->addItems(lines);
    inputCombo_->setCurrentIndex(-1);
    inputCombo_->setEditText(QString());
    inputCombo_->blockSignals(false);
    inputCounter_->setText(QStringLiteral("0"));
}

void MainWindow::AddFunctionBar(QWidget* bar, bool visible) {
    functionDock_ = new QToolBar(QStringLiteral("ﾌｧﾝｸｼｮﾝﾊﾞｰ"), this);
    functionDock_->setObjectName(QStringLiteral("functionBar"));
    functionDock_->addWidget(bar);
    addToolBar(Qt::BottomToolBarArea, functionDock_);
    functionDock_->setVisible(visible);
    bar->setVisible(true);
}

void MainWindow::SetFunctionBarVisible(bool visible) {
    if (functionDock_) functionDock_->setVisible(visible);
}

bool MainWindow::FunctionBarVisible() const {
    return functionDock_ && !functionDock_->isHidden();
}

void MainWindow::SetStatusBarVisible(bool visible) {
    statusBar()->setVisible(visible);
}

bool MainWindow::StatusBarVisible() const {
    return !statusBar()->isHidden();
}

void MainWindow::SetCentral(QWidget* w) {
    setCentralWidget(w);
}
void MainWindow::SetLamps(unsigned lamps) {
    statusPanes_->SetLamps(lamps);
}
void MainWindow::SetStatusMessage(const QString& text) {
    statusPanes_->SetMessage(text);
}

void MainWindow::SetInputBarVisible(bool visible) {
    inputBar_->setVisible(visible);
    if (visible) inputCombo_->setFocus();
}

bool MainWindow::InputBarVisible() const {
    return !inputBar_->isHidden();
}

QList<QMenu*> MainWindow::Menus() const {
    QList<QMenu*> menus;
    for (QAction* a : menuBar()->actions())
        if (a->menu()) menus << a->menu();
    return menus;
}

QAction* MainWindow::Action(int id) const {
    auto it = actions_.find(id);
    return it == actions_.end() ? nullptr : it->second;
}

void MainWindow::closeEvent(QCloseEvent* e) {
    bool normal = !isMinimized() && !isMaximized() && !isFullScreen();
    if (onClose && !onClose(normal)) {
        e->ignore();
        return;
    }
    e->accept();
}

}  // namespace marlo::ui

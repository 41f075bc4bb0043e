// The desktop program as a user meets it: the real main window around the real frame, in each
// state of the line (no port, a serial port open, a telnet connection, a transfer running). Every
// item of every menu is checked against one table of what must be enabled and checked, then every
// enabled item is chosen once and what it opens is seen and closed. The same for the terminal's
// right-click menu and for the accelerators after a menu has been opened.
#include <poll.h>
#include <unistd.h>

#include <QClipboard>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QToolBar>
#include <QToolButton>
#include <QtTest>
#include <fstream>

#include "UiTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "support/PtyPair.h"
#include "support/TelnetTestServer.h"
#include "terminal/ViewModel.h"
#include "text/Encoding.h"
#include "transfer/Protocols.h"
#include "ui/ControlCodeWindow.h"
#include "ui/GuiShell.h"
#include "ui/HexView.h"
#include "ui/MainWindow.h"
#include "ui/SearchWindow.h"
#include "ui/StatusPanes.h"
#include "ui/TerminalPanes.h"
#include "ui/TerminalWidget.h"
#include "ui/ToolBars.h"

using namespace marlo;

namespace {

enum State { NoPort, Serial, Telnet, Transfer, kStates };
const char* const kStateNames[kStates] = {"no port", "serial port open", "telnet connected",
                                          "transfer running"};

// What choosing a command shows.
enum class Shows {
    Modal,        // a dialog of its own
    NotBuiltYet,  // a message that the command is not in this version yet
    Box,          // another message box
    FileChooser,  // the file chooser
    Effect,       // a change of state that `Row::check` sees
    Nothing,      // nothing to see (search again without a search, the range mode)
};

struct Fixture;

struct Row {
    int id;
    // Per state (no port, serial, telnet, transfer): '1' enabled / checked.
    const char* enabled;
    const char* checked;
    Shows shows;
    std::function<bool(Fixture&)> check = {};
};

// Where a user starts: the screen holds some text, nothing is selected, the clipboard is empty.
struct Fixture {
    explicit Fixture(State state) {
        std::string d = dir.path().toStdString();
        std::ofstream(d + "/ports.conf") << pty.SlavePath() << "\n";
        Settings s(d);
        s.Port = state == Serial || state == Transfer ? 1 : 0;
        s.Flow = 0;
        s.ModemInit1 = "ATZ";
        s.ModemInit2 = "";
        for (auto* path : {&s.HistoryDefPath, &s.LogDefPath, &s.DownlodDefPath, &s.UploadDefPath,
                           &s.TxsendDefPath, &s.TxrecvDefPath, &s.MacroDefPath})
            *path = d;
        QGuiApplication::clipboard()->clear();
        frame = std::make_unique<CMainFrame>(platform, s, CMainFrame::Paths{d, d, {}}, nullptr);
        shell = std::make_unique<ui::GuiShell>(platform, false);
        shell->Attach(*frame);
        shell->Show();
        ok = QTest::qWaitForWindowExposed(shell->Window()) && frame->OpenConfiguredPort();
        // A modem on the far end of the serial line answers every command.
        modem.setInterval(10);
        QObject::connect(&modem, &QTimer::timeout, [this] {
            pollfd p{pty.Master(), POLLIN, 0};
            if (::poll(&p, 1, 0) <= 0) return;
            char buf[256];
            ssize_t n = ::read(pty.Master(), buf, sizeof buf);
            if (n <= 0) return;
            farEnd.append(buf, static_cast<size_t>(n));
            if (echo) pty.Write(std::string_view(buf, static_cast<size_t>(n)));
            if (farEnd.find('\r') != std::string::npos && farEnd.find("AT") != std::string::npos)
                pty.Write("\r\nOK\r\n");
        });
        modem.start();
        frame->ProcessReceived(reinterpret_cast<const uint8_t*>("login: guest\r\n"), 14);
        if (state == Telnet) {
            server = std::make_unique<test::TelnetTestServer>();
            frame->ConnectTelnet("127.0.0.1", server->Port());
            // The connect runs through the event loop; the server's accept only takes it in.
            ok = ok && QTest::qWaitFor([this] { return frame->Conn().connected.load(); }, 5000) &&
                 server->Accept();
        }
        if (state == Transfer)
            ok = ok && frame->Transfer().StartTransfer(kDownload, kProtoXmodem, d + "/got.bin");
        platform.boxes.clear();
    }
    ~Fixture() {
        modem.stop();
        while (QWidget* open = QApplication::activeModalWidget()) open->close();
        shell.reset();
        frame.reset();
    }
    ui::MainWindow* Window() { return shell->Window(); }
    ui::TerminalPanes* Panes() { return shell->Panes(); }
    // Chooses the command as the menu would; a dialog it opens is noted and closed.
    void Choose(int id) {
        modalTitle.clear();
        test::OnNextModal(
            [this](QWidget* w) {
                modalTitle = w->windowTitle();
                w->close();
            },
            &missedModal);
        Window()->Action(id)->trigger();
        // A command that opened no dialog leaves the watcher waiting: a dialog that never comes.
        QTest::qWait(20);
    }

    QTemporaryDir dir;
    test::PtyPair pty;
    test::TestPlatform platform;
    std::unique_ptr<CMainFrame> frame;
    std::unique_ptr<ui::GuiShell> shell;
    std::unique_ptr<test::TelnetTestServer> server;
    QTimer modem;
    std::string farEnd;
    QString modalTitle;
    bool missedModal = false;
    bool echo = false;  // a host that echoes what it is sent
    bool ok = false;
};

bool BoxSays(Fixture& f, const char* text) {
    for (const auto& b : f.platform.boxes)
        if (b.find(text) != std::string::npos) return true;
    return false;
}

// The host window opens, except while online, when a message says why it does not.
bool HostWindowOrOnlineMessage(Fixture& f) {
    return f.frame->Conn().connected ? !f.platform.boxes.empty() : !f.modalTitle.isEmpty();
}

// Every command of the menu bar with its state in each state of the line.
const std::vector<Row>& MenuTable() {
    static const std::vector<Row> rows = {
        // ﾌｧｲﾙ
        {ID_UPLOAD, "0110", "0000", Shows::Modal},
        {ID_DOWNLOAD, "0110", "0000", Shows::Modal},
        {ID_TEXT_SEND, "0110", "0000", Shows::FileChooser},
        {ID_TEXT_RECEIVE, "1110", "0000", Shows::Modal},
        {ID_LOG_TOGGLE, "1111", "0000", Shows::Modal},
        {ID_LOG_BROWSER, "1111", "0000", Shows::Modal},
        {ID_EDITOR, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.platform.processes.size() == 1 && f.platform.boxes.empty(); }},
        {ID_COMMAND_LINE, "1111", "0000", Shows::Modal},
        {ID_LZH_EXTRACT, "1111", "0000", Shows::Modal},
        {ID_APPLICATION, "1111", "0000", Shows::Modal},
        {ID_APP_EXIT, "1111", "0000", Shows::Effect, [](Fixture& f) { return f.frame->Closing(); }},
        // 編集: nothing selected, nothing on the clipboard
        {ID_EDIT_COPY, "0000", "0000", Shows::Nothing},
        {ID_EDIT_COPY_FILE, "0000", "0000", Shows::Nothing},
        {ID_EDIT_COPY_QUOTE, "0000", "0000", Shows::Nothing},
        {ID_EDIT_PASTE, "0000", "0000", Shows::Nothing},
        {ID_EDIT_SELECT_ALL, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.Panes()->ActiveModel().CanCopy(); }},
        {ID_EDIT_RANGE, "1111", "0000", Shows::Nothing},
        {ID_EDIT_SEND_NAME, "0110", "0000", Shows::FileChooser},
        {ID_EDIT_SEARCH, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.Panes()->Search() && f.Panes()->Search()->isVisible(); }},
        {ID_EDIT_SEARCH_UP, "1111", "0000", Shows::Nothing},
        {ID_EDIT_SEARCH_DOWN, "1111", "0000", Shows::Nothing},
        {ID_SPLIT, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.Panes()->PaneCount() == 2; }},
        {ID_CLEAR_BUFFER, "1111", "0000", Shows::Effect,
         [](Fixture& f) {
             return !f.Panes()->ActivePane()->VisibleText().value(0).startsWith("login");
         }},
        {ID_CONTROL_CODE, "1110", "0000", Shows::Effect,
         [](Fixture& f) {
             return f.shell->ControlCodes() && f.shell->ControlCodes()->isVisible();
         }},
        // 回線
        {ID_HOST_WINDOW, "1111", "0000", Shows::Effect, HostWindowOrOnlineMessage},
        {ID_PHONE_CONNECT, "0100", "0000", Shows::Modal},
        {ID_TELNET_CONNECT, "1100", "0000", Shows::Modal},
        {ID_HANGUP, "0010", "0000", Shows::Effect,
         [](Fixture& f) { return !f.frame->Conn().connected && !f.frame->LineOpen(); }},
        {ID_BREAK, "0101", "0000", Shows::Nothing},
        {ID_DTR_TOGGLE, "0101", "0101", Shows::Effect,
         [](Fixture& f) { return !f.frame->Comm().Dtr() && f.frame->Comm().Rts(); }},
        {ID_RTS_TOGGLE, "0101", "0101", Shows::Effect,
         [](Fixture& f) { return f.frame->Comm().Dtr() && !f.frame->Comm().Rts(); }},
        {ID_DTR_PULSE, "0101", "0000", Shows::Effect,
         [](Fixture& f) { return f.frame->Comm().Dtr() && !f.frame->Comm().Pulsing(); }},
        {ID_MODEM_INIT, "0100", "0000", Shows::Effect,
         [](Fixture& f) {
             return f.farEnd.find("ATZ\r") != std::string::npos && f.platform.boxes.empty();
         }},
        {ID_PORT_TOGGLE, "0100", "0101", Shows::Effect,
         [](Fixture& f) { return !f.frame->PortOpen(); }},
        // ｵﾌﾟｼｮﾝ
        {ID_COMM_SETTINGS, "1110", "0000", Shows::Modal},
        {ID_ENV_SETTINGS, "1111", "0000", Shows::Modal},
        {ID_KEY_SETTINGS, "1111", "0000", Shows::Modal},
        {ID_DISPLAY_SETTINGS, "1111", "0000", Shows::Modal},
        {ID_INPUT_BAR, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.Window()->InputBarVisible(); }},
        {ID_HISTORY, "1111", "0000", Shows::Modal},
        // ﾏｸﾛ: no macro runs
        {ID_MACRO_RUN, "1111", "0000", Shows::FileChooser},
        {ID_MACRO_STOP, "0000", "0000", Shows::Nothing},
        {ID_MACRO_PAUSE, "0000", "0000", Shows::Nothing},
        {ID_MACRO_EDIT, "1111", "0000", Shows::FileChooser},
        {ID_MACRO_DEBUGGER, "1111", "0000", Shows::Effect,
         [](Fixture&) {
             for (QWidget* w : QApplication::topLevelWidgets())
                 if (w->objectName() == "macroDebugger" && w->isVisible()) return true;
             return false;
         }},
        // 表示
        {ID_VIEW_TOOLBAR, "1111", "1111", Shows::Effect,
         [](Fixture& f) { return !f.shell->ToolBars()->Visible(0); }},
        {ID_VIEW_TOOLBAR2, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.shell->ToolBars()->Visible(1); }},
        {ID_VIEW_TOOLBAR3, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.shell->ToolBars()->Visible(2); }},
        {ID_VIEW_STATUSBAR, "1111", "1111", Shows::Effect,
         [](Fixture& f) { return !f.Window()->StatusBarVisible(); }},
        {ID_VIEW_FUNCTIONBAR, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.Window()->FunctionBarVisible(); }},
        {ID_VIEW_HEX, "1111", "0000", Shows::Effect,
         [](Fixture& f) {
             return f.shell->Hex()->isVisible() && f.shell->Hex()->VisibleText().value(0).contains(
                                                       QStringLiteral("|login: guest.."));
         }},
        // ﾍﾙﾌﾟ
        {ID_HELP, "1111", "0000", Shows::NotBuiltYet},
        {ID_ABOUT, "1111", "0000", Shows::Box, [](Fixture& f) { return BoxSays(f, "Version"); }},
    };
    return rows;
}

// The right-click menu: its entries, by state.
const std::vector<Row>& ContextTable() {
    static const std::vector<Row> rows = {
        {ID_EDIT_COPY, "0000", "0000", Shows::Nothing},
        {ID_EDIT_COPY_FILE, "0000", "0000", Shows::Nothing},
        {ID_EDIT_COPY_QUOTE, "0000", "0000", Shows::Nothing},
        {ID_HOST_WINDOW, "1111", "0000", Shows::Effect, HostWindowOrOnlineMessage},
        {ID_PHONE_CONNECT, "0100", "0000", Shows::Modal},
        {ID_TELNET_CONNECT, "1100", "0000", Shows::Modal},
        {ID_HANGUP, "0010", "0000", Shows::Nothing},
        {ID_EDIT_PASTE, "0000", "0000", Shows::Nothing},
        {ID_EDIT_SEND_NAME, "0110", "0000", Shows::FileChooser},
        {ID_EDIT_SELECT_ALL, "1111", "0000", Shows::Nothing},
        {ID_EDIT_SEARCH, "1111", "0000", Shows::Nothing},
        {ID_TERM_DUMB, "1111", "1111", Shows::Nothing},
        {ID_TERM_VT100, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.frame->S().Emulation == 1; }},
        {ID_TERM_XTERM, "1111", "0000", Shows::Effect,
         [](Fixture& f) { return f.frame->S().Emulation == 3; }},
        {ID_TERM_SETTINGS, "1111", "0000", Shows::Modal},
    };
    return rows;
}

bool Want(const char* flags, State s) {
    return flags[s] == '1';
}

// Opens the right-click menu of the pane and runs `act` on it while it is open.
void WithContextMenu(Fixture& f, const std::function<void(QMenu*)>& act) {
    QWidget* pane = f.Panes()->ActivePane();
    bool seen = false;
    QTimer::singleShot(0, [&] {
        if (!QTest::qWaitFor([] { return QApplication::activePopupWidget() != nullptr; }, 2000))
            return;
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        seen = true;
        act(menu);
    });
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(20, 20),
                            pane->mapToGlobal(QPoint(20, 20)));
    QCoreApplication::sendEvent(static_cast<ui::TerminalWidget*>(pane)->viewport(), &event);
    QVERIFY2(seen, "the right-click menu did not open");
}

QAction* Find(QMenu* menu, int id) {
    for (QAction* a : menu->actions())
        if (!a->isSeparator() && a->data().toInt() == id) return a;
    return nullptr;
}

}  // namespace

class MenuWalkTest : public QObject {
    Q_OBJECT

  private slots:
    // Text receive from the menu: the dialog names the file and the mode, the item is checked
    // while the file takes what the terminal shows, and choosing it again closes the file. First
    // of the slots: the walks below leave dialog watchers behind that would take its dialog.
    void textReceiveSavesWhatArrivesUntilChosenAgain() {
        Fixture f(Serial);
        QVERIFY(f.ok);
        const std::string path = f.dir.path().toStdString() + "/recv.txt";
        std::ofstream(path) << "kept\r\n";
        test::OnNextModal([&f](QWidget* w) {
            f.modalTitle = w->windowTitle();
            test::Child<QLineEdit>(w, "logName")->setText(QStringLiteral("recv.txt"));
            test::Child<QRadioButton>(w, "logAppend")->setChecked(true);
            static_cast<QDialog*>(w)->accept();
        });
        f.Window()->Action(ID_TEXT_RECEIVE)->trigger();
        QTRY_COMPARE(f.modalTitle, QStringLiteral("テキスト受信ファイル"));
        f.Window()->RefreshCommands();
        QVERIFY(f.Window()->Action(ID_TEXT_RECEIVE)->isChecked());
        f.pty.Write("hello\r\n");
        QTRY_VERIFY(f.Panes()
                        ->ActivePane()
                        ->VisibleText()
                        .join(QLatin1Char('\n'))
                        .contains(QStringLiteral("hello")));
        f.Choose(ID_TEXT_RECEIVE);
        f.Window()->RefreshCommands();
        QVERIFY(!f.Window()->Action(ID_TEXT_RECEIVE)->isChecked());
        QVERIFY(f.modalTitle.isEmpty());  // closing asks nothing
        std::ifstream in(path, std::ios::binary);
        QCOMPARE(std::string(std::istreambuf_iterator<char>(in), {}),
                 std::string("kept\r\nhello\r\n"));
    }

    void everyItemIsEnabledAndCheckedAsTheStateSays_data() { States(); }
    void everyItemIsEnabledAndCheckedAsTheStateSays() {
        QFETCH(int, state);
        Fixture f(static_cast<State>(state));
        QVERIFY(f.ok);
        std::set<int> seen;
        for (QMenu* menu : f.Window()->Menus()) {
            // Opened as a user opens it: the items are brought up to date then.
            menu->popup(f.Window()->mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            for (QAction* a : menu->actions()) {
                if (a->isSeparator() || a->menu()) continue;
                const int id = a->data().toInt();
                const Row* row = RowOf(MenuTable(), id);
                QVERIFY2(row,
                         qPrintable(QStringLiteral("%1 is missing from the table").arg(a->text())));
                seen.insert(id);
                const QString what = a->text() + QStringLiteral(" in state ") +
                                     QString::fromLatin1(kStateNames[state]);
                QVERIFY2(a->isEnabled() == Want(row->enabled, static_cast<State>(state)),
                         qPrintable(QStringLiteral("enabled: ") + what));
                QVERIFY2(a->isChecked() == Want(row->checked, static_cast<State>(state)),
                         qPrintable(QStringLiteral("checked: ") + what));
            }
            menu->hide();
        }
        // Every command of the table is in a menu.
        for (const Row& row : MenuTable())
            QVERIFY2(seen.count(row.id), qPrintable(QString::number(row.id)));
    }

    void everyEnabledItemShowsWhatItDoes_data() { States(); }
    void everyEnabledItemShowsWhatItDoes() {
        QFETCH(int, state);
        for (const Row& row : MenuTable()) {
            if (!Want(row.enabled, static_cast<State>(state))) continue;
            Fixture f(static_cast<State>(state));
            QVERIFY(f.ok);
            const QString what = f.Window()->Action(row.id)->text() + QStringLiteral(" in state ") +
                                 QString::fromLatin1(kStateNames[state]);
            f.Choose(row.id);
            QVERIFY2(Shown(f, row), qPrintable(what));
        }
    }

    void theRightClickMenuFollowsTheSameRules_data() { States(); }
    void theRightClickMenuFollowsTheSameRules() {
        QFETCH(int, state);
        Fixture f(static_cast<State>(state));
        QVERIFY(f.ok);
        WithContextMenu(f, [&](QMenu* menu) {
            for (const Row& row : ContextTable()) {
                QAction* a = Find(menu, row.id);
                QVERIFY2(a, qPrintable(QString::number(row.id)));
                const QString what = a->text() + QStringLiteral(" in state ") +
                                     QString::fromLatin1(kStateNames[state]);
                QVERIFY2(a->isEnabled() == Want(row.enabled, static_cast<State>(state)),
                         qPrintable(QStringLiteral("enabled: ") + what));
                QVERIFY2(a->isChecked() == Want(row.checked, static_cast<State>(state)),
                         qPrintable(QStringLiteral("checked: ") + what));
            }
            menu->close();
        });
        // Each enabled entry that opens something, chosen from the menu.
        for (const Row& row : ContextTable()) {
            if (!Want(row.enabled, static_cast<State>(state)) || row.shows == Shows::Nothing)
                continue;
            Fixture g(static_cast<State>(state));
            QVERIFY(g.ok);
            test::OnNextModal(
                [&g](QWidget* w) {
                    g.modalTitle = w->windowTitle();
                    w->close();
                },
                &g.missedModal);
            WithContextMenu(g, [&](QMenu* menu) {
                QAction* a = Find(menu, row.id);
                menu->setActiveAction(a);
                QTest::keyClick(menu, Qt::Key_Return);
            });
            QTest::qWait(20);
            QVERIFY2(Shown(g, row), qPrintable(QString::number(row.id)));
        }
    }

    // An accelerator works through the same rule after a menu has been opened and closed (a
    // menu's refresh once left every command it disabled dead for its accelerator).
    void acceleratorsWorkAfterAMenuWasOpened() {
        {
            Fixture f(NoPort);
            QVERIFY(f.ok);
            OpenAndCloseEveryMenu(f);
            QTest::keyClick(f.Window(), Qt::Key_I, Qt::AltModifier);  // Telnet接続
            QVERIFY(WaitModal(f));
            Activate(f);
            QTest::keyClick(f.Window(), Qt::Key_1, Qt::AltModifier);  // １行入力ﾓｰﾄﾞ
            QVERIFY(f.Window()->InputBarVisible());
        }
        {
            Fixture f(Serial);
            QVERIFY(f.ok);
            OpenAndCloseEveryMenu(f);
            for (Qt::Key key : {Qt::Key_T, Qt::Key_U}) {  // 電話接続, ｱｯﾌﾟﾛｰﾄﾞ
                f.modalTitle.clear();
                test::OnNextModal([&f](QWidget* w) {
                    f.modalTitle = w->windowTitle();
                    w->close();
                });
                QTest::keyClick(f.Window(), key, Qt::AltModifier);
                QVERIFY2(QTest::qWaitFor([&f] { return !f.modalTitle.isEmpty(); }, 3000),
                         qPrintable(QKeySequence(key).toString()));
                Activate(f);
            }
        }
        {
            Fixture f(Telnet);
            QVERIFY(f.ok);
            OpenAndCloseEveryMenu(f);
            QTest::keyClick(f.Window(), Qt::Key_D, Qt::AltModifier);  // 回線切断
            QTRY_VERIFY(!f.frame->Conn().connected);
            // Disabled now: the accelerator does nothing.
            QTest::keyClick(f.Window(), Qt::Key_D, Qt::AltModifier);
            QVERIFY(f.platform.boxes.empty() || BoxSays(f, "切断"));
        }
    }

    // What a selection and the clipboard turn on.
    void copyAndPasteFollowTheSelectionAndTheClipboard() {
        Fixture f(Serial);
        QVERIFY(f.ok);
        f.echo = true;  // a paste waits for the echo of each line
        f.Choose(ID_EDIT_SELECT_ALL);
        f.Window()->RefreshCommands();
        for (int id : {ID_EDIT_COPY, ID_EDIT_COPY_FILE, ID_EDIT_COPY_QUOTE})
            QVERIFY(f.Window()->Action(id)->isEnabled());
        f.Choose(ID_EDIT_COPY);
        QVERIFY(QGuiApplication::clipboard()->text().startsWith(QStringLiteral("login: guest")));
        f.Window()->RefreshCommands();
        QVERIFY(f.Window()->Action(ID_EDIT_PASTE)->isEnabled());
        f.Choose(ID_EDIT_PASTE);
        QTRY_VERIFY(f.farEnd.find("login: guest") != std::string::npos);
    }

    // The lamps of the serial port's control lines stay dark during a telnet connection.
    void controlLineLampsAreDarkOverTelnet() {
        Fixture f(Telnet);
        QVERIFY(f.ok);
        QCOMPARE(f.frame->LampBits() & (kLampDtr | kLampRts), 0u);
        Fixture g(Serial);
        QVERIFY(g.ok);
        QCOMPARE(g.frame->LampBits() & (kLampDtr | kLampRts), kLampDtr | kLampRts);
    }

    // The tool bar's buttons follow their commands' state and send them; the status bar shows its
    // default panes in order, and a click on the DTR lamp drops that line.
    void theBarsAsTheUserMeetsThem() {
        Fixture f(Serial);
        QVERIFY(f.ok);
        QToolBar* bar = f.shell->ToolBars()->Bar(0);
        QVERIFY(bar->isVisible());
        QVERIFY(!f.shell->ToolBars()->Bar(2)->isVisible());
        int buttons = 0, separators = 0;
        QAction* history = nullptr;
        for (QAction* a : bar->actions()) {
            (a->isSeparator() ? separators : buttons)++;
            if (a->data().toInt() == ID_HISTORY) history = a;
            if (a->data().toInt() == ID_HANGUP) QVERIFY(!a->isEnabled());  // not connected
        }
        QCOMPARE(buttons, 13);
        QCOMPARE(separators, 4);
        QVERIFY(history && !history->icon().isNull());
        QCOMPARE(history->toolTip(), QStringLiteral("接続履歴"));
        auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(history));
        QVERIFY(button);
        test::OnNextModal([&f](QWidget* w) {
            f.modalTitle = w->windowTitle();
            w->close();
        });
        QTest::mouseClick(button, Qt::LeftButton);
        QVERIFY(QTest::qWaitFor([&f] { return !f.modalTitle.isEmpty(); }, 3000));

        ui::StatusPanes* status = f.Window()->Status();
        QCOMPARE(status->Items(), (std::vector<int>{kStatusLamps, kStatusConnectTime,
                                                    kStatusDateTime, kStatusMessage}));
        QWidget* lamps = status->Lamps();
        QVERIFY(lamps->x() < status->Pane(kStatusConnectTime)->x());
        QVERIFY(status->Pane(kStatusConnectTime)->x() < status->Pane(kStatusDateTime)->x());
        QVERIFY(status->Pane(kStatusDateTime)->x() < status->Pane(kStatusMessage)->x());
        QTRY_COMPARE(status->Pane(kStatusConnectTime)->text(), QStringLiteral("00:00:00"));
        QVERIFY(status->Pane(kStatusDateTime)->text().contains(QLatin1Char('(')));
        // The message pane takes what is left of the width.
        QVERIFY(status->Pane(kStatusMessage)->width() > status->width() / 3);
        QCOMPARE(f.frame->LampBits() & kLampDtr, kLampDtr);
        QTest::mouseClick(lamps, Qt::LeftButton, {}, QPoint(10, lamps->height() / 2));
        QCOMPARE(f.frame->LampBits() & kLampDtr, 0u);
        QTest::mouseClick(lamps, Qt::LeftButton, {}, QPoint(10, lamps->height() / 2));
        QCOMPARE(f.frame->LampBits() & kLampDtr, kLampDtr);
        test::SaveShot(f.Window(), QStringLiteral("main-window-bars"));
    }

    // A macro chosen from the menu drives the line; pause holds it, stop ends its wait at once.
    void aMacroRunsPausesAndStopsFromTheMenu() {
        Fixture f(Serial);
        QVERIFY(f.ok);
        const std::string path = f.dir.path().toStdString() + "/logon.mac";
        std::ofstream(path) << "send \"hello^M\"\r"
                               "wait \"go\" /T60\r"
                               "send \"after^M\"\r"
                               "wait \"never\" /T600\r"
                               "send \"too late^M\"\r";
        f.platform.fileAnswer = path;
        f.Choose(ID_MACRO_RUN);
        QTRY_VERIFY(f.farEnd.find("hello\r") != std::string::npos);
        f.Window()->RefreshCommands();
        QVERIFY(f.Window()->Action(ID_MACRO_STOP)->isEnabled());
        QVERIFY(f.Window()->Action(ID_MACRO_PAUSE)->isEnabled());

        // A second start while one runs is refused and leaves the first alone.
        f.Choose(ID_MACRO_RUN);
        QTRY_VERIFY(BoxSays(f, "ﾏｸﾛは実行中です"));

        // Paused, the macro sees its text but does not go on until it is resumed.
        f.Choose(ID_MACRO_PAUSE);
        f.Window()->RefreshCommands();
        QVERIFY(f.Window()->Action(ID_MACRO_PAUSE)->isChecked());
        f.pty.Write("go\r\n");
        QTest::qWait(300);
        QVERIFY(f.farEnd.find("after") == std::string::npos);
        f.Choose(ID_MACRO_PAUSE);
        QTRY_VERIFY(f.farEnd.find("after\r") != std::string::npos);

        // Stop ends the ten-minute wait at once; the line after it never runs.
        auto stopped = std::chrono::steady_clock::now();
        f.Choose(ID_MACRO_STOP);
        QVERIFY(std::chrono::steady_clock::now() - stopped < std::chrono::seconds(5));
        QTRY_VERIFY(!f.frame->macroRunning.load());
        QTest::qWait(100);
        QVERIFY(f.farEnd.find("too late") == std::string::npos);
        f.Window()->RefreshCommands();
        QVERIFY(!f.Window()->Action(ID_MACRO_STOP)->isEnabled());

        // An error names its line; `start` hands over to the next macro.
        const std::string next = f.dir.path().toStdString() + "/next.mac";
        std::ofstream(next) << "send \"next^M\"\rbogus\r";
        std::ofstream(path) << "start \"" << next << "\"\r";
        f.platform.boxes.clear();
        f.Choose(ID_MACRO_RUN);
        QTRY_VERIFY(f.farEnd.find("next\r") != std::string::npos);
        QTRY_VERIFY(BoxSays(f, "認識できないコマンド(bogus)です。 [2行目]"));
        QTRY_VERIFY(!f.frame->macroRunning.load());  // the box shows before the thread has ended

        // The debugger shows the lines of the macro that runs, the running one selected.
        std::ofstream(path) << "send \"one^M\"\rwait \"never\" /T600\r";
        f.Choose(ID_MACRO_RUN);
        f.Choose(ID_MACRO_DEBUGGER);
        QWidget* debugger = nullptr;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (w->objectName() == "macroDebugger") debugger = w;
        QVERIFY(debugger);
        auto* lines = debugger->findChild<QListWidget*>(QStringLiteral("lines"));
        QTRY_COMPARE(lines->count(), 2);
        QTRY_COMPARE(lines->currentRow(), 1);
        debugger->findChild<QPushButton*>(QStringLiteral("stop"))->click();
        QTRY_VERIFY(!f.frame->macroRunning.load());
        debugger->close();

        // A user key set to run a macro file runs it.
        std::ofstream(path) << "send \"from the key^M\"\r";
        f.frame->S().UserKey[0] = path;
        f.frame->S().UserKeyK[0] = 1;
        f.Panes()->ActiveModel().Keys().RunUserKey(0);
        QTRY_VERIFY(f.farEnd.find("from the key\r") != std::string::npos);
    }

    // The user applications edited in their dialog appear in the file menu under their titles and
    // start their commands; a typed command line starts too; failures are told.
    void externalProgramsStartFromTheMenu() {
        DrainModalWatchers();
        Fixture f(Serial);
        QVERIFY(f.ok);
        const int first = f.Window()->Menus()[0]->actions().size();
        test::OnNextModal([](QWidget* w) {
            auto* list = test::Child<QListWidget>(w, "appList");
            QCOMPARE(list->count(), 7);
            list->setCurrentRow(1);
            test::Child<QLineEdit>(w, "appTitle")->setText(QStringLiteral("メモ & 予定"));
            test::Child<QLineEdit>(w, "appCommand")
                ->setText(QStringLiteral("'/opt/my tools/memo' --new"));
            test::Child<QPushButton>(w, "appUpdate")->click();
            test::Child<QPushButton>(w, "appUp")->click();  // to the first place
            QCOMPARE(list->item(0)->text(), QStringLiteral("1: メモ & 予定"));
            test::Press(*w);
        });
        f.Window()->Action(ID_APPLICATION)->trigger();
        QCOMPARE(f.frame->S().AppTitle[0], Utf8ToSjis("メモ & 予定"));
        QAction* app = f.Window()->Action(900);
        QVERIFY(app);
        QCOMPARE(app->text(), QStringLiteral("メモ && 予定"));
        QCOMPARE(f.Window()->Menus()[0]->actions().size(), first + 1);
        // The program starts in its own folder. (Triggered, not chosen: Choose leaves a watcher
        // for a dialog that would close the next one.)
        app->trigger();
        QCOMPARE(f.platform.processes.back(),
                 (std::vector<std::string>{"/opt/my tools/memo", "--new"}));
        QCOMPARE(f.platform.workDirs.back(), std::string("/opt/my tools"));

        // A typed command line, its program chosen with the browse button.
        f.platform.fileAnswer = "/usr/local/my tools/run";
        test::OnNextModal([](QWidget* w) {
            auto* line = test::Child<QLineEdit>(w, "commandLine");
            test::Child<QPushButton>(w, "commandBrowse")->click();
            QCOMPARE(line->text(), QStringLiteral("\"/usr/local/my tools/run\""));
            line->setText(line->text() + QStringLiteral(" -v 'a b'"));
            test::Press(*w);
        });
        f.Window()->Action(ID_COMMAND_LINE)->trigger();
        QCOMPARE(f.platform.processes.back(),
                 (std::vector<std::string>{"/usr/local/my tools/run", "-v", "a b"}));
        QCOMPARE(f.platform.workDirs.back(), std::string("/usr/local/my tools"));

        // Programs that do not start say so, each with its own message.
        f.platform.startSucceeds = false;
        app->trigger();
        QVERIFY(BoxSays(f, "コマンドの実行に失敗しました."));
        f.Window()->Action(ID_EDITOR)->trigger();
        QVERIFY(BoxSays(f, "エディタの起動に失敗しました."));
        const size_t started = f.platform.processes.size();
        test::OnNextModal([](QWidget* w) { w->close(); });  // cancelled: nothing starts
        f.Window()->Action(ID_COMMAND_LINE)->trigger();
        QCOMPARE(f.platform.processes.size(), started);
    }

  private:
    // Choose leaves a watcher for a dialog that may never come; one still waiting from an
    // earlier test would close this test's next dialog. Dialogs are shown until one stays.
    static void DrainModalWatchers() {
        for (int i = 0; i < 100; ++i) {
            QDialog d;
            bool stayed = false;
            QTimer::singleShot(100, &d, [&] {
                stayed = true;
                d.close();
            });
            d.exec();
            if (stayed) return;
        }
    }
    static void States() {
        QTest::addColumn<int>("state");
        for (int s = 0; s < kStates; ++s) QTest::newRow(kStateNames[s]) << s;
    }
    static const Row* RowOf(const std::vector<Row>& table, int id) {
        for (const Row& r : table)
            if (r.id == id) return &r;
        return nullptr;
    }
    // Accelerators reach the window that is active, as after a dialog closed.
    static void Activate(Fixture& f) {
        QApplication::setActiveWindow(f.Window());
        QVERIFY(QTest::qWaitForWindowActive(f.Window()));
    }
    static bool WaitModal(Fixture& f) {
        return QTest::qWaitFor([&f] { return !f.modalTitle.isEmpty(); }, 3000);
    }
    static void OpenAndCloseEveryMenu(Fixture& f) {
        for (QMenu* menu : f.Window()->Menus()) {
            menu->popup(f.Window()->mapToGlobal(QPoint(0, 0)));
            QVERIFY(QTest::qWaitForWindowExposed(menu));
            menu->hide();
        }
        Activate(f);
        // The next accelerator may open a dialog: note it and close it.
        f.modalTitle.clear();
        test::OnNextModal([&f](QWidget* w) {
            f.modalTitle = w->windowTitle();
            w->close();
        });
    }
    static bool Shown(Fixture& f, const Row& row) {
        switch (row.shows) {
            case Shows::Modal:
                return QTest::qWaitFor([&f] { return !f.modalTitle.isEmpty(); }, 3000);
            case Shows::NotBuiltYet:
                return BoxSays(f, "まだ使えません");
            case Shows::Box:
            case Shows::Effect:
                return QTest::qWaitFor([&] { return row.check(f); }, 3000);
            case Shows::FileChooser:
                return !f.platform.fileTitles.empty();
            case Shows::Nothing:
                return f.platform.boxes.empty();
        }
        return false;
    }
};

QTEST_MAIN(MenuWalkTest)
#include "MenuWalkTest.moc"

#include <QClipboard>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QScrollBar>
#include <QtTest>

#include "app/CommandIds.h"
#include "settings/Settings.h"
#include "terminal/LineStamps.h"
#include "terminal/Terminal.h"
#include "terminal/TerminalHost.h"
#include "terminal/ViewModel.h"
#include "text/Encoding.h"
#include "ui/QtPlatform.h"
#include "ui/TerminalPanes.h"
#include "ui/TerminalWidget.h"

using namespace marlo;
using namespace marlo::ui;

namespace {

struct Host : ITerminalHost {
    bool WriteConverted(const std::string& sjis) override {
        sent += sjis;
        return true;
    }
    bool WriteUnheld(const std::string& utf8) override {
        sent += "{" + utf8 + "}";
        return true;
    }
    void Beep() override { ++beeps; }
    std::string sent;
    int beeps = 0;
};

void Feed(Terminal& t, const std::string& bytes) {
    t.ProcessReceived(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

// A terminal with its panes, shown.
struct Rig {
    explicit Rig(int emulation) : terminal((settings.Emulation = emulation, settings)) {
        settings.FKLocal = 0;
        panes = std::make_unique<TerminalPanes>(terminal, settings, host, platform);
        panes->resize(900, 520);
        panes->show();
        panes->Pane(0)->setFocus();
        QCoreApplication::processEvents();
    }
    TerminalWidget* pane() { return panes->Pane(0); }
    Settings settings;
    Terminal terminal;
    Host host;
    QtPlatform platform;
    std::unique_ptr<TerminalPanes> panes;
};

}  // namespace

class TerminalViewTest : public QObject {
    Q_OBJECT
  private slots:
    void typingSendsTheBytesOfEachMode();
    void inputMethodTextIsSentAsShiftJis();
    void altCCopiesTheMouseSelection();
    void splitShowsTheSameBuffer();
    void pasteIsPacedByTheEcho();
    void rangeSelectionAndSearchFromTheKeyboard();
    void timeColumnShowsEachLinesTimeBesideTheCells();
    void screenshot();
};

void TerminalViewTest::typingSendsTheBytesOfEachMode() {
    Rig dumb(0);
    QTest::keyClicks(dumb.pane(), "ls");
    QTest::keyClick(dumb.pane(), Qt::Key_Return);
    QTest::keyClick(dumb.pane(), Qt::Key_C, Qt::ControlModifier);
    QTest::keyClick(dumb.pane(), Qt::Key_Escape);  // a local key in the dumb terminal
    QTest::keyClick(dumb.pane(), Qt::Key_F5);      // no effect there
    QCOMPARE(QByteArray::fromStdString(dumb.host.sent), QByteArray("ls\r\x03"));

    Rig vt(1);
    QTest::keyClick(vt.pane(), Qt::Key_Up);
    QTest::keyClick(vt.pane(), Qt::Key_F5);
    QTest::keyClick(vt.pane(), Qt::Key_F10);
    QTest::keyClick(vt.pane(), Qt::Key_Tab);
    QTest::keyClick(vt.pane(), Qt::Key_Escape);
    QCOMPARE(QByteArray::fromStdString(vt.host.sent), QByteArray("\x1bOA\x1b[15~\x1b[21~\t\x1b"));

    Rig xterm(3);
    for (auto key : {Qt::Key_Up, Qt::Key_Home, Qt::Key_Insert, Qt::Key_Delete, Qt::Key_Backspace,
                     Qt::Key_F1, Qt::Key_F5})
        QTest::keyClick(xterm.pane(), key);
    QTest::keyClick(xterm.pane(), Qt::Key_Left, Qt::ControlModifier);
    QTest::keyClick(xterm.pane(), Qt::Key_H, Qt::ControlModifier);
    QCOMPARE(QByteArray::fromStdString(xterm.host.sent),
             QByteArray("\x1b[A\x1b[H\x1b[2~\x1b[3~\x7f\x1bOP\x1b[15~\x1b[1;5D\b"));
    // The host asks for the application cursor keys, and a paste is bracketed once it asks.
    xterm.host.sent.clear();
    Feed(xterm.terminal, "\x1b[?1h\x1b[?2004h");
    QTest::keyClick(xterm.pane(), Qt::Key_Up);
    QGuiApplication::clipboard()->setText(QStringLiteral("ls"));
    QTest::keyClick(xterm.pane(), Qt::Key_V, Qt::AltModifier);
    QCOMPARE(QByteArray::fromStdString(xterm.host.sent), QByteArray("\x1bOA\x1b[200~ls\x1b[201~"));
}

void TerminalViewTest::inputMethodTextIsSentAsShiftJis() {
    Rig rig(1);
    QInputMethodEvent compose(QStringLiteral("かん"), {});
    QCoreApplication::sendEvent(rig.pane(), &compose);
    QCOMPARE(rig.pane()->Preedit(), QStringLiteral("かん"));
    QCOMPARE(QByteArray::fromStdString(rig.host.sent), QByteArray());
    QInputMethodEvent commit;
    commit.setCommitString(QStringLiteral("漢"));
    QCoreApplication::sendEvent(rig.pane(), &commit);
    QCOMPARE(QByteArray::fromStdString(rig.host.sent), QByteArray("\x8a\xbf"));
    QVERIFY(rig.pane()->Preedit().isEmpty());
    // What Shift-JIS cannot hold goes to the host as UTF-8.
    commit.setCommitString(QStringLiteral("a\u00e9\U0001F600"));
    QCoreApplication::sendEvent(rig.pane(), &commit);
    QCOMPARE(QByteArray::fromStdString(rig.host.sent), QByteArray("\x8a\xbf"
                                                                  "a{\xC3\xA9\xF0\x9F\x98\x80}"));
}

void TerminalViewTest::altCCopiesTheMouseSelection() {
    Rig rig(0);
    Feed(rig.terminal, "hello \x93\xfa\x96\x7b world\r\n");
    TerminalWidget* w = rig.pane();
    const int y = w->LineHeight() / 2;
    QTest::mousePress(w->viewport(), Qt::LeftButton, {}, QPoint(0, y));
    QTest::mouseMove(w->viewport(), QPoint(w->CellWidth() * 10 + 1, y));
    QTest::mouseRelease(w->viewport(), Qt::LeftButton, {}, QPoint(w->CellWidth() * 10 + 1, y));
    QVERIFY(rig.panes->CommandEnabled(ID_EDIT_COPY));
    QTest::keyClick(w, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("hello 日本"));
    QVERIFY(!rig.panes->CommandEnabled(ID_EDIT_COPY));  // the copy dropped the selection
    QCOMPARE(QByteArray::fromStdString(rig.host.sent), QByteArray());
}

void TerminalViewTest::splitShowsTheSameBuffer() {
    Rig rig(0);
    for (int i = 0; i < 40; ++i) Feed(rig.terminal, "line " + std::to_string(i) + "\r\n");
    QVERIFY(rig.panes->RunCommand(ID_SPLIT));
    QCOMPARE(rig.panes->PaneCount(), 2);
    QCoreApplication::processEvents();
    Feed(rig.terminal, "both panes\r\n");
    QStringList top = rig.panes->Pane(0)->VisibleText();
    QStringList bottom = rig.panes->Pane(1)->VisibleText();
    QVERIFY(top.contains(QStringLiteral("both panes")));
    QVERIFY(bottom.contains(QStringLiteral("both panes")));
    // Ctrl+Up in one pane scrolls the other.
    const int before = rig.panes->Pane(1)->View().TopLine();
    QTest::keyClick(rig.panes->Pane(0), Qt::Key_Up, Qt::ControlModifier);
    QCOMPARE(rig.panes->Pane(1)->View().TopLine(), before - 3);
    QVERIFY(rig.panes->RunCommand(ID_SPLIT));
    QCOMPARE(rig.panes->PaneCount(), 1);
    QCOMPARE(rig.terminal.ViewCount(), 1);
}

void TerminalViewTest::pasteIsPacedByTheEcho() {
    struct Wait : IEchoWait {
        bool WaitForEcho(const std::string& text, int) override {
            log += "[" + text + "]";
            return true;
        }
        bool Pause(int) override { return true; }
        std::string log;
    } wait;
    Rig rig(0);
    rig.panes->SetEchoWait(&wait);
    QGuiApplication::clipboard()->setText(QStringLiteral("ls -l\n日本\nrest"));
    QVERIFY(rig.panes->CommandEnabled(ID_EDIT_PASTE));
    QTest::keyClick(rig.pane(), Qt::Key_V, Qt::AltModifier);
    QCOMPARE(QByteArray::fromStdString(rig.host.sent), QByteArray("ls -l\r\x93\xfa\x96\x7b\rrest"));
    QCOMPARE(QByteArray::fromStdString(wait.log), QByteArray("[ls -l][\x93\xfa\x96\x7b]"));
}

void TerminalViewTest::rangeSelectionAndSearchFromTheKeyboard() {
    Rig rig(0);
    Feed(rig.terminal, "alpha beta\r\nbeta gamma\r\n");
    TerminalWidget* w = rig.pane();
    QTest::keyClick(w, Qt::Key_R, Qt::AltModifier);
    QVERIFY(w->Model().Sel().rangeMode);
    for (int i = 0; i < 5; ++i) QTest::keyClick(w, Qt::Key_Right, Qt::ShiftModifier);
    QTest::keyClick(w, Qt::Key_C, Qt::AltModifier);
    QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("alpha"));
    QTest::keyClick(w, Qt::Key_Escape);  // leaves the range-selection mode
    QVERIFY(!w->Model().Sel().rangeMode);
    QVERIFY(w->Model().SearchRequest("beta", kSearchDown));
    QTest::keyClick(w, Qt::Key_N, Qt::AltModifier);  // again, downward
    QCOMPARE(w->Model().Search().match.line, 1);
    QCOMPARE(rig.host.beeps, 0);
    QTest::keyClick(w, Qt::Key_N, Qt::AltModifier);
    QCOMPARE(rig.host.beeps, 1);  // nothing further down
    QCOMPARE(QByteArray::fromStdString(rig.host.sent), QByteArray());
}

// The time-stamp option adds a column of times left of the cells: the terminal keeps its 80
// columns, and the times scroll with the lines.
void TerminalViewTest::timeColumnShowsEachLinesTimeBesideTheCells() {
    Rig rig(0);
    const int columnsBefore = rig.pane()->View().VisibleColumns();
    const int widthBefore = rig.pane()->viewport()->width();
    QVERIFY(rig.pane()->VisibleTimes().isEmpty());
    rig.settings.TimeStamp = kStampElapsed;
    rig.pane()->ApplySettings();
    rig.pane()->resize(rig.pane()->width() + 200, rig.pane()->height());
    QCoreApplication::processEvents();
    QCOMPARE(rig.pane()->View().VisibleColumns(), std::max(columnsBefore, 80));
    QVERIFY(rig.pane()->viewport()->width() >= widthBefore);
    auto at = [&rig](const std::string& bytes, int64_t sinceMs) {
        rig.terminal.ProcessReceived(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                                     LineTime{1, sinceMs});
    };
    at("\x93\xfa\x96\x7b", 1500);  // 日本
    at("\x8c\xea\r\n\r\nnext\r\n", 62003);
    const QStringList times = rig.pane()->VisibleTimes();
    QCOMPARE(times.value(0), QStringLiteral("+00:00:01.500"));
    QCOMPARE(times.value(1), QString());  // an empty line shows none
    QCOMPARE(times.value(2), QStringLiteral("+00:01:02.003"));
    for (int n = 0; n < 200; ++n) at("line " + std::to_string(n) + "\r\n", 100000 + n);
    QCOMPARE(rig.pane()->VisibleTimes().value(0).right(3),
             QString::number(rig.pane()->VisibleText().value(0).mid(5).toInt()));
    rig.pane()->View().ScrollTo(0);
    QCOMPARE(rig.pane()->VisibleTimes().value(0), QStringLiteral("+00:00:01.500"));
    rig.settings.TimeStamp = kStampOff;
    rig.pane()->ApplySettings();
    QVERIFY(rig.pane()->VisibleTimes().isEmpty());
}

void TerminalViewTest::screenshot() {
    // MARLO_SCREENSHOT=path saves a picture of a VT100 screen with colours and Japanese text.
    const QByteArray path = qgetenv("MARLO_SCREENSHOT");
    if (path.isEmpty()) QSKIP("MARLO_SCREENSHOT not set");
    Rig rig(1);
    rig.settings.FKLocal = 1;
    Feed(rig.terminal,
         "\x1b[2J\x1b[H\x1b[1;37;44m VT100 \x1b[m \x1b[31mred\x1b[m \x1b[1;32mbright green\x1b[m "
         "\x1b[7mreverse\x1b[m \x1b[4munderline\x1b[m\r\n"
         "\x93\xfa\x96\x7b\x8c\xea\x82\xcc\x83\x65\x83\x4c\x83\x58\x83\x67 "
         "\x1b[33;41m\x8a\xbf\x8e\x9a\x1b[m \xb6\xc0\xb6\xc5\r\n"
         "\x1b[1;34mbold blue (ESC[1;34m)\x1b[m  \x1b[35mmagenta\x1b[m  \x1b[36;47mcyan on "
         "white\x1b[m\r\n"
         "search: find me, select me\r\n$ ");
    rig.pane()->Model().SearchRequest("find", kSearchDown);
    rig.pane()->Model().MouseDown({3, 14});
    rig.pane()->Model().MouseMove({3, 26});
    rig.panes->activateWindow();
    (void)QTest::qWaitForWindowActive(rig.panes.get(), 2000);
    rig.pane()->setFocus();
    QCoreApplication::processEvents();
    QVERIFY(rig.panes->grab().save(QString::fromLocal8Bit(path)));
    // The same screen split in two panes, the lower one looking at the top of the buffer.
    QVERIFY(rig.panes->RunCommand(ID_SPLIT));
    QCoreApplication::processEvents();
    rig.panes->Pane(1)->View().ScrollTo(0);
    QCoreApplication::processEvents();
    QVERIFY(rig.panes->grab().save(QString::fromLocal8Bit(path) + QStringLiteral(".split.png")));
}

QTEST_MAIN(TerminalViewTest)
#include "TerminalViewTest.moc"

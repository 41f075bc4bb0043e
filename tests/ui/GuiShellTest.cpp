// The whole front end over a pty as the serial port: text from the line shows in the pane, the
// one-line input bar opens with Alt+1 and sends its line, typed keys reach the line, the split
// command shows the same buffer twice, and the window closes through the frame's shutdown.
#include <poll.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <fstream>

#include "UiTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "support/PtyPair.h"
#include "ui/GuiShell.h"
#include "ui/HexView.h"
#include "ui/MainWindow.h"
#include "ui/StatusPanes.h"
#include "ui/TerminalPanes.h"
#include "ui/TerminalWidget.h"

using namespace marlo;

namespace {

// The far end of the line: a pty master whose slave is the serial port.
struct FarEnd {
    test::PtyPair pty;
    int master = pty.Master();
    std::string slave = pty.SlavePath();
    void Write(const std::string& s) { QVERIFY(pty.Write(s)); }
    std::string Read(size_t want) const {
        std::string out;
        QElapsedTimer t;
        t.start();
        while (out.size() < want && t.elapsed() < 3000) {
            QCoreApplication::processEvents();
            pollfd p{master, POLLIN, 0};
            if (::poll(&p, 1, 20) > 0) {
                char buf[256];
                ssize_t n = ::read(master, buf, sizeof buf);
                if (n > 0) out.append(buf, static_cast<size_t>(n));
            }
        }
        return out;
    }
};

}  // namespace

class GuiShellTest : public QObject {
    Q_OBJECT

  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        std::string d = dir_->path().toStdString();
        std::ofstream(d + "/ports.conf") << far_.slave << "\n";
        Settings s(d);
        s.Port = 1;
        s.Flow = 0;
        s.HistoryDefPath = d;
        platform_ = std::make_unique<test::TestPlatform>();
        frame_ = std::make_unique<CMainFrame>(*platform_, s, CMainFrame::Paths{d, d, {}}, nullptr);
        shell_ = std::make_unique<ui::GuiShell>(*platform_, false);
        shell_->Attach(*frame_);
        shell_->Show();
        QVERIFY(frame_->OpenConfiguredPort());
        QVERIFY(QTest::qWaitForWindowExposed(shell_->Window()));
    }
    void cleanup() {
        shell_.reset();
        frame_.reset();
        platform_.reset();
    }

    void receivedTextShowsInThePane() {
        far_.Write("hello from the host\r\n");
        QTRY_VERIFY_WITH_TIMEOUT(
            shell_->Panes()->ActivePane()->VisibleText().value(0).startsWith("hello from the host"),
            3000);
    }

    void inputBarOpensWithAlt1AndSendsItsLine() {
        QTest::keyClick(shell_->Window(), Qt::Key_1, Qt::AltModifier);
        QVERIFY(shell_->Window()->InputBarVisible());
        QComboBox* combo = shell_->Window()->InputCombo();
        combo->setFocus();
        QTest::keyClicks(combo->lineEdit(), "ls -l");
        QCOMPARE(shell_->Window()->InputCounter()->text(), QStringLiteral("5"));
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(QString::fromStdString(far_.Read(6)), QStringLiteral("ls -l\r"));
        QCOMPARE(combo->count(), 1);  // remembered
        QCOMPARE(combo->currentText(), QString());
    }

    // With the 16進 box on, the line is read as hex bytes and written as they are; a malformed
    // entry sends nothing, says why in the status bar and stays in the field.
    void hexInputSendsBytesAndRefusesAMalformedEntry() {
        shell_->Window()->SetInputBarVisible(true);
        shell_->Window()->InputHex()->setChecked(true);
        QLineEdit* edit = shell_->Window()->InputCombo()->lineEdit();
        QTest::keyClicks(edit, "$0D 0x1b,00ff 089F");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(far_.Read(6), std::string("\r\x1b\x00\xff\x08\x9f", 6));
        QTest::keyClicks(edit, "0D0");
        QTest::keyClick(edit, Qt::Key_Return);
        QCOMPARE(far_.Read(1), std::string());
        QCOMPARE(edit->text(), QStringLiteral("0D0"));
        bool said = false;
        for (QLabel* l : shell_->Window()->Status()->findChildren<QLabel*>())
            said = said || l->text().contains(QStringLiteral("「0D0」"));
        QVERIFY(said);
    }

    // The 表示 menu's hex view shows the line's bytes, a kanji cut between reads whole.
    void hexViewShowsTheReceivedBytes() {
        frame_->OnCommand(ID_VIEW_HEX);
        QVERIFY(frame_->CommandEnabled(ID_VIEW_HEX));
        QVERIFY(shell_->Hex()->isVisible());
        far_.Write("ABCDEFGHIJKLMNO\x88");
        QTRY_VERIFY_WITH_TIMEOUT(shell_->Hex()->VisibleText().size() == 1, 3000);
        far_.Write("\x9f\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(shell_->Hex()->VisibleText().value(0),
                                  QStringLiteral("00000000  41 42 43 44 45 46 47 48  49 4A 4B 4C "
                                                 "4D 4E 4F 88  |ABCDEFGHIJKLMNO亜|"),
                                  3000);
        QCOMPARE(
            shell_->Hex()->VisibleText().value(1).mid(10),
            QStringLiteral("9F 0D 0A") + QString(42, QLatin1Char(' ')) + QStringLiteral("| ..|"));
        frame_->OnCommand(ID_VIEW_HEX);
        QVERIFY(!shell_->Hex()->isVisible());
    }

    void typedKeysReachTheLine() {
        QWidget* pane = shell_->Panes()->ActivePane();
        pane->setFocus();
        QTest::keyClicks(pane, "ab");
        QTest::keyClick(pane, Qt::Key_Return);
        QCOMPARE(QString::fromStdString(far_.Read(3)), QStringLiteral("ab\r"));
    }

    void closingRunsTheShutdown() {
        shell_->Window()->setGeometry(20, 10, 580, 390);
        shell_->Window()->close();
        QVERIFY(frame_->Closing());
        QVERIFY(!frame_->PortOpen());
        // The window's place is kept as top, left, bottom, right for the next start.
        const auto& w = frame_->S().Window;
        QCOMPARE(w[0], 10);
        QCOMPARE(w[1], 20);
        QCOMPARE(w[2], 400);
        QCOMPARE(w[3], 600);
    }

  private:
    FarEnd far_;
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<test::TestPlatform> platform_;
    std::unique_ptr<CMainFrame> frame_;
    std::unique_ptr<ui::GuiShell> shell_;
};

QTEST_MAIN(GuiShellTest)
#include "GuiShellTest.moc"

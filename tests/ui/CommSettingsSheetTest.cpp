// The communication settings sheet on an offscreen display: fields in, settings out, refusals keep
// it open, a running line is reached through the line control.
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include "../support/FakeCommLine.h"
#include "UiTestSupport.h"
#include "text/Encoding.h"
#include "ui/CommSettingsSheet.h"

using namespace marlo;
using marlo::ui::CommSettingsSheet;

using marlo::test::Child;
using marlo::test::FakeCommLine;
using marlo::test::Press;

namespace {

void Choose(QWidget& sheet, const char* combo, const QString& text) {
    QComboBox* c = Child<QComboBox>(sheet, combo);
    int i = c->findText(text);
    if (i < 0) qFatal("no entry %s in %s", qPrintable(text), combo);
    c->setCurrentIndex(i);
}

}  // namespace

class CommSettingsSheetTest : public QObject {
    Q_OBJECT
  private slots:
    void EditsEveryPageIntoTheSettingsWithoutALine() {
        Settings s;
        s.ModemInit1 = Utf8ToSjis("AT&F 漢字");
        CommSettingsSheet sheet(s, PortChoices({1, 2}), nullptr);
        sheet.show();
        marlo::test::SaveShotsOfPages(&sheet, sheet.pages(), "comm-");
        QCOMPARE(Child<QLineEdit>(sheet, "ModemInit1")->text(), QStringLiteral("AT&F 漢字"));
        QCOMPARE(Child<QComboBox>(sheet, "Speed")->currentText(), QStringLiteral("2400bps"));
        QCOMPARE(Child<QComboBox>(sheet, "Parity")->currentText(), QStringLiteral("なし"));

        Choose(sheet, "Port", QStringLiteral("COM2"));
        Choose(sheet, "Speed", QStringLiteral("115200bps"));
        Choose(sheet, "DataLen", QStringLiteral("7bit"));
        Choose(sheet, "Parity", QStringLiteral("Even(偶数)"));
        Choose(sheet, "StopBit", QStringLiteral("2bit"));
        Choose(sheet, "Flow", QStringLiteral("XON/XOFF"));
        Choose(sheet, "Emulation", QStringLiteral("VT100"));
        Choose(sheet, "CodeExchange", QStringLiteral("新JIS"));
        Choose(sheet, "CodeExchange2", QStringLiteral("EUC"));
        Child<QSpinBox>(sheet, "ReadSize")->setValue(4096);
        Child<QCheckBox>(sheet, "RcvCRLF")->setChecked(true);
        Child<QCheckBox>(sheet, "SISO")->setChecked(true);
        Child<QCheckBox>(sheet, "FKLocal")->setChecked(false);
        Child<QCheckBox>(sheet, "Disconnect")->setChecked(false);
        Child<QCheckBox>(sheet, "AutoReconnect")->setChecked(true);
        Child<QCheckBox>(sheet, "7to8")->setChecked(false);
        Choose(sheet, "FileNameCode", QStringLiteral("UTF-8"));
        Child<QLineEdit>(sheet, "ModemInit2")->setText(QStringLiteral("ATS0=0 ｶﾅ"));
        QSpinBox* tab = Child<QSpinBox>(sheet, "TxSendTabNum");
        tab->findChild<QLineEdit*>()->setText(QStringLiteral("4"));  // typed, not yet committed
        Press(sheet);

        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QVERIFY(sheet.applied() && sheet.applied()->lineApplied);
        QVERIFY(sheet.applied()->emulationChanged);
        QCOMPARE(s.Port, 2);
        QCOMPARE(s.Speed, 115200);
        QCOMPARE(s.DataLen, 7);
        QCOMPARE(s.Parity, 2);
        QCOMPARE(s.StopBit, 2);
        QCOMPARE(s.Flow, 1);
        QCOMPARE(s.Emulation, 1);
        QCOMPARE(s.CodeExchange, 2);
        QCOMPARE(s.CodeExchange2, 4);
        QCOMPARE(s.ReadSize, 4096);
        QCOMPARE(s.RcvCRLF, 1);
        QCOMPARE(s.SISO, 1);
        QCOMPARE(s.FKLocal, 0);
        QCOMPARE(s.BSDel, 1);
        QCOMPARE(s.Disconnect, 0);
        QCOMPARE(s.AutoReconnect, 1);
        QCOMPARE(s.SevenToEight, 0);
        QCOMPARE(s.FileNameCode, 1);
        QCOMPARE(s.Unlha, 1);
        QCOMPARE(s.ModemInit1, Utf8ToSjis("AT&F 漢字"));
        QCOMPARE(s.ModemInit2, Utf8ToSjis("ATS0=0 ｶﾅ"));
        QCOMPARE(s.TxSendTabNum, 4);
    }

    void ARefusedValueKeepsTheSheetOpenAndCancelChangesNothing() {
        Settings s;
        const Settings before = s;
        CommSettingsSheet sheet(s, PortChoices({1}), nullptr);
        std::vector<std::string> shown;
        sheet.showMessage = [&](const std::string& m, MsgIcon) { shown.push_back(m); };
        sheet.show();
        Child<QSpinBox>(sheet, "ReadSize")->setValue(5000);
        Choose(sheet, "Speed", QStringLiteral("9600bps"));
        Press(sheet);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(QString::fromStdString(shown[0]).contains(QStringLiteral("受信ﾌﾞﾛｯｸｻｲｽﾞ")));
        QVERIFY(sheet.isVisible());
        QVERIFY(!sheet.applied());
        QCOMPARE(s.Speed, before.Speed);

        // A stored speed with no entry leaves the list unselected; OK asks for a choice.
        Child<QSpinBox>(sheet, "ReadSize")->setValue(80);
        Child<QComboBox>(sheet, "Speed")->setCurrentIndex(-1);
        Press(sheet);
        QCOMPARE(int(shown.size()), 2);
        QVERIFY(QString::fromStdString(shown[1]).contains(QStringLiteral("通信速度")));
        QVERIFY(sheet.isVisible());

        // Cancel takes nothing of what was edited.
        Child<QCheckBox>(sheet, "LocalEcho")->setChecked(true);
        Press(sheet, QDialogButtonBox::Cancel);
        QCOMPARE(sheet.result(), int(QDialog::Rejected));
        QCOMPARE(s.Speed, 2400);
        QCOMPARE(s.LocalEcho, 0);
    }

    void TheOpenPortStaysOfferedAndReceivesTheNewParameters() {
        Settings s;
        s.Port = 3;  // held open by this program, so the probe did not list it
        FakeCommLine line;
        CommSettingsSheet sheet(s, PortChoices({1}), &line);
        QComboBox* port = Child<QComboBox>(sheet, "Port");
        QCOMPARE(port->count(), 3);
        QCOMPARE(port->currentText(), QStringLiteral("COM3"));
        QCOMPARE(port->itemText(2), QStringLiteral("ﾓﾃﾞﾑなし"));
        Choose(sheet, "Speed", QStringLiteral("38400bps"));
        Choose(sheet, "Emulation", QStringLiteral("VT52"));
        Press(sheet);
        QCOMPARE(line.calls, (std::vector<std::string>{"save", "params 38400", "dtr", "rts",
                                                       "status", "kanji", "reset"}));
        QCOMPARE(s.Port, 3);
        QCOMPARE(s.Speed, 38400);
    }

};

QTEST_MAIN(CommSettingsSheetTest)
#include "CommSettingsSheetTest.moc"

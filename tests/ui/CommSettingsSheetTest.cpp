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

#include "text/Encoding.h"
#include "ui/CommSettingsSheet.h"

using namespace marlo;
using marlo::ui::CommSettingsSheet;

namespace {

// A line that records what the sheet asks of it.
class FakeLine : public ICommLineControl {
  public:
    bool open = true;
    bool refuseParams = false;
    std::vector<LineParams> applied;
    std::vector<std::string> messages;
    int opened = -1, closes = 0, resets = 0;

    bool PortOpen() const override { return open; }
    void SaveControlBlock() override {}
    void RestoreControlBlock() override {}
    bool ClosePort() override {
        ++closes;
        open = false;
        return true;
    }
    std::optional<int> OpenPort(int port) override {
        opened = port;
        open = true;
        return port;
    }
    bool ApplyLineParams(const LineParams& p) override {
        applied.push_back(p);
        return !refuseParams;
    }
    void SetDtr(bool) override {}
    void SetRts(bool) override {}
    void UpdateModemStatus() override {}
    void Pause(int) override {}
    void ClearSendKanjiMode() override {}
    void ResetTerminal() override { ++resets; }
    void ShowMessage(const std::string& m, MsgIcon) override { messages.push_back(m); }
};

template <typename W>
W* Field(QWidget& sheet, const char* name) {
    W* w = sheet.findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no field %s", name);
    return w;
}

void Choose(QWidget& sheet, const char* combo, const QString& text) {
    QComboBox* c = Field<QComboBox>(sheet, combo);
    int i = c->findText(text);
    if (i < 0) qFatal("no entry %s in %s", qPrintable(text), combo);
    c->setCurrentIndex(i);
}

void PressOk(QWidget& sheet) {
    sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

void Snapshot(CommSettingsSheet& sheet) {
    const QString dir = qEnvironmentVariable("MARLO_UI_SNAPSHOTS");
    if (dir.isEmpty()) return;
    for (int i = 0; i < sheet.pages()->count(); ++i) {
        sheet.pages()->setCurrentIndex(i);
        sheet.grab().save(QStringLiteral("%1/comm-%2.png").arg(dir).arg(i));
    }
    sheet.pages()->setCurrentIndex(0);
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
        Snapshot(sheet);
        QCOMPARE(Field<QLineEdit>(sheet, "ModemInit1")->text(), QStringLiteral("AT&F 漢字"));
        QCOMPARE(Field<QComboBox>(sheet, "Speed")->currentText(), QStringLiteral("2400bps"));
        QCOMPARE(Field<QComboBox>(sheet, "Parity")->currentText(), QStringLiteral("なし"));

        Choose(sheet, "Port", QStringLiteral("COM2"));
        Choose(sheet, "Speed", QStringLiteral("115200bps"));
        Choose(sheet, "DataLen", QStringLiteral("7bit"));
        Choose(sheet, "Parity", QStringLiteral("Even(偶数)"));
        Choose(sheet, "StopBit", QStringLiteral("2bit"));
        Choose(sheet, "Flow", QStringLiteral("XON/XOFF"));
        Choose(sheet, "Emulation", QStringLiteral("VT100"));
        Choose(sheet, "CodeExchange", QStringLiteral("新JIS"));
        Choose(sheet, "CodeExchange2", QStringLiteral("EUC"));
        Field<QSpinBox>(sheet, "ReadSize")->setValue(4096);
        Field<QCheckBox>(sheet, "RcvCRLF")->setChecked(true);
        Field<QCheckBox>(sheet, "SISO")->setChecked(true);
        Field<QCheckBox>(sheet, "FKLocal")->setChecked(false);
        Field<QCheckBox>(sheet, "Disconnect")->setChecked(false);
        Field<QCheckBox>(sheet, "7to8")->setChecked(false);
        Field<QLineEdit>(sheet, "ModemInit2")->setText(QStringLiteral("ATS0=0 ｶﾅ"));
        QSpinBox* tab = Field<QSpinBox>(sheet, "TxSendTabNum");
        tab->findChild<QLineEdit*>()->setText(QStringLiteral("4"));  // typed, not yet committed
        PressOk(sheet);

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
        QCOMPARE(s.SevenToEight, 0);
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
        Field<QSpinBox>(sheet, "ReadSize")->setValue(5000);
        Choose(sheet, "Speed", QStringLiteral("9600bps"));
        PressOk(sheet);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(QString::fromStdString(shown[0]).contains(QStringLiteral("受信ﾌﾞﾛｯｸｻｲｽﾞ")));
        QVERIFY(sheet.isVisible());
        QVERIFY(!sheet.applied());
        QCOMPARE(s.Speed, before.Speed);

        // A stored speed with no entry leaves the list unselected; OK asks for a choice.
        Field<QSpinBox>(sheet, "ReadSize")->setValue(80);
        Field<QComboBox>(sheet, "Speed")->setCurrentIndex(-1);
        PressOk(sheet);
        QCOMPARE(int(shown.size()), 2);
        QVERIFY(QString::fromStdString(shown[1]).contains(QStringLiteral("通信速度")));
        QVERIFY(sheet.isVisible());

        // Cancel takes nothing of what was edited.
        Field<QCheckBox>(sheet, "LocalEcho")->setChecked(true);
        sheet.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Cancel)->click();
        QCOMPARE(sheet.result(), int(QDialog::Rejected));
        QCOMPARE(s.Speed, 2400);
        QCOMPARE(s.LocalEcho, 0);
    }

    void TheOpenPortStaysOfferedAndReceivesTheNewParameters() {
        Settings s;
        s.Port = 3;  // held open by this program, so the probe did not list it
        FakeLine line;
        CommSettingsSheet sheet(s, PortChoices({1}), &line);
        QComboBox* port = Field<QComboBox>(sheet, "Port");
        QCOMPARE(port->count(), 3);
        QCOMPARE(port->currentText(), QStringLiteral("COM3"));
        QCOMPARE(port->itemText(2), QStringLiteral("ﾓﾃﾞﾑなし"));
        Choose(sheet, "Speed", QStringLiteral("38400bps"));
        Choose(sheet, "Emulation", QStringLiteral("VT52"));
        PressOk(sheet);
        QCOMPARE(int(line.applied.size()), 1);
        QCOMPARE(line.applied[0].speed, 38400);
        QCOMPARE(line.closes, 0);
        QCOMPARE(line.resets, 1);
        QCOMPARE(s.Port, 3);
        QCOMPARE(s.Speed, 38400);
    }

    void ParametersTheDeviceRefusesAreNotStored() {
        Settings s;
        FakeLine line;
        line.refuseParams = true;
        CommSettingsSheet sheet(s, PortChoices({1}), &line);
        Choose(sheet, "Speed", QStringLiteral("256000bps"));
        Field<QCheckBox>(sheet, "LocalEcho")->setChecked(true);
        Field<QCheckBox>(sheet, "Unlha")->setChecked(false);
        PressOk(sheet);
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QVERIFY(sheet.applied() && !sheet.applied()->lineApplied);
        QCOMPARE(int(line.messages.size()), 1);
        QCOMPARE(s.Speed, 2400);
        QCOMPARE(s.LocalEcho, 0);
        QCOMPARE(s.Unlha, 0);  // not a line value: taken in any case
    }
};

QTEST_MAIN(CommSettingsSheetTest)
#include "CommSettingsSheetTest.moc"

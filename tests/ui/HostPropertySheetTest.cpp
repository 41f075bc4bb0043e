// The host property sheet on its own: what its controls enable, what OK refuses (the sheet stays
// open with the message), the preset lists and the macro chooser.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "hosts/HostSheet.h"
#include "hosts/HostTable.h"
#include "hosts/Password.h"
#include "settings/Settings.h"
#include "text/Encoding.h"
#include "ui/HostPropertySheet.h"

using namespace marlo;
using marlo::test::Child;
using marlo::test::OnNextModal;
using marlo::test::TestPlatform;

namespace {

bool Enabled(QWidget* sheet, const char* name) {
    return Child<QWidget>(sheet, name)->isEnabled();
}

}  // namespace

class HostPropertySheetTest : public QObject {
    Q_OBJECT
  private slots:
    void pagesInOrder() {
        TestPlatform platform;
        Settings settings;
        ui::HostPropertySheet sheet(HostEntry{}, settings, platform, nullptr);
        QCOMPARE(sheet.Pages()->count(), 6);
        sheet.show();
        marlo::test::SaveShotsOfPages(&sheet, sheet.Pages(), "host-sheet-");
    }

    void everyFieldRoundTrips() {
        // An entry with no default left shows and comes back unchanged, kanji and all.
        HostEntry e;
        e.Name = Utf8ToSjis("日経ＭＩＸ");
        e.Bitmap = 3;
        e.TelNum1 = "0120-00-1111";
        e.TelNum2 = "0120-00-2222";
        e.RedialNum = 999;
        e.Interval = 0;
        e.Long = 4;
        e.TelnetHost = "mix.example.jp";
        e.TelnetPort = 2300;
        e.Infinite = 0;
        e.ModemIniCommand = "AT&F";
        e.AutoCommand = std::string(200, 'a');
        e.MacroFile = Utf8ToSjis("/home/u/ﾏｸﾛ/mix.mac");
        e.ID = "MIX00001";
        e.Password = "~!secret ";
        e.Internal = 1;
        e.Macro = 1;
        e.External = "9,";
        e.TelForm = 0;
        e.Port = 0;
        e.Speed = 57600;
        e.DataLen = 7;
        e.StopBit = 2;
        e.Parity = 3;
        e.Flow = 1;
        e.Emulation = 3;  // xterm
        e.BreakTime = 250;
        e.ReadSize = 1024;
        e.CodeExchange = 4;
        e.CodeExchange2 = 3;
        e.FileNameCode = 1;
        e.RcvCRLF = e.RcvLFCR = e.SndCRLF = e.LocalEcho = e.SISO = e.Log = 1;
        e.BS2Byte = e.BSDel = e.AutoMargin = e.AutoBplus = e.AutoZMODEM = e.FKLocal = 0;
        e.LogHead = "MX";
        e.PortPath = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0";
        TestPlatform platform;
        Settings settings;
        ui::HostPropertySheet sheet(e, settings, platform, nullptr);
        QCOMPARE(sheet.Values(), e);
        sheet.show();
        sheet.accept();
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QCOMPARE(sheet.Entry(), e);
        QVERIFY(platform.boxes.empty());
    }

    void unlistedChoicesAreKept() {
        // A stored port or speed the lists do not offer stays as it is.
        HostEntry e;
        e.Name = "odd";
        e.Port = 7;
        e.Speed = 31250;
        TestPlatform platform;
        Settings settings;
        ui::HostPropertySheet sheet(e, settings, platform, nullptr);
        QCOMPARE(sheet.Values().Port, 7);
        QCOMPARE(sheet.Values().Speed, 31250);
    }

    void controlsFollowTheChoices() {
        TestPlatform platform;
        Settings settings;
        HostEntry e;
        e.Name = "x";
        ui::HostPropertySheet sheet(e, settings, platform, nullptr);
        // A telephone host: the telephone controls, not the telnet ones.
        QVERIFY(Enabled(&sheet, "telNum1"));
        QVERIFY(!Enabled(&sheet, "telnetHost"));
        QVERIFY(!Enabled(&sheet, "telnetBrowse"));
        QVERIFY(!Enabled(&sheet, "external"));
        QVERIFY(!Enabled(&sheet, "redialNum"));  // "接続するまで接続をかける." is on
        Child<QCheckBox>(&sheet, "internal")->setChecked(true);
        QVERIFY(Enabled(&sheet, "external"));
        Child<QCheckBox>(&sheet, "infinite")->setChecked(false);
        QVERIFY(Enabled(&sheet, "redialNum"));
        Child<QRadioButton>(&sheet, "lineTelnet")->setChecked(true);
        for (const char* phone : {"telNum1", "telNum2", "telTone", "internal", "external",
                                  "distance", "modemIniCommand"})
            QVERIFY2(!Enabled(&sheet, phone), phone);
        QVERIFY(Enabled(&sheet, "telnetHost"));
        QVERIFY(Enabled(&sheet, "telnetPort"));

        // The logon choices exclude each other.
        QVERIFY(!Enabled(&sheet, "macroFile"));
        QVERIFY(!Enabled(&sheet, "autoCommand"));
        Child<QCheckBox>(&sheet, "macro")->click();
        QVERIFY(Enabled(&sheet, "macroFile"));
        QVERIFY(!Enabled(&sheet, "logon"));
        Child<QCheckBox>(&sheet, "macro")->click();
        Child<QCheckBox>(&sheet, "logon")->click();
        QVERIFY(!Enabled(&sheet, "macro"));
        QVERIFY(!Child<QCheckBox>(&sheet, "macro")->isChecked());
        QVERIFY(Enabled(&sheet, "autoCommand"));
        QVERIFY(Enabled(&sheet, "logonBrowse"));
    }

    void okRefusesBadValuesAndStaysOpen_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty name") << "hostName"
                                    << "" << QString::fromUtf8(kHostNameEmpty);
        QTest::newRow("kanji password") << "password"
                                        << "パス" << QString::fromUtf8(kPasswordScrambleFailed);
        QTest::newRow("control byte in name") << "hostName"
                                              << "a\tb" << QString::fromUtf8(kHostNameBadChar);
    }
    void okRefusesBadValuesAndStaysOpen() {
        QFETCH(QString, field);
        QFETCH(QString, value);
        QFETCH(QString, message);
        TestPlatform platform;
        Settings settings;
        HostEntry e;
        e.Name = "ok";
        ui::HostPropertySheet sheet(e, settings, platform, nullptr);
        sheet.show();
        Child<QLineEdit>(&sheet, field.toLatin1().constData())->setText(value);
        sheet.accept();
        QVERIFY(sheet.isVisible());
        QCOMPARE(platform.boxes.size(), size_t{1});
        QCOMPARE(QString::fromStdString(platform.boxes[0]), message);
        QCOMPARE(sheet.Entry(), e);
        // Put right, OK goes through.
        Child<QLineEdit>(&sheet, field.toLatin1().constData())->setText("fine");
        sheet.accept();
        QVERIFY(!sheet.isVisible());
        QCOMPARE(sheet.result(), int(QDialog::Accepted));
    }

    void presetListsFillTheFields() {
        TestPlatform platform;
        Settings settings;
        HostEntry e;
        e.Line = 1;
        e.Logon = 1;
        ui::HostPropertySheet sheet(e, settings, platform, nullptr);
        sheet.show();
        QStringList headers;
        OnNextModal([&](QWidget* w) {
            auto* list = Child<QTreeWidget>(w, "presetList");
            headers << w->windowTitle() << list->headerItem()->text(0)
                    << list->headerItem()->text(1) << QString::number(list->topLevelItemCount());
            marlo::test::SaveShot(w, "telnet-presets");
            list->setCurrentItem(list->topLevelItem(7));
            static_cast<QDialog*>(w)->accept();
        });
        Child<QPushButton>(&sheet, "telnetBrowse")->click();
        QCOMPARE(headers, (QStringList{"Telnetﾎｽﾄ名の参照", "名称", "ﾎｽﾄ名", "9"}));
        QCOMPARE(Child<QLineEdit>(&sheet, "telnetHost")->text(),
                 QString("spacelink.msfc.nasa.gov"));

        headers.clear();
        OnNextModal([&](QWidget* w) {
            auto* list = Child<QTreeWidget>(w, "presetList");
            headers << w->windowTitle() << list->headerItem()->text(1)
                    << QString::number(list->topLevelItemCount());
            list->setCurrentItem(list->topLevelItem(4));
            static_cast<QDialog*>(w)->accept();
        });
        Child<QPushButton>(&sheet, "logonBrowse")->click();
        QCOMPARE(headers, (QStringList{"ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞの参照", "ｵｰﾄﾛｸﾞｵﾝｺﾏﾝﾄﾞ", "20"}));
        QCOMPARE(sheet.Values().AutoCommand, Utf8ToSjis("PCVAN'{ＩＤ：}$I'{ド：}$P'{=}N'{=}N'"));

        // Cancel leaves the field as it was.
        OnNextModal([](QWidget* w) { static_cast<QDialog*>(w)->reject(); });
        Child<QPushButton>(&sheet, "logonBrowse")->click();
        QCOMPARE(sheet.Values().AutoCommand, Utf8ToSjis("PCVAN'{ＩＤ：}$I'{ド：}$P'{=}N'{=}N'"));
    }

    void macroChooserStartsInTheMacroFolder() {
        TestPlatform platform;
        Settings settings;
        settings.MacroDefPath = Utf8ToSjis("/home/u/ﾏｸﾛ");
        HostEntry e;
        e.Macro = 1;
        ui::HostPropertySheet sheet(e, settings, platform, nullptr);
        platform.fileAnswer = "/home/u/ﾏｸﾛ/nifty.mac";
        Child<QPushButton>(&sheet, "macroBrowse")->click();
        QCOMPARE(platform.fileTitles, std::vector<std::string>{"マクロファイルの選択"});
        QCOMPARE(platform.fileInitial, std::string("/home/u/ﾏｸﾛ"));
        QCOMPARE(sheet.Values().MacroFile, Utf8ToSjis("/home/u/ﾏｸﾛ/nifty.mac"));
    }

    void logHeadTakesTwoBytes() {
        TestPlatform platform;
        Settings settings;
        ui::HostPropertySheet sheet(HostEntry{}, settings, platform, nullptr);
        sheet.show();
        auto* logHead = Child<QLineEdit>(&sheet, "logHead");
        logHead->clear();
        QTest::keyClicks(logHead, "ABC");
        QCOMPARE(logHead->text(), QString("AB"));
    }
};

QTEST_MAIN(HostPropertySheetTest)
#include "HostPropertySheetTest.moc"

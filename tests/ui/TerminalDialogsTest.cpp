#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "settings/Settings.h"
#include "ui/DisplaySettingsDialog.h"
#include "ui/FunctionKeyBar.h"
#include "ui/KeyDialog.h"
#include "ui/QtPlatform.h"
#include "ui/SheetControls.h"

using namespace marlo;
using namespace marlo::ui;

class TerminalDialogsTest : public QObject {
    Q_OBJECT
  private slots:
    void keyDialogEditsACopyOfAllTwelve();
    void functionBarShowsTheLabels();
    void ansiTableStoresOnOkOnly();
    void displaySettingsStoreTheCaretAndColours();
};

void TerminalDialogsTest::keyDialogEditsACopyOfAllTwelve() {
    Settings s;
    s.UserKey[1] = "old";
    QtPlatform platform;
    KeyDialog dialog(s, platform);
    QVERIFY(dialog.TextKind()->isChecked());
    QVERIFY(!dialog.BrowseButton()->isEnabled());
    dialog.TextEdit()->setText(QStringLiteral("ls^M"));
    dialog.LabelEdit()->setText(QStringLiteral("一覧"));
    dialog.KeyChoice()->setCurrentIndex(1);  // F2: shows its own values
    QCOMPARE(dialog.TextEdit()->text(), QStringLiteral("old"));
    dialog.MacroKind()->setChecked(true);
    QVERIFY(dialog.BrowseButton()->isEnabled());
    dialog.TextEdit()->setText(QStringLiteral("logon.mac"));
    dialog.KeyChoice()->setCurrentIndex(0);  // back to F1: the edit was kept
    QCOMPARE(dialog.TextEdit()->text(), QStringLiteral("ls^M"));
    QCOMPARE(s.UserKey[0], std::string());  // nothing stored before OK
    dialog.accept();
    QCOMPARE(s.UserKey[0], std::string("ls^M"));
    QCOMPARE(s.UserKeyF[0], std::string("\x88\xea\x97\x97"));
    QCOMPARE(s.UserKeyK[0], 0);
    QCOMPARE(s.UserKey[1], std::string("logon.mac"));
    QCOMPARE(s.UserKeyK[1], 1);
}

void TerminalDialogsTest::functionBarShowsTheLabels() {
    Settings s;
    s.UserKeyF[2] = "\x88\xea\x97\x97";
    FunctionKeyBar bar(s);
    QCOMPARE(bar.Label(0), QStringLiteral("F1"));
    QCOMPARE(bar.Label(2), QStringLiteral("F3 一覧"));
    int ran = -1;
    bar.onUserKey = [&](int i) { ran = i; };
    bar.actions().at(11)->trigger();
    QCOMPARE(ran, 11);
    s.UserKeyF[0] = "go";
    bar.Refresh();
    QCOMPARE(bar.Label(0), QStringLiteral("F1 go"));
}

void TerminalDialogsTest::ansiTableStoresOnOkOnly() {
    Settings s;
    const auto defaults = s.VT100Color;
    {
        AnsiColourDialog dialog(s.VT100Color);
        dialog.SetColour(12, 0x123456);
        dialog.reject();
    }
    QVERIFY(s.VT100Color == defaults);
    AnsiColourDialog dialog(s.VT100Color);
    dialog.SetColour(12, 0x123456);
    dialog.accept();
    QCOMPARE(s.VT100Color[12], 0x123456);
    QCOMPARE(ToColorRef(FromColorRef(0x00FF8040)), 0x00FF8040);
    QCOMPARE(FromColorRef(255), QColor(255, 0, 0));  // 0x00BBGGRR: red in the low byte
}

void TerminalDialogsTest::displaySettingsStoreTheCaretAndColours() {
    Settings s;
    DisplaySettingsDialog dialog(s);
    dialog.Edited().TextColor = 255;
    auto* caret = dialog.findChild<QComboBox*>();
    QVERIFY(caret);
    caret->setCurrentIndex(2);  // ＿
    QFont font(QStringLiteral("monospace"));
    font.setPixelSize(20);
    font.setBold(true);
    dialog.SetFont(font);
    dialog.accept();
    QCOMPARE(s.TextColor, 255);
    QCOMPARE(s.Caret, std::string("\x81\x51"));
    QCOMPARE(s.lfWeight, 700);
    QCOMPARE(s.lfHeight, 22);
    QCOMPARE(s.Quote, std::string("\x81\xe2"));  // unchanged
}

QTEST_MAIN(TerminalDialogsTest)
#include "TerminalDialogsTest.moc"

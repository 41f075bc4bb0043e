// The environment settings sheet on an offscreen display: fields in, settings and the list of
// changes out, the clear-up text following its fields, refusals keeping the sheet open.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include "UiTestSupport.h"
#include "settings/SettingsIo.h"
#include "ui/EnvSettingsSheet.h"

using namespace marlo;
using marlo::ui::EnvSettingsSheet;

using marlo::test::Child;
using marlo::test::Press;

class EnvSettingsSheetTest : public QObject {
    Q_OBJECT
  private slots:
    void EditsIntoTheSettingsAndReportsWhatChanged() {
        Settings s;
        EnvSettingsSheet sheet(s);
        std::vector<QString> titles;
        sheet.chooseColour = [&](int32_t current, const QString& title,
                                 std::array<int32_t, 16>& custom) -> std::optional<int32_t> {
            titles.push_back(title);
            custom[0] = current;  // the chooser keeps what the user put among its colours
            return 0x0000FF;      // red as 0x00BBGGRR
        };
        sheet.show();
        marlo::test::SaveShotsOfPages(&sheet, sheet.pages(), "env-");
        QCOMPARE(Child<QLabel>(sheet, "ClearUpText")->text(), QStringLiteral("1％ （10行）"));
        Child<QSpinBox>(sheet, "BufferSize")->setValue(2000);
        Child<QSpinBox>(sheet, "ClearUp")->setValue(25);
        QCOMPARE(Child<QLabel>(sheet, "ClearUpText")->text(), QStringLiteral("25％ （500行）"));

        Child<QPushButton>(sheet, "TextColor")->click();
        QCOMPARE(int(titles.size()), 1);
        Child<QCheckBox>(sheet, "SameSysColor")->setChecked(true);
        QVERIFY(!Child<QPushButton>(sheet, "BackColor")->isEnabled());
        Child<QCheckBox>(sheet, "SameSysColor")->setChecked(false);
        Child<QSpinBox>(sheet, "ScrollLine")->setValue(6);
        Child<QCheckBox>(sheet, "ScrollSpeed")->setChecked(false);
        Child<QRadioButton>(sheet, "LogNew")->setChecked(true);
        Child<QCheckBox>(sheet, "LogIniBegin")->setChecked(true);
        Child<QCheckBox>(sheet, "SaveOnEnd")->setChecked(false);
        Child<QCheckBox>(sheet, "BufferClearOnEnd")->setChecked(false);
        Child<QRadioButton>(sheet, "ToolLarge")->setChecked(true);
        QCOMPARE(Child<QListWidget>(sheet, "ShownButtons")->count(), 18);  // 17 and the end mark
        Press(sheet);

        QCOMPARE(sheet.result(), int(QDialog::Accepted));
        QVERIFY(sheet.applied());
        const EnvApplyResult& r = *sheet.applied();
        QVERIFY(r.bufferSizeChanged);
        QVERIFY(r.coloursChanged);
        QVERIFY(r.toolBarsChanged);
        QVERIFY(!r.screenChanged);
        QCOMPARE(s.BufferSize, 2000);
        QCOMPARE(s.ClearUp, 25);
        QCOMPARE(s.TextColor, 0x0000FF);
        QCOMPARE(s.BackColor, 16777215);
        QCOMPARE(s.TextColorCust[0], 0);
        QCOMPARE(s.BackColorCust[0], 16777215);
        QCOMPARE(s.ScrollLine, 6);
        QCOMPARE(s.ScrollSpeed, 0);
        QCOMPARE(s.LogSaveForm, 0);
        QCOMPARE(s.LogIniBegin, 1);
        QCOMPARE(s.SaveOnEnd, 0);
        QCOMPARE(s.BufferClearOnEnd, 0);
        QCOMPARE(s.ToolSize, 1);
        QCOMPARE(s.ToolNum, 17);  // lists the page did not change stay as stored
    }

    // The tool bar page: a button added to bar 2, one refused because bar 1 has it, a separator,
    // a deletion; the status bar page: an item added and one moved. OK stores both.
    void TheBarPagesEditTheListsAndApplyThem() {
        Settings s;
        EnvSettingsSheet sheet(s);
        std::vector<std::string> shown;
        sheet.showMessage = [&](const std::string& m, MsgIcon) { shown.push_back(m); };
        sheet.show();
        auto* buttons = Child<QListWidget>(sheet, "ShownButtons");
        auto* offered = Child<QListWidget>(sheet, "OfferedButtons");
        auto* bars = sheet.pages()->widget(5);
        auto click = [&](QWidget* page, const char* name) { Child<QPushButton>(*page, name)->click(); };

        Child<QRadioButton>(sheet, "Bar2")->click();
        QCOMPARE(buttons->count(), 15);
        click(bars, "Add");  // no position chosen
        QCOMPARE(shown.back(), std::string("追加する個所の表示ボタンを選択してください"));
        buttons->setCurrentRow(buttons->count() - 1);  // the end mark
        QVERIFY(!Child<QPushButton>(*bars, "Delete")->isEnabled());
        Child<QComboBox>(sheet, "Category")->setCurrentIndex(3);  // 通信: only Telnet接続 is free
        QCOMPARE(offered->count(), 1);
        offered->setCurrentRow(0);
        click(bars, "Add");
        QCOMPARE(buttons->item(14)->text(), QStringLiteral("Telnet接続"));
        QVERIFY(buttons->item(14)->isSelected());
        QCOMPARE(offered->count(), 0);
        click(bars, "Separator");
        QCOMPARE(buttons->item(14)->text(), QStringLiteral("-----------"));
        buttons->setCurrentRow(0);  // ｺﾋﾟｰ
        click(bars, "Delete");
        QCOMPARE(buttons->item(0)->text(), QStringLiteral("ﾌｧｲﾙにｺﾋﾟｰ"));
        QVERIFY(!Child<QPushButton>(*bars, "Up")->isEnabled());
        click(bars, "Down");
        QCOMPARE(buttons->item(1)->text(), QStringLiteral("ﾌｧｲﾙにｺﾋﾟｰ"));
        // Bar 1's ﾍﾙﾌﾟ cannot be offered for bar 2; the pool shows what no bar holds.
        Child<QComboBox>(sheet, "Category")->setCurrentIndex(6);
        QCOMPARE(offered->count(), 0);
        Child<QComboBox>(sheet, "Category")->setCurrentIndex(2);
        QCOMPARE(offered->count(), 1);  // ｺﾋﾟｰ came back

        auto* status = sheet.pages()->widget(6);
        QCOMPARE(sheet.pages()->tabText(6), QStringLiteral("ｽﾃｰﾀｽﾊﾞｰ"));
        auto* items = Child<QListWidget>(*status, "ShownItems");
        QCOMPARE(items->count(), 4);
        items->setCurrentRow(3);
        Child<QListWidget>(*status, "AllItems")->setCurrentRow(9);
        click(status, "Add");
        QCOMPARE(items->item(4)->text(), QStringLiteral("画面ﾊﾞｯﾌｧ使用行数"));
        QCOMPARE(items->currentRow(), 4);
        click(status, "Up");
        marlo::test::SaveShotsOfPages(&sheet, sheet.pages(), "bars-");
        Press(sheet);

        QVERIFY(sheet.applied() && sheet.applied()->toolBarsChanged &&
                sheet.applied()->statusBarChanged);
        QCOMPARE(s.ToolNum, 17);
        QCOMPARE(s.ToolNum2, 15);
        QCOMPARE(QString::fromStdString(*SettingToText(s, "ToolTable2")),
                 QStringLiteral("8 7 9 10 11 255 12 13 14 255 15 255 16 255 33 "));
        QCOMPARE(QString::fromStdString(*SettingToText(s, "ShowStatusBar")),
                 QStringLiteral("1 2 3 9 0"));
    }

    void ARefusedValueKeepsTheSheetOpenAndChangesNothing() {
        Settings s;
        EnvSettingsSheet sheet(s);
        std::vector<std::string> shown;
        sheet.showMessage = [&](const std::string& m, MsgIcon) { shown.push_back(m); };
        sheet.show();
        Child<QSpinBox>(sheet, "BufferSize")->setValue(10);
        Child<QCheckBox>(sheet, "Blink")->setChecked(false);
        Press(sheet);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(QString::fromStdString(shown[0]).contains(QStringLiteral("ｳｨﾝﾄﾞｳﾊﾞｯﾌｧ")));
        QVERIFY(sheet.isVisible());
        QCOMPARE(s.BufferSize, 1000);
        QCOMPARE(s.Blink, 1);

        // More screen rows than buffer lines.
        Child<QSpinBox>(sheet, "BufferSize")->setValue(50);
        Child<QSpinBox>(sheet, "Rows")->setValue(60);
        Press(sheet);
        QCOMPARE(int(shown.size()), 2);
        QVERIFY(sheet.isVisible());

        Child<QSpinBox>(sheet, "Rows")->setValue(40);
        Press(sheet);
        QVERIFY(!sheet.isVisible());
        QVERIFY(sheet.applied() && sheet.applied()->screenChanged);
        QCOMPARE(s.LineColumn[1], 40);
        QCOMPARE(s.Blink, 0);
    }

    void AStoredValueOutOfRangeIsShownAsItIsAndRefusedAndCancelChangesNothing() {
        Settings s;
        s.ScrollLine = 5000;
        EnvSettingsSheet sheet(s);
        std::vector<std::string> shown;
        sheet.showMessage = [&](const std::string& m, MsgIcon) { shown.push_back(m); };
        QCOMPARE(Child<QSpinBox>(sheet, "ScrollLine")->value(), 5000);
        Press(sheet);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(!sheet.applied());

        // Cancel keeps even the chooser's colours out of the settings.
        sheet.chooseColour = [](int32_t, const QString&, std::array<int32_t, 16>& custom) {
            custom[3] = 42;
            return std::optional<int32_t>(0x00FF00);
        };
        Child<QPushButton>(sheet, "BackColor")->click();
        Press(sheet, QDialogButtonBox::Cancel);
        QCOMPARE(s.BackColor, 16777215);
        QCOMPARE(s.BackColorCust[3], 16777215);
        QCOMPARE(s.ScrollLine, 5000);
    }
};

QTEST_MAIN(EnvSettingsSheetTest)
#include "EnvSettingsSheetTest.moc"

// The environment settings sheet on an offscreen display: fields in, settings and the list of
// changes out, the clear-up text following its fields, refusals keeping the sheet open.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QtTest>

#include "ui/EnvSettingsSheet.h"

using namespace marlo;
using marlo::ui::EnvSettingsSheet;

namespace {

template <typename W>
W* Field(QWidget& sheet, const char* name) {
    W* w = sheet.findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no field %s", name);
    return w;
}

void Press(QWidget& sheet, QDialogButtonBox::StandardButton which) {
    sheet.findChild<QDialogButtonBox*>()->button(which)->click();
}

}  // namespace

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
        if (QString dir = qEnvironmentVariable("MARLO_UI_SNAPSHOTS"); !dir.isEmpty()) {
            for (int i = 0; i < sheet.pages()->count(); ++i) {
                sheet.pages()->setCurrentIndex(i);
                sheet.grab().save(QStringLiteral("%1/env-%2.png").arg(dir).arg(i));
            }
        }
        QCOMPARE(Field<QLabel>(sheet, "ClearUpText")->text(), QStringLiteral("1％ （10行）"));
        Field<QSpinBox>(sheet, "BufferSize")->setValue(2000);
        Field<QSpinBox>(sheet, "ClearUp")->setValue(25);
        QCOMPARE(Field<QLabel>(sheet, "ClearUpText")->text(), QStringLiteral("25％ （500行）"));

        Field<QPushButton>(sheet, "TextColor")->click();
        QCOMPARE(int(titles.size()), 1);
        Field<QCheckBox>(sheet, "SameSysColor")->setChecked(true);
        QVERIFY(!Field<QPushButton>(sheet, "BackColor")->isEnabled());
        Field<QCheckBox>(sheet, "SameSysColor")->setChecked(false);
        Field<QSpinBox>(sheet, "ScrollLine")->setValue(6);
        Field<QCheckBox>(sheet, "ScrollSpeed")->setChecked(false);
        Field<QRadioButton>(sheet, "LogNew")->setChecked(true);
        Field<QCheckBox>(sheet, "LogIniBegin")->setChecked(true);
        Field<QCheckBox>(sheet, "SaveOnEnd")->setChecked(false);
        Field<QCheckBox>(sheet, "BufferClearOnEnd")->setChecked(false);
        Field<QRadioButton>(sheet, "ToolLarge")->setChecked(true);
        QCOMPARE(Field<QLabel>(sheet, "ToolNum1")->text(), QStringLiteral("17"));
        Press(sheet, QDialogButtonBox::Ok);

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
        QCOMPARE(s.ToolNum, 17);  // the bar lists are not this sheet's to change
    }

    void ARefusedValueKeepsTheSheetOpenAndChangesNothing() {
        Settings s;
        EnvSettingsSheet sheet(s);
        std::vector<std::string> shown;
        sheet.showMessage = [&](const std::string& m, MsgIcon) { shown.push_back(m); };
        sheet.show();
        Field<QSpinBox>(sheet, "BufferSize")->setValue(10);
        Field<QCheckBox>(sheet, "Blink")->setChecked(false);
        Press(sheet, QDialogButtonBox::Ok);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(QString::fromStdString(shown[0]).contains(QStringLiteral("ｳｨﾝﾄﾞｳﾊﾞｯﾌｧ")));
        QVERIFY(sheet.isVisible());
        QCOMPARE(s.BufferSize, 1000);
        QCOMPARE(s.Blink, 1);

        // More screen rows than buffer lines.
        Field<QSpinBox>(sheet, "BufferSize")->setValue(50);
        Field<QSpinBox>(sheet, "Rows")->setValue(60);
        Press(sheet, QDialogButtonBox::Ok);
        QCOMPARE(int(shown.size()), 2);
        QVERIFY(sheet.isVisible());

        Field<QSpinBox>(sheet, "Rows")->setValue(40);
        Press(sheet, QDialogButtonBox::Ok);
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
        QCOMPARE(Field<QSpinBox>(sheet, "ScrollLine")->value(), 5000);
        Press(sheet, QDialogButtonBox::Ok);
        QCOMPARE(int(shown.size()), 1);
        QVERIFY(!sheet.applied());

        // Cancel keeps even the chooser's colours out of the settings.
        sheet.chooseColour = [](int32_t, const QString&, std::array<int32_t, 16>& custom) {
            custom[3] = 42;
            return std::optional<int32_t>(0x00FF00);
        };
        Field<QPushButton>(sheet, "BackColor")->click();
        Press(sheet, QDialogButtonBox::Cancel);
        QCOMPARE(s.BackColor, 16777215);
        QCOMPARE(s.BackColorCust[3], 16777215);
        QCOMPARE(s.ScrollLine, 5000);
    }
};

QTEST_MAIN(EnvSettingsSheetTest)
#include "EnvSettingsSheetTest.moc"

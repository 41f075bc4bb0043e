// The trace settings dialog on an offscreen display: the boxes make the mask, the file is stored,
// an empty file name is refused with a message box and the dialog stays open.
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "UiTestSupport.h"
#include "ui/TraceSettingsDialog.h"

using namespace marlo;
using marlo::ui::TraceSettingsDialog;

using marlo::test::Child;
using marlo::test::Press;

class TraceSettingsDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void BoxesAndFileGoIntoTheSettings() {
        Settings s("/data");
        s.TracePos = 1 | 8;
        TraceSettingsDialog dialog(s);
        dialog.show();
        marlo::test::SaveShot(&dialog, QStringLiteral("trace"));
        QVERIFY(Child<QCheckBox>(dialog, "TraceMain")->isChecked());
        QVERIFY(!Child<QCheckBox>(dialog, "TraceMacro")->isChecked());
        QCOMPARE(Child<QLineEdit>(dialog, "TraceFile")->text(), QStringLiteral("/data/trace.txt"));
        Child<QCheckBox>(dialog, "TraceMain")->setChecked(false);
        Child<QCheckBox>(dialog, "TraceMacro")->setChecked(true);
        Child<QCheckBox>(dialog, "TraceTransfer")->setChecked(true);
        Child<QLineEdit>(dialog, "TraceFile")->setText(QStringLiteral("/tmp/ﾄﾚｰｽ.txt"));
        Press(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(s.TracePos, 6);
        QCOMPARE(s.TraceFile, std::string("/tmp/ﾄﾚｰｽ.txt"));  // the file system's own bytes
    }

    void AnEmptyFileIsRefusedWithAMessageBox() {
        Settings s("/data");
        TraceSettingsDialog dialog(s);
        dialog.show();
        Child<QCheckBox>(dialog, "TraceMain")->setChecked(true);
        Child<QLineEdit>(dialog, "TraceFile")->clear();
        QString shown;
        marlo::test::OnNextModal([&](QWidget* box) {
            shown = qobject_cast<QMessageBox*>(box)->text();
            static_cast<QDialog*>(box)->accept();
        });
        Press(dialog);  // returns once the message box was closed
        QVERIFY(shown.contains(QStringLiteral("ﾄﾚｰｽﾌｧｲﾙ")));
        QVERIFY(dialog.isVisible());
        QCOMPARE(s.TracePos, 0);
        QCOMPARE(s.TraceFile, std::string("/data/trace.txt"));
    }
};

QTEST_MAIN(TraceSettingsDialogTest)
#include "TraceSettingsDialogTest.moc"

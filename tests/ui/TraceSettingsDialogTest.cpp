// The trace settings dialog on an offscreen display: the boxes make the mask, the file is stored,
// an empty file name is refused with a message box and the dialog stays open.
#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include "ui/TraceSettingsDialog.h"

using namespace marlo;
using marlo::ui::TraceSettingsDialog;

namespace {

template <typename W>
W* Field(QWidget& dialog, const char* name) {
    W* w = dialog.findChild<W*>(QString::fromLatin1(name));
    if (!w) qFatal("no field %s", name);
    return w;
}

void PressOk(QWidget& dialog) {
    dialog.findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
}

}  // namespace

class TraceSettingsDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void BoxesAndFileGoIntoTheSettings() {
        Settings s("/data");
        s.TracePos = 1 | 8;
        TraceSettingsDialog dialog(s);
        dialog.show();
        if (QString dir = qEnvironmentVariable("MARLO_UI_SNAPSHOTS"); !dir.isEmpty())
            dialog.grab().save(dir + QStringLiteral("/trace.png"));
        QVERIFY(Field<QCheckBox>(dialog, "TraceMain")->isChecked());
        QVERIFY(!Field<QCheckBox>(dialog, "TraceMacro")->isChecked());
        QCOMPARE(Field<QLineEdit>(dialog, "TraceFile")->text(), QStringLiteral("/data/trace.txt"));
        Field<QCheckBox>(dialog, "TraceMain")->setChecked(false);
        Field<QCheckBox>(dialog, "TraceMacro")->setChecked(true);
        Field<QCheckBox>(dialog, "TraceTransfer")->setChecked(true);
        Field<QLineEdit>(dialog, "TraceFile")->setText(QStringLiteral("/tmp/ﾄﾚｰｽ.txt"));
        PressOk(dialog);
        QCOMPARE(dialog.result(), int(QDialog::Accepted));
        QCOMPARE(s.TracePos, 6);
        QCOMPARE(s.TraceFile, std::string("/tmp/ﾄﾚｰｽ.txt"));  // the file system's own bytes
    }

    void AnEmptyFileIsRefusedWithAMessageBox() {
        Settings s("/data");
        TraceSettingsDialog dialog(s);
        dialog.show();
        Field<QCheckBox>(dialog, "TraceMain")->setChecked(true);
        Field<QLineEdit>(dialog, "TraceFile")->clear();
        QString shown;
        QTimer closer;
        closer.setInterval(10);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = box->text();
                box->accept();
            }
        });
        closer.start();
        PressOk(dialog);  // returns once the message box was closed
        closer.stop();
        QVERIFY(shown.contains(QStringLiteral("ﾄﾚｰｽﾌｧｲﾙ")));
        QVERIFY(dialog.isVisible());
        QCOMPARE(s.TracePos, 0);
        QCOMPARE(s.TraceFile, std::string("/data/trace.txt"));
    }
};

QTEST_MAIN(TraceSettingsDialogTest)
#include "TraceSettingsDialogTest.moc"

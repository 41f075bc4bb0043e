// A macro's own dialog on the desktop, run from the real main window: the controls stand where
// the macro put them, what the user fills in comes back to the macro (Enter pressing the default
// button), and Stop closes a dialog or a box that is open.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QtTest>

#include "UiTestSupport.h"
#include "app/MacroThread.h"
#include "text/Encoding.h"
#include "ui/MacroDialogWindow.h"

using namespace marlo;

namespace {

std::string WriteMacro(const test::PtyWindow& w, const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& l : lines) text += Utf8ToSjis(l) + "\r";
    const std::string path = w.Dir() + "/dialog.mac";
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

}  // namespace

class MacroDialogTest : public QObject {
    Q_OBJECT

  private slots:
    void FilledDialogComesBackToTheMacro() {
        test::PtyWindow w;
        QVERIFY(w.portOpen);
        auto path = WriteMacro(w, {"string s",
                                   "int n",
                                   "createdialog \"ホスト選択\" 0 0 160 100",
                                   "addlist \"\" 10 5 5 100 50",
                                   "addstring 10 \"PC-VAN\"",
                                   "addstring 10 \"NIFTY\"",
                                   "addcheck \"ログ\" 20 110 5 45 10",
                                   "addedit \"ID\" 30 5 60 100 12",
                                   "adddefbutton \"接続\" 1 110 80 45 14",
                                   "addbutton \"中止\" 2 60 80 45 14",
                                   "domodal",
                                   "send @result",
                                   "getstring 10 $s",
                                   "send $s",
                                   "getstate 20 @n",
                                   "send @n",
                                   "getstring 30 $s",
                                   "send $s",
                                   "domodal",
                                   "send @result"});
        bool missed = false;
        test::OnNextModal(
            [&](QWidget* dialog) {
                auto* window = qobject_cast<ui::MacroDialogWindow*>(dialog);
                QVERIFY(window);
                auto* list = test::Child<QListWidget>(dialog, "control10");
                QCOMPARE(list->count(), 2);
                QCOMPARE(list->currentRow(), 0);
                // Dialog units: four to the average character width, eight to its height.
                QCOMPARE(list->geometry(), QRect(window->PixelsX(5), window->PixelsY(5),
                                                 window->PixelsX(100), window->PixelsY(50)));
                test::SaveShot(dialog, QStringLiteral("macro-dialog"));
                list->setCurrentRow(1);
                test::Child<QCheckBox>(dialog, "control20")->setChecked(true);
                auto* edit = test::Child<QLineEdit>(dialog, "control30");
                edit->clear();
                for (int i = 0; i < 60; ++i)
                    edit->insert(QString(QChar(0x6F22)));  // typed: 120 bytes
                QCOMPARE(edit->text().size(), 50);         // the field holds 100
                edit->setText(QStringLiteral("guest"));
                // Enter presses the default button; the second showing ends with Escape.
                QTest::keyClick(edit, Qt::Key_Return);
                test::OnNextModal([](QWidget* again) {
                    QCOMPARE(test::Child<QListWidget>(again, "control10")->currentRow(), 0);
                    QCOMPARE(test::Child<QLineEdit>(again, "control30")->text(),
                             QStringLiteral("guest"));
                    QTest::keyClick(again, Qt::Key_Escape);
                });
            },
            &missed);
        QVERIFY(w.frame->Macro().Start(path));
        QTRY_VERIFY_WITH_TIMEOUT(!w.frame->Macro().Running(), 30000);
        QVERIFY(!missed);
        QCOMPARE(w.frame->Macro().LastEnd(), MacroInterpreter::End::Finished);
        QCOMPARE(QString::fromStdString(w.pty.Read(13)), QStringLiteral("1NIFTY1guest0"));
    }

    void StopClosesAnOpenDialogAndBox() {
        test::PtyWindow w;
        for (const char* open : {"domodal", "question \"続けますか\""}) {
            auto path = WriteMacro(w, {"createdialog \"待つ\" 0 0 100 60",
                                       "addbutton \"OK\" 1 5 5 40 14", open, "send \"after\""});
            bool missed = false;
            test::OnNextModal([&](QWidget*) { w.frame->Macro().Stop(); }, &missed);
            QElapsedTimer t;
            t.start();
            QVERIFY(w.frame->Macro().Start(path));
            QTRY_VERIFY_WITH_TIMEOUT(!w.frame->Macro().Running(), 20000);
            QVERIFY(!missed);
            QVERIFY2(t.elapsed() < 10000, open);
            QCOMPARE(w.frame->Macro().LastEnd(), MacroInterpreter::End::Stopped);
            QTRY_VERIFY(!QApplication::activeModalWidget());
            QCOMPARE(w.pty.Read(5, 200), std::string());
        }
    }
};

QTEST_MAIN(MacroDialogTest)
#include "MacroDialogTest.moc"

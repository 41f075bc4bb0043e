// The extraction dialog: the archive it was given, the destination and the delete flag as the
// request, the extraction run from "解凍" to the end with the dialog closing on its own, and
// "ｷｬﾝｾﾙ" before it starts ending it unused.
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "UiTestSupport.h"
#include "support/TempDir.h"
#include "ui/LzhDialog.h"

using namespace marlo;

class LzhDialogTest : public QObject {
    Q_OBJECT
  private slots:
    void extractsWithTheRequestAndCloses();
    void cancelBeforeStartingEndsUnused();
};

void LzhDialogTest::extractsWithTheRequestAndCloses() {
    test::TempDir d;
    const std::string archive = d.Str() + "/X.LZH";
    std::filesystem::copy_file(std::string(MARLO_TEST_DATA) + "/lzh/lh5.lzh", archive);
    test::TestPlatform platform;
    ui::LzhDialog dialog(archive, platform, nullptr);
    auto* field = dialog.findChild<QLineEdit*>(QStringLiteral("lzhArchive"));
    QCOMPARE(field->text().toStdString(), archive);
    auto* flag = dialog.findChild<QCheckBox*>(QStringLiteral("lzhDelete"));
    QVERIFY(!flag->isChecked());
    dialog.findChild<QPushButton*>(QStringLiteral("lzhVersion"))->click();
    QCOMPARE(platform.boxes.back(), std::string("Version  0.03"));

    dialog.findChild<QLineEdit*>(QStringLiteral("lzhDestination"))
        ->setText(QString::fromStdString(d.Str() + "/out/"));
    flag->setChecked(true);
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("lzhExtract"))->click();
    QVERIFY(dialog.Extracting() || dialog.result() == QDialog::Accepted);
    QTRY_VERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(dialog.Outcome());
    QCOMPARE(dialog.Outcome()->request.destination, d.Str() + "/out/");
    QVERIFY(dialog.Outcome()->request.deleteArchive);
    QCOMPARE(dialog.Outcome()->result.status, LzhStatus::Ok);
    QCOMPARE(test::ReadWhole(d.Str() + "/out/sub/b.txt"), std::string("inner file\n"));
}

void LzhDialogTest::cancelBeforeStartingEndsUnused() {
    test::TestPlatform platform;
    ui::LzhDialog dialog("", platform, nullptr);
    dialog.show();
    dialog.findChild<QPushButton*>(QStringLiteral("lzhCancel"))->click();
    QVERIFY(!dialog.isVisible());
    QVERIFY(!dialog.Outcome());
}

QTEST_MAIN(LzhDialogTest)
#include "LzhDialogTest.moc"

// An upload through the status window "転送中": our YMODEM receiver on the far end of a socket
// pair, the fields filling while it runs, the main window's title following the percent, and the
// window closing at the end. Also the protocol choice dialog's lists and F3 with its question.
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <fstream>

#include "UiTestSupport.h"
#include "app/CommandIds.h"
#include "app/MainFrame.h"
#include "app/TransferController.h"
#include "line/StreamLine.h"
#include "support/PtyPair.h"
#include "support/TransferKit.h"
#include "transfer/Protocols.h"
#include "ui/GuiShell.h"
#include "ui/MainWindow.h"
#include "ui/ProtocolDialog.h"
#include "ui/TransferStatusWindow.h"

using namespace marlo;

namespace {

struct Forward : IEventTarget {
    TransferController* to = nullptr;
    void OnEvent(const Event& e) override {
        if (to) to->OnEvent(e);
    }
};

}  // namespace

class TransferWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void UploadFillsTheFieldsAndClosesTheWindow();
    void ProtocolDialogListsEachDirection();
    void F3AsksBeforeCancelling();
    void MenuDownloadThroughTheShellAndF3Cancel();
};

void TransferWindowTest::UploadFillsTheFieldsAndClosesTheWindow() {
    QTemporaryDir tmp, far;
    QVERIFY(tmp.isValid() && far.isValid());
    std::string source = tmp.filePath(QStringLiteral("upload.bin")).toStdString();
    const auto data = test::RandomBytes(300000, 5);
    test::WriteFileBytes(source, data);

    test::SocketPair sp;
    StreamLine nearLine(sp.a, sp.a), farLine(sp.b, sp.b);

    test::TestPlatform platform;
    QWidget main;
    main.resize(640, 400);
    main.show();
    platform.SetMainWidget(&main);
    Settings settings(tmp.path().toStdString());
    settings.UploadDefPath = tmp.path().toStdString();
    TransferFrameHooks hooks;
    bool frameReading = true;
    hooks.line = [&]() -> ILineIo* { return &nearLine; };
    hooks.setRunning = [&](bool running) { frameReading = !running; };
    hooks.idleTitle = [] { return std::string("[未接続]"); };
    TransferController ctrl(platform, settings, hooks);
    Forward forward;
    forward.to = &ctrl;
    platform.SetEventTarget(&forward);
    ui::TransferStatusWindow window(&main);
    window.onCancel = [&] { ctrl.RequestCancel(); };
    window.onCloseRequest = [&] { ctrl.RequestClose(); };
    ctrl.SetWindow(&window);

    TransferSession receiver(farLine, nullptr, nullptr);
    TransferRequest request;
    request.protocol = kProtoYmodem;
    request.direction = kDownload;
    request.downloadDir = far.path().toStdString();
    QVERIFY(receiver.Start(request, {}) == StartResult::Started);

    QVERIFY(ctrl.StartTransfer(kUpload, kProtoYmodem, source));
    QVERIFY(window.isVisible());
    QVERIFY(!frameReading);
    QCOMPARE(window.windowTitle(), QStringLiteral("転送中"));
    QCOMPARE(window.FieldText(TransField::Elapsed), QStringLiteral("00:00:00"));

    // Watch the window as the user would: what it showed while the transfer ran.
    QStringList files, protocols, titles;
    int maxPercent = 0;
    bool shot = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        ctrl.OnTick();
        if (!window.isVisible()) return;
        files << window.FieldText(TransField::File);
        protocols << window.FieldText(TransField::Protocol);
        titles << main.windowTitle();
        maxPercent = std::max(maxPercent, window.Percent());
        if (!shot && window.Percent() > 0) {
            test::SaveShot(&window, QStringLiteral("transfer-status"));
            shot = true;
        }
    });
    watch.start(1);
    QTRY_VERIFY_WITH_TIMEOUT(!ctrl.Running(), 30000);
    watch.stop();
    QVERIFY(receiver.WaitEngine(10000));
    receiver.Finish();
    QVERIFY(receiver.Succeeded());

    QVERIFY(!window.isVisible());
    QVERIFY(frameReading);
    QVERIFY(files.contains(QStringLiteral("upload.bin")));
    QVERIFY(protocols.contains(QStringLiteral("YMODEM")));
    QVERIFY(maxPercent > 0);
    bool percentTitle = false;
    for (const auto& t : titles) percentTitle |= t.startsWith(QStringLiteral("アップロード中("));
    QVERIFY(percentTitle);
    QCOMPARE(main.windowTitle(), QStringLiteral("[未接続]"));
    QVERIFY(test::ReadFileBytes(far.filePath(QStringLiteral("upload.bin")).toStdString()) == data);
    platform.SetEventTarget(nullptr);
}

void TransferWindowTest::ProtocolDialogListsEachDirection() {
    for (int direction : {kUpload, kDownload}) {
        ui::ProtocolDialog dialog(direction, ProtocolChoices(direction), nullptr);
        QCOMPARE(dialog.windowTitle(), direction == kUpload ? QStringLiteral("アップロード")
                                                            : QStringLiteral("ダウンロード"));
        QCOMPARE(dialog.List()->count(), 7);
        QCOMPARE(dialog.List()->currentRow(), 0);
        QCOMPARE(dialog.List()->item(0)->text(),
                 direction == kUpload ? QStringLiteral("無手順") : QStringLiteral("XMODEM"));
        if (direction == kUpload) {
            dialog.show();
            test::SaveShot(&dialog, QStringLiteral("protocol-choice"));
        }
        dialog.List()->setCurrentRow(4);
        QCOMPARE(ProtocolFromName(*dialog.Chosen()), int(kProtoZmodem));
    }
}

void TransferWindowTest::F3AsksBeforeCancelling() {
    QWidget main;
    ui::TransferStatusWindow window(&main);
    int cancels = 0;
    window.onCancel = [&] { ++cancels; };
    window.Open();
    QCOMPARE(window.FieldText(TransField::Size), QStringLiteral("0 バイト"));
    QCOMPARE(window.FieldText(TransField::Bytes), QStringLiteral("0バイト"));
    QCOMPARE(window.FieldText(TransField::Speed), QStringLiteral("0 Bps"));
    QCOMPARE(window.findChild<QLabel*>(QStringLiteral("percentValue"))->text(),
             QStringLiteral("0％"));
    QTest::keyClick(&main, Qt::Key_F3);
    QCOMPARE(cancels, 1);
    window.SetCancelEnabled(false);
    QTest::keyClick(&main, Qt::Key_F3);
    QCOMPARE(cancels, 1);
    window.Close();
    QTest::keyClick(&main, Qt::Key_F3);
    QCOMPARE(cancels, 1);
}

void TransferWindowTest::MenuDownloadThroughTheShellAndF3Cancel() {
    QTemporaryDir tmp;
    test::PtyPair pty;
    QVERIFY(pty.Ok());
    std::string d = tmp.path().toStdString();
    std::ofstream(d + "/ports.conf") << pty.SlavePath() << "\n";
    Settings s(d);
    s.Port = 1;
    s.Flow = 0;
    s.HistoryDefPath = d;
    s.DownlodDefPath = d;
    test::TestPlatform platform;
    {
        CMainFrame frame(platform, s, CMainFrame::Paths{d, d, {}}, nullptr);
        ui::GuiShell shell(platform, false);
        shell.Attach(frame);
        shell.Show();
        QVERIFY(frame.OpenConfiguredPort());

        // The menu's protocol choice: ZMODEM needs no file.
        bool missed = false;
        QString title;
        test::OnNextModal(
            [&](QWidget* w) {
                auto* dialog = qobject_cast<ui::ProtocolDialog*>(w);
                if (!dialog) {
                    w->close();
                    return;
                }
                title = dialog->windowTitle();
                dialog->List()->setCurrentRow(4);
                dialog->accept();
            },
            &missed);
        frame.OnCommand(ID_DOWNLOAD);
        QVERIFY(!missed);
        QCOMPARE(title, QStringLiteral("ダウンロード"));
        QVERIFY(frame.transferRunning);
        QVERIFY(shell.TransferWindow()->isVisible());
        QTRY_COMPARE_WITH_TIMEOUT(shell.TransferWindow()->FieldText(TransField::Protocol),
                                  QStringLiteral("ZMODEM"), 5000);

        // F3 in the main window asks; the answer is OK and the transfer ends.
        QTest::keyClick(shell.Window(), Qt::Key_F3);
        QVERIFY(!platform.boxes.empty());
        QCOMPARE(QString::fromStdString(platform.boxes.back()),
                 QString::fromUtf8(TransferController::kAskCancel));
        QTRY_VERIFY_WITH_TIMEOUT(!frame.transferRunning, 10000);
        QVERIFY(!shell.TransferWindow()->isVisible());
    }
}

QTEST_MAIN(TransferWindowTest)
#include "TransferWindowTest.moc"

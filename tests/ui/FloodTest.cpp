// A flood through the whole desktop path: 10 MB of numbered lines written into the far end of a pty
// whose near end is the frame's serial port, with the real window showing them. Every line reaches
// the capture log in order, the screen ends on the last ones, the string wait sees a pattern near
// the end, and the pane paints at most about once per display frame, not once per read.
#include <QElapsedTimer>
#include <QtTest>
#include <fstream>
#include <thread>

#include "UiTestSupport.h"
#include "ui/MainWindow.h"
#include "ui/TerminalPanes.h"
#include "ui/TerminalWidget.h"

using namespace marlo;

namespace {

// Lines of 72 bytes, "line 0000001 ..." CR LF, until `bytes` are made.
std::string NumberedLines(size_t bytes) {
    std::string out;
    out.reserve(bytes + 80);
    char line[80];
    for (int n = 1; out.size() < bytes; ++n) {
        std::snprintf(line, sizeof line,
                      "line %07d the quick brown fox jumps over the lazy dog\r\n", n);
        out += line;
    }
    return out;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

class FloodTest : public QObject {
    Q_OBJECT

  private slots:
    void tenMegabytesArriveWholeAndPaintPerFrame_data() {
        QTest::addColumn<int>("emulation");
        QTest::newRow("dumb") << 0;
        QTest::newRow("VT100") << 1;
    }
    void tenMegabytesArriveWholeAndPaintPerFrame() {
        QFETCH(int, emulation);
        test::PtyWindow w([&](Settings& s) {
            s.Emulation = emulation;
            s.LogDefPath = s.HistoryDefPath;
            s.LogDefault = 1;
            s.LogIniBegin = 1;
            s.LogSaveForm = 0;
        });
        const std::string d = w.Dir();
        CMainFrame* frame = w.frame.get();
        QVERIFY(QTest::qWaitForWindowExposed(w.shell->Window()));
        QVERIFY(w.portOpen);
        frame->StartLogAtStart();  // the automatic name, no dialog
        QVERIFY(frame->Log().IsOpen());

        const std::string text = NumberedLines(10u << 20);
        const std::string lastLine = text.substr(text.rfind("line ", text.size() - 3), 12);
        const int wait = frame->Wait().Arm({lastLine}, true);
        ui::TerminalWidget* pane = w.shell->Panes()->ActivePane();
        const int paintsBefore = pane->Paints();
        QElapsedTimer clock;
        clock.start();
        // The far end writes as fast as the pty takes it; the window reads on its own thread.
        std::thread writer([&] { w.pty.Write(text); });
        const bool matched =
            QTest::qWaitFor([&] { return frame->Wait().Matched(wait) != 0; }, 120000);
        writer.join();
        QVERIFY2(matched, "the pattern on the last line was not seen");
        QTRY_VERIFY_WITH_TIMEOUT(
            pane->VisibleText().join(QLatin1Char('\n')).contains(QString::fromStdString(lastLine)),
            10000);
        const qint64 elapsed = clock.elapsed();
        frame->Log().Close();

        std::string logged;
        for (const auto& f : std::filesystem::directory_iterator(d))
            if (f.path().extension() == ".LOG") logged = ReadAll(f.path().string());
        QCOMPARE(logged.size(), text.size());
        QVERIFY2(logged == text, "the log differs from what was sent");
        // At most one paint per 16 ms frame, with room for the paints of the window itself.
        const int paints = pane->Paints() - paintsBefore;
        QVERIFY2(paints <= elapsed / 16 + 30,
                 qPrintable(QStringLiteral("%1 paints in %2 ms").arg(paints).arg(elapsed)));
        frame->Wait().Disarm(wait);
    }
};

QTEST_MAIN(FloodTest)
#include "FloodTest.moc"

// The connection history window on a prepared "history.txt": the periods, the host choice, the
// totals in the window's formats, and delete with its question. The log browser, its sibling, on
// a prepared log folder.
#include <fcntl.h>
#include <sys/stat.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "hosts/HostTable.h"
#include "line/History.h"
#include "settings/Settings.h"
#include "support/TempDir.h"
#include "text/Encoding.h"
#include "ui/HistoryWindow.h"
#include "ui/LogBrowserWindow.h"

using namespace marlo;
using marlo::test::Child;
using marlo::test::TestPlatform;

namespace {

std::tm Day(int y, int m, int d, int hh = 0, int mm = 0, int ss = 0) {
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = m - 1;
    t.tm_mday = d;
    t.tm_hour = hh;
    t.tm_min = mm;
    t.tm_sec = ss;
    t.tm_isdst = -1;
    std::mktime(&t);  // fills the weekday
    return t;
}

std::string Record(const char* host, std::tm on, std::tm off, long yen) {
    return FormatHistoryRecord(Utf8ToSjis(host), on, off, yen) + "\r\n";
}

struct Totals {
    QString count, time, charge;
    int rows;
    bool operator==(const Totals&) const = default;
};

Totals Shown(QWidget* w) {
    return {Child<QLabel>(w, "historyCount")->text(), Child<QLabel>(w, "historyTime")->text(),
            Child<QLabel>(w, "historyCharge")->text(),
            Child<QTreeWidget>(w, "historyList")->topLevelItemCount()};
}

}  // namespace

namespace QTest {
template <>
char* toString(const Totals& t) {
    return qstrdup(QStringLiteral("%1 / %2 / %3 / %4 rows")
                       .arg(t.count, t.time, t.charge)
                       .arg(t.rows)
                       .toUtf8()
                       .constData());
}
}  // namespace QTest

class HistoryWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        std::string text;
        // Today is 1996-05-15.
        text += Record("NIFTY-Serve", Day(1996, 5, 15, 9, 0, 0), Day(1996, 5, 15, 10, 0, 0), 200);
        text += Record("PC-VAN", Day(1996, 5, 15, 22, 50, 0), Day(1996, 5, 15, 23, 10, 0), 610);
        text += Record("NIFTY-Serve", Day(1996, 5, 1, 23, 30, 0), Day(1996, 5, 2, 0, 30, 0), 150);
        text += "not a record\r\n\r\n";
        text += Record("NIFTY-Serve", Day(1996, 2, 10, 8, 0, 0), Day(1996, 2, 10, 8, 0, 30), 10);
        text += Record("日経MIX", Day(1995, 12, 31, 12, 0, 0), Day(1995, 12, 31, 12, 0, 5), 0);
        QFile f(dir_->filePath("history.txt"));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text.data(), static_cast<qint64>(text.size()));
    }

    void periodsAndHostsFilterAndTotalsFollow() {
        TestPlatform platform;
        ui::HistoryWindow w(dir_->path().toStdString(),
                            {"NIFTY-Serve", "", "PC-VAN", Utf8ToSjis("日経MIX")}, platform, nullptr,
                            [] { return Day(1996, 5, 15); });
        auto* host = Child<QComboBox>(&w, "historyHost");
        QCOMPARE(host->count(), 4);  // the empty name is left out
        QCOMPARE(host->itemText(0), QString("すべてのホスト"));
        QCOMPARE(host->itemText(3), QString("日経MIX"));

        // It opens on this month.
        QVERIFY(Child<QRadioButton>(&w, "periodMonth")->isChecked());
        QCOMPARE(Shown(&w), (Totals{"3回", "2時間 20分 0秒", "960円", 3}));
        auto* list = Child<QTreeWidget>(&w, "historyList");
        QCOMPARE(list->topLevelItem(1)->text(0), QString("PC-VAN"));
        QCOMPARE(list->topLevelItem(1)->text(1), QString("1996年05月15日(水)"));
        QCOMPARE(list->topLevelItem(1)->text(2), QString("22:50:00～23:10:00"));
        QCOMPARE(list->topLevelItem(1)->text(3), QString(" 610"));

        // Which records each period and host takes is the history reader's rule; here the
        // window follows its buttons.
        Child<QRadioButton>(&w, "periodToday")->click();
        QCOMPARE(Shown(&w), (Totals{"2回", "1時間 20分 0秒", "810円", 2}));
        Child<QRadioButton>(&w, "periodAll")->click();
        QCOMPARE(Shown(&w), (Totals{"5回", "2時間 20分 35秒", "970円", 5}));

        // A host choice lists only its records, with the period kept.
        w.SetHostRow(3);
        QCOMPARE(Shown(&w), (Totals{"1回", "0時間 0分 5秒", "0円", 1}));
        QCOMPARE(list->topLevelItem(0)->text(0), QString("日経MIX"));
        Child<QRadioButton>(&w, "periodToday")->click();
        QCOMPARE(Shown(&w), (Totals{"0回", "0時間 0分 0秒", "0円", 0}));
        QVERIFY(platform.boxes.empty());

        w.show();
        w.SetHostRow(0);
        Child<QRadioButton>(&w, "periodAll")->click();
        marlo::test::SaveShot(&w, "history-window");
    }

    void deleteAsksAndEmptiesTheList() {
        TestPlatform platform;
        ui::HistoryWindow w(dir_->path().toStdString(), {}, platform, nullptr,
                            [] { return Day(1996, 5, 15); });
        auto* del = Child<QPushButton>(&w, "historyDelete");
        platform.answers = {MsgResult::No};
        del->click();
        QCOMPARE(platform.boxes, std::vector<std::string>{kHistoryDeleteAsk});
        QVERIFY(QFile::exists(dir_->filePath("history.txt")));
        QCOMPARE(Shown(&w).rows, 3);

        platform.answers = {MsgResult::Yes};
        del->click();
        QVERIFY(!QFile::exists(dir_->filePath("history.txt")));
        QCOMPARE(Shown(&w), (Totals{"0回", "0時間 0分 0秒", "0円", 0}));
        // A missing file is an empty history, not an error.
        ui::HistoryWindow again(dir_->path().toStdString(), {"a"}, platform, nullptr);
        QCOMPARE(Shown(&again), (Totals{"0回", "0時間 0分 0秒", "0円", 0}));
        QCOMPARE(platform.boxes.size(), size_t{2});
    }

    void commandOpensOnTheSettingsFolderAndTheTable() {
        TestPlatform platform;
        Settings settings;
        settings.HistoryDefPath = dir_->path().toStdString();
        HostTable table;
        HostEntry e;
        e.Name = "PC-VAN";
        QVERIFY(table.Add(e).ok);
        QStringList seen;
        std::string help;
        marlo::test::OnNextModal([&](QWidget* w) {
            auto* host = Child<QComboBox>(w, "historyHost");
            for (int i = 0; i < host->count(); ++i) seen << host->itemText(i);
            Child<QPushButton>(w, "historyHelp")->click();
            Child<QPushButton>(w, "historyOk")->click();
        });
        ui::HistoryWindow::Run(settings, table, platform, nullptr,
                               [&](const std::string& keyword) { help = keyword; });
        QCOMPARE(seen, (QStringList{"すべてのホスト", "PC-VAN"}));
        QVERIFY(!help.empty());
    }

    // The log browser opens on this month, lists again for each period, opens the chosen logs in
    // the chosen viewer and deletes them after its question.
    void logBrowserListsViewsAndDeletes() {
        const std::string logs = dir_->path().toStdString();
        auto touch = [&](const char* name, std::tm when) {
            const std::string path = logs + "/" + name;
            marlo::test::WriteWhole(path, "log");
            std::time_t t = std::mktime(&when);
            const timespec times[2] = {{t, 0}, {t, 0}};
            ::utimensat(AT_FDCWD, path.c_str(), times, 0);
        };
        touch("LG960515.LOG", Day(1996, 5, 15, 9, 7));
        touch("april.log", Day(1996, 4, 30, 23, 59));
        Settings settings;
        settings.LogDefPath = logs;
        settings.LogViewer = {"notepad.exe", "viewer --all", ""};
        TestPlatform platform;
        ui::LogBrowserWindow w(settings, platform, nullptr, [] { return Day(1996, 5, 15); });
        auto* list = Child<QTreeWidget>(&w, "logList");
        QVERIFY(Child<QRadioButton>(&w, "periodMonth")->isChecked());
        QCOMPARE(list->topLevelItemCount(), 1);
        QCOMPARE(list->topLevelItem(0)->text(0), QString("LG960515.LOG"));
        QCOMPARE(list->topLevelItem(0)->text(1), QString("         3"));
        QCOMPARE(list->topLevelItem(0)->text(2), QString("96/05/15 09:07"));
        Child<QRadioButton>(&w, "periodYear")->click();
        QCOMPARE(list->topLevelItemCount(), 2);
        auto* viewers = Child<QComboBox>(&w, "logViewers");
        QCOMPARE(viewers->count(), 2);
        QCOMPARE(viewers->itemText(0), QString("notepad"));

        // Nothing chosen: the view says so; then both logs to the second viewer in one process.
        Child<QPushButton>(&w, "logView")->click();
        QCOMPARE(platform.boxes, std::vector<std::string>{kLogNoSelection});
        list->selectAll();
        viewers->setCurrentIndex(1);
        Child<QPushButton>(&w, "logView")->click();
        QCOMPARE(platform.processes.size(), size_t{1});
        QCOMPARE(platform.processes[0],
                 (std::vector<std::string>{"viewer", "--all", logs + "/LG960515.LOG",
                                           logs + "/april.log"}));
        w.show();
        marlo::test::SaveShot(&w, "log-browser");

        // Cancel keeps every file; OK deletes the chosen one and the list follows.
        platform.answers = {MsgResult::Cancel};
        Child<QPushButton>(&w, "logDelete")->click();
        QCOMPARE(list->topLevelItemCount(), 2);
        list->clearSelection();
        list->topLevelItem(1)->setSelected(true);
        platform.answers = {MsgResult::Ok};
        Child<QPushButton>(&w, "logDelete")->click();
        QCOMPARE(platform.boxes.back(), std::string(kLogDeleteAsk));
        QCOMPARE(list->topLevelItemCount(), 1);
        QVERIFY(!QFile::exists(dir_->filePath("april.log")));
        QVERIFY(QFile::exists(dir_->filePath("history.txt")));
    }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
};

QTEST_MAIN(HistoryWindowTest)
#include "HistoryWindowTest.moc"

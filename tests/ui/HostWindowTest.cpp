// The host window, the host property sheet and the name prompt, driven as a user would: entries
// are added, copied, edited, moved and deleted, and what OK hands back and stores is checked.
#include <QCheckBox>
#include <QComboBox>
#include <QInputDialog>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>
#include <QTreeWidget>

#include "UiTestSupport.h"
#include "hosts/HostTable.h"
#include "hosts/Password.h"
#include "settings/Settings.h"
#include "settings/SettingsFile.h"
#include "text/Encoding.h"
#include "ui/HostPropertySheet.h"
#include "ui/HostWindow.h"
#include "ui/PresetListDialog.h"

using namespace marlo;
using marlo::test::Child;
using marlo::test::OnNextModal;
using marlo::test::TestPlatform;

namespace {

void SetText(QWidget* dlg, const char* name, const QString& text) {
    Child<QLineEdit>(dlg, name)->setText(text);
}

void ChooseData(QWidget* dlg, const char* name, int value) {
    auto* c = Child<QComboBox>(dlg, name);
    c->setCurrentIndex(c->findData(value));
}

HostEntry Serial(const char* name) {
    HostEntry e;
    e.Name = name;
    e.TelNum1 = "03-1234-5678";
    return e;
}

// Answers the name prompt with `name`.
void AnswerPrompt(const QString& name, QString* prefill = nullptr) {
    OnNextModal([=](QWidget* w) {
        auto* dlg = qobject_cast<QInputDialog*>(w);
        QVERIFY(dlg);
        if (prefill) *prefill = dlg->textValue();
        dlg->setTextValue(name);
        dlg->accept();
    });
}

QStringList Rows(const ui::HostWindow& w) {
    QStringList rows;
    auto* model = w.CurrentView()->model();
    for (int r = 0; r < model->rowCount(); ++r) rows << model->index(r, 0).data().toString();
    return rows;
}

}  // namespace

class HostWindowTest : public QObject {
    Q_OBJECT
  private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        QVERIFY(dir_->isValid());
        table_ = HostTable();
        QVERIFY(table_.Add(Serial("B-host")).ok);
        QVERIFY(table_.Add(Serial("A-host")).ok);
        settings_ = Settings();
        store_ = std::make_unique<SettingsFile>(dir_->path().toStdString());
    }

    void addsEntryThroughTheSheetAndStoresItOnOk() {
        TestPlatform platform;
        ui::HostWindow w(table_, settings_, store_.get(), platform, nullptr);
        w.show();
        QCOMPARE(Rows(w), (QStringList{"B-host", "A-host"}));

        OnNextModal([](QWidget* sheet) {
            QVERIFY(qobject_cast<ui::HostPropertySheet*>(sheet));
            // Every field's way through the sheet is the sheet test's; here a few, typed.
            SetText(sheet, "hostName", QStringLiteral("テスト局"));
            Child<QRadioButton>(sheet, "lineTelnet")->setChecked(true);
            SetText(sheet, "telnetHost", "bbs.example.jp");
            SetText(sheet, "password", "pa ss~1");
            ChooseData(sheet, "Speed", 9600);
            static_cast<QDialog*>(sheet)->accept();
        });
        w.DoAdd();
        QVERIFY(platform.boxes.empty());
        QCOMPARE(w.Model().Table().Size(), size_t{3});
        QCOMPARE(w.Model().Selection(), std::optional<size_t>(2));
        const HostEntry& added = w.Model().Table().At(2);
        QCOMPARE(added.Name, Utf8ToSjis("テスト局"));
        QCOMPARE(added.Line, 1);
        QCOMPARE(added.TelnetHost, std::string("bbs.example.jp"));
        QCOMPARE(added.Password, std::string("pa ss~1"));
        QCOMPARE(added.Speed, 9600);
        // Values the sheet does not show keep the new-entry defaults.
        QCOMPARE(added.ModemIniCommand, std::string("ATE1Q0V1X3"));
        QCOMPARE(added.RedialNum, 10);
        QCOMPARE(table_.Size(), size_t{2});  // nothing handed back before OK

        Child<QPushButton>(&w, "hostOk")->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(table_, w.Model().Table());

        // What was stored comes back in a fresh store, the password restored.
        SettingsFile reopened(dir_->path().toStdString());
        QVERIFY(reopened.Load(nullptr));
        HostTable loaded;
        QVERIFY(loaded.Load(reopened).empty());
        QCOMPARE(loaded, table_);
        QCOMPARE(reopened.GetText("Host\\" + HostKeyName(added.Name), "Password"),
                 ScramblePassword("pa ss~1"));
    }

    void copyEditMoveDeleteAndTheirSelection() {
        TestPlatform platform;
        ui::HostWindow w(table_, settings_, nullptr, platform, nullptr);
        w.show();
        QCOMPARE(w.Model().Selection(), std::optional<size_t>(0));

        QString prefill;
        AnswerPrompt("C-copy", &prefill);
        w.DoCopy();
        QCOMPARE(prefill, QString("B-host"));
        QCOMPARE(Rows(w), (QStringList{"B-host", "A-host", "C-copy"}));
        QCOMPARE(w.Model().Selection(), std::optional<size_t>(2));
        QCOMPARE(w.Model().Table().At(2).TelNum1, std::string("03-1234-5678"));

        // Properties on the selected entry write every field back.
        OnNextModal([](QWidget* sheet) {
            QCOMPARE(Child<QLineEdit>(sheet, "hostName")->text(), QString("C-copy"));
            SetText(sheet, "telNum2", "06-9876-5432");
            Child<QCheckBox>(sheet, "infinite")->setChecked(false);
            Child<QSpinBox>(sheet, "redialNum")->setValue(25);
            Child<QComboBox>(sheet, "distance")->setCurrentIndex(6);
            static_cast<QDialog*>(sheet)->accept();
        });
        w.DoProperties();
        const HostEntry& edited = w.Model().Table().At(2);
        QCOMPARE(edited.TelNum2, std::string("06-9876-5432"));
        QCOMPARE(edited.Infinite, 0);
        QCOMPARE(edited.RedialNum, 25);
        QCOMPARE(edited.Long, 6);

        // The rules of moving, deleting and sorting are the model's; here the view follows them.
        w.DoMoveUp();
        QCOMPARE(Rows(w), (QStringList{"B-host", "C-copy", "A-host"}));
        QCOMPARE(w.CurrentView()->currentIndex().row(), 1);

        // A click in the view moves the selection the commands use.
        w.CurrentView()->setCurrentIndex(w.CurrentView()->model()->index(2, 0));
        QCOMPARE(w.Model().Selection(), std::optional<size_t>(2));
        w.DoDelete();
        QCOMPARE(Rows(w), (QStringList{"B-host", "C-copy"}));
        QCOMPARE(w.CurrentView()->currentIndex().row(), 1);
        w.DoMoveUp();
        w.DoSort();
        QCOMPARE(Rows(w), (QStringList{"B-host", "C-copy"}));
        QCOMPARE(w.CurrentView()->currentIndex().row(), 1);

        // The Delete key runs Delete too.
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        platform.answers = {MsgResult::Ok};
        QTest::keyClick(w.CurrentView(), Qt::Key_Delete);
        QCOMPARE(Rows(w), (QStringList{"B-host"}));
    }

    void cancelDropsEveryEdit() {
        TestPlatform platform;
        const HostTable before = table_;
        ui::HostWindow w(table_, settings_, store_.get(), platform, nullptr);
        w.show();
        AnswerPrompt("X");
        w.DoCopy();
        w.DoMoveUp();
        w.CurrentView()->setCurrentIndex(w.CurrentView()->model()->index(0, 0));
        platform.answers = {MsgResult::Ok};
        w.DoDelete();
        w.SetStyle(2);
        QCOMPARE(Rows(w), (QStringList{"X", "A-host"}));
        QVERIFY(w.Model().Table() != before);
        Child<QPushButton>(&w, "hostCancel")->click();
        QCOMPARE(w.result(), int(QDialog::Rejected));
        QCOMPARE(table_, before);
        QCOMPARE(settings_.HostTableStyle, 0);
        QVERIFY(!store_->KeyExists(kHostKey));
    }

    void commandsWithoutSelectionSayWhy() {
        TestPlatform platform;
        HostTable empty;
        ui::HostWindow w(empty, settings_, nullptr, platform, nullptr);
        w.show();
        w.DoConnect();
        w.DoCopy();
        w.DoDelete();
        w.DoProperties();
        w.DoMoveUp();
        QCOMPARE(platform.boxes, std::vector<std::string>(5, kHostNotSelected));
        QVERIFY(w.isVisible());
    }

    void connectHandsBackTheTableAndTheEntry() {
        TestPlatform platform;
        settings_.HostTableStyle = 1;
        settings_.HostTableWidth = 500;
        settings_.HostTableHeight = 350;
        ui::HostWindow w(table_, settings_, store_.get(), platform, nullptr);
        QCOMPARE(qobject_cast<QListView*>(w.CurrentView())->viewMode(), QListView::ListMode);
        w.show();
        w.SetStyle(2);
        QCOMPARE(qobject_cast<QListView*>(w.CurrentView())->viewMode(), QListView::IconMode);
        w.resize(520, 380);
        w.DoMoveDown();
        std::optional<std::string> connected;
        size_t connectedIndex = 99;
        w.onConnect = [&](const HostEntry& e, size_t i) {
            connected = e.Name;
            connectedIndex = i;
        };
        // A double-click on an entry connects it.
        QListView* view = qobject_cast<QListView*>(w.CurrentView());
        view->doItemsLayout();
        const QRect r = view->visualRect(view->model()->index(1, 0));
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, r.center());
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(w.result(), int(ui::HostWindow::kConnected));
        QCOMPARE(connected, std::optional<std::string>("B-host"));
        QCOMPARE(connectedIndex, size_t{1});
        QCOMPARE(table_.At(1).Name, std::string("B-host"));  // the move was handed back
        QCOMPARE(settings_.HostTableStyle, 2);
        QCOMPARE(settings_.HostTableWidth, 520);
        QCOMPARE(settings_.HostTableHeight, 380);
        QVERIFY(store_->KeyExists(kHostKey));
    }

    void windowDoesNotOpenWhileOnline() {
        TestPlatform platform;
        QCOMPARE(ui::HostWindow::Run(true, table_, settings_, nullptr, platform, nullptr),
                 std::nullopt);
        QCOMPARE(platform.boxes, std::vector<std::string>{kHostOnline});
    }

    void choosingModeGivesTheTelnetHost() {
        TestPlatform platform;
        HostEntry t = Serial("T-host");
        t.Line = 1;
        t.TelnetHost = "telnet.example.net";
        QVERIFY(table_.Add(t).ok);
        OnNextModal([](QWidget* w) {
            auto* hw = qobject_cast<ui::HostWindow*>(w);
            QVERIFY(hw);
            QCOMPARE(Child<QPushButton>(w, "hostConnect")->text(), QStringLiteral("選択(&T)"));
            hw->CurrentView()->setCurrentIndex(hw->CurrentView()->model()->index(2, 0));
            Child<QPushButton>(w, "hostConnect")->click();
        });
        QCOMPARE(ui::HostWindow::ChooseTelnetHost(table_, settings_, nullptr, platform, nullptr),
                 std::optional<std::string>("telnet.example.net"));
        // A serial entry has no telnet host to give.
        OnNextModal([](QWidget* w) { Child<QPushButton>(w, "hostConnect")->click(); });
        QCOMPARE(ui::HostWindow::ChooseTelnetHost(table_, settings_, nullptr, platform, nullptr),
                 std::nullopt);
    }

    void rightClickMenuOffersTheCommands() {
        TestPlatform platform;
        ui::HostWindow w(table_, settings_, nullptr, platform, nullptr);
        auto* menu = Child<QMenu>(&w, "hostMenu");
        QStringList labels;
        for (QAction* a : menu->actions()) labels << (a->isSeparator() ? "-" : a->text());
        QCOMPARE(labels, (QStringList{"接続(&T)", "-", "追加(&A)...", "ｺﾋﾟｰ(&C)...", "削除(&D)...",
                                      "-", "ﾌﾟﾛﾊﾟﾃｨ(&R)..."}));
        w.show();
        marlo::test::SaveShot(&w, "host-window-report");
        w.SetStyle(2);
        marlo::test::SaveShot(&w, "host-window-icons");
    }

    void namePromptTakesThirtyBytes() {
        // 30 half-width characters fit; a 31st does not. Full-width characters count two bytes.
        QString typed;
        OnNextModal([&](QWidget* w) {
            auto* edit = w->findChild<QLineEdit*>();
            QTest::keyClicks(edit, QString(35, QLatin1Char('x')));
            typed = edit->text();
            edit->clear();
            for (int i = 0; i < 20; ++i) edit->insert(QString(QChar(0x6F22)));  // 漢
            typed += "|" + edit->text();
            static_cast<QDialog*>(w)->reject();
        });
        QCOMPARE(ui::AskHostName("", nullptr), std::nullopt);
        QCOMPARE(typed, QString(30, QLatin1Char('x')) + "|" + QString(15, QChar(0x6F22)));
    }

  private:
    std::unique_ptr<QTemporaryDir> dir_;
    HostTable table_;
    Settings settings_;
    std::unique_ptr<SettingsFile> store_;
};

QTEST_MAIN(HostWindowTest)
#include "HostWindowTest.moc"

#include "ui/HistoryWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "hosts/HostTable.h"
#include "platform/Platform.h"
#include "settings/Settings.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

constexpr const char* kHistoryHelp = "［接続履歴］ウィンドウ";

}  // namespace

QGroupBox* PeriodBox(QWidget* parent, QButtonGroup* group) {
    auto* range = new QGroupBox(QStringLiteral("表示範囲"), parent);
    auto* rangeRow = new QHBoxLayout(range);
    const struct {
        const char* label;
        const char* objectName;
        HistoryPeriod period;
    } periods[] = {{"全年", "periodAll", HistoryPeriod::All},
                   {"今年", "periodYear", HistoryPeriod::Year},
                   {"今月", "periodMonth", HistoryPeriod::Month},
                   {"今日", "periodToday", HistoryPeriod::Today}};
    for (const auto& p : periods) {
        auto* b = new QRadioButton(FromUtf8(p.label), range);
        b->setObjectName(QString::fromLatin1(p.objectName));
        group->addButton(b, static_cast<int>(p.period));
        rangeRow->addWidget(b);
    }
    return range;
}

HistoryWindow::HistoryWindow(const std::string& dir, const std::vector<std::string>& hostNames,
                             IPlatform& platform, QWidget* parent, std::function<std::tm()> today)
    : QDialog(parent),
      dir_(dir),
      hosts_(HistoryHostChoices(hostNames)),
      platform_(platform),
      today_(today ? std::move(today) : LocalToday) {
    setWindowTitle(FromUtf8(kHistoryTitle));
    setSizeGripEnabled(true);

    host_ = new QComboBox(this);
    host_->setObjectName(QStringLiteral("historyHost"));
    host_->addItem(FromUtf8(kHistoryAllHosts));
    for (const std::string& h : hosts_) host_->addItem(FromSjis(h));

    periods_ = new QButtonGroup(this);
    auto* range = PeriodBox(this, periods_);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("historyList"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QStringLiteral("ホスト"), QStringLiteral("接続日時"),
                            QStringLiteral("接続時間"), QStringLiteral("通話料")});
    list_->headerItem()->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    list_->header()->setStretchLastSection(false);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->viewport()->installEventFilter(this);

    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("historyCount"));
    time_ = new QLabel(this);
    time_->setObjectName(QStringLiteral("historyTime"));
    charge_ = new QLabel(this);
    charge_->setObjectName(QStringLiteral("historyCharge"));
    auto* totals = new QFormLayout;
    totals->addRow(QStringLiteral("接続回数："), count_);
    totals->addRow(QStringLiteral("接続時間："), time_);
    totals->addRow(QStringLiteral("ﾀﾞｲﾔﾙ通話料金："), charge_);

    auto* del = new QPushButton(QStringLiteral("削除(&D)..."), this);
    del->setObjectName(QStringLiteral("historyDelete"));
    del->setAutoDefault(false);
    auto* ok = new QPushButton(QStringLiteral("ＯＫ"), this);
    ok->setObjectName(QStringLiteral("historyOk"));
    ok->setDefault(true);
    auto* help = new QPushButton(QStringLiteral("ﾍﾙﾌﾟ(&H)"), this);
    help->setObjectName(QStringLiteral("historyHelp"));
    help->setAutoDefault(false);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("ホスト："), this));
    top->addWidget(host_, 1);
    top->addWidget(range);
    auto* bottom = new QHBoxLayout;
    bottom->addLayout(totals);
    bottom->addStretch();
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(ok);
    buttons->addWidget(del);
    buttons->addWidget(help);
    bottom->addLayout(buttons);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(bottom);

    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(del, &QPushButton::clicked, this, &HistoryWindow::Delete);
    connect(help, &QPushButton::clicked, this, [this] {
        if (onHelp) onHelp(kHistoryHelp);
    });
    // Toggled rather than clicked, so that the arrow keys in the group choose a period too.
    connect(periods_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && static_cast<HistoryPeriod>(id) != period_)
            SetPeriod(static_cast<HistoryPeriod>(id));
    });
    connect(host_, &QComboBox::currentIndexChanged, this, [this] { Reload(); });

    resize(760, 440);
    SetPeriod(HistoryPeriod::Month);
}

void HistoryWindow::SetPeriod(HistoryPeriod p) {
    period_ = p;
    if (auto* b = periods_->button(static_cast<int>(p)); b && !b->isChecked()) b->setChecked(true);
    Reload();
}

void HistoryWindow::SetHostRow(int row) {
    if (row >= 0 && row < host_->count()) host_->setCurrentIndex(row);
}

void HistoryWindow::Reload() {
    std::optional<std::string> host;
    const int row = host_->currentIndex();
    if (row > 0 && static_cast<size_t>(row) <= hosts_.size())
        host = hosts_[static_cast<size_t>(row - 1)];
    view_ = ReadHistory(dir_, period_, host, today_());
    list_->clear();
    for (const HistoryRecord& r : view_.rows) {
        auto* item = new QTreeWidgetItem(
            list_, {FromSjis(r.host), FromSjis(r.date), FromSjis(r.times), FromSjis(r.charge)});
        item->setTextAlignment(3, Qt::AlignRight | Qt::AlignVCenter);
    }
    count_->setText(FromUtf8(view_.CountText()));
    time_->setText(FromUtf8(view_.TimeText()));
    charge_->setText(FromUtf8(view_.ChargeText()));
}

void HistoryWindow::Delete() {
    if (!AskAndDeleteHistory(platform_, dir_)) return;
    Reload();
}

void HistoryWindow::FitColumns() {
    const int w = list_->viewport()->width();
    list_->setColumnWidth(0, w * 4 / 10);
    list_->setColumnWidth(1, w * 3 / 10);
    list_->setColumnWidth(2, w * 2 / 10);
    list_->setColumnWidth(3, w - w * 4 / 10 - w * 3 / 10 - w * 2 / 10);
}

bool HistoryWindow::eventFilter(QObject* watched, QEvent* e) {
    // The columns share the list's visible width, so they follow its viewport.
    if (watched == list_->viewport() && e->type() == QEvent::Resize) FitColumns();
    return QDialog::eventFilter(watched, e);
}

void HistoryWindow::Run(const Settings& settings, const HostTable& table, IPlatform& platform,
                        QWidget* parent, std::function<void(const std::string& keyword)> onHelp) {
    std::vector<std::string> names;
    for (const HostEntry& e : table.Entries()) names.push_back(e.Name);
    HistoryWindow window(settings.HistoryDefPath, names, platform, parent);
    window.onHelp = std::move(onHelp);
    window.exec();
}

}  // namespace marlo::ui

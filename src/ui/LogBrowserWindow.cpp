#include "ui/LogBrowserWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QEvent>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "ui/HistoryWindow.h"
#include "ui/SheetControls.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

constexpr const char* kLogBrowserHelp = "［ログ参照］ウィンドウ";

}  // namespace

LogBrowserWindow::LogBrowserWindow(const Settings& settings, IPlatform& platform, QWidget* parent,
                                   std::function<std::tm()> today)
    : QDialog(parent), model_(settings, platform, std::move(today)) {
    setWindowTitle(FromUtf8(kLogBrowserTitle));
    setSizeGripEnabled(true);

    auto* folder = new QLabel(FromSjis(ShortFolderText(model_.Folder())), this);
    folder->setObjectName(QStringLiteral("logFolder"));
    folder->setToolTip(FromSjis(model_.Folder()));

    periods_ = new QButtonGroup(this);
    auto* range = PeriodBox(this, periods_);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("logList"));
    list_->setRootIsDecorated(false);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setHeaderLabels(
        {QStringLiteral("名前"), QStringLiteral("ｻｲｽﾞ"), QStringLiteral("更新日時")});
    list_->headerItem()->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    list_->header()->setStretchLastSection(false);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->viewport()->installEventFilter(this);

    viewers_ = new QComboBox(this);
    viewers_->setObjectName(QStringLiteral("logViewers"));
    for (const auto& name : model_.ViewerNames()) viewers_->addItem(FromSjis(name));
    auto* viewerLabel = new QLabel(QStringLiteral("ﾛｸﾞﾋﾞｭｰｱ(&L)"), this);
    viewerLabel->setBuddy(viewers_);

    auto* view = Button(QStringLiteral("表示(&V)"), "logView", this);
    view->setDefault(true);
    auto* del = Button(QStringLiteral("削除(&D)"), "logDelete", this);
    auto* cancel = Button(QStringLiteral("ｷｬﾝｾﾙ"), "logCancel", this);
    auto* help = Button(QStringLiteral("ﾍﾙﾌﾟ(&H)"), "logHelp", this);

    auto* top = new QHBoxLayout;
    top->addWidget(folder, 1);
    top->addWidget(range);
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(viewerLabel);
    bottom->addWidget(viewers_, 1);
    bottom->addWidget(view);
    bottom->addWidget(del);
    bottom->addWidget(cancel);
    bottom->addWidget(help);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(list_, 1);
    layout->addLayout(bottom);

    connect(view, &QPushButton::clicked, this, &LogBrowserWindow::View);
    connect(del, &QPushButton::clicked, this, &LogBrowserWindow::Delete);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (onHelp) onHelp(kLogBrowserHelp);
    });
    connect(list_, &QTreeWidget::itemDoubleClicked, this, &LogBrowserWindow::View);
    connect(periods_, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked && static_cast<HistoryPeriod>(id) != model_.Period())
            SetPeriod(static_cast<HistoryPeriod>(id));
    });

    resize(640, 400);
    SetPeriod(HistoryPeriod::Month);
}

void LogBrowserWindow::SetPeriod(HistoryPeriod p) {
    if (auto* b = periods_->button(static_cast<int>(p)); b && !b->isChecked()) {
        const QSignalBlocker quiet(periods_);
        b->setChecked(true);
    }
    model_.SetPeriod(p);
    ShowFiles();
}

void LogBrowserWindow::ShowFiles() {
    list_->clear();
    for (const LogFile& f : model_.Files()) {
        auto* item = new QTreeWidgetItem(
            list_, {FromSjis(f.name), FromUtf8(f.SizeText()), FromUtf8(f.TimeText())});
        item->setTextAlignment(1, Qt::AlignRight | Qt::AlignVCenter);
    }
}

std::vector<int> LogBrowserWindow::SelectedRows() const {
    std::vector<int> rows;
    for (int i = 0; i < list_->topLevelItemCount(); ++i)
        if (list_->topLevelItem(i)->isSelected()) rows.push_back(i);
    return rows;
}

void LogBrowserWindow::View() {
    model_.View(viewers_->currentIndex(), SelectedRows());
}

void LogBrowserWindow::Delete() {
    if (model_.Delete(SelectedRows())) ShowFiles();
}

bool LogBrowserWindow::eventFilter(QObject* watched, QEvent* e) {
    // The three columns share the visible width, so they follow the list's viewport.
    if (watched == list_->viewport() && e->type() == QEvent::Resize) {
        const int w = list_->viewport()->width();
        list_->setColumnWidth(0, w / 3);
        list_->setColumnWidth(1, w / 3);
        list_->setColumnWidth(2, w - 2 * (w / 3));
    }
    return QDialog::eventFilter(watched, e);
}

void LogBrowserWindow::Run(const Settings& settings, IPlatform& platform, QWidget* parent,
                           std::function<void(const std::string& keyword)> onHelp) {
    LogBrowserWindow window(settings, platform, parent);
    window.onHelp = std::move(onHelp);
    window.exec();
}

}  // namespace marlo::ui

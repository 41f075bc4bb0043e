#include "ui/HostWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QStandardItemModel>
#include <QTreeView>
#include <QVBoxLayout>

#include "platform/Platform.h"
#include "platform/SettingsStore.h"
#include "settings/Settings.h"
#include "ui/HostIcons.h"
#include "ui/HostPropertySheet.h"
#include "ui/SheetControls.h"
#include "ui/SjisField.h"

namespace marlo::ui {

namespace {

constexpr const char* kHostSaveFailed = "ﾎｽﾄﾃﾞｰﾀを保存できませんでした.";
constexpr int kMinWidth = 320;
constexpr int kMinHeight = 220;

}  // namespace

std::optional<std::string> AskHostName(const std::string& prefill, QWidget* parent) {
    QInputDialog dlg(parent);
    dlg.setObjectName(QStringLiteral("hostNamePrompt"));
    dlg.setWindowTitle(FromUtf8(kHostNamePrompt));
    dlg.setLabelText(QStringLiteral("ﾎｽﾄ名(&N)："));
    dlg.setOkButtonText(QStringLiteral("OK"));
    dlg.setCancelButtonText(QStringLiteral("ｷｬﾝｾﾙ"));
    dlg.setTextValue(FromSjis(prefill));
    if (auto* edit = dlg.findChild<QLineEdit*>())
        edit->setValidator(new SjisLengthValidator(kMaxHostNameBytes, edit));
    if (dlg.exec() != QDialog::Accepted) return std::nullopt;
    return ToSjis(dlg.textValue());
}

HostWindow::HostWindow(HostTable& table, Settings& settings, ISettingsStore* store,
                       IPlatform& platform, QWidget* parent, Mode mode)
    : QDialog(parent),
      table_(table),
      settings_(settings),
      store_(store),
      platform_(platform),
      model_(table, platform),
      mode_(mode) {
    setWindowTitle(FromUtf8(kHostWindowTitle));
    setSizeGripEnabled(true);

    items_ = new QStandardItemModel(this);
    selection_ = new QItemSelectionModel(items_, this);

    report_ = new QTreeView(this);
    report_->setObjectName(QStringLiteral("hostReport"));
    report_->setRootIsDecorated(false);
    report_->setModel(items_);
    report_->setSelectionModel(selection_);
    report_->setIconSize(QSize(16, 16));
    report_->header()->setSectionsClickable(true);
    report_->header()->setSortIndicatorShown(false);
    list_ = new QListView(this);
    list_->setObjectName(QStringLiteral("hostList"));
    list_->setModel(items_);
    list_->setSelectionModel(selection_);
    list_->setMovement(QListView::Static);
    list_->setResizeMode(QListView::Adjust);
    for (QAbstractItemView* v :
         {static_cast<QAbstractItemView*>(report_), static_cast<QAbstractItemView*>(list_)}) {
        v->setSelectionMode(QAbstractItemView::SingleSelection);
        v->setEditTriggers(QAbstractItemView::NoEditTriggers);
        v->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(v, &QAbstractItemView::doubleClicked, this, [this] { DoConnect(); });
        connect(v, &QWidget::customContextMenuRequested, this,
                [this, v](const QPoint& pos) { ShowMenu(v, pos); });
    }
    connect(report_->header(), &QHeaderView::sectionClicked, this, [this] { DoSort(); });
    connect(selection_, &QItemSelectionModel::selectionChanged, this, [this] { TakeSelection(); });
    stack_ = new QStackedWidget(this);
    stack_->addWidget(report_);
    stack_->addWidget(list_);

    styleCombo_ = new QComboBox(this);
    styleCombo_->setObjectName(QStringLiteral("hostStyle"));
    styleCombo_->addItems({QStringLiteral("ﾚﾎﾟｰﾄ"), QStringLiteral("ﾘｽﾄ"), QStringLiteral("ｱｲｺﾝ")});
    auto* styleLabel = new QLabel(QStringLiteral("表示形式(&S)："), this);
    styleLabel->setBuddy(styleCombo_);
    connect(styleCombo_, &QComboBox::currentIndexChanged, this, [this](int i) { SetStyle(i); });

    auto* left = new QVBoxLayout;
    auto* styleRow = new QHBoxLayout;
    styleRow->addWidget(styleLabel);
    styleRow->addWidget(styleCombo_);
    styleRow->addStretch();
    left->addLayout(styleRow);
    left->addWidget(stack_, 1);

    auto* right = new QVBoxLayout;
    auto* connectButton =
        Button(mode_ == Mode::Choose ? QStringLiteral("選択(&T)") : QStringLiteral("接続(&T)"),
               QStringLiteral("hostConnect"), this);
    connectButton->setDefault(true);
    auto* add = Button(QStringLiteral("追加(&A)..."), QStringLiteral("hostAdd"), this);
    auto* copy = Button(QStringLiteral("複写(&C)..."), QStringLiteral("hostCopy"), this);
    auto* del = Button(QStringLiteral("削除(&D)..."), QStringLiteral("hostDelete"), this);
    auto* props = Button(QStringLiteral("ﾌﾟﾛﾊﾟﾃｨ(&R)..."), QStringLiteral("hostProperties"), this);
    auto* up = Button(QStringLiteral("↑"), QStringLiteral("hostUp"), this);
    auto* down = Button(QStringLiteral("↓"), QStringLiteral("hostDown"), this);
    auto* ok = Button(QStringLiteral("OK"), QStringLiteral("hostOk"), this);
    auto* cancel = Button(QStringLiteral("ｷｬﾝｾﾙ"), QStringLiteral("hostCancel"), this);
    auto* help = Button(QStringLiteral("ﾍﾙﾌﾟ(&H)"), QStringLiteral("hostHelp"), this);
    for (QPushButton* b : {connectButton, add, copy, del, props}) right->addWidget(b);
    auto* moves = new QHBoxLayout;
    moves->addWidget(up);
    moves->addWidget(down);
    right->addLayout(moves);
    right->addStretch();
    for (QPushButton* b : {ok, cancel, help}) right->addWidget(b);

    connect(connectButton, &QPushButton::clicked, this, &HostWindow::DoConnect);
    connect(add, &QPushButton::clicked, this, &HostWindow::DoAdd);
    connect(copy, &QPushButton::clicked, this, &HostWindow::DoCopy);
    connect(del, &QPushButton::clicked, this, &HostWindow::DoDelete);
    connect(props, &QPushButton::clicked, this, &HostWindow::DoProperties);
    connect(up, &QPushButton::clicked, this, &HostWindow::DoMoveUp);
    connect(down, &QPushButton::clicked, this, &HostWindow::DoMoveDown);
    connect(ok, &QPushButton::clicked, this, &HostWindow::accept);
    connect(cancel, &QPushButton::clicked, this, &HostWindow::reject);
    connect(help, &QPushButton::clicked, this, [this] {
        if (onHelp) onHelp(kHostWindowHelp);
    });
    auto* deleteKey = new QShortcut(QKeySequence::Delete, this);
    connect(deleteKey, &QShortcut::activated, this, &HostWindow::DoDelete);

    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("hostMenu"));
    menu_->addAction(QStringLiteral("接続(&T)"), this, &HostWindow::DoConnect);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("追加(&A)..."), this, &HostWindow::DoAdd);
    menu_->addAction(QStringLiteral("ｺﾋﾟｰ(&C)..."), this, &HostWindow::DoCopy);
    menu_->addAction(QStringLiteral("削除(&D)..."), this, &HostWindow::DoDelete);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("ﾌﾟﾛﾊﾟﾃｨ(&R)..."), this, &HostWindow::DoProperties);

    auto* layout = new QHBoxLayout(this);
    layout->addLayout(left, 1);
    layout->addLayout(right);

    resize(std::max(kMinWidth, static_cast<int>(settings_.HostTableWidth)),
           std::max(kMinHeight, static_cast<int>(settings_.HostTableHeight)));
    const int style = settings_.HostTableStyle;
    style_ = style >= 0 && style <= 2 ? style : 0;
    styleCombo_->setCurrentIndex(style_);
    SetStyle(style_);
    Refresh();
}

QAbstractItemView* HostWindow::CurrentView() const {
    return style_ == 0 ? static_cast<QAbstractItemView*>(report_)
                       : static_cast<QAbstractItemView*>(list_);
}

void HostWindow::SetStyle(int style) {
    if (style < 0 || style > 2) return;
    style_ = style;
    if (styleCombo_->currentIndex() != style) styleCombo_->setCurrentIndex(style);
    if (style == 0) {
        stack_->setCurrentWidget(report_);
    } else if (style == 1) {
        // Small icons in columns, as a list view's list mode.
        list_->setViewMode(QListView::ListMode);
        list_->setFlow(QListView::TopToBottom);
        list_->setWrapping(true);
        list_->setIconSize(QSize(16, 16));
        list_->setGridSize(QSize());
        stack_->setCurrentWidget(list_);
    } else {
        list_->setViewMode(QListView::IconMode);
        list_->setFlow(QListView::LeftToRight);
        list_->setWrapping(true);
        list_->setIconSize(QSize(32, 32));
        list_->setGridSize(QSize(96, 64));
        list_->setWordWrap(true);
        stack_->setCurrentWidget(list_);
    }
    list_->setMovement(QListView::Static);
    ShowSelection();
}

void HostWindow::Refresh() {
    refreshing_ = true;
    items_->clear();
    items_->setHorizontalHeaderLabels({QStringLiteral("ﾎｽﾄ")});
    for (const HostEntry& e : model_.Table().Entries()) {
        auto* item = new QStandardItem(HostIcon(e.Bitmap), FromSjis(e.Name));
        item->setEditable(false);
        items_->appendRow(item);
    }
    ShowSelection();
    refreshing_ = false;
}

void HostWindow::ShowSelection() {
    const bool was = refreshing_;
    refreshing_ = true;
    if (auto sel = model_.Selection(); sel && static_cast<int>(*sel) < items_->rowCount()) {
        const QModelIndex index = items_->index(static_cast<int>(*sel), 0);
        selection_->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        CurrentView()->scrollTo(index);
    } else {
        selection_->clearSelection();
    }
    refreshing_ = was;
}

void HostWindow::TakeSelection() {
    if (refreshing_) return;
    const QModelIndexList rows = selection_->selectedIndexes();
    model_.Select(rows.isEmpty() ? std::nullopt
                                 : std::optional<size_t>(static_cast<size_t>(rows.first().row())));
}

void HostWindow::ShowMenu(QAbstractItemView* view, const QPoint& pos) {
    const QModelIndex index = view->indexAt(pos);
    if (index.isValid()) selection_->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
    menu_->popup(view->viewport()->mapToGlobal(pos));
}

HostWindowModel::SheetEditor HostWindow::Sheet() {
    return [this](HostEntry& e) { return HostPropertySheet::Run(e, settings_, platform_, this); };
}

HostWindowModel::NamePrompt HostWindow::Prompt() {
    return [this](const std::string& prefill) { return AskHostName(prefill, this); };
}

void HostWindow::DoConnect() {
    auto index = model_.Connect();
    if (!index) return;
    connected_ = index;
    Commit();
    done(kConnected);
    if (onConnect) onConnect(table_.At(*index), *index);
}

void HostWindow::DoAdd() {
    if (model_.Add(Sheet(), Prompt())) Refresh();
}

void HostWindow::DoCopy() {
    if (model_.Copy(Prompt())) Refresh();
}

void HostWindow::DoDelete() {
    if (model_.Delete()) Refresh();
}

void HostWindow::DoProperties() {
    if (model_.Properties(Sheet(), Prompt())) Refresh();
}

void HostWindow::DoMoveUp() {
    model_.MoveUp();
    Refresh();
}

void HostWindow::DoMoveDown() {
    model_.MoveDown();
    Refresh();
}

void HostWindow::DoSort() {
    model_.SortByName();
    Refresh();
}

void HostWindow::Commit() {
    table_ = model_.Table();
    settings_.HostTableWidth = width();
    settings_.HostTableHeight = height();
    settings_.HostTableStyle = style_;
    if (!store_) return;
    std::vector<std::string> messages;
    const bool saved = table_.Save(*store_, &messages);
    for (const std::string& m : messages) platform_.MessageBox(m, MsgIcon::Exclamation);
    if (!saved) platform_.MessageBox(kHostSaveFailed, MsgIcon::Stop);
}

void HostWindow::accept() {
    Commit();
    QDialog::accept();
}

std::optional<size_t> HostWindow::Run(bool online, HostTable& table, Settings& settings,
                                      ISettingsStore* store, IPlatform& platform, QWidget* parent) {
    if (!HostWindowModel::MayOpen(online, platform)) return std::nullopt;
    HostWindow window(table, settings, store, platform, parent);
    if (window.exec() != kConnected) return std::nullopt;
    return window.ConnectedIndex();
}

std::optional<std::string> HostWindow::ChooseTelnetHost(HostTable& table, Settings& settings,
                                                        ISettingsStore* store, IPlatform& platform,
                                                        QWidget* parent) {
    HostWindow window(table, settings, store, platform, parent, Mode::Choose);
    if (window.exec() != kConnected || !window.ConnectedIndex()) return std::nullopt;
    const std::string& host = table.At(*window.ConnectedIndex()).TelnetHost;
    if (host.empty()) return std::nullopt;
    return host;
}

}  // namespace marlo::ui

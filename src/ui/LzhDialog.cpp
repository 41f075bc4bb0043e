#include "ui/LzhDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "platform/Platform.h"

namespace marlo::ui {

namespace {

constexpr const char* kArchiveChooser = "解凍ファイルの指定";
constexpr const char* kArchiveFilter = ".LZHﾌｧｲﾙ (*.lzh)|*.lzh|すべてのﾌｧｲﾙ (*.*)|*.*||";
constexpr const char* kFolderChooser = "解凍先ディレクトリの指定";
constexpr int kPollMs = 50;

}  // namespace

LzhDialog::LzhDialog(const std::string& archive, IPlatform& platform, QWidget* parent)
    : QDialog(parent), platform_(platform) {
    setObjectName(QStringLiteral("lzhDialog"));
    setWindowTitle(QStringLiteral(".LZH書庫ﾌｧｲﾙ解凍"));
    archive_ = new QLineEdit(QString::fromStdString(archive), this);
    archive_->setObjectName(QStringLiteral("lzhArchive"));
    archive_->setMinimumWidth(360);
    destination_ = new QLineEdit(this);
    destination_->setObjectName(QStringLiteral("lzhDestination"));
    destination_->setPlaceholderText(QStringLiteral("(書庫ﾌｧｲﾙと同じﾃﾞｨﾚｸﾄﾘ)"));
    auto* browseArchive = new QPushButton(QStringLiteral("参照..."), this);
    browseArchive->setObjectName(QStringLiteral("lzhBrowseArchive"));
    connect(browseArchive, &QPushButton::clicked, this, [this] {
        auto path = platform_.ChooseFile(false, kArchiveChooser, kArchiveFilter,
                                         archive_->text().toStdString());
        if (path) archive_->setText(QString::fromStdString(*path));
    });
    auto* browseFolder = new QPushButton(QStringLiteral("参照..."), this);
    browseFolder->setObjectName(QStringLiteral("lzhBrowseFolder"));
    connect(browseFolder, &QPushButton::clicked, this, [this] {
        auto path = platform_.ChooseFolder(kFolderChooser, destination_->text().toStdString());
        if (path) destination_->setText(QString::fromStdString(*path));
    });
    delete_ = new QCheckBox(QStringLiteral("解凍後、.LZHﾌｧｲﾙを削除する(&D)"), this);
    delete_->setObjectName(QStringLiteral("lzhDelete"));
    bar_ = new QProgressBar(this);
    bar_->setObjectName(QStringLiteral("lzhProgress"));
    bar_->setRange(0, 1000);
    bar_->setTextVisible(false);
    // Its room is kept while it is hidden, so that no button moves under the mouse on "解凍".
    QSizePolicy keep = bar_->sizePolicy();
    keep.setRetainSizeWhenHidden(true);
    bar_->setSizePolicy(keep);
    bar_->setVisible(false);
    member_ = new QLabel(this);
    member_->setObjectName(QStringLiteral("lzhMember"));

    extract_ = new QPushButton(QStringLiteral("解凍"), this);
    extract_->setObjectName(QStringLiteral("lzhExtract"));
    extract_->setDefault(true);
    connect(extract_, &QPushButton::clicked, this, [this] { Start(); });
    cancel_ = new QPushButton(QStringLiteral("ｷｬﾝｾﾙ"), this);
    cancel_->setObjectName(QStringLiteral("lzhCancel"));
    connect(cancel_, &QPushButton::clicked, this, &LzhDialog::reject);
    // The library is linked in, so it is always there to tell its version.
    auto* version = new QPushButton(QStringLiteral("liblhasaのﾊﾞｰｼﾞｮﾝ情報"), this);
    version->setObjectName(QStringLiteral("lzhVersion"));
    connect(version, &QPushButton::clicked, this,
            [this] { platform_.MessageBox(LzhVersionText(), MsgIcon::Information); });

    auto* fields = new QGridLayout;
    fields->addWidget(new QLabel(QStringLiteral("解凍ﾌｧｲﾙ"), this), 0, 0);
    fields->addWidget(archive_, 0, 1);
    fields->addWidget(browseArchive, 0, 2);
    fields->addWidget(new QLabel(QStringLiteral("解凍先ﾃﾞｨﾚｸﾄﾘ"), this), 1, 0);
    fields->addWidget(destination_, 1, 1);
    fields->addWidget(browseFolder, 1, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(version);
    buttons->addStretch();
    buttons->addWidget(extract_);
    buttons->addWidget(cancel_);
    auto* top = new QVBoxLayout(this);
    top->addLayout(fields);
    top->addWidget(delete_);
    top->addWidget(bar_);
    top->addWidget(member_);
    top->addLayout(buttons);

    timer_ = new QTimer(this);
    timer_->setInterval(kPollMs);
    connect(timer_, &QTimer::timeout, this, [this] { Poll(); });
}

LzhDialog::~LzhDialog() = default;

void LzhDialog::Start() {
    if (job_) return;
    LzhRequest request{archive_->text().trimmed().toStdString(),
                       destination_->text().trimmed().toStdString(), delete_->isChecked()};
    for (QWidget* w : findChildren<QWidget*>())
        if (w != cancel_ && w != bar_ && w != member_ && !qobject_cast<QLabel*>(w))
            w->setEnabled(false);
    bar_->setVisible(true);
    job_ = std::make_unique<LzhJob>(std::move(request));
    timer_->start();
}

void LzhDialog::Poll() {
    if (!job_) return;
    const uint64_t total = job_->BytesTotal();
    if (total > 0) bar_->setValue(static_cast<int>(job_->BytesDone() * 1000 / total));
    member_->setText(QString::fromStdString(job_->CurrentMember()));
    if (!job_->Finished()) return;
    timer_->stop();
    outcome_ = job_->Outcome();
    job_.reset();
    accept();
}

void LzhDialog::reject() {
    // While it runs, ｷｬﾝｾﾙ (or closing the window) stops the extraction; the dialog ends once the
    // thread has stopped, so that nothing is written after it closed.
    if (job_) {
        job_->Cancel();
        cancel_->setEnabled(false);
        return;
    }
    QDialog::reject();
}

std::optional<LzhOutcome> LzhDialog::Run(const std::string& archive, IPlatform& platform,
                                         QWidget* parent) {
    LzhDialog dialog(archive, platform, parent);
    dialog.exec();
    return dialog.Outcome();
}

}  // namespace marlo::ui

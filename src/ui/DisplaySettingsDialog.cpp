#include "ui/DisplaySettingsDialog.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontDialog>
#include <QFontInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "text/Encoding.h"
#include "ui/SheetControls.h"

namespace marlo::ui {

namespace {

const char* const kColourNames[8] = {"黒", "赤", "緑", "黄", "青", "マゼンタ", "シアン", "白"};
const char* const kGroupNames[4] = {"文字色", "背景色", "明るい文字色", "明るい背景色"};
// The caret shapes as stored (Shift-JIS) and shown.
const char* const kCarets[3][2] = {{"\x81\xa1", "■"}, {"\x81\x62", "｜"}, {"\x81\x51", "＿"}};

void FillButton(QPushButton* b, const QColor& c) {
    b->setStyleSheet(QStringLiteral("background-color: %1; min-width: 28px;").arg(c.name()));
}

}  // namespace

AnsiColourDialog::AnsiColourDialog(std::array<int32_t, 32>& table, QWidget* parent)
    : QDialog(parent), target_(table), table_(table) {
    setWindowTitle(QStringLiteral("ANSI色属性"));
    auto* layout = new QVBoxLayout(this);
    auto* grid = new QGridLayout;
    for (int c = 0; c < 8; ++c)
        grid->addWidget(new QLabel(QString::fromUtf8(kColourNames[c])), 0, c + 1, Qt::AlignCenter);
    for (int g = 0; g < 4; ++g) {
        grid->addWidget(new QLabel(QString::fromUtf8(kGroupNames[g])), g + 1, 0);
        for (int c = 0; c < 8; ++c) {
            const int index = g * 8 + c;
            auto* b = new QPushButton;
            buttons_[static_cast<size_t>(index)] = b;
            grid->addWidget(b, g + 1, c + 1);
            connect(b, &QPushButton::clicked, this, [this, index] {
                QColor chosen =
                    QColorDialog::getColor(FromColorRef(table_[static_cast<size_t>(index)]), this);
                if (chosen.isValid()) SetColour(index, ToColorRef(chosen));
            });
            Paint(index);
        }
    }
    layout->addLayout(grid);
    auto* buttons = SheetButtons(this);
    buttons->addButton(QDialogButtonBox::RestoreDefaults)->setText(QStringLiteral("標準に戻す"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons->button(QDialogButtonBox::RestoreDefaults), &QPushButton::clicked, this,
            [this] {
                table_ = Settings{}.VT100Color;
                for (int i = 0; i < 32; ++i) Paint(i);
            });
}

void AnsiColourDialog::Paint(int index) {
    FillButton(buttons_[static_cast<size_t>(index)],
               FromColorRef(table_[static_cast<size_t>(index)]));
}

void AnsiColourDialog::SetColour(int index, int32_t ref) {
    if (index < 0 || index >= 32) return;
    table_[static_cast<size_t>(index)] = ref & 0xFFFFFF;
    Paint(index);
}

void AnsiColourDialog::accept() {
    target_ = table_;
    QDialog::accept();
}

DisplaySettingsDialog::DisplaySettingsDialog(Settings& settings, QWidget* parent)
    : QDialog(parent), settings_(settings), edited_(settings) {
    setWindowTitle(QStringLiteral("表示"));
    auto* layout = new QVBoxLayout(this);
    sample_ = new QLabel(QStringLiteral("AaBbCc あいう 漢字 ｶﾀｶﾅ"));
    sample_->setMinimumHeight(48);
    sample_->setAlignment(Qt::AlignCenter);
    sample_->setAutoFillBackground(true);
    layout->addWidget(sample_);
    auto* row = new QHBoxLayout;
    auto* text = new QPushButton(QStringLiteral("文字色(&T)..."));
    auto* back = new QPushButton(QStringLiteral("背景色(&B)..."));
    auto* font = new QPushButton(QStringLiteral("ﾌｫﾝﾄ(&F)..."));
    auto* ansi = new QPushButton(QStringLiteral("ANSI色属性(&A)..."));
    row->addWidget(text);
    row->addWidget(back);
    row->addWidget(font);
    row->addWidget(ansi);
    layout->addLayout(row);
    auto* form = new QFormLayout;
    caret_ = new QComboBox;
    for (const auto& c : kCarets) caret_->addItem(QString::fromUtf8(c[1]));
    form->addRow(QStringLiteral("ｷｬﾚｯﾄの形(&C)"), caret_);
    blink_ = new QCheckBox(QStringLiteral("ｷｬﾚｯﾄを点滅させる(&L)"));
    form->addRow(QString(), blink_);
    quote_ = new QLineEdit;
    quote_->setMaxLength(16);
    form->addRow(QStringLiteral("引用符(&Q)"), quote_);
    layout->addLayout(form);
    auto* buttons = SheetButtons(this);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(text, &QPushButton::clicked, this, [this] { ChooseColour(true); });
    connect(back, &QPushButton::clicked, this, [this] { ChooseColour(false); });
    connect(font, &QPushButton::clicked, this, &DisplaySettingsDialog::ChooseFont);
    connect(ansi, &QPushButton::clicked, this, [this] {
        AnsiColourDialog dialog(edited_.VT100Color, this);
        dialog.exec();
    });
    int caret = 0;
    for (int i = 0; i < 3; ++i)
        if (edited_.Caret == kCarets[i][0]) caret = i;
    caret_->setCurrentIndex(caret);
    blink_->setChecked(edited_.Blink != 0);
    quote_->setText(QString::fromStdString(SjisToUtf8(edited_.Quote)));
    Refresh();
}

void DisplaySettingsDialog::ChooseColour(bool text) {
    // The chooser's custom colours are kept with the settings.
    auto& custom = text ? edited_.TextColorCust : edited_.BackColorCust;
    auto& colour = text ? edited_.TextColor : edited_.BackColor;
    if (auto chosen = ColourDialog(this, colour, QString(), custom)) {
        colour = *chosen;
        Refresh();
    }
}

void DisplaySettingsDialog::SetFont(const QFont& font) {
    edited_.lfFaceName = Utf8ToSjis(font.family().toStdString());
    const int px = QFontInfo(font).pixelSize();
    edited_.lfHeight = std::clamp(px + 2, 8, 72);
    edited_.lfWidth = edited_.lfHeight;
    edited_.lfWeight = font.bold() ? 700 : 400;
    edited_.lfItalic = font.italic() ? 1 : 0;
    Refresh();
}

// The face the chooser starts on: the stored one, or else the first Japanese monospace face the
// machine has, so that kanji keep their two cells.
static QString StartFace(const std::string& storedSjis) {
    const QString stored = QString::fromStdString(SjisToUtf8(storedSjis));
    if (!stored.isEmpty() && QFontDatabase::hasFamily(stored)) return stored;
    // A CJK face whose half-width letters are monospaced (its kanji are twice as wide, so the
    // font database does not count it as fixed pitch).
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    for (const QString& face : japanese)
        if (face.contains(QStringLiteral("Mono")) && face.contains(QStringLiteral("JP")))
            return face;
    for (const QString& face : japanese)
        if (face.contains(QStringLiteral("Mono"))) return face;
    for (const QString& face : japanese)
        if (QFontDatabase::isFixedPitch(face)) return face;
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

void DisplaySettingsDialog::ChooseFont() {
    QFont current(StartFace(edited_.lfFaceName));
    current.setPixelSize(std::max(6, std::abs(edited_.lfHeight) - 2));
    // The stored weight and slant, so that the chooser does not start on an oblique face.
    current.setWeight(edited_.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
    current.setItalic(edited_.lfItalic != 0);
    bool ok = false;
    // Every face is offered: the Japanese monospace faces do not count as fixed pitch.
    QFont chosen = QFontDialog::getFont(&ok, current, this, QStringLiteral("ﾌｫﾝﾄ"));
    if (ok) SetFont(chosen);
}

void DisplaySettingsDialog::Refresh() {
    QPalette p = sample_->palette();
    p.setColor(QPalette::Window, FromColorRef(edited_.BackColor));
    p.setColor(QPalette::WindowText, FromColorRef(edited_.TextColor));
    sample_->setPalette(p);
    if (!edited_.lfFaceName.empty()) {
        QFont f(QString::fromStdString(SjisToUtf8(edited_.lfFaceName)));
        f.setPixelSize(std::max(6, std::abs(edited_.lfHeight) - 2));
        f.setBold(edited_.lfWeight >= 600);
        f.setItalic(edited_.lfItalic != 0);
        sample_->setFont(f);
    }
}

void DisplaySettingsDialog::accept() {
    edited_.Caret = kCarets[std::clamp(caret_->currentIndex(), 0, 2)][0];
    edited_.Blink = blink_->isChecked() ? 1 : 0;
    std::string quote = Utf8ToSjis(quote_->text().toStdString());
    edited_.Quote = quote;
    // Only the display fields are taken from the copy.
    settings_.TextColor = edited_.TextColor;
    settings_.BackColor = edited_.BackColor;
    settings_.TextColorCust = edited_.TextColorCust;
    settings_.BackColorCust = edited_.BackColorCust;
    settings_.VT100Color = edited_.VT100Color;
    settings_.lfFaceName = edited_.lfFaceName;
    settings_.lfHeight = edited_.lfHeight;
    settings_.lfWidth = edited_.lfWidth;
    settings_.lfWeight = edited_.lfWeight;
    settings_.lfItalic = edited_.lfItalic;
    settings_.Caret = edited_.Caret;
    settings_.Blink = edited_.Blink;
    settings_.Quote = edited_.Quote;
    QDialog::accept();
}

}  // namespace marlo::ui

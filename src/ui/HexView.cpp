#include "ui/HexView.h"

#include <QFontMetrics>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>

#include "settings/Settings.h"
#include "terminal/HexDump.h"
#include "terminal/KanjiCodec.h"
#include "text/Encoding.h"
#include "ui/TerminalWidget.h"

namespace marlo::ui {

namespace {
// The width of a row in cells: address, hex columns, the bars and the text (and the one cell a
// kanji in the last column runs over).
constexpr int kRowCells = 10 + 49 + 2 + 16 + 2;
}  // namespace

HexView::HexView(const HexDump& dump, const Settings& settings, QWidget* parent)
    : QAbstractScrollArea(parent), dump_(dump), settings_(settings) {
    setObjectName(QStringLiteral("hexView"));
    setFocusPolicy(Qt::ClickFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    poll_.setInterval(100);
    connect(&poll_, &QTimer::timeout, this, [this] { Refresh(); });
    connect(verticalScrollBar(), &QScrollBar::valueChanged, viewport(),
            [this] { viewport()->update(); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, viewport(),
            [this] { viewport()->update(); });
    ApplySettings();
}

void HexView::ApplySettings() {
    const int px = std::clamp(std::abs(settings_.lfHeight), 8, 72);
    font_ = TerminalFont(settings_, std::max(6, px - 2));
    QFontMetrics fm(font_);
    cellW_ = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
    lineH_ = std::max(1, fm.height());
    ascent_ = fm.ascent();
    seen_ = ~0ull;
    Refresh();
    updateGeometry();
}

QSize HexView::sizeHint() const {
    return {kRowCells * cellW_ + verticalScrollBar()->sizeHint().width() + 2 * frameWidth(),
            8 * lineH_ + 2 * frameWidth()};
}

int HexView::PageRows() const {
    return std::max(1, viewport()->height() / lineH_);
}

void HexView::Refresh() {
    if (dump_.Generation() == seen_) return;
    seen_ = dump_.Generation();
    QScrollBar* bar = verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    const int rows = static_cast<int>(std::min<size_t>(dump_.Rows(), 1u << 30));
    bar->setRange(0, std::max(0, rows - PageRows()));
    bar->setPageStep(PageRows());
    if (atEnd) bar->setValue(bar->maximum());
    QScrollBar* across = horizontalScrollBar();
    across->setRange(0, std::max(0, kRowCells - viewport()->width() / cellW_));
    across->setPageStep(viewport()->width() / cellW_);
    viewport()->update();
}

void HexView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    seen_ = ~0ull;
    Refresh();
}

void HexView::showEvent(QShowEvent* e) {
    QAbstractScrollArea::showEvent(e);
    seen_ = ~0ull;
    Refresh();
    poll_.start();
}

void HexView::hideEvent(QHideEvent* e) {
    poll_.stop();
    QAbstractScrollArea::hideEvent(e);
}

QStringList HexView::VisibleText() const {
    QStringList rows;
    const size_t first = static_cast<size_t>(verticalScrollBar()->value());
    for (size_t r = first; r < dump_.Rows() && r < first + static_cast<size_t>(PageRows()); ++r)
        rows << QString::fromStdString(SjisToUtf8(dump_.Row(r)));
    return rows;
}

void HexView::paintEvent(QPaintEvent*) {
    QPainter p(viewport());
    const QPalette& pal = palette();
    p.fillRect(viewport()->rect(), pal.base());
    p.setFont(font_);
    p.setPen(pal.text().color());
    const size_t first = static_cast<size_t>(verticalScrollBar()->value());
    const int left = -horizontalScrollBar()->value() * cellW_;
    for (int r = 0; r < PageRows() + 1; ++r) {
        const size_t row = first + static_cast<size_t>(r);
        if (row >= dump_.Rows()) break;
        const std::string text = dump_.Row(row);
        const int y = r * lineH_ + ascent_;
        // One character at a time, each at its cell: a kanji takes two whatever its glyph's
        // advance in the face is.
        int cell = 0;
        for (size_t i = 0; i < text.size();) {
            const uint8_t b = static_cast<uint8_t>(text[i]);
            const size_t n = IsSjisLead(b) && i + 1 < text.size() ? 2 : 1;
            if (b != ' ')
                p.drawText(left + cell * cellW_, y,
                           QString::fromStdString(SjisToUtf8(text.substr(i, n))));
            cell += static_cast<int>(n);
            i += n;
        }
    }
}

}  // namespace marlo::ui

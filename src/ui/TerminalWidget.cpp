#include "ui/TerminalWidget.h"

#include <QFontDatabase>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <cstdlib>

#include "app/Settings.h"
#include "terminal/CellColours.h"
#include "terminal/KanjiCodec.h"
#include "terminal/ScreenBuffer.h"
#include "text/Encoding.h"

namespace marlo::ui {

namespace {
QColor FromColorRef(uint32_t c) {
    return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}
}  // namespace

TerminalWidget::TerminalWidget(ScreenBuffer& buffer, TerminalView& view, const Settings& settings,
                               QWidget* parent)
    : QAbstractScrollArea(parent), buffer_(buffer), view_(view), settings_(settings) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    view_.SetPainter(this);
    ApplySettings();
}

void TerminalWidget::ApplySettings() {
    if (settings_.lfFaceName.empty()) {
        font_ = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    } else {
        font_ = QFont(QString::fromStdString(SjisToUtf8(settings_.lfFaceName)));
        font_.setWeight(settings_.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
        font_.setItalic(settings_.lfItalic != 0);
    }
    font_.setStyleHint(QFont::TypeWriter);
    font_.setFixedPitch(true);
    int px = std::clamp(std::abs(settings_.lfHeight), 8, 72);
    font_.setPixelSize(std::max(6, px - 2));
    // Japanese glyphs come from a CJK font when the chosen one lacks them.
    font_.setFamilies({font_.family(), QStringLiteral("Noto Sans Mono CJK JP"),
                       QStringLiteral("Noto Sans CJK JP"), QStringLiteral("monospace")});
    underlineFont_ = font_;
    underlineFont_.setUnderline(true);
    QFontMetrics fm(font_);
    cellW_ = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
    lineH_ = std::max(px, fm.height());
    ascent_ = fm.ascent() + (lineH_ - fm.height()) / 2;
    UpdateGeometry();
    viewport()->update();
}

QStringList TerminalWidget::VisibleText() const {
    QStringList rows;
    auto lock = buffer_.Lock();
    for (int r = 0; r < view_.VisibleRows(); ++r) {
        int line = view_.TopLine() + r;
        if (line >= buffer_.Lines()) break;
        rows << QString::fromStdString(SjisToUtf8(buffer_.LineText(line)));
    }
    return rows;
}

void TerminalWidget::UpdateGeometry() {
    int rows = std::max(1, viewport()->height() / lineH_);
    int cols = std::clamp(viewport()->width() / cellW_, 1, 80);
    if (settings_.LineColFix) rows = std::min(rows, settings_.ScreenRows());
    if (rows != view_.VisibleRows() || cols != view_.VisibleColumns())
        view_.SetVisibleSize(rows, cols);
    ScrollRangeChanged();
}

void TerminalWidget::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    UpdateGeometry();
}

void TerminalWidget::InvalidateAll() {
    viewport()->update();
}

void TerminalWidget::InvalidateCells(int row, int firstColumn, int lastColumn) {
    int left = (firstColumn - view_.LeftColumn()) * cellW_;
    int right = (lastColumn - view_.LeftColumn() + 1) * cellW_;
    // A neighbouring double-byte character may share the repainted area.
    viewport()->update(QRect(left - cellW_, row * lineH_, right - left + 2 * cellW_, lineH_));
}

void TerminalWidget::ScrolledBy(int) {
    viewport()->update();
}

void TerminalWidget::ScrollRangeChanged() {
    syncingScrollBar_ = true;
    int maxTop = std::max(0, buffer_.LastLine() + 1 - view_.VisibleRows());
    maxTop = std::max(maxTop, view_.TopLine());
    verticalScrollBar()->setRange(0, maxTop);
    verticalScrollBar()->setPageStep(view_.VisibleRows());
    verticalScrollBar()->setValue(view_.TopLine());
    syncingScrollBar_ = false;
}

void TerminalWidget::scrollContentsBy(int, int) {
    if (syncingScrollBar_) return;
    int top = verticalScrollBar()->value();
    view_.ScrollTo(top);
    view_.SetScrollBack(top < verticalScrollBar()->maximum());
    viewport()->update();
}

QRect TerminalWidget::CaretRect() const {
    int line = 0, col = 0;
    view_.GetCursor(line, col);
    int row = line - view_.TopLine();
    int x = (col - view_.LeftColumn()) * cellW_;
    int y = row * lineH_;
    std::string caret = settings_.Caret;
    if (caret == "\x81\x62") return QRect(x, y, 2, lineH_);               // ｜ a bar
    if (caret == "\x81\x51") return QRect(x, y + lineH_ - 2, cellW_, 2);  // ＿ an underline
    return QRect(x, y, cellW_, lineH_);                                   // ■ a block
}

void TerminalWidget::CaretMoved(int, int) {
    viewport()->update(lastCaret_);
    lastCaret_ = CaretRect();
    viewport()->update(lastCaret_);
    if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
}

void TerminalWidget::CaretVisible(bool) {
    viewport()->update(CaretRect());
}

void TerminalWidget::paintEvent(QPaintEvent* e) {
    QPainter p(viewport());
    const uint32_t textColor = static_cast<uint32_t>(settings_.TextColor);
    const uint32_t backColor = static_cast<uint32_t>(settings_.BackColor);
    p.fillRect(e->rect(), FromColorRef(backColor));
    auto lock = buffer_.Lock();
    const int firstRow = std::max(0, e->rect().top() / lineH_);
    const int lastRow = std::min(view_.VisibleRows(), e->rect().bottom() / lineH_ + 1);
    for (int r = firstRow; r <= lastRow; ++r) {
        int line = view_.TopLine() + r;
        if (line < 0 || line >= buffer_.Lines()) continue;
        const uint8_t* chars = buffer_.Chars(line);
        const uint8_t* flags = buffer_.Flags(line);
        const uint8_t* fore = buffer_.Fore(line);
        const uint8_t* back = buffer_.Back(line);
        int y = r * lineH_;
        for (int c = view_.LeftColumn(); c < kBufferColumns; ++c) {
            int x = (c - view_.LeftColumn()) * cellW_;
            if (x > e->rect().right()) break;
            uint8_t ch = chars[c];
            int width = 1;
            QString glyph;
            if (IsSjisLead(ch) && c + 1 < kBufferColumns && IsSjisTrail(chars[c + 1])) {
                char pair[2] = {static_cast<char>(ch), static_cast<char>(chars[c + 1])};
                glyph = QString::fromStdString(SjisToUtf8(std::string_view(pair, 2)));
                width = 2;
            } else if (ch >= 0x20 && ch != 0x7F && !IsSjisLead(ch)) {
                char one = static_cast<char>(ch);
                glyph = QString::fromStdString(SjisToUtf8(std::string_view(&one, 1)));
            }
            auto colours = ColoursOfCell(flags[c], fore[c], back[c], textColor, backColor,
                                         settings_.VT100Color);
            QRect cell(x, y, width * cellW_, lineH_);
            if (colours.back != backColor) p.fillRect(cell, FromColorRef(colours.back));
            if (!glyph.isEmpty() && glyph != QLatin1String(" ")) {
                p.setFont((flags[c] & kFlagUnderline) ? underlineFont_ : font_);
                p.setPen(FromColorRef(colours.fore));
                p.drawText(QRect(x, y, width * cellW_ + cellW_ / 2, lineH_),
                           Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, glyph);
            } else if (flags[c] & kFlagUnderline) {
                p.fillRect(QRect(x, y + lineH_ - 2, cellW_, 1), FromColorRef(colours.fore));
            }
            c += width - 1;
        }
    }
    // The caret: hidden while looking back and while the receive path hides it.
    if (hasFocus() && !view_.CaretHidden() && !view_.ScrollBack()) {
        QRect caret = CaretRect();
        p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        p.fillRect(caret, Qt::white);
        lastCaret_ = caret;
    }
}

void TerminalWidget::keyPressEvent(QKeyEvent* e) {
    if (onKey) onKey(e);
}

void TerminalWidget::inputMethodEvent(QInputMethodEvent* e) {
    if (onInputMethod) onInputMethod(e);
    e->accept();
}

QVariant TerminalWidget::inputMethodQuery(Qt::InputMethodQuery q) const {
    switch (q) {
        case Qt::ImCursorRectangle:
            return CaretRect();
        case Qt::ImFont:
            return font_;
        case Qt::ImEnabled:
            return true;
        default:
            return QAbstractScrollArea::inputMethodQuery(q);
    }
}

void TerminalWidget::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    view_.SetFocused(true);
    if (onFocus) onFocus();
    viewport()->update();
}

void TerminalWidget::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    view_.SetFocused(false);
    viewport()->update();
}

}  // namespace marlo::ui

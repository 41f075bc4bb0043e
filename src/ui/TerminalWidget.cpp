#include "ui/TerminalWidget.h"

#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/CommandIds.h"
#include "settings/Settings.h"
#include "terminal/CellColours.h"
#include "terminal/KanjiCodec.h"
#include "terminal/LineStamps.h"
#include "terminal/ScreenBuffer.h"
#include "terminal/Terminal.h"
#include "terminal/ViewModel.h"
#include "text/Encoding.h"
#include "ui/SheetControls.h"

namespace marlo::ui {

namespace {

// The strip left of the cells that the time column is painted in.
class TimeStrip : public QWidget {
  public:
    TimeStrip(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), paint_(std::move(paint)) {}

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        paint_(p);
    }

  private:
    std::function<void(QPainter&)> paint_;
};

TermKey KeyOf(int key) {
    switch (key) {
        case Qt::Key_Up:
            return TermKey::Up;
        case Qt::Key_Down:
            return TermKey::Down;
        case Qt::Key_Left:
            return TermKey::Left;
        case Qt::Key_Right:
            return TermKey::Right;
        case Qt::Key_PageUp:
            return TermKey::PageUp;
        case Qt::Key_PageDown:
            return TermKey::PageDown;
        case Qt::Key_Home:
            return TermKey::Home;
        case Qt::Key_End:
            return TermKey::End;
        case Qt::Key_Insert:
            return TermKey::Insert;
        case Qt::Key_Delete:
            return TermKey::Delete;
        case Qt::Key_Backspace:
            return TermKey::Backspace;
        default:
            break;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12)
        return static_cast<TermKey>(static_cast<int>(TermKey::F1) + (key - Qt::Key_F1));
    return TermKey::None;
}

int ModifiersOf(Qt::KeyboardModifiers m) {
    int out = 0;
    if (m & Qt::ShiftModifier) out |= kModShift;
    if (m & Qt::ControlModifier) out |= kModCtrl;
    if (m & Qt::AltModifier) out |= kModAlt;
    return out;
}

// The text a key types; empty when it types nothing.
std::vector<TextPiece> TypedText(QKeyEvent* e) {
    const bool ctrl = e->modifiers() & Qt::ControlModifier;
    switch (e->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return {{"\r"}};
        case Qt::Key_Escape:
            return {{"\x1b"}};
        case Qt::Key_Tab:
            return {{"\t"}};
        case Qt::Key_Space:
            return {{" "}};
        default:
            break;
    }
    if (ctrl && e->key() >= Qt::Key_A && e->key() <= Qt::Key_Z)
        return {{std::string(1, static_cast<char>(e->key() - Qt::Key_A + 1))}};
    if (ctrl && e->key() >= Qt::Key_BracketLeft && e->key() <= Qt::Key_Underscore)
        return {{std::string(1, static_cast<char>(e->key() - Qt::Key_BracketLeft + 0x1B))}};
    return Utf8ToSjisPieces(e->text().toStdString());
}

}  // namespace

TerminalWidget::TerminalWidget(ViewModel& model, const Settings& settings, QWidget* parent)
    : QAbstractScrollArea(parent), model_(model), settings_(settings) {
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    viewport()->setCursor(Qt::IBeamCursor);
    model_.View().SetPainter(this);
    blink_.setInterval(530);
    connect(&blink_, &QTimer::timeout, this, [this] {
        caretOn_ = !caretOn_;
        viewport()->update(CaretRect());
    });
    autoScroll_.setInterval(60);
    connect(&autoScroll_, &QTimer::timeout, this, &TerminalWidget::AutoScroll);
    frame_.setSingleShot(true);
    connect(&frame_, &QTimer::timeout, this, &TerminalWidget::FlushPaint);
    sincePaint_.start();
    ApplySettings();
}

TerminalWidget::~TerminalWidget() {
    model_.View().SetPainter(nullptr);
}

TerminalView& TerminalWidget::View() {
    return model_.View();
}

QFont TerminalFont(const Settings& settings, int pixelSize) {
    QFont font;
    if (settings.lfFaceName.empty()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    } else {
        font = QFont(QString::fromStdString(SjisToUtf8(settings.lfFaceName)));
        font.setWeight(settings.lfWeight >= 600 ? QFont::Bold : QFont::Normal);
        font.setItalic(settings.lfItalic != 0);
    }
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
    font.setKerning(false);
    font.setPixelSize(pixelSize);
    // Japanese glyphs come from a CJK font when the chosen one lacks them.
    font.setFamilies({font.family(), QStringLiteral("Noto Sans Mono CJK JP"),
                      QStringLiteral("Noto Sans CJK JP"), QStringLiteral("monospace")});
    return font;
}

void TerminalWidget::ApplySettings() {
    int px = std::clamp(std::abs(settings_.lfHeight), 8, 72);
    font_ = TerminalFont(settings_, std::max(6, px - 2));
    underlineFont_ = font_;
    underlineFont_.setUnderline(true);
    QFontMetrics fm(font_);
    cellW_ = std::max(1, fm.horizontalAdvance(QLatin1Char('M')));
    asciiRuns_ = true;
    for (char ch = 0x20; ch < 0x7F && asciiRuns_; ++ch)
        asciiRuns_ = fm.horizontalAdvance(QLatin1Char(ch)) == cellW_;
    lineH_ = std::max(px, fm.height());
    ascent_ = fm.ascent() + (lineH_ - fm.height()) / 2;
    PlaceTimeColumn();
    caretOn_ = true;
    if (settings_.Blink != 0)
        blink_.start();
    else
        blink_.stop();
    UpdateGeometry();
    viewport()->update();
    if (hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImFont | Qt::ImCursorRectangle);
}

QStringList TerminalWidget::VisibleText() const {
    QStringList rows;
    const ScreenBuffer& buffer = model_.Term().Buffer();
    auto lock = buffer.Lock();
    const TerminalView& v = model_.View();
    for (int r = 0; r < v.VisibleRows(); ++r) {
        int line = v.TopLine() + r;
        if (line >= buffer.Lines()) break;
        rows << QString::fromStdString(SjisToUtf8(buffer.LineText(line)));
    }
    return rows;
}

CellPos TerminalWidget::CellAt(QPoint p) const {
    const TerminalView& v = model_.View();
    int row = p.y() >= 0 ? p.y() / lineH_ : -1 - (-p.y() - 1) / lineH_;
    int column = v.LeftColumn() + (p.x() + cellW_ / 2) / cellW_;
    return {v.TopLine() + row, std::clamp(column, 0, kBufferColumns)};
}

void TerminalWidget::UpdateGeometry() {
    int rows = std::max(1, viewport()->height() / lineH_);
    int cols = std::clamp(viewport()->width() / cellW_, 1, 80);
    if (settings_.LineColFix) rows = std::min(rows, settings_.ScreenRows());
    TerminalView& v = model_.View();
    if (rows != v.VisibleRows() || cols != v.VisibleColumns()) model_.SetVisibleSize(rows, cols);
    ScrollRangeChanged();
}

void TerminalWidget::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    if (timeColumn_)
        timeColumn_->setGeometry(QRect(QPoint(frameWidth(), frameWidth()),
                                       QSize(viewportMargins().left(), viewport()->height())));
    UpdateGeometry();
}

void TerminalWidget::PlaceTimeColumn() {
    int width = 0;
    if (settings_.TimeStamp == kStampClock || settings_.TimeStamp == kStampElapsed) {
        // The form's text ("HH:MM:SS.mmm " or "+HH:MM:SS.mmm ") and half a cell more.
        width =
            static_cast<int>(LineStamper::Format(settings_.TimeStamp, LineTime{}).size()) * cellW_ +
            cellW_ / 2;
        if (!timeColumn_) timeColumn_ = new TimeStrip(this, [this](QPainter& p) { PaintTimes(p); });
    }
    if (timeColumn_) timeColumn_->setVisible(width > 0);
    if (viewportMargins().left() == width) return;
    setViewportMargins(width, 0, 0, 0);
    if (timeColumn_) {
        timeColumn_->setGeometry(
            QRect(QPoint(frameWidth(), frameWidth()), QSize(width, viewport()->height())));
    }
}

QString TerminalWidget::TimeText(int line) const {
    const ScreenBuffer& buffer = model_.Term().Buffer();
    // A line that holds no text shows no time (a screen cleared over old lines).
    if (line > buffer.LastLine() || buffer.LineText(line).empty()) return {};
    const LineTime t = buffer.LineTimeOf(line);
    if (!t.Set()) return {};
    return QString::fromStdString(LineStamper::Format(settings_.TimeStamp, t)).trimmed();
}

QStringList TerminalWidget::VisibleTimes() const {
    QStringList times;
    if (!timeColumn_ || timeColumn_->isHidden()) return times;
    const ScreenBuffer& buffer = model_.Term().Buffer();
    auto lock = buffer.Lock();
    const TerminalView& v = model_.View();
    for (int r = 0; r < v.VisibleRows() && v.TopLine() + r < buffer.Lines(); ++r)
        times << TimeText(v.TopLine() + r);
    return times;
}

void TerminalWidget::PaintTimes(QPainter& p) {
    const uint32_t textColor = static_cast<uint32_t>(settings_.TextColor);
    const uint32_t backColor = static_cast<uint32_t>(settings_.BackColor);
    const QColor back = FromColorRef(backColor);
    p.fillRect(timeColumn_->rect(), back.lightness() > 128 ? back.darker(108) : back.lighter(140));
    QColor text = FromColorRef(textColor);
    text.setAlpha(170);
    p.setPen(text);
    p.setFont(font_);
    const ScreenBuffer& buffer = model_.Term().Buffer();
    auto lock = buffer.Lock();
    const TerminalView& v = model_.View();
    for (int r = 0; r <= v.VisibleRows() && v.TopLine() + r < buffer.Lines(); ++r) {
        const QString time = TimeText(v.TopLine() + r);
        if (!time.isEmpty()) p.drawText(cellW_ / 4, r * lineH_ + ascent_, time);
    }
}

void TerminalWidget::SchedulePaint(const QRect& area) {
    dirty_ |= area;  // one rectangle: cheap to grow per character, painted once a frame
    if (frame_.isActive()) return;
    constexpr int kFrameMs = 16;
    frame_.start(std::max<qint64>(0, kFrameMs - sincePaint_.elapsed()));
}

void TerminalWidget::FlushPaint() {
    // A hidden or minimised window paints when it is shown again (Qt repaints it whole then).
    if (!isVisible() || window()->isMinimized()) {
        dirty_ = QRect();
        return;
    }
    viewport()->update(dirty_);
    dirty_ = QRect();
    if (caretMoved_ && hasFocus()) QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
    caretMoved_ = false;
}

void TerminalWidget::InvalidateAll() {
    SchedulePaintAll();
}

void TerminalWidget::InvalidateCells(int row, int firstColumn, int lastColumn) {
    int left = firstColumn * cellW_;
    int right = (lastColumn + 1) * cellW_;
    // A neighbouring double-byte character may share the repainted area.
    SchedulePaint(QRect(left - cellW_, row * lineH_, right - left + 2 * cellW_, lineH_));
}

void TerminalWidget::ScrolledBy(int) {
    SchedulePaintAll();
}

void TerminalWidget::ScrollRangeChanged() {
    const TerminalView& v = model_.View();
    syncingScrollBar_ = true;
    const int bottom = v.BottomTop();
    verticalScrollBar()->setRange(0, std::max(bottom, v.TopLine()));
    verticalScrollBar()->setPageStep(v.VisibleRows());
    verticalScrollBar()->setValue(v.TopLine());
    syncingScrollBar_ = false;
}

void TerminalWidget::scrollContentsBy(int, int) {
    if (syncingScrollBar_) return;
    model_.View().ScrollTo(verticalScrollBar()->value());
    viewport()->update();
}

QRect TerminalWidget::CaretRect() const {
    const TerminalView& v = model_.View();
    int line = 0, col = 0;
    v.GetCursor(line, col);
    if (model_.Sel().rangeMode) {
        // The keyboard selection moves the caret with its end.
        line = model_.Sel().End().line;
        col = std::min(model_.Sel().End().column, kBufferColumns - 1);
    }
    int x = (col - v.LeftColumn()) * cellW_;
    int y = (line - v.TopLine()) * lineH_;
    const std::string& caret = settings_.Caret;
    if (caret == "\x81\x62") return QRect(x, y, 2, lineH_);               // ｜ a bar
    if (caret == "\x81\x51") return QRect(x, y + lineH_ - 2, cellW_, 2);  // ＿ an underline
    return QRect(x, y, cellW_, lineH_);                                   // ■ a block
}

void TerminalWidget::CaretMoved(int, int) {
    SchedulePaint(lastCaret_);
    lastCaret_ = CaretRect();
    caretOn_ = true;
    SchedulePaint(lastCaret_.adjusted(0, 0, preedit_.isEmpty() ? 0 : viewport()->width(), 0));
    caretMoved_ = true;  // the input method hears of it with the next frame
}

void TerminalWidget::CaretVisible(bool) {
    SchedulePaint(CaretRect());
}

const QString& TerminalWidget::Glyph(uint8_t first, uint8_t second) {
    const uint16_t key = static_cast<uint16_t>(first << 8 | second);
    auto it = glyphs_.find(key);
    if (it != glyphs_.end()) return it->second;
    const char bytes[2] = {static_cast<char>(first), static_cast<char>(second)};
    QString text = QString::fromStdString(SjisToUtf8(std::string_view(bytes, second ? 2 : 1)));
    return glyphs_.emplace(key, std::move(text)).first->second;
}

void TerminalWidget::paintEvent(QPaintEvent* e) {
    ++paints_;
    sincePaint_.restart();
    // The times follow whatever the cells show (new lines, a scroll).
    if (timeColumn_ && !timeColumn_->isHidden()) timeColumn_->update();
    QPainter p(viewport());
    const uint32_t textColor = static_cast<uint32_t>(settings_.TextColor);
    const uint32_t backColor = static_cast<uint32_t>(settings_.BackColor);
    p.fillRect(e->rect(), FromColorRef(backColor));
    const ScreenBuffer& buffer = model_.Term().Buffer();
    const TerminalView& v = model_.View();
    auto lock = buffer.Lock();
    const Selection& sel = model_.Sel();
    CellPos selFirst, selLast;
    const bool selecting = !sel.Empty();
    if (selecting) sel.Ordered(buffer, selFirst, selLast);
    const int firstRow = std::max(0, e->rect().top() / lineH_);
    const int lastRow = std::min(v.VisibleRows(), e->rect().bottom() / lineH_ + 1);

    // Text is drawn in runs of ASCII cells that share their colours and underline; other
    // characters one by one, each in its own cell or pair of cells.
    struct Run {
        int x = 0;
        int cells = 0;
        QString text;
        uint32_t fore = 0;
        uint32_t back = 0;
        bool underline = false;
    } run;
    const QFont* currentFont = nullptr;
    uint32_t currentPen = 0;
    bool penSet = false;
    auto drawText = [&](int x, int y, int cells, const QString& text, uint32_t fore,
                        bool underline) {
        const QFont* font = underline ? &underlineFont_ : &font_;
        if (font != currentFont) {
            p.setFont(*font);
            currentFont = font;
        }
        if (!penSet || fore != currentPen) {
            p.setPen(FromColorRef(fore));
            currentPen = fore;
            penSet = true;
        }
        p.drawText(QRect(x, y, cells * cellW_ + cellW_ / 2, lineH_),
                   Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, text);
    };
    auto flush = [&](int y) {
        if (run.cells == 0) return;
        if (run.back != backColor)
            p.fillRect(QRect(run.x, y, run.cells * cellW_, lineH_), FromColorRef(run.back));
        if (!run.text.trimmed().isEmpty()) {
            drawText(run.x, y, run.cells, run.text, run.fore, run.underline);
        } else if (run.underline) {
            p.fillRect(QRect(run.x, y + lineH_ - 2, run.cells * cellW_, 1), FromColorRef(run.fore));
        }
        run.cells = 0;
        run.text.clear();
    };
    for (int r = firstRow; r <= lastRow; ++r) {
        int line = v.TopLine() + r;
        if (line < 0 || line >= buffer.Lines()) continue;
        const uint8_t* chars = buffer.Chars(line);
        const uint8_t* flags = buffer.Flags(line);
        const uint8_t* fore = buffer.Fore(line);
        const uint8_t* back = buffer.Back(line);
        const int y = r * lineH_;
        // Characters are paired from the line's first column, also when the view starts further
        // right, so that a trail byte is never read as a lead.
        for (int c = 0; c < kBufferColumns; ++c) {
            const int x = (c - v.LeftColumn()) * cellW_;
            if (x > e->rect().right()) break;
            const uint8_t ch = chars[c];
            const bool pair = IsSjisLead(ch) && c + 1 < kBufferColumns && IsSjisTrail(chars[c + 1]);
            if (x + (pair ? 2 : 1) * cellW_ <= 0) {
                c += pair ? 1 : 0;
                continue;
            }
            auto colours = ColoursOfCell(flags[c], fore[c], back[c], textColor, backColor,
                                         settings_.VT100Color);
            CellPos at{line, c};
            if ((selecting && !(at < selFirst) && at < selLast) || model_.Highlighted(line, c))
                std::swap(colours.fore, colours.back);
            const bool underline = (flags[c] & kFlagUnderline) != 0;
            if (flags[c] & kFlagGraphic) {
                flush(y);
                drawGraphic(p, QRect(x, y, cellW_, lineH_), ch, colours.fore, colours.back,
                            colours.back != backColor);
                continue;
            }
            const bool ascii = ch < 0x7F;  // controls and blanks draw as blanks
            if (ascii && asciiRuns_) {
                if (run.cells > 0 && (run.fore != colours.fore || run.back != colours.back ||
                                      run.underline != underline))
                    flush(y);
                if (run.cells == 0) run = {x, 0, {}, colours.fore, colours.back, underline};
                run.text += QLatin1Char(ch >= 0x20 ? static_cast<char>(ch) : ' ');
                ++run.cells;
                continue;
            }
            flush(y);
            int width = 1;
            const QString* glyph = nullptr;
            if (pair) {
                glyph = &Glyph(ch, chars[c + 1]);
                width = 2;
            } else if (ch > 0x20 && ch != 0x7F && !IsSjisLead(ch)) {
                glyph = &Glyph(ch, 0);
            }
            QRect cell(x, y, width * cellW_, lineH_);
            if (colours.back != backColor) p.fillRect(cell, FromColorRef(colours.back));
            if (glyph && !glyph->isEmpty()) {
                drawText(x, y, width, *glyph, colours.fore, underline);
            } else if (underline) {
                p.fillRect(QRect(x, y + lineH_ - 2, cellW_, 1), FromColorRef(colours.fore));
            }
            c += width - 1;
        }
        flush(y);
    }
    // The caret: hidden while looking back and while the receive path or the host hides it.
    if (hasFocus() && !v.CaretHidden() && model_.Term().Modes().cursorVisible &&
        (!v.ScrollBack() || model_.Sel().rangeMode)) {
        QRect caret = CaretRect();
        lastCaret_ = caret;
        if (!preedit_.isEmpty()) {
            // The text being composed, at the caret in the terminal font.
            QFontMetrics fm(font_);
            QRect box(caret.left(), caret.top(), fm.horizontalAdvance(preedit_) + 2, lineH_);
            p.fillRect(box, FromColorRef(backColor));
            p.setFont(underlineFont_);
            p.setPen(FromColorRef(textColor));
            p.drawText(box, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextDontClip, preedit_);
        } else if (caretOn_) {
            p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
            p.fillRect(caret, Qt::white);
        }
    }
}

void TerminalWidget::drawGraphic(QPainter& p, const QRect& cell, uint8_t code, uint32_t fore,
                                 uint32_t back, bool fill) {
    if (fill) p.fillRect(cell, FromColorRef(back));
    // The box-drawing codes as the arms they draw from the cell's centre: up, down, left, right.
    static const char* const kArms = "jUL kDL lDR mUR nUDLR qLR tUDR uUDL vULR wDLR xUD";
    const char* at = std::strchr(kArms, static_cast<char>(code));
    if (code >= 'j' && code <= 'x' && at) {
        const QPoint centre = cell.center();
        p.save();
        p.setPen(QPen(FromColorRef(fore), 1));
        for (const char* arm = at + 1; *arm && *arm != ' '; ++arm) {
            if (*arm == 'U') p.drawLine(centre, QPoint(centre.x(), cell.top()));
            if (*arm == 'D') p.drawLine(centre, QPoint(centre.x(), cell.bottom()));
            if (*arm == 'L') p.drawLine(centre, QPoint(cell.left(), centre.y()));
            if (*arm == 'R') p.drawLine(centre, QPoint(cell.right(), centre.y()));
        }
        p.restore();
        return;
    }
    const char* sjis = DecGraphicSjis(code);
    if (!sjis) return;
    // The rest: their Shift-JIS character, squeezed into the one cell.
    p.save();
    p.setClipRect(cell);
    p.setFont(font_);
    p.setPen(FromColorRef(fore));
    p.drawText(cell, Qt::AlignCenter | Qt::TextDontClip,
               Glyph(static_cast<uint8_t>(sjis[0]), static_cast<uint8_t>(sjis[1])));
    p.restore();
}

bool TerminalWidget::event(QEvent* e) {
    // Tab and Backtab must reach keyPressEvent rather than move the focus; F10 is a function key.
    if (e->type() == QEvent::ShortcutOverride) {
        auto* k = static_cast<QKeyEvent*>(e);
        if (k->key() == Qt::Key_F10 || k->key() == Qt::Key_Tab) {
            e->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(e);
}

bool TerminalWidget::Accelerator(QKeyEvent* e) {
    if ((e->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) != Qt::AltModifier) return false;
    int id = 0;
    switch (e->key()) {
        case Qt::Key_C:
            id = ID_EDIT_COPY;
            break;
        case Qt::Key_V:
            id = ID_EDIT_PASTE;
            break;
        case Qt::Key_A:
            id = ID_EDIT_SELECT_ALL;
            break;
        case Qt::Key_R:
            id = ID_EDIT_RANGE;
            break;
        case Qt::Key_F:
            id = ID_EDIT_SEARCH;
            break;
        case Qt::Key_P:
            id = ID_EDIT_SEARCH_UP;
            break;
        case Qt::Key_N:
            id = ID_EDIT_SEARCH_DOWN;
            break;
        case Qt::Key_S:
            id = ID_SPLIT;
            break;
        default:
            return false;
    }
    if (onCommand) onCommand(id);
    return true;
}

void TerminalWidget::keyPressEvent(QKeyEvent* e) {
    if (Accelerator(e)) return;
    const bool split = isSplit && isSplit();
    const int mods = ModifiersOf(e->modifiers());
    KeyOutcome out;
    TermKey key = KeyOf(e->key());
    if (key != TermKey::None) out = model_.KeyDown(key, mods, split);
    if (key == TermKey::None || out.action == KeyAction::Default) {
        // Alt with a letter belongs to the menus, as a system key would.
        const bool alt =
            (e->modifiers() & (Qt::AltModifier | Qt::ControlModifier)) == Qt::AltModifier;
        const std::vector<TextPiece> typed = alt ? std::vector<TextPiece>() : TypedText(e);
        if (typed.empty()) {
            QAbstractScrollArea::keyPressEvent(e);
            return;
        }
        out = model_.TypePieces(typed, mods, split);
    }
    if (onOutcome) onOutcome(out);
    viewport()->update();
}

void TerminalWidget::inputMethodEvent(QInputMethodEvent* e) {
    if (!e->commitString().isEmpty()) {
        KeyOutcome out = model_.TypePieces(Utf8ToSjisPieces(e->commitString().toStdString()), 0,
                                           isSplit && isSplit());
        if (onOutcome) onOutcome(out);
    }
    preedit_ = e->preeditString();
    viewport()->update();
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
    model_.View().SetFocused(true);
    if (onFocus) onFocus();
    viewport()->update();
}

void TerminalWidget::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    model_.View().SetFocused(false);
    viewport()->update();
}

void TerminalWidget::mousePressEvent(QMouseEvent* e) {
    setFocus(Qt::MouseFocusReason);
    if (e->button() != Qt::LeftButton) return;
    model_.MouseDown(CellAt(e->position().toPoint()));
    viewport()->update();
}

void TerminalWidget::mouseMoveEvent(QMouseEvent* e) {
    if (!(e->buttons() & Qt::LeftButton)) return;
    lastMouse_ = e->position().toPoint();
    const int y = lastMouse_.y();
    autoScrollStep_ = y < 0 ? -1 : (y >= viewport()->height() ? 1 : 0);
    if (autoScrollStep_ != 0) {
        if (!autoScroll_.isActive()) autoScroll_.start();
        return;
    }
    autoScroll_.stop();
    model_.MouseMove(CellAt(lastMouse_));
    viewport()->update();
}

void TerminalWidget::AutoScroll() {
    if (!model_.Sel().dragging || autoScrollStep_ == 0) {
        autoScroll_.stop();
        return;
    }
    // One line at a time while the pointer stays above or below the window.
    TerminalView& v = model_.View();
    v.ScrollBy(autoScrollStep_);
    const int row = autoScrollStep_ < 0 ? 0 : v.VisibleRows() - 1;
    CellPos at = CellAt(QPoint(lastMouse_.x(), row * lineH_));
    if (autoScrollStep_ > 0) at.line = std::min(at.line + 1, model_.Term().Buffer().LastLine());
    model_.MouseMove(at);
    viewport()->update();
}

void TerminalWidget::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    autoScroll_.stop();
    model_.MouseUp();
}

void TerminalWidget::contextMenuEvent(QContextMenuEvent* e) {
    struct Entry {
        const char* label;
        int id;
    };
    static const Entry entries[] = {
        {"ｺﾋﾟｰ", ID_EDIT_COPY},
        {"ﾌｧｲﾙにｺﾋﾟｰ...", ID_EDIT_COPY_FILE},
        {"引用付きｺﾋﾟｰ", ID_EDIT_COPY_QUOTE},
        {nullptr, 0},
        {"ﾎｽﾄ選択...", ID_HOST_WINDOW},
        {"電話接続...", ID_PHONE_CONNECT},
        {"Telnet接続...", ID_TELNET_CONNECT},
        {"回線切断", ID_HANGUP},
        {nullptr, 0},
        {"送信", ID_EDIT_PASTE},
        {"ﾌｧｲﾙ名を送信...", ID_EDIT_SEND_NAME},
        {"すべてを選択", ID_EDIT_SELECT_ALL},
        {"検索...", ID_EDIT_SEARCH},
        {nullptr, 0},
        {"ﾀﾞﾑ端末", ID_TERM_DUMB},
        {"VT100", ID_TERM_VT100},
        {"xterm", ID_TERM_XTERM},
        {"端末の設定...", ID_TERM_SETTINGS},
    };
    QMenu menu(this);
    for (const auto& entry : entries) {
        if (!entry.label) {
            menu.addSeparator();
            continue;
        }
        QAction* a = menu.addAction(QString::fromUtf8(entry.label));
        a->setData(entry.id);
        a->setEnabled(!isEnabled || isEnabled(entry.id));
        if (isChecked && isChecked(entry.id)) {
            a->setCheckable(true);
            a->setChecked(true);
        }
    }
    QAction* chosen = menu.exec(e->globalPos());
    if (chosen && onCommand) onCommand(chosen->data().toInt());
}

}  // namespace marlo::ui

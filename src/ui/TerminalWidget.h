// One terminal pane: draws a view's window onto the screen buffer (colours, attributes,
// double-byte characters as one glyph over two cells, the selection and the search highlight,
// the caret in its shape, the input method's composition at the caret), with a vertical scroll
// bar over the lines in use. Keys, mouse and input-method text go to the pane's ViewModel; what
// the model leaves to the window (the other pane, the commands) goes out through the callbacks.
#pragma once

#include <QAbstractScrollArea>
#include <QElapsedTimer>
#include <QFont>
#include <QRegion>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <unordered_map>

#include "terminal/KeyMap.h"
#include "terminal/TerminalView.h"

class QPainter;

namespace marlo {
class ScreenBuffer;
class ViewModel;
struct Settings;
struct CellPos;
}  // namespace marlo

namespace marlo::ui {

// The terminal's font (the settings' face, a CJK face for what it lacks) at `pixelSize`; the
// status bar measures its panes in it.
QFont TerminalFont(const Settings& settings, int pixelSize);

class TerminalWidget : public QAbstractScrollArea, public ITerminalPainter {
    Q_OBJECT
  public:
    TerminalWidget(ViewModel& model, const Settings& settings, QWidget* parent = nullptr);
    ~TerminalWidget() override;

    // Font, colours and caret from the settings (after a change of the settings).
    void ApplySettings();

    // Whether the window has two panes (Ctrl+navigation and TAB act on the other one).
    std::function<bool()> isSplit;
    // What the model leaves to the window: FocusOther, ScrollOther.
    std::function<void(const KeyOutcome&)> onOutcome;
    // A command of the view (accelerator or context-menu entry).
    std::function<void(int id)> onCommand;
    // The context menu's entries are enabled by this.
    std::function<bool(int id)> isEnabled;
    // ... and checked by this.
    std::function<bool(int id)> isChecked;
    // The pane got the keyboard focus.
    std::function<void()> onFocus;

    ViewModel& Model() { return model_; }
    TerminalView& View();
    int CellWidth() const { return cellW_; }
    int LineHeight() const { return lineH_; }
    QString Preedit() const { return preedit_; }
    // Paint events so far (tests: a flood must not paint once per read).
    int Paints() const { return paints_; }
    // The text of the visible rows as shown (tests and screenshots).
    QStringList VisibleText() const;
    // The time column left of the cells (the `TimeStamp` setting on): each visible row's time as
    // shown, "" where it shows none; empty while the column is off.
    QStringList VisibleTimes() const;
    // The buffer cell boundary nearest to a point of the viewport.
    CellPos CellAt(QPoint p) const;

    // ITerminalPainter
    void InvalidateAll() override;
    void InvalidateCells(int row, int firstColumn, int lastColumn) override;
    void ScrolledBy(int lines) override;
    void ScrollRangeChanged() override;
    void CaretMoved(int row, int column) override;
    void CaretVisible(bool visible) override;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery q) const override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    bool event(QEvent* e) override;
    bool focusNextPrevChild(bool) override { return false; }  // TAB goes to the host

  private:
    // What the receive path changed is painted at most once per display frame, and not at all
    // while the pane cannot be seen.
    void SchedulePaint(const QRect& area);
    void SchedulePaintAll() { SchedulePaint(viewport()->rect()); }
    void FlushPaint();
    // The text of one cell's character (Shift-JIS, one or two bytes), converted once.
    const QString& Glyph(uint8_t first, uint8_t second);
    // A cell of xterm's DEC special graphics: box drawing as lines, the rest as their glyph.
    void drawGraphic(QPainter& p, const QRect& cell, uint8_t code, uint32_t fore, uint32_t back,
                     bool fill);
    void UpdateGeometry();
    // The time column: shown with the setting on, as wide as its form's text, beside the cells.
    void PlaceTimeColumn();
    QString TimeText(int line) const;
    void PaintTimes(QPainter& p);
    QRect CaretRect() const;
    void AutoScroll();
    bool Accelerator(QKeyEvent* e);

    ViewModel& model_;
    const Settings& settings_;
    QFont font_;
    QFont underlineFont_;
    int cellW_ = 9;
    int lineH_ = 18;
    int ascent_ = 14;
    bool syncingScrollBar_ = false;
    QRect lastCaret_;
    QString preedit_;
    QTimer blink_;
    bool caretOn_ = true;
    QTimer autoScroll_;
    QTimer frame_;
    QElapsedTimer sincePaint_;
    QRect dirty_;
    bool caretMoved_ = false;
    int paints_ = 0;
    // Whether runs of ASCII cells may be drawn as one text: the font advances every printable
    // ASCII character by exactly one cell.
    bool asciiRuns_ = false;
    std::unordered_map<uint16_t, QString> glyphs_;
    int autoScrollStep_ = 0;
    QWidget* timeColumn_ = nullptr;
    QPoint lastMouse_;
};

}  // namespace marlo::ui

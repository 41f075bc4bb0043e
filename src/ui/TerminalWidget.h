// One terminal pane: draws a TerminalView's window onto the screen buffer (colours, attributes,
// double-byte characters as one glyph over two cells, the caret), with a vertical scroll bar over
// the lines in use. Keys go to the frame through onKey; the view model decides everything else.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <functional>

#include "terminal/TerminalView.h"

namespace marlo {
class ScreenBuffer;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

class TerminalWidget : public QAbstractScrollArea, public ITerminalPainter {
    Q_OBJECT
  public:
    TerminalWidget(ScreenBuffer& buffer, TerminalView& view, const Settings& settings,
                   QWidget* parent = nullptr);

    // Font and colours from the settings (after a change of the settings).
    void ApplySettings();
    // A key press the frame should handle (typed text, control keys).
    std::function<void(QKeyEvent*)> onKey;
    std::function<void(QInputMethodEvent*)> onInputMethod;
    // The pane got the keyboard focus.
    std::function<void()> onFocus;

    int CellWidth() const { return cellW_; }
    int LineHeight() const { return lineH_; }
    TerminalView& View() { return view_; }
    // The text of the visible rows as shown (tests and screenshots).
    QStringList VisibleText() const;

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
    bool focusNextPrevChild(bool) override { return false; }  // TAB goes to the host

  private:
    void UpdateGeometry();
    QRect CaretRect() const;

    ScreenBuffer& buffer_;
    TerminalView& view_;
    const Settings& settings_;
    QFont font_;
    QFont underlineFont_;
    int cellW_ = 9;
    int lineH_ = 18;
    int ascent_ = 14;
    bool syncingScrollBar_ = false;
    QRect lastCaret_;
};

}  // namespace marlo::ui

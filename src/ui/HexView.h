// The received bytes as a hex dump: a second view of the line's stream beside the terminal. It
// draws the rows of the frame's HexDump in a fixed-width face, each character over as many cells
// as it is wide, and follows new rows while it is scrolled to the end.
#pragma once

#include <QAbstractScrollArea>
#include <QFont>
#include <QTimer>

namespace marlo {
class HexDump;
struct Settings;
}  // namespace marlo

namespace marlo::ui {

class HexView : public QAbstractScrollArea {
    Q_OBJECT
  public:
    HexView(const HexDump& dump, const Settings& settings, QWidget* parent = nullptr);

    // The face of the terminal's settings (after a change of the settings).
    void ApplySettings();
    // The rows shown (UTF-8), for tests and screenshots.
    QStringList VisibleText() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;

  private:
    // New bytes came or old rows went: the range follows, and so does the view at the end.
    void Refresh();
    int PageRows() const;

    const HexDump& dump_;
    const Settings& settings_;
    QFont font_;
    int cellW_ = 8;
    int lineH_ = 16;
    int ascent_ = 12;
    unsigned long long seen_ = ~0ull;  // the dump's generation drawn
    QTimer poll_;
};

}  // namespace marlo::ui

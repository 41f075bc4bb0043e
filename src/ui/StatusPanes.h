// The status bar's panes in the order the user chose: the message pane (taking the free width),
// the lamps and the information panes, refreshed every half second. Each text pane is as wide as
// its text in cells of the terminal font, so a kanji is never cut. A click on the DTR or RTS lamp
// is passed on.
#pragma once

#include <QFont>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <map>
#include <vector>

#include "tools/StatusBarModel.h"

class QLabel;

namespace marlo::ui {

class LampWidget;

class StatusPanes : public QWidget {
    Q_OBJECT
  public:
    explicit StatusPanes(QWidget* parent = nullptr);

    // What the information panes show now (asked once a tick).
    std::function<StatusFacts()> facts;
    // A click on the DTR or RTS lamp, with its lamp bit.
    std::function<void(unsigned lamp)> onLampClicked;

    // The panes of these items, in this order (status items 0..9).
    void SetItems(const std::vector<int>& items);
    const std::vector<int>& Items() const { return items_; }
    // The font whose character cell measures the panes.
    void SetCellFont(const QFont& font);
    void SetLamps(unsigned lamps);
    void SetMessage(const QString& text);
    // The information panes' texts from `facts`.
    void Refresh();
    // The pane of an item while it is shown, else null (the lamps are no label).
    QLabel* Pane(int item) const;
    QWidget* Lamps() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* e) override;

  private:
    static constexpr int kGap = 4;
    QWidget* WidgetOf(int item) const;
    void Arrange();
    QLabel* message_;
    LampWidget* lamps_;
    std::map<int, QLabel*> panes_;  // the information panes, made when first shown
    std::vector<int> items_;
    QFont cellFont_;
    QTimer timer_;
};

}  // namespace marlo::ui

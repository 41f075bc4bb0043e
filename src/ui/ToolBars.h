// The main window's three tool bars, built from the bars' lists: each button sends its command as
// the menu item does, each separator is a gap. Their pictures are drawings (SVG) rendered at the
// size asked for, so they stay sharp on any screen.
#pragma once

#include <QIcon>
#include <QPointer>
#include <QToolBar>
#include <array>

#include "tools/ToolBarModel.h"

namespace marlo::ui {

class MainWindow;

// Button n's picture (0..34), from the drawings built into the program.
QIcon ToolButtonIcon(int n);

class ToolBarSet {
  public:
    explicit ToolBarSet(MainWindow& window);

    // Builds the bars again with these lists; `large` gives the large buttons.
    void Build(const ToolLists& lists, bool large);
    void SetVisible(int bar, bool visible);
    // Shown means "not hidden": it holds while the window itself is not shown yet.
    bool Visible(int bar) const;
    QToolBar* Bar(int bar) const { return bars_[static_cast<size_t>(bar)]; }

  private:
    MainWindow& window_;
    std::array<QPointer<QToolBar>, kToolBarCount> bars_;
};

}  // namespace marlo::ui

// The function bar: one button per user key, labelled "F1" and the key's label; a click runs the
// key as F1..F12 would.
#pragma once

#include <QToolBar>
#include <functional>

class QToolButton;

namespace marlo {
struct Settings;
}

namespace marlo::ui {

class FunctionKeyBar : public QToolBar {
    Q_OBJECT
  public:
    explicit FunctionKeyBar(const Settings& settings, QWidget* parent = nullptr);
    // The labels again (after the key dialog).
    void Refresh();
    std::function<void(int index)> onUserKey;
    QString Label(int index) const;

  private:
    const Settings& settings_;
    std::vector<QAction*> keys_;
};

}  // namespace marlo::ui

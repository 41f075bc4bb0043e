// The pages "ﾂｰﾙﾊﾞｰ" and "ｽﾃｰﾀｽﾊﾞｰ" of the environment settings sheet: lists and buttons over
// ToolBarPageModel and StatusBarPageModel, which decide every step and its message.
#pragma once

#include <QWidget>
#include <functional>
#include <string>

#include "platform/Platform.h"
#include "tools/StatusBarModel.h"
#include "tools/ToolBarModel.h"

class QComboBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace marlo::ui {

class ToolBarPage : public QWidget {
    Q_OBJECT
  public:
    explicit ToolBarPage(const ToolLists& lists, QWidget* parent = nullptr);
    // How a step's message is shown.
    std::function<void(const std::string& utf8, MsgIcon icon)> showMessage;
    const ToolLists& Lists() const { return model_.Lists(); }

  private:
    void Show(int row);
    void UpdateButtons(int row);
    void ShowOffered();
    void Step(const std::optional<std::string>& message, int row);
    int Row() const;

    ToolBarPageModel model_;
    QListWidget *shown_, *offered_;
    QComboBox* category_;
    QPushButton *up_, *down_, *delete_;
};

class StatusBarPage : public QWidget {
    Q_OBJECT
  public:
    explicit StatusBarPage(const std::vector<int>& items, QWidget* parent = nullptr);
    std::function<void(const std::string& utf8, MsgIcon icon)> showMessage;
    const std::vector<int>& Items() const { return model_.Items(); }

  private:
    void Show(int row);
    void Step(const std::optional<std::string>& message, int row);

    StatusBarPageModel model_;
    QListWidget *shown_, *all_;
};

}  // namespace marlo::ui

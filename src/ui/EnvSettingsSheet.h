// The environment settings sheet "動作環境の設定" (command 320): pages for colours, the screen, the
// buffer, the capture log, start and end, the tool bars and the status bar. It shows and collects the values;
// EnvSettingsModel decides what is refused and reports what changed. The frame keeps from reading
// the line while the sheet is open and reads what waited once it closes.
#pragma once

#include <QDialog>
#include <array>
#include <functional>
#include <optional>
#include <string>

#include "app/EnvSettingsModel.h"
#include "tools/ToolBarModel.h"
#include "platform/Platform.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace marlo::ui {

class StatusBarPage;
class ToolBarPage;

class EnvSettingsSheet : public QDialog {
    Q_OBJECT
  public:
    explicit EnvSettingsSheet(Settings& settings, QWidget* parent = nullptr);

    // Shows the sheet; true when it was closed with OK and applied. `changed` tells the frame
    // what to redo (reallocate the buffer, resize, repaint, rebuild the bars).
    static bool Run(Settings& settings, QWidget* parent, EnvApplyResult* changed = nullptr);

    // How a refusal is shown; a message box by default.
    std::function<void(const std::string& utf8, MsgIcon icon)> showMessage;
    // Picks a colour: the current one, the window title and the chooser's 16 custom colours
    // (updated in place). A colour dialog by default; nullopt when cancelled.
    std::function<std::optional<int32_t>(int32_t current, const QString& title,
                                         std::array<int32_t, 16>& custom)>
        chooseColour;

    const std::optional<EnvApplyResult>& applied() const { return applied_; }
    QTabWidget* pages() const { return pages_; }
    // A further page (the status bar's, for instance), placed before nothing else changes.
    void AddPage(QWidget* page, const QString& title);

    // OK: takes the fields, refuses with a message (the sheet stays open) or applies and closes.
    void accept() override;

  private:
    QWidget* ColourPage();
    QWidget* ScreenPage();
    QWidget* BufferPage();
    QWidget* LogPage();
    QWidget* StartEndPage();
    QWidget* MakeToolBarPage();
    QWidget* MakeStatusBarPage();
    void PickColour(bool text);
    void ShowColours();
    void UpdateClearUpText();
    void Collect();

    Settings& settings_;
    EnvSettingsModel model_;
    std::array<int32_t, 16> textCustom_, backCustom_;
    std::optional<EnvApplyResult> applied_;
    QTabWidget* pages_ = nullptr;

    QCheckBox* sameSysColor_;
    QPushButton *textColour_, *backColour_;
    QLabel* sample_;
    QCheckBox *lineColFix_, *blink_;
    QSpinBox *columns_, *rows_, *funcBarSize_;
    QSpinBox *bufferSize_, *clearUp_, *scrollLine_;
    QLabel* clearUpText_;
    QCheckBox* scrollSpeed_;
    QRadioButton *logAppend_, *logNew_;
    QCheckBox *logDefault_, *logIniBegin_, *logRemoveEsc_;
    QCheckBox *hostselectOnBegin_, *saveOnEnd_, *bufferClearOnEnd_;
    QRadioButton *toolLarge_, *toolSmall_;
    ToolLists toolLists_;  // as the page found them
    ToolBarPage* toolPage_;
    StatusBarPage* statusPage_;
};

}  // namespace marlo::ui

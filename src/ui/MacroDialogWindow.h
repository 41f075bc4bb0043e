// What a macro shows the user on the desktop: its message, question and input boxes, and the
// dialog it built (MacroDialog), drawn with the controls where the macro placed them (dialog units
// converted with the font's average character size) and its values stored back when it closes.
// The macro thread asks and waits; the boxes open on the user-interface thread without an event
// loop of their own (nothing there waits for the macro), and the macro stops waiting at once when
// it is stopped, the box closing by itself.
#pragma once

#include <QDialog>
#include <QPointer>
#include <vector>

#include "macro/MacroDialog.h"

namespace marlo::ui {

class MacroDialogWindow : public QDialog {
    Q_OBJECT
  public:
    // The window of the dialog, placed over `owner`. Its result (finished) is the ID of the
    // button or list that closed it, 0 for the close box or Escape; the values are in the model
    // by then.
    MacroDialogWindow(MacroDialog& dialog, QWidget* owner);
    // The widget of each control, in the model's order.
    const std::vector<QWidget*>& ControlWidgets() const { return widgets_; }
    // Pixels of a horizontal and a vertical length in dialog units.
    int PixelsX(int units) const;
    int PixelsY(int units) const;

    void done(int result) override;

  private:
    void Build();
    void StoreBack();

    MacroDialog& dialog_;
    std::vector<QWidget*> widgets_;
    int baseX_ = 8, baseY_ = 16;  // the font's average character width and height
};

class QtMacroUi : public MacroUserInterface {
  public:
    explicit QtMacroUi(QWidget* owner) : owner_(owner) {}
    void Message(const std::string& text, const std::atomic<bool>& stop) override;
    bool Question(const std::string& text, const std::atomic<bool>& stop) override;
    std::optional<std::string> Input(const std::string& prompt, bool masked,
                                     const std::atomic<bool>& stop) override;
    std::optional<int> ShowDialog(MacroDialog& dialog, const std::atomic<bool>& stop) override;

  private:
    QPointer<QWidget> owner_;
};

}  // namespace marlo::ui

// A dialog a macro builds at run time: entry 0 is the dialog itself, then up to 50 controls in the
// order they were added. Positions and sizes are dialog units; texts are Shift-JIS. The front end
// draws it from this model during `domodal` and stores the controls' values back into it, so what
// the user chose can be read once the window is gone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace marlo {

enum class MacroControlKind {
    Dialog = 0,
    Text = 1,
    Button = 2,
    Check = 3,
    Radio = 4,
    List = 5,
    Combo = 6,
    Edit = 7
};

struct MacroDialogEntry {
    std::string text;  // the title, a caption or the initial text
    uint32_t style = 0;
    MacroControlKind kind = MacroControlKind::Dialog;
    int32_t id = 0;
    int32_t x = 0, y = 0, width = 0, height = 0;
    int32_t state = 0;  // the selected index of a list or drop-down list, a check box's check
    std::vector<std::string> strings;

    bool IsGroup() const { return kind == MacroControlKind::Button && (style & 0xF) == 7; }
    bool IsDefault() const { return kind == MacroControlKind::Button && (style & 0xF) == 1; }
    // A push button, or a list (by a double click): what ends the dialog with its ID.
    bool Closes() const {
        return (kind == MacroControlKind::Button && !IsGroup()) || kind == MacroControlKind::List;
    }
    bool HoldsValue() const { return kind >= MacroControlKind::Check; }
};

class MacroDialog {
  public:
    static constexpr size_t kMaxControls = 50;
    static constexpr size_t kMaxEditBytes = 100;
    // Window styles of each kind (Win32 values, as macro dialogs have always carried them).
    static constexpr uint32_t kDialogStyle = 0x10C80080;
    static constexpr uint32_t kTextStyle = 0x50000000;
    static constexpr uint32_t kButtonStyle = 0x50010000;
    static constexpr uint32_t kDefButtonStyle = 0x50010001;
    static constexpr uint32_t kCheckStyle = 0x50010003;
    static constexpr uint32_t kRadioStyle = 0x50010009;
    static constexpr uint32_t kListStyle = 0x50A10101;
    static constexpr uint32_t kComboStyle = 0x50810003;
    static constexpr uint32_t kEditStyle = 0x50810080;
    static constexpr uint32_t kGroupStyle = 0x50000007;

    enum class Add { Added, NotCreated, Full };

    // Starts a new definition, forgetting the old one.
    void Create(const std::string& title, int32_t x, int32_t y, int32_t width, int32_t height);
    // Forgets the definition.
    void Destroy();
    bool Created() const { return created_; }
    // A control with the kind's style; `style` 0 takes the kind's own (buttons pass theirs).
    Add AddControl(MacroControlKind kind, uint32_t style, const std::string& text, int32_t id,
                   int32_t x, int32_t y, int32_t width, int32_t height);

    const MacroDialogEntry& Dialog() const { return dialog_; }
    // The controls, in the order they were added.
    std::vector<MacroDialogEntry>& Controls() { return controls_; }
    const std::vector<MacroDialogEntry>& Controls() const { return controls_; }
    // The first control with the ID, or nullptr.
    MacroDialogEntry* Find(int32_t id);

    // The text an edit field shows: its text with its strings after it, at most 100 bytes.
    static std::string EditText(const MacroDialogEntry& edit);
    // The text of a list's selected item or of an edit field; nullopt for a list shown with
    // nothing to select.
    std::optional<std::string> StringOf(const MacroDialogEntry& control) const;
    // An edit field's text as the window left it, cut at 100 bytes on a character boundary; it
    // replaces the text and the strings added to the field.
    void StoreEditText(MacroDialogEntry& edit, const std::string& text);
    // Before each showing: lists and drop-down lists select their first item (-1 when empty).
    void Open();
    // Marks the dialog as shown once (lists answer their selected item from then on).
    void SetShown() { shown_ = true; }

  private:
    bool created_ = false;
    bool shown_ = false;
    MacroDialogEntry dialog_;  // entry 0: the dialog's title, style, place and size
    std::vector<MacroDialogEntry> controls_;
};

// A dialog answered without a window (marlo-cli's answers, tests): "id:N", then optionally "|"
// and the values of the check boxes, radio buttons, lists, drop-down lists and edit fields in
// the order they were added, separated by "|": 0 or 1, an item's index from 0, a Shift-JIS text.
// An empty value leaves that control as it is. N is 0 (the close box) or the ID of a button or
// list. The closing ID, or nullopt with the reason in `why` and the dialog unchanged.
std::optional<int> AnswerDialog(MacroDialog& dialog, const std::string& answer, std::string* why);

// At most `max` bytes of Shift-JIS text, never ending inside a two-byte character.
std::string CutSjis(const std::string& text, size_t max);

// How a front end shows what a macro asks of the user. Called on the macro thread; texts are
// Shift-JIS. Each call returns soon after `stop` is set (the macro stopped, the program closing),
// answering as if cancelled.
class MacroUserInterface {
  public:
    virtual ~MacroUserInterface() = default;
    virtual void Message(const std::string& text, const std::atomic<bool>& stop) = 0;
    // True for Yes.
    virtual bool Question(const std::string& text, const std::atomic<bool>& stop) = 0;
    // The text typed, nullopt for Cancel.
    virtual std::optional<std::string> Input(const std::string& prompt, bool masked,
                                             const std::atomic<bool>& stop) = 0;
    // Shows the dialog modally and stores the controls' values back; the ID of the button or list
    // that closed it, 0 for the close box or Escape; nullopt when it could not be made.
    virtual std::optional<int> ShowDialog(MacroDialog& dialog, const std::atomic<bool>& stop) = 0;
};

}  // namespace marlo

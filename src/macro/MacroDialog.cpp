#include "macro/MacroDialog.h"

#include <charconv>

#include "macro/MacroText.h"

namespace marlo {

std::string CutSjis(const std::string& text, size_t max) {
    size_t end = 0;
    for (size_t i = 0; i < text.size();) {
        size_t next = i + SjisStep(text, i);
        if (next > max) break;
        end = i = next;
    }
    return text.substr(0, end);
}

void MacroDialog::Create(const std::string& title, int32_t x, int32_t y, int32_t width,
                         int32_t height) {
    Destroy();
    dialog_ = {.text = title,
               .style = kDialogStyle,
               .x = x,
               .y = y,
               .width = width,
               .height = height,
               .strings = {}};
    created_ = true;
}

void MacroDialog::Destroy() {
    dialog_ = {};
    controls_.clear();
    created_ = false;
    shown_ = false;
}

MacroDialog::Add MacroDialog::AddControl(MacroControlKind kind, uint32_t style,
                                         const std::string& text, int32_t id, int32_t x, int32_t y,
                                         int32_t width, int32_t height) {
    if (!created_) return Add::NotCreated;
    if (controls_.size() >= kMaxControls) return Add::Full;
    static const uint32_t kStyles[] = {kDialogStyle, kTextStyle, kButtonStyle, kCheckStyle,
                                       kRadioStyle,  kListStyle, kComboStyle,  kEditStyle};
    controls_.push_back({.text = text,
                         .style = style != 0 ? style : kStyles[static_cast<int>(kind)],
                         .kind = kind,
                         .id = id,
                         .x = x,
                         .y = y,
                         .width = width,
                         .height = height,
                         .strings = {}});
    return Add::Added;
}

MacroDialogEntry* MacroDialog::Find(int32_t id) {
    for (auto& control : controls_)
        if (control.id == id) return &control;
    return nullptr;
}

std::string MacroDialog::EditText(const MacroDialogEntry& edit) {
    std::string text = edit.text;
    for (const auto& s : edit.strings) text += s;
    return CutSjis(text, kMaxEditBytes);
}

std::optional<std::string> MacroDialog::StringOf(const MacroDialogEntry& control) const {
    if (control.kind == MacroControlKind::Edit) return EditText(control);
    // Before the dialog was shown nothing is selected yet: the list answers its own text.
    if (!shown_) return control.text;
    if (control.state < 0 || static_cast<size_t>(control.state) >= control.strings.size())
        return std::nullopt;
    return control.strings[static_cast<size_t>(control.state)];
}

void MacroDialog::Open() {
    for (auto& control : controls_)
        if (control.kind == MacroControlKind::List || control.kind == MacroControlKind::Combo)
            control.state = control.strings.empty() ? -1 : 0;
}

void MacroDialog::StoreEditText(MacroDialogEntry& edit, const std::string& text) {
    edit.text = CutSjis(text, kMaxEditBytes);
    edit.strings.clear();
}

namespace {

// A whole decimal number, nothing else.
std::optional<int32_t> WholeNumber(const std::string& text) {
    int32_t value = 0;
    const char* end = text.data() + text.size();
    auto [stop, error] = std::from_chars(text.data(), end, value);
    if (text.empty() || error != std::errc() || stop != end) return std::nullopt;
    return value;
}

}  // namespace

std::optional<int> AnswerDialog(MacroDialog& dialog, const std::string& answer, std::string* why) {
    auto fail = [&](const std::string& reason) -> std::optional<int> {
        if (why) *why = reason;
        return std::nullopt;
    };
    std::vector<std::string> fields;
    // A Shift-JIS second byte can be "|": only whole characters separate.
    for (std::string_view rest = answer;;) {
        size_t bar = FindByte(rest, '|');
        fields.emplace_back(rest.substr(0, bar));
        if (bar == std::string_view::npos) break;
        rest.remove_prefix(bar + 1);
    }
    if (fields[0].rfind("id:", 0) != 0) return fail("the answer to a dialog is id:N");
    auto id = WholeNumber(fields[0].substr(3));
    if (!id) return fail("id:N needs a number");
    if (*id != 0) {
        const MacroDialogEntry* closing = dialog.Find(*id);
        if (!closing || !closing->Closes())
            return fail("no button or list has the ID " + std::to_string(*id));
    }
    std::vector<MacroDialogEntry*> holders;
    for (auto& control : dialog.Controls())
        if (control.HoldsValue()) holders.push_back(&control);
    if (fields.size() - 1 > holders.size())
        return fail("more values than the dialog's " + std::to_string(holders.size()) +
                    " controls with values");
    // Every value is checked before any is stored.
    std::vector<int32_t> numbers(fields.size(), 0);
    for (size_t i = 1; i < fields.size(); ++i) {
        const MacroDialogEntry& control = *holders[i - 1];
        if (fields[i].empty() || control.kind == MacroControlKind::Edit) continue;
        auto n = WholeNumber(fields[i]);
        bool list =
            control.kind == MacroControlKind::List || control.kind == MacroControlKind::Combo;
        bool fits = n && (list ? *n >= 0 && static_cast<size_t>(*n) < control.strings.size()
                               : *n == 0 || *n == 1);
        if (!fits)
            return fail("value " + std::to_string(i) + " (" + fields[i] +
                        ") does not fit its control");
        numbers[i] = *n;
    }
    for (size_t i = 1; i < fields.size(); ++i) {
        MacroDialogEntry& control = *holders[i - 1];
        if (fields[i].empty()) continue;
        if (control.kind == MacroControlKind::Edit)
            dialog.StoreEditText(control, fields[i]);
        else
            control.state = numbers[i];
    }
    return *id;
}

}  // namespace marlo

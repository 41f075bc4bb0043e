// The statements that ask the user: message, question and input boxes, and the small dialog a
// macro builds control by control and then shows. The front end draws them (MacroHost); here are
// the rules: which arguments are accepted, what is stored and what ends the macro.
#include "macro/MacroInterpreter.h"
#include "macro/MacroMessages.h"
#include "macro/MacroText.h"
#include "text/Encoding.h"

namespace marlo {

using namespace macro_text;

// ---- Boxes ----

std::string MacroInterpreter::BoxText(const Tokens& args, size_t i) {
    const std::string& token = Arg(args, i);
    if (token[0] != '"' && token[0] != '$') Fail(kSyntax);
    return Text(token);
}

void MacroInterpreter::Message(const Tokens& args) {
    host_.Message(BoxText(args, 0));
}

void MacroInterpreter::Question(const Tokens& args) {
    std::string text = BoxText(args, 0);
    variables_.SetResult(host_.Question(text) ? 1 : 0);
}

void MacroInterpreter::Input(const Tokens& args) {
    AskText(args, false);
}

void MacroInterpreter::InputPassword(const Tokens& args) {
    AskText(args, true);
}

void MacroInterpreter::AskText(const Tokens& args, bool masked) {
    std::string prompt = BoxText(args, 0);
    std::string name = Destination(args, 1, '$');
    // Checked before the box opens, so that what the user types is not asked for in vain.
    if (!variables_.GetString(name)) Fail(MacroFormat(kNotDefinedNamed, SjisToUtf8(name).c_str()));
    auto text = host_.Input(prompt, masked);
    if (text) StoreString(name, CutSjis(*text, MacroVariables::kMaxValue));
    variables_.SetResult(text ? 1 : 0);
}

// ---- The macro's own dialog ----

void MacroInterpreter::CreateDialog(const Tokens& args) {
    std::string title = Text(Arg(args, 0));
    dialog_.Create(title, Number(Arg(args, 1)), Number(Arg(args, 2)), Number(Arg(args, 3)),
                   Number(Arg(args, 4)));
    variables_.SetResult(1);
}

void MacroInterpreter::AddControl(const Tokens& args, MacroControlKind kind, uint32_t style) {
    if (!dialog_.Created()) Fail(kNoDialogYet);
    std::string text = Text(Arg(args, 0));
    int32_t values[5];
    for (size_t i = 0; i < 5; ++i) values[i] = Number(Arg(args, i + 1));
    // Past 50 controls the statement does nothing.
    dialog_.AddControl(kind, style, text, values[0], values[1], values[2], values[3], values[4]);
}

MacroDialogEntry& MacroInterpreter::ControlOf(const std::string& token) {
    MacroDialogEntry* control = dialog_.Find(Number(token));
    if (!control) Fail(kNoSuchControl);
    return *control;
}

void MacroInterpreter::AddString(const Tokens& args) {
    MacroDialogEntry& control = ControlOf(Arg(args, 0));
    if (control.kind == MacroControlKind::Text || control.kind == MacroControlKind::Button)
        Fail(kNoAddString);
    std::string text = Text(Arg(args, 1));
    // Check boxes and radio buttons keep strings nobody reads, as they always did.
    control.strings.push_back(std::move(text));
    variables_.SetResult(1);
}

void MacroInterpreter::GetString(const Tokens& args) {
    MacroDialogEntry& control = ControlOf(Arg(args, 0));
    if (control.kind != MacroControlKind::List && control.kind != MacroControlKind::Combo &&
        control.kind != MacroControlKind::Edit)
        Fail(kNoString);
    std::string name = Destination(args, 1, '$');
    auto text = dialog_.StringOf(control);
    bool stored = text && variables_.SetString(name, CutSjis(*text, MacroVariables::kMaxValue));
    variables_.SetResult(stored ? 1 : 0);
}

void MacroInterpreter::SetState(const Tokens& args) {
    MacroDialogEntry& control = ControlOf(Arg(args, 0));
    if (control.kind != MacroControlKind::Check && control.kind != MacroControlKind::Radio)
        Fail(kNoState);
    control.state = Number(Arg(args, 1)) != 0 ? 1 : 0;
    variables_.SetResult(1);
}

void MacroInterpreter::GetState(const Tokens& args) {
    MacroDialogEntry& control = ControlOf(Arg(args, 0));
    if (control.kind != MacroControlKind::Check && control.kind != MacroControlKind::Radio)
        Fail(kNoState);
    bool stored = variables_.SetNumber(Destination(args, 1, '@'), control.state);
    variables_.SetResult(stored ? 1 : 0);
}

void MacroInterpreter::DoModal(const Tokens&) {
    if (!dialog_.Created()) Fail(kSyntax);
    dialog_.Open();
    auto id = host_.ShowDialog(dialog_);
    if (!id) Fail(kDialogFailed);
    dialog_.SetShown();
    variables_.SetResult(*id);
}

void MacroInterpreter::DestroyDialog(const Tokens&) {
    dialog_.Destroy();
}

}  // namespace marlo

// Runs a macro program line by line on the calling thread (the macro thread). Each line is one
// statement: tokenized, its first token looked up among the keywords (any case), labels and the
// `$`/`@` of an assignment skipped. Control statements work on the line table itself by searching
// it for their partner lines, keeping only an if depth with its branch flags, one loop flag and
// the call stack. An error shows "message [N行目]" and ends the macro.
#pragma once

#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "macro/MacroDialog.h"
#include "macro/MacroExpression.h"
#include "macro/MacroHost.h"
#include "macro/MacroVariables.h"

namespace marlo {

class MacroInterpreter {
  public:
    static constexpr int kMaxIfDepth = 1000;
    static constexpr int kMaxCallDepth = 100;
    static constexpr size_t kMaxArguments = 50;
    static constexpr size_t kMaxWaitTexts = 50;
    static constexpr long kDefaultWaitSeconds = 30;

    enum class End {
        Finished,  // ran off the end of the program
        Exit,      // exit
        Close,     // close: the program is to close now
        Start,     // start: another macro follows
        Error,     // a statement failed; its message was shown
        Stopped,   // the user stopped it
        Closing,   // the program was closing
        StepLimit  // more lines ran than allowed (tests)
    };

    MacroInterpreter(MacroHost& host, MacroControl& control);
    ~MacroInterpreter();
    MacroInterpreter(const MacroInterpreter&) = delete;
    MacroInterpreter& operator=(const MacroInterpreter&) = delete;

    // Loads the program's bytes and runs them to their end. `maxSteps` < 0: no limit.
    End Run(const std::string& bytes, long maxSteps = -1);
    // The last error as shown ("message [N行目]"), empty if none.
    const std::string& LastError() const { return lastError_; }

  private:
    using Tokens = std::vector<std::string>;
    using Statement = void (MacroInterpreter::*)(const Tokens& args);
    struct Fault {
        std::string message;
    };

    void Reset();
    bool ExecuteLine();
    [[noreturn]] static void Fail(std::string message) { throw Fault{std::move(message)}; }

    // Values.
    MacroValue ResolveOrFail(const std::string& token);
    std::string Text(const std::string& token);
    int32_t Number(const std::string& token);
    std::string VariableName(const std::string& reference);
    void StoreString(const std::string& name, const std::string& value);
    void StoreNumber(const std::string& name, int32_t value);
    std::string EvaluateForLine(const std::string& text, bool* ok);

    // The line table, searched by keyword.
    int Search(bool forward, const char* keyword, const char* stop) const;
    int CountBetween(int from, int to, const char* keyword) const;
    void SetIfDepth(int depth);
    void SkipToIfPartner();

    // Statements.
    void Declare(const Tokens& args, bool number, bool local);
    void Delete(const Tokens& args, bool number, bool local);
    void StringDecl(const Tokens& a) { Declare(a, false, false); }
    void IntDecl(const Tokens& a) { Declare(a, true, false); }
    void LocalStringDecl(const Tokens& a) { Declare(a, false, true); }
    void LocalIntDecl(const Tokens& a) { Declare(a, true, true); }
    void DelString(const Tokens& a) { Delete(a, false, false); }
    void DelInt(const Tokens& a) { Delete(a, true, false); }
    void DelLocalString(const Tokens& a) { Delete(a, false, true); }
    void DelLocalInt(const Tokens& a) { Delete(a, true, true); }
    void Assign(const Tokens& args);
    void If(const Tokens& args);
    void ElseIf(const Tokens& args);
    void Else(const Tokens& args);
    void EndIf(const Tokens& args);
    void While(const Tokens& args);
    void EndWhile(const Tokens& args);
    void Break(const Tokens& args);
    void Continue(const Tokens& args);
    void Goto(const Tokens& args);
    void Call(const Tokens& args);
    void Func(const Tokens& args);
    void EndFunc(const Tokens& args);
    void Return(const Tokens& args);
    void Exit(const Tokens& args);
    void Close(const Tokens& args);
    void Start(const Tokens& args);
    void Send(const Tokens& args);
    void Wait(const Tokens& args);
    void Sleep(const Tokens& args);
    void Stop(const Tokens& args);
    void ChangeStoI(const Tokens& args);
    void ChangeItoS(const Tokens& args);
    // Boxes and the macro's own dialog (MacroBoxes.cpp).
    void Message(const Tokens& args);
    void Question(const Tokens& args);
    void Input(const Tokens& args);
    void InputPassword(const Tokens& args);
    void AskText(const Tokens& args, bool masked);
    std::string BoxText(const Tokens& args, size_t i);
    void CreateDialog(const Tokens& args);
    void AddControl(const Tokens& args, MacroControlKind kind, uint32_t style = 0);
    void AddText(const Tokens& a) { AddControl(a, MacroControlKind::Text); }
    void AddButton(const Tokens& a) { AddControl(a, MacroControlKind::Button); }
    void AddDefButton(const Tokens& a) {
        AddControl(a, MacroControlKind::Button, MacroDialog::kDefButtonStyle);
    }
    void AddCheck(const Tokens& a) { AddControl(a, MacroControlKind::Check); }
    void AddRadio(const Tokens& a) { AddControl(a, MacroControlKind::Radio); }
    void AddList(const Tokens& a) { AddControl(a, MacroControlKind::List); }
    void AddCombo(const Tokens& a) { AddControl(a, MacroControlKind::Combo); }
    void AddEdit(const Tokens& a) { AddControl(a, MacroControlKind::Edit); }
    void AddGroup(const Tokens& a) {
        AddControl(a, MacroControlKind::Button, MacroDialog::kGroupStyle);
    }
    MacroDialogEntry& ControlOf(const std::string& token);
    void AddString(const Tokens& args);
    void GetString(const Tokens& args);
    void SetState(const Tokens& args);
    void GetState(const Tokens& args);
    void DoModal(const Tokens& args);
    void DestroyDialog(const Tokens& args);
    // Strings, numbers and time (MacroStrings.cpp).
    void GetValue(const Tokens& args);
    void StrStr(const Tokens& args);
    void StrHead(const Tokens& args);
    void StrTail(const Tokens& args);
    void StrUpr(const Tokens& args);
    void StrLwr(const Tokens& args);
    void ConvertCase(const Tokens& args, int (*convert)(int));
    void StrTok(const Tokens& args);
    void StrLen(const Tokens& args);
    void Max(const Tokens& args);
    void Min(const Tokens& args);
    void GetDate(const Tokens& args);
    void GetTime(const Tokens& args);
    void GetVersion(const Tokens& args);
    void Speed(const Tokens&) {}
    // Files and folders (MacroFiles.cpp).
    void CreateDir(const Tokens& args);
    void RemoveDir(const Tokens& args);
    void CreateFile(const Tokens& args);
    void CloseFile(const Tokens& args);
    void SetFilePointer(const Tokens& args);
    void WriteFile(const Tokens& args);
    void ReadFile(const Tokens& args);
    void DelFile(const Tokens& args);
    void CopyFile(const Tokens& args);
    void CloseFiles();
    // The line, transfers, the screen, the capture log and programs (MacroSession.cpp).
    void Connect(const Tokens& args);
    void HangUp(const Tokens& args);
    void SendBreak(const Tokens& args);
    void BufferClear(const Tokens& args);
    void Suspend(const Tokens& args);
    void Resume(const Tokens& args);
    void Upload(const Tokens& args) { Transfer(args, true); }
    void Download(const Tokens& args) { Transfer(args, false); }
    void Transfer(const Tokens& args, bool upload);
    void SendText(const Tokens& args);
    void ReadLine(const Tokens& args);
    void SearchScreen(const Tokens& args);
    void GetBufferSize(const Tokens& args);
    void Log(const Tokens& args);
    void Exec(const Tokens& args);
    void GetHostName(const Tokens& args);
    // The value of option `/X` (letter in either case) as text, nullopt when not given.
    std::optional<std::string> Option(const Tokens& args, char letter);
    // The descriptor of a macro file handle (1-based), or -1.
    int FileOf(const std::string& token);
    // A destination variable: "$name" or "@name" with the sigil the statement wants.
    std::string Destination(const Tokens& args, size_t i, char sigil);
    const std::string& Arg(const Tokens& args, size_t i);
    void LeaveFunction();

    static const std::unordered_map<std::string, Statement>& Statements();

    MacroHost& host_;
    MacroControl& control_;
    MacroVariables variables_;
    MacroEvaluator evaluator_{variables_};
    MacroDialog dialog_;  // the dialog the macro is building

    std::vector<std::string> lines_;
    std::vector<std::string> keywords_;  // each line's first word, lower-cased
    int index_ = 0;                      // the line running
    std::string keyword_;                // the statement running
    End end_ = End::Finished;
    bool ended_ = false;
    std::string lastError_;

    int ifDepth_ = 0;
    std::vector<bool> branchTaken_;  // by if depth
    bool inLoop_ = false;
    struct CallFrame {
        int returnLine;
        int funcLine;
    };
    std::vector<CallFrame> calls_;
    bool callPending_ = false;
    std::string calledName_;
    std::vector<std::string> arguments_;
    std::vector<int> files_;  // the macro's open files by handle - 1; -1 where closed
};

}  // namespace marlo

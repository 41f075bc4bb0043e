#include "macro/MacroInterpreter.h"

#include <cctype>

#include "macro/MacroMessages.h"
#include "macro/MacroProgram.h"
#include "macro/MacroText.h"
#include "macro/MacroTokenizer.h"
#include "text/Encoding.h"

namespace marlo {

using namespace macro_text;

namespace {

bool EndsList(const std::string& token) {
    return token.empty() || token[0] == '#' || token[0] == ';';
}

// Program text (Shift-JIS) inside a message or the trace, which are UTF-8.
std::string Shown(const std::string& text) { return SjisToUtf8(text); }

}  // namespace

MacroInterpreter::MacroInterpreter(MacroHost& host, MacroControl& control)
    : host_(host), control_(control) {
    variables_.userId = [this] { return host_.UserId(); };
    variables_.password = [this] { return host_.Password(); };
}

MacroInterpreter::~MacroInterpreter() { CloseFiles(); }

const std::string& MacroInterpreter::Arg(const Tokens& args, size_t i) {
    if (i >= args.size() || EndsList(args[i])) Fail(kSyntax);
    return args[i];
}

std::string MacroInterpreter::Destination(const Tokens& args, size_t i, char sigil) {
    const std::string& token = Arg(args, i);
    if (token[0] != sigil || token.size() < 2) Fail(kSyntax);
    return VariableName(token);
}

const std::unordered_map<std::string, MacroInterpreter::Statement>& MacroInterpreter::Statements() {
    static const std::unordered_map<std::string, Statement> table = [] {
        std::unordered_map<std::string, Statement> t = {
            {"string", &MacroInterpreter::StringDecl},
            {"int", &MacroInterpreter::IntDecl},
            {"localstring", &MacroInterpreter::LocalStringDecl},
            {"localint", &MacroInterpreter::LocalIntDecl},
            {"delstring", &MacroInterpreter::DelString},
            {"delint", &MacroInterpreter::DelInt},
            {"dellocalstring", &MacroInterpreter::DelLocalString},
            {"dellocalint", &MacroInterpreter::DelLocalInt},
            {"=", &MacroInterpreter::Assign},
            {"if", &MacroInterpreter::If},
            {"elseif", &MacroInterpreter::ElseIf},
            {"else", &MacroInterpreter::Else},
            {"endif", &MacroInterpreter::EndIf},
            {"while", &MacroInterpreter::While},
            {"endwhile", &MacroInterpreter::EndWhile},
            {"break", &MacroInterpreter::Break},
            {"continue", &MacroInterpreter::Continue},
            {"goto", &MacroInterpreter::Goto},
            {"call", &MacroInterpreter::Call},
            {"func", &MacroInterpreter::Func},
            {"endfunc", &MacroInterpreter::EndFunc},
            {"return", &MacroInterpreter::Return},
            {"exit", &MacroInterpreter::Exit},
            {"close", &MacroInterpreter::Close},
            {"start", &MacroInterpreter::Start},
            {"send", &MacroInterpreter::Send},
            {"wait", &MacroInterpreter::Wait},
            {"sleep", &MacroInterpreter::Sleep},
            {"stop", &MacroInterpreter::Stop},
            {"changestoi", &MacroInterpreter::ChangeStoI},
            {"changeitos", &MacroInterpreter::ChangeItoS},
            {"getvalue", &MacroInterpreter::GetValue},
            {"strstr", &MacroInterpreter::StrStr},
            {"strhead", &MacroInterpreter::StrHead},
            {"strtail", &MacroInterpreter::StrTail},
            {"strupr", &MacroInterpreter::StrUpr},
            {"strlwr", &MacroInterpreter::StrLwr},
            {"strtok", &MacroInterpreter::StrTok},
            {"strlen", &MacroInterpreter::StrLen},
            {"max", &MacroInterpreter::Max},
            {"min", &MacroInterpreter::Min},
            {"getdate", &MacroInterpreter::GetDate},
            {"gettime", &MacroInterpreter::GetTime},
            {"getversion", &MacroInterpreter::GetVersion},
            {"speed", &MacroInterpreter::Speed},
            {"message", &MacroInterpreter::Message},
            {"question", &MacroInterpreter::Question},
            {"input", &MacroInterpreter::Input},
            {"inputpassword", &MacroInterpreter::InputPassword},
            {"createdialog", &MacroInterpreter::CreateDialog},
            {"addtext", &MacroInterpreter::AddText},
            {"addbutton", &MacroInterpreter::AddButton},
            {"adddefbutton", &MacroInterpreter::AddDefButton},
            {"addcheck", &MacroInterpreter::AddCheck},
            {"addradio", &MacroInterpreter::AddRadio},
            {"addlist", &MacroInterpreter::AddList},
            {"addcombo", &MacroInterpreter::AddCombo},
            {"addedit", &MacroInterpreter::AddEdit},
            {"addgroup", &MacroInterpreter::AddGroup},
            {"addstring", &MacroInterpreter::AddString},
            {"getstring", &MacroInterpreter::GetString},
            {"setstate", &MacroInterpreter::SetState},
            {"getstate", &MacroInterpreter::GetState},
            {"domodal", &MacroInterpreter::DoModal},
            {"destroydialog", &MacroInterpreter::DestroyDialog},
            {"createdir", &MacroInterpreter::CreateDir},
            {"removedir", &MacroInterpreter::RemoveDir},
            {"createfile", &MacroInterpreter::CreateFile},
            {"closefile", &MacroInterpreter::CloseFile},
            {"setfilepointer", &MacroInterpreter::SetFilePointer},
            {"writefile", &MacroInterpreter::WriteFile},
            {"readfile", &MacroInterpreter::ReadFile},
            {"delfile", &MacroInterpreter::DelFile},
            {"copyfile", &MacroInterpreter::CopyFile},
            {"connect", &MacroInterpreter::Connect},
            {"hangup", &MacroInterpreter::HangUp},
            {"sendbreak", &MacroInterpreter::SendBreak},
            {"bufferclear", &MacroInterpreter::BufferClear},
            {"suspend", &MacroInterpreter::Suspend},
            {"resume", &MacroInterpreter::Resume},
            {"upload", &MacroInterpreter::Upload},
            {"download", &MacroInterpreter::Download},
            {"sendtext", &MacroInterpreter::SendText},
            {"readline", &MacroInterpreter::ReadLine},
            {"search", &MacroInterpreter::SearchScreen},
            {"getbuffersize", &MacroInterpreter::GetBufferSize},
            {"log", &MacroInterpreter::Log},
            {"exec", &MacroInterpreter::Exec},
            {"gethostname", &MacroInterpreter::GetHostName},
        };
        return t;
    }();
    return table;
}

void MacroInterpreter::Reset() {
    CloseFiles();
    dialog_.Destroy();
    variables_.Reset();
    lines_.clear();
    keywords_.clear();
    index_ = 0;
    end_ = End::Finished;
    ended_ = false;
    lastError_.clear();
    ifDepth_ = 0;
    branchTaken_.assign(kMaxIfDepth + 1, false);
    inLoop_ = false;
    calls_.clear();
    callPending_ = false;
    calledName_.clear();
    arguments_.clear();
}

MacroInterpreter::End MacroInterpreter::Run(const std::string& bytes, long maxSteps) {
    Reset();
    MacroProgram program = LoadMacroProgram(bytes);
    if (program.firstLongLine > 0) {
        lastError_ = MacroFormat(kErrorAtLine, kLineTooLong, program.firstLongLine);
        host_.ShowError(lastError_);
        return End::Error;
    }
    lines_ = std::move(program.lines);
    for (const auto& line : lines_) keywords_.push_back(LineKeyword(line));
    host_.SetStatus(kRunning);
    long steps = 0;
    for (index_ = 0; index_ < static_cast<int>(lines_.size()); ++index_) {
        if (host_.Closing()) {
            end_ = End::Closing;
            break;
        }
        if (!control_.HoldWhilePaused()) {
            end_ = End::Stopped;
            break;
        }
        if (maxSteps >= 0 && steps++ >= maxSteps) {
            end_ = End::StepLimit;
            break;
        }
        host_.SetStatus(MacroFormat(kRunningLine, index_ + 1));
        host_.SelectLine(index_);
        if (!ExecuteLine()) break;
    }
    if (end_ == End::Finished && control_.Stopped()) end_ = End::Stopped;
    host_.SetStatus("");
    End end = end_;
    std::string error = std::move(lastError_);
    Reset();  // a macro leaves no variables behind
    lastError_ = std::move(error);
    return end;
}

bool MacroInterpreter::ExecuteLine() {
    const int lineNumber = index_ + 1;
    try {
        auto evaluate = [&](const std::string& text) -> std::optional<std::string> {
            bool tracing = host_.Tracing();
            if (tracing) host_.Trace(MacroFormat(kTraceExpression, lineNumber, Shown(text).c_str()));
            auto value = evaluator_.Evaluate(text);
            if (tracing && value) {
                bool secret = text.find("$password") != std::string::npos;
                host_.Trace(MacroFormat(kTraceExpressionValue, secret ? "****" : Shown(*value).c_str()));
            }
            return value;
        };
        MacroTokens line = TokenizeMacroLine(lines_[index_], evaluate);
        if (!line.error.empty()) Fail(line.error);
        const auto& tokens = line.tokens;
        const auto& table = Statements();
        for (size_t k = 0; k < tokens.size(); ++k) {
            const std::string& word = tokens[k];
            auto it = table.find(ToLower(word));
            if (it != table.end()) {
                keyword_ = it->first;
                if (host_.Tracing())
                    host_.Trace(MacroFormat(kTraceLine, lineNumber, keyword_.c_str()));
                if (keyword_ == "=") {
                    // The assignment sees the variable before `=` and the value after it.
                    bool named = k > 0 && (tokens[k - 1][0] == '$' || tokens[k - 1][0] == '@');
                    Assign({named ? tokens[k - 1] : std::string(),
                            k + 1 < tokens.size() ? tokens[k + 1] : std::string()});
                } else {
                    (this->*it->second)(Tokens(tokens.begin() + static_cast<long>(k) + 1, tokens.end()));
                }
                break;
            }
            // A label, or the variable of an assignment: the statement follows.
            if (word.back() == ':' || word[0] == '$' || word[0] == '@') continue;
            Fail(MacroFormat(kUnknownCommand, Shown(word).c_str()));
        }
    } catch (const Fault& fault) {
        lastError_ = MacroFormat(kErrorAtLine, fault.message.c_str(), lineNumber);
        host_.ShowError(lastError_);
        end_ = End::Error;
        ended_ = true;
    }
    return !ended_;
}

// ---- Values ----

MacroValue MacroInterpreter::ResolveOrFail(const std::string& token) {
    MacroValue value = evaluator_.Resolve(token);
    if (value.kind == ValueKind::NotFound) Fail(MacroFormat(kNotDefinedNamed, Shown(token.substr(1)).c_str()));
    return value;
}

std::string MacroInterpreter::Text(const std::string& token) {
    return Unquote(ResolveOrFail(token).text);
}

int32_t MacroInterpreter::Number(const std::string& token) {
    return MacroAtoi(ResolveOrFail(token).text);
}

std::string MacroInterpreter::VariableName(const std::string& reference) {
    auto name = evaluator_.ElementName(reference.substr(1));
    if (!name) Fail(kSyntax);
    return *name;
}

void MacroInterpreter::StoreString(const std::string& name, const std::string& value) {
    if (value.size() > MacroVariables::kMaxValue) Fail(MacroFormat(kValueTooLong, Shown(name).c_str()));
    if (!variables_.SetString(name, value)) Fail(MacroFormat(kNotDefinedNamed, Shown(name).c_str()));
}

void MacroInterpreter::StoreNumber(const std::string& name, int32_t value) {
    if (!variables_.SetNumber(name, value)) Fail(MacroFormat(kNotDefinedNamed, Shown(name).c_str()));
}

// ---- The line table ----

int MacroInterpreter::Search(bool forward, const char* keyword, const char* stop) const {
    const std::string want = keyword;
    // Only the searches for an if's partners look past nested ifs.
    const bool nested = forward && (want == "elseif" || want == "else" || want == "endif");
    int depth = 0;
    const int n = static_cast<int>(keywords_.size());
    for (int i = forward ? index_ + 1 : index_ - 1; i >= 0 && i < n; i += forward ? 1 : -1) {
        const std::string& k = keywords_[i];
        if (nested) {
            if (k == "if") {
                ++depth;
                continue;
            }
            if (depth > 0) {
                if (k == "endif") --depth;
                continue;
            }
        }
        if (k == want) return i;
        if (stop && k == stop) return -1;
    }
    return -1;
}

int MacroInterpreter::CountBetween(int from, int to, const char* keyword) const {
    int count = 0;
    for (int i = std::max(from, 0); i <= to && i < static_cast<int>(keywords_.size()); ++i)
        if (keywords_[i] == keyword) ++count;
    return count;
}

void MacroInterpreter::SetIfDepth(int depth) {
    if (depth < 0) depth = 0;
    if (depth > kMaxIfDepth) depth = kMaxIfDepth;
    for (int i = depth + 1; i <= kMaxIfDepth && i <= std::max(ifDepth_, depth); ++i)
        branchTaken_[i] = false;
    ifDepth_ = depth;
}

void MacroInterpreter::SkipToIfPartner() {
    int target = Search(true, "elseif", "endif");
    if (target < 0) target = Search(true, "else", "endif");
    if (target < 0) target = Search(true, "endif", nullptr);
    if (target < 0) Fail(kNoEndif);
    index_ = target - 1;  // the partner runs next
}

// ---- Declarations and assignment ----

void MacroInterpreter::Declare(const Tokens& args, bool number, bool local) {
    if (local && !variables_.InFunction()) Fail(number ? kLocalIntOutside : kLocalStringOutside);
    for (const auto& name : args) {
        if (EndsList(name)) break;
        std::vector<std::string> names;
        size_t open = FindByte(name, '[');
        if (open == std::string::npos) {
            names.push_back(name);
        } else {
            if (name.back() != ']' || name.size() < open + 2) Fail(kBadArrayDeclaration);
            auto size = evaluator_.Evaluate(std::string_view(name).substr(open + 1, name.size() - open - 2));
            if (!size) Fail(kNotArray);
            int32_t count = MacroAtoi(Unquote(*size));
            if (count < 0 || count > static_cast<int32_t>(MacroVariables::kSlots))
                Fail(MacroFormat(kBadArraySize, Shown(name).c_str()));
            for (int32_t i = 0; i < count; ++i)
                names.push_back(name.substr(0, open + 1) + std::to_string(i) + "]");
        }
        for (const auto& n : names) {
            if (n.size() > MacroVariables::kMaxName) Fail(MacroFormat(kNameTooLong, Shown(n).c_str()));
            auto result = number ? variables_.DefineNumber(n, local) : variables_.DefineString(n, local);
            if (result == MacroVariables::Define::Full) host_.ShowError(kTableFull);
            if (result != MacroVariables::Define::Ok) Fail(kAlreadyDefined);
        }
    }
}

void MacroInterpreter::Delete(const Tokens& args, bool number, bool local) {
    if (args.empty() || EndsList(args[0])) Fail(number && !local ? kSyntaxShort : kSyntax);
    for (const auto& name : args) {
        if (EndsList(name)) break;
        if (MacroVariables::IsReserved(name)) {
            host_.ShowError(MacroFormat(kReservedFree, ToLower(name).c_str()));
            continue;
        }
        bool freed = (!local || variables_.InFunction()) &&
                     (number ? variables_.DeleteNumber(name, local) : variables_.DeleteString(name, local));
        if (!freed) Fail(!local ? kNotDefined : number ? kLocalIntNotDefined : kLocalStringNotDefined);
    }
}

void MacroInterpreter::Assign(const Tokens& args) {
    const std::string& target = args[0];
    const std::string& value = args[1];
    if (target.empty() || value.empty()) Fail(kAssignMismatch);
    if (target[0] == '$')
        StoreString(VariableName(target), Text(value));
    else if (target[0] == '@')
        StoreNumber(VariableName(target), Number(value));
    else
        Fail(kUnknownSigil);
}

// ---- Control flow ----

void MacroInterpreter::If(const Tokens& args) {
    if (ifDepth_ >= kMaxIfDepth) Fail(kIfTooDeep);
    if (args.empty()) Fail(kSyntax);
    SetIfDepth(ifDepth_ + 1);
    branchTaken_[ifDepth_] = false;
    if (Number(args[0]) != 0)
        branchTaken_[ifDepth_] = true;
    else
        SkipToIfPartner();
}

void MacroInterpreter::ElseIf(const Tokens& args) {
    if (branchTaken_[ifDepth_]) {
        int target = Search(true, "endif", nullptr);
        if (target < 0) Fail(kNoEndif);
        index_ = target - 1;
        return;
    }
    if (args.empty()) Fail(kSyntax);
    if (Number(args[0]) != 0)
        branchTaken_[ifDepth_] = true;
    else
        SkipToIfPartner();
}

void MacroInterpreter::Else(const Tokens&) {
    if (!branchTaken_[ifDepth_]) return;
    int target = Search(true, "endif", nullptr);
    if (target < 0) Fail(kNoEndif);
    index_ = target - 1;
}

void MacroInterpreter::EndIf(const Tokens&) {
    branchTaken_[ifDepth_] = false;
    if (ifDepth_ > 0) --ifDepth_;
}

void MacroInterpreter::While(const Tokens& args) {
    if (args.empty()) Fail(kSyntax);
    if (Number(args[0]) != 0) {
        inLoop_ = true;
        return;
    }
    int target = Search(true, "endwhile", nullptr);
    if (target < 0) Fail(kNoEndwhile);
    inLoop_ = false;
    index_ = target;
}

void MacroInterpreter::EndWhile(const Tokens&) {
    if (!inLoop_) return;
    int target = Search(false, "while", nullptr);
    if (target < 0) Fail(kNoWhile);
    index_ = target - 1;
}

void MacroInterpreter::Break(const Tokens&) {
    int target = Search(true, "endwhile", nullptr);
    if (target < 0) Fail(kNoBreakTarget);
    index_ = target;
}

void MacroInterpreter::Continue(const Tokens&) {
    if (!inLoop_) return;
    int target = Search(false, "while", nullptr);
    if (target < 0) Fail(kNoWhile);
    int ifs = CountBetween(target + 1, index_ - 1, "if");
    int endifs = CountBetween(target + 1, index_ - 1, "endif");
    SetIfDepth(ifDepth_ - ifs + endifs);
    index_ = target - 1;
}

void MacroInterpreter::Goto(const Tokens& args) {
    if (args.empty()) Fail(kSyntax);
    const std::string label = Text(args[0]) + ":";
    const std::string want = ToLower(label);
    int target = -1;
    for (int i = index_ + 1; i < static_cast<int>(keywords_.size()) && target < 0; ++i)
        if (keywords_[i] == want) target = i;
    for (int i = index_ - 1; i >= 0 && target < 0; --i)
        if (keywords_[i] == want) target = i;
    if (target < 0) Fail(MacroFormat(kNoLabel, Shown(label).c_str()));
    // The ifs and loops of the lines jumped over.
    if (target > index_) {
        SetIfDepth(ifDepth_ - CountBetween(index_ + 1, target - 1, "endif") +
                   CountBetween(index_ + 1, target - 1, "if"));
        if (CountBetween(index_ + 1, target - 1, "endwhile") > 0) inLoop_ = false;
    } else {
        SetIfDepth(ifDepth_ + CountBetween(target + 1, index_ - 1, "endif") -
                   CountBetween(target + 1, index_ - 1, "if"));
        if (CountBetween(target + 1, index_ - 1, "while") > 0) inLoop_ = false;
    }
    // Jumping out of a function body leaves that call behind.
    while (!calls_.empty()) {
        int func = calls_.back().funcLine;
        int end = func;
        while (end < static_cast<int>(keywords_.size()) && keywords_[end] != "endfunc") ++end;
        if (target > func && target < end) break;
        calls_.pop_back();
        variables_.PopFrame();
    }
    index_ = target;
}

void MacroInterpreter::Call(const Tokens& args) {
    if (args.empty() || EndsList(args[0])) Fail(kNoFunctionName);
    const std::string name = Text(args[0]);
    auto isFunc = [&](int i) {
        return keywords_[i] == "func" && EqualsIgnoringCase(LineSecondWord(lines_[i]), name);
    };
    int target = -1;
    for (int i = index_ - 1; i >= 0 && target < 0; --i)
        if (isFunc(i)) target = i;
    for (int i = index_ + 1; i < static_cast<int>(lines_.size()) && target < 0; ++i)
        if (isFunc(i)) target = i;
    if (target < 0) {
        variables_.SetResult(0);
        Fail(MacroFormat(kNoFunction, Shown(name).c_str()));
    }
    if (args.size() - 1 > kMaxArguments) Fail(kTooManyArguments);
    if (calls_.size() >= static_cast<size_t>(kMaxCallDepth)) Fail(kCallTooDeep);
    arguments_.clear();
    for (size_t i = 1; i < args.size() && !EndsList(args[i]); ++i)
        arguments_.push_back(Text(args[i]));
    calledName_ = name;
    callPending_ = true;
    calls_.push_back({index_, target});
    variables_.SetResult(1);
    index_ = target - 1;
}

void MacroInterpreter::Func(const Tokens& args) {
    if (callPending_ && !args.empty() && EqualsIgnoringCase(args[0], calledName_)) {
        callPending_ = false;
        variables_.PushFrame();
        for (size_t i = 1; i < args.size() && !EndsList(args[i]); ++i) {
            const std::string& parameter = args[i];
            if (parameter.size() < 2 || (parameter[0] != '$' && parameter[0] != '@'))
                Fail(kBadParameter);
            const std::string name = parameter.substr(1);
            const std::string argument = i - 1 < arguments_.size() ? arguments_[i - 1] : "";
            bool number = parameter[0] == '@';
            if (name.size() > MacroVariables::kMaxName) Fail(MacroFormat(kNameTooLong, Shown(name).c_str()));
            auto defined = number ? variables_.DefineNumber(name, true) : variables_.DefineString(name, true);
            if (defined != MacroVariables::Define::Ok) Fail(kAlreadyDefined);
            if (number)
                StoreNumber(name, MacroAtoi(argument));
            else
                StoreString(name, argument);
        }
        return;
    }
    // Run into from above: the body is skipped.
    int target = Search(true, "endfunc", nullptr);
    if (target < 0) Fail(kNoEndfunc);
    index_ = target;
}

void MacroInterpreter::LeaveFunction() {
    index_ = calls_.back().returnLine;
    calls_.pop_back();
    variables_.PopFrame();
}

void MacroInterpreter::EndFunc(const Tokens&) {
    if (calls_.empty()) Fail(kMismatch);
    LeaveFunction();
}

void MacroInterpreter::Return(const Tokens& args) {
    if (calls_.empty()) Fail(kMismatch);
    int32_t value = args.empty() || EndsList(args[0]) ? 0 : Number(args[0]);
    LeaveFunction();
    variables_.SetResult(value);
}

void MacroInterpreter::Exit(const Tokens&) {
    end_ = End::Exit;
    ended_ = true;
}

void MacroInterpreter::Close(const Tokens&) {
    end_ = End::Close;
    ended_ = true;
}

void MacroInterpreter::Start(const Tokens& args) {
    if (args.empty() || EndsList(args[0])) Fail(kSyntax);
    std::string path = Text(args[0]);
    variables_.SetResult(1);
    host_.StartMacro(path);
    end_ = End::Start;
    ended_ = true;
}

// ---- Line, time and conversions ----

void MacroInterpreter::Send(const Tokens& args) {
    if (args.empty() || EndsList(args[0])) Fail(kSyntax);
    // The line belongs to a running transfer: nothing may reach its stream.
    if (!host_.TransferRunning()) host_.Send(Text(args[0]));
    variables_.SetResult(0);
}

void MacroInterpreter::Wait(const Tokens& args) {
    std::vector<std::string> texts;
    long seconds = kDefaultWaitSeconds;
    for (const auto& token : args) {
        if (EndsList(token)) break;
        if (token[0] == '/') {
            if (token.size() > 1 && std::toupper(static_cast<unsigned char>(token[1])) == 'T')
                seconds = Number(token.substr(2));
            continue;  // other options mean nothing here
        }
        MacroValue value = ResolveOrFail(token);
        if (value.text.empty() || value.text[0] != '"') continue;
        if (texts.size() >= kMaxWaitTexts) Fail(kTooManyWaitStrings);
        size_t end = value.text.size() > 1 && value.text.back() == '"' ? value.text.size() - 1
                                                                       : value.text.size();
        texts.push_back(value.text.substr(1, end - 1));
    }
    if (texts.empty()) return;
    variables_.SetResult(host_.Wait(texts, seconds * 1000L));
}

void MacroInterpreter::Sleep(const Tokens& args) {
    if (args.empty() || EndsList(args[0])) Fail(kSyntax);
    host_.Pause(Number(args[0]) * 1000L, false);
    variables_.SetResult(1);
}

void MacroInterpreter::Stop(const Tokens& args) {
    if (args.empty() || EndsList(args[0])) Fail(kSyntax);
    host_.Pause(Number(args[0]) * 1000L, true);
    variables_.SetResult(1);
}

void MacroInterpreter::ChangeStoI(const Tokens& args) {
    if (args.size() < 2 || args[0][0] != '$' || args[1][0] != '@') Fail(kSyntax);
    auto text = variables_.GetString(VariableName(args[0]));
    if (!text) Fail(kVariableMissing);
    if (!variables_.SetNumber(VariableName(args[1]), MacroAtoi(*text))) Fail(kVariableMissing);
    variables_.SetResult(1);
}

void MacroInterpreter::ChangeItoS(const Tokens& args) {
    if (args.size() < 2 || args[0][0] != '@' || args[1][0] != '$') Fail(kSyntax);
    auto number = variables_.GetNumber(VariableName(args[0]));
    if (!number) Fail(kVariableMissing);
    if (!variables_.SetString(VariableName(args[1]), std::to_string(*number))) Fail(kVariableMissing);
    variables_.SetResult(1);
}


}  // namespace marlo

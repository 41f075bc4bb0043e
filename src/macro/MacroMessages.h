// The macro language's own texts: what the user reads when a macro fails, in the status bar and in
// the trace. Kept together so they can be found and checked in one place.
#pragma once

namespace marlo::macro_text {

// Loading and running.
inline constexpr const char* kOpenFailed = "マクロファイルのオープンに失敗しました.";
inline constexpr const char* kAlreadyRunning = "ﾏｸﾛは実行中です";
inline constexpr const char* kRunning = "ﾏｸﾛを実行しています...";
inline constexpr const char* kRunningLine = "ﾏｸﾛを実行しています(%d行目)...";
inline constexpr const char* kErrorAtLine = "%s [%d行目]";
inline constexpr const char* kUnknownCommand = "認識できないコマンド(%s)です。";
inline constexpr const char* kSyntax = "構文エラーが発生しました。";
inline constexpr const char* kSyntaxShort = "構文エラー";
inline constexpr const char* kTraceLine = "[line:%d]%s\n";
inline constexpr const char* kTraceExpression = "[line:%d]式変換(%s)";
inline constexpr const char* kTraceExpressionValue = "\t → (%s)\n";
// Limits the old fixed-size tables had without a check; here they are reported.
inline constexpr const char* kLineTooLong = "行が長すぎます(255ﾊﾞｲﾄまで)。";
inline constexpr const char* kTooManyTokens = "1行の語が多すぎます(100個まで)。";
inline constexpr const char* kTokenTooLong = "語が長すぎます(99ﾊﾞｲﾄまで)。";
inline constexpr const char* kNameTooLong = "変数名が長すぎます(50ﾊﾞｲﾄまで)。(%s)";
inline constexpr const char* kValueTooLong = "文字列が長すぎます(100ﾊﾞｲﾄまで)。(%s)";
inline constexpr const char* kIfTooDeep = "if文の入れ子が深すぎます(1000段まで)。";
inline constexpr const char* kCallTooDeep = "関数の呼び出しが深すぎます(100段まで)。";
inline constexpr const char* kTooManyArguments = "関数の引数が多すぎます(50個まで)。";
inline constexpr const char* kTooManyWaitStrings = "待つ文字列が多すぎます(50個まで)。";
inline constexpr const char* kBadArraySize = "配列の大きさが正しくありません。(%s)";

// Variables.
inline constexpr const char* kLocalStringOutside = "ローカル文字列変数は関数内でのみ使用できます。";
inline constexpr const char* kLocalIntOutside = "ローカル数値変数は関数内でのみ使用できます。";
inline constexpr const char* kNotDefined = "変数は定義されていません。";
inline constexpr const char* kNotDefinedNamed = "変数は定義されていません。(%s)";
inline constexpr const char* kLocalStringNotDefined = "ローカル文字列変数は定義されていません。";
inline constexpr const char* kLocalIntNotDefined = "ローカル数値変数は定義されていません。";
inline constexpr const char* kBadArrayDeclaration = "配列の宣言定義が間違っています。";
inline constexpr const char* kNotArray = "配列ではありません";
inline constexpr const char* kAlreadyDefined =
    "変数はすでに定義されているか、変数の最大登録数を越えて定義しようとしています。";
inline constexpr const char* kTableFull = "これ以上変数を定義できません.";
inline constexpr const char* kReservedFree = "予約変数(%s)は開放できません。";
inline constexpr const char* kAssignMismatch = "変数の設定で矛盾を起こしています。";
inline constexpr const char* kUnknownSigil = "定義されていない変数識別子が指定されています。";
inline constexpr const char* kVariableMissing = "変数が見つかりません。";

// Boxes and the macro's own dialog.
inline constexpr const char* kInputWindow = "入力ｳｨﾝﾄﾞｳ";
inline constexpr const char* kPasswordWindow = "ﾊﾟｽﾜｰﾄﾞ入力ｳｨﾝﾄﾞｳ";
inline constexpr const char* kNoDialogYet = "まだcreatedialog文が呼ばれていません。";
inline constexpr const char* kNoSuchControl = "指定されたｺﾝﾄﾛｰﾙIDは存在しません。";
inline constexpr const char* kNoAddString = "addstringできないｺﾝﾄﾛｰﾙです。";
inline constexpr const char* kNoState = "指定されたｺﾝﾄﾛｰﾙの状態は取得できません。";
inline constexpr const char* kNoString = "指定されたｺﾝﾄﾛｰﾙの文字列は取得できません。";
inline constexpr const char* kDialogFailed = "ダイアログの作成に失敗しました。";

// Control flow.
inline constexpr const char* kNoEndif = "endif文が見つかりません。";
inline constexpr const char* kNoEndwhile = "endwhile文が見つかりません。";
inline constexpr const char* kNoWhile = "while文が見つかりません。";
inline constexpr const char* kNoBreakTarget = "ジャンプ先のendwhileが見つかりません。";
inline constexpr const char* kNoLabel = "goto文のｼﾞｬﾝﾌﾟ先(%s)が見つかりません。";
inline constexpr const char* kNoFunctionName = "関数名が指定されていません。";
inline constexpr const char* kNoFunction = "関数(%s)が見つかりません。";
inline constexpr const char* kBadParameter = "関数ﾊﾟﾗﾒｰﾀの記述に誤りがあります。";
inline constexpr const char* kNoEndfunc = "endfuncが見つかりません。";
inline constexpr const char* kMismatch = "矛盾が発生しました。";

// The line, transfers, the screen, the capture log and programs.
inline constexpr const char* kHostNotRegistered = "ホスト名は登録されていません。";
inline constexpr const char* kUndefinedHost = "未定義ホスト";
inline constexpr const char* kTraceTransferFile = "\tﾌﾟﾛﾄｺﾙ:%s,ﾌｧｲﾙ:%s\n";
inline constexpr const char* kSendTextTitle = "送信元ファイル設定";
inline constexpr const char* kSendTextFilter = "すべてのﾌｧｲﾙ (*.*)|*.*||";
inline constexpr const char* kSendingText = "ﾃｷｽﾄﾌｧｲﾙを送信しています...";
inline constexpr const char* kTraceSendText = "\t送信ﾌｧｲﾙ:%s\n";
inline constexpr const char* kFileOpenFailed = "ファイルのオープンに失敗しました.";

}  // namespace marlo::macro_text

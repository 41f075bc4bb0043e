// Text receive: the received text, as the terminal stores it (Shift-JIS, CR and LF as they come,
// backspaces taking back what they erase, no escape sequences), copied into a file the user
// chooses, new or appended to. The file is a capture file like the log's, opened the same way.
#pragma once

#include "terminal/CaptureLog.h"

namespace marlo {

class IPlatform;
struct Settings;

// Messages and labels (UTF-8).
inline constexpr const char* kTextReceiveOpenFailed = "ﾃｷｽﾄ受信ﾌｧｲﾙのｵｰﾌﾟﾝに失敗しました.";
inline constexpr CaptureDialogTexts kTextReceiveDialogTexts{
    "テキスト受信ファイル", "テキスト受信ファイルの選択",
    "ﾃｷｽﾄﾌｧｲﾙ (*.txt)|*.txt|すべてのﾌｧｲﾙ (*.*)|*.*||", "txt"};

// Opens `choice` as the text-receive file: a name without a folder goes into TxrecvDefPath;
// append keeps an existing file's text and writes after it (a missing file is created), new
// empties it. An open file is closed first. A failure is reported and leaves the file closed.
bool OpenTextReceive(CaptureLog& file, const LogChoice& choice, const Settings& s,
                     IPlatform& platform);

// The menu toggle: closes an open file, or asks for one through the dialog (offered the last
// choice) and opens it. Cancel leaves it closed without a word. True when a file is open
// afterwards.
bool ToggleTextReceive(CaptureLog& file, LogChoice& last, const Settings& s, IPlatform& platform,
                       const LogDialog& ask);

}  // namespace marlo

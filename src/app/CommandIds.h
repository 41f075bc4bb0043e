// Menu and tool-bar command ids. Macros, tool bars and accelerators name commands by these numbers.
#pragma once

namespace marlo {

enum CommandId : int {
    ID_UPLOAD = 302,              // "ｱｯﾌﾟﾛｰﾄﾞ(&U)..." Alt+U
    ID_DOWNLOAD = 308,            // "ﾀﾞｳﾝﾛｰﾄﾞ(&D)..."
    ID_INPUT_BAR = 315,           // "１行入力ﾓｰﾄﾞ(&1)..." Alt+1
    ID_ENV_SETTINGS = 320,        // "動作環境(&E)..."
    ID_COMM_SETTINGS = 327,       // "通信条件(&C)..."
    ID_EDITOR = 348,              // "ｴﾃﾞｨﾀ(&E)"
    ID_HISTORY = 359,             // "接続履歴(&H)..."
    ID_APP_EXIT = 363,            // "ﾏｰﾛの終了(&X)"
    ID_BREAK = 412,               // "ﾌﾞﾚｰｸ信号(&B)"
    ID_SPLIT = 429,               // "ｳｨﾝﾄﾞｳの分割(&S)" Alt+S
    ID_PHONE_CONNECT = 570,       // "電話接続(&T)..." Alt+T
    ID_HANGUP = 572,              // "回線切断(&D)..." Alt+D
    ID_HOST_WINDOW = 574,         // "ﾎｽﾄ選択(&S)..."
    ID_LOG_TOGGLE = 583,          // "ﾛｸﾞ開始／終了(&S)..."
    ID_TRACE_SETTINGS = 589,      // "ﾄﾚｰｽ設定(&T)..."
    ID_CLEAR_BUFFER = 1101,       // "ﾊﾞｯﾌｧｸﾘｱ(&B)"
    ID_CONTROL_CODE = 1102,       // "制御ｺｰﾄﾞ入力(&C)..."
    ID_EDIT_COPY_QUOTE = 1104,    // "引用付きｺﾋﾟｰ(&Q)"
    ID_LOG_BROWSER = 1105,        // "ﾛｸﾞ参照(&P)..."
    ID_MODEM_INIT = 1108,         // "ﾓﾃﾞﾑ初期化(&M)"
    ID_EDIT_SELECT_ALL = 1109,    // "すべてを選択(&A)" Alt+A
    ID_EDIT_COPY_FILE = 1110,     // "ﾌｧｲﾙにｺﾋﾟｰ(&F)..."
    ID_EDIT_SEARCH = 1111,        // "検索(&S)..." Alt+F
    ID_REPLAY = 1112,             // "ﾌｧｲﾙの読み込み(&L)..."
    ID_MACRO_RUN = 1114,          // "実行(&X)..." Alt+M
    ID_MACRO_STOP = 1115,         // "停止(&S)"
    ID_MACRO_EDIT = 1116,         // "編集(&E)..."
    ID_LOCAL_EDIT = 1120,         // the tool button "ﾛｰｶﾙ編集" (no menu item)
    ID_TEXT_SEND = 1122,          // "ﾃｷｽﾄ送信(&S)..."
    ID_TEXT_RECEIVE = 1141,       // "ﾃｷｽﾄ受信(&R)..."
    ID_TELNET_CONNECT = 10007,    // "Telnet接続(&I)..." Alt+I
    ID_PORT_TOGGLE = 10026,       // "COMﾎﾟｰﾄｵｰﾌﾟﾝ／ｸﾛｰｽﾞ(&P)"
    ID_EDIT_RANGE = 32819,        // "範囲指定(&R)" Alt+R
    ID_EDIT_SEARCH_UP = 32821,    // "上方検索(&U)" Alt+P
    ID_EDIT_SEARCH_DOWN = 32822,  // "下方検索(&D)" Alt+N
    ID_MACRO_PAUSE = 33002,       // "一時停止(&T)"
    ID_COMMAND_LINE = 33003,      // "ｺﾏﾝﾄﾞ実行(&C)..."
    ID_LZH_EXTRACT = 33004,       // ".LZH書庫ﾌｧｲﾙ解凍(&U)..."
    ID_APPLICATION = 33005,       // "ｱﾌﾟﾘｹｰｼｮﾝ(&A)..."
    ID_EDIT_COPY = 57634,         // "ｺﾋﾟｰ(&C)" Alt+C
    ID_EDIT_PASTE = 57637,        // "送信(&P)" Alt+V
    ID_HELP = 57666,              // "目次(&C)"
    // Commands of this program that no tool-bar button or macro names.
    ID_VIEW_TOOLBAR = 40010,      // "ﾂｰﾙﾊﾞｰ(&T)"
    ID_VIEW_STATUSBAR = 40011,    // "ｽﾃｰﾀｽﾊﾞｰ(&S)"
    ID_VIEW_FUNCTIONBAR = 40012,  // "ﾌｧﾝｸｼｮﾝﾊﾞｰ(&F)"
    ID_VIEW_TOOLBAR2 = 40013,     // "ﾂｰﾙﾊﾞｰ2(&2)"
    ID_VIEW_TOOLBAR3 = 40014,     // "ﾂｰﾙﾊﾞｰ3(&3)"
    ID_ABOUT = 40015,             // "ﾊﾞｰｼﾞｮﾝ情報(&A)..."
    ID_EDIT_SEND_NAME = 40022,    // "ﾌｧｲﾙ名を送信(&N)..."
    ID_KEY_SETTINGS = 40026,      // "ｷｰ(&K)..."
    ID_TERM_DUMB = 40027,         // "ﾀﾞﾑ端末"
    ID_TERM_VT100 = 40028,        // "VT100"
    ID_TERM_SETTINGS = 40029,     // "端末の設定..."
    ID_DISPLAY_SETTINGS = 40030,  // "表示(&D)...": the colours and font of the terminal
    ID_MACRO_DEBUGGER = 40031,    // "ﾃﾞﾊﾞｯｶﾞ(&D)...": the macro's lines as it runs
    ID_DTR_TOGGLE = 40060,        // "DTR(&R)": raise or drop DTR
    ID_RTS_TOGGLE = 40061,        // "RTS(&Q)": raise or drop RTS
    ID_DTR_PULSE = 40062,         // "DTRﾊﾟﾙｽ(&U)": DTR over for `DtrPulseTime` ms and back
    ID_VIEW_HEX = 40090,          // "16進表示(&H)": the received bytes as a hex dump
    ID_TERM_XTERM = 40080,        // "xterm": the terminal of Linux hosts
};

}  // namespace marlo

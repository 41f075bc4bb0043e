// Menu and tool-bar command ids. Macros, tool bars and accelerators name commands by these numbers.
#pragma once

namespace marlo {

enum CommandId : int {
    ID_INPUT_BAR = 315,         // "１行入力ﾓｰﾄﾞ(&1)..."
    ID_ENV_SETTINGS = 320,      // "動作環境(&E)..."
    ID_COMM_SETTINGS = 327,     // "通信条件(&C)..."
    ID_EDITOR = 348,            // "ｴﾃﾞｨﾀ(&E)"
    ID_HISTORY = 359,           // "接続履歴(&H)..."
    ID_APP_EXIT = 363,          // "ﾏｰﾛの終了(&X)"
    ID_BREAK = 412,             // "ﾌﾞﾚｰｸ信号(&B)"
    ID_PHONE_CONNECT = 570,     // "電話接続(&T)..."
    ID_HANGUP = 572,            // "回線切断(&D)..."
    ID_TRACE_SETTINGS = 589,    // "ﾄﾚｰｽ設定(&T)..."
    ID_CONTROL_CODE = 1102,     // "制御ｺｰﾄﾞ入力(&C)..."
    ID_LOG_BROWSER = 1105,      // "ﾛｸﾞ参照(&P)..."
    ID_MODEM_INIT = 1108,       // "ﾓﾃﾞﾑ初期化(&M)"
    ID_REPLAY = 1112,           // "ﾌｧｲﾙの読み込み(&L)..."
    ID_TEXT_SEND = 1122,        // "ﾃｷｽﾄ送信(&S)..."
    ID_TEXT_RECEIVE = 1141,     // "ﾃｷｽﾄ受信(&R)..."
    ID_TELNET_CONNECT = 10007,  // "Telnet接続(&I)..."
    ID_PORT_TOGGLE = 10026,     // "COMﾎﾟｰﾄｵｰﾌﾟﾝ／ｸﾛｰｽﾞ(&P)"
    ID_COMMAND_LINE = 33003,    // "ｺﾏﾝﾄﾞ実行(&C)..."
    ID_LZH_EXTRACT = 33004,     // ".LZH書庫ﾌｧｲﾙ解凍(&U)..."
    ID_APPLICATION = 33005,     // "ｱﾌﾟﾘｹｰｼｮﾝ(&A)..."
    // Commands whose ids the system leaves free.
    ID_UPLOAD = 40001,        // "ｱｯﾌﾟﾛｰﾄﾞ(&U)..."
    ID_DOWNLOAD = 40002,      // "ﾀﾞｳﾝﾛｰﾄﾞ(&D)..."
    ID_HOST_WINDOW = 40003,   // "ﾎｽﾄ選択(&S)..."
    ID_LOG_TOGGLE = 40004,    // "ﾛｸﾞ(&L)"
    ID_CLEAR_BUFFER = 40005,  // "ﾊﾞｯﾌｧｸﾘｱ"
    ID_MACRO_RUN = 40006,     // "実行(&X)..."
    ID_MACRO_STOP = 40007,    // "停止(&S)"
    ID_MACRO_PAUSE = 40008,   // "一時停止(&T)"
    ID_MACRO_EDIT = 40009,    // "編集(&E)..."
    ID_VIEW_TOOLBAR = 40010,
    ID_VIEW_STATUSBAR = 40011,
    ID_VIEW_FUNCTIONBAR = 40012,
    ID_SPLIT = 40013,
    ID_HELP = 40014,
    ID_ABOUT = 40015,
    // The terminal view's commands.
    ID_EDIT_COPY = 40016,         // "ｺﾋﾟｰ(&C)" Alt+C
    ID_EDIT_COPY_FILE = 40017,    // "ﾌｧｲﾙにｺﾋﾟｰ(&F)..."
    ID_EDIT_COPY_QUOTE = 40018,   // "引用付きｺﾋﾟｰ(&Q)"
    ID_EDIT_PASTE = 40019,        // "送信(&P)" Alt+V
    ID_EDIT_SELECT_ALL = 40020,   // "すべてを選択(&A)" Alt+A
    ID_EDIT_RANGE = 40021,        // "範囲指定(&R)" Alt+R
    ID_EDIT_SEND_NAME = 40022,    // "ﾌｧｲﾙ名を送信(&N)..."
    ID_EDIT_SEARCH = 40023,       // "検索(&S)..." Alt+F
    ID_EDIT_SEARCH_UP = 40024,    // "上方検索(&U)" Alt+P
    ID_EDIT_SEARCH_DOWN = 40025,  // "下方検索(&D)" Alt+N
    ID_KEY_SETTINGS = 40026,      // "ｷｰ(&K)..."
    ID_TERM_DUMB = 40027,         // "ﾀﾞﾑ端末"
    ID_TERM_VT100 = 40028,        // "VT100"
    ID_TERM_SETTINGS = 40029,     // "端末の設定..."
    ID_DISPLAY_SETTINGS = 40030,  // the colours and font of the terminal
};

}  // namespace marlo

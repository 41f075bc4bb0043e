// A text file typed into the line: the lines it is sent in. Tabs become blanks up to the next stop,
// a line longer than the maximum width is broken (never inside a double-byte character), and LF
// bytes are dropped or kept for the front of the next line.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace marlo {

struct TextSendOptions {
    int tabColumns = 8;   // TxSendTabNum
    int maxColumns = 78;  // TxSendMaxCol
    bool dropLf = true;   // TxSendCRLF
};

// Each line ends with CR, except a last one that the file did not end; Shift-JIS in and out.
std::vector<std::string> TextSendLines(std::string_view file, const TextSendOptions& options);

}  // namespace marlo

// The texts and figures of the transfer status window (UTF-8), shared by every engine and by
// marlo-cli's progress line.
#pragma once

#include <string>

namespace marlo {

// "%02ld:%02ld:%02ld"
std::string FormatElapsed(long seconds);
// "%ld時間 %ld分 %ld秒", "%ld分 %ld秒" or "%ld秒"
std::string FormatRemaining(long seconds);
// "%ld CPS"
std::string FormatCps(long cps);
// "%ld ﾊﾞｲﾄ" (file size and, in XMODEM, data); `tight` gives "%ldﾊﾞｲﾄ" (YMODEM data).
std::string FormatBytes(long bytes, bool tight = false);
// "%d％"
std::string FormatPercent(int percent);
// "アップロード中(%d%%)" or "ダウンロード中(%d%%)"
std::string FormatTitlePercent(bool upload, int percent);
// "転送中" texts
extern const char* const kTextUploading;    // "アップロード中"
extern const char* const kTextDownloading;  // "ダウンロード中"
extern const char* const kTextAborting;     // "アボート中"

// The figures shown after a block. A figure that cannot be computed is -1.
struct ProgressFigures {
    int percent = -1;     // needs a known size
    long cps = -1;        // needs elapsed seconds
    long remaining = -1;  // needs a speed above 0 and a known size
};
ProgressFigures ComputeProgress(long bytes, long size, long elapsedSeconds);

}  // namespace marlo

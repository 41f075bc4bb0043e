#include "transfer/ProgressText.h"

#include <cstdio>

namespace marlo {

const char* const kTextUploading = "アップロード中";
const char* const kTextDownloading = "ダウンロード中";
const char* const kTextAborting = "アボート中";

namespace {

std::string Printf(const char* format, long a) {
    char text[96];
    std::snprintf(text, sizeof text, format, a);
    return text;
}

}  // namespace

std::string FormatElapsed(long seconds) {
    if (seconds < 0) seconds = 0;
    char text[64];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld", seconds / 3600, seconds / 60 % 60,
                  seconds % 60);
    return text;
}

std::string FormatRemaining(long seconds) {
    if (seconds < 0) seconds = 0;
    long h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
    char text[96];
    if (h > 0)
        std::snprintf(text, sizeof text, "%ld時間 %ld分 %ld秒", h, m, s);
    else if (m > 0)
        std::snprintf(text, sizeof text, "%ld分 %ld秒", m, s);
    else
        std::snprintf(text, sizeof text, "%ld秒", s);
    return text;
}

std::string FormatCps(long cps) {
    return Printf("%ld CPS", cps);
}

std::string FormatBytes(long bytes, bool tight) {
    return Printf(tight ? "%ldﾊﾞｲﾄ" : "%ld ﾊﾞｲﾄ", bytes);
}

std::string FormatPercent(int percent) {
    return Printf("%ld％", percent);
}

std::string FormatTitlePercent(bool upload, int percent) {
    return Printf(upload ? "アップロード中(%ld%%)" : "ダウンロード中(%ld%%)", percent);
}

ProgressFigures ComputeProgress(long bytes, long size, long elapsedSeconds) {
    ProgressFigures f;
    if (size > 0) {
        long long p = static_cast<long long>(bytes) * 100 / size;
        f.percent = static_cast<int>(p < 0 ? 0 : p > 100 ? 100 : p);
    }
    if (elapsedSeconds > 0) {
        f.cps = bytes / elapsedSeconds;
        if (f.cps > 0 && size > 0) f.remaining = (size > bytes ? size - bytes : 0) / f.cps;
    }
    return f;
}

}  // namespace marlo

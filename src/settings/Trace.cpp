#include "settings/Trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace marlo {

namespace {
std::atomic<bool> gTraceMode{false};
std::atomic<int> gTraceMask{0};
std::mutex gTraceMutex;  // guards the path and serialises appends from several threads
std::string gTraceFile;
}  // namespace

void SetTraceMode(bool on) {
    gTraceMode = on;
}
bool TraceMode() {
    return gTraceMode;
}
void SetTraceMask(int mask) {
    gTraceMask = mask;
}
int TraceMask() {
    return gTraceMask;
}

void SetTraceFile(const std::string& path) {
    std::lock_guard lock(gTraceMutex);
    gTraceFile = path;
}

std::string TraceFile() {
    std::lock_guard lock(gTraceMutex);
    return gTraceFile;
}

void TraceText(int category, const std::string& text) {
    if (!gTraceMode || (gTraceMask & category) == 0) return;
    std::lock_guard lock(gTraceMutex);
    int fd = ::open(gTraceFile.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) return;
    size_t n = std::min<size_t>(text.size(), 1000);
    ssize_t w = ::write(fd, text.data(), n);
    (void)w;
    ::close(fd);
}

void Trace(int category, const char* format, ...) {
    if (!gTraceMode || (gTraceMask & category) == 0) return;
    char buf[1001];
    va_list ap;
    va_start(ap, format);
    int n = std::vsnprintf(buf, sizeof buf, format, ap);
    va_end(ap);
    if (n < 0) return;
    TraceText(category, std::string(buf, std::min<size_t>(static_cast<size_t>(n), 1000)));
}

TraceSink TraceFileSink() {
    return [](int category, const std::string& text) { TraceText(category, text); };
}

}  // namespace marlo

// The trace facility: with trace mode on (/t), texts whose category shares a bit with the trace
// mask are appended to the trace file, which is opened and closed for each text.
#pragma once

#include <functional>
#include <string>

namespace marlo {

enum TraceCategory : int { kTraceMain = 1, kTraceMacro = 2, kTraceTransfer = 4 };

// The process-wide trace state; safe to change and read from any thread.
void SetTraceMode(bool on);
bool TraceMode();
void SetTraceMask(int mask);
int TraceMask();
void SetTraceFile(const std::string& path);
std::string TraceFile();

// printf-style; the formatted text is cut at 1000 bytes. Failure to write is silent.
void Trace(int category, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The same for a text already formatted.
void TraceText(int category, const std::string& text);

// Where a part of the program sends its trace texts. The parts hold one given by their owner (the
// session gives every line, the dialler and the connection the same one); an empty sink traces
// nothing.
using TraceSink = std::function<void(int category, const std::string& text)>;
// The sink that writes to the trace file above.
TraceSink TraceFileSink();

}  // namespace marlo

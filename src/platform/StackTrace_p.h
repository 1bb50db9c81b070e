// StackTrace_p.h: the fallback trace from execinfo backtrace() and dladdr, visible to its test.
#pragma once
#include <QString>

namespace Platform {

// Same text form as StackTraceText; names only for exported symbols, no source lines.
QString ExecinfoStackTraceText(int SkipFrames = 0);

}  // namespace Platform

// StackTrace.h: the call stack of the current thread as text, one frame per line, innermost first,
// with demangled function names and source file:line where debug information allows (GCC's
// libbacktrace), falling back to the symbol tables (execinfo backtrace() and dladdr).
// Any thread. The signal-safe variant allocates nothing from the heap and takes no lock: use it in
// a fatal-signal handler, after InitializeStackTrace has run once outside the handler.
#pragma once
#include <QString>
#include <cstddef>

namespace Platform {

// Creates the stack-trace state (cheap). The debug information of the executable and its libraries
// is read at the first trace, which costs about 0.2 s in a Qt program; with LoadDebugInformation
// that happens now instead. A signal-safe trace reads it itself when nobody did before (libbacktrace
// maps its memory and takes no lock). Any thread, any number of times.
void InitializeStackTrace(bool LoadDebugInformation = false);

// The trace as text. SkipFrames drops that many frames from the innermost end: 0 starts with the
// function that called StackTraceText. Each line reads
//   "#<n> 0x<address> <module>: <function> + 0x<offset> (<file>:<line>)"
// where module, offset and file:line appear only when known. Lines end with "\n" except the last.
QString StackTraceText(int SkipFrames = 0);

// Async-signal-safe: writes the trace (same form, no demangling, no module names) into Buffer,
// always NUL-terminated, cut at Size - 1 bytes; returns the number of bytes written without the NUL.
// With StartAddress (the interrupted instruction of a signal), the frames of the signal handler up
// to that instruction's frame are dropped as well, however deep the handler was.
std::size_t StackTraceSignalSafe(char* Buffer, std::size_t Size, int SkipFrames = 0,
                                 const void* StartAddress = nullptr);

}  // namespace Platform

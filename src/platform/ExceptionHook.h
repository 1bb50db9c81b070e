// ExceptionHook.h: first-chance reports of every C++ exception and of fatal signals.
// Thrown exceptions: this module defines __cxa_throw in our binaries and forwards to the C++
// runtime's own (found with dlsym(RTLD_NEXT)); before forwarding it calls the installed throw
// callback on the throwing thread. An exception thrown inside the callback on the same thread is not
// reported again, and one that escapes the callback is swallowed. A rethrow ("throw;",
// std::rethrow_exception) raises no new exception and is not reported.
// Fatal signals (SIGSEGV, SIGBUS, SIGFPE, SIGILL): a sigaction handler running on an alternate
// signal stack calls the fatal-signal callback, then restores the default action and re-raises, so
// the process still dies of the signal (exit status, core dump). The alternate stack belongs to the
// thread that called InitializeExceptionHook; other threads run the handler on their own stack.
// The fatal-signal callback runs inside a signal handler: it must be async-signal-safe (no malloc,
// no locks, no Qt, no iostreams; write(2) on a prepared descriptor and StackTraceSignalSafe are fine).
#pragma once
#include <cstdint>
#include <typeinfo>

namespace Platform {

struct TThrowEvent {
    const std::type_info* Type = nullptr;  // the dynamic type of the thrown object
    void* Object = nullptr;                // the thrown object itself
    void* ThrowAddress = nullptr;          // the return address of the throw in the throwing code
};

struct TFatalSignalEvent {
    int Signal = 0;
    void* FaultAddress = nullptr;        // si_addr: the faulting memory reference or instruction
    void* InstructionAddress = nullptr;  // the interrupted instruction (program counter)
};

// Plain function pointers so that installing and calling need no lock.
using TThrowCallback = void (*)(const TThrowEvent& Event);
using TFatalSignalCallback = void (*)(const TFatalSignalEvent& Event);

// Installs both callbacks (either may be null) and the fatal-signal handlers; calling it again
// replaces the callbacks. Prepares the stack-trace facility for use in the signal handler
// (InitializeStackTrace without loading debug information: start-up stays fast).
void InitializeExceptionHook(TThrowCallback OnThrow, TFatalSignalCallback OnFatalSignal);
// Removes the callbacks and restores the signal actions found at initialisation. A callback that
// is running on another thread at that moment still finishes.
void FinalizeExceptionHook();

// The thrown object seen as Target (a public, unambiguous base or the type itself), the way a
// catch clause would see it; null when a catch (Target&) would not match. Lets code above the
// platform layer recognise its own exception classes without this layer knowing them.
void* ThrownObjectAs(const TThrowEvent& Event, const std::type_info& Target);

// The name of a signal as the C headers spell it ("SIGSEGV"); "SIG?" when unknown. Signal-safe.
const char* SignalName(int Signal);

// Writes one line "Fatal signal <n> (<name>) at address 0x<hex>\n" and the signal-safe stack trace
// from the interrupted instruction outwards to the descriptor Fd. Async-signal-safe: usable inside
// a fatal-signal callback.
void WriteFatalSignalReport(int Fd, const TFatalSignalEvent& Event);

}  // namespace Platform

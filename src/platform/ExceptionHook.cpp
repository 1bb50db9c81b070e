#include "platform/ExceptionHook.h"
#include "platform/StackTrace.h"

#include <dlfcn.h>
#include <signal.h>
#include <ucontext.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

// The compiler declares __cxa_throw itself with the type_info as void*; keep to that signature.
using TRealThrow = void (*)(void*, void*, void (*)(void*));

std::atomic<TRealThrow> GRealThrow{nullptr};
std::atomic<Platform::TThrowCallback> GThrowCallback{nullptr};
// Set while the throw callback runs on this thread: its own exceptions are not reported again.
thread_local bool tInsideThrowCallback = false;

TRealThrow RealThrow() {
    TRealThrow real = GRealThrow.load(std::memory_order_acquire);
    if (!real) {
        // The C++ runtime's own __cxa_throw comes after our binary in the lookup order.
        real = reinterpret_cast<TRealThrow>(::dlsym(RTLD_NEXT, "__cxa_throw"));
        if (!real) {
            // Nothing can be thrown without it; say so instead of crashing somewhere later.
            static const char message[] = "fatal: the C++ runtime's __cxa_throw was not found\n";
            [[maybe_unused]] ssize_t ignored = ::write(STDERR_FILENO, message, sizeof message - 1);
            std::abort();
        }
        GRealThrow.store(real, std::memory_order_release);
    }
    return real;
}

}  // namespace

// Every throw expression of our binaries (and of the libraries that resolve __cxa_throw through
// the executable) lands here first: a first-chance notification, then the real throw.
extern "C" __attribute__((noreturn, noinline)) void __cxa_throw(void* Object, void* Type,
                                                                void (*Destructor)(void*)) {
    void* throwAddress = __builtin_return_address(0);
    TRealThrow real = RealThrow();
    Platform::TThrowCallback callback = GThrowCallback.load(std::memory_order_acquire);
    if (callback && !tInsideThrowCallback) {
        tInsideThrowCallback = true;
        try {
            callback(Platform::TThrowEvent{static_cast<const std::type_info*>(Type), Object, throwAddress});
        } catch (...) {
            // A report must never replace the exception being thrown.
        }
        tInsideThrowCallback = false;
    }
    real(Object, Type, Destructor);
    __builtin_unreachable();
}

namespace Platform {

namespace {

constexpr int FatalSignals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL};
constexpr int FatalSignalCount = sizeof FatalSignals / sizeof FatalSignals[0];

std::atomic<TFatalSignalCallback> GFatalCallback{nullptr};
// Set by the first thread that enters the fatal-signal handler.
std::atomic<bool> GInsideFatalHandler{false};

std::mutex GInstallLock;  // protects the fields below (install and uninstall only)
bool GInstalled = false;
struct sigaction GPreviousActions[FatalSignalCount];
stack_t GPreviousStack{};
// A stack overflow leaves no room for the handler: it runs on this one instead. libbacktrace needs
// a good deal of it to read unwind and line tables.
alignas(64) char GAltStack[256 * 1024];

void* InstructionAddressOf(void* Context) {
    if (!Context)
        return nullptr;
    const auto* context = static_cast<const ucontext_t*>(Context);
#if defined(__x86_64__)
    return reinterpret_cast<void*>(context->uc_mcontext.gregs[REG_RIP]);
#elif defined(__aarch64__)
    return reinterpret_cast<void*>(context->uc_mcontext.pc);
#else
    (void)context;
    return nullptr;
#endif
}

void FatalSignalHandler(int Signal, siginfo_t* Info, void* Context) {
    const int savedErrno = errno;
    if (!GInsideFatalHandler.exchange(true)) {
        if (TFatalSignalCallback callback = GFatalCallback.load())
            callback(TFatalSignalEvent{Signal, Info ? Info->si_addr : nullptr, InstructionAddressOf(Context)});
    } else {
        // Another thread is reporting its own fault; let it finish before this one ends the
        // process, but never wait for good (its re-raise ends us too).
        timespec pause{0, 10'000'000};
        for (int i = 0; i < 500; ++i)
            ::nanosleep(&pause, nullptr);
    }
    struct sigaction standard {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    ::sigaction(Signal, &standard, nullptr);
    // Pending until the handler returns (the signal is blocked while it runs): then the default
    // action ends the process with this signal, also when it was sent rather than caused.
    ::raise(Signal);
    errno = savedErrno;
}

// Signal-safe text output.
void WriteText(int Fd, const char* Text, std::size_t Length) {
    while (Length > 0) {
        const ssize_t written = ::write(Fd, Text, Length);
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return;
        }
        Text += written;
        Length -= static_cast<std::size_t>(written);
    }
}

void WriteText(int Fd, const char* Text) {
    WriteText(Fd, Text, std::strlen(Text));
}

void WriteNumber(int Fd, unsigned long long Value, unsigned Base, int MinDigits) {
    char text[32];
    int pos = sizeof text;
    int digits = 0;
    do {
        text[--pos] = "0123456789abcdef"[Value % Base];
        Value /= Base;
        ++digits;
    } while ((Value != 0 || digits < MinDigits) && pos > 0);
    WriteText(Fd, text + pos, sizeof text - static_cast<std::size_t>(pos));
}

}  // namespace

void InitializeExceptionHook(TThrowCallback OnThrow, TFatalSignalCallback OnFatalSignal) {
    // Resolve now, not during the first throw. The stack-trace state must exist before a signal;
    // its debug information is read when first needed, so that start-up does not pay for it.
    RealThrow();
    InitializeStackTrace(false);
    GThrowCallback.store(OnThrow, std::memory_order_release);
    GFatalCallback.store(OnFatalSignal, std::memory_order_release);

    std::lock_guard<std::mutex> guard(GInstallLock);
    if (GInstalled)
        return;
    stack_t alternate{};
    alternate.ss_sp = GAltStack;
    alternate.ss_size = sizeof GAltStack;
    alternate.ss_flags = 0;
    ::sigaltstack(&alternate, &GPreviousStack);

    struct sigaction action {};
    action.sa_sigaction = FatalSignalHandler;
    action.sa_flags = SA_SIGINFO | SA_ONSTACK;
    // A second fault while the handler runs ends the process at once instead of nesting.
    sigemptyset(&action.sa_mask);
    for (int signal : FatalSignals)
        sigaddset(&action.sa_mask, signal);
    for (int i = 0; i < FatalSignalCount; ++i)
        ::sigaction(FatalSignals[i], &action, &GPreviousActions[i]);
    GInsideFatalHandler.store(false);
    GInstalled = true;
}

void FinalizeExceptionHook() {
    GThrowCallback.store(nullptr, std::memory_order_release);
    GFatalCallback.store(nullptr, std::memory_order_release);
    std::lock_guard<std::mutex> guard(GInstallLock);
    if (!GInstalled)
        return;
    for (int i = 0; i < FatalSignalCount; ++i)
        ::sigaction(FatalSignals[i], &GPreviousActions[i], nullptr);
    stack_t current{};
    if (::sigaltstack(nullptr, &current) == 0 && current.ss_sp == GAltStack) {
        if (GPreviousStack.ss_flags & SS_DISABLE) {
            stack_t disable{};
            disable.ss_flags = SS_DISABLE;
            ::sigaltstack(&disable, nullptr);
        } else {
            ::sigaltstack(&GPreviousStack, nullptr);
        }
    }
    GInstalled = false;
}

void* ThrownObjectAs(const TThrowEvent& Event, const std::type_info& Target) {
    if (!Event.Type || !Event.Object)
        return nullptr;
    void* object = Event.Object;
    // As the C++ runtime's catch matching does: a thrown pointer is matched by its value.
    if (Event.Type->__is_pointer_p())
        object = *static_cast<void**>(object);
    // __do_catch adjusts object to the Target subobject when a handler for Target would match.
    if (Target.__do_catch(Event.Type, &object, 1))
        return object;
    return nullptr;
}

const char* SignalName(int Signal) {
    switch (Signal) {
    case SIGSEGV: return "SIGSEGV";
    case SIGBUS: return "SIGBUS";
    case SIGFPE: return "SIGFPE";
    case SIGILL: return "SIGILL";
    case SIGABRT: return "SIGABRT";
    case SIGTERM: return "SIGTERM";
    case SIGINT: return "SIGINT";
    case SIGKILL: return "SIGKILL";
    case SIGPIPE: return "SIGPIPE";
    case SIGTRAP: return "SIGTRAP";
    default: return "SIG?";
    }
}

void WriteFatalSignalReport(int Fd, const TFatalSignalEvent& Event) {
    WriteText(Fd, "Fatal signal ");
    WriteNumber(Fd, static_cast<unsigned long long>(Event.Signal), 10, 1);
    WriteText(Fd, " (");
    WriteText(Fd, SignalName(Event.Signal));
    WriteText(Fd, ") at address 0x");
    WriteNumber(Fd, reinterpret_cast<uintptr_t>(Event.FaultAddress), 16, 16);
    WriteText(Fd, "\n");
    char trace[16384];
    const std::size_t length = StackTraceSignalSafe(trace, sizeof trace, 0, Event.InstructionAddress);
    WriteText(Fd, trace, length);
    WriteText(Fd, "\n");
}

}  // namespace Platform

// Installs the exception hook with a callback that reports to standard error, then dies of the
// fault named by its argument: segv, stackoverflow, fpe, ill, bus, or "none" to exit normally.
#include "platform/ExceptionHook.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace {

void ReportToStandardError(const Platform::TFatalSignalEvent& Event) {
    Platform::WriteFatalSignalReport(STDERR_FILENO, Event);
}

__attribute__((noinline)) void CrashBySegv() {
    // Through a volatile pointer: a literal null store is undefined and may be optimised away.
    volatile int* volatile target = nullptr;
    *target = 1;
}

__attribute__((noinline)) int CrashByStackOverflow(int Depth) {
    volatile char pad[4096];
    pad[0] = static_cast<char>(Depth);
    if (Depth < 0)  // never: keeps the compiler from calling the recursion endless
        return 0;
    return CrashByStackOverflow(Depth + 1) + pad[0];
}

__attribute__((noinline)) int CrashByDivision(int Divisor) {
    volatile int divisor = Divisor;
    return 42 / divisor;
}

__attribute__((noinline)) void CrashByIllegalInstruction() {
    __builtin_trap();
}

// A page of a file mapped beyond the file's end: touching it is a real SIGBUS.
__attribute__((noinline)) void CrashByBusError(const char* Folder) {
    char path[4096];
    std::snprintf(path, sizeof path, "%s/bus-XXXXXX", Folder);
    const int fd = ::mkstemp(path);
    if (fd < 0)
        return;
    ::unlink(path);
    auto* page = static_cast<volatile char*>(::mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    if (page == MAP_FAILED)
        return;
    page[0] = 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    Platform::InitializeExceptionHook(nullptr, ReportToStandardError);
    const char* fault = argv[1];
    if (std::strcmp(fault, "segv") == 0)
        CrashBySegv();
    else if (std::strcmp(fault, "stackoverflow") == 0)
        return CrashByStackOverflow(0);
    else if (std::strcmp(fault, "fpe") == 0)
        return CrashByDivision(0);
    else if (std::strcmp(fault, "ill") == 0)
        CrashByIllegalInstruction();
    else if (std::strcmp(fault, "bus") == 0)
        CrashByBusError(argc > 2 ? argv[2] : "/tmp");
    else if (std::strcmp(fault, "finalized") == 0) {
        Platform::FinalizeExceptionHook();
        CrashBySegv();
    }
    std::fprintf(stderr, "survived\n");
    return 0;
}

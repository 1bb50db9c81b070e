#include "platform/StackTrace.h"
#include "platform/StackTrace_p.h"

#include <QStringList>
#include <backtrace.h>
#include <cxxabi.h>
#include <dlfcn.h>
#include <execinfo.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace Platform {

namespace {

constexpr int MaxFrames = 128;

// Set once by InitializeStackTrace; read by the signal-safe path without any lock.
std::atomic<backtrace_state*> GState{nullptr};

void IgnoreError(void*, const char*, int) {}

struct TFrame {
    uintptr_t Pc = 0;
    std::string Function;  // as libbacktrace names it (mangled for C++)
    std::string File;
    int Line = 0;
};

std::string Demangle(const char* Name) {
    if (!Name || !*Name)
        return std::string();
    if (Name[0] == '_' && Name[1] == 'Z') {
        int status = 0;
        char* demangled = abi::__cxa_demangle(Name, nullptr, nullptr, &status);
        if (status == 0 && demangled) {
            std::string result(demangled);
            std::free(demangled);
            return result;
        }
        std::free(demangled);
    }
    return std::string(Name);
}

const char* BaseName(const char* Path) {
    const char* slash = std::strrchr(Path, '/');
    return slash ? slash + 1 : Path;
}

struct TSymbol {
    std::string Name;
    uintptr_t Start = 0;
};

void SymInfoCallback(void* Data, uintptr_t, const char* SymName, uintptr_t SymVal, uintptr_t) {
    auto* symbol = static_cast<TSymbol*>(Data);
    if (SymName) {
        symbol->Name = SymName;
        symbol->Start = SymVal;
    }
}

QString FormatFrame(int Index, uintptr_t Pc, const std::string& Module, const std::string& Function,
                    uintptr_t Offset, const std::string& File, int Line) {
    QString line = QStringLiteral("#%1 0x%2").arg(Index).arg(quint64(Pc), 16, 16, QLatin1Char('0'));
    if (!Module.empty())
        line += u' ' + QString::fromStdString(Module) + u':';
    line += u' ' + (Function.empty() ? QStringLiteral("??") : QString::fromStdString(Function));
    if (Offset != 0)
        line += QStringLiteral(" + 0x%1").arg(quint64(Offset), 0, 16);
    if (!File.empty())
        line += QStringLiteral(" (%1:%2)").arg(QString::fromStdString(File)).arg(Line);
    return line;
}

std::string ModuleOf(uintptr_t Pc, Dl_info& Info) {
    if (::dladdr(reinterpret_cast<void*>(Pc), &Info) && Info.dli_fname && *Info.dli_fname)
        return BaseName(Info.dli_fname);
    return std::string();
}

int CollectFrame(void* Data, uintptr_t Pc, const char* FileName, int LineNo, const char* Function) {
    auto* frames = static_cast<std::vector<TFrame>*>(Data);
    if (Pc == 0 || Pc == uintptr_t(-1))
        return 0;
    frames->push_back({Pc, Function ? Function : "", FileName ? FileName : "", LineNo});
    return frames->size() >= MaxFrames ? 1 : 0;
}

QString FormatFrames(const std::vector<TFrame>& Frames) {
    backtrace_state* state = GState.load();
    QStringList lines;
    for (std::size_t i = 0; i < Frames.size(); ++i) {
        const TFrame& frame = Frames[i];
        // libbacktrace reports inlined calls as extra frames with the same pc before the real one;
        // only the real (last) one has an offset into its symbol.
        const bool physical = i + 1 == Frames.size() || Frames[i + 1].Pc != frame.Pc;
        Dl_info info{};
        const std::string module = ModuleOf(frame.Pc, info);
        std::string function = Demangle(frame.Function.c_str());
        uintptr_t offset = 0;
        if (physical) {
            TSymbol symbol;
            if (state)
                backtrace_syminfo(state, frame.Pc, SymInfoCallback, IgnoreError, &symbol);
            if (symbol.Name.empty() && info.dli_sname) {
                symbol.Name = info.dli_sname;
                symbol.Start = reinterpret_cast<uintptr_t>(info.dli_saddr);
            }
            if (!symbol.Name.empty() && symbol.Start <= frame.Pc) {
                offset = frame.Pc - symbol.Start;
                // The debug information names a member function without its class and
                // parameters; the symbol table has the full name.
                function = Demangle(symbol.Name.c_str());
            }
        }
        lines.append(FormatFrame(static_cast<int>(i), frame.Pc, module, function, offset, frame.File,
                                 frame.Line));
    }
    return lines.join(u'\n');
}

// Appends to a fixed buffer; never allocates.
struct TSignalSafeWriter {
    char* Buffer = nullptr;
    std::size_t Size = 0;
    std::size_t Length = 0;
    int Index = 0;
    int Skip = 0;
    uintptr_t StartPc = 0;  // drop frames until this pc is seen; 0 = no such filter

    void Append(const char* Text) {
        while (*Text && Length + 1 < Size)
            Buffer[Length++] = *Text++;
        Buffer[Length] = '\0';
    }
    void AppendNumber(uintptr_t Value, unsigned Base, int MinDigits) {
        char digits[32];
        int count = 0;
        do {
            digits[count++] = "0123456789abcdef"[Value % Base];
            Value /= Base;
        } while (Value != 0 && count < 32);
        while (count < MinDigits && count < 32)
            digits[count++] = '0';
        char text[33];
        for (int i = 0; i < count; ++i)
            text[i] = digits[count - 1 - i];
        text[count] = '\0';
        Append(text);
    }
};

int SignalSafeFrame(void* Data, uintptr_t Pc, const char* FileName, int LineNo, const char* Function) {
    auto* writer = static_cast<TSignalSafeWriter*>(Data);
    if (Pc == 0 || Pc == uintptr_t(-1))
        return 0;
    if (writer->StartPc != 0) {
        // libbacktrace leaves the pc of a signal frame as it is and lowers return addresses by
        // one; accept both forms of the interrupted instruction.
        if (Pc != writer->StartPc && Pc + 1 != writer->StartPc)
            return 0;
        writer->StartPc = 0;
    }
    if (writer->Skip > 0) {
        --writer->Skip;
        return 0;
    }
    if (writer->Index > 0)
        writer->Append("\n");
    writer->Append("#");
    writer->AppendNumber(static_cast<uintptr_t>(writer->Index++), 10, 1);
    writer->Append(" 0x");
    writer->AppendNumber(Pc, 16, 16);
    writer->Append(" ");
    writer->Append(Function ? Function : "??");
    if (FileName) {
        writer->Append(" (");
        writer->Append(FileName);
        writer->Append(":");
        writer->AppendNumber(static_cast<uintptr_t>(LineNo < 0 ? 0 : LineNo), 10, 1);
        writer->Append(")");
    }
    return writer->Index >= MaxFrames || writer->Length + 1 >= writer->Size ? 1 : 0;
}

}  // namespace

void InitializeStackTrace(bool LoadDebugInformation) {
    static std::once_flag created;
    std::call_once(created, [] { GState.store(backtrace_create_state(nullptr, 1, IgnoreError, nullptr)); });
    if (!LoadDebugInformation)
        return;
    static std::once_flag loaded;
    std::call_once(loaded, [] {
        backtrace_state* state = GState.load();
        if (!state)
            return;
        // The first lookup reads the debug information of the executable and of every loaded
        // library, the symbol tables on the first symbol lookup.
        std::vector<TFrame> frames;
        const auto self = reinterpret_cast<uintptr_t>(&InitializeStackTrace);
        backtrace_pcinfo(state, self, CollectFrame, IgnoreError, &frames);
        TSymbol symbol;
        backtrace_syminfo(state, self, SymInfoCallback, IgnoreError, &symbol);
    });
}

__attribute__((noinline)) QString StackTraceText(int SkipFrames) {
    InitializeStackTrace();
    std::vector<TFrame> frames;
    if (backtrace_state* state = GState.load())
        // One more for this function; libbacktrace skips its own frame itself.
        backtrace_full(state, SkipFrames + 1, CollectFrame, IgnoreError, &frames);
    if (frames.empty())
        return ExecinfoStackTraceText(SkipFrames + 1);
    return FormatFrames(frames);
}

__attribute__((noinline)) QString ExecinfoStackTraceText(int SkipFrames) {
    void* addresses[MaxFrames];
    const int count = ::backtrace(addresses, MaxFrames);
    QStringList lines;
    // addresses[0] is this function.
    for (int i = 1 + (SkipFrames > 0 ? SkipFrames : 0); i < count; ++i) {
        // Return addresses point after the call; one less lies inside it.
        const auto pc = reinterpret_cast<uintptr_t>(addresses[i]) - 1;
        Dl_info info{};
        const std::string module = ModuleOf(pc, info);
        std::string function;
        uintptr_t offset = 0;
        if (info.dli_sname && info.dli_saddr) {
            function = Demangle(info.dli_sname);
            offset = pc - reinterpret_cast<uintptr_t>(info.dli_saddr);
        }
        lines.append(FormatFrame(static_cast<int>(lines.size()), pc, module, function, offset,
                                 std::string(), 0));
    }
    return lines.join(u'\n');
}

__attribute__((noinline)) std::size_t StackTraceSignalSafe(char* Buffer, std::size_t Size,
                                                          int SkipFrames, const void* StartAddress) {
    if (!Buffer || Size == 0)
        return 0;
    Buffer[0] = '\0';
    TSignalSafeWriter writer{Buffer, Size, 0, 0, SkipFrames > 0 ? SkipFrames : 0,
                             reinterpret_cast<uintptr_t>(StartAddress)};
    backtrace_state* state = GState.load();
    if (!state) {
        writer.Append("(no stack trace: not initialised)");
        return writer.Length;
    }
    backtrace_full(state, 1, SignalSafeFrame, IgnoreError, &writer);
    if (writer.StartPc != 0) {
        // The interrupted instruction was not on the stack walked (a signal sent by another
        // process, or an unwinder that cannot step through the signal frame): give the whole stack.
        writer.StartPc = 0;
        writer.Skip = SkipFrames > 0 ? SkipFrames : 0;
        backtrace_full(state, 1, SignalSafeFrame, IgnoreError, &writer);
    }
    return writer.Length;
}

}  // namespace Platform

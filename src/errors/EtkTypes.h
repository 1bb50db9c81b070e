// EtkTypes.h: message functions of the catalogue library that library code may call; here the
// opening of a file that another process may hold (OpenFileWaitForLock). Any thread; raises
// EFOpenError with the German texts. The interactive time-out dialog is a handler the GUI installs;
// without one, interactive calls behave as non-interactive ones.
#pragma once
#include <QString>
#include <chrono>
#include <functional>

#include "platform/FileLock.h"
#include "util/Exception.h"

// A file that cannot be opened: its folder is missing, it stays locked, or the system refuses it.
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
    const char* ClassName() const noexcept override { return "EFOpenError"; }
};

// Mode numbers of OpenFileWaitForLock.
namespace TOpenFileMode {
constexpr int ofmRead = 0;       // read, other writers wait
constexpr int ofmReadWrite = 1;  // read and write, created when missing, not shared
constexpr int ofmCreate = 2;     // created (emptied), not shared
}  // namespace TOpenFileMode

// Called on the waiting thread when a file stayed locked for one period in interactive mode.
// Answers true to wait another period; false means the user chose to end the program (the handler
// ends it; should it return, the call raises like a non-interactive one).
using TOpenFileTimeoutHandler =
    std::function<bool(const QString& FileName, int Mode, bool FolderWritable)>;

// Installs Handler (empty: none) and returns the previous one.
TOpenFileTimeoutHandler SetOpenFileTimeoutHandler(TOpenFileTimeoutHandler Handler);

constexpr auto OpenFileLockPeriod = std::chrono::milliseconds(20000);

// Opens FileName in Mode (0, 1, 2), retrying every 100 ms while another process holds a conflicting
// lock. After Period without success: interactive calls ask the time-out handler, others raise
// "Datei %s wird von anderer Anwendung gesperrt ...". A missing folder raises the file name; other
// refusals (no rights, a folder in the way) raise at once with the system's text.
Platform::TLockedFile OpenFileWaitForLock(const QString& FileName, int Mode, bool Interactive,
                                          std::chrono::milliseconds Period = OpenFileLockPeriod);

// BLLogging.h: the diagnostic log. Entries and their text form, the log settings (registry or
// LogSettings.ini), the file logger, the background writer and the process-wide controller behind
// the free AddToLog procedures, and the first-chance exception glue.
// AddToLog may be called from any thread; it filters, queues the entry's fields under a short lock and
// never raises nor waits for a file; the one writer thread renders and writes the lines. The file
// logger raises only when its settings ask for it. Fatal signals: the handler takes no lock and
// allocates nothing; it hands one line to the writer through a static slot and waits up to 2 s for it
// to be written after everything queued before (without a running writer the line is lost).
#pragma once
#include <QString>
#include <QStringList>
#include <QVariantList>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "logging/BLLoggingIntf.h"
#include "platform/ExceptionHook.h"
#include "util/Exception.h"

// The file logger's own error, raised only when its settings ask to see errors.
class EBLLogError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EBLLogError"; }
};

class TBLLogEntry : public IBLLogEntry {
public:
    TBLLogEntry() = default;

    static std::shared_ptr<IBLLogEntry> GetLogEntry(Platform::TDateTime TimeStamp, std::uint32_t ThreadId,
                                                    const QString& MessageStr, const QString& StackTrace,
                                                    TMessageLogType LogType, const QString& UserName,
                                                    const QString& AppName, const QString& PluginName);
    // User and application name of this process, no plug-in name.
    static std::shared_ptr<IBLLogEntry> GetLogEntry(Platform::TDateTime TimeStamp, std::uint32_t ThreadId,
                                                    const QString& MessageStr, const QString& StackTrace,
                                                    TMessageLogType LogType);
    // Now, the calling thread, no stack trace, tmlMessage.
    static std::shared_ptr<IBLLogEntry> GetLogEntry(const QString& MessageStr);

    void SetTimeStamp(Platform::TDateTime Value) override { FTimeStamp = Value; }
    Platform::TDateTime GetTimeStamp() const override { return FTimeStamp; }
    void SetThreadId(std::uint32_t Value) override { FThreadId = Value; }
    std::uint32_t GetThreadId() const override { return FThreadId; }
    void SetMessageStr(const QString& Value) override { FMessageStr = Value; }
    QString GetMessageStr() const override { return FMessageStr; }
    void SetStackTrace(const QString& Value) override { FStackTrace = Value; }
    QString GetStackTrace() const override { return FStackTrace; }
    void SetLogType(TMessageLogType Value) override { FLogType = Value; }
    TMessageLogType GetLogType() const override { return FLogType; }
    void SetUserName(const QString& Value) override { FUserName = Value; }
    QString GetUserName() const override { return FUserName; }
    void SetAppName(const QString& Value) override { FAppName = Value; }
    QString GetAppName() const override { return FAppName; }
    void SetPluginName(const QString& Value) override { FPluginName = Value; }
    QString GetPluginName() const override { return FPluginName; }

private:
    Platform::TDateTime FTimeStamp = 0;
    std::uint32_t FThreadId = 0;
    QString FMessageStr;
    QString FStackTrace;
    TMessageLogType FLogType = TMessageLogType::tmlMessage;
    QString FUserName;
    QString FAppName;
    QString FPluginName;
};

class TBLLoggingHelper {
public:
    // ProgramData + "/Orvanta/" + executable base name + "/Logs".
    static QString DefaultLogFolder();
    static QString FormatLogText(const QString& Msg, TMessageLogType MsgType, bool WithTimeStamp,
                                 const QString& Prefix);
    static QString LogEntryToString(const IBLLogEntry& LogEntry);
    static QString LogEntryToString(const std::shared_ptr<IBLLogEntry>& LogEntry) {
        return LogEntry ? LogEntryToString(*LogEntry) : QString();
    }

    // "domain\user" of this process, determined once; "NVK-Default-User" when that fails.
    static QString LogUserName();
    // The running executable's file name with extension, determined once.
    static QString LogAppName();
    // Local time now as a day number, and a day number as "dd.mm.yyyy hh:mm:ss.zzz".
    static Platform::TDateTime Now();
    static QString FormatTimeStamp(Platform::TDateTime Value);
};

// Selected member names in ordinal order joined by ","; and the reverse, taking every member whose
// name occurs in Text (case-sensitive), so order, separators and unknown names do not matter.
QString LogTypesToText(TMessageLogTypes Value);
QString LogChannelsToText(TLogChannels Value);
QString LogSQLCommandsToText(TLogSQLCommands Value);
TMessageLogTypes LogTypesFromText(const QString& Text);
TLogChannels LogChannelsFromText(const QString& Text);
TLogSQLCommands LogSQLCommandsFromText(const QString& Text);

// The registry key of the log settings below HKEY_CURRENT_USER.
inline const QString DebugLogRegistryKey = QStringLiteral("SOFTWARE\\Brenlow\\Viewer\\DebugLog");

using TBLLogPropsSavedEvent = std::function<void(const TBLLogProps& OldProps, const TBLLogProps& NewProps)>;

// Settings from LogSettings.ini beside the executable, else from the registry; saved to the registry.
class TBLLogConfigDefault : public IBLLogConfig {
public:
    explicit TBLLogConfigDefault(TBLLogPropsSavedEvent OnSaved);

    TBLLogProps GetLogProps() const override { return FLogProps; }
    void SetLogProps(const TBLLogProps& Value) override { FLogProps = Value; }
    QString GetLogFolder() const override { return FLogProps.LogFolder; }
    void SetLogFolder(const QString& Value) override { FLogProps.LogFolder = Value; }
    void Load() override;
    void Save() override;
    void SetLogEnabled(bool Value) override { FLogProps.LogEnabled = Value; }

    // The settings file beside the executable; replaceable so tests need not write there.
    static QString SettingsFileName();

private:
    void LoadFromIni(const QString& FileName);
    void LoadFromRegistry();

    TBLLogProps FLogProps;
    TBLLogProps FOldProps;  // as last loaded or saved
    TBLLogPropsSavedEvent FOnSaved;
};

class TBLFileLoggerSettings : public IBLFileLoggerSettings {
public:
    QString GetLogFolder() const override { return FLogFolder; }
    void SetLogFolder(const QString& Value) override { FLogFolder = Value; }
    QString GetLogFileName() const override { return FLogFileName; }
    void SetLogFileName(const QString& Value) override { FLogFileName = Value; }
    std::int32_t GetMaxSize() const override { return FMaxSize; }
    void SetMaxSize(std::int32_t Value) override { FMaxSize = Value; }
    std::int32_t GetMaxCount() const override { return FMaxCount; }
    void SetMaxCount(std::int32_t Value) override { FMaxCount = Value; }
    QString GetPrefix() const override { return FPrefix; }
    void SetPrefix(const QString& Value) override { FPrefix = Value; }
    bool GetIsService() const override { return FIsService; }
    void SetIsService(bool Value) override { FIsService = Value; }
    bool GetShowErrorIfNoWritePermissions() const override { return FShowErrorIfNoWritePermissions; }
    void SetShowErrorIfNoWritePermissions(bool Value) override { FShowErrorIfNoWritePermissions = Value; }

private:
    QString FLogFolder;
    QString FLogFileName;
    std::int32_t FMaxSize = -1;
    std::int32_t FMaxCount = -1;
    QString FPrefix;
    bool FIsService = false;
    bool FShowErrorIfNoWritePermissions = false;
};

// Appends lines to "<folder>/<stem>_yyyymmdd_hhnnss.log"; each line opens, writes and closes the
// file after probing the folder. One thread at a time.
class TBLFileLogger : public IBLLogger {
public:
    // Resolves the folder (default folder, then the temporary folder when not writable); raises
    // EBLLogError when not even the temporary folder can be written.
    explicit TBLFileLogger(std::shared_ptr<IBLFileLoggerSettings> FileLoggerSettings);

    static QString GetLogFileMask() { return QStringLiteral("*_*.log"); }

    void WriteLine(const QString& Value) override;
    void WriteMessage(const QString& Msg, TMessageLogType MsgType) override;
    void WriteEntry(const std::shared_ptr<IBLLogEntry>& LogEntry) override;
    // The writer's batch: the same lines and files as one WriteLine per value, but the folder is
    // probed once and the file opened once per batch (and again whenever a new file is started).
    void WriteLines(const QStringList& Values);

    QString LogFile() const { return FLogFile; }
    const std::shared_ptr<IBLFileLoggerSettings>& FileLoggerSettings() const { return FFileLoggerSettings; }

    // Probes Folder by creating and removing a subfolder holding a file; creates Folder when missing
    // and the probe passes.
    static bool IsFolderWritable(const QString& Folder);
    // The process's temporary folder: BLTemp when set and usable, else the user's temporary folder;
    // chosen once. Raises EBLLogError when it cannot be written.
    static QString TempFolder();

private:
    bool CheckFolder();
    void ChooseFile();
    void RemoveSurplusFiles();
    [[noreturn]] void RaiseWriteError(const QString& Message);
    // Handles a failed write: raises when the settings ask to see errors, else the line is lost.
    void WriteFailed(const QString& Message);

    Platform::TDateTime FLastCheckOldLogFiles = 0;
    std::shared_ptr<IBLFileLoggerSettings> FFileLoggerSettings;
    QString FLogFile;  // full path of the current file; empty before the first line
};

// An auto-reset event: Set wakes one waiter, or the next one to wait.
class TBLEvent {
public:
    void Set();
    bool WaitFor(std::chrono::milliseconds Timeout);  // true when set in time; resets it

private:
    std::mutex FLock;  // protects FSignalled
    std::condition_variable FCondition;
    bool FSignalled = false;
};

// The background writer. Owned by its own thread once started (it frees itself when its loop ends);
// the controller keeps a reference only to queue lines and to ask it to stop.
class TBLFileLoggerThread : public std::enable_shared_from_this<TBLFileLoggerThread> {
public:
    TBLFileLoggerThread(std::shared_ptr<TBLEvent> StartEvent,
                        std::shared_ptr<IBLFileLoggerSettings> FileLoggerSettings,
                        std::shared_ptr<TBLEvent> TerminateEvent);
    ~TBLFileLoggerThread();

    // Starts the thread; the file logger was made in the constructor, on the caller's thread.
    void Start();
    void AddToFileLog(const QString& LogStr);
    void AddToFileLog(const std::shared_ptr<IBLLogEntry>& LogEntry);
    // The producers' path: the entry's fields are queued and the writer renders the line (and the
    // stack trace line after it), so a caller pays no formatting. The text is the same.
    void AddEntry(qint64 MSecsSinceEpoch, std::uint32_t ThreadId, TMessageLogType LogType,
                  const QString& MessageStr, const QString& StackTrace);
    // Asks the loop to end and wakes it; the writer still writes what is queued.
    void Terminate();
    void WakeUp();
    std::uint32_t ThreadId() const { return FThreadId.load(); }
    const std::shared_ptr<TBLFileLogger>& FileLogger() const { return FBLFileLogger; }

private:
    void Execute();
    void FlushPendingLines();

    // A pending line: ready text, or an entry rendered by the writer (MSecsSinceEpoch >= 0).
    struct TPendingLine {
        QString Text;  // the line, or the entry's message
        QString StackTrace;
        qint64 MSecsSinceEpoch = -1;
        std::uint32_t ThreadId = 0;
        TMessageLogType LogType = TMessageLogType::tmlMessage;
    };
    void Queue(TPendingLine&& Line);
    QString Render(const TPendingLine& Line);

    std::mutex FLock;                       // protects FLogStrings
    std::vector<TPendingLine> FLogStrings;  // pending lines, oldest first
    qint64 FStampSecond = -1;               // writer only: the second FStampText shows
    QString FStampText;                     // "dd.mm.yyyy hh:mm:ss" of FStampSecond
    std::shared_ptr<TBLFileLogger> FBLFileLogger;
    std::shared_ptr<TBLEvent> FStartEvent;
    std::shared_ptr<TBLEvent> FTerminateEvent;
    std::shared_ptr<IBLFileLoggerSettings> FFileLoggerSetings;
    std::atomic<bool> FTerminated{false};
    std::atomic<std::uint32_t> FThreadId{0};
};

class TBLLogController {
public:
    TBLLogController();
    ~TBLLogController();
    TBLLogController(const TBLLogController&) = delete;
    TBLLogController& operator=(const TBLLogController&) = delete;

    // Filtered by the settings.
    void AddToFileLog(TMessageLogType LogType, TLogChannel LogChannel, const QString& Table,
                      const QString& MessageStr, bool WithStacktrace);
    // Unfiltered: queued whenever logging is active.
    void AddToFileLog(TMessageLogType LogType, const QString& MessageStr, bool WithStacktrace);
    void AddToFileLog(TMessageLogType LogType, const QString& MessageStr, const QVariantList& Args,
                      bool WithStacktrace);
    void AddToFileLog(const QString& MessageStr);

    void StartLogging();
    void StopLogging();
    void RestartIfNeeded(const TBLLogProps& OldConfig, const TBLLogProps& NewConfig);
    static void ClearOldLogs(const IBLLogConfig& LogConfig);
    void ChangeLogFolder(const QString& NewLogFolder);

    std::shared_ptr<IBLLogConfig> LogConfig() const { return FLogConfig; }
    bool LoggingActive() const { return FLoggingActive.load(std::memory_order_relaxed); }
    bool Started() const { return FStarted; }
    // Whether a message passes the settings (without the active check).
    bool Accepts(TMessageLogType LogType, TLogChannel LogChannel, const QString& Table,
                 const QString& MessageStr) const;

private:
    void CreateLoggerThread();
    void TerminateLoggerThread();
    void WriteSettingsToLog();
    void QueueEntry(TMessageLogType LogType, const QString& MessageStr, bool WithStacktrace);
    void PublishFilter();

    std::shared_ptr<TBLEvent> FStartEvent;
    std::shared_ptr<TBLEvent> FTerminateEvent;
    std::atomic<bool> FLoggingActive{false};
    // Guards the writer reference: producers copy it, Start/Stop replace it.
    mutable std::mutex FThreadLock;
    std::shared_ptr<TBLFileLoggerThread> FThread;
    bool FStarted = false;
    std::shared_ptr<IBLLogConfig> FLogConfig;
    bool FLoadedInIDE = false;
    // Serialises Start/Stop/Restart among threads; recursive because they call one another.
    std::recursive_mutex FControlLock;

    // Producers read the filter without touching the settings object, which Load may rewrite.
    std::atomic<std::uint8_t> FFilterTypes{0};
    std::atomic<std::uint16_t> FFilterChannels{0};
    std::atomic<std::uint8_t> FFilterCommands{0};
    mutable std::mutex FTablesLock;  // protects FFilterTables
    QStringList FFilterTables;       // lower-cased LogTables entries
};

// False once FinalizeLogging ran: AddToLog then does nothing.
bool LoggingEnabled();
// The process-wide controller, created on first use exactly once even under concurrent first use.
// Null when logging was finalised or the controller could not be created.
TBLLogController* LogController();
// Program end: stops the writer (its queued lines are written) and switches AddToLog off. The
// controller's memory is kept, so a late AddToLog on another thread never touches a freed object.
void FinalizeLogging();

void AddToLog(TMessageLogType LogType, TLogChannel LogChannel, const QString& Table, bool WithStacktrace,
              const QString& MessageStr);
void AddToLog(const QString& MessageStr);
void AddToLog(const QString& FormatStr, const QVariantList& Args);
void AddToLog(TMessageLogType LogType, TLogChannel LogChannel, const QString& FormatStr, const QVariantList& Args,
              bool WithStacktrace);
// Delphi-style Format for log texts: %s, %d, %u, %x, %X (with optional width and 0 flag) and %%.
QString FormatLogArgs(const QString& FormatStr, const QVariantList& Args);

// Logs every C++ exception when it is thrown and fatal signals, in the two text forms
// "<address> - <class>: <message>" and "Exception: Code = <hex>, Adresse = <address>".
class TBLVectoredExceptionHandler {
public:
    // Called after a thrown exception was logged, on the throwing thread, with the log text.
    using TAppHandler = void (*)(const QString& Text);
    static void InitializeExceptionHandler(TAppHandler AppHandler = nullptr);
    static void FinalizeExceptionHandler();
    // The first-chance text of a thrown object, as logged.
    static QString ThrowText(const Platform::TThrowEvent& Event);
};

// BLLoggingIntf.h: the four contracts of the diagnostic log: one entry, the log settings, the
// settings of a file logger and the logger itself. Implementations live in BLLogging; they are
// reference-counted and handed round as std::shared_ptr. Nothing here raises on its own.
#pragma once
#include <QString>
#include <cstdint>
#include <memory>

#include "util/BLTypes.h"
#include "platform/Clock.h"

// One log entry. Immutable in practice once queued; safe to hand between threads.
class IBLLogEntry {
public:
    virtual void SetTimeStamp(Platform::TDateTime Value) = 0;  // local time, days since 1899-12-30
    virtual Platform::TDateTime GetTimeStamp() const = 0;
    virtual void SetThreadId(std::uint32_t Value) = 0;
    virtual std::uint32_t GetThreadId() const = 0;
    virtual void SetMessageStr(const QString& Value) = 0;
    virtual QString GetMessageStr() const = 0;
    virtual void SetStackTrace(const QString& Value) = 0;
    virtual QString GetStackTrace() const = 0;
    virtual void SetLogType(TMessageLogType Value) = 0;
    virtual TMessageLogType GetLogType() const = 0;
    virtual void SetUserName(const QString& Value) = 0;
    virtual QString GetUserName() const = 0;
    virtual void SetAppName(const QString& Value) = 0;
    virtual QString GetAppName() const = 0;
    virtual void SetPluginName(const QString& Value) = 0;
    virtual QString GetPluginName() const = 0;

protected:
    ~IBLLogEntry() = default;
};

// The log settings and where they are loaded from and saved to.
class IBLLogConfig {
public:
    virtual TBLLogProps GetLogProps() const = 0;  // a copy
    virtual void SetLogProps(const TBLLogProps& Value) = 0;
    virtual QString GetLogFolder() const = 0;
    virtual void SetLogFolder(const QString& Value) = 0;
    virtual void Load() = 0;
    virtual void Save() = 0;
    virtual void SetLogEnabled(bool Value) = 0;

protected:
    ~IBLLogConfig() = default;
};

// Where and how a file logger writes.
class IBLFileLoggerSettings {
public:
    virtual QString GetLogFolder() const = 0;
    virtual void SetLogFolder(const QString& Value) = 0;
    virtual QString GetLogFileName() const = 0;  // the file-name stem
    virtual void SetLogFileName(const QString& Value) = 0;
    virtual std::int32_t GetMaxSize() const = 0;  // kilobytes; -1: no limit
    virtual void SetMaxSize(std::int32_t Value) = 0;
    virtual std::int32_t GetMaxCount() const = 0;  // number of files; -1: no limit
    virtual void SetMaxCount(std::int32_t Value) = 0;
    virtual QString GetPrefix() const = 0;
    virtual void SetPrefix(const QString& Value) = 0;
    virtual bool GetIsService() const = 0;  // no user interface: never show a message
    virtual void SetIsService(bool Value) = 0;
    virtual bool GetShowErrorIfNoWritePermissions() const = 0;
    virtual void SetShowErrorIfNoWritePermissions(bool Value) = 0;

protected:
    ~IBLFileLoggerSettings() = default;
};

// Writes lines to log files. Used by one thread at a time.
class IBLLogger {
public:
    virtual void WriteLine(const QString& Value) = 0;
    virtual void WriteMessage(const QString& Msg, TMessageLogType MsgType) = 0;
    virtual void WriteEntry(const std::shared_ptr<IBLLogEntry>& LogEntry) = 0;

protected:
    ~IBLLogger() = default;
};

// BLDataObjectsFactory.h: creates log entries and default file-logger settings. Any thread; nothing
// raises beyond allocation failure.
#pragma once
#include <QString>
#include <memory>

#include "logging/BLLoggingIntf.h"

class TBLDataObjectsFactory {
public:
    // An empty entry.
    static std::shared_ptr<IBLLogEntry> CreateLogEntry();
    // Now, the calling thread, no stack trace, tmlMessage, this process's user and application.
    static std::shared_ptr<IBLLogEntry> CreateLogEntry(const QString& Message);
    static std::shared_ptr<IBLLogEntry> CreateLogEntry(const QString& Message, TMessageLogType MessageLogType);
    // No size or count limit (-1), everything else empty or false.
    static std::shared_ptr<IBLFileLoggerSettings> CreateDefaultFileLoggerSettings();
};

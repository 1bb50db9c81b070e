#include "logging/BLDataObjectsFactory.h"

#include "logging/BLLogging.h"

std::shared_ptr<IBLLogEntry> TBLDataObjectsFactory::CreateLogEntry() { return std::make_shared<TBLLogEntry>(); }

std::shared_ptr<IBLLogEntry> TBLDataObjectsFactory::CreateLogEntry(const QString& Message) {
    return TBLLogEntry::GetLogEntry(Message);
}

std::shared_ptr<IBLLogEntry> TBLDataObjectsFactory::CreateLogEntry(const QString& Message,
                                                                   TMessageLogType MessageLogType) {
    auto entry = TBLLogEntry::GetLogEntry(Message);
    entry->SetLogType(MessageLogType);
    return entry;
}

std::shared_ptr<IBLFileLoggerSettings> TBLDataObjectsFactory::CreateDefaultFileLoggerSettings() {
    auto settings = std::make_shared<TBLFileLoggerSettings>();
    settings->SetMaxSize(-1);
    settings->SetMaxCount(-1);
    return settings;
}

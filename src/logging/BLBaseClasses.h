// BLBaseClasses.h: the base of the non-visual controller classes that write to the diagnostic log.
// Every message reads "<owner class>.<operation>: <text>", goes to the process-wide AddToLog on the
// object's channel and then to the optional observer. Any thread; nothing raises. The owner of a
// descendant frees it; the log itself is process-wide and not owned here.
#pragma once
#include <QString>
#include <exception>
#include <typeinfo>

#include "util/BLTypes.h"

class TBLBaseLoggingObject {
public:
    TBLBaseLoggingObject() = default;
    virtual ~TBLBaseLoggingObject() = default;

    // The object whose class name prefixes every message; the object itself unless overridden.
    virtual const std::type_info& GetLogOwner() const { return typeid(*this); }
    virtual void LogWarning(const QString& ProcName, const QString& MessageStr);
    virtual void LogWorkflow(const QString& ProcName, const QString& MessageStr);
    virtual void LogError(const QString& ProcName, const QString& MessageStr, bool WithStacktrace);
    // Logs the exception's message text (not its class name) as an error with a stack trace.
    virtual void LogException(const QString& ProcName, const std::exception& E);

    TLogChannel ObjLogChannel() const { return FLogChannel; }
    void SetObjLogChannel(TLogChannel Value) { FLogChannel = Value; }
    const TBLLogEvent& OnLog() const { return FOnLog; }
    void SetOnLog(TBLLogEvent Value) { FOnLog = std::move(Value); }

    // A class name as the log writes it: demangled, without namespaces.
    static QString LogClassName(const std::type_info& Type);

protected:
    void DoOnLog(const QString& AText, TMessageLogType MsgType);

private:
    void Log(const QString& ProcName, const QString& Body, TMessageLogType MsgType, bool WithStacktrace);

    TLogChannel FLogChannel = TLogChannel::lcApplication;
    TBLLogEvent FOnLog;  // runs on the logging thread: handlers must not touch widgets
};

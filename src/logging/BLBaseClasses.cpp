#include "logging/BLBaseClasses.h"

#include <cstdlib>
#include <cxxabi.h>

#include "logging/BLLogging.h"
#include "util/Exception.h"

QString TBLBaseLoggingObject::LogClassName(const std::type_info& Type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(Type.name(), nullptr, nullptr, &status);
    QString name = status == 0 && demangled ? QString::fromUtf8(demangled) : QString::fromLatin1(Type.name());
    std::free(demangled);
    // Delphi class names carry no unit: drop namespaces ("(anonymous namespace)::" included).
    const qsizetype colons = name.lastIndexOf(QLatin1String("::"));
    return colons >= 0 && !name.contains(QLatin1Char('<')) ? name.mid(colons + 2) : name;
}

void TBLBaseLoggingObject::Log(const QString& ProcName, const QString& Body, TMessageLogType MsgType,
                               bool WithStacktrace) {
    QString text;
    try {
        text = LogClassName(GetLogOwner()) + QLatin1Char('.') + ProcName + QStringLiteral(": ") + Body;
        AddToLog(MsgType, FLogChannel, QString(), WithStacktrace, text);
    } catch (...) {
        return;
    }
    DoOnLog(text, MsgType);
}

void TBLBaseLoggingObject::LogWarning(const QString& ProcName, const QString& MessageStr) {
    Log(ProcName, MessageStr, TMessageLogType::tmlWarning, false);
}

void TBLBaseLoggingObject::LogWorkflow(const QString& ProcName, const QString& MessageStr) {
    Log(ProcName, MessageStr, TMessageLogType::tmlMessage, false);
}

void TBLBaseLoggingObject::LogError(const QString& ProcName, const QString& MessageStr, bool WithStacktrace) {
    Log(ProcName, MessageStr, TMessageLogType::tmlError, WithStacktrace);
}

void TBLBaseLoggingObject::LogException(const QString& ProcName, const std::exception& E) {
    const auto* own = dynamic_cast<const Exception*>(&E);
    Log(ProcName, own ? own->Message() : QString::fromUtf8(E.what()), TMessageLogType::tmlError, true);
}

void TBLBaseLoggingObject::DoOnLog(const QString& AText, TMessageLogType MsgType) {
    if (!FOnLog)
        return;
    try {
        FOnLog(this, AText, MsgType);
    } catch (...) {
        // An observer's failure must not reach the code that only wanted to log.
    }
}

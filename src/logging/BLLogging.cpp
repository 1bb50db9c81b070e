#include "logging/BLLogging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cxxabi.h>
#include <optional>

#include "logging/BLBigIni.h"
#include "logging/BLDataObjectsFactory.h"
#include "platform/KnownFolders.h"
#include "platform/ProcessInfo.h"
#include "platform/Registry.h"
#include "platform/StackTrace.h"
#include "util/Presenter.h"
#include "util/_4Files.h"

namespace {

constexpr auto StartTimeout = std::chrono::milliseconds(30000);
constexpr auto TerminateTimeout = std::chrono::milliseconds(30000);
constexpr double SurplusCheckInterval = 1.0 / 24.0;  // one hour in days

// ---- name tables of the sets -----------------------------------------------------------------

template <typename E, typename Storage>
QString SetToText(TBLEnumSet<E, Storage> Value, int Count, QString (*Name)(E)) {
    QStringList names;
    for (int ordinal = 0; ordinal < Count; ++ordinal)
        if (Value.Contains(static_cast<E>(ordinal)))
            names << Name(static_cast<E>(ordinal));
    return names.join(QLatin1Char(','));
}

template <typename E, typename Storage>
TBLEnumSet<E, Storage> SetFromText(const QString& Text, int Count, QString (*Name)(E)) {
    TBLEnumSet<E, Storage> result;
    for (int ordinal = 0; ordinal < Count; ++ordinal)
        if (Text.contains(Name(static_cast<E>(ordinal)), Qt::CaseSensitive))
            result.Include(static_cast<E>(ordinal));
    return result;
}

// ---- registry reads with the log settings' rules -------------------------------------------------

// Strings only (REG_SZ or REG_EXPAND_SZ); anything else, or a missing value, is the default.
QString RegString(const Platform::TRegistry& Reg, const QString& Name, const QString& Default = {}) {
    return Reg.ReadString(Name).value_or(Default);
}

std::optional<qint64> ParseInteger(const QString& Text) {
    const QString trimmed = Text.trimmed();
    bool ok = false;
    qint64 value = 0;
    if (trimmed.startsWith(QLatin1String("0x"), Qt::CaseInsensitive))
        value = trimmed.mid(2).toLongLong(&ok, 16);
    else
        value = trimmed.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

qint32 RegInteger(const Platform::TRegistry& Reg, const QString& Name, qint32 Default) {
    const auto text = Reg.ReadString(Name);
    if (!text)
        return Default;
    const auto value = ParseInteger(*text);
    return value ? static_cast<qint32>(*value) : Default;
}

bool RegBool(const Platform::TRegistry& Reg, const QString& Name, bool Default) {
    return RegInteger(Reg, Name, Default ? 1 : 0) != 0;
}

QString RandomProbeName() {
    // Twelve decimal digits, as the folder probes name their files.
    return QString::number(QRandomGenerator::global()->bounded(Q_INT64_C(100000000000), Q_INT64_C(1000000000000)))
           + QStringLiteral(".tmp");
}

// Creates a file with 4 bytes in Folder and deletes it again.
bool ProbeFile(const QString& Folder) {
    const QString path = Folder + QLatin1Char('/') + RandomProbeName();
    QFile probe(path);
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return false;
    const bool written = probe.write("BLTF", 4) == 4 && probe.flush();
    probe.close();
    const bool removed = QFile::remove(path);
    return written && removed;
}

QString ClassNameOf(const std::type_info& Type) {
    int status = 0;
    char* demangled = abi::__cxa_demangle(Type.name(), nullptr, nullptr, &status);
    QString name = status == 0 && demangled ? QString::fromUtf8(demangled) : QString::fromLatin1(Type.name());
    std::free(demangled);
    return name;
}

// ---- the writer's wake-up and the fatal-signal hand-over ---------------------------------------

// Bumped by every producer and by Terminate; writers sleep on it (futex), which a signal handler may
// also bump and wake without taking any lock.
std::atomic<std::uint32_t> GWriterWake{0};
std::atomic<int> GWritersRunning{0};
thread_local bool GIsWriterThread = false;
thread_local std::uint32_t GThreadId = 0;

// Non-zero while this thread is inside the log's own machinery. An exception thrown there (a failed
// allocation under the queue lock, the file logger's error while the controller is created) must not
// be logged by the first-chance hook: that would re-enter a lock or the one-time creation it holds.
thread_local int GLoggingDepth = 0;
struct TInsideLogging {
    TInsideLogging() { ++GLoggingDepth; }
    ~TInsideLogging() { --GLoggingDepth; }
    TInsideLogging(const TInsideLogging&) = delete;
    TInsideLogging& operator=(const TInsideLogging&) = delete;
};

// The kernel's id of the calling thread, asked once per thread (a system call otherwise).
std::uint32_t CachedThreadId() {
    if (GThreadId == 0)
        GThreadId = Platform::CurrentThreadId();
    return GThreadId;
}

// One fatal-signal line, written by the signal handler without allocating, picked up by the writer.
struct TFatalSlot {
    enum : int { fsEmpty = 0, fsFilling = 1, fsReady = 2, fsWritten = 3 };
    std::atomic<int> State{fsEmpty};
    char Text[256] = {};
    std::uint32_t ThreadId = 0;
    qint64 MSecsSinceEpoch = 0;
};
TFatalSlot GFatalSlot;
// Whether the process-wide controller currently accepts tmlMessage on lcApplication.
std::atomic<bool> GFatalAccepted{false};

// Signal-safe formatting helpers.
char* AppendText(char* Out, char* End, const char* Text) {
    while (*Text && Out < End)
        *Out++ = *Text++;
    return Out;
}

char* AppendHex(char* Out, char* End, std::uint64_t Value, int MinDigits, bool Upper) {
    const char* digits = Upper ? "0123456789ABCDEF" : "0123456789abcdef";
    char buffer[17];
    int count = 0;
    do {
        buffer[count++] = digits[Value & 0xF];
        Value >>= 4;
    } while (Value != 0 && count < 16);
    while (count < MinDigits && count < 16)
        buffer[count++] = '0';
    while (count > 0 && Out < End)
        *Out++ = buffer[--count];
    return Out;
}

}  // namespace

// ---- set texts -------------------------------------------------------------------------------

QString LogTypesToText(TMessageLogTypes Value) { return SetToText(Value, MessageLogTypeCount, &MessageLogTypeName); }
QString LogChannelsToText(TLogChannels Value) { return SetToText(Value, LogChannelCount, &LogChannelName); }
QString LogSQLCommandsToText(TLogSQLCommands Value) {
    return SetToText(Value, LogSQLCommandCount, &LogSQLCommandName);
}
TMessageLogTypes LogTypesFromText(const QString& Text) {
    return SetFromText<TMessageLogType, std::uint8_t>(Text, MessageLogTypeCount, &MessageLogTypeName);
}
TLogChannels LogChannelsFromText(const QString& Text) {
    return SetFromText<TLogChannel, std::uint16_t>(Text, LogChannelCount, &LogChannelName);
}
TLogSQLCommands LogSQLCommandsFromText(const QString& Text) {
    return SetFromText<TLogSQLCommand, std::uint8_t>(Text, LogSQLCommandCount, &LogSQLCommandName);
}

// ---- TBLLogEntry -----------------------------------------------------------------------------

std::shared_ptr<IBLLogEntry> TBLLogEntry::GetLogEntry(Platform::TDateTime TimeStamp, std::uint32_t ThreadId,
                                                      const QString& MessageStr, const QString& StackTrace,
                                                      TMessageLogType LogType, const QString& UserName,
                                                      const QString& AppName, const QString& PluginName) {
    auto entry = std::make_shared<TBLLogEntry>();
    entry->FTimeStamp = TimeStamp;
    entry->FThreadId = ThreadId;
    entry->FMessageStr = MessageStr;
    entry->FStackTrace = StackTrace;
    entry->FLogType = LogType;
    entry->FUserName = UserName;
    entry->FAppName = AppName;
    entry->FPluginName = PluginName;
    return entry;
}

std::shared_ptr<IBLLogEntry> TBLLogEntry::GetLogEntry(Platform::TDateTime TimeStamp, std::uint32_t ThreadId,
                                                      const QString& MessageStr, const QString& StackTrace,
                                                      TMessageLogType LogType) {
    return GetLogEntry(TimeStamp, ThreadId, MessageStr, StackTrace, LogType, TBLLoggingHelper::LogUserName(),
                       TBLLoggingHelper::LogAppName(), QString());
}

std::shared_ptr<IBLLogEntry> TBLLogEntry::GetLogEntry(const QString& MessageStr) {
    return GetLogEntry(TBLLoggingHelper::Now(), Platform::CurrentThreadId(), MessageStr, QString(),
                       TMessageLogType::tmlMessage);
}

// ---- TBLLoggingHelper ------------------------------------------------------------------------

QString TBLLoggingHelper::DefaultLogFolder() {
    return Platform::ProgramDataFolder() + QStringLiteral("/Orvanta/") + Platform::ExecutableBaseName()
           + QStringLiteral("/Logs");
}

QString TBLLoggingHelper::FormatLogText(const QString& Msg, TMessageLogType MsgType, bool WithTimeStamp,
                                        const QString& Prefix) {
    if (Msg.isEmpty() || Msg == QLatin1String("----------"))
        return Msg;
    QString leadIn;
    if (!Prefix.isEmpty())
        leadIn = Prefix + QLatin1Char(' ');
    if (MsgType == TMessageLogType::tmlWarning)
        leadIn += QLatin1String("[W] ");
    else if (MsgType == TMessageLogType::tmlError)
        leadIn += QLatin1String("[E] ");
    if (WithTimeStamp)
        leadIn = QStringLiteral("[%1] %2").arg(Platform::FormatDateTime(u"yyyy-mm-dd hh:nn:ss", Now()), leadIn);
    return leadIn + Msg;
}

namespace {
QString JoinEntryLine(const QString& Stamp, TMessageLogType LogType, const QString& UserName, const QString& AppName,
                      const QString& PluginName, std::uint32_t ThreadId, const QString& MessageStr) {
    QLatin1String label;
    switch (LogType) {
    case TMessageLogType::tmlMessage: label = QLatin1String("[Info]"); break;
    case TMessageLogType::tmlWarning: label = QLatin1String("[Warning]"); break;
    case TMessageLogType::tmlError: label = QLatin1String("[Error]"); break;
    case TMessageLogType::tmlDebug: label = QLatin1String("[Debug]"); break;
    default: label = QLatin1String("[Unknown]"); break;
    }
    const QChar tab(u'\t');
    QString line;
    line.reserve(Stamp.size() + UserName.size() + AppName.size() + PluginName.size() + MessageStr.size() + 32);
    line += Stamp;
    line += tab;
    line += label;
    line += tab;
    line += UserName;
    line += tab;
    line += AppName;
    line += tab;
    line += PluginName;
    line += tab;
    line += QLatin1Char('<');
    line += QString::number(ThreadId);
    line += QLatin1Char('>');
    line += tab;
    line += MessageStr;
    return line;
}
}  // namespace

QString TBLLoggingHelper::LogEntryToString(const IBLLogEntry& LogEntry) {
    return JoinEntryLine(FormatTimeStamp(LogEntry.GetTimeStamp()), LogEntry.GetLogType(), LogEntry.GetUserName(),
                         LogEntry.GetAppName(), LogEntry.GetPluginName(), LogEntry.GetThreadId(),
                         LogEntry.GetMessageStr());
}

QString TBLLoggingHelper::LogUserName() {
    // Never destroyed: the writer may still render while the program's statics are torn down.
    static const QString& name = *new QString([] {
        try {
            const QString user = Platform::LoginUserName();
            if (user.isEmpty())
                return QStringLiteral("NVK-Default-User");
            const QString domain = Platform::LogonDomain();
            return domain.isEmpty() ? user : domain + QLatin1Char('\\') + user;
        } catch (...) {
            return QStringLiteral("NVK-Default-User");
        }
    }());
    return name;
}

QString TBLLoggingHelper::LogAppName() {
    static const QString& name = *new QString(Platform::ExecutableFileName());
    return name;
}

Platform::TDateTime TBLLoggingHelper::Now() { return Platform::NowDateTime(); }

QString TBLLoggingHelper::FormatTimeStamp(Platform::TDateTime Value) {
    return Platform::FormatDateTime(u"dd.mm.yyyy hh:mm:ss.zzz", Value);
}

// ---- TBLLogConfigDefault ---------------------------------------------------------------------

TBLLogConfigDefault::TBLLogConfigDefault(TBLLogPropsSavedEvent OnSaved) : FOnSaved(std::move(OnSaved)) {
    FOldProps = FLogProps;
    Platform::TRegistry reg;
    if (!reg.KeyExists(QLatin1Char('\\') + DebugLogRegistryKey))
        Save();
}

QString TBLLogConfigDefault::SettingsFileName() {
    return Platform::ExecutableFolder() + QStringLiteral("/LogSettings.ini");
}

void TBLLogConfigDefault::Load() {
    FLogProps.LogTypes.Clear();
    FLogProps.LogChannels.Clear();
    try {
        const QString iniName = SettingsFileName();
        if (QFileInfo(iniName).isFile())
            LoadFromIni(iniName);
        else
            LoadFromRegistry();
    } catch (...) {
        // Unreadable settings fall back to what is held; they are never reported.
    }
    FOldProps = FLogProps;
}

void TBLLogConfigDefault::LoadFromIni(const QString& FileName) {
    // Destroying the object writes the file back when loading dropped anything (a duplicate section).
    TBiggerIniFile ini(FileName, /*ForceUtf8File*/ true);
    const QString section = QStringLiteral("DebugLog");
    FLogProps.LogTypes = LogTypesFromText(ini.ReadString(section, QStringLiteral("Type"), QString()));
    FLogProps.LogChannels = LogChannelsFromText(ini.ReadString(section, QStringLiteral("Channels"), QString()));
    const TLogSQLCommands read = LogSQLCommandsFromText(ini.ReadString(section, QStringLiteral("SQLCommands"), QString()));
    FLogProps.LogSQLProps.LogSQLCommands = TLogSQLCommands::FromMask(
        static_cast<std::uint8_t>(FLogProps.LogSQLProps.LogSQLCommands.Mask() | read.Mask()));
    FLogProps.LogEnabled = ini.ReadBool(section, QStringLiteral("Active"), false);
    FLogProps.LogSQLProps.LogTables = ini.ReadString(section, QStringLiteral("LogTables"), QString());
    FLogProps.LogFolder = ini.ReadString(section, QStringLiteral("LogFolder"), QString());
    FLogProps.KeepDays = ini.ReadInteger(section, QStringLiteral("KeepDays"), 0);
    FLogProps.AutoClear = ini.ReadBool(section, QStringLiteral("AutoClear"), false);
}

void TBLLogConfigDefault::LoadFromRegistry() {
    using enum TMessageLogType;
    using enum TLogChannel;
    Platform::TRegistry reg;
    if (!reg.OpenKeyReadOnly(QLatin1Char('\\') + DebugLogRegistryKey))
        return;  // nothing to read: the defaults stay, with empty type and channel sets
    if (reg.ValueExists(QStringLiteral("Type"))) {
        FLogProps.LogTypes = LogTypesFromText(RegString(reg, QStringLiteral("Type")));
        FLogProps.LogChannels = LogChannelsFromText(RegString(reg, QStringLiteral("Channels")));
        const TLogSQLCommands read = LogSQLCommandsFromText(RegString(reg, QStringLiteral("SQLCommands")));
        FLogProps.LogSQLProps.LogSQLCommands = TLogSQLCommands::FromMask(
            static_cast<std::uint8_t>(FLogProps.LogSQLProps.LogSQLCommands.Mask() | read.Mask()));
    } else {
        if (RegBool(reg, QStringLiteral("LogDebug"), false)) FLogProps.LogTypes.Include(tmlMessage);
        if (RegBool(reg, QStringLiteral("LogWarning"), false)) FLogProps.LogTypes.Include(tmlWarning);
        if (RegBool(reg, QStringLiteral("LogError"), false)) FLogProps.LogTypes.Include(tmlError);
        if (RegBool(reg, QStringLiteral("LogAppChannel"), false)) FLogProps.LogChannels.Include(lcApplication);
        if (RegBool(reg, QStringLiteral("LogDBChannel"), false)) FLogProps.LogChannels.Include(lcDatabase);
        if (RegBool(reg, QStringLiteral("LogImageViewer"), false)) FLogProps.LogChannels.Include(lcImageViewer);
    }
    FLogProps.LogEnabled = RegBool(reg, QStringLiteral("Active"), false);
    FLogProps.LogSQLProps.LogTables = RegString(reg, QStringLiteral("LogTables"));
    FLogProps.LogFolder = RegString(reg, QStringLiteral("LogFolder"));
    FLogProps.KeepDays = RegInteger(reg, QStringLiteral("KeepDays"), 0);
    FLogProps.AutoClear = RegBool(reg, QStringLiteral("AutoClear"), false);
}

void TBLLogConfigDefault::Save() {
    Platform::TRegistry reg;
    if (reg.OpenKey(QLatin1Char('\\') + DebugLogRegistryKey, true)) {
        // Failures of single values leave the others written; settings are never reported.
        (void)reg.WriteString(QString(), QString());
        (void)reg.WriteString(QStringLiteral("Type"), LogTypesToText(FLogProps.LogTypes));
        (void)reg.WriteString(QStringLiteral("Channels"), LogChannelsToText(FLogProps.LogChannels));
        (void)reg.WriteString(QStringLiteral("SQLCommands"), LogSQLCommandsToText(FLogProps.LogSQLProps.LogSQLCommands));
        for (const char* old : {"LogDebug", "LogWarning", "LogError", "LogAppChannel", "LogDBChannel", "LogImageViewer"})
            if (reg.ValueExists(QLatin1String(old)))
                (void)reg.DeleteValue(QLatin1String(old));
        (void)reg.WriteString(QStringLiteral("Active"), FLogProps.LogEnabled ? QStringLiteral("1") : QStringLiteral("0"));
        (void)reg.WriteString(QStringLiteral("AutoClear"), FLogProps.AutoClear ? QStringLiteral("1") : QStringLiteral("0"));
        (void)reg.WriteString(QStringLiteral("LogTables"), FLogProps.LogSQLProps.LogTables);
        (void)reg.WriteString(QStringLiteral("LogFolder"), FLogProps.LogFolder);
        (void)reg.WriteString(QStringLiteral("KeepDays"), QString::number(FLogProps.KeepDays));
    }
    const TBLLogProps previous = FOldProps;
    const TBLLogProps current = FLogProps;
    if (FOnSaved)
        FOnSaved(previous, current);
    FOldProps = FLogProps;
}

// ---- TBLFileLogger ---------------------------------------------------------------------------

TBLFileLogger::TBLFileLogger(std::shared_ptr<IBLFileLoggerSettings> FileLoggerSettings)
    : FFileLoggerSettings(std::move(FileLoggerSettings)) {
    Platform::TRegistry reg;
    QString name;
    if (reg.OpenKeyReadOnly(QLatin1Char('\\') + DebugLogRegistryKey))
        name = RegString(reg, QStringLiteral("FileName"));
    if (name.isEmpty())
        name = Platform::ExecutableFileName();
    FFileLoggerSettings->SetLogFileName(QStringLiteral("%1_PID_%2_").arg(name).arg(Platform::CurrentProcessId()));

    QString folder = FFileLoggerSettings->GetLogFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = TBLLoggingHelper::DefaultLogFolder();
    QDir().mkpath(folder);
    if (!QFileInfo(folder).isDir() || !ProbeFile(folder))
        folder = TempFolder();
    FFileLoggerSettings->SetLogFolder(folder);
}

bool TBLFileLogger::IsFolderWritable(const QString& Folder) {
    if (Folder.isEmpty())
        return false;
    const bool existed = QFileInfo(Folder).isDir();
    if (!existed && !QDir().mkpath(Folder))
        return false;
    const QString sub = Folder + QLatin1Char('/') + RandomProbeName();
    if (!QDir().mkdir(sub))
        return false;
    const QString file = sub + QLatin1Char('/') + RandomProbeName();
    QFile probe(file);
    bool ok = probe.open(QIODevice::WriteOnly | QIODevice::NewOnly);
    probe.close();
    ok = QFile::remove(file) && ok;
    ok = QDir().rmdir(sub) && ok;
    return ok;
}

QString TBLFileLogger::TempFolder() {
    static const std::optional<QString> chosen = []() -> std::optional<QString> {
        QString folder;
        const QString blTemp = qEnvironmentVariable("BLTemp");
        if (!blTemp.isEmpty() && (QFileInfo(blTemp).isDir() || QDir().mkpath(blTemp)))
            folder = blTemp;
        else
            folder = Platform::UserTempFolder();
        if (!ProbeFile(folder))
            return std::nullopt;
        return folder;
    }();
    if (!chosen) {
        const QString blTemp = qEnvironmentVariable("BLTemp");
        throw EBLLogError(QStringLiteral("Cannot write to temp-directory: ")
                          + (blTemp.isEmpty() ? Platform::UserTempFolder() : blTemp));
    }
    return *chosen;
}

bool TBLFileLogger::CheckFolder() {
    if (IsFolderWritable(FFileLoggerSettings->GetLogFolder()))
        return true;
    if (FFileLoggerSettings->GetShowErrorIfNoWritePermissions()) {
        FFileLoggerSettings->SetShowErrorIfNoWritePermissions(false);
        if (!FFileLoggerSettings->GetIsService())
            PresentMessage(TPresenterKind::pkError, QStringLiteral("Cannot write log file!"));
    }
    return false;
}

void TBLFileLogger::ChooseFile() {
    const QFileInfo current(FLogFile);
    const std::int32_t maxSize = FFileLoggerSettings->GetMaxSize();
    if (FLogFile.isEmpty() || !current.isFile() || (maxSize != -1 && current.size() / 1024 >= maxSize))
        FLogFile = FFileLoggerSettings->GetLogFolder() + QLatin1Char('/') + FFileLoggerSettings->GetLogFileName()
                   + Platform::FormatDateTime(u"_yyyymmdd_hhnnss", TBLLoggingHelper::Now()) + QStringLiteral(".log");
}

void TBLFileLogger::RemoveSurplusFiles() {
    const std::int32_t maxCount = FFileLoggerSettings->GetMaxCount();
    const Platform::TDateTime now = TBLLoggingHelper::Now();
    if (maxCount < 0 || now - FLastCheckOldLogFiles <= SurplusCheckInterval)
        return;
    FLastCheckOldLogFiles = now;
    try {
        QDir folder(FFileLoggerSettings->GetLogFolder());
        QFileInfoList files = folder.entryInfoList({GetLogFileMask()}, QDir::Files | QDir::Hidden | QDir::System);
        // Oldest first, to the second, as the file system reports it.
        std::stable_sort(files.begin(), files.end(), [](const QFileInfo& A, const QFileInfo& B) {
            return A.lastModified().toSecsSinceEpoch() < B.lastModified().toSecsSinceEpoch();
        });
        for (qsizetype index = 0; index + maxCount < files.size(); ++index)
            if (!QFile::remove(files[index].absoluteFilePath()))
                throw EBLLogError(QStringLiteral("Cannot delete %1").arg(files[index].absoluteFilePath()));
    } catch (const Exception& e) {
        if (FFileLoggerSettings->GetShowErrorIfNoWritePermissions())
            throw EBLLogError(QStringLiteral("Fehler beim Löschen von alten Logdateien: %1").arg(e.Message()));
    }
}

void TBLFileLogger::RaiseWriteError(const QString& Message) {
    throw EBLLogError(QStringLiteral("Fehler beim Schreiben der Logdatei: %1").arg(Message));
}

void TBLFileLogger::WriteFailed(const QString& Message) {
    if (FFileLoggerSettings->GetShowErrorIfNoWritePermissions())
        RaiseWriteError(Message);
}

void TBLFileLogger::WriteLine(const QString& Value) {
    try {
        if (!CheckFolder())
            return;
        ChooseFile();
        TUnicodeFileWriter writer(FLogFile, /*Unicode*/ true, /*Utf8*/ true, /*BigEndian*/ false, /*Append*/ true);
        writer.WriteLn(Value);
        writer.Close();
        RemoveSurplusFiles();
    } catch (const Exception& e) {
        WriteFailed(e.Message());
    } catch (const std::exception& e) {
        WriteFailed(QString::fromUtf8(e.what()));
    }
}

void TBLFileLogger::WriteLines(const QStringList& Values) {
    if (Values.isEmpty())
        return;
    if (!CheckFolder())
        return;
    const std::int32_t maxSize = FFileLoggerSettings->GetMaxSize();
    std::unique_ptr<TUnicodeFileWriter> writer;
    for (const QString& value : Values) {
        try {
            const bool full = writer && maxSize != -1 && writer->Stream()->size() / 1024 >= maxSize;
            if (!writer || full) {
                writer.reset();
                ChooseFile();
                writer = std::make_unique<TUnicodeFileWriter>(FLogFile, true, true, false, true);
            }
            writer->WriteLn(value);
        } catch (const Exception& e) {
            writer.reset();  // the next line opens the file afresh
            WriteFailed(e.Message());
        } catch (const std::exception& e) {
            writer.reset();
            WriteFailed(QString::fromUtf8(e.what()));
        }
    }
    writer.reset();
    try {
        RemoveSurplusFiles();
    } catch (const EBLLogError& e) {
        RaiseWriteError(e.Message());
    }
}

void TBLFileLogger::WriteMessage(const QString& Msg, TMessageLogType MsgType) {
    WriteLine(TBLLoggingHelper::FormatLogText(Msg, MsgType, true, FFileLoggerSettings->GetPrefix()));
}

void TBLFileLogger::WriteEntry(const std::shared_ptr<IBLLogEntry>& LogEntry) {
    if (!LogEntry)
        return;
    WriteLine(TBLLoggingHelper::LogEntryToString(*LogEntry));
    const QString trace = LogEntry->GetStackTrace();
    if (!trace.isEmpty())
        WriteLine(trace);
}

// ---- TBLEvent --------------------------------------------------------------------------------

void TBLEvent::Set() {
    {
        std::lock_guard guard(FLock);
        FSignalled = true;
    }
    FCondition.notify_one();
}

bool TBLEvent::WaitFor(std::chrono::milliseconds Timeout) {
    std::unique_lock guard(FLock);
    if (!FCondition.wait_for(guard, Timeout, [this] { return FSignalled; }))
        return false;
    FSignalled = false;
    return true;
}

// ---- TBLFileLoggerThread ---------------------------------------------------------------------

TBLFileLoggerThread::TBLFileLoggerThread(std::shared_ptr<TBLEvent> StartEvent,
                                         std::shared_ptr<IBLFileLoggerSettings> FileLoggerSettings,
                                         std::shared_ptr<TBLEvent> TerminateEvent)
    : FBLFileLogger(std::make_shared<TBLFileLogger>(FileLoggerSettings)),
      FStartEvent(std::move(StartEvent)),
      FTerminateEvent(std::move(TerminateEvent)),
      FFileLoggerSetings(std::move(FileLoggerSettings)) {}

TBLFileLoggerThread::~TBLFileLoggerThread() = default;

void TBLFileLoggerThread::Start() {
    // The thread holds the object until its loop ends, then frees it, whatever the controller does.
    std::thread([self = shared_from_this()] { self->Execute(); }).detach();
}

void TBLFileLoggerThread::Queue(TPendingLine&& Line) {
    const TInsideLogging inside;
    bool wasEmpty = false;
    {
        std::lock_guard guard(FLock);
        wasEmpty = FLogStrings.empty();
        FLogStrings.push_back(std::move(Line));
    }
    // Only the first line after the writer took the list needs to wake it: later ones find it
    // awake or about to look again. Saves a futex call per line under load.
    if (wasEmpty)
        WakeUp();
}

void TBLFileLoggerThread::AddToFileLog(const QString& LogStr) {
    TPendingLine line;
    line.Text = LogStr;
    Queue(std::move(line));
}

void TBLFileLoggerThread::AddToFileLog(const std::shared_ptr<IBLLogEntry>& LogEntry) {
    if (!LogEntry)
        return;
    AddToFileLog(TBLLoggingHelper::LogEntryToString(*LogEntry));
    const QString trace = LogEntry->GetStackTrace();
    if (!trace.isEmpty())
        AddToFileLog(trace);
}

void TBLFileLoggerThread::AddEntry(qint64 MSecsSinceEpoch, std::uint32_t ThreadId, TMessageLogType LogType,
                                   const QString& MessageStr, const QString& StackTrace) {
    TPendingLine line;
    line.Text = MessageStr;
    line.StackTrace = StackTrace;
    line.MSecsSinceEpoch = MSecsSinceEpoch;
    line.ThreadId = ThreadId;
    line.LogType = LogType;
    Queue(std::move(line));
}

QString TBLFileLoggerThread::Render(const TPendingLine& Line) {
    // The time text changes once a second: it is formatted then and reused, milliseconds appended.
    const qint64 second = Line.MSecsSinceEpoch / 1000;
    if (second != FStampSecond) {
        FStampSecond = second;
        FStampText = Platform::FormatDateTime(
            u"dd.mm.yyyy hh:mm:ss", Platform::DateTimeFromQDateTime(QDateTime::fromMSecsSinceEpoch(second * 1000)));
    }
    const QString stamp = FStampText + QLatin1Char('.')
                          + QStringLiteral("%1").arg(Line.MSecsSinceEpoch % 1000, 3, 10, QLatin1Char('0'));
    return JoinEntryLine(stamp, Line.LogType, TBLLoggingHelper::LogUserName(), TBLLoggingHelper::LogAppName(),
                         QString(), Line.ThreadId, Line.Text);
}

void TBLFileLoggerThread::Terminate() {
    FTerminated.store(true);
    WakeUp();
}

void TBLFileLoggerThread::WakeUp() {
    GWriterWake.fetch_add(1, std::memory_order_release);
    GWriterWake.notify_all();
}

void TBLFileLoggerThread::FlushPendingLines() {
    // Looked at before the swap: whatever the crashing thread queued before its signal is in the list
    // by then, and its fatal line belongs after those lines.
    const bool fatal = GFatalSlot.State.load(std::memory_order_acquire) == TFatalSlot::fsReady;
    std::vector<TPendingLine> taken;
    {
        std::lock_guard guard(FLock);
        taken.swap(FLogStrings);
    }
    QStringList lines;
    lines.reserve(static_cast<qsizetype>(taken.size()));
    for (const TPendingLine& pending : taken) {
        if (pending.MSecsSinceEpoch < 0) {
            lines << pending.Text;
            continue;
        }
        lines << Render(pending);
        if (!pending.StackTrace.isEmpty())
            lines << pending.StackTrace;
    }
    taken.clear();
    if (fatal) {
        TPendingLine line;
        line.Text = QString::fromUtf8(GFatalSlot.Text);
        line.MSecsSinceEpoch = GFatalSlot.MSecsSinceEpoch;
        line.ThreadId = GFatalSlot.ThreadId;
        lines << Render(line);
    }
    FBLFileLogger->WriteLines(lines);
    if (fatal)
        GFatalSlot.State.store(TFatalSlot::fsWritten, std::memory_order_release);
}

void TBLFileLoggerThread::Execute() {
    GIsWriterThread = true;
    GWritersRunning.fetch_add(1);
    try {
        FThreadId.store(Platform::CurrentThreadId());
        FStartEvent->Set();
        // Every producer and Terminate bump the wake counter, so no 30 s poll is needed to catch a
        // missed wake-up: the counter is read before the flush and the wait returns at once when it
        // moved meanwhile.
        while (!FTerminated.load()) {
            const std::uint32_t seen = GWriterWake.load(std::memory_order_acquire);
            FlushPendingLines();
            if (FTerminated.load())
                break;
            GWriterWake.wait(seen, std::memory_order_acquire);
        }
        // Lines queued before the stop request (the "wird beendet" line among them) are written before
        // the writer's own last entry; otherwise they would be lost.
        FlushPendingLines();
        FBLFileLogger->WriteEntry(TBLLogEntry::GetLogEntry(QStringLiteral("TBLFileLoggerThread terminated")));
    } catch (...) {
        // The writer ends silently; the controller learns of it through the end event.
    }
    GWritersRunning.fetch_sub(1);
    FTerminateEvent->Set();
}

// ---- TBLLogController ------------------------------------------------------------------------

TBLLogController::TBLLogController() {
    FLoadedInIDE = Platform::ExecutableFileName().toLower() == QLatin1String("bds.exe");
    FLogConfig = std::make_shared<TBLLogConfigDefault>([this](const TBLLogProps& OldProps, const TBLLogProps& NewProps) {
        // The constructor's own first Save runs before FLogConfig is set; nothing to restart then.
        if (FLogConfig)
            RestartIfNeeded(OldProps, NewProps);
    });
    FLogConfig->Load();
    PublishFilter();
    FLoggingActive.store(FLogConfig->GetLogProps().LogEnabled && !FLoadedInIDE);
    try {
        ClearOldLogs(*FLogConfig);
    } catch (...) {
    }
    if (FLoggingActive.load())
        StartLogging();
}

TBLLogController::~TBLLogController() { StopLogging(); }

void TBLLogController::PublishFilter() {
    const TBLLogProps props = FLogConfig->GetLogProps();
    FFilterTypes.store(props.LogTypes.Mask());
    FFilterChannels.store(props.LogChannels.Mask());
    FFilterCommands.store(props.LogSQLProps.LogSQLCommands.Mask());
    QStringList tables;
    for (const QString& table : props.LogSQLProps.LogTables.split(QLatin1Char(','), Qt::SkipEmptyParts))
        tables << table.toLower();
    {
        std::lock_guard guard(FTablesLock);
        FFilterTables = tables;
    }
    if (FLoggingActive.load())
        GFatalAccepted.store(Accepts(TMessageLogType::tmlMessage, TLogChannel::lcApplication, QString(), QString()));
}

bool TBLLogController::Accepts(TMessageLogType LogType, TLogChannel LogChannel, const QString& Table,
                               const QString& MessageStr) const {
    const auto types = TMessageLogTypes::FromMask(FFilterTypes.load(std::memory_order_relaxed));
    const auto channels = TLogChannels::FromMask(FFilterChannels.load(std::memory_order_relaxed));
    const bool passes = (LogType == TMessageLogType::tmlDebug && channels.Contains(TLogChannel::lcDebug))
                        || (types.Contains(LogType) && channels.Contains(LogChannel));
    if (!passes)
        return false;
    if (LogChannel != TLogChannel::lcDatabase)
        return true;

    const QString lower = MessageStr.toLower();
    const auto commands = TLogSQLCommands::FromMask(FFilterCommands.load(std::memory_order_relaxed));
    static const std::pair<TLogSQLCommand, const char*> words[] = {
        {TLogSQLCommand::scSelect, "select"}, {TLogSQLCommand::scInsert, "insert"},
        {TLogSQLCommand::scUpdate, "update"}, {TLogSQLCommand::scDelete, "delete"}};
    bool commandHit = false;
    for (const auto& [command, word] : words)
        if (commands.Contains(command) && lower.contains(QLatin1String(word))) {
            commandHit = true;
            break;
        }
    if (!commandHit)
        return false;
    std::lock_guard guard(FTablesLock);
    if (FFilterTables.isEmpty())
        return true;
    const QString table = Table.toLower();
    for (const QString& entry : FFilterTables)
        if (lower.contains(entry) || entry == table)
            return true;
    return false;
}

void TBLLogController::AddToFileLog(TMessageLogType LogType, TLogChannel LogChannel, const QString& Table,
                                    const QString& MessageStr, bool WithStacktrace) {
    const TInsideLogging inside;
    if (!FLoggingActive.load(std::memory_order_relaxed))
        return;
    try {
        if (Accepts(LogType, LogChannel, Table, MessageStr))
            QueueEntry(LogType, MessageStr, WithStacktrace);
    } catch (...) {
    }
}

void TBLLogController::AddToFileLog(TMessageLogType LogType, const QString& MessageStr, bool WithStacktrace) {
    const TInsideLogging inside;
    if (!FLoggingActive.load(std::memory_order_relaxed))
        return;
    try {
        QueueEntry(LogType, MessageStr, WithStacktrace);
    } catch (...) {
    }
}

void TBLLogController::AddToFileLog(TMessageLogType LogType, const QString& MessageStr, const QVariantList& Args,
                                    bool WithStacktrace) {
    const TInsideLogging inside;
    if (!FLoggingActive.load(std::memory_order_relaxed))
        return;
    try {
        QueueEntry(LogType, FormatLogArgs(MessageStr, Args), WithStacktrace);
    } catch (...) {
    }
}

void TBLLogController::AddToFileLog(const QString& MessageStr) {
    AddToFileLog(TMessageLogType::tmlMessage, MessageStr, false);
}

void TBLLogController::QueueEntry(TMessageLogType LogType, const QString& MessageStr, bool WithStacktrace) {
    std::shared_ptr<TBLFileLoggerThread> writer;
    {
        std::lock_guard guard(FThreadLock);
        writer = FThread;
    }
    if (!writer)
        return;
    QString trace;
    if (WithStacktrace) {
        // The innermost frames are the logging machinery itself; skip them by name rather than by a
        // fixed count, because optimised builds inline some of them.
        QStringList frames = Platform::StackTraceText(0).split(QLatin1Char('\n'));
        static const char* const own[] = {"TBLLogController::", "AddToLog(", "TBLBaseLoggingObject::Log",
                                          "Platform::StackTraceText"};
        while (!frames.isEmpty()
               && std::any_of(std::begin(own), std::end(own),
                              [&](const char* name) { return frames.front().contains(QLatin1String(name)); }))
            frames.removeFirst();
        trace = frames.join(QLatin1Char('\n'));
    }
    writer->AddEntry(QDateTime::currentMSecsSinceEpoch(), CachedThreadId(), LogType, MessageStr, trace);
}

void TBLLogController::StartLogging() {
    const TInsideLogging inside;
    std::lock_guard control(FControlLock);
    if (FStarted || FLoadedInIDE)
        return;
    FLoggingActive.store(true);
    try {
        CreateLoggerThread();
    } catch (...) {
        // No writable folder at all: nothing is accepted until the settings change.
        FLoggingActive.store(false);
        return;
    }
    GFatalAccepted.store(Accepts(TMessageLogType::tmlMessage, TLogChannel::lcApplication, QString(), QString()));
    if (!FStarted)
        return;
    std::shared_ptr<TBLFileLoggerThread> writer;
    {
        std::lock_guard guard(FThreadLock);
        writer = FThread;
    }
    const QString version = Platform::FileVersionText().isEmpty()
                                ? QStringLiteral("%1.%2").arg(Platform::FileVersionMajor()).arg(Platform::FileVersionMinor())
                                : Platform::FileVersionText();
    AddToFileLog(TMessageLogType::tmlMessage,
                 QStringLiteral("FileLoggerThread started, ThreadId = %1, Version = %2").arg(writer->ThreadId()).arg(version),
                 false);
    WriteSettingsToLog();
}

void TBLLogController::CreateLoggerThread() {
    FStartEvent = std::make_shared<TBLEvent>();
    FTerminateEvent = std::make_shared<TBLEvent>();
    auto settings = TBLDataObjectsFactory::CreateDefaultFileLoggerSettings();
    settings->SetLogFolder(FLogConfig->GetLogFolder());
    auto writer = std::make_shared<TBLFileLoggerThread>(FStartEvent, settings, FTerminateEvent);
    writer->Start();
    FStarted = FStartEvent->WaitFor(StartTimeout);
    std::lock_guard guard(FThreadLock);
    FThread = writer;
}

void TBLLogController::WriteSettingsToLog() {
    const TBLLogProps props = FLogConfig->GetLogProps();
    AddToFileLog(QStringLiteral("Log-Settings"));
    AddToFileLog(QStringLiteral("- LogTypes = %1").arg(LogTypesToText(props.LogTypes)));
    AddToFileLog(QStringLiteral("- LogChannel = %1").arg(LogChannelsToText(props.LogChannels)));
}

void TBLLogController::StopLogging() {
    const TInsideLogging inside;
    std::lock_guard control(FControlLock);
    if (!FStarted)
        return;
    AddToFileLog(QStringLiteral("FileLoggerThread wird beendet..."));
    TerminateLoggerThread();
    FLoggingActive.store(false);
    GFatalAccepted.store(false);
}

void TBLLogController::TerminateLoggerThread() {
    std::shared_ptr<TBLFileLoggerThread> writer;
    {
        std::lock_guard guard(FThreadLock);
        writer.swap(FThread);
    }
    if (writer)
        writer->Terminate();
    // The events are shared with the writer, so a writer that overruns the wait still finds them.
    if (FTerminateEvent)
        FTerminateEvent->WaitFor(TerminateTimeout);
    FStarted = false;
}

void TBLLogController::RestartIfNeeded(const TBLLogProps& OldConfig, const TBLLogProps& NewConfig) {
    const TInsideLogging inside;
    std::lock_guard control(FControlLock);
    if (!NewConfig.LogEnabled) {
        StopLogging();
    } else if (FLoggingActive.load()) {
        FLogConfig->Load();
        PublishFilter();
        if (OldConfig.LogFolder != NewConfig.LogFolder) {
            StopLogging();
            StartLogging();
        } else {
            WriteSettingsToLog();
        }
    } else {
        StartLogging();
    }
    PublishFilter();
}

void TBLLogController::ClearOldLogs(const IBLLogConfig& LogConfig) {
    const TBLLogProps props = LogConfig.GetLogProps();
    if (!props.AutoClear || props.KeepDays <= 0)
        return;
    const QString folder = props.LogFolder.isEmpty() ? TBLLoggingHelper::DefaultLogFolder() : props.LogFolder;
    const Platform::TDateTime now = TBLLoggingHelper::Now();
    const QFileInfoList files =
        QDir(folder).entryInfoList({TBLFileLogger::GetLogFileMask()}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo& file : files) {
        const auto written = Platform::FileLastWriteDateTime(file.absoluteFilePath());
        if (written && static_cast<qint64>(now - *written) >= props.KeepDays)
            QFile::remove(file.absoluteFilePath());
    }
}

void TBLLogController::ChangeLogFolder(const QString& NewLogFolder) {
    const TInsideLogging inside;
    std::lock_guard control(FControlLock);
    StopLogging();
    FLogConfig->SetLogFolder(NewLogFolder);
    StartLogging();
}

// ---- process-wide state and AddToLog ---------------------------------------------------------

namespace {
std::atomic<bool> GLoggingEnabled{true};
std::atomic<TBLLogController*> GController{nullptr};
std::once_flag GControllerOnce;

// Program end without an explicit FinalizeLogging: stop the writer while the runtime still stands.
struct TLoggingFinalizer {
    ~TLoggingFinalizer() { FinalizeLogging(); }
};
}  // namespace

bool LoggingEnabled() { return GLoggingEnabled.load(std::memory_order_relaxed); }

TBLLogController* LogController() {
    if (!LoggingEnabled())
        return nullptr;
    std::call_once(GControllerOnce, [] {
        // What the writer uses must be built before the finalizer, so that it is torn down after it.
        TBLLoggingHelper::LogUserName();
        TBLLoggingHelper::LogAppName();
        TBLLoggingHelper::FormatTimeStamp(TBLLoggingHelper::Now());
        static TLoggingFinalizer finalizer;
        const TInsideLogging inside;
        try {
            // Never freed: a producer on another thread may still hold it at program end.
            GController.store(new TBLLogController());
        } catch (...) {
            // Not retried: a process whose log cannot be set up runs without one.
        }
    });
    return GController.load(std::memory_order_acquire);
}

void FinalizeLogging() {
    if (!GLoggingEnabled.exchange(false))
        return;
    if (TBLLogController* controller = GController.load()) {
        try {
            controller->StopLogging();
        } catch (...) {
        }
    }
}

void AddToLog(TMessageLogType LogType, TLogChannel LogChannel, const QString& Table, bool WithStacktrace,
              const QString& MessageStr) {
    if (!LoggingEnabled())
        return;
    try {
        if (TBLLogController* controller = LogController())
            controller->AddToFileLog(LogType, LogChannel, Table, MessageStr, WithStacktrace);
    } catch (...) {
    }
}

void AddToLog(const QString& MessageStr) {
    AddToLog(TMessageLogType::tmlMessage, TLogChannel::lcApplication, QString(), false, MessageStr);
}

void AddToLog(const QString& FormatStr, const QVariantList& Args) {
    if (!LoggingEnabled())
        return;
    AddToLog(FormatLogArgs(FormatStr, Args));
}

void AddToLog(TMessageLogType LogType, TLogChannel LogChannel, const QString& FormatStr, const QVariantList& Args,
              bool WithStacktrace) {
    if (!LoggingEnabled())
        return;
    AddToLog(LogType, LogChannel, QString(), WithStacktrace, FormatLogArgs(FormatStr, Args));
}

QString FormatLogArgs(const QString& FormatStr, const QVariantList& Args) {
    QString result;
    result.reserve(FormatStr.size() + 16 * Args.size());
    qsizetype next = 0;
    for (qsizetype i = 0; i < FormatStr.size(); ++i) {
        const QChar c = FormatStr[i];
        if (c != u'%' || i + 1 >= FormatStr.size()) {
            result += c;
            continue;
        }
        qsizetype j = i + 1;
        if (FormatStr[j] == u'%') {
            result += u'%';
            i = j;
            continue;
        }
        const bool zeroPad = FormatStr[j] == u'0';
        int width = 0;
        while (j < FormatStr.size() && FormatStr[j].isDigit())
            width = width * 10 + FormatStr[j++].digitValue();
        if (j >= FormatStr.size()) {
            result += FormatStr.mid(i);
            break;
        }
        const QChar kind = FormatStr[j];
        if (QStringLiteral("sduxX").contains(kind) && next < Args.size()) {
            const QVariant& arg = Args[next++];
            QString text;
            if (kind == u's')
                text = arg.toString();
            else if (kind == u'd')
                text = QString::number(arg.toLongLong());
            else if (kind == u'u')
                text = QString::number(arg.toULongLong());
            else
                text = QString::number(arg.toULongLong(), 16);
            if (kind == u'X')
                text = text.toUpper();
            result += text.rightJustified(width, zeroPad ? u'0' : u' ');
            i = j;
        } else {
            result += FormatStr.mid(i, j - i + 1);  // unknown or missing argument: kept as written
            i = j;
        }
    }
    return result;
}

// ---- first-chance exceptions and fatal signals -----------------------------------------------

namespace {
std::atomic<bool> GHandlerBusy{false};            // one flag for the whole process
std::atomic<void*> GLastLoggedAddress{nullptr};
std::atomic<TBLVectoredExceptionHandler::TAppHandler> GAppHandler{nullptr};

void OnThrow(const Platform::TThrowEvent& Event) {
    // Exceptions of the writer itself would queue lines that make it write again: not logged.
    if (GIsWriterThread || GLoggingDepth > 0 || !LoggingEnabled())
        return;
    if (GHandlerBusy.exchange(true))
        return;
    try {
        const QString text = TBLVectoredExceptionHandler::ThrowText(Event);
        if (!text.isEmpty() && GLastLoggedAddress.load() != Event.ThrowAddress) {
            AddToLog(text);
            GLastLoggedAddress.store(Event.ThrowAddress);
            if (const auto handler = GAppHandler.load())
                handler(text);
        }
    } catch (...) {
    }
    GHandlerBusy.store(false);
}

// Runs inside a signal handler: no allocation, no locks. The line goes through a static slot the
// writer picks up; the handler then waits a bounded time so that the writer can put it (and all lines
// queued before it) into the file before the process dies. Without a running writer, or when the log
// does not take tmlMessage on lcApplication, nothing is written.
void OnFatalSignal(const Platform::TFatalSignalEvent& Event) {
    constexpr auto HandOverTimeout = std::chrono::milliseconds(2000);
    constexpr auto HandOverPoll = std::chrono::milliseconds(1);
    if (!GFatalAccepted.load() || GWritersRunning.load() == 0 || !LoggingEnabled())
        return;
    int expected = TFatalSlot::fsEmpty;
    if (!GFatalSlot.State.compare_exchange_strong(expected, TFatalSlot::fsFilling))
        return;  // a second fatal signal while the first is handed over
    char* out = GFatalSlot.Text;
    char* end = GFatalSlot.Text + sizeof(GFatalSlot.Text) - 1;
    out = AppendText(out, end, "Exception: Code = ");
    out = AppendHex(out, end, static_cast<std::uint64_t>(Event.Signal), 1, false);
    out = AppendText(out, end, ", Adresse = ");
    out = AppendHex(out, end, reinterpret_cast<std::uintptr_t>(Event.FaultAddress), 16, true);
    *out = '\0';
    GFatalSlot.ThreadId = Platform::CurrentThreadId();
    GFatalSlot.MSecsSinceEpoch = std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::system_clock::now().time_since_epoch()).count();
    GFatalSlot.State.store(TFatalSlot::fsReady, std::memory_order_release);
    GWriterWake.fetch_add(1, std::memory_order_release);
    GWriterWake.notify_all();
    for (auto waited = std::chrono::milliseconds(0); waited < HandOverTimeout; waited += HandOverPoll) {
        if (GFatalSlot.State.load(std::memory_order_acquire) == TFatalSlot::fsWritten)
            return;
        std::this_thread::sleep_for(HandOverPoll);
    }
}
}  // namespace

QString TBLVectoredExceptionHandler::ThrowText(const Platform::TThrowEvent& Event) {
    const QString address =
        QStringLiteral("%1").arg(reinterpret_cast<std::uintptr_t>(Event.ThrowAddress), 8, 16, QLatin1Char('0')).toUpper();
    if (!Event.Type) {
        return QStringLiteral("Exception: Code = %1, Adresse = %2").arg(0, 0, 16).arg(address);
    }
    QString className;
    QString message;
    if (auto* own = static_cast<Exception*>(Platform::ThrownObjectAs(Event, typeid(Exception)))) {
        className = QString::fromLatin1(own->ClassName());
        message = own->Message();
    } else {
        className = ClassNameOf(*Event.Type);
        if (auto* std = static_cast<std::exception*>(Platform::ThrownObjectAs(Event, typeid(std::exception))))
            message = QString::fromUtf8(std->what());
    }
    return address + QStringLiteral(" - ") + className + QStringLiteral(": ") + message;
}

void TBLVectoredExceptionHandler::InitializeExceptionHandler(TAppHandler AppHandler) {
    GHandlerBusy.store(false);
    GAppHandler.store(AppHandler);
    Platform::InitializeStackTrace();
    Platform::InitializeExceptionHook(&OnThrow, &OnFatalSignal);
}

void TBLVectoredExceptionHandler::FinalizeExceptionHandler() {
    Platform::FinalizeExceptionHook();
    GAppHandler.store(nullptr);
}


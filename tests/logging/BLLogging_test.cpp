#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "LogTestSupport.h"
#include "TestSupport.h"
#include "logging/BLDataObjectsFactory.h"
#include "logging/BLLogging.h"
#include "platform/Clock.h"
#include "platform/KnownFolders.h"
#include "platform/ProcessInfo.h"

using enum TMessageLogType;
using enum TLogChannel;
using enum TLogSQLCommand;

namespace {

Platform::TDateTime At(int Year, int Month, int Day, int Hour, int Minute, int Second, int MilliSecond) {
    return *Platform::EncodeDateTime(Year, Month, Day, Hour, Minute, Second, MilliSecond);
}

std::shared_ptr<TBLFileLoggerSettings> FolderSettings(const QString& Folder) {
    auto settings = std::make_shared<TBLFileLoggerSettings>();
    settings->SetLogFolder(Folder);
    return settings;
}

void Touch(const QString& Path, const QDateTime& Modified) {
    WriteBytes(Path, "x");
    QFile file(Path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(Modified, QFileDevice::FileModificationTime));
}

// Mounts a tiny tmpfs for the lifetime of the object; Mounted() is false where that is not permitted.
class TTinyFileSystem {
public:
    explicit TTinyFileSystem(const QString& Folder) : FFolder(Folder) {
        QDir().mkpath(Folder);
        FMounted = QProcess::execute(QStringLiteral("mount"),
                                     {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                                      QStringLiteral("size=64k"), QStringLiteral("tmpfs"), Folder}) == 0;
    }
    ~TTinyFileSystem() {
        if (FMounted)
            QProcess::execute(QStringLiteral("umount"), {FFolder});
    }
    bool Mounted() const { return FMounted; }

private:
    QString FFolder;
    bool FMounted = false;
};

}  // namespace

// ---- entries and their text ------------------------------------------------------------------

TEST(TBLLoggingHelper, EntryLineJoinsSevenFieldsWithTabs) {
    const auto entry = TBLLogEntry::GetLogEntry(At(2026, 12, 9, 14, 39, 51, 7), 4711, QStringLiteral("two\nlines"),
                                                QString(), tmlWarning, QStringLiteral("dom\\user"),
                                                QStringLiteral("RQCatalog"), QString());
    EXPECT_EQ(TBLLoggingHelper::LogEntryToString(entry),
              QStringLiteral("09.12.2026 14:39:51.007\t[Warning]\tdom\\user\tRQCatalog\t\t<4711>\ttwo\nlines"));
}

TEST(TBLLoggingHelper, TypeLabelsCoverEveryTypeAndUnknownValues) {
    struct Row { TMessageLogType Type; const char* Label; };
    const Row rows[] = {{tmlMessage, "[Info]"}, {tmlWarning, "[Warning]"}, {tmlError, "[Error]"},
                        {tmlDebug, "[Debug]"}, {static_cast<TMessageLogType>(9), "[Unknown]"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Label);
        const auto entry = TBLLogEntry::GetLogEntry(At(2026, 1, 2, 3, 4, 5, 6), 1, QStringLiteral("m"), QString(),
                                                    row.Type, QStringLiteral("u"), QStringLiteral("a"), QStringLiteral("p"));
        EXPECT_EQ(TBLLoggingHelper::LogEntryToString(entry).split(QLatin1Char('\t')).value(1), QLatin1String(row.Label));
    }
}

TEST(TBLLoggingHelper, ShortEntryTakesThisProcessAndThread) {
    const auto entry = TBLDataObjectsFactory::CreateLogEntry(QStringLiteral("hello"), tmlError);
    EXPECT_EQ(entry->GetThreadId(), Platform::CurrentThreadId());
    EXPECT_EQ(entry->GetAppName(), Platform::ExecutableFileName());
    EXPECT_TRUE(entry->GetUserName().endsWith(QLatin1Char('\\') + Platform::LoginUserName()));
    EXPECT_EQ(entry->GetLogType(), tmlError);
    EXPECT_TRUE(entry->GetPluginName().isEmpty());
    EXPECT_TRUE(entry->GetStackTrace().isEmpty());
    EXPECT_LT(std::abs(entry->GetTimeStamp() - Platform::NowDateTime()), 60.0 / 86400.0);
}

TEST(TBLLoggingHelper, FormatLogTextBuildsTheLeadIn) {
    struct Row { const char* Name; QString Msg; TMessageLogType Type; bool Stamp; QString Prefix; QString Pattern; };
    const Row rows[] = {
        {"empty stays empty", QString(), tmlError, true, QStringLiteral("P"), QStringLiteral("^$")},
        {"separator stays bare", QStringLiteral("----------"), tmlWarning, true, QString(), QStringLiteral("^----------$")},
        {"message without lead-in", QStringLiteral("m"), tmlMessage, false, QString(), QStringLiteral("^m$")},
        {"prefix and warning", QStringLiteral("m"), tmlWarning, false, QStringLiteral("P"), QStringLiteral("^P \\[W\\] m$")},
        {"error mark", QStringLiteral("m"), tmlError, false, QString(), QStringLiteral("^\\[E\\] m$")},
        {"debug has no mark", QStringLiteral("m"), tmlDebug, false, QString(), QStringLiteral("^m$")},
        {"time stamp in front", QStringLiteral("m"), tmlError, true, QStringLiteral("P"),
         QStringLiteral("^\\[\\d{4}-\\d{2}-\\d{2} \\d{2}:\\d{2}:\\d{2}\\] P \\[E\\] m$")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString text = TBLLoggingHelper::FormatLogText(row.Msg, row.Type, row.Stamp, row.Prefix);
        EXPECT_TRUE(QRegularExpression(row.Pattern).match(text).hasMatch()) << text.toStdString();
    }
}

TEST(TBLLoggingHelper, DefaultLogFolderIsBelowProgramData) {
    TTempEnvironment env;
    EXPECT_EQ(TBLLoggingHelper::DefaultLogFolder(),
              env.Root() + QStringLiteral("/programdata/Orvanta/") + Platform::ExecutableBaseName() + QStringLiteral("/Logs"));
}

// ---- set texts -------------------------------------------------------------------------------

TEST(LogSetTexts, ParsingTakesEveryMemberNamedAnywhere) {
    struct Row { const char* Name; QString Text; std::uint8_t TypeMask; std::uint16_t ChannelMask; std::uint8_t CommandMask; };
    const Row rows[] = {
        {"comma list", QStringLiteral("tmlMessage,tmlError,lcDatabase,scDelete"), 0b0101, 0b10, 0b1000},
        {"order and separator do not matter", QStringLiteral("tmlError;tmlMessage"), 0b0101, 0, 0},
        {"unknown names are ignored", QStringLiteral("tmlNothing, lcNowhere"), 0, 0, 0},
        {"names are case-sensitive", QStringLiteral("TMLERROR,lcdebug"), 0, 0, 0},
        // The odd capital I of IcImageConvert is how it is stored.
        {"odd spelling", QStringLiteral("IcImageConvert,lcDebug"), 0, (1u << 4) | (1u << 11), 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(LogTypesFromText(row.Text).Mask(), row.TypeMask);
        EXPECT_EQ(LogChannelsFromText(row.Text).Mask(), row.ChannelMask);
        EXPECT_EQ(LogSQLCommandsFromText(row.Text).Mask(), row.CommandMask);
    }
}

TEST(LogSetTexts, WritingJoinsNamesInOrdinalOrder) {
    const TBLLogProps defaults;
    EXPECT_EQ(defaults.LogTypes.Mask(), 7);
    EXPECT_EQ(defaults.LogChannels.Mask(), 139);
    EXPECT_EQ(defaults.LogSQLProps.LogSQLCommands.Mask(), 14);
    EXPECT_EQ(LogTypesToText(TMessageLogTypes{tmlDebug, tmlMessage}), QStringLiteral("tmlMessage,tmlDebug"));
    EXPECT_EQ(LogChannelsToText(defaults.LogChannels), QStringLiteral("lcApplication,lcDatabase,lcImageViewer,lcImport"));
    EXPECT_EQ(LogSQLCommandsToText({}), QString());
}

// ---- settings --------------------------------------------------------------------------------

TEST(TBLLogConfigDefault, CreationWithoutKeySavesTheDefaults) {
    TTempEnvironment env;
    int saved = 0;
    TBLLogConfigDefault config([&](const TBLLogProps&, const TBLLogProps& NewProps) {
        ++saved;
        EXPECT_FALSE(NewProps.LogEnabled);
    });
    EXPECT_EQ(saved, 1);
    Platform::TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QLatin1Char('\\') + DebugLogRegistryKey));
    const std::pair<const char*, const char*> expected[] = {
        {"Active", "0"}, {"AutoClear", "0"}, {"KeepDays", "0"}, {"LogTables", ""}, {"LogFolder", ""},
        {"Type", "tmlMessage,tmlWarning,tmlError"}, {"Channels", "lcApplication,lcDatabase,lcImageViewer,lcImport"},
        {"SQLCommands", "scInsert,scUpdate,scDelete"}, {"", ""}};
    for (const auto& [name, value] : expected) {
        SCOPED_TRACE(name);
        EXPECT_EQ(reg.ReadString(QLatin1String(name)), std::optional<QString>(QLatin1String(value)));
    }
}

TEST(TBLLogConfigDefault, LoadReadsTheRegistryWithItsRules) {
    struct Row {
        const char* Name;
        QMap<QString, QString> Values;
        bool Enabled; std::uint8_t Types; std::uint16_t Channels; std::uint8_t Commands; int KeepDays;
    };
    const Row rows[] = {
        {"named sets", {{"Active", "1"}, {"Type", "tmlError;tmlMessage"}, {"Channels", "lcDebug"}}, true, 0b101, 1u << 11, 14, 0},
        // Commands read are added to those held, so select alone yields all four.
        {"select adds to the defaults", {{"Type", ""}, {"SQLCommands", "scSelect"}}, false, 0, 0, 15, 0},
        {"older single switches", {{"LogWarning", "1"}, {"LogDBChannel", "1"}, {"LogDebug", "0"}}, false, 0b010, 0b10, 14, 0},
        {"hexadecimal and garbage numbers", {{"Type", "tmlDebug"}, {"KeepDays", "0x10"}, {"Active", "yes"}}, false, 0b1000, 0, 14, 16},
        {"text that is no number", {{"Type", ""}, {"KeepDays", "ten"}, {"Active", " 2 "}}, true, 0, 0, 14, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempEnvironment env;
        SetLogRegistry(row.Values);
        TBLLogConfigDefault config(nullptr);
        config.Load();
        const TBLLogProps props = config.GetLogProps();
        EXPECT_EQ(props.LogEnabled, row.Enabled);
        EXPECT_EQ(props.LogTypes.Mask(), row.Types);
        EXPECT_EQ(props.LogChannels.Mask(), row.Channels);
        EXPECT_EQ(props.LogSQLProps.LogSQLCommands.Mask(), row.Commands);
        EXPECT_EQ(props.KeepDays, row.KeepDays);
    }
}

TEST(TBLLogConfigDefault, ValueOfAnotherTypeReadsAsDefault) {
    TTempEnvironment env;
    Platform::TRegistry reg = OpenDebugLogKey();
    ASSERT_TRUE(reg.WriteInteger(QStringLiteral("Active"), 1));
    ASSERT_TRUE(reg.WriteInteger(QStringLiteral("KeepDays"), 5));
    TBLLogConfigDefault config(nullptr);
    config.Load();
    EXPECT_FALSE(config.GetLogProps().LogEnabled);
    EXPECT_EQ(config.GetLogProps().KeepDays, 0);
}

TEST(TBLLogConfigDefault, SaveWritesNamesAndRemovesOlderSwitches) {
    TTempEnvironment env;
    SetLogRegistry({{"LogDebug", "1"}, {"LogImageViewer", "1"}});
    std::vector<std::pair<TBLLogProps, TBLLogProps>> calls;
    TBLLogConfigDefault config([&](const TBLLogProps& OldProps, const TBLLogProps& NewProps) { calls.emplace_back(OldProps, NewProps); });
    config.Load();
    TBLLogProps props = config.GetLogProps();
    props.LogEnabled = true;
    props.LogTypes = {tmlDebug, tmlError};
    props.KeepDays = -3;
    props.LogFolder = QStringLiteral("/x/y");
    config.SetLogProps(props);
    config.Save();

    ASSERT_EQ(calls.size(), 1u);
    EXPECT_FALSE(calls[0].first.LogEnabled);
    EXPECT_TRUE(calls[0].second.LogEnabled);
    Platform::TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QLatin1Char('\\') + DebugLogRegistryKey));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("LogDebug")));
    EXPECT_FALSE(reg.ValueExists(QStringLiteral("LogImageViewer")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Type")), std::optional<QString>(QStringLiteral("tmlError,tmlDebug")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Channels")), std::optional<QString>(QStringLiteral("lcImageViewer")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("KeepDays")), std::optional<QString>(QStringLiteral("-3")));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Active")), std::optional<QString>(QStringLiteral("1")));

    TBLLogConfigDefault again(nullptr);
    again.Load();
    EXPECT_EQ(again.GetLogProps(), props);
}

// ---- file logger -----------------------------------------------------------------------------

TEST(TBLFileLogger, WritesUtf8LinesWithMarkIntoAStampedFile) {
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    QDir().mkpath(folder);
    TBLFileLogger logger(FolderSettings(folder));
    logger.WriteLine(QStringLiteral("erste Zeile äö"));
    logger.WriteLine(QStringLiteral("second"));

    const QStringList files = FindLogFiles(folder);
    ASSERT_EQ(files.size(), 1);
    const QString expectedName = QStringLiteral("^%1_PID_%2__\\d{8}_\\d{6}\\.log$")
                                     .arg(QRegularExpression::escape(Platform::ExecutableFileName()))
                                     .arg(Platform::CurrentProcessId());
    EXPECT_TRUE(QRegularExpression(expectedName).match(QFileInfo(files[0]).fileName()).hasMatch()) << files[0].toStdString();
    EXPECT_EQ(ReadBytes(files[0]), QByteArray("\xEF\xBB\xBF") + QStringLiteral("erste Zeile äö\r\nsecond\r\n").toUtf8());
    EXPECT_EQ(logger.LogFile(), files[0]);
}

TEST(TBLFileLogger, RegistryFileNameNamesTheStem) {
    TTempEnvironment env;
    SetLogRegistry({{"FileName", "Viewer.bin"}});
    TBLFileLogger logger(FolderSettings(env.FilePath(QStringLiteral("programdata"))));
    EXPECT_EQ(logger.FileLoggerSettings()->GetLogFileName(), QStringLiteral("Viewer.bin_PID_%1_").arg(Platform::CurrentProcessId()));
}

TEST(TBLFileLogger, MissingOrEmptyFolderMeansTheDefaultFolder) {
    for (const QString& configured : {QStringLiteral("missing/folder"), QString()}) {
        SCOPED_TRACE(configured.toStdString());
        TTempEnvironment env;
        const QString path = configured.isEmpty() ? QString() : env.FilePath(configured);
        TBLFileLogger logger(FolderSettings(path));
        EXPECT_EQ(logger.FileLoggerSettings()->GetLogFolder(), TBLLoggingHelper::DefaultLogFolder());
        EXPECT_TRUE(QFileInfo(TBLLoggingHelper::DefaultLogFolder()).isDir());
        if (!path.isEmpty()) {
            EXPECT_FALSE(QFileInfo::exists(path));
        }
    }
}

TEST(TBLFileLogger, UnusableDefaultFolderFallsBackToTheTemporaryFolder) {
    TTempEnvironment env;
    // ProgramData is a file, so no log folder can be made below it.
    const QString blocker = env.FilePath(QStringLiteral("blocker"));
    WriteBytes(blocker, "file");
    env.Set("BL_PROGRAMDATA", blocker);
    TBLFileLogger logger(FolderSettings(QString()));
    const QString folder = logger.FileLoggerSettings()->GetLogFolder();
    EXPECT_FALSE(folder.startsWith(blocker));
    EXPECT_TRUE(TBLFileLogger::IsFolderWritable(folder));
}

TEST(TBLFileLogger, FolderReplacedByFileDropsLinesAndWarnsOnce) {
    struct Row { const char* Name; bool ShowError; bool IsService; size_t Messages; };
    const Row rows[] = {{"asked to show", true, false, 1}, {"a service shows nothing", true, true, 0},
                        {"not asked", false, false, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempEnvironment env;
        TRecordingPresenter presenter;
        const QString folder = env.FilePath(QStringLiteral("logs"));
        QDir().mkpath(folder);
        auto settings = FolderSettings(folder);
        settings->SetShowErrorIfNoWritePermissions(row.ShowError);
        settings->SetIsService(row.IsService);
        TBLFileLogger logger(settings);
        ASSERT_TRUE(QDir(folder).removeRecursively());
        WriteBytes(folder, "now a file");
        EXPECT_NO_THROW(logger.WriteLine(QStringLiteral("one")));
        EXPECT_NO_THROW(logger.WriteLine(QStringLiteral("two")));
        ASSERT_EQ(presenter.Messages().size(), row.Messages);
        if (row.Messages > 0) {
            EXPECT_EQ(presenter.Messages()[0].Text, QStringLiteral("Cannot write log file!"));
        }
        EXPECT_EQ(ReadBytes(folder), QByteArray("now a file"));
        EXPECT_FALSE(settings->GetShowErrorIfNoWritePermissions());
    }
}

TEST(TBLFileLogger, FullDiskLosesTheLineAndRaisesOnlyWhenAsked) {
    TTempEnvironment env;
    const QString mount = env.FilePath(QStringLiteral("tiny"));
    TTinyFileSystem tiny(mount);
    if (!tiny.Mounted())
        GTEST_SKIP() << "mounting a tmpfs is not permitted here";
    const QString folder = mount + QStringLiteral("/logs");
    QDir().mkpath(folder);
    WriteBytes(mount + QStringLiteral("/filler"), QByteArray(60 * 1024, 'f'));
    auto settings = FolderSettings(folder);
    TBLFileLogger logger(settings);
    const QString big(8 * 1024, QLatin1Char('x'));
    EXPECT_NO_THROW(logger.WriteLine(big));
    settings->SetShowErrorIfNoWritePermissions(true);
    try {
        logger.WriteLine(big);
        ADD_FAILURE() << "a full disk must raise when asked to";
    } catch (const EBLLogError& e) {
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Fehler beim Schreiben der Logdatei: "))) << e.what();
    }
}

TEST(TBLFileLogger, SurplusFilesAreRemovedOldestFirst) {
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    const QDateTime now = QDateTime::currentDateTime();
    for (int age = 1; age <= 4; ++age)
        Touch(folder + QStringLiteral("/old_%1.log").arg(age), now.addDays(-age));
    Touch(folder + QStringLiteral("/other.log"), now.addDays(-10));  // no "_": not one of ours
    auto settings = FolderSettings(folder);
    settings->SetMaxCount(3);
    TBLFileLogger logger(settings);
    logger.WriteLine(QStringLiteral("line"));
    QStringList left = QDir(folder).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(left, (QStringList{QFileInfo(logger.LogFile()).fileName(), QStringLiteral("old_1.log"),
                                 QStringLiteral("old_2.log"), QStringLiteral("other.log")}));
}

TEST(TBLFileLogger, WithoutLimitsOneFileIsWrittenAndNothingDeleted) {
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    Touch(folder + QStringLiteral("/ancient_1.log"), QDateTime::currentDateTime().addYears(-3));
    TBLFileLogger logger(TBLDataObjectsFactory::CreateDefaultFileLoggerSettings());
    logger.FileLoggerSettings()->SetLogFolder(folder);
    for (int i = 0; i < 50; ++i)
        logger.WriteLine(QString(100, QLatin1Char('a' + i % 26)));
    EXPECT_EQ(QDir(folder).entryList(QDir::Files).size(), 2);
    EXPECT_EQ(ReadLogLines(logger.LogFile()).size(), 50);
}

TEST(TBLFileLogger, FullFileStartsANewOne) {
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    QDir().mkpath(folder);
    auto settings = FolderSettings(folder);
    settings->SetMaxSize(1);
    TBLFileLogger logger(settings);
    logger.WriteLine(QString(1100, QLatin1Char('a')));
    const QString first = logger.LogFile();
    // File names carry the second; wait until the next name differs from the first.
    ASSERT_TRUE(WaitFor([&] {
        return Platform::FormatDateTime(u"_yyyymmdd_hhnnss", Platform::NowDateTime()) != first.right(20).left(16);
    }, std::chrono::seconds(3)));
    logger.WriteLine(QStringLiteral("b"));
    EXPECT_NE(logger.LogFile(), first);
    EXPECT_EQ(ReadLogLines(logger.LogFile()), QStringList{QStringLiteral("b")});
    EXPECT_EQ(ReadLogLines(first).size(), 1);
}

TEST(TBLFileLogger, EntryWithStackTraceWritesItAfterTheLine) {
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    QDir().mkpath(folder);
    TBLFileLogger logger(FolderSettings(folder));
    auto entry = TBLDataObjectsFactory::CreateLogEntry(QStringLiteral("failed"), tmlError);
    entry->SetStackTrace(QStringLiteral("#0 a\n#1 b"));
    logger.WriteEntry(entry);
    logger.WriteMessage(QStringLiteral("----------"), tmlError);
    const QStringList lines = ReadLogLines(logger.LogFile());
    ASSERT_EQ(lines.size(), 3);
    EXPECT_EQ(MessageOf(lines[0]), QStringLiteral("failed"));
    EXPECT_EQ(lines[1], QStringLiteral("#0 a\n#1 b"));
    EXPECT_EQ(lines[2], QStringLiteral("----------"));
}

// ---- background writer -----------------------------------------------------------------------

TEST(TBLFileLoggerThread, LinesQueuedBeforeStopAreWrittenBeforeTheLastEntry) {
    // The stop request used to leave lines still queued unwritten, the shutdown line among them.
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    QDir().mkpath(folder);
    auto started = std::make_shared<TBLEvent>();
    auto ended = std::make_shared<TBLEvent>();
    auto writer = std::make_shared<TBLFileLoggerThread>(started, FolderSettings(folder), ended);
    writer->Start();
    ASSERT_TRUE(started->WaitFor(std::chrono::seconds(10)));
    constexpr int count = 3000;
    for (int i = 0; i < count; ++i)
        writer->AddToFileLog(QStringLiteral("line %1").arg(i));
    writer->Terminate();
    writer.reset();  // the thread keeps its own reference until its loop ends
    ASSERT_TRUE(ended->WaitFor(std::chrono::seconds(30)));
    const QStringList files = FindLogFiles(folder);
    ASSERT_EQ(files.size(), 1);
    const QStringList lines = ReadLogLines(files[0]);
    ASSERT_EQ(lines.size(), count + 1);
    for (int i = 0; i < count; ++i)
        ASSERT_EQ(lines[i], QStringLiteral("line %1").arg(i));
    EXPECT_EQ(MessageOf(lines.last()), QStringLiteral("TBLFileLoggerThread terminated"));
}

// ---- controller: filter on a dedicated instance ----------------------------------------------

TEST(TBLLogController, FilterFollowsTypesChannelsAndSqlRules) {
    struct Row {
        const char* Name;
        QMap<QString, QString> Settings;
        TMessageLogType Type; TLogChannel Channel; QString Table; QString Message; bool Accepted;
    };
    const QMap<QString, QString> plain{{"Type", "tmlMessage,tmlError"}, {"Channels", "lcApplication,lcDatabase"}};
    const Row rows[] = {
        {"selected type and channel", plain, tmlError, lcApplication, {}, QStringLiteral("x"), true},
        {"type not selected", plain, tmlWarning, lcApplication, {}, QStringLiteral("x"), false},
        {"channel not selected", plain, tmlMessage, lcImport, {}, QStringLiteral("x"), false},
        {"debug without lcDebug", {{"Type", "tmlDebug"}, {"Channels", "lcApplication"}}, tmlDebug, lcApplication, {}, QStringLiteral("x"), true},
        {"debug through lcDebug on any channel", {{"Type", "tmlMessage"}, {"Channels", "lcDebug"}}, tmlDebug, lcImport, {}, QStringLiteral("x"), true},
        {"select dropped without scSelect", plain, tmlMessage, lcDatabase, QStringLiteral("parts"), QStringLiteral("SeLeCt * from parts"), false},
        {"select kept with scSelect", {{"Type", "tmlMessage"}, {"Channels", "lcDatabase"}, {"SQLCommands", "scSelect"}},
         tmlMessage, lcDatabase, {}, QStringLiteral("SELECT 1"), true},
        {"no command word", plain, tmlMessage, lcDatabase, {}, QStringLiteral("connected"), false},
        {"table named in the text", {{"Type", "tmlMessage"}, {"Channels", "lcDatabase"}, {"LogTables", "Orders,PARTS"}},
         tmlMessage, lcDatabase, {}, QStringLiteral("update parts set x=1"), true},
        {"table given as argument", {{"Type", "tmlMessage"}, {"Channels", "lcDatabase"}, {"LogTables", "orders,parts"}},
         tmlMessage, lcDatabase, QStringLiteral("Parts"), QStringLiteral("insert into t1"), true},
        {"other table", {{"Type", "tmlMessage"}, {"Channels", "lcDatabase"}, {"LogTables", "orders"}},
         tmlMessage, lcDatabase, QStringLiteral("parts"), QStringLiteral("delete from parts"), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempEnvironment env;
        SetLogRegistry(row.Settings);
        TBLLogController controller;
        EXPECT_FALSE(controller.LoggingActive());
        EXPECT_EQ(controller.Accepts(row.Type, row.Channel, row.Table, row.Message), row.Accepted);
    }
}

TEST(TBLLogController, FormatLogArgsFillsDelphiPlaceholders) {
    struct Row { QString Format; QVariantList Args; QString Expected; };
    const Row rows[] = {
        {QStringLiteral("%s and %d"), {QStringLiteral("text"), -5}, QStringLiteral("text and -5")},
        {QStringLiteral("%x|%X|%08X|%%"), {255, 255, 48879}, QStringLiteral("ff|FF|0000BEEF|%")},
        {QStringLiteral("missing %s"), {}, QStringLiteral("missing %s")},
        {QStringLiteral("trailing %"), {1}, QStringLiteral("trailing %")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Format.toStdString());
        EXPECT_EQ(FormatLogArgs(row.Format, row.Args), row.Expected);
    }
}

// ---- controller: process-wide behaviour, one fresh process per case ---------------------------

TEST(TBLLogController, LoggingOffCreatesDefaultsButNoWriter) {
    TTempEnvironment env;
    const TLogRun run = RunLogHelper({QStringLiteral("state")});
    ASSERT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Facts.value(QStringLiteral("active")), QStringLiteral("0"));
    EXPECT_EQ(run.Facts.value(QStringLiteral("threads")), QStringLiteral("1"));
    EXPECT_TRUE(FindLogFiles(env.Root()).isEmpty());
    Platform::TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(QLatin1Char('\\') + DebugLogRegistryKey));
    EXPECT_EQ(reg.ReadString(QStringLiteral("Active")), std::optional<QString>(QStringLiteral("0")));
}

TEST(TBLLogController, LogStartsWithSettingsAndEndsWithStopLines) {
    TTempEnvironment env;
    SetLogRegistry({{"Active", "1"}, {"Type", "tmlMessage,tmlWarning,tmlError"}, {"Channels", "lcApplication,lcImport"}});
    const TLogRun run = RunLogHelper({QStringLiteral("lines"), QStringLiteral("3")});
    ASSERT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Facts.value(QStringLiteral("started")), QStringLiteral("1"));
    const QStringList files = FindLogFiles(env.FilePath(QStringLiteral("programdata/Orvanta/logging_loghelper/Logs")));
    ASSERT_EQ(files.size(), 1);
    const QStringList lines = ReadLogLines(files[0]);
    QStringList messages;
    for (const QString& line : lines) {
        messages << MessageOf(line);
        EXPECT_EQ(line.split(QLatin1Char('\t')).value(1), QStringLiteral("[Info]"));
    }
    ASSERT_EQ(messages.size(), 9);
    EXPECT_TRUE(messages[0].startsWith(QStringLiteral("FileLoggerThread started, ThreadId = "))) << messages[0].toStdString();
    EXPECT_TRUE(messages[0].endsWith(QStringLiteral(", Version = ") + Platform::FileVersionText()));
    EXPECT_EQ(messages.mid(1, 3), (QStringList{QStringLiteral("Log-Settings"),
                                               QStringLiteral("- LogTypes = tmlMessage,tmlWarning,tmlError"),
                                               QStringLiteral("- LogChannel = lcApplication,lcImport")}));
    EXPECT_EQ(messages.mid(4, 4), (QStringList{QStringLiteral("line 0"), QStringLiteral("line 1"), QStringLiteral("line 2"),
                                               QStringLiteral("FileLoggerThread wird beendet...")}));
    EXPECT_EQ(messages.last(), QStringLiteral("TBLFileLoggerThread terminated"));
}

TEST(TBLLogController, DebugMessagesFollowTheDebugChannel) {
    for (const bool debugChannel : {false, true}) {
        SCOPED_TRACE(debugChannel);
        TTempEnvironment env;
        SetLogRegistry({{"Active", "1"}, {"Type", "tmlMessage"},
                        {"Channels", debugChannel ? "lcApplication,lcDebug" : "lcApplication"}});
        ASSERT_EQ(RunLogHelper({QStringLiteral("lines"), QStringLiteral("1")}).ExitCode, 0);
        const QStringList files = FindLogFiles(env.Root());
        ASSERT_EQ(files.size(), 1);
        const QStringList lines = ReadLogLines(files[0]);
        const bool found = std::any_of(lines.begin(), lines.end(), [](const QString& line) {
            return MessageOf(line) == QLatin1String("debug line") && line.contains(QLatin1String("\t[Debug]\t"));
        });
        EXPECT_EQ(found, debugChannel);
    }
}

TEST(TBLLogController, DevelopmentEnvironmentNeverLogs) {
    TTempEnvironment env;
    SetLogRegistry(ActiveLogSettings());
    const QString ide = env.FilePath(QStringLiteral("ide/bds.exe"));
    QDir().mkpath(env.FilePath(QStringLiteral("ide")));
    ASSERT_TRUE(QFile::copy(LogHelperPath(), ide));
    const TLogRun run = RunLogHelper({QStringLiteral("lines"), QStringLiteral("2")}, ide);
    ASSERT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Facts.value(QStringLiteral("active")), QStringLiteral("0"));
    EXPECT_EQ(run.Facts.value(QStringLiteral("threads")), QStringLiteral("1"));
    EXPECT_TRUE(FindLogFiles(env.Root()).isEmpty());
}

TEST(TBLLogController, SameThrowSiteTwiceInARowIsLoggedOnce) {
    TTempEnvironment env;
    SetLogRegistry(ActiveLogSettings());
    ASSERT_EQ(RunLogHelper({QStringLiteral("throw")}).ExitCode, 0);
    const QStringList files = FindLogFiles(env.Root());
    ASSERT_EQ(files.size(), 1);
    QStringList thrown;
    const QRegularExpression form(QStringLiteral("^[0-9A-F]{8,} - (.*)$"));
    for (const QString& line : ReadLogLines(files[0])) {
        const auto match = form.match(MessageOf(line));
        if (match.hasMatch())
            thrown << match.captured(1);
    }
    EXPECT_EQ(thrown, (QStringList{QStringLiteral("std::runtime_error: site A 0"), QStringLiteral("EStreamError: site B 0"),
                                   QStringLiteral("std::runtime_error: site A 10"), QStringLiteral("EStreamError: site B 1"),
                                   QStringLiteral("std::runtime_error: site A 11")}));
}

TEST(TBLLogController, FatalSignalLineFollowsEverythingQueuedBefore) {
    TTempEnvironment env;
    SetLogRegistry(ActiveLogSettings());
    const TLogRun run = RunLogHelper({QStringLiteral("crash"), QStringLiteral("200")});
    EXPECT_TRUE(run.Crashed);
    const QStringList files = FindLogFiles(env.Root());
    ASSERT_EQ(files.size(), 1);
    const QStringList lines = ReadLogLines(files[0]);
    ASSERT_GE(lines.size(), 201);
    for (int i = 0; i < 200; ++i)
        ASSERT_EQ(MessageOf(lines[lines.size() - 201 + i]), QStringLiteral("before crash %1").arg(i));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^Exception: Code = b, Adresse = [0-9A-F]{16}$"))
                    .match(MessageOf(lines.last())).hasMatch()) << lines.last().toStdString();
}

TEST(TBLLogController, ManyThreadsLoseNoLineAndKeepTheirOrder) {
    TTempEnvironment env;
    SetLogRegistry(ActiveLogSettings());
    constexpr int threads = 8;
    constexpr int perThread = 100000;
    const TLogRun run = RunLogHelper({QStringLiteral("stress"), QString::number(perThread), QString::number(threads)},
                                     LogHelperPath(), 600000);
    ASSERT_EQ(run.ExitCode, 0);
    const QStringList files = FindLogFiles(env.Root());
    ASSERT_EQ(files.size(), 1);
    const QStringList lines = ReadLogLines(files[0]);
    std::vector<int> next(threads, 0);
    const QRegularExpression form(QStringLiteral("^stress T(\\d+) N(\\d+)$"));
    int stressLines = 0;
    for (const QString& line : lines) {
        ASSERT_EQ(line.count(QLatin1Char('\t')), 6) << line.toStdString();
        const auto match = form.match(MessageOf(line));
        if (!match.hasMatch())
            continue;
        const int thread = match.captured(1).toInt();
        ASSERT_LT(thread, threads);
        ASSERT_EQ(match.captured(2).toInt(), next[thread]) << "thread " << thread;
        ++next[thread];
        ++stressLines;
    }
    EXPECT_EQ(stressLines, threads * perThread);
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(MessageOf(lines[lines.size() - 2]), QStringLiteral("FileLoggerThread wird beendet..."));
    EXPECT_EQ(MessageOf(lines.last()), QStringLiteral("TBLFileLoggerThread terminated"));
}

TEST(TBLLogController, SettingsFileBesideTheProgramOverridesTheRegistry) {
    struct Row { const char* Name; QByteArray Ini; bool RegistryActive; const char* Active; };
    const Row rows[] = {
        {"file switches on", "[DebugLog]\r\nActive=1\r\nType=tmlMessage\r\nChannels=lcApplication\r\n", false, "1"},
        {"file switches off", "[DebugLog]\nActive=0\nType=tmlMessage\nChannels=lcApplication\n", true, "0"},
        {"hexadecimal switch", "\xEF\xBB\xBF[debuglog]\nActive=0x10\n", false, "1"},
        // Garbage reads as defaults: logging stays off whatever the registry says.
        {"garbage", QByteArray("\x00\xFF\xFE[Debug\x1A\nActive=\x01\x02", 16), true, "0"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempEnvironment env;
        QMap<QString, QString> settings = ActiveLogSettings();
        settings[QStringLiteral("Active")] = row.RegistryActive ? QStringLiteral("1") : QStringLiteral("0");
        SetLogRegistry(settings);
        const QString program = env.FilePath(QStringLiteral("app/logging_loghelper"));
        QDir().mkpath(env.FilePath(QStringLiteral("app")));
        ASSERT_TRUE(QFile::copy(LogHelperPath(), program));
        WriteBytes(env.FilePath(QStringLiteral("app/LogSettings.ini")), row.Ini);
        const TLogRun run = RunLogHelper({QStringLiteral("state")}, program);
        ASSERT_EQ(run.ExitCode, 0);
        EXPECT_EQ(run.Facts.value(QStringLiteral("active")), QLatin1String(row.Active));
    }
}

TEST(TBLLogController, DuplicateSettingsSectionIsReadFromTheFirstAndDropped) {
    TTempEnvironment env;
    SetLogRegistry({{"Active", "0"}});
    const QString program = env.FilePath(QStringLiteral("app/logging_loghelper"));
    QDir().mkpath(env.FilePath(QStringLiteral("app")));
    ASSERT_TRUE(QFile::copy(LogHelperPath(), program));
    const QString ini = env.FilePath(QStringLiteral("app/LogSettings.ini"));
    WriteBytes(ini, "[DebugLog]\nActive=1\nType=tmlMessage\nChannels=lcApplication\n[DebugLog]\nActive=0\n");
    ASSERT_EQ(RunLogHelper({QStringLiteral("lines"), QStringLiteral("1")}, program).ExitCode, 0);
    EXPECT_EQ(FindLogFiles(env.Root()).size(), 1);
    const QByteArray rewritten = ReadBytes(ini);
    ASSERT_TRUE(rewritten.startsWith("\xFF\xFE"));
    const QString text = QString::fromUtf16(reinterpret_cast<const char16_t*>(rewritten.constData() + 2), (rewritten.size() - 2) / 2);
    EXPECT_EQ(text.count(QStringLiteral("[DebugLog]")), 1);
    EXPECT_FALSE(text.contains(QStringLiteral("Active=0")));
}

TEST(TBLFileLogger, VanishedFolderIsCreatedAgain) {
    TTempEnvironment env;
    const QString folder = env.FilePath(QStringLiteral("logs"));
    QDir().mkpath(folder);
    TBLFileLogger logger(FolderSettings(folder));
    logger.WriteLine(QStringLiteral("before"));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    logger.WriteLine(QStringLiteral("after"));
    EXPECT_EQ(ReadLogLines(logger.LogFile()), QStringList{QStringLiteral("after")});
    EXPECT_EQ(QDir(folder).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size(), 1);  // no probe left behind
}

TEST(TBLLogController, CreationClearsOldLogsOnlyWhenAsked) {
    struct Row { const char* Name; const char* AutoClear; const char* KeepDays; QStringList Left; };
    const Row rows[] = {
        {"auto clear after two days", "1", "2", {QStringLiteral("a_1.log"), QStringLiteral("keep.log"), QStringLiteral("x_3.txt")}},
        {"no auto clear", "0", "2", {QStringLiteral("a_1.log"), QStringLiteral("b_3.log"), QStringLiteral("keep.log"), QStringLiteral("x_3.txt")}},
        {"zero days keeps all", "1", "0", {QStringLiteral("a_1.log"), QStringLiteral("b_3.log"), QStringLiteral("keep.log"), QStringLiteral("x_3.txt")}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempEnvironment env;
        const QString folder = env.FilePath(QStringLiteral("logs"));
        const QDateTime now = QDateTime::currentDateTime();
        Touch(folder + QStringLiteral("/a_1.log"), now.addDays(-1));
        Touch(folder + QStringLiteral("/b_3.log"), now.addDays(-3));
        Touch(folder + QStringLiteral("/keep.log"), now.addDays(-30));
        Touch(folder + QStringLiteral("/x_3.txt"), now.addDays(-30));
        SetLogRegistry({{"AutoClear", row.AutoClear}, {"KeepDays", row.KeepDays}, {"LogFolder", folder}});
        TBLLogController controller;
        EXPECT_EQ(QDir(folder).entryList(QDir::Files, QDir::Name), row.Left);
    }
}

TEST(TBLLogController, SavedSettingsAndNewFolderRestartTheWriter) {
    TTempEnvironment env;
    const QString first = env.FilePath(QStringLiteral("first"));
    const QString second = env.FilePath(QStringLiteral("second"));
    QDir().mkpath(first);
    QDir().mkpath(second);
    QMap<QString, QString> settings = ActiveLogSettings();
    settings[QStringLiteral("LogFolder")] = first;
    SetLogRegistry(settings);
    {
        TBLLogController controller;
        ASSERT_TRUE(controller.Started());
        controller.AddToFileLog(tmlMessage, lcApplication, QString(), QStringLiteral("into first"), false);
        controller.ChangeLogFolder(second);
        ASSERT_TRUE(controller.Started());
        controller.AddToFileLog(tmlMessage, lcApplication, QString(), QStringLiteral("into second"), false);

        TBLLogProps props = controller.LogConfig()->GetLogProps();
        props.LogEnabled = false;
        controller.LogConfig()->SetLogProps(props);
        controller.LogConfig()->Save();  // switching off stops the writer
        EXPECT_FALSE(controller.Started());
        EXPECT_FALSE(controller.LoggingActive());
        controller.AddToFileLog(tmlMessage, lcApplication, QString(), QStringLiteral("nowhere"), false);
    }
    const QStringList firstFiles = FindLogFiles(first);
    const QStringList secondFiles = FindLogFiles(second);
    ASSERT_EQ(firstFiles.size(), 1);
    ASSERT_EQ(secondFiles.size(), 1);
    const QStringList firstLines = ReadLogLines(firstFiles[0]);
    const QStringList secondLines = ReadLogLines(secondFiles[0]);
    ASSERT_GE(firstLines.size(), 3);
    ASSERT_GE(secondLines.size(), 3);
    EXPECT_EQ(MessageOf(firstLines[firstLines.size() - 3]), QStringLiteral("into first"));
    EXPECT_EQ(MessageOf(firstLines.last()), QStringLiteral("TBLFileLoggerThread terminated"));
    EXPECT_TRUE(MessageOf(secondLines[0]).startsWith(QStringLiteral("FileLoggerThread started")));
    EXPECT_EQ(MessageOf(secondLines[secondLines.size() - 3]), QStringLiteral("into second"));
    EXPECT_EQ(MessageOf(secondLines.last()), QStringLiteral("TBLFileLoggerThread terminated"));
}

TEST(TBLLogController, NoWritableFolderAtAllLeavesLoggingOff) {
    TTempEnvironment env;
    SetLogRegistry(ActiveLogSettings());
    const QString blocker = env.FilePath(QStringLiteral("blocker"));
    WriteBytes(blocker, "file");
    env.Set("BL_PROGRAMDATA", blocker);
    env.Set("TMPDIR", blocker + QStringLiteral("/tmp"));
    const TLogRun run = RunLogHelper({QStringLiteral("lines"), QStringLiteral("3")});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_EQ(run.Facts.value(QStringLiteral("active")), QStringLiteral("0"));
    // With the first-chance hook installed, the error raised while the controller is created used to
    // be logged from inside the one-time creation itself and hung the process. "crash" installs the
    // hook, logs, reports its state and then dies of a signal.
    const TLogRun hooked = RunLogHelper({QStringLiteral("crash"), QStringLiteral("3")}, LogHelperPath(), 20000);
    EXPECT_TRUE(hooked.Crashed);
    EXPECT_EQ(hooked.Facts.value(QStringLiteral("active")), QStringLiteral("0"));
    EXPECT_TRUE(FindLogFiles(env.Root()).isEmpty());
}

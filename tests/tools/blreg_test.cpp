#include "TestSupport.h"

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace {

struct TRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRun RunBlreg(const QStringList& Arguments) {
    QProcess process;
    process.start(QString(BL_TOOLS_DIR) + "/blreg", Arguments);
    TRun run;
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = process.exitCode();
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

constexpr char Key[] = "HKCU\\SOFTWARE\\Brenlow\\Viewer\\DebugLog";

}  // namespace

TEST(Blreg, CommandLinesGiveExitCodeAndOutput) {
    struct Row {
        const char* Name;
        std::vector<QStringList> Setup;  // earlier commands, each must succeed
        QStringList Arguments;
        int ExitCode;
        QString Out;         // the exact standard output
        QString ErrContains;  // empty: standard error must be empty
    };
    const Row rows[] = {
        {"string round trip", {{"set", Key, "Active", "1"}}, {"get", Key, "Active"}, 0, "1\n", ""},
        {"names compare without regard to case, long hive name",
         {{"set", Key, "LogFolder", "/var/log/rq"}},
         {"get", "HKEY_CURRENT_USER\\software\\BRENLOW\\viewer\\debuglog", "logfolder"}, 0, "/var/log/rq\n", ""},
        {"dword from hexadecimal", {{"set", Key, "KeepDays", "0x1E", "--type", "dword"}}, {"get", Key, "KeepDays"},
         0, "30\n", ""},
        {"list shows subkeys, then values with types, escaped",
         {{"set", Key, "Type", "tmlError", "--type=expand_sz"},
          {"set", Key, "Multi", "a\tb\nc\\d"},
          {"set", Key, "", "default"},
          {"set", Key, "KeepDays", "7", "--type", "dword"},
          {"create", QString(Key) + "\\Sub"}},
         {"list", Key}, 0,
         "key\tSub\nvalue\tType\tREG_EXPAND_SZ\ttmlError\nvalue\tMulti\tREG_SZ\ta\\tb\\nc\\\\d\n"
         "value\t\tREG_SZ\tdefault\nvalue\tKeepDays\tREG_DWORD\t7\n",
         ""},
        {"a created key exists without values", {{"create", Key}}, {"list", "HKCU\\SOFTWARE\\Brenlow\\Viewer"}, 0,
         "key\tDebugLog\n", ""},
        {"empty key lists nothing", {{"create", Key}}, {"list", Key}, 0, "", ""},
        {"missing value", {{"create", Key}}, {"get", Key, "Active"}, 1, "", "does not exist"},
        {"missing key", {}, {"get", Key, "Active"}, 1, "", "does not exist"},
        {"list of a missing key", {}, {"list", Key}, 1, "", "does not exist"},
        {"deleted value is gone", {{"set", Key, "Active", "1"}, {"delete", Key, "ACTIVE"}}, {"get", Key, "Active"}, 1,
         "", "does not exist"},
        {"deleted key takes its subkeys", {{"create", QString(Key) + "\\Sub"}, {"delete", "HKCU\\SOFTWARE\\Brenlow"}},
         {"list", "HKCU\\SOFTWARE"}, 0, "", ""},
        {"delete of a missing value", {{"create", Key}}, {"delete", Key, "Nothing"}, 1, "", "does not exist"},
        {"delete of a missing key", {}, {"delete", Key}, 1, "", "does not exist"},
        {"local machine is read-only", {}, {"set", "HKLM\\SOFTWARE\\Brenlow", "A", "1"}, 2, "", "read-only"},
        {"local machine keys cannot be created", {}, {"create", "HKEY_LOCAL_MACHINE\\SOFTWARE"}, 2, "", "read-only"},
        {"no command", {}, {}, 2, "", "No command"},
        {"unknown command", {}, {"remove", Key}, 2, "", "Unknown command"},
        {"too few arguments", {}, {"get", Key}, 2, "", "Wrong number"},
        {"too many arguments", {}, {"list", Key, "x"}, 2, "", "Wrong number"},
        {"unknown hive", {}, {"list", "HKXX\\SOFTWARE"}, 2, "", "does not begin with"},
        {"hive prefix alone is no hive", {}, {"list", "HKCUX"}, 2, "", "does not begin with"},
        {"unknown type", {}, {"set", Key, "A", "1", "--type", "binary"}, 2, "", "Unknown type"},
        {"type for another command", {}, {"get", Key, "A", "--type", "dword"}, 2, "", "belongs to set"},
        {"unknown option", {}, {"list", Key, "--all"}, 2, "", "Unknown option"},
        {"dword too large", {}, {"set", Key, "A", "4294967296", "--type", "dword"}, 2, "", "not a dword"},
        {"negative dword", {}, {"set", Key, "A", "-1", "--type", "dword"}, 2, "", "not a dword"},
        {"value after -- may look like an option", {{"set", Key, "A", "--", "--verbose"}}, {"get", Key, "A"}, 0,
         "--verbose\n", ""},
        {"deleting a hive", {}, {"delete", "HKCU"}, 2, "", "cannot be deleted"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TTempEnvironment environment;
        for (const QStringList& setup : row.Setup) {
            const TRun run = RunBlreg(setup);
            ASSERT_EQ(run.ExitCode, 0) << setup.join(' ').toStdString() << ": " << run.Err.toStdString();
        }
        const TRun run = RunBlreg(row.Arguments);
        EXPECT_EQ(run.ExitCode, row.ExitCode);
        EXPECT_EQ(run.Out, row.Out);
        if (QString(row.ErrContains).isEmpty())
            EXPECT_EQ(run.Err, QString());
        else
            EXPECT_TRUE(run.Err.startsWith("blreg: ") && run.Err.contains(row.ErrContains)) << run.Err.toStdString();
    }
}

TEST(Blreg, ReadsTheLocalMachineHive) {
    TTempEnvironment environment;
    WriteBytes(environment.FilePath("registry/HKLM/hive"),
               "BLREG 1\nK\tSOFTWARE\nK\tSOFTWARE\\Brenlow\nV\tInstallDir\tREG_SZ\t/opt/rq\n");
    const TRun run = RunBlreg({"get", "HKLM\\SOFTWARE\\Brenlow", "InstallDir"});
    EXPECT_EQ(run.ExitCode, 0) << run.Err.toStdString();
    EXPECT_EQ(run.Out, QString("/opt/rq\n"));
}

TEST(Blreg, StoreFailureIsExitCodeThree) {
    TTempEnvironment environment;
    // The user hive's folder is a file: nothing can be written there.
    WriteBytes(environment.FilePath("registry/HKCU"), "not a folder");
    const TRun run = RunBlreg({"set", Key, "Active", "1"});
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_TRUE(run.Err.startsWith("blreg: ")) << run.Err.toStdString();
}

TEST(Blreg, HelpDescribesEveryCommand) {
    const TRun run = RunBlreg({"--help"});
    EXPECT_EQ(run.ExitCode, 0);
    EXPECT_TRUE(run.Out.startsWith("Usage: blreg"));
    for (const char* command : {"get KEY NAME", "set KEY NAME VALUE", "delete KEY", "list KEY", "create KEY"})
        EXPECT_TRUE(run.Out.contains(command)) << command;
}

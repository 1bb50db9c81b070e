#include "TestSupport.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace Platform;

namespace {

constexpr char DebugLogKey[] = "SOFTWARE\\Brenlow\\Viewer\\DebugLog";

QString HiveFile(TRegRootKey RootKey) {
    return RegistryHiveFolder(RootKey) + "/hive";
}

}  // namespace

TEST(TRegistry, HiveFoldersFollowTheEnvironment) {
    TTempEnvironment environment;
    environment.Set("BL_REGISTRY_ROOT", environment.FilePath("reg"));
    EXPECT_EQ(RegistryHiveFolder(TRegRootKey::rkCurrentUser), environment.FilePath("reg/HKCU"));
    EXPECT_EQ(RegistryHiveFolder(TRegRootKey::rkLocalMachine), environment.FilePath("reg/HKLM"));
    environment.Set("BL_REGISTRY_ROOT", "");
    environment.Set("XDG_CONFIG_HOME", environment.FilePath("cfg"));
    EXPECT_EQ(RegistryHiveFolder(TRegRootKey::rkCurrentUser), environment.FilePath("cfg/Brenlow/registry"));
    EXPECT_EQ(RegistryHiveFolder(TRegRootKey::rkLocalMachine), QString("/etc/Brenlow/registry"));
    environment.Set("XDG_CONFIG_HOME", "");
    EXPECT_EQ(RegistryHiveFolder(TRegRootKey::rkCurrentUser), QDir::homePath() + "/.config/Brenlow/registry");
}

TEST(TRegistry, ValuesKeepTheirTypeAndData) {
    TTempEnvironment environment;
    struct Row { const char* Name; TRegValue Value; };
    const Row rows[] = {
        {"plain string", {TRegDataType::rdString, "tmlMessage,tmlWarning", 0}},
        {"empty string", {TRegDataType::rdString, "", 0}},
        {"expand string", {TRegDataType::rdExpandString, "%TEMP%\\Logs", 0}},
        {"line breaks, tabs, percent signs", {TRegDataType::rdString, "a\r\nb\tc%0Ad%", 0}},
        {"umlauts and a character beyond the BMP", {TRegDataType::rdString, u"Größe \U0001F600"_qs, 0}},
        // The row name is the value name: escapes in names must round-trip too.
        {"name with %41, a\ttab and a \\ backslash", {TRegDataType::rdString, "x", 0}},
        {"dword zero", {TRegDataType::rdInteger, "0", 0}},
        {"dword maximum", {TRegDataType::rdInteger, "4294967295", 4294967295u}},
    };
    TRegistry writer;
    ASSERT_TRUE(writer.OpenKey(DebugLogKey, true));
    for (const Row& row : rows)
        ASSERT_TRUE(writer.WriteValue(row.Name, row.Value)) << row.Name;
    // A second object reads what the first one stored in the hive file.
    TRegistry reader;
    ASSERT_TRUE(reader.OpenKeyReadOnly(DebugLogKey));
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const std::optional<TRegValue> value = reader.ReadValue(row.Name);
        ASSERT_TRUE(value.has_value());
        EXPECT_EQ(value->Type, row.Value.Type);
        EXPECT_EQ(value->Text, row.Value.Text);
        EXPECT_EQ(value->Dword, row.Value.Dword);
        EXPECT_EQ(reader.ReadString(row.Name).has_value(), row.Value.Type != TRegDataType::rdInteger);
    }
}

TEST(TRegistry, NamesCompareWithoutRegardToCaseAndKeepTheirFirstSpelling) {
    TTempEnvironment environment;
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("Software\\Brenlow\\Viewer", true));
    ASSERT_TRUE(registry.WriteString("FileName", "first"));
    ASSERT_TRUE(registry.WriteString("FILENAME", "second"));
    registry.CloseKey();

    EXPECT_TRUE(registry.KeyExists("SOFTWARE\\BRENLOW\\viewer"));
    ASSERT_TRUE(registry.OpenKey("software\\brenlow\\VIEWER", false));
    EXPECT_EQ(registry.CurrentPath(), QString("Software\\Brenlow\\Viewer"));
    EXPECT_EQ(registry.GetValueNames(), QStringList{"FileName"});
    EXPECT_EQ(registry.ReadString("filename"), QString("second"));
    EXPECT_TRUE(registry.ValueExists("fileNAME"));
    EXPECT_FALSE(registry.ValueExists("FileName2"));
}

TEST(TRegistry, KeysExistWithoutValuesAndListInCreationOrder) {
    TTempEnvironment environment;
    TRegistry registry;
    ASSERT_TRUE(registry.CreateKey("SOFTWARE\\Brenlow\\Zeta"));
    ASSERT_TRUE(registry.CreateKey("SOFTWARE\\Brenlow\\Alpha\\Deep"));
    EXPECT_TRUE(registry.KeyExists("SOFTWARE\\Brenlow\\Zeta"));
    EXPECT_TRUE(registry.KeyExists("SOFTWARE\\Brenlow\\Alpha"));
    EXPECT_FALSE(registry.KeyExists("SOFTWARE\\Brenlow\\Beta"));
    ASSERT_TRUE(registry.OpenKeyReadOnly("SOFTWARE\\Brenlow"));
    EXPECT_EQ(registry.GetKeyNames(), (QStringList{"Zeta", "Alpha"}));
    EXPECT_TRUE(registry.GetValueNames().isEmpty());
}

TEST(TRegistry, DefaultValueHasTheEmptyName) {
    TTempEnvironment environment;
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(DebugLogKey, true));
    EXPECT_FALSE(registry.ValueExists(""));
    ASSERT_TRUE(registry.WriteString("", ""));
    ASSERT_TRUE(registry.WriteString("Active", "1"));
    EXPECT_EQ(registry.GetValueNames(), (QStringList{"", "Active"}));
    EXPECT_EQ(registry.ReadString(""), QString(""));
    ASSERT_TRUE(registry.DeleteValue(""));
    EXPECT_EQ(registry.GetValueNames(), QStringList{"Active"});
}

TEST(TRegistry, PathsAreRelativeToTheOpenKeyUnlessTheyStartWithABackslash) {
    TTempEnvironment environment;
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("SOFTWARE\\Brenlow", true));
    ASSERT_TRUE(registry.OpenKey("Viewer\\\\DebugLog\\", true));  // empty components are ignored
    EXPECT_EQ(registry.CurrentPath(), QString(DebugLogKey));
    EXPECT_TRUE(registry.KeyExists("\\SOFTWARE\\Brenlow"));
    EXPECT_FALSE(registry.KeyExists("SOFTWARE\\Brenlow"));  // below DebugLog
    ASSERT_TRUE(registry.OpenKey("\\SOFTWARE", false));
    EXPECT_EQ(registry.CurrentPath(), QString("SOFTWARE"));
}

TEST(TRegistry, DeleteKeyRemovesSubkeysAndClosesTheKeyItRemoved) {
    TTempEnvironment environment;
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(DebugLogKey, true));
    ASSERT_TRUE(registry.WriteString("Type", "tmlError"));
    ASSERT_TRUE(registry.CreateKey("\\SOFTWARE\\Brenlow\\Other"));

    ASSERT_TRUE(registry.DeleteKey("\\software\\brenlow\\viewer"));
    EXPECT_FALSE(registry.HasCurrentKey());
    EXPECT_FALSE(registry.KeyExists(DebugLogKey));
    EXPECT_FALSE(registry.KeyExists("SOFTWARE\\Brenlow\\Viewer"));
    EXPECT_TRUE(registry.KeyExists("SOFTWARE\\Brenlow\\Other"));

    EXPECT_EQ(registry.DeleteKey("SOFTWARE\\Brenlow\\Viewer").Status, TRegStatus::rsNotFound);
    EXPECT_EQ(registry.DeleteKey("\\").Status, TRegStatus::rsInvalidName);
}

TEST(TRegistry, FailuresComeBackAsStatus) {
    TTempEnvironment environment;
    TRegistry other;
    ASSERT_TRUE(other.CreateKey(DebugLogKey));

    struct Row { const char* Name; std::function<TRegResult(TRegistry&)> Action; TRegStatus Expected; };
    const Row rows[] = {
        {"open a missing key", [](TRegistry& R) { return R.OpenKey("SOFTWARE\\Missing", false); },
         TRegStatus::rsNotFound},
        {"write without an open key", [](TRegistry& R) { return R.WriteString("A", "1"); },
         TRegStatus::rsNoKeyOpen},
        {"write to a key opened read-only",
         [](TRegistry& R) {
             EXPECT_TRUE(R.OpenKeyReadOnly(DebugLogKey));
             return R.WriteString("A", "1");
         },
         TRegStatus::rsAccessDenied},
        {"delete a missing value",
         [](TRegistry& R) {
             EXPECT_TRUE(R.OpenKey(DebugLogKey, false));
             return R.DeleteValue("Missing");
         },
         TRegStatus::rsNotFound},
        {"write to a key another object deleted",
         [&other](TRegistry& R) {
             EXPECT_TRUE(R.OpenKey("SOFTWARE\\Doomed", true));
             EXPECT_TRUE(other.DeleteKey("SOFTWARE\\Doomed"));
             return R.WriteString("A", "1");
         },
         TRegStatus::rsNotFound},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TRegistry registry;
        const TRegResult result = row.Action(registry);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.Status, row.Expected);
        EXPECT_FALSE(result.ErrorText.isEmpty());
    }
}

TEST(TRegistry, LocalMachineIsReadOnly) {
    TTempEnvironment environment;
    WriteBytes(HiveFile(TRegRootKey::rkLocalMachine),
               "BLREG 1\nK\tSOFTWARE\nK\tSOFTWARE\\Brenlow\nV\tInstallDir\tREG_SZ\t/opt/rq%09cat\n");
    TRegistry registry(TRegRootKey::rkLocalMachine);
    ASSERT_TRUE(registry.OpenKey("SOFTWARE\\Brenlow", false));
    EXPECT_EQ(registry.ReadString("InstallDir"), QString("/opt/rq\tcat"));

    EXPECT_EQ(registry.WriteString("InstallDir", "/tmp").Status, TRegStatus::rsAccessDenied);
    EXPECT_EQ(registry.DeleteValue("InstallDir").Status, TRegStatus::rsAccessDenied);
    EXPECT_EQ(registry.CreateKey("\\SOFTWARE\\New").Status, TRegStatus::rsAccessDenied);
    EXPECT_EQ(registry.OpenKey("\\SOFTWARE\\New", true).Status, TRegStatus::rsAccessDenied);
    EXPECT_EQ(registry.DeleteKey("\\SOFTWARE").Status, TRegStatus::rsAccessDenied);
    EXPECT_EQ(registry.ReadString("InstallDir"), QString("/opt/rq\tcat"));
    // The user hive is a different store.
    EXPECT_FALSE(TRegistry().KeyExists("SOFTWARE\\Brenlow"));
}

TEST(TRegistry, DamagedLinesCostOnlyThemselves) {
    TTempEnvironment environment;
    // A line cut short, an unknown type and a dword that is no number sit between good lines.
    WriteBytes(HiveFile(TRegRootKey::rkCurrentUser),
               "BLREG 1\r\nK\tA\r\nV\tGood\tREG_SZ\tyes\r\nV\tCut\tREG_\nV\tOdd\tREG_BINARY\t00\n"
               "V\tNan\tREG_DWORD\tx1\nV\tAlso\tREG_DWORD\t7\n");
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey("A", false));
    EXPECT_EQ(registry.GetValueNames(), (QStringList{"Good", "Also"}));
    EXPECT_EQ(registry.ReadValue("Also")->Dword, 7u);
}

TEST(TRegistry, UserHiveIsPrivateAndLeavesNoTemporaryFiles) {
    TTempEnvironment environment;
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(DebugLogKey, true));
    for (int i = 0; i < 5; ++i)
        ASSERT_TRUE(registry.WriteInteger("KeepDays", i));
    const QFileInfo hive(HiveFile(TRegRootKey::rkCurrentUser));
    EXPECT_EQ(hive.permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther),
              QFile::Permissions());
    const QStringList files = QDir(RegistryHiveFolder(TRegRootKey::rkCurrentUser)).entryList(QDir::Files);
    EXPECT_EQ(files, (QStringList{"hive", "hive.lock"}));
}

TEST(TRegistry, TwoProcessesWritingOneKeyLoseNothing) {
    TTempEnvironment environment;
    constexpr int Count = 60;
    const QString helper = QString(BL_HELPERS_DIR) + "/platform_registry_writer";
    QProcess first;
    QProcess second;
    first.start(helper, {DebugLogKey, "First", QString::number(Count)});
    second.start(helper, {DebugLogKey, "Second", QString::number(Count)});
    ASSERT_TRUE(first.waitForFinished(60000));
    ASSERT_TRUE(second.waitForFinished(60000));
    EXPECT_EQ(first.exitCode(), 0) << first.readAllStandardError().toStdString();
    EXPECT_EQ(second.exitCode(), 0) << second.readAllStandardError().toStdString();

    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly(DebugLogKey));
    EXPECT_EQ(registry.GetValueNames().size(), 2 * Count);
    for (int i = 0; i < Count; ++i) {
        EXPECT_EQ(registry.ReadString("First" + QString::number(i)), QString::number(i));
        EXPECT_EQ(registry.ReadString("Second" + QString::number(i)), QString::number(i));
    }
}

TEST(TRegistry, ThreadsWritingOneKeyLoseNothing) {
    TTempEnvironment environment;
    constexpr int Threads = 4;
    constexpr int Count = 15;
    std::atomic<int> failures{0};
    std::vector<std::thread> writers;
    for (int t = 0; t < Threads; ++t) {
        writers.emplace_back([t, &failures] {
            // One object per thread, as the class asks.
            TRegistry registry;
            if (!registry.OpenKey(DebugLogKey, true))
                ++failures;
            for (int i = 0; i < Count; ++i)
                if (!registry.WriteInteger(QStringLiteral("T%1_%2").arg(t).arg(i), quint32(i)))
                    ++failures;
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    EXPECT_EQ(failures.load(), 0);
    TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly(DebugLogKey));
    EXPECT_EQ(registry.GetValueNames().size(), Threads * Count);
    EXPECT_EQ(registry.ReadValue("T3_14")->Dword, 14u);
}

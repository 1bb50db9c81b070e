#include "platform/ChildProcess.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

#include <cerrno>

#include "TestSupport.h"
#include "platform/ProcessInfo.h"

namespace {

using namespace std::chrono_literals;

const QString Shell = QStringLiteral("/bin/sh");

TEST(TChildProcess, ExitCodeIsStillActiveWhileRunningThenTheChildsStatus) {
    struct Row {
        const char* Name;
        QString Script;
        int Expected;
    };
    const Row rows[] = {
        {"success", "exit 0", 0},
        {"plain code", "exit 3", 3},
        {"inconsistent-viewer range", "exit 42", 42},
        // 259 is the running marker, so a real status must never look like it.
        {"largest status", "exit 255", 255},
        {"killed by a signal from elsewhere", "kill -9 $$", 128 + 9},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Platform::TChildProcess child;
        TTempEnvironment env;
        // The script waits for a go file, so "still running" is certain when it is asked.
        ASSERT_TRUE(child.Start(Shell, {QStringLiteral("-c"), QStringLiteral("while [ ! -e go ]; do sleep 0.01; done; ") + row.Script},
                                env.Root()));
        EXPECT_EQ(child.ExitCode(), Platform::StillActive);
        EXPECT_TRUE(child.Running());
        WriteBytes(env.FilePath(QStringLiteral("go")), {});
        ASSERT_TRUE(child.WaitForExit(10s));
        EXPECT_EQ(child.ExitCode(), row.Expected);
        EXPECT_FALSE(child.Running());
    }
}

TEST(TChildProcess, StartsHiddenInTheWorkingFolderWithTheGivenArguments) {
    TTempEnvironment env;
    const QString out = env.FilePath(QStringLiteral("out.txt"));
    Platform::TChildProcess child;
    ASSERT_TRUE(child.Start(Shell,
                            {QStringLiteral("-c"),
                             QStringLiteral("readlink /proc/self/fd/2 > out.txt; pwd >> out.txt; printf '%s|' \"$@\" >> out.txt"),
                             QStringLiteral("sh"), QStringLiteral("a b"), QStringLiteral("\"q\""), QString()},
                            env.Root()));
    ASSERT_TRUE(child.WaitForExit(10s));
    EXPECT_EQ(child.ExitCode(), 0);
    const QStringList lines = QString::fromUtf8(ReadBytes(out)).split(QLatin1Char('\n'));
    ASSERT_EQ(lines.size(), 3) << ReadBytes(out).toStdString();
    EXPECT_EQ(lines[0], QStringLiteral("/dev/null")) << "standard error of a hidden child";
    EXPECT_EQ(QFileInfo(lines[1]).canonicalFilePath(), QFileInfo(env.Root()).canonicalFilePath());
    EXPECT_EQ(lines[2], QStringLiteral("a b|\"q\"||")) << "arguments arrive unsplit, quotes and empty ones kept";
}

TEST(TChildProcess, StartFailuresComeBackWithTheSystemError) {
    TTempEnvironment env;
    struct Row {
        const char* Name;
        QString Program;
        QString Folder;
        int Error;
    };
    const Row rows[] = {
        {"missing program", env.FilePath(QStringLiteral("no-such-program")), QString(), ENOENT},
        {"not executable", env.Root(), QString(), EACCES},
        {"missing working folder", Shell, env.FilePath(QStringLiteral("no-such-folder")), ENOENT},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Platform::TChildProcess child;
        const Platform::TProcessResult result = child.Start(row.Program, {QStringLiteral("-c"), QStringLiteral("exit 0")}, row.Folder);
        EXPECT_FALSE(result);
        EXPECT_EQ(result.ErrorCode, row.Error) << result.ErrorText.toStdString();
        EXPECT_FALSE(result.ErrorText.isEmpty());
        EXPECT_EQ(child.Pid(), 0);
        EXPECT_FALSE(child.Terminate(1)) << "nothing to terminate";
    }
}

TEST(TChildProcess, TerminateEndsTheWholeGroupAndSetsTheGivenCode) {
    TTempEnvironment env;
    const QString pidFile = env.FilePath(QStringLiteral("grandchild.pid"));
    Platform::TChildProcess child;
    ASSERT_TRUE(child.Start(Shell, {QStringLiteral("-c"), QStringLiteral("sleep 60 & echo $! > grandchild.pid; wait")},
                            env.Root()));
    qint64 grandchild = 0;
    ASSERT_TRUE(WaitFor([&] { return (grandchild = ReadBytes(pidFile).trimmed().toLongLong()) > 0; }, 10s));
    EXPECT_TRUE(Platform::ChildProcessIds(Platform::CurrentProcessId()).contains(child.Pid()));
    EXPECT_TRUE(Platform::ChildProcessIds(child.Pid()).contains(grandchild));
    // The pid is written by the forked shell just before it runs sleep.
    const QStringList sleepArgs{QStringLiteral("sleep"), QStringLiteral("60")};
    EXPECT_TRUE(WaitFor([&] { return Platform::ProcessArguments(grandchild) == sleepArgs; }, 5s))
        << Platform::ProcessArguments(grandchild).join(QLatin1Char(' ')).toStdString();

    ASSERT_TRUE(child.Terminate(1));
    EXPECT_EQ(child.ExitCode(), 1);
    EXPECT_TRUE(WaitFor([&] { return !Platform::IsProcessAlive(grandchild); }, 5s));
}

TEST(TChildProcess, TerminateAfterTheChildEndedKeepsItsOwnCode) {
    Platform::TChildProcess child;
    ASSERT_TRUE(child.Start(Shell, {QStringLiteral("-c"), QStringLiteral("exit 5")}, QString()));
    ASSERT_TRUE(child.WaitForExit(10s));
    EXPECT_TRUE(child.Terminate(1));
    EXPECT_EQ(child.ExitCode(), 5);
}

TEST(TChildProcess, ProcessQueriesOfUnknownPidsAnswerEmpty) {
    // Far above the kernel's largest pid (4194304), so it is never in use.
    constexpr qint64 Unused = 99999999;
    EXPECT_FALSE(Platform::IsProcessAlive(Unused));
    EXPECT_TRUE(Platform::ChildProcessIds(Unused).isEmpty());
    EXPECT_TRUE(Platform::ProcessArguments(Unused).isEmpty());
    EXPECT_TRUE(Platform::IsProcessAlive(Platform::CurrentProcessId()));
}

}  // namespace

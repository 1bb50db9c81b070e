#include "ConfigTestSupport.h"
#include "TestSupport.h"
#include "errors/EtkTypes.h"
#include "platform/FileLock.h"

#include <QDir>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QString MessageOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const EFOpenError& e) {
        return e.Message();
    }
    return QStringLiteral("<no error>");
}

}  // namespace

TEST(OpenFileWaitForLock, RaisesTheFileNameWhenTheFolderIsMissing) {
    TTempEnvironment env;
    const QString file = env.FilePath("gone/Etk.blk");
    EXPECT_EQ(MessageOf([&] { OpenFileWaitForLock(file, TOpenFileMode::ofmRead, false); }), file);
}

TEST(OpenFileWaitForLock, RaisesTheLockedTextWhenAnotherProcessKeepsTheFile) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, "<?xml?>");
    THelperProcess holder("lockholder", {file, "write"});
    ASSERT_TRUE(holder.WaitForLine("locked"));
    struct Row { const char* Name; int Mode; QString Expected; };
    const Row rows[] = {
        {"read", TOpenFileMode::ofmRead, "Datei " + file + " wird von anderer Anwendung gesperrt und kann nicht gelesen werden"},
        {"read-write", TOpenFileMode::ofmReadWrite, "Datei " + file + " wird von anderer Anwendung gesperrt und kann nicht geschrieben werden"},
        {"create", TOpenFileMode::ofmCreate, "Datei " + file + " wird von anderer Anwendung gesperrt und kann nicht geschrieben werden"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(MessageOf([&] { OpenFileWaitForLock(file, row.Mode, false, 300ms); }), row.Expected);
    }
    // Interactive without a time-out handler behaves as non-interactive.
    EXPECT_NE(MessageOf([&] { OpenFileWaitForLock(file, TOpenFileMode::ofmRead, true, 300ms); }).indexOf("gesperrt"), -1);
    EXPECT_EQ(ReadBytes(file), QByteArray("<?xml?>"));
}

TEST(OpenFileWaitForLock, OpensOnceTheHolderIsKilled) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, "content");
    THelperProcess holder("lockholder", {file, "write"});
    ASSERT_TRUE(holder.WaitForLine("locked"));
    int asked = 0;
    const TOpenFileTimeoutHandler previous = SetOpenFileTimeoutHandler([&](const QString& Name, int Mode, bool Writable) {
        ++asked;
        EXPECT_EQ(Name, file);
        EXPECT_EQ(Mode, TOpenFileMode::ofmRead);
        EXPECT_TRUE(Writable);
        holder.Kill();  // the kernel drops the dead holder's lock
        return true;    // "continue": wait another period
    });
    Platform::TLockedFile opened = OpenFileWaitForLock(file, TOpenFileMode::ofmRead, true, 200ms);
    SetOpenFileTimeoutHandler(previous);
    EXPECT_EQ(asked, 1);
    QByteArray bytes;
    ASSERT_TRUE(opened.ReadAll(bytes));
    EXPECT_EQ(bytes, QByteArray("content"));
}

TEST(OpenFileWaitForLock, RefusalsOtherThanLocksRaiseTheSystemText) {
    TTempEnvironment env;
    const QString folderInTheWay = env.FilePath("folder.blk");
    QDir().mkpath(folderInTheWay);
    struct Row { const char* Name; QString File; int Mode; };
    const Row rows[] = {
        {"a folder in the way", folderInTheWay, TOpenFileMode::ofmReadWrite},
        {"a missing file to read", env.FilePath("missing.blk"), TOpenFileMode::ofmRead},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString message = MessageOf([&] { OpenFileWaitForLock(row.File, row.Mode, false); });
        EXPECT_TRUE(message.startsWith(row.File + ": ")) << message.toStdString();
        EXPECT_EQ(message.indexOf("gesperrt"), -1);
    }
}

TEST(TSystemSemaphore, IsExclusiveAcrossProcessesAndFreedWhenTheHolderDies) {
    TTempEnvironment env;
    THelperProcess holder("lockholder", {"-", "semaphore"});
    ASSERT_TRUE(holder.WaitForLine("locked"));
    EXPECT_FALSE(Platform::TSystemSemaphore::Instance().Acquire(100ms));
    holder.Kill();
    ASSERT_TRUE(Platform::TSystemSemaphore::Instance().Acquire(5s));
    // Re-entrant on the holding thread: a read-modify-write nests reads and writes inside it.
    ASSERT_TRUE(Platform::TSystemSemaphore::Instance().Acquire(0ms));
    Platform::TSystemSemaphore::Instance().Release();
    THelperProcess other("lockholder", {"-", "semaphore"});
    EXPECT_FALSE(other.WaitForLine("locked", 300));
    Platform::TSystemSemaphore::Instance().Release();
    EXPECT_TRUE(other.WaitForLine("locked"));
    EXPECT_EQ(QFileInfo(Platform::TSystemSemaphore::LockFileName()).permissions() & QFile::WriteOther, QFile::WriteOther);
}

#include "TestSupport.h"
#include "platform/FileLock.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/stat.h>

TEST(TLockedFile, ReadersShareAndWritersExcludeAcrossOpenFiles) {
    TTempEnvironment env;
    const QString file = env.FilePath("shared.blk");
    WriteBytes(file, "x");
    using Platform::TShareMode;
    using Platform::TOpenStatus;
    struct Row { const char* Name; TShareMode Held; TShareMode Wanted; TOpenStatus Expected; };
    const Row rows[] = {
        {"two readers", TShareMode::smReadDenyWrite, TShareMode::smReadDenyWrite, TOpenStatus::osOk},
        {"writer waits for a reader", TShareMode::smReadDenyWrite, TShareMode::smReadWriteExclusive, TOpenStatus::osLocked},
        {"reader waits for a writer", TShareMode::smReadWriteExclusive, TShareMode::smReadDenyWrite, TOpenStatus::osLocked},
        {"creator waits for a writer", TShareMode::smReadWriteExclusive, TShareMode::smCreateExclusive, TOpenStatus::osLocked},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Platform::TLockedFile held;
        ASSERT_TRUE(Platform::TLockedFile::TryOpen(file, row.Held, held));
        Platform::TLockedFile wanted;
        EXPECT_EQ(Platform::TLockedFile::TryOpen(file, row.Wanted, wanted).Status, row.Expected);
    }
    // A creator that had to wait must not have emptied the file it could not lock.
    EXPECT_EQ(ReadBytes(file), QByteArray("x"));
}

TEST(ReplaceFileContent, KeepsPermissionsFollowsLinksAndLeavesNothingBehind) {
    TTempEnvironment env;
    const QString file = env.FilePath("data/Etk.blk");
    WriteBytes(file, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(file).constData(), 0640), 0);
    const QString link = env.FilePath("link.blk");
    ASSERT_TRUE(QFile::link(file, link));

    const Platform::TWriteResult result = Platform::ReplaceFileContent(link, "new content");
    ASSERT_TRUE(result) << result.ErrorText.toStdString();
    EXPECT_EQ(result.Written, 11);
    EXPECT_EQ(ReadBytes(file), "new content");
    EXPECT_TRUE(QFileInfo(link).isSymLink()) << "the link stays a link";
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(QDir(env.FilePath("data")).entryList(QDir::Files | QDir::Hidden), QStringList({"Etk.blk"}));

    const Platform::TWriteResult missing = Platform::ReplaceFileContent(env.FilePath("gone/Etk.blk"), "x");
    EXPECT_FALSE(missing);
    EXPECT_FALSE(missing.ErrorText.isEmpty());
}

TEST(TFileStamp, SeesARewriteWithinTheSameSecond) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, "one");
    const Platform::TFileStamp before = Platform::GetFileStamp(file);
    ASSERT_TRUE(before.Exists);
    // Same size, written at once: only nanoseconds or the new inode of the rename tell it apart.
    ASSERT_TRUE(Platform::ReplaceFileContent(file, "two"));
    const Platform::TFileStamp after = Platform::GetFileStamp(file);
    EXPECT_EQ(after.Size, before.Size);
    EXPECT_NE(after, before);
    EXPECT_FALSE(Platform::GetFileStamp(env.FilePath("none")).Exists);

    Platform::TLockedFile opened;
    ASSERT_TRUE(Platform::TLockedFile::TryOpen(file, Platform::TShareMode::smReadDenyWrite, opened));
    EXPECT_EQ(opened.Stamp(), after);
}

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QThread>
#include <memory>
#include <mutex>
#include <vector>

#include "AsyncTestSupport.h"
#include "ConfigTestSupport.h"
#include "TestSupport.h"
#include "config/BL.Config.Locker.h"
#include "platform/ProcessInfo.h"

namespace {

struct TNotification {
    bool Locked = false;
    TLockInfo Info;
    QThread* Thread = nullptr;
};

// Records what the watcher reports, and on which thread.
class TRecordingNotifyer : public IConfigLockChangedNotifyer {
public:
    void LockedByOther(const TLockInfo& LockInfo) override { Add({true, LockInfo, QThread::currentThread()}); }
    void LockReleased() override { Add({false, TLockInfo(), QThread::currentThread()}); }
    std::vector<TNotification> Notifications() const {
        std::lock_guard<std::mutex> guard(FLock);
        return FNotifications;
    }
    size_t Count() const { return Notifications().size(); }

private:
    void Add(const TNotification& Notification) {
        std::lock_guard<std::mutex> guard(FLock);
        FNotifications.push_back(Notification);
    }
    mutable std::mutex FLock;  // protects FNotifications
    std::vector<TNotification> FNotifications;
};

TLockInfo RecordOf(quint32 ProcessId, const QString& User) {
    TLockInfo info;
    info.ProcessId = ProcessId;
    info.SetUserText(User);
    return info;
}

quint32 OwnPid() { return static_cast<quint32>(QCoreApplication::applicationPid()); }

}  // namespace

// ---- TLockInfo ----

TEST(TLockInfo, RecordIsPidAndZeroFilledUtf16LittleEndian) {
    const TLockInfo info = RecordOf(0x01020304, QStringLiteral("D\\\u00fc"));
    const QByteArray bytes = info.ToBytes();
    ASSERT_EQ(bytes.size(), 2054);
    EXPECT_EQ(bytes.left(4), QByteArray("\x04\x03\x02\x01", 4));
    EXPECT_EQ(bytes.mid(4, 6), QByteArray("D\0\\\0\xfc\0", 6));
    EXPECT_EQ(bytes.mid(10), QByteArray(2044, '\0'));
    EXPECT_EQ(TLockInfo::FromBytes(bytes), info);
}

TEST(TLockInfo, UserTextKeepsAZeroAtTheEndAndNeverSplitsAPair) {
    const QString pair = QString::fromUtf8("\xF0\x9F\x98\x80");  // one character, two code units
    struct Row {
        const char* Name;
        QString Text;
        QString Expected;
    };
    const Row rows[] = {
        {"empty", QString(), QString()},
        {"pair kept whole", QStringLiteral("a") + pair, QStringLiteral("a") + pair},
        {"exactly the room left", QString(1024, QLatin1Char('x')), QString(1024, QLatin1Char('x'))},
        {"too long", QString(1025, QLatin1Char('x')), QString(1024, QLatin1Char('x'))},
        // The cut would fall between the two halves of the pair: the whole pair goes.
        {"pair at the cut", QString(1023, QLatin1Char('x')) + pair, QString(1023, QLatin1Char('x'))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TLockInfo info;
        info.SetUserText(row.Text);
        EXPECT_EQ(info.UserText(), row.Expected);
        EXPECT_EQ(info.User.back(), 0);
        EXPECT_EQ(TLockInfo::FromBytes(info.ToBytes()).UserText(), row.Expected);
    }
}

TEST(TLockInfo, ShortBytesLeaveTheRestZero) {
    struct Row {
        const char* Name;
        QByteArray Bytes;
        quint32 ProcessId;
        QString User;
    };
    const Row rows[] = {
        {"empty", QByteArray(), 0, QString()},
        {"part of the pid", QByteArray("\x07\x01", 2), 0x0107, QString()},
        {"pid and one unit and a half", QByteArray("\x01\0\0\0A\0B", 7), 1, QStringLiteral("AB")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const TLockInfo info = TLockInfo::FromBytes(row.Bytes);
        EXPECT_EQ(info.ProcessId, row.ProcessId);
        EXPECT_EQ(info.UserText(), row.User);
    }
}

// ---- TFileConfigLocker ----

class TFileConfigLockerTest : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureCoreApplication();
        FBlk = FEnvironment.FilePath(QStringLiteral("Etk.blk"));
        FLockFile = FBlk + QStringLiteral(".lock");
    }
    TTempEnvironment FEnvironment;
    QString FBlk;
    QString FLockFile;
};

TEST_F(TFileConfigLockerTest, HolderWritesItsRecordAndOthersSeeIt) {
    auto holder = TFileConfigLocker::Create(FBlk, nullptr);
    auto other = TFileConfigLocker::Create(FBlk, nullptr);
    ASSERT_TRUE(holder->Lock());
    EXPECT_TRUE(holder->Lock()) << "a second Lock of the holder";
    EXPECT_EQ(ReadBytes(FLockFile), TFileConfigLocker::OwnLockInfo().ToBytes());
    EXPECT_EQ(TFileConfigLocker::OwnLockInfo().ProcessId, OwnPid());

    TLockInfo info;
    EXPECT_FALSE(holder->IsLockedByOther(info));
    ASSERT_TRUE(other->IsLockedByOther(info));
    EXPECT_EQ(info, TFileConfigLocker::OwnLockInfo());
    EXPECT_FALSE(other->Lock());
    EXPECT_FALSE(other->Unlock());

    EXPECT_TRUE(holder->Unlock());
    EXPECT_FALSE(QFile::exists(FLockFile));
    EXPECT_FALSE(holder->Unlock());
    EXPECT_FALSE(other->IsLockedByOther(info));
    EXPECT_FALSE(QFile::exists(FLockFile)) << "the probe removes the file it created";
    EXPECT_TRUE(other->Lock());
}

TEST_F(TFileConfigLockerTest, FileWithoutHolderIsFreeAndReplaced) {
    struct Row {
        const char* Name;
        QByteArray Content;
    };
    const Row rows[] = {
        {"record of an ended process", RecordOf(4242, QStringLiteral("X\\gone")).ToBytes()},
        {"empty", QByteArray()},
        {"short", QByteArray("\x01\x02\x03", 3)},
        {"longer than a record", QByteArray(5000, 'z')},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteBytes(FLockFile, row.Content);
        auto locker = TFileConfigLocker::Create(FBlk, nullptr);
        TLockInfo info = RecordOf(1, QStringLiteral("untouched"));
        EXPECT_FALSE(locker->IsLockedByOther(info));
        EXPECT_FALSE(QFile::exists(FLockFile));

        WriteBytes(FLockFile, row.Content);
        ASSERT_TRUE(locker->Lock());
        EXPECT_EQ(ReadBytes(FLockFile), TFileConfigLocker::OwnLockInfo().ToBytes());
        EXPECT_TRUE(locker->Unlock());
    }
}

TEST_F(TFileConfigLockerTest, ShortFileHeldByAnotherProcessGivesWhatItHas) {
    WriteBytes(FLockFile, QByteArray("\x2a\0\0\0Q\0", 6));
    THelperProcess holder(QStringLiteral("lockholder"), {FLockFile, QStringLiteral("write")});
    ASSERT_TRUE(holder.WaitForLine(QStringLiteral("locked")));

    auto locker = TFileConfigLocker::Create(FBlk, nullptr);
    TLockInfo info;
    ASSERT_TRUE(locker->IsLockedByOther(info));
    EXPECT_EQ(info.ProcessId, 42u);
    EXPECT_EQ(info.UserText(), QStringLiteral("Q"));
    EXPECT_FALSE(locker->Lock());
}

TEST_F(TFileConfigLockerTest, DestroyingTheHolderGivesTheLockUp) {
    auto other = TFileConfigLocker::Create(FBlk, nullptr);
    {
        auto holder = TFileConfigLocker::Create(FBlk, nullptr);
        ASSERT_TRUE(holder->Lock());
    }
    TLockInfo info;
    EXPECT_FALSE(other->IsLockedByOther(info));
    EXPECT_TRUE(other->Lock());
}

TEST_F(TFileConfigLockerTest, LockOfAKilledProcessIsReplaced) {
    FEnvironment.Set("USERDOMAIN", QStringLiteral("LockTestDomain"));
    THelperProcess owner(QStringLiteral("lockowner"), {FBlk});
    ASSERT_TRUE(owner.WaitForLine(QStringLiteral("locked")));

    auto locker = TFileConfigLocker::Create(FBlk, nullptr);
    TLockInfo info;
    ASSERT_TRUE(locker->IsLockedByOther(info));
    EXPECT_EQ(info.ProcessId, static_cast<quint32>(owner.Process().processId()));
    EXPECT_EQ(info.UserText(), QStringLiteral("LockTestDomain\\") + Platform::LoginUserName());
    EXPECT_FALSE(locker->Lock());

    owner.Kill();  // SIGKILL: the lock file stays behind with the dead process's record
    ASSERT_TRUE(QFile::exists(FLockFile));
    ASSERT_TRUE(locker->Lock());
    EXPECT_EQ(TLockInfo::FromBytes(ReadBytes(FLockFile)).ProcessId, OwnPid());
}

TEST_F(TFileConfigLockerTest, WatcherReportsLockAndReleaseOfAnotherProcessOnItsOwnThread) {
    TRecordingNotifyer notifyer;
    auto locker = TFileConfigLocker::Create(FBlk, &notifyer);
    locker->SetNeedLockChangedNotifications(true);
    ASSERT_TRUE(locker->LockWatcher()->WaitForStarted(5000));

    THelperProcess owner(QStringLiteral("lockowner"), {FBlk});
    ASSERT_TRUE(owner.WaitForLine(QStringLiteral("locked")));
    ASSERT_TRUE(WaitFor([&] { return notifyer.Count() >= 1; }, std::chrono::seconds(5)));
    owner.Process().write("unlock\n");
    ASSERT_TRUE(owner.WaitForLine(QStringLiteral("unlocked")));
    ASSERT_TRUE(WaitFor([&] { return notifyer.Count() >= 2; }, std::chrono::seconds(5)));

    const std::vector<TNotification> seen = notifyer.Notifications();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_TRUE(seen[0].Locked);
    EXPECT_EQ(seen[0].Info.ProcessId, static_cast<quint32>(owner.Process().processId()));
    EXPECT_FALSE(seen[1].Locked);
    for (const TNotification& notification : seen)
        EXPECT_EQ(notification.Thread, QThread::currentThread());
    locker->SetNeedLockChangedNotifications(false);
}

TEST_F(TFileConfigLockerTest, NothingIsReportedOnceNotificationsAreOff) {
    TRecordingNotifyer silenced;
    TRecordingNotifyer witness;
    auto silencedLocker = TFileConfigLocker::Create(FBlk, &silenced);
    auto witnessLocker = TFileConfigLocker::Create(FBlk, &witness);
    silencedLocker->SetNeedLockChangedNotifications(true);
    silencedLocker->SetNeedLockChangedNotifications(false);
    witnessLocker->SetNeedLockChangedNotifications(true);
    EXPECT_EQ(silencedLocker->LockWatcher(), nullptr);
    ASSERT_TRUE(witnessLocker->LockWatcher()->WaitForStarted(5000));

    // Two changes the witness sees: a running watcher on the silenced locker would have seen them too.
    THelperProcess owner(QStringLiteral("lockowner"), {FBlk});
    ASSERT_TRUE(owner.WaitForLine(QStringLiteral("locked")));
    ASSERT_TRUE(WaitFor([&] { return witness.Count() >= 1; }, std::chrono::seconds(5)));
    owner.Process().write("unlock\n");
    ASSERT_TRUE(WaitFor([&] { return witness.Count() >= 2; }, std::chrono::seconds(5)));
    EXPECT_EQ(silenced.Count(), 0u);
    witnessLocker->SetNeedLockChangedNotifications(false);
}

TEST_F(TFileConfigLockerTest, ContendingProcessesNeverHoldTheLockTogether) {
    // Probes remove a free file and holders remove theirs on Unlock; a process that opened the old
    // file just before must not take a lock on a file that no longer has the name.
    const QString marker = FEnvironment.FilePath(QStringLiteral("inside"));
    const QStringList arguments = {FBlk, QStringLiteral("race"), QStringLiteral("2000"), marker};
    std::vector<std::unique_ptr<THelperProcess>> racers;
    for (int i = 0; i < 3; ++i)
        racers.push_back(std::make_unique<THelperProcess>(QStringLiteral("lockowner"), arguments));
    int taken = 0;
    for (auto& racer : racers) {
        ASSERT_EQ(racer->Finish(), 0);
        const QList<QByteArray> words = racer->Process().readAllStandardOutput().trimmed().split(' ');
        ASSERT_EQ(words.size(), 3);
        EXPECT_EQ(words[0], "done");
        taken += words[1].toInt();
        EXPECT_EQ(words[2].toInt(), 0) << "two processes held the lock at once";
    }
    EXPECT_GT(taken, 0);
}

TEST_F(TFileConfigLockerTest, MissingFolderIsNeitherLockedNorLockable) {
    auto locker = TFileConfigLocker::Create(FEnvironment.FilePath(QStringLiteral("gone/Etk.blk")), nullptr);
    TLockInfo info = RecordOf(7, QStringLiteral("untouched"));
    EXPECT_FALSE(locker->IsLockedByOther(info));
    EXPECT_EQ(info, RecordOf(7, QStringLiteral("untouched")));
    EXPECT_FALSE(locker->Lock());
    EXPECT_FALSE(locker->HoldsLock());
}

// BL.Config.Locker.h: the project-file lock. A process that edits the configuration holds an
// exclusive flock on the lock file beside the project file ("Etk.blk.lock") and writes its record
// there; others read who holds it. A file left behind by a process that ended is free: the kernel
// drops the flock of a dead holder. TFileConfigLocker is shared (std::shared_ptr) and used from the
// thread that created it; its TLockWatcher polls on its own thread and hands the notifications to the
// creating thread's event loop. Nothing here raises.
#pragma once
#include <QString>
#include <memory>
#include <mutex>

#include "config/BLAsync.h"
#include "config/EtkConfigIntf.h"
#include "platform/FileLock.h"

class TLockWatcher;

class TFileConfigLocker : public IConfigLocker {
public:
    // The notifier must outlive the locker; it may be null (no notifications then).
    TFileConfigLocker(const QString& BlkPath, IConfigLockChangedNotifyer* ChangeNotifyer);
    // Stops the watcher and gives up a lock still held.
    ~TFileConfigLocker() override;
    TFileConfigLocker(const TFileConfigLocker&) = delete;
    TFileConfigLocker& operator=(const TFileConfigLocker&) = delete;

    static std::shared_ptr<TFileConfigLocker> Create(const QString& BlkPath, IConfigLockChangedNotifyer* ChangeNotifyer) {
        return std::make_shared<TFileConfigLocker>(BlkPath, ChangeNotifyer);
    }

    // False when this object holds the lock or nobody does; true when another open lock file
    // holds it, with LockInfo read from the file (zero when unreadable).
    bool IsLockedByOther(TLockInfo& LockInfo) override;
    // True when this object holds the lock (also when it did before); false when someone else does
    // or the file cannot be created.
    bool Lock() override;
    // False when this object held no lock.
    bool Unlock() override;
    void SetNeedLockChangedNotifications(bool Value) override;

    const QString& BlkPath() const { return FBlkPath; }
    const QString& LockFile() const { return FLockFile; }
    // The running watcher, or null.
    TLockWatcher* LockWatcher() const { return FLockWatcher; }
    bool HoldsLock() const;
    // The record this process writes: its process id and "domain\user".
    static TLockInfo OwnLockInfo();

private:
    bool DoUnlock();
    bool RemoveStaleLockFile();
    TLockInfo ReadLockInfo() const;
    void StopWatcher();

    QString FBlkPath;
    QString FLockFile;
    Platform::TLockedFile FHandle;
    IConfigLockChangedNotifyer* FConfigChangedNotifyer = nullptr;
    TLockWatcher* FLockWatcher = nullptr;  // owned; stopped and freed by StopWatcher
    // Serialises Lock, Unlock and IsLockedByOther between the owner's thread and the watcher: FHandle
    // is shared, and a probe of the watcher must not make this object's own Lock fail.
    mutable std::mutex FLock;
};

// Polls its locker every 100 ms and reports each change to the notifier on the thread that created
// the watcher. Not freed on termination: its locker frees it.
class TLockWatcher final : public TBLThreadBase {
    Q_OBJECT
public:
    // Starts at once. The locker outlives the watcher (it stops the watcher before it dies).
    static TLockWatcher* Create(IConfigLocker* ConfigLocker, IConfigLockChangedNotifyer* ConfigChangedNotifyer);
    ~TLockWatcher() override;

    static constexpr auto PollInterval = std::chrono::milliseconds(100);

protected:
    // Reads the state changes are measured against before it reports the start, so a change made
    // after WaitForStarted is always reported.
    void DoThreadStart() override;
    void DoThreadLoop() override;

private:
    friend class TBLThreadBase;
    TLockWatcher(IConfigLocker* ConfigLocker, IConfigLockChangedNotifyer* ConfigChangedNotifyer);
    void Notify(bool Locked, const TLockInfo& LockInfo);

    // Not a counted reference: the locker owns the watcher, and a reference back would keep both
    // alive for good once the owner let go.
    IConfigLocker* FConfigLocker = nullptr;
    IConfigLockChangedNotifyer* FConfigChangedNotifyer = nullptr;
    bool FLocked = false;  // the last state read; the watcher's thread only
};

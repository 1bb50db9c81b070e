// FileLock.h: cross-process locks and file sharing with flock(2): files opened with a sharing mode
// (readers share, writers exclude), the system-wide semaphore that brackets every configuration file
// access, file stamps for change detection and the atomic replacement of a file's content.
// A lock held by a process that dies is released by the kernel. flock belongs to the open file
// description, so every TLockedFile has its own descriptor and the semaphore adds an in-process
// mutex. Any thread; nothing here raises: results carry the OS error text.
#pragma once
#include <QByteArray>
#include <QString>
#include <chrono>
#include <cstdint>

namespace Platform {

// How a file is opened. Values match the sharing modes callers pass as numbers.
enum class TShareMode : int {
    smReadDenyWrite = 0,   // read only; other readers share, writers wait
    smReadWriteExclusive = 1,  // read and write, created when missing; nobody else
    smCreateExclusive = 2,     // created or truncated; nobody else
};

enum class TOpenStatus : int { osOk = 0, osLocked = 1, osFailed = 2 };

struct TOpenResult {
    TOpenStatus Status = TOpenStatus::osFailed;
    int ErrorCode = 0;     // errno of the failing call
    QString ErrorText;     // the OS text for people
    explicit operator bool() const { return Status == TOpenStatus::osOk; }
};

// What identifies one version of a file: nanosecond modification time, size and inode. A rename over
// the file changes the inode, so a rewrite within the same second is seen as well.
struct TFileStamp {
    bool Exists = false;
    std::int64_t MTimeNs = 0;
    std::int64_t Size = 0;
    std::uint64_t Inode = 0;
    std::uint64_t Device = 0;
    bool operator==(const TFileStamp&) const = default;
};
TFileStamp GetFileStamp(const QString& FileName);

// An open file holding a flock that matches its sharing mode; closed (and unlocked) on destruction.
class TLockedFile {
public:
    TLockedFile() = default;
    ~TLockedFile();
    TLockedFile(TLockedFile&& Other) noexcept;
    TLockedFile& operator=(TLockedFile&& Other) noexcept;
    TLockedFile(const TLockedFile&) = delete;
    TLockedFile& operator=(const TLockedFile&) = delete;

    // One attempt, never waiting: osLocked when another open file description holds a conflicting lock.
    [[nodiscard]] static TOpenResult TryOpen(const QString& FileName, TShareMode Mode, TLockedFile& Out);

    bool IsOpen() const { return FHandle >= 0; }
    const QString& FileName() const { return FFileName; }
    // Reads from the current position to the end. False with ErrorText on failure.
    [[nodiscard]] bool ReadAll(QByteArray& Bytes, QString* ErrorText = nullptr);
    // Writes all bytes at the current position; answers the count written (short on failure).
    qint64 Write(const QByteArray& Bytes, QString* ErrorText = nullptr);
    [[nodiscard]] bool Truncate(QString* ErrorText = nullptr);
    [[nodiscard]] bool Sync(QString* ErrorText = nullptr);
    // The stamp of the open file (what was read), not of whatever the name points at now.
    TFileStamp Stamp() const;
    void Close();

private:
    int FHandle = -1;
    QString FFileName;
};

// A lock file held with flock; created 0666 so that every user of the machine can take it.
class TLockFile {
public:
    explicit TLockFile(const QString& FileName);
    ~TLockFile();
    TLockFile(const TLockFile&) = delete;
    TLockFile& operator=(const TLockFile&) = delete;

    // Polls with LOCK_NB until Timeout has passed; a zero timeout tries once.
    [[nodiscard]] bool Lock(bool Exclusive, std::chrono::milliseconds Timeout);
    void Unlock();
    bool IsLocked() const { return FLocked; }
    const QString& ErrorText() const { return FErrorText; }

private:
    bool OpenHandle();
    QString FFileName;
    int FHandle = -1;
    bool FLocked = false;
    QString FErrorText;
};

// The one system-wide semaphore (count 1) of the configuration stores: a lock file in the temporary
// folder. Re-entrant within a thread, so a read-modify-write can hold it across nested reads and
// writes; other threads of the process wait on the in-process mutex first.
class TSystemSemaphore {
public:
    static TSystemSemaphore& Instance();
    // False when Timeout passed without the semaphore; the caller may go on without it.
    [[nodiscard]] bool Acquire(std::chrono::milliseconds Timeout);
    void Release();
    static QString LockFileName();

private:
    TSystemSemaphore() = default;
    struct TImpl;
    TImpl& Impl();
};

// Holds the system semaphore for its lifetime (when the wait succeeded).
class TSemaphoreGuard {
public:
    explicit TSemaphoreGuard(std::chrono::milliseconds Timeout)
        : FAcquired(TSystemSemaphore::Instance().Acquire(Timeout)) {}
    ~TSemaphoreGuard() {
        if (FAcquired)
            TSystemSemaphore::Instance().Release();
    }
    TSemaphoreGuard(const TSemaphoreGuard&) = delete;
    TSemaphoreGuard& operator=(const TSemaphoreGuard&) = delete;
    bool Acquired() const { return FAcquired; }

private:
    bool FAcquired = false;
};


// Replaces the content of FileName: writes a temporary file in the same folder, flushes it to disk,
// gives it the old file's permissions and renames it over the old file, so a crash leaves either the
// old or the new content. A symbolic link is followed and its target replaced.
struct TWriteResult {
    bool Ok = false;
    qint64 Written = 0;
    QString ErrorText;
    explicit operator bool() const { return Ok; }
};
// Without Durable nothing is flushed: readers still never see half a file, but a power loss may lose it.
[[nodiscard]] TWriteResult ReplaceFileContent(const QString& FileName, const QByteArray& Bytes, bool Durable = true);

bool FileExists(const QString& FileName);
bool FolderExists(const QString& Folder);
// The current user may write the existing file.
bool IsFileWritable(const QString& FileName);
// The folder exists and the current user may create files in it.
bool IsFolderWritable(const QString& Folder);
// Creates Folder and all missing parents.
bool ForceFolders(const QString& Folder);
QString LastErrorText(int ErrorCode);

}  // namespace Platform

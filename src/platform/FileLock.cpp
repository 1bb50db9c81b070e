#include "platform/FileLock.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>

namespace Platform {
namespace {

QByteArray Native(const QString& FileName) { return QFile::encodeName(FileName); }

// Polling steps for LOCK_NB waits: short at first so an uncontended hand-over is quick, capped so
// that a long wait does not spin.
std::chrono::milliseconds NextPollDelay(std::chrono::milliseconds Current) {
    return std::min(Current * 2, std::chrono::milliseconds(16));
}

int OpenRetryingEintr(const QByteArray& Path, int Flags, mode_t Mode) {
    int handle;
    do {
        handle = ::open(Path.constData(), Flags | O_CLOEXEC, Mode);
    } while (handle < 0 && errno == EINTR);
    return handle;
}

bool FlockRetryingEintr(int Handle, int Operation) {
    int rc;
    do {
        rc = ::flock(Handle, Operation);
    } while (rc < 0 && errno == EINTR);
    return rc == 0;
}

bool WriteFully(int Handle, const char* Data, qint64 Size, qint64& Written, QString* ErrorText) {
    Written = 0;
    while (Written < Size) {
        const ssize_t n = ::write(Handle, Data + Written, static_cast<size_t>(Size - Written));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (ErrorText)
                *ErrorText = LastErrorText(errno);
            return false;
        }
        Written += n;
    }
    return true;
}

}  // namespace

QString LastErrorText(int ErrorCode) { return QString::fromLocal8Bit(std::strerror(ErrorCode)); }

// ---- TLockedFile ----

TLockedFile::~TLockedFile() { Close(); }

TLockedFile::TLockedFile(TLockedFile&& Other) noexcept
    : FHandle(std::exchange(Other.FHandle, -1)), FFileName(std::move(Other.FFileName)) {}

TLockedFile& TLockedFile::operator=(TLockedFile&& Other) noexcept {
    if (this != &Other) {
        Close();
        FHandle = std::exchange(Other.FHandle, -1);
        FFileName = std::move(Other.FFileName);
    }
    return *this;
}

TOpenResult TLockedFile::TryOpen(const QString& FileName, TShareMode Mode, TLockedFile& Out) {
    Out.Close();
    int flags = 0;
    int lock = LOCK_EX;
    switch (Mode) {
    case TShareMode::smReadDenyWrite:
        flags = O_RDONLY;
        lock = LOCK_SH;
        break;
    case TShareMode::smReadWriteExclusive:
        flags = O_RDWR | O_CREAT;
        break;
    case TShareMode::smCreateExclusive:
        // Truncation waits until the lock is ours, so a holder never sees its file emptied.
        flags = O_RDWR | O_CREAT;
        break;
    }
    const int handle = OpenRetryingEintr(Native(FileName), flags, 0666);
    if (handle < 0) {
        const int error = errno;
        return {TOpenStatus::osFailed, error, LastErrorText(error)};
    }
    if (!FlockRetryingEintr(handle, lock | LOCK_NB)) {
        const int error = errno;
        ::close(handle);
        return {error == EWOULDBLOCK ? TOpenStatus::osLocked : TOpenStatus::osFailed, error, LastErrorText(error)};
    }
    if (Mode == TShareMode::smCreateExclusive && ::ftruncate(handle, 0) != 0) {
        const int error = errno;
        ::close(handle);
        return {TOpenStatus::osFailed, error, LastErrorText(error)};
    }
    Out.FHandle = handle;
    Out.FFileName = FileName;
    return {TOpenStatus::osOk, 0, {}};
}

bool TLockedFile::ReadAll(QByteArray& Bytes, QString* ErrorText) {
    Bytes.clear();
    struct stat info {};
    if (::fstat(FHandle, &info) == 0 && info.st_size > 0)
        Bytes.reserve(static_cast<qsizetype>(info.st_size));
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(FHandle, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            if (ErrorText)
                *ErrorText = LastErrorText(errno);
            return false;
        }
        if (n == 0)
            return true;
        Bytes.append(buffer, static_cast<qsizetype>(n));
    }
}

qint64 TLockedFile::Write(const QByteArray& Bytes, QString* ErrorText) {
    qint64 written = 0;
    WriteFully(FHandle, Bytes.constData(), Bytes.size(), written, ErrorText);
    return written;
}

bool TLockedFile::Truncate(QString* ErrorText) {
    if (::ftruncate(FHandle, 0) == 0 && ::lseek(FHandle, 0, SEEK_SET) == 0)
        return true;
    if (ErrorText)
        *ErrorText = LastErrorText(errno);
    return false;
}

bool TLockedFile::Sync(QString* ErrorText) {
    if (::fsync(FHandle) == 0)
        return true;
    if (ErrorText)
        *ErrorText = LastErrorText(errno);
    return false;
}

namespace {
TFileStamp StampOf(const struct stat& Info) {
    TFileStamp stamp;
    stamp.Exists = true;
    stamp.MTimeNs = static_cast<std::int64_t>(Info.st_mtim.tv_sec) * 1000000000 + Info.st_mtim.tv_nsec;
    stamp.Size = Info.st_size;
    stamp.Inode = Info.st_ino;
    stamp.Device = Info.st_dev;
    return stamp;
}
}  // namespace

TFileStamp TLockedFile::Stamp() const {
    struct stat info {};
    if (FHandle < 0 || ::fstat(FHandle, &info) != 0)
        return {};
    return StampOf(info);
}

void TLockedFile::Close() {
    if (FHandle >= 0) {
        ::close(FHandle);  // releases the flock of this open file description
        FHandle = -1;
    }
}

// ---- TLockFile ----

TLockFile::TLockFile(const QString& FileName) : FFileName(FileName) {}

TLockFile::~TLockFile() {
    Unlock();
    if (FHandle >= 0)
        ::close(FHandle);
}

bool TLockFile::OpenHandle() {
    if (FHandle >= 0)
        return true;
    const QByteArray path = Native(FFileName);
    FHandle = OpenRetryingEintr(path, O_RDWR | O_CREAT, 0666);
    if (FHandle >= 0) {
        // The umask may have taken write rights away; other users must be able to open it too.
        struct stat info {};
        if (::fstat(FHandle, &info) == 0 && info.st_uid == ::geteuid() && (info.st_mode & 0777) != 0666)
            ::fchmod(FHandle, 0666);
        return true;
    }
    // Someone else's lock file without write rights for us: flock works on a read-only descriptor.
    FHandle = OpenRetryingEintr(path, O_RDONLY, 0);
    if (FHandle < 0)
        FErrorText = LastErrorText(errno);
    return FHandle >= 0;
}

bool TLockFile::Lock(bool Exclusive, std::chrono::milliseconds Timeout) {
    if (FLocked)
        return true;
    if (!OpenHandle())
        return false;
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    auto delay = std::chrono::milliseconds(1);
    for (;;) {
        if (FlockRetryingEintr(FHandle, (Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB)) {
            FLocked = true;
            return true;
        }
        if (errno != EWOULDBLOCK) {
            FErrorText = LastErrorText(errno);
            return false;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline) {
            FErrorText = LastErrorText(EWOULDBLOCK);
            return false;
        }
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(delay, deadline - now));
        delay = NextPollDelay(delay);
    }
}

void TLockFile::Unlock() {
    if (FLocked && FHandle >= 0)
        FlockRetryingEintr(FHandle, LOCK_UN);
    FLocked = false;
}

// ---- TSystemSemaphore ----

struct TSystemSemaphore::TImpl {
    std::recursive_timed_mutex ThreadLock;  // one thread of this process at a time
    std::mutex StateLock;                   // protects Depth and File
    int Depth = 0;                          // nesting depth of the owning thread
    std::unique_ptr<TLockFile> File;
};

TSystemSemaphore& TSystemSemaphore::Instance() {
    static TSystemSemaphore semaphore;
    return semaphore;
}

TSystemSemaphore::TImpl& TSystemSemaphore::Impl() {
    static TImpl impl;
    return impl;
}

QString TSystemSemaphore::LockFileName() {
    return QDir::tempPath() + QStringLiteral("/BL-{56DBBD4B-709A-4650-A606-389E09055605}.lock");
}

bool TSystemSemaphore::Acquire(std::chrono::milliseconds Timeout) {
    TImpl& impl = Impl();
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    if (!impl.ThreadLock.try_lock_until(deadline))
        return false;
    std::lock_guard state(impl.StateLock);
    if (impl.Depth == 0) {
        // Opened afresh each time: the temporary folder may differ between calls (tests move TMPDIR).
        impl.File = std::make_unique<TLockFile>(LockFileName());
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (!impl.File->Lock(true, std::max(left, std::chrono::milliseconds(0)))) {
            impl.File.reset();
            impl.ThreadLock.unlock();
            return false;
        }
    }
    ++impl.Depth;
    return true;
}

void TSystemSemaphore::Release() {
    TImpl& impl = Impl();
    {
        std::lock_guard state(impl.StateLock);
        if (impl.Depth <= 0)
            return;
        if (--impl.Depth == 0 && impl.File) {
            impl.File->Unlock();
            impl.File.reset();  // closed, so the next acquire opens the lock file of the current temp folder
        }
    }
    impl.ThreadLock.unlock();
}

// ---- stamps and files ----

TFileStamp GetFileStamp(const QString& FileName) {
    struct stat info {};
    if (::stat(Native(FileName).constData(), &info) != 0)
        return {};
    return StampOf(info);
}

TWriteResult ReplaceFileContent(const QString& FileName, const QByteArray& Bytes, bool Durable) {
    TWriteResult result;
    QString target = FileName;
    const QFileInfo info(FileName);
    if (info.isSymLink()) {
        const QString resolved = info.canonicalFilePath();
        if (!resolved.isEmpty())
            target = resolved;
    }
    const QString folder = QFileInfo(target).absolutePath();
    const QByteArray nativeTarget = Native(target);

    struct stat old {};
    const bool hadFile = ::stat(nativeTarget.constData(), &old) == 0;

    QByteArray pattern = Native(folder + QLatin1Char('/') + QLatin1Char('.') + QFileInfo(target).fileName()) + ".XXXXXX";
    const int handle = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (handle < 0) {
        const int error = errno;
        if (!hadFile || (error != EACCES && error != EPERM && error != EROFS)) {
            result.ErrorText = LastErrorText(error);
            return result;
        }
        // The folder refuses new files but the file itself may be writable: write it in place.
        const int direct = OpenRetryingEintr(nativeTarget, O_WRONLY | O_TRUNC, 0);
        if (direct < 0) {
            result.ErrorText = LastErrorText(errno);
            return result;
        }
        result.Ok = WriteFully(direct, Bytes.constData(), Bytes.size(), result.Written, &result.ErrorText) &&
                    (!Durable || ::fsync(direct) == 0);
        if (!result.Ok && result.ErrorText.isEmpty())
            result.ErrorText = LastErrorText(errno);
        ::close(direct);
        return result;
    }
    auto fail = [&](int Error) {
        result.Ok = false;
        if (result.ErrorText.isEmpty())
            result.ErrorText = LastErrorText(Error);
        ::close(handle);
        ::unlink(pattern.constData());
        return result;
    };
    if (!WriteFully(handle, Bytes.constData(), Bytes.size(), result.Written, &result.ErrorText))
        return fail(errno);
    // A new file keeps the permissions a created file would get: 0666 less the umask.
    mode_t mode = old.st_mode & 07777;
    if (!hadFile) {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(handle, mode) != 0)
        return fail(errno);
    if (hadFile && (old.st_uid != ::geteuid() || old.st_gid != ::getegid()))
        (void)::fchown(handle, old.st_uid, old.st_gid);  // only root succeeds; others keep their ids
    if (Durable && ::fsync(handle) != 0)
        return fail(errno);
    ::close(handle);
    if (::rename(pattern.constData(), nativeTarget.constData()) != 0) {
        const int error = errno;
        ::unlink(pattern.constData());
        result.ErrorText = LastErrorText(error);
        return result;
    }
    // The rename itself must reach the disk, or a power loss could bring the old name back.
    const int folderHandle = Durable ? OpenRetryingEintr(Native(folder), O_RDONLY | O_DIRECTORY, 0) : -1;
    if (folderHandle >= 0) {
        ::fsync(folderHandle);
        ::close(folderHandle);
    }
    result.Ok = true;
    return result;
}

bool FileExists(const QString& FileName) {
    struct stat info {};
    return ::stat(Native(FileName).constData(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool FolderExists(const QString& Folder) {
    struct stat info {};
    return ::stat(Native(Folder).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool IsFileWritable(const QString& FileName) { return ::access(Native(FileName).constData(), W_OK) == 0; }

bool IsFolderWritable(const QString& Folder) {
    return FolderExists(Folder) && ::access(Native(Folder).constData(), W_OK | X_OK) == 0;
}

bool ForceFolders(const QString& Folder) { return FolderExists(Folder) || QDir().mkpath(Folder); }

}  // namespace Platform

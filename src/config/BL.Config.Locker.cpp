#include "config/BL.Config.Locker.h"

#include <QFile>
#include <QMetaObject>
#include <QThread>
#include <cstring>

#include "platform/ProcessInfo.h"

namespace {

// The name may be removed and created anew between our open and our flock (a holder removes it on
// Unlock, a probe after finding it free); each attempt starts over, and they are few because
// such a change needs another process to win a race every time.
constexpr int OpenAttempts = 10;

// A holder writes its record right after taking the flock; a reader that catches the file empty or
// half-written in that moment looks again a few times before it takes the short record as it is.
constexpr int ShortRecordRereads = 5;
constexpr unsigned long ShortRecordPauseMs = 1;

bool SameFile(const Platform::TFileStamp& A, const Platform::TFileStamp& B) {
    return A.Exists && B.Exists && A.Inode == B.Inode && A.Device == B.Device;
}

// The open file is still the one the name points at (not removed or replaced since it was opened).
bool NameStillRefersTo(const QString& FileName, const Platform::TLockedFile& File) {
    return SameFile(File.Stamp(), Platform::GetFileStamp(FileName));
}

}  // namespace

// ---- TLockInfo ----

QString TLockInfo::UserText() const {
    qsizetype length = 0;
    while (length < UserLength && User[length] != 0)
        ++length;
    return QString(reinterpret_cast<const QChar*>(User.data()), length);
}

void TLockInfo::SetUserText(const QString& Text) {
    User.fill(0);
    qsizetype length = std::min<qsizetype>(Text.size(), UserLength - 1);
    if (length < Text.size() && length > 0 && Text.at(length - 1).isHighSurrogate())
        --length;
    for (qsizetype i = 0; i < length; ++i)
        User[i] = Text.at(i).unicode();
}

QByteArray TLockInfo::ToBytes() const {
    QByteArray bytes(RecordSize, '\0');
    for (int i = 0; i < 4; ++i)
        bytes[i] = static_cast<char>((ProcessId >> (8 * i)) & 0xFF);
    for (int i = 0; i < UserLength; ++i) {
        bytes[4 + 2 * i] = static_cast<char>(User[i] & 0xFF);
        bytes[4 + 2 * i + 1] = static_cast<char>(User[i] >> 8);
    }
    return bytes;
}

TLockInfo TLockInfo::FromBytes(const QByteArray& Bytes) {
    QByteArray record = Bytes.left(RecordSize);
    record.append(RecordSize - record.size(), '\0');
    const auto* data = reinterpret_cast<const unsigned char*>(record.constData());
    TLockInfo info;
    info.ProcessId = quint32(data[0]) | quint32(data[1]) << 8 | quint32(data[2]) << 16 | quint32(data[3]) << 24;
    for (int i = 0; i < UserLength; ++i)
        info.User[i] = static_cast<char16_t>(data[4 + 2 * i] | data[4 + 2 * i + 1] << 8);
    return info;
}

// ---- TFileConfigLocker ----

TFileConfigLocker::TFileConfigLocker(const QString& BlkPath, IConfigLockChangedNotifyer* ChangeNotifyer)
    : FBlkPath(BlkPath), FLockFile(BlkPath + QStringLiteral(".lock")), FConfigChangedNotifyer(ChangeNotifyer) {}

TFileConfigLocker::~TFileConfigLocker() {
    StopWatcher();
    // Kept open past this object, the lock would bar every later locker of this very process from
    // the project until the process ends; so it is given up like an Unlock.
    std::lock_guard<std::mutex> guard(FLock);
    DoUnlock();
}

TLockInfo TFileConfigLocker::OwnLockInfo() {
    TLockInfo info;
    info.ProcessId = Platform::CurrentProcessId();
    info.SetUserText(TBLLoggingHelper::LogUserName());
    return info;
}

bool TFileConfigLocker::HoldsLock() const {
    std::lock_guard<std::mutex> guard(FLock);
    return FHandle.IsOpen();
}

bool TFileConfigLocker::Lock() {
    std::lock_guard<std::mutex> guard(FLock);
    if (FHandle.IsOpen())
        return true;
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        Platform::TLockedFile file;
        const Platform::TOpenResult result =
            Platform::TLockedFile::TryOpen(FLockFile, Platform::TShareMode::smReadWriteExclusive, file);
        if (result.Status == Platform::TOpenStatus::osLocked)
            return false;
        if (result.Status == Platform::TOpenStatus::osFailed) {
            // Perhaps a stale file we may not write (left by another user): replace it when free.
            if (!RemoveStaleLockFile())
                return false;
            continue;
        }
        if (!NameStillRefersTo(FLockFile, file))
            continue;
        // A stale record of exactly this size is overwritten in place, so readers never see it empty.
        if (file.Stamp().Size > TLockInfo::RecordSize && !file.Truncate())
            return false;
        const QByteArray record = OwnLockInfo().ToBytes();
        QString errorText;
        if (file.Write(record, &errorText) != record.size())
            AddToLog(TMessageLogType::tmlWarning, TLogChannel::lcApplication, QString(), false,
                     QStringLiteral("TFileConfigLocker.Lock: ") + FLockFile + QStringLiteral(": ") + errorText);
        FHandle = std::move(file);
        return true;
    }
    return false;
}

bool TFileConfigLocker::Unlock() {
    std::lock_guard<std::mutex> guard(FLock);
    return DoUnlock();
}

bool TFileConfigLocker::DoUnlock() {
    if (!FHandle.IsOpen())
        return false;
    // The name goes while the flock is still ours: removed after closing, it could take away a lock
    // file that another process has just created and locked.
    if (NameStillRefersTo(FLockFile, FHandle))
        QFile::remove(FLockFile);
    FHandle.Close();
    return true;
}

bool TFileConfigLocker::RemoveStaleLockFile() {
    Platform::TLockedFile reader;
    const Platform::TOpenResult result =
        Platform::TLockedFile::TryOpen(FLockFile, Platform::TShareMode::smReadDenyWrite, reader);
    if (!result || !NameStillRefersTo(FLockFile, reader))
        return false;
    // Removed while our shared flock keeps any holder out.
    return QFile::remove(FLockFile);
}

bool TFileConfigLocker::IsLockedByOther(TLockInfo& LockInfo) {
    std::lock_guard<std::mutex> guard(FLock);
    if (FHandle.IsOpen())
        return false;
    for (int attempt = 0; attempt < OpenAttempts; ++attempt) {
        Platform::TLockedFile probe;
        Platform::TOpenResult result =
            Platform::TLockedFile::TryOpen(FLockFile, Platform::TShareMode::smReadWriteExclusive, probe);
        if (result.Status == Platform::TOpenStatus::osFailed) {
            // The file cannot be created or written here (a read-only folder, another user's file):
            // a shared flock tells whether a live process holds it all the same.
            result = Platform::TLockedFile::TryOpen(FLockFile, Platform::TShareMode::smReadDenyWrite, probe);
            if (result.Status != Platform::TOpenStatus::osLocked)
                return false;
        }
        if (result.Status == Platform::TOpenStatus::osLocked) {
            LockInfo = ReadLockInfo();
            return true;
        }
        if (!NameStillRefersTo(FLockFile, probe))
            continue;
        // Free: the file we created (or found stale) goes again while our flock keeps others out.
        QFile::remove(FLockFile);
        return false;
    }
    return false;
}

TLockInfo TFileConfigLocker::ReadLockInfo() const {
    QByteArray bytes;
    for (int read = 0; read <= ShortRecordRereads; ++read) {
        QFile file(FLockFile);
        if (!file.open(QIODevice::ReadOnly))
            return {};
        bytes = file.read(TLockInfo::RecordSize);
        if (bytes.size() >= TLockInfo::RecordSize)
            break;
        QThread::msleep(ShortRecordPauseMs);
    }
    return TLockInfo::FromBytes(bytes);
}

void TFileConfigLocker::SetNeedLockChangedNotifications(bool Value) {
    StopWatcher();
    if (Value)
        FLockWatcher = TLockWatcher::Create(this, FConfigChangedNotifyer);
}

void TFileConfigLocker::StopWatcher() {
    // Not under FLock: the watcher may be waiting for it in IsLockedByOther.
    if (TLockWatcher* watcher = std::exchange(FLockWatcher, nullptr))
        watcher->Destroy();
}

// ---- TLockWatcher ----

TLockWatcher::TLockWatcher(IConfigLocker* ConfigLocker, IConfigLockChangedNotifyer* ConfigChangedNotifyer)
    : FConfigLocker(ConfigLocker), FConfigChangedNotifyer(ConfigChangedNotifyer) {}

TLockWatcher::~TLockWatcher() { StopAndWait(); }

TLockWatcher* TLockWatcher::Create(IConfigLocker* ConfigLocker, IConfigLockChangedNotifyer* ConfigChangedNotifyer) {
    return TBLThreadBase::Create<TLockWatcher>(false, ConfigLocker, ConfigChangedNotifyer);
}

void TLockWatcher::DoThreadStart() {
    TLockInfo info;
    FLocked = FConfigLocker->IsLockedByOther(info);
    TBLThreadBase::DoThreadStart();
}

void TLockWatcher::DoThreadLoop() {
    TLockInfo info;
    while (!Terminated()) {
        const bool now = FConfigLocker->IsLockedByOther(info);
        if (now != FLocked) {
            Notify(now, info);
            FLocked = now;
        }
        SleepUnlessWoken(PollInterval);
    }
}

void TLockWatcher::Notify(bool Locked, const TLockInfo& LockInfo) {
    if (!FConfigChangedNotifyer)
        return;
    // Posted, not waited for: an owner that stops the watcher on its own thread would otherwise wait
    // for a watcher that waits for that very thread. A notification still queued when the watcher is
    // freed is dropped with it, so none arrives after notifications were switched off.
    QMetaObject::invokeMethod(
        this,
        [this, Locked, LockInfo] {
            try {
                if (Locked)
                    FConfigChangedNotifyer->LockedByOther(LockInfo);
                else
                    FConfigChangedNotifyer->LockReleased();
            } catch (const std::exception& e) {
                LogException(Locked ? QStringLiteral("LockedByOther") : QStringLiteral("LockReleased"), e);
            }
        },
        Qt::QueuedConnection);
}

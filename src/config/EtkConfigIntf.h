// EtkConfigIntf.h: value types shared by the configuration stores and their callers: the typed raw
// value kinds, the font and rectangle sub-structures, and the inflation of compressed configuration
// files. Plain values; any thread.
#pragma once
#include <QByteArray>
#include <QString>

// The type of a stored value, as its letter in the file says.
enum class TEtkRawType : int { rtString = 0, rtInteger = 1, rtBoolean = 2, rtList = 3 };

// The font sub-structure under a key + "\TFont"; defaults as a missing part reads.
struct TEtkFontData {
    int CharSet = 1;
    int Pitch = 0;  // 0 default, 1 variable, 2 fixed
    int Size = 8;   // points
    int Style = 0;  // bold 1, italic 2, underline 4, strike-out 8
    QString Color = QStringLiteral("clWindowText");
    QString Name;
    bool operator==(const TEtkFontData&) const = default;
};

// A rectangle as the rectangle list stores it (Right and Bottom as given, not sizes).
struct TEtkRect {
    int Left = 0;
    int Top = 0;
    int Right = 0;
    int Bottom = 0;
    bool operator==(const TEtkRect&) const = default;
};

// Configuration files may be stored as a gzip or zlib stream. When Bytes begins with either
// signature and inflates completely (checksum verified), Bytes becomes the inflated content and the
// answer is true; otherwise Bytes stays as it was.
bool InflateConfigBytes(QByteArray& Bytes);

// The text of a stored value without white space (characters up to the blank) at both ends.
QString TrimConfigText(const QString& Text);

// ---- Lock record and interfaces ------------------------------------------------------------------
// The project-file lock (BL.Config.Locker) and the facade that is told about it. The record's
// operations are defined with the locker.
#include <QtGlobal>
#include <array>

// The lock record, also the exact content of the lock file: the holder's process id (unsigned 32-bit,
// little-endian) and its user as UTF-16LE, zero-filled after the text.
struct TLockInfo {
    static constexpr int UserLength = 1025;  // code units
    static constexpr int RecordSize = 4 + 2 * UserLength;

    quint32 ProcessId = 0;
    std::array<char16_t, UserLength> User{};

    void Clear() { *this = TLockInfo(); }
    // The text up to the first zero.
    QString UserText() const;
    // Longer texts keep their first 1024 code units (a surrogate pair is never split), so the
    // record always ends with a zero.
    void SetUserText(const QString& Text);

    QByteArray ToBytes() const;
    // A shorter input leaves the rest zero; bytes beyond the record are ignored.
    static TLockInfo FromBytes(const QByteArray& Bytes);
    bool operator==(const TLockInfo&) const = default;
};

// Implemented by the configuration facade (not reference-counted: nobody deletes through it).
class IConfigLockChangedNotifyer {
public:
    virtual void LockedByOther(const TLockInfo& LockInfo) = 0;
    virtual void LockReleased() = 0;

protected:
    ~IConfigLockChangedNotifyer() = default;
};

// Reference-counted: held as std::shared_ptr<IConfigLocker>.
class IConfigLocker {
public:
    virtual ~IConfigLocker() = default;
    virtual bool IsLockedByOther(TLockInfo& LockInfo) = 0;
    virtual bool Lock() = 0;
    virtual bool Unlock() = 0;
    virtual void SetNeedLockChangedNotifications(bool Value) = 0;
};

// ---- End of lock record and interfaces -----------------------------------------------------------

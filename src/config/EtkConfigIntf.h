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

// ---- Configuration interface ---------------------------------------------------------------------
// Implemented by the native configuration (several files, routed by key prefix) and by the facade
// in front of it (variant mapping). Lists are returned by value; ReadPluginSecNames and ExtractTexte
// append to the caller's list. Not reference-counted: both implementers are owned by their parents.
#include <QStringList>
#include <functional>

// Where the per-user files live: "VIEWER\LOCALFILESLOCATIONTYPE".
enum class TLocalFilesLocationType : int { lfMyDocuments = 0, lfAppData = 1 };

// The callback of the library build of the configuration; the executable refuses it.
using TDllCallBackFunction = std::function<void(const QString& Text)>;

class IEtkConfigNat {
public:
    virtual void Clear() = 0;
    // Re-reads the main file if it changed.
    virtual void RefreshDom() = 0;
    // Nestable write batching: the files are written once at the outermost end.
    virtual void StartCaching() = 0;
    virtual void EndCaching() = 0;
    virtual void InvalidateCache() = 0;
    virtual QString GetCacheMagicNumber() = 0;
    virtual void SetCacheMagicNumber(const QString& Value) = 0;
    virtual QString GetExeCacheMagicNumber() = 0;
    virtual void SetDllCallBackFunction(TDllCallBackFunction CallBack) = 0;
    virtual void SetDllUTF8Mode(bool Value) = 0;
    virtual void SetRootDirectoryForWriteFileName(const QString& RootDirectory) = 0;
    virtual QString GetRootDirectoryForWriteFileName() = 0;

    // File names are stored relative to the key's file where possible and read back absolute.
    virtual QString ReadFileName(const QString& Key, const QString& Default) = 0;
    virtual QStringList ReadFileNames(const QString& Key) = 0;
    virtual void WriteFileName(const QString& Key, const QString& Value) = 0;
    virtual void WriteFileNames(const QString& Key, const QStringList& Values) = 0;

    // Typ: TEtkRawType as integer; Data: the stored text without its type letter.
    virtual bool ReadRawData(const QString& Key, int& Typ, QString& Data) = 0;
    virtual QString ReadString(const QString& Key, const QString& Default) = 0;
    virtual QStringList ReadStrings(const QString& Key) = 0;
    virtual void WriteString(const QString& Key, const QString& Value) = 0;
    virtual void WriteBool(const QString& Key, bool Value) = 0;
    virtual bool ReadBool(const QString& Key, bool Default) = 0;
    virtual void WriteStrings(const QString& Key, const QStringList& Values) = 0;
    // Makes the sub-keys of Key exactly SubKeys.
    virtual void WriteKeys(const QString& Key, const QStringList& SubKeys) = 0;
    virtual void RenameKey(const QString& Key, const QString& NewKey) = 0;
    virtual void DeleteSubKeys(const QString& Key) = 0;
    virtual void DeleteKey(const QString& Key) = 0;
    virtual void DeleteAttribute(const QString& Key, const QString& AttName) = 0;
    // Removes the value and keeps the key.
    virtual void DeleteValue(const QString& Key) = 0;
    // Direct sub-key names in file order.
    virtual QStringList ReadKeys(const QString& Key) = 0;
    // All descendant paths relative to Key.
    virtual QStringList ReadAllKeys(const QString& Key) = 0;
    virtual int ReadInteger(const QString& Key, int Default) = 0;
    virtual void WriteInteger(const QString& Key, int Value) = 0;
    virtual double ReadFloat(const QString& Key, double Default) = 0;
    virtual void WriteFloat(const QString& Key, double Value) = 0;
    virtual void WriteFont(const QString& Key, const TEtkFontData& Font) = 0;
    // Default null: charset 1, black, "Arial", default pitch, size 8.
    virtual void ReadFont(const QString& Key, TEtkFontData& Font, const TEtkFontData* Default) = 0;
    virtual void WriteRect(const QString& Key, const TEtkRect& Rect) = 0;
    // Leaves Rect as it was when none is stored.
    virtual void ReadRect(const QString& Key, TEtkRect& Rect) = 0;
    // The format version of the main file.
    virtual void WriteVersion(double Value) = 0;
    virtual double ReadVersion() = 0;

    // Lines of attribute name, "|" and value.
    virtual QStringList ReadAllAttributes(const QString& Key) = 0;
    // Empty when absent.
    virtual QString ReadAttribute(const QString& Key, const QString& AttName) = 0;
    virtual void WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) = 0;
    virtual int ReadAttributeInt(const QString& Key, const QString& AttName, int Default) = 0;
    virtual void WriteAttributeInt(const QString& Key, const QString& AttName, int Value) = 0;
    virtual bool ReadAttributeBool(const QString& Key, const QString& AttName, bool Default) = 0;
    virtual void WriteAttributeBool(const QString& Key, const QString& AttName, bool Value) = 0;
    virtual double ReadAttributeFloat(const QString& Key, const QString& AttName, double Default) = 0;
    virtual void WriteAttributeFloat(const QString& Key, const QString& AttName, double Value) = 0;

    // The file that answers Key.
    virtual QString GetFileForKey(const QString& Key) = 0;
    virtual bool SetFileForKey(const QString& Key, const QString& FileName, bool DoNotHandleExceptions) = 0;
    virtual void ClearFiles() = 0;
    // True when a file with exactly that file key existed.
    virtual bool DisableFileForKey(const QString& Key, bool Disable) = 0;
    // Some element on the path from the root to Key carries AttName with exactly AttValue.
    virtual bool ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) = 0;
    // A main file is set.
    virtual bool IsValid() = 0;
    virtual bool IsConfigReadonly(bool MitMeldung, bool ForOptions) = 0;
    // Replaces the subtree Key by a copy of Source's.
    virtual void AssignData(IEtkConfigNat& Source, const QString& Key) = 0;
    virtual bool IsEqual(IEtkConfigNat& Source, const QString& Key) = 0;

    // The per-user file and folders; each answer is a path.
    virtual QString MakeUserCfg(const QString& ActKonfigFile, bool WithUpdate) = 0;
    virtual bool IsNewUserCfg() = 0;
    virtual QString UpdateUserCfg() = 0;
    virtual QString GetNVKUserPath() = 0;
    virtual QString GetUserPath() = 0;
    // True when keys were added.
    virtual bool CompareAndUpdateUserCfg(const QString& ActKonfigFile) = 0;

    virtual bool KeyExists(const QString& Key) = 0;
    virtual QString MakeAbsolutePath(const QString& Key, const QString& Value) = 0;
    virtual QString MakeRelativePath(const QString& Key, const QString& Value) = 0;
    virtual bool SetMainConfigFile(const QString& FileName, bool DoNotHandleExceptions) = 0;
    virtual QString GetMainConfigFile() = 0;
    virtual void SetRodUviIstRunning(bool Value) = 0;
    virtual bool GetRoduviIstRunning() = 0;
    virtual int GetPluginSecCount() = 0;
    // Appends the plug-in library names listed for the plug-in check.
    virtual void ReadPluginSecNames(QStringList& List) = 0;
    // Appends "Key:GUID<TAB>L<TAB>text" lines; Sprachen null means every language.
    virtual void ExtractTexte(QStringList& KeyList, const QStringList* Sprachen) = 0;
    virtual void WriteRawData(const QString& Key, int Typ, const QString& Data) = 0;
    virtual TLocalFilesLocationType GetUsePersonalFromRegistry() = 0;
    virtual bool UpdateUserOrderAddresses() = 0;

protected:
    ~IEtkConfigNat() = default;
};

// ---- End of configuration interface --------------------------------------------------------------

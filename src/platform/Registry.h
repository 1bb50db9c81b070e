// Registry.h: the registry of this system on Linux, a small store of our own. HKEY_CURRENT_USER is
// read and written, HKEY_LOCAL_MACHINE is read-only. Each hive is one text file; every change is a
// read-modify-write under an flock of the hive's lock file and replaces the file atomically
// (temporary file, fsync, rename), so concurrent processes never see half a file and never lose a
// value another process wrote. Key and value names compare without regard to case and keep the case
// they were created with. Nothing here throws: failures come back as values. A TRegistry object
// belongs to one thread at a time; any number of objects may work on one hive at once.
#pragma once
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>

namespace Platform {

enum class TRegRootKey : int { rkCurrentUser = 0, rkLocalMachine = 1 };

// The Windows numbers of the value types (REG_SZ, REG_EXPAND_SZ, REG_DWORD); stored as such.
enum class TRegDataType : quint32 { rdString = 1, rdExpandString = 2, rdInteger = 4 };

struct TRegValue {
    TRegDataType Type = TRegDataType::rdString;
    QString Text;       // the data of rdString and rdExpandString; the decimal text for rdInteger
    quint32 Dword = 0;  // the data of rdInteger; 0 for the string types
};

enum class TRegStatus : int {
    rsOk = 0,
    rsNotFound = 1,      // the key or value does not exist
    rsAccessDenied = 2,  // a write to HKEY_LOCAL_MACHINE, a key opened read-only, or refused by the OS
    rsNoKeyOpen = 3,     // a value operation without an open key
    rsInvalidName = 4,   // a key path without any name where one is needed
    rsIoError = 5,       // the hive file or its folder could not be read or written
};

struct [[nodiscard]] TRegResult {
    TRegStatus Status = TRegStatus::rsOk;
    QString ErrorText;  // for people: what failed, with the OS error text; empty on success

    explicit operator bool() const { return Status == TRegStatus::rsOk; }
};

// The folder that holds a hive: $BL_REGISTRY_ROOT/HKCU and /HKLM when BL_REGISTRY_ROOT is set, else
// ${XDG_CONFIG_HOME:-~/.config}/Brenlow/registry and /etc/Brenlow/registry.
QString RegistryHiveFolder(TRegRootKey RootKey);

// Key paths are written Windows-style ("SOFTWARE\Brenlow\Viewer\DebugLog"). A path that begins with
// a backslash starts at the root; any other path is relative to the open key (to the root when no
// key is open), as TRegistry does. Empty components ("a\\b", a trailing backslash) are ignored.
class TRegistry {
public:
    explicit TRegistry(TRegRootKey RootKey = TRegRootKey::rkCurrentUser);

    TRegRootKey RootKey() const { return FRootKey; }
    void SetRootKey(TRegRootKey Value);  // closes the open key
    // The open key's path from the root, as the names were created; empty when none is open.
    QString CurrentPath() const { return FCurrentPath; }
    bool HasCurrentKey() const { return FKeyOpen; }
    bool ReadOnly() const { return FReadOnly; }

    // Opens Key; with CanCreate, creates it and its missing parents (not in HKEY_LOCAL_MACHINE).
    TRegResult OpenKey(const QString& Key, bool CanCreate);
    TRegResult OpenKeyReadOnly(const QString& Key);
    void CloseKey();

    bool KeyExists(const QString& Key) const;
    TRegResult CreateKey(const QString& Key);
    // Deletes Key with all its subkeys and values. Deleting the open key closes it.
    TRegResult DeleteKey(const QString& Key);

    // The rest works on the open key. Value names compare without regard to case; "" is the
    // unnamed default value.
    bool ValueExists(const QString& Name) const;
    std::optional<TRegValue> ReadValue(const QString& Name) const;
    // The text of a rdString or rdExpandString value; nothing for a missing value or another type.
    std::optional<QString> ReadString(const QString& Name) const;
    // Names in the order they were created; empty when no key is open or the key is gone.
    QStringList GetValueNames() const;
    QStringList GetKeyNames() const;

    TRegResult WriteString(const QString& Name, const QString& Value);
    TRegResult WriteExpandString(const QString& Name, const QString& Value);
    TRegResult WriteInteger(const QString& Name, quint32 Value);  // REG_DWORD
    TRegResult WriteValue(const QString& Name, const TRegValue& Value);
    TRegResult DeleteValue(const QString& Name);

private:
    QStringList ResolvePath(const QString& Key) const;
    TRegResult RefuseWrite() const;

    TRegRootKey FRootKey = TRegRootKey::rkCurrentUser;
    QString FCurrentPath;         // the open key's path, backslash-separated
    bool FKeyOpen = false;
    bool FReadOnly = false;       // opened with OpenKeyReadOnly
};

}  // namespace Platform

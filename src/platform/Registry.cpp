#include "platform/Registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QStringView>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <memory>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace Platform {

namespace {

// One text file per hive, UTF-8:
//   BLREG 1
//   K<TAB>SOFTWARE\Brenlow            a key (every key, parents before children)
//   V<TAB>name<TAB>REG_SZ<TAB>data    a value of the key above
// Names and data escape '%', TAB, CR, LF and other control characters as %XX.
constexpr char HiveFileName[] = "hive";
constexpr char LockFileName[] = "hive.lock";
constexpr char HiveHeader[] = "BLREG 1";
constexpr auto LockTimeout = std::chrono::seconds(10);

struct TValueNode {
    QString Name;
    TRegValue Value;
};

struct TKeyNode {
    QString Name;
    std::vector<TValueNode> Values;               // in creation order
    std::vector<std::unique_ptr<TKeyNode>> Keys;  // in creation order
};

TKeyNode* FindChild(const TKeyNode& Parent, QStringView Name) {
    for (const auto& key : Parent.Keys)
        if (QStringView(key->Name).compare(Name, Qt::CaseInsensitive) == 0)
            return key.get();
    return nullptr;
}

const TKeyNode* FindKey(const TKeyNode& Root, const QStringList& Path) {
    const TKeyNode* key = &Root;
    for (const QString& name : Path) {
        key = FindChild(*key, name);
        if (!key)
            return nullptr;
    }
    return key;
}

TKeyNode* FindKey(TKeyNode& Root, const QStringList& Path) {
    return const_cast<TKeyNode*>(FindKey(static_cast<const TKeyNode&>(Root), Path));
}

TKeyNode* CreatePath(TKeyNode& Root, const QStringList& Path) {
    TKeyNode* key = &Root;
    for (const QString& name : Path) {
        TKeyNode* child = FindChild(*key, name);
        if (!child) {
            key->Keys.push_back(std::make_unique<TKeyNode>());
            child = key->Keys.back().get();
            child->Name = name;
        }
        key = child;
    }
    return key;
}

TValueNode* FindValue(TKeyNode& Key, QStringView Name) {
    for (TValueNode& value : Key.Values)
        if (QStringView(value.Name).compare(Name, Qt::CaseInsensitive) == 0)
            return &value;
    return nullptr;
}

const TValueNode* FindValue(const TKeyNode& Key, QStringView Name) {
    return FindValue(const_cast<TKeyNode&>(Key), Name);
}

QByteArray Escape(const QString& Text) {
    const QByteArray utf8 = Text.toUtf8();
    QByteArray result;
    result.reserve(utf8.size());
    for (char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F || c == '%') {
            constexpr char hex[] = "0123456789ABCDEF";
            result.append('%').append(hex[byte >> 4]).append(hex[byte & 0xF]);
        } else {
            result.append(c);
        }
    }
    return result;
}

int HexDigit(char C) {
    if (C >= '0' && C <= '9')
        return C - '0';
    if (C >= 'A' && C <= 'F')
        return C - 'A' + 10;
    if (C >= 'a' && C <= 'f')
        return C - 'a' + 10;
    return -1;
}

QString Unescape(QByteArrayView Bytes) {
    QByteArray result;
    result.reserve(Bytes.size());
    for (qsizetype i = 0; i < Bytes.size(); ++i) {
        if (Bytes[i] == '%' && i + 2 < Bytes.size()) {
            const int high = HexDigit(Bytes[i + 1]);
            const int low = HexDigit(Bytes[i + 2]);
            if (high >= 0 && low >= 0) {
                result.append(static_cast<char>(high * 16 + low));
                i += 2;
                continue;
            }
        }
        result.append(Bytes[i]);
    }
    return QString::fromUtf8(result);
}

const char* TypeName(TRegDataType Type) {
    switch (Type) {
    case TRegDataType::rdString: return "REG_SZ";
    case TRegDataType::rdExpandString: return "REG_EXPAND_SZ";
    case TRegDataType::rdInteger: return "REG_DWORD";
    }
    return "REG_SZ";
}

std::optional<TRegDataType> TypeFromName(QByteArrayView Name) {
    for (TRegDataType type :
         {TRegDataType::rdString, TRegDataType::rdExpandString, TRegDataType::rdInteger})
        if (Name == TypeName(type))
            return type;
    return std::nullopt;
}

void SerializeKey(const TKeyNode& Key, const QString& Path, QByteArray& Out) {
    if (!Path.isEmpty())
        Out.append("K\t").append(Escape(Path)).append('\n');
    for (const TValueNode& value : Key.Values) {
        Out.append("V\t").append(Escape(value.Name)).append('\t').append(TypeName(value.Value.Type))
            .append('\t');
        if (value.Value.Type == TRegDataType::rdInteger)
            Out.append(QByteArray::number(value.Value.Dword));
        else
            Out.append(Escape(value.Value.Text));
        Out.append('\n');
    }
    for (const auto& child : Key.Keys)
        SerializeKey(*child, Path.isEmpty() ? child->Name : Path + u'\\' + child->Name, Out);
}

QByteArray Serialize(const TKeyNode& Root) {
    QByteArray out = QByteArray(HiveHeader) + '\n';
    SerializeKey(Root, QString(), out);
    return out;
}

// Lines that do not parse are skipped: one damaged line must not cost the rest of the hive.
void Parse(QByteArrayView Bytes, TKeyNode& Root) {
    TKeyNode* current = &Root;
    for (QByteArrayView line : QByteArray::fromRawData(Bytes.data(), Bytes.size()).split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.startsWith("K\t")) {
            QStringList path = Unescape(line.sliced(2)).split(u'\\', Qt::SkipEmptyParts);
            current = CreatePath(Root, path);
        } else if (line.startsWith("V\t")) {
            const QList<QByteArray> fields = line.sliced(2).toByteArray().split('\t');
            if (fields.size() != 3)
                continue;
            const std::optional<TRegDataType> type = TypeFromName(fields[1]);
            if (!type)
                continue;
            TRegValue value;
            value.Type = *type;
            if (*type == TRegDataType::rdInteger) {
                bool ok = false;
                value.Dword = fields[2].toUInt(&ok);
                if (!ok)
                    continue;
                value.Text = QString::number(value.Dword);
            } else {
                value.Text = Unescape(fields[2]);
            }
            const QString name = Unescape(fields[0]);
            if (TValueNode* existing = FindValue(*current, name))
                existing->Value = value;
            else
                current->Values.push_back({name, value});
        }
    }
}

QString OsErrorText(const QString& What, const QString& Path, int Error) {
    return QStringLiteral("%1 %2: %3").arg(What, Path, QString::fromLocal8Bit(std::strerror(Error)));
}

TRegResult Failure(TRegStatus Status, const QString& Text) {
    return TRegResult{Status, Text};
}

TRegStatus StatusOfErrno(int Error) {
    return Error == EACCES || Error == EPERM || Error == EROFS ? TRegStatus::rsAccessDenied
                                                               : TRegStatus::rsIoError;
}

// A descriptor that closes itself.
class TFd {
public:
    explicit TFd(int Fd = -1) : FFd(Fd) {}
    ~TFd() {
        if (FFd >= 0)
            ::close(FFd);
    }
    TFd(const TFd&) = delete;
    TFd& operator=(const TFd&) = delete;
    int Get() const { return FFd; }

private:
    int FFd = -1;
};

// Reads the whole hive. A missing hive file (or folder) is an empty hive.
TRegResult LoadHive(const QString& Folder, TKeyNode& Root) {
    const QString path = Folder + u'/' + QLatin1String(HiveFileName);
    TFd fd(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.Get() < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {};
        const int error = errno;
        return Failure(StatusOfErrno(error), OsErrorText(QStringLiteral("Cannot open"), path, error));
    }
    QByteArray bytes;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(fd.Get(), buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            const int error = errno;
            return Failure(TRegStatus::rsIoError, OsErrorText(QStringLiteral("Cannot read"), path, error));
        }
        if (got == 0)
            break;
        bytes.append(buffer, got);
    }
    Parse(bytes, Root);
    return {};
}

bool WriteAll(int Fd, const QByteArray& Bytes) {
    const char* data = Bytes.constData();
    qsizetype left = Bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(Fd, data, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

// Writes the hive to a temporary file beside it and renames that over the hive, so a reader sees
// either the old or the new file, and a crash leaves one of the two.
TRegResult StoreHive(const QString& Folder, const TKeyNode& Root) {
    const QString path = Folder + u'/' + QLatin1String(HiveFileName);
    QByteArray temp = QFile::encodeName(path) + ".XXXXXX";
    TFd fd(::mkostemp(temp.data(), O_CLOEXEC));
    if (fd.Get() < 0) {
        const int error = errno;
        return Failure(StatusOfErrno(error), OsErrorText(QStringLiteral("Cannot create"), QFile::decodeName(temp), error));
    }
    if (!WriteAll(fd.Get(), Serialize(Root)) || ::fsync(fd.Get()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return Failure(TRegStatus::rsIoError, OsErrorText(QStringLiteral("Cannot write"), QFile::decodeName(temp), error));
    }
    if (::rename(temp.constData(), QFile::encodeName(path).constData()) != 0) {
        const int error = errno;
        ::unlink(temp.constData());
        return Failure(StatusOfErrno(error), OsErrorText(QStringLiteral("Cannot replace"), path, error));
    }
    // The rename itself is durable only once the folder is synced.
    TFd dir(::open(QFile::encodeName(Folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
    return {};
}

// Holds the hive's lock file with an exclusive flock for its lifetime. The lock belongs to the open
// file description, so threads of one process exclude each other as well.
class THiveLock {
public:
    TRegResult Acquire(const QString& Folder) {
        if (!QDir().mkpath(Folder))
            return Failure(TRegStatus::rsIoError, QStringLiteral("Cannot create folder %1").arg(Folder));
        const QString path = Folder + u'/' + QLatin1String(LockFileName);
        FFd = ::open(QFile::encodeName(path).constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (FFd < 0) {
            const int error = errno;
            return Failure(StatusOfErrno(error), OsErrorText(QStringLiteral("Cannot open"), path, error));
        }
        // Holders keep the lock for one read and one write of a small file; a holder that dies
        // releases it. Poll so that a wedged holder costs at most LockTimeout.
        const auto deadline = std::chrono::steady_clock::now() + LockTimeout;
        auto pause = std::chrono::microseconds(100);
        while (::flock(FFd, LOCK_EX | LOCK_NB) != 0) {
            if (errno != EWOULDBLOCK && errno != EINTR) {
                const int error = errno;
                return Failure(TRegStatus::rsIoError, OsErrorText(QStringLiteral("Cannot lock"), path, error));
            }
            if (std::chrono::steady_clock::now() >= deadline)
                return Failure(TRegStatus::rsIoError, QStringLiteral("Timed out waiting for the lock %1").arg(path));
            std::this_thread::sleep_for(pause);
            pause = std::min(pause * 2, std::chrono::microseconds(10000));
        }
        return {};
    }
    ~THiveLock() {
        if (FFd >= 0)
            ::close(FFd);  // releases the flock
    }

private:
    int FFd = -1;
};

// The change a write makes to the hive. It answers rsOk when the hive was changed and must be
// stored, or a failure (nothing is stored); a change that turns out not to be needed answers rsOk
// and sets Unchanged.
template <typename TChange>
TRegResult ModifyHive(TRegRootKey RootKey, TChange&& Change) {
    if (RootKey == TRegRootKey::rkLocalMachine)
        return Failure(TRegStatus::rsAccessDenied, QStringLiteral("HKEY_LOCAL_MACHINE is read-only"));
    const QString folder = RegistryHiveFolder(RootKey);
    THiveLock lock;
    if (TRegResult result = lock.Acquire(folder); !result)
        return result;
    // Our own user's settings: nobody else needs to read them.
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    TKeyNode root;
    if (TRegResult result = LoadHive(folder, root); !result)
        return result;
    bool unchanged = false;
    if (TRegResult result = Change(root, unchanged); !result)
        return result;
    if (unchanged)
        return {};
    return StoreHive(folder, root);
}

QString JoinPath(const QStringList& Path) {
    return Path.join(u'\\');
}

QString StoredPath(const TKeyNode& Root, const QStringList& Path) {
    QStringList names;
    const TKeyNode* key = &Root;
    for (const QString& name : Path) {
        key = FindChild(*key, name);
        if (!key)
            return JoinPath(Path);
        names.append(key->Name);
    }
    return JoinPath(names);
}

bool IsPrefixOf(const QStringList& Prefix, const QStringList& Path) {
    if (Prefix.size() > Path.size())
        return false;
    for (qsizetype i = 0; i < Prefix.size(); ++i)
        if (Prefix[i].compare(Path[i], Qt::CaseInsensitive) != 0)
            return false;
    return true;
}

// Reads the hive afresh (another process may have changed it) and lets Collect list names of the key
// at Path; empty when the key has gone.
QStringList NamesInKey(TRegRootKey RootKey, const QString& Path,
                       const std::function<void(const TKeyNode&, QStringList&)>& Collect) {
    QStringList names;
    TKeyNode root;
    if (!LoadHive(RegistryHiveFolder(RootKey), root))
        return names;
    if (const TKeyNode* key = FindKey(root, Path.split(u'\\', Qt::SkipEmptyParts)))
        Collect(*key, names);
    return names;
}

}  // namespace

QString RegistryHiveFolder(TRegRootKey RootKey) {
    const QString root = QString::fromLocal8Bit(qgetenv("BL_REGISTRY_ROOT"));
    const bool user = RootKey == TRegRootKey::rkCurrentUser;
    if (!root.isEmpty())
        return root + (user ? QStringLiteral("/HKCU") : QStringLiteral("/HKLM"));
    if (!user)
        return QStringLiteral("/etc/Brenlow/registry");
    QString config = QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME"));
    if (config.isEmpty())
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/Brenlow/registry");
}

TRegistry::TRegistry(TRegRootKey RootKey) : FRootKey(RootKey) {}

void TRegistry::SetRootKey(TRegRootKey Value) {
    CloseKey();
    FRootKey = Value;
}

QStringList TRegistry::ResolvePath(const QString& Key) const {
    QStringList path;
    if (!Key.startsWith(u'\\') && FKeyOpen)
        path = FCurrentPath.split(u'\\', Qt::SkipEmptyParts);
    path.append(Key.split(u'\\', Qt::SkipEmptyParts));
    return path;
}

TRegResult TRegistry::RefuseWrite() const {
    if (!FKeyOpen)
        return Failure(TRegStatus::rsNoKeyOpen, QStringLiteral("No key is open"));
    if (FRootKey == TRegRootKey::rkLocalMachine)
        return Failure(TRegStatus::rsAccessDenied, QStringLiteral("HKEY_LOCAL_MACHINE is read-only"));
    if (FReadOnly)
        return Failure(TRegStatus::rsAccessDenied,
                       QStringLiteral("The key %1 is open read-only").arg(FCurrentPath));
    return {};
}

TRegResult TRegistry::OpenKey(const QString& Key, bool CanCreate) {
    const QStringList path = ResolvePath(Key);
    TKeyNode root;
    if (TRegResult result = LoadHive(RegistryHiveFolder(FRootKey), root); !result)
        return result;
    if (!FindKey(root, path)) {
        if (!CanCreate)
            return Failure(TRegStatus::rsNotFound, QStringLiteral("The key %1 does not exist").arg(JoinPath(path)));
        QString stored;
        TRegResult result = ModifyHive(FRootKey, [&](TKeyNode& Root, bool& Unchanged) {
            Unchanged = FindKey(Root, path) != nullptr;
            CreatePath(Root, path);
            stored = StoredPath(Root, path);
            return TRegResult{};
        });
        if (!result)
            return result;
        FCurrentPath = stored;
    } else {
        FCurrentPath = StoredPath(root, path);
    }
    FKeyOpen = true;
    FReadOnly = false;
    return {};
}

TRegResult TRegistry::OpenKeyReadOnly(const QString& Key) {
    TRegResult result = OpenKey(Key, false);
    if (result)
        FReadOnly = true;
    return result;
}

void TRegistry::CloseKey() {
    FCurrentPath.clear();
    FKeyOpen = false;
    FReadOnly = false;
}

bool TRegistry::KeyExists(const QString& Key) const {
    TKeyNode root;
    if (!LoadHive(RegistryHiveFolder(FRootKey), root))
        return false;
    return FindKey(root, ResolvePath(Key)) != nullptr;
}

TRegResult TRegistry::CreateKey(const QString& Key) {
    const QStringList path = ResolvePath(Key);
    if (path.isEmpty())
        return Failure(TRegStatus::rsInvalidName, QStringLiteral("No key name given"));
    return ModifyHive(FRootKey, [&](TKeyNode& Root, bool& Unchanged) {
        Unchanged = FindKey(Root, path) != nullptr;
        CreatePath(Root, path);
        return TRegResult{};
    });
}

TRegResult TRegistry::DeleteKey(const QString& Key) {
    const QStringList path = ResolvePath(Key);
    if (path.isEmpty())
        return Failure(TRegStatus::rsInvalidName, QStringLiteral("The root key cannot be deleted"));
    TRegResult result = ModifyHive(FRootKey, [&](TKeyNode& Root, bool&) {
        TKeyNode* parent = FindKey(Root, path.mid(0, path.size() - 1));
        if (parent) {
            for (auto it = parent->Keys.begin(); it != parent->Keys.end(); ++it) {
                if ((*it)->Name.compare(path.last(), Qt::CaseInsensitive) == 0) {
                    parent->Keys.erase(it);
                    return TRegResult{};
                }
            }
        }
        return Failure(TRegStatus::rsNotFound, QStringLiteral("The key %1 does not exist").arg(JoinPath(path)));
    });
    if (result && FKeyOpen && IsPrefixOf(path, FCurrentPath.split(u'\\', Qt::SkipEmptyParts)))
        CloseKey();
    return result;
}

bool TRegistry::ValueExists(const QString& Name) const {
    return ReadValue(Name).has_value();
}

std::optional<TRegValue> TRegistry::ReadValue(const QString& Name) const {
    if (!FKeyOpen)
        return std::nullopt;
    TKeyNode root;
    if (!LoadHive(RegistryHiveFolder(FRootKey), root))
        return std::nullopt;
    const TKeyNode* key = FindKey(root, FCurrentPath.split(u'\\', Qt::SkipEmptyParts));
    if (!key)
        return std::nullopt;
    if (const TValueNode* value = FindValue(*key, Name))
        return value->Value;
    return std::nullopt;
}

std::optional<QString> TRegistry::ReadString(const QString& Name) const {
    const std::optional<TRegValue> value = ReadValue(Name);
    if (!value || value->Type == TRegDataType::rdInteger)
        return std::nullopt;
    return value->Text;
}

QStringList TRegistry::GetValueNames() const {
    if (!FKeyOpen)
        return {};
    return NamesInKey(FRootKey, FCurrentPath, [](const TKeyNode& Key, QStringList& Names) {
        for (const TValueNode& value : Key.Values)
            Names.append(value.Name);
    });
}

QStringList TRegistry::GetKeyNames() const {
    if (!FKeyOpen)
        return {};
    return NamesInKey(FRootKey, FCurrentPath, [](const TKeyNode& Key, QStringList& Names) {
        for (const auto& child : Key.Keys)
            Names.append(child->Name);
    });
}


TRegResult TRegistry::WriteString(const QString& Name, const QString& Value) {
    return WriteValue(Name, TRegValue{TRegDataType::rdString, Value, 0});
}

TRegResult TRegistry::WriteExpandString(const QString& Name, const QString& Value) {
    return WriteValue(Name, TRegValue{TRegDataType::rdExpandString, Value, 0});
}

TRegResult TRegistry::WriteInteger(const QString& Name, quint32 Value) {
    return WriteValue(Name, TRegValue{TRegDataType::rdInteger, QString::number(Value), Value});
}

TRegResult TRegistry::WriteValue(const QString& Name, const TRegValue& Value) {
    if (TRegResult refused = RefuseWrite(); !refused)
        return refused;
    TRegValue stored = Value;
    if (stored.Type == TRegDataType::rdInteger)
        stored.Text = QString::number(stored.Dword);
    else
        stored.Dword = 0;
    const QStringList path = FCurrentPath.split(u'\\', Qt::SkipEmptyParts);
    return ModifyHive(FRootKey, [&](TKeyNode& Root, bool&) {
        TKeyNode* key = FindKey(Root, path);
        if (!key)
            return Failure(TRegStatus::rsNotFound, QStringLiteral("The key %1 was deleted").arg(FCurrentPath));
        // An existing value keeps the case of its name, as on Windows.
        if (TValueNode* existing = FindValue(*key, Name))
            existing->Value = stored;
        else
            key->Values.push_back({Name, stored});
        return TRegResult{};
    });
}

TRegResult TRegistry::DeleteValue(const QString& Name) {
    if (TRegResult refused = RefuseWrite(); !refused)
        return refused;
    const QStringList path = FCurrentPath.split(u'\\', Qt::SkipEmptyParts);
    return ModifyHive(FRootKey, [&](TKeyNode& Root, bool&) {
        if (TKeyNode* key = FindKey(Root, path)) {
            for (auto it = key->Values.begin(); it != key->Values.end(); ++it) {
                if (it->Name.compare(Name, Qt::CaseInsensitive) == 0) {
                    key->Values.erase(it);
                    return TRegResult{};
                }
            }
        }
        return Failure(TRegStatus::rsNotFound, QStringLiteral("The value \"%1\" does not exist").arg(Name));
    });
}

}  // namespace Platform

#include "config/EtkConfigNat.h"

#include <QDir>
#include <QRegularExpression>
#include <exception>
#include <functional>

#include "config/EtkConfig.h"
#include "config/EtkConfigFastDomXml.h"
#include "errors/_LanguageDLL.h"
#include "platform/FileLock.h"
#include "platform/FilePaths.h"
#include "platform/KnownFolders.h"
#include "platform/Registry.h"
#include "util/Presenter.h"

// A store of one attached file; a disabled one takes no part in routing.
class TEtkConfigNatStore final : public TEtkConfigXMLFast {
public:
    using TEtkConfigXMLFast::TEtkConfigXMLFast;
    bool Disabled = false;
};

namespace {

QString NoFileText() {
    return QStringLiteral("Programmfehler: Dem Konfigurationsobjekt wurde noch keine Konfigurationsdatei zugewiesen");
}

// The subtrees of the user file that UpdateUserCfg takes over from the project file, in this order.
constexpr const char* UserUpdateSubtrees[] = {"USER\\DeleteLocal",     "USER\\Bestellung",
                                              "USER\\BestellAdressen", "USER\\Update\\Download",
                                              "USER\\ShowItemsOnImage", "USER\\Preis"};

// Brackets a batch of writes; the end runs also when the body raises, and then an error of the end
// gives way to the body's exception.
template <class TTarget>
class TBatch {
public:
    explicit TBatch(TTarget& Target) : FTarget(Target) { FTarget.StartCaching(); }
    TBatch(const TBatch&) = delete;
    TBatch& operator=(const TBatch&) = delete;
    ~TBatch() noexcept(false) {
        if (std::uncaught_exceptions() > FExceptions) {
            try {
                FTarget.EndCaching();
            } catch (...) {  // the body's exception is the one to report
            }
        } else {
            FTarget.EndCaching();
        }
    }

private:
    TTarget& FTarget;
    int FExceptions = std::uncaught_exceptions();
};

QString JoinKey(const QString& Key, const QString& Name) {
    return Key.isEmpty() ? Name : Key + QLatin1Char('\\') + Name;
}

// Trailing "/" removed; the root stays "/".
QString WithoutTrailingSlashes(QString Path) {
    while (Path.size() > 1 && Path.endsWith(QLatin1Char('/')))
        Path.chop(1);
    return Path;
}

QString FloatText(double Value) { return QString::number(Value, 'g', QLocale::FloatingPointShortest); }

// A decimal in "." or "," notation; Default for anything else (also for empty text).
double FloatFromText(QString Text, double Default) {
    Text = Text.trimmed().replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double value = Text.toDouble(&ok);
    return ok ? value : Default;
}

}  // namespace

TEtkConfigNat::TEtkConfigNat(QObject* AOwner) : QObject(AOwner) {}

TEtkConfigNat::~TEtkConfigNat() { Clear(); }

// ---- routing and attached files ----

TEtkConfigNatStore& TEtkConfigNat::StoreForKey(const QString& Key) {
    TEtkConfigNatStore* best = nullptr;
    for (TEtkConfigNatStore* store : XMLList) {
        if (store->Disabled)
            continue;
        const QString& fileKey = store->FileKey();
        if (!fileKey.isEmpty() && !Key.startsWith(fileKey))
            continue;
        if (!best || fileKey.size() > best->FileKey().size())
            best = store;
    }
    // Every candidate disabled is treated like no file at all: there is nothing to work on.
    if (!best)
        throw EEtkConfigError(NoFileText());
    return *best;
}

void TEtkConfigNat::Clear() {
    std::vector<TEtkConfigNatStore*> stores;
    stores.swap(XMLList);
    for (TEtkConfigNatStore* store : stores)
        delete store;
}

bool TEtkConfigNat::SetFileForKey(const QString& Key, const QString& FileName, bool DoNotHandleExceptions) {
    auto* store = new TEtkConfigNatStore(this);
    try {
        store->SetFileKey(Key);
        store->SetFileName(FileName);
    } catch (const std::exception&) {
        delete store;
        if (DoNotHandleExceptions)
            throw;
        return false;
    }
    XMLList.push_back(store);
    return true;
}

bool TEtkConfigNat::SetMainConfigFile(const QString& FileName, bool DoNotHandleExceptions) {
    if (FileName.contains(QLatin1Char('?')))
        throw EEtkConfigError(Translate(QStringLiteral("!!Ungültiger Dateiname übergeben")));
    Clear();
    FMainConfigFile.clear();
    if (FileName.isEmpty())
        return false;
    const bool attached = SetFileForKey(QString(), FileName, DoNotHandleExceptions);
    if (attached)
        FMainConfigFile = FileName;
    return attached;
}

QString TEtkConfigNat::GetFileForKey(const QString& Key) { return StoreForKey(Key).FileName(); }

bool TEtkConfigNat::DisableFileForKey(const QString& Key, bool Disable) {
    bool found = false;
    for (TEtkConfigNatStore* store : XMLList)
        if (store->FileKey() == Key) {
            store->Disabled = Disable;
            found = true;
        }
    return found;
}

void TEtkConfigNat::RefreshDom() { StoreForKey(QString()).RefreshDom(); }

void TEtkConfigNat::StartCaching() {
    // All or none: a store that cannot start leaves no other inside a batch nobody ends.
    size_t started = 0;
    try {
        for (; started < XMLList.size(); ++started)
            XMLList[started]->StartCaching();
    } catch (...) {
        while (started > 0) {
            try {
                XMLList[--started]->EndCaching();
            } catch (...) {  // the start's error is the one to report
            }
        }
        throw;
    }
}

void TEtkConfigNat::EndCaching() {
    // A store that failed to write must not leave the others inside their batch.
    std::exception_ptr first;
    for (TEtkConfigNatStore* store : XMLList) {
        try {
            store->EndCaching();
        } catch (...) {
            if (!first)
                first = std::current_exception();
        }
    }
    if (first)
        std::rethrow_exception(first);
}

void TEtkConfigNat::SetDllCallBackFunction(TDllCallBackFunction) {
    throw EEtkConfigError(QStringLiteral("Funktion: SetDllCallBackFunction kann in Exe nicht verwendet werden"));
}

void TEtkConfigNat::SetDllUTF8Mode(bool) {
    throw EEtkConfigError(QStringLiteral("Funktion: SetDllUTF8Mode kann in Exe nicht verwendet werden"));
}

// ---- values, passed to the store that answers the key ----

bool TEtkConfigNat::ReadRawData(const QString& Key, int& Typ, QString& Data) {
    return StoreForKey(Key).ReadRawData(Key, Typ, Data);
}

QString TEtkConfigNat::ReadString(const QString& Key, const QString& Default) {
    return StoreForKey(Key).ReadString(Key, Default);
}

QStringList TEtkConfigNat::ReadStrings(const QString& Key) { return StoreForKey(Key).ReadStrings(Key); }

void TEtkConfigNat::WriteString(const QString& Key, const QString& Value) { StoreForKey(Key).WriteString(Key, Value); }

void TEtkConfigNat::WriteBool(const QString& Key, bool Value) { StoreForKey(Key).WriteBool(Key, Value); }

bool TEtkConfigNat::ReadBool(const QString& Key, bool Default) { return StoreForKey(Key).ReadBool(Key, Default); }

void TEtkConfigNat::WriteStrings(const QString& Key, const QStringList& Values) {
    StoreForKey(Key).WriteStrings(Key, Values);
}

void TEtkConfigNat::WriteKeys(const QString& Key, const QStringList& SubKeys) {
    StoreForKey(Key).WriteKeys(Key, SubKeys);
}

void TEtkConfigNat::RenameKey(const QString& Key, const QString& NewKey) { StoreForKey(Key).RenameKey(Key, NewKey); }

void TEtkConfigNat::DeleteSubKeys(const QString& Key) { WriteKeys(Key, {}); }

void TEtkConfigNat::DeleteKey(const QString& Key) { StoreForKey(Key).DeleteKey(Key); }

void TEtkConfigNat::DeleteAttribute(const QString& Key, const QString& AttName) {
    StoreForKey(Key).DeleteAttribute(Key, AttName);
}

void TEtkConfigNat::DeleteValue(const QString& Key) { StoreForKey(Key).DeleteValue(Key); }

QStringList TEtkConfigNat::ReadKeys(const QString& Key) { return StoreForKey(Key).ReadKeys(Key); }

QStringList TEtkConfigNat::ReadAllKeys(const QString& Key) { return StoreForKey(Key).ReadAllKeys(Key); }

int TEtkConfigNat::ReadInteger(const QString& Key, int Default) { return StoreForKey(Key).ReadInteger(Key, Default); }

void TEtkConfigNat::WriteInteger(const QString& Key, int Value) { StoreForKey(Key).WriteInteger(Key, Value); }

double TEtkConfigNat::ReadFloat(const QString& Key, double Default) {
    return FloatFromText(ReadString(Key, FloatText(Default)), Default);
}

void TEtkConfigNat::WriteFloat(const QString& Key, double Value) { WriteString(Key, FloatText(Value)); }

void TEtkConfigNat::WriteRawData(const QString& Key, int Typ, const QString& Data) {
    StoreForKey(Key).WriteRawData(Key, Typ, Data);
}

bool TEtkConfigNat::KeyExists(const QString& Key) { return StoreForKey(Key).KeyExists(Key); }

bool TEtkConfigNat::ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) {
    return StoreForKey(Key).ElementsInKeyHasAttribut(Key, AttName, AttValue);
}

QStringList TEtkConfigNat::ReadAllAttributes(const QString& Key) { return StoreForKey(Key).ReadAllAttributes(Key); }

QString TEtkConfigNat::ReadAttribute(const QString& Key, const QString& AttName) {
    return StoreForKey(Key).ReadAttribute(Key, AttName);
}

void TEtkConfigNat::WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) {
    StoreForKey(Key).WriteAttribute(Key, AttName, Value);
}

int TEtkConfigNat::ReadAttributeInt(const QString& Key, const QString& AttName, int Default) {
    return StoreForKey(Key).ReadAttributeInt(Key, AttName, Default);
}

void TEtkConfigNat::WriteAttributeInt(const QString& Key, const QString& AttName, int Value) {
    WriteAttribute(Key, AttName, QString::number(Value));
}

bool TEtkConfigNat::ReadAttributeBool(const QString& Key, const QString& AttName, bool Default) {
    return StoreForKey(Key).ReadAttributeBool(Key, AttName, Default);
}

void TEtkConfigNat::WriteAttributeBool(const QString& Key, const QString& AttName, bool Value) {
    WriteAttribute(Key, AttName, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

double TEtkConfigNat::ReadAttributeFloat(const QString& Key, const QString& AttName, double Default) {
    return FloatFromText(ReadAttribute(Key, AttName), Default);
}

void TEtkConfigNat::WriteAttributeFloat(const QString& Key, const QString& AttName, double Value) {
    WriteAttribute(Key, AttName, FloatText(Value));
}

void TEtkConfigNat::WriteVersion(double Value) { StoreForKey(QString()).WriteVersion(Value); }

double TEtkConfigNat::ReadVersion() { return StoreForKey(QString()).ReadVersion(); }

void TEtkConfigNat::ExtractTexte(QStringList& KeyList, const QStringList* Sprachen) {
    QStringList lines;
    StoreForKey(QString()).ExtractTexte(lines, Sprachen ? *Sprachen : TEtkConfig::GetAllSprachKrz());
    KeyList += lines;
}

// ---- file names, fonts and rectangles ----

QString TEtkConfigNat::FolderForKey(const QString& Key) {
    if (!FRootDirectoryForWriteFileName.isEmpty())
        return WithoutTrailingSlashes(FRootDirectoryForWriteFileName);
    const QString file = GetFileForKey(Key);
    const qsizetype slash = file.lastIndexOf(QLatin1Char('/'));
    if (slash < 0)
        return {};
    return WithoutTrailingSlashes(file.left(slash + 1));
}

// A root folder is the folder itself in both directions, with or without a trailing "/", so that
// every name written relative reads back as the same absolute name.
QString TEtkConfigNat::MakeAbsolutePath(const QString& Key, const QString& Value) {
    if (Value.isEmpty() || Platform::IsAbsolutePath(Value))
        return Value;
    const QString relative = Platform::FromConfigPath(Value);
    const QString folder = FolderForKey(Key);
    if (folder.isEmpty())
        return relative;
    return folder == QLatin1String("/") ? folder + relative : folder + QLatin1Char('/') + relative;
}

// Linux file names are case-sensitive: only a name below the folder spelled exactly as the folder is
// stored relative; a case-insensitive match would store a name that reads back as another file.
QString TEtkConfigNat::MakeRelativePath(const QString& Key, const QString& Value) {
    const QString folder = FolderForKey(Key);
    if (folder.isEmpty())
        return Value;
    const QString prefix = folder == QLatin1String("/") ? folder : folder + QLatin1Char('/');
    if (!Value.startsWith(prefix))
        return Value;
    const QString rest = Value.mid(prefix.size());
    // The folder itself or a doubled "/" after it would not read back as Value.
    if (rest.isEmpty() || rest.startsWith(QLatin1Char('/')))
        return Value;
    return Platform::ToConfigPath(rest);
}

QString TEtkConfigNat::ReadFileName(const QString& Key, const QString& Default) {
    const QString value = ReadString(Key, Default);
    return value.isEmpty() ? value : MakeAbsolutePath(Key, value);
}

QStringList TEtkConfigNat::ReadFileNames(const QString& Key) {
    QStringList names = ReadStrings(Key);
    for (QString& name : names)
        name = MakeAbsolutePath(Key, name);
    return names;
}

void TEtkConfigNat::WriteFileName(const QString& Key, const QString& Value) {
    WriteString(Key, MakeRelativePath(Key, Value));
}

void TEtkConfigNat::WriteFileNames(const QString& Key, const QStringList& Values) {
    QStringList names = Values;
    for (QString& name : names)
        name = MakeRelativePath(Key, name);
    WriteStrings(Key, names);
}

void TEtkConfigNat::ReadFont(const QString& Key, TEtkFontData& Font, const TEtkFontData* Default) {
    TEtkFontData font;
    if (Default) {
        font = *Default;
    } else {
        font.CharSet = 1;
        font.Color = QStringLiteral("clBlack");
        font.Name = QStringLiteral("Arial");
        font.Pitch = 0;
        font.Size = 8;
        font.Style = 0;
    }
    // Each part is routed by itself: a part may live in another file than its neighbours.
    const QString base = Key + QLatin1String("\\TFont\\");
    font.CharSet = ReadInteger(base + QLatin1String("CharSet"), font.CharSet);
    font.Color = ReadString(base + QLatin1String("Color"), font.Color);
    font.Name = ReadString(base + QLatin1String("Name"), font.Name);
    font.Pitch = ReadInteger(base + QLatin1String("Pitch"), font.Pitch);
    font.Size = ReadInteger(base + QLatin1String("Size"), font.Size);
    font.Style = ReadInteger(base + QLatin1String("Style"), font.Style) & 0xF;
    Font = font;
}

void TEtkConfigNat::WriteFont(const QString& Key, const TEtkFontData& Font) {
    const QString base = Key + QLatin1String("\\TFont\\");
    TBatch batch(*this);
    WriteInteger(base + QLatin1String("CharSet"), Font.CharSet);
    WriteString(base + QLatin1String("Color"), Font.Color);
    WriteString(base + QLatin1String("Name"), Font.Name);
    WriteInteger(base + QLatin1String("Pitch"), Font.Pitch);
    WriteInteger(base + QLatin1String("Size"), Font.Size);
    WriteInteger(base + QLatin1String("Style"), Font.Style);
}

void TEtkConfigNat::ReadRect(const QString& Key, TEtkRect& Rect) {
    TEtkConfigNatStore& store = StoreForKey(Key);
    const int last = store.ReadRectCount(Key);  // the last index; -1 when none is stored
    // A count beyond the stored rectangles is a broken list; it must not size the buffer (a count
    // of two thousand million would ask for 32 GB).
    if (last < 0 || last >= store.ReadKeys(Key + QLatin1String("\\Rect")).size())
        return;
    std::vector<TEtkRect> rects(static_cast<size_t>(last) + 1);
    if (store.ReadRect(Key, rects, last))
        Rect = rects.front();
}

void TEtkConfigNat::WriteRect(const QString& Key, const TEtkRect& Rect) {
    StoreForKey(Key).WriteRect(Key, std::vector<TEtkRect>{Rect}, 0);
}

// ---- read-only test ----

bool TEtkConfigNat::IsConfigReadonly(bool MitMeldung, bool) {
    if (XMLList.empty())
        return false;
    const bool readOnly = StoreForKey(QString()).isXMLReadonly();
    if (readOnly && MitMeldung)
        PresentMessage(TPresenterKind::pkWarning,
                       Translate(QStringLiteral("!!Die Projekt-Konfigurationsdatei ist schreibgeschützt!")) +
                           QLatin1String("\r\n") + Translate(QStringLiteral("!!Es sind keine Änderungen möglich.")));
    return readOnly;
}

// ---- copy and compare with another configuration ----

void TEtkConfigNat::CopyFrom(IEtkConfigNat& Source, const QString& Key) {
    int typ = -1;
    QString data;
    if (Source.ReadRawData(Key, typ, data))
        WriteRawData(Key, typ, data);
    for (const QString& line : Source.ReadAllAttributes(Key)) {
        const qsizetype bar = line.indexOf(QLatin1Char('|'));
        WriteAttribute(Key, line.left(bar), bar < 0 ? QString() : line.mid(bar + 1));
    }
    for (const QString& sub : Source.ReadKeys(Key))
        CopyFrom(Source, JoinKey(Key, sub));
}

void TEtkConfigNat::AssignData(IEtkConfigNat& Source, const QString& Key) {
    TBatch batch(*this);
    DeleteSubKeys(Key);
    CopyFrom(Source, Key);
}

bool TEtkConfigNat::IsEqual(IEtkConfigNat& Source, const QString& Key) {
    int typ = -1;
    QString mine;
    QString theirs;
    ReadRawData(Key, typ, mine);
    Source.ReadRawData(Key, typ, theirs);
    if (mine != theirs || ReadAllAttributes(Key) != Source.ReadAllAttributes(Key))
        return false;
    const QStringList subKeys = ReadKeys(Key);
    if (subKeys != Source.ReadKeys(Key))
        return false;
    for (const QString& sub : subKeys)
        if (!IsEqual(Source, JoinKey(Key, sub)))
            return false;
    return true;
}

// ---- the user file ----

QString TEtkConfigNat::UserCfgFile() {
    const QString folder = GetNVKUserPath();
    QDir().mkpath(folder);
    return folder + QLatin1Char('/') + UserCfgFileName();
}

// Only a missing user file is created, so nothing the user had can be overwritten; a project file
// that does not exist is not opened, as opening would create an empty one.
QString TEtkConfigNat::MakeUserCfg(const QString& ActKonfigFile, bool WithUpdate) {
    const QString userFile = UserCfgFile();
    FNewUserCfg = false;
    if (!WithUpdate || Platform::FileExists(userFile) || !Platform::FileExists(ActKonfigFile))
        return userFile;
    TEtkConfigXMLFast mainStore;
    mainStore.SetFileName(ActKonfigFile);
    TEtkConfigXMLFast userStore;
    userStore.SetFileName(userFile);
    {
        TBatch batch(userStore);
        userStore.AssignData(mainStore, QStringLiteral("USER"));
        userStore.DeleteKey(QStringLiteral("USER\\UserSettings"));
    }
    FNewUserCfg = true;
    return userFile;
}

void TEtkConfigNat::CopySnrFilters(TEtkConfigXMLFast& Main, TEtkConfigXMLFast& User) {
    const int count = Main.ReadAttributeInt(QStringLiteral("DATABASE\\SNRFilter"), QStringLiteral("Count"), 0);
    TBatch batch(User);
    for (int i = 0; i < count; ++i) {
        const QString prefix = QStringLiteral("USER\\SNRFilter\\Filter") + QString::number(i) + QLatin1Char('\\');
        const auto copyBool = [&](const QString& Name) {
            const bool value = Main.ReadBool(prefix + Name, false);
            User.WriteBool(prefix + Name, value);
            return value;
        };
        const auto copyList = [&](const QString& Name) {
            User.WriteStrings(prefix + Name, Main.ReadStrings(prefix + Name));
        };
        if (copyBool(QStringLiteral("FilterHidden"))) {
            copyBool(QStringLiteral("FilterAktiv"));
            copyList(QStringLiteral("FilterValue"));
        }
        copyList(QStringLiteral("FilterPreValues"));
        copyList(QStringLiteral("FilterLookupValues"));
    }
}

namespace {

// Runs Update and then lets Reread re-read the attached user file, also when Update fails (an error
// of the re-read then gives way to Update's).
template <class TResult>
TResult UpdateThenReread(const std::function<TResult()>& Update, const std::function<void()>& Reread) {
    TResult result{};
    try {
        result = Update();
    } catch (...) {
        try {
            Reread();
        } catch (...) {  // the update's error is the one to report
        }
        throw;
    }
    Reread();
    return result;
}

}  // namespace

// A read-only user file is left alone and reported as not updated: its store would only change
// its tree in memory.
bool TEtkConfigNat::CompareAndUpdateUserCfg(const QString& ActKonfigFile) {
    const QString userFile = UserCfgFile();
    return UpdateThenReread<bool>(
        [&] {
            if (!Platform::FileExists(userFile) || !Platform::FileExists(ActKonfigFile))
                return false;
            TEtkConfigXMLFast mainStore;
            mainStore.SetFileName(ActKonfigFile);
            TEtkConfigXMLFast userStore;
            userStore.SetFileName(userFile);
            if (userStore.isXMLReadonly())
                return false;
            bool added = false;
            TBatch batch(userStore);
            const QStringList userKeys = userStore.ReadAllKeys(QStringLiteral("USER"));
            QString copied;  // the last subtree copied: its descendants came with it
            for (const QString& key : mainStore.ReadAllKeys(QStringLiteral("USER"))) {
                if (userKeys.contains(key))
                    continue;
                added = true;
                if (!copied.isEmpty() && key.startsWith(copied + QLatin1Char('\\')))
                    continue;
                userStore.AssignData(mainStore, QStringLiteral("USER\\") + key);
                copied = key;
            }
            CopySnrFilters(mainStore, userStore);
            return added;
        },
        [this] { StoreForKey(QStringLiteral("USER")).ReadXMLFile(); });
}

// A subtree the project file does not have is kept as the user has it: replacing it by nothing would
// only lose the user's settings.
QString TEtkConfigNat::UpdateUserCfg() {
    const QString userFile = UserCfgFile();
    const QString mainFile = FMainConfigFile;
    return UpdateThenReread<QString>(
        [&] {
            if (!Platform::FileExists(userFile) || !Platform::FileExists(mainFile))
                return userFile;
            TEtkConfigXMLFast mainStore;
            mainStore.SetFileName(mainFile);
            TEtkConfigXMLFast userStore;
            userStore.SetFileName(userFile);
            if (userStore.isXMLReadonly())
                return userFile;
            TBatch batch(userStore);
            for (const char* name : UserUpdateSubtrees) {
                const QString key = QString::fromLatin1(name);
                if (mainStore.KeyExists(key))
                    userStore.AssignData(mainStore, key);
            }
            CopySnrFilters(mainStore, userStore);
            return userFile;
        },
        [this] { StoreForKey(QStringLiteral("USER")).ReadXMLFile(); });
}

bool TEtkConfigNat::UpdateUserOrderAddresses() { return Platform::FileExists(UserCfgFile()); }

// ---- folders ----

TLocalFilesLocationType TEtkConfigNat::GetUsePersonalFromRegistry() {
    return ReadString(QStringLiteral("VIEWER\\LOCALFILESLOCATIONTYPE"), QStringLiteral("APPDATA")) ==
                   QLatin1String("MyDocuments")
               ? TLocalFilesLocationType::lfMyDocuments
               : TLocalFilesLocationType::lfAppData;
}

// The documents folder always has a value on Linux (it falls back to ~/Documents), so the shell
// folder registry values Windows falls back to have no counterpart here.
QString TEtkConfigNat::PersonalFolder(TLocalFilesLocationType LocationType, const QString& Fallback) {
    QString folder;
    if (Platform::ExecutableFileName().compare(QLatin1String("Etk.exe"), Qt::CaseInsensitive) == 0) {
        Platform::TRegistry registry(Platform::TRegRootKey::rkCurrentUser);
        if (registry.OpenKeyReadOnly(QStringLiteral("SOFTWARE\\Brenlow\\Viewer\\BLPersonalDir")))
            folder = registry.ReadString(QStringLiteral("PersonalDir")).value_or(QString());
    }
    if (folder.isEmpty())
        folder = LocationType == TLocalFilesLocationType::lfMyDocuments
                     ? WithoutTrailingSlashes(Platform::DocumentsFolder())
                     : Platform::LocalAppDataFolder();
    return folder.isEmpty() ? Fallback : folder;
}

QString TEtkConfigNat::GetUserPath() {
    return WithoutTrailingSlashes(PersonalFolder(GetUsePersonalFromRegistry(), Platform::DocumentsFolder()));
}

QString TEtkConfigNat::GetNVKUserPath() {
    QString sub = ReadString(QStringLiteral("INSTALL\\INSTDIR"), QStringLiteral("Brenlow"));
    for (const char* name : {"appdata", "localappdata", "programdata", "programfiles"})
        sub.remove(QLatin1Char('%') + QLatin1String(name) + QLatin1Char('%'), Qt::CaseInsensitive);
    sub.replace(QLatin1String("\\\\"), QLatin1String("\\"));
    if (sub.size() >= 2 && sub.at(1) == QLatin1Char(':'))
        sub.remove(0, 2);
    if (!sub.isEmpty() && !sub.startsWith(QLatin1Char('\\')))
        sub.prepend(QLatin1Char('\\'));
    sub.replace(QLatin1Char('\\'), QLatin1Char('/'));
    QString folder = WithoutTrailingSlashes(PersonalFolder(GetUsePersonalFromRegistry(), Platform::DocumentsFolder()));
    if (folder == QLatin1String("/"))
        folder.clear();
    QString path = folder + sub;
    static const QRegularExpression doubledSlashes(QStringLiteral("/{2,}"));
    path.replace(doubledSlashes, QStringLiteral("/"));
    return path.isEmpty() ? QStringLiteral("/") : WithoutTrailingSlashes(path);
}

// ---- plug-in names ----

int TEtkConfigNat::GetPluginSecCount() {
    return ReadAttributeInt(QStringLiteral("Security\\Plugin"), QStringLiteral("Count"), 0);
}

void TEtkConfigNat::ReadPluginSecNames(QStringList& List) {
    const int count = GetPluginSecCount();
    for (int n = 1; n <= count; ++n)
        List << ReadString(QStringLiteral("Security\\Plugin\\Plug") + QString::number(n) + QLatin1String("\\PluginName"),
                           QString());
}

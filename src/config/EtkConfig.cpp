#include "config/EtkConfig.h"

#include <QFileInfo>
#include <QGuiApplication>
#include <QIcon>
#include <QScopeGuard>
#include <QScreen>
#include <QUuid>
#include <QWindow>
#include <algorithm>
#include <cmath>

#include "config/BL.Config.Locker.h"
#include "errors/_LanguageDLL.h"
#include "platform/KnownFolders.h"
#include "util/Presenter.h"

namespace {

const QString VariantsKey = QStringLiteral("Variants");
const QString ValidAttribute = QStringLiteral("Valid");
const QString ValidValue = QStringLiteral("true");
const QString H2Database = QStringLiteral("H2Database");
constexpr double CurrentFormatVersion = 1.1;
constexpr double VersionTolerance = 1e-9;  // versions are read back from decimal text

QString VariantKey(const QString& ConfigName, const QString& Key) {
    QString variantKey;
    variantKey.reserve(VariantsKey.size() + ConfigName.size() + Key.size() + 2);
    variantKey.append(VariantsKey).append(QLatin1Char('\\')).append(ConfigName).append(QLatin1Char('\\')).append(Key);
    return variantKey;
}

QString SubKey(const QString& Key, const QString& Name) { return Key + QLatin1Char('\\') + Name; }

QString WithoutTrailingSeparators(QString Path) {
    while (Path.size() > 1 && (Path.endsWith(QLatin1Char('/')) || Path.endsWith(QLatin1Char('\\'))))
        Path.chop(1);
    return Path;
}

void ShowLockedBy(const TLockInfo& LockInfo) {
    PresentMessage(TPresenterKind::pkWarning, Translate(QStringLiteral("!!Die Projekt-Konfiguration ist durch %s gesperrt"))
                                                  .replace(QLatin1String("%s"), LockInfo.UserText()));
}

QStringList Sorted(QStringList List) {
    List.sort();
    return List;
}

}  // namespace

const QString TEtkConfig::DefaultRegistryRootKey = QStringLiteral("SOFTWARE\\Brenlow\\RodUvi");

TEtkConfig::TEtkConfig(QObject* AOwner) : QObject(AOwner), FRegistryRootKey(DefaultRegistryRootKey) {}

// The native object is a child QObject and goes with this one; the locker stops its watcher.
TEtkConfig::~TEtkConfig() = default;

IEtkConfigNat& TEtkConfig::Nat() { return *FEtkConfigNat; }

// ---- Variant mapping ---------------------------------------------------------------------------------

bool TEtkConfig::IsVariantKey(const QString& Key) {
    return !Key.startsWith(QLatin1String("USER")) || Key.startsWith(QLatin1String("USER\\BestellAdressen")) ||
           Key.startsWith(QLatin1String("USER\\DataBaseSprache")) ||
           Key.startsWith(QLatin1String("USER\\DokuSprache"));
}

// The empty key (the root with the file's own attributes) is never redirected: its variant copy
// would be a key ending with a separator, which no store accepts.
QString TEtkConfig::MapReadKey(const QString& Key) {
    if (FMultiConfigNameRead.isEmpty() || Key.isEmpty() || !IsVariantKey(Key))
        return Key;
    const QString variantKey = VariantKey(FMultiConfigNameRead, Key);
    return Nat().ElementsInKeyHasAttribut(variantKey, ValidAttribute, ValidValue) ? variantKey : Key;
}

QString TEtkConfig::MapWriteKey(const QString& Key) {
    if (FMultiConfigNameWrite.isEmpty() || Key.isEmpty() || !IsVariantKey(Key))
        return Key;
    const QString variantKey = VariantKey(FMultiConfigNameWrite, Key);
    if (!Nat().ElementsInKeyHasAttribut(variantKey, ValidAttribute, ValidValue))
        SetMultiConfigPathValid(Key, FMultiConfigNameWrite);
    return variantKey;
}

bool TEtkConfig::IsValidMultiConfigPath(const QString& Key, const QString& ConfigName) {
    if (Key == QLatin1String("USER"))
        throw EEtkConfigAssertion(
            QStringLiteral("Userkey darf alleine nicht als Basiskey für Mulikonfig verwendet werden (EtkConfig)"));
    return !ConfigName.isEmpty() &&
           Nat().ElementsInKeyHasAttribut(VariantKey(ConfigName, Key), ValidAttribute, ValidValue);
}

void TEtkConfig::SetMultiConfigPathValid(const QString& Key, const QString& ConfigName) {
    if (!ConfigName.isEmpty())
        Nat().WriteAttribute(VariantKey(ConfigName, Key), ValidAttribute, ValidValue);
}

// ---- The configuration interface ---------------------------------------------------------------------

void TEtkConfig::Clear() { Nat().Clear(); }
void TEtkConfig::RefreshDom() { Nat().RefreshDom(); }
void TEtkConfig::StartCaching() { Nat().StartCaching(); }
void TEtkConfig::EndCaching() { Nat().EndCaching(); }

void TEtkConfig::InvalidateCache() {
    Nat().SetCacheMagicNumber(QUuid::createUuid().toString(QUuid::Id128).toUpper());
    FDataBaseVersion = 0;
    FActViewerSprache.clear();
}

QString TEtkConfig::GetCacheMagicNumber() { return Nat().GetCacheMagicNumber(); }
void TEtkConfig::SetCacheMagicNumber(const QString& Value) { Nat().SetCacheMagicNumber(Value); }
QString TEtkConfig::GetExeCacheMagicNumber() { return Nat().GetExeCacheMagicNumber(); }
void TEtkConfig::SetDllCallBackFunction(TDllCallBackFunction CallBack) { Nat().SetDllCallBackFunction(std::move(CallBack)); }
void TEtkConfig::SetDllUTF8Mode(bool Value) { Nat().SetDllUTF8Mode(Value); }
void TEtkConfig::SetRootDirectoryForWriteFileName(const QString& RootDirectory) {
    Nat().SetRootDirectoryForWriteFileName(RootDirectory);
}
QString TEtkConfig::GetRootDirectoryForWriteFileName() { return Nat().GetRootDirectoryForWriteFileName(); }

QString TEtkConfig::ReadFileName(const QString& Key, const QString& Default) {
    return Nat().ReadFileName(MapReadKey(Key), Default);
}
QStringList TEtkConfig::ReadFileNames(const QString& Key) { return Nat().ReadFileNames(MapReadKey(Key)); }
void TEtkConfig::WriteFileName(const QString& Key, const QString& Value) { Nat().WriteFileName(MapWriteKey(Key), Value); }
void TEtkConfig::WriteFileNames(const QString& Key, const QStringList& Values) {
    Nat().WriteFileNames(MapWriteKey(Key), Values);
}
bool TEtkConfig::ReadRawData(const QString& Key, int& Typ, QString& Data) {
    return Nat().ReadRawData(MapReadKey(Key), Typ, Data);
}
QString TEtkConfig::ReadString(const QString& Key, const QString& Default) {
    return Nat().ReadString(MapReadKey(Key), Default);
}
QStringList TEtkConfig::ReadStrings(const QString& Key) { return Nat().ReadStrings(MapReadKey(Key)); }
void TEtkConfig::WriteString(const QString& Key, const QString& Value) { Nat().WriteString(MapWriteKey(Key), Value); }
void TEtkConfig::WriteBool(const QString& Key, bool Value) { Nat().WriteBool(MapWriteKey(Key), Value); }
bool TEtkConfig::ReadBool(const QString& Key, bool Default) { return Nat().ReadBool(MapReadKey(Key), Default); }
void TEtkConfig::WriteStrings(const QString& Key, const QStringList& Values) {
    Nat().WriteStrings(MapWriteKey(Key), Values);
}
void TEtkConfig::WriteKeys(const QString& Key, const QStringList& SubKeys) { Nat().WriteKeys(MapWriteKey(Key), SubKeys); }

void TEtkConfig::RenameKey(const QString& Key, const QString& NewKey) {
    MapWriteKey(Key);
    Nat().RenameKey(SubKey(VariantsKey, Key), NewKey);
}

void TEtkConfig::DeleteSubKeys(const QString& Key) { Nat().DeleteSubKeys(MapWriteKey(Key)); }
void TEtkConfig::DeleteKey(const QString& Key) { Nat().DeleteKey(MapWriteKey(Key)); }
void TEtkConfig::DeleteAttribute(const QString& Key, const QString& AttName) {
    Nat().DeleteAttribute(MapWriteKey(Key), AttName);
}
void TEtkConfig::DeleteValue(const QString& Key) { Nat().DeleteValue(MapWriteKey(Key)); }
QStringList TEtkConfig::ReadKeys(const QString& Key) { return Nat().ReadKeys(MapReadKey(Key)); }
QStringList TEtkConfig::ReadAllKeys(const QString& Key) { return Nat().ReadAllKeys(MapReadKey(Key)); }
int TEtkConfig::ReadInteger(const QString& Key, int Default) { return Nat().ReadInteger(MapReadKey(Key), Default); }
void TEtkConfig::WriteInteger(const QString& Key, int Value) { Nat().WriteInteger(MapWriteKey(Key), Value); }
double TEtkConfig::ReadFloat(const QString& Key, double Default) { return Nat().ReadFloat(MapReadKey(Key), Default); }
void TEtkConfig::WriteFloat(const QString& Key, double Value) { Nat().WriteFloat(MapWriteKey(Key), Value); }
void TEtkConfig::WriteFont(const QString& Key, const TEtkFontData& Font) { Nat().WriteFont(MapWriteKey(Key), Font); }
void TEtkConfig::ReadFont(const QString& Key, TEtkFontData& Font, const TEtkFontData* Default) {
    Nat().ReadFont(MapReadKey(Key), Font, Default);
}
void TEtkConfig::WriteRect(const QString& Key, const TEtkRect& Rect) { Nat().WriteRect(MapWriteKey(Key), Rect); }
void TEtkConfig::ReadRect(const QString& Key, TEtkRect& Rect) { Nat().ReadRect(MapReadKey(Key), Rect); }
void TEtkConfig::WriteVersion(double Value) { Nat().WriteVersion(Value); }
double TEtkConfig::ReadVersion() { return Nat().ReadVersion(); }

QStringList TEtkConfig::ReadAllAttributes(const QString& Key) { return Nat().ReadAllAttributes(MapReadKey(Key)); }
QString TEtkConfig::ReadAttribute(const QString& Key, const QString& AttName) {
    return Nat().ReadAttribute(MapReadKey(Key), AttName);
}
void TEtkConfig::WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) {
    Nat().WriteAttribute(MapWriteKey(Key), AttName, Value);
}
int TEtkConfig::ReadAttributeInt(const QString& Key, const QString& AttName, int Default) {
    return Nat().ReadAttributeInt(MapReadKey(Key), AttName, Default);
}
void TEtkConfig::WriteAttributeInt(const QString& Key, const QString& AttName, int Value) {
    Nat().WriteAttributeInt(MapWriteKey(Key), AttName, Value);
}
bool TEtkConfig::ReadAttributeBool(const QString& Key, const QString& AttName, bool Default) {
    return Nat().ReadAttributeBool(MapReadKey(Key), AttName, Default);
}
void TEtkConfig::WriteAttributeBool(const QString& Key, const QString& AttName, bool Value) {
    Nat().WriteAttributeBool(MapWriteKey(Key), AttName, Value);
}
double TEtkConfig::ReadAttributeFloat(const QString& Key, const QString& AttName, double Default) {
    return Nat().ReadAttributeFloat(MapReadKey(Key), AttName, Default);
}
void TEtkConfig::WriteAttributeFloat(const QString& Key, const QString& AttName, double Value) {
    Nat().WriteAttributeFloat(MapWriteKey(Key), AttName, Value);
}

QString TEtkConfig::GetFileForKey(const QString& Key) { return Nat().GetFileForKey(Key); }
bool TEtkConfig::SetFileForKey(const QString& Key, const QString& FileName, bool DoNotHandleExceptions) {
    return Nat().SetFileForKey(Key, FileName, DoNotHandleExceptions);
}
void TEtkConfig::ClearFiles() { Nat().ClearFiles(); }
bool TEtkConfig::DisableFileForKey(const QString& Key, bool Disable) { return Nat().DisableFileForKey(Key, Disable); }
bool TEtkConfig::ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) {
    return Nat().ElementsInKeyHasAttribut(Key, AttName, AttValue);
}
bool TEtkConfig::IsValid() { return Nat().IsValid(); }
bool TEtkConfig::IsConfigReadonly(bool MitMeldung, bool ForOptions) { return Nat().IsConfigReadonly(MitMeldung, ForOptions); }

void TEtkConfig::AssignData(IEtkConfigNat& Source, const QString& Key) {
    StartCaching();
    const auto endCaching = qScopeGuard([this] { EndCaching(); });
    Nat().AssignData(Source, Key);
}

bool TEtkConfig::IsEqual(IEtkConfigNat& Source, const QString& Key) { return Nat().IsEqual(Source, Key); }
QString TEtkConfig::MakeUserCfg(const QString& ActKonfigFile, bool WithUpdate) {
    return Nat().MakeUserCfg(ActKonfigFile, WithUpdate);
}
bool TEtkConfig::IsNewUserCfg() { return Nat().IsNewUserCfg(); }
QString TEtkConfig::UpdateUserCfg() { return Nat().UpdateUserCfg(); }
QString TEtkConfig::GetNVKUserPath() { return Nat().GetNVKUserPath(); }
QString TEtkConfig::GetUserPath() { return Nat().GetUserPath(); }
bool TEtkConfig::CompareAndUpdateUserCfg(const QString& ActKonfigFile) { return Nat().CompareAndUpdateUserCfg(ActKonfigFile); }
bool TEtkConfig::KeyExists(const QString& Key) { return Nat().KeyExists(MapReadKey(Key)); }
QString TEtkConfig::MakeAbsolutePath(const QString& Key, const QString& Value) { return Nat().MakeAbsolutePath(Key, Value); }
QString TEtkConfig::MakeRelativePath(const QString& Key, const QString& Value) { return Nat().MakeRelativePath(Key, Value); }

bool TEtkConfig::SetMainConfigFile(const QString& FileName, bool DoNotHandleExceptions) {
    bool attached = false;
    {
        const auto dropCaches = qScopeGuard([this] { DropCaches(); });
        attached = Nat().SetMainConfigFile(FileName, DoNotHandleExceptions);
    }
    if (!attached)
        return false;
    FLocker = TFileConfigLocker::Create(FileName, this);
    return true;
}

QString TEtkConfig::GetMainConfigFile() { return Nat().GetMainConfigFile(); }
void TEtkConfig::SetRodUviIstRunning(bool Value) { Nat().SetRodUviIstRunning(Value); }
bool TEtkConfig::GetRoduviIstRunning() { return Nat().GetRoduviIstRunning(); }
int TEtkConfig::GetPluginSecCount() { return Nat().GetPluginSecCount(); }
void TEtkConfig::ReadPluginSecNames(QStringList& List) { Nat().ReadPluginSecNames(List); }
void TEtkConfig::ExtractTexte(QStringList& KeyList, const QStringList* Sprachen) { Nat().ExtractTexte(KeyList, Sprachen); }
void TEtkConfig::WriteRawData(const QString& Key, int Typ, const QString& Data) {
    Nat().WriteRawData(MapWriteKey(Key), Typ, Data);
}
TLocalFilesLocationType TEtkConfig::GetUsePersonalFromRegistry() { return Nat().GetUsePersonalFromRegistry(); }
bool TEtkConfig::UpdateUserOrderAddresses() { return Nat().UpdateUserOrderAddresses(); }

void TEtkConfig::DropCaches() {
    FVerzeichnisLocal.clear();
    InvalidateCache();
}

// ---- Values ----------------------------------------------------------------------------------------

QDate TEtkConfig::ReadAttributeDateTime(const QString& Key, const QString& AttName) {
    const QDate date = QDate::fromString(ReadAttribute(Key, AttName), QStringLiteral("yyyyMMdd"));
    return date.isValid() ? date : QDate::currentDate();
}

void TEtkConfig::WriteAttributeDateTime(const QString& Key, const QString& AttName, const QDate& Value) {
    WriteAttribute(Key, AttName, QString::asprintf("%4.4d%2.2d%2.2d", Value.year(), Value.month(), Value.day()));
}

void TEtkConfig::WriteBoolDef(const QString& Key, bool Value, bool DefNoWrite) {
    if (Value == DefNoWrite)
        DeleteKey(Key);
    else
        WriteBool(Key, Value);
}

// ---- Files and folders -------------------------------------------------------------------------------

bool TEtkConfig::InitUserConfigFile(bool WithUpdate) {
    try {
        const QString mainFile = GetMainConfigFile();
        const QString userFile = MakeUserCfg(mainFile, WithUpdate);
        FActViewerSprache.clear();
        // A user file that cannot be read stays as it is on disk and is not attached: the caller
        // learns it from the answer instead of finding the user's settings replaced.
        if (!SetFileForKey(QStringLiteral("USER"), userFile, false))
            return false;
        FUserConfigFile = userFile;
        if (WithUpdate)
            CompareAndUpdateUserCfg(mainFile);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

QString TEtkConfig::MakeAbsoluteFileName(const QString& Path) { return MakeAbsolutePath(QString(), Path); }

QString TEtkConfig::GetLogo(const QString& Key) { return ReadFileName(Key, QString()); }

QString TEtkConfig::GetDokuPath() {
    return WithoutTrailingSeparators(ReadString(QStringLiteral("DATABASE\\Doku\\PDFPath"), QString()));
}

void TEtkConfig::SetDokuPath(const QString& Value) {
    WriteString(QStringLiteral("DATABASE\\Doku\\PDFPath"), WithoutTrailingSeparators(Value));
}

QString TEtkConfig::GetDBType() { return ReadString(QStringLiteral("DATABASE\\TYP"), H2Database); }

QString TEtkConfig::GetDBVerzeichnis(const QString& Default) {
    if (GetDBType() != H2Database)
        return QString();
    return ReadFileName(QStringLiteral("DATABASE\\H2Database\\Verzeichnis\\Data"), Default);
}

QString TEtkConfig::GetVerzeichnisLocal(const QString& Default) {
    if ((GetRoduviIstRunning() || FVerzeichnisLocal.isEmpty()) && GetDBType() == H2Database)
        FVerzeichnisLocal = ReadFileName(QStringLiteral("DATABASE\\H2Database\\Verzeichnis\\Local"), Default);
    return FVerzeichnisLocal;
}

void TEtkConfig::SetVerzeichnisLocal(const QString& Value) {
    if (GetRoduviIstRunning() && GetDBType() == H2Database)
        WriteFileName(QStringLiteral("DATABASE\\H2Database\\Verzeichnis\\Local"), Value);
    else
        FVerzeichnisLocal = Value;
}

QString TEtkConfig::GetCdKennung(bool Multiline) {
    static const QString unsafe = QStringLiteral("\n\r\"*/:<>?[\\]|");
    QString kennung = ReadString(QStringLiteral("VIEWER\\Kennung"), QStringLiteral("NVK"));
    for (QChar& c : kennung)
        if (unsafe.contains(c))
            c = QLatin1Char('_');
    if (Multiline)
        for (const QString& line : ReadStrings(QStringLiteral("VIEWER\\AuxCdIdentifier")))
            kennung += QLatin1String("\r\n") + line;
    return kennung;
}

QString TEtkConfig::GetUserCDPath() {
    return WithoutTrailingSeparators(GetNVKUserPath() + QLatin1Char('/') + GetCdKennung(false));
}

// ---- Variants --------------------------------------------------------------------------------------
// The variants' own elements are addressed directly: mapping "Variants\..." onto a variant would
// look for variants inside the variant.

QStringList TEtkConfig::ReadMultiConfigKeys() { return Sorted(Nat().ReadKeys(VariantsKey)); }

namespace {

// Copies the value, attributes and sub-keys of From below To (the value and sub-keys of From only,
// when WithAttributes is off for the top element).
void CopySubtree(IEtkConfigNat& Config, const QString& From, const QString& To, bool WithAttributes) {
    int typ = 0;
    QString data;
    if (Config.ReadRawData(From, typ, data))
        Config.WriteRawData(To, typ, data);
    if (WithAttributes)
        for (const QString& line : Config.ReadAllAttributes(From)) {
            const qsizetype bar = line.indexOf(QLatin1Char('|'));
            Config.WriteAttribute(To, line.left(bar), line.mid(bar + 1));
        }
    for (const QString& name : Config.ReadKeys(From))
        CopySubtree(Config, SubKey(From, name), SubKey(To, name), true);
}

}  // namespace

void TEtkConfig::AddMultiConfig(const QString& ConfigName, const QString& InheritsFromVariant) {
    QStringList names = Nat().ReadKeys(VariantsKey);
    if (InheritsFromVariant.isEmpty() || !names.contains(InheritsFromVariant)) {
        if (!names.contains(ConfigName)) {
            names.append(ConfigName);
            Nat().WriteKeys(VariantsKey, names);
        }
        return;
    }
    // The copy goes through the store, so it is written once, under the file's lock, and the
    // store's tree stays the file's.
    {
        Nat().StartCaching();
        const auto endCaching = qScopeGuard([this] { Nat().EndCaching(); });
        CopySubtree(Nat(), SubKey(VariantsKey, InheritsFromVariant), SubKey(VariantsKey, ConfigName), false);
        if (!Nat().KeyExists(SubKey(VariantsKey, ConfigName)))
            Nat().WriteKeys(VariantsKey, names << ConfigName);
    }
    RefreshDom();
}

void TEtkConfig::DeleteMultiConfig(const QString& ConfigName) { Nat().DeleteKey(SubKey(VariantsKey, ConfigName)); }

void TEtkConfig::DeleteKeyInVariants(const QString& Key) {
    for (const QString& variant : Nat().ReadKeys(VariantsKey))
        Nat().DeleteKey(VariantKey(variant, Key));
}

QStringList TEtkConfig::GetStringsMultiConfig(const QString& Key) {
    QStringList list = ReadStrings(Key);
    const QString remembered = FMultiConfigNameRead;
    const auto restore = qScopeGuard([this, remembered] { FMultiConfigNameRead = remembered; });
    for (const QString& variant : Nat().ReadKeys(VariantsKey)) {
        FMultiConfigNameRead = variant;
        for (const QString& entry : ReadStrings(Key))
            if (!list.contains(entry))
                list.append(entry);
    }
    return list;
}

void TEtkConfig::DeleteEmptySubKeys(const QString& Key) {
    if (Nat().ReadAttribute(Key, ValidAttribute) != ValidValue)
        return;
    for (const QString& name : Nat().ReadKeys(Key))
        DeleteEmptySubKeys(SubKey(Key, name));
    if (Nat().ReadKeys(Key).isEmpty())
        Nat().DeleteKey(Key);
}

// ---- Lock of the project file -----------------------------------------------------------------------

bool TEtkConfig::Lock() { return FLocker && FLocker->Lock(); }
bool TEtkConfig::Unlock() { return FLocker && FLocker->Unlock(); }

bool TEtkConfig::IsLocked() {
    FLockInfo.Clear();
    return FLocker && FLocker->IsLockedByOther(FLockInfo);
}

bool TEtkConfig::isConfigReadonly(bool MitMeldung, bool ForOptions) {
    const bool readOnly = IsConfigReadonly(MitMeldung, ForOptions);
    if (readOnly || !ForOptions)
        return readOnly;
    const bool locked = IsLocked();
    if (locked && MitMeldung)
        ShowLockedBy(FLockInfo);
    return locked;
}

void TEtkConfig::SetNeedLockChangedNotifications(bool Value) {
    FNeedLockChangedNotifications = Value;
    if (FLocker)
        FLocker->SetNeedLockChangedNotifications(Value);
}

void TEtkConfig::LockedByOther(const TLockInfo& LockInfo) {
    FLockInfo = LockInfo;
    if (FNeedLockChangedNotifications)
        ShowLockedBy(LockInfo);
}

void TEtkConfig::LockReleased() {
    if (FNeedLockChangedNotifications)
        PresentMessage(TPresenterKind::pkInformation,
                       Translate(QStringLiteral("!!Die Projekt-Konfiguration wurde soeben freigegeben.")) +
                           QLatin1String("\r\n") +
                           Translate(QStringLiteral("!!Um Änderungen an der Konfiguration vornehmen zu können, muss der "
                                                    "Konfigurationsdialog neu geöffnet werden!")));
}

// ---- Prices ----------------------------------------------------------------------------------------

QString TEtkConfig::GetActLKZ() {
    if (ReadBool(QStringLiteral("VIEWER\\Preis\\AltePreisDatei"), false))
        return QString();
    return ReadString(QStringLiteral("USER\\Preis\\aktlkz"), QString());
}

QString TEtkConfig::GetActWKZ() { return ReadString(QStringLiteral("USER\\Preis\\aktwkz"), QStringLiteral("EUR")); }
void TEtkConfig::SetActWKZ(const QString& Value) { WriteString(QStringLiteral("USER\\Preis\\aktwkz"), Value); }
QStringList TEtkConfig::GetAllWkz() { return ReadStrings(QStringLiteral("USER\\Preis\\allwkz")); }
void TEtkConfig::SetAllWkz(const QStringList& Value) { WriteStrings(QStringLiteral("USER\\Preis\\allwkz"), Value); }

// ---- Others ----------------------------------------------------------------------------------------

bool TEtkConfig::ConfigsAreEqual(const QString& Path1, const QString& Path2) {
    int typ1 = 0, typ2 = 0;
    QString data1, data2;
    ReadRawData(Path1, typ1, data1);
    ReadRawData(Path2, typ2, data2);
    if (typ1 != typ2 || data1 != data2)
        return false;
    if (Sorted(ReadAllAttributes(Path1)) != Sorted(ReadAllAttributes(Path2)))
        return false;
    const QStringList subKeys = Sorted(ReadKeys(Path1));
    if (subKeys != Sorted(ReadKeys(Path2)))
        return false;
    return std::all_of(subKeys.begin(), subKeys.end(), [&](const QString& name) {
        return ConfigsAreEqual(SubKey(Path1, name), SubKey(Path2, name));
    });
}

bool TEtkConfig::VersionsCheck(bool MitUmwandlung) {
    double version = ReadVersion();
    if (MitUmwandlung && version < CurrentFormatVersion - VersionTolerance) {
        const QString question =
            Translate(QStringLiteral("!!Die Projekt-Konfigurationsdatei hat die Version %s soll sie in die Version %s gewandelt werden?"));
        const QString text = QString(question)
                                 .replace(question.indexOf(QLatin1String("%s")), 2, QString::asprintf("%.1f", version))
                                 .replace(QLatin1String("%s"), QString::asprintf("%.1f", CurrentFormatVersion));
        if (PresentMessage(TPresenterKind::pkQuestion, text, {}, TPresenterAnswer::Yes) == TPresenterAnswer::Yes) {
            WriteVersion(CurrentFormatVersion);
            version = ReadVersion();
        }
    }
    if (version > CurrentFormatVersion + VersionTolerance) {
        PresentMessage(TPresenterKind::pkInformation,
                       Translate(QStringLiteral("!!Die Projekt-Konfigurationsdatei wurde in einem neueren Datenformat erstellt, "
                                                "diese kann mit diesem Programm nicht verwendet werden. Bitte besorgen Sie sich "
                                                "ein Update")));
        return false;
    }
    return true;
}

int TEtkConfig::GetMaxIconHeight(TEtkIconSize IconSize) {
    const int height = IconSize == TEtkIconSize::isSmall
                           ? ReadInteger(QStringLiteral("VIEWER\\Optic\\PicturesHeight\\Small"), 32)
                           : ReadInteger(QStringLiteral("VIEWER\\Optic\\PicturesHeight\\Big"), 64);
    const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr;
    const double pixelsPerInch = screen ? screen->logicalDotsPerInch() : 96.0;
    return static_cast<int>(std::lround(height * pixelsPerInch / 96.0));
}

bool TEtkConfig::ApplyIcon() {
    try {
        const QString iconFile =
            ReadFileName(QStringLiteral("VIEWER\\Icon"), Platform::ExecutableFolder() + QLatin1String("/Brenlow.ico"));
        if (!qGuiApp || !QFileInfo(iconFile).isFile())
            return false;
        const QIcon icon(iconFile);
        if (icon.availableSizes().isEmpty())
            return false;
        // Windows that still show the application's previous icon follow it; dialogs keep theirs.
        const qint64 previousIcon = QGuiApplication::windowIcon().cacheKey();
        QGuiApplication::setWindowIcon(icon);
        for (QWindow* window : QGuiApplication::topLevelWindows())
            if (window->type() != Qt::Dialog && window->icon().cacheKey() == previousIcon)
                window->setIcon(icon);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

TDatabaseVersion TEtkConfig::GetDataBaseVersion() {
    if (FDataBaseVersion < 1.0)
        FDataBaseVersion = ReadFloat(QStringLiteral("DATABASE\\Version"), 7.4);
    return FDataBaseVersion;
}

void TEtkConfig::SetDataBaseVersion(TDatabaseVersion Value) {
    FDataBaseVersion = Value;
    WriteFloat(QStringLiteral("DATABASE\\Version"), Value);
}

// EtkConfig.h: TEtkConfig, the one object through which the system reads and writes its
// configuration. It maps keys onto configuration variants, forwards every call to the native
// configuration (which routes each key to its file), and adds the catalogue's language model, file
// names relative to the project file, the project-file lock, the program icon and the format
// version check. Also the table of the 43 catalogue languages. GUI thread only; library errors are
// raised with their German texts, messages go through the presenter.
#pragma once
#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

#include "config/EtkConfigIntf.h"
#include "util/Exception.h"

class TEtkMultiSprache;
class TInfoHeader;

// The catalogue data version: a decimal number such as 7.4.
using TDatabaseVersion = double;

// A programming error in the use of configuration variants.
class EEtkConfigAssertion : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EEtkConfigAssertion"; }
};

// Icon sizes of GetMaxIconHeight.
enum class TEtkIconSize : int { isSmall = 0, isBig = 1 };

class TEtkConfig : public QObject, public IEtkConfigNat, public IConfigLockChangedNotifyer {
    Q_OBJECT
public:
    ~TEtkConfig() override;
    TEtkConfig(const TEtkConfig&) = delete;
    TEtkConfig& operator=(const TEtkConfig&) = delete;

    // ---- The configuration interface: variant mapping, then the native configuration ----
    void Clear() override;
    void RefreshDom() override;
    void StartCaching() override;
    void EndCaching() override;
    // A fresh cache number; the cached data version and viewer language are dropped.
    void InvalidateCache() override;
    QString GetCacheMagicNumber() override;
    void SetCacheMagicNumber(const QString& Value) override;
    QString GetExeCacheMagicNumber() override;
    void SetDllCallBackFunction(TDllCallBackFunction CallBack) override;
    void SetDllUTF8Mode(bool Value) override;
    void SetRootDirectoryForWriteFileName(const QString& RootDirectory) override;
    QString GetRootDirectoryForWriteFileName() override;
    QString ReadFileName(const QString& Key, const QString& Default) override;
    QStringList ReadFileNames(const QString& Key) override;
    void WriteFileName(const QString& Key, const QString& Value) override;
    void WriteFileNames(const QString& Key, const QStringList& Values) override;
    bool ReadRawData(const QString& Key, int& Typ, QString& Data) override;
    QString ReadString(const QString& Key, const QString& Default) override;
    QStringList ReadStrings(const QString& Key) override;
    void WriteString(const QString& Key, const QString& Value) override;
    void WriteBool(const QString& Key, bool Value) override;
    bool ReadBool(const QString& Key, bool Default) override;
    void WriteStrings(const QString& Key, const QStringList& Values) override;
    void WriteKeys(const QString& Key, const QStringList& SubKeys) override;
    // Renames the element "Variants\" + Key (after marking the write variant's copy of Key).
    void RenameKey(const QString& Key, const QString& NewKey) override;
    void DeleteSubKeys(const QString& Key) override;
    void DeleteKey(const QString& Key) override;
    void DeleteAttribute(const QString& Key, const QString& AttName) override;
    void DeleteValue(const QString& Key) override;
    QStringList ReadKeys(const QString& Key) override;
    QStringList ReadAllKeys(const QString& Key) override;
    int ReadInteger(const QString& Key, int Default) override;
    void WriteInteger(const QString& Key, int Value) override;
    double ReadFloat(const QString& Key, double Default) override;
    void WriteFloat(const QString& Key, double Value) override;
    void WriteFont(const QString& Key, const TEtkFontData& Font) override;
    void ReadFont(const QString& Key, TEtkFontData& Font, const TEtkFontData* Default) override;
    void WriteRect(const QString& Key, const TEtkRect& Rect) override;
    void ReadRect(const QString& Key, TEtkRect& Rect) override;
    void WriteVersion(double Value) override;
    double ReadVersion() override;
    QStringList ReadAllAttributes(const QString& Key) override;
    QString ReadAttribute(const QString& Key, const QString& AttName) override;
    void WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) override;
    int ReadAttributeInt(const QString& Key, const QString& AttName, int Default) override;
    void WriteAttributeInt(const QString& Key, const QString& AttName, int Value) override;
    bool ReadAttributeBool(const QString& Key, const QString& AttName, bool Default) override;
    void WriteAttributeBool(const QString& Key, const QString& AttName, bool Value) override;
    double ReadAttributeFloat(const QString& Key, const QString& AttName, double Default) override;
    void WriteAttributeFloat(const QString& Key, const QString& AttName, double Value) override;
    QString GetFileForKey(const QString& Key) override;
    bool SetFileForKey(const QString& Key, const QString& FileName, bool DoNotHandleExceptions) override;
    void ClearFiles() override;
    bool DisableFileForKey(const QString& Key, bool Disable) override;
    bool ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) override;
    bool IsValid() override;
    bool IsConfigReadonly(bool MitMeldung, bool ForOptions) override;
    // Written in one batch, also closed when the copy fails.
    void AssignData(IEtkConfigNat& Source, const QString& Key) override;
    bool IsEqual(IEtkConfigNat& Source, const QString& Key) override;
    QString MakeUserCfg(const QString& ActKonfigFile, bool WithUpdate) override;
    bool IsNewUserCfg() override;
    QString UpdateUserCfg() override;
    QString GetNVKUserPath() override;
    QString GetUserPath() override;
    bool CompareAndUpdateUserCfg(const QString& ActKonfigFile) override;
    bool KeyExists(const QString& Key) override;
    QString MakeAbsolutePath(const QString& Key, const QString& Value) override;
    QString MakeRelativePath(const QString& Key, const QString& Value) override;
    // Attaches FileName as the main file and gives it a new lock object (not locked); all caches
    // are dropped whatever the outcome.
    bool SetMainConfigFile(const QString& FileName, bool DoNotHandleExceptions) override;
    QString GetMainConfigFile() override;
    void SetRodUviIstRunning(bool Value) override;
    bool GetRoduviIstRunning() override;
    int GetPluginSecCount() override;
    void ReadPluginSecNames(QStringList& List) override;
    void ExtractTexte(QStringList& KeyList, const QStringList* Sprachen) override;
    void WriteRawData(const QString& Key, int Typ, const QString& Data) override;
    TLocalFilesLocationType GetUsePersonalFromRegistry() override;
    bool UpdateUserOrderAddresses() override;

    // ---- Values ----
    // A date as "yyyymmdd"; text that is no such date reads as today.
    QDate ReadAttributeDateTime(const QString& Key, const QString& AttName);
    void WriteAttributeDateTime(const QString& Key, const QString& AttName, const QDate& Value);
    // Deletes the key when Value equals DefNoWrite.
    void WriteBoolDef(const QString& Key, bool Value, bool DefNoWrite);

    // ---- Files and folders ----
    // Attaches the per-user file under "USER" (created from the project file when WithUpdate is set
    // and it is missing). False on failure; raises nothing.
    bool InitUserConfigFile(bool WithUpdate);
    QString GetUserConfigFile() const { return FUserConfigFile; }
    QString MakeAbsoluteFileName(const QString& Path);
    QString GetLogo(const QString& Key);
    QString GetDokuPath();
    void SetDokuPath(const QString& Value);
    QString GetDBType();
    QString GetDBVerzeichnis(const QString& Default);
    QString GetVerzeichnisLocal(const QString& Default);
    void SetVerzeichnisLocal(const QString& Value);
    // "VIEWER\Kennung" made safe as a folder name; with Multiline the auxiliary identifiers follow.
    QString GetCdKennung(bool Multiline);
    QString GetUserCDPath();

    // ---- Variants ----
    QStringList ReadMultiConfigKeys();
    void AddMultiConfig(const QString& ConfigName, const QString& InheritsFromVariant);
    void DeleteMultiConfig(const QString& ConfigName);
    void DeleteKeyInVariants(const QString& Key);
    // The entries of Key in the main tree and in every variant, each once.
    QStringList GetStringsMultiConfig(const QString& Key);
    void DeleteEmptySubKeys(const QString& Key);
    bool IsValidMultiConfigPath(const QString& Key, const QString& ConfigName);
    void SetMultiConfigPathValid(const QString& Key, const QString& ConfigName);
    QString MultiConfigNameRead() const { return FMultiConfigNameRead; }
    void SetMultiConfigNameRead(const QString& Value) { FMultiConfigNameRead = Value; }
    QString MultiConfigNameWrite() const { return FMultiConfigNameWrite; }
    void SetMultiConfigNameWrite(const QString& Value) { FMultiConfigNameWrite = Value; }

    // ---- Lock of the project file ----
    // False before a main file is set.
    bool Lock();
    bool Unlock();
    // Another process holds the lock; LockInfo() then names it.
    bool IsLocked();
    bool isConfigReadonly(bool MitMeldung, bool ForOptions);
    const TLockInfo& LockInfo() const { return FLockInfo; }
    bool NeedLockChangedNotifications() const { return FNeedLockChangedNotifications; }
    void SetNeedLockChangedNotifications(bool Value);
    void LockedByOther(const TLockInfo& LockInfo) override;
    void LockReleased() override;

    // ---- Prices ----
    QString GetActLKZ();
    QString GetActWKZ();
    void SetActWKZ(const QString& Value);
    QStringList GetAllWkz();
    void SetAllWkz(const QStringList& Value);

    // ---- Others ----
    bool ConfigsAreEqual(const QString& Path1, const QString& Path2);
    // Offers to convert an old project file; false when the file is newer than this program.
    bool VersionsCheck(bool MitUmwandlung);
    int GetMaxIconHeight(TEtkIconSize IconSize);
    // The icon of "VIEWER\Icon" on the application and its windows; false when it cannot be used.
    bool ApplyIcon();
    TDatabaseVersion GetDataBaseVersion();
    void SetDataBaseVersion(TDatabaseVersion Value);
    bool IsStartAsAutomatisationClient() const { return false; }
    bool FilterEnabled() const { return true; }
    bool NeedEdgeRT() const { return true; }
    bool DbVersionSupportsTextId() const { return true; }
    bool EtkSpezifisch() const { return FEtkSpezifisch; }
    void SetEtkSpezifisch(bool Value) { FEtkSpezifisch = Value; }
    QString RegistryRootKey() const { return FRegistryRootKey; }
    void SetRegistryRootKey(const QString& Value) { FRegistryRootKey = Value; }
    bool CDStart() const { return FCDStart; }
    void SetCDStart(bool Value) { FCDStart = Value; }
    bool RoduviIsRunning() { return GetRoduviIstRunning(); }

    // ---- Languages: the table ----
    // Codes given by a caller are upper-cased before the table is searched.
    static int GetIndexBySprachKrz(const QString& Sprache);
    static QString GetSprachKrzByIndex(int Index);
    // The German name, untranslated ("!!Deutsch").
    static QString GetLangText(const QString& Sprache);
    // Without ExtFormat the language's own name; with it the translated name, aligned, then the own
    // name in brackets.
    static QString GetLangTextBySprachKrz(const QString& Sprache, bool ExtFormat);
    static QString FormatLangKurzForDisplay(const QString& Value, int Maxlen);
    static int GetMaxLenForLangKurz();
    static QStringList GetAllSprachKrz();
    // Exact member of GetAllSprachKrz.
    static bool IsValidLangToken(const QString& Sprache);

    // ---- Languages: lists and current languages (each list at least "DE") ----
    QStringList GetViewerSprachen(bool RodUviOberflaeche, bool SuperSetAllowedIfAvaible);
    QStringList GetInstSprachen(bool RodUviOberflaeche);
    QStringList GetDataBaseSprachen();
    QStringList GetDokuSprachen();
    virtual QString GetActViewerSprache();
    void SetActViewerSprache(const QString& Value);
    QString GetActInstSprache();
    QString GetActInstViewerSprache();
    QString GetActDatabaseSprache();
    void SetActDatabaseSprache(const QString& Value);
    QString GetActDokuSprache();
    void SetActDokuSprache(const QString& Value);
    QStringList GetDataBaseFallbackSprachen();
    void ResetFallbackLanguages();
    bool DataBaseFallbackSprachenExists();
    bool EnableFlagsForLanguages();
    // Text translated into every viewer language.
    void GetStandardUebersetzungen(TEtkMultiSprache& Ergebnis, const QString& Text);

    // ---- Languages: texts in several languages ----
    void ReadMultiSprache(const QString& Key, TEtkMultiSprache& Value,
                          const std::optional<QString>& Default = std::nullopt);
    void WriteMultiSprache(const QString& Key, const TEtkMultiSprache& Value);
    // The text in Language, or in the current viewer language when Language is empty.
    QString ReadMultiSprachValue(const QString& Key, const QString& Default, const QString& Language = {});
    void ReadHeaderFormat(const QString& Key, TInfoHeader& Value, const QString& DefaultFields,
                          const QString& DefaultText);
    void WriteHeaderFormat(const QString& Key, const TInfoHeader& Value);

    // Variant mapping of a key for reads and for writes.
    QString MapReadKey(const QString& Key);
    QString MapWriteKey(const QString& Key);
    static bool IsVariantKey(const QString& Key);

    static const QString DefaultRegistryRootKey;

protected:
    // Only TEtkConfigExe creates a configuration: the native object comes with it.
    explicit TEtkConfig(QObject* AOwner);
    void SetEtkConfigNat(IEtkConfigNat* EtkConfigNat) { FEtkConfigNat = EtkConfigNat; }

private:
    // The list of Kind (viewer, viewer without RodUvi widening, database, documentation,
    // installation) decides: Code when listed, else "EN" when listed, else the first entry.
    enum class TLanguageKind : int { lkViewer = 0, lkViewerOwn = 1, lkDatabase = 2, lkDoku = 3, lkInstall = 4 };
    QString ValidateLanguage(TLanguageKind Kind, const QString& Code);
    bool RodUviWidensLanguages(bool RodUviOberflaeche);
    QString RodUviLanguageKey() const;
    void DropCaches();
    IEtkConfigNat& Nat();

    QString FUserConfigFile;
    QString FActViewerSprache;
    bool FEtkSpezifisch = false;
    TDatabaseVersion FDataBaseVersion = 0;
    std::unique_ptr<QStringList> FFallbackLanguages;
    QString FMultiConfigNameRead;
    QString FMultiConfigNameWrite;
    QString FVerzeichnisLocal;
    QString FRegistryRootKey;
    bool FCDStart = false;
    std::shared_ptr<IConfigLocker> FLocker;
    bool FNeedLockChangedNotifications = false;
    IEtkConfigNat* FEtkConfigNat = nullptr;  // a child object: deleted with this one
    TLockInfo FLockInfo;
};

// The language of a Windows language identifier (low byte primary, high byte sub language).
QString LanguageCodeFromLangId(quint16 LangId, const QString& Default);
// The language of the user's locale, "EN" when none of the table matches.
QString UserDefaultLanguageCode();

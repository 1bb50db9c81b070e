// EtkConfigNat.h: TEtkConfigNat, the configuration of several files behind the facade. It keeps one
// fast store per attached file under a file key (a key prefix) and hands every key to the store with
// the longest matching file key. Around that it manages the main (project) file, the per-user file
// "QtrUser.cfg" and its folder, file names stored relative to their file, the read-only test and the
// plug-in names. Owned by its parent (the facade); owns its stores. GUI thread only. Raises
// EEtkConfigError with the German texts; errors of the stores pass through.
#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <vector>

#include "config/EtkConfigIntf.h"
#include "util/Exception.h"

class TEtkConfigXMLFast;
class TEtkConfigNatStore;

// Misuse of the configuration: no file attached, an invalid file name, an operation of the library
// build.
class EEtkConfigError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const noexcept override { return "EEtkConfigError"; }
};

class TEtkConfigNat final : public QObject, public IEtkConfigNat {
    Q_OBJECT
public:
    explicit TEtkConfigNat(QObject* AOwner);
    ~TEtkConfigNat() override;
    TEtkConfigNat(const TEtkConfigNat&) = delete;
    TEtkConfigNat& operator=(const TEtkConfigNat&) = delete;

    // The name of the per-user file in the user folder.
    static QString UserCfgFileName() { return QStringLiteral("QtrUser.cfg"); }

    void Clear() override;
    void RefreshDom() override;
    void StartCaching() override;
    // Ends the batch of every store, also when one of them fails; the first error is raised.
    void EndCaching() override;
    void InvalidateCache() override {}
    QString GetCacheMagicNumber() override { return FCacheMagicNumber; }
    void SetCacheMagicNumber(const QString& Value) override { FCacheMagicNumber = Value; }
    QString GetExeCacheMagicNumber() override { return FCacheMagicNumber; }
    void SetDllCallBackFunction(TDllCallBackFunction CallBack) override;
    void SetDllUTF8Mode(bool Value) override;
    void SetRootDirectoryForWriteFileName(const QString& RootDirectory) override {
        FRootDirectoryForWriteFileName = RootDirectory;
    }
    QString GetRootDirectoryForWriteFileName() override { return FRootDirectoryForWriteFileName; }

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
    void RenameKey(const QString& Key, const QString& NewKey) override;
    void DeleteSubKeys(const QString& Key) override;
    void DeleteKey(const QString& Key) override;
    void DeleteAttribute(const QString& Key, const QString& AttName) override;
    void DeleteValue(const QString& Key) override;
    QStringList ReadKeys(const QString& Key) override;
    QStringList ReadAllKeys(const QString& Key) override;
    int ReadInteger(const QString& Key, int Default) override;
    void WriteInteger(const QString& Key, int Value) override;
    // Text that is no decimal number reads as Default.
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
    // Text that is no decimal number reads as Default.
    double ReadAttributeFloat(const QString& Key, const QString& AttName, double Default) override;
    void WriteAttributeFloat(const QString& Key, const QString& AttName, double Value) override;

    QString GetFileForKey(const QString& Key) override;
    bool SetFileForKey(const QString& Key, const QString& FileName, bool DoNotHandleExceptions) override;
    void ClearFiles() override { Clear(); }
    bool DisableFileForKey(const QString& Key, bool Disable) override;
    bool ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) override;
    // At least one file is attached.
    bool IsValid() override { return !XMLList.empty(); }
    bool IsConfigReadonly(bool MitMeldung, bool ForOptions) override;
    void AssignData(IEtkConfigNat& Source, const QString& Key) override;
    bool IsEqual(IEtkConfigNat& Source, const QString& Key) override;

    QString MakeUserCfg(const QString& ActKonfigFile, bool WithUpdate) override;
    bool IsNewUserCfg() override { return FNewUserCfg; }
    QString UpdateUserCfg() override;
    QString GetNVKUserPath() override;
    QString GetUserPath() override;
    bool CompareAndUpdateUserCfg(const QString& ActKonfigFile) override;

    bool KeyExists(const QString& Key) override;
    QString MakeAbsolutePath(const QString& Key, const QString& Value) override;
    QString MakeRelativePath(const QString& Key, const QString& Value) override;
    bool SetMainConfigFile(const QString& FileName, bool DoNotHandleExceptions) override;
    QString GetMainConfigFile() override { return FMainConfigFile; }
    void SetRodUviIstRunning(bool Value) override { FRoduviIstRunning = Value; }
    bool GetRoduviIstRunning() override { return FRoduviIstRunning; }
    int GetPluginSecCount() override;
    void ReadPluginSecNames(QStringList& List) override;
    void ExtractTexte(QStringList& KeyList, const QStringList* Sprachen) override;
    void WriteRawData(const QString& Key, int Typ, const QString& Data) override;
    TLocalFilesLocationType GetUsePersonalFromRegistry() override;
    bool UpdateUserOrderAddresses() override;

    // Copies the series-number filters that "DATABASE\SNRFilter" of Main counts into User.
    static void CopySnrFilters(TEtkConfigXMLFast& Main, TEtkConfigXMLFast& User);

private:
    // The store whose file key is the longest prefix of Key; raises when none is attached or every
    // candidate is disabled.
    TEtkConfigNatStore& StoreForKey(const QString& Key);
    // The folder relative file names of Key refer to, without trailing "/"; empty when unknown.
    QString FolderForKey(const QString& Key);
    // The personal folder for the location type, else Fallback.
    QString PersonalFolder(TLocalFilesLocationType LocationType, const QString& Fallback);
    // The user file, its folder created.
    QString UserCfgFile();
    void CopyFrom(IEtkConfigNat& Source, const QString& Key);

    std::vector<TEtkConfigNatStore*> XMLList;  // child objects, in attachment order
    QString FMainConfigFile;
    bool FRoduviIstRunning = false;
    QString FRootDirectoryForWriteFileName;
    bool FNewUserCfg = false;
    QString FCacheMagicNumber;
};

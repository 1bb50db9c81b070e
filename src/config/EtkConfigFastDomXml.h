// EtkConfigFastDomXml.h: TEtkConfigXMLFast, the store of one project or user configuration file.
// It keeps the file as a TBLKConnector tree, re-reads it when another process changed it, writes
// every change through at once (or at the end of a StartCaching/EndCaching batch) and stamps and
// backs up the file. A write-through holds the system semaphore from its freshness check through the
// write, so writers of different keys in different processes never lose each other's changes; the
// file is replaced atomically. GUI thread (one thread per store). Raises the store's German errors.
#pragma once
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "config/EtkConfigIntf.h"
#include "platform/FileLock.h"

class TBLKConnector;
class TStringList;

class TEtkConfigXMLFast : public QObject {
    Q_OBJECT
public:
    explicit TEtkConfigXMLFast(QObject* AOwner = nullptr);
    ~TEtkConfigXMLFast() override;

    void SetFileName(const QString& Value);
    const QString& FileName() const { return FFileName; }
    void ReadXMLFile();
    void WriteXMLFile(bool NeuErzeugen);
    bool isXMLReadonly() const;
    void StartCaching();
    void EndCaching();
    void RefreshDom() { ReadXMLFile(); }

    QString ReadString(const QString& Key, const QString& Default);
    int ReadInteger(const QString& Key, int Default);
    bool ReadBool(const QString& Key, bool Default);
    // Fills List with the stored items (empty when the key holds no list); Result becomes "OK" when
    // the key held a list. A sorted list is filled unsorted and sorted again afterwards.
    void ReadStrings(const QString& Key, TStringList& List, QString* Result = nullptr);
    QStringList ReadStrings(const QString& Key);
    void ReadKeys(const QString& Key, TStringList& SubKeys);
    QStringList ReadKeys(const QString& Key);
    void ReadFont(const QString& Key, TEtkFontData& Font);
    int ReadRectCount(const QString& Key);
    // Copies the stored rectangles when Rects has room for all of them (High is its last index).
    bool ReadRect(const QString& Key, std::vector<TEtkRect>& Rects, int High);

    void WriteString(const QString& Key, const QString& Value);
    void WriteInteger(const QString& Key, int Value);
    void WriteBool(const QString& Key, bool Value);
    void WriteStrings(const QString& Key, const TStringList& List);
    void WriteStrings(const QString& Key, const QStringList& List);
    // Makes the sub-keys of Key exactly Names: listed ones are kept or created, others deleted.
    void WriteKeys(const QString& Key, const QStringList& Names);
    void WriteFont(const QString& Key, const TEtkFontData& Font);
    void WriteRect(const QString& Key, const std::vector<TEtkRect>& Rects, int High);

    void DeleteKey(const QString& Key);
    void DeleteAttribute(const QString& Key, const QString& AttName);
    void DeleteValue(const QString& Key);
    void DeleteSubKeys(const QString& Key);
    void RenameKey(const QString& Key, const QString& NewKey);

    bool ReadRawData(const QString& Key, int& Typ, QString& Data);
    void WriteRawData(const QString& Key, int Typ, const QString& Data);
    // The raw stored text, type letter included; Found tells whether the key exists.
    QString ReadRawText(const QString& Key, bool* Found = nullptr);
    double ReadVersion();
    void WriteVersion(double Value);

    QString ReadAttribute(const QString& Key, const QString& AttName, bool NoReload = false);
    void WriteAttribute(const QString& Key, const QString& AttName, const QString& Value);
    int ReadAttributeInt(const QString& Key, const QString& AttName, int Default);
    void WriteAttributeInt(const QString& Key, const QString& AttName, int Value);
    bool ReadAttributeBool(const QString& Key, const QString& AttName, bool Default);
    void WriteAttributeBool(const QString& Key, const QString& AttName, bool Value);
    // Lines of attribute name, "|" and value.
    void ReadAllAttributes(const QString& Key, TStringList& List);
    QStringList ReadAllAttributes(const QString& Key);
    void ReadAllKeys(const QString& Pfad, TStringList& KeyList);
    QStringList ReadAllKeys(const QString& Pfad);
    bool KeyExists(const QString& Key);
    bool ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue);
    // Replaces the subtree Key by a copy of Source's (values and attributes only present here stay).
    void AssignData(TEtkConfigXMLFast& Source, const QString& Key);
    // Lines "Key:GUID<TAB>L<TAB>text" for every multi-language text and every code L of Sprachen.
    void ExtractTexte(QStringList& KeyList, const QStringList& Sprachen);

    TBLKConnector& BLKConnector() { return *FBLKConnector; }
    const QStringList& Errorlist() const { return FErrorlist; }
    const QString& ActKey() const { return FActKey; }
    const QString& FileKey() const { return FFileKey; }
    void SetFileKey(const QString& Value) { FFileKey = Value; }
    bool Caching() const { return FCaching; }
    quint32 ParseTime() const { return FParseTime; }

    // How long a locked file is waited for before the time-out handling of OpenFileWaitForLock, and
    // how long the semaphore is waited for; tests shorten them.
    // The version this program stamps into the files it saves.
    static QString ProgVersion();

    void SetLockWaitPeriod(std::chrono::milliseconds Value) { FLockWaitPeriod = Value; }

private:
    using TMutation = std::function<bool(TBLKConnector&)>;
    void EnsureFresh(bool ForRead);
    void ParseFile();
    // Applies a change: inside a batch to the tree (and the batch's journal), otherwise as one
    // exclusive read-modify-write of the file.
    void Mutate(const QString& Key, const TMutation& Change);
    void FileChanged();
    void WriteRawValue(const QString& Key, const QString& Value);
    QString ReadTyped(const QString& Key, QChar Letter, bool& Ok);
    void StampRoot();
    void WriteBackup();

    std::unique_ptr<TBLKConnector> FBLKConnector;
    QString FFileName;
    QString FTopElement = QStringLiteral("BRENLOW");
    bool FEverRead = false;                                 // LastReadTime <> 0
    std::chrono::steady_clock::time_point LastReadTime{};   // when the file was last read
    std::chrono::steady_clock::time_point LastTestFileDate{};  // when its stamp was last compared
    Platform::TFileStamp FReadStamp;  // the file version the tree mirrors (after a write: the written one)
    int nSecondsRefresh = 599;
    quint32 FParseTime = 0;
    QStringList FErrorlist;
    bool FCaching = false;
    int CacheCnt = 0;
    QString FActKey;
    bool FileIsModified = false;
    int FMissingReadCounter = 0;
    QString FFileKey;
    std::vector<TMutation> FJournal;  // changes of the open batch, replayed onto a newer file at its end
    std::chrono::milliseconds FLockWaitPeriod{20000};
};

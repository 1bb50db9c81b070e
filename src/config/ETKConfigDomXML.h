// ETKConfigDomXML.h: TEtkConfigXML, a configuration store that keeps a whole file as a document
// object model (pugixml) and serves the key/value operations on it; the host uses it for the web
// application's viewer configuration file. Every write outside a batch replaces the file atomically
// under the system semaphore. GUI thread. Raises the store's German errors; "Entry cannot be added."
// and "Nothing to delete" go to the presenter.
#pragma once
#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <chrono>
#include <memory>
#include <vector>

#include "config/EtkConfigIntf.h"
#include "platform/FileLock.h"

class TStringList;

class TEtkConfigXML : public QObject {
    Q_OBJECT
public:
    explicit TEtkConfigXML(QObject* AOwner = nullptr);
    TEtkConfigXML(QObject* AOwner, double XMLDataVersion);
    ~TEtkConfigXML() override;

    void SetFileName(const QString& Value);
    const QString& FileName() const { return FFileName; }
    void ReadXMLFile();
    void RefreshDom() { ReadXMLFile(); }
    void WriteXMLFile(bool ForPrint);
    void WriteXMLToStream(QByteArray& Stream);
    // Replaces the document by one parsed from Stream; raises "XML-Error: " + the text on errors.
    void LoadXMLFromStream(const QByteArray& Stream, const QString& AdditionalTextForErrorMessage);
    void SetTopElement(const QString& Name);
    void SetFileForKeyAndSetTopElement(const QString& Name);
    bool isXMLReadonly() const;
    void StartCaching();
    void EndCaching();

    QString ReadString(const QString& Key, const QString& Default, int Index = 0);
    int ReadInteger(const QString& Key, int Default);
    bool ReadBool(const QString& Key, bool Default);
    void ReadStrings(const QString& Key, TStringList& List, QString* Result = nullptr);
    QStringList ReadStrings(const QString& Key);
    void ReadKeys(const QString& Key, TStringList& SubKeys);
    QStringList ReadKeys(const QString& Key);
    void ReadFont(const QString& Key, TEtkFontData& Font);
    int ReadRectCount(const QString& Key);
    bool ReadRect(const QString& Key, std::vector<TEtkRect>& Rects, int High);
    // The element text of Key as stored (type letter included); Found tells whether the key exists.
    QString ReadRawText(const QString& Key, bool* Found = nullptr);
    bool ReadRawData(const QString& Key, int& Typ, QString& Data);
    // The text of each child element of Key without its type letter.
    QStringList ReadElementKeyValues(const QString& Key);

    void WriteString(const QString& Key, const QString& Value);
    void WriteInteger(const QString& Key, int Value);
    void WriteBool(const QString& Key, bool Value);
    void WriteStrings(const QString& Key, const TStringList& List);
    void WriteStrings(const QString& Key, const QStringList& List);
    void WriteKeys(const QString& Key, const QStringList& Names);
    void WriteFont(const QString& Key, const TEtkFontData& Font);
    void WriteRect(const QString& Key, const std::vector<TEtkRect>& Rects, int High);
    void WriteRawData(const QString& Key, int Typ, const QString& Data);

    void DeleteKey(const QString& Key);
    void DeleteAttribute(const QString& Key, const QString& AttName);
    void DeleteValue(const QString& Key);

    QStringList ReadAllAttributes(const QString& Key);
    void ReadAllAttributes(const QString& Key, TStringList& List);
    QString ReadAttribute(const QString& Key, const QString& AttName);
    void WriteAttribute(const QString& Key, const QString& AttName, const QString& Value);
    int ReadAttributeInt(const QString& Key, const QString& AttName, int Default);
    bool ReadAttributeBool(const QString& Key, const QString& AttName, bool Default);
    double ReadVersion();
    void WriteVersion(double Value);
    bool KeyExists(const QString& Key);
    bool ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue);
    QStringList ReadAllKeys(const QString& Key);
    void ReadAllKeys(const QString& Key, TStringList& KeyList);
    void ExtractTexte(QStringList& KeyList, const QStringList& Sprachen);
    void AssignData(TEtkConfigXML& Source, const QString& Key);
    // Imports a copy of Source's element FromKey under toKey (the root when empty) when this store has
    // no element FromKey yet; the file is written.
    bool MoveData(TEtkConfigXML& Source, const QString& FromKey, const QString& toKey);

    bool NoTypesInElements() const { return FNoTypesInElements; }
    void SetNoTypesInElements(bool Value) { FNoTypesInElements = Value; }
    bool ShowError() const { return FShowError; }
    void SetShowError(bool Value) { FShowError = Value; }
    bool isKonfig() const { return FisKonfig; }
    const QStringList& Errorlist() const { return FErrorlist; }
    const QString& FileKey() const { return FileKey_; }
    void SetFileKey(const QString& Value) { FileKey_ = Value; }
    void SetLockWaitPeriod(std::chrono::milliseconds Value) { FLockWaitPeriod = Value; }

private:
    struct TDocument;  // the pugixml document, kept out of this header
    void ParseBytes(QByteArray Bytes, bool FromFile, const QString& ErrorText);
    void EnsureFresh();
    void WriteValue(const QString& Key, const QString& Text);
    void Changed();
    QString EncodeTyped(QChar Letter, const QString& Value) const;
    bool DecodeTyped(const QString& Key, QChar Letter, QString& Value, int Index = 0);

    std::unique_ptr<TDocument> FDoc;
    QString FFileName;
    QString FTopElement = QStringLiteral("BRENLOW");
    std::chrono::steady_clock::time_point FileDate{};
    Platform::TFileStamp FReadStamp;  // the file version the document mirrors
    int nSecondsRefresh = 599;
    bool FChaching = false;
    quint32 FParseTime = 0;
    QStringList FErrorlist;
    int CacheCnt = 0;
    bool FisKonfig = false;
    bool FParseFailed = false;  // the document holds only part of a broken file
    QString ACTKEY;
    double FXMLVersion = 1.1;
    bool FNoTypesInElements = false;
    bool FShowError = true;
    QString FileKey_;
    std::chrono::milliseconds FLockWaitPeriod{20000};
};

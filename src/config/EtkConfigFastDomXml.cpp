#include "config/EtkConfigFastDomXml.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFileInfo>
#include <thread>

#include "config/EtkConfigStores_p.h"
#include "config/FastBLKReader.h"
#include "errors/EtkTypes.h"
#include "errors/_LanguageDLL.h"
#include "logging/BLLogging.h"
#include "util/BLTypes.h"
#include "util/Presenter.h"

#ifndef BL_PROG_VERSION
#define BL_PROG_VERSION "1.0.0"
#endif

namespace {

void LogStoreError(const QString& Text) {
    AddToLog(TMessageLogType::tmlError, TLogChannel::lcApplication, QString(), false, Text);
}

using namespace std::chrono_literals;
constexpr int Attempts = 10;
constexpr auto RetryDelay = 300ms;
constexpr auto ReadTestInterval = 1000ms;
constexpr qint64 BackupMinimumSize = 500;

QString EncodeList(const QStringList& Items) { return QLatin1Char('l') + EncodeListItems(Items, true); }

// Versions compare part by part as numbers; "," counts as ".".
int CompareVersions(const QString& A, const QString& B) {
    const QStringList a = QString(A).replace(QLatin1Char(','), QLatin1Char('.')).split(QLatin1Char('.'));
    const QStringList b = QString(B).replace(QLatin1Char(','), QLatin1Char('.')).split(QLatin1Char('.'));
    for (qsizetype i = 0; i < std::max(a.size(), b.size()); ++i) {
        const qlonglong x = i < a.size() ? a[i].trimmed().toLongLong() : 0;
        const qlonglong y = i < b.size() ? b[i].trimmed().toLongLong() : 0;
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool AttributeTextIsTrue(const QString& Text) {
    return !Text.isEmpty() && QStringLiteral("1JTWXYjtwxy").contains(Text.front());
}

void AskApplicationToTerminate() {
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
}

}  // namespace

TEtkConfigXMLFast::TEtkConfigXMLFast(QObject* AOwner)
    : QObject(AOwner), FBLKConnector(std::make_unique<TBLKConnector>()) {}

TEtkConfigXMLFast::~TEtkConfigXMLFast() {
    if (FCaching) {
        CacheCnt = 1;
        try {
            EndCaching();
        } catch (const std::exception& e) {
            LogStoreError(QStringLiteral("EndCaching() failed: [%1]: %2")
                              .arg(NameWithoutFolder(FFileName), QString::fromUtf8(e.what())));
        }
    }
}

void TEtkConfigXMLFast::SetFileName(const QString& Value) {
    FEverRead = false;
    LastReadTime = {};
    LastTestFileDate = {};
    FReadStamp = {};
    FCaching = false;
    CacheCnt = 0;
    FJournal.clear();
    FileIsModified = false;
    FFileName = Value;
    if (Platform::FileExists(FFileName))
        ReadXMLFile();
}

bool TEtkConfigXMLFast::isXMLReadonly() const { return IsConfigFileReadonly(FFileName); }

// ---- reading and writing the file ----

void TEtkConfigXMLFast::EnsureFresh(bool ForRead) {
    if (FCaching)
        return;
    const auto now = std::chrono::steady_clock::now();
    bool changed = false;
    if (!ForRead || now - LastTestFileDate > ReadTestInterval) {
        const Platform::TFileStamp stamp = Platform::GetFileStamp(FFileName);
        changed = stamp.Exists && stamp != FReadStamp;
        LastTestFileDate = now;
    }
    if (changed || !FEverRead || now - LastReadTime > std::chrono::seconds(nSecondsRefresh))
        ReadXMLFile();
}

void TEtkConfigXMLFast::ReadXMLFile() {
    if (Platform::FileExists(FFileName)) {
        Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
        try {
            const Platform::TFileStamp stamp = Platform::GetFileStamp(FFileName);
            if (!stamp.Exists || stamp != FReadStamp) {
                ParseFile();
                FMissingReadCounter = 0;
            }
        } catch (const std::exception& e) {
            LogStoreError(QStringLiteral("LoadXMLFile() failed: [%1]: %2")
                              .arg(NameWithoutFolder(FFileName), QString::fromUtf8(e.what())));
            throw;
        }
    } else {
        ++FMissingReadCounter;
        if (!FEverRead) {
            FActKey = QStringLiteral("WriteXmlFile");
            WriteXMLFile(true);
        }
    }
    FEverRead = true;
    LastReadTime = std::chrono::steady_clock::now();
    if (FMissingReadCounter > 4) {
        PresentMessage(TPresenterKind::pkError, Translate(QStringLiteral("!!Ruridadprojekt nicht lesbar! Anwendung wird beendet")));
        FMissingReadCounter = 0;
        AskApplicationToTerminate();
    }
}

void TEtkConfigXMLFast::ParseFile() {
    QElapsedTimer timer;
    timer.start();
    bool parsed = false;
    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        try {
            QByteArray bytes;
            Platform::TFileStamp stamp;
            {
                Platform::TLockedFile file = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmRead, true, FLockWaitPeriod);
                QString error;
                if (!file.ReadAll(bytes, &error))
                    throw EStreamError(FFileName + QLatin1String(": ") + error);
                stamp = file.Stamp();
            }
            InflateConfigBytes(bytes);
            parsed = FBLKConnector->LoadFromStream(bytes, FErrorlist, FFileName);
            // A tree from a broken file is never taken for the file: the next access parses again,
            // and a write-through fails instead of replacing the file with the part that was read.
            FReadStamp = parsed ? stamp : Platform::TFileStamp{};
            break;
        } catch (const Exception&) {
            FErrorlist.clear();
            if (attempt == Attempts)
                throw;
            std::this_thread::sleep_for(RetryDelay);
        }
    }
    FParseTime = static_cast<quint32>(timer.elapsed());
    if (!FErrorlist.isEmpty()) {
        PresentMessage(TPresenterKind::pkError,
                       Translate(QStringLiteral("!!Fehler in Datei:")) + QLatin1Char(' ') + NameWithoutFolder(FFileName),
                       FErrorlist + QStringList{FFileName});
        throw EBLKParserError(Translate(QStringLiteral("!!Fehler in Datei:")) + QLatin1Char(' ') + NameWithoutFolder(FFileName));
    }
    FileIsModified = false;
}

QString TEtkConfigXMLFast::ProgVersion() { return QStringLiteral(BL_PROG_VERSION); }

void TEtkConfigXMLFast::StampRoot() {
    const QString suffix = QFileInfo(FFileName).suffix().toUpper();
    if (suffix != QLatin1String("BLK") && suffix != QLatin1String("CFG"))
        return;
    const QString progVersion = ProgVersion();
    FBLKConnector->WriteAttribute(QString(), QStringLiteral("ProgVersion"), progVersion);
    FBLKConnector->WriteAttribute(QString(), QStringLiteral("changed"), QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
    const QString latest = FBLKConnector->ReadAttribute(QString(), QStringLiteral("LatestVersion"));
    if (latest.isEmpty() || CompareVersions(progVersion, latest) > 0)
        FBLKConnector->WriteAttribute(QString(), QStringLiteral("LatestVersion"), progVersion);
}

void TEtkConfigXMLFast::WriteBackup() {
    if (QFileInfo(FFileName).suffix().toUpper() != QLatin1String("BLK"))
        return;
    const Platform::TFileStamp stamp = Platform::GetFileStamp(FFileName);
    if (!stamp.Exists || stamp.Size <= BackupMinimumSize)
        return;
    try {
        Platform::TLockedFile file = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmRead, false, FLockWaitPeriod);
        QByteArray bytes;
        if (!file.ReadAll(bytes))
            return;
        const QString backup = QFileInfo(FFileName).path() + QLatin1Char('/') + QFileInfo(FFileName).completeBaseName() +
                               QLatin1String(".~blk");
        // Not flushed: the backup is a convenience; the project file itself is written durably.
        (void)Platform::ReplaceFileContent(backup, bytes, false);
    } catch (const Exception&) {  // a failing copy is ignored
    }
}

void TEtkConfigXMLFast::WriteXMLFile(bool NeuErzeugen) {
    if (NeuErzeugen) {
        FBLKConnector->Clear();
        FBLKConnector->RootNode()->TagName = FTopElement;
        FBLKConnector->WriteAttribute(QString(), QStringLiteral("Version"), QStringLiteral("1.1"));
    }
    if (isXMLReadonly() && !NeuErzeugen)
        return;
    if (!NeuErzeugen)
        StampRoot();
    const QByteArray bytes = FBLKConnector->WriteToBytes();
    if (bytes.isEmpty())
        throw EStreamError(QStringLiteral("TEtkConfigXMLFast.WriteXMLFile: MemoryStream.Size from BLKConnector is 0"));
    if (NeuErzeugen)
        Platform::ForceFolders(QFileInfo(FFileName).absolutePath());

    for (int attempt = 1; attempt <= Attempts; ++attempt) {
        try {
            Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
            WriteBackup();
            // Waits while another process holds the file, then replaces it while holding it.
            Platform::TLockedFile file = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmReadWrite, true, FLockWaitPeriod);
            const Platform::TWriteResult result = Platform::ReplaceFileContent(FFileName, bytes);
            file.Close();
            if (!result) {
                if (result.Written < bytes.size())
                    LogStoreError(QStringLiteral("ACHTUNG! Es wurden nur %1 Bytes statt %2 Bytes in den Filestream geschrieben!")
                                      .arg(result.Written)
                                      .arg(bytes.size()));
                throw EStreamError(QStringLiteral("TEtkConfigXMLFast.WriteXMLFile: Exception by myFileStream.CopyFrom(myMemoryStream) ") +
                                   result.ErrorText);
            }
            const Platform::TFileStamp stamp = Platform::GetFileStamp(FFileName);
            if (!stamp.Exists)
                LogStoreError(QStringLiteral("BLFileAge fail: ") + FFileName);
            if (stamp.Exists && stamp.Size == 0)
                throw EStreamError(QStringLiteral("TEtkConfigXMLFast.WriteXMLFile: ") + FFileName + QLatin1String(" ist leer"));
            FReadStamp = stamp;
            return;
        } catch (const Exception&) {
            if (attempt == Attempts)
                throw;
            std::this_thread::sleep_for(RetryDelay);
        }
    }
}

// ---- batching and changes ----

void TEtkConfigXMLFast::StartCaching() {
    if (CacheCnt == 0) {
        ReadXMLFile();
        FCaching = true;
        FJournal.clear();
    }
    ++CacheCnt;
}

void TEtkConfigXMLFast::EndCaching() {
    if (CacheCnt <= 0)
        return;
    if (--CacheCnt > 0)
        return;
    FCaching = false;
    FActKey = QStringLiteral("EndCache");
    std::vector<TMutation> journal = std::move(FJournal);
    FJournal.clear();
    if (!FileIsModified)
        return;
    FileIsModified = false;
    Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
    // Another process may have written while the batch was open: apply the batch to its file.
    const Platform::TFileStamp stamp = Platform::GetFileStamp(FFileName);
    if (stamp.Exists && stamp != FReadStamp) {
        ReadXMLFile();
        for (const TMutation& change : journal)
            change(*FBLKConnector);
    }
    WriteXMLFile(false);
}

void TEtkConfigXMLFast::Mutate(const QString& Key, const TMutation& Change) {
    if (FCaching) {
        if (Change(*FBLKConnector))
            FileIsModified = true;
        FJournal.push_back(Change);
        return;
    }
    // One exclusive step from the freshness check through the write.
    Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
    EnsureFresh(false);
    FActKey = Key;
    if (!Change(*FBLKConnector))
        return;
    try {
        FileChanged();
    } catch (...) {
        // The change did not reach the file: the next access reads the file again instead of
        // keeping a tree that differs from it.
        FReadStamp = {};
        throw;
    }
}

void TEtkConfigXMLFast::FileChanged() {
    if (FCaching) {
        FileIsModified = true;
        return;
    }
    FActKey = QStringLiteral("FileChanged");
    WriteXMLFile(false);
    ReadXMLFile();
}

void TEtkConfigXMLFast::WriteRawValue(const QString& Key, const QString& Value) {
    Mutate(Key, [Key, Value](TBLKConnector& Tree) { return Tree.WriteRawString(Key, Value); });
}

// ---- values ----

QString TEtkConfigXMLFast::ReadTyped(const QString& Key, QChar Letter, bool& Ok) {
    EnsureFresh(true);
    const TBLKNodeElement* node = FBLKConnector->FindNode(Key, false);
    Ok = false;
    if (!node)
        return {};
    const QString text = TrimConfigText(node->Value);
    if (text.isEmpty() || text.front() != Letter)
        return {};
    Ok = true;
    return text.mid(1);
}

QString TEtkConfigXMLFast::ReadString(const QString& Key, const QString& Default) {
    bool ok = false;
    const QString value = ReadTyped(Key, QLatin1Char('s'), ok);
    return ok ? value : Default;
}

int TEtkConfigXMLFast::ReadInteger(const QString& Key, int Default) {
    bool ok = false;
    const QString value = ReadTyped(Key, QLatin1Char('i'), ok);
    if (!ok)
        return Default;
    const int number = value.toInt(&ok, 10);
    return ok ? number : Default;
}

bool TEtkConfigXMLFast::ReadBool(const QString& Key, bool Default) {
    bool ok = false;
    const QString value = ReadTyped(Key, QLatin1Char('b'), ok);
    return ok ? value != QLatin1String("False") : Default;
}

QStringList TEtkConfigXMLFast::ReadStrings(const QString& Key) {
    bool ok = false;
    const QString value = ReadTyped(Key, QLatin1Char('l'), ok);
    return ok ? DecodeListItems(value, true) : QStringList();
}

void TEtkConfigXMLFast::ReadStrings(const QString& Key, TStringList& List, QString* Result) {
    bool ok = false;
    const QString value = ReadTyped(Key, QLatin1Char('l'), ok);
    Fill(List, ok ? DecodeListItems(value, true) : QStringList());
    if (Result)
        *Result = ok ? QStringLiteral("OK") : QString();
}

QStringList TEtkConfigXMLFast::ReadKeys(const QString& Key) {
    EnsureFresh(true);
    QStringList keys;
    FBLKConnector->ReadKeys(Key, keys);
    return keys;
}

void TEtkConfigXMLFast::ReadKeys(const QString& Key, TStringList& SubKeys) { Fill(SubKeys, ReadKeys(Key)); }

void TEtkConfigXMLFast::ReadFont(const QString& Key, TEtkFontData& Font) { ReadStoreFont(*this, Key, Font); }

void TEtkConfigXMLFast::WriteFont(const QString& Key, const TEtkFontData& Font) { WriteStoreFont(*this, Key, Font); }

int TEtkConfigXMLFast::ReadRectCount(const QString& Key) { return ReadStoreRectCount(*this, Key); }

bool TEtkConfigXMLFast::ReadRect(const QString& Key, std::vector<TEtkRect>& Rects, int High) {
    return ReadStoreRect(*this, Key, Rects, High);
}

void TEtkConfigXMLFast::WriteRect(const QString& Key, const std::vector<TEtkRect>& Rects, int High) {
    WriteStoreRect(*this, Key, Rects, High);
}

void TEtkConfigXMLFast::WriteString(const QString& Key, const QString& Value) { WriteRawValue(Key, QLatin1Char('s') + Value); }

void TEtkConfigXMLFast::WriteInteger(const QString& Key, int Value) {
    WriteRawValue(Key, QLatin1Char('i') + QString::number(Value));
}

void TEtkConfigXMLFast::WriteBool(const QString& Key, bool Value) {
    WriteRawValue(Key, Value ? QStringLiteral("bTrue") : QStringLiteral("bFalse"));
}

void TEtkConfigXMLFast::WriteStrings(const QString& Key, const QStringList& List) { WriteRawValue(Key, EncodeList(List)); }

void TEtkConfigXMLFast::WriteStrings(const QString& Key, const TStringList& List) { WriteStrings(Key, ToQStringList(List)); }

void TEtkConfigXMLFast::WriteKeys(const QString& Key, const QStringList& Names) {
    for (const QString& name : Names)
        TBLKConnector::CheckKeySegments(name, QStringLiteral("TEtkConfigXMLFast"));
    TCachingGuard batch(*this);
    const QStringList existing = ReadKeys(Key);
    for (const QString& name : Names)
        if (!existing.contains(name))
            Mutate(Key, [Key, name](TBLKConnector& Tree) {
                bool created = false;
                Tree.FindNode(Key.isEmpty() ? name : Key + QLatin1Char('\\') + name, true, &created);
                return created;
            });
    for (const QString& name : existing)
        if (!Names.contains(name))
            DeleteKey(Key.isEmpty() ? name : Key + QLatin1Char('\\') + name);
}

void TEtkConfigXMLFast::DeleteKey(const QString& Key) {
    Mutate(Key, [Key](TBLKConnector& Tree) { return Tree.Deletekey(Key); });
}

void TEtkConfigXMLFast::DeleteAttribute(const QString& Key, const QString& AttName) {
    Mutate(Key, [Key, AttName](TBLKConnector& Tree) { return Tree.DeleteAttribute(Key, AttName); });
}

void TEtkConfigXMLFast::DeleteValue(const QString& Key) {
    Mutate(Key, [Key](TBLKConnector& Tree) { return Tree.DeleteValue(Key); });
}

void TEtkConfigXMLFast::DeleteSubKeys(const QString& Key) {
    Mutate(Key, [Key](TBLKConnector& Tree) { return Tree.DeleteSubKeys(Key); });
}

void TEtkConfigXMLFast::RenameKey(const QString& Key, const QString& NewKey) {
    Mutate(Key, [Key, NewKey](TBLKConnector& Tree) { return Tree.RenameKey(Key, NewKey); });
}

QString TEtkConfigXMLFast::ReadRawText(const QString& Key, bool* Found) {
    EnsureFresh(true);
    const TBLKNodeElement* node = FBLKConnector->FindNode(Key, false);
    if (Found)
        *Found = node != nullptr;
    return node ? node->Value : QString();
}

bool TEtkConfigXMLFast::ReadRawData(const QString& Key, int& Typ, QString& Data) {
    bool found = false;
    const QString text = TrimConfigText(ReadRawText(Key, &found));
    return SplitRawData(found, text, Typ, Data);
}

void TEtkConfigXMLFast::WriteRawData(const QString& Key, int Typ, const QString& Data) {
    if (Typ < 0 || Typ > 3)
        throw Exception(QStringLiteral("Unbekannter Typ in TEtkConfigXMLFast.WriteRawData"));
    WriteRawValue(Key, QStringLiteral("sibl").at(Typ) + Data);
}

double TEtkConfigXMLFast::ReadVersion() {
    QString text = ReadAttribute(QString(), QStringLiteral("Version"));
    if (text.isEmpty())
        return 1.0;
    bool ok = false;
    const double version = text.replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
    return ok ? version : 1.0;
}

void TEtkConfigXMLFast::WriteVersion(double Value) {
    FActKey = QStringLiteral("WriteVErsion");
    WriteAttribute(QString(), QStringLiteral("Version"), QString::number(Value, 'g', 15));
}

QString TEtkConfigXMLFast::ReadAttribute(const QString& Key, const QString& AttName, bool NoReload) {
    if (!NoReload)
        EnsureFresh(true);
    return FBLKConnector->ReadAttribute(Key, AttName);
}

void TEtkConfigXMLFast::WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) {
    Mutate(Key + QLatin1Char('|') + AttName,
           [Key, AttName, Value](TBLKConnector& Tree) { return Tree.WriteAttribute(Key, AttName, Value); });
}

int TEtkConfigXMLFast::ReadAttributeInt(const QString& Key, const QString& AttName, int Default) {
    bool ok = false;
    const int value = ReadAttribute(Key, AttName).trimmed().toInt(&ok);
    return ok ? value : Default;
}

void TEtkConfigXMLFast::WriteAttributeInt(const QString& Key, const QString& AttName, int Value) {
    WriteAttribute(Key, AttName, QString::number(Value));
}

bool TEtkConfigXMLFast::ReadAttributeBool(const QString& Key, const QString& AttName, bool Default) {
    const QString text = ReadAttribute(Key, AttName);
    return text.isEmpty() ? Default : AttributeTextIsTrue(text);
}

void TEtkConfigXMLFast::WriteAttributeBool(const QString& Key, const QString& AttName, bool Value) {
    WriteAttribute(Key, AttName, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

QStringList TEtkConfigXMLFast::ReadAllAttributes(const QString& Key) {
    EnsureFresh(true);
    TBLKAttributes attributes;
    FBLKConnector->ReadAllAttributes(Key, attributes);
    QStringList lines;
    for (const auto& [name, value] : attributes)
        lines << name + QLatin1Char('|') + value;
    return lines;
}

void TEtkConfigXMLFast::ReadAllAttributes(const QString& Key, TStringList& List) { Fill(List, ReadAllAttributes(Key)); }

QStringList TEtkConfigXMLFast::ReadAllKeys(const QString& Pfad) {
    EnsureFresh(true);
    QStringList result;
    const TBLKNodeElement* start = FBLKConnector->FindNode(Pfad, false);
    if (!start)
        return result;
    // Depth first, each key before its sub-keys, as paths relative to Pfad.
    std::function<void(const TBLKNodeElement*, const QString&)> walk = [&](const TBLKNodeElement* Node, const QString& Prefix) {
        for (const auto& child : Node->Childs) {
            const QString path = Prefix.isEmpty() ? child->TagName : Prefix + QLatin1Char('\\') + child->TagName;
            result << path;
            walk(child.get(), path);
        }
    };
    walk(start, QString());
    return result;
}

void TEtkConfigXMLFast::ReadAllKeys(const QString& Pfad, TStringList& KeyList) { Fill(KeyList, ReadAllKeys(Pfad)); }

bool TEtkConfigXMLFast::KeyExists(const QString& Key) {
    EnsureFresh(true);
    return FBLKConnector->KeyExists(Key);
}

bool TEtkConfigXMLFast::ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) {
    EnsureFresh(true);
    return FBLKConnector->ElementsInKeyHasAttribut(Key, AttName, AttValue);
}

void TEtkConfigXMLFast::AssignData(TEtkConfigXMLFast& Source, const QString& Key) {
    AssignStoreData(*this, Source, Key);
}

void TEtkConfigXMLFast::ExtractTexte(QStringList& KeyList, const QStringList& Sprachen) {
    ExtractStoreTexte(*this, KeyList, Sprachen);
}


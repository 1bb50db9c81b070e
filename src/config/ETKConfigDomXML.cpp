#include "config/ETKConfigDomXML.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <algorithm>
#include <cstring>
#include <functional>
#include <pugixml.hpp>
#include <thread>

#include "config/EtkConfigStores_p.h"
#include "config/FastBLKReader.h"
#include "errors/EtkTypes.h"
#include "errors/_LanguageDLL.h"
#include "util/BLTypes.h"
#include "util/Presenter.h"

struct TEtkConfigXML::TDocument {
    pugi::xml_document Doc;
};

namespace {

using namespace std::chrono_literals;
constexpr unsigned ParseOptions = pugi::parse_default | pugi::parse_ws_pcdata | pugi::parse_declaration;

QByteArray Utf8(const QString& Text) { return Text.toUtf8(); }
// QString::fromUtf8 drops a leading U+FEFF as a byte-order mark; inside a document it is text.
QString FromUtf8(const char* Text) {
    if (std::strncmp(Text, "\xEF\xBB\xBF", 3) == 0)
        return QChar(0xFEFF) + QString::fromUtf8(Text + 3);
    return QString::fromUtf8(Text);
}

// Splits a key into element names: "/" counts as "\", empty segments are dropped.
QStringList Segments(const QString& Key) {
    return QString(Key).replace(QLatin1Char('/'), QLatin1Char('\\')).split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// Text nodes may carry references the writer of the file escaped once more; they are decoded here.
QString DecodeText(const QString& Text) {
    if (!Text.contains(QLatin1Char('&')))
        return Text;
    QString result = Text;
    static const std::pair<const char*, const char*> references[] = {
        {"&lt;", "<"}, {"&gt;", ">"}, {"&apos;", "'"}, {"&quot;", "\""}, {"&#x0D;", "\r"},
        {"&#x0A;", "\n"}, {"&#xD;", "\r"}, {"&#xA;", "\n"}, {"&#x09;", "\t"}, {"&amp;", "&"},
    };
    for (const auto& [from, to] : references)
        result.replace(QLatin1String(from), QLatin1String(to));
    return result;
}

// What the element's text nodes say: each decoded, the text so far trimmed before each append.
QString ElementText(const pugi::xml_node& Node) {
    if (!Node.first_child())
        return FromUtf8(Node.value());
    QString text;
    for (pugi::xml_node child = Node.first_child(); child; child = child.next_sibling()) {
        if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata)
            text = TrimConfigText(text) + DecodeText(FromUtf8(child.value()));
    }
    if (text.endsWith(QLatin1Char('\n')) && !text.endsWith(QLatin1String("\r\n")))
        text.chop(1);
    return TrimConfigText(text);
}

// Attribute values keep what XML can carry: non-characters become "¿", other control characters
// (tab and line breaks aside, which the serialiser writes as references) and lone surrogates go.
QString CleanAttributeValue(const QString& Value) {
    QString result;
    result.reserve(Value.size());
    for (qsizetype i = 0; i < Value.size(); ++i) {
        const char16_t c = Value[i].unicode();
        if (c == 0xFFFE || c == 0xFFFF) {
            result += QChar(0xBF);
        } else if (c < 32 && c != '\t' && c != '\n' && c != '\r') {
            continue;
        } else if (QChar::isHighSurrogate(c) && i + 1 < Value.size() && QChar::isLowSurrogate(Value[i + 1].unicode())) {
            result += Value[i];
            result += Value[++i];
        } else if (QChar::isSurrogate(c)) {
            continue;
        } else {
            result += Value[i];
        }
    }
    return result;
}

QString CleanText(const QString& Value) { return CleanAttributeValue(Value); }

class TStringWriter : public pugi::xml_writer {
public:
    explicit TStringWriter(QByteArray& Target) : FTarget(Target) {}
    void write(const void* Data, size_t Size) override { FTarget.append(static_cast<const char*>(Data), static_cast<qsizetype>(Size)); }

private:
    QByteArray& FTarget;
};

}  // namespace

// ---- lifecycle ----

TEtkConfigXML::TEtkConfigXML(QObject* AOwner) : TEtkConfigXML(AOwner, 1.1) {}

TEtkConfigXML::TEtkConfigXML(QObject* AOwner, double XMLDataVersion)
    : QObject(AOwner), FDoc(std::make_unique<TDocument>()), FXMLVersion(XMLDataVersion) {}

TEtkConfigXML::~TEtkConfigXML() {
    if (FChaching) {
        CacheCnt = 1;
        try {
            EndCaching();
        } catch (...) {  // nothing can be reported from here
        }
    }
}

void TEtkConfigXML::SetFileName(const QString& Value) {
    FChaching = false;
    CacheCnt = 0;
    FFileName = Value;
    FReadStamp = {};
    FParseFailed = false;
    ReadXMLFile();
}

bool TEtkConfigXML::isXMLReadonly() const { return IsConfigFileReadonly(FFileName); }

// ---- reading ----

void TEtkConfigXML::SetFileForKeyAndSetTopElement(const QString& Name) {
    FTopElement = Name;
    if (Platform::FileExists(FFileName))
        return;
    Platform::ForceFolders(QFileInfo(FFileName).absolutePath());
    const QByteArray text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<" + Utf8(Name) + " Version=\"1.1\" XMLVersion=\"" +
                            QByteArray::number(FXMLVersion, 'g', 15) + "\">\r\n</" + Utf8(Name) + ">";
    Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
    Platform::TLockedFile file = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmReadWrite, false, FLockWaitPeriod);
    const Platform::TWriteResult result = Platform::ReplaceFileContent(FFileName, text);
    if (!result)
        throw EStreamError(FFileName + QLatin1String(": ") + result.ErrorText);
}

void TEtkConfigXML::ReadXMLFile() {
    if (!Platform::FileExists(FFileName))
        SetFileForKeyAndSetTopElement(FTopElement);
    const Platform::TFileStamp stamp = Platform::GetFileStamp(FFileName);
    if (!stamp.Exists || stamp != FReadStamp || FParseFailed) {
        QByteArray bytes;
        Platform::TFileStamp readStamp;
        {
            Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
            Platform::TLockedFile file = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmRead, false, FLockWaitPeriod);
            QString error;
            if (!file.ReadAll(bytes, &error))
                throw EStreamError(FFileName + QLatin1String(": ") + error);
            readStamp = file.Stamp();
        }
        ParseBytes(bytes, true, Translate(QStringLiteral("!!Fehler in Datei:")) + QLatin1Char(' ') + NameWithoutFolder(FFileName));
        FReadStamp = readStamp;
    }
    FileDate = std::chrono::steady_clock::now();
}

void TEtkConfigXML::ParseBytes(QByteArray Bytes, bool FromFile, const QString& ErrorText) {
    FErrorlist.clear();
    FisKonfig = true;
    InflateConfigBytes(Bytes);
    if (Bytes.startsWith("\xEF\xBB\xBF"))
        Bytes.remove(0, 3);
    if (!Bytes.left(40).contains("<?xml")) {
        FisKonfig = false;
        return;
    }
    QElapsedTimer timer;
    timer.start();
    FDoc = std::make_unique<TDocument>();
    const pugi::xml_parse_result result =
        FDoc->Doc.load_buffer(Bytes.constData(), static_cast<size_t>(Bytes.size()), ParseOptions, pugi::encoding_utf8);
    FParseTime = static_cast<quint32>(timer.elapsed());
    if (!result)
        FErrorlist << QStringLiteral("%1 (Offset %2)").arg(FromUtf8(result.description())).arg(result.offset);
    else if (!FDoc->Doc.document_element())
        FErrorlist << QStringLiteral("Kein Wurzelelement");
    FParseFailed = !FErrorlist.isEmpty();
    if (!FErrorlist.isEmpty()) {
        if (FromFile && FShowError)
            PresentMessage(TPresenterKind::pkError, ErrorText, FErrorlist + QStringList{FFileName});
        throw EBLKParserError(ErrorText);
    }
}

void TEtkConfigXML::LoadXMLFromStream(const QByteArray& Stream, const QString& AdditionalTextForErrorMessage) {
    ParseBytes(Stream, false, QStringLiteral("XML-Error: ") + AdditionalTextForErrorMessage);
}

void TEtkConfigXML::SetTopElement(const QString& Name) {
    FTopElement = Name;
    FDoc = std::make_unique<TDocument>();
    pugi::xml_node declaration = FDoc->Doc.append_child(pugi::node_declaration);
    declaration.append_attribute("version").set_value("1.0");
    declaration.append_attribute("encoding").set_value("UTF-8");
    FDoc->Doc.append_child(Utf8(Name).constData());
    FParseFailed = false;
}

void TEtkConfigXML::EnsureFresh() {
    if (FChaching || FFileName.isEmpty())  // a document loaded from a stream has no file behind it
        return;
    if (FParseFailed || std::chrono::steady_clock::now() - FileDate > std::chrono::seconds(nSecondsRefresh))
        ReadXMLFile();
}

// ---- key resolution ----

namespace {

pugi::xml_node Resolve(pugi::xml_document& Doc, const QString& TopElement, const QString& Key, int Index = 0) {
    pugi::xml_node node = Doc.document_element();
    if (!node)
        return {};
    QStringList segments = Segments(TopElement + QLatin1Char('\\') + Key);
    if (Key == TopElement)
        segments = QStringList{TopElement};
    if (segments.isEmpty() || FromUtf8(node.name()) != segments.front())
        return {};
    for (qsizetype i = 1; i < segments.size(); ++i) {
        node = node.child(Utf8(segments[i]).constData());
        if (!node)
            return {};
    }
    for (int n = 0; n < Index && node; ++n)
        node = node.next_sibling(node.name());
    return node;
}

pugi::xml_node ResolveCreating(pugi::xml_document& Doc, const QString& TopElement, const QString& Key) {
    pugi::xml_node node = Doc.document_element();
    if (!node)
        return {};
    const QStringList segments = Segments(Key);
    for (const QString& segment : segments) {
        const QByteArray name = Utf8(segment);
        pugi::xml_node child = node.child(name.constData());
        if (!child) {
            // New elements stand on lines of their own.
            if (!node.first_child())
                node.append_child(pugi::node_pcdata).set_value("\n");
            child = node.append_child(name.constData());
            node.append_child(pugi::node_pcdata).set_value("\n");
        }
        node = child;
    }
    Q_UNUSED(TopElement);
    return node;
}

}  // namespace

// ---- values ----

QString TEtkConfigXML::EncodeTyped(QChar Letter, const QString& Value) const {
    if (!FNoTypesInElements)
        return Letter + Value;
    return Value;
}

bool TEtkConfigXML::DecodeTyped(const QString& Key, QChar Letter, QString& Value, int Index) {
    EnsureFresh();
    const pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key, Index);
    if (!node)
        return false;
    const QString text = ElementText(node);
    if (FNoTypesInElements) {
        Value = text;
        return true;
    }
    if (text.isEmpty() || text.front() != Letter)
        return false;
    Value = text.mid(1);
    return true;
}

QString TEtkConfigXML::ReadString(const QString& Key, const QString& Default, int Index) {
    QString value;
    return DecodeTyped(Key, QLatin1Char('s'), value, Index) ? value : Default;
}

int TEtkConfigXML::ReadInteger(const QString& Key, int Default) {
    QString value;
    if (!DecodeTyped(Key, QLatin1Char('i'), value))
        return Default;
    bool ok = false;
    const int number = value.toInt(&ok);
    return ok ? number : Default;
}

bool TEtkConfigXML::ReadBool(const QString& Key, bool Default) {
    QString value;
    return DecodeTyped(Key, QLatin1Char('b'), value) ? value != QLatin1String("False") : Default;
}

QStringList TEtkConfigXML::ReadStrings(const QString& Key) {
    QString value;
    return DecodeTyped(Key, QLatin1Char('l'), value) ? DecodeListItems(value, !FNoTypesInElements) : QStringList();
}

void TEtkConfigXML::ReadStrings(const QString& Key, TStringList& List, QString* Result) {
    QString value;
    const bool ok = DecodeTyped(Key, QLatin1Char('l'), value);
    Fill(List, ok ? DecodeListItems(value, !FNoTypesInElements) : QStringList());
    if (Result)
        *Result = ok ? QStringLiteral("OK") : QString();
}

QStringList TEtkConfigXML::ReadKeys(const QString& Key) {
    EnsureFresh();
    QStringList keys;
    const pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element)
            keys << FromUtf8(child.name());
    return keys;
}

void TEtkConfigXML::ReadKeys(const QString& Key, TStringList& SubKeys) { Fill(SubKeys, ReadKeys(Key)); }

QString TEtkConfigXML::ReadRawText(const QString& Key, bool* Found) {
    EnsureFresh();
    const pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    if (Found)
        *Found = static_cast<bool>(node);
    return node ? ElementText(node) : QString();
}

bool TEtkConfigXML::ReadRawData(const QString& Key, int& Typ, QString& Data) {
    bool found = false;
    const QString text = ReadRawText(Key, &found);
    return SplitRawData(found, text, Typ, Data);
}

QStringList TEtkConfigXML::ReadElementKeyValues(const QString& Key) {
    EnsureFresh();
    QStringList values;
    const pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if (child.type() == pugi::node_element)
            values << (FNoTypesInElements ? ElementText(child) : ElementText(child).mid(1));
    return values;
}

void TEtkConfigXML::ReadFont(const QString& Key, TEtkFontData& Font) { ReadStoreFont(*this, Key, Font); }

int TEtkConfigXML::ReadRectCount(const QString& Key) { return ReadStoreRectCount(*this, Key); }

bool TEtkConfigXML::ReadRect(const QString& Key, std::vector<TEtkRect>& Rects, int High) {
    return ReadStoreRect(*this, Key, Rects, High);
}

// ---- writing ----

void TEtkConfigXML::Changed() {
    if (!FChaching)
        WriteXMLFile(false);
}

void TEtkConfigXML::WriteValue(const QString& Key, const QString& Text) {
    TBLKConnector::CheckKeySegments(QString(Key).replace(QLatin1Char('/'), QLatin1Char('\\')), QStringLiteral("TEtkConfigXML"));
    EnsureFresh();
    ACTKEY = Key;
    pugi::xml_node node = ResolveCreating(FDoc->Doc, FTopElement, Key);
    if (!node) {
        PresentMessage(TPresenterKind::pkError, QStringLiteral("Entry cannot be added."));
        return;
    }
    const QByteArray text = Utf8(CleanText(Text));
    pugi::xml_node first = node.first_child();
    if (first && (first.type() == pugi::node_pcdata || first.type() == pugi::node_cdata)) {
        if (QByteArray(first.value()) != text)
            first.set_value(text.constData());
    } else if (first) {
        node.prepend_child(pugi::node_pcdata).set_value(text.constData());
    } else {
        node.append_child(pugi::node_pcdata).set_value(text.constData());
    }
    Changed();
}

void TEtkConfigXML::WriteString(const QString& Key, const QString& Value) { WriteValue(Key, EncodeTyped(QLatin1Char('s'), Value)); }

void TEtkConfigXML::WriteInteger(const QString& Key, int Value) {
    WriteValue(Key, EncodeTyped(QLatin1Char('i'), QString::number(Value)));
}

void TEtkConfigXML::WriteBool(const QString& Key, bool Value) {
    WriteValue(Key, EncodeTyped(QLatin1Char('b'), Value ? QStringLiteral("True") : QStringLiteral("False")));
}

void TEtkConfigXML::WriteStrings(const QString& Key, const QStringList& List) {
    WriteValue(Key, EncodeTyped(QLatin1Char('l'), EncodeListItems(List, !FNoTypesInElements)));
}

void TEtkConfigXML::WriteStrings(const QString& Key, const TStringList& List) { WriteStrings(Key, ToQStringList(List)); }

void TEtkConfigXML::WriteRawData(const QString& Key, int Typ, const QString& Data) {
    if (Typ < 0 || Typ > 3)
        throw Exception(QStringLiteral("Unbekannter Typ in TEtkConfigXML.WriteRawData"));
    WriteValue(Key, QStringLiteral("sibl").at(Typ) + Data);
}

void TEtkConfigXML::WriteKeys(const QString& Key, const QStringList& Names) {
    for (const QString& name : Names)
        TBLKConnector::CheckKeySegments(name, QStringLiteral("TEtkConfigXML"));
    TCachingGuard batch(*this);
    const QStringList existing = ReadKeys(Key);
    for (const QString& name : Names) {
        if (existing.contains(name))
            continue;
        const QString path = Key.isEmpty() ? name : Key + QLatin1Char('\\') + name;
        if (!ResolveCreating(FDoc->Doc, FTopElement, path))
            PresentMessage(TPresenterKind::pkError, QStringLiteral("Entry cannot be added."));
    }
    for (const QString& name : existing)
        if (!Names.contains(name))
            DeleteKey(Key.isEmpty() ? name : Key + QLatin1Char('\\') + name);
}

void TEtkConfigXML::WriteFont(const QString& Key, const TEtkFontData& Font) { WriteStoreFont(*this, Key, Font); }

void TEtkConfigXML::WriteRect(const QString& Key, const std::vector<TEtkRect>& Rects, int High) {
    WriteStoreRect(*this, Key, Rects, High);
}

void TEtkConfigXML::DeleteKey(const QString& Key) {
    EnsureFresh();
    ACTKEY = Key;
    pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    if (!node || node == FDoc->Doc.document_element())
        return;
    pugi::xml_node parent = node.parent();
    pugi::xml_node before = node.previous_sibling();
    if (before && before.type() == pugi::node_pcdata && QByteArray(before.value()) == "\n")
        parent.remove_child(before);
    parent.remove_child(node);
    if (!FChaching) {
        WriteXMLFile(false);
        ReadXMLFile();
    }
}

void TEtkConfigXML::DeleteValue(const QString& Key) {
    EnsureFresh();
    ACTKEY = Key;
    pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    if (!node) {
        PresentMessage(TPresenterKind::pkInformation, QStringLiteral("Nothing to delete"));
        return;
    }
    for (pugi::xml_node child = node.first_child(); child; child = child.next_sibling())
        if ((child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) && QByteArray(child.value()) != "\n")
            child.set_value("");
    Changed();
}

void TEtkConfigXML::DeleteAttribute(const QString& Key, const QString& AttName) {
    EnsureFresh();
    pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    // Written at once: otherwise a removal alone would never reach the file.
    if (node && node.remove_attribute(Utf8(AttName).constData()))
        Changed();
}

// ---- attributes ----

QStringList TEtkConfigXML::ReadAllAttributes(const QString& Key) {
    EnsureFresh();
    QStringList lines;
    const pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    for (pugi::xml_attribute attribute = node.first_attribute(); attribute; attribute = attribute.next_attribute())
        lines << FromUtf8(attribute.name()) + QLatin1Char('|') + FromUtf8(attribute.value());
    return lines;
}

void TEtkConfigXML::ReadAllAttributes(const QString& Key, TStringList& List) { Fill(List, ReadAllAttributes(Key)); }

QString TEtkConfigXML::ReadAttribute(const QString& Key, const QString& AttName) {
    EnsureFresh();
    const pugi::xml_node node = Resolve(FDoc->Doc, FTopElement, Key);
    return node ? FromUtf8(node.attribute(Utf8(AttName).constData()).value()) : QString();
}

void TEtkConfigXML::WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) {
    TBLKConnector::CheckKeySegments(QString(Key).replace(QLatin1Char('/'), QLatin1Char('\\')), QStringLiteral("TEtkConfigXML"));
    TBLKConnector::CheckKeySegments(AttName, QStringLiteral("TEtkConfigXML"));
    EnsureFresh();
    ACTKEY = Key + QLatin1Char('|') + AttName;
    pugi::xml_node node = ResolveCreating(FDoc->Doc, FTopElement, Key);
    if (!node) {
        PresentMessage(TPresenterKind::pkError, QStringLiteral("Entry cannot be added."));
        return;
    }
    const QByteArray name = Utf8(AttName);
    pugi::xml_attribute attribute = node.attribute(name.constData());
    if (!attribute)
        attribute = node.append_attribute(name.constData());
    attribute.set_value(Utf8(CleanAttributeValue(Value)).constData());
    Changed();
}

int TEtkConfigXML::ReadAttributeInt(const QString& Key, const QString& AttName, int Default) {
    bool ok = false;
    const int value = ReadAttribute(Key, AttName).trimmed().toInt(&ok);
    return ok ? value : Default;
}

bool TEtkConfigXML::ReadAttributeBool(const QString& Key, const QString& AttName, bool Default) {
    const QString text = ReadAttribute(Key, AttName);
    return text.isEmpty() ? Default : QStringLiteral("1JTWXYjtwxy").contains(text.front());
}

double TEtkConfigXML::ReadVersion() {
    if (!FDoc->Doc.document_element()) {
        if (QCoreApplication* app = QCoreApplication::instance())
            QMetaObject::invokeMethod(app, &QCoreApplication::quit, Qt::QueuedConnection);
        return 1.0;
    }
    QString text = ReadAttribute(QString(), QStringLiteral("Version"));
    bool ok = false;
    const double version = text.replace(QLatin1Char(','), QLatin1Char('.')).trimmed().toDouble(&ok);
    return ok ? version : 1.0;
}

void TEtkConfigXML::WriteVersion(double Value) {
    ACTKEY = QStringLiteral("WriteVErsion");
    WriteAttribute(QString(), QStringLiteral("Version"), QString::number(Value, 'g', 15));
}

bool TEtkConfigXML::KeyExists(const QString& Key) {
    EnsureFresh();
    return static_cast<bool>(Resolve(FDoc->Doc, FTopElement, Key));
}

bool TEtkConfigXML::ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) {
    EnsureFresh();
    pugi::xml_node node = FDoc->Doc.document_element();
    const QByteArray name = Utf8(AttName);
    const QByteArray value = Utf8(AttValue);
    for (const QString& segment : Segments(Key)) {
        node = node.child(Utf8(segment).constData());
        if (!node)
            return false;
        const pugi::xml_attribute attribute = node.attribute(name.constData());
        if (attribute && value == attribute.value())
            return true;
    }
    return false;
}

QStringList TEtkConfigXML::ReadAllKeys(const QString& Key) {
    EnsureFresh();
    QStringList result;
    const pugi::xml_node start = Resolve(FDoc->Doc, FTopElement, Key);
    std::function<void(const pugi::xml_node&, const QString&)> walk = [&](const pugi::xml_node& Node, const QString& Prefix) {
        for (pugi::xml_node child = Node.first_child(); child; child = child.next_sibling()) {
            if (child.type() != pugi::node_element)
                continue;
            const QString path = Prefix.isEmpty() ? FromUtf8(child.name()) : Prefix + QLatin1Char('\\') + FromUtf8(child.name());
            result << path;
            walk(child, path);
        }
    };
    if (start)
        walk(start, QString());
    return result;
}

void TEtkConfigXML::ReadAllKeys(const QString& Key, TStringList& KeyList) { Fill(KeyList, ReadAllKeys(Key)); }

void TEtkConfigXML::ExtractTexte(QStringList& KeyList, const QStringList& Sprachen) {
    ExtractStoreTexte(*this, KeyList, Sprachen);
}

void TEtkConfigXML::AssignData(TEtkConfigXML& Source, const QString& Key) {
    AssignStoreData(*this, Source, Key);
}

bool TEtkConfigXML::MoveData(TEtkConfigXML& Source, const QString& FromKey, const QString& toKey) {
    if (KeyExists(FromKey))
        return false;
    const pugi::xml_node from = Resolve(Source.FDoc->Doc, Source.FTopElement, FromKey);
    if (!from)
        return false;
    pugi::xml_node target = toKey.isEmpty() ? FDoc->Doc.document_element() : ResolveCreating(FDoc->Doc, FTopElement, toKey);
    if (!target)
        return false;
    target.append_copy(from);
    target.append_child(pugi::node_pcdata).set_value("\n");
    WriteXMLFile(false);
    return true;
}

// ---- batching and the file ----

void TEtkConfigXML::StartCaching() {
    if (CacheCnt == 0) {
        ReadXMLFile();
        FChaching = true;
    }
    ++CacheCnt;
}

void TEtkConfigXML::EndCaching() {
    if (CacheCnt <= 0)
        return;
    if (--CacheCnt > 0)
        return;
    FChaching = false;
    WriteXMLFile(false);
}

void TEtkConfigXML::WriteXMLToStream(QByteArray& Stream) {
    TStringWriter writer(Stream);
    FDoc->Doc.save(writer, "", pugi::format_raw, pugi::encoding_utf8);
}

void TEtkConfigXML::WriteXMLFile(bool ForPrint) {
    if (FParseFailed && !FFileName.isEmpty())
        ReadXMLFile();  // raises again rather than writing the part of a broken file
    QByteArray bytes;
    WriteXMLToStream(bytes);
    if (ForPrint || FFileName.isEmpty() || isXMLReadonly())
        return;
    Platform::TSemaphoreGuard semaphore(std::min<std::chrono::milliseconds>(ConfigSemaphoreWait, FLockWaitPeriod));
    if (QFileInfo(FFileName).suffix().toUpper() == QLatin1String("BLK") && Platform::FileExists(FFileName)) {
        const QString backup = QFileInfo(FFileName).path() + QLatin1Char('/') + QFileInfo(FFileName).completeBaseName() + QLatin1String(".~blk");
        for (int attempt = 1; attempt <= 6; ++attempt) {
            try {
                Platform::TLockedFile source = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmRead, false, FLockWaitPeriod);
                QByteArray old;
                if (source.ReadAll(old) && Platform::ReplaceFileContent(backup, old, false))
                    break;
            } catch (const Exception&) {
            }
            std::this_thread::sleep_for(500ms);
        }
    }
    Platform::TLockedFile file = OpenFileWaitForLock(FFileName, TOpenFileMode::ofmReadWrite, false, FLockWaitPeriod);
    const Platform::TWriteResult result = Platform::ReplaceFileContent(FFileName, bytes);
    if (!result)
        throw EStreamError(FFileName + QLatin1String(": ") + result.ErrorText);
    FReadStamp = Platform::GetFileStamp(FFileName);
}

#include "config/FastBLKReader.h"

#include <expat.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <cstdint>

namespace {

const QString RootName = QStringLiteral("BRENLOW");

[[noreturn]] void Fail(const QString& Message) {
    throw EBLKAssertion(Message + QLatin1String(" (FastBLKReader)"));
}

bool IsWhite(char C) { return static_cast<unsigned char>(C) <= 0x20; }

// QString::fromUtf8 drops a leading U+FEFF as a byte-order mark; inside a document it is text.
QString FromUtf8Text(const char* Text, qsizetype Size) {
    if (Size >= 3 && std::memcmp(Text, "\xEF\xBB\xBF", 3) == 0)
        return QChar(0xFEFF) + QString::fromUtf8(Text + 3, Size - 3);
    return QString::fromUtf8(Text, Size);
}

bool IsNameStart(QChar C) {
    const char16_t u = C.unicode();
    if (u < 128)
        return (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || u == '_';
    return C.isLetter();
}

bool IsNameChar(QChar C) {
    const char16_t u = C.unicode();
    if (u < 128)
        return IsNameStart(C) || (u >= '0' && u <= '9') || u == '-' || u == '.' || u == ':';
    return C.isLetterOrNumber() || C.isMark() || u == 0xB7;
}

// ---- serialiser ----

// An output buffer grown in 256 KiB steps whenever less than 100 bytes would stay free.
class TOutBuffer {
public:
    explicit TOutBuffer(QByteArray& Target) : FTarget(Target) { FTarget.resize(0); }
    ~TOutBuffer() { FTarget.resize(FLength); }

    void Reserve(qsizetype Needed) {
        if (FTarget.size() - FLength - Needed >= 100)
            return;
        const qsizetype step = 262144;
        const qsizetype grow = ((Needed + 100) / step + 1) * step;
        FTarget.resize(FTarget.size() + grow);
        FData = FTarget.data();
    }
    void Put(char C) {
        Reserve(1);
        FData[FLength++] = C;
    }
    void Put(const char* Text, qsizetype Size) {
        Reserve(Size);
        std::memcpy(FData + FLength, Text, static_cast<size_t>(Size));
        FLength += Size;
    }
    template <size_t N> void Put(const char (&Text)[N]) { Put(Text, static_cast<qsizetype>(N - 1)); }
    // Raw pointer for a bulk write of at most Size bytes; Commit tells how many were written.
    char* Claim(qsizetype Size) {
        Reserve(Size);
        return FData + FLength;
    }
    void Commit(qsizetype Size) { FLength += Size; }

private:
    QByteArray& FTarget;
    char* FData = nullptr;
    qsizetype FLength = 0;
};

enum class TEncodeContext { ecContent, ecAttribute };

// Writes Text escaped for character content or an attribute value. A character that XML cannot carry
// at all (U+FFFE, U+FFFF, an unpaired surrogate) would make the whole file unreadable; such
// characters are written as "¿" and U+FFFD instead.
void PutEncoded(TOutBuffer& Out, QStringView Text, TEncodeContext Context) {
    const char16_t* data = reinterpret_cast<const char16_t*>(Text.utf16());
    const qsizetype size = Text.size();
    bool plain = true;
    bool hasBreak = false;
    bool hasOtherControl = false;
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = data[i];
        if (c >= 32 && c < 128) {
            if (c == '&' || c == '<' || c == '>' || c == '"' || c == '\'')
                plain = false;
            continue;
        }
        plain = false;
        if (c == '\t' || c == '\n' || c == '\r')
            hasBreak = true;
        else if (c < 32)
            hasOtherControl = true;
    }
    if (plain) {
        char* target = Out.Claim(size);
        for (qsizetype i = 0; i < size; ++i)
            target[i] = static_cast<char>(data[i]);
        Out.Commit(size);
        return;
    }
    char* target = Out.Claim(size * 6);  // the widest replacement, "&quot;" or "&#x0A;", has 6 bytes
    qsizetype n = 0;
    auto put = [&](const char* Text, int Length) {
        std::memcpy(target + n, Text, static_cast<size_t>(Length));
        n += Length;
    };
    for (qsizetype i = 0; i < size; ++i) {
        char32_t c = data[i];
        if (c < 128) {
            switch (c) {
            case '&': put("&amp;", 5); continue;
            case '<': put("&lt;", 4); continue;
            case '>': put("&gt;", 4); continue;
            case '"': put("&quot;", 6); continue;
            case '\'': put("&apos;", 6); continue;
            default: break;
            }
            if (c < 32) {
                if (hasBreak && c == '\n')
                    put("&#x0A;", 6);
                else if (hasBreak && c == '\r')
                    put("&#x0D;", 6);
                else if (hasOtherControl)
                    target[n++] = ' ';
                else if (c == '\t' && Context == TEncodeContext::ecAttribute)
                    put("&#x09;", 6);  // a literal tab in an attribute value reads back as a blank
                else
                    target[n++] = static_cast<char>(c);
                continue;
            }
            target[n++] = static_cast<char>(c);
            continue;
        }
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < size && data[i + 1] >= 0xDC00 && data[i + 1] <= 0xDFFF) {
            c = 0x10000 + ((c - 0xD800) << 10) + (data[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            c = 0xFFFD;
        } else if (c == 0xFFFE || c == 0xFFFF) {
            c = 0xBF;  // "¿"
        }
        if (c < 0x800) {
            target[n++] = static_cast<char>(0xC0 | (c >> 6));
            target[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            target[n++] = static_cast<char>(0xE0 | (c >> 12));
            target[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            target[n++] = static_cast<char>(0x80 | (c & 0x3F));
        } else {
            target[n++] = static_cast<char>(0xF0 | (c >> 18));
            target[n++] = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            target[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            target[n++] = static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    Out.Commit(n);
}

void WriteNode(TOutBuffer& Out, const TBLKNodeElement& Node) {
    Out.Put("\r\n<");
    PutEncoded(Out, Node.TagName, TEncodeContext::ecContent);
    if (Node.Attributs) {
        for (const auto& [name, value] : *Node.Attributs) {
            Out.Put(' ');
            const QByteArray utf8 = name.toUtf8();
            Out.Put(utf8.constData(), utf8.size());
            Out.Put("=\"");
            PutEncoded(Out, value, TEncodeContext::ecAttribute);
            Out.Put('"');
        }
    }
    Out.Put('>');
    PutEncoded(Out, Node.Value, TEncodeContext::ecContent);
    for (const auto& child : Node.Childs)
        WriteNode(Out, *child);
    if (Node.ChildCount() > 0)
        Out.Put("\r\n");
    Out.Put("</");
    PutEncoded(Out, Node.TagName, TEncodeContext::ecContent);
    Out.Put('>');
}

// The content of an element as the readers of the format see it: trailing line feeds that no
// carriage return precedes go, then leading line feeds; inner line breaks become CR LF.
QString NormaliseValue(QString Value) {
    while (Value.endsWith(QLatin1Char('\n')) && !(Value.size() >= 2 && Value.at(Value.size() - 2) == QLatin1Char('\r')))
        Value.chop(1);
    qsizetype lead = 0;
    while (lead < Value.size() && Value.at(lead) == QLatin1Char('\n'))
        ++lead;
    if (lead > 0)
        Value.remove(0, lead);
    if (Value.contains(QLatin1Char('\n'))) {
        Value.remove(QLatin1Char('\r'));
        Value.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    }
    return Value;
}

// Names repeat throughout a project file; sharing one QString per name saves an allocation each. A
// direct-mapped table of ASCII names: a miss costs a hash and one comparison, never an allocation
// beyond the string that is needed anyway.
class TNameCache {
public:
    QString Get(const char* Name) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(Name);
        std::uint32_t hash = 2166136261u;
        size_t length = 0;
        bool ascii = true;
        for (; bytes[length]; ++length) {
            hash = (hash ^ bytes[length]) * 16777619u;
            ascii = ascii && bytes[length] < 128;
        }
        if (!ascii)
            return QString::fromUtf8(Name, static_cast<qsizetype>(length));
        QString& slot = FSlots[hash & (SlotCount - 1)];
        if (slot.size() == static_cast<qsizetype>(length)) {
            const char16_t* units = reinterpret_cast<const char16_t*>(slot.utf16());
            size_t i = 0;
            while (i < length && units[i] == bytes[i])
                ++i;
            if (i == length)
                return slot;
        }
        QString name = QString::fromLatin1(Name, static_cast<qsizetype>(length));
        // The first name of a slot keeps it: replacing it would touch the old string's header, cold
        // memory by then, on every unique name.
        if (slot.isNull())
            slot = name;
        return name;
    }

private:
    static constexpr size_t SlotCount = 4096;
    std::vector<QString> FSlots = std::vector<QString>(SlotCount);
};

}  // namespace

// ---- parsing ----

struct TBLKParseState {
    TBLKConnector* Connector = nullptr;
    XML_Parser Parser = nullptr;
    std::vector<std::string> Texts;  // character content of each open element, by depth
    int Depth = 0;
    TNameCache Names;
    QString Failure;  // an exception caught inside a callback

    static void XMLCALL OnStart(void* Data, const XML_Char* Name, const XML_Char** Atts) {
        auto* state = static_cast<TBLKParseState*>(Data);
        try {
            state->Start(Name, Atts);
        } catch (const std::exception& e) {
            state->Stop(QString::fromUtf8(e.what()));
        }
    }
    static void XMLCALL OnEnd(void* Data, const XML_Char*) {
        auto* state = static_cast<TBLKParseState*>(Data);
        try {
            state->End();
        } catch (const std::exception& e) {
            state->Stop(QString::fromUtf8(e.what()));
        }
    }
    static void XMLCALL OnText(void* Data, const XML_Char* Text, int Length) {
        auto* state = static_cast<TBLKParseState*>(Data);
        if (state->Depth == 0)
            return;
        std::string& value = state->Texts[static_cast<size_t>(state->Depth - 1)];
        if (value.empty() && std::all_of(Text, Text + Length, IsWhite))
            return;
        value.append(Text, static_cast<size_t>(Length));
    }

    void Stop(const QString& Message) {
        if (Failure.isEmpty())
            Failure = Message;
        XML_StopParser(Parser, XML_FALSE);
    }

    void Start(const XML_Char* Name, const XML_Char** Atts) {
        TBLKConnector& c = *Connector;
        TBLKNodeElement* node;
        if (!c.ActRootNode) {
            node = c.FRootNode.get();
            node->TagName = Names.Get(Name);
        } else {
            auto child = std::make_unique<TBLKNodeElement>(c.ActRootNode);
            child->TagName = Names.Get(Name);
            node = child.get();
            c.ActRootNode->Childs.Add(std::move(child));
        }
        // expat has already resolved the references in attribute values; resolving them a second
        // time would turn a stored "&amp;lt;" into "<".
        for (int i = 0; Atts[i]; i += 2) {
            if (!node->Attributs)
                node->Attributs = std::make_unique<TBLKAttributes>();
            node->Attributs->emplace_back(Names.Get(Atts[i]), FromUtf8Text(Atts[i + 1], static_cast<qsizetype>(std::strlen(Atts[i + 1]))));
        }
        c.ActRootNode = node;
        if (static_cast<int>(Texts.size()) <= Depth)
            Texts.emplace_back();
        Texts[static_cast<size_t>(Depth)].clear();
        ++Depth;
    }

    void End() {
        TBLKConnector& c = *Connector;
        std::string& text = Texts[static_cast<size_t>(Depth - 1)];
        if (!text.empty())
            c.ActRootNode->Value = NormaliseValue(FromUtf8Text(text.data(), static_cast<qsizetype>(text.size())));
        text.clear();
        --Depth;
        c.ActRootNode = c.ActRootNode->Parent;
    }

    // After a failure: elements still open keep the content read so far.
    void FlushOpen() {
        TBLKNodeElement* node = Connector->ActRootNode;
        for (int depth = Depth; depth > 0 && node; --depth, node = node->Parent) {
            const std::string& text = Texts[static_cast<size_t>(depth - 1)];
            if (!text.empty())
                node->Value = FromUtf8Text(text.data(), static_cast<qsizetype>(text.size()));
        }
    }
};

// ---- TBLKNodeElements ----

void TBLKNodeElements::Add(std::unique_ptr<TBLKNodeElement> Node) {
    TBLKNodeElement* node = Node.get();
    FItems.push_back(std::move(Node));
    if (FIndex)
        FIndex->try_emplace(QStringView(node->TagName), node);  // an earlier namesake stays first
}

std::unique_ptr<TBLKNodeElement> TBLKNodeElements::Extract(TBLKNodeElement* Node) {
    auto it = std::find_if(FItems.begin(), FItems.end(), [Node](const auto& item) { return item.get() == Node; });
    if (it == FItems.end())
        return nullptr;
    std::unique_ptr<TBLKNodeElement> node = std::move(*it);
    FItems.erase(it);
    FIndex.reset();  // a later sibling of the same name may now be the first
    return node;
}

void TBLKNodeElements::Clear() {
    FItems.clear();
    FIndex.reset();
}

TBLKNodeElement* TBLKNodeElements::Find(QStringView Name) const {
    if (FItems.size() < IndexThreshold) {
        for (const auto& item : FItems)
            if (item->TagName == Name)
                return item.get();
        return nullptr;
    }
    if (!FIndex) {
        FIndex = std::make_unique<TNameIndex>(FItems.size());
        for (const auto& item : FItems)
            FIndex->try_emplace(QStringView(item->TagName), item.get());  // the first of namesakes wins
    }
    const auto found = FIndex->find(Name);
    return found == FIndex->end() ? nullptr : found->second;
}

// ---- TBLKNodeElement ----

bool TBLKNodeElement::AddAttribut(const QString& Key, const QString& Value) {
    if (Key.isEmpty())
        Fail(QStringLiteral("Leere Attributnamen sind nicht zulässig"));
    if (!Attributs)
        Attributs = std::make_unique<TBLKAttributes>();
    for (auto& [name, value] : *Attributs) {
        if (name == Key) {
            if (value == Value)
                return false;
            value = Value;
            return true;
        }
    }
    Attributs->emplace_back(Key, Value);
    return true;
}

const QString* TBLKNodeElement::FindAttribut(const QString& Key) const {
    if (!Attributs)
        return nullptr;
    for (const auto& [name, value] : *Attributs)
        if (name == Key)
            return &value;
    return nullptr;
}

bool TBLKNodeElement::DeleteAttribute(const QString& Key) {
    if (!Attributs)
        return false;
    auto it = std::find_if(Attributs->begin(), Attributs->end(), [&](const auto& pair) { return pair.first == Key; });
    if (it == Attributs->end())
        return false;
    Attributs->erase(it);
    return true;
}

void TBLKNodeElement::AddChild(std::unique_ptr<TBLKNodeElement> Node) {
    for (const TBLKNodeElement* p = this; p; p = p->Parent)
        if (p == Node.get())
            Fail(QStringLiteral("Rekursion"));
    Node->Parent = this;
    Childs.Add(std::move(Node));
}

void TBLKNodeElement::Clear() {
    TagName.clear();
    Value.clear();
    Attributs.reset();
    Childs.Clear();
}

TBLKNodeElement* TBLKNodeElement::CreateSubKey(const QString& Key) {
    if (Key.isEmpty())
        throw EBLKKeyError(QStringLiteral("Leere Tagnamen sind nicht zulässig"));
    auto node = std::make_unique<TBLKNodeElement>(this);
    node->TagName = Key;
    TBLKNodeElement* result = node.get();
    Childs.Add(std::move(node));
    return result;
}

void TBLKNodeElement::DeleteSubNode(TBLKNodeElement* Node) {
    if (!Childs.Extract(Node))
        Fail(QStringLiteral("Knoten ist kein Kind dieses Knotens: ") + (Node ? Node->TagName : QString()));
}

TBLKNodeElement* TBLKNodeElement::FindChild(QStringView Name) const { return Childs.Find(Name); }

bool TBLKNodeElement::CheckInvariance(QString* Reason) const {
    auto fail = [Reason](const QString& Text) {
        if (Reason)
            *Reason = Text;
        return false;
    };
    if (TagName.isEmpty())
        return fail(QStringLiteral("Leerer Tagname"));
    if (Attributs)
        for (const auto& attribute : *Attributs)
            if (attribute.first.isEmpty())
                return fail(QStringLiteral("Leerer Attributname in ") + TagName);
    for (const TBLKNodeElement* p = Parent; p; p = p->Parent)
        if (p == this)
            return fail(QStringLiteral("Rekursion"));
    for (const auto& child : Childs) {
        if (child->Parent != this)
            return fail(QStringLiteral("Falscher Parent in ") + child->TagName);
        if (!child->CheckInvariance(Reason))
            return false;
    }
    return true;
}

// ---- TBLKConnector ----

TBLKConnector::TBLKConnector() : FRootNode(std::make_unique<TBLKNodeElement>(nullptr)) { Clear(); }

TBLKConnector::~TBLKConnector() = default;

void TBLKConnector::Clear() {
    FRootNode->Clear();
    FRootNode->TagName = RootName;
    ActRootNode = nullptr;
}

bool TBLKConnector::LoadFromStream(const QByteArray& Bytes, QStringList& Errors, const QString& FileName) {
    Errorlist.clear();
    FRootNode->Clear();
    ActRootNode = nullptr;

    TBLKParseState state;
    state.Connector = this;
    XML_Parser parser = XML_ParserCreate("UTF-8");
    if (!parser) {
        Errorlist << QStringLiteral("XML-Parser konnte nicht erzeugt werden");
        Errors = Errorlist;
        return false;
    }
    state.Parser = parser;
    XML_SetUserData(parser, &state);
    XML_SetElementHandler(parser, &TBLKParseState::OnStart, &TBLKParseState::OnEnd);
    XML_SetCharacterDataHandler(parser, &TBLKParseState::OnText);
    const QByteArray base = FileName.toUtf8();
    if (!base.isEmpty())
        XML_SetBase(parser, base.constData());

    // Fed in pieces: expat's length argument is an int.
    constexpr qsizetype chunk = 64 * 1024 * 1024;
    XML_Status status = XML_STATUS_OK;
    qsizetype offset = 0;
    do {
        const qsizetype length = std::min(chunk, Bytes.size() - offset);
        const bool final = offset + length >= Bytes.size();
        status = XML_Parse(parser, Bytes.constData() + offset, static_cast<int>(length), final ? XML_TRUE : XML_FALSE);
        offset += length;
    } while (status == XML_STATUS_OK && offset < Bytes.size());

    if (status != XML_STATUS_OK) {
        state.FlushOpen();
        if (!state.Failure.isEmpty())
            Errorlist << state.Failure;
        else
            Errorlist << QStringLiteral("%1 (Zeile %2, Spalte %3)")
                             .arg(QString::fromUtf8(XML_ErrorString(XML_GetErrorCode(parser))))
                             .arg(XML_GetCurrentLineNumber(parser))
                             .arg(XML_GetCurrentColumnNumber(parser) + 1);
    }
    XML_ParserFree(parser);
    ActRootNode = nullptr;
    if (FRootNode->TagName.isEmpty())
        FRootNode->TagName = RootName;  // nothing parsed: keep the tree usable
    Errors = Errorlist;
    return Errorlist.isEmpty();
}

void TBLKConnector::WriteToStream(QByteArray& OutStream) const { OutStream.append(WriteToBytes()); }

QByteArray TBLKConnector::WriteToBytes() const {
    QByteArray bytes;
    {
        TOutBuffer out(bytes);
        out.Put("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
        WriteNode(out, *FRootNode);
    }
    return bytes;
}

void TBLKConnector::CheckKeySegments(const QString& Key, const QString& Owner) {
    for (QStringView segment : QStringView(Key).split(QLatin1Char('\\'), Qt::SkipEmptyParts)) {
        const QString prefix = Owner + QLatin1String(": ");
        if (segment.contains(QLatin1Char(' ')))
            throw EBLKKeyError(prefix + QLatin1String("Key darf keine Leerzeichen enthalten: ") + Key);
        if (segment.contains(QLatin1Char('>')))
            throw EBLKKeyError(prefix + QLatin1String("Key darf kein > Zeichen enthalten: ") + Key);
        if (segment.contains(QLatin1Char('<')))
            throw EBLKKeyError(prefix + QLatin1String("Key darf kein < Zeichen enthalten: ") + Key);
        if (!IsNameStart(segment.front()))
            throw EBLKKeyError(prefix + QLatin1String("Key darf kein ") + segment.front() +
                               QLatin1String(" Zeichen enthalten: ") + Key);
        for (QChar c : segment)
            if (!IsNameChar(c))
                throw EBLKKeyError(prefix + QLatin1String("Key darf kein ") + c + QLatin1String(" Zeichen enthalten: ") + Key);
    }
}

TBLKNodeElement* TBLKConnector::FindNode(const QString& Key, bool Create, bool* Created) {
    if (Created)
        *Created = false;
    if (Key.endsWith(QLatin1Char('\\')))
        Fail(QStringLiteral("Der Key darf nicht mit Backslash enden: ") + Key);
    if (Key.startsWith(QLatin1Char('\\')))
        Fail(QStringLiteral("Der Key darf nicht mit Backslash anfangen: ") + Key);
    TBLKNodeElement* node = FRootNode.get();
    if (Key.isEmpty())
        return node;
    if (Create) {
        if (Key.contains(QLatin1String("\\\\")))
            throw EBLKKeyError(QStringLiteral("Leere Tagnamen sind nicht zulässig"));
        CheckKeySegments(Key, QStringLiteral("TEtkConfigXMLFast"));
    }
    QStringView rest(Key);
    while (!rest.isEmpty()) {
        const qsizetype slash = rest.indexOf(QLatin1Char('\\'));
        const QStringView segment = slash < 0 ? rest : rest.left(slash);
        rest = slash < 0 ? QStringView() : rest.mid(slash + 1);
        TBLKNodeElement* child = node->FindChild(segment);
        if (!child) {
            if (!Create)
                return nullptr;
            child = node->CreateSubKey(segment.toString());
            if (Created)
                *Created = true;
        }
        node = child;
    }
    return node;
}

QString TBLKConnector::ReadRawString(const QString& Key, const QString& Default) {
    const TBLKNodeElement* node = FindNode(Key, false);
    return node ? node->Value : Default;
}

bool TBLKConnector::WriteRawString(const QString& Key, const QString& Value) {
    bool created = false;
    TBLKNodeElement* node = FindNode(Key, true, &created);
    if (node->Value == Value)
        return created;
    node->Value = Value;
    return true;
}

QString TBLKConnector::ReadAttribute(const QString& Key, const QString& AttName) {
    const TBLKNodeElement* node = FindNode(Key, false);
    const QString* value = node ? node->FindAttribut(AttName) : nullptr;
    return value ? *value : QString();
}

bool TBLKConnector::WriteAttribute(const QString& Key, const QString& AttName, const QString& Value) {
    if (AttName.isEmpty() || !IsNameStart(AttName.front()) ||
        !std::all_of(AttName.begin(), AttName.end(), IsNameChar))
        throw EBLKKeyError(QStringLiteral("TEtkConfigXMLFast: Ungültiger Attributname: ") + AttName);
    bool created = false;
    TBLKNodeElement* node = FindNode(Key, true, &created);
    return node->AddAttribut(AttName, Value) || created;
}

void TBLKConnector::ReadKeys(const QString& Key, QStringList& SubKeys) {
    SubKeys.clear();
    if (const TBLKNodeElement* node = FindNode(Key, false))
        for (const auto& child : node->Childs)
            SubKeys << child->TagName;
}

void TBLKConnector::ReadAllAttributes(const QString& Key, TBLKAttributes& Map) {
    Map.clear();
    const TBLKNodeElement* node = FindNode(Key, false);
    if (node && node->Attributs)
        Map = *node->Attributs;
}

bool TBLKConnector::Deletekey(const QString& Key) {
    TBLKNodeElement* node = FindNode(Key, false);
    if (!node)
        return false;
    if (node == FRootNode.get()) {
        // The root keeps its name: a nameless root would break the tree's invariant.
        const QString name = node->TagName;
        node->Clear();
        node->TagName = name;
        return true;
    }
    node->Parent->DeleteSubNode(node);
    return true;
}

bool TBLKConnector::DeleteAttribute(const QString& Key, const QString& AttName) {
    TBLKNodeElement* node = FindNode(Key, false);
    return node && node->DeleteAttribute(AttName);
}

bool TBLKConnector::DeleteValue(const QString& Key) {
    TBLKNodeElement* node = FindNode(Key, false);
    if (!node || node->Value.isEmpty())
        return false;
    node->Value.clear();
    return true;
}

bool TBLKConnector::DeleteSubKeys(const QString& Key) {
    TBLKNodeElement* node = FindNode(Key, false);
    if (!node || node->ChildCount() == 0)
        return false;
    node->Childs.Clear();
    return true;
}

bool TBLKConnector::RenameKey(const QString& Key, const QString& NewKey) {
    TBLKNodeElement* node = FindNode(Key, false);
    if (!node)
        return false;
    if (NewKey.isEmpty() || NewKey.contains(QLatin1Char('\\')))
        throw EBLKKeyError(QStringLiteral("Leere Tagnamen sind nicht zulässig"));
    CheckKeySegments(NewKey, QStringLiteral("TEtkConfigXMLFast"));
    if (node->TagName == NewKey)
        return false;
    node->TagName = NewKey;
    if (node->Parent)
        node->Parent->Childs.NameChanged();
    return true;
}

bool TBLKConnector::ElementsInKeyHasAttribut(const QString& Key, const QString& AttName, const QString& AttValue) {
    if (Key.endsWith(QLatin1Char('\\')))
        Fail(QStringLiteral("Der Key darf nicht mit Backslash enden: ") + Key);
    if (Key.startsWith(QLatin1Char('\\')))
        Fail(QStringLiteral("Der Key darf nicht mit Backslash anfangen: ") + Key);
    const TBLKNodeElement* node = FRootNode.get();
    auto marked = [&](const TBLKNodeElement* Node) {
        const QString* value = Node->FindAttribut(AttName);
        return value && *value == AttValue;
    };
    if (marked(node))
        return true;
    if (Key.isEmpty())
        return false;
    // Walked segment by segment without splitting: the facade asks this before every variant read.
    QStringView rest(Key);
    while (!rest.isEmpty()) {
        const qsizetype slash = rest.indexOf(QLatin1Char('\\'));
        node = node->FindChild(slash < 0 ? rest : rest.left(slash));
        if (!node)
            return false;
        if (marked(node))
            return true;
        rest = slash < 0 ? QStringView() : rest.mid(slash + 1);
    }
    return false;
}

bool TBLKConnector::KeyExists(const QString& Key) { return FindNode(Key, false) != nullptr; }

bool TBLKConnector::CheckInvariance(QString* Reason) const { return FRootNode->CheckInvariance(Reason); }

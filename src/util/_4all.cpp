#include "util/_4all.h"

#include <QStringDecoder>
#include <QStringList>
#include <algorithm>
#include <limits>

#include "util/Exception.h"
#include "util/Streams.h"

namespace {

constexpr QChar KeyValueFileSeparator = QChar(3);

// Keys added through GetKeys have no value object; they read as 0.
qint32 IntValue(const TObject* Object) {
    const auto* value = dynamic_cast<const TMapIntValue*>(Object);
    return value ? value->FValue : 0;
}

QString ReplaceSeparator(QString Text, const QString& Separator) {
    if (!Separator.isEmpty())
        Text.replace(Separator, QStringLiteral("_"));
    return Text;
}

}  // namespace

int HexDigit(QChar C) {
    const char16_t u = C.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}

bool TryStrToInt(QStringView S, qint32& Value) {
    const qsizetype n = S.size();
    qsizetype i = 0;
    while (i < n && S[i] == QLatin1Char(' '))
        ++i;
    bool negative = false;
    if (i < n && (S[i] == QLatin1Char('-') || S[i] == QLatin1Char('+'))) {
        negative = S[i] == QLatin1Char('-');
        ++i;
    }
    int base = 10;
    if (i < n && S[i] == QLatin1Char('$')) {
        base = 16;
        ++i;
    } else if (i + 1 < n && S[i] == QLatin1Char('0') && (S[i + 1] == QLatin1Char('x') || S[i + 1] == QLatin1Char('X'))) {
        base = 16;
        i += 2;
    }
    if (i == n)
        return false;
    const quint64 limit = base == 16 ? 0xFFFFFFFFull : (negative ? 0x80000000ull : 0x7FFFFFFFull);
    quint64 magnitude = 0;
    for (; i < n; ++i) {
        const int digit = HexDigit(S[i]);
        if (digit < 0 || digit >= base)
            return false;
        magnitude = magnitude * base + digit;
        if (magnitude > limit)
            return false;
    }
    // Hexadecimal text fills the 32 bits as they are ("$FFFFFFFF" is -1), decimal text is range-checked.
    const quint32 bits = static_cast<quint32>(magnitude);
    Value = static_cast<qint32>(negative ? 0u - bits : bits);
    return true;
}

qint32 StrToInt(const QString& S) {
    qint32 value = 0;
    if (!TryStrToInt(S, value))
        throw EConvertError(QStringLiteral("'%1' is not a valid integer value").arg(S));
    return value;
}

// ---- TIntList -------------------------------------------------------------------------------------

void TIntList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

int TIntList::Add(qint32 Value) {
    FItems.push_back(Value);
    return Count() - 1;
}

void TIntList::AddIntList(const TIntList& Other) {
    const std::vector<qint32> items = Other.FItems;  // a copy: Other may be this list
    FItems.insert(FItems.end(), items.begin(), items.end());
}

void TIntList::Insert(int Index, qint32 Value) {
    if (Index < 0 || Index > Count())
        throw EListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    FItems.insert(FItems.begin() + Index, Value);
}

void TIntList::Delete(int Index) {
    CheckIndex(Index);
    FItems.erase(FItems.begin() + Index);
}

int TIntList::IndexOf(qint32 Value) const {
    const auto it = std::find(FItems.begin(), FItems.end(), Value);
    return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

qint32 TIntList::GetInts(int Index) const {
    CheckIndex(Index);
    return FItems[Index];
}

void TIntList::SetInts(int Index, qint32 Value) {
    CheckIndex(Index);
    FItems[Index] = Value;
}

bool TIntList::Equals(const TIntList& Other) const { return FItems == Other.FItems; }

void TIntList::Sort() { std::sort(FItems.begin(), FItems.end()); }

qint32 TIntList::GetMax() const {
    qint32 result = std::numeric_limits<qint32>::min();
    for (qint32 v : FItems)
        result = std::max(result, v);
    return result;
}

qint32 TIntList::GetMin() const {
    qint32 result = std::numeric_limits<qint32>::max();
    for (qint32 v : FItems)
        result = std::min(result, v);
    return result;
}

QString TIntList::GetAsString(const QString& Separator) const {
    QString result;
    for (size_t i = 0; i < FItems.size(); ++i) {
        if (i > 0)
            result += Separator;
        result += QString::number(FItems[i]);
    }
    return result;
}

void TIntList::SetAsString(const QString& Separator, const QString& Value) {
    Clear();
    const QStringList pieces = Separator.isEmpty() ? QStringList{Value} : Value.split(Separator);
    for (const QString& piece : pieces)
        if (!piece.isEmpty())
            Add(StrToInt(piece));
}

// ---- TMapStrToStr ---------------------------------------------------------------------------------

TMapStrToStr::TMapStrToStr() : FList(std::make_unique<TBLStringList>(true)) { FList->SetSorted(true); }

TMapStrToStr::~TMapStrToStr() = default;

void TMapStrToStr::Clear() {
    FList->BeginUpdate();
    for (int i = FList->Count() - 1; i >= 0; --i)
        FList->Delete(i);
    FList->EndUpdate();
}

void TMapStrToStr::SetValue(const QString& Key, const QString& Value) {
    const int index = FList->IndexOf(Key);
    if (index < 0) {
        FList->AddObject(Key, new TMapStrValue(Value));
        return;
    }
    static_cast<TMapStrValue*>(FList->Objects(index))->FValue = Value;
}

bool TMapStrToStr::GetValue(const QString& Key, QString& Value) const {
    const int index = FList->IndexOf(Key);
    if (index < 0)
        return false;
    Value = static_cast<const TMapStrValue*>(FList->Objects(index))->FValue;
    return true;
}

QString TMapStrToStr::GetValueByKey(const QString& Key, const QString& Default) const {
    QString value;
    return GetValue(Key, value) ? value : Default;
}

void TMapStrToStr::GetValueByIndex(int Index, QString& Key, QString& Value) const {
    Key = FList->Strings(Index);
    Value = static_cast<const TMapStrValue*>(FList->Objects(Index))->FValue;
}

QString TMapStrToStr::GetKey(int Index) const { return FList->Strings(Index); }

int TMapStrToStr::IndexOf(const QString& Key) const { return FList->IndexOf(Key); }

bool TMapStrToStr::RecordExists(const QString& Key, const QString& Value) const {
    QString stored;
    return GetValue(Key, stored) && stored == Value;
}

void TMapStrToStr::Delete(int Index) {
    if (Index >= 0 && Index < FList->Count())
        FList->Delete(Index);
}

void TMapStrToStr::Delete(const QString& Key) { Delete(FList->IndexOf(Key)); }

void TMapStrToStr::Assign(const TMapStrToStr& Source) {
    if (&Source == this)
        return;
    Clear();
    SetSorted(Source.Sorted());
    for (int i = 0; i < Source.Count(); ++i) {
        QString key;
        QString value;
        Source.GetValueByIndex(i, key, value);
        SetValue(key, value);
    }
}

bool TMapStrToStr::Equals(const TMapStrToStr& Other) const {
    if (Count() != Other.Count())
        return false;
    for (int i = 0; i < Count(); ++i) {
        QString key;
        QString value;
        GetValueByIndex(i, key, value);
        if (!Other.RecordExists(key, value))
            return false;
    }
    return true;
}

QString TMapStrToStr::GetAsKeyValueList(const QString& Separator) const {
    QString result;
    for (int i = 0; i < Count(); ++i) {
        QString key;
        QString value;
        GetValueByIndex(i, key, value);
        result += ReplaceSeparator(key, Separator);
        result += Separator;
        result += ReplaceSeparator(value, Separator);
        result += Separator;
    }
    return result;
}

void TMapStrToStr::SetAsKeyValueList(const QString& Separator, const QString& Value) {
    Clear();
    const QStringList pieces = Separator.isEmpty() ? QStringList{Value} : Value.split(Separator);
    for (qsizetype i = 0; i + 1 < pieces.size(); i += 2)
        SetValue(pieces[i], pieces[i + 1]);
}

void TMapStrToStr::SaveToStream(TStream& Stream) const {
    const QString text = GetAsKeyValueList(QString(KeyValueFileSeparator));
    QByteArray bytes(text.size() * 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = text[i].unicode();
        bytes[2 * i] = static_cast<char>(u & 0xFF);
        bytes[2 * i + 1] = static_cast<char>(u >> 8);
    }
    Stream.SetPosition(0);
    Stream.WriteBuffer(bytes.constData(), bytes.size());
    Stream.SetSize(bytes.size());
}

void TMapStrToStr::LoadFromStream(TStream& Stream) {
    Stream.SetPosition(0);
    QByteArray bytes(Stream.Size(), Qt::Uninitialized);
    Stream.ReadBuffer(bytes.data(), bytes.size());
    // An odd last byte is half a code unit and cannot be part of the text.
    QString text(bytes.size() / 2, Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        text[i] = QChar(static_cast<char16_t>(static_cast<uchar>(bytes[2 * i]) | (static_cast<uchar>(bytes[2 * i + 1]) << 8)));
    SetAsKeyValueList(QString(KeyValueFileSeparator), text);
}

void TMapStrToStr::SaveToFile(const QString& FileName) const {
    TFileStream stream(FileName, fmCreate);
    SaveToStream(stream);
}

void TMapStrToStr::LoadFromFile(const QString& FileName) {
    TFileStream stream(FileName, fmOpenRead | fmShareDenyWrite);
    LoadFromStream(stream);
}

// ---- TMapStrToInt ---------------------------------------------------------------------------------

TMapStrToInt::TMapStrToInt() : FList(std::make_unique<TBLStringList>(true)) { FList->SetSorted(true); }

TMapStrToInt::~TMapStrToInt() = default;

int TMapStrToInt::SetValue(const QString& Key, qint32 Value) {
    const int index = FList->IndexOf(Key);
    if (index < 0)
        return FList->AddObject(Key, new TMapIntValue(Value));
    if (auto* stored = dynamic_cast<TMapIntValue*>(FList->Objects(index)))
        stored->FValue = Value;
    else
        FList->SetObjects(index, new TMapIntValue(Value));  // a key added through GetKeys
    return index;
}

bool TMapStrToInt::GetValue(const QString& Key, qint32& Value) const {
    const int index = FList->IndexOf(Key);
    if (index < 0)
        return false;
    Value = IntValue(FList->Objects(index));
    return true;
}

void TMapStrToInt::GetValueByIndex(int Index, QString& Key, qint32& Value) const {
    Key = FList->Strings(Index);
    Value = IntValue(FList->Objects(Index));
}

void TMapStrToInt::Delete(int Index) { FList->Delete(Index); }

void TMapStrToInt::DeleteValue(const QString& Key) {
    const int index = FList->IndexOf(Key);
    if (index >= 0)
        FList->Delete(index);
}

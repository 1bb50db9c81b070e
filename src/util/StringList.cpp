#include "util/StringList.h"

#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>
#include <utility>

#include "platform/CodePages.h"
#include "util/Exception.h"

namespace {

// Characters 1..32 separate items of non-strict delimited text; NUL does not (it ended the
// toolkit's zero-terminated strings, here it is an ordinary character).
bool IsBlankOrControl(QChar C) { return C.unicode() >= 1 && C.unicode() <= 32; }

QString QuotedStr(const QString& S, QChar Quote) {
    QString result;
    result.reserve(S.size() + 2);
    result += Quote;
    for (QChar c : S) {
        result += c;
        if (c == Quote)
            result += Quote;
    }
    result += Quote;
    return result;
}

// Reads a quoted item starting at Pos (on the opening quote); leaves Pos behind the closing quote,
// or at the end when the quote is never closed (the rest of the text is then the item).
QString ExtractQuoted(const QString& Text, qsizetype& Pos, QChar Quote) {
    QString result;
    ++Pos;
    const qsizetype n = Text.size();
    while (Pos < n) {
        const QChar c = Text[Pos];
        if (c == Quote) {
            if (Pos + 1 < n && Text[Pos + 1] == Quote) {
                result += Quote;
                Pos += 2;
                continue;
            }
            ++Pos;
            return result;
        }
        result += c;
        ++Pos;
    }
    return result;
}

[[noreturn]] void ListError(const QString& Message) { throw EListError(Message); }

}  // namespace

TStringList::TStringList() = default;

TStringList::TStringList(bool OwnsObjects) : FOwnsObjects(OwnsObjects) {}

TStringList::~TStringList() {
    if (FOwnsObjects)
        for (const TStringItem& item : FList)
            delete item.FObject;
}

void TStringList::FreeObject(TObject* AObject) const {
    if (FOwnsObjects)
        delete AObject;
}

void TStringList::CheckIndex(int Index) const {
    if (Index < 0 || Index >= Count())
        ListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
}

void TStringList::Changing() {
    if (FUpdateCount == 0 && FOnChanging)
        FOnChanging(this);
}

void TStringList::Changed() {
    if (FUpdateCount == 0 && FOnChange)
        FOnChange(this);
}

void TStringList::BeginUpdate() {
    if (FUpdateCount == 0)
        Changing();
    ++FUpdateCount;
}

void TStringList::EndUpdate() {
    if (FUpdateCount <= 0)
        return;
    --FUpdateCount;
    if (FUpdateCount == 0)
        Changed();
}

int TStringList::CompareStrings(const QString& S1, const QString& S2) const {
    return QString::compare(S1, S2, FCaseSensitive ? Qt::CaseSensitive : Qt::CaseInsensitive);
}

int TStringList::Add(const QString& S) { return AddObject(S, nullptr); }

int TStringList::AddObject(const QString& S, TObject* AObject) {
    int index = Count();
    if (FSorted && Find(S, index)) {
        switch (FDuplicates) {
        case TDuplicates::dupIgnore:
            // The list keeps its entry; an owning list must not leak the refused object.
            FreeObject(AObject);
            return index;
        case TDuplicates::dupError:
            FreeObject(AObject);
            ListError(QStringLiteral("String list does not allow duplicates"));
        case TDuplicates::dupAccept:
            break;
        }
    }
    InsertItem(index, S, AObject);
    return index;
}

void TStringList::AddStrings(const TStringList& Strings) {
    BeginUpdate();
    for (const TStringItem& item : Strings.FList)
        AddObject(item.FString, item.FObject);
    EndUpdate();
}

void TStringList::AppendRaw(const QString& S, TObject* AObject) { FList.push_back({S, AObject}); }

void TStringList::Assign(const TStringList& Source) {
    if (&Source == this)
        return;
    BeginUpdate();
    Clear();
    FSorted = Source.FSorted;
    FDuplicates = Source.FDuplicates;
    FCaseSensitive = Source.FCaseSensitive;
    FDelimiter = Source.FDelimiter;
    FQuoteChar = Source.FQuoteChar;
    FStrictDelimiter = Source.FStrictDelimiter;
    FNameValueSeparator = Source.FNameValueSeparator;
    FLineBreak = Source.FLineBreak;
    // The source's order is already valid under the copied settings.
    FList.reserve(Source.FList.size());
    for (const TStringItem& item : Source.FList)
        AppendRaw(item.FString, item.FObject);
    EndUpdate();
}

void TStringList::Clear() {
    if (FList.empty())
        return;
    Changing();
    std::vector<TStringItem> old;
    old.swap(FList);
    // Freed after the list is empty, so an object's destructor never sees a half-cleared list.
    for (const TStringItem& item : old)
        FreeObject(item.FObject);
    Changed();
}

void TStringList::Delete(int Index) {
    CheckIndex(Index);
    Changing();
    TObject* object = FList[Index].FObject;
    FList.erase(FList.begin() + Index);
    FreeObject(object);
    Changed();
}

bool TStringList::Equals(const TStringList& Strings) const {
    if (Count() != Strings.Count())
        return false;
    for (int i = 0; i < Count(); ++i)
        if (FList[i].FString != Strings.FList[i].FString)
            return false;
    return true;
}

void TStringList::Exchange(int Index1, int Index2) {
    CheckIndex(Index1);
    CheckIndex(Index2);
    Changing();
    ExchangeItems(Index1, Index2);
    Changed();
}

void TStringList::ExchangeItems(int Index1, int Index2) { std::swap(FList[Index1], FList[Index2]); }

bool TStringList::Find(const QString& S, int& Index) const {
    bool found = false;
    int l = 0;
    int h = Count() - 1;
    while (l <= h) {
        const int i = l + (h - l) / 2;
        const int c = CompareStrings(FList[i].FString, S);
        if (c < 0) {
            l = i + 1;
        } else {
            h = i - 1;
            if (c == 0) {
                found = true;
                if (FDuplicates != TDuplicates::dupAccept)
                    l = i;
            }
        }
    }
    Index = l;
    return found;
}

int TStringList::IndexOf(const QString& S) const {
    if (FSorted) {
        int index = -1;
        return Find(S, index) ? index : -1;
    }
    for (int i = 0; i < Count(); ++i)
        if (CompareStrings(FList[i].FString, S) == 0)
            return i;
    return -1;
}

int TStringList::IndexOfName(const QString& Name) const {
    for (int i = 0; i < Count(); ++i) {
        const QString& s = FList[i].FString;
        const qsizetype p = s.indexOf(FNameValueSeparator);
        if (p >= 0 && CompareStrings(s.left(p), Name) == 0)
            return i;
    }
    return -1;
}

int TStringList::IndexOfObject(const TObject* AObject) const {
    for (int i = 0; i < Count(); ++i)
        if (FList[i].FObject == AObject)
            return i;
    return -1;
}

void TStringList::Insert(int Index, const QString& S) { InsertObject(Index, S, nullptr); }

void TStringList::InsertObject(int Index, const QString& S, TObject* AObject) {
    if (FSorted)
        ListError(QStringLiteral("Operation not allowed on sorted list"));
    if (Index < 0 || Index > Count())
        ListError(QStringLiteral("List index out of bounds (%1)").arg(Index));
    InsertItem(Index, S, AObject);
}

void TStringList::InsertItem(int Index, const QString& S, TObject* AObject) {
    Changing();
    FList.insert(FList.begin() + Index, TStringItem{S, AObject});
    Changed();
}

void TStringList::Move(int CurIndex, int NewIndex) {
    if (CurIndex == NewIndex)
        return;
    if (FSorted)
        ListError(QStringLiteral("Operation not allowed on sorted list"));
    CheckIndex(CurIndex);
    CheckIndex(NewIndex);
    BeginUpdate();
    TStringItem item = std::move(FList[CurIndex]);
    FList.erase(FList.begin() + CurIndex);
    FList.insert(FList.begin() + NewIndex, std::move(item));
    EndUpdate();
}

void TStringList::Sort() {
    CustomSort([](TStringList* List, int Index1, int Index2) {
        return List->CompareStrings(List->FList[Index1].FString, List->FList[Index2].FString);
    });
}

void TStringList::CustomSort(const TStringListSortCompare& Compare) {
    if (FSorted || Count() < 2)
        return;
    Changing();
    QuickSort(0, Count() - 1, Compare);
    Changed();
}

void TStringList::QuickSort(int L, int R, const TStringListSortCompare& Compare) {
    // Hoare partitioning around the middle entry. The scans are bounded so that a comparison that
    // is not a consistent order cannot run them off the list; the smaller part is sorted by recursion
    // and the larger by the loop, which keeps the stack depth logarithmic.
    while (L < R) {
        int i = L;
        int j = R;
        int p = L + (R - L) / 2;
        do {
            while (i < R && Compare(this, i, p) < 0)
                ++i;
            while (j > L && Compare(this, j, p) > 0)
                --j;
            if (i <= j) {
                if (i != j)
                    ExchangeItems(i, j);
                if (p == i)
                    p = j;
                else if (p == j)
                    p = i;
                ++i;
                --j;
            }
        } while (i <= j);
        if (j - L < R - i) {
            if (L < j)
                QuickSort(L, j, Compare);
            L = i;
        } else {
            if (i < R)
                QuickSort(i, R, Compare);
            R = j;
        }
    }
}

const QString& TStringList::Strings(int Index) const {
    CheckIndex(Index);
    return FList[Index].FString;
}

void TStringList::SetStrings(int Index, const QString& S) {
    if (FSorted)
        ListError(QStringLiteral("Operation not allowed on sorted list"));
    CheckIndex(Index);
    Changing();
    FList[Index].FString = S;
    Changed();
}

TObject* TStringList::Objects(int Index) const {
    CheckIndex(Index);
    return FList[Index].FObject;
}

void TStringList::SetObjects(int Index, TObject* AObject) {
    CheckIndex(Index);
    Changing();
    FList[Index].FObject = AObject;
    Changed();
}

QString TStringList::Names(int Index) const {
    const QString& s = Strings(Index);
    const qsizetype p = s.indexOf(FNameValueSeparator);
    return p >= 0 ? s.left(p) : QString();
}

QString TStringList::Values(const QString& Name) const {
    const int i = IndexOfName(Name);
    return i >= 0 ? ValueFromIndex(i) : QString();
}

void TStringList::SetValues(const QString& Name, const QString& Value) {
    int i = IndexOfName(Name);
    if (!Value.isEmpty()) {
        if (i < 0)
            i = Add(QString());
        SetStrings(i, Name + FNameValueSeparator + Value);
    } else if (i >= 0) {
        Delete(i);
    }
}

QString TStringList::ValueFromIndex(int Index) const {
    if (Index < 0)
        return QString();
    const QString& s = Strings(Index);
    const qsizetype p = s.indexOf(FNameValueSeparator);
    return p >= 0 ? s.mid(p + 1) : QString();
}

void TStringList::SetValueFromIndex(int Index, const QString& Value) {
    if (!Value.isEmpty()) {
        if (Index < 0)
            Index = Add(QString());
        SetStrings(Index, Names(Index) + FNameValueSeparator + Value);
    } else if (Index >= 0) {
        Delete(Index);
    }
}

QString TStringList::Text() const {
    qsizetype size = 0;
    for (const TStringItem& item : FList)
        size += item.FString.size() + FLineBreak.size();
    QString result;
    result.reserve(size);
    for (const TStringItem& item : FList) {
        result += item.FString;
        result += FLineBreak;
    }
    return result;
}

void TStringList::SetText(const QString& Value) {
    BeginUpdate();
    Clear();
    const qsizetype n = Value.size();
    qsizetype p = 0;
    while (p < n) {
        const qsizetype start = p;
        while (p < n && Value[p] != QLatin1Char('\n') && Value[p] != QLatin1Char('\r'))
            ++p;
        Add(Value.mid(start, p - start));
        if (p < n && Value[p] == QLatin1Char('\r'))
            ++p;
        if (p < n && Value[p] == QLatin1Char('\n'))
            ++p;
    }
    EndUpdate();
}

QString TStringList::BuildDelimited(QChar Delimiter, QChar QuoteChar, bool StrictDelimiter) const {
    if (Count() == 1 && FList[0].FString.isEmpty())
        return QuoteChar.isNull() ? QString() : QString(2, QuoteChar);
    QString result;
    for (int i = 0; i < Count(); ++i) {
        const QString& s = FList[i].FString;
        bool needsQuotes = false;
        for (QChar c : s) {
            if ((!QuoteChar.isNull() && c == QuoteChar) || c == Delimiter ||
                (!StrictDelimiter && IsBlankOrControl(c))) {
                needsQuotes = true;
                break;
            }
        }
        // Without a quote character there is no way to protect an item; it goes out as it is.
        result += needsQuotes && !QuoteChar.isNull() ? QuotedStr(s, QuoteChar) : s;
        if (i + 1 < Count())
            result += Delimiter;
    }
    return result;
}

void TStringList::ParseDelimited(const QString& Value, QChar Delimiter, QChar QuoteChar, bool StrictDelimiter) {
    BeginUpdate();
    Clear();
    const qsizetype n = Value.size();
    qsizetype p = 0;
    auto skipBlanks = [&] {
        if (!StrictDelimiter)
            while (p < n && IsBlankOrControl(Value[p]))
                ++p;
    };
    skipBlanks();
    while (p < n) {
        QString item;
        if (!QuoteChar.isNull() && Value[p] == QuoteChar) {
            item = ExtractQuoted(Value, p, QuoteChar);
        } else {
            const qsizetype start = p;
            while (p < n && Value[p] != Delimiter && (StrictDelimiter || !IsBlankOrControl(Value[p])))
                ++p;
            item = Value.mid(start, p - start);
        }
        Add(item);
        skipBlanks();
        if (p < n && Value[p] == Delimiter) {
            if (p + 1 == n)
                Add(QString());
            ++p;
            skipBlanks();
        }
    }
    EndUpdate();
}

QString TStringList::DelimitedText() const { return BuildDelimited(FDelimiter, FQuoteChar, FStrictDelimiter); }

void TStringList::SetDelimitedText(const QString& Value) {
    ParseDelimited(Value, FDelimiter, FQuoteChar, FStrictDelimiter);
}

QString TStringList::CommaText() const { return BuildDelimited(QLatin1Char(','), QLatin1Char('"'), false); }

void TStringList::SetCommaText(const QString& Value) {
    ParseDelimited(Value, QLatin1Char(','), QLatin1Char('"'), false);
}

void TStringList::SetSorted(bool Value) {
    if (FSorted == Value)
        return;
    if (Value)
        Sort();
    FSorted = Value;
}

void TStringList::SetCaseSensitive(bool Value) {
    if (FCaseSensitive == Value)
        return;
    FCaseSensitive = Value;
    if (FSorted) {
        // A sorted list must be in the order of its new comparison.
        FSorted = false;
        SetSorted(true);
    }
}

void TStringList::LoadFromFile(const QString& FileName) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EStreamError(QStringLiteral("Cannot read file \"%1\". %2").arg(FileName, file.errorString()));

    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        text = QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = decoder(QByteArrayView(bytes).sliced(2));
    } else {
        QStringDecoder decoder(QStringDecoder::Utf8);
        text = decoder(bytes);
        if (decoder.hasError())
            text = Platform::DecodeAnsi(bytes);
    }
    SetText(text);
}

void TStringList::SaveToFile(const QString& FileName) const {
    QSaveFile file(FileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EStreamError(QStringLiteral("Cannot create file \"%1\". %2").arg(FileName, file.errorString()));
    file.write(Text().toUtf8());
    if (!file.commit())
        throw EStreamError(QStringLiteral("Cannot write file \"%1\". %2").arg(FileName, file.errorString()));
}

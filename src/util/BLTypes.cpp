#include "util/BLTypes.h"

#include <limits>

#include "util/Exception.h"

// ---- String list and fast memory stream ----------------------------------------------------------

namespace {

QString TrimControl(const QString& S) {
    qsizetype first = 0;
    qsizetype last = S.size() - 1;
    while (first <= last && S[first].unicode() <= ' ')
        ++first;
    while (last >= first && S[last].unicode() <= ' ')
        --last;
    return S.mid(first, last - first + 1);
}

}  // namespace

TBLStringList::TBLStringList() { SetCaseSensitive(true); }

TBLStringList::TBLStringList(bool OwnsObjects) : TStringList(OwnsObjects) { SetCaseSensitive(true); }

std::unique_ptr<TBLStringList> TBLStringList::Clone() const {
    auto result = std::make_unique<TBLStringList>();
    result->Assign(*this);
    return result;
}

void TBLStringList::SetCount(int Value) {
    if (Value < 0)
        Value = 0;
    if (Value > Count() && Sorted())
        throw EListError(QStringLiteral("Operation not allowed on sorted list"));
    BeginUpdate();
    while (Count() > Value)
        Delete(Count() - 1);
    while (Count() < Value)
        Add(QString());
    EndUpdate();
}

void TBLStringList::SortOld() {
    CustomSort([](TStringList* List, int Index1, int Index2) {
        return QString::compare(List->Strings(Index1), List->Strings(Index2), Qt::CaseSensitive);
    });
}

void TBLStringList::BLSetDelimitedText(const QString& Value, QChar DelChar, bool TrimStrings, bool IgnoreDuplicates) {
    SetStrictDelimiter(true);
    if (IgnoreDuplicates) {
        SetDuplicates(TDuplicates::dupIgnore);
        SetSorted(true);
    } else {
        SetDuplicates(TDuplicates::dupAccept);
        SetSorted(false);
    }
    SetDelimiter(DelChar);

    BeginUpdate();
    Clear();
    const QChar quote = QuoteChar();
    const qsizetype n = Value.size();
    qsizetype p = 0;
    while (p < n) {
        QString item;
        if (!quote.isNull() && Value[p] == quote) {
            ++p;
            while (p < n) {
                if (Value[p] == quote) {
                    if (p + 1 < n && Value[p + 1] == quote) {
                        item += quote;
                        p += 2;
                        continue;
                    }
                    ++p;
                    break;
                }
                item += Value[p++];
            }
        }
        const qsizetype start = p;
        while (p < n && Value[p] != DelChar)
            ++p;
        item += QStringView(Value).mid(start, p - start);
        Add(TrimStrings ? TrimControl(item) : item);
        if (p < n) {
            // p is on a delimiter.
            if (p + 1 == n)
                Add(QString());
            ++p;
        }
    }
    EndUpdate();
}

TFastMemoryStream::TFastMemoryStream(bool ForBigCapacity) : FMemoryDelta(ForBigCapacity ? 32768 : 8192) {}

char* TFastMemoryStream::Realloc(qint64& NewCapacity) {
    if (NewCapacity > 0) {
        if (NewCapacity > std::numeric_limits<qint64>::max() - FMemoryDelta)
            throw EStreamError(QStringLiteral("Out of memory while expanding memory stream"));
        NewCapacity = (NewCapacity + FMemoryDelta - 1) / FMemoryDelta * FMemoryDelta;
    }
    return ReallocMemory(NewCapacity);
}

// ---- End of string list and fast memory stream ---------------------------------------------------

// ---- Logging types -------------------------------------------------------------------------------

namespace {
template <std::size_t N>
QString NameAt(const char* const (&Names)[N], unsigned Ordinal) {
    return Ordinal < N ? QString::fromLatin1(Names[Ordinal]) : QString();
}
}  // namespace

QString MessageLogTypeName(TMessageLogType Value) {
    static const char* const names[] = {"tmlMessage", "tmlWarning", "tmlError", "tmlDebug"};
    return NameAt(names, static_cast<unsigned>(Value));
}

QString LogChannelName(TLogChannel Value) {
    static const char* const names[] = {"lcApplication",    "lcDatabase",       "lcReserved",
                                        "lcImageViewer",    "IcImageConvert",   "lcAutomation",
                                        "lcPlugins",        "lcImport",         "lcSQLPerformance",
                                        "lcAppPerformance", "lcPluginPerformance", "lcDebug"};
    return NameAt(names, static_cast<unsigned>(Value));
}

QString LogSQLCommandName(TLogSQLCommand Value) {
    static const char* const names[] = {"scSelect", "scInsert", "scUpdate", "scDelete"};
    return NameAt(names, static_cast<unsigned>(Value));
}

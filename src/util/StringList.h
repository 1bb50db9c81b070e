// StringList.h: the toolkit's string list: strings in order or sorted, each with an optional object,
// with delimited text, comma text and line text in both directions. Not thread-safe: one thread at a
// time. Raises EListError for bad indexes, refused duplicates and edits a sorted list forbids, and
// EStreamError (naming the file) when LoadFromFile/SaveToFile fail.
//
// Comparison: case-insensitive lists compare case-folded UTF-16 code units, case-sensitive lists
// compare the code units themselves (ordinal). Windows' locale compare ("a" < "A" < "b") depends on
// the user's locale and so would make sort orders differ between machines; ordinal order is the same
// everywhere. Sort, Find and IndexOf all use CompareStrings, so a sorted list always finds what it holds.
#pragma once
#include <QChar>
#include <QString>
#include <functional>
#include <vector>

// The base of everything an object slot can hold. A list that owns its objects deletes them through
// this virtual destructor, so owned values (map value copies, the item lists of a section list) need
// no per-list deleter, while lists that merely point at objects keep plain pointers, as in the toolkit.
class TObject {
public:
    virtual ~TObject() = default;
};

enum class TDuplicates : int { dupIgnore = 0, dupAccept = 1, dupError = 2 };

class TStringList;
using TStringListSortCompare = std::function<int(TStringList* List, int Index1, int Index2)>;
using TNotifyEvent = std::function<void(TObject* Sender)>;

class TStringList : public TObject {
public:
    TStringList();
    // With OwnsObjects the list deletes an entry's object when the entry is deleted or the list cleared
    // or destroyed, and an object handed to AddObject whose string a sorted list refuses as a duplicate
    // (dupIgnore or dupError), so the refused object never leaks.
    explicit TStringList(bool OwnsObjects);
    ~TStringList() override;
    TStringList(const TStringList&) = delete;
    TStringList& operator=(const TStringList&) = delete;

    int Add(const QString& S);
    // Sorted: inserted at its sorted place; a duplicate is ignored (the existing index is returned),
    // accepted or refused per Duplicates. Unsorted: appended.
    virtual int AddObject(const QString& S, TObject* AObject);
    void AddStrings(const TStringList& Strings);
    // Copies the entries (object pointers shared, not copied) and the list's settings except
    // OwnsObjects; a target that owns its objects must not be given a source's owned objects.
    virtual void Assign(const TStringList& Source);
    void BeginUpdate();
    void EndUpdate();
    virtual void Clear();
    virtual void Delete(int Index);
    // Same count and the same strings in order (ordinal); objects are not compared.
    bool Equals(const TStringList& Strings) const;
    virtual void Exchange(int Index1, int Index2);
    // Binary search; valid on a sorted list only. Index is the match (the first one when duplicates are
    // accepted) or the place where S would be inserted.
    virtual bool Find(const QString& S, int& Index) const;
    virtual int IndexOf(const QString& S) const;
    int IndexOfName(const QString& Name) const;
    int IndexOfObject(const TObject* AObject) const;
    void Insert(int Index, const QString& S);
    virtual void InsertObject(int Index, const QString& S, TObject* AObject);
    // Moves an entry with its object; not allowed on a sorted list.
    virtual void Move(int CurIndex, int NewIndex);
    virtual void Sort();
    // Quicksort with Compare (pivot = middle entry); does nothing when sorted or shorter than two.
    virtual void CustomSort(const TStringListSortCompare& Compare);

    // Line text files: a UTF-8 or UTF-16 byte-order mark decides the encoding; without one the bytes
    // are read as UTF-8 when they are valid UTF-8, else as Windows-1252 (files written on Windows).
    // Saving writes UTF-8 without byte-order mark and the list's LineBreak.
    void LoadFromFile(const QString& FileName);
    void SaveToFile(const QString& FileName) const;

    int Count() const { return static_cast<int>(FList.size()); }
    const QString& Strings(int Index) const;
    void SetStrings(int Index, const QString& S);
    const QString& operator[](int Index) const { return Strings(Index); }
    TObject* Objects(int Index) const;
    // Replaces the object pointer; an owned previous object is not deleted (the toolkit's rule).
    void SetObjects(int Index, TObject* AObject);

    // Name=value entries, split at the first NameValueSeparator.
    QString Names(int Index) const;
    QString Values(const QString& Name) const;
    // An empty Value deletes the entry; a missing name is added.
    void SetValues(const QString& Name, const QString& Value);
    QString ValueFromIndex(int Index) const;
    void SetValueFromIndex(int Index, const QString& Value);

    // Every line followed by LineBreak. Setting splits at CR LF, LF or CR; a final line break adds no
    // empty line.
    QString Text() const;
    void SetText(const QString& Value);
    // Items joined by Delimiter; an item is quoted (QuoteChar doubled inside) when it holds the quote
    // character, the delimiter or, unless StrictDelimiter, a character at or below the blank. A list of
    // one empty string gives two quote characters.
    QString DelimitedText() const;
    // Quoted items run to the closing quote (doubled quotes stand for one; an unclosed quote runs to the
    // end); other items to the next delimiter or, unless StrictDelimiter, also to the next character at
    // or below the blank, and such characters around items are skipped. A delimiter at the very end
    // adds an empty item.
    void SetDelimitedText(const QString& Value);
    // DelimitedText with ",", a double quote and StrictDelimiter off, whatever the list's settings.
    QString CommaText() const;
    void SetCommaText(const QString& Value);

    bool Sorted() const { return FSorted; }
    void SetSorted(bool Value);
    TDuplicates Duplicates() const { return FDuplicates; }
    void SetDuplicates(TDuplicates Value) { FDuplicates = Value; }
    bool CaseSensitive() const { return FCaseSensitive; }
    void SetCaseSensitive(bool Value);
    bool OwnsObjects() const { return FOwnsObjects; }
    void SetOwnsObjects(bool Value) { FOwnsObjects = Value; }
    QChar Delimiter() const { return FDelimiter; }
    void SetDelimiter(QChar Value) { FDelimiter = Value; }
    // QChar() (the null character) means no quote character.
    QChar QuoteChar() const { return FQuoteChar; }
    void SetQuoteChar(QChar Value) { FQuoteChar = Value; }
    bool StrictDelimiter() const { return FStrictDelimiter; }
    void SetStrictDelimiter(bool Value) { FStrictDelimiter = Value; }
    QChar NameValueSeparator() const { return FNameValueSeparator; }
    void SetNameValueSeparator(QChar Value) { FNameValueSeparator = Value; }
    // LF by default, the platform's line break.
    const QString& LineBreak() const { return FLineBreak; }
    void SetLineBreak(const QString& Value) { FLineBreak = Value; }
    int UpdateCount() const { return FUpdateCount; }

    // Fired around every change, once per outermost BeginUpdate/EndUpdate bracket.
    void SetOnChange(TNotifyEvent Value) { FOnChange = std::move(Value); }
    void SetOnChanging(TNotifyEvent Value) { FOnChanging = std::move(Value); }

protected:
    // < 0, 0, > 0 as S1 sorts before, with or after S2 under the list's case sensitivity.
    virtual int CompareStrings(const QString& S1, const QString& S2) const;
    void Changing();
    void Changed();
    void CheckIndex(int Index) const;
    void InsertItem(int Index, const QString& S, TObject* AObject);
    void QuickSort(int L, int R, const TStringListSortCompare& Compare);
    void ExchangeItems(int Index1, int Index2);
    // Appends without sorting or checks; for operations that keep the order themselves.
    void AppendRaw(const QString& S, TObject* AObject);
    void ParseDelimited(const QString& Value, QChar Delimiter, QChar QuoteChar, bool StrictDelimiter);
    QString BuildDelimited(QChar Delimiter, QChar QuoteChar, bool StrictDelimiter) const;

private:
    struct TStringItem {
        QString FString;
        TObject* FObject = nullptr;
    };
    void FreeObject(TObject* AObject) const;

    std::vector<TStringItem> FList;
    bool FSorted = false;
    TDuplicates FDuplicates = TDuplicates::dupIgnore;
    bool FCaseSensitive = false;
    bool FOwnsObjects = false;
    QChar FDelimiter = QLatin1Char(',');
    QChar FQuoteChar = QLatin1Char('"');
    bool FStrictDelimiter = false;
    QChar FNameValueSeparator = QLatin1Char('=');
    QString FLineBreak = QStringLiteral("\n");
    int FUpdateCount = 0;
    TNotifyEvent FOnChange;
    TNotifyEvent FOnChanging;
};

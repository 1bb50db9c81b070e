// _4all.h: small containers on top of the string list: an integer list and two maps from strings to
// strings or integers, plus the toolkit's strict integer conversion. Each container owns its entries;
// one thread at a time. Bad indexes raise EListError, bad integer text EConvertError, file and stream
// failures EStreamError.
#pragma once
#include <QString>
#include <QStringView>
#include <QtGlobal>
#include <memory>
#include <vector>

#include "util/BLTypes.h"

class TStream;

// The value of one hexadecimal digit (either case), or -1 for any other character.
int HexDigit(QChar C);
// The toolkit's integer conversion: leading blanks, an optional sign, decimal digits or "$"/"0x" and
// hexadecimal digits (up to 32 bits, read as two's complement), nothing after. False on anything else
// or on overflow.
bool TryStrToInt(QStringView S, qint32& Value);
// As TryStrToInt; raises EConvertError "'<S>' is not a valid integer value" on bad text.
qint32 StrToInt(const QString& S);

class TIntList {
public:
    int Count() const { return static_cast<int>(FItems.size()); }
    void Clear() { FItems.clear(); }
    int Add(qint32 Value);
    void AddIntList(const TIntList& Other);
    void Insert(int Index, qint32 Value);
    void Delete(int Index);
    int IndexOf(qint32 Value) const;
    qint32 GetInts(int Index) const;
    void SetInts(int Index, qint32 Value);
    // Same count and the same values in order.
    bool Equals(const TIntList& Other) const;
    // Ascending.
    void Sort();
    // The largest value; the smallest 32-bit integer for an empty list.
    qint32 GetMax() const;
    // The smallest value; the largest 32-bit integer for an empty list.
    qint32 GetMin() const;
    QString GetAsString(const QString& Separator) const;
    // Clears, then adds every non-empty piece of Value split at Separator; raises EConvertError on a
    // piece that is not an integer (the list then holds the pieces before it).
    void SetAsString(const QString& Separator, const QString& Value);

private:
    void CheckIndex(int Index) const;

    std::vector<qint32> FItems;
};

// Keys are compared with regard to case. Sorted maps (the default) find keys by binary search and keep
// them in the string list's order; unsorted maps search linearly and keep insertion order.
class TMapStrToStr {
public:
    TMapStrToStr();
    ~TMapStrToStr();
    TMapStrToStr(const TMapStrToStr&) = delete;
    TMapStrToStr& operator=(const TMapStrToStr&) = delete;

    void Clear();
    int Count() const { return FList->Count(); }
    bool Sorted() const { return FList->Sorted(); }
    void SetSorted(bool Value) { FList->SetSorted(Value); }

    void SetValue(const QString& Key, const QString& Value);
    bool GetValue(const QString& Key, QString& Value) const;
    QString GetValueByKey(const QString& Key, const QString& Default) const;
    // Raises EListError for an index out of range.
    void GetValueByIndex(int Index, QString& Key, QString& Value) const;
    QString GetKey(int Index) const;
    int IndexOf(const QString& Key) const;
    bool RecordExists(const QString& Key, const QString& Value) const;
    // Ignored when Index is out of range.
    void Delete(int Index);
    void Delete(const QString& Key);
    // Clears, takes the source's sorted flag, then copies every pair in the source's order.
    void Assign(const TMapStrToStr& Source);
    // The same pairs, whatever the order.
    bool Equals(const TMapStrToStr& Other) const;

    // Key, separator, value, separator for every pair in order; separators inside keys and values
    // become "_".
    QString GetAsKeyValueList(const QString& Separator) const;
    // Clears, then takes the pieces of Value split at Separator pairwise; an unpaired last piece is
    // ignored.
    void SetAsKeyValueList(const QString& Separator, const QString& Value);
    // The key/value list with separator character 3 as UTF-16 LE without byte-order mark, written from
    // position 0; the stream is cut behind it, so a longer old content cannot survive as a tail.
    void SaveToStream(TStream& Stream) const;
    // Reads the whole stream as saved by SaveToStream.
    void LoadFromStream(TStream& Stream);
    void SaveToFile(const QString& FileName) const;
    void LoadFromFile(const QString& FileName);

private:
    std::unique_ptr<TBLStringList> FList;  // keys; each object a TMapStrValue, owned
};

class TMapStrToInt {
public:
    TMapStrToInt();
    ~TMapStrToInt();
    TMapStrToInt(const TMapStrToInt&) = delete;
    TMapStrToInt& operator=(const TMapStrToInt&) = delete;

    void Clear() { FList->Clear(); }
    int Count() const { return FList->Count(); }
    // Adds the key when missing; returns its index.
    int SetValue(const QString& Key, qint32 Value);
    bool GetValue(const QString& Key, qint32& Value) const;
    // Raises EListError for an index out of range.
    void GetValueByIndex(int Index, QString& Key, qint32& Value) const;
    // Raises EListError for an index out of range.
    void Delete(int Index);
    void DeleteValue(const QString& Key);
    // The key list itself (sorted; objects are the map's TMapIntValue entries).
    TBLStringList& GetKeys() { return *FList; }

private:
    std::unique_ptr<TBLStringList> FList;  // keys; each object a TMapIntValue, owned
};

// The object-slot values of the two maps.
class TMapStrValue : public TObject {
public:
    explicit TMapStrValue(const QString& Value) : FValue(Value) {}
    QString FValue;
};

class TMapIntValue : public TObject {
public:
    explicit TMapIntValue(qint32 Value) : FValue(Value) {}
    qint32 FValue = 0;
};

// BLTypes.h: the system's basic types. Objects belong to whoever creates them; one thread at a time.
#pragma once
#include <QChar>
#include <QString>
#include <memory>

#include "util/Streams.h"
#include "util/StringList.h"

// ---- String list and fast memory stream ----------------------------------------------------------
// TBLStringList is the toolkit string list made case-sensitive from construction on, with a few
// extra operations; TFastMemoryStream grows in large steps. List errors raise EListError, allocation
// failures EStreamError.

class TBLStringList : public TStringList {
public:
    TBLStringList();
    explicit TBLStringList(bool OwnsObjects);

    // A new list with the same entries and settings (Assign): the objects are shared, not owned.
    std::unique_ptr<TBLStringList> Clone() const;
    // Appends empty entries up to Value, or deletes entries from the end. Growing a sorted list raises
    // EListError: empty entries have no place of their own there (a duplicate-free list could never
    // reach the count).
    void SetCount(int Value);
    // The quicksort of the base (middle pivot, no effect when sorted or shorter than two) by
    // UTF-16 code units; a string that is a prefix of a longer one sorts first.
    void SortOld();
    // Strict delimiter DelChar; IgnoreDuplicates makes the list sorted without duplicates, otherwise
    // unsorted with duplicates. Items starting with the quote character are read as quoted strings
    // (doubled quotes stand for one; text between the closing quote and the next delimiter is kept
    // with the item); TrimStrings cuts characters at or below the blank at both ends of each item;
    // a delimiter at the very end adds an empty item.
    void BLSetDelimitedText(const QString& Value, QChar DelChar, bool TrimStrings, bool IgnoreDuplicates);
};

class TFastMemoryStream : public TMemoryStream {
public:
    explicit TFastMemoryStream(bool ForBigCapacity = false);

    qint64 MemoryDelta() const { return FMemoryDelta; }

protected:
    // Every capacity request above 0 is rounded up to a multiple of MemoryDelta; 0 frees the memory.
    char* Realloc(qint64& NewCapacity) override;

private:
    qint64 FMemoryDelta = 8192;
};

// ---- End of string list and fast memory stream ---------------------------------------------------

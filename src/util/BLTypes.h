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

// ---- Logging types -------------------------------------------------------------------------------
// The enumerations of the diagnostic log, their sets, the settings record and the observer type of
// a logging object. Ordinals are stored: a set is a bit mask with bit n for ordinal n, and the
// settings keep members by name.
#include <cstdint>
#include <functional>
#include <initializer_list>

enum class TMessageLogType : std::uint8_t { tmlMessage = 0, tmlWarning = 1, tmlError = 2, tmlDebug = 3 };

// IcImageConvert is spelled with a capital I: stored settings name it so.
enum class TLogChannel : std::uint8_t {
    lcApplication = 0, lcDatabase = 1, lcReserved = 2, lcImageViewer = 3, IcImageConvert = 4,
    lcAutomation = 5, lcPlugins = 6, lcImport = 7, lcSQLPerformance = 8, lcAppPerformance = 9,
    lcPluginPerformance = 10, lcDebug = 11
};

enum class TLogSQLCommand : std::uint8_t { scSelect = 0, scInsert = 1, scUpdate = 2, scDelete = 3 };

// A set of enumeration members held as a bit mask (bit n for ordinal n), as stored and compared.
template <typename E, typename Storage>
class TBLEnumSet {
public:
    constexpr TBLEnumSet() = default;
    constexpr TBLEnumSet(std::initializer_list<E> Members) {
        for (E member : Members)
            Include(member);
    }
    static constexpr TBLEnumSet FromMask(Storage Mask) {
        TBLEnumSet result;
        result.FMask = Mask;
        return result;
    }
    constexpr Storage Mask() const { return FMask; }
    constexpr bool Contains(E Member) const {
        return ((static_cast<unsigned>(FMask) >> static_cast<unsigned>(Member)) & 1u) != 0;
    }
    constexpr void Include(E Member) { FMask = static_cast<Storage>(FMask | (Storage(1) << static_cast<unsigned>(Member))); }
    constexpr void Exclude(E Member) { FMask = static_cast<Storage>(FMask & ~(Storage(1) << static_cast<unsigned>(Member))); }
    constexpr void Clear() { FMask = 0; }
    constexpr bool IsEmpty() const { return FMask == 0; }
    constexpr bool operator==(const TBLEnumSet&) const = default;

private:
    Storage FMask = 0;
};

using TMessageLogTypes = TBLEnumSet<TMessageLogType, std::uint8_t>;
using TLogChannels = TBLEnumSet<TLogChannel, std::uint16_t>;
using TLogSQLCommands = TBLEnumSet<TLogSQLCommand, std::uint8_t>;

// Member names in ordinal order, as the settings store them; out-of-range values give "".
QString MessageLogTypeName(TMessageLogType Value);
QString LogChannelName(TLogChannel Value);
QString LogSQLCommandName(TLogSQLCommand Value);
constexpr int MessageLogTypeCount = 4;
constexpr int LogChannelCount = 12;
constexpr int LogSQLCommandCount = 4;

struct TLogSQLProps {
    TLogSQLCommands LogSQLCommands{TLogSQLCommand::scInsert, TLogSQLCommand::scUpdate, TLogSQLCommand::scDelete};
    QString LogTables;  // comma-separated table names
    bool operator==(const TLogSQLProps&) const = default;
};

// The log settings; a value type (copies are deep).
struct TBLLogProps {
    bool LogEnabled = false;
    TMessageLogTypes LogTypes{TMessageLogType::tmlMessage, TMessageLogType::tmlWarning, TMessageLogType::tmlError};
    TLogChannels LogChannels{TLogChannel::lcApplication, TLogChannel::lcDatabase, TLogChannel::lcImageViewer,
                             TLogChannel::lcImport};
    TLogSQLProps LogSQLProps;
    QString LogFolder;  // empty: the default log folder
    std::int32_t KeepDays = 0;  // 0 or less keeps all files
    bool AutoClear = false;
    bool operator==(const TBLLogProps&) const = default;
};

class TBLBaseLoggingObject;
// Observer of a logging object: the complete prefixed text and its type.
using TBLLogEvent = std::function<void(TBLBaseLoggingObject* Sender, const QString& AText, TMessageLogType MsgType)>;

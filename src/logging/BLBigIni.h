// BLBigIni.h: INI files held wholly in memory: a list of sections, each with its item lines exactly as
// read ("key=value"); reads are answered from memory, changes written back on FlushFile and when the
// object is destroyed. One thread at a time. A missing file reads as empty; a file that exists but
// cannot be read, and a failed write, raise EStreamError naming the file (the destructor reports its
// failure on standard error instead, it never throws).
#pragma once
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <functional>
#include <memory>

#include "util/BLTypes.h"

// Decides about a section whose name occurs again while a file is loaded. True drops the later
// duplicate (what happens without a callback); false lets its items replace those of the first
// occurrence, which keeps its place and name.
using TEraseSectionCallback =
    std::function<bool(const QString& SectionName, TBLStringList* FirstItems, TBLStringList* DuplicateItems)>;

// Section names with their item lists (TBLStringList objects, owned). IndexOf finds a name without
// regard to case, starting at the section found last and wrapping round: readers mostly ask for
// the same or the next section.
class TSectionList : public TStringList {
public:
    TSectionList();

    int IndexOf(const QString& S) const override;
    // Appends a section with an empty item list; returns its index.
    int AddSection(const QString& Name);
    TBLStringList* Items(int Index) const;
    int PrevIndex() const { return FPrevIndex; }

private:
    mutable int FPrevIndex = 0;  // where the next search starts
};

// A font as the INI file stores it (name, size in points, colour as 0x00BBGGRR, style bits).
struct TIniFont {
    QString Name;
    int Size = 0;
    quint32 Color = 0;
    int Style = 0;  // fsBold 1, fsItalic 2, fsUnderline 4, fsStrikeOut 8
    bool operator==(const TIniFont&) const = default;
};

class TBigIniFile {
public:
    // Loads FileName when it exists. ForceUtf8File reads files without byte-order mark as UTF-8
    // (otherwise as Windows-1252) and makes write-back use UTF-16.
    explicit TBigIniFile(const QString& FileName, bool ForceUtf8File = false);
    virtual ~TBigIniFile();
    TBigIniFile(const TBigIniFile&) = delete;
    TBigIniFile& operator=(const TBigIniFile&) = delete;

    void Clear();
    // Adds the sections of another file under the loading rules (a section already present keeps its
    // items); a missing file adds nothing.
    void AppendFromFile(const QString& FileName);

    // The text after the item's first "=" as it stands, or Default when the section or key is missing.
    QString ReadString(const QString& Section, const QString& Key, const QString& Default);
    // Decimal, or hexadecimal after "0x"/"0X" (also "$"); Default for anything else.
    qint32 ReadInteger(const QString& Section, const QString& Key, qint32 Default);
    bool ReadBool(const QString& Section, const QString& Key, bool Default);
    // Dates and times are ISO 8601 text (yyyy-MM-dd, HH:mm:ss, yyyy-MM-ddTHH:mm:ss); decimals use ".".
    QDate ReadDate(const QString& Section, const QString& Key, const QDate& Default);
    QDateTime ReadDateTime(const QString& Section, const QString& Key, const QDateTime& Default);
    double ReadFloat(const QString& Section, const QString& Key, double Default);
    QTime ReadTime(const QString& Section, const QString& Key, const QTime& Default);

    // Adds the section when missing and the item when missing (at the end), else replaces its line.
    void WriteString(const QString& Section, const QString& Key, const QString& Value);
    void WriteInteger(const QString& Section, const QString& Key, qint32 Value);
    void WriteBool(const QString& Section, const QString& Key, bool Value);
    void WriteDate(const QString& Section, const QString& Key, const QDate& Value);
    void WriteDateTime(const QString& Section, const QString& Key, const QDateTime& Value);
    void WriteFloat(const QString& Section, const QString& Key, double Value);
    void WriteTime(const QString& Section, const QString& Key, const QTime& Value);

    // The keys of a section (Strings cleared first; lines without "=" have none).
    void ReadSection(const QString& Section, TStringList& Strings);
    // All section names (Strings cleared first).
    void ReadSections(TStringList& Strings);
    // The item lines of a section, appended (Strings cleared first with FlagClearOnReadSectionValues).
    void ReadSectionValues(const QString& Section, TStringList& Strings);
    // The lines the file would be written with (Strings cleared first).
    void ReadAll(TStringList& Strings);

    // Writes the file when something changed; UpdateFile writes it in any case. The new content goes
    // to a temporary file beside it that then replaces the file, so a crash while writing leaves the
    // old file whole.
    void FlushFile();
    void UpdateFile();

    void EraseSection(const QString& Section);
    void DeleteKey(const QString& Section, const QString& Key);
    bool HasSection(const QString& Section);
    bool SectionExists(const QString& Section) { return HasSection(Section); }
    bool ValueExists(const QString& Section, const QString& Key);

    const QString& FileName() const { return FFileName; }
    bool HasChanged() const { return FHasChanged; }
    bool IsUnicodeFile() const { return FIsUnicodeFile; }
    bool IsUTF8File() const { return FIsUTF8File; }
    bool ForceUtf8() const { return FForceUtf8; }
    TSectionList& SectionList() { return *FSectionList; }

    // The option flags change how later loads (AppendFromFile) treat lines; all are off by default.
    void SetEraseSectionCallback(TEraseSectionCallback Value) { FEraseSectionCallback = std::move(Value); }
    bool FlagClearOnReadSectionValues() const { return FFlagClearOnReadSectionValues; }
    void SetFlagClearOnReadSectionValues(bool Value) { FFlagClearOnReadSectionValues = Value; }
    bool FlagDropCommentLines() const { return FFlagDropCommentLines; }
    void SetFlagDropCommentLines(bool Value) { FFlagDropCommentLines = Value; }
    bool FlagFilterOutInvalid() const { return FFlagFilterOutInvalid; }
    void SetFlagFilterOutInvalid(bool Value) { FFlagFilterOutInvalid = Value; }
    bool FlagDropWhiteSpace() const { return FFlagDropWhiteSpace; }
    void SetFlagDropWhiteSpace(bool Value) { FFlagDropWhiteSpace = Value; }
    bool FlagDropApostrophes() const { return FFlagDropApostrophes; }
    void SetFlagDropApostrophes(bool Value) { FFlagDropApostrophes = Value; }
    bool FlagTrimRight() const { return FFlagTrimRight; }
    void SetFlagTrimRight(bool Value) { FFlagTrimRight = Value; }
    // Kept for callers that tune it; loading reads the whole file at once whatever its value.
    int TextBufferSize() const { return FTextBufferSize; }
    void SetTextBufferSize(int Value) { FTextBufferSize = Value; }

protected:
    // -1 when missing; remembered as the start of the next search.
    int FindSection(const QString& Section);
    // The item list of Section, created (appended) when missing.
    TBLStringList* SectionItems(const QString& Section);
    static int FindItem(const TBLStringList& Items, QStringView Key);
    void WriteFile();
    void MarkChanged() { FHasChanged = true; }

private:
    TEraseSectionCallback FEraseSectionCallback;
    QString FFileName;
    int FPrevSectionIndex = 0;
    bool FFlagClearOnReadSectionValues = false;
    bool FFlagDropCommentLines = false;
    bool FFlagFilterOutInvalid = false;
    bool FFlagDropWhiteSpace = false;
    bool FFlagDropApostrophes = false;
    bool FFlagTrimRight = false;
    std::unique_ptr<TSectionList> FSectionList;
    bool FHasChanged = false;
    int FTextBufferSize = 0x7000;
    bool FIsUnicodeFile = false;
    bool FIsUTF8File = false;
    bool FForceUtf8 = false;
};

class TBiggerIniFile : public TBigIniFile {
public:
    using TBigIniFile::TBigIniFile;

    // Replaces the items of Section with the non-empty lines of Strings.
    void WriteSectionValues(const QString& Section, const TStringList& Strings);
    // Items Prefix + "Count" and Prefix + N for N from IndexStart on; Strings cleared first.
    void ReadNumberedList(const QString& Section, TStringList& Strings, const QString& Default,
                          const QString& Prefix = QString(), int IndexStart = 1);
    // Removes the items of the previous list of that prefix, then writes the count and the entries.
    void WriteNumberedList(const QString& Section, const TStringList& Strings, const QString& Prefix = QString(),
                           int IndexStart = 1);
    // Colours as "$00BBGGRR"; reading also accepts decimal and "0x" text.
    quint32 ReadColor(const QString& Section, const QString& Key, quint32 Default);
    void WriteColor(const QString& Section, const QString& Key, quint32 Value);
    // One value: comma text of name, size, colour and style.
    TIniFont ReadFont(const QString& Section, const QString& Key, const TIniFont& Default);
    void WriteFont(const QString& Section, const QString& Key, const TIniFont& Value);
    // False when the old name is missing or the new one taken by another section.
    bool RenameSection(const QString& OldSection, const QString& NewSection);
    // False when the old key is missing or the new one present.
    bool RenameKey(const QString& Section, const QString& OldKey, const QString& NewKey);
    // Writes Value, or removes the key when Value equals Default, so files keep only what differs.
    void WriteBoolDef(const QString& Section, const QString& Key, bool Value, bool Default);
};

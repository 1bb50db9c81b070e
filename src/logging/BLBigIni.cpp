#include "logging/BLBigIni.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QSaveFile>
#include <QStringDecoder>
#include <cstdio>

#include "platform/CodePages.h"
#include "util/Exception.h"
#include "util/_4all.h"

namespace {

const QString LineEnd = QStringLiteral("\r\n");

bool IsBlankOrTab(QChar C) { return C == QLatin1Char(' ') || C == QLatin1Char('\t'); }

// Applies the optional line filters; false drops the line.
struct TLineOptions {
    bool DropCommentLines = false;
    bool FilterOutInvalid = false;
    bool DropWhiteSpace = false;
    bool DropApostrophes = false;
};

bool FilterItem(QString& Line, const TLineOptions& Options) {
    if (Options.DropCommentLines && Line.startsWith(QLatin1Char(';')))
        return false;
    const qsizetype eq = Line.indexOf(QLatin1Char('='));
    if (eq < 0)
        return !Options.FilterOutInvalid;
    if (!Options.DropWhiteSpace && !Options.DropApostrophes)
        return true;
    QStringView key = QStringView(Line).left(eq);
    QStringView value = QStringView(Line).mid(eq + 1);
    if (Options.DropWhiteSpace) {
        while (!key.isEmpty() && IsBlankOrTab(key.back()))
            key.chop(1);
        while (!value.isEmpty() && IsBlankOrTab(value.front()))
            value = value.mid(1);
    }
    if (Options.DropApostrophes && value.size() >= 2 && value.front() == value.back() &&
        (value.front() == QLatin1Char('"') || value.front() == QLatin1Char('\'')))
        value = value.mid(1, value.size() - 2);
    Line = key.toString() + QLatin1Char('=') + value.toString();
    return true;
}

QString KeyOf(const QString& Line) {
    const qsizetype eq = Line.indexOf(QLatin1Char('='));
    return eq < 0 ? QString() : Line.left(eq);
}

QString FoldedName(const QString& Name) { return Name.toCaseFolded(); }

}  // namespace

// ---- TSectionList ---------------------------------------------------------------------------------

TSectionList::TSectionList() : TStringList(true) {}

int TSectionList::IndexOf(const QString& S) const {
    const int n = Count();
    if (n == 0)
        return -1;
    const int start = FPrevIndex >= 0 && FPrevIndex < n ? FPrevIndex : 0;
    for (int k = 0; k < n; ++k) {
        const int i = (start + k) % n;
        if (QString::compare(Strings(i), S, Qt::CaseInsensitive) == 0) {
            FPrevIndex = i;
            return i;
        }
    }
    return -1;
}

int TSectionList::AddSection(const QString& Name) { return AddObject(Name, new TBLStringList()); }

TBLStringList* TSectionList::Items(int Index) const { return static_cast<TBLStringList*>(Objects(Index)); }

// ---- TBigIniFile ----------------------------------------------------------------------------------

TBigIniFile::TBigIniFile(const QString& FileName, bool ForceUtf8File)
    : FFileName(FileName), FSectionList(std::make_unique<TSectionList>()), FForceUtf8(ForceUtf8File) {
    AppendFromFile(FileName);
}

TBigIniFile::~TBigIniFile() {
    try {
        FlushFile();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
    }
}

void TBigIniFile::Clear() {
    if (FSectionList->Count() > 0)
        MarkChanged();
    FSectionList->Clear();
    FPrevSectionIndex = 0;
}

void TBigIniFile::AppendFromFile(const QString& FileName) {
    if (!QFileInfo::exists(FileName))
        return;
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EStreamError(QStringLiteral("Cannot open file \"%1\". %2").arg(FileName, file.errorString()));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EStreamError(QStringLiteral("Cannot read file \"%1\". %2").arg(FileName, file.errorString()));
    file.close();

    // Invalid byte sequences become replacement characters; nothing stops the load.
    QString text;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        FIsUTF8File = true;
        text = QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    } else if (bytes.startsWith("\xFF\xFE") || bytes.startsWith("\xFE\xFF")) {
        FIsUnicodeFile = true;
        QStringDecoder decoder(bytes.startsWith("\xFF\xFE") ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        text = decoder(QByteArrayView(bytes).sliced(2));
    } else if (FForceUtf8) {
        text = QString::fromUtf8(bytes);
    } else {
        text = Platform::DecodeAnsi(bytes);
    }

    const TLineOptions options{FFlagDropCommentLines, FFlagFilterOutInvalid, FFlagDropWhiteSpace, FFlagDropApostrophes};
    // Folded names of the sections present, so duplicates are found without a search per header.
    QHash<QString, int> known;
    for (int i = 0; i < FSectionList->Count(); ++i)
        known.insert(FoldedName(FSectionList->Strings(i)), i);

    TBLStringList* current = nullptr;            // items of the section being read; null before the first
    std::unique_ptr<TBLStringList> duplicate;    // items of a repeated section, decided on at its end
    int duplicateOf = -1;
    auto settleDuplicate = [&] {
        if (!duplicate)
            return;
        TBLStringList* first = FSectionList->Items(duplicateOf);
        if (FEraseSectionCallback &&
            !FEraseSectionCallback(FSectionList->Strings(duplicateOf), first, duplicate.get())) {
            first->Clear();
            first->AddStrings(*duplicate);
        }
        duplicate.reset();
        MarkChanged();
    };

    const qsizetype n = text.size();
    qsizetype start = 0;
    while (start < n) {
        qsizetype end = text.indexOf(QLatin1Char('\n'), start);
        const qsizetype next = end < 0 ? n : end + 1;
        if (end < 0)
            end = n;
        // A CR before the LF belongs to the line end; so does one ending the text.
        qsizetype stop = end;
        if (stop > start && text[stop - 1] == QLatin1Char('\r'))
            --stop;
        QString line = text.mid(start, stop - start);
        start = next;

        if (line.contains(QChar(0)))
            line.remove(QChar(0));
        if (FFlagTrimRight) {
            qsizetype k = line.size();
            while (k > 0 && line[k - 1].unicode() <= ' ')
                --k;
            line.truncate(k);
        }
        if (line.isEmpty() || (line.size() == 1 && line[0] == QChar(0x1A)))
            continue;

        if (line.size() >= 2 && line.front() == QLatin1Char('[') && line.back() == QLatin1Char(']')) {
            settleDuplicate();
            const QString name = line.mid(1, line.size() - 2);
            const auto found = known.constFind(FoldedName(name));
            if (found != known.constEnd()) {
                duplicate = std::make_unique<TBLStringList>();
                duplicateOf = found.value();
                current = duplicate.get();
            } else {
                const int index = FSectionList->AddSection(name);
                known.insert(FoldedName(name), index);
                current = FSectionList->Items(index);
            }
            continue;
        }
        if (!current || !FilterItem(line, options))
            continue;
        current->Add(line);
    }
    settleDuplicate();
}

int TBigIniFile::FindSection(const QString& Section) {
    const int index = FSectionList->IndexOf(Section);
    if (index >= 0)
        FPrevSectionIndex = index;
    return index;
}

TBLStringList* TBigIniFile::SectionItems(const QString& Section) {
    int index = FindSection(Section);
    if (index < 0) {
        index = FSectionList->AddSection(Section);
        FPrevSectionIndex = index;
    }
    return FSectionList->Items(index);
}

int TBigIniFile::FindItem(const TBLStringList& Items, QStringView Key) {
    for (int i = 0; i < Items.Count(); ++i) {
        const QString& line = Items[i];
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq >= 0 && QStringView(line).left(eq).compare(Key, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString TBigIniFile::ReadString(const QString& Section, const QString& Key, const QString& Default) {
    const int section = FindSection(Section);
    if (section < 0)
        return Default;
    const TBLStringList& items = *FSectionList->Items(section);
    const int item = FindItem(items, Key);
    if (item < 0)
        return Default;
    const QString& line = items[item];
    return line.mid(line.indexOf(QLatin1Char('=')) + 1);
}

qint32 TBigIniFile::ReadInteger(const QString& Section, const QString& Key, qint32 Default) {
    qint32 value = 0;
    return TryStrToInt(ReadString(Section, Key, QString()), value) ? value : Default;
}

bool TBigIniFile::ReadBool(const QString& Section, const QString& Key, bool Default) {
    return ReadInteger(Section, Key, Default ? 1 : 0) != 0;
}

QDate TBigIniFile::ReadDate(const QString& Section, const QString& Key, const QDate& Default) {
    const QDate value = QDate::fromString(ReadString(Section, Key, QString()), Qt::ISODate);
    return value.isValid() ? value : Default;
}

QDateTime TBigIniFile::ReadDateTime(const QString& Section, const QString& Key, const QDateTime& Default) {
    const QDateTime value = QDateTime::fromString(ReadString(Section, Key, QString()), Qt::ISODate);
    return value.isValid() ? value : Default;
}

double TBigIniFile::ReadFloat(const QString& Section, const QString& Key, double Default) {
    bool ok = false;
    const double value = ReadString(Section, Key, QString()).toDouble(&ok);
    return ok ? value : Default;
}

QTime TBigIniFile::ReadTime(const QString& Section, const QString& Key, const QTime& Default) {
    const QTime value = QTime::fromString(ReadString(Section, Key, QString()), Qt::ISODate);
    return value.isValid() ? value : Default;
}

void TBigIniFile::WriteString(const QString& Section, const QString& Key, const QString& Value) {
    TBLStringList* items = SectionItems(Section);
    const QString line = Key + QLatin1Char('=') + Value;
    const int item = FindItem(*items, Key);
    if (item < 0) {
        items->Add(line);
    } else {
        if ((*items)[item] == line)
            return;
        items->SetStrings(item, line);
    }
    MarkChanged();
}

void TBigIniFile::WriteInteger(const QString& Section, const QString& Key, qint32 Value) {
    WriteString(Section, Key, QString::number(Value));
}

void TBigIniFile::WriteBool(const QString& Section, const QString& Key, bool Value) {
    WriteString(Section, Key, Value ? QStringLiteral("1") : QStringLiteral("0"));
}

void TBigIniFile::WriteDate(const QString& Section, const QString& Key, const QDate& Value) {
    WriteString(Section, Key, Value.toString(Qt::ISODate));
}

void TBigIniFile::WriteDateTime(const QString& Section, const QString& Key, const QDateTime& Value) {
    WriteString(Section, Key, Value.toString(Qt::ISODate));
}

void TBigIniFile::WriteFloat(const QString& Section, const QString& Key, double Value) {
    WriteString(Section, Key, QString::number(Value, 'g', QLocale::FloatingPointShortest));
}

void TBigIniFile::WriteTime(const QString& Section, const QString& Key, const QTime& Value) {
    WriteString(Section, Key, Value.toString(Qt::ISODate));
}

void TBigIniFile::ReadSection(const QString& Section, TStringList& Strings) {
    Strings.BeginUpdate();
    Strings.Clear();
    const int section = FindSection(Section);
    if (section >= 0) {
        const TBLStringList& items = *FSectionList->Items(section);
        for (int i = 0; i < items.Count(); ++i)
            if (items[i].contains(QLatin1Char('=')))
                Strings.Add(KeyOf(items[i]));
    }
    Strings.EndUpdate();
}

void TBigIniFile::ReadSections(TStringList& Strings) {
    Strings.BeginUpdate();
    Strings.Clear();
    for (int i = 0; i < FSectionList->Count(); ++i)
        Strings.Add(FSectionList->Strings(i));
    Strings.EndUpdate();
}

void TBigIniFile::ReadSectionValues(const QString& Section, TStringList& Strings) {
    Strings.BeginUpdate();
    if (FFlagClearOnReadSectionValues)
        Strings.Clear();
    const int section = FindSection(Section);
    if (section >= 0)
        Strings.AddStrings(*FSectionList->Items(section));
    Strings.EndUpdate();
}

void TBigIniFile::ReadAll(TStringList& Strings) {
    Strings.BeginUpdate();
    Strings.Clear();
    for (int i = 0; i < FSectionList->Count(); ++i) {
        const TBLStringList& items = *FSectionList->Items(i);
        if (items.Count() == 0)
            continue;
        Strings.Add(QLatin1Char('[') + FSectionList->Strings(i) + QLatin1Char(']'));
        for (int k = 0; k < items.Count(); ++k)
            Strings.Add(items[k]);
        Strings.Add(QString());
    }
    Strings.EndUpdate();
}

void TBigIniFile::FlushFile() {
    if (FHasChanged)
        WriteFile();
}

void TBigIniFile::UpdateFile() { WriteFile(); }

void TBigIniFile::WriteFile() {
    if (FFileName.isEmpty())
        return;
    QString text;
    for (int i = 0; i < FSectionList->Count(); ++i) {
        const TBLStringList& items = *FSectionList->Items(i);
        if (items.Count() == 0)
            continue;
        text += QLatin1Char('[') + FSectionList->Strings(i) + QLatin1Char(']') + LineEnd;
        for (int k = 0; k < items.Count(); ++k)
            text += items[k] + LineEnd;
        text += LineEnd;
    }
    QByteArray bytes;
    if (FIsUnicodeFile || FIsUTF8File || FForceUtf8) {
        bytes = QByteArray("\xFF\xFE");
        bytes += QStringEncoder(QStringEncoder::Utf16LE)(text);
    } else {
        bytes = Platform::EncodeAnsi(text);
    }

    // Written beside the file and renamed over it: a crash or a full disk leaves the old file whole
    // instead of a truncated one.
    QSaveFile file(FFileName);
    if (!file.open(QIODevice::WriteOnly))
        throw EStreamError(QStringLiteral("Cannot create file \"%1\". %2").arg(FFileName, file.errorString()));
    if (file.write(bytes) != bytes.size() || !file.commit())
        throw EStreamError(QStringLiteral("Cannot write file \"%1\". %2").arg(FFileName, file.errorString()));
    FHasChanged = false;
}

void TBigIniFile::EraseSection(const QString& Section) {
    const int section = FindSection(Section);
    if (section < 0)
        return;
    FSectionList->Delete(section);
    FPrevSectionIndex = 0;
    MarkChanged();
}

void TBigIniFile::DeleteKey(const QString& Section, const QString& Key) {
    const int section = FindSection(Section);
    if (section < 0)
        return;
    TBLStringList* items = FSectionList->Items(section);
    const int item = FindItem(*items, Key);
    if (item < 0)
        return;
    items->Delete(item);
    MarkChanged();
}

bool TBigIniFile::HasSection(const QString& Section) { return FindSection(Section) >= 0; }

bool TBigIniFile::ValueExists(const QString& Section, const QString& Key) {
    const int section = FindSection(Section);
    return section >= 0 && FindItem(*FSectionList->Items(section), Key) >= 0;
}

// ---- TBiggerIniFile -------------------------------------------------------------------------------

void TBiggerIniFile::WriteSectionValues(const QString& Section, const TStringList& Strings) {
    TBLStringList* items = SectionItems(Section);
    items->BeginUpdate();
    items->Clear();
    for (int i = 0; i < Strings.Count(); ++i)
        if (!Strings[i].isEmpty())
            items->Add(Strings[i]);
    items->EndUpdate();
    MarkChanged();
}

void TBiggerIniFile::ReadNumberedList(const QString& Section, TStringList& Strings, const QString& Default,
                                      const QString& Prefix, int IndexStart) {
    Strings.BeginUpdate();
    Strings.Clear();
    const int count = ReadInteger(Section, Prefix + QStringLiteral("Count"), 0);
    for (int i = 0; i < count; ++i)
        Strings.Add(ReadString(Section, Prefix + QString::number(IndexStart + i), Default));
    Strings.EndUpdate();
}

void TBiggerIniFile::WriteNumberedList(const QString& Section, const TStringList& Strings, const QString& Prefix,
                                       int IndexStart) {
    const int oldCount = ReadInteger(Section, Prefix + QStringLiteral("Count"), 0);
    for (int i = 0; i < oldCount; ++i)
        DeleteKey(Section, Prefix + QString::number(IndexStart + i));
    WriteInteger(Section, Prefix + QStringLiteral("Count"), Strings.Count());
    for (int i = 0; i < Strings.Count(); ++i)
        WriteString(Section, Prefix + QString::number(IndexStart + i), Strings[i]);
}

quint32 TBiggerIniFile::ReadColor(const QString& Section, const QString& Key, quint32 Default) {
    qint32 value = 0;
    return TryStrToInt(ReadString(Section, Key, QString()), value) ? static_cast<quint32>(value) : Default;
}

void TBiggerIniFile::WriteColor(const QString& Section, const QString& Key, quint32 Value) {
    WriteString(Section, Key, QStringLiteral("$%1").arg(Value, 8, 16, QLatin1Char('0')).toUpper());
}

TIniFont TBiggerIniFile::ReadFont(const QString& Section, const QString& Key, const TIniFont& Default) {
    TStringList parts;
    parts.SetCommaText(ReadString(Section, Key, QString()));
    qint32 size = 0;
    qint32 color = 0;
    qint32 style = 0;
    if (parts.Count() != 4 || parts[0].isEmpty() || !TryStrToInt(parts[1], size) || !TryStrToInt(parts[2], color) ||
        !TryStrToInt(parts[3], style))
        return Default;
    return TIniFont{parts[0], size, static_cast<quint32>(color), style};
}

void TBiggerIniFile::WriteFont(const QString& Section, const QString& Key, const TIniFont& Value) {
    TStringList parts;
    parts.Add(Value.Name);
    parts.Add(QString::number(Value.Size));
    parts.Add(QStringLiteral("$%1").arg(Value.Color, 8, 16, QLatin1Char('0')).toUpper());
    parts.Add(QString::number(Value.Style));
    WriteString(Section, Key, parts.CommaText());
}

bool TBiggerIniFile::RenameSection(const QString& OldSection, const QString& NewSection) {
    const int section = FindSection(OldSection);
    if (section < 0)
        return false;
    const int other = FindSection(NewSection);
    if (other >= 0 && other != section)
        return false;
    SectionList().SetStrings(section, NewSection);
    MarkChanged();
    return true;
}

bool TBiggerIniFile::RenameKey(const QString& Section, const QString& OldKey, const QString& NewKey) {
    const int section = FindSection(Section);
    if (section < 0)
        return false;
    TBLStringList* items = SectionList().Items(section);
    const int item = FindItem(*items, OldKey);
    if (item < 0)
        return false;
    const int other = FindItem(*items, NewKey);
    if (other >= 0 && other != item)
        return false;
    const QString& line = (*items)[item];
    items->SetStrings(item, NewKey + line.mid(line.indexOf(QLatin1Char('='))));
    MarkChanged();
    return true;
}

void TBiggerIniFile::WriteBoolDef(const QString& Section, const QString& Key, bool Value, bool Default) {
    if (Value == Default)
        DeleteKey(Section, Key);
    else
        WriteBool(Section, Key, Value);
}

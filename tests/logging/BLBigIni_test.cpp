#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStringEncoder>
#include <QStringList>
#include <random>

#include "TestSupport.h"
#include "logging/BLBigIni.h"
#include "util/Exception.h"

namespace {

QByteArray Utf16Le(const QString& Text) { return QStringEncoder(QStringEncoder::Utf16LE)(Text); }

QStringList Items(const TStringList& List) {
    QStringList result;
    for (int i = 0; i < List.Count(); ++i)
        result << List[i];
    return result;
}

const QString AUmlaut = QString::fromUtf8("\xC3\xA4");

// Bytes of a literal, embedded NULs included.
template <size_t N>
QByteArray Bytes(const char (&Literal)[N]) {
    return QByteArray(Literal, N - 1);
}

}  // namespace

TEST(TSectionList, FindsNamesWithoutRegardToCaseFromTheLastFound) {
    TSectionList sections;
    for (const char* name : {"Alpha", "Beta", "beta", "Gamma"})
        sections.AddSection(name);
    EXPECT_EQ(sections.IndexOf("GAMMA"), 3);
    EXPECT_EQ(sections.PrevIndex(), 3);
    // The search starts at Gamma and wraps round, so the first "beta" met is still the earlier one.
    EXPECT_EQ(sections.IndexOf("BETA"), 1);
    EXPECT_EQ(sections.IndexOf("beta"), 1);
    EXPECT_EQ(sections.IndexOf("Delta"), -1);
    EXPECT_EQ(sections.PrevIndex(), 1);
    EXPECT_EQ(sections.Items(0)->Count(), 0);
    EXPECT_TRUE(sections.Items(0)->CaseSensitive());
}

TEST(TBigIniFile, ReadStringFollowsTheLineAndKeyRules) {
    TTempEnvironment environment;
    const QByteArray file = Bytes(
        "Active=before any section\r\n"
        "[DebugLog]\r\n"
        "Type = spaced\r\n"
        "LogFolder= /var/log/rq \r\n"
        "Channels=first\r\n"
        "CHANNELS=second\r\n"
        "Equation=a=b\r\n"
        "Empty=\r\n"
        "no equals sign\r\n"
        "Nul\0Key=x\0y\r\n"
        "\x1A\r\n"
        "Lf=only\n"
        "[Other]\r\n"
        "Type=other\r");
    WriteBytes(environment.FilePath("LogSettings.ini"), file);
    TBiggerIniFile ini(environment.FilePath("LogSettings.ini"), true);

    struct Row {
        const char* Name;
        QString Section;
        QString Key;
        QString Expected;
    };
    const Row rows[] = {
        {"blanks round '=' belong to the key", "DebugLog", "Type", "<default>"},
        {"the key with its blanks", "DebugLog", "Type ", " spaced"},
        {"value kept untrimmed", "DebugLog", "LogFolder", " /var/log/rq "},
        {"key in other letter case, first match wins", "DebugLog", "channels", "first"},
        {"value after the first '='", "DebugLog", "Equation", "a=b"},
        {"empty value", "DebugLog", "Empty", ""},
        {"a line without '=' is no key", "DebugLog", "no equals sign", "<default>"},
        {"NUL characters dropped", "DebugLog", "NulKey", "xy"},
        {"LF alone ends a line", "DebugLog", "Lf", "only"},
        {"section in other letter case", "debuglog", "Channels", "first"},
        {"CR at the end of the text dropped", "Other", "Type", "other"},
        {"lines before the first section ignored", "DebugLog", "Active", "<default>"},
        {"missing section", "Missing", "Type", "<default>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ini.ReadString(row.Section, row.Key, "<default>"), row.Expected);
    }
    EXPECT_FALSE(ini.HasChanged());
}

TEST(TBigIniFile, EncodingFollowsTheByteOrderMark) {
    TTempEnvironment environment;
    struct Row {
        const char* Name;
        QByteArray Bytes;
        bool ForceUtf8;
        QString Expected;
    };
    const QString text = "[S]\r\nKey=" + AUmlaut + "\r\n";
    const Row rows[] = {
        {"UTF-8 with mark", "\xEF\xBB\xBF[S]\nKey=\xC3\xA4\n", false, AUmlaut},
        {"UTF-16 LE", "\xFF\xFE" + Utf16Le(text), false, AUmlaut},
        {"UTF-16 BE", "\xFE\xFF" + QStringEncoder(QStringEncoder::Utf16BE)(text), false, AUmlaut},
        {"no mark, UTF-8 forced", "[S]\nKey=\xC3\xA4\n", true, AUmlaut},
        {"no mark, 8-bit", "[S]\nKey=\xE4\n", false, AUmlaut},
        {"no mark, 8-bit read as UTF-8 when forced", "[S]\nKey=\xC3\xA4\n", false, QString::fromUtf8("\xC3\x83\xC2\xA4")},
        {"invalid UTF-8 becomes a replacement character", "[S]\nKey=\xFF\n", true, QString(QChar::ReplacementCharacter)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString path = environment.FilePath(QString("%1.ini").arg(row.Name));
        WriteBytes(path, row.Bytes);
        TBigIniFile ini(path, row.ForceUtf8);
        EXPECT_EQ(ini.ReadString("S", "Key", "<default>"), row.Expected);
    }
}

TEST(TBigIniFile, ReadIntegerAndReadBoolConvertOrFallBack) {
    TTempEnvironment environment;
    WriteBytes(environment.FilePath("a.ini"),
               "[S]\nDec=42\nNeg=-7\nHex=0x1F\nHexUpper=0X10\nText=abc\nTrailing=1 \nEmpty=\nZero=0\nTwo=2\n");
    TBigIniFile ini(environment.FilePath("a.ini"));
    struct Row {
        const char* Key;
        qint32 Integer;  // with default -1
        bool BoolDefaultFalse;
        bool BoolDefaultTrue;
    };
    const Row rows[] = {
        {"Dec", 42, true, true},       {"Neg", -7, true, true},          {"Hex", 31, true, true},
        {"HexUpper", 16, true, true},  {"Text", -1, false, true},        {"Trailing", -1, false, true},
        {"Empty", -1, false, true},    {"Zero", 0, false, false},        {"Two", 2, true, true},
        {"Missing", -1, false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Key);
        EXPECT_EQ(ini.ReadInteger("S", row.Key, -1), row.Integer);
        EXPECT_EQ(ini.ReadBool("S", row.Key, false), row.BoolDefaultFalse);
        EXPECT_EQ(ini.ReadBool("S", row.Key, true), row.BoolDefaultTrue);
    }
}

TEST(TBigIniFile, DuplicateSectionIsDroppedAndTheFileRewrittenOnDestruction) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("LogSettings.ini");
    WriteBytes(path,
               "; written by hand\r\n"
               "Active=1\r\n"
               "[DebugLog]\r\n"
               "Active=1\r\n"
               "KeepDays=7\r\n"
               "[Empty]\r\n"
               "[debuglog]\r\n"
               "Active=0\r\n"
               "LogFolder=/tmp\r\n"
               "[Other]\r\n"
               "Key=" + QByteArray("\xC3\xA4") + "\r\n");
    {
        TBiggerIniFile ini(path, true);
        EXPECT_TRUE(ini.ReadBool("DebugLog", "Active", false));
        EXPECT_EQ(ini.ReadInteger("DebugLog", "KeepDays", 0), 7);
        EXPECT_EQ(ini.ReadString("DebugLog", "LogFolder", "<default>"), "<default>");
        EXPECT_TRUE(ini.HasChanged());
    }
    const QString expected = "[DebugLog]\r\nActive=1\r\nKeepDays=7\r\n\r\n[Other]\r\nKey=" + AUmlaut + "\r\n\r\n";
    EXPECT_EQ(ReadBytes(path), "\xFF\xFE" + Utf16Le(expected));

    // The rewritten file reads the same and is not written again.
    TBiggerIniFile again(path, true);
    EXPECT_FALSE(again.HasChanged());
    EXPECT_EQ(again.ReadString("Other", "Key", ""), AUmlaut);
}

TEST(TBigIniFile, DuplicateCallbackCanLetTheLaterSectionWin) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("a.ini");
    WriteBytes(path, "[A]\nx=1\n[B]\ny=2\n[a]\nx=3\n[A]\nx=4\n");
    QStringList asked;
    TBigIniFile probe(QString(), false);
    // Callbacks act on later loads: the constructor has run by the time one can be set.
    probe.SetEraseSectionCallback([&](const QString& Name, TBLStringList* First, TBLStringList* Duplicate) {
        asked << Name + ":" + First->Strings(0) + ">" + Duplicate->Strings(0);
        return Duplicate->Strings(0) != "x=3";
    });
    probe.AppendFromFile(path);
    EXPECT_EQ(asked, QStringList({"A:x=1>x=3", "A:x=3>x=4"}));
    EXPECT_EQ(probe.ReadString("A", "x", ""), "3");
    TStringList sections;
    probe.ReadSections(sections);
    EXPECT_EQ(Items(sections), QStringList({"A", "B"}));
}

TEST(TBigIniFile, FileWithoutSectionsYieldsDefaults) {
    TTempEnvironment environment;
    WriteBytes(environment.FilePath("a.ini"), "Active=1\nType=x\n");
    TBigIniFile ini(environment.FilePath("a.ini"), true);
    EXPECT_FALSE(ini.ReadBool("DebugLog", "Active", false));
    EXPECT_EQ(ini.ReadString("", "Type", "d"), "d");
    EXPECT_EQ(ini.SectionList().Count(), 0);
}

TEST(TBigIniFile, MissingFileReadsEmptyAndIsNotCreated) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("LogSettings.ini");
    {
        TBigIniFile ini(path, true);
        EXPECT_EQ(ini.ReadString("DebugLog", "Type", "d"), "d");
    }
    EXPECT_FALSE(QFile::exists(path));
}

TEST(TBigIniFile, UnreadableFileRaisesNamingIt) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("LogSettings.ini");
    ASSERT_TRUE(QDir().mkpath(path));  // a folder where the file should be: it exists but cannot be read
    try {
        TBigIniFile ini(path, true);
        FAIL() << "no error raised";
    } catch (const EStreamError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.what();
    }
}

TEST(TBigIniFile, BadInputIsReadWithoutHarm) {
    TTempEnvironment environment;
    std::mt19937 random(11);
    QByteArray garbage(1 << 20, Qt::Uninitialized);
    for (char& c : garbage)
        c = static_cast<char>(random());
    const QByteArray longValue(10 * 1024 * 1024, 'v');
    struct Row {
        const char* Name;
        QByteArray Bytes;
        bool ForceUtf8;
        QString ExpectedLength;  // of [S] Key, as decimal text
    };
    const Row rows[] = {
        {"binary garbage before the section, UTF-8", garbage + "\n[S]\nKey=abc\n", true, "3"},
        {"binary garbage before the section, 8-bit", garbage + "\n[S]\nKey=abc\n", false, "3"},
        {"garbage as UTF-16", "\xFF\xFE" + garbage + Utf16Le("\n[S]\nKey=abc\n"), false, "3"},
        {"odd-length UTF-16", "\xFF\xFE" + Utf16Le("[S]\nKey=abc\n") + "\x41", false, "3"},
        {"NUL bytes everywhere", Bytes("\0[\0S]\0\nK\0ey=a\0bc\0\n"), true, "3"},
        {"a 10 MB single line", "[S]\nKey=" + longValue, true, QString::number(longValue.size())},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString path = environment.FilePath("bad.ini");
        WriteBytes(path, row.Bytes);
        TBigIniFile ini(path, row.ForceUtf8);
        EXPECT_EQ(QString::number(ini.ReadString("S", "Key", "").size()), row.ExpectedLength);
    }
}

TEST(TBigIniFile, WritesChangesBackInTheFilesEncoding) {
    TTempEnvironment environment;
    struct Row {
        const char* Name;
        QByteArray Bytes;
        bool ForceUtf8;
        bool Utf16;
    };
    const Row rows[] = {
        {"8-bit stays 8-bit", "[S]\r\nOld=1\r\n", false, false},
        {"forced UTF-8 becomes UTF-16", "[S]\r\nOld=1\r\n", true, true},
        {"UTF-8 with mark becomes UTF-16", "\xEF\xBB\xBF[S]\r\nOld=1\r\n", false, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString path = environment.FilePath("w.ini");
        WriteBytes(path, row.Bytes);
        {
            TBigIniFile ini(path, row.ForceUtf8);
            ini.WriteString("S", "old", "2");  // replaces the line under the new spelling
            ini.WriteString("New", "Name", AUmlaut);
            ini.WriteInteger("New", "Count", -3);
            ini.WriteBool("New", "Flag", true);
        }
        const QString text = "[S]\r\nold=2\r\n\r\n[New]\r\nName=" + AUmlaut + "\r\nCount=-3\r\nFlag=1\r\n\r\n";
        EXPECT_EQ(ReadBytes(path), row.Utf16 ? "\xFF\xFE" + Utf16Le(text) : text.toLatin1());
    }
}

TEST(TBigIniFile, UnchangedFileIsLeftAlone) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("a.ini");
    const QByteArray bytes = "junk\n[S]\nKey=1\n\n[Empty]\n";
    WriteBytes(path, bytes);
    {
        TBigIniFile ini(path, true);
        ini.WriteString("S", "Key", "1");  // the same line: no change
        ini.FlushFile();
    }
    EXPECT_EQ(ReadBytes(path), bytes);

    TBigIniFile ini(path, true);
    ini.UpdateFile();  // writes whatever the state
    EXPECT_EQ(ReadBytes(path), "\xFF\xFE" + Utf16Le("[S]\r\nKey=1\r\n\r\n"));
}

TEST(TBigIniFile, FailedWriteRaisesNamingTheFileAndTheDestructorSwallowsIt) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("gone/a.ini");
    WriteBytes(path, "[S]\nKey=1\n");
    auto ini = std::make_unique<TBigIniFile>(path);
    ini->WriteString("S", "Key", "2");
    ASSERT_TRUE(QDir(environment.FilePath("gone")).removeRecursively());
    try {
        ini->FlushFile();
        FAIL() << "no error raised";
    } catch (const EStreamError& e) {
        EXPECT_TRUE(e.Message().contains(path)) << e.what();
    }
    EXPECT_TRUE(ini->HasChanged());
    EXPECT_NO_THROW(ini.reset());
}

TEST(TBigIniFile, OptionFlagsFilterLinesOfLaterLoads) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("a.ini");
    WriteBytes(path, "[S]\n;comment=1\nKey \t=\t 'quoted'\nBare\nTrail=x \t\x01\nMixed='a\"\n");
    struct Row {
        const char* Name;
        void (TBigIniFile::*Set)(bool);
        QStringList Expected;
    };
    const Row rows[] = {
        {"none", nullptr, {";comment=1", "Key \t=\t 'quoted'", "Bare", "Trail=x \t\x01", "Mixed='a\""}},
        {"drop comment lines", &TBigIniFile::SetFlagDropCommentLines, {"Key \t=\t 'quoted'", "Bare", "Trail=x \t\x01", "Mixed='a\""}},
        {"filter out invalid", &TBigIniFile::SetFlagFilterOutInvalid, {";comment=1", "Key \t=\t 'quoted'", "Trail=x \t\x01", "Mixed='a\""}},
        {"drop white space", &TBigIniFile::SetFlagDropWhiteSpace, {";comment=1", "Key='quoted'", "Bare", "Trail=x \t\x01", "Mixed='a\""}},
        {"drop apostrophes", &TBigIniFile::SetFlagDropApostrophes, {";comment=1", "Key \t=\t 'quoted'", "Bare", "Trail=x \t\x01", "Mixed='a\""}},
        {"trim right", &TBigIniFile::SetFlagTrimRight, {";comment=1", "Key \t=\t 'quoted'", "Bare", "Trail=x", "Mixed='a\""}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBigIniFile ini(QString(), false);
        if (row.Set)
            (ini.*row.Set)(true);
        ini.AppendFromFile(path);
        TStringList values;
        ini.ReadSectionValues("S", values);
        EXPECT_EQ(Items(values), row.Expected);
    }
    TBigIniFile both(QString(), false);
    both.SetFlagDropWhiteSpace(true);
    both.SetFlagDropApostrophes(true);
    both.AppendFromFile(path);
    EXPECT_EQ(both.ReadString("S", "Key", ""), "quoted");
}

TEST(TBigIniFile, SectionAndKeyOperations) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("a.ini");
    WriteBytes(path, "[A]\nx=1\ny=2\nnote\n[B]\nz=3\n");
    TBigIniFile ini(path);
    TStringList list;
    list.Add("stale");
    ini.ReadSection("a", list);
    EXPECT_EQ(Items(list), QStringList({"x", "y"}));
    ini.ReadSectionValues("B", list);
    EXPECT_EQ(Items(list), QStringList({"x", "y", "z=3"}));
    ini.SetFlagClearOnReadSectionValues(true);
    ini.ReadSectionValues("B", list);
    EXPECT_EQ(Items(list), QStringList({"z=3"}));

    EXPECT_TRUE(ini.ValueExists("A", "Y"));
    EXPECT_FALSE(ini.ValueExists("A", "note"));
    EXPECT_TRUE(ini.SectionExists("b"));
    EXPECT_FALSE(ini.HasChanged());

    ini.DeleteKey("A", "x");
    ini.EraseSection("B");
    ini.WriteDate("D", "Date", QDate(2026, 12, 11));
    ini.WriteTime("D", "Time", QTime(13, 5, 7));
    ini.WriteFloat("D", "Float", 0.1);
    EXPECT_TRUE(ini.HasChanged());
    EXPECT_EQ(ini.ReadDate("D", "Date", QDate()), QDate(2026, 12, 11));
    EXPECT_EQ(ini.ReadTime("D", "Time", QTime()), QTime(13, 5, 7));
    EXPECT_EQ(ini.ReadFloat("D", "Float", 0), 0.1);
    EXPECT_EQ(ini.ReadFloat("A", "note", 2.5), 2.5);
    EXPECT_EQ(ini.ReadDateTime("D", "Date", QDateTime()).date(), QDate(2026, 12, 11));
    ini.ReadAll(list);
    EXPECT_EQ(Items(list), QStringList({"[A]", "y=2", "note", "", "[D]", "Date=2026-12-11", "Time=13:05:07", "Float=0.1", ""}));

    ini.Clear();
    ini.ReadSections(list);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TBiggerIniFile, ExtendedOperations) {
    TBiggerIniFile ini(QString(), false);
    TStringList lines;
    lines.SetText("a=1\n\nb=2\n");
    ini.WriteSectionValues("V", lines);
    EXPECT_EQ(ini.ReadString("V", "b", ""), "2");

    TStringList numbered;
    numbered.SetCommaText("one,two,three");
    ini.WriteNumberedList("L", numbered, "Item");
    numbered.SetCommaText("uno");
    ini.WriteNumberedList("L", numbered, "Item");
    EXPECT_FALSE(ini.ValueExists("L", "Item2"));
    TStringList back;
    ini.ReadNumberedList("L", back, "?", "Item");
    EXPECT_EQ(Items(back), QStringList({"uno"}));

    ini.WriteColor("C", "Back", 0x00FF8000);
    EXPECT_EQ(ini.ReadString("C", "Back", ""), "$00FF8000");
    EXPECT_EQ(ini.ReadColor("C", "Back", 0), 0x00FF8000u);
    EXPECT_EQ(ini.ReadColor("C", "Missing", 5), 5u);

    const TIniFont font{"DejaVu Sans, Bold", 11, 0x000000FF, 1};
    ini.WriteFont("C", "Font", font);
    EXPECT_EQ(ini.ReadFont("C", "Font", TIniFont{}), font);
    EXPECT_EQ(ini.ReadFont("C", "Back", font), font);

    EXPECT_TRUE(ini.RenameSection("C", "Colours"));
    EXPECT_FALSE(ini.RenameSection("V", "colours"));
    EXPECT_FALSE(ini.RenameSection("Missing", "X"));
    EXPECT_TRUE(ini.RenameKey("Colours", "back", "Background"));
    EXPECT_FALSE(ini.RenameKey("Colours", "Font", "background"));
    EXPECT_EQ(ini.ReadString("Colours", "Background", ""), "$00FF8000");

    ini.WriteBoolDef("B", "On", true, false);
    EXPECT_EQ(ini.ReadString("B", "On", ""), "1");
    ini.WriteBoolDef("B", "On", false, false);
    EXPECT_FALSE(ini.ValueExists("B", "On"));
}

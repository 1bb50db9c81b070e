#include "TestSupport.h"
#include "platform/CodePages.h"
#include "util/Exception.h"
#include "util/_4Files.h"

#include <QFile>
#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

QByteArray Bytes(std::initializer_list<int> Values) {
    QByteArray result;
    for (int value : Values)
        result.append(char(value));
    return result;
}

QByteArray Utf16Le(const QString& Text) {
    QByteArray result;
    for (QChar c : Text) {
        result.append(char(c.unicode() & 0xFF));
        result.append(char(c.unicode() >> 8));
    }
    return result;
}

QByteArray Utf16Be(const QString& Text) {
    QByteArray result;
    for (QChar c : Text) {
        result.append(char(c.unicode() >> 8));
        result.append(char(c.unicode() & 0xFF));
    }
    return result;
}

// Overrides a hook with the base behaviour: ReadLine() then walks every character through the hooks
// instead of taking its fast route, and both routes must give the same lines.
class THookedReader : public TUnicodeFileReader {
public:
    THookedReader(const QString& FileName, bool ReadNormalFileAsUtf8)
        : TUnicodeFileReader(FileName, ReadNormalFileAsUtf8) {}

protected:
    char MapCharA(char Value) const override { return TUnicodeFileReader::MapCharA(Value); }
    char16_t MapCharW(char16_t Value) const override { return TUnicodeFileReader::MapCharW(Value); }
};

QStringList ReadAll(TUnicodeFileReader& Reader) {
    QStringList lines;
    // A guard against a reader that never reaches the end: no file here has this many lines.
    for (int i = 0; i < 1000000 && !Reader.Eof(); ++i)
        lines << Reader.ReadLine();
    return lines;
}

struct TReaderSetup {
    bool SupportUnixLineBreak = true;
    TASCIIType AsciiType = TASCIIType::atDefault;
    bool ReadNormalFileAsUtf8 = false;
};

// Reads Path with the fast route and the hook route; expects both to give the same lines and returns them.
QStringList ReadBothWays(const QString& Path, const TReaderSetup& Setup = {}) {
    TUnicodeFileReader plain(Path, Setup.ReadNormalFileAsUtf8);
    THookedReader hooked(Path, Setup.ReadNormalFileAsUtf8);
    for (TUnicodeFileReader* reader : {&plain, static_cast<TUnicodeFileReader*>(&hooked)}) {
        reader->SetSupportUnixLineBreak(Setup.SupportUnixLineBreak);
        reader->SetAsciiType(Setup.AsciiType);
    }
    const QStringList lines = ReadAll(plain);
    EXPECT_EQ(ReadAll(hooked), lines) << "the hook route differs from the fast route";
    EXPECT_TRUE(plain.Eof());
    EXPECT_EQ(plain.ReadLine(), QString()) << "at the end of the file ReadLine answers an empty string";
    return lines;
}

}  // namespace

TEST(TUnicodeFileReader, ReadsLinesInEveryEncoding) {
    struct Row {
        const char* Name;
        QByteArray Content;
        QStringList Expected;
        bool Utf8;
        bool Unicode;
        TReaderSetup Setup = {};
    };
    const Row rows[] = {
        {"UTF-8 mark, CR LF, last line without end", Bytes({0xEF, 0xBB, 0xBF, 0x41, 0x0D, 0x0A, 0x42}),
         {"A", "B"}, true, false},
        {"UTF-16 big-endian", Bytes({0xFE, 0xFF, 0x00, 0x41, 0x00, 0x0A, 0x00, 0x42}), {"A", "B"}, false, true},
        {"UTF-16 little-endian with umlauts and a surrogate pair", Utf16Le(u"\uFEFFGrüße\r\n😀x\r\n"_qs),
         {u"Grüße"_qs, u"😀x"_qs}, false, true},
        {"UTF-16 big-endian, NUL units dropped", Bytes({0xFE, 0xFF}) + Utf16Be(u"A"_qs + QChar(0) + u"B\nC"_qs),
         {"AB", "C"}, false, true},
        // An odd last byte cannot form a UTF-16 character and must neither loop nor make a line of its own.
        {"UTF-16 odd last byte ignored", Bytes({0xFF, 0xFE, 0x41, 0x00, 0x0A, 0x00, 0x42}), {"A"}, false, true},
        {"ANSI is Windows-1252", QByteArray("\xC4\xD6\r\n\x80 5"), {u"ÄÖ"_qs, u"€ 5"_qs}, false, false},
        {"OEM converted through ANSI", QByteArray("\x8E\x99\x81\n"), {u"ÄÖü"_qs}, false, false,
         {true, TASCIIType::atOEM}},
        {"1252 table", QByteArray("\x84quoted\x93"), {u"„quoted“"_qs}, false, false, {true, TASCIIType::at1252}},
        {"8-bit file read as UTF-8 on request", QByteArray("\xC3\x84rger\n"), {u"Ärger"_qs}, true, false,
         {true, TASCIIType::atDefault, true}},
        {"without unix breaks only CR LF ends a line", QByteArray("A\nB\r\nC"), {"A\nB", "C"}, false, false,
         {false}},
        {"without unix breaks a lone CR stays", QByteArray("A\rB\r\n"), {"A\rB"}, false, false, {false}},
        {"unix breaks: a lone CR stays, LF ends", QByteArray("A\rB\nC\r\r\nD"), {"A\rB", "C\r", "D"}, false, false},
        {"NUL bytes dropped", QByteArray("A\0B\n\0\nC\0", 8), {"AB", "", "C"}, false, false},
        // NULs are dropped before the line end is looked for, so CR NUL LF is a CR LF pair.
        {"NUL between CR and LF", QByteArray("A\r\0\nB", 5), {"A", "B"}, false, false, {false}},
        {"empty lines and a final line end", QByteArray("\n\nA\n"), {"", "", "A"}, false, false},
        {"empty file", QByteArray(), {}, false, false},
        {"only a UTF-8 mark", Bytes({0xEF, 0xBB, 0xBF}), {}, true, false},
        {"only a UTF-16 mark", Bytes({0xFF, 0xFE}), {}, false, true},
        {"two bytes that are no mark", QByteArray("AB"), {"AB"}, false, false},
        {"UTF-8 mark later in the text is a character", QByteArray("\xEF\xBB\xBF" "A\n\xEF\xBB\xBF" "B"),
         {"A", u"\uFEFFB"_qs}, true, false},
    };
    TTempEnvironment environment;
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString path = environment.FilePath(QStringLiteral("in%1.txt").arg(index++));
        WriteBytes(path, row.Content);
        EXPECT_EQ(ReadBothWays(path, row.Setup), row.Expected);
        TUnicodeFileReader reader(path, row.Setup.ReadNormalFileAsUtf8);
        EXPECT_EQ(reader.isUtf8(), row.Utf8);
        EXPECT_EQ(reader.isUnicode(), row.Unicode);
    }
}

TEST(TUnicodeFileReader, FindsLineEndsAcrossBlockBoundaries) {
    // Blocks are 1024 bytes long; each row puts a line end on or around a block boundary.
    struct Row {
        const char* Name;
        QByteArray Mark;
        bool Wide;
        int LineLength;  // characters before the line end
        bool SupportUnixLineBreak;
    };
    const Row rows[] = {
        {"CR is content byte 1024, LF byte 1025", {}, false, 1023, true},
        {"the same without unix breaks", {}, false, 1023, false},
        {"the same after a UTF-8 mark", QByteArray("\xEF\xBB\xBF"), false, 1023, true},
        {"LF is the first byte of the second block", {}, false, 1024, true},
        {"line ends exactly at the block end", {}, false, 1022, true},
        {"a line of three blocks", {}, false, 3000, false},
        {"UTF-16: CR is the last unit of the first block", Bytes({0xFF, 0xFE}), true, 510, true},
        {"UTF-16: CR and LF in different blocks, no unix breaks", Bytes({0xFF, 0xFE}), true, 510, false},
        {"UTF-16 big-endian: LF opens the second block", Bytes({0xFE, 0xFF}), true, 511, true},
    };
    TTempEnvironment environment;
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString first = QString(row.LineLength, u'x');
        const QString text = first + u"\r\nB"_qs;
        QByteArray content = row.Mark;
        if (!row.Wide)
            content += text.toLatin1();
        else if (row.Mark.startsWith('\xFE'))
            content += Utf16Be(text);
        else
            content += Utf16Le(text);
        const QString path = environment.FilePath(QStringLiteral("block%1.txt").arg(index++));
        WriteBytes(path, content);
        EXPECT_EQ(ReadBothWays(path, {row.SupportUnixLineBreak}), QStringList({first, "B"}));
    }
}

TEST(TUnicodeFileReader, InvalidUtf8LineIsEmptyAndReported) {
    struct Row { const char* Name; QByteArray Bad; };
    const Row rows[] = {
        {"a lead byte without its continuation", QByteArray("bad\xC3(")},
        {"a sequence cut off by the line end", QByteArray("euro \xE2\x82")},
        {"an overlong form", QByteArray("slash \xC0\xAF")},
        {"a lone continuation byte amid valid text", QByteArray("\xC3\xA4 \x84 ok")},
        // A decoder that fails only when nothing at all comes out would let this one pass.
        {"a surrogate encoded in UTF-8", QByteArray("x\xED\xA0\x80")},
    };
    TTempEnvironment environment;
    const QString path = environment.FilePath("bad.txt");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteBytes(path, QByteArray("\xEF\xBB\xBFone\r\ntwo\r\n") + row.Bad + "\r\nfour");
        TUnicodeFileReader reader;
        reader.Open(path);
        EXPECT_EQ(ReadAll(reader), QStringList({"one", "two", "", "four"}));
        EXPECT_EQ(reader.ReadErrors(),
                  QStringList({u"Error in UTF8-Coding in Line 3: ["_qs + Platform::DecodeAnsi(row.Bad) + u"]"_qs}));
    }
}

TEST(TUnicodeFileReader, OpenStartsCountingAndReportingAfresh) {
    TTempEnvironment environment;
    const QString bad = environment.FilePath("bad.txt");
    WriteBytes(bad, QByteArray("ok\n\xFF\n", 5));
    TUnicodeFileReader reader(bad, true);
    ReadAll(reader);
    ASSERT_EQ(reader.ReadErrors().size(), 1);

    // A second file's errors must carry its own line numbers, not continue the first file's count.
    const QString second = environment.FilePath("second.txt");
    WriteBytes(second, QByteArray("\xEF\xBB\xBF\xFF\n"));
    reader.Open(second);
    EXPECT_TRUE(reader.ReadErrors().isEmpty());
    ReadAll(reader);
    EXPECT_EQ(reader.ReadErrors(), QStringList({u"Error in UTF8-Coding in Line 1: [\u00FF]"_qs}));
}

TEST(TUnicodeFileReader, MissingFileRaisesStreamErrorNamingIt) {
    TTempEnvironment environment;
    for (const QString& path : {environment.FilePath("missing.txt"), environment.Root()}) {
        SCOPED_TRACE(path.toStdString());
        TUnicodeFileReader reader;
        try {
            reader.Open(path);
            ADD_FAILURE() << "no exception";
        } catch (const EStreamError& error) {
            EXPECT_TRUE(error.Message().contains(path)) << error.what();
        }
        EXPECT_TRUE(reader.Eof());
        EXPECT_EQ(reader.Stream(), nullptr);
        EXPECT_EQ(reader.ReadLine(), QString());
    }
}

TEST(TUnicodeFileReader, StreamStandsJustAfterTheLastLineRead) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("pos.txt");
    WriteBytes(path, "AB\r\nCD\r\nEF\r\n");
    TUnicodeFileReader reader(path, false);
    EXPECT_EQ(reader.ReadLine(), "AB");
    ASSERT_NE(reader.Stream(), nullptr);
    EXPECT_EQ(reader.Stream()->pos(), 4);
    // Whoever moves the stream decides where the next line starts.
    ASSERT_TRUE(reader.Stream()->seek(8));
    EXPECT_EQ(reader.ReadLine(), "EF");
    EXPECT_TRUE(reader.Eof());
}

TEST(TUnicodeFileReader, EofNoticesAFileThatGrew) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("growing.log");
    WriteBytes(path, "A\n");
    TUnicodeFileReader reader(path, false);
    EXPECT_EQ(reader.ReadLine(), "A");
    EXPECT_TRUE(reader.Eof());
    QFile other(path);
    ASSERT_TRUE(other.open(QIODevice::Append));
    other.write("B\n");
    other.close();
    EXPECT_FALSE(reader.Eof());
    EXPECT_EQ(reader.ReadLine(), "B");
    EXPECT_TRUE(reader.Eof());
}

TEST(TUnicodeFileReader, HooksOfADescendantDecideLineEndsSkipsAndMapping) {
    // Ends lines at ";", drops blanks, upper-cases ASCII letters.
    class TSemicolonReader : public TUnicodeFileReader {
    protected:
        bool IsLineEndA(char, char Current) const override { return Current == ';'; }
        bool IsLineEndW(char16_t, char16_t Current) const override { return Current == u';'; }
        bool SkipCharA(char Value) const override { return Value == ' '; }
        bool SkipCharW(char16_t Value) const override { return Value == u' '; }
        char MapCharA(char Value) const override { return (Value >= 'a' && Value <= 'z') ? char(Value - 32) : Value; }
        char16_t MapCharW(char16_t Value) const override {
            return (Value >= u'a' && Value <= u'z') ? char16_t(Value - 32) : Value;
        }
    };
    struct Row { const char* Name; QByteArray Content; };
    const Row rows[] = {
        {"8-bit", QByteArray("a b;c\nd;")},
        {"UTF-16", Bytes({0xFF, 0xFE}) + Utf16Le(u"a b;c\nd;"_qs)},
    };
    TTempEnvironment environment;
    const QString path = environment.FilePath("hooks.txt");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteBytes(path, row.Content);
        TSemicolonReader reader;
        reader.Open(path);
        EXPECT_EQ(ReadAll(reader), QStringList({"AB", "C\nD"}));
    }
}

TEST(TUnicodeFileReader, BadInputIsReadWithoutHarm) {
    TTempEnvironment environment;
    QByteArray garbage(256 * 1024, Qt::Uninitialized);
    QRandomGenerator random(4711);  // fixed seed: a failure can be reproduced
    for (char& byte : garbage)
        byte = char(random.bounded(256));
    const QString path = environment.FilePath("garbage.bin");

    struct Row { const char* Name; QByteArray Mark; bool ReadAsUtf8; };
    const Row rows[] = {
        {"as ANSI", {}, false},
        {"as UTF-8", {}, true},
        {"as UTF-16", Bytes({0xFF, 0xFE}), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        // A mark of its own at the start decides the encoding, whatever the random bytes begin with.
        WriteBytes(path, row.Mark.isEmpty() ? QByteArray("x\n") + garbage : row.Mark + garbage);
        TUnicodeFileReader reader(path, row.ReadAsUtf8);
        const QStringList lines = ReadAll(reader);
        EXPECT_TRUE(reader.Eof());
        qsizetype lineFeeds = 0;
        if (row.Mark.isEmpty())
            lineFeeds = QByteArray("x\n").count('\n') + garbage.count('\n');
        else
            for (qsizetype i = 0; i + 1 < garbage.size(); i += 2)
                lineFeeds += garbage.at(i) == '\n' && garbage.at(i + 1) == 0;
        // Every LF ends one line; the random tail after the last LF is one more line.
        EXPECT_EQ(lines.size(), lineFeeds + 1);
        for (const QString& line : lines) {
            ASSERT_FALSE(line.contains(QChar(0)));
            ASSERT_FALSE(line.contains(u'\n'));
        }
        if (row.ReadAsUtf8) {
            EXPECT_FALSE(reader.ReadErrors().isEmpty());
            for (const QString& error : reader.ReadErrors())
                ASSERT_TRUE(error.startsWith("Error in UTF8-Coding in Line ")) << error.toStdString();
        }
    }
}

TEST(TUnicodeFileReader, DecodesEveryUtf8FormAtEveryOffset) {
    // Each sequence sits at every offset of a line from 0 to 40 so that it meets each way the decoder
    // walks through a line: sixteen bytes at a time, eight at a time, one at a time.
    struct Row { const char* Name; QByteArray Sequence; char32_t CodePoint; };  // CodePoint 0: invalid
    const Row rows[] = {
        {"smallest two-byte", QByteArray("\xC2\x80"), 0x80},
        {"largest two-byte", QByteArray("\xDF\xBF"), 0x7FF},
        {"smallest three-byte", QByteArray("\xE0\xA0\x80"), 0x800},
        {"last before the surrogates", QByteArray("\xED\x9F\xBF"), 0xD7FF},
        {"largest three-byte", QByteArray("\xEF\xBF\xBF"), 0xFFFF},
        {"smallest four-byte", QByteArray("\xF0\x90\x80\x80"), 0x10000},
        {"largest code point", QByteArray("\xF4\x8F\xBF\xBF"), 0x10FFFF},
        {"above the largest code point", QByteArray("\xF4\x90\x80\x80"), 0},
        {"overlong two-byte", QByteArray("\xC1\xBF"), 0},
        {"overlong three-byte", QByteArray("\xE0\x9F\xBF"), 0},
        {"overlong four-byte", QByteArray("\xF0\x8F\xBF\xBF"), 0},
        {"surrogate", QByteArray("\xED\xBF\xBF"), 0},
        {"lead byte F5", QByteArray("\xF5\x80\x80\x80"), 0},
        {"byte FF", QByteArray("\xFF"), 0},
        {"three-byte lead before ASCII", QByteArray("\xE2\x82" "A"), 0},
        {"continuation without lead", QByteArray("\xBF"), 0},
    };
    TTempEnvironment environment;
    const QString path = environment.FilePath("forms.txt");
    const QByteArray padding = "abcdefghijklmnopqrstuvwxyz0123456789ABCDEFGH";
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        QByteArray content("\xEF\xBB\xBF");
        QStringList expected;
        int invalid = 0;
        for (int offset = 0; offset <= 40; ++offset) {
            content += padding.left(offset) + row.Sequence + padding.left(45 - offset) + "\r\n";
            if (row.CodePoint == 0) {
                expected << QString();
                ++invalid;
            } else {
                expected << QString::fromLatin1(padding.left(offset)) + QString::fromUcs4(&row.CodePoint, 1) +
                                QString::fromLatin1(padding.left(45 - offset));
            }
        }
        WriteBytes(path, content);
        TUnicodeFileReader reader(path, false);
        EXPECT_EQ(ReadAll(reader), expected);
        EXPECT_EQ(reader.ReadErrors().size(), invalid);
    }
}

TEST(TUnicodeFileReader, Utf8LinesAgreeWithQtsDecoderOnDamagedText) {
    // Text from all planes, damaged at random: each line must come out as Qt's decoder reads it, or
    // empty with an error entry when Qt's decoder finds anything invalid in it.
    QRandomGenerator random(815);  // fixed seed: a failure can be reproduced
    const auto randomCodePoint = [&random]() -> char32_t {
        switch (random.bounded(6)) {
        case 0: return char32_t(random.bounded(0x80, 0x800));
        case 1: return char32_t(random.bounded(0x800, 0xD800));
        case 2: return char32_t(random.bounded(0xE000, 0x10000));
        case 3: return char32_t(random.bounded(0x10000, 0x110000));
        default: return char32_t(random.bounded(0x20, 0x7F));
        }
    };
    QString text;
    for (int line = 0; line < 3000; ++line) {
        const int length = random.bounded(0, 120);
        for (int i = 0; i < length; ++i) {
            const char32_t codePoint = randomCodePoint();
            text += QString::fromUcs4(&codePoint, 1);
        }
        text += u"\r\n"_qs;
    }
    const QByteArray clean = text.toUtf8();

    struct Row { const char* Name; int DamageEvery; };  // 0: undamaged
    const Row rows[] = {{"undamaged", 0}, {"one byte in 2000", 2000}, {"one byte in 200", 200}};
    TTempEnvironment environment;
    const QString path = environment.FilePath("damaged.txt");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        QByteArray content = clean;
        if (row.DamageEvery > 0)
            for (qsizetype i = 0; i < content.size() / row.DamageEvery; ++i)
                content[random.bounded(content.size())] = char(random.bounded(256));
        WriteBytes(path, QByteArray("\xEF\xBB\xBF") + content);

        QStringList expected;
        int invalid = 0;
        content.replace('\0', QByteArray());
        for (QByteArray line : content.split('\n')) {
            if (line.endsWith('\r'))
                line.chop(1);
            QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            const QString decoded = decoder.decode(line);
            expected << (decoder.hasError() ? QString() : decoded);
            invalid += decoder.hasError();
        }
        if (content.endsWith('\n'))
            expected.removeLast();  // a final line end opens no further line
        TUnicodeFileReader reader(path, false);
        EXPECT_EQ(ReadAll(reader), expected);
        EXPECT_EQ(reader.ReadErrors().size(), invalid);
        if (row.DamageEvery == 0)
            EXPECT_EQ(invalid, 0);
        else
            EXPECT_GT(invalid, 0);
    }
}

TEST(TUnicodeFileReader, ReadsATenMegabyteLine) {
    TTempEnvironment environment;
    const QString piece = u"Zahnrad-Übersicht 12 € "_qs;
    QString line;
    while (line.size() < 10 * 1024 * 1024)
        line += piece;
    const QString path = environment.FilePath("long.txt");
    WriteBytes(path, QByteArray("\xEF\xBB\xBF") + line.toUtf8() + "\r\nend");
    TUnicodeFileReader reader(path, false);
    EXPECT_EQ(reader.ReadLine(), line);
    EXPECT_EQ(reader.ReadLine(), "end");
    EXPECT_TRUE(reader.Eof());
    EXPECT_TRUE(reader.ReadErrors().isEmpty());
}

TEST(TUnicodeFileWriter, WritesEachCodingWithItsMark) {
    using enum TBLFileCoding;
    struct Row { const char* Name; TBLFileCoding Coding; QByteArray Expected; };
    // WriteLn("Ä€") then Write("x").
    const Row rows[] = {
        {"ANSI", fcAnsi, QByteArray("\xC4\x80\r\nx")},
        {"UTF-8 without mark", fcUTF8NoBOM, QByteArray("\xC3\x84\xE2\x82\xAC\r\nx")},
        {"UTF-8 with mark", fcUTF8BOM, QByteArray("\xEF\xBB\xBF\xC3\x84\xE2\x82\xAC\r\nx")},
        {"UTF-16 big-endian", fcUnicodeBigEndian, Bytes({0xFE, 0xFF, 0x00, 0xC4, 0x20, 0xAC, 0, 13, 0, 10, 0, 'x'})},
        {"UTF-16 little-endian", fcUnicodeLittleEndian,
         Bytes({0xFF, 0xFE, 0xC4, 0x00, 0xAC, 0x20, 13, 0, 10, 0, 'x', 0})},
    };
    TTempEnvironment environment;
    const QString path = environment.FilePath("out.txt");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        {
            TUnicodeFileWriter writer(path, row.Coding);
            EXPECT_EQ(writer.FileCoding(), row.Coding);
            writer.WriteLn(u"Ä€"_qs);
            writer.Write("");
            writer.Write("x");
        }
        EXPECT_EQ(ReadBytes(path), row.Expected);
    }
}

TEST(TUnicodeFileWriter, FlagConstructorKeepsTheUtf8MarkAndDefaultsToUtf16) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("flags.txt");
    { TUnicodeFileWriter writer(path, true, true, false, false); writer.Write("A"); }
    EXPECT_EQ(ReadBytes(path), QByteArray("\xEF\xBB\xBF" "A"));
    {
        TUnicodeFileWriter writer;
        writer.Open(path, false);
        writer.WriteLn("A");
    }
    EXPECT_EQ(ReadBytes(path), Bytes({0xFF, 0xFE, 'A', 0, 13, 0, 10, 0}));
}

TEST(TUnicodeFileWriter, LinesComeBackUnchangedThroughTheReader) {
    using enum TBLFileCoding;
    const QStringList lines = {u"Grüße aus Köln"_qs, "", u"€ 12,50"_qs, "Tab\tEnde"};
    TTempEnvironment environment;
    for (TBLFileCoding coding : {fcAnsi, fcUTF8NoBOM, fcUTF8BOM, fcUnicodeBigEndian, fcUnicodeLittleEndian}) {
        SCOPED_TRACE(int(coding));
        const QString path = environment.FilePath(QStringLiteral("round%1.txt").arg(int(coding)));
        {
            TUnicodeFileWriter writer(path, coding);
            writer.WriteLines(lines);
        }
        TUnicodeFileReader reader(path, coding == fcUTF8NoBOM);
        EXPECT_EQ(ReadAll(reader), lines);
        EXPECT_TRUE(reader.ReadErrors().isEmpty());
    }
}

TEST(TUnicodeFileWriter, AppendContinuesInTheEncodingOfTheFile) {
    struct Row {
        const char* Name;
        QByteArray Existing;
        bool Exists;
        bool Unicode, Utf8, BigEndian;  // what the caller asks for
        QByteArray Expected;            // after WriteLn("Ä")
    };
    const Row rows[] = {
        {"UTF-16 LE file, UTF-8 asked for", Bytes({0xFF, 0xFE, 'A', 0}), true, true, true, false,
         Bytes({0xFF, 0xFE, 'A', 0, 0xC4, 0, 13, 0, 10, 0})},
        {"UTF-16 BE file, ANSI asked for", Bytes({0xFE, 0xFF, 0, 'A'}), true, false, false, false,
         Bytes({0xFE, 0xFF, 0, 'A', 0, 0xC4, 0, 13, 0, 10})},
        {"UTF-8 file with mark, UTF-16 asked for", QByteArray("\xEF\xBB\xBF" "A"), true, true, false, false,
         QByteArray("\xEF\xBB\xBF" "A\xC3\x84\r\n")},
        // Without a mark nothing tells UTF-8 from ANSI: the file is continued in ANSI.
        {"UTF-8 file without mark", QByteArray("\xC3\x84\r\n"), true, true, true, false,
         QByteArray("\xC3\x84\r\n\xC4\r\n")},
        {"empty file stays without mark", {}, true, true, false, false, QByteArray("\xC4\r\n")},
        {"missing file is created with the mark asked for", {}, false, true, false, true,
         Bytes({0xFE, 0xFF, 0, 0xC4, 0, 13, 0, 10})},
    };
    TTempEnvironment environment;
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString path = environment.FilePath(QStringLiteral("append%1/file.txt").arg(index++));
        if (row.Exists)
            WriteBytes(path, row.Existing);
        {
            TUnicodeFileWriter writer(path, row.Unicode, row.Utf8, row.BigEndian, true);
            writer.WriteLn(u"Ä"_qs);
        }
        EXPECT_EQ(ReadBytes(path), row.Expected);
    }
}

TEST(TUnicodeFileWriter, WithoutAppendAnExistingFileIsReplaced) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("replace.txt");
    WriteBytes(path, "old content that is longer");
    {
        TUnicodeFileWriter writer(path, false, false, false, false);
        writer.Write("new");
    }
    EXPECT_EQ(ReadBytes(path), QByteArray("new"));
}

TEST(TUnicodeFileWriter, EveryWriteReachesTheFileAtOnce) {
    // Log lines must be on disk before the writer is closed: a crash must not take them along.
    TTempEnvironment environment;
    const QString path = environment.FilePath("log/now.log");
    TUnicodeFileWriter writer(path, TBLFileCoding::fcAnsi);
    writer.WriteLn("first");
    EXPECT_EQ(ReadBytes(path), QByteArray("first\r\n"));
    writer.Write("second");
    EXPECT_EQ(ReadBytes(path), QByteArray("first\r\nsecond"));
}

TEST(TUnicodeFileWriter, LineSeparatorAndOemText) {
    struct Row { const char* Name; TBLFileCoding Coding; bool IsASCII; QByteArray Expected; };
    using enum TBLFileCoding;
    // WriteLn("Ä") with the separator "\n".
    const Row rows[] = {
        {"ANSI", fcAnsi, false, QByteArray("\xC4\n")},
        {"OEM", fcAnsi, true, QByteArray("\x8E\n")},
        {"UTF-8", fcUTF8NoBOM, false, QByteArray("\xC3\x84\n")},
        {"UTF-16", fcUnicodeLittleEndian, false, Bytes({0xFF, 0xFE, 0xC4, 0, 10, 0})},
    };
    TTempEnvironment environment;
    const QString path = environment.FilePath("sep.txt");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        {
            TUnicodeFileWriter writer(path, row.Coding);
            writer.SetLineSeparator("\n");
            writer.SetIsASCII(row.IsASCII);
            writer.WriteLn(u"Ä"_qs);
        }
        EXPECT_EQ(ReadBytes(path), row.Expected);
        TUnicodeFileReader reader(path, row.Coding == fcUTF8NoBOM);
        reader.SetIsASCII(row.IsASCII);
        EXPECT_EQ(ReadAll(reader), QStringList({u"Ä"_qs}));
    }
}

TEST(TUnicodeFileWriter, FailuresRaiseStreamErrorNamingTheFile) {
    TTempEnvironment environment;
    WriteBytes(environment.FilePath("plain"), "a file, not a folder");
    const QString path = environment.FilePath("plain/sub/out.txt");
    for (bool append : {false, true}) {
        SCOPED_TRACE(append);
        try {
            TUnicodeFileWriter writer(path, true, false, false, append);
            ADD_FAILURE() << "no exception";
        } catch (const EStreamError& error) {
            EXPECT_TRUE(error.Message().contains(path)) << error.what();
        }
    }
    TUnicodeFileWriter closed;
    EXPECT_THROW(closed.WriteLn("nowhere"), EStreamError);
}

TEST(TUnicodeFileWriter, AFullDiskRaisesInsteadOfLosingTextSilently) {
    // /dev/full accepts the open and refuses every write with "no space left".
    const QString full = "/dev/full";
    if (!QFile::exists(full))
        GTEST_SKIP() << "no /dev/full on this system";
    EXPECT_THROW(TUnicodeFileWriter(full, TBLFileCoding::fcUTF8BOM), EStreamError);  // the mark
    TUnicodeFileWriter writer(full, TBLFileCoding::fcAnsi);                            // no mark
    try {
        writer.WriteLn("text");
        ADD_FAILURE() << "no exception";
    } catch (const EStreamError& error) {
        EXPECT_TRUE(error.Message().contains(full)) << error.what();
    }
}

TEST(WriteTextFile, CreatesTheFileAnewWithMarkAndTextOnly) {
    using enum TBLFileCoding;
    struct Row { const char* Name; TBLFileCoding Coding; QString Text; QByteArray Expected; };
    const Row rows[] = {
        {"empty ANSI is 0 bytes", fcAnsi, "", {}},
        {"empty UTF-8 without mark is 0 bytes", fcUTF8NoBOM, "", {}},
        {"empty UTF-8 is its mark", fcUTF8BOM, "", QByteArray("\xEF\xBB\xBF")},
        {"empty UTF-16 LE is its mark", fcUnicodeLittleEndian, "", Bytes({0xFF, 0xFE})},
        {"empty UTF-16 BE is its mark", fcUnicodeBigEndian, "", Bytes({0xFE, 0xFF})},
        {"text without separator", fcAnsi, u"Ä\r\nB"_qs, QByteArray("\xC4\r\nB")},
    };
    TTempEnvironment environment;
    const QString path = environment.FilePath("new/folders/start.log");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteBytes(path, "previous content");
        WriteTextFile(path, row.Text, row.Coding);
        EXPECT_EQ(ReadBytes(path), row.Expected);
    }
    const QString fresh = environment.FilePath("missing/folders/x.log");
    WriteTextFile(fresh, "", fcAnsi);
    EXPECT_TRUE(QFile::exists(fresh));
}

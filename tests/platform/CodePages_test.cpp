#include "TestSupport.h"
#include "platform/CodePages.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(CodePages, DecodesBothCodePagesFromTheirPublishedTables) {
    struct Row { const char* Name; TCodePage CodePage; QByteArray Bytes; QString Expected; };
    const Row rows[] = {
        {"ascii is the same everywhere", TCodePage::Oem850, "Az09 ~", "Az09 ~"},
        {"1252 euro, umlauts, sharp s", TCodePage::Windows1252, "\x80\xC4\xE4\xDF", u"€Ää\u00DF"_qs},
        {"850 umlauts and box drawing", TCodePage::Oem850, "\x8E\x84\xE1\xC9", u"Ää\u00DF\u2554"_qs},
        // Windows decodes the five bytes 1252 leaves undefined to C1 controls, not to replacement marks.
        {"1252 undefined byte", TCodePage::Windows1252, "\x81", QString(QChar(0x81))},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(DecodeCodePage(row.CodePage, row.Bytes), row.Expected);
    }
}

TEST(CodePages, EveryByteRoundTripsThroughBothCodePages) {
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(char(b));
    EXPECT_EQ(EncodeAnsi(DecodeAnsi(all)), all);
    EXPECT_EQ(EncodeOem(DecodeOem(all)), all);
}

TEST(CodePages, UnmappableCharactersBecomeQuestionMarks) {
    EXPECT_EQ(EncodeAnsi(u"a\u4E2Db"), QByteArray("a?b"));
    EXPECT_EQ(EncodeOem(u"€"), QByteArray("?"));
}

TEST(CodePages, ConvertsBetweenOemAndAnsi) {
    EXPECT_EQ(OemToAnsi("\x8E\x81"), QByteArray("\xC4\xFC"));  // Ä ü
    EXPECT_EQ(AnsiToOem("\xC4\xFC"), QByteArray("\x8E\x81"));
}

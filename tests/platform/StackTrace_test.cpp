#include "TestSupport.h"
#include "platform/StackTrace.h"
#include "platform/StackTrace_p.h"

#include <QRegularExpression>
#include <QStringList>
#include <gtest/gtest.h>

using namespace Platform;

namespace {

// A fixed chain of calls whose innermost level takes the trace; noinline keeps every level a
// frame of its own.
struct TStackProbe {
    __attribute__((noinline)) static QString Inner(int Skip) { return StackTraceText(Skip); }
    __attribute__((noinline)) static QString Middle(int Skip) { return Inner(Skip); }
    __attribute__((noinline)) static QString Outer(int Skip) { return Middle(Skip); }

    __attribute__((noinline)) static std::size_t InnerSafe(char* Buffer, std::size_t Size) {
        return StackTraceSignalSafe(Buffer, Size);
    }
    __attribute__((noinline)) static std::size_t OuterSafe(char* Buffer, std::size_t Size) {
        return InnerSafe(Buffer, Size);
    }

    __attribute__((noinline)) static QString InnerExecinfo() { return ExecinfoStackTraceText(0); }
};

QStringList Lines(const QString& Text) {
    return Text.split('\n');
}

}  // namespace

TEST(StackTrace, NamesTheCallersInnermostFirstWithSourceLines) {
    const QStringList lines = Lines(TStackProbe::Outer(0));
    ASSERT_GE(lines.size(), 4);
    const char* expected[] = {"TStackProbe::Inner(int)", "TStackProbe::Middle(int)", "TStackProbe::Outer(int)"};
    for (int i = 0; i < 3; ++i) {
        SCOPED_TRACE(expected[i]);
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("#%1 0x").arg(i))) << lines[i].toStdString();
        EXPECT_TRUE(lines[i].contains(expected[i])) << lines[i].toStdString();
        EXPECT_TRUE(lines[i].contains(QRegularExpression(R"(\(\S*StackTrace_test\.cpp:\d+\)$)")))
            << lines[i].toStdString();
        EXPECT_TRUE(lines[i].contains(" platform_tests: ")) << lines[i].toStdString();
    }
    EXPECT_FALSE(lines.join('\n').contains("_ZN"));
}

TEST(StackTrace, SkipFramesDropsTheInnermostLevels) {
    struct Row { int Skip; const char* First; };
    const Row rows[] = {{0, "Inner"}, {1, "Middle"}, {2, "Outer"}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Skip);
        const QStringList lines = Lines(TStackProbe::Outer(row.Skip));
        ASSERT_FALSE(lines.isEmpty());
        EXPECT_TRUE(lines[0].startsWith("#0 ")) << lines[0].toStdString();
        EXPECT_TRUE(lines[0].contains(QStringLiteral("TStackProbe::%1(int)").arg(row.First)))
            << lines[0].toStdString();
    }
}

TEST(StackTrace, SignalSafeVariantStaysInsideItsBuffer) {
    InitializeStackTrace();
    char large[8192];
    const std::size_t length = TStackProbe::OuterSafe(large, sizeof large);
    ASSERT_GT(length, 0u);
    EXPECT_EQ(std::strlen(large), length);
    const QStringList lines = Lines(QString::fromUtf8(large, qsizetype(length)));
    ASSERT_GE(lines.size(), 2);
    EXPECT_TRUE(lines[0].contains("InnerSafe")) << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("OuterSafe")) << lines[1].toStdString();
    EXPECT_TRUE(lines[0].contains("StackTrace_test.cpp:")) << lines[0].toStdString();

    for (std::size_t size : {std::size_t(1), std::size_t(7), std::size_t(64)}) {
        SCOPED_TRACE(size);
        char small[80];
        std::memset(small, 'X', sizeof small);
        const std::size_t cut = TStackProbe::OuterSafe(small, size);
        EXPECT_EQ(cut, size - 1);
        EXPECT_EQ(small[cut], '\0');
        EXPECT_EQ(small[size], 'X');  // nothing written past the end
        EXPECT_EQ(QByteArray(small, qsizetype(cut)), QByteArray(large, qsizetype(cut)));
    }
}

TEST(StackTrace, ExecinfoFallbackGivesModulesAndAddresses) {
    const QStringList lines = Lines(TStackProbe::InnerExecinfo());
    ASSERT_GE(lines.size(), 3);
    for (int i = 0; i < lines.size(); ++i)
        EXPECT_TRUE(lines[i].startsWith(QStringLiteral("#%1 0x").arg(i))) << lines[i].toStdString();
    // The first frame is the caller, inside the test executable.
    EXPECT_TRUE(lines[0].contains(" platform_tests: ")) << lines[0].toStdString();
    EXPECT_TRUE(lines.join('\n').contains(" libc.so.6: __libc_start_main + 0x")) << lines.join('\n').toStdString();
}

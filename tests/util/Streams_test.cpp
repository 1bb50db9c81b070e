#include <gtest/gtest.h>

#include <QFile>

#include "TestSupport.h"
#include "util/Exception.h"
#include "util/Streams.h"

namespace {

QByteArray Content(const TMemoryStream& Stream) { return QByteArray(Stream.Memory(), Stream.Size()); }

}  // namespace

TEST(TMemoryStream, ReadsWritesAndSeeksLikeAFile) {
    TMemoryStream stream;
    stream.WriteBuffer("hello", 5);
    EXPECT_EQ(stream.Position(), 5);
    EXPECT_EQ(stream.Seek(-3, TSeekOrigin::soEnd), 2);
    stream.WriteBuffer("LLO world", 9);
    EXPECT_EQ(Content(stream), "heLLO world");

    // A gap left by seeking beyond the end reads as zeros.
    stream.Seek(2, TSeekOrigin::soCurrent);
    stream.WriteBuffer("!", 1);
    EXPECT_EQ(Content(stream), QByteArray("heLLO world\0\0!", 14));

    stream.SetPosition(6);
    char buffer[8] = {};
    EXPECT_EQ(stream.Read(buffer, sizeof buffer), 8);
    EXPECT_EQ(QByteArray(buffer, 8), QByteArray("world\0\0!", 8));
    EXPECT_EQ(stream.Read(buffer, 1), 0);
    EXPECT_EQ(stream.Capacity(), 8192);
}

TEST(TMemoryStream, SetSizeZeroesGrowthAndClampsThePosition) {
    TMemoryStream stream;
    stream.WriteBuffer("abcdef", 6);
    stream.SetSize(3);
    EXPECT_EQ(stream.Position(), 3);
    stream.SetSize(5);
    EXPECT_EQ(Content(stream), QByteArray("abc\0\0", 5));
}

TEST(TMemoryStream, ShortReadsAndWritesOfTheBufferCallsRaise) {
    TMemoryStream stream;
    stream.WriteBuffer("abc", 3);
    stream.SetPosition(1);
    char buffer[4];
    try {
        stream.ReadBuffer(buffer, 4);
        FAIL() << "short read accepted";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Stream read error");
    }
    stream.SetPosition(-1);
    try {
        stream.WriteBuffer("x", 1);
        FAIL() << "write before the start accepted";
    } catch (const EStreamError& e) {
        EXPECT_EQ(e.Message(), "Stream write error");
    }
}

TEST(TMemoryStream, CopiesToAndFromOtherStreams) {
    TMemoryStream source;
    const QByteArray data = QByteArray("0123456789").repeated(10000);
    source.WriteBuffer(data.constData(), data.size());

    TMemoryStream copy;
    copy.LoadFromStream(source);
    EXPECT_EQ(Content(copy), data);
    EXPECT_EQ(copy.Position(), 0);

    TMemoryStream part;
    source.SetPosition(5);
    EXPECT_EQ(part.CopyFrom(source, 7), 7);
    EXPECT_EQ(Content(part), "5678901");
    EXPECT_EQ(part.CopyFrom(source, 0), data.size());
    EXPECT_EQ(part.Size(), 7 + data.size());
}

TEST(TFileStream, OpenModesCreateReadAndUpdate) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("data.bin");
    {
        TFileStream stream(path, fmCreate);
        stream.WriteBuffer("abcdef", 6);
        EXPECT_EQ(stream.Size(), 6);
    }
    {
        // Opening for writing keeps the content; only fmCreate cuts a file.
        TFileStream stream(path, fmOpenWrite | fmShareExclusive);
        stream.Seek(-2, TSeekOrigin::soEnd);
        stream.WriteBuffer("EF", 2);
    }
    {
        TFileStream stream(path, fmOpenReadWrite);
        stream.SetSize(5);
        stream.SetPosition(1);
        char buffer[4];
        stream.ReadBuffer(buffer, 4);
        EXPECT_EQ(QByteArray(buffer, 4), "bcdE");
    }
    TFileStream reader(path, fmOpenRead | fmShareDenyWrite);
    EXPECT_EQ(reader.Size(), 5);
    EXPECT_EQ(reader.Write("x", 1), 0);
    TMemoryStream memory;
    memory.LoadFromStream(reader);
    EXPECT_EQ(Content(memory), "abcdE");
}

TEST(TFileStream, FailedOpensNameTheFile) {
    TTempEnvironment environment;
    const QString missing = environment.FilePath("missing.bin");
    const QString inMissingFolder = environment.FilePath("no/such/folder.bin");
    struct Row {
        const char* Name;
        QString Path;
        quint16 Mode;
        const char* Prefix;
    };
    const Row rows[] = {
        {"read a missing file", missing, fmOpenRead, "Cannot open file"},
        {"write a missing file", missing, fmOpenWrite, "Cannot open file"},
        {"create in a missing folder", inMissingFolder, fmCreate, "Cannot create file"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        try {
            TFileStream stream(row.Path, row.Mode);
            FAIL() << "opened";
        } catch (const EStreamError& e) {
            EXPECT_TRUE(e.Message().startsWith(QString(row.Prefix) + " \"" + row.Path + "\"")) << e.what();
        }
    }
    EXPECT_FALSE(QFile::exists(missing));
}

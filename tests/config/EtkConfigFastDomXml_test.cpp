#include "ConfigTestSupport.h"
#include "TestSupport.h"
#include "config/EtkConfigFastDomXml.h"
#include "config/FastBLKReader.h"
#include "errors/EtkTypes.h"
#include "util/BLTypes.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>
#include <zlib.h>
#include <csignal>
#include <memory>
#include <vector>

using namespace std::chrono_literals;

namespace {

QByteArray ProjectFile(const QByteArray& Body, const QByteArray& RootAttributes = " Version=\"1.1\"") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW" + RootAttributes + ">" + Body + "\r\n</BRENLOW>";
}

QByteArray Gzip(const QByteArray& Bytes) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 16 + MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(Bytes.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Bytes.constData()));
    stream.avail_in = static_cast<uInt>(Bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

QStringList FilesIn(const QString& Folder) { return QDir(Folder).entryList(QDir::Files | QDir::Hidden | QDir::System); }

}  // namespace

TEST(TEtkConfigXMLFast, TypedReadsFollowTheTypeLetter) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, ProjectFile("\r\n<K>s  abc  </K>\r\n<I>i1024</I>\r\n<Bad>i12x</Bad>\r\n<T>btrue</T>"
                                 "\r\n<F>bFalse</F>\r\n<N>1024</N>\r\n<L>lsDE|sEN</L>\r\n<Sp>  i-5  </Sp>"));
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    struct Row { const char* Name; QString Key; QString String; int Integer; bool Boolean; };
    const Row rows[] = {
        {"leading blanks survive", "K", "  abc", -1, false},
        {"integer", "I", "dflt", 1024, false},
        {"digits that do not parse", "Bad", "dflt", -1, false},
        {"any text but False is true", "T", "dflt", -1, true},
        {"False", "F", "dflt", -1, false},
        {"no type letter", "N", "dflt", -1, false},
        {"list is no string", "L", "dflt", -1, false},
        {"white space around the content", "Sp", "dflt", -5, false},
        {"missing", "Missing", "dflt", -1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(store.ReadString(row.Key, "dflt"), row.String);
        EXPECT_EQ(store.ReadInteger(row.Key, -1), row.Integer);
        EXPECT_EQ(store.ReadBool(row.Key, false), row.Boolean);
    }
    EXPECT_TRUE(store.ReadBool("N", true));
    EXPECT_FALSE(store.ReadBool("Missing", false));
    EXPECT_TRUE(store.ReadBool("Missing", true));
    int typ = -1;
    QString data;
    EXPECT_TRUE(store.ReadRawData("L", typ, data));
    EXPECT_EQ(typ, 3);
    EXPECT_EQ(data, "sDE|sEN");
    EXPECT_TRUE(store.ReadRawData("T", typ, data));
    EXPECT_EQ(typ, 2);
    EXPECT_EQ(data, "true");
    EXPECT_FALSE(store.ReadRawData("N", typ, data));
}

TEST(TEtkConfigXMLFast, ListsAndMultiLineTextsRoundTrip) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    {
        TEtkConfigXMLFast store;
        store.SetFileName(file);
        store.WriteStrings("VIEWER\\Three", QStringList({"a|b", "#", ""}));
        store.WriteStrings("VIEWER\\Empty", QStringList());
        store.WriteStrings("VIEWER\\OneEmpty", QStringList({""}));
        store.WriteString("VIEWER\\CrLf", "one\r\ntwo");
        store.WriteString("VIEWER\\Lf", "one\ntwo");
    }
    const QByteArray bytes = ReadBytes(file);
    EXPECT_NE(bytes.indexOf("<Three>lsa#007Cb|s#0023|s</Three>"), -1);
    EXPECT_NE(bytes.indexOf("<Empty>l</Empty>"), -1);
    EXPECT_NE(bytes.indexOf("<OneEmpty>ls</OneEmpty>"), -1);
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    EXPECT_EQ(store.ReadStrings("VIEWER\\Three"), QStringList({"a|b", "#", ""}));
    EXPECT_EQ(store.ReadStrings("VIEWER\\Empty"), QStringList());
    EXPECT_EQ(store.ReadStrings("VIEWER\\OneEmpty"), QStringList({""}));
    EXPECT_EQ(store.ReadString("VIEWER\\CrLf", ""), "one\r\ntwo");
    EXPECT_EQ(store.ReadString("VIEWER\\Lf", ""), "one\r\ntwo");

    TBLStringList sorted;
    sorted.SetSorted(true);
    QString result;
    store.ReadStrings("VIEWER\\Three", sorted, &result);
    EXPECT_EQ(result, "OK");
    EXPECT_TRUE(sorted.Sorted());
    ASSERT_EQ(sorted.Count(), 3);
    EXPECT_EQ(sorted[0], "");
    store.ReadStrings("VIEWER\\CrLf", sorted, &result);
    EXPECT_EQ(result, "");
    EXPECT_EQ(sorted.Count(), 0);
}

TEST(TEtkConfigXMLFast, WriteThroughStampsAndBacksUpProjectFiles) {
    TTempEnvironment env;
    const QByteArray small = ProjectFile("\r\n<A>sx</A>");
    const QByteArray large = ProjectFile("\r\n<A>s" + QByteArray(600, 'y') + "</A>");
    struct Row { const char* Name; QString File; QByteArray Before; bool Backup; bool Stamped; };
    const Row rows[] = {
        {"large project file", "big/Etk.blk", large, true, true},
        {"project file of 500 bytes or less", "small/Etk.blk", small, false, true},
        {"user file", "cfg/QtrUser.cfg", large, false, true},
        {"other extension", "xml/viewer.xml", large, false, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString file = env.FilePath(row.File);
        WriteBytes(file, row.Before);
        TEtkConfigXMLFast store;
        store.SetFileName(file);
        store.WriteString("VIEWER\\Neu", "wert");
        const QString backup = QFileInfo(file).path() + "/" + QFileInfo(file).completeBaseName() + ".~blk";
        EXPECT_EQ(QFile::exists(backup), row.Backup);
        if (row.Backup) {
            EXPECT_EQ(ReadBytes(backup), row.Before);
        }
        TBLKConnector written;
        QStringList errors;
        ASSERT_TRUE(written.LoadFromStream(ReadBytes(file), errors));
        EXPECT_EQ(written.ReadRawString("VIEWER\\Neu", ""), "swert");
        EXPECT_EQ(written.ReadAttribute("", "changed").isEmpty(), !row.Stamped);
        if (row.Stamped) {
            EXPECT_EQ(written.ReadAttribute("", "ProgVersion"), TEtkConfigXMLFast::ProgVersion());
            EXPECT_EQ(written.ReadAttribute("", "LatestVersion"), TEtkConfigXMLFast::ProgVersion());
            EXPECT_EQ(written.ReadAttribute("", "changed"), QDate::currentDate().toString("yyyy-MM-dd"));
        }
        // Nothing of the atomic replacement is left behind.
        EXPECT_EQ(FilesIn(QFileInfo(file).path()).size(), row.Backup ? 2 : 1) << FilesIn(QFileInfo(file).path()).join(",").toStdString();
    }
}

TEST(TEtkConfigXMLFast, ProgVersionIsTheProgramsVersionNumber) {
    EXPECT_TRUE(QRegularExpression("^\\d+\\.\\d+(\\.\\d+)*$").match(TEtkConfigXMLFast::ProgVersion()).hasMatch())
        << TEtkConfigXMLFast::ProgVersion().toStdString();
}

TEST(TEtkConfigXMLFast, KeepsAHigherLatestVersion) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, ProjectFile("", " Version=\"1.1\" LatestVersion=\"99,1\""));
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    store.WriteInteger("A", 1);
    EXPECT_EQ(store.ReadAttribute("", "LatestVersion"), "99,1");
    EXPECT_EQ(store.ReadAttribute("", "ProgVersion"), TEtkConfigXMLFast::ProgVersion());
}

TEST(TEtkConfigXMLFast, CreatesAMissingFileOnFirstAccess) {
    TTempEnvironment env;
    const QString file = env.FilePath("new/folder/QtrUser.cfg");
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    EXPECT_FALSE(QFile::exists(file));
    EXPECT_EQ(store.ReadString("USER\\X", "d"), "d");
    EXPECT_EQ(ReadBytes(file), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\"></BRENLOW>");
    EXPECT_DOUBLE_EQ(store.ReadVersion(), 1.1);
}

TEST(TEtkConfigXMLFast, WritersOfDifferentKeysKeepEachOthersChanges) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    TEtkConfigXMLFast first;
    TEtkConfigXMLFast second;
    first.SetFileName(file);
    second.SetFileName(file);
    for (int i = 0; i < 20; ++i) {
        // Each write lands within the same second as the other store's: only the stamp tells them apart.
        first.WriteInteger(QString("A\\K%1").arg(i), i);
        second.WriteInteger(QString("B\\K%1").arg(i), i);
    }
    TEtkConfigXMLFast reader;
    reader.SetFileName(file);
    EXPECT_EQ(reader.ReadKeys("A").size(), 20);
    EXPECT_EQ(reader.ReadKeys("B").size(), 20);
    // A read within a second of the last comparison may still be served from the tree; a write
    // always compares first.
    first.WriteInteger("A\\Extra", 1);
    EXPECT_EQ(first.ReadInteger("B\\K19", -1), 19);
}

TEST(TEtkConfigXMLFast, BatchesWriteOnceAndReplayOntoANewerFile) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    TEtkConfigXMLFast batch;
    TEtkConfigXMLFast other;
    batch.SetFileName(file);
    other.SetFileName(file);
    batch.StartCaching();
    batch.StartCaching();
    batch.WriteString("Batch\\A", "1");
    batch.WriteAttribute("Batch", "Valid", "true");
    batch.DeleteKey("Gone");
    other.WriteString("Other\\B", "2");
    batch.EndCaching();
    EXPECT_EQ(ReadBytes(file).indexOf("Batch"), -1) << "inner end must not write";
    batch.EndCaching();
    TEtkConfigXMLFast reader;
    reader.SetFileName(file);
    EXPECT_EQ(reader.ReadString("Batch\\A", ""), "1");
    EXPECT_EQ(reader.ReadAttribute("Batch", "Valid"), "true");
    EXPECT_EQ(reader.ReadString("Other\\B", ""), "2");
}

TEST(TEtkConfigXMLFast, BrokenFilesRaiseAndAreNeverOverwritten) {
    TTempEnvironment env;
    const QByteArray valid = ProjectFile("\r\n<A>sx</A>");
    QByteArray badCrc = Gzip(valid);
    badCrc[badCrc.size() - 6] = static_cast<char>(badCrc[badCrc.size() - 6] ^ 0x55);
    struct Row { const char* Name; QByteArray Bytes; };
    const Row rows[] = {
        {"malformed", ProjectFile("\r\n<A>sx</B>")},
        {"truncated", valid.left(valid.size() - 12)},
        {"not XML", "Etk project"},
        {"gzip with a wrong CRC", badCrc},
        {"empty", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString file = env.FilePath(QString("%1/Etk.blk").arg(row.Name));
        WriteBytes(file, row.Bytes);
        TRecordingPresenter presenter;
        TEtkConfigXMLFast store;
        QString message;
        try {
            store.SetFileName(file);
        } catch (const EBLKParserError& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, "Fehler in Datei: Etk.blk");
        ASSERT_EQ(presenter.Messages().size(), 1u);
        EXPECT_EQ(presenter.Messages()[0].Kind, TPresenterKind::pkError);
        EXPECT_EQ(presenter.Messages()[0].Details.last(), file);
        // A write would have replaced the file with what the parser got before the error.
        EXPECT_THROW(store.WriteString("A", "y"), EBLKParserError);
        EXPECT_EQ(ReadBytes(file), row.Bytes);
    }
}

TEST(TEtkConfigXMLFast, ReadsCompressedFiles) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, Gzip(ProjectFile("\r\n<A>i42</A>")));
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    EXPECT_EQ(store.ReadInteger("A", 0), 42);
}

TEST(TEtkConfigXMLFast, AVanishedFolderFailsTheWrite) {
    TTempEnvironment env;
    const QString folder = env.FilePath("catalog");
    const QString file = folder + "/Etk.blk";
    WriteBytes(file, ProjectFile(""));
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    ASSERT_TRUE(QDir(folder).removeRecursively());
    EXPECT_THROW(store.WriteString("A", "x"), EFOpenError);
    EXPECT_FALSE(QFile::exists(file));
}

TEST(TEtkConfigXMLFast, WaitsForAFileAnotherProcessHolds) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, ProjectFile("\r\n<A>sold</A>"));
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    store.SetLockWaitPeriod(100ms);
    THelperProcess holder("lockholder", {file, "read"});
    ASSERT_TRUE(holder.WaitForLine("locked"));
    QString message;
    try {
        store.WriteString("A", "new");
    } catch (const EFOpenError& e) {
        message = e.Message();
    }
    EXPECT_NE(message.indexOf("kann nicht geschrieben werden"), -1) << message.toStdString();
    EXPECT_EQ(ReadBytes(file), ProjectFile("\r\n<A>sold</A>"));
    holder.Kill();
    store.WriteString("A", "new");
    EXPECT_NE(ReadBytes(file).indexOf("<A>snew</A>"), -1);
}

TEST(TEtkConfigXMLFast, ReportsAFileMissingOnFiveReads) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, ProjectFile(""));
    TEtkConfigXMLFast store;
    store.SetFileName(file);
    QFile::remove(file);
    TRecordingPresenter presenter;
    for (int i = 0; i < 4; ++i)
        store.RefreshDom();
    EXPECT_TRUE(presenter.Messages().empty());
    store.RefreshDom();
    ASSERT_EQ(presenter.Messages().size(), 1u);
    EXPECT_EQ(presenter.Messages()[0].Text, "Ruridadprojekt nicht lesbar! Anwendung wird beendet");
    EXPECT_FALSE(QFile::exists(file)) << "a file read before is not created again";
}

TEST(TEtkConfigXMLFast, CompoundOperations) {
    TTempEnvironment env;
    TEtkConfigXMLFast source;
    source.SetFileName(env.FilePath("source.cfg"));
    source.WriteString("USER\\A", "a");
    source.WriteAttribute("USER\\A", "x", "1");
    source.WriteInteger("USER\\A\\B", 2);
    TEtkConfigXMLFast target;
    target.SetFileName(env.FilePath("target.cfg"));
    target.WriteString("USER\\Old", "o");
    target.WriteString("USER", "keep");
    target.AssignData(source, "USER");
    EXPECT_EQ(target.ReadAllKeys("USER"), QStringList({"A", "A\\B"}));
    EXPECT_EQ(target.ReadAllAttributes("USER\\A"), QStringList({"x|1"}));
    EXPECT_EQ(target.ReadString("USER", ""), "keep");

    target.WriteKeys("USER", {"A", "C"});
    EXPECT_EQ(target.ReadKeys("USER"), QStringList({"A", "C"}));
    EXPECT_EQ(target.ReadInteger("USER\\A\\B", 0), 2) << "a kept sub-key keeps its content";

    std::vector<TEtkRect> rects{{1, 2, 3, 4}, {5, 6, 7, 8}};
    target.WriteRect("W", rects, 1);
    EXPECT_EQ(target.ReadRectCount("W"), 1);
    std::vector<TEtkRect> small(1);
    EXPECT_FALSE(target.ReadRect("W", small, 0));
    std::vector<TEtkRect> read(2);
    EXPECT_TRUE(target.ReadRect("W", read, 1));
    EXPECT_EQ(read, rects);
    EXPECT_NE(ReadBytes(env.FilePath("target.cfg")).indexOf("<TRect0 Top=\"2\" Left=\"1\" Right=\"3\" Bottom=\"4\">"), -1);

    TEtkFontData font;
    font.Name = "Tahoma";
    font.Style = 3;
    target.WriteFont("F", font);
    TEtkFontData back;
    back.Size = 99;
    target.ReadFont("F", back);
    EXPECT_EQ(back, font);

    target.WriteString("T\\ML", "");
    target.WriteAttribute("T\\ML", "BLSP", "ML");
    target.WriteString("T\\ML\\DE", "Hallo");
    QStringList texts;
    target.ExtractTexte(texts, {"DE", "EN"});
    const QString guid = target.ReadAttribute("T\\ML", "GUID");
    EXPECT_EQ(guid.size(), 32);
    EXPECT_EQ(texts, QStringList({"T\\ML:" + guid + "\tDE\tHallo", "T\\ML:" + guid + "\tEN\t"}));

    EXPECT_THROW(target.WriteRawData("X", 4, "y"), Exception);
    target.WriteVersion(1.1);
    EXPECT_DOUBLE_EQ(target.ReadVersion(), 1.1);
}

TEST(TEtkConfigXMLFast, ConcurrentProcessesLoseNoKeysAndReadersNeverSeeHalfAFile) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, ProjectFile(""));
    constexpr int Writers = 4;
    constexpr int Writes = 300;
    std::vector<std::unique_ptr<THelperProcess>> readers;
    for (int i = 0; i < 2; ++i) {
        readers.push_back(std::make_unique<THelperProcess>("reader", QStringList{file}));
        ASSERT_TRUE(readers.back()->WaitForLine("reading"));
    }
    std::vector<std::unique_ptr<THelperProcess>> writers;
    for (int i = 0; i < Writers; ++i)
        writers.push_back(std::make_unique<THelperProcess>("writer", QStringList{file, QString("W%1").arg(i), QString::number(Writes)}));
    for (auto& writer : writers) {
        EXPECT_EQ(writer->Finish(), 0) << writer->StandardError().toStdString();
    }
    for (auto& reader : readers) {
        EXPECT_EQ(reader->Finish(), 0) << reader->StandardError().toStdString();
    }

    TBLKConnector final;
    QStringList errors;
    ASSERT_TRUE(final.LoadFromStream(ReadBytes(file), errors)) << errors.join(";").toStdString();
    int keys = 0;
    for (int i = 0; i < Writers; ++i) {
        for (int k = 0; k < Writes; ++k) {
            const QString key = QString("W%1\\K%2").arg(i).arg(k);
            if (final.ReadRawString(key, "") == "s" + QString::number(k))
                ++keys;
        }
    }
    EXPECT_EQ(keys, Writers * Writes);
    // The backup holds the file as it was before the last write: one key fewer, all of them kept.
    TBLKConnector backup;
    ASSERT_TRUE(backup.LoadFromStream(ReadBytes(env.FilePath("Etk.~blk")), errors)) << errors.join(";").toStdString();
    int backupKeys = 0;
    for (int i = 0; i < Writers; ++i) {
        QStringList names;
        backup.ReadKeys(QString("W%1").arg(i), names);
        backupKeys += static_cast<int>(names.size());
        for (const QString& name : names)
            EXPECT_TRUE(final.KeyExists(QString("W%1\\").arg(i) + name));
    }
    EXPECT_EQ(backupKeys, Writers * Writes - 1);
    EXPECT_EQ(FilesIn(env.Root()).filter(".Etk.blk.").size(), 0) << "no temporary file is left";
}

TEST(TEtkConfigXMLFast, AWriterKilledWhileWritingLeavesAValidFile) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, ProjectFile(""));
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        // Large values make each write long enough to be interrupted in the middle.
        THelperProcess writer("writer", {file, QString("R%1").arg(round), "100000", "20000"});
        ASSERT_TRUE(writer.WaitForLine(QString("wrote %1").arg(3 + round * 7)));
        ::kill(static_cast<pid_t>(writer.Process().processId()), SIGKILL);
        writer.Kill();
        TBLKConnector tree;
        QStringList errors;
        EXPECT_TRUE(tree.LoadFromStream(ReadBytes(file), errors)) << errors.join(";").toStdString();
        EXPECT_GE(tree.RootNode()->ChildCount(), round + 1);
        TEtkConfigXMLFast store;
        store.SetFileName(file);
        EXPECT_EQ(store.ReadString(QString("R%1\\K3").arg(round), ""), "3" + QString(20000, 'x'));
    }
}

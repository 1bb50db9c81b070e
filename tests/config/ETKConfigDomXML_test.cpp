#include "TestSupport.h"
#include "config/ETKConfigDomXML.h"
#include "config/FastBLKReader.h"

#include <QFile>
#include <gtest/gtest.h>
#include <zlib.h>

namespace {

QByteArray Compress(const QByteArray& Bytes, int WindowBits) {
    z_stream stream{};
    deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, WindowBits, 8, Z_DEFAULT_STRATEGY);
    QByteArray out(static_cast<qsizetype>(deflateBound(&stream, static_cast<uLong>(Bytes.size())) + 32), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(Bytes.constData()));
    stream.avail_in = static_cast<uInt>(Bytes.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(static_cast<qsizetype>(stream.total_out));
    deflateEnd(&stream);
    return out;
}

const QByteArray Plain = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\">\r\n<A>sWert</A>\r\n</BRENLOW>";

}  // namespace

TEST(TEtkConfigXML, CreatesAMissingFileWithItsRootOnly) {
    TTempEnvironment env;
    const QString file = env.FilePath("sub/viewer.xml");
    TEtkConfigXML store;
    store.SetFileName(file);
    EXPECT_EQ(ReadBytes(file), "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\" XMLVersion=\"1.1\">\r\n</BRENLOW>");
    store.WriteString("zrmsettings\\base\\blkPath", "/data/Etk.blk");
    const QByteArray bytes = ReadBytes(file);
    EXPECT_NE(bytes.indexOf("\n<zrmsettings>\n<base>\n<blkPath>s/data/Etk.blk</blkPath>\n</base>\n</zrmsettings>\n"), -1)
        << bytes.toStdString();
    TEtkConfigXML reread;
    reread.SetFileName(file);
    EXPECT_EQ(reread.ReadString("zrmsettings\\base\\blkPath", ""), "/data/Etk.blk");
}

TEST(TEtkConfigXML, ReadsValuesAsTheFormatSays) {
    TTempEnvironment env;
    const QString file = env.FilePath("viewer.xml");
    WriteBytes(file, "<?xml version=\"1.0\"?>\n<BRENLOW>\n<K>s  abc  \n</K><E>s&amp;lt;</E><I>i12x</I><T>btrue</T>"
                     "<D>sone</D><D>stwo</D><L>lsa#007Cb|s#0023|s</L></BRENLOW>");
    TEtkConfigXML store;
    store.SetFileName(file);
    EXPECT_EQ(store.ReadString("K", ""), "  abc");
    EXPECT_EQ(store.ReadString("E", ""), "<");
    EXPECT_EQ(store.ReadInteger("I", 7), 7);
    EXPECT_TRUE(store.ReadBool("T", false));
    EXPECT_EQ(store.ReadString("D", "", 1), "two");
    EXPECT_EQ(store.ReadString("D", "x", 2), "x");
    EXPECT_EQ(store.ReadStrings("L"), QStringList({"a|b", "#", ""}));
    EXPECT_EQ(store.ReadKeys("BRENLOW"), QStringList({"K", "E", "I", "T", "D", "D", "L"}));
}

TEST(TEtkConfigXML, RefusesBadKeySegmentsBeforeAnythingChanges) {
    TTempEnvironment env;
    const QString file = env.FilePath("viewer.xml");
    TEtkConfigXML store;
    store.SetFileName(file);
    const QByteArray before = ReadBytes(file);
    struct Row { const char* Name; QString Key; QString Message; };
    const Row rows[] = {
        {"blank", "a\\b c", "TEtkConfigXML: Key darf keine Leerzeichen enthalten: a\\b c"},
        {"less", "a<b", "TEtkConfigXML: Key darf kein < Zeichen enthalten: a<b"},
        {"greater", "a>b", "TEtkConfigXML: Key darf kein > Zeichen enthalten: a>b"},
        {"digit first", "x\\9a", "TEtkConfigXML: Key darf kein 9 Zeichen enthalten: x\\9a"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        QString message;
        try {
            store.WriteString(row.Key, "v");
        } catch (const EBLKKeyError& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, row.Message);
        EXPECT_EQ(store.ReadString(row.Key, "default"), "default");
    }
    EXPECT_EQ(ReadBytes(file), before);
}

TEST(TEtkConfigXML, RoundTripsValuesAndAttributes) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    const QString text = u"  Grüße & <Welt> \"'\u4E2D"_qs;
    // A leading U+FEFF was taken for a byte-order mark and dropped.
    const QString zeroWidth = QChar(0xFEFF) + QString("x");
    const QString attribute = u"a\tb\r\nc&<>\"'\uFFFF"_qs;
    {
        TEtkConfigXML store;
        store.SetFileName(file);
        store.WriteString("A\\S", text);
        store.WriteAttribute("A", "Note", attribute);
        store.WriteStrings("A\\L", QStringList({"x|y", ""}));
        store.WriteBool("A\\B", false);
        store.WriteInteger("A\\I", -3);
        store.WriteAttribute("A", "Z", zeroWidth);
    }
    TEtkConfigXML store;
    store.SetFileName(file);
    EXPECT_EQ(store.ReadString("A\\S", ""), text);
    EXPECT_EQ(store.ReadAttribute("A", "Note"), u"a\tb\r\nc&<>\"'\u00BF"_qs);
    EXPECT_EQ(store.ReadStrings("A\\L"), QStringList({"x|y", ""}));
    EXPECT_FALSE(store.ReadBool("A\\B", true));
    EXPECT_EQ(store.ReadInteger("A\\I", 0), -3);
    EXPECT_EQ(store.ReadAttribute("A", "Z"), zeroWidth);
    EXPECT_EQ(store.ReadAllKeys("A"), QStringList({"S", "L", "B", "I"}));
    // The fast store reads what the DOM store wrote.
    TBLKConnector fast;
    QStringList errors;
    ASSERT_TRUE(fast.LoadFromStream(ReadBytes(file), errors)) << errors.join(";").toStdString();
    EXPECT_EQ(fast.ReadRawString("A\\I", ""), "i-3");
}

TEST(TEtkConfigXML, DeletesAndBacksUp) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    TRecordingPresenter presenter;
    TEtkConfigXML store;
    store.SetFileName(file);
    store.WriteString("A\\X", "1");
    const QByteArray before = ReadBytes(file);
    store.WriteString("A\\Y", "2");
    EXPECT_EQ(ReadBytes(env.FilePath("Etk.~blk")), before);
    store.DeleteKey("A\\X");
    EXPECT_EQ(store.ReadKeys("A"), QStringList({"Y"}));
    store.DeleteValue("A\\Y");
    EXPECT_EQ(store.ReadString("A\\Y", "gone"), "gone");
    EXPECT_TRUE(store.KeyExists("A\\Y"));
    store.WriteAttribute("A", "Valid", "true");
    store.DeleteAttribute("A", "Valid");
    TEtkConfigXML reread;
    reread.SetFileName(file);
    EXPECT_EQ(reread.ReadAttribute("A", "Valid"), "") << "a removed attribute reaches the file";
    EXPECT_TRUE(presenter.Messages().empty());
    store.DeleteValue("Nope");
    ASSERT_EQ(presenter.Messages().size(), 1u);
    EXPECT_EQ(presenter.Messages()[0].Text, "Nothing to delete");
}

TEST(TEtkConfigXML, ReadsCompressedFilesAndRefusesBrokenOnes) {
    TTempEnvironment env;
    QByteArray badCrc = Compress(Plain, 16 + MAX_WBITS);
    badCrc[badCrc.size() - 6] = static_cast<char>(badCrc[badCrc.size() - 6] ^ 0x01);
    struct Row { const char* Name; QByteArray Bytes; bool Konfig; QString Value; };
    const Row rows[] = {
        {"gzip", Compress(Plain, 16 + MAX_WBITS), true, "Wert"},
        {"zlib", Compress(Plain, MAX_WBITS), true, "Wert"},
        {"byte-order mark", "\xEF\xBB\xBF" + Plain, true, "Wert"},
        // Taken as it is and, lacking the declaration, not parsed.
        {"gzip with a wrong CRC", badCrc, false, "default"},
        {"no declaration", "<BRENLOW><A>sWert</A></BRENLOW>", false, "default"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString file = env.FilePath(QString("%1/viewer.xml").arg(row.Name));
        WriteBytes(file, row.Bytes);
        TEtkConfigXML store;
        store.SetFileName(file);
        EXPECT_EQ(store.isKonfig(), row.Konfig);
        EXPECT_EQ(store.ReadString("A", "default"), row.Value);
    }
}

TEST(TEtkConfigXML, MalformedFileRaisesShowsTheErrorsAndStaysUntouched) {
    TTempEnvironment env;
    const QString file = env.FilePath("viewer.blk");
    const QByteArray broken = "<?xml version=\"1.0\"?>\r\n<BRENLOW><A>sx</B></BRENLOW>";
    WriteBytes(file, broken);
    TRecordingPresenter presenter;
    TEtkConfigXML store;
    QString message;
    try {
        store.SetFileName(file);
    } catch (const EBLKParserError& e) {
        message = e.Message();
    }
    EXPECT_EQ(message, "Fehler in Datei: viewer.blk");
    ASSERT_EQ(presenter.Messages().size(), 1u);
    EXPECT_EQ(presenter.Messages()[0].Details.last(), file);
    EXPECT_THROW(store.WriteString("C", "y"), EBLKParserError);
    EXPECT_EQ(ReadBytes(file), broken);
}

TEST(TEtkConfigXML, BatchesWriteAtTheOutermostEnd) {
    TTempEnvironment env;
    const QString file = env.FilePath("viewer.xml");
    TEtkConfigXML store;
    store.SetFileName(file);
    const QByteArray before = ReadBytes(file);
    store.StartCaching();
    store.StartCaching();
    store.WriteKeys("Variants", {"A", "B"});
    store.WriteString("Variants\\A\\X", "1");
    store.EndCaching();
    EXPECT_EQ(ReadBytes(file), before);
    store.EndCaching();
    TEtkConfigXML reread;
    reread.SetFileName(file);
    EXPECT_EQ(reread.ReadKeys("Variants"), QStringList({"A", "B"}));
    EXPECT_EQ(reread.ReadString("Variants\\A\\X", ""), "1");
    reread.WriteAttribute("Variants\\A", "Valid", "true");
    EXPECT_TRUE(reread.ElementsInKeyHasAttribut("Variants\\A\\X\\Y", "Valid", "true"));
    EXPECT_FALSE(reread.ElementsInKeyHasAttribut("Variants\\B", "Valid", "true"));
}

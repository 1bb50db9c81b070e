#include "TestSupport.h"
#include "config/FastBLKReader.h"

#include <gtest/gtest.h>

namespace {

QByteArray Declaration() { return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"; }

QString AssertionOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const EBLKAssertion& e) {
        return e.Message();
    }
    return QStringLiteral("<no assertion>");
}

}  // namespace

TEST(TBLKConnector, WritesTheProjectFileLayoutByteForByte) {
    TBLKConnector tree;
    tree.WriteAttribute("", "Version", "1.1");
    tree.WriteRawString("VIEWER\\MaxHeapSize", "i1024");
    tree.WriteRawString("VIEWER\\LANGUAGES", "lsDE|sEN");
    tree.WriteRawString("VIEWER", "sparent value");
    EXPECT_EQ(tree.WriteToBytes(), Declaration() +
                                       "\r\n<BRENLOW Version=\"1.1\">"
                                       "\r\n<VIEWER>sparent value"
                                       "\r\n<MaxHeapSize>i1024</MaxHeapSize>"
                                       "\r\n<LANGUAGES>lsDE|sEN</LANGUAGES>"
                                       "\r\n</VIEWER>"
                                       "\r\n</BRENLOW>");
}

TEST(TBLKConnector, EscapesValuesAndAttributes) {
    struct Row { const char* Name; QString Value; QByteArray Content; QByteArray Attribute; };
    const Row rows[] = {
        {"markup characters", "a&b<c>\"'", "a&amp;b&lt;c&gt;&quot;&apos;", "a&amp;b&lt;c&gt;&quot;&apos;"},
        {"non-ASCII as UTF-8", u"Grüße €"_qs, "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC"},
        {"line breaks as references", "a\r\nb\nc", "a&#x0D;&#x0A;b&#x0A;c", "a&#x0D;&#x0A;b&#x0A;c"},
        // A literal tab in an attribute value would read back as a blank.
        {"tab", "a\tb", "a\tb", "a&#x09;b"},
        {"other controls become blanks, tabs too", QString("a") + QChar(1) + "b\tc", "a b c", "a b c"},
        // U+FFFF is not allowed in XML: written as is, it made the whole file unreadable.
        {"non-characters", QString("x") + QChar(0xFFFF), "x\xC2\xBF", "x\xC2\xBF"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBLKConnector tree;
        tree.WriteRawString("K", row.Value);
        EXPECT_EQ(tree.WriteToBytes(), Declaration() + "\r\n<BRENLOW>\r\n<K>" + row.Content + "</K>\r\n</BRENLOW>");
        TBLKConnector attributes;
        attributes.WriteAttribute("", "A", row.Value);
        EXPECT_EQ(attributes.WriteToBytes(), Declaration() + "\r\n<BRENLOW A=\"" + row.Attribute + "\"></BRENLOW>");
    }
}

TEST(TBLKConnector, ReadsContentAsTheFormatSays) {
    struct Row { const char* Name; QByteArray Xml; QString Value; };
    const Row rows[] = {
        {"white space only is no value", "<K>  \n </K>", ""},
        {"trailing line feeds go", "<K>sabc\n\n</K>", "sabc"},
        {"leading line feeds go", "<K>\n\nsabc</K>", "sabc"},
        {"inner line feed becomes CR LF", "<K>sa\nb</K>", "sa\r\nb"},
        {"references keep CR LF", "<K>sa&#x0D;&#x0A;b</K>", "sa\r\nb"},
        {"entities", "<K>s&lt;x&amp;&gt;&apos;&quot;</K>", "s<x&>'\""},
        // The parser reports the blank before a reference on its own; readers trim it anyway.
        {"white space before a first reference", "<K> &amp;x</K>", "&x"},
        {"text around a child belongs to the parent", "<K>i5\n<C>sx</C>\n</K>", "i5"},
        // A value starting with U+FEFF lost it: the UTF-8 decoder took it for a byte-order mark.
        {"leading zero-width no-break space", "<K>\xEF\xBB\xBFsx</K>", QChar(0xFEFF) + QString("sx")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBLKConnector tree;
        QStringList errors;
        ASSERT_TRUE(tree.LoadFromStream("<?xml version=\"1.0\"?><BRENLOW>" + row.Xml + "</BRENLOW>", errors));
        EXPECT_EQ(tree.ReadRawString("K", "<missing>"), row.Value);
    }
}

TEST(TBLKConnector, AttributeValuesAreDecodedOnce) {
    TBLKConnector tree;
    QStringList errors;
    // "&amp;lt;" stands for the text "&lt;"; decoding twice turned it into "<".
    ASSERT_TRUE(tree.LoadFromStream("<BRENLOW a=\"&amp;lt;\" b=\"x&#x0A;y\" c=\"&quot;\"/>", errors));
    EXPECT_EQ(tree.ReadAttribute("", "a"), "&lt;");
    EXPECT_EQ(tree.ReadAttribute("", "b"), "x\ny");
    EXPECT_EQ(tree.ReadAttribute("", "c"), "\"");
}

TEST(TBLKConnector, SerialisedTreeParsesBackToTheSameBytes) {
    TBLKConnector tree;
    tree.WriteAttribute("", "Version", "1.1");
    tree.WriteAttribute("", "Note", u"ä&<\"'\t\r\n"_qs);
    tree.WriteRawString("A\\B", u"s  Grüße & <Welt> \u4E2D\U0001F600"_qs);
    tree.WriteRawString("A\\C", "sline1\r\nline2");
    tree.WriteRawString("A", "i-7");
    tree.WriteRawString("A\\B\\D", "lsa#007Cb|s#0023|s");
    tree.WriteRawString("E", "");
    const QByteArray first = tree.WriteToBytes();
    TBLKConnector reread;
    QStringList errors;
    ASSERT_TRUE(reread.LoadFromStream(first, errors)) << errors.join("; ").toStdString();
    EXPECT_EQ(reread.WriteToBytes(), first);
    EXPECT_EQ(reread.ReadRawString("A\\B", ""), tree.ReadRawString("A\\B", "x"));
    EXPECT_EQ(reread.ReadAttribute("", "Note"), tree.ReadAttribute("", "Note"));
}

TEST(TBLKConnector, BadInputIsReportedNotCrashed) {
    struct Row { const char* Name; QByteArray Bytes; };
    const Row rows[] = {
        {"empty", ""},
        {"truncated", "<?xml version=\"1.0\"?>\r\n<BRENLOW>\r\n<A>s"},
        {"not XML", "Hello, world"},
        {"mismatched tags", "<BRENLOW><A></B></BRENLOW>"},
        {"undefined entity", "<BRENLOW>&nbsp;</BRENLOW>"},
        {"invalid UTF-8", "<BRENLOW>\xFF\xFE</BRENLOW>"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBLKConnector tree;
        QStringList errors;
        EXPECT_FALSE(tree.LoadFromStream(row.Bytes, errors));
        EXPECT_EQ(errors.size(), 1);
        EXPECT_EQ(errors, tree.Errorlist);
        EXPECT_TRUE(tree.CheckInvariance());
    }
}

TEST(TBLKConnector, FindNodeRefusesKeysWithOuterBackslashes) {
    struct Row { const char* Name; QString Key; QString Message; };
    const Row rows[] = {
        {"trailing", "VIEWER\\", "Der Key darf nicht mit Backslash enden: VIEWER\\ (FastBLKReader)"},
        {"leading", "\\VIEWER", "Der Key darf nicht mit Backslash anfangen: \\VIEWER (FastBLKReader)"},
        {"alone", "\\", "Der Key darf nicht mit Backslash enden: \\ (FastBLKReader)"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBLKConnector tree;
        EXPECT_EQ(AssertionOf([&] { tree.FindNode(row.Key, false); }), row.Message);
    }
}

TEST(TBLKConnector, RefusesSegmentsThatCannotBeElementNames) {
    struct Row { const char* Name; QString Key; QString Message; };
    const Row rows[] = {
        {"blank", "VIEWER\\a b", "TEtkConfigXMLFast: Key darf keine Leerzeichen enthalten: VIEWER\\a b"},
        {"greater", "a>b", "TEtkConfigXMLFast: Key darf kein > Zeichen enthalten: a>b"},
        {"less", "x\\a<b", "TEtkConfigXMLFast: Key darf kein < Zeichen enthalten: x\\a<b"},
        {"leading digit", "VIEWER\\1x", "TEtkConfigXMLFast: Key darf kein 1 Zeichen enthalten: VIEWER\\1x"},
        {"ampersand", "a&b", "TEtkConfigXMLFast: Key darf kein & Zeichen enthalten: a&b"},
        {"empty segment", "a\\\\b", "Leere Tagnamen sind nicht zulässig"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBLKConnector tree;
        QString message;
        try {
            tree.WriteRawString(row.Key, "sx");
        } catch (const EBLKKeyError& e) {
            message = e.Message();
        }
        EXPECT_EQ(message, row.Message);
        EXPECT_EQ(tree.ReadRawString(row.Key, "default"), "default");
        EXPECT_EQ(tree.RootNode()->ChildCount(), 0) << "nothing may change before the refusal";
    }
}

TEST(TBLKConnector, EditsTheTree) {
    TBLKConnector tree;
    EXPECT_TRUE(tree.WriteRawString("A\\B", "s1"));
    EXPECT_FALSE(tree.WriteRawString("A\\B", "s1"));
    EXPECT_TRUE(tree.WriteRawString("A\\C", ""));  // a created node counts as a change
    EXPECT_TRUE(tree.WriteAttribute("A", "Valid", "true"));
    EXPECT_FALSE(tree.WriteAttribute("A", "Valid", "true"));
    QStringList keys;
    tree.ReadKeys("A", keys);
    EXPECT_EQ(keys, QStringList({"B", "C"}));
    EXPECT_TRUE(tree.ElementsInKeyHasAttribut("A\\B\\Z", "Valid", "true"));
    EXPECT_FALSE(tree.ElementsInKeyHasAttribut("A\\B", "Valid", "false"));
    EXPECT_TRUE(tree.RenameKey("A\\C", "D"));
    EXPECT_TRUE(tree.KeyExists("A\\D"));
    EXPECT_TRUE(tree.DeleteValue("A\\B"));
    EXPECT_EQ(tree.ReadRawString("A\\B", "x"), "");
    EXPECT_TRUE(tree.Deletekey("A\\B"));
    EXPECT_FALSE(tree.KeyExists("A\\B"));
    EXPECT_TRUE(tree.DeleteSubKeys("A"));
    EXPECT_TRUE(tree.Deletekey(""));
    EXPECT_EQ(tree.RootNode()->TagName, "BRENLOW");
    EXPECT_EQ(tree.RootNode()->ChildCount(), 0);
    EXPECT_TRUE(tree.CheckInvariance());
}

TEST(TBLKConnector, LongSiblingListsFindTheFirstNamesakeThroughEdits) {
    TBLKConnector tree;
    QStringList errors;
    QByteArray body;
    for (int i = 0; i < 40; ++i)
        body += "\r\n<K" + QByteArray::number(i) + ">s" + QByteArray::number(i) + "</K" + QByteArray::number(i) + ">";
    body += "\r\n<K5>ssecond</K5>";
    ASSERT_TRUE(tree.LoadFromStream("<?xml version=\"1.0\"?>\r\n<BRENLOW>\r\n<A>" + body + "\r\n</A>\r\n</BRENLOW>", errors));

    EXPECT_EQ(tree.ReadRawString("A\\K5", "-"), "s5");
    EXPECT_EQ(tree.ReadRawString("A\\K39", "-"), "s39");
    EXPECT_TRUE(tree.Deletekey("A\\K5"));
    EXPECT_EQ(tree.ReadRawString("A\\K5", "-"), "ssecond");
    EXPECT_TRUE(tree.RenameKey("A\\K7", "Renamed"));
    EXPECT_FALSE(tree.KeyExists("A\\K7"));
    EXPECT_EQ(tree.ReadRawString("A\\Renamed", "-"), "s7");
    EXPECT_TRUE(tree.WriteRawString("A\\K7", "snew"));
    EXPECT_EQ(tree.ReadRawString("A\\K7", "-"), "snew");
    EXPECT_TRUE(tree.WriteRawString("A\\K40", "s40"));
    EXPECT_EQ(tree.ReadRawString("A\\K40", "-"), "s40");
    EXPECT_TRUE(tree.DeleteSubKeys("A"));
    EXPECT_FALSE(tree.KeyExists("A\\K1"));
    EXPECT_TRUE(tree.WriteRawString("A\\K1", "sagain"));
    EXPECT_EQ(tree.ReadRawString("A\\K1", "-"), "sagain");
}

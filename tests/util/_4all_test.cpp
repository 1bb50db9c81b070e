#include <gtest/gtest.h>

#include <QStringList>
#include <limits>

#include "TestSupport.h"
#include "util/Exception.h"
#include "util/Streams.h"
#include "util/_4all.h"

namespace {

QStringList Pairs(const TMapStrToStr& Map) {
    QStringList result;
    for (int i = 0; i < Map.Count(); ++i) {
        QString key;
        QString value;
        Map.GetValueByIndex(i, key, value);
        result << key + "=" + value;
    }
    return result;
}

}  // namespace

TEST(StrToInt, AcceptsTheToolkitsIntegerTextOnly) {
    struct Row {
        const char* Text;
        bool Valid;
        qint32 Value;
    };
    const Row rows[] = {
        {"42", true, 42},
        {"-17", true, -17},
        {"+5", true, 5},
        {"   7", true, 7},
        {"2147483647", true, std::numeric_limits<qint32>::max()},
        {"-2147483648", true, std::numeric_limits<qint32>::min()},
        {"$1F", true, 31},
        {"0x10", true, 16},
        {"0XfF", true, 255},
        {"0xFFFFFFFF", true, -1},
        {"-$10", true, -16},
        {"2147483648", false, 0},
        {"0x100000000", false, 0},
        {"7 ", false, 0},
        {"", false, 0},
        {"0x", false, 0},
        {"-", false, 0},
        {"1.5", false, 0},
        {"12a", false, 0},
        {"\t3", false, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Text);
        qint32 value = 12345;
        EXPECT_EQ(TryStrToInt(QString(row.Text), value), row.Valid);
        if (row.Valid) {
            EXPECT_EQ(value, row.Value);
            EXPECT_EQ(StrToInt(row.Text), row.Value);
        } else {
            try {
                StrToInt(row.Text);
                FAIL() << "accepted";
            } catch (const EConvertError& e) {
                EXPECT_EQ(e.Message(), QString("'%1' is not a valid integer value").arg(row.Text));
            }
        }
    }
}

TEST(TIntList, SetAsStringKeepsNonEmptyPiecesInOrder) {
    struct Row {
        const char* Name;
        QString Text;
        QString Expected;
    };
    const Row rows[] = {
        {"plain", "1;2;3", "1;2;3"},
        {"empty pieces are skipped", ";1;;2;", "1;2"},
        {"negative and zero", "-7;0", "-7;0"},
        {"hexadecimal pieces", "$10;0x20", "16;32"},
        {"empty text", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TIntList list;
        list.Add(99);
        list.SetAsString(";", row.Text);
        EXPECT_EQ(list.GetAsString(";"), row.Expected);
    }
}

TEST(TIntList, SetAsStringRaisesOnBadText) {
    TIntList list;
    EXPECT_THROW(list.SetAsString(",", "1,x,3"), EConvertError);
    EXPECT_EQ(list.GetAsString(","), "1");
}

TEST(TIntList, MaxMinAndSortOverTheValues) {
    TIntList list;
    EXPECT_EQ(list.GetMax(), std::numeric_limits<qint32>::min());
    EXPECT_EQ(list.GetMin(), std::numeric_limits<qint32>::max());
    list.SetAsString(",", "5,-3,12,0,-3");
    EXPECT_EQ(list.GetMax(), 12);
    EXPECT_EQ(list.GetMin(), -3);
    list.Sort();
    EXPECT_EQ(list.GetAsString(" "), "-3 -3 0 5 12");
}

TEST(TIntList, EditsAndComparisons) {
    TIntList list;
    EXPECT_EQ(list.Add(10), 0);
    EXPECT_EQ(list.Add(30), 1);
    list.Insert(1, 20);
    list.SetInts(0, 5);
    EXPECT_EQ(list.GetAsString(","), "5,20,30");
    EXPECT_EQ(list.IndexOf(30), 2);
    EXPECT_EQ(list.IndexOf(10), -1);

    list.AddIntList(list);
    EXPECT_EQ(list.GetAsString(","), "5,20,30,5,20,30");

    TIntList other;
    other.SetAsString(",", "5,20,30,5,20,30");
    EXPECT_TRUE(list.Equals(other));
    other.Delete(5);
    EXPECT_FALSE(list.Equals(other));
    other.Add(31);
    EXPECT_FALSE(list.Equals(other));

    EXPECT_THROW(list.GetInts(6), EListError);
    EXPECT_THROW(list.SetInts(-1, 0), EListError);
    EXPECT_THROW(list.Insert(7, 0), EListError);
    EXPECT_THROW(list.Delete(6), EListError);
}

TEST(TMapStrToStr, KeyValueListReplacesSeparatorsInsideKeysAndValues) {
    TMapStrToStr map;
    map.SetValue("k", "v;w");
    EXPECT_EQ(map.GetAsKeyValueList(";"), "k;v_w;");
    map.SetValue("a;b", "");
    EXPECT_EQ(map.GetAsKeyValueList(";"), "a_b;;k;v_w;");
}

TEST(TMapStrToStr, SetAsKeyValueListTakesPiecesPairwise) {
    struct Row {
        const char* Name;
        QString Text;
        QStringList Expected;
    };
    const Row rows[] = {
        {"trailing separator", "k;v;a;b;", {"a=b", "k=v"}},
        {"unpaired last piece ignored", "k;v;lonely", {"k=v"}},
        {"empty values and keys", ";x;y;;", {"=x", "y="}},
        {"a later pair replaces the value", "k;1;k;2;", {"k=2"}},
        {"empty text", "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TMapStrToStr map;
        map.SetValue("old", "x");
        map.SetAsKeyValueList(";", row.Text);
        EXPECT_EQ(Pairs(map), row.Expected);
    }
}

TEST(TMapStrToStr, SortedMapsOrderKeysUnsortedKeepInsertionOrder) {
    struct Row {
        const char* Name;
        bool Sorted;
        QStringList Expected;
    };
    const Row rows[] = {
        {"sorted", true, {"B=2", "a=1", "c=3"}},
        {"unsorted", false, {"c=3", "a=1", "B=2"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TMapStrToStr map;
        map.SetSorted(row.Sorted);
        map.SetValue("c", "3");
        map.SetValue("a", "0");
        map.SetValue("B", "2");
        map.SetValue("a", "1");
        EXPECT_EQ(Pairs(map), row.Expected);
        EXPECT_EQ(map.GetValueByKey("a", "none"), "1");
        EXPECT_EQ(map.GetValueByKey("A", "none"), "none");  // keys keep their case
        EXPECT_EQ(map.GetKey(map.IndexOf("B")), "B");
        EXPECT_EQ(map.IndexOf("b"), -1);
        EXPECT_TRUE(map.RecordExists("c", "3"));
        EXPECT_FALSE(map.RecordExists("c", "4"));
        EXPECT_FALSE(map.RecordExists("d", ""));
    }
}

TEST(TMapStrToStr, DeleteAssignAndEquals) {
    TMapStrToStr map;
    map.SetSorted(false);
    map.SetValue("x", "1");
    map.SetValue("y", "2");
    map.SetValue("z", "3");
    map.Delete(7);
    map.Delete(-1);
    map.Delete("missing");
    map.Delete("y");
    EXPECT_EQ(Pairs(map), QStringList({"x=1", "z=3"}));

    TMapStrToStr copy;
    copy.SetValue("old", "o");
    copy.Assign(map);
    EXPECT_FALSE(copy.Sorted());
    EXPECT_EQ(Pairs(copy), Pairs(map));
    EXPECT_TRUE(copy.Equals(map));

    TMapStrToStr sorted;
    sorted.SetValue("z", "3");
    sorted.SetValue("x", "1");
    EXPECT_TRUE(sorted.Equals(map));  // the same pairs in another order
    sorted.SetValue("x", "2");
    EXPECT_FALSE(sorted.Equals(map));

    copy.SetValue("x", "changed");
    EXPECT_EQ(map.GetValueByKey("x", ""), "1");  // the copy owns its own values
    copy.Clear();
    EXPECT_EQ(copy.Count(), 0);
    EXPECT_THROW(copy.GetKey(0), EListError);
}

TEST(TMapStrToStr, StreamsHoldUtf16TextWithSeparatorThree) {
    TMapStrToStr map;
    map.SetValue("k", QString::fromUtf8("\xC3\xA4"));
    TMemoryStream stream;
    const QByteArray longer(64, 'z');
    stream.WriteBuffer(longer.constData(), longer.size());
    map.SaveToStream(stream);
    EXPECT_EQ(QByteArray(stream.Memory(), stream.Size()), QByteArray("k\0\3\0\xE4\0\3\0", 8));

    TMapStrToStr loaded;
    loaded.LoadFromStream(stream);
    EXPECT_TRUE(loaded.Equals(map));
}

TEST(TMapStrToStr, FilesRoundTripAndMissingFilesRaise) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("map.dat");
    TMapStrToStr map;
    map.SetValue("Name", "Wert mit\nZeilenumbruch");
    map.SetValue("", "leer");
    map.SaveToFile(path);
    map.SetValue("Name", "short");
    map.SaveToFile(path);

    TMapStrToStr loaded;
    loaded.LoadFromFile(path);
    EXPECT_EQ(Pairs(loaded), Pairs(map));

    try {
        loaded.LoadFromFile(environment.FilePath("missing.dat"));
        FAIL() << "missing file accepted";
    } catch (const EStreamError& e) {
        EXPECT_TRUE(e.Message().contains("missing.dat")) << e.what();
    }
}

TEST(TMapStrToInt, StoresIntegersUnderSortedKeys) {
    TMapStrToInt map;
    EXPECT_EQ(map.SetValue("b", 2), 0);
    EXPECT_EQ(map.SetValue("a", 1), 0);
    EXPECT_EQ(map.SetValue("b", 20), 1);
    EXPECT_EQ(map.Count(), 2);

    qint32 value = 0;
    EXPECT_TRUE(map.GetValue("b", value));
    EXPECT_EQ(value, 20);
    EXPECT_FALSE(map.GetValue("B", value));
    QString key;
    map.GetValueByIndex(0, key, value);
    EXPECT_EQ(key, "a");
    EXPECT_EQ(value, 1);
    EXPECT_EQ(map.GetKeys().Count(), 2);
    EXPECT_EQ(map.GetKeys()[1], "b");

    map.GetKeys().Add("c");  // a key without a value object reads as 0
    EXPECT_TRUE(map.GetValue("c", value));
    EXPECT_EQ(value, 0);

    map.DeleteValue("a");
    map.DeleteValue("missing");
    map.Delete(0);
    EXPECT_EQ(map.GetKeys()[0], "c");
    EXPECT_THROW(map.Delete(5), EListError);
    map.Clear();
    EXPECT_EQ(map.Count(), 0);
}

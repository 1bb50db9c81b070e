#include <gtest/gtest.h>

#include <QStringList>
#include <limits>

#include "TestSupport.h"
#include "util/BLTypes.h"
#include "util/Exception.h"

namespace {

QStringList Items(const TStringList& List) {
    QStringList result;
    for (int i = 0; i < List.Count(); ++i)
        result << List[i];
    return result;
}

}  // namespace

TEST(TBLStringList, IsCaseSensitiveFromConstructionOn) {
    for (const bool sorted : {false, true}) {
        SCOPED_TRACE(sorted ? "sorted" : "unsorted");
        TBLStringList list;
        list.SetSorted(sorted);
        list.Add("A");
        list.Add("a");
        EXPECT_EQ(list.Count(), 2);
        EXPECT_EQ(list.Strings(list.IndexOf("a")), "a");
        EXPECT_EQ(list.Strings(list.IndexOf("A")), "A");
        EXPECT_EQ(list.IndexOf("b"), -1);
    }
}

TEST(TBLStringList, BLSetDelimitedTextSplitsPerItsOptions) {
    struct Row {
        const char* Name;
        QString Text;
        bool Trim;
        bool IgnoreDuplicates;
        QStringList Expected;
    };
    const Row rows[] = {
        {"delimiter at the end adds an empty item", "x;y;", false, false, {"x", "y", ""}},
        {"trimmed, sorted, duplicate dropped", " b ; a ; b", true, true, {"a", "b"}},
        {"duplicates kept in order", "b;a;b", false, false, {"b", "a", "b"}},
        {"blanks kept without trimming", " b ; a", false, false, {" b ", " a"}},
        {"strict: blanks do not split", "a b;c", false, false, {"a b", "c"}},
        {"quoted item holds the delimiter, doubled quotes", "\"a;\"\"b\";c", false, false, {"a;\"b", "c"}},
        {"text after the closing quote stays with the item", "\"a\" ;b", true, false, {"a", "b"}},
        {"unclosed quote runs to the end", "\"a;b", false, false, {"a;b"}},
        {"empty text gives no items", "", false, false, {}},
        {"a lone delimiter gives two empty items", ";", false, false, {"", ""}},
        {"control characters trimmed", "\ta\x01;b", true, false, {"a", "b"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TBLStringList list;
        list.Add("old");
        list.BLSetDelimitedText(row.Text, ';', row.Trim, row.IgnoreDuplicates);
        EXPECT_EQ(Items(list), row.Expected);
        EXPECT_EQ(list.Sorted(), row.IgnoreDuplicates);
        EXPECT_TRUE(list.StrictDelimiter());
        EXPECT_EQ(list.Delimiter(), QChar(';'));
        EXPECT_EQ(list.Duplicates(), row.IgnoreDuplicates ? TDuplicates::dupIgnore : TDuplicates::dupAccept);
    }
}

TEST(TBLStringList, SetCountGrowsWithEmptyEntriesAndShrinksFromTheEnd) {
    TBLStringList list;
    list.Add("a");
    list.Add("b");
    list.SetCount(4);
    EXPECT_EQ(Items(list), QStringList({"a", "b", "", ""}));
    list.SetCount(1);
    EXPECT_EQ(Items(list), QStringList({"a"}));

    // Growing a duplicate-free sorted list could never reach the count; it is refused, not looped on.
    list.SetSorted(true);
    EXPECT_THROW(list.SetCount(3), EListError);
    list.SetCount(0);
    EXPECT_EQ(list.Count(), 0);
}

TEST(TBLStringList, SortOldOrdersByCodeUnitsWithPrefixesFirst) {
    TBLStringList list;
    for (const char* s : {"b", "ab", "a", "B", "abc", "", "A"})
        list.Add(s);
    list.SortOld();
    EXPECT_EQ(Items(list), QStringList({"", "A", "B", "a", "ab", "abc", "b"}));
    EXPECT_FALSE(list.Sorted());
}

TEST(TBLStringList, CustomSortUsesTheGivenOrderUnlessSorted) {
    TBLStringList list;
    for (const char* s : {"ccc", "a", "bb", "dddd"})
        list.Add(s);
    const auto byLengthDescending = [](TStringList* List, int Index1, int Index2) {
        return static_cast<int>(List->Strings(Index2).size() - List->Strings(Index1).size());
    };
    list.CustomSort(byLengthDescending);
    EXPECT_EQ(Items(list), QStringList({"dddd", "ccc", "bb", "a"}));

    list.SetSorted(true);
    list.CustomSort(byLengthDescending);
    EXPECT_EQ(Items(list), QStringList({"a", "bb", "ccc", "dddd"}));
}

TEST(TBLStringList, CloneCopiesEntriesAndSettingsButSharesObjects) {
    TObject object;
    TBLStringList list;
    list.SetSorted(true);
    list.AddObject("b", &object);
    list.Add("a");
    const std::unique_ptr<TBLStringList> clone = list.Clone();
    EXPECT_TRUE(clone->Equals(list));
    EXPECT_TRUE(clone->Sorted());
    EXPECT_TRUE(clone->CaseSensitive());
    EXPECT_FALSE(clone->OwnsObjects());
    EXPECT_EQ(clone->Objects(clone->IndexOf("b")), &object);
    clone->Add("c");
    EXPECT_EQ(list.Count(), 2);
}

TEST(TFastMemoryStream, CapacityGrowsInStepsOfMemoryDelta) {
    struct Row {
        const char* Name;
        bool Big;
        qint64 Size;
        qint64 Capacity;
    };
    const Row rows[] = {
        {"10 bytes", false, 10, 8192},
        {"exactly one step", false, 8192, 8192},
        {"one byte over a step", false, 8193, 16384},
        {"big: 10 bytes", true, 10, 32768},
        {"big: one byte over a step", true, 32769, 65536},
        {"zero frees", false, 0, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TFastMemoryStream stream(row.Big);
        EXPECT_EQ(stream.MemoryDelta(), row.Big ? 32768 : 8192);
        stream.SetSize(row.Size);
        EXPECT_EQ(stream.Capacity(), row.Capacity);
        EXPECT_EQ(stream.Size(), row.Size);
        EXPECT_EQ(stream.Memory() == nullptr, row.Capacity == 0);
    }
}

TEST(TFastMemoryStream, WritesGrowAndKeepTheData) {
    TFastMemoryStream stream;
    const QByteArray chunk(1000, 'x');
    for (int i = 0; i < 10; ++i)
        stream.WriteBuffer(chunk.constData(), chunk.size());
    EXPECT_EQ(stream.Size(), 10000);
    EXPECT_EQ(stream.Capacity(), 16384);
    EXPECT_EQ(QByteArray(stream.Memory(), stream.Size()), chunk.repeated(10));
    stream.Clear();
    EXPECT_EQ(stream.Capacity(), 0);
    EXPECT_EQ(stream.Size(), 0);
}

TEST(TFastMemoryStream, MemoryThatCannotBeObtainedRaisesTheStreamError) {
    // Sizes no allocator can serve: the largest rounds past the 64-bit range, the other is refused.
    for (const qint64 size : {std::numeric_limits<qint64>::max() - 10, qint64(1) << 62}) {
        SCOPED_TRACE(size);
        TFastMemoryStream stream;
        stream.SetSize(5);
        try {
            stream.SetSize(size);
            FAIL() << "no error raised";
        } catch (const EStreamError& e) {
            EXPECT_EQ(e.Message(), "Out of memory while expanding memory stream");
        }
        EXPECT_EQ(stream.Size(), 5);
        EXPECT_EQ(stream.Capacity(), 8192);
    }
}

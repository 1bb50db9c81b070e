#include <gtest/gtest.h>

#include <QStringEncoder>
#include <QStringList>
#include <random>

#include "TestSupport.h"
#include "util/Exception.h"
#include "util/StringList.h"

namespace {

QStringList Items(const TStringList& List) {
    QStringList result;
    for (int i = 0; i < List.Count(); ++i)
        result << List[i];
    return result;
}

void Fill(TStringList& List, const QStringList& Strings) {
    for (const QString& s : Strings)
        List.Add(s);
}

// Counts its own destructions, so tests can see which objects a list freed.
class TCountedObject : public TObject {
public:
    explicit TCountedObject(int& Deleted) : FDeleted(Deleted) {}
    ~TCountedObject() override { ++FDeleted; }

private:
    int& FDeleted;
};

}  // namespace

TEST(TStringList, SortedAddFollowsTheDuplicatesPolicy) {
    struct Row {
        const char* Name;
        TDuplicates Duplicates;
        QStringList Expected;
    };
    const Row rows[] = {
        {"ignore", TDuplicates::dupIgnore, {"a", "b", "c"}},
        {"accept", TDuplicates::dupAccept, {"a", "b", "b", "c"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TStringList list;
        list.SetSorted(true);
        list.SetDuplicates(row.Duplicates);
        Fill(list, {"c", "b", "a"});
        const int index = list.Add("b");
        EXPECT_EQ(Items(list), row.Expected);
        EXPECT_EQ(list[index], "b");
    }

    TStringList strict;
    strict.SetSorted(true);
    strict.SetDuplicates(TDuplicates::dupError);
    strict.Add("x");
    try {
        strict.Add("X");  // equal without regard to case, the base's default
        FAIL() << "duplicate accepted";
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "String list does not allow duplicates");
    }
    EXPECT_EQ(strict.Count(), 1);
}

TEST(TStringList, SortFindAndIndexOfAgreeUnderBothCaseModes) {
    struct Row {
        const char* Name;
        bool CaseSensitive;
        QStringList Expected;
    };
    const Row rows[] = {
        {"case-insensitive: letters before case", false, {"a", "B", "c", "D"}},
        {"case-sensitive: ordinal code units", true, {"B", "D", "a", "c"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TStringList list;
        list.SetCaseSensitive(row.CaseSensitive);
        Fill(list, {"c", "D", "a", "B"});
        list.SetSorted(true);
        EXPECT_EQ(Items(list), row.Expected);
        for (int i = 0; i < list.Count(); ++i) {
            int found = -1;
            EXPECT_TRUE(list.Find(list[i], found));
            EXPECT_EQ(found, i);
            EXPECT_EQ(list.IndexOf(list[i]), i);
        }
        int insertAt = -1;
        EXPECT_FALSE(list.Find("bb", insertAt));
        EXPECT_EQ(list.IndexOf("bb"), -1);
        EXPECT_EQ(list.IndexOf("A") >= 0, !row.CaseSensitive);
    }
}

TEST(TStringList, FindReturnsTheFirstOfAcceptedDuplicates) {
    TStringList list;
    list.SetSorted(true);
    list.SetDuplicates(TDuplicates::dupAccept);
    Fill(list, {"b", "a", "b", "b", "c", "b"});
    int index = -1;
    ASSERT_TRUE(list.Find("b", index));
    EXPECT_EQ(index, 1);
}

TEST(TStringList, ChangingCaseSensitivityResortsASortedList) {
    TStringList list;
    Fill(list, {"b", "A", "a", "C"});
    list.SetSorted(true);
    list.SetCaseSensitive(true);
    EXPECT_EQ(Items(list), QStringList({"A", "C", "a", "b"}));
}

TEST(TStringList, CustomSortSurvivesAnInconsistentComparison) {
    TStringList list;
    QStringList strings;
    for (int i = 0; i < 500; ++i)
        strings << QString::number(i);
    Fill(list, strings);
    std::mt19937 random(7);
    list.CustomSort([&random](TStringList*, int, int) { return static_cast<int>(random() % 3) - 1; });
    QStringList sorted = Items(list);
    sorted.sort();
    strings.sort();
    EXPECT_EQ(sorted, strings);  // nothing lost or duplicated
}

TEST(TStringList, DelimitedTextQuotesWhatWouldNotSurviveTheRoundTrip) {
    struct Row {
        const char* Name;
        QStringList Items;
        bool Strict;
        QString Expected;
    };
    const Row rows[] = {
        {"plain", {"a", "b"}, false, "a;b"},
        {"blank needs quotes unless strict", {"a b", "c"}, false, "\"a b\";c"},
        {"blank kept bare when strict", {"a b", "c"}, true, "a b;c"},
        {"delimiter and quote inside", {"a;b", "say \"x\""}, true, "\"a;b\";\"say \"\"x\"\"\""},
        {"control character needs quotes", {"a\tb"}, false, "\"a\tb\""},
        {"empty items stay bare", {"a", "", "b"}, false, "a;;b"},
        {"a single empty item", {""}, false, "\"\""},
        {"no items", {}, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TStringList list;
        list.SetDelimiter(';');
        list.SetStrictDelimiter(row.Strict);
        Fill(list, row.Items);
        EXPECT_EQ(list.DelimitedText(), row.Expected);

        TStringList back;
        back.SetDelimiter(';');
        back.SetStrictDelimiter(row.Strict);
        back.SetDelimitedText(list.DelimitedText());
        // A trailing empty item is the one thing delimited text cannot carry; none of the rows has one.
        EXPECT_EQ(Items(back), row.Items);
    }
}

TEST(TStringList, SetDelimitedTextSplitsPerTheDelimiterRules) {
    struct Row {
        const char* Name;
        QChar Delimiter;
        bool Strict;
        QString Text;
        QStringList Expected;
    };
    const Row rows[] = {
        // The hand-over of a second start: tab-delimited, not strict, blanks split as well.
        {"tabs and blanks split", '\t', false, "/app/RQCatalog\tnavi=a b\t\"x y\"\t", {"/app/RQCatalog", "navi=a", "b", "x y"}},
        {"runs of blanks are one separator", '\t', false, "  a \t\t b  ", {"a", "b"}},
        {"quoted item with doubled quotes", ',', false, "\"a \"\"q\"\" b\",c", {"a \"q\" b", "c"}},
        {"text after a closing quote starts a new item", ',', false, "\"a\"b,c", {"a", "b", "c"}},
        {"unclosed quote runs to the end", ',', false, "x,\"a, b", {"x", "a, b"}},
        {"delimiter at the end adds an empty item", ',', false, "a,b,", {"a", "b", ""}},
        {"delimiter then a blank adds nothing", ',', false, "a, ", {"a"}},
        {"empty items between delimiters", ',', true, "a,,b", {"a", "", "b"}},
        {"strict keeps blanks", ',', true, " a , b", {" a ", " b"}},
        {"strict, delimiter at the end", ';', true, "x;y;", {"x", "y", ""}},
        {"empty text", ',', false, "", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TStringList list;
        list.Add("old");
        list.SetDelimiter(row.Delimiter);
        list.SetStrictDelimiter(row.Strict);
        list.SetDelimitedText(row.Text);
        EXPECT_EQ(Items(list), row.Expected);
    }
}

TEST(TStringList, CommaTextUsesCommasAndQuotesWhateverTheSettings) {
    TStringList list;
    list.SetDelimiter(';');
    list.SetQuoteChar('\'');
    list.SetStrictDelimiter(true);
    // A version with its dots made commas: blanks outside quotes split too.
    list.SetCommaText("7,4, 12 ,\"0 1\"");
    EXPECT_EQ(Items(list), QStringList({"7", "4", "12", "0 1"}));
    EXPECT_EQ(list.CommaText(), "7,4,12,\"0 1\"");
    EXPECT_EQ(list.DelimitedText(), "7;4;12;0 1");
}

TEST(TStringList, TextJoinsAndSplitsLines) {
    struct Row {
        const char* Name;
        QString Text;
        QStringList Expected;
    };
    const Row rows[] = {
        {"LF", "a\nb\n", {"a", "b"}},
        {"CR LF", "a\r\nb", {"a", "b"}},
        {"CR alone", "a\rb\r", {"a", "b"}},
        {"empty lines kept", "a\n\n\nb", {"a", "", "", "b"}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
        {"a lone line break", "\n", {""}},
        {"empty", "", {}},
        {"NUL is an ordinary character", QString::fromUtf8("a\0b", 3), {QString::fromUtf8("a\0b", 3)}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TStringList list;
        list.SetText(row.Text);
        EXPECT_EQ(Items(list), row.Expected);
    }
    TStringList list;
    Fill(list, {"a", "", "b"});
    EXPECT_EQ(list.Text(), "a\n\nb\n");
    list.SetLineBreak("\r\n");
    EXPECT_EQ(list.Text(), "a\r\n\r\nb\r\n");
}

TEST(TStringList, NamesAndValuesSplitAtTheFirstSeparator) {
    TStringList list;
    Fill(list, {"Key=v=1", "plain", "Empty=", "=nameless"});
    EXPECT_EQ(list.Names(0), "Key");
    EXPECT_EQ(list.Names(1), "");
    EXPECT_EQ(list.ValueFromIndex(0), "v=1");
    EXPECT_EQ(list.ValueFromIndex(1), "");
    EXPECT_EQ(list.Values("KEY"), "v=1");
    EXPECT_EQ(list.IndexOfName("empty"), 2);
    EXPECT_EQ(list.IndexOfName("plain"), -1);
    EXPECT_EQ(list.IndexOfName(""), 3);

    list.SetValues("Key", "new");
    list.SetValues("Added", "x");
    list.SetValues("Empty", "");
    EXPECT_EQ(Items(list), QStringList({"Key=new", "plain", "=nameless", "Added=x"}));

    list.SetNameValueSeparator(':');
    list.Add("a:b=c");
    EXPECT_EQ(list.Values("a"), "b=c");
}

TEST(TStringList, OwnedObjectsAreFreedWithTheirEntries) {
    int deleted = 0;
    {
        TStringList list(true);
        list.AddObject("a", new TCountedObject(deleted));
        list.AddObject("b", new TCountedObject(deleted));
        list.AddObject("c", new TCountedObject(deleted));
        list.AddObject("d", new TCountedObject(deleted));
        list.Move(0, 3);  // moving keeps the object alive
        EXPECT_EQ(deleted, 0);
        list.Delete(list.IndexOf("b"));
        EXPECT_EQ(deleted, 1);
        list.SetSorted(true);
        list.AddObject("c", new TCountedObject(deleted));  // refused duplicate: freed, not leaked
        EXPECT_EQ(deleted, 2);
        list.Clear();
        EXPECT_EQ(deleted, 5);
        list.AddObject("e", new TCountedObject(deleted));
    }
    EXPECT_EQ(deleted, 6);

    TCountedObject shared(deleted);
    {
        TStringList notOwning;
        notOwning.AddObject("x", &shared);
        notOwning.Delete(0);
        notOwning.AddObject("y", &shared);
    }
    EXPECT_EQ(deleted, 6);
}

TEST(TStringList, EditsASortedListForbidsAreRefused) {
    TStringList list;
    Fill(list, {"b", "a"});
    list.SetSorted(true);
    EXPECT_THROW(list.Insert(0, "c"), EListError);
    EXPECT_THROW(list.SetStrings(0, "c"), EListError);
    EXPECT_THROW(list.Move(0, 1), EListError);
    EXPECT_EQ(Items(list), QStringList({"a", "b"}));
}

TEST(TStringList, BadIndexesRaiseTheListError) {
    TStringList list;
    Fill(list, {"a", "b"});
    const std::function<void()> calls[] = {
        [&] { list.Strings(2); },          [&] { list.Strings(-1); },    [&] { list.Delete(2); },
        [&] { list.Objects(5); },          [&] { list.Exchange(0, 2); }, [&] { list.Insert(3, "x"); },
        [&] { list.SetObjects(-1, nullptr); }, [&] { list.Move(0, 2); },
    };
    for (const auto& call : calls)
        EXPECT_THROW(call(), EListError);
    try {
        list.Delete(7);
    } catch (const EListError& e) {
        EXPECT_EQ(e.Message(), "List index out of bounds (7)");
    }
    EXPECT_EQ(Items(list), QStringList({"a", "b"}));
}

TEST(TStringList, MoveExchangeAndInsertKeepObjectsWithTheirStrings) {
    TObject a, b, c;
    TStringList list;
    list.AddObject("a", &a);
    list.AddObject("b", &b);
    list.AddObject("c", &c);
    list.Move(0, 2);
    list.Exchange(0, 1);
    list.InsertObject(1, "x", nullptr);
    EXPECT_EQ(Items(list), QStringList({"c", "x", "b", "a"}));
    EXPECT_EQ(list.Objects(0), &c);
    EXPECT_EQ(list.Objects(1), nullptr);
    EXPECT_EQ(list.Objects(2), &b);
    EXPECT_EQ(list.IndexOfObject(&a), 3);
}

TEST(TStringList, UpdateBracketReportsOneChange) {
    TStringList list;
    int changing = 0;
    int changed = 0;
    list.SetOnChanging([&](TObject* Sender) {
        EXPECT_EQ(Sender, &list);
        ++changing;
    });
    list.SetOnChange([&](TObject*) { ++changed; });
    list.Add("a");
    EXPECT_EQ(changed, 1);
    list.BeginUpdate();
    list.BeginUpdate();
    list.SetCommaText("x,y,z");
    list.Delete(0);
    list.EndUpdate();
    EXPECT_EQ(changed, 1);
    list.EndUpdate();
    EXPECT_EQ(changing, 2);
    EXPECT_EQ(changed, 2);
}

TEST(TStringList, AssignCopiesEntriesAndSettings) {
    TObject object;
    TStringList source;
    source.SetCaseSensitive(true);
    source.SetDuplicates(TDuplicates::dupAccept);
    source.SetDelimiter('|');
    source.AddObject("b", &object);
    source.Add("a");
    source.Add("b");
    source.SetSorted(true);

    TStringList target;
    target.Add("old");
    target.Assign(source);
    EXPECT_TRUE(target.Equals(source));
    EXPECT_EQ(Items(target), QStringList({"a", "b", "b"}));
    EXPECT_TRUE(target.Sorted());
    EXPECT_TRUE(target.CaseSensitive());
    EXPECT_EQ(target.Duplicates(), TDuplicates::dupAccept);
    EXPECT_EQ(target.DelimitedText(), "a|b|b");
    EXPECT_EQ(target.IndexOfObject(&object), source.IndexOfObject(&object));

    target.Add("c");
    EXPECT_FALSE(target.Equals(source));
    TStringList appended;
    appended.AddStrings(source);
    EXPECT_TRUE(appended.Equals(source));
}

TEST(TStringList, LoadFromFileDetectsTheEncoding) {
    TTempEnvironment environment;
    const QString text = QString::fromUtf8("7.4.0\r\n\xC3\xA4nderung");
    struct Row {
        const char* Name;
        QByteArray Bytes;
    };
    const Row rows[] = {
        {"UTF-8 with mark", "\xEF\xBB\xBF" "7.4.0\r\n\xC3\xA4nderung\r\n"},
        {"UTF-8 without mark", "7.4.0\n\xC3\xA4nderung"},
        {"Windows-1252", "7.4.0\r\n\xE4nderung\r\n"},
        {"UTF-16 LE", QByteArray("\xFF\xFE") + QStringEncoder(QStringEncoder::Utf16LE)(text)},
        {"UTF-16 BE", QByteArray("\xFE\xFF") + QStringEncoder(QStringEncoder::Utf16BE)(text)},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString path = environment.FilePath("version.txt");
        WriteBytes(path, row.Bytes);
        TStringList list;
        list.LoadFromFile(path);
        EXPECT_EQ(Items(list), QStringList({"7.4.0", QString::fromUtf8("\xC3\xA4nderung")}));
    }
}

TEST(TStringList, SaveToFileWritesUtf8LinesAndFileErrorsNameTheFile) {
    TTempEnvironment environment;
    const QString path = environment.FilePath("out.txt");
    TStringList list;
    Fill(list, {"a", QString::fromUtf8("\xC3\xA4")});
    list.SaveToFile(path);
    EXPECT_EQ(ReadBytes(path), QByteArray("a\n\xC3\xA4\n"));

    const QString missing = environment.FilePath("missing/version.txt");
    for (const bool save : {false, true}) {
        SCOPED_TRACE(save ? "save" : "load");
        try {
            if (save)
                list.SaveToFile(missing);
            else
                list.LoadFromFile(missing);
            FAIL() << "no error raised";
        } catch (const EStreamError& e) {
            EXPECT_TRUE(e.Message().contains(missing)) << e.what();
        }
    }
}

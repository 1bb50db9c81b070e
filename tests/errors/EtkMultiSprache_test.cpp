#include "TestSupport.h"
#include "errors/EtkTypes.h"

#include <gtest/gtest.h>
#include <functional>

namespace {

// A value built from "CODE=Text" pairs, in order.
TEtkMultiSprache Texts(std::initializer_list<std::pair<const char*, const char*>> Pairs) {
    TEtkMultiSprache value;
    for (const auto& [code, text] : Pairs)
        value.SetText(QString::fromUtf8(code), QString::fromUtf8(text));
    return value;
}

}  // namespace

TEST(TEtkMultiSprache, CodesAreKeptUpperCaseAndFoundWhateverTheirCase) {
    TEtkMultiSprache value;
    value.SetText("en", "Hello");
    value.SetText("De", "Hallo");
    value.SetText("EN", "Hi");
    EXPECT_EQ(value.Sprachen(), QStringList({"EN", "DE"}));
    EXPECT_EQ(value.Texte(), QStringList({"Hi", "Hallo"}));
    EXPECT_EQ(value.GetText("eN"), "Hi");
    EXPECT_TRUE(value.SpracheExists("de"));
    EXPECT_FALSE(value.SpracheExists("FR"));
    EXPECT_EQ(value.GetText("FR"), "");
    EXPECT_EQ(value.ToString(), "EN=Hi; DE=Hallo");
}

TEST(TEtkMultiSprache, ListOperationsKeepOrderAndMetadata) {
    struct Row {
        const char* Name;
        std::function<void(TEtkMultiSprache&)> Action;
        QString Expected;
    };
    const Row rows[] = {
        {"ErgaenzeSprachen appends only the missing languages",
         [](TEtkMultiSprache& v) { v.ErgaenzeSprachen({"fr", "DE", "it"}); }, "DE=Haus; EN=; FR=; IT="},
        {"SetSprachen leaves exactly these languages, empty, without duplicates",
         [](TEtkMultiSprache& v) { v.SetSprachen({"it", "EN", "It"}); }, "IT=; EN="},
        {"ClearTexte keeps the languages", [](TEtkMultiSprache& v) { v.ClearTexte(); }, "DE=; EN="},
        {"Clear drops the languages", [](TEtkMultiSprache& v) { v.Clear(); }, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TEtkMultiSprache value = Texts({{"DE", "Haus"}, {"EN", ""}});
        value.SetTextId("T17");
        value.SetisFileEdit(true);
        row.Action(value);
        EXPECT_EQ(value.ToString(), row.Expected);
        EXPECT_EQ(value.TextId(), "T17");
        EXPECT_TRUE(value.isFileEdit());
    }
    EXPECT_TRUE(Texts({{"DE", ""}, {"EN", ""}}).AlleStringsSindLeer());
    EXPECT_TRUE(TEtkMultiSprache().AlleStringsSindLeer());
    EXPECT_FALSE(Texts({{"DE", ""}, {"EN", "x"}}).AlleStringsSindLeer());
}

TEST(TEtkMultiSprache, GuidIsClearedWhenATextChanges) {
    struct Row {
        const char* Name;
        std::function<void(TEtkMultiSprache&)> Action;
        bool GuidKept;
    };
    const Row rows[] = {
        {"another text", [](TEtkMultiSprache& v) { v.SetText("DE", "Hof"); }, false},
        {"the same text", [](TEtkMultiSprache& v) { v.SetText("de", "Haus"); }, true},
        {"a new language with a text", [](TEtkMultiSprache& v) { v.SetText("FR", "maison"); }, false},
        {"a new language without a text", [](TEtkMultiSprache& v) { v.ErgaenzeSprachen({"FR"}); }, true},
        {"texts cleared", [](TEtkMultiSprache& v) { v.ClearTexte(); }, false},
        {"languages replaced", [](TEtkMultiSprache& v) { v.SetSprachen({"DE"}); }, false},
        {"AssignData with another text", [](TEtkMultiSprache& v) { v.AssignData(Texts({{"EN", "house"}})); }, false},
        {"AssignData with the same texts", [](TEtkMultiSprache& v) { v.AssignData(Texts({{"DE", "Haus"}})); }, true},
        {"text identifier set", [](TEtkMultiSprache& v) { v.SetTextId("T1"); }, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TEtkMultiSprache value = Texts({{"DE", "Haus"}, {"EN", "home"}});
        value.SetGUID("0123456789ABCDEF0123456789ABCDEF");
        row.Action(value);
        EXPECT_EQ(value.GUID(), row.GuidKept ? "0123456789ABCDEF0123456789ABCDEF" : "");
    }
}

TEST(TEtkMultiSprache, ChangesNotifyOnceAndOnlyWhenSomethingChanged) {
    const TEtkMultiSprache source = Texts({{"DE", "Hof"}, {"EN", "yard"}, {"FR", "cour"}, {"IT", ""}});
    struct Row {
        const char* Name;
        std::function<void(TEtkMultiSprache&)> Action;
        int Notifications;
    };
    const Row rows[] = {
        {"SetText", [](TEtkMultiSprache& v) { v.SetText("DE", "Hof"); }, 1},
        {"SetText with the same text", [](TEtkMultiSprache& v) { v.SetText("DE", "Haus"); }, 0},
        {"AssignData of four languages", [&](TEtkMultiSprache& v) { v.AssignData(source); }, 1},
        {"AssignDataOnlyIfSpracheExists", [&](TEtkMultiSprache& v) { v.AssignDataOnlyIfSpracheExists(source); }, 1},
        {"AssignDataOnlyIfTextNonEmpty", [&](TEtkMultiSprache& v) { v.AssignDataOnlyIfTextNonEmpty(source); }, 1},
        {"AssignData of itself", [](TEtkMultiSprache& v) { v.AssignData(v); }, 0},
        {"Assign", [&](TEtkMultiSprache& v) { v.Assign(source); }, 1},
        {"copy assignment", [&](TEtkMultiSprache& v) { v = source; }, 1},
        {"ClearTexte", [](TEtkMultiSprache& v) { v.ClearTexte(); }, 1},
        {"Clear", [](TEtkMultiSprache& v) { v.Clear(); }, 1},
        {"ErgaenzeSprachen of known languages", [](TEtkMultiSprache& v) { v.ErgaenzeSprachen({"en"}); }, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TEtkMultiSprache value = Texts({{"DE", "Haus"}, {"EN", "house"}});
        int notifications = 0;
        TEtkMultiSprache* sender = nullptr;
        value.SetOnChange([&](TEtkMultiSprache* Sender) {
            ++notifications;
            sender = Sender;
        });
        row.Action(value);
        EXPECT_EQ(notifications, row.Notifications);
        if (row.Notifications > 0) {
            EXPECT_EQ(sender, &value);
        }
        // A notification after a copy: the copy's guard must not have left the object silent.
        value.SetText("XX", "later");
        EXPECT_EQ(notifications, row.Notifications + 1);
    }
}

TEST(TEtkMultiSprache, AssignDataFamilyCopiesItsShareOfTheTexts) {
    const TEtkMultiSprache source = Texts({{"EN", "house"}, {"FR", "maison"}, {"IT", ""}, {"DE", ""}});
    struct Row {
        const char* Name;
        std::function<void(TEtkMultiSprache&)> Action;
        QString Expected;
    };
    const Row rows[] = {
        {"AssignData copies every text", [&](TEtkMultiSprache& v) { v.AssignData(source); },
         "DE=; EN=house; NL=huis; FR=maison; IT="},
        {"AssignDataOnlyIfSpracheExists", [&](TEtkMultiSprache& v) { v.AssignDataOnlyIfSpracheExists(source); },
         "DE=; EN=house; NL=huis"},
        {"AssignDataOnlyIfTextNonEmpty", [&](TEtkMultiSprache& v) { v.AssignDataOnlyIfTextNonEmpty(source); },
         "DE=Haus; EN=house; NL=huis; FR=maison"},
        {"Assign replaces everything", [&](TEtkMultiSprache& v) { v.Assign(source); }, "EN=house; FR=maison; IT=; DE="},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TEtkMultiSprache value = Texts({{"DE", "Haus"}, {"EN", ""}, {"NL", "huis"}});
        row.Action(value);
        EXPECT_EQ(value.ToString(), row.Expected);
    }
}

TEST(TEtkMultiSprache, CopiesTakeTheDataButNotTheHandler) {
    TEtkMultiSprache source = Texts({{"DE", "Haus"}});
    source.SetTextId("T5");
    source.SetisFileEdit(true);
    source.SetGUID("AB");
    int sourceNotifications = 0;
    source.SetOnChange([&](TEtkMultiSprache*) { ++sourceNotifications; });

    TEtkMultiSprache copy(source);
    EXPECT_TRUE(copy.Equals(source));
    EXPECT_TRUE(copy.isFileEdit());
    EXPECT_EQ(copy.GUID(), "AB");
    copy.SetText("DE", "Hof");
    EXPECT_EQ(sourceNotifications, 0);
    EXPECT_EQ(source.GetText("DE"), "Haus");

    int targetNotifications = 0;
    TEtkMultiSprache target;
    target.SetOnChange([&](TEtkMultiSprache*) { ++targetNotifications; });
    target = source;
    EXPECT_EQ(target.TextId(), "T5");
    EXPECT_EQ(target.GUID(), "AB");
    target.SetText("EN", "house");
    EXPECT_EQ(targetNotifications, 2);
    EXPECT_EQ(sourceNotifications, 0);
}

TEST(TEtkMultiSprache, GetTextByNearestLanguageTakesTheFirstNonEmptyText) {
    struct Row {
        const char* Name;
        TEtkMultiSprache Value;
        QString Sprache;
        QStringList Fallbacks;
        QString Expected;
    };
    const Row rows[] = {
        {"the language itself", Texts({{"IT", "casa"}, {"EN", "house"}}), "it", {}, "casa"},
        {"only French filled", Texts({{"FR", "maison"}, {"IT", ""}}), "IT", {}, "maison"},
        {"fallbacks before English", Texts({{"EN", "house"}, {"NL", "huis"}}), "IT", {"ES", "nl"}, "huis"},
        {"English before German", Texts({{"DE", "Haus"}, {"EN", "house"}}), "IT", {"ES"}, "house"},
        {"German before French", Texts({{"FR", "maison"}, {"DE", "Haus"}}), "IT", {}, "Haus"},
        {"nothing filled", Texts({{"IT", ""}, {"SV", "hus"}}), "IT", {}, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(row.Value.GetTextByNearestLanguage(row.Sprache, row.Fallbacks), row.Expected);
    }
}

TEST(TEtkMultiSprache, EqualsSubSetAndTexteSindGleichCompareTheTexts) {
    struct Row {
        const char* Name;
        TEtkMultiSprache A;
        TEtkMultiSprache B;
        bool Equal;
        bool SubSet;       // A.IsSubSetFrom(B)
        bool TexteGleich;  // A.TexteSindGleich(B)
    };
    const auto withId = [](TEtkMultiSprache Value, const char* Id) {
        Value.SetTextId(Id);
        return Value;
    };
    const Row rows[] = {
        {"same pairs in another order", Texts({{"DE", "Haus"}, {"EN", "house"}}),
         Texts({{"EN", "house"}, {"DE", "Haus"}}), true, true, true},
        {"texts differ in case", Texts({{"DE", "Haus"}}), Texts({{"DE", "haus"}}), false, false, false},
        {"other text identifier", withId(Texts({{"DE", "Haus"}}), "T1"), Texts({{"DE", "Haus"}}), false, true, true},
        {"B has one language more", Texts({{"DE", "Haus"}}), Texts({{"DE", "Haus"}, {"EN", "house"}}), false, true,
         false},
        {"A's empty text is no conflict", Texts({{"DE", "Haus"}, {"EN", ""}}),
         Texts({{"DE", "Haus"}, {"EN", "house"}}), false, true, false},
        {"A's language missing in B", Texts({{"DE", "Haus"}, {"FR", ""}}), Texts({{"DE", "Haus"}}), false, false, true},
        {"same count, other empty languages", Texts({{"DE", ""}}), Texts({{"EN", ""}}), false, false, true},
        {"both empty", TEtkMultiSprache(), TEtkMultiSprache(), true, true, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(row.A.Equals(row.B), row.Equal);
        EXPECT_EQ(row.B.Equals(row.A), row.Equal);
        EXPECT_EQ(row.A.IsSubSetFrom(row.B), row.SubSet);
        EXPECT_EQ(row.A.TexteSindGleich(row.B), row.TexteGleich);
        EXPECT_EQ(row.B.TexteSindGleich(row.A), row.TexteGleich);
    }
}

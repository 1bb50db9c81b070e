#include "ConfigTestSupport.h"
#include "TestSupport.h"
#include "config/EtkConfig.h"
#include "config/EtkConfigExe.h"
#include "errors/EtkTypes.h"
#include "errors/_LanguageDLL.h"
#include "platform/Registry.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QDir>
#include <QSet>
#include <gtest/gtest.h>
#include <memory>

namespace {

// Installs a translator that knows a few texts per language, and restores the previous translator
// and display language afterwards.
class TScopedTranslator {
public:
    TScopedTranslator()
        : FPreviousLanguage(GetLanguage()), FPrevious(SetTextTranslator([](const QString& Text) -> QString {
              const QString language = GetLanguage();
              if (language == "EN" && Text == "!!Deutsch")
                  return "German";
              if (language == "EN" && Text == "!!Chinesisch (traditionell)")
                  return "Chinese (traditional)";
              if (language == "FR" && Text == "!!Titel")
                  return "Titre";
              if (language == "EN" && Text == "!!Titel")
                  return "Title";
              return TranslateText(Text);
          })) {}
    ~TScopedTranslator() {
        SetTextTranslator(FPrevious);
        SetLanguage(FPreviousLanguage);
    }
    TScopedTranslator(const TScopedTranslator&) = delete;
    TScopedTranslator& operator=(const TScopedTranslator&) = delete;

private:
    QString FPreviousLanguage;
    TTextTranslator FPrevious;
};

QByteArray ProjectFile(const QByteArray& Body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\">" + Body + "\r\n</BRENLOW>";
}

// A catalogue folder with Etk.blk holding Body, opened with its per-user file as the launcher does.
class TCatalogue {
public:
    explicit TCatalogue(const QByteArray& Body) {
        WriteBytes(ProjectFile(), ::ProjectFile(Body));
        Open();
    }
    QString Folder() const { return FEnvironment.FilePath("catalogue"); }
    QString ProjectFile() const { return Folder() + "/Etk.blk"; }
    QByteArray ProjectBytes() const { return ReadBytes(ProjectFile()); }
    TEtkConfigExe& Config() { return *FConfig; }
    // A second configuration object on the same files, as the next start of the program.
    std::unique_ptr<TEtkConfigExe> Reopen() {
        auto config = std::make_unique<TEtkConfigExe>();
        EXPECT_TRUE(config->SetMainConfigFile(ProjectFile(), true));
        EXPECT_TRUE(config->InitUserConfigFile(true));
        return config;
    }

private:
    void Open() { FConfig = Reopen(); }

    TTempEnvironment FEnvironment;
    std::unique_ptr<TEtkConfigExe> FConfig;
};

}  // namespace

TEST(TEtkConfigLanguageTable, CodesIndexesAndNamesAgree) {
    const QStringList codes = TEtkConfig::GetAllSprachKrz();
    ASSERT_EQ(codes.size(), 43);
    EXPECT_EQ(QSet<QString>(codes.cbegin(), codes.cend()).size(), 43);
    struct Row { int Index; const char* Code; const char* GermanName; const char* OwnName; };
    const Row anchors[] = {
        {0, "DE", "!!Deutsch", "Deutsch"},
        {1, "EN", "!!Englisch", "English"},
        {7, "PB", "!!Portugiesisch(BRA)", "Português brasileiro"},
        {13, "US", "!!Englisch (USA)", "English (USA)"},
        {25, "BS", "!!Bosnisch  ", "Bosanski"},
        {33, "HE", "!!Hebräisch", "עברית"},
        {37, "ZT", "!!Chinesisch (traditionell)", "繁體中文"},
        {38, "TW", "!!Taiwanisch", "臺灣閩南語"},
        {42, "VI", "!!Vietnamesisch", "Tiếng Việt"},
    };
    for (const Row& row : anchors) {
        SCOPED_TRACE(row.Code);
        EXPECT_EQ(codes[row.Index], row.Code);
        EXPECT_EQ(TEtkConfig::GetLangText(row.Code), QString::fromUtf8(row.GermanName));
        EXPECT_EQ(TEtkConfig::GetLangTextBySprachKrz(row.Code, false), QString::fromUtf8(row.OwnName));
    }
    for (int i = 0; i < codes.size(); ++i) {
        SCOPED_TRACE(codes[i].toStdString());
        EXPECT_EQ(TEtkConfig::GetSprachKrzByIndex(i), codes[i]);
        EXPECT_EQ(TEtkConfig::GetIndexBySprachKrz(codes[i]), i);
        EXPECT_TRUE(TEtkConfig::IsValidLangToken(codes[i]));
        EXPECT_TRUE(TEtkConfig::GetLangText(codes[i]).startsWith("!!"));
    }
}

TEST(TEtkConfigLanguageTable, CallerCodesAreUpperCasedButTokensCompareExactly) {
    struct Row { const char* Name; QString Code; int Index; bool ValidToken; QString GermanName; };
    const Row rows[] = {
        {"upper case", "DE", 0, true, "!!Deutsch"},
        {"lower case", "de", 0, false, "!!Deutsch"},
        {"mixed case", "zT", 37, false, "!!Chinesisch (traditionell)"},
        {"unknown", "XX", -1, false, ""},
        {"empty", "", -1, false, ""},
        {"blank after the code", "DE ", -1, false, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(TEtkConfig::GetIndexBySprachKrz(row.Code), row.Index);
        EXPECT_EQ(TEtkConfig::IsValidLangToken(row.Code), row.ValidToken);
        EXPECT_EQ(TEtkConfig::GetLangText(row.Code), row.GermanName);
    }
    EXPECT_EQ(TEtkConfig::GetSprachKrzByIndex(-1), "");
    EXPECT_EQ(TEtkConfig::GetSprachKrzByIndex(43), "");
    EXPECT_EQ(TEtkConfig::GetLangTextBySprachKrz("XX", false), "");
    EXPECT_EQ(TEtkConfig::GetLangTextBySprachKrz("XX", true), "");
}

// Without a GUI application every character is ten pixels wide.
TEST(TEtkConfigLanguageTable, CodesArePaddedByPixelWidth) {
    EXPECT_EQ(TEtkConfig::GetMaxLenForLangKurz(), 20);
    struct Row { const char* Name; QString Value; int Maxlen; QString Expected; };
    const Row rows[] = {
        // blanks until their width exceeds Maxlen - width(Value) + 10
        {"code as wide as the widest", "DE", 20, "DE  "},
        {"wider column", "DE", 40, "DE    "},
        {"narrower value", "D", 20, "D   "},
        {"value wider than the column", "DEUTSCH", 20, "DEUTSCH"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(TEtkConfig::FormatLangKurzForDisplay(row.Value, row.Maxlen), row.Expected);
    }
}

TEST(TEtkConfigLanguageTable, ExtendedNamesAreTranslatedAndTheirOwnNamesLineUp) {
    TScopedTranslator translator;
    SetLanguage("EN");
    const QString german = TEtkConfig::GetLangTextBySprachKrz("de", true);
    EXPECT_TRUE(german.startsWith("German ")) << german.toStdString();
    EXPECT_TRUE(german.endsWith(" (Deutsch)")) << german.toStdString();
    EXPECT_TRUE(TEtkConfig::GetLangTextBySprachKrz("ZT", true).startsWith("Chinese (traditional) "));
    EXPECT_TRUE(TEtkConfig::GetLangTextBySprachKrz("FR", true).startsWith(QString::fromUtf8("Französisch ")));

    // Every code is two characters, so the own names start in one column when the blanks fill up to
    // the longest translated name.
    qsizetype column = -1;
    for (const QString& code : TEtkConfig::GetAllSprachKrz()) {
        SCOPED_TRACE(code.toStdString());
        const QString text = TEtkConfig::GetLangTextBySprachKrz(code, true);
        const QString ownName = TEtkConfig::GetLangTextBySprachKrz(code, false);
        ASSERT_TRUE(text.endsWith("(" + ownName + ")")) << text.toStdString();
        const qsizetype open = text.size() - ownName.size() - 2;
        EXPECT_EQ(text[open - 1], ' ');
        if (column < 0)
            column = open;
        EXPECT_EQ(open, column);
    }
    // The longest name ("Chinese (traditional)") is followed by more than two blanks' width (22 pixels).
    EXPECT_GT(column, QString("Chinese (traditional)").size() + 2);
}

TEST(LanguageCodeFromLangId, SubLanguageMatchesBeatRowsForAnySubLanguage) {
    struct Row { const char* Name; quint16 LangId; QString Expected; };
    const Row rows[] = {
        {"English (United Kingdom) has its own row", 0x0809, "EN"},
        {"English (United States)", 0x0409, "US"},
        {"English (Australia) takes the row for any sub-language", 0x0C09, "US"},
        // PT and PB both match any sub-language; the first one found wins
        {"Portuguese (Brazil)", 0x0416, "PT"},
        {"Portuguese (Portugal)", 0x0816, "PT"},
        {"Chinese (Hong Kong): a later exact row replaces ZH", 0x0C04, "ZT"},
        {"Chinese (Taiwan)", 0x0404, "TW"},
        {"Chinese (PRC)", 0x0804, "ZH"},
        {"Spanish (Mexico)", 0x080A, "MX"},
        {"Spanish (Spain)", 0x0C0A, "ES"},
        {"Bosnian", 0x141A, "BS"},
        {"Croatian", 0x041A, "HR"},
        {"Indonesian", 0x0421, "ID"},
        // the only row has another sub-language: it does not count
        {"Indonesian with an unknown sub-language", 0x0821, "XX"},
        {"Afrikaans is not in the table", 0x0436, "XX"},
        {"no language", 0x0000, "XX"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(LanguageCodeFromLangId(row.LangId, "XX"), row.Expected);
    }
}

TEST(UserDefaultLanguageCode, FollowsTheLocaleVariablesInTheirOrder) {
    struct Row { const char* Name; QStringList Variables; QString Expected; };
    const Row rows[] = {
        {"British English", {"LANG=en_GB.UTF-8"}, "EN"},
        {"American English", {"LANG=en_US.UTF-8"}, "US"},
        {"Australian English", {"LANG=en_AU.UTF-8"}, "US"},
        {"Brazilian Portuguese", {"LANG=pt_BR.UTF-8"}, "PT"},
        {"Mexican Spanish", {"LANG=es_MX.UTF-8"}, "MX"},
        {"Spanish", {"LANG=es_ES.UTF-8"}, "ES"},
        {"Chinese (PRC)", {"LANG=zh_CN.UTF-8"}, "ZH"},
        {"Chinese (Taiwan)", {"LANG=zh_TW.UTF-8"}, "TW"},
        {"Chinese (Hong Kong)", {"LANG=zh_HK.UTF-8"}, "ZT"},
        {"Austrian German", {"LANG=de_AT.UTF-8"}, "DE"},
        {"Japanese", {"LANG=ja_JP.UTF-8"}, "JA"},
        {"Swahili is not in the table", {"LANG=sw_KE.UTF-8"}, "EN"},
        {"the C locale", {"LANG=C"}, "EN"},
        {"nothing set", {}, "EN"},
        {"LC_ALL before LANG", {"LANG=de_DE.UTF-8", "LC_ALL=fr_FR.UTF-8"}, "FR"},
        {"LC_MESSAGES before LANG", {"LANG=de_DE.UTF-8", "LC_MESSAGES=it_IT.UTF-8"}, "IT"},
        {"LANGUAGE before all", {"LANG=de_DE.UTF-8", "LC_ALL=de_DE.UTF-8", "LANGUAGE=nl:de"}, "NL"},
    };
    QProcessEnvironment base = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"})
        base.remove(name);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        QProcessEnvironment environment = base;
        for (const QString& variable : row.Variables)
            environment.insert(variable.section('=', 0, 0), variable.section('=', 1));
        QProcess helper;
        helper.setProcessEnvironment(environment);
        helper.start(HelperPath("userlanguage"), {});
        ASSERT_TRUE(helper.waitForFinished(30000));
        EXPECT_EQ(helper.exitCode(), 0);
        EXPECT_EQ(QString::fromUtf8(helper.readAllStandardOutput()).trimmed(), row.Expected);
    }
}

TEST(TEtkConfigLanguages, ListsReadTheirKeysAndFallBackToGerman) {
    struct Row {
        const char* Name;
        std::function<QStringList(TEtkConfig&)> Read;
        QStringList Filled;
    };
    const Row rows[] = {
        {"viewer", [](TEtkConfig& c) { return c.GetViewerSprachen(true, true); }, {"FR", "EN"}},
        {"installation", [](TEtkConfig& c) { return c.GetInstSprachen(true); }, {"IT"}},
        {"database", [](TEtkConfig& c) { return c.GetDataBaseSprachen(); }, {"EN", "NL"}},
        {"documentation", [](TEtkConfig& c) { return c.GetDokuSprachen(); }, {"SV", "DA"}},
    };
    {
        TCatalogue filled("<VIEWER><LANGUAGES>lsFR|sEN</LANGUAGES></VIEWER>"
                          "<INSTALL><AVAILLANG>lsIT</AVAILLANG></INSTALL>"
                          "<DATABASE><LANGUAGES>lsEN|sNL</LANGUAGES><Doku><LANGUAGES>lsSV|sDA</LANGUAGES></Doku>"
                          "</DATABASE>");
        for (const Row& row : rows) {
            SCOPED_TRACE(row.Name);
            EXPECT_EQ(row.Read(filled.Config()), row.Filled);
        }
    }
    TCatalogue empty("<VIEWER><LANGUAGES>l</LANGUAGES></VIEWER>");
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(row.Read(empty.Config()), QStringList({"DE"}));
    }
}

TEST(TEtkConfigLanguages, SupersetAppendsMissingDatabaseLanguages) {
    struct Row {
        const char* Name;
        QByteArray Body;
        bool SuperSetAllowed;
        QStringList Expected;
    };
    const QByteArray lists = "<VIEWER><LANGUAGES>lsDE</LANGUAGES></VIEWER><DATABASE><LANGUAGES>lsEN|sDE</LANGUAGES>";
    const Row rows[] = {
        {"switched on and allowed", lists + "<UseLangSuperset>bTrue</UseLangSuperset></DATABASE>", true, {"DE", "EN"}},
        {"not allowed by the caller", lists + "<UseLangSuperset>bTrue</UseLangSuperset></DATABASE>", false, {"DE"}},
        {"switched off", lists + "<UseLangSuperset>bFalse</UseLangSuperset></DATABASE>", true, {"DE"}},
        {"not configured", lists + "</DATABASE>", true, {"DE"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TCatalogue catalogue(row.Body);
        EXPECT_EQ(catalogue.Config().GetViewerSprachen(false, row.SuperSetAllowed), row.Expected);
    }
}

TEST(TEtkConfigLanguages, CurrentViewerLanguageIsAlwaysAListedOne) {
    struct Row {
        const char* Name;
        QByteArray Languages;
        QString Stored;  // "USER\ViewerSprache"; empty: not written
        QString Expected;
    };
    const Row rows[] = {
        {"stored one not listed, English is", "lsFR|sEN", "DE", "EN"},
        {"stored one not listed, nor English", "lsFR|sIT", "DE", "FR"},
        {"stored one listed", "lsFR|sEN", "FR", "FR"},
        {"nothing stored takes German's place", "lsFR", "", "FR"},
        {"empty list and nothing stored", "l", "", "DE"},
        {"codes compare exactly", "lsFR|sEN", "fr", "EN"},
    };
    TScopedTranslator translator;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TCatalogue catalogue("<VIEWER><LANGUAGES>" + row.Languages + "</LANGUAGES></VIEWER>");
        if (!row.Stored.isEmpty()) {
            catalogue.Config().WriteString("USER\\ViewerSprache", row.Stored);
            catalogue.Config().InvalidateCache();
        }
        SetLanguage("XX");
        EXPECT_EQ(catalogue.Config().GetActViewerSprache(), row.Expected);
        EXPECT_EQ(GetLanguage(), row.Expected);
    }
}

TEST(TEtkConfigLanguages, ViewerLanguageIsCachedUntilTheCacheIsDropped) {
    TScopedTranslator translator;
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sEN|sFR</LANGUAGES></VIEWER>");
    TEtkConfigExe& config = catalogue.Config();
    EXPECT_EQ(config.GetActViewerSprache(), "DE");
    config.WriteString("USER\\ViewerSprache", "FR");
    EXPECT_EQ(config.GetActViewerSprache(), "DE");
    config.InvalidateCache();
    EXPECT_EQ(config.GetActViewerSprache(), "FR");

    config.SetActViewerSprache("IT");
    EXPECT_EQ(config.GetActViewerSprache(), "EN");
    EXPECT_EQ(GetLanguage(), "EN");
    EXPECT_EQ(config.ReadString("USER\\ViewerSprache", "none"), "EN");
    EXPECT_EQ(catalogue.Reopen()->GetActViewerSprache(), "EN");
    // The choice belongs to the user, not to the catalogue.
    EXPECT_FALSE(catalogue.ProjectBytes().contains("ViewerSprache"));
}

TEST(TEtkConfigLanguages, OtherCurrentLanguagesAreValidatedAgainstTheirLists) {
    TCatalogue catalogue("<INSTALL><AVAILLANG>lsIT|sFR</AVAILLANG><INSTSPRACHE>sFR</INSTSPRACHE></INSTALL>"
                         "<VIEWER><LANGUAGES>lsDE|sFR</LANGUAGES></VIEWER>"
                         "<DATABASE><LANGUAGES>lsNL|sEN</LANGUAGES><Doku><LANGUAGES>lsSV|sDA</LANGUAGES></Doku>"
                         "</DATABASE>");
    TEtkConfigExe& config = catalogue.Config();
    EXPECT_EQ(config.GetActDatabaseSprache(), "EN");
    EXPECT_EQ(config.GetActDokuSprache(), "SV");
    EXPECT_EQ(config.GetActInstSprache(), "FR");
    // Without its own key the installation's viewer language is the installation language.
    EXPECT_EQ(config.GetActInstViewerSprache(), "FR");

    config.SetActDatabaseSprache("NL");
    config.SetActDokuSprache("IT");
    EXPECT_EQ(config.ReadString("USER\\DataBaseSprache", "none"), "NL");
    EXPECT_EQ(config.ReadString("USER\\DokuSprache", "none"), "SV");
    const auto next = catalogue.Reopen();
    EXPECT_EQ(next->GetActDatabaseSprache(), "NL");
    EXPECT_EQ(next->GetActDokuSprache(), "SV");
}

TEST(TEtkConfigLanguages, DatabaseLanguageOfAWriteVariantGoesToTheVariant) {
    TCatalogue catalogue("<DATABASE><LANGUAGES>lsNL|sEN|sFR</LANGUAGES></DATABASE>");
    TEtkConfigExe& config = catalogue.Config();
    config.AddMultiConfig("Werkstatt", "");
    config.SetMultiConfigNameWrite("Werkstatt");
    config.SetActDatabaseSprache("FR");
    config.SetMultiConfigNameWrite("");
    EXPECT_EQ(config.GetActDatabaseSprache(), "EN");
    config.SetMultiConfigNameRead("Werkstatt");
    EXPECT_EQ(config.GetActDatabaseSprache(), "FR");
}

TEST(TEtkConfigLanguages, FallbackLanguagesAreCachedForTheExistenceTest) {
    TCatalogue catalogue("<DATABASE><LANGUAGESFALLBACK>l</LANGUAGESFALLBACK></DATABASE>");
    TEtkConfigExe& config = catalogue.Config();
    EXPECT_FALSE(config.DataBaseFallbackSprachenExists());
    config.WriteStrings("DATABASE\\LANGUAGESFALLBACK", {"EN", "FR"});
    EXPECT_FALSE(config.DataBaseFallbackSprachenExists());
    EXPECT_EQ(config.GetDataBaseFallbackSprachen(), QStringList({"EN", "FR"}));
    EXPECT_TRUE(config.DataBaseFallbackSprachenExists());
    config.WriteStrings("DATABASE\\LANGUAGESFALLBACK", {});
    EXPECT_TRUE(config.DataBaseFallbackSprachenExists());
    config.ResetFallbackLanguages();
    EXPECT_FALSE(config.DataBaseFallbackSprachenExists());
}

TEST(TEtkConfigLanguages, LanguageFlagsAreShownUnlessSwitchedOff) {
    struct Row { const char* Name; QByteArray Body; bool Expected; };
    const Row rows[] = {
        {"not configured", "", true},
        {"switched off", "<Global><ShowLangFlags>bFalse</ShowLangFlags></Global>", false},
        {"switched on", "<Global><ShowLangFlags>bTrue</ShowLangFlags></Global>", true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TCatalogue catalogue(row.Body);
        EXPECT_EQ(catalogue.Config().EnableFlagsForLanguages(), row.Expected);
    }
}

TEST(TEtkConfigLanguages, StandardTranslationsCoverEveryViewerLanguage) {
    TScopedTranslator translator;
    SetLanguage("DE");
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sFR|sEN</LANGUAGES></VIEWER>");
    TEtkMultiSprache result;
    result.SetText("IT", "alt");
    catalogue.Config().GetStandardUebersetzungen(result, "!!Titel");
    EXPECT_EQ(result.ToString(), "DE=Titel; FR=Titre; EN=Title");
    EXPECT_EQ(GetLanguage(), "DE");
}

TEST(TEtkConfigLanguages, ReadMultiSpracheOverlaysTheFileOnTheTranslatedDefault) {
    TScopedTranslator translator;
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sEN|sFR</LANGUAGES>"
                         "<ProgName BLSP=\"ML\" GUID=\"00112233445566778899AABBCCDDEEFF\"><EN>sParts catalogue</EN>"
                         "</ProgName></VIEWER>");
    TEtkMultiSprache value;
    value.SetText("IT", "vecchio");
    catalogue.Config().ReadMultiSprache("VIEWER\\ProgName", value, QString("!!Titel"));
    EXPECT_EQ(value.ToString(), "DE=Titel; EN=Parts catalogue; FR=Titre");
    EXPECT_EQ(value.GUID(), "00112233445566778899AABBCCDDEEFF");
    EXPECT_FALSE(value.isFileEdit());

    catalogue.Config().ReadMultiSprache("VIEWER\\ProgName", value);
    EXPECT_EQ(value.ToString(), "EN=Parts catalogue");
    catalogue.Config().ReadMultiSprache("VIEWER\\Missing", value);
    EXPECT_EQ(value.ToString(), "");
    EXPECT_EQ(value.GUID(), "");
}

TEST(TEtkConfigLanguages, WriteMultiSpracheReplacesTheStoredTexts) {
    TCatalogue catalogue("<VIEWER><ProgName><EN>sold</EN><NL>soud</NL></ProgName></VIEWER>");
    TEtkConfigExe& config = catalogue.Config();
    TEtkMultiSprache value;
    value.SetText("DE", "Teilekatalog");
    value.SetText("EN", "Parts catalogue");
    value.SetText("FR", "");
    value.SetGUID("0123456789ABCDEF0123456789ABCDEF");
    config.WriteMultiSprache("VIEWER\\ProgName", value);

    EXPECT_EQ(config.ReadKeys("VIEWER\\ProgName"), QStringList({"DE", "EN"}));
    EXPECT_EQ(config.ReadAttribute("VIEWER\\ProgName", "BLSP"), "ML");
    EXPECT_EQ(config.ReadAttribute("VIEWER\\ProgName", "GUID"), "0123456789ABCDEF0123456789ABCDEF");
    TEtkMultiSprache read;
    catalogue.Reopen()->ReadMultiSprache("VIEWER\\ProgName", read);
    EXPECT_EQ(read.ToString(), "DE=Teilekatalog; EN=Parts catalogue");
    EXPECT_EQ(read.GUID(), value.GUID());
    EXPECT_TRUE(read.IsSubSetFrom(value));
}

TEST(TEtkConfigLanguages, FileTextsAreStoredRelativeToTheProjectFile) {
    TCatalogue catalogue("");
    TEtkConfigExe& config = catalogue.Config();
    TEtkMultiSprache value;
    value.SetisFileEdit(true);
    value.SetText("DE", catalogue.Folder() + "/doku/hilfe_de.pdf");
    value.SetText("EN", catalogue.Folder() + "/doku/help_en.pdf");
    config.WriteMultiSprache("VIEWER\\Hilfe", value);

    EXPECT_EQ(config.ReadAttribute("VIEWER\\Hilfe", "BLSP"), "FILE");
    // Relative names keep the backslash, so the project file stays valid on Windows.
    EXPECT_EQ(config.ReadString("VIEWER\\Hilfe\\DE", ""), "doku\\hilfe_de.pdf");

    // The same catalogue in another folder finds its files there.
    const QString moved = catalogue.Folder() + "-moved";
    ASSERT_TRUE(QDir().rename(catalogue.Folder(), moved));
    TEtkConfigExe other;
    ASSERT_TRUE(other.SetMainConfigFile(moved + "/Etk.blk", true));
    TEtkMultiSprache read;
    other.ReadMultiSprache("VIEWER\\Hilfe", read);
    EXPECT_TRUE(read.isFileEdit());
    EXPECT_EQ(QDir::cleanPath(read.GetText("DE")), moved + "/doku/hilfe_de.pdf");
    EXPECT_EQ(QDir::cleanPath(read.GetText("EN")), moved + "/doku/help_en.pdf");
}

TEST(TEtkConfigLanguages, ReadMultiSprachValuePicksOneLanguage) {
    TScopedTranslator translator;
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sEN|sFR</LANGUAGES>"
                         "<Titel><EN>sCatalogue</EN></Titel></VIEWER>");
    TEtkConfigExe& config = catalogue.Config();
    config.SetActViewerSprache("EN");
    struct Row { const char* Name; QString Language; QString Expected; };
    const Row rows[] = {
        {"the current viewer language", "", "Catalogue"},
        {"from the file", "en", "Catalogue"},
        {"the translated default", "FR", "Titre"},
        {"a language outside the viewer list gets the default", "IT", "Titel"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(config.ReadMultiSprachValue("VIEWER\\Titel", "!!Titel", row.Language), row.Expected);
    }
}

TEST(TEtkConfigLanguages, HeaderFormatUsesTextAndFelderKeys) {
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sEN</LANGUAGES>"
                         "<KopfText><EN>sParts</EN></KopfText><KopfFelder>lsNummer|sBenennung</KopfFelder>"
                         "<LeerText><DE>sLeer</DE></LeerText></VIEWER>");
    TEtkConfigExe& config = catalogue.Config();
    TInfoHeader header;
    config.ReadHeaderFormat("VIEWER\\Kopf", header, "Feld1\r\nFeld2", "Kopf");
    EXPECT_EQ(header.Text().ToString(), "DE=Kopf; EN=Parts");
    EXPECT_EQ(header.Felder(), QStringList({"Nummer", "Benennung"}));

    config.ReadHeaderFormat("VIEWER\\Leer", header, "Feld1\r\nFeld2\r\n", "");
    EXPECT_EQ(header.Felder(), QStringList({"Feld1", "Feld2"}));
    EXPECT_EQ(header.Text().GetText("DE"), "Leer");

    header.Text().SetText("EN", "Empty");
    header.SetFelder({"A", "B|C"});
    config.WriteHeaderFormat("VIEWER\\Neu", header);
    EXPECT_EQ(config.ReadKeys("VIEWER\\NeuText"), QStringList({"DE", "EN"}));
    EXPECT_EQ(config.ReadStrings("VIEWER\\NeuFelder"), QStringList({"A", "B|C"}));
    TInfoHeader read;
    catalogue.Reopen()->ReadHeaderFormat("VIEWER\\Neu", read, "X", "");
    EXPECT_TRUE(read.Text().TexteSindGleich(header.Text()));
    EXPECT_EQ(read.Felder(), header.Felder());
}

TEST(TEtkConfigLanguages, RodUviModeKeepsTheViewerLanguageInTheRegistry) {
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sFR</LANGUAGES></VIEWER>");
    TEtkConfigExe& config = catalogue.Config();
    config.SetRodUviIstRunning(true);
    EXPECT_EQ(config.GetViewerSprachen(true, true), TEtkConfig::GetAllSprachKrz());
    EXPECT_EQ(config.GetInstSprachen(true), TEtkConfig::GetAllSprachKrz());
    EXPECT_EQ(config.GetViewerSprachen(false, true), QStringList({"DE", "FR"}));
    {
        Platform::TRegistry registry;
        ASSERT_TRUE(registry.OpenKey("\\SOFTWARE\\Brenlow\\RodUvi\\Sprache", true));
        ASSERT_TRUE(registry.WriteString("Akt.Sprache", "IT"));
    }
    config.InvalidateCache();
    EXPECT_EQ(config.GetActViewerSprache(), "IT");

    config.SetActViewerSprache("JA");
    Platform::TRegistry registry;
    ASSERT_TRUE(registry.OpenKeyReadOnly("\\SOFTWARE\\Brenlow\\RodUvi\\Sprache"));
    EXPECT_EQ(registry.ReadString("Akt.Sprache").value_or("none"), "JA");
    EXPECT_EQ(config.ReadString("USER\\ViewerSprache", "none"), "none");

    // A configuration of its own does not widen its lists.
    config.SetEtkSpezifisch(true);
    EXPECT_EQ(config.GetViewerSprachen(true, true), QStringList({"DE", "FR"}));
    config.InvalidateCache();
    EXPECT_EQ(config.GetActViewerSprache(), "DE");
}

TEST(TEtkConfigLanguages, RodUviModeIgnoresAnUnusableRegistry) {
    TCatalogue catalogue("<VIEWER><LANGUAGES>lsDE|sFR</LANGUAGES></VIEWER>");
    TEtkConfigExe& config = catalogue.Config();
    config.SetRodUviIstRunning(true);
    // A file where the registry's folder should be: nothing can be read or written there.
    const QString blocked = QDir::tempPath() + "/registry-blocked";
    WriteBytes(blocked, "not a folder");
    qputenv("BL_REGISTRY_ROOT", blocked.toUtf8());
    EXPECT_NO_THROW(config.SetActViewerSprache("FR"));
    EXPECT_EQ(config.GetActViewerSprache(), "FR");
    config.InvalidateCache();
    // Nothing could be read: the empty code is replaced by English, which the widened list holds.
    EXPECT_EQ(config.GetActViewerSprache(), "EN");
}

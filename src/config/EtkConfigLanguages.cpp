// The language model of TEtkConfig: the table of the 43 catalogue languages, the language lists and
// current languages of a catalogue, texts in several languages, and the mapping of the user's
// language onto a code of the table.
#include "config/EtkConfig.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLocale>
#include <algorithm>
#include <array>

#include "errors/EtkTypes.h"
#include "errors/_LanguageDLL.h"
#include "platform/Registry.h"
#include "util/StringList.h"

namespace {

// One language. Sub and Primary are the high and low byte of its Windows language identifier as two
// hexadecimal digits; an empty Sub matches any high byte. Code page, right-to-left and locale are
// kept for the language's users; the operations here do not read them.
struct TLanguageRow {
    QStringView Code;
    QStringView GermanName;
    QStringView Sub;
    QStringView Primary;
    QStringView OwnName;
    QStringView CodePage;
    QStringView RightToLeft;
    QStringView Locale;
};

constexpr std::array<TLanguageRow, 43> LanguageTable{{
    {u"DE", u"!!Deutsch", u"", u"07", u"Deutsch", u"1252", u"0", u"de_DE"},
    {u"EN", u"!!Englisch", u"08", u"09", u"English", u"1252", u"0", u"en_GB"},
    {u"FR", u"!!Französisch", u"", u"0C", u"Français", u"1252", u"0", u"fr_FR"},
    {u"ES", u"!!Spanisch", u"", u"0A", u"Español", u"1252", u"0", u""},
    {u"MX", u"!!Mexikanisch", u"08", u"0A", u"Español mexicano", u"1252", u"0", u"es_MX"},
    {u"IT", u"!!Italienisch", u"", u"10", u"Italiano", u"1252", u"0", u""},
    {u"PT", u"!!Portugiesisch", u"", u"16", u"Português", u"1252", u"0", u""},
    {u"PB", u"!!Portugiesisch(BRA)", u"", u"16", u"Português brasileiro", u"1252", u"0", u""},
    {u"NL", u"!!Niederländisch", u"", u"13", u"Nederlands", u"1252", u"0", u""},
    {u"DA", u"!!Dänisch", u"", u"06", u"Dansk", u"1252", u"0", u""},
    {u"FI", u"!!Finnisch", u"", u"0B", u"Suomi", u"1252", u"0", u""},
    {u"NO", u"!!Norwegisch", u"", u"14", u"Norsk", u"1252", u"0", u""},
    {u"SV", u"!!Schwedisch", u"", u"1D", u"Svenska", u"1252", u"0", u""},
    {u"US", u"!!Englisch (USA)", u"", u"09", u"English (USA)", u"1252", u"0", u"en_US"},
    {u"EL", u"!!Griechisch", u"", u"08", u"Ellinika", u"1253", u"0", u""},
    {u"BG", u"!!Bulgarisch", u"", u"02", u"Balgarski", u"1251", u"0", u""},
    {u"ET", u"!!Estnisch", u"", u"25", u"Eesti", u"1257", u"0", u""},
    {u"HR", u"!!Kroatisch", u"", u"1A", u"Hrvatski", u"1250", u"0", u""},
    {u"LV", u"!!Lettisch", u"", u"26", u"Latviešu", u"1257", u"0", u""},
    {u"LT", u"!!Litauisch", u"", u"27", u"Lietuviu", u"1257", u"0", u""},
    {u"PL", u"!!Polnisch", u"", u"15", u"Polski", u"1252", u"0", u""},
    {u"RO", u"!!Rumänisch", u"", u"18", u"Româna", u"1250", u"0", u""},
    {u"RU", u"!!Russisch", u"", u"19", u"Russkij", u"1251", u"0", u""},
    {u"SK", u"!!Slowakisch", u"", u"1B", u"Slovenský", u"1250", u"0", u""},
    {u"SL", u"!!Slowenisch", u"", u"24", u"Slovenščina", u"1250", u"0", u""},
    {u"BS", u"!!Bosnisch  ", u"14", u"1A", u"Bosanski", u"1250", u"0", u""},
    {u"CS", u"!!Tschechisch", u"", u"05", u"Český", u"1252", u"0", u""},
    {u"TR", u"!!Türkisch", u"", u"1F", u"Türkçe", u"1254", u"0", u""},
    {u"HU", u"!!Ungarisch", u"", u"0E", u"Magyar", u"1252", u"0", u""},
    {u"SR", u"!!Serbisch", u"", u"1A", u"Srpski", u"1250", u"0", u""},
    {u"UK", u"!!Ukrainisch", u"", u"22", u"Ukrajina", u"1251", u"0", u""},
    {u"AZ", u"!!Aserbaidschanisch", u"08", u"2C", u"Azɘrbaycan", u"1251", u"0", u"az_AZ"},
    {u"AR", u"!!Arabisch", u"", u"01", u"Άrabĩ", u"1256", u"1", u""},
    {u"HE", u"!!Hebräisch", u"", u"0D", u"עברית", u"1255", u"1", u""},
    {u"JA", u"!!Japanisch", u"", u"11", u"Nihongo", u"932", u"0", u""},
    {u"KO", u"!!Koreanisch", u"", u"12", u"한국어", u"949", u"0", u""},
    {u"ZH", u"!!Chinesisch", u"", u"04", u"中國人", u"936", u"0", u"zh-cn"},
    {u"ZT", u"!!Chinesisch (traditionell)", u"0C", u"04", u"繁體中文", u"950", u"0", u"zh-Hant"},
    {u"TW", u"!!Taiwanisch", u"04", u"04", u"臺灣閩南語", u"904", u"0", u"zh-TW"},
    {u"FA", u"!!Persisch/Iranisch", u"", u"29", u"Fârsi", u"1256", u"1", u""},
    {u"ID", u"!!Indonesisch", u"04", u"21", u"Bahasa Indonesia", u"1252", u"0", u"id_ID"},
    {u"TH", u"!!Thailändisch", u"04", u"1E", u"ภาษาไทย", u"874", u"0", u"th_TH"},
    {u"VI", u"!!Vietnamesisch", u"04", u"2A", u"Tiếng Việt", u"1258", u"0", u"vi_VN"},
}};

constexpr int LanguageCount = static_cast<int>(LanguageTable.size());

constexpr QLatin1String German("DE");
constexpr QLatin1String English("EN");
constexpr QLatin1String ViewerLanguagesKey("VIEWER\\LANGUAGES");
constexpr QLatin1String InstLanguagesKey("INSTALL\\AVAILLANG");
constexpr QLatin1String DataBaseLanguagesKey("DATABASE\\LANGUAGES");
constexpr QLatin1String DokuLanguagesKey("DATABASE\\Doku\\LANGUAGES");
constexpr QLatin1String FallbackLanguagesKey("DATABASE\\LANGUAGESFALLBACK");
constexpr QLatin1String RodUviLanguageValue("Akt.Sprache");
constexpr QLatin1String ModeAttribute("BLSP");
constexpr QLatin1String FileMode("FILE");
constexpr QLatin1String StringMode("ML");
constexpr QLatin1String GuidAttribute("GUID");

QStringList OrGerman(QStringList List) {
    if (List.isEmpty())
        List.append(German);
    return List;
}

// Pixel width of Text in the application's font. Without a GUI application there is neither a font
// nor a screen to scale by: ten pixels per character, as at 96 pixels per inch.
int TextWidth(const QString& Text) {
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return QFontMetrics(QGuiApplication::font()).horizontalAdvance(Text);
    return 10 * static_cast<int>(Text.size());
}

// Blanks, one at a time, until their width exceeds Limit.
QString BlanksWiderThan(int Limit) {
    QString blanks;
    // A font whose blank has no width would never get there.
    if (TextWidth(QStringLiteral(" ")) <= 0)
        return blanks;
    while (TextWidth(blanks) <= Limit)
        blanks.append(QLatin1Char(' '));
    return blanks;
}

QString SubKey(const QString& Key, const QString& Name) { return Key + QLatin1Char('\\') + Name; }

// Runs Action as one write batch (one save of the file), closed also when a write fails; a failing
// close then does not replace the error of the write.
template <typename TAction>
void InOneBatch(IEtkConfigNat& Config, TAction&& Action) {
    Config.StartCaching();
    try {
        Action();
    } catch (...) {
        try {
            Config.EndCaching();
        } catch (...) {
        }
        throw;
    }
    Config.EndCaching();
}

// ---- The user's locale as a Windows language identifier ----

struct TLocaleLangId {
    QLocale::Language Language;
    QLocale::Script Script;        // AnyScript: every script
    QLocale::Territory Territory;  // AnyTerritory: the language's default
    quint16 LangId;
};

// The languages of the table; more specific rows come first.
constexpr TLocaleLangId LocaleLangIds[] = {
    {QLocale::German, QLocale::AnyScript, QLocale::Austria, 0x0C07},
    {QLocale::German, QLocale::AnyScript, QLocale::Switzerland, 0x0807},
    {QLocale::German, QLocale::AnyScript, QLocale::Luxembourg, 0x1007},
    {QLocale::German, QLocale::AnyScript, QLocale::Liechtenstein, 0x1407},
    {QLocale::German, QLocale::AnyScript, QLocale::AnyTerritory, 0x0407},
    {QLocale::English, QLocale::AnyScript, QLocale::UnitedKingdom, 0x0809},
    {QLocale::English, QLocale::AnyScript, QLocale::Australia, 0x0C09},
    {QLocale::English, QLocale::AnyScript, QLocale::Canada, 0x1009},
    {QLocale::English, QLocale::AnyScript, QLocale::NewZealand, 0x1409},
    {QLocale::English, QLocale::AnyScript, QLocale::Ireland, 0x1809},
    {QLocale::English, QLocale::AnyScript, QLocale::SouthAfrica, 0x1C09},
    {QLocale::English, QLocale::AnyScript, QLocale::India, 0x4009},
    {QLocale::English, QLocale::AnyScript, QLocale::AnyTerritory, 0x0409},
    {QLocale::French, QLocale::AnyScript, QLocale::Belgium, 0x080C},
    {QLocale::French, QLocale::AnyScript, QLocale::Canada, 0x0C0C},
    {QLocale::French, QLocale::AnyScript, QLocale::Switzerland, 0x100C},
    {QLocale::French, QLocale::AnyScript, QLocale::Luxembourg, 0x140C},
    {QLocale::French, QLocale::AnyScript, QLocale::AnyTerritory, 0x040C},
    {QLocale::Spanish, QLocale::AnyScript, QLocale::Mexico, 0x080A},
    {QLocale::Spanish, QLocale::AnyScript, QLocale::AnyTerritory, 0x0C0A},
    {QLocale::Italian, QLocale::AnyScript, QLocale::Switzerland, 0x0810},
    {QLocale::Italian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0410},
    {QLocale::Portuguese, QLocale::AnyScript, QLocale::Portugal, 0x0816},
    {QLocale::Portuguese, QLocale::AnyScript, QLocale::AnyTerritory, 0x0416},
    {QLocale::Dutch, QLocale::AnyScript, QLocale::Belgium, 0x0813},
    {QLocale::Dutch, QLocale::AnyScript, QLocale::AnyTerritory, 0x0413},
    {QLocale::Danish, QLocale::AnyScript, QLocale::AnyTerritory, 0x0406},
    {QLocale::Finnish, QLocale::AnyScript, QLocale::AnyTerritory, 0x040B},
    {QLocale::NorwegianBokmal, QLocale::AnyScript, QLocale::AnyTerritory, 0x0414},
    {QLocale::NorwegianNynorsk, QLocale::AnyScript, QLocale::AnyTerritory, 0x0814},
    {QLocale::Swedish, QLocale::AnyScript, QLocale::AnyTerritory, 0x041D},
    {QLocale::Greek, QLocale::AnyScript, QLocale::AnyTerritory, 0x0408},
    {QLocale::Bulgarian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0402},
    {QLocale::Estonian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0425},
    {QLocale::Croatian, QLocale::AnyScript, QLocale::AnyTerritory, 0x041A},
    {QLocale::Latvian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0426},
    {QLocale::Lithuanian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0427},
    {QLocale::Polish, QLocale::AnyScript, QLocale::AnyTerritory, 0x0415},
    {QLocale::Romanian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0418},
    {QLocale::Russian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0419},
    {QLocale::Slovak, QLocale::AnyScript, QLocale::AnyTerritory, 0x041B},
    {QLocale::Slovenian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0424},
    {QLocale::Bosnian, QLocale::CyrillicScript, QLocale::AnyTerritory, 0x201A},
    {QLocale::Bosnian, QLocale::AnyScript, QLocale::AnyTerritory, 0x141A},
    {QLocale::Czech, QLocale::AnyScript, QLocale::AnyTerritory, 0x0405},
    {QLocale::Turkish, QLocale::AnyScript, QLocale::AnyTerritory, 0x041F},
    {QLocale::Hungarian, QLocale::AnyScript, QLocale::AnyTerritory, 0x040E},
    {QLocale::Serbian, QLocale::LatinScript, QLocale::AnyTerritory, 0x241A},
    {QLocale::Serbian, QLocale::AnyScript, QLocale::AnyTerritory, 0x281A},
    {QLocale::Ukrainian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0422},
    {QLocale::Azerbaijani, QLocale::CyrillicScript, QLocale::AnyTerritory, 0x082C},
    {QLocale::Azerbaijani, QLocale::AnyScript, QLocale::AnyTerritory, 0x042C},
    {QLocale::Arabic, QLocale::AnyScript, QLocale::AnyTerritory, 0x0401},
    {QLocale::Hebrew, QLocale::AnyScript, QLocale::AnyTerritory, 0x040D},
    {QLocale::Japanese, QLocale::AnyScript, QLocale::AnyTerritory, 0x0411},
    {QLocale::Korean, QLocale::AnyScript, QLocale::AnyTerritory, 0x0412},
    {QLocale::Chinese, QLocale::AnyScript, QLocale::Taiwan, 0x0404},
    {QLocale::Chinese, QLocale::AnyScript, QLocale::HongKong, 0x0C04},
    {QLocale::Chinese, QLocale::AnyScript, QLocale::Singapore, 0x1004},
    {QLocale::Chinese, QLocale::AnyScript, QLocale::Macao, 0x1404},
    {QLocale::Chinese, QLocale::AnyScript, QLocale::AnyTerritory, 0x0804},
    {QLocale::Persian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0429},
    {QLocale::Indonesian, QLocale::AnyScript, QLocale::AnyTerritory, 0x0421},
    {QLocale::Thai, QLocale::AnyScript, QLocale::AnyTerritory, 0x041E},
    {QLocale::Vietnamese, QLocale::AnyScript, QLocale::AnyTerritory, 0x042A},
};

// 0 for a language outside the table.
quint16 LangIdOfLocale(const QLocale& Locale) {
    for (const TLocaleLangId& row : LocaleLangIds)
        if (row.Language == Locale.language() &&
            (row.Script == QLocale::AnyScript || row.Script == Locale.script()) &&
            (row.Territory == QLocale::AnyTerritory || row.Territory == Locale.territory()))
            return row.LangId;
    return 0;
}

// The language the user reads: the first of LANGUAGE, else LC_ALL, LC_MESSAGES or LANG.
QLocale UserLocale() {
    const QStringList languages = QLocale::system().uiLanguages();
    return languages.isEmpty() ? QLocale::system() : QLocale(languages.first());
}

}  // namespace

// ---- The table ---------------------------------------------------------------------------------------

int TEtkConfig::GetIndexBySprachKrz(const QString& Sprache) {
    const QString code = Sprache.toUpper();
    for (int i = 0; i < LanguageCount; ++i)
        if (LanguageTable[i].Code == code)
            return i;
    return -1;
}

QString TEtkConfig::GetSprachKrzByIndex(int Index) {
    if (Index < 0 || Index >= LanguageCount)
        return {};
    return LanguageTable[Index].Code.toString();
}

QString TEtkConfig::GetLangText(const QString& Sprache) {
    const int index = GetIndexBySprachKrz(Sprache);
    return index < 0 ? QString() : LanguageTable[index].GermanName.toString();
}

QStringList TEtkConfig::GetAllSprachKrz() {
    QStringList codes;
    codes.reserve(LanguageCount);
    for (const TLanguageRow& row : LanguageTable)
        codes.append(row.Code.toString());
    return codes;
}

bool TEtkConfig::IsValidLangToken(const QString& Sprache) {
    return std::any_of(LanguageTable.cbegin(), LanguageTable.cend(),
                       [&](const TLanguageRow& row) { return row.Code == Sprache; });
}

int TEtkConfig::GetMaxLenForLangKurz() {
    int maxWidth = 0;
    for (const TLanguageRow& row : LanguageTable)
        maxWidth = std::max(maxWidth, TextWidth(row.Code.toString()));
    return maxWidth;
}

QString TEtkConfig::FormatLangKurzForDisplay(const QString& Value, int Maxlen) {
    return Value + BlanksWiderThan(Maxlen - TextWidth(Value) + 10);
}

QString TEtkConfig::GetLangTextBySprachKrz(const QString& Sprache, bool ExtFormat) {
    const int index = GetIndexBySprachKrz(Sprache);
    if (index < 0)
        return {};
    const TLanguageRow& row = LanguageTable[index];
    if (!ExtFormat)
        return row.OwnName.toString();
    const QString translated = Translate(row.GermanName.toString());
    if (row.OwnName.isEmpty())
        return translated;
    // The own names line up behind the code column and the longest translated name.
    const int maxLen = GetMaxLenForLangKurz();
    const auto leadWidth = [maxLen](const TLanguageRow& Row, const QString& Name) {
        return TextWidth(FormatLangKurzForDisplay(Row.Code.toString(), maxLen) + Name);
    };
    int widest = 0;
    for (const TLanguageRow& other : LanguageTable)
        widest = std::max(widest, leadWidth(other, Translate(other.GermanName.toString())));
    return translated + BlanksWiderThan(widest - leadWidth(row, translated) + 22) + QLatin1Char('(') +
           row.OwnName.toString() + QLatin1Char(')');
}

// ---- Lists -------------------------------------------------------------------------------------------

bool TEtkConfig::RodUviWidensLanguages(bool RodUviOberflaeche) {
    return RodUviOberflaeche && !FEtkSpezifisch && GetRoduviIstRunning();
}

QString TEtkConfig::RodUviLanguageKey() const { return FRegistryRootKey + QLatin1String("\\Sprache"); }

QStringList TEtkConfig::GetViewerSprachen(bool RodUviOberflaeche, bool SuperSetAllowedIfAvaible) {
    if (RodUviWidensLanguages(RodUviOberflaeche))
        return GetAllSprachKrz();
    QStringList list = OrGerman(ReadStrings(ViewerLanguagesKey));
    if (SuperSetAllowedIfAvaible && ReadBool(QStringLiteral("DATABASE\\UseLangSuperset"), false))
        for (const QString& language : GetDataBaseSprachen())
            if (!list.contains(language))
                list.append(language);
    return list;
}

QStringList TEtkConfig::GetInstSprachen(bool RodUviOberflaeche) {
    if (RodUviWidensLanguages(RodUviOberflaeche))
        return GetAllSprachKrz();
    return OrGerman(ReadStrings(InstLanguagesKey));
}

QStringList TEtkConfig::GetDataBaseSprachen() { return OrGerman(ReadStrings(DataBaseLanguagesKey)); }

QStringList TEtkConfig::GetDokuSprachen() { return OrGerman(ReadStrings(DokuLanguagesKey)); }

// ---- Current languages -------------------------------------------------------------------------------

QString TEtkConfig::ValidateLanguage(TLanguageKind Kind, const QString& Code) {
    using enum TLanguageKind;
    QStringList list;
    switch (Kind) {
    case lkViewer: list = GetViewerSprachen(true, true); break;
    case lkViewerOwn: list = GetViewerSprachen(false, true); break;
    case lkDatabase: list = GetDataBaseSprachen(); break;
    case lkDoku: list = GetDokuSprachen(); break;
    case lkInstall: list = GetInstSprachen(true); break;
    }
    if (list.isEmpty())
        return German;
    if (list.contains(Code))
        return Code;
    if (list.contains(English))
        return English;
    return list.first();
}

QString TEtkConfig::GetActViewerSprache() {
    if (FActViewerSprache.isEmpty()) {
        if (GetRoduviIstRunning()) {
            // A registry that cannot be read leaves the code empty; validation then picks one.
            Platform::TRegistry registry;
            QString stored;
            if (registry.OpenKeyReadOnly(QLatin1Char('\\') + RodUviLanguageKey()))
                stored = registry.ReadString(RodUviLanguageValue).value_or(QString());
            FActViewerSprache = ValidateLanguage(TLanguageKind::lkViewer, stored);
        } else {
            FActViewerSprache = ValidateLanguage(TLanguageKind::lkViewerOwn,
                                                 ReadString(QStringLiteral("USER\\ViewerSprache"), German));
        }
        SetLanguage(FActViewerSprache);
    }
    return FActViewerSprache;
}

void TEtkConfig::SetActViewerSprache(const QString& Value) {
    if (GetRoduviIstRunning()) {
        FActViewerSprache = ValidateLanguage(TLanguageKind::lkViewer, Value);
        // Not being able to keep the choice for the next start is no reason to stop this one.
        Platform::TRegistry registry;
        if (registry.OpenKey(QLatin1Char('\\') + RodUviLanguageKey(), true))
            static_cast<void>(registry.WriteString(RodUviLanguageValue, FActViewerSprache));
    } else {
        FActViewerSprache = ValidateLanguage(TLanguageKind::lkViewerOwn, Value);
        WriteString(QStringLiteral("USER\\ViewerSprache"), FActViewerSprache);
    }
    SetLanguage(FActViewerSprache);
}

QString TEtkConfig::GetActInstSprache() {
    return ValidateLanguage(TLanguageKind::lkInstall, ReadString(QStringLiteral("INSTALL\\INSTSPRACHE"), German));
}

QString TEtkConfig::GetActInstViewerSprache() {
    return ValidateLanguage(TLanguageKind::lkViewerOwn,
                            ReadString(QStringLiteral("INSTALL\\INSTVIEWERSPRACHE"), GetActInstSprache()));
}

QString TEtkConfig::GetActDatabaseSprache() {
    return ValidateLanguage(TLanguageKind::lkDatabase, ReadString(QStringLiteral("USER\\DataBaseSprache"), German));
}

void TEtkConfig::SetActDatabaseSprache(const QString& Value) {
    WriteString(QStringLiteral("USER\\DataBaseSprache"), ValidateLanguage(TLanguageKind::lkDatabase, Value));
}

QString TEtkConfig::GetActDokuSprache() {
    return ValidateLanguage(TLanguageKind::lkDoku, ReadString(QStringLiteral("USER\\DokuSprache"), German));
}

void TEtkConfig::SetActDokuSprache(const QString& Value) {
    WriteString(QStringLiteral("USER\\DokuSprache"), ValidateLanguage(TLanguageKind::lkDoku, Value));
}

// ---- Fallback languages ------------------------------------------------------------------------------

QStringList TEtkConfig::GetDataBaseFallbackSprachen() {
    if (!FFallbackLanguages)
        FFallbackLanguages = std::make_unique<QStringList>();
    *FFallbackLanguages = ReadStrings(FallbackLanguagesKey);
    return *FFallbackLanguages;
}

void TEtkConfig::ResetFallbackLanguages() { FFallbackLanguages.reset(); }

bool TEtkConfig::DataBaseFallbackSprachenExists() {
    if (!FFallbackLanguages)
        FFallbackLanguages = std::make_unique<QStringList>(ReadStrings(FallbackLanguagesKey));
    return !FFallbackLanguages->isEmpty();
}

bool TEtkConfig::EnableFlagsForLanguages() { return ReadBool(QStringLiteral("Global\\ShowLangFlags"), true); }

// ---- Texts in several languages ----------------------------------------------------------------------

void TEtkConfig::GetStandardUebersetzungen(TEtkMultiSprache& Ergebnis, const QString& Text) {
    Ergebnis.Clear();
    // Every language the viewer may show, the database languages of a superset included, so that a
    // default exists whichever of them becomes the viewer language.
    for (const QString& language : GetViewerSprachen(false, true))
        Ergebnis.SetText(language, Translate(Text, language));
}

void TEtkConfig::ReadMultiSprache(const QString& Key, TEtkMultiSprache& Value, const std::optional<QString>& Default) {
    Value.Clear();
    const bool fileEdit = ReadAttribute(Key, ModeAttribute) == FileMode;
    Value.SetisFileEdit(fileEdit);
    if (Default)
        GetStandardUebersetzungen(Value, *Default);
    TEtkMultiSprache stored;
    for (const QString& language : ReadKeys(Key)) {
        const QString key = SubKey(Key, language);
        stored.SetText(language, fileEdit ? ReadFileName(key, QString()) : ReadString(key, QString()));
    }
    Value.AssignData(stored);
    Value.SetGUID(ReadAttribute(Key, GuidAttribute));
}

void TEtkConfig::WriteMultiSprache(const QString& Key, const TEtkMultiSprache& Value) {
    InOneBatch(*this, [&] {
        DeleteSubKeys(Key);
        WriteAttribute(Key, ModeAttribute, Value.isFileEdit() ? FileMode : StringMode);
        for (int i = 0; i < Value.Count(); ++i) {
            const QString& text = Value.Texte()[i];
            if (text.isEmpty())
                continue;
            const QString key = SubKey(Key, Value.Sprachen()[i]);
            if (Value.isFileEdit())
                WriteFileName(key, text);
            else
                WriteString(key, text);
        }
        WriteAttribute(Key, GuidAttribute, Value.GUID());
    });
}

QString TEtkConfig::ReadMultiSprachValue(const QString& Key, const QString& Default, const QString& Language) {
    const QString language = Language.isEmpty() ? GetActViewerSprache() : Language;
    TEtkMultiSprache value;
    ReadMultiSprache(Key, value, Default);
    // The default covers the viewer languages only; another language still gets it, translated.
    if (!value.SpracheExists(language))
        return Translate(Default, language);
    return value.GetText(language);
}

void TEtkConfig::ReadHeaderFormat(const QString& Key, TInfoHeader& Value, const QString& DefaultFields,
                                  const QString& DefaultText) {
    ReadMultiSprache(Key + QLatin1String("Text"), Value.Text(), DefaultText);
    QStringList fields = ReadStrings(Key + QLatin1String("Felder"));
    if (fields.isEmpty()) {
        TStringList lines;
        lines.SetText(DefaultFields);
        for (int i = 0; i < lines.Count(); ++i)
            fields.append(lines[i]);
    }
    Value.SetFelder(fields);
}

void TEtkConfig::WriteHeaderFormat(const QString& Key, const TInfoHeader& Value) {
    InOneBatch(*this, [&] {
        WriteMultiSprache(Key + QLatin1String("Text"), Value.Text());
        WriteStrings(Key + QLatin1String("Felder"), Value.Felder());
    });
}

// ---- The user's language -----------------------------------------------------------------------------

QString LanguageCodeFromLangId(quint16 LangId, const QString& Default) {
    const QString primary = QStringLiteral("%1").arg(LangId & 0xFF, 2, 16, QLatin1Char('0')).toUpper();
    const QString sub = QStringLiteral("%1").arg(LangId >> 8, 2, 16, QLatin1Char('0')).toUpper();
    QString result;
    for (const TLanguageRow& row : LanguageTable) {
        if (row.Primary != primary)
            continue;
        if (row.Sub == sub)
            result = row.Code.toString();  // an exact match wins over an earlier one
        else if (row.Sub.isEmpty() && result.isEmpty())
            result = row.Code.toString();
    }
    return result.isEmpty() ? Default : result;
}

QString UserDefaultLanguageCode() { return LanguageCodeFromLangId(LangIdOfLocale(UserLocale()), English); }

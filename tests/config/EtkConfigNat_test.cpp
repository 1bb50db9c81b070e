#include "ConfigTestSupport.h"
#include "TestSupport.h"
#include "config/EtkConfig.h"
#include "config/EtkConfigFastDomXml.h"
#include "config/EtkConfigNat.h"
#include "platform/Registry.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>
#include <functional>

namespace {

QByteArray ProjectFile(const QByteArray& Body) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\">" + Body + "\r\n</BRENLOW>";
}

QString Quoted(const std::exception& e) { return QString::fromUtf8(e.what()); }

// The message of the exception Action raises; empty when it raises none.
QString ErrorOf(const std::function<void()>& Action) {
    try {
        Action();
    } catch (const std::exception& e) {
        return Quoted(e);
    }
    return {};
}

// A string read from File by a store of its own (the file must exist: a store creates a missing one).
QString StringIn(const QString& File, const QString& Key) {
    EXPECT_TRUE(QFile::exists(File)) << File.toStdString();
    TEtkConfigXMLFast store;
    store.SetFileName(File);
    return store.ReadString(Key, QStringLiteral("<missing>"));
}

// Makes a folder read-only for this process. Root may write anything that is merely without write
// permission, so as root a tmpfs is mounted there and remounted read-only once it is filled.
class TReadOnlyFolder {
public:
    explicit TReadOnlyFolder(const QString& Folder) : FFolder(Folder) {
        QDir().mkpath(Folder);
        if (::geteuid() == 0)
            FMounted = QProcess::execute(QStringLiteral("mount"), {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                                                   QStringLiteral("-o"), QStringLiteral("size=1m"),
                                                                   QStringLiteral("tmpfs"), Folder}) == 0;
    }
    ~TReadOnlyFolder() {
        if (FMounted)
            QProcess::execute(QStringLiteral("umount"), {FFolder});
        else
            RestorePermissions(FFolder);
    }
    TReadOnlyFolder(const TReadOnlyFolder&) = delete;
    TReadOnlyFolder& operator=(const TReadOnlyFolder&) = delete;

    bool Usable() const { return FMounted || ::geteuid() != 0; }
    // Call once the files are in place.
    bool Seal() {
        if (FMounted)
            return QProcess::execute(QStringLiteral("mount"),
                                     {QStringLiteral("-o"), QStringLiteral("remount,ro"), FFolder}) == 0;
        for (const QString& name : QDir(FFolder).entryList(QDir::Files))
            QFile::setPermissions(FFolder + QLatin1Char('/') + name, QFile::ReadOwner);
        return QFile::setPermissions(FFolder, QFile::ReadOwner | QFile::ExeOwner);
    }

private:
    static void RestorePermissions(const QString& Folder) {
        QFile::setPermissions(Folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        for (const QString& name : QDir(Folder).entryList(QDir::Files))
            QFile::setPermissions(Folder + QLatin1Char('/') + name, QFile::ReadOwner | QFile::WriteOwner);
    }

    QString FFolder;
    bool FMounted = false;
};

// A catalogue folder with its project file and a user file, both attached as the facade does.
class TNatFixture {
public:
    explicit TNatFixture(const QByteArray& MainBody, const QByteArray& UserBody = {}) {
        WriteBytes(MainFile, ProjectFile(MainBody));
        EXPECT_TRUE(Nat.SetMainConfigFile(MainFile, true));
        if (!UserBody.isNull()) {
            WriteBytes(UserFile, ProjectFile(UserBody));
            EXPECT_TRUE(Nat.SetFileForKey(QStringLiteral("USER"), UserFile, true));
        }
    }

    TTempEnvironment Env;
    TRecordingPresenter Presenter;
    const QString MainFile = Env.FilePath(QStringLiteral("cat/Etk.blk"));
    const QString UserFile = Env.FilePath(QStringLiteral("user/QtrUser.cfg"));
    TEtkConfigNat Nat{nullptr};
};

}  // namespace

// ---- routing ----

TEST(TEtkConfigNat, RoutesEachKeyToTheLongestMatchingFileKey) {
    TNatFixture fixture("<VIEWER><Icon>smain</Icon></VIEWER><USER><ViewerSprache>smain</ViewerSprache></USER>"
                        "<USERX><A>smain</A></USERX>",
                        "<USER><ViewerSprache>suser</ViewerSprache></USER><USERX><A>suser</A></USERX>");
    TEtkConfigNat& nat = fixture.Nat;
    // A later file under the same file key never answers.
    const QString second = fixture.Env.FilePath(QStringLiteral("user/second.cfg"));
    WriteBytes(second, ProjectFile("<USER><ViewerSprache>ssecond</ViewerSprache></USER>"));
    ASSERT_TRUE(nat.SetFileForKey(QStringLiteral("USER"), second, true));

    struct Row { const char* Name; QString Key; QString Value; QString File; };
    const Row rows[] = {
        {"user key", "USER\\ViewerSprache", "user", fixture.UserFile},
        {"other section", "VIEWER\\Icon", "main", fixture.MainFile},
        {"prefix test, not segments", "USERX\\A", "user", fixture.UserFile},
        {"empty key is the main file", "", "<none>", fixture.MainFile},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(nat.GetFileForKey(row.Key), row.File);
        if (!row.Key.isEmpty()) {
            EXPECT_EQ(nat.ReadString(row.Key, QStringLiteral("<none>")), row.Value);
        }
    }

    nat.WriteString(QStringLiteral("USER\\Neu"), QStringLiteral("x"));
    nat.WriteString(QStringLiteral("VIEWER\\Neu"), QStringLiteral("y"));
    EXPECT_EQ(StringIn(fixture.UserFile, QStringLiteral("USER\\Neu")), QStringLiteral("x"));
    EXPECT_EQ(StringIn(fixture.MainFile, QStringLiteral("USER\\Neu")), QStringLiteral("<missing>"));
    EXPECT_EQ(StringIn(fixture.MainFile, QStringLiteral("VIEWER\\Neu")), QStringLiteral("y"));
    EXPECT_EQ(StringIn(fixture.UserFile, QStringLiteral("VIEWER\\Neu")), QStringLiteral("<missing>"));
}

TEST(TEtkConfigNat, DisablingNeedsTheExactFileKey) {
    TNatFixture fixture("<USER><ViewerSprache>smain</ViewerSprache></USER>",
                        "<USER><ViewerSprache>suser</ViewerSprache></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString key = QStringLiteral("USER\\ViewerSprache");

    EXPECT_FALSE(nat.DisableFileForKey(QStringLiteral("US"), true));
    EXPECT_EQ(nat.ReadString(key, {}), QStringLiteral("user"));

    EXPECT_TRUE(nat.DisableFileForKey(QStringLiteral("USER"), true));
    EXPECT_EQ(nat.ReadString(key, {}), QStringLiteral("main"));
    EXPECT_EQ(nat.GetFileForKey(key), fixture.MainFile);

    EXPECT_TRUE(nat.DisableFileForKey(QStringLiteral("USER"), false));
    EXPECT_EQ(nat.ReadString(key, {}), QStringLiteral("user"));

    // With every candidate disabled there is no file to work on.
    EXPECT_TRUE(nat.DisableFileForKey(QString(), true));
    EXPECT_EQ(ErrorOf([&] { nat.ReadString(QStringLiteral("VIEWER\\Icon"), {}); }),
              QStringLiteral("Programmfehler: Dem Konfigurationsobjekt wurde noch keine Konfigurationsdatei zugewiesen"));
    EXPECT_EQ(nat.ReadString(key, {}), QStringLiteral("user"));
}

TEST(TEtkConfigNat, RoutedOperationsWithoutAFileRaise) {
    TTempEnvironment env;
    TEtkConfigNat nat(nullptr);
    struct Row { const char* Name; std::function<void()> Action; };
    const Row rows[] = {
        {"ReadString", [&] { nat.ReadString(QStringLiteral("VIEWER\\A"), {}); }},
        {"WriteInteger", [&] { nat.WriteInteger(QStringLiteral("VIEWER\\A"), 1); }},
        {"GetFileForKey", [&] { nat.GetFileForKey(QString()); }},
        {"ReadVersion", [&] { nat.ReadVersion(); }},
        {"relative file name", [&] { nat.ReadFileName(QStringLiteral("VIEWER\\A"), QStringLiteral("x.pdf")); }},
        {"GetNVKUserPath", [&] { nat.GetNVKUserPath(); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ErrorOf(row.Action),
                  QStringLiteral("Programmfehler: Dem Konfigurationsobjekt wurde noch keine Konfigurationsdatei zugewiesen"));
    }
    EXPECT_FALSE(nat.IsValid());
    EXPECT_FALSE(nat.IsConfigReadonly(true, false));
}

TEST(TEtkConfigNat, MainFileNameWithQuestionMarkRaisesAndKeepsTheFiles) {
    TNatFixture fixture("<VIEWER><Icon>smain</Icon></VIEWER>", "<USER><A>suser</A></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    EXPECT_EQ(ErrorOf([&] { nat.SetMainConfigFile(fixture.Env.FilePath(QStringLiteral("cat/E?k.blk")), false); }),
              QStringLiteral("Ungültiger Dateiname übergeben"));
    EXPECT_EQ(nat.GetMainConfigFile(), fixture.MainFile);
    EXPECT_EQ(nat.ReadString(QStringLiteral("VIEWER\\Icon"), {}), QStringLiteral("main"));
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\A"), {}), QStringLiteral("user"));
}

TEST(TEtkConfigNat, MainFileReplacesAllFilesAndReportsOneThatCannotBeRead) {
    TNatFixture fixture("<VIEWER><Icon>smain</Icon></VIEWER>", "<USER><A>suser</A></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString broken = fixture.Env.FilePath(QStringLiteral("cat/broken.blk"));
    WriteBytes(broken, "<BRENLOW><VIEWER>");

    EXPECT_FALSE(nat.SetMainConfigFile(broken, false));
    EXPECT_FALSE(nat.IsValid());
    EXPECT_EQ(nat.GetMainConfigFile(), QString());

    ASSERT_TRUE(nat.SetMainConfigFile(fixture.MainFile, false));
    EXPECT_EQ(nat.GetFileForKey(QStringLiteral("USER\\A")), fixture.MainFile);
    EXPECT_THROW(nat.SetMainConfigFile(broken, true), Exception);
    EXPECT_FALSE(nat.IsValid());

    ASSERT_TRUE(nat.SetMainConfigFile(fixture.MainFile, false));
    EXPECT_FALSE(nat.SetMainConfigFile(QString(), true));
    EXPECT_FALSE(nat.IsValid());
    EXPECT_EQ(ReadBytes(broken), QByteArray("<BRENLOW><VIEWER>"));
}

TEST(TEtkConfigNat, LibraryOnlyOperationsRaise) {
    TEtkConfigNat nat(nullptr);
    EXPECT_EQ(ErrorOf([&] { nat.SetDllCallBackFunction([](const QString&) {}); }),
              QStringLiteral("Funktion: SetDllCallBackFunction kann in Exe nicht verwendet werden"));
    EXPECT_EQ(ErrorOf([&] { nat.SetDllUTF8Mode(true); }),
              QStringLiteral("Funktion: SetDllUTF8Mode kann in Exe nicht verwendet werden"));
}

TEST(TEtkConfigNat, BatchStartsInAllFilesOrInNone) {
    TNatFixture fixture("<VIEWER><A>s1</A></VIEWER>", "<USER><A>s1</A></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    nat.StartCaching();
    nat.WriteString(QStringLiteral("VIEWER\\A"), QStringLiteral("2"));
    nat.WriteString(QStringLiteral("USER\\A"), QStringLiteral("2"));
    EXPECT_EQ(StringIn(fixture.MainFile, QStringLiteral("VIEWER\\A")), QStringLiteral("1"));
    nat.EndCaching();
    EXPECT_EQ(StringIn(fixture.MainFile, QStringLiteral("VIEWER\\A")), QStringLiteral("2"));
    EXPECT_EQ(StringIn(fixture.UserFile, QStringLiteral("USER\\A")), QStringLiteral("2"));

    // The user file breaks behind the store's back: its batch cannot start, and the project file
    // must not stay in a batch that nobody ends.
    WriteBytes(fixture.UserFile, "<BRENLOW><USER>");
    EXPECT_THROW(nat.StartCaching(), Exception);
    nat.WriteString(QStringLiteral("VIEWER\\A"), QStringLiteral("3"));
    EXPECT_EQ(StringIn(fixture.MainFile, QStringLiteral("VIEWER\\A")), QStringLiteral("3"));
}

// ---- file names, numbers, fonts and rectangles ----

TEST(TEtkConfigNat, FileNamesAreStoredRelativeToTheirFolder) {
    TNatFixture fixture("<VIEWER/>", "<USER/>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString cat = fixture.Env.FilePath(QStringLiteral("cat"));
    const QString user = fixture.Env.FilePath(QStringLiteral("user"));
    const QString root = fixture.Env.FilePath(QStringLiteral("root"));
    struct Row { const char* Name; QString Root; QString Key; QString Value; QString Stored; };
    const Row rows[] = {
        {"below the project file", "", "VIEWER\\Doc", cat + "/data/y.pdf", "data\\y.pdf"},
        // Linux names are case-sensitive: /CAT is another folder, a relative name would read back
        // as a file below /cat.
        {"folder spelled in other case", "", "VIEWER\\Doc", fixture.Env.FilePath("CAT/data/y.pdf"),
         fixture.Env.FilePath("CAT/data/y.pdf")},
        {"elsewhere", "", "VIEWER\\Doc", "/other/z.pdf", "/other/z.pdf"},
        {"folder name only begins alike", "", "VIEWER\\Doc", cat + "alog/x.pdf", cat + "alog/x.pdf"},
        {"the folder itself", "", "VIEWER\\Doc", cat + "/", cat + "/"},
        {"user key, user file's folder", "", "USER\\Doc", user + "/u.txt", "u.txt"},
        {"user key, project folder", "", "USER\\Doc", cat + "/u.txt", cat + "/u.txt"},
        {"root folder", root, "VIEWER\\Doc", root + "/a/b.pdf", "a\\b.pdf"},
        {"root folder with trailing slash", root + "/", "USER\\Doc", root + "/a/b.pdf", "a\\b.pdf"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        nat.SetRootDirectoryForWriteFileName(row.Root);
        nat.WriteFileName(row.Key, row.Value);
        EXPECT_EQ(nat.ReadString(row.Key, {}), row.Stored);
        EXPECT_EQ(nat.ReadFileName(row.Key, {}), row.Value);
    }
    nat.SetRootDirectoryForWriteFileName({});

    nat.WriteString(QStringLiteral("VIEWER\\Win"), QStringLiteral("data\\x.pdf"));
    EXPECT_EQ(nat.ReadFileName(QStringLiteral("VIEWER\\Win"), {}), cat + "/data/x.pdf");
    EXPECT_EQ(nat.ReadFileName(QStringLiteral("VIEWER\\Missing"), QStringLiteral("d.pdf")), cat + "/d.pdf");
    EXPECT_EQ(nat.ReadFileName(QStringLiteral("VIEWER\\Missing"), QString()), QString());
    EXPECT_EQ(nat.MakeAbsolutePath(QStringLiteral("VIEWER\\Missing"), QStringLiteral("C:\\x.pdf")), QStringLiteral("C:\\x.pdf"));

    nat.WriteFileNames(QStringLiteral("VIEWER\\Docs"), {cat + "/a.pdf", "/other/b.pdf"});
    EXPECT_EQ(nat.ReadStrings(QStringLiteral("VIEWER\\Docs")), QStringList({"a.pdf", "/other/b.pdf"}));
    EXPECT_EQ(nat.ReadFileNames(QStringLiteral("VIEWER\\Docs")), QStringList({cat + "/a.pdf", "/other/b.pdf"}));
}

TEST(TEtkConfigNat, DecimalsReadBothNotationsAndFallBackToTheDefault) {
    TNatFixture fixture("<DATABASE><Dot>s7.4</Dot><Comma>s 7,25 </Comma><Text>sabc</Text><Int>i3</Int><Empty>s</Empty>"
                        "<Att Dot=\"1.5\" Comma=\"2,5\" Text=\"x\"/></DATABASE>");
    TEtkConfigNat& nat = fixture.Nat;
    struct Row { const char* Name; QString Key; double Expected; };
    const Row rows[] = {
        {"dot", "DATABASE\\Dot", 7.4},        {"comma", "DATABASE\\Comma", 7.25},
        {"no number", "DATABASE\\Text", 9.5}, {"integer value", "DATABASE\\Int", 9.5},
        {"empty text", "DATABASE\\Empty", 9.5}, {"missing", "DATABASE\\None", 9.5},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_DOUBLE_EQ(nat.ReadFloat(row.Key, 9.5), row.Expected);
    }
    const QString att = QStringLiteral("DATABASE\\Att");
    EXPECT_DOUBLE_EQ(nat.ReadAttributeFloat(att, QStringLiteral("Dot"), 9.5), 1.5);
    EXPECT_DOUBLE_EQ(nat.ReadAttributeFloat(att, QStringLiteral("Comma"), 9.5), 2.5);
    EXPECT_DOUBLE_EQ(nat.ReadAttributeFloat(att, QStringLiteral("Text"), 9.5), 9.5);
    EXPECT_DOUBLE_EQ(nat.ReadAttributeFloat(att, QStringLiteral("None"), 9.5), 9.5);

    nat.WriteFloat(QStringLiteral("DATABASE\\Version"), 7.1);
    EXPECT_EQ(nat.ReadString(QStringLiteral("DATABASE\\Version"), {}), QStringLiteral("7.1"));
    nat.WriteAttributeFloat(att, QStringLiteral("New"), 0.1);
    EXPECT_EQ(nat.ReadAttribute(att, QStringLiteral("New")), QStringLiteral("0.1"));
    nat.WriteAttributeInt(att, QStringLiteral("I"), -12);
    nat.WriteAttributeBool(att, QStringLiteral("B"), true);
    EXPECT_EQ(nat.ReadAttribute(att, QStringLiteral("I")), QStringLiteral("-12"));
    EXPECT_EQ(nat.ReadAttribute(att, QStringLiteral("B")), QStringLiteral("1"));
}

TEST(TEtkConfigNat, FontsStartFromTheDefaultAndReadEachPartWhereItIsRouted) {
    TNatFixture fixture("<VIEWER><Font><TFont><Name>sCourier</Name><Size>i99</Size><Style>i19</Style></TFont></Font></VIEWER>");
    TEtkConfigNat& nat = fixture.Nat;
    // A file that claims only the size of that font.
    const QString sizeFile = fixture.Env.FilePath(QStringLiteral("size.cfg"));
    WriteBytes(sizeFile, ProjectFile("<VIEWER><Font><TFont><Size>i12</Size></TFont></Font></VIEWER>"));
    ASSERT_TRUE(nat.SetFileForKey(QStringLiteral("VIEWER\\Font\\TFont\\Size"), sizeFile, true));

    TEtkFontData font;
    nat.ReadFont(QStringLiteral("VIEWER\\Font"), font, nullptr);
    EXPECT_EQ(font.CharSet, 1);
    EXPECT_EQ(font.Color, QStringLiteral("clBlack"));
    EXPECT_EQ(font.Name, QStringLiteral("Courier"));
    EXPECT_EQ(font.Pitch, 0);
    EXPECT_EQ(font.Size, 12);
    EXPECT_EQ(font.Style, 3);  // bits above strike-out are no style

    TEtkFontData preset;
    preset.CharSet = 0;
    preset.Color = QStringLiteral("clRed");
    preset.Name = QStringLiteral("Tahoma");
    preset.Pitch = 2;
    preset.Size = 10;
    preset.Style = 4;
    nat.ReadFont(QStringLiteral("VIEWER\\Other"), font, &preset);
    EXPECT_EQ(font, preset);

    nat.WriteFont(QStringLiteral("USER\\Font"), preset);
    TEtkFontData read;
    nat.ReadFont(QStringLiteral("USER\\Font"), read, nullptr);
    EXPECT_EQ(read, preset);
}

TEST(TEtkConfigNat, RectanglesGiveTheFirstAndKeepTheCallersWhenNoneIsStored) {
    TNatFixture fixture("<VIEWER><Two><Rect Count=\"1\"><TRect0 Left=\"1\" Top=\"2\" Right=\"3\" Bottom=\"4\"/>"
                        "<TRect1 Left=\"5\" Top=\"6\" Right=\"7\" Bottom=\"8\"/></Rect></Two>"
                        "<Broken><Rect Count=\"2000000000\"><TRect0 Left=\"1\"/></Rect></Broken></VIEWER>");
    TEtkConfigNat& nat = fixture.Nat;
    TEtkRect rect{9, 9, 9, 9};
    nat.ReadRect(QStringLiteral("VIEWER\\None"), rect);
    EXPECT_EQ(rect, (TEtkRect{9, 9, 9, 9}));
    nat.ReadRect(QStringLiteral("VIEWER\\Broken"), rect);
    EXPECT_EQ(rect, (TEtkRect{9, 9, 9, 9}));
    nat.ReadRect(QStringLiteral("VIEWER\\Two"), rect);
    EXPECT_EQ(rect, (TEtkRect{1, 2, 3, 4}));

    nat.WriteRect(QStringLiteral("VIEWER\\Two"), TEtkRect{-10, 20, 300, 400});
    EXPECT_EQ(nat.ReadKeys(QStringLiteral("VIEWER\\Two\\Rect")), QStringList{QStringLiteral("TRect0")});
    nat.ReadRect(QStringLiteral("VIEWER\\Two"), rect);
    EXPECT_EQ(rect, (TEtkRect{-10, 20, 300, 400}));
}

// ---- read-only test ----

TEST(TEtkConfigNat, ReadOnlyProjectFileWarnsOnlyWhenAsked) {
    TTempEnvironment env;
    TRecordingPresenter presenter;
    const QString writable = env.FilePath(QStringLiteral("rw/Etk.blk"));
    WriteBytes(writable, ProjectFile("<VIEWER/>"));
    TEtkConfigNat nat(nullptr);
    ASSERT_TRUE(nat.SetMainConfigFile(writable, true));
    EXPECT_FALSE(nat.IsConfigReadonly(true, true));
    EXPECT_TRUE(presenter.Messages().empty());

    TReadOnlyFolder folder(env.FilePath(QStringLiteral("ro")));
    if (!folder.Usable())
        GTEST_SKIP() << "no read-only folder can be made here";
    const QString readOnly = env.FilePath(QStringLiteral("ro/Etk.blk"));
    WriteBytes(readOnly, ProjectFile("<VIEWER/>"));
    ASSERT_TRUE(folder.Seal());
    ASSERT_TRUE(nat.SetMainConfigFile(readOnly, true));
    EXPECT_TRUE(nat.IsConfigReadonly(false, false));
    EXPECT_TRUE(presenter.Messages().empty());
    EXPECT_TRUE(nat.IsConfigReadonly(true, false));
    ASSERT_EQ(presenter.Messages().size(), 1u);
    EXPECT_EQ(presenter.Messages()[0].Kind, TPresenterKind::pkWarning);
    EXPECT_EQ(presenter.Messages()[0].Text,
              QStringLiteral("Die Projekt-Konfigurationsdatei ist schreibgeschützt!\r\nEs sind keine Änderungen möglich."));
}

// ---- copy and compare ----

TEST(TEtkConfigNat, AssignDataCopiesASubtreeThatIsEqualAfterwards) {
    TNatFixture fixture("<VIEWER><Optic A=\"1\" B=\"2\"><Size>i5</Size><Names>lsa|sb</Names>"
                        "<Deep C=\"3\" D=\"4\"><Flag>bTrue</Flag></Deep></Optic></VIEWER>");
    TEtkConfigNat& source = fixture.Nat;
    const QString targetFile = fixture.Env.FilePath(QStringLiteral("other/Etk.blk"));
    WriteBytes(targetFile, ProjectFile("<VIEWER><Optic><Stale>sx</Stale><Size>s5</Size></Optic><Keep>sk</Keep></VIEWER>"));
    TEtkConfigNat target(nullptr);
    ASSERT_TRUE(target.SetMainConfigFile(targetFile, true));
    const QString key = QStringLiteral("VIEWER\\Optic");

    EXPECT_FALSE(target.IsEqual(source, key));
    target.AssignData(source, key);
    EXPECT_TRUE(target.IsEqual(source, key));
    EXPECT_TRUE(source.IsEqual(target, key));
    EXPECT_EQ(target.ReadKeys(key), QStringList({"Size", "Names", "Deep"}));
    EXPECT_EQ(target.ReadInteger(key + "\\Size", 0), 5);
    EXPECT_EQ(target.ReadStrings(key + "\\Names"), QStringList({"a", "b"}));
    EXPECT_TRUE(target.ReadBool(key + "\\Deep\\Flag", false));
    EXPECT_EQ(target.ReadAllAttributes(key), QStringList({"A|1", "B|2"}));
    EXPECT_EQ(target.ReadString(QStringLiteral("VIEWER\\Keep"), {}), QStringLiteral("k"));
    // Written to the file, not only held in memory.
    TEtkConfigXMLFast check;
    check.SetFileName(targetFile);
    EXPECT_TRUE(check.ReadBool(key + "\\Deep\\Flag", false));

    struct Row { const char* Name; std::function<void()> Change; };
    const Row rows[] = {
        {"value text", [&] { target.WriteString(key + "\\Deep\\Flag", QStringLiteral("x")); }},
        {"attribute order", [&] {
             target.DeleteAttribute(key + "\\Deep", QStringLiteral("C"));
             target.WriteAttribute(key + "\\Deep", QStringLiteral("C"), QStringLiteral("3"));
         }},
        {"sub-key order", [&] {
             target.DeleteKey(key + "\\Size");
             target.WriteInteger(key + "\\Size", 5);
         }},
        {"extra sub-key", [&] { target.WriteString(key + "\\Deep\\More", QStringLiteral("m")); }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        target.AssignData(source, key);
        ASSERT_TRUE(target.IsEqual(source, key));
        row.Change();
        EXPECT_FALSE(target.IsEqual(source, key));
    }
    // Only the value texts count, not their types.
    target.AssignData(source, key);
    target.WriteString(key + "\\Size", QStringLiteral("5"));
    EXPECT_TRUE(target.IsEqual(source, key));

    target.AssignData(source, QString());
    EXPECT_EQ(target.ReadKeys(QString()), source.ReadKeys(QString()));
    EXPECT_FALSE(target.KeyExists(QStringLiteral("VIEWER\\Keep")));
    EXPECT_TRUE(target.IsEqual(source, QStringLiteral("VIEWER")));
}

// ---- the user file ----

TEST(TEtkConfigNat, MakeUserCfgCreatesTheUserFileFromTheUserSection) {
    TNatFixture fixture("<INSTALL><INSTDIR>sVendor\\Cat</INSTDIR></INSTALL><USER><ViewerSprache>sDE</ViewerSprache>"
                        "<UserSettings><X>s1</X></UserSettings><Preis aktwkz=\"EUR\"><allwkz>lsEUR|sUSD</allwkz></Preis>"
                        "</USER>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString folder = fixture.Env.FilePath(QStringLiteral("data/Vendor/Cat"));
    const QString userFile = folder + QStringLiteral("/QtrUser.cfg");

    EXPECT_EQ(nat.MakeUserCfg(fixture.MainFile, false), userFile);
    EXPECT_TRUE(QDir(folder).exists());
    EXPECT_FALSE(QFile::exists(userFile));
    EXPECT_FALSE(nat.IsNewUserCfg());

    EXPECT_EQ(nat.MakeUserCfg(fixture.MainFile, true), userFile);
    EXPECT_TRUE(nat.IsNewUserCfg());
    {
        TEtkConfigXMLFast user;
        user.SetFileName(userFile);
        EXPECT_EQ(user.ReadKeys(QString()), QStringList{QStringLiteral("USER")});
        EXPECT_EQ(user.ReadKeys(QStringLiteral("USER")), QStringList({"ViewerSprache", "Preis"}));
        EXPECT_EQ(user.ReadString(QStringLiteral("USER\\ViewerSprache"), {}), QStringLiteral("DE"));
        EXPECT_EQ(user.ReadAttribute(QStringLiteral("USER\\Preis"), QStringLiteral("aktwkz")), QStringLiteral("EUR"));
        EXPECT_EQ(user.ReadStrings(QStringLiteral("USER\\Preis\\allwkz")), QStringList({"EUR", "USD"}));
        EXPECT_EQ(user.ReadAttribute(QString(), QStringLiteral("Version")), QStringLiteral("1.1"));
    }

    // An existing user file is never made again.
    const QByteArray made = ReadBytes(userFile);
    EXPECT_EQ(nat.MakeUserCfg(fixture.MainFile, true), userFile);
    EXPECT_FALSE(nat.IsNewUserCfg());
    EXPECT_EQ(ReadBytes(userFile), made);

    // Nor is a project file that does not exist created on the way.
    QFile::remove(userFile);
    const QString missing = fixture.Env.FilePath(QStringLiteral("cat/missing.blk"));
    nat.MakeUserCfg(missing, true);
    EXPECT_FALSE(QFile::exists(missing));
    EXPECT_FALSE(nat.IsNewUserCfg());
}

TEST(TEtkConfigNat, CompareAndUpdateUserCfgAddsWhatIsMissingAndKeepsTheUsersValues) {
    TNatFixture fixture("<USER><ViewerSprache>sDE</ViewerSprache><Preis><aktwkz>sEUR</aktwkz></Preis>"
                        "<Bestellung><Mode>i1</Mode><Neu>sN</Neu></Bestellung></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString userFile = fixture.Env.FilePath(QStringLiteral("data/Brenlow/QtrUser.cfg"));

    EXPECT_FALSE(nat.CompareAndUpdateUserCfg(fixture.MainFile));
    EXPECT_FALSE(QFile::exists(userFile));

    WriteBytes(userFile, ProjectFile("<USER><ViewerSprache>sEN</ViewerSprache><Bestellung><Mode>i5</Mode></Bestellung></USER>"));
    ASSERT_TRUE(nat.SetFileForKey(QStringLiteral("USER"), userFile, true));
    EXPECT_TRUE(nat.CompareAndUpdateUserCfg(fixture.MainFile));
    // The attached user file has been read again.
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\Preis\\aktwkz"), {}), QStringLiteral("EUR"));
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\Bestellung\\Neu"), {}), QStringLiteral("N"));
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\ViewerSprache"), {}), QStringLiteral("EN"));
    EXPECT_EQ(nat.ReadInteger(QStringLiteral("USER\\Bestellung\\Mode"), 0), 5);
    EXPECT_EQ(StringIn(userFile, QStringLiteral("USER\\Preis\\aktwkz")), QStringLiteral("EUR"));

    const QByteArray updated = ReadBytes(userFile);
    EXPECT_FALSE(nat.CompareAndUpdateUserCfg(fixture.MainFile));
    EXPECT_EQ(ReadBytes(userFile), updated);
}

TEST(TEtkConfigNat, UpdateUserCfgReplacesTheCatalogueSubtrees) {
    TNatFixture fixture("<USER><DeleteLocal><A>sM</A></DeleteLocal><Bestellung><Mode>i1</Mode></Bestellung>"
                        "<BestellAdressen><Adr1>sMain</Adr1></BestellAdressen><Update><Download><Url>sM</Url></Download>"
                        "</Update><ShowItemsOnImage>bTrue</ShowItemsOnImage><ViewerSprache>sDE</ViewerSprache></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString userFile = fixture.Env.FilePath(QStringLiteral("data/Brenlow/QtrUser.cfg"));
    WriteBytes(userFile, ProjectFile("<USER><DeleteLocal><A>sU</A><Old>sO</Old></DeleteLocal><Bestellung><Mode>i5</Mode>"
                                     "</Bestellung><BestellAdressen><Adr1>sUser</Adr1><Adr2>sU2</Adr2></BestellAdressen>"
                                     "<Update><Download><Url>sU</Url></Download><Other>sKeep</Other></Update>"
                                     "<ShowItemsOnImage>bFalse</ShowItemsOnImage><Preis><aktwkz>sUSD</aktwkz></Preis>"
                                     "<ViewerSprache>sEN</ViewerSprache></USER>"));
    ASSERT_TRUE(nat.SetFileForKey(QStringLiteral("USER"), userFile, true));

    EXPECT_EQ(nat.UpdateUserCfg(), userFile);
    EXPECT_EQ(nat.ReadKeys(QStringLiteral("USER\\DeleteLocal")), QStringList{QStringLiteral("A")});
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\DeleteLocal\\A"), {}), QStringLiteral("M"));
    EXPECT_EQ(nat.ReadInteger(QStringLiteral("USER\\Bestellung\\Mode"), 0), 1);
    EXPECT_EQ(nat.ReadKeys(QStringLiteral("USER\\BestellAdressen")), QStringList{QStringLiteral("Adr1")});
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\Update\\Download\\Url"), {}), QStringLiteral("M"));
    EXPECT_TRUE(nat.ReadBool(QStringLiteral("USER\\ShowItemsOnImage"), false));
    // Neither the sibling of a replaced subtree, nor a subtree the project file lacks, nor any
    // other user setting is touched.
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\Update\\Other"), {}), QStringLiteral("Keep"));
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\Preis\\aktwkz"), {}), QStringLiteral("USD"));
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\ViewerSprache"), {}), QStringLiteral("EN"));
    EXPECT_EQ(StringIn(userFile, QStringLiteral("USER\\DeleteLocal\\A")), QStringLiteral("M"));
    EXPECT_TRUE(nat.UpdateUserOrderAddresses());
}

TEST(TEtkConfigNat, SeriesNumberFiltersCopyValuesOnlyOfHiddenFilters) {
    TTempEnvironment env;
    const QString mainFile = env.FilePath(QStringLiteral("Etk.blk"));
    const QString userFile = env.FilePath(QStringLiteral("QtrUser.cfg"));
    WriteBytes(mainFile, ProjectFile(
        "<DATABASE><SNRFilter Count=\"2\"/></DATABASE><USER><SNRFilter>"
        "<Filter0><FilterHidden>bTrue</FilterHidden><FilterAktiv>bTrue</FilterAktiv><FilterValue>lsA</FilterValue>"
        "<FilterPreValues>lsP0</FilterPreValues><FilterLookupValues>lsL0|sL1</FilterLookupValues></Filter0>"
        "<Filter1><FilterAktiv>bTrue</FilterAktiv><FilterValue>lsB</FilterValue><FilterPreValues>lsP1</FilterPreValues>"
        "</Filter1><Filter2><FilterHidden>bTrue</FilterHidden></Filter2></SNRFilter></USER>"));
    WriteBytes(userFile, ProjectFile("<USER><SNRFilter><Filter1><FilterHidden>bTrue</FilterHidden>"
                                     "<FilterLookupValues>lsOld</FilterLookupValues></Filter1></SNRFilter></USER>"));
    TEtkConfigXMLFast main;
    main.SetFileName(mainFile);
    TEtkConfigXMLFast user;
    user.SetFileName(userFile);
    TEtkConfigNat::CopySnrFilters(main, user);

    TEtkConfigXMLFast check;
    check.SetFileName(userFile);
    const QString f0 = QStringLiteral("USER\\SNRFilter\\Filter0");
    const QString f1 = QStringLiteral("USER\\SNRFilter\\Filter1");
    EXPECT_EQ(check.ReadKeys(f0),
              QStringList({"FilterHidden", "FilterAktiv", "FilterValue", "FilterPreValues", "FilterLookupValues"}));
    EXPECT_TRUE(check.ReadBool(f0 + "\\FilterHidden", false));
    EXPECT_TRUE(check.ReadBool(f0 + "\\FilterAktiv", false));
    EXPECT_EQ(check.ReadStrings(f0 + "\\FilterValue"), QStringList{"A"});
    EXPECT_EQ(check.ReadStrings(f0 + "\\FilterLookupValues"), QStringList({"L0", "L1"}));
    EXPECT_EQ(check.ReadKeys(f1), QStringList({"FilterHidden", "FilterLookupValues", "FilterPreValues"}));
    EXPECT_FALSE(check.ReadBool(f1 + "\\FilterHidden", true));  // missing in the project file
    EXPECT_EQ(check.ReadStrings(f1 + "\\FilterPreValues"), QStringList{"P1"});
    EXPECT_EQ(check.ReadStrings(f1 + "\\FilterLookupValues"), QStringList());
    EXPECT_FALSE(check.KeyExists(QStringLiteral("USER\\SNRFilter\\Filter2")));
}

TEST(TEtkConfigNat, CorruptUserFileIsNeitherReplacedNorEmptied) {
    TNatFixture fixture("<USER><ViewerSprache>sDE</ViewerSprache><Preis><aktwkz>sEUR</aktwkz></Preis></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString userFile = fixture.Env.FilePath(QStringLiteral("data/Brenlow/QtrUser.cfg"));
    const QByteArray corrupt = ProjectFile("<USER><ViewerSprache>sEN</ViewerSprache>");
    WriteBytes(userFile, corrupt);

    EXPECT_EQ(nat.MakeUserCfg(fixture.MainFile, true), userFile);
    EXPECT_FALSE(nat.IsNewUserCfg());
    EXPECT_FALSE(nat.SetFileForKey(QStringLiteral("USER"), userFile, false));
    EXPECT_THROW(nat.CompareAndUpdateUserCfg(fixture.MainFile), Exception);
    EXPECT_THROW(nat.UpdateUserCfg(), Exception);
    EXPECT_EQ(ReadBytes(userFile), corrupt);
    ASSERT_FALSE(fixture.Presenter.Messages().empty());
    EXPECT_EQ(fixture.Presenter.Messages()[0].Text, QStringLiteral("Fehler in Datei: QtrUser.cfg"));
    // The user's keys still go nowhere else than to the project file, which is unchanged.
    EXPECT_EQ(nat.ReadString(QStringLiteral("USER\\ViewerSprache"), {}), QStringLiteral("DE"));
}

TEST(TEtkConfigNat, ReadOnlyUserFileIsLeftAsItIs) {
    TNatFixture fixture("<DATABASE><SNRFilter Count=\"1\"/></DATABASE><USER><ViewerSprache>sDE</ViewerSprache>"
                        "<Preis><aktwkz>sEUR</aktwkz></Preis><Bestellung><Mode>i1</Mode></Bestellung></USER>");
    TEtkConfigNat& nat = fixture.Nat;
    TReadOnlyFolder folder(fixture.Env.FilePath(QStringLiteral("data/Brenlow")));
    if (!folder.Usable())
        GTEST_SKIP() << "no read-only folder can be made here";
    const QString userFile = fixture.Env.FilePath(QStringLiteral("data/Brenlow/QtrUser.cfg"));
    const QByteArray bytes =
        ProjectFile("<USER><ViewerSprache>sEN</ViewerSprache><Bestellung><Mode>i5</Mode></Bestellung></USER>");
    WriteBytes(userFile, bytes);
    ASSERT_TRUE(folder.Seal());
    ASSERT_TRUE(nat.SetFileForKey(QStringLiteral("USER"), userFile, true));

    EXPECT_EQ(nat.MakeUserCfg(fixture.MainFile, true), userFile);
    EXPECT_FALSE(nat.IsNewUserCfg());
    EXPECT_FALSE(nat.CompareAndUpdateUserCfg(fixture.MainFile));
    EXPECT_EQ(nat.UpdateUserCfg(), userFile);
    EXPECT_EQ(ReadBytes(userFile), bytes);
    EXPECT_EQ(nat.ReadInteger(QStringLiteral("USER\\Bestellung\\Mode"), 0), 5);
    EXPECT_FALSE(nat.KeyExists(QStringLiteral("USER\\Preis")));
}

// ---- folders ----

TEST(TEtkConfigNat, CatalogueUserFolderFollowsTheInstallFolderName) {
    TNatFixture fixture("<VIEWER/>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString data = fixture.Env.FilePath(QStringLiteral("data"));
    struct Row { const char* Name; const char* InstDir; QString Expected; };
    const Row rows[] = {
        {"default", nullptr, data + "/Brenlow"},
        {"program files variable", "%ProgramFiles%\\Vendor\\Cat", data + "/Vendor/Cat"},
        {"drive", "C:\\Cat", data + "/Cat"},
        {"doubled and trailing backslashes", "%APPDATA%\\\\Vendor\\\\Cat\\", data + "/Vendor/Cat"},
        {"variable in other case, no backslash after it", "%localAppData%Vendor", data + "/Vendor"},
        {"only a variable", "%PROGRAMDATA%", data},
        {"unknown variable stays", "%TEMP%\\Cat", data + "/%TEMP%/Cat"},
        {"plain name", "Cat", data + "/Cat"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        if (row.InstDir)
            nat.WriteString(QStringLiteral("INSTALL\\INSTDIR"), QString::fromUtf8(row.InstDir));
        else
            nat.DeleteKey(QStringLiteral("INSTALL\\INSTDIR"));
        EXPECT_EQ(nat.GetNVKUserPath(), row.Expected);
    }
    nat.WriteString(QStringLiteral("VIEWER\\LOCALFILESLOCATIONTYPE"), QStringLiteral("MyDocuments"));
    EXPECT_EQ(nat.GetNVKUserPath(), fixture.Env.FilePath(QStringLiteral("documents/Cat")));
}

TEST(TEtkConfigNat, LocationTypeNeedsTheExactText) {
    TNatFixture fixture("<VIEWER/>");
    TEtkConfigNat& nat = fixture.Nat;
    const QString data = fixture.Env.FilePath(QStringLiteral("data"));
    const QString documents = fixture.Env.FilePath(QStringLiteral("documents"));
    struct Row { const char* Value; TLocalFilesLocationType Type; QString UserPath; };
    const Row rows[] = {
        {nullptr, TLocalFilesLocationType::lfAppData, data},
        {"APPDATA", TLocalFilesLocationType::lfAppData, data},
        {"MyDocuments", TLocalFilesLocationType::lfMyDocuments, documents},
        {"mydocuments", TLocalFilesLocationType::lfAppData, data},
        {"Desktop", TLocalFilesLocationType::lfAppData, data},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Value ? row.Value : "missing");
        if (row.Value)
            nat.WriteString(QStringLiteral("VIEWER\\LOCALFILESLOCATIONTYPE"), QString::fromUtf8(row.Value));
        EXPECT_EQ(nat.GetUsePersonalFromRegistry(), row.Type);
        EXPECT_EQ(nat.GetUserPath(), row.UserPath);
    }
}

TEST(TEtkConfigNat, PersonalFolderOfTheRegistryCountsOnlyForEtkExe) {
    TNatFixture fixture("<INSTALL><INSTDIR>sVendor</INSTDIR></INSTALL>");
    const QString personal = fixture.Env.FilePath(QStringLiteral("personal"));
    const QString data = fixture.Env.FilePath(QStringLiteral("data"));
    Platform::TRegistry registry;
    ASSERT_TRUE(registry.OpenKey(QStringLiteral("SOFTWARE\\Brenlow\\Viewer\\BLPersonalDir"), true));
    ASSERT_TRUE(registry.WriteString(QStringLiteral("PersonalDir"), personal));
    EXPECT_EQ(fixture.Nat.GetUserPath(), data);  // this test program is no Etk.exe

    struct Row { const char* Program; QString Expected; };
    const Row rows[] = {{"Etk.exe", personal}, {"ETK.EXE", personal}, {"Etk", data}, {"RQCatalog", data}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Program);
        const QString program = fixture.Env.FilePath(QStringLiteral("bin/") + QString::fromUtf8(row.Program));
        QDir().mkpath(fixture.Env.FilePath(QStringLiteral("bin")));
        QFile::remove(program);
        ASSERT_TRUE(QFile::copy(HelperPath(QStringLiteral("natpaths")), program));
        QFile::setPermissions(program, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QProcess process;
        process.start(program, {fixture.MainFile});
        ASSERT_TRUE(process.waitForFinished(30000));
        EXPECT_EQ(process.exitCode(), 0) << process.readAllStandardError().toStdString();
        EXPECT_EQ(QString::fromUtf8(process.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts),
                  QStringList({row.Expected, row.Expected + "/Vendor"}));
    }
}

// ---- plug-in names and texts ----

TEST(TEtkConfigNat, PluginNamesAreAppendedAsCounted) {
    struct Row { const char* Name; QByteArray Body; int Count; QStringList Names; };
    const Row rows[] = {
        {"two", "<Security><Plugin Count=\"2\"><Plug1><PluginName>sa.jar</PluginName></Plug1><Plug2><PluginName>"
                "sb.jar</PluginName></Plug2><Plug3><PluginName>sc.jar</PluginName></Plug3></Plugin></Security>",
         2, {"x", "a.jar", "b.jar"}},
        {"name missing", "<Security><Plugin Count=\"1\"/></Security>", 1, {"x", ""}},
        {"no count", "<Security><Plugin><Plug1><PluginName>sa.jar</PluginName></Plug1></Plugin></Security>", 0, {"x"}},
        {"count not a number", "<Security><Plugin Count=\"zwei\"/></Security>", 0, {"x"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        TNatFixture fixture(row.Body);
        EXPECT_EQ(fixture.Nat.GetPluginSecCount(), row.Count);
        QStringList names{"x"};
        fixture.Nat.ReadPluginSecNames(names);
        EXPECT_EQ(names, row.Names);
    }
}

TEST(TEtkConfigNat, ExtractTexteAppendsTheMainFilesTexts) {
    TNatFixture fixture("<VIEWER><ProgName BLSP=\"ML\" GUID=\"G1\"><DE>sHallo</DE><EN>sHello</EN></ProgName></VIEWER>",
                        "<USER><Text BLSP=\"ML\" GUID=\"G2\"><DE>sNein</DE></Text></USER>");
    QStringList lines{"x"};
    const QStringList languages{"DE", "EN"};
    fixture.Nat.ExtractTexte(lines, &languages);
    EXPECT_EQ(lines, QStringList({"x", "VIEWER\\ProgName:G1\tDE\tHallo", "VIEWER\\ProgName:G1\tEN\tHello"}));

    QStringList all;
    fixture.Nat.ExtractTexte(all, nullptr);
    QStringList expected;
    for (const QString& code : TEtkConfig::GetAllSprachKrz())
        expected << QStringLiteral("VIEWER\\ProgName:G1\t") + code + QLatin1Char('\t') +
                        (code == "DE" ? "Hallo" : code == "EN" ? "Hello" : "");
    EXPECT_EQ(all, expected);
}

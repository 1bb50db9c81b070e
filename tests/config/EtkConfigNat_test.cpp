#include "ConfigTestSupport.h"
#include "TestSupport.h"
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

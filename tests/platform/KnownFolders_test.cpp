#include "TestSupport.h"
#include "platform/KnownFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <gtest/gtest.h>

#include <functional>

using namespace Platform;

namespace {

struct TFolder {
    const char* Name;
    const char* Variable;
    std::function<QString()> Read;
};

const TFolder Folders[] = {
    {"roaming application data", "XDG_CONFIG_HOME", RoamingAppDataFolder},
    {"local application data", "XDG_DATA_HOME", LocalAppDataFolder},
    {"ProgramData", "BL_PROGRAMDATA", ProgramDataFolder},
    {"Windows folder", "BL_WINDIR", WindowsFolder},
    {"Documents", "XDG_DOCUMENTS_DIR", DocumentsFolder},
    {"user's temporary folder", "TMPDIR", UserTempFolder},
    {"home", "HOME", HomeFolder},
};

}  // namespace

TEST(KnownFolders, EnvironmentVariableComesFirstWithoutTrailingSlash) {
    TTempEnvironment environment;
    for (const TFolder& folder : Folders) {
        SCOPED_TRACE(folder.Name);
        const QString target = environment.FilePath(QStringLiteral("set/%1").arg(folder.Variable));
        environment.Set(folder.Variable, target);
        EXPECT_EQ(folder.Read(), target);
        environment.Set(folder.Variable, target + "//");
        EXPECT_EQ(folder.Read(), target);
    }
}

TEST(KnownFolders, DefaultsApplyWhenTheVariableIsEmptyOrRelative) {
    TTempEnvironment environment;
    const QString home = environment.FilePath("home");
    struct Row { const char* Variable; QString Default; };
    const Row rows[] = {
        {"XDG_CONFIG_HOME", home + "/.config"},
        {"XDG_DATA_HOME", home + "/.local/share"},
        {"BL_PROGRAMDATA", "/var/lib"},
        {"BL_WINDIR", "/usr"},
        {"XDG_DOCUMENTS_DIR", home + "/Documents"},
        {"TMPDIR", "/tmp"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Variable);
        const TFolder* folder = nullptr;
        for (const TFolder& candidate : Folders)
            if (QByteArray(candidate.Variable) == row.Variable)
                folder = &candidate;
        ASSERT_NE(folder, nullptr);
        for (const QString& value : {QString(), u"relative/folder"_qs}) {
            SCOPED_TRACE(value.toStdString());
            environment.Set(row.Variable, value);
            EXPECT_EQ(folder->Read(), row.Default);
        }
    }
}

TEST(KnownFolders, DocumentsFolderFollowsTheDesktopsUserDirs) {
    TTempEnvironment environment;
    environment.Set("XDG_DOCUMENTS_DIR", "");
    const QString userDirs = environment.FilePath("config/user-dirs.dirs");
    struct Row { const char* Name; QByteArray Line; QString Expected; };
    const Row rows[] = {
        {"home-relative", "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n", environment.FilePath("home/Dokumente")},
        {"absolute", "# comment\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\nXDG_DOCUMENTS_DIR=\"/srv/docs/\"\n", "/srv/docs"},
        {"relative entry is ignored", "XDG_DOCUMENTS_DIR=\"docs\"\n", environment.FilePath("home/Documents")},
        {"no entry", "XDG_MUSIC_DIR=\"$HOME/Musik\"\n", environment.FilePath("home/Documents")},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        WriteBytes(userDirs, row.Line);
        EXPECT_EQ(DocumentsFolder(), row.Expected);
    }
}

TEST(KnownFolders, ExecutableIsFoundThroughSymbolicLinks) {
    TTempEnvironment environment;
    const QString helper = QStringLiteral(BL_HELPERS_DIR "/platform_known_folders");
    ASSERT_TRUE(QFile::exists(helper));
    struct Row { const char* Name; QString FileName; QString BaseName; };
    const Row rows[] = {
        {"the launcher's name", "RQCatalog", "RQCatalog"},
        {"a name with extension", "Viewer.bin", "Viewer"},
        {"a folder and name with blanks and umlauts", u"Kataloge Ü/Mein Katalog"_qs, u"Mein Katalog"_qs},
    };
    int index = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QString folder = environment.FilePath(QStringLiteral("app%1/").arg(index)) +
                               QFileInfo(row.FileName).path();
        const QString binary = folder + "/" + QFileInfo(row.FileName).fileName();
        ASSERT_TRUE(QDir().mkpath(folder));
        ASSERT_TRUE(QFile::copy(helper, binary));
        // Started through a link in another folder: the link is resolved to the real file.
        const QString link = environment.FilePath(QStringLiteral("link%1").arg(index++));
        ASSERT_TRUE(QFile::link(binary, link));

        QProcess process;
        process.start(link, {});
        ASSERT_TRUE(process.waitForFinished(30000));
        ASSERT_EQ(process.exitCode(), 0);
        QMap<QString, QString> values;
        for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts))
            values.insert(line.section(u'=', 0, 0), line.section(u'=', 1));
        const QString canonicalFolder = QFileInfo(folder).canonicalFilePath();
        EXPECT_EQ(values.value("ExecutableFilePath"), canonicalFolder + "/" + QFileInfo(row.FileName).fileName());
        EXPECT_EQ(values.value("ExecutableFolder"), canonicalFolder);
        EXPECT_EQ(values.value("ExecutableFileName"), QFileInfo(row.FileName).fileName());
        EXPECT_EQ(values.value("ExecutableBaseName"), row.BaseName);
    }
}

TEST(KnownFolders, ThisProcessKnowsItsOwnBinary) {
    const QString path = ExecutableFilePath();
    EXPECT_TRUE(QFileInfo(path).isExecutable());
    EXPECT_EQ(path, QFileInfo(path).canonicalFilePath());
    EXPECT_EQ(ExecutableFileName(), "platform_tests");
}

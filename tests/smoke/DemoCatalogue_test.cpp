// The demo catalogue folder as built: everything a catalogue ships, and a project file that the
// system's own project-file store reads as intended.
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "DemoServer.h"
#include "TestSupport.h"
#include "config/EtkConfigFastDomXml.h"

namespace {

TEST(TDemoCatalogue, FolderHoldsWhatACatalogueShips) {
    const QString dir = DemoCatalogDir();
    struct Row {
        const char* Name;
        QString Path;
        bool Executable;
    };
    const Row rows[] = {
        {"launcher", "RQCatalog", true},
        {"Java runtime", "jre/bin/java", true},
        {"project file", "Etk.blk", false},
        {"version file", "version.txt", false},
        {"web application", "lib/etk-viewer-demo.jar", false},
        {"viewer plug-in archive", "lib/brenlow_plugin_javaviewer_demo.jar", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const QFileInfo info(dir + QLatin1Char('/') + row.Path);
        EXPECT_TRUE(info.isFile());
        EXPECT_GT(info.size(), 0);
        if (row.Executable) {
            EXPECT_TRUE(info.isExecutable());
        }
    }
    const QStringList versionLines = QString::fromUtf8(ReadBytes(dir + QStringLiteral("/version.txt"))).trimmed().split(QLatin1Char('\n'));
    ASSERT_EQ(versionLines.size(), 2);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d+(\\.\\d+)+$")).match(versionLines[1]).hasMatch()) << versionLines[1].toStdString();
}

TEST(TDemoCatalogue, ProjectFileReadsThroughTheProjectFileStore) {
    TTempEnvironment env;  // the store's cross-process lock lives below these folders
    const QString copy = env.FilePath(QStringLiteral("cat/Etk.blk"));
    WriteBytes(copy, ReadBytes(DemoCatalogDir() + QStringLiteral("/Etk.blk")));
    TEtkConfigXMLFast store;
    store.SetFileName(copy);

    const QStringList languages{QStringLiteral("DE"), QStringLiteral("EN"), QStringLiteral("FR")};
    for (const char* key : {"VIEWER\\LANGUAGES", "DATABASE\\LANGUAGES", "DATABASE\\Doku\\LANGUAGES", "INSTALL\\AVAILLANG"}) {
        SCOPED_TRACE(key);
        EXPECT_EQ(store.ReadStrings(QString::fromLatin1(key)), languages);
    }
    struct Row {
        const char* Key;
        QString Expected;
    };
    const Row rows[] = {
        {"USER\\ViewerSprache", "DE"},
        {"USER\\DataBaseSprache", "DE"},
        {"USER\\DokuSprache", "DE"},
        {"VIEWER\\ProgName\\DE", "Demo-Ersatzteilkatalog"},
        {"VIEWER\\ProgName\\EN", "Demo Parts Catalogue"},
        {"VIEWER\\ProgName\\FR", "Catalogue de pièces de démonstration"},
        {"VIEWER\\Logos\\Start", "logos\\start.png"},
        {"VIEWER\\Optic\\Design", "Flat"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Key);
        EXPECT_EQ(store.ReadString(QString::fromLatin1(row.Key), QStringLiteral("<missing>")), row.Expected);
    }
    EXPECT_EQ(store.ReadInteger(QStringLiteral("VIEWER\\MaxHeapSize"), 0), 512);
    EXPECT_TRUE(store.ReadBool(QStringLiteral("VIEWER\\OpenExtLinksStandard"), false));
    EXPECT_EQ(store.ReadAttribute(QStringLiteral("VIEWER\\ProgName"), QStringLiteral("BLSP")), QStringLiteral("ML"));
    EXPECT_EQ(store.ReadAttribute(QStringLiteral("VIEWER\\ProgName"), QStringLiteral("GUID")).size(), 32);

    // The start picture named by the project file is a real picture (relative names use "\").
    const QImage picture(DemoCatalogDir() + QLatin1Char('/') +
                         store.ReadString(QStringLiteral("VIEWER\\Logos\\Start"), QString()).replace(QLatin1Char('\\'), QLatin1Char('/')));
    EXPECT_FALSE(picture.isNull());
    EXPECT_GT(picture.width(), 100);
}

}  // namespace

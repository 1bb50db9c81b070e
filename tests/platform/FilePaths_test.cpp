#include "TestSupport.h"
#include "platform/FilePaths.h"

#include <gtest/gtest.h>

using namespace Platform;

TEST(FilePaths, TellsAbsoluteFromRelative) {
    struct Row { const char* Name; QString Path; bool Absolute; };
    const Row rows[] = {
        {"Linux root path", "/opt/catalog/Etk.blk", true},
        {"Windows drive", "C:\\Kataloge\\Etk.blk", true},
        {"Windows drive, lower case, forward slash", "d:/data", true},
        {"UNC path", "\\\\server\\share\\Etk.blk", true},
        {"UNC path with slashes", "//server/share", true},
        {"relative with backslashes", "custom\\Etk.blk", false},
        {"single backslash is relative to the drive, not absolute here", "\\custom", false},
        {"plain name", "Etk.blk", false},
        {"dot relative", "./lang", false},
        {"empty", "", false},
        {"digit and colon is no drive", "1:x", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(IsAbsolutePath(row.Path), row.Absolute);
    }
}

TEST(FilePaths, ConvertsSeparatorsOfRelativeConfigurationValuesOnly) {
    struct Row { const char* Name; QString Config; QString Linux; };
    // Each row goes both ways: read from the configuration and written back.
    const Row rows[] = {
        {"relative, two levels", "custom\\images\\logo.png", "custom/images/logo.png"},
        {"plain name", "Etk.blk", "Etk.blk"},
        {"parent folder", "..\\shared\\Etk.blk", "../shared/Etk.blk"},
        {"Linux absolute stays", "/srv/catalog/Etk.blk", "/srv/catalog/Etk.blk"},
        {"empty", "", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(FromConfigPath(row.Config), row.Linux);
        EXPECT_EQ(ToConfigPath(row.Linux), row.Config);
    }
    // Absolute Windows values mean nothing here and pass through untouched in both directions.
    for (const QString& value : {u"C:\\Kataloge\\Etk.blk"_qs, u"\\\\server\\share\\x"_qs}) {
        EXPECT_EQ(FromConfigPath(value), value);
        EXPECT_EQ(ToConfigPath(value), value);
    }
    // A backslash is a valid character in a Linux file name: an absolute Linux path keeps it.
    EXPECT_EQ(FromConfigPath("/data/odd\\name"), "/data/odd\\name");
}

TEST(FilePaths, SplitsPathsLikeDelphiOnSlash) {
    struct Row {
        const char* Name;
        QString FileName;
        QString Path, Name_, Ext, NewExt;  // NewExt: ChangeFileExt(FileName, ".log")
    };
    const Row rows[] = {
        {"full path", "/opt/cat/RQCatalog.exe", "/opt/cat/", "RQCatalog.exe", ".exe", "/opt/cat/RQCatalog.log"},
        {"no extension", "/opt/cat/RQCatalog", "/opt/cat/", "RQCatalog", "", "/opt/cat/RQCatalog.log"},
        {"two dots: the last counts", "a/b.tar.gz", "a/", "b.tar.gz", ".gz", "a/b.tar.log"},
        {"dot in a folder name only", "/opt/v1.2/readme", "/opt/v1.2/", "readme", "", "/opt/v1.2/readme.log"},
        {"hidden file is all extension", "/home/u/.profile", "/home/u/", ".profile", ".profile", "/home/u/.log"},
        {"trailing dot", "name.", "", "name.", ".", "name.log"},
        {"folder only", "/opt/cat/", "/opt/cat/", "", "", "/opt/cat/.log"},
        {"name only", "Etk.blk", "", "Etk.blk", ".blk", "Etk.log"},
        {"root", "/", "/", "", "", "/.log"},
        {"empty", "", "", "", "", ".log"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(ExtractFilePath(row.FileName), row.Path);
        EXPECT_EQ(ExtractFileName(row.FileName), row.Name_);
        EXPECT_EQ(ExtractFileExt(row.FileName), row.Ext);
        EXPECT_EQ(ChangeFileExt(row.FileName, ".log"), row.NewExt);
        EXPECT_EQ(ExtractFilePath(row.FileName) + ExtractFileName(row.FileName), row.FileName);
    }
    EXPECT_EQ(ChangeFileExt("a/b.tar.gz", ""), "a/b.tar");
}

TEST(FilePaths, AddsAndRemovesTheTrailingDelimiter) {
    struct Row { const char* Name; QString Path; QString Included, Excluded; };
    const Row rows[] = {
        {"without", "/opt/cat", "/opt/cat/", "/opt/cat"},
        {"with", "/opt/cat/", "/opt/cat/", "/opt/cat"},
        {"relative", "lang", "lang/", "lang"},
        // Delphi turns "\" into "", the current folder; the root must stay the root.
        {"root", "/", "/", "/"},
        {"empty", "", "/", ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        EXPECT_EQ(IncludeTrailingPathDelimiter(row.Path), row.Included);
        EXPECT_EQ(ExcludeTrailingPathDelimiter(row.Path), row.Excluded);
    }
}

#include "TestSupport.h"

#include <QFile>
#include <QProcess>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

struct TRun {
    int ExitCode = -1;
    QString Out;
    QString Err;
};

TRun RunTool(const QStringList& Arguments, const QString& Program = QStringLiteral(BL_TOOLS_DIR "/etkconfig")) {
    QProcess process;
    process.start(Program, Arguments);
    TRun run;
    if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit)
        return run;
    run.ExitCode = process.exitCode();
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

const QByteArray Fixture =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\">\r\n<VIEWER Valid=\"true\">"
    "\r\n<MaxHeapSize>i1024</MaxHeapSize>\r\n<LANGUAGES>lsDE|sEN</LANGUAGES>\r\n<Name>sGrüße</Name>"
    "\r\n<Sub>\r\n<Deep>bTrue</Deep>\r\n</Sub>\r\n</VIEWER>\r\n</BRENLOW>";

}  // namespace

TEST(etkconfig, ReadsWritesAndDeletesWithEitherStore) {
    for (const QStringList& store : {QStringList(), QStringList{"--dom"}}) {
        SCOPED_TRACE(store.isEmpty() ? "fast store" : "DOM store");
        TTempEnvironment env;
        const QString file = env.FilePath("Etk.blk");
        WriteBytes(file, Fixture);
        struct Row { const char* Name; QStringList Args; int ExitCode; QString Out; };
        const Row rows[] = {
            {"get raw", {"get", file, "VIEWER\\MaxHeapSize"}, 0, "i1024\n"},
            {"get missing", {"get", file, "VIEWER\\Nope"}, 1, ""},
            {"read int", {"read", file, "VIEWER\\MaxHeapSize", "int"}, 0, "1024\n"},
            {"read list", {"read", file, "VIEWER\\LANGUAGES", "list"}, 0, "DE\nEN\n"},
            {"read non-ASCII", {"read", file, "VIEWER\\Name", "string"}, 0, u"Grüße\n"_qs},
            {"read missing with default", {"read", file, "VIEWER\\Nope", "int", "7"}, 0, "7\n"},
            {"read missing", {"read", file, "VIEWER\\Nope", "string"}, 1, ""},
            {"read wrong type gives default", {"read", file, "VIEWER\\LANGUAGES", "bool", "false"}, 0, "false\n"},
            {"keys", {"keys", file, "VIEWER"}, 0, "MaxHeapSize\nLANGUAGES\nName\nSub\n"},
            {"all-keys", {"all-keys", file, "VIEWER"}, 0, "MaxHeapSize\nLANGUAGES\nName\nSub\nSub\\Deep\n"},
            {"attr read", {"attr", file, "VIEWER", "Valid"}, 0, "true\n"},
            {"attr missing", {"attr", file, "VIEWER", "Nope"}, 1, ""},
            {"write list", {"write", file, "USER\\L", "list", "a|b", "", "#"}, 0, ""},
            {"list back", {"get", file, "USER\\L"}, 0, "lsa#007Cb|s|s#0023\n"},
            {"write bool", {"write", file, "USER\\B", "bool", "true"}, 0, ""},
            {"bool back", {"read", file, "USER\\B", "bool"}, 0, "true\n"},
            {"attr write", {"attr", file, "USER", "Count", "3"}, 0, ""},
            {"attr back", {"attr", file, "USER", "Count"}, 0, "3\n"},
            {"delete", {"delete", file, "VIEWER\\Sub"}, 0, ""},
            {"deleted", {"get", file, "VIEWER\\Sub\\Deep"}, 1, ""},
            {"delete missing", {"delete", file, "VIEWER\\Sub"}, 1, ""},
        };
        for (const Row& row : rows) {
            SCOPED_TRACE(row.Name);
            const TRun run = RunTool(store + row.Args);
            EXPECT_EQ(run.ExitCode, row.ExitCode) << run.Err.toStdString();
            EXPECT_EQ(run.Out, row.Out);
        }
        EXPECT_TRUE(ReadBytes(file).startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    }
}

TEST(etkconfig, RefusesBadUsageAndBrokenFiles) {
    TTempEnvironment env;
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, Fixture);
    const QString broken = env.FilePath("broken.blk");
    WriteBytes(broken, "<?xml version=\"1.0\"?><BRENLOW><A></BRENLOW>");
    struct Row { const char* Name; QStringList Args; int ExitCode; QString ErrContains; };
    const Row rows[] = {
        {"no command", {}, 2, "usage"},
        {"unknown command", {"frob", file, "A"}, 2, "unknown command"},
        {"unknown type", {"read", file, "A", "float"}, 2, "unknown type"},
        {"int that is none", {"write", file, "A", "int", "zwölf"}, 2, "no integer"},
        {"two values for a string", {"write", file, "A", "string", "a", "b"}, 2, "one VALUE"},
        {"missing file", {"get", env.FilePath("none.blk"), "A"}, 3, "Datei nicht gefunden"},
        {"malformed file", {"get", broken, "A"}, 3, "Fehler in Datei: broken.blk"},
        {"malformed file, DOM", {"--dom", "get", broken, "A"}, 3, "Fehler in Datei: broken.blk"},
        {"bad key segment", {"write", file, "A\\b c", "string", "x"}, 3, "Key darf keine Leerzeichen enthalten"},
        {"leading backslash", {"get", file, "\\A"}, 3, "Der Key darf nicht mit Backslash anfangen"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const TRun run = RunTool(row.Args);
        EXPECT_EQ(run.ExitCode, row.ExitCode);
        EXPECT_NE(run.Err.indexOf(row.ErrContains), -1) << run.Err.toStdString();
    }
    EXPECT_EQ(ReadBytes(file), Fixture);
}

TEST(etkconfig, RefusesToWriteAReadOnlyFile) {
    TTempEnvironment env;
    // The file must be read-only for the process that runs the tool: as root, run it as nobody.
    QFile::setPermissions(env.Root(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                          QFile::ExeOther | QFile::WriteOther);
    const QString file = env.FilePath("Etk.blk");
    WriteBytes(file, Fixture);
    QFile::setPermissions(file, QFile::ReadOwner | QFile::ReadOther);
    QStringList args{"write", file, "VIEWER\\X", "string", "y"};
    QString program = QStringLiteral(BL_TOOLS_DIR "/etkconfig");
    if (::geteuid() == 0) {
        args = QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", program} + args;
        program = "setpriv";
    }
    const TRun run = RunTool(args, program);
    EXPECT_EQ(run.ExitCode, 3);
    EXPECT_NE(run.Err.indexOf("schreibgeschützt"), -1) << run.Err.toStdString();
    EXPECT_EQ(ReadBytes(file), Fixture);
}

TEST(etkconfig, ProjectModeRoutesUserKeysToTheUserFileAndReadsThroughAVariant) {
    TTempEnvironment env;
    const QString file = env.FilePath("cat/Etk.blk");
    const QByteArray project =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"1.1\">\r\n<VIEWER>"
        "\r\n<MaxHeapSize>i512</MaxHeapSize>\r\n<LANGUAGES>lsFR|sEN</LANGUAGES>\r\n</VIEWER>\r\n<USER>"
        "\r\n<ViewerSprache>sDE</ViewerSprache>\r\n</USER>\r\n<DATABASE>\r\n<LANGUAGES>lsDE|sEN</LANGUAGES>"
        "\r\n</DATABASE>\r\n<Variants>\r\n<Werkstatt>\r\n<VIEWER>\r\n<MaxHeapSize Valid=\"true\">i1024</MaxHeapSize>"
        "\r\n</VIEWER>\r\n</Werkstatt>\r\n</Variants>\r\n</BRENLOW>";
    WriteBytes(file, project);
    const QString userFile = env.FilePath("data/Brenlow/QtrUser.cfg");

    struct Row { const char* Name; QStringList Args; int ExitCode; QString Out; QString ErrContains; };
    const Row rows[] = {
        {"user key written to the user file", {"--project", file, "write", "USER\\ViewerSprache", "string", "EN"}, 0, "", ""},
        {"user key read back", {"--project", file, "read", "USER\\ViewerSprache", "string"}, 0, "EN\n", ""},
        {"the user file holds it", {"get", userFile, "USER\\ViewerSprache"}, 0, "sEN\n", ""},
        {"the project file does not", {"get", file, "USER\\ViewerSprache"}, 0, "sDE\n", ""},
        {"main tree", {"--project", file, "read", "VIEWER\\MaxHeapSize", "int"}, 0, "512\n", ""},
        {"variant", {"--project", file, "--variant", "Werkstatt", "read", "VIEWER\\MaxHeapSize", "int"}, 0, "1024\n", ""},
        {"variant falls back", {"--project", file, "--variant", "Werkstatt", "read", "VIEWER\\LANGUAGES", "list"}, 0, "FR\nEN\n", ""},
        {"unknown variant", {"--project", file, "--variant", "Nope", "get", "VIEWER\\MaxHeapSize"}, 2, "", "unknown variant Nope (variants: Werkstatt)"},
        {"languages", {"--project", file, "languages"}, 0,
         "viewer: EN\ndatabase: DE\ndocumentation: DE\nviewer languages: FR EN\ndatabase languages: DE EN\n"
         "documentation languages: DE\n", ""},
        {"missing project", {"--project", env.FilePath("none.blk"), "languages"}, 3, "", "Datei nicht gefunden"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const TRun run = RunTool(row.Args);
        EXPECT_EQ(run.ExitCode, row.ExitCode) << run.Err.toStdString();
        EXPECT_EQ(run.Out, row.Out);
        EXPECT_NE(run.Err.indexOf(row.ErrContains), -1) << run.Err.toStdString();
    }
    // Writing through a variant marks the variant's copy and leaves the main tree alone.
    EXPECT_EQ(RunTool({"--project", file, "--variant", "Werkstatt", "write", "VIEWER\\MaxHeapSize", "int", "2048"}).ExitCode, 0);
    EXPECT_EQ(RunTool({"get", file, "Variants\\Werkstatt\\VIEWER\\MaxHeapSize"}).Out, QStringLiteral("i2048\n"));
    EXPECT_EQ(RunTool({"get", file, "VIEWER\\MaxHeapSize"}).Out, QStringLiteral("i512\n"));
}

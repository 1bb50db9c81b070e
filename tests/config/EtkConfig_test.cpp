#include "AsyncTestSupport.h"
#include "ConfigTestSupport.h"
#include "TestSupport.h"
#include "config/EtkConfigExe.h"
#include "config/EtkConfigFastDomXml.h"

#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>
#include <memory>

namespace {

QByteArray ProjectFile(const QByteArray& Body, const QByteArray& Version = "1.1") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BRENLOW Version=\"" + Version + "\">" + Body +
           "\r\n</BRENLOW>";
}

// A catalogue folder with its project file in a temporary environment, opened the way the program
// opens it: main file first, then the per-user file.
class TEtkConfigTest : public ::testing::Test {
protected:
    void Open(const QByteArray& Body, const QByteArray& Version = "1.1") {
        WriteBytes(FBlk, ProjectFile(Body, Version));
        FConfig = std::make_unique<TEtkConfigExe>();
        ASSERT_TRUE(FConfig->SetMainConfigFile(FBlk, true));
        ASSERT_TRUE(FConfig->InitUserConfigFile(true));
    }
    // What a file holds, read by a store of its own.
    QString StoredRaw(const QString& File, const QString& Key) {
        TEtkConfigXMLFast store;
        store.SetFileName(File);
        return store.ReadRawText(Key);
    }
    QString StoredAttribute(const QString& File, const QString& Key, const QString& Name) {
        TEtkConfigXMLFast store;
        store.SetFileName(File);
        return store.ReadAttribute(Key, Name);
    }

    TTempEnvironment FEnvironment;
    QString FBlk = FEnvironment.FilePath("cat/Etk.blk");
    std::unique_ptr<TEtkConfigExe> FConfig;
};

}  // namespace

TEST_F(TEtkConfigTest, UserKeysLiveInTheUserFileAndTheRestInTheProjectFile) {
    Open("\r\n<USER>\r\n<ViewerSprache>sFR</ViewerSprache>\r\n<UserSettings>sx</UserSettings>\r\n</USER>"
         "\r\n<VIEWER>\r\n<MaxHeapSize>i1024</MaxHeapSize>\r\n</VIEWER>");
    const QString userFile = FEnvironment.FilePath("data/Brenlow/QtrUser.cfg");
    EXPECT_EQ(FConfig->GetUserConfigFile(), userFile);
    EXPECT_TRUE(FConfig->IsNewUserCfg());
    EXPECT_EQ(FConfig->ReadInteger(QStringLiteral("VIEWER\\MaxHeapSize"), 0), 1024);
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("USER\\ViewerSprache"), QString()), QStringLiteral("FR"));

    FConfig->WriteString(QStringLiteral("USER\\ViewerSprache"), QStringLiteral("EN"));
    FConfig->WriteInteger(QStringLiteral("VIEWER\\MaxHeapSize"), 2048);
    EXPECT_EQ(StoredRaw(userFile, QStringLiteral("USER\\ViewerSprache")), QStringLiteral("sEN"));
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("USER\\ViewerSprache")), QStringLiteral("sFR"));
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("VIEWER\\MaxHeapSize")), QStringLiteral("i2048"));

    // A second start keeps what the user set.
    TEtkConfigExe second;
    ASSERT_TRUE(second.SetMainConfigFile(FBlk, true));
    ASSERT_TRUE(second.InitUserConfigFile(true));
    EXPECT_FALSE(second.IsNewUserCfg());
    EXPECT_EQ(second.ReadString(QStringLiteral("USER\\ViewerSprache"), QString()), QStringLiteral("EN"));
}

TEST_F(TEtkConfigTest, ReadVariantFallsBackToTheMainTreeUntilTheVariantTakesAKeyOver) {
    Open("\r\n<VIEWER>\r\n<Icon>smain.ico</Icon>\r\n<Other>smain</Other>\r\n</VIEWER>"
         "\r\n<Variants>\r\n<A>\r\n<VIEWER>\r\n<Icon>sa.ico</Icon>\r\n</VIEWER>\r\n</A>\r\n</Variants>");
    FConfig->SetMultiConfigNameRead(QStringLiteral("A"));
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("VIEWER\\Icon"), QString()), QStringLiteral("main.ico"));

    FConfig->WriteAttribute(QStringLiteral("Variants\\A"), QStringLiteral("Valid"), QStringLiteral("true"));
    EXPECT_TRUE(FConfig->IsValidMultiConfigPath(QStringLiteral("VIEWER\\Other"), QStringLiteral("A")));
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("VIEWER\\Icon"), QString()), QStringLiteral("a.ico"));
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("VIEWER\\Other"), QStringLiteral("dflt")), QStringLiteral("dflt"));
    // User keys never come from a variant.
    FConfig->WriteString(QStringLiteral("USER\\ViewerSprache"), QStringLiteral("EN"));
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("USER\\ViewerSprache"), QString()), QStringLiteral("EN"));
    EXPECT_THROW(FConfig->IsValidMultiConfigPath(QStringLiteral("USER"), QStringLiteral("A")), EEtkConfigAssertion);
}

TEST_F(TEtkConfigTest, WriteVariantMarksWhatItWritesAndLeavesUserSettingsAlone) {
    Open("\r\n<VIEWER>\r\n<X>smain</X>\r\n</VIEWER>\r\n<Variants>\r\n<B/>\r\n</Variants>");
    FConfig->SetMultiConfigNameWrite(QStringLiteral("B"));
    FConfig->WriteString(QStringLiteral("VIEWER\\X"), QStringLiteral("b"));
    FConfig->WriteString(QStringLiteral("USER\\ViewerSprache"), QStringLiteral("FR"));
    FConfig->WriteString(QStringLiteral("USER\\DokuSprache"), QStringLiteral("EN"));

    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("VIEWER\\X")), QStringLiteral("smain"));
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("Variants\\B\\VIEWER\\X")), QStringLiteral("sb"));
    EXPECT_EQ(StoredAttribute(FBlk, QStringLiteral("Variants\\B\\VIEWER\\X"), QStringLiteral("Valid")), QStringLiteral("true"));
    EXPECT_EQ(StoredRaw(FConfig->GetUserConfigFile(), QStringLiteral("USER\\ViewerSprache")), QStringLiteral("sFR"));
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("Variants\\B\\USER\\DokuSprache")), QStringLiteral("sEN"));

    // Reading through the same variant sees the variant's values; without it the main tree.
    FConfig->SetMultiConfigNameRead(QStringLiteral("B"));
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("VIEWER\\X"), QString()), QStringLiteral("b"));
    FConfig->SetMultiConfigNameRead(QString());
    EXPECT_EQ(FConfig->ReadString(QStringLiteral("VIEWER\\X"), QString()), QStringLiteral("main"));
}

TEST_F(TEtkConfigTest, VariantsAreAddedInheritedCollectedAndDeleted) {
    Open("\r\n<VIEWER>\r\n<L>lsa|sb</L>\r\n</VIEWER>\r\n<Variants>\r\n<A Valid=\"true\">sva\r\n<VIEWER>\r\n"
         "<L Note=\"n\">lsb|sc</L>\r\n</VIEWER>\r\n</A>\r\n</Variants>");
    FConfig->AddMultiConfig(QStringLiteral("C"), QString());
    FConfig->AddMultiConfig(QStringLiteral("B"), QStringLiteral("A"));
    EXPECT_EQ(FConfig->ReadMultiConfigKeys(), (QStringList{"A", "B", "C"}));
    // The copy takes the inherited variant's value and children, not its own attributes.
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("Variants\\B")), QStringLiteral("sva"));
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("Variants\\B\\VIEWER\\L")), QStringLiteral("lsb|sc"));
    EXPECT_EQ(StoredAttribute(FBlk, QStringLiteral("Variants\\B\\VIEWER\\L"), QStringLiteral("Note")), QStringLiteral("n"));
    EXPECT_EQ(StoredAttribute(FBlk, QStringLiteral("Variants\\B"), QStringLiteral("Valid")), QString());

    EXPECT_EQ(FConfig->GetStringsMultiConfig(QStringLiteral("VIEWER\\L")), (QStringList{"a", "b", "c"}));
    EXPECT_TRUE(FConfig->MultiConfigNameRead().isEmpty());

    FConfig->DeleteKeyInVariants(QStringLiteral("VIEWER\\L"));
    EXPECT_FALSE(FConfig->KeyExists(QStringLiteral("Variants\\A\\VIEWER\\L")));
    EXPECT_FALSE(FConfig->KeyExists(QStringLiteral("Variants\\B\\VIEWER\\L")));
    EXPECT_TRUE(FConfig->KeyExists(QStringLiteral("VIEWER\\L")));
    FConfig->DeleteMultiConfig(QStringLiteral("C"));
    EXPECT_EQ(FConfig->ReadMultiConfigKeys(), (QStringList{"A", "B"}));
}

TEST_F(TEtkConfigTest, EmptyMarkedBranchesOfAVariantArePruned) {
    Open("\r\n<Variants>\r\n<A Valid=\"true\">\r\n<E Valid=\"true\">\r\n<F Valid=\"true\"/>\r\n</E>"
         "\r\n<G Valid=\"true\">\r\n<H>s1</H>\r\n</G>\r\n<U/>\r\n</A>\r\n</Variants>");
    FConfig->SetMultiConfigNameWrite(QStringLiteral("A"));
    FConfig->DeleteEmptySubKeys(QStringLiteral("Variants\\A"));
    EXPECT_EQ(FConfig->ReadKeys(QStringLiteral("Variants\\A")), (QStringList{"G", "U"}));
    EXPECT_EQ(FConfig->MultiConfigNameWrite(), QStringLiteral("A"));
}

TEST_F(TEtkConfigTest, SubtreesCompareByValueAttributesAndChildrenInAnyOrder) {
    Open("\r\n<P>\r\n<X a=\"1\" b=\"2\">s1\r\n<Y>i2</Y>\r\n<Z>i3</Z>\r\n</X>\r\n<Same b=\"2\" a=\"1\">s1\r\n<Z>i3</Z>"
         "\r\n<Y>i2</Y>\r\n</Same>\r\n<Typed a=\"1\" b=\"2\">i1\r\n<Y>i2</Y>\r\n<Z>i3</Z>\r\n</Typed>"
         "\r\n<Deep a=\"1\" b=\"2\">s1\r\n<Y>i2</Y>\r\n<Z>i4</Z>\r\n</Deep>\r\n</P>");
    struct Row { const char* Other; bool Equal; };
    for (const Row& row : {Row{"Same", true}, Row{"Typed", false}, Row{"Deep", false}}) {
        SCOPED_TRACE(row.Other);
        EXPECT_EQ(FConfig->ConfigsAreEqual(QStringLiteral("P\\X"), QStringLiteral("P\\") + row.Other), row.Equal);
    }
}

TEST_F(TEtkConfigTest, FailedMainFileKeepsTheLockObjectButDropsTheCaches) {
    Open("\r\n<DATABASE>\r\n<Version>s7.9</Version>\r\n</DATABASE>");
    EXPECT_DOUBLE_EQ(FConfig->GetDataBaseVersion(), 7.9);
    const QString cacheNumber = FConfig->GetCacheMagicNumber();
    EXPECT_EQ(cacheNumber.size(), 32);

    EXPECT_THROW(FConfig->SetMainConfigFile(FEnvironment.FilePath("what?.blk"), true), Exception);
    EXPECT_NE(FConfig->GetCacheMagicNumber(), cacheNumber);
    EXPECT_FALSE(FConfig->SetMainConfigFile(QString(), true));
    EXPECT_FALSE(FConfig->IsValid());
    EXPECT_THROW(FConfig->GetDataBaseVersion(), Exception);  // re-read, and there is no file now
    ASSERT_TRUE(FConfig->Lock());
    EXPECT_TRUE(QFile::exists(FBlk + QStringLiteral(".lock")));
    EXPECT_TRUE(FConfig->Unlock());
}

TEST_F(TEtkConfigTest, WithoutAMainFileKeysRaiseAndTheLockAnswersFalse) {
    TEtkConfigExe config;
    EXPECT_FALSE(config.IsValid());
    EXPECT_FALSE(config.Lock());
    EXPECT_FALSE(config.IsLocked());
    try {
        config.ReadString(QStringLiteral("VIEWER\\Icon"), QString());
        FAIL() << "no error";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), QStringLiteral("Programmfehler: Dem Konfigurationsobjekt wurde noch keine Konfigurationsdatei zugewiesen"));
    }
}

TEST_F(TEtkConfigTest, UnreadableUserFileIsReportedAndLeftAsItWas) {
    const QString userFile = FEnvironment.FilePath("data/Brenlow/QtrUser.cfg");
    const QByteArray broken = "<?xml version=\"1.0\"?>\r\n<BRENLOW>\r\n<USER>\r\n<ViewerSprache>sFR</Viewer";
    WriteBytes(userFile, broken);
    WriteBytes(FBlk, ProjectFile("\r\n<USER>\r\n<ViewerSprache>sDE</ViewerSprache>\r\n</USER>"));
    TRecordingPresenter presenter;
    TEtkConfigExe config;
    ASSERT_TRUE(config.SetMainConfigFile(FBlk, true));
    EXPECT_FALSE(config.InitUserConfigFile(true));
    EXPECT_TRUE(config.GetUserConfigFile().isEmpty());
    EXPECT_EQ(ReadBytes(userFile), broken);
}

TEST_F(TEtkConfigTest, FormatVersionIsConvertedOnRequestAndNewerFilesAreRefused) {
    struct Row { const char* Name; QByteArray Version; bool Convert; int Answer; bool Usable; QString Stored; int Messages; };
    const Row rows[] = {
        {"current", "1.1", true, TPresenterAnswer::Yes, true, "1.1", 0},
        {"older, converted", "1.0", true, TPresenterAnswer::Yes, true, "1.1", 1},
        {"older, declined", "1.0", true, TPresenterAnswer::No, true, "1.0", 1},
        {"older, no conversion asked", "1.0", false, TPresenterAnswer::Yes, true, "1.0", 0},
        {"newer", "1.2", true, TPresenterAnswer::Yes, false, "1.2", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        Open("\r\n<VIEWER/>", row.Version);
        TRecordingPresenter presenter;
        presenter.ScriptAnswer(row.Answer);
        EXPECT_EQ(FConfig->VersionsCheck(row.Convert), row.Usable);
        EXPECT_EQ(StoredAttribute(FBlk, QString(), QStringLiteral("Version")), row.Stored);
        ASSERT_EQ(presenter.Messages().size(), static_cast<size_t>(row.Messages));
        if (row.Messages && row.Usable) {
            EXPECT_EQ(presenter.Messages()[0].Text,
                      QStringLiteral("Die Projekt-Konfigurationsdatei hat die Version 1.0 soll sie in die Version 1.1 "
                                     "gewandelt werden?"));
        }
    }
}

TEST_F(TEtkConfigTest, FolderAndValueHelpers) {
    Open("\r\n<VIEWER>\r\n<Kennung>sA/B:C*D?\"E|F</Kennung>\r\n<AuxCdIdentifier>lsX1|sX2</AuxCdIdentifier>\r\n"
         "</VIEWER>\r\n<DATABASE>\r\n<Doku>\r\n<PDFPath>sdocs\\pdf\\</PDFPath>\r\n</Doku>\r\n<H2Database>\r\n"
         "<Verzeichnis>\r\n<Local>sdata\\local</Local>\r\n</Verzeichnis>\r\n</H2Database>\r\n</DATABASE>");
    const QString folder = QFileInfo(FBlk).absolutePath();
    EXPECT_EQ(FConfig->GetCdKennung(false), QStringLiteral("A_B_C_D__E_F"));
    EXPECT_EQ(FConfig->GetCdKennung(true), QStringLiteral("A_B_C_D__E_F\r\nX1\r\nX2"));
    EXPECT_EQ(FConfig->GetUserCDPath(), FEnvironment.FilePath("data/Brenlow/A_B_C_D__E_F"));
    EXPECT_EQ(FConfig->GetDokuPath(), QStringLiteral("docs\\pdf"));
    EXPECT_EQ(FConfig->MakeAbsoluteFileName(QStringLiteral("x\\y.pdf")), folder + QStringLiteral("/x/y.pdf"));
    EXPECT_EQ(FConfig->MakeAbsoluteFileName(QStringLiteral("/abs/y.pdf")), QStringLiteral("/abs/y.pdf"));

    // The local data folder is cached until the project file is set again.
    EXPECT_EQ(FConfig->GetVerzeichnisLocal(QString()), folder + QStringLiteral("/data/local"));
    FConfig->SetVerzeichnisLocal(QStringLiteral("/elsewhere"));
    EXPECT_EQ(FConfig->GetVerzeichnisLocal(QString()), QStringLiteral("/elsewhere"));
    EXPECT_EQ(StoredRaw(FBlk, QStringLiteral("DATABASE\\H2Database\\Verzeichnis\\Local")), QStringLiteral("sdata\\local"));

    FConfig->WriteBoolDef(QStringLiteral("VIEWER\\Flag"), true, false);
    EXPECT_TRUE(FConfig->KeyExists(QStringLiteral("VIEWER\\Flag")));
    FConfig->WriteBoolDef(QStringLiteral("VIEWER\\Flag"), false, false);
    EXPECT_FALSE(FConfig->KeyExists(QStringLiteral("VIEWER\\Flag")));

    FConfig->WriteAttributeDateTime(QStringLiteral("VIEWER"), QStringLiteral("Stamp"), QDate(2026, 3, 7));
    EXPECT_EQ(FConfig->ReadAttribute(QStringLiteral("VIEWER"), QStringLiteral("Stamp")), QStringLiteral("20260307"));
    EXPECT_EQ(FConfig->ReadAttributeDateTime(QStringLiteral("VIEWER"), QStringLiteral("Stamp")), QDate(2026, 3, 7));
    EXPECT_EQ(FConfig->ReadAttributeDateTime(QStringLiteral("VIEWER"), QStringLiteral("Missing")), QDate::currentDate());
}

TEST_F(TEtkConfigTest, LockOfAnotherProcessIsReportedAndReleasedThroughThePresenter) {
    EnsureCoreApplication();
    FEnvironment.Set("USERDOMAIN", QStringLiteral("FacadeDomain"));
    Open("\r\n<VIEWER/>");
    TRecordingPresenter presenter;
    FConfig->SetNeedLockChangedNotifications(true);

    THelperProcess owner(QStringLiteral("lockowner"), {FBlk});
    ASSERT_TRUE(owner.WaitForLine(QStringLiteral("locked")));
    ASSERT_TRUE(WaitFor([&] { return presenter.Messages().size() >= 1; }, std::chrono::seconds(5)));
    EXPECT_TRUE(FConfig->IsLocked());
    EXPECT_EQ(FConfig->LockInfo().ProcessId, static_cast<quint32>(owner.Process().processId()));
    EXPECT_FALSE(FConfig->Lock());
    EXPECT_TRUE(FConfig->isConfigReadonly(false, true));
    EXPECT_FALSE(FConfig->isConfigReadonly(false, false));

    owner.Kill();
    ASSERT_TRUE(WaitFor([&] { return presenter.Messages().size() >= 2; }, std::chrono::seconds(5)));
    const std::vector<TPresenterMessage> messages = presenter.Messages();
    EXPECT_EQ(messages[0].Kind, TPresenterKind::pkWarning);
    EXPECT_TRUE(messages[0].Text.startsWith(QStringLiteral("Die Projekt-Konfiguration ist durch FacadeDomain\\")))
        << messages[0].Text.toStdString();
    EXPECT_EQ(messages[1].Kind, TPresenterKind::pkInformation);
    EXPECT_TRUE(messages[1].Text.startsWith(QStringLiteral("Die Projekt-Konfiguration wurde soeben freigegeben.\r\n")));
    EXPECT_TRUE(FConfig->Lock());
    FConfig->SetNeedLockChangedNotifications(false);
}

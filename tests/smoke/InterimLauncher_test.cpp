// The launcher of the demo catalogue end to end: RQCatalog starts the catalogue's Java server, shows
// it, and ends with the server's exit code; the server never outlives the launcher.
#include <gtest/gtest.h>

#include "DemoServer.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;

// The Java server RQCatalog started: its pid and the address it serves.
struct TLaunchedServer {
    qint64 Pid = 0;
    QStringList Arguments;
    QString BaseUrl;
};

QString ArgumentValue(const QStringList& Args, const QString& Prefix) {
    for (const QString& a : Args)
        if (a.startsWith(Prefix))
            return a.mid(Prefix.size());
    return {};
}

bool FindServer(qint64 LauncherPid, TLaunchedServer& Server) {
    for (const qint64 child : Platform::ChildProcessIds(LauncherPid)) {
        const QStringList args = Platform::ProcessArguments(child);
        if (!args.contains(QStringLiteral("com.brenlow.apps.etk.viewer.FrameworkMain")))
            continue;
        Server.Pid = child;
        Server.Arguments = args;
        Server.BaseUrl = QStringLiteral("http://localhost:%1/%2")
                             .arg(ArgumentValue(args, QStringLiteral("embeddedWebAppPort=")),
                                  ArgumentValue(args, QStringLiteral("embeddedWebAppContext=")));
        return true;
    }
    return false;
}

// Removes an environment variable for the lifetime of the object.
class TUnsetVariable {
public:
    explicit TUnsetVariable(const char* Name) : FName(Name), FWasSet(qEnvironmentVariableIsSet(Name)), FValue(qgetenv(Name)) {
        qunsetenv(Name);
    }
    ~TUnsetVariable() {
        if (FWasSet)
            qputenv(FName, FValue);
    }

private:
    const char* FName;
    bool FWasSet;
    QByteArray FValue;
};

class TInterimLauncher : public ::testing::Test {
protected:
    void StartLauncher(const QStringList& Args) {
        Platform::TChildProcessOptions options;
        options.Hidden = false;  // its diagnostics belong in the test log
        const Platform::TProcessResult started =
            FLauncher.Start(DemoCatalogDir() + QStringLiteral("/RQCatalog"), Args, FEnv.Root(), options);
        ASSERT_TRUE(started) << started.ErrorText.toStdString();
        ASSERT_TRUE(WaitFor([&] { return FindServer(FLauncher.Pid(), FServer) || !FLauncher.Running(); }, 20s));
        ASSERT_GT(FServer.Pid, 0) << "RQCatalog ended with " << FLauncher.ExitCode() << " before starting Java";
        ASSERT_TRUE(WaitFor([&] { return HttpGet(FServer.BaseUrl + QStringLiteral("/app"), true).Status == 200; }, 30s));
    }
    // A port of our own: launchers of tests that run side by side would otherwise all choose the
    // first free one, and all but one Java server would find it taken.
    static QString GivenPort() { return QStringLiteral("embeddedWebAppPort=%1").arg(FreeLocalPort()); }
    void TearDown() override { FLauncher.Terminate(1); }

    TTempEnvironment FEnv;  // the browser engine of the launcher writes below HOME and XDG_*
    Platform::TChildProcess FLauncher;
    TLaunchedServer FServer;
};

TEST_F(TInterimLauncher, StartsTheCatalogueServerFromItsOwnFolder) {
    ASSERT_NO_FATAL_FAILURE(StartLauncher({QStringLiteral("k_vari=4711")}));
    const QStringList& args = FServer.Arguments;
    const int mainClass = args.indexOf(QStringLiteral("com.brenlow.apps.etk.viewer.FrameworkMain"));
    const int argsMark = args.indexOf(QStringLiteral("-args"));
    ASSERT_GE(mainClass, 0);
    EXPECT_GT(argsMark, mainClass);
    EXPECT_EQ(ArgumentValue(args, QStringLiteral("openconfig=")), DemoCatalogDir() + QStringLiteral("/Etk.blk"));
    EXPECT_EQ(ArgumentValue(args, QStringLiteral("embeddedWebAppBrowserMode=")), QStringLiteral("none"));
    EXPECT_GT(args.indexOf(QStringLiteral("k_vari=4711")), argsMark) << "own arguments are passed through";
    const int port = ArgumentValue(args, QStringLiteral("embeddedWebAppPort=")).toInt();
    EXPECT_GE(port, 1030);
    EXPECT_LE(port, 5000);
}

TEST_F(TInterimLauncher, ShowsTheStartPageAndEndsWithTheExitCodeOfTheServer) {
    // Without the environment switch the launcher itself must keep the engine from refusing to run
    // as root (it would end the process without showing anything).
    TUnsetVariable noSandboxSwitch("QTWEBENGINE_DISABLE_SANDBOX");
    const QString port = GivenPort();
    ASSERT_NO_FATAL_FAILURE(StartLauncher({port}));
    EXPECT_EQ(FServer.Arguments.filter(QStringLiteral("embeddedWebAppPort=")), QStringList{port})
        << "a port given to the launcher is the one and only port of the server";
    // Only a browser that renders the start page asks for its style sheet.
    const QString styleSheetRow = QStringLiteral("<tr><th>/catalogue.css</th><td>");
    EXPECT_TRUE(WaitFor([&] { return HttpGet(FServer.BaseUrl + QStringLiteral("/params")).Body.contains(styleSheetRow.toUtf8()); }, 30s))
        << "the launcher window did not show the start page";
    ASSERT_EQ(HttpGet(FServer.BaseUrl + QStringLiteral("/exit?code=7")).Status, 200);
    ASSERT_TRUE(FLauncher.WaitForExit(20s));
    EXPECT_EQ(FLauncher.ExitCode(), 7);
}

TEST_F(TInterimLauncher, EndsAtOnceWithTheCodeOfAServerThatFailsBeforeItIsReady) {
    // A server that cannot start must not leave the launcher probing for a minute and then end
    // as if all went well: its exit code (3, port taken) becomes the launcher's at once.
    QTcpServer blocker;
    ASSERT_TRUE(blocker.listen(QHostAddress::LocalHost, 0));
    Platform::TChildProcessOptions options;
    options.Hidden = false;
    ASSERT_TRUE(FLauncher.Start(DemoCatalogDir() + QStringLiteral("/RQCatalog"),
                                {QStringLiteral("embeddedWebAppPort=%1").arg(blocker.serverPort())}, FEnv.Root(), options));
    ASSERT_TRUE(FLauncher.WaitForExit(20s));
    EXPECT_EQ(FLauncher.ExitCode(), 3);
}

TEST_F(TInterimLauncher, ServerEndsWhenTheLauncherIsKilled) {
    ASSERT_NO_FATAL_FAILURE(StartLauncher({GivenPort()}));
    // The server has its own process group, so this kills the launcher alone.
    ASSERT_TRUE(FLauncher.Terminate(9));
    EXPECT_TRUE(WaitFor([&] { return !Platform::IsProcessAlive(FServer.Pid); }, 5s))
        << "Java " << FServer.Pid << " outlived the launcher";
}

}  // namespace

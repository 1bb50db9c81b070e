// The demo catalogue's Java application as the launcher sees it: the start URL, the pages in a real
// browser, the exit request and its end when the process that started it is gone.
#include <QDir>
#include <QFile>
#include <QUuid>
#include <QWebEngineView>
#include <gtest/gtest.h>

#include "DemoServer.h"
#include "TestSupport.h"

namespace {

using namespace std::chrono_literals;

const QString StartTitle = QStringLiteral("Demo Parts Catalogue");

QString TitleOf(const QByteArray& Html) {
    const int open = Html.indexOf("<title>");
    const int close = Html.indexOf("</title>");
    if (open < 0 || close < open)
        return {};
    return QString::fromUtf8(Html.mid(open + 7, close - open - 7));
}

// One Java process serves every test of the suite: it starts in about a second.
class TDemoWebApplication : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        FServer = new TDemoServer({QStringLiteral("k_vari=4711"), QStringLiteral("customstart=a b")});
        const Platform::TProcessResult started = FServer->Start();
        ASSERT_TRUE(started) << started.ErrorText.toStdString();
        ASSERT_TRUE(FServer->WaitReady()) << "the demo server did not answer 200";
    }
    static void TearDownTestSuite() {
        delete FServer;
        FServer = nullptr;
    }
    void SetUp() override { ASSERT_NE(FServer, nullptr); }

    static TDemoServer* FServer;
};

TDemoServer* TDemoWebApplication::FServer = nullptr;

TEST_F(TDemoWebApplication, AppRedirectsToTheStartPageKeepingTheQuery) {
    const QString query = QStringLiteral("locale=fr&partLang=de&k_vari=4711&forcerestart=true");
    const THttpAnswer app = HttpGet(FServer->AppUrl() + QLatin1Char('?') + query);
    EXPECT_EQ(app.Status, 302);
    const QString location = QString::fromUtf8(app.Location);
    EXPECT_EQ(location, QStringLiteral("/%1/start?%2").arg(FServer->Context(), query));

    const THttpAnswer start = HttpGet(QStringLiteral("http://localhost:%1%2")
                                          .arg(QUrl(FServer->BaseUrl()).port())
                                          .arg(location));
    EXPECT_EQ(start.Status, 200);
    EXPECT_EQ(TitleOf(start.Body), StartTitle);
    // The project file names the catalogue in French too; the locale of the query chooses it.
    EXPECT_TRUE(start.Body.contains("Catalogue de pièces de démonstration"));
}

TEST_F(TDemoWebApplication, PagesAnswerWithStatusAndTitle) {
    struct Row {
        const char* Name;
        QString Path;
        int Status;
        QString Title;  // empty: not an HTML page
    };
    const Row rows[] = {
        {"start page", "/start", 200, StartTitle},
        {"nested assembly", "/assembly?id=DP200-I", 200, "Impeller set - Demo Parts Catalogue"},
        {"part used twice", "/part?no=DIN933-M10x30", 200, "DIN933-M10x30 - Demo Parts Catalogue"},
        {"links", "/links", 200, "Links - Demo Parts Catalogue"},
        {"drawing", "/drawing.svg?id=DP200", 200, ""},
        {"unknown assembly", "/assembly?id=XX", 404, "Not Found - Demo Parts Catalogue"},
        {"unknown page", "/nothing", 404, "Not Found - Demo Parts Catalogue"},
        {"exit without a number", "/exit?code=abc", 400, ""},
        {"exit code out of range", "/exit?code=256", 400, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        const THttpAnswer answer = HttpGet(FServer->BaseUrl() + row.Path);
        EXPECT_EQ(answer.Status, row.Status);
        if (!row.Title.isEmpty()) {
            EXPECT_EQ(TitleOf(answer.Body), row.Title);
        }
    }
    EXPECT_TRUE(FServer->Process().Running()) << "a refused exit request must not end the server";
}

TEST_F(TDemoWebApplication, AssemblyPageListsPartsWithDrawingAndLinks) {
    const THttpAnswer page = HttpGet(FServer->BaseUrl() + QStringLiteral("/assembly?id=DP200-H"));
    ASSERT_EQ(page.Status, 200);
    const QByteArray ctx = FServer->Context().toUtf8();
    EXPECT_TRUE(page.Body.contains("src=\"/" + ctx + "/drawing.svg?id=DP200-H\""));
    EXPECT_TRUE(page.Body.contains("href=\"/" + ctx + "/part?no=MS-25-K\">MS-25-K</a>"));
    EXPECT_TRUE(page.Body.contains("96.50"));  // price of the mechanical seal
    // A row that is itself an assembly links to it; the parent is in the path.
    EXPECT_TRUE(page.Body.contains("href=\"/" + ctx + "/assembly?id=DP200-I\""));
    EXPECT_TRUE(page.Body.contains("href=\"/" + ctx + "/assembly?id=DP200\""));

    const THttpAnswer drawing = HttpGet(FServer->BaseUrl() + QStringLiteral("/drawing.svg?id=DP200-H"));
    ASSERT_EQ(drawing.Status, 200);
    EXPECT_TRUE(drawing.Body.startsWith("<svg"));
    EXPECT_EQ(drawing.Body.count("<circle"), 5) << "one callout per parts-list row";
}

TEST_F(TDemoWebApplication, ParamsPageShowsCommandLineAndLastAppQuery) {
    ASSERT_EQ(HttpGet(FServer->AppUrl() + QStringLiteral("?locale=en&nav_path=a%2Fb")).Status, 302);
    const THttpAnswer page = HttpGet(FServer->BaseUrl() + QStringLiteral("/params"));
    ASSERT_EQ(page.Status, 200);
    const QString body = QString::fromUtf8(page.Body);
    EXPECT_TRUE(body.contains(QStringLiteral("<li>-Dbl_forceWebApp=true</li>")));
    EXPECT_TRUE(body.contains(QStringLiteral("<li>customstart=a b</li>")));
    EXPECT_TRUE(body.contains(QStringLiteral("<tr><th>nav_path</th><td>a/b</td></tr>")));
    EXPECT_TRUE(body.contains(QStringLiteral("<tr><th>k_vari</th><td>4711</td></tr>")));
    // The quoted project file of the command line arrives without its quotes.
    EXPECT_TRUE(body.contains(QStringLiteral("<p id=\"project\">%1/Etk.blk</p>").arg(DemoCatalogDir())));
}

TEST_F(TDemoWebApplication, BrowserShowsThePageTitles) {
    struct Row {
        const char* Name;
        QString Path;
        QString Title;
    };
    const Row rows[] = {
        {"start URL through the redirect", "/app?locale=de&forcerestart=true", StartTitle},
        {"title set by script", "/scripttitle", "Script Title - Demo Parts Catalogue"},
    };
    QWebEngineView view;
    view.resize(1000, 700);
    QString title;
    bool finished = false;
    bool ok = false;
    QObject::connect(&view, &QWebEngineView::titleChanged, &view, [&](const QString& t) { title = t; });
    QObject::connect(&view, &QWebEngineView::loadFinished, &view, [&](bool success) {
        finished = true;
        ok = success;
    });
    for (const Row& row : rows) {
        SCOPED_TRACE(row.Name);
        finished = false;
        view.load(QUrl(FServer->BaseUrl() + row.Path));
        ASSERT_TRUE(WaitFor([&] { return finished && title == row.Title; }, 30s))
            << "title: " << title.toStdString() << ", finished: " << finished;
        EXPECT_TRUE(ok);
    }
    EXPECT_TRUE(view.url().path().endsWith(QStringLiteral("/scripttitle")));
}

TEST(TDemoWebApplicationProcess, AppAnswers503UntilTheStartDelayHasPassed) {
    TDemoServer server({QStringLiteral("demoStartDelayMs=3000")});
    ASSERT_TRUE(server.Start());
    int first = 0;
    // The first answer that comes at all; the delay runs from the start of the Java program.
    ASSERT_TRUE(WaitFor([&] { return (first = HttpGet(server.AppUrl()).Status) != 0; }, 20s));
    EXPECT_EQ(first, 503);
    EXPECT_TRUE(server.WaitReady(20s));
}

TEST(TDemoWebApplicationProcess, ExitRequestEndsTheProcessWithTheGivenCode) {
    for (const int code : {0, 42}) {
        SCOPED_TRACE(code);
        TDemoServer server;
        ASSERT_TRUE(server.Start());
        ASSERT_TRUE(server.WaitReady());
        EXPECT_EQ(HttpGet(server.BaseUrl() + QStringLiteral("/exit?code=%1").arg(code)).Status, 200);
        ASSERT_TRUE(server.Process().WaitForExit(10s));
        EXPECT_EQ(server.Process().ExitCode(), code);
    }
}

TEST(TDemoWebApplicationProcess, AcceptsTheApplicationArgumentsAsOneArgument) {
    TTempEnvironment env;
    const QString projectFile = env.FilePath(QStringLiteral("My Catalogue/Etk.blk"));
    WriteBytes(projectFile, ReadBytes(DemoCatalogDir() + QStringLiteral("/Etk.blk")));
    TDemoServer server;
    // A launcher that hands over "-args ..." as one command-line item, the project file quoted.
    server.SetTail({QStringLiteral("-DstartedWithChromium=true"),
                    QStringLiteral("-args embeddedWebAppBrowserMode=none embeddedWebAppPort=%1 embeddedWebAppContext=%2 "
                                   "openconfig=\"%3\" k_vari=4711")
                        .arg(server.Port())
                        .arg(server.Context(), projectFile)});
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(server.WaitReady());
    const QString body = QString::fromUtf8(HttpGet(server.BaseUrl() + QStringLiteral("/params")).Body);
    EXPECT_TRUE(body.contains(QStringLiteral("<p id=\"project\">%1</p>").arg(projectFile))) << body.toStdString();
    EXPECT_TRUE(body.contains(QStringLiteral("<tr><th>k_vari</th><td>4711</td></tr>")));
    EXPECT_TRUE(body.contains(QStringLiteral("<li>-DstartedWithChromium=true</li>")));
}

TEST(TDemoWebApplicationProcess, EndsWhenTheProcessThatStartedItIsGone) {
    TTempEnvironment env;
    TDemoServer server;  // only for its command line and URLs; the helper starts Java
    const QString pidFile = env.FilePath(QStringLiteral("java-%1.pid").arg(QUuid::createUuid().toString(QUuid::Id128)));
    QStringList helperArgs = {pidFile, TDemoServer::Java(), DemoCatalogDir()};
    helperArgs += server.Arguments();
    Platform::TChildProcess helper;
    ASSERT_TRUE(helper.Start(QStringLiteral(BL_HELPERS_DIR "/smoke_orphan_starter"), helperArgs, QString()));

    qint64 javaPid = 0;
    ASSERT_TRUE(WaitFor([&] { return (javaPid = ReadBytes(pidFile).toLongLong()) > 0; }, 10s));
    ASSERT_TRUE(WaitFor([&] { return HttpGet(server.AppUrl(), true).Status == 200; }, 30s));

    ASSERT_TRUE(helper.Terminate(9));
    EXPECT_TRUE(WaitFor([&] { return !Platform::IsProcessAlive(javaPid); }, 5s))
        << "Java " << javaPid << " outlived the process that started it";
}

}  // namespace

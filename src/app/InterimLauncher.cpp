#include "app/InterimLauncher.h"

#include <QCoreApplication>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QTextStream>
#include <QUrl>
#include <QWebEngineView>

#include <chrono>

#include "util/Presenter.h"

namespace {

using namespace std::chrono_literals;

constexpr auto ProbeInterval = 100ms;
constexpr auto ProbeTimeLimit = 61s;          // as long as the real host waits
constexpr auto SupervisionInterval = 20ms;
constexpr int FirstPort = 1030;
constexpr int LastPort = 5000;
constexpr int ExitCodeClosedByUser = 1;
constexpr int ExitCodeNotStarted = 1;
constexpr int FirstInconsistentViewerCode = 42;
const QString MainClass = QStringLiteral("com.brenlow.apps.etk.viewer.FrameworkMain");

QString ValueOf(const QStringList& Args, const QString& Prefix) {
    for (const QString& a : Args)
        if (a.startsWith(Prefix))
            return a.mid(Prefix.size());
    return {};
}

bool IsPortFree(int Port) {
    QTcpServer server;
    return server.listen(QHostAddress::LocalHost, static_cast<quint16>(Port));
}

int FindFreePort() {
    for (int port = FirstPort; port <= LastPort; ++port)
        if (IsPortFree(port))
            return port;
    return LastPort + 1;
}

void Log(const QString& Text) {
    QTextStream(stderr) << "RQCatalog: " << Text << Qt::endl;
}

}  // namespace

TInterimLauncher::TInterimLauncher(const QStringList& Arguments, QObject* AOwner)
    : QObject(AOwner), FArguments(Arguments), FNetwork(new QNetworkAccessManager(this)) {
    // A proxy of the user's environment must never capture loopback requests.
    FNetwork->setProxy(QNetworkProxy::NoProxy);
    FSupervision.setInterval(SupervisionInterval);
    connect(&FSupervision, &QTimer::timeout, this, &TInterimLauncher::CheckJava);
}

TInterimLauncher::~TInterimLauncher() {
    // The browser window goes before the server it shows; Java never outlives us.
    FView.reset();
    FJava.Terminate(ExitCodeClosedByUser);
}

bool TInterimLauncher::Start() {
    FCatalogDir = QCoreApplication::applicationDirPath();
    const QString java = FCatalogDir + QStringLiteral("/jre/bin/java");
    const QString projectFile = FCatalogDir + QStringLiteral("/Etk.blk");

    const QString givenPort = ValueOf(FArguments, QStringLiteral("embeddedWebAppPort="));
    FPort = givenPort.isEmpty() ? FindFreePort() : givenPort.toInt();
    FContext = ValueOf(FArguments, QStringLiteral("embeddedWebAppContext="));
    if (FContext.isEmpty())
        FContext = QStringLiteral("catalogOffline%1").arg(FPort);

    QStringList javaArgs = {QStringLiteral("-Djava.library.path=lib"), QStringLiteral("-classpath"),
                            QStringLiteral("lib/*"), MainClass, QStringLiteral("-Dbl_forceWebApp=true"),
                            QStringLiteral("-DstartedWithChromium=true"), QStringLiteral("-args"),
                            QStringLiteral("embeddedWebAppBrowserMode=none"),
                            QStringLiteral("embeddedWebAppPort=%1").arg(FPort),
                            QStringLiteral("embeddedWebAppContext=") + FContext,
                            QStringLiteral("openconfig=") + projectFile};
    for (const QString& a : FArguments)
        if (!a.startsWith(QStringLiteral("embeddedWebApp")))
            javaArgs.append(a);

    const Platform::TProcessResult started = FJava.Start(java, javaArgs, FCatalogDir);
    if (!started) {
        PresentMessage(TPresenterKind::pkError, QStringLiteral("Fehler beim Start des Ruridades"),
                       {java, started.ErrorText});
        FExitCode = ExitCodeNotStarted;
        return false;
    }
    Log(QStringLiteral("Java started, pid %1, port %2, context %3").arg(FJava.Pid()).arg(FPort).arg(FContext));
    FSupervision.start();
    FProbeClock.start();
    Probe();
    return true;
}

QString TInterimLauncher::StartUrl() const {
    if (FPort == 0)
        return {};
    QString query;
    for (const QString& a : FArguments) {
        const int eq = a.indexOf(QLatin1Char('='));
        if (eq <= 0 || a.startsWith(QStringLiteral("embeddedWebApp")))
            continue;
        query += a.left(eq + 1) + QString::fromLatin1(QUrl::toPercentEncoding(a.mid(eq + 1), "!$'()*@")) +
                 QLatin1Char('&');
    }
    return QStringLiteral("http://localhost:%1/%2/app?%3forcerestart=true&j2ee_offline_app_id=%2")
        .arg(FPort)
        .arg(FContext, query);
}

void TInterimLauncher::Probe() {
    if (FFinishing)
        return;
    QNetworkRequest request{QUrl(StartUrl())};
    request.setTransferTimeout(2000);
    QNetworkReply* reply = FNetwork->get(request);
    connect(reply, &QNetworkReply::finished, this, [this, reply] {
        reply->deleteLater();
        if (FFinishing)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status == 200) {
            Log(QStringLiteral("server ready after %1 ms").arg(FProbeClock.elapsed()));
            ShowCatalogue();
        } else if (std::chrono::milliseconds(FProbeClock.elapsed()) > ProbeTimeLimit) {
            PresentMessage(TPresenterKind::pkError, QStringLiteral("Ruridad reagiert nicht"));
            FJava.Terminate(ExitCodeNotStarted);
            Finish(ExitCodeNotStarted);
        } else {
            QTimer::singleShot(ProbeInterval, this, &TInterimLauncher::Probe);
        }
    });
}

void TInterimLauncher::ShowCatalogue() {
    FView = std::make_unique<QWebEngineView>();
    FView->setWindowTitle(QStringLiteral("Bitte warten - Daten werden geladen!"));
    FView->resize(1100, 760);
    FView->installEventFilter(this);
    connect(FView.get(), &QWebEngineView::titleChanged, this, &TInterimLauncher::ApplyDocumentTitle);
    FView->load(QUrl(StartUrl()));
    FView->show();
}

void TInterimLauncher::ApplyDocumentTitle(const QString& Title) {
    // Interim titles of a loading page are its address ("localhost:port/..."): keep waiting.
    if (Title.contains(QStringLiteral("localhost:")))
        FView->setWindowTitle(QStringLiteral("Bitte warten - Daten werden geladen!"));
    else if (Title != QStringLiteral("about:blank"))
        FView->setWindowTitle(Title);
}

void TInterimLauncher::CheckJava() {
    const int code = FJava.ExitCode();
    if (code == Platform::StillActive || FFinishing)
        return;
    Log(QStringLiteral("Java ended, exit code %1").arg(code));
    if (code >= FirstInconsistentViewerCode)
        PresentMessage(TPresenterKind::pkError,
                       QStringLiteral("Es wurde ein inkonsistenter Viewer-Stand gefunden!\r\nFehlercode: %1").arg(code));
    Finish(code);
}

bool TInterimLauncher::eventFilter(QObject* Watched, QEvent* Event) {
    if (Watched == FView.get() && Event->type() == QEvent::Close && !FFinishing) {
        FJava.Terminate(ExitCodeClosedByUser);
        Finish(FJava.ExitCode());
    }
    return QObject::eventFilter(Watched, Event);
}

void TInterimLauncher::Finish(int Code) {
    if (FFinishing)
        return;
    FFinishing = true;
    FSupervision.stop();
    FExitCode = Code;
    if (FView)
        FView->hide();
    QCoreApplication::exit(Code);
}

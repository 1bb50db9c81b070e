// DemoServer.h: what the smoke tests share: the demo catalogue's Java application started as a
// real process on a free local port, and a plain HTTP GET that does not follow redirects.
#pragma once
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTcpServer>
#include <QUrl>

#include <chrono>
#include <memory>

#include "TestSupport.h"
#include "platform/ChildProcess.h"

struct THttpAnswer {
    int Status = 0;        // 0: no answer (refused, timed out)
    QByteArray Body;
    QByteArray Location;
};

// Follow: follow redirects as the launcher's readiness probe does.
inline THttpAnswer HttpGet(const QString& Url, bool Follow = false,
                           std::chrono::milliseconds Timeout = std::chrono::seconds(10)) {
    QNetworkAccessManager network;
    network.setProxy(QNetworkProxy::NoProxy);
    QNetworkRequest request{QUrl(Url)};
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         Follow ? QNetworkRequest::NoLessSafeRedirectPolicy : QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(Timeout.count()));
    std::unique_ptr<QNetworkReply> reply(network.get(request));
    WaitFor([&] { return reply->isFinished(); }, Timeout + std::chrono::seconds(1));
    THttpAnswer answer;
    answer.Status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.Body = reply->readAll();
    answer.Location = reply->rawHeader("Location");
    return answer;
}

// A local port nobody listens on at the moment of the call.
inline int FreeLocalPort() {
    QTcpServer server;
    if (!server.listen(QHostAddress::LocalHost, 0))
        return 0;
    return server.serverPort();
}

inline QString DemoCatalogDir() { return QStringLiteral(BL_DEMO_CATALOG_DIR); }

// The Java application of the demo catalogue, started the way the launcher starts it.
class TDemoServer {
public:
    explicit TDemoServer(QStringList ExtraArgs = {}) {
        FPort = FreeLocalPort();
        FContext = QStringLiteral("smoke%1").arg(FPort);
        FArguments = {QStringLiteral("-Djava.library.path=lib"), QStringLiteral("-classpath"), QStringLiteral("lib/*"),
                      QStringLiteral("com.brenlow.apps.etk.viewer.FrameworkMain"),
                      QStringLiteral("-Dbl_forceWebApp=true"), QStringLiteral("-args"),
                      QStringLiteral("embeddedWebAppBrowserMode=none"),
                      QStringLiteral("embeddedWebAppPort=%1").arg(FPort),
                      QStringLiteral("embeddedWebAppContext=") + FContext,
                      QStringLiteral("openconfig=\"%1/Etk.blk\"").arg(DemoCatalogDir())};
        FArguments += ExtraArgs;
    }

    ~TDemoServer() { FJava.Terminate(1); }

    Platform::TProcessResult Start() { return FJava.Start(Java(), FArguments, DemoCatalogDir()); }

    // Polls the start URL until it answers 200 or the Java process has ended.
    bool WaitReady(std::chrono::milliseconds Timeout = std::chrono::seconds(30)) {
        return WaitFor([this] { return !FJava.Running() || HttpGet(AppUrl(), true).Status == 200; }, Timeout) &&
               FJava.Running();
    }

    static QString Java() { return DemoCatalogDir() + QStringLiteral("/jre/bin/java"); }
    QStringList Arguments() const { return FArguments; }
    QString BaseUrl() const { return QStringLiteral("http://localhost:%1/%2").arg(FPort).arg(FContext); }
    QString AppUrl() const { return BaseUrl() + QStringLiteral("/app"); }
    QString Context() const { return FContext; }
    // Replaces everything after the main class (the options and the application arguments).
    void SetTail(const QStringList& Tail) {
        FArguments = FArguments.mid(0, FArguments.indexOf(QStringLiteral("com.brenlow.apps.etk.viewer.FrameworkMain")) + 1) + Tail;
    }
    int Port() const { return FPort; }
    Platform::TChildProcess& Process() { return FJava; }

private:
    int FPort = 0;
    QString FContext;
    QStringList FArguments;
    Platform::TChildProcess FJava;
};

// InterimLauncher.h: a minimal launcher until the start controller takes over: it starts the
// catalogue's Java server from the folder of the executable on a free local port, waits until the
// start URL answers 200, shows it in a browser window titled by the page, and ends with the Java
// process's exit code. Closing the window ends Java with exit code 1.
// GUI thread only; raises nothing (failures become messages and an exit code).
#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QStringList>
#include <QTimer>
#include <memory>

#include "platform/ChildProcess.h"

class QNetworkAccessManager;
class QWebEngineView;

class TInterimLauncher : public QObject {
    Q_OBJECT
public:
    explicit TInterimLauncher(const QStringList& Arguments, QObject* AOwner = nullptr);
    ~TInterimLauncher() override;

    // Starts Java and the readiness probe. False when nothing could be started; ExitCode() then
    // tells the code to end with.
    bool Start();
    int ExitCode() const { return FExitCode; }

    // The start URL of the running server (empty before Start).
    QString StartUrl() const;

protected:
    bool eventFilter(QObject* Watched, QEvent* Event) override;

private:
    void Probe();
    void ShowCatalogue();
    void CheckJava();
    void ApplyDocumentTitle(const QString& Title);
    void Finish(int Code);

    QStringList FArguments;          // our own arguments, passed through to Java
    QString FCatalogDir;
    int FPort = 0;
    QString FContext;
    Platform::TChildProcess FJava;
    QNetworkAccessManager* FNetwork = nullptr;   // child QObject
    std::unique_ptr<QWebEngineView> FView;       // top-level window, so not a QObject child
    QTimer FSupervision;
    QElapsedTimer FProbeClock;
    bool FFinishing = false;
    int FExitCode = 0;
};

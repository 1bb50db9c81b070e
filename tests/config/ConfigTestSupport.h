// ConfigTestSupport.h: helper processes for the configuration tests (header only: the suite is
// built from the *_test.cpp files alone).
#pragma once
#include <QDeadlineTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>

inline QString HelperPath(const QString& Name) { return QStringLiteral(BL_HELPERS_DIR "/config_") + Name; }

// Starts a helper program from the helpers folder; the process is killed when the object dies.
class THelperProcess {
public:
    THelperProcess(const QString& Name, const QStringList& Arguments) {
        FProcess.start(HelperPath(Name), Arguments);
        FProcess.waitForStarted(10000);
    }
    ~THelperProcess() { Kill(); }
    THelperProcess(const THelperProcess&) = delete;
    THelperProcess& operator=(const THelperProcess&) = delete;

    // Waits until the helper printed Line on standard output.
    bool WaitForLine(const QString& Line, int TimeoutMs = 10000) {
        QDeadlineTimer deadline(TimeoutMs);
        const QByteArray wanted = Line.toUtf8() + '\n';
        while (!FOutput.contains(wanted)) {
            if (deadline.hasExpired() || FProcess.state() == QProcess::NotRunning)
                return false;
            FProcess.waitForReadyRead(static_cast<int>(std::max<qint64>(1, deadline.remainingTime())));
            FOutput += FProcess.readAllStandardOutput();
        }
        return true;
    }
    void Kill() {
        if (FProcess.state() != QProcess::NotRunning) {
            FProcess.kill();
            FProcess.waitForFinished(10000);
        }
    }
    // Closes standard input and waits for the end; the exit code, or -1 after a crash or time-out.
    int Finish(int TimeoutMs = 120000) {
        FProcess.closeWriteChannel();
        if (!FProcess.waitForFinished(TimeoutMs))
            return -1;
        return FProcess.exitStatus() == QProcess::NormalExit ? FProcess.exitCode() : -1;
    }
    QByteArray StandardError() { return FProcess.readAllStandardError(); }
    QProcess& Process() { return FProcess; }

private:
    QProcess FProcess;
    QByteArray FOutput;
};

// A stand-in launcher that starts a program without arranging its end: no parent-death signal and
// its own process group, so killing this helper leaves the child to notice by itself.
// Usage: smoke_orphan_starter <pid file> <program> <working folder> <arguments...>
// Writes the child's pid to the pid file, then waits until it is killed.
#include <QFile>
#include <QStringList>
#include <QThread>

#include <cstdio>

#include "platform/ChildProcess.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s <pid file> <program> <working folder> <arguments...>\n", argv[0]);
        return 2;
    }
    QStringList args;
    for (int i = 4; i < argc; ++i)
        args.append(QString::fromLocal8Bit(argv[i]));
    Platform::TChildProcessOptions options;
    options.EndWithParent = false;
    Platform::TChildProcess child;
    const Platform::TProcessResult started =
        child.Start(QString::fromLocal8Bit(argv[2]), args, QString::fromLocal8Bit(argv[3]), options);
    if (!started) {
        std::fprintf(stderr, "start failed: %s\n", qPrintable(started.ErrorText));
        return 3;
    }
    QFile pidFile(QString::fromLocal8Bit(argv[1]));
    if (!pidFile.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return 4;
    pidFile.write(QByteArray::number(child.Pid()));
    pidFile.close();
    while (child.Running())
        QThread::msleep(50);
    return child.ExitCode();
}

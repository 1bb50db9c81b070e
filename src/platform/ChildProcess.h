// ChildProcess.h: starts a program as a child process (argument list, working folder, optionally
// hidden, in its own process group, ended by the kernel when its parent dies) and watches or ends
// it by pid, the way the launcher keeps its Java server. Exit codes follow the Windows model the
// callers expect: StillActive (259) while the child runs, TerminateProcess-style forced codes.
// Not thread-safe per object; use one object from one thread. Raises nothing: failures come back
// as a TProcessResult.
#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <chrono>

namespace Platform {

// What GetExitCodeProcess answers for a process that still runs.
constexpr int StillActive = 259;

struct TChildProcessOptions {
    bool Hidden = true;           // standard input, output and error on /dev/null
    bool OwnProcessGroup = true;  // Terminate then also ends the child's own children
    // The kernel kills the child (SIGKILL) when the thread that started it ends, so call Start from
    // a thread that lives as long as the child should (the GUI thread).
    bool EndWithParent = true;
};

struct [[nodiscard]] TProcessResult {
    int ErrorCode = 0;  // errno of the failed step; 0 on success
    QString ErrorText;  // the system's text for it, with the failed step
    explicit operator bool() const { return ErrorCode == 0; }
};

class TChildProcess {
public:
    TChildProcess() = default;
    // Reaps a child that has ended; a running child is left running, as closing a process handle
    // on Windows does.
    ~TChildProcess();
    TChildProcess(const TChildProcess&) = delete;
    TChildProcess& operator=(const TChildProcess&) = delete;

    // Program is a path (no search along PATH); Arguments exclude the program itself. An empty
    // WorkingDirectory keeps ours. Fails when a child is already running or the program cannot be
    // executed (the result then carries the errno of exec in the child).
    TProcessResult Start(const QString& Program, const QStringList& Arguments,
                         const QString& WorkingDirectory, const TChildProcessOptions& Options = {});

    qint64 Pid() const { return FPid; }
    bool Running();
    // StillActive while running; the exit status when it exited; 128 + signal when a signal from
    // elsewhere ended it; the code given to Terminate when we ended it. -1 before any start.
    int ExitCode();
    // Waits until the child has ended or Timeout has passed; true when it has ended.
    bool WaitForExit(std::chrono::milliseconds Timeout);
    // Kills the child (its whole process group when it has one), reaps it and makes ExitCode
    // answer Code. True when the child has ended, also when it had already ended before.
    bool Terminate(int Code);

private:
    void Reap(bool Block);

    qint64 FPid = 0;
    bool FOwnGroup = false;
    bool FReaped = false;
    int FExitCode = -1;
};

// True while the process exists and is not a zombie.
bool IsProcessAlive(qint64 Pid);
// The pids of the direct children of Pid (empty when it has none or does not exist).
QList<qint64> ChildProcessIds(qint64 Pid);
// The argument vector of a running process, argv[0] first (empty when it cannot be read).
QStringList ProcessArguments(qint64 Pid);

}  // namespace Platform

#include "platform/ChildProcess.h"

#include <QDir>
#include <QFile>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <linux/close_range.h>
#include <string>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace Platform {
namespace {

TProcessResult Failure(int Error, const char* Step) {
    return {Error, QStringLiteral("%1: %2").arg(QString::fromLatin1(Step), QString::fromLocal8Bit(strerror(Error)))};
}

// Only async-signal-safe calls between fork and exec: the parent may have other threads that held
// locks (malloc, Qt) at the moment of the fork.
[[noreturn]] void ChildFail(int ErrorPipe, int Error) {
    ssize_t ignored = write(ErrorPipe, &Error, sizeof Error);
    (void)ignored;
    _exit(127);
}

}  // namespace

TChildProcess::~TChildProcess() {
    if (FPid > 0 && !FReaped)
        Reap(false);
}

TProcessResult TChildProcess::Start(const QString& Program, const QStringList& Arguments,
                                    const QString& WorkingDirectory, const TChildProcessOptions& Options) {
    if (FPid > 0 && Running())
        return {EBUSY, QStringLiteral("a child process is still running")};

    // Everything the child needs is prepared before the fork.
    const std::string program = QFile::encodeName(Program).toStdString();
    std::vector<std::string> args;
    args.push_back(program);
    for (const QString& a : Arguments)
        args.push_back(a.toStdString());
    std::vector<char*> argv;
    for (std::string& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    const std::string dir = QFile::encodeName(WorkingDirectory).toStdString();
    const pid_t parent = getpid();

    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0)
        return Failure(errno, "pipe2");

    const pid_t pid = fork();
    if (pid < 0) {
        const int error = errno;
        close(pipeFds[0]);
        close(pipeFds[1]);
        return Failure(error, "fork");
    }
    if (pid == 0) {
        close(pipeFds[0]);
        if (Options.OwnProcessGroup && setpgid(0, 0) != 0)
            ChildFail(pipeFds[1], errno);
        if (Options.EndWithParent) {
            if (prctl(PR_SET_PDEATHSIG, SIGKILL) != 0)
                ChildFail(pipeFds[1], errno);
            // The parent may have died before the signal was armed.
            if (getppid() != parent)
                _exit(127);
        }
        if (Options.Hidden) {
            const int null = open("/dev/null", O_RDWR);
            if (null < 0)
                ChildFail(pipeFds[1], errno);
            dup2(null, 0);
            dup2(null, 1);
            dup2(null, 2);
            if (null > 2)
                close(null);
        }
        // Descriptors the parent opened without close-on-exec (sockets, files) must not leak
        // into the child; the error pipe is already close-on-exec.
        syscall(SYS_close_range, 3U, ~0U, CLOSE_RANGE_CLOEXEC);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig : {SIGPIPE, SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGCHLD})
            sigaction(sig, &dfl, nullptr);
        if (!dir.empty() && chdir(dir.c_str()) != 0)
            ChildFail(pipeFds[1], errno);
        execv(program.c_str(), argv.data());
        ChildFail(pipeFds[1], errno);
    }

    close(pipeFds[1]);
    int childError = 0;
    ssize_t got;
    do {
        got = read(pipeFds[0], &childError, sizeof childError);
    } while (got < 0 && errno == EINTR);
    close(pipeFds[0]);

    FPid = pid;
    FOwnGroup = Options.OwnProcessGroup;
    FReaped = false;
    FExitCode = StillActive;
    if (got == static_cast<ssize_t>(sizeof childError)) {
        Reap(true);
        FPid = 0;
        FExitCode = -1;
        return Failure(childError, "exec");
    }
    return {};
}

void TChildProcess::Reap(bool Block) {
    if (FPid <= 0 || FReaped)
        return;
    int status = 0;
    pid_t r;
    do {
        r = waitpid(static_cast<pid_t>(FPid), &status, Block ? 0 : WNOHANG);
    } while (r < 0 && errno == EINTR);
    if (r == static_cast<pid_t>(FPid)) {
        FReaped = true;
        if (WIFEXITED(status))
            FExitCode = WEXITSTATUS(status);
        else if (WIFSIGNALED(status))
            FExitCode = 128 + WTERMSIG(status);
    } else if (r < 0 && errno == ECHILD) {
        // Someone else reaped it (a SIGCHLD handler of another library): the code is lost.
        FReaped = true;
        FExitCode = 128 + SIGKILL;
    }
}

bool TChildProcess::Running() {
    Reap(false);
    return FPid > 0 && !FReaped;
}

int TChildProcess::ExitCode() {
    Reap(false);
    return FExitCode;
}

bool TChildProcess::WaitForExit(std::chrono::milliseconds Timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + Timeout;
    // Polling keeps this free of SIGCHLD handlers, which would fight with Qt's own.
    while (Running()) {
        if (Clock::now() >= deadline)
            return false;
        QThread::msleep(5);
    }
    return FPid > 0;
}

bool TChildProcess::Terminate(int Code) {
    if (FPid <= 0)
        return false;
    if (!Running())
        return true;  // already ended: its own exit code stays
    const pid_t target = FOwnGroup ? -static_cast<pid_t>(FPid) : static_cast<pid_t>(FPid);
    if (kill(target, SIGKILL) != 0 && errno != ESRCH)
        return false;
    Reap(true);
    FExitCode = Code;
    return true;
}

bool IsProcessAlive(qint64 Pid) {
    if (Pid <= 0)
        return false;
    QFile stat(QStringLiteral("/proc/%1/stat").arg(Pid));
    if (!stat.open(QIODevice::ReadOnly))
        return false;
    // "pid (comm) state ...": comm may contain blanks and parentheses, so look after the last ')'.
    const QByteArray text = stat.readAll();
    const int close = text.lastIndexOf(')');
    if (close < 0 || close + 2 >= text.size())
        return false;
    const char state = text.at(close + 2);
    return state != 'Z' && state != 'X';
}

QList<qint64> ChildProcessIds(qint64 Pid) {
    QList<qint64> result;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(Pid));
    for (const QString& tid : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile children(tasks.filePath(tid + QStringLiteral("/children")));
        if (!children.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray& piece : children.readAll().split(' ')) {
            bool ok = false;
            const qint64 child = piece.trimmed().toLongLong(&ok);
            if (ok && !result.contains(child))
                result.append(child);
        }
    }
    return result;
}

QStringList ProcessArguments(qint64 Pid) {
    QStringList result;
    QFile cmdline(QStringLiteral("/proc/%1/cmdline").arg(Pid));
    if (!cmdline.open(QIODevice::ReadOnly))
        return result;
    QByteArray text = cmdline.readAll();
    if (text.endsWith('\0'))
        text.chop(1);
    if (text.isEmpty())
        return result;
    for (const QByteArray& arg : text.split('\0'))
        result.append(QString::fromLocal8Bit(arg));
    return result;
}

}  // namespace Platform

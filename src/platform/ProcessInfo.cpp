#include "platform/ProcessInfo.h"

#include <QByteArray>
#include <pwd.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace Platform {

namespace {

QString EnvironmentText(const char* Name) {
    return QString::fromLocal8Bit(qgetenv(Name));
}

}  // namespace

quint32 CurrentThreadId() {
    return static_cast<quint32>(::gettid());
}

quint32 CurrentProcessId() {
    return static_cast<quint32>(::getpid());
}

QString LoginUserName() {
    // getpwuid_r with a buffer of our own: getpwuid's static buffer is not thread-safe.
    long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? static_cast<std::size_t>(suggested) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_name && *found->pw_name)
        return QString::fromLocal8Bit(found->pw_name);
    QString name = EnvironmentText("USER");
    if (name.isEmpty())
        name = EnvironmentText("LOGNAME");
    return name;
}

QString ComputerName() {
    char host[HOST_NAME_MAX + 1] = {};
    if (::gethostname(host, sizeof host - 1) != 0)
        return QString();
    QString name = QString::fromLocal8Bit(host);
    // Windows computer names carry no DNS domain.
    const qsizetype dot = name.indexOf(u'.');
    return dot >= 0 ? name.left(dot) : name;
}

QString LogonDomain() {
    const QString domain = EnvironmentText("USERDOMAIN");
    return domain.isEmpty() ? ComputerName() : domain;
}

QString FileVersionText() {
    return QStringLiteral(BL_VERSION);
}

int FileVersionMajor() {
    return BL_VERSION_MAJOR;
}

int FileVersionMinor() {
    return BL_VERSION_MINOR;
}

int FileVersionPatch() {
    return BL_VERSION_PATCH;
}

bool IsElevated() {
    return ::geteuid() == 0;
}

}  // namespace Platform

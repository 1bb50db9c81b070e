#include "platform/KnownFolders.h"

#include "platform/FilePaths.h"

#include <QDir>
#include <QFile>

#include <pwd.h>
#include <unistd.h>

#include <climits>
#include <vector>

namespace Platform {
namespace {

// An empty value counts as unset, and so does a relative one: it would depend on the current
// folder, and the XDG base-directory rules tell programs to ignore it.
QString FolderFromEnvironment(const char* Name) {
    const QString value = qEnvironmentVariable(Name);
    if (value.isEmpty() || !value.startsWith(u'/'))
        return {};
    return QDir::cleanPath(value);
}

QString FolderOrDefault(const char* Name, const QString& Default) {
    const QString value = FolderFromEnvironment(Name);
    return value.isEmpty() ? QDir::cleanPath(Default) : value;
}

// XDG_DOCUMENTS_DIR="$HOME/Dokumente" in user-dirs.dirs (the desktop's localised folder names).
QString DocumentsFolderFromUserDirs() {
    QFile file(RoamingAppDataFolder() + QStringLiteral("/user-dirs.dirs"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    const QByteArray key = "XDG_DOCUMENTS_DIR=";
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        if (!line.startsWith(key))
            continue;
        QString value = QString::fromUtf8(line.mid(key.size()));
        if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
            value = value.mid(1, value.size() - 2);
        if (value.startsWith(QStringLiteral("$HOME")))
            value = HomeFolder() + value.mid(5);
        if (!value.startsWith(u'/'))
            return {};
        return QDir::cleanPath(value);
    }
    return {};
}

}  // namespace

QString HomeFolder() {
    const QString home = FolderFromEnvironment("HOME");
    if (!home.isEmpty())
        return home;
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found &&
        found->pw_dir && found->pw_dir[0] == '/')
        return QDir::cleanPath(QFile::decodeName(found->pw_dir));
    return QStringLiteral("/");
}

QString RoamingAppDataFolder() {
    return FolderOrDefault("XDG_CONFIG_HOME", HomeFolder() + QStringLiteral("/.config"));
}

QString LocalAppDataFolder() {
    return FolderOrDefault("XDG_DATA_HOME", HomeFolder() + QStringLiteral("/.local/share"));
}

QString ProgramDataFolder() {
    return FolderOrDefault("BL_PROGRAMDATA", QStringLiteral("/var/lib"));
}

QString WindowsFolder() {
    return FolderOrDefault("BL_WINDIR", QStringLiteral("/usr"));
}

QString DocumentsFolder() {
    QString folder = FolderFromEnvironment("XDG_DOCUMENTS_DIR");
    if (folder.isEmpty())
        folder = DocumentsFolderFromUserDirs();
    if (folder.isEmpty())
        folder = HomeFolder() + QStringLiteral("/Documents");
    return QDir::cleanPath(folder);
}

QString UserTempFolder() {
    return FolderOrDefault("TMPDIR", QStringLiteral("/tmp"));
}

QString ExecutableFilePath() {
    // The binary cannot change while the process runs: read the link once.
    static const QString path = [] {
        std::vector<char> buffer(PATH_MAX + 1);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
        if (length <= 0)
            return QString();
        return QFile::decodeName(QByteArray(buffer.data(), length));
    }();
    return path;
}

QString ExecutableFolder() {
    return ExcludeTrailingPathDelimiter(ExtractFilePath(ExecutableFilePath()));
}

QString ExecutableFileName() {
    return ExtractFileName(ExecutableFilePath());
}

QString ExecutableBaseName() {
    return ChangeFileExt(ExecutableFileName(), QString());
}

}  // namespace Platform

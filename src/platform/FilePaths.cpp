#include "platform/FilePaths.h"

namespace Platform {
namespace {

constexpr QChar PathDelim = u'/';

bool IsDriveLetter(QChar Value) {
    return (Value >= u'A' && Value <= u'Z') || (Value >= u'a' && Value <= u'z');
}

// Index of the "." that starts the extension, or -1.
qsizetype ExtensionStart(const QString& FileName) {
    for (qsizetype i = FileName.size() - 1; i >= 0; --i) {
        const QChar c = FileName.at(i);
        if (c == u'.')
            return i;
        if (c == PathDelim)
            return -1;
    }
    return -1;
}

}  // namespace

bool IsAbsolutePath(QStringView Path) {
    if (Path.startsWith(u'/') || Path.startsWith(u"\\\\"))
        return true;
    return Path.size() >= 2 && IsDriveLetter(Path.at(0)) && Path.at(1) == u':';
}

QString FromConfigPath(const QString& Value) {
    if (IsAbsolutePath(Value))
        return Value;
    QString result = Value;
    result.replace(u'\\', PathDelim);
    return result;
}

QString ToConfigPath(const QString& Path) {
    if (IsAbsolutePath(Path))
        return Path;
    QString result = Path;
    result.replace(PathDelim, u'\\');
    return result;
}

QString IncludeTrailingPathDelimiter(const QString& Path) {
    return Path.endsWith(PathDelim) ? Path : Path + PathDelim;
}

QString ExcludeTrailingPathDelimiter(const QString& Path) {
    if (Path.size() > 1 && Path.endsWith(PathDelim))
        return Path.left(Path.size() - 1);
    return Path;
}

QString ExtractFilePath(const QString& FileName) {
    return FileName.left(FileName.lastIndexOf(PathDelim) + 1);
}

QString ExtractFileName(const QString& FileName) {
    return FileName.mid(FileName.lastIndexOf(PathDelim) + 1);
}

QString ExtractFileExt(const QString& FileName) {
    const qsizetype start = ExtensionStart(FileName);
    return start < 0 ? QString() : FileName.mid(start);
}

QString ChangeFileExt(const QString& FileName, const QString& Extension) {
    const qsizetype start = ExtensionStart(FileName);
    return (start < 0 ? FileName : FileName.left(start)) + Extension;
}

}  // namespace Platform

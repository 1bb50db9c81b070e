// FilePaths.h: path rules on "/" with Delphi's semantics, and the two directions between file names
// in configuration values (written on Windows with "\") and Linux paths. Pure functions, any thread.
#pragma once
#include <QString>
#include <QStringView>

namespace Platform {

// Begins with "/", or, for values written on Windows, with "\\", "//" or a drive letter and ":".
bool IsAbsolutePath(QStringView Path);

// A relative file name read from a configuration value: "\" becomes "/". Absolute values are returned
// unchanged ("\" is a valid character in Linux file names).
QString FromConfigPath(const QString& Value);
// A relative file name to be written into a configuration value: "/" becomes "\" so the project file
// stays valid for Windows installations. Absolute paths are returned unchanged.
QString ToConfigPath(const QString& Path);

// Appends "/" unless Path already ends with one; "" becomes "/" as in Delphi.
QString IncludeTrailingPathDelimiter(const QString& Path);
// Removes one trailing "/"; the root "/" stays "/" (Delphi would make it "", the current folder).
QString ExcludeTrailingPathDelimiter(const QString& Path);

// Everything up to and including the last "/" ("" without one).
QString ExtractFilePath(const QString& FileName);
// Everything after the last "/".
QString ExtractFileName(const QString& FileName);
// From the last "." of the file name on ("" when the file name has no "."): "a/b.tar.gz" -> ".gz".
QString ExtractFileExt(const QString& FileName);
// Replaces ExtractFileExt(FileName) by Extension (which includes its "."; "" removes the extension).
QString ChangeFileExt(const QString& FileName, const QString& Extension);

}  // namespace Platform

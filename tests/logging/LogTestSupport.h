// LogTestSupport.h: what the logging tests share: running the helper process with a fresh log,
// reading log files, and setting the log's registry values.
#pragma once
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <algorithm>

#include "platform/Registry.h"
#include "logging/BLLogging.h"

struct TLogRun {
    int ExitCode = -1;
    bool Crashed = false;
    QMap<QString, QString> Facts;  // the helper's "key=value" lines
};

inline QString LogHelperPath() { return QStringLiteral(BL_HELPERS_DIR "/logging_loghelper"); }

inline TLogRun RunLogHelper(const QStringList& Arguments, const QString& Program = LogHelperPath(),
                            int TimeoutMs = 120000) {
    TLogRun run;
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(Program, Arguments);
    if (!process.waitForFinished(TimeoutMs)) {
        process.kill();
        process.waitForFinished();
        return run;
    }
    run.Crashed = process.exitStatus() == QProcess::CrashExit;
    run.ExitCode = process.exitCode();
    for (const QString& line : QString::fromLocal8Bit(process.readAllStandardOutput()).split(QLatin1Char('\n'))) {
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals > 0)
            run.Facts[line.left(equals)] = line.mid(equals + 1);
    }
    return run;
}

// The registry key of the log settings, opened for writing.
inline Platform::TRegistry OpenDebugLogKey() {
    Platform::TRegistry reg;
    (void)reg.OpenKey(QLatin1Char('\\') + DebugLogRegistryKey, true);
    return reg;
}

inline void SetLogRegistry(const QMap<QString, QString>& Values) {
    Platform::TRegistry reg = OpenDebugLogKey();
    for (auto it = Values.cbegin(); it != Values.cend(); ++it)
        (void)reg.WriteString(it.key(), it.value());
}

// Logging on with the default selection of types and channels.
inline QMap<QString, QString> ActiveLogSettings() {
    return {{"Active", "1"}, {"Type", "tmlMessage,tmlWarning,tmlError"},
            {"Channels", "lcApplication,lcDatabase,lcImageViewer,lcImport"}};
}

// Every "*.log" file below Folder, recursively, sorted by path.
inline QStringList FindLogFiles(const QString& Folder) {
    QStringList files;
    QDirIterator it(Folder, {QStringLiteral("*.log")}, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << it.next();
    std::sort(files.begin(), files.end());
    return files;
}

// The lines of a UTF-8 log file without its byte-order mark, split at CR LF; no trailing empty line.
inline QStringList ReadLogLines(const QString& FileName) {
    QFile file(FileName);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QByteArray bytes = file.readAll();
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    QStringList lines = QString::fromUtf8(bytes).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The message field (after the sixth TAB) of an entry line; the whole line when it has fewer fields.
inline QString MessageOf(const QString& Line) {
    qsizetype position = 0;
    for (int field = 0; field < 6; ++field) {
        position = Line.indexOf(QLatin1Char('\t'), position);
        if (position < 0)
            return Line;
        ++position;
    }
    return Line.mid(position);
}

// Loading speed of large INI files: a generated 10 MB file, read as the log settings are read
// (UTF-8 without byte-order mark, forced UTF-8) and as UTF-16 with byte-order mark.
#include <benchmark/benchmark.h>

#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <memory>

#include "logging/BLBigIni.h"

namespace {

constexpr qsizetype TargetSize = 10 * 1024 * 1024;

// Sections of 40 items with keys and values of mixed length, a few non-ASCII characters.
QString GeneratedText() {
    QString text;
    text.reserve(TargetSize + 1024);
    int section = 0;
    while (text.size() < TargetSize) {
        text += QStringLiteral("[Section%1]\r\n").arg(section++);
        for (int item = 0; item < 40; ++item)
            text += QStringLiteral("Key%1=Wert %2 f\u00FCr die Einstellung Nummer %1 (%3)\r\n")
                        .arg(item)
                        .arg(section * 40 + item)
                        .arg(QString(item % 7 + 1, QLatin1Char('x')));
        text += QStringLiteral("\r\n");
    }
    return text;
}

struct TGeneratedFiles {
    QTemporaryDir Dir;
    QString Utf8Path;
    QString Utf16Path;
    qint64 Utf8Size = 0;
    qint64 Utf16Size = 0;

    TGeneratedFiles() {
        const QString text = GeneratedText();
        Utf8Path = Dir.filePath("utf8.ini");
        Utf16Path = Dir.filePath("utf16.ini");
        Utf8Size = Write(Utf8Path, text.toUtf8());
        Utf16Size = Write(Utf16Path, QByteArray("\xFF\xFE") + QStringEncoder(QStringEncoder::Utf16LE)(text));
    }

    static qint64 Write(const QString& Path, const QByteArray& Bytes) {
        QFile file(Path);
        if (!file.open(QIODevice::WriteOnly) || file.write(Bytes) != Bytes.size())
            qFatal("cannot write %s", qPrintable(Path));
        return Bytes.size();
    }
};

const TGeneratedFiles& Files() {
    static const TGeneratedFiles files;  // generated once, before the first timed iteration
    return files;
}

void LoadAndRead(benchmark::State& State, const QString& Path, qint64 Size) {
    for (auto _ : State) {
        TBiggerIniFile ini(Path, true);
        benchmark::DoNotOptimize(ini.ReadString("Section100", "Key39", QString()));
    }
    State.SetBytesProcessed(State.iterations() * Size);
}

void BM_BigIniLoadUtf8(benchmark::State& State) { LoadAndRead(State, Files().Utf8Path, Files().Utf8Size); }
void BM_BigIniLoadUtf16(benchmark::State& State) { LoadAndRead(State, Files().Utf16Path, Files().Utf16Size); }

void BM_BigIniReadStringLastSection(benchmark::State& State) {
    TBiggerIniFile ini(Files().Utf8Path, true);
    const int last = ini.SectionList().Count() - 1;
    const QString section = QStringLiteral("Section%1").arg(last);
    const QString other = QStringLiteral("Section0");
    for (auto _ : State) {
        // Alternating between the first and the last section defeats the remembered start index.
        benchmark::DoNotOptimize(ini.ReadString(section, "Key39", QString()));
        benchmark::DoNotOptimize(ini.ReadString(other, "Key39", QString()));
    }
}

}  // namespace

BENCHMARK(BM_BigIniLoadUtf8)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BigIniLoadUtf16)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BigIniReadStringLastSection)->Unit(benchmark::kMicrosecond);

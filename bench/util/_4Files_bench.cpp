// Reading 50 MB text files line by line: TUnicodeFileReader on UTF-8 and on UTF-16 LE beside a plain
// std::getline loop over the same UTF-8 file, plus the two ways of reaching the file that the reader
// could take (a seek and a fresh 1024-byte read per line, or carrying the rest of the block over to
// the next line), each with QFile's own buffer and without it.
#include "util/_4Files.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <cstring>
#include <fstream>
#include <random>
#include <string>

namespace {

constexpr qint64 FileSize = 50 * 1024 * 1024;

// Lines of 40 to 120 characters from a parts-catalogue vocabulary; some words are not ASCII.
QString MakeLine(std::mt19937& Random) {
    static const char16_t* const words[] = {
        u"Zahnrad", u"Schraube", u"M8x40", u"Dichtung", u"Übersicht", u"Lager", u"Größe", u"Welle",
        u"Artikel", u"4711-0815", u"Preis", u"12,50 €", u"Ventil", u"Führung", u"Gehäuse", u"Ersatzteil",
        u"Bestellung", u"Menge", u"Flansch", u"Kupplung", u"Ölfilter", u"Baugruppe", u"Stück", u"Nr."};
    std::uniform_int_distribution<int> lengthOf(40, 120);
    std::uniform_int_distribution<int> wordOf(0, int(std::size(words)) - 1);
    const int length = lengthOf(Random);
    QString line;
    while (line.size() < length)
        line += QString::fromUtf16(words[wordOf(Random)]) + u' ';
    line.truncate(length);
    return line;
}

struct TFiles {
    QTemporaryDir Dir;
    QString Utf8;
    QString Utf16;
    qint64 Utf8Lines = 0;
    qint64 Utf16Lines = 0;
};

void Generate(TFiles& Files) {
    Files.Utf8 = Files.Dir.filePath("lines-utf8.txt");
    Files.Utf16 = Files.Dir.filePath("lines-utf16le.txt");
    for (const auto& [path, coding, lines] :
         {std::tuple{Files.Utf8, TBLFileCoding::fcUTF8BOM, &Files.Utf8Lines},
          std::tuple{Files.Utf16, TBLFileCoding::fcUnicodeLittleEndian, &Files.Utf16Lines}}) {
        std::mt19937 random(4711);
        TUnicodeFileWriter writer(path, coding);
        QStringList batch;
        while (writer.Stream()->size() < FileSize) {
            batch.clear();
            for (int i = 0; i < 1000; ++i)
                batch << MakeLine(random);
            writer.WriteLines(batch);
            *lines += batch.size();
        }
    }
}

// Both files are written once for the whole run (about FileSize bytes each, marks included) and
// removed with the temporary folder when the program ends.
const TFiles& Files() {
    static TFiles files;
    static const bool generated = (Generate(files), true);
    Q_UNUSED(generated);
    return files;
}

void Report(benchmark::State& State, const QString& Path, qint64 Lines) {
    State.SetItemsProcessed(State.iterations() * Lines);
    State.SetBytesProcessed(State.iterations() * QFile(Path).size());
}

void BM_ReaderUtf8(benchmark::State& State) {
    const TFiles& files = Files();
    for (auto _ : State) {
        TUnicodeFileReader reader(files.Utf8, false);
        qint64 lines = 0;
        while (!reader.Eof()) {
            benchmark::DoNotOptimize(reader.ReadLine());
            ++lines;
        }
        if (lines != files.Utf8Lines || !reader.ReadErrors().isEmpty())
            State.SkipWithError("wrong number of lines or decoding errors");
    }
    Report(State, files.Utf8, files.Utf8Lines);
}
BENCHMARK(BM_ReaderUtf8)->Unit(benchmark::kMillisecond);

void BM_ReaderUtf16Le(benchmark::State& State) {
    const TFiles& files = Files();
    for (auto _ : State) {
        TUnicodeFileReader reader(files.Utf16, false);
        qint64 lines = 0;
        while (!reader.Eof()) {
            benchmark::DoNotOptimize(reader.ReadLine());
            ++lines;
        }
        if (lines != files.Utf16Lines)
            State.SkipWithError("wrong number of lines");
    }
    Report(State, files.Utf16, files.Utf16Lines);
}
BENCHMARK(BM_ReaderUtf16Le)->Unit(benchmark::kMillisecond);

// The yardstick: bytes only, no decoding, the C++ library's own buffering.
void BM_StdGetlineUtf8(benchmark::State& State) {
    const TFiles& files = Files();
    const std::string path = files.Utf8.toStdString();
    for (auto _ : State) {
        std::ifstream in(path, std::ios::binary);
        std::string line;
        qint64 lines = 0;
        while (std::getline(in, line)) {
            benchmark::DoNotOptimize(line.data());
            ++lines;
        }
        if (lines != files.Utf8Lines)
            State.SkipWithError("wrong number of lines");
    }
    Report(State, files.Utf8, files.Utf8Lines);
}
BENCHMARK(BM_StdGetlineUtf8)->Unit(benchmark::kMillisecond);

// Access patterns without decoding. SeekPerLine: read up to 1024 bytes at the position, find the LF,
// seek to just after it. CarryBlock: keep the rest of the block for the next line, read the next
// block only when it is used up.
qint64 SeekPerLine(QFile& File) {
    char block[1024];
    qint64 lines = 0;
    qint64 position = 3;
    File.seek(position);
    for (;;) {
        const qint64 count = File.read(block, sizeof block);
        if (count <= 0)
            break;
        const void* lineFeed = std::memchr(block, '\n', size_t(count));
        if (!lineFeed) {
            position += count;
            continue;
        }
        position += static_cast<const char*>(lineFeed) - block + 1;
        ++lines;
        File.seek(position);
    }
    return lines;
}

template <int BlockBytes>
qint64 CarryBlock(QFile& File) {
    char block[BlockBytes];
    qint64 lines = 0;
    File.seek(3);
    for (;;) {
        const qint64 count = File.read(block, sizeof block);
        if (count <= 0)
            break;
        const char* pos = block;
        const char* end = block + count;
        while (const void* lineFeed = std::memchr(pos, '\n', size_t(end - pos))) {
            pos = static_cast<const char*>(lineFeed) + 1;
            ++lines;
        }
    }
    return lines;
}

template <qint64 (*Pattern)(QFile&), bool Unbuffered>
void BM_Pattern(benchmark::State& State) {
    const TFiles& files = Files();
    for (auto _ : State) {
        QFile file(files.Utf8);
        if (!file.open(Unbuffered ? QIODevice::ReadOnly | QIODevice::Unbuffered : QIODevice::ReadOnly)) {
            State.SkipWithError("cannot open");
            break;
        }
        if (Pattern(file) != files.Utf8Lines)
            State.SkipWithError("wrong number of lines");
    }
    Report(State, files.Utf8, files.Utf8Lines);
}
BENCHMARK(BM_Pattern<SeekPerLine, false>)->Name("BM_SeekPerLine/Buffered")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Pattern<SeekPerLine, true>)->Name("BM_SeekPerLine/Unbuffered")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Pattern<CarryBlock<1024>, false>)->Name("BM_CarryBlock/Buffered")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Pattern<CarryBlock<1024>, true>)->Name("BM_CarryBlock/Unbuffered")->Unit(benchmark::kMillisecond);
// For comparison only: blocks of 16 KiB, QFile's own buffer size, read without QFile's buffer.
BENCHMARK(BM_Pattern<CarryBlock<16384>, true>)->Name("BM_CarryBlock16K/Unbuffered")->Unit(benchmark::kMillisecond);

}  // namespace

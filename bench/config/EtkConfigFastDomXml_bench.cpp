// Configuration store benchmarks on a generated project file: fast-store parse against a bare expat
// pass over the same bytes, serialisation, one write-through on a 1 MB file, a batch of 1 000 writes,
// and the DOM store's read.
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <expat.h>
#include <memory>

#include "config/ETKConfigDomXML.h"
#include "config/EtkConfigFastDomXml.h"
#include "ConfigBenchSupport.h"
#include "config/FastBLKReader.h"

namespace {

const QByteArray& BigFile() {
    static const QByteArray bytes = [] {
        TBLKConnector tree;
        FillTree(tree, 100000);
        return tree.WriteToBytes();
    }();
    return bytes;
}

void XMLCALL EmptyStart(void*, const XML_Char*, const XML_Char**) {}
void XMLCALL EmptyEnd(void*, const XML_Char*) {}
void XMLCALL EmptyText(void*, const XML_Char*, int) {}

void BM_BareExpatPass(benchmark::State& State) {
    const QByteArray& bytes = BigFile();
    for (auto _ : State) {
        XML_Parser parser = XML_ParserCreate("UTF-8");
        XML_SetElementHandler(parser, EmptyStart, EmptyEnd);
        XML_SetCharacterDataHandler(parser, EmptyText);
        if (XML_Parse(parser, bytes.constData(), static_cast<int>(bytes.size()), XML_TRUE) != XML_STATUS_OK)
            State.SkipWithError("expat failed");
        XML_ParserFree(parser);
    }
    State.SetBytesProcessed(State.iterations() * bytes.size());
}
BENCHMARK(BM_BareExpatPass)->Unit(benchmark::kMillisecond);

// File to tree into a fresh connector; freeing the tree is not part of parsing.
void BM_FastStoreParse(benchmark::State& State) {
    const QByteArray& bytes = BigFile();
    QStringList errors;
    for (auto _ : State) {
        auto tree = std::make_unique<TBLKConnector>();
        if (!tree->LoadFromStream(bytes, errors))
            State.SkipWithError("parse failed");
        State.PauseTiming();
        tree.reset();
        State.ResumeTiming();
    }
    State.SetBytesProcessed(State.iterations() * bytes.size());
    State.counters["file_MB"] = static_cast<double>(bytes.size()) / 1e6;
}
BENCHMARK(BM_FastStoreParse)->Unit(benchmark::kMillisecond);

// A re-read as the store does it: the previous tree is freed first.
void BM_FastStoreReparse(benchmark::State& State) {
    const QByteArray& bytes = BigFile();
    TBLKConnector tree;
    QStringList errors;
    for (auto _ : State) {
        if (!tree.LoadFromStream(bytes, errors))
            State.SkipWithError("parse failed");
    }
    State.SetBytesProcessed(State.iterations() * bytes.size());
}
BENCHMARK(BM_FastStoreReparse)->Unit(benchmark::kMillisecond);

void BM_FastStoreSerialise(benchmark::State& State) {
    TBLKConnector tree;
    QStringList errors;
    tree.LoadFromStream(BigFile(), errors);
    qint64 size = 0;
    for (auto _ : State) {
        const QByteArray bytes = tree.WriteToBytes();
        size = bytes.size();
        benchmark::DoNotOptimize(bytes.constData());
    }
    State.SetBytesProcessed(State.iterations() * size);
}
BENCHMARK(BM_FastStoreSerialise)->Unit(benchmark::kMillisecond);

struct TOneMegabyteFile {
    QTemporaryDir Dir;
    QString FileName = Dir.filePath("Etk.blk");
    TOneMegabyteFile() {
        TBLKConnector tree;
        FillTree(tree, 5000);  // about 1 MB
        QFile file(FileName);
        file.open(QIODevice::WriteOnly);
        file.write(tree.WriteToBytes());
    }
};

void BM_WriteStringWriteThrough1MB(benchmark::State& State) {
    TOneMegabyteFile file;
    TEtkConfigXMLFast store;
    store.SetFileName(file.FileName);
    int n = 0;
    for (auto _ : State)
        store.WriteString("VIEWER\\Bench", QString::number(++n));
    State.counters["file_MB"] = static_cast<double>(QFileInfo(file.FileName).size()) / 1e6;
}
BENCHMARK(BM_WriteStringWriteThrough1MB)->Unit(benchmark::kMillisecond)->Repetitions(7)->ReportAggregatesOnly(true);

void BM_Batch1000WritesOn1MB(benchmark::State& State) {
    TOneMegabyteFile file;
    TEtkConfigXMLFast store;
    store.SetFileName(file.FileName);
    int n = 0;
    for (auto _ : State) {
        store.StartCaching();
        for (int i = 0; i < 1000; ++i)
            store.WriteString(QStringLiteral("Batch\\K%1").arg(i), QString::number(++n));
        store.EndCaching();
    }
}
BENCHMARK(BM_Batch1000WritesOn1MB)->Unit(benchmark::kMillisecond)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_DomStoreRead(benchmark::State& State) {
    QTemporaryDir dir;
    const QString fileName = dir.filePath("viewer.xml");
    QFile file(fileName);
    file.open(QIODevice::WriteOnly);
    file.write(BigFile());
    file.close();
    for (auto _ : State) {
        TEtkConfigXML store;
        store.SetFileName(fileName);
        benchmark::DoNotOptimize(store.KeyExists("Section1"));
    }
    State.SetBytesProcessed(State.iterations() * BigFile().size());
}
BENCHMARK(BM_DomStoreRead)->Unit(benchmark::kMillisecond);

}  // namespace

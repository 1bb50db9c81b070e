// The facade's read path against the store's on a 100 000-key project file: a ReadString through
// TEtkConfig with a variant set (variant mapping, routing to the file, the store's read) side by
// side with the same read straight from a fast store on the same file.
#include <QFile>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <memory>

#include "ConfigBenchSupport.h"
#include "config/EtkConfigExe.h"
#include "config/EtkConfigFastDomXml.h"

namespace {

constexpr int KeyCount = 100000;
constexpr int ReadKeys = 1000;

// String keys of Section0; variant A has taken Section0 over and holds its own copy of each.
QString ReadKey(int Index) {
    const int i = Index * 50;
    return QStringLiteral("Section0\\Group%1\\Key%2").arg((i / 50) % 40).arg(i);
}

// Built before the timing, so that only the reads are measured.
const QStringList& Keys() {
    static const QStringList keys = [] {
        QStringList list;
        for (int i = 0; i < ReadKeys; ++i)
            list.append(ReadKey(i));
        return list;
    }();
    return keys;
}

struct TBenchCatalogue {
    TBenchCatalogue() {
        // The per-user file and the registry go to the temporary folder, never the user's own.
        qputenv("XDG_DATA_HOME", Folder.filePath(QStringLiteral("data")).toUtf8());
        qputenv("XDG_CONFIG_HOME", Folder.filePath(QStringLiteral("config")).toUtf8());
        qputenv("BL_REGISTRY_ROOT", Folder.filePath(QStringLiteral("registry")).toUtf8());
        TBLKConnector tree;
        FillTree(tree, KeyCount);
        for (int i = 0; i < ReadKeys; ++i)
            tree.WriteRawString(QStringLiteral("Variants\\A\\") + ReadKey(i), QStringLiteral("sVariante %1").arg(i));
        tree.WriteAttribute(QStringLiteral("Variants\\A\\Section0"), QStringLiteral("Valid"), QStringLiteral("true"));
        tree.FindNode(QStringLiteral("Variants\\B"), true);
        QFile file(BlkFile);
        file.open(QIODevice::WriteOnly);
        file.write(tree.WriteToBytes());
    }
    QTemporaryDir Folder;
    QString BlkFile = Folder.filePath(QStringLiteral("Etk.blk"));
};

TBenchCatalogue& Catalogue() {
    static TBenchCatalogue catalogue;
    return catalogue;
}

std::unique_ptr<TEtkConfigExe> OpenFacade(const QString& Variant) {
    auto config = std::make_unique<TEtkConfigExe>();
    config->SetMainConfigFile(Catalogue().BlkFile, true);
    config->InitUserConfigFile(true);
    config->SetMultiConfigNameRead(Variant);
    return config;
}

void BM_StoreReadString(benchmark::State& State) {
    TEtkConfigXMLFast store;
    store.SetFileName(Catalogue().BlkFile);
    int i = 0;
    for (auto _ : State)
        benchmark::DoNotOptimize(store.ReadString(Keys()[i++ % ReadKeys], QString()));
}

// Variant A has taken the key over: the read goes to its copy.
void BM_FacadeReadStringVariantTakenOver(benchmark::State& State) {
    const auto config = OpenFacade(QStringLiteral("A"));
    int i = 0;
    for (auto _ : State)
        benchmark::DoNotOptimize(config->ReadString(Keys()[i++ % ReadKeys], QString()));
}

// Variant B has taken nothing over: the mapping looks for a mark in vain and reads the main tree.
void BM_FacadeReadStringVariantFallsBack(benchmark::State& State) {
    const auto config = OpenFacade(QStringLiteral("B"));
    int i = 0;
    for (auto _ : State)
        benchmark::DoNotOptimize(config->ReadString(Keys()[i++ % ReadKeys], QString()));
}

void BM_FacadeReadStringNoVariant(benchmark::State& State) {
    const auto config = OpenFacade(QString());
    int i = 0;
    for (auto _ : State)
        benchmark::DoNotOptimize(config->ReadString(Keys()[i++ % ReadKeys], QString()));
}

}  // namespace

BENCHMARK(BM_StoreReadString)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_FacadeReadStringVariantTakenOver)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_FacadeReadStringVariantFallsBack)->Unit(benchmark::kNanosecond);
BENCHMARK(BM_FacadeReadStringNoVariant)->Unit(benchmark::kNanosecond);

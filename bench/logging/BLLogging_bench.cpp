// What a caller of AddToLog pays, for a message the log takes and for one its filter drops, side by
// side with spdlog's asynchronous file logger doing the same job; and how many lines per second the
// writer puts into files. Every call is timed on its own, so median and p99 are per call; the
// "clock" benchmark shows what the timing itself costs.
#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <algorithm>
#include <benchmark/benchmark.h>
#include <chrono>
#include <spdlog/async.h>
#include <spdlog/sinks/basic_file_sink.h>
#include <spdlog/spdlog.h>
#include <vector>

#include "logging/BLDataObjectsFactory.h"
#include "logging/BLLogging.h"
#include "platform/Registry.h"

namespace {

constexpr int CallsPerRun = 200000;  // bounded: accepted lines pile up in the queue while timed

// One temporary environment for the whole program: registry and log folder, logging on.
QTemporaryDir& BenchFolder() {
    static QTemporaryDir folder = [] {
        QTemporaryDir dir;
        qputenv("BL_REGISTRY_ROOT", (dir.path() + QStringLiteral("/registry")).toUtf8());
        qputenv("BL_PROGRAMDATA", (dir.path() + QStringLiteral("/programdata")).toUtf8());
        Platform::TRegistry reg;
        (void)reg.OpenKey(QLatin1Char('\\') + DebugLogRegistryKey, true);
        (void)reg.WriteString(QStringLiteral("Active"), QStringLiteral("1"));
        (void)reg.WriteString(QStringLiteral("Type"), QStringLiteral("tmlMessage,tmlWarning,tmlError"));
        (void)reg.WriteString(QStringLiteral("Channels"), QStringLiteral("lcApplication"));
        return dir;
    }();
    return folder;
}

template <typename Call>
void TimeEachCall(benchmark::State& State, Call&& Body) {
    std::vector<double> samples;
    samples.reserve(CallsPerRun);
    int i = 0;
    for (auto _ : State) {
        const auto start = std::chrono::steady_clock::now();
        Body(i++);
        const auto stop = std::chrono::steady_clock::now();
        const double ns = std::chrono::duration<double, std::nano>(stop - start).count();
        samples.push_back(ns);
        State.SetIterationTime(ns * 1e-9);
    }
    std::sort(samples.begin(), samples.end());
    State.counters["median_ns"] = samples[samples.size() / 2];
    State.counters["p99_ns"] = samples[samples.size() * 99 / 100];
}

void ClockOnly(benchmark::State& State) {
    TimeEachCall(State, [](int i) { benchmark::DoNotOptimize(i); });
}

const QString Message = QStringLiteral("TOfflineViewerEdge.DoNavigate: Navigating to http://localhost:1030/viewer/start");

void AddToLogAccepted(benchmark::State& State) {
    BenchFolder();
    AddToLog(QStringLiteral("warm-up"));  // creates the controller and its writer outside the timing
    TimeEachCall(State, [](int) { AddToLog(Message); });
}

void AddToLogDropped(benchmark::State& State) {
    BenchFolder();
    AddToLog(QStringLiteral("warm-up"));
    TimeEachCall(State, [](int) {
        AddToLog(TMessageLogType::tmlDebug, TLogChannel::lcImport, QString(), false, Message);
    });
}

void SpdlogAsyncAccepted(benchmark::State& State) {
    static std::shared_ptr<spdlog::logger> logger = [] {
        spdlog::init_thread_pool(8192, 1);
        return spdlog::create_async<spdlog::sinks::basic_file_sink_mt>(
            "bench", (BenchFolder().path() + QStringLiteral("/spdlog.log")).toStdString());
    }();
    const std::string message = Message.toStdString();
    TimeEachCall(State, [&](int) { logger->info(message); });
}

void SpdlogAsyncDropped(benchmark::State& State) {
    static std::shared_ptr<spdlog::logger> logger = [] {
        auto created = spdlog::create_async<spdlog::sinks::basic_file_sink_mt>(
            "bench-dropped", (BenchFolder().path() + QStringLiteral("/spdlog-dropped.log")).toStdString());
        created->set_level(spdlog::level::info);
        return created;
    }();
    const std::string message = Message.toStdString();
    TimeEachCall(State, [&](int) { logger->debug(message); });
}

// The writer's side: lines per second into the log folder.
void WriterLinePerCall(benchmark::State& State) {
    const QString folder = BenchFolder().path() + QStringLiteral("/writer-single");
    QDir().mkpath(folder);
    auto settings = TBLDataObjectsFactory::CreateDefaultFileLoggerSettings();
    settings->SetLogFolder(folder);
    TBLFileLogger logger(settings);
    const QString line = TBLLoggingHelper::LogEntryToString(TBLDataObjectsFactory::CreateLogEntry(Message));
    for (auto _ : State)
        logger.WriteLine(line);  // probe, open, write, close for every line
    State.SetItemsProcessed(State.iterations());
}

void WriterBatch(benchmark::State& State) {
    const QString folder = BenchFolder().path() + QStringLiteral("/writer-batch");
    QDir().mkpath(folder);
    auto settings = TBLDataObjectsFactory::CreateDefaultFileLoggerSettings();
    settings->SetLogFolder(folder);
    TBLFileLogger logger(settings);
    const QString line = TBLLoggingHelper::LogEntryToString(TBLDataObjectsFactory::CreateLogEntry(Message));
    const QStringList batch(static_cast<qsizetype>(State.range(0)), line);
    for (auto _ : State)
        logger.WriteLines(batch);  // one probe and one open per batch
    State.SetItemsProcessed(State.iterations() * State.range(0));
}

}  // namespace

BENCHMARK(ClockOnly)->UseManualTime()->Iterations(CallsPerRun);
BENCHMARK(AddToLogAccepted)->UseManualTime()->Iterations(CallsPerRun);
BENCHMARK(SpdlogAsyncAccepted)->UseManualTime()->Iterations(CallsPerRun);
BENCHMARK(AddToLogDropped)->UseManualTime()->Iterations(CallsPerRun);
BENCHMARK(SpdlogAsyncDropped)->UseManualTime()->Iterations(CallsPerRun);
BENCHMARK(WriterLinePerCall)->Unit(benchmark::kMicrosecond)->MinTime(2.0);
BENCHMARK(WriterBatch)->Arg(64)->Arg(1024)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// A process with its own, fresh process-wide log. The scenario is the first argument; facts for the
// test are printed to standard output as "key=value" lines. The environment (registry root,
// ProgramData) comes from the calling test.
#include <QDir>
#include <QString>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <stdexcept>
#include <thread>
#include <vector>

#include "logging/BLBaseClasses.h"
#include "logging/BLLogging.h"
#include "util/Exception.h"

namespace {

int ThreadCount() { return static_cast<int>(QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()); }

void PrintState() {
    TBLLogController* controller = LogController();
    std::printf("active=%d\nstarted=%d\nthreads=%d\n", controller && controller->LoggingActive() ? 1 : 0,
                controller && controller->Started() ? 1 : 0, ThreadCount());
    std::fflush(stdout);
}

class TProbeController : public TBLBaseLoggingObject {};

[[noreturn]] void ThrowAtSiteA(int Round) { throw std::runtime_error("site A " + std::to_string(Round)); }
[[noreturn]] void ThrowAtSiteB(int Round) { throw EStreamError(QStringLiteral("site B %1").arg(Round)); }

}  // namespace

int main(int argc, char** argv) {
    const QString scenario = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    const int count = argc > 2 ? std::atoi(argv[2]) : 0;
    const int threads = argc > 3 ? std::atoi(argv[3]) : 0;

    if (scenario == QLatin1String("state")) {
        AddToLog(QStringLiteral("probe"));
        PrintState();
    } else if (scenario == QLatin1String("lines")) {
        for (int i = 0; i < count; ++i)
            AddToLog(QStringLiteral("line %1").arg(i));
        AddToLog(TMessageLogType::tmlDebug, TLogChannel::lcApplication, QString(), false, QStringLiteral("debug line"));
        PrintState();
    } else if (scenario == QLatin1String("stress")) {
        // Each thread numbers its own lines so the test can check order and completeness.
        std::vector<std::thread> workers;
        std::atomic<bool> go{false};
        for (int t = 0; t < threads; ++t)
            workers.emplace_back([t, count, &go] {
                while (!go.load())
                    std::this_thread::yield();
                for (int n = 0; n < count; ++n)
                    AddToLog(QStringLiteral("stress T%1 N%2").arg(t).arg(n));
            });
        go.store(true);
        for (auto& worker : workers)
            worker.join();
        PrintState();
    } else if (scenario == QLatin1String("throw")) {
        TBLVectoredExceptionHandler::InitializeExceptionHandler();
        // Same site twice in a row: logged once. Then alternating sites: each logged.
        for (int round = 0; round < 2; ++round)
            try { ThrowAtSiteA(round); } catch (const std::exception&) {}
        for (int round = 0; round < 2; ++round) {
            try { ThrowAtSiteB(round); } catch (const Exception&) {}
            try { ThrowAtSiteA(round + 10); } catch (const std::exception&) {}
        }
        TBLVectoredExceptionHandler::FinalizeExceptionHandler();
        PrintState();
    } else if (scenario == QLatin1String("crash")) {
        TBLVectoredExceptionHandler::InitializeExceptionHandler();
        for (int i = 0; i < count; ++i)
            AddToLog(QStringLiteral("before crash %1").arg(i));
        PrintState();
        std::raise(SIGSEGV);
    } else if (scenario == QLatin1String("base")) {
        TProbeController probe;
        probe.LogWorkflow(QStringLiteral("Run"), QStringLiteral(">"));
        probe.LogError(QStringLiteral("Run"), QStringLiteral("without trace"), false);
        probe.LogError(QStringLiteral("Run"), QStringLiteral("with trace"), true);
        PrintState();
    } else {
        std::fprintf(stderr, "unknown scenario\n");
        return 2;
    }
    FinalizeLogging();
    return 0;
}

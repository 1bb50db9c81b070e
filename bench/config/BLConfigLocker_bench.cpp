// How long the project-file lock takes to query and take, and how soon a watcher reports a change
// made by another locker (it polls every 100 ms, so about 50 ms are expected on average).
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <atomic>

#include "config/BL.Config.Locker.h"

namespace {

// The lock and its threads log, and the first log call writes default settings to the registry:
// registry, log folder and temporary files go to one folder of the program's own, never the home folder.
void UsePrivateFolders() {
    static QTemporaryDir folder = [] {
        QTemporaryDir dir;
        for (const char* name : {"BL_REGISTRY_ROOT", "BL_PROGRAMDATA", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "TMPDIR"})
            qputenv(name, (dir.path() + QLatin1Char('/') + QLatin1String(name)).toUtf8());
        return dir;
    }();
}

QCoreApplication& App() {
    static int argc = 1;
    static char name[] = "config_bench";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing it down among the program's statics at exit is not safe.
    static QCoreApplication* app = new QCoreApplication(argc, argv);
    return *app;
}

class TCountingNotifyer : public IConfigLockChangedNotifyer {
public:
    void LockedByOther(const TLockInfo&) override { ++Changes; }
    void LockReleased() override { ++Changes; }
    std::atomic<int> Changes{0};
};

void BM_IsLockedByOtherFree(benchmark::State& State) {
    UsePrivateFolders();
    QTemporaryDir dir;
    auto locker = TFileConfigLocker::Create(dir.filePath(QStringLiteral("Etk.blk")), nullptr);
    TLockInfo info;
    for (auto _ : State)
        benchmark::DoNotOptimize(locker->IsLockedByOther(info));
}
BENCHMARK(BM_IsLockedByOtherFree);

void BM_IsLockedByOtherHeld(benchmark::State& State) {
    UsePrivateFolders();
    QTemporaryDir dir;
    const QString blk = dir.filePath(QStringLiteral("Etk.blk"));
    auto holder = TFileConfigLocker::Create(blk, nullptr);
    auto locker = TFileConfigLocker::Create(blk, nullptr);
    if (!holder->Lock()) {
        State.SkipWithError("cannot lock");
        return;
    }
    TLockInfo info;
    for (auto _ : State)
        benchmark::DoNotOptimize(locker->IsLockedByOther(info));
}
BENCHMARK(BM_IsLockedByOtherHeld);

void BM_LockUnlock(benchmark::State& State) {
    UsePrivateFolders();
    QTemporaryDir dir;
    auto locker = TFileConfigLocker::Create(dir.filePath(QStringLiteral("Etk.blk")), nullptr);
    for (auto _ : State) {
        benchmark::DoNotOptimize(locker->Lock());
        benchmark::DoNotOptimize(locker->Unlock());
    }
}
BENCHMARK(BM_LockUnlock);

// From another locker's Lock (or Unlock) to the notification on this thread.
void BM_WatcherNotificationLatency(benchmark::State& State) {
    UsePrivateFolders();
    App();
    QTemporaryDir dir;
    const QString blk = dir.filePath(QStringLiteral("Etk.blk"));
    TCountingNotifyer notifyer;
    auto watched = TFileConfigLocker::Create(blk, &notifyer);
    auto other = TFileConfigLocker::Create(blk, nullptr);
    watched->SetNeedLockChangedNotifications(true);
    if (!watched->LockWatcher()->WaitForStarted(5000)) {
        State.SkipWithError("watcher did not start");
        return;
    }
    bool held = false;
    for (auto _ : State) {
        const int before = notifyer.Changes.load();
        QElapsedTimer timer;
        timer.start();
        // The watcher's probe holds the file for a moment; a Lock that meets it is tried again.
        bool changed = false;
        while (!changed && timer.elapsed() < 5000)
            changed = held ? other->Unlock() : other->Lock();
        held = !held;
        while (changed && notifyer.Changes.load() == before && timer.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        if (!changed || notifyer.Changes.load() == before) {
            State.SkipWithError("no change or no notification within 5 s");
            break;
        }
        State.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
    watched->SetNeedLockChangedNotifications(false);
}
BENCHMARK(BM_WatcherNotificationLatency)->UseManualTime()->Iterations(40)->Unit(benchmark::kMillisecond);

}  // namespace

// Plays another process that edits the project: "lockowner BLKFILE" takes the project-file lock, prints
// "locked" (or "failed" and ends with 3), then obeys lines on standard input: "unlock" prints
// "unlocked", "lock" prints "locked" or "failed". It ends when its input closes or it is killed.
// "lockowner BLKFILE race COUNT MARKER" contends COUNT times with its siblings: it probes, locks, and
// while it holds the lock creates MARKER exclusively (a sibling holding the lock as well finds it
// there), then prints "done <locks taken> <overlaps>".
#include <QFile>
#include <QString>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "config/BL.Config.Locker.h"

namespace {
void Say(const char* Text) {
    std::printf("%s\n", Text);
    std::fflush(stdout);
}
}  // namespace

int Race(const QString& BlkFile, int Count, const QString& Marker) {
    const std::shared_ptr<IConfigLocker> locker = TFileConfigLocker::Create(BlkFile, nullptr);
    int taken = 0;
    int overlaps = 0;
    TLockInfo info;
    for (int round = 0; round < Count; ++round) {
        locker->IsLockedByOther(info);
        if (!locker->Lock())
            continue;
        ++taken;
        QFile marker(Marker);
        if (marker.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            marker.close();
            QFile::remove(Marker);
        } else {
            ++overlaps;
        }
        locker->Unlock();
    }
    std::printf("done %d %d\n", taken, overlaps);
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 5 && std::strcmp(argv[2], "race") == 0)
        return Race(QString::fromLocal8Bit(argv[1]), std::atoi(argv[3]), QString::fromLocal8Bit(argv[4]));
    if (argc != 2) {
        std::fprintf(stderr, "usage: lockowner BLKFILE\n");
        return 2;
    }
    const std::shared_ptr<IConfigLocker> locker = TFileConfigLocker::Create(QString::fromLocal8Bit(argv[1]), nullptr);
    if (!locker->Lock()) {
        Say("failed");
        return 3;
    }
    Say("locked");
    char line[64];
    while (std::fgets(line, sizeof line, stdin)) {
        if (std::strncmp(line, "unlock", 6) == 0)
            Say(locker->Unlock() ? "unlocked" : "failed");
        else if (std::strncmp(line, "lock", 4) == 0)
            Say(locker->Lock() ? "locked" : "failed");
    }
    return 0;
}

// Plays another process that edits the project: "lockowner BLKFILE" takes the project-file lock, prints
// "locked" (or "failed" and ends with 3), then obeys lines on standard input: "unlock" prints
// "unlocked", "lock" prints "locked" or "failed". It ends when its input closes or it is killed.
#include <QString>
#include <cstdio>
#include <cstring>
#include <memory>

#include "config/BL.Config.Locker.h"

namespace {
void Say(const char* Text) {
    std::printf("%s\n", Text);
    std::fflush(stdout);
}
}  // namespace

int main(int argc, char** argv) {
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

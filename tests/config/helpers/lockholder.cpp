// Plays another process that holds a file: "lockholder FILE read|write|semaphore" takes the lock,
// prints "locked" and keeps it until its standard input closes or it is killed.
#include <QString>
#include <cstdio>
#include <cstring>

#include "errors/EtkTypes.h"
#include "platform/FileLock.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: lockholder FILE read|write|semaphore\n");
        return 2;
    }
    const QString fileName = QString::fromLocal8Bit(argv[1]);
    const char* mode = argv[2];
    Platform::TLockedFile file;
    bool semaphore = false;
    try {
        if (std::strcmp(mode, "read") == 0)
            file = OpenFileWaitForLock(fileName, TOpenFileMode::ofmRead, false);
        else if (std::strcmp(mode, "write") == 0)
            file = OpenFileWaitForLock(fileName, TOpenFileMode::ofmReadWrite, false);
        else if (std::strcmp(mode, "semaphore") == 0)
            semaphore = Platform::TSystemSemaphore::Instance().Acquire(std::chrono::seconds(10));
        else
            return 2;
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    if (std::strcmp(mode, "semaphore") == 0 && !semaphore)
        return 3;
    std::printf("locked\n");
    std::fflush(stdout);
    int c;
    while ((c = std::getchar()) != EOF) {
    }
    if (semaphore)
        Platform::TSystemSemaphore::Instance().Release();
    return 0;
}

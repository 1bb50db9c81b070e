// Prints what the platform layer knows about the running executable, one "key=value" per line, so a
// test can run it under another name and through a symbolic link.
#include "platform/KnownFolders.h"

#include <cstdio>

int main() {
    const auto print = [](const char* Key, const QString& Value) {
        std::printf("%s=%s\n", Key, Value.toUtf8().constData());
    };
    print("ExecutableFilePath", Platform::ExecutableFilePath());
    print("ExecutableFolder", Platform::ExecutableFolder());
    print("ExecutableFileName", Platform::ExecutableFileName());
    print("ExecutableBaseName", Platform::ExecutableBaseName());
    return 0;
}

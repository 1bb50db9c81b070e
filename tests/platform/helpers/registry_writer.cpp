// Writes Count string values "<Prefix><n>" = "<n>" into one HKEY_CURRENT_USER key, checking after
// each write that every value it wrote before is still there. Exit 0 when all went well.
#include "platform/Registry.h"

#include <QString>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: registry_writer KEY PREFIX COUNT\n");
        return 2;
    }
    const QString key = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = std::atoi(argv[3]);
    for (int i = 0; i < count; ++i) {
        Platform::TRegistry registry;
        if (Platform::TRegResult result = registry.OpenKey(key, true); !result) {
            std::fprintf(stderr, "open: %s\n", qPrintable(result.ErrorText));
            return 1;
        }
        if (Platform::TRegResult result = registry.WriteString(prefix + QString::number(i), QString::number(i)); !result) {
            std::fprintf(stderr, "write: %s\n", qPrintable(result.ErrorText));
            return 1;
        }
        for (int j = 0; j <= i; ++j) {
            if (registry.ReadString(prefix + QString::number(j)) != QString::number(j)) {
                std::fprintf(stderr, "value %s%d lost after write %d\n", qPrintable(prefix), j, i);
                return 1;
            }
        }
    }
    return 0;
}

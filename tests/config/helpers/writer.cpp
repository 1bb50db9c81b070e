// Plays a process of the system that writes its own keys: "writer FILE PREFIX COUNT [PADDING]"
// makes COUNT write-throughs of PREFIX\K<n> (each value PADDING characters longer than its number),
// printing "wrote <n>" after each; exit 0 when all succeeded, 3 with the error otherwise.
#include <QString>
#include <cstdio>

#include "config/EtkConfigFastDomXml.h"
#include "util/Exception.h"

int main(int argc, char** argv) {
    if (argc < 4)
        return 2;
    const QString fileName = QString::fromLocal8Bit(argv[1]);
    const QString prefix = QString::fromLocal8Bit(argv[2]);
    const int count = QString::fromLocal8Bit(argv[3]).toInt();
    const int padding = argc > 4 ? QString::fromLocal8Bit(argv[4]).toInt() : 0;
    try {
        TEtkConfigXMLFast store;
        store.SetFileName(fileName);
        for (int i = 0; i < count; ++i) {
            store.WriteString(QStringLiteral("%1\\K%2").arg(prefix).arg(i), QString::number(i) + QString(padding, QLatin1Char('x')));
            std::printf("wrote %d\n", i);
            std::fflush(stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 3;
    }
    return 0;
}

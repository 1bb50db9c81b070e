// Plays a process that reads a configuration file in a loop while others write it: "reader FILE"
// reads until its standard input closes, each round once through a fresh store and once as raw bytes
// without any lock; prints "rounds <n> failures <m>" and exits 0 when nothing failed to parse.
#include <QFile>
#include <QSocketNotifier>
#include <QString>
#include <atomic>
#include <cstdio>
#include <poll.h>
#include <unistd.h>

#include "config/EtkConfigFastDomXml.h"
#include "config/FastBLKReader.h"
#include "util/Exception.h"

namespace {

bool InputClosed() {
    pollfd input{STDIN_FILENO, POLLIN, 0};
    if (::poll(&input, 1, 0) <= 0)
        return false;
    char buffer[64];
    return ::read(STDIN_FILENO, buffer, sizeof buffer) <= 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    const QString fileName = QString::fromLocal8Bit(argv[1]);
    int rounds = 0;
    int failures = 0;
    std::printf("reading\n");
    std::fflush(stdout);
    while (!InputClosed()) {
        ++rounds;
        try {
            TEtkConfigXMLFast store;
            store.SetFileName(fileName);
            store.ReadKeys(QString());
        } catch (const std::exception& e) {
            ++failures;
            std::fprintf(stderr, "store: %s\n", e.what());
        }
        QFile file(fileName);
        if (file.open(QIODevice::ReadOnly)) {
            TBLKConnector tree;
            QStringList errors;
            if (!tree.LoadFromStream(file.readAll(), errors)) {
                ++failures;
                std::fprintf(stderr, "raw: %s\n", errors.join(QLatin1String("; ")).toUtf8().constData());
            }
        }
    }
    std::printf("rounds %d failures %d\n", rounds, failures);
    return failures == 0 ? 0 : 1;
}

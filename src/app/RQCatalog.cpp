// RQCatalog: program entry of the catalogue launcher.
#include <QApplication>
#include <QStringList>

#include <vector>

#include "app/InterimLauncher.h"
#include "platform/ProcessInfo.h"

int main(int argc, char** argv) {
    // Our own arguments go to the catalogue, untouched by Qt's option parsing.
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));

    std::vector<char*> qtArgs{argv[0]};
    // The browser engine refuses to start as root unless its sandbox is switched off; it reads
    // engine switches only after the marker "--webEngineArgs".
    char engineArgs[] = "--webEngineArgs";
    char noSandbox[] = "--no-sandbox";
    if (Platform::IsElevated()) {
        qtArgs.push_back(engineArgs);
        qtArgs.push_back(noSandbox);
    }
    qtArgs.push_back(nullptr);
    int qtArgc = static_cast<int>(qtArgs.size()) - 1;

    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(qtArgc, qtArgs.data());
    QApplication::setApplicationName(QStringLiteral("RQCatalog"));
    QApplication::setQuitOnLastWindowClosed(false);  // the launcher decides when to end

    TInterimLauncher launcher(arguments);
    if (!launcher.Start())
        return launcher.ExitCode();
    const int code = QApplication::exec();
    // Exit statuses are 0..255 on Linux; -1 becomes 255.
    return code & 0xFF;
}

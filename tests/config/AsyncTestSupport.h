// AsyncTestSupport.h: the application object that queued signals and deferred deletion need in the
// configuration tests (the suite runs on GoogleTest's own main).
#pragma once
#include <QCoreApplication>

inline void EnsureCoreApplication() {
    if (QCoreApplication::instance())
        return;
    static int argc = 1;
    static char name[] = "config_tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: tearing it down among the program's statics at exit is not safe.
    new QCoreApplication(argc, argv);
}

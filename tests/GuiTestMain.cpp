// Test entry for suites that need a QApplication (widgets, the browser engine).
#include <QApplication>
#include <gtest/gtest.h>
#include <unistd.h>

int main(int argc, char** argv) {
    // Test discovery runs this binary at build time, outside any X server: without a display the
    // tests render offscreen (the engine renders there too). Real-window tests run under xvfb-run.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // The engine refuses to start as root with its sandbox on; Qt 6.4 reads the switch from the
    // environment (a bare --no-sandbox argument is ignored unless it follows --webEngineArgs).
    if (geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    ::testing::InitGoogleTest(&argc, argv);
    QApplication app(argc, argv);
    return RUN_ALL_TESTS();
}

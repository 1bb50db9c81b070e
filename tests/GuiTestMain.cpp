// Test entry for suites that need a QApplication (widgets, the browser engine).
#include <QApplication>
#include <gtest/gtest.h>
#include <unistd.h>

#include <vector>

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    // The engine refuses to start as root without its sandbox switched off.
    std::vector<char*> args(argv, argv + argc);
    char noSandbox[] = "--no-sandbox";
    if (geteuid() == 0)
        args.push_back(noSandbox);
    int qtArgc = static_cast<int>(args.size());
    QApplication app(qtArgc, args.data());
    return RUN_ALL_TESTS();
}

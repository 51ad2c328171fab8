#include <gtest/gtest.h>

#include <QApplication>

// Widget tests need a QApplication before any test runs. They run offscreen, also when the
// build lists the cases, which it does without ctest's environment.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

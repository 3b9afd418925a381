#include <gtest/gtest.h>

#include <QApplication>
#include <clocale>

// Widget tests run on the offscreen platform unless the caller chose another one.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    std::setlocale(LC_NUMERIC, "C");  // as the program does once the application is up
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

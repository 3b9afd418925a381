#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

// Runs the program's benchmarks in a QApplication, on the offscreen platform unless
// QT_QPA_PLATFORM names another; prepare, when given, runs once the application exists.
inline int runOffscreenBenchmarks(int argc, char** argv, void (*prepare)() = nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    if (prepare != nullptr) {
        prepare();
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

#include "app/ui/report_command.h"

#include <unistd.h>
#include <QGuiApplication>

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "recording/data_files.h"
#include "recording/table_store.h"
#include "recording/ui/report_painter.h"

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern report IN OUT.pdf\n"
                 "Loads the data file IN (tab-separated text, or the XML data packet for a name\n"
                 "ending in .xml) and writes its printed report, A4 portrait, to OUT.pdf.\n");
}

}  // namespace

int runReportCommand(int argc, char** argv) {
    std::string in;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printUsage(stdout);
            return 0;
        }
        if (in.empty()) {
            in = arg;
        } else if (out.empty()) {
            out = arg;
        } else {
            printUsage(stderr);
            return 2;
        }
    }
    if (in.empty() || out.empty()) {
        printUsage(stderr);
        return 2;
    }

    TableStore table;
    const FileOutcome loaded = LoadDataFile(in, table, false);
    if (!loaded.ok) {
        std::fprintf(stderr, "halvern report: %s (%s)\n", loaded.message.c_str(), in.c_str());
        return 1;
    }
    if (table.empty()) {
        std::fprintf(stderr, "halvern report: %s holds no rows, so there is nothing to print\n",
                     in.c_str());
        return 1;
    }

    // Fonts and the PDF writer need a GUI application, but never a display.
    std::unique_ptr<QGuiApplication> app;
    if (QCoreApplication::instance() == nullptr) {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
            qputenv("QT_QPA_PLATFORM", "offscreen");
        }
        static int appArgc = 1;
        static char appName[] = "halvern";
        static char* appArgv[] = {appName, nullptr};
        app = std::make_unique<QGuiApplication>(appArgc, appArgv);
    }
    // Progress on a terminal only: a page count per line would flood a log.
    const bool showProgress = ::isatty(STDERR_FILENO) == 1;
    const auto progress = [](std::size_t done, std::size_t total) {
        if (done == total || done % 64 == 0) {
            std::fprintf(stderr, "\rpage %zu of %zu", done, total);
            if (done == total) {
                std::fputc('\n', stderr);
            }
        }
        return true;
    };
    const QString error = ReportPainter::renderPdf(
        table, QString::fromLocal8Bit(out.c_str()), table.rowCount(),
        showProgress ? ReportPainter::ProgressFn(progress) : ReportPainter::ProgressFn());
    if (!error.isEmpty()) {
        std::fprintf(stderr, "halvern report: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    std::printf("%zu rows on %d pages written to %s\n", table.rowCount(),
                ReportPainter::pageCount(table.rowCount()), out.c_str());
    return 0;
}

// halvern stats FILE: the statistics of a data file's readings per quantity, as the window's
// "Statistics..." shows them, tab-separated on standard output.
#include <cstdio>
#include <string>
#include <string_view>

#include "app/cli/commands.h"
#include "recording/data_files.h"
#include "recording/table_statistics.h"
#include "recording/table_store.h"

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern stats FILE\n"
                 "Prints, for each quantity and unit of the data file FILE (.xml, .csv or\n"
                 "tab-separated text), the count of values, minimum, maximum, mean, sample\n"
                 "standard deviation, first and last time, duration in seconds and overloads:\n"
                 "a header line, then one tab-separated line per quantity, values in SI units.\n");
}

}  // namespace

int runStatsCommand(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 2 || std::string_view(argv[1]).empty() || argv[1][0] == '-') {
        printUsage(stderr);
        return 2;
    }
    const std::string name = argv[1];
    TableStore table;
    const FileOutcome loaded = LoadDataFile(name, table, false);
    if (!loaded.ok) {
        // As convert says it: the window's message, then why.
        std::fprintf(stderr, "halvern stats: %s: %s (%s)\n", name.c_str(), loaded.message.c_str(),
                     loaded.reason.c_str());
        return 1;
    }
    TableStatistics stats(table);
    stats.add(0, table.rowCount());
    const std::string text = stats.text();
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() ||
        std::fflush(stdout) != 0) {
        std::perror("halvern stats: standard output");
        return 1;
    }
    return 0;
}

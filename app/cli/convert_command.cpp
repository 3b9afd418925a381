#include <cstdio>
#include <string>
#include <string_view>

#include "app/cli/commands.h"
#include "recording/data_files.h"
#include "recording/table_store.h"

namespace {

void printUsage(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern convert IN OUT\n"
                 "Loads the data file IN and saves its rows as OUT. The name chooses the format:\n"
                 "  .xml    the XML data packet\n"
                 "  .csv    CSV for analysis (ISO 8601 times, SI values; UTF-8, RFC 4180); a .csv\n"
                 "          that holds tab-separated text loads as such\n"
                 "  .jsonl  JSON Lines, one object per row (written only)\n"
                 "  other   tab-separated text (.xls, .txt, ...)\n");
}

}  // namespace

int runConvertCommand(int argc, char** argv) {
    if (argc == 2 && (std::string_view(argv[1]) == "--help" || std::string_view(argv[1]) == "-h")) {
        printUsage(stdout);
        return 0;
    }
    if (argc != 3 || std::string_view(argv[1]).empty() || std::string_view(argv[2]).empty() ||
        argv[1][0] == '-' || argv[2][0] == '-') {
        printUsage(stderr);
        return 2;
    }
    TableStore table;
    const FileOutcome loaded = LoadDataFile(argv[1], table, false);
    if (!loaded.ok) {
        // The window's message, with the file it is about: two files are named on the line.
        std::fprintf(stderr, "halvern convert: %s: %s (%s)\n", argv[1], loaded.message.c_str(),
                     loaded.reason.c_str());
        return 1;
    }
    const FileOutcome saved = saveTable(table, argv[2]);
    if (!saved.ok) {
        std::fprintf(stderr, "%s: %s\n", saved.message.c_str(), saved.reason.c_str());
        return 1;
    }
    return 0;
}

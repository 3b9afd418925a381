#include "app/cli/command_line.h"

#include <cstdio>
#include <string_view>

#include "app/cli/commands.h"

namespace {

void printUsage(std::FILE* out, const std::vector<Command>& extra) {
    std::fprintf(out,
                 "usage: halvern [OPTIONS]            start the program's window\n"
                 "         --port COMn=PATH            COMn is the device PATH (repeatable)\n"
                 "         --demo                      a simulated meter as COM1\n"
                 "         --connect                   press \"COM Connect\" at start\n"
                 "         --usb-connect               press \"USB Connect \" at start\n"
                 "         --sysfs-root DIR            look for the USB bridge there (and\n"
                 "         --dev-root DIR              its device node), not in /sys, /dev\n"
                 "       halvern decode [--trace] [--decimal-separator S] [--no-repeat]\n"
                 "                      [--record-limit N] [--save FILE] [INPUT]\n"
                 "                      [--link serial|usb-bridge]\n"
                 "       halvern convert IN OUT\n"
                 "       halvern simulate [--pty] [--rate HZ] [--frames N]\n"
                 "       halvern log --port PATH [--save FILE] [--duration SECONDS] [--frames N]\n"
                 "                   [--no-repeat] [--record-limit N] [--capture FILE]\n"
                 "       halvern log --usb-bridge [the options of log --port]\n"
                 "       halvern hid list [--sysfs-root DIR] [--dev-root DIR]\n");
    for (const Command& c : extra) {
        std::fprintf(out, "       halvern %.*s ...\n", static_cast<int>(c.name.size()),
                     c.name.data());
    }
    std::fprintf(out, "Each subcommand explains itself with --help.\n");
}

}  // namespace

int runCommandLine(int argc, char** argv, const WindowStarter& startWindow,
                   const std::vector<Command>& extraCommands) {
    static const Command builtIn[] = {
        {"decode", runDecodeCommand},     {"convert", runConvertCommand},
        {"simulate", runSimulateCommand}, {"log", runLogCommand},
        {"hid", runHidCommand},
    };
    if (argc >= 2) {
        const std::string_view name = argv[1];
        for (const Command& c : builtIn) {
            if (c.name == name) {
                return c.run(argc - 1, argv + 1);
            }
        }
        for (const Command& c : extraCommands) {
            if (c.name == name) {
                return c.run(argc - 1, argv + 1);
            }
        }
        if (name == "--help" || name == "-h" || name == "help") {
            printUsage(stdout, extraCommands);
            return 0;
        }
    }
    if (startWindow) {
        return startWindow(argc, argv);
    }
    printUsage(stderr, extraCommands);
    return 2;
}

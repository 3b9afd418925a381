#include "app/cli/command_line.h"

#include <cstdio>
#include <initializer_list>
#include <string>
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
                 "         --sysfs-root DIR            look for the USB bridge and the HID\n"
                 "         --dev-root DIR              cables there, not in /sys, /dev\n"
                 "       halvern decode [--link serial|usb-bridge|hid] [--trace]\n"
                 "                      [--decimal-separator S] [--no-repeat] [--record-limit N]\n"
                 "                      [--save FILE] [INPUT]\n"
                 "       halvern convert IN OUT\n"
                 "       halvern stats FILE\n"
                 "       halvern simulate [--pty] [--rate HZ] [--frames N]\n"
                 "       halvern log --port PATH [--save FILE] [--duration SECONDS] [--frames N]\n"
                 "                   [--no-repeat] [--record-limit N] [--capture FILE]\n"
                 "       halvern log --usb-bridge [the options of log --port]\n"
                 "       halvern log --hid [the options of log --port]\n"
                 "       halvern hid list [--sysfs-root DIR] [--dev-root DIR]\n"
                 "       halvern recover [--save FILE [--session ID] | --discard ID]\n"
                 "       halvern doctor [--sysfs-root DIR] [--dev-root DIR]\n");
    for (const Command& c : extra) {
        const std::string_view synopsis = c.synopsis.empty() ? "..." : c.synopsis;
        std::fprintf(out, "       halvern %.*s %.*s\n", static_cast<int>(c.name.size()),
                     c.name.data(), static_cast<int>(synopsis.size()), synopsis.data());
    }
    std::fprintf(out,
                 "       halvern --version             print the version\n"
                 "       halvern --help                print this help\n");
    std::fprintf(out, "Each subcommand explains itself with --help.\n");
}

// What is wrong with the window's command line: "unexpected argument \"x\"" for the first word
// that is neither an option nor an option's value, "unknown option \"--x\"" for an option that
// neither the window nor the toolkit knows; empty when nothing is. The toolkit's own options
// (-platform NAME, -style NAME, ...) and the window's (--port, --sysfs-root, --dev-root) take the
// word after them.
std::string windowArgumentProblem(int argc, char** argv) {
    static constexpr std::string_view kTakesValue[] = {"port",
                                                       "sysfs-root",
                                                       "dev-root",
                                                       "platform",
                                                       "platformpluginpath",
                                                       "platformtheme",
                                                       "plugin",
                                                       "qmljsdebugger",
                                                       "style",
                                                       "stylesheet",
                                                       "session",
                                                       "display",
                                                       "geometry",
                                                       "title",
                                                       "name",
                                                       "qwindowgeometry",
                                                       "qwindowtitle",
                                                       "qwindowicon",
                                                       "font",
                                                       "fn",
                                                       "bg",
                                                       "background",
                                                       "fg",
                                                       "foreground",
                                                       "btn",
                                                       "button",
                                                       "visual",
                                                       "ncols",
                                                       "cmap",
                                                       "im",
                                                       "inputstyle"};
    // The window's switches, then the toolkit's.
    static constexpr std::string_view kSwitches[] = {"demo",    "connect",     "usb-connect",
                                                     "reverse", "widgetcount", "nograb",
                                                     "dograb",  "sync",        "testability"};
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg.empty() || arg.front() != '-' || arg == "-") {
            return "unexpected argument \"" + std::string(arg) + "\"";
        }
        arg.remove_prefix(arg.starts_with("--") ? 2 : 1);
        const std::size_t equals = arg.find('=');
        const std::string_view option = arg.substr(0, equals);
        bool known = false;
        for (std::string_view o : kTakesValue) {
            if (option == o) {
                known = true;
                if (equals == std::string_view::npos) {
                    ++i;  // its value
                }
                break;
            }
        }
        for (std::string_view o : kSwitches) {
            known = known || (option == o && equals == std::string_view::npos);
        }
        if (!known) {
            return "unknown option \"" + std::string(argv[i]) + "\"";
        }
    }
    return {};
}

bool anyArgumentIs(int argc, char** argv, std::initializer_list<std::string_view> names) {
    for (int i = 1; i < argc; ++i) {
        for (std::string_view name : names) {
            if (argv[i] == name) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

const char* programVersion() {
    return HALVERN_VERSION;
}

int runCommandLine(int argc, char** argv, const WindowStarter& startWindow,
                   const std::vector<Command>& extraCommands) {
    static const Command builtIn[] = {
        {"decode", runDecodeCommand},     {"convert", runConvertCommand},
        {"simulate", runSimulateCommand}, {"log", runLogCommand},
        {"hid", runHidCommand},           {"recover", runRecoverCommand},
        {"stats", runStatsCommand},       {"doctor", runDoctorCommand},
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
        // A word that names no subcommand is a mistyped one, not a reason to open the window.
        if (!name.empty() && name.front() != '-') {
            std::fprintf(stderr, "halvern: unknown command \"%s\"\n", argv[1]);
            printUsage(stderr, extraCommands);
            return 2;
        }
    }
    // Help and the version win over everything else on the window's command line.
    if (anyArgumentIs(argc, argv, {"--help", "-h"})) {
        printUsage(stdout, extraCommands);
        return 0;
    }
    if (anyArgumentIs(argc, argv, {"--version", "-V"})) {
        std::printf("halvern %s\n", programVersion());
        return 0;
    }
    if (const std::string problem = windowArgumentProblem(argc, argv); !problem.empty()) {
        std::fprintf(stderr, "halvern: %s\n", problem.c_str());
        printUsage(stderr, extraCommands);
        return 2;
    }
    if (startWindow) {
        return startWindow(argc, argv);
    }
    printUsage(stderr, extraCommands);
    return 2;
}

// halvern doctor: what stands between the user and the meter's cables, one line per finding,
// each problem with its fix. Opens nothing longer than a permission test, sends nothing.
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

#include "app/cli/cli_args.h"
#include "app/cli/commands.h"
#include "app/doctor/device_check.h"
#include "transport/device_roots.h"

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(out,
                 "usage: halvern doctor [--sysfs-root DIR] [--dev-root DIR]\n"
                 "Checks the serial ports, the USB bridge, the HID cable, ModemManager and\n"
                 "brltty, and prints one line per finding; each problem comes with its fix.\n"
                 "Exit status: 0 all is well, 1 something stands in the way, 2 bad usage.\n");
}

}  // namespace

int runDoctorCommand(int argc, char** argv) {
    DeviceRoots roots;
    if (const std::optional<int> status =
            takeDeviceRootsOnly(argc, argv, 1, "halvern doctor", printHelp, roots)) {
        return *status;
    }
    if (const std::optional<std::string> problem = deviceRootProblem(roots)) {
        std::fprintf(stderr, "halvern doctor: %s\n", problem->c_str());
        return 2;
    }
    DeviceCheckRoots checkRoots;
    checkRoots.sysfs = roots.sysfs;
    checkRoots.dev = roots.dev;
    const auto access = createNodeAccess();
    const auto findings = checkDevices(checkRoots, *access);
    std::fputs(formatFindings(findings).c_str(), stdout);
    return anyProblem(findings) ? 1 : 0;
}

// halvern hid list: the HID devices as the controller lists them, with the one the cable link
// would select, read from sysfs without opening any device.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/cli/cli_args.h"
#include "app/cli/commands.h"
#include "transport/device_roots.h"
#include "transport/hid/hid_backend.h"
#include "transport/hid/hid_device_caption.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/loop/event_loop.h"

namespace {

void printHelp(std::FILE* out) {
    std::fprintf(
        out,
        "usage: halvern hid list [--sysfs-root DIR] [--dev-root DIR]\n"
        "Lists the HID devices of the machine in the order the program keeps them, one line\n"
        "each, four columns separated by tabs:\n"
        "  *           for the device the HID cable link selects (the last one named exactly\n"
        "              \"USB to Serial\"), otherwise empty\n"
        "  caption     the product string, or \"Device VID=.... PID=....\" without one, then\n"
        "              \" (Serial=...)\" when the device has a serial number\n"
        "  node        the device node the program reads (/dev/hidrawN)\n"
        "  VID:PID     vendor and product identifiers, for example 1A86:E008\n"
        "No device is opened. Exits 0 also when there are no devices.\n"
        "  --sysfs-root DIR   the sysfs tree to read instead of /sys\n"
        "  --dev-root DIR     the folder of the device nodes instead of /dev\n");
}

// The caption in the program's 8-bit character set, as UTF-8 for the terminal.
std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x80) {
            out += ch;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

int listDevices(const DeviceRoots& roots) {
    if (const std::optional<std::string> problem = deviceRootProblem(roots)) {
        std::fprintf(stderr, "halvern hid list: %s\n", problem->c_str());
        return 2;
    }
    const std::unique_ptr<HidBackend> backend = createHidBackend(roots);
    const std::unique_ptr<HeadlessEventLoop> loop = createHeadlessEventLoop();
    TJvHidDeviceController controller(*backend, *loop);
    std::vector<std::string> captions;
    for (int i = 0; i < controller.Count(); ++i) {
        const TJvHidDevice& device = controller.Device(i);
        captions.push_back(DeviceCaption(device.QueryProductText(), device.QuerySerialText(),
                                         device.Attributes().VendorID,
                                         device.Attributes().ProductID));
    }
    const int selected = selectCableEntry(captions);
    for (int i = 0; i < controller.Count(); ++i) {
        const TJvHidDevice& device = controller.Device(i);
        std::printf("%s\t%s\t%s\t%04X:%04X\n", i == selected ? "*" : "",
                    latin1ToUtf8(captions[static_cast<std::size_t>(i)]).c_str(),
                    device.PnPInfo().InterfacePath.c_str(), unsigned{device.Attributes().VendorID},
                    unsigned{device.Attributes().ProductID});
    }
    return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int runHidCommand(int argc, char** argv) {
    if (argc < 2) {
        printHelp(stderr);
        return 2;
    }
    const std::string_view action = argv[1];
    if (action == "--help" || action == "-h" || action == "help") {
        printHelp(stdout);
        return 0;
    }
    if (action != "list") {
        std::fprintf(stderr, "halvern hid: unknown action '%s'\n", argv[1]);
        printHelp(stderr);
        return 2;
    }
    DeviceRoots roots;
    if (const std::optional<int> status =
            takeDeviceRootsOnly(argc, argv, 2, "halvern hid list", printHelp, roots)) {
        return *status;
    }
    return listDevices(roots);
}

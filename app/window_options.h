#pragma once

#include <optional>
#include <string>
#include <vector>

#include "transport/device_roots.h"
#include "transport/serial/port_map.h"

// The window's own options, taken out of its command line: every "--port COMn=PATH" (also
// "--port=COMn=PATH"), "--demo", "--sysfs-root DIR" and "--dev-root DIR". The remaining arguments
// (with argv[0] first) are kept in order for the toolkit and the window's other options.
struct WindowOptions {
    PortMap ports;
    bool demo = false;
    DeviceRoots roots;                 // where the USB bridge and HID cables are looked for
    std::vector<std::string> rest;     // argv[0] and everything not recognised
    std::optional<std::string> error;  // a bad --port; the window should not start
};

WindowOptions parseWindowOptions(int argc, char** argv);

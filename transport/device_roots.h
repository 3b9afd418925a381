#pragma once

#include <optional>
#include <string>

// Where the program looks for devices: the sysfs tree that describes them and the folder of their
// nodes. /sys and /dev on a real machine; tests and users point both at a prepared tree.
struct DeviceRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
};

// Takes "--sysfs-root DIR", "--dev-root DIR" (or "--sysfs-root=DIR", "--dev-root=DIR") at
// argv[i]. Returns true when argv[i] was such an option, with i left on its last argument; a
// missing or empty DIR sets error. Returns false, changing nothing, for any other argument.
bool takeDeviceRootOption(int argc, char** argv, int& i, DeviceRoots& roots,
                          std::optional<std::string>& error);

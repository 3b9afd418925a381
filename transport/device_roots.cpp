#include "transport/device_roots.h"

#include <string_view>

bool takeDeviceRootOption(int argc, char** argv, int& i, DeviceRoots& roots,
                          std::optional<std::string>& error) {
    const std::string_view arg = argv[i];
    for (auto [name, target] : {std::pair{std::string_view("--sysfs-root"), &roots.sysfs},
                                std::pair{std::string_view("--dev-root"), &roots.dev}}) {
        std::string_view value;
        if (arg == name) {
            if (i + 1 >= argc) {
                error = std::string(name) + " needs a folder";
                return true;
            }
            value = argv[++i];
        } else if (arg.size() > name.size() && arg.starts_with(name) && arg[name.size()] == '=') {
            value = arg.substr(name.size() + 1);
        } else {
            continue;
        }
        if (value.empty()) {
            error = std::string(name) + " needs a folder";
        } else {
            *target = std::string(value);
        }
        return true;
    }
    return false;
}

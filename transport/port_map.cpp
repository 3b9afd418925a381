#include "transport/port_map.h"

#include <cctype>

PortMap::PortMap() {
    for (int i = 0; i < kPortCount; ++i) {
        m_paths[i] = "/dev/ttyS" + std::to_string(i);
    }
}

std::optional<std::string> PortMap::assign(std::string_view assignment) {
    const auto bad = [&](std::string_view why) {
        return std::string("bad port mapping '") + std::string(assignment) +
               "': " + std::string(why) + " (expected COMn=PATH with n 1 to 4)";
    };
    const std::size_t eq = assignment.find('=');
    if (eq == std::string_view::npos) {
        return bad("no '='");
    }
    const std::string_view name = assignment.substr(0, eq);
    const std::string_view path = assignment.substr(eq + 1);
    if (name.size() != 4 || std::toupper(static_cast<unsigned char>(name[0])) != 'C' ||
        std::toupper(static_cast<unsigned char>(name[1])) != 'O' ||
        std::toupper(static_cast<unsigned char>(name[2])) != 'M' || name[3] < '1' ||
        name[3] > '4') {
        return bad("unknown port name");
    }
    if (path.empty()) {
        return bad("empty device path");
    }
    setPath(name[3] - '1', std::string(path));
    return std::nullopt;
}

WindowOptions parseWindowOptions(int argc, char** argv) {
    WindowOptions options;
    for (int i = 0; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (i > 0 && takeDeviceRootOption(argc, argv, i, options.roots, options.error)) {
            if (options.error) {
                break;
            }
        } else if (i > 0 && arg == "--demo") {
            options.demo = true;
        } else if (i > 0 && arg == "--port") {
            if (i + 1 >= argc) {
                options.error = "--port needs COMn=PATH";
                break;
            }
            if (auto error = options.ports.assign(argv[++i])) {
                options.error = std::move(error);
                break;
            }
        } else if (i > 0 && arg.starts_with("--port=")) {
            if (auto error = options.ports.assign(arg.substr(7))) {
                options.error = std::move(error);
                break;
            }
        } else {
            options.rest.emplace_back(arg);
        }
    }
    return options;
}

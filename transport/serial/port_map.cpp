#include "transport/serial/port_map.h"

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

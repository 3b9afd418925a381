#include "transport/serial/serial_open_failure.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>

std::string serialOpenFailureText(const std::string& path, int error) {
    const std::string start = "cannot open the port " + path + ": ";
    switch (error) {
        case EACCES:
        case EPERM:
            return start + std::strerror(error) +
                   "; add yourself to the dialout group, or install the udev rules (see README)";
        case EWOULDBLOCK:
#if EBUSY != EWOULDBLOCK
        case EBUSY:
#endif
            return start + "it is in use by another program";
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return start + std::strerror(error) +
                   "; a USB serial adapter is usually /dev/ttyUSB0 (see --port COMn=PATH)";
        case ENOTTY:
            return start + "not a serial device";
        default:
            return start + std::strerror(error);
    }
}

bool isSerialLineDevice(unsigned major, unsigned minor, const std::string& driversFile) {
    std::ifstream in(driversFile);
    if (!in) {
        return true;
    }
    // "name  /dev/prefix  major  minor[-minor]  type", one driver a line.
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, prefix, minors, type;
        unsigned driverMajor = 0;
        if (!(fields >> name >> prefix >> driverMajor >> minors >> type) || driverMajor != major) {
            continue;
        }
        unsigned first = 0, last = 0;
        const auto dash = minors.find('-');
        try {
            first = static_cast<unsigned>(std::stoul(minors.substr(0, dash)));
            last = dash == std::string::npos
                       ? first
                       : static_cast<unsigned>(std::stoul(minors.substr(dash + 1)));
        } catch (...) {
            continue;
        }
        if (minor >= first && minor <= last) {
            return type == "serial" || type == "pty:slave";
        }
    }
    return false;  // a character device no terminal driver owns
}

#include "app/doctor/device_check.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr const char* kRulesName = "70-halvern.rules";
constexpr const char* kInstallRules =
    "install the program's udev rules (the package, or \"sudo make install-udev-rules\"), "
    "then unplug the cable and plug it in again";

std::string readLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string readAll(const fs::path& file) {
    std::ifstream in(file);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool startsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

// The USB device a sysfs class entry hangs from: the nearest folder upwards with an idVendor.
struct UsbDevice {
    fs::path folder;
    std::string vendor;   // "10c4"
    std::string product;  // "ea61"
    std::string name;     // the USB product string
};

std::optional<UsbDevice> usbDeviceOf(const fs::path& classEntry, const fs::path& sysfs) {
    std::error_code ec;
    const fs::path top = fs::canonical(sysfs, ec);
    if (ec) {
        return std::nullopt;
    }
    fs::path at = fs::canonical(classEntry, ec);
    if (ec) {
        return std::nullopt;
    }
    for (; at != top && at.has_relative_path() && startsWith(at.string(), top.string());
         at = at.parent_path()) {
        if (fs::exists(at / "idVendor", ec) && fs::exists(at / "idProduct", ec)) {
            return UsbDevice{at, readLine(at / "idVendor"), readLine(at / "idProduct"),
                             readLine(at / "product")};
        }
    }
    return std::nullopt;
}

struct Port {
    std::string name;  // "ttyUSB0"
    std::string node;  // <dev>/ttyUSB0
    std::optional<UsbDevice> usb;
};

bool isBridge(const Port& p) {
    return p.usb && p.usb->vendor == "10c4" && p.usb->product == "ea61";
}

// The ports under <dev> that a device stands behind: a ttyS only when its UART is there.
std::vector<Port> findPorts(const DeviceCheckRoots& roots) {
    std::vector<Port> ports;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(roots.dev, ec)) {
        const std::string name = entry.path().filename().string();
        if (!startsWith(name, "ttyS") && !startsWith(name, "ttyUSB") &&
            !startsWith(name, "ttyACM")) {
            continue;
        }
        const fs::path cls = fs::path(roots.sysfs) / "class/tty" / name;
        std::error_code e;
        if (!fs::exists(cls / "device", e) && !fs::exists(cls / "dev", e)) {
            continue;
        }
        if (startsWith(name, "ttyS") &&
            (!fs::exists(cls / "device", e) ||
             (fs::exists(cls / "type", e) && readLine(cls / "type") == "0"))) {
            continue;  // a placeholder of the serial driver with no UART behind it
        }
        ports.push_back(
            {name, (fs::path(roots.dev) / name).string(), usbDeviceOf(cls, roots.sysfs)});
    }
    std::sort(ports.begin(), ports.end(),
              [](const Port& a, const Port& b) { return a.name < b.name; });
    return ports;
}

struct Process {
    std::string pid;
    std::string program;
};

std::vector<Process> processes(const DeviceCheckRoots& roots) {
    std::vector<Process> list;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(roots.proc, ec)) {
        const std::string pid = entry.path().filename().string();
        if (pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](char c) { return c >= '0' && c <= '9'; })) {
            continue;
        }
        list.push_back({pid, readLine(entry.path() / "comm")});
    }
    return list;
}

// The processes with the node open (their fd links name it, as /dev/NAME or as the node path).
std::vector<Process> holders(const DeviceCheckRoots& roots, const std::vector<Process>& all,
                             const Port& port) {
    std::vector<Process> found;
    const std::string asDev = "/dev/" + port.name;
    for (const Process& p : all) {
        std::error_code ec;
        for (const auto& fd : fs::directory_iterator(fs::path(roots.proc) / p.pid / "fd", ec)) {
            std::error_code e;
            const std::string target = fs::read_symlink(fd.path(), e).string();
            if (!e && (target == asDev || target == port.node)) {
                found.push_back(p);
                break;
            }
        }
    }
    return found;
}

bool rulesInstalled(const DeviceCheckRoots& roots) {
    std::error_code ec;
    return fs::exists(fs::path(roots.system) / "usr/lib/udev/rules.d" / kRulesName, ec) ||
           fs::exists(fs::path(roots.system) / "etc/udev/rules.d" / kRulesName, ec);
}

std::string errorText(int error) {
    return std::strerror(error);
}

void checkPorts(const DeviceCheckRoots& roots, NodeAccess& access, const std::vector<Port>& ports,
                const std::vector<Process>& procs, std::vector<DeviceFinding>& out) {
    for (const Port& port : ports) {
        const int error = access.tryOpenReadWrite(port.node);
        if (error == 0) {
            out.push_back({false, port.node + " can be opened for reading and writing", {}});
        } else if (error == EACCES || error == EPERM) {
            const std::string group = access.groupOf(port.node);
            std::string fix;
            if (group == "dialout" && !access.userInGroup(group)) {
                fix =
                    "being in the dialout group would help: \"sudo usermod -aG dialout $USER\", "
                    "then log in again";
            } else if (isBridge(port)) {
                fix = kInstallRules;
            } else {
                fix = "ask for read and write access to " + port.node +
                      (group.empty() ? std::string() : " (its group is " + group + ")");
            }
            out.push_back({true, port.node + " cannot be opened: permission denied", fix});
        }
        const std::vector<Process> held = holders(roots, procs, port);
        if (error == EBUSY && held.empty()) {
            out.push_back({true, port.node + " is in use by another program",
                           "close the program that reads the port"});
        } else if (error != 0 && error != EACCES && error != EPERM && error != EBUSY) {
            out.push_back({true, port.node + " cannot be opened: " + errorText(error),
                           "unplug the adapter and plug it in again"});
        }
        for (const Process& p : held) {
            out.push_back({true,
                           port.node + " is held by " +
                               (p.program.empty() ? "a program" : p.program) + " (process " +
                               p.pid + ")",
                           "close that program, or stop it with \"kill " + p.pid + "\""});
        }
    }
}

// Whether the udev database marks the tty for ModemManager to leave alone.
bool ignoredByModemManager(const DeviceCheckRoots& roots, const Port& port) {
    const std::string devNumber = readLine(fs::path(roots.sysfs) / "class/tty" / port.name / "dev");
    const std::string db = readAll(fs::path(roots.system) / "run/udev/data" / ("c" + devNumber));
    return db.find("E:ID_MM_DEVICE_IGNORE=1") != std::string::npos;
}

bool modemManagerRuns(const DeviceCheckRoots& roots, const std::vector<Process>& procs) {
    std::error_code ec;
    return std::any_of(procs.begin(), procs.end(),
                       [](const Process& p) { return p.program == "ModemManager"; }) ||
           fs::exists(fs::path(roots.system) / "run/systemd/units/invocation:ModemManager.service",
                      ec);
}

void checkBridges(const DeviceCheckRoots& roots, const std::vector<Port>& ports,
                  const std::vector<Process>& procs, std::vector<DeviceFinding>& out) {
    std::vector<Port> bridges;
    std::copy_if(ports.begin(), ports.end(), std::back_inserter(bridges), isBridge);
    if (bridges.empty()) {
        out.push_back({false, "no USB bridge (10C4:EA61) found", {}});
        return;
    }
    std::string names;
    for (const Port& b : bridges) {
        names += (names.empty() ? "" : ", ") + b.node;
    }
    if (bridges.size() == 1) {
        out.push_back({false, "USB bridge found: " + names, {}});
    } else {
        out.push_back({true, std::to_string(bridges.size()) + " USB bridges found: " + names,
                       "unplug all but one: the program reads a single USB bridge"});
    }
    if (!modemManagerRuns(roots, procs)) {
        return;
    }
    for (const Port& b : bridges) {
        if (!ignoredByModemManager(roots, b)) {
            out.push_back({true, "ModemManager is running and does not leave " + b.node + " alone",
                           std::string(kInstallRules) +
                               "; or, with no modem in use, \"sudo systemctl stop ModemManager\""});
        }
    }
}

void checkHidCables(const DeviceCheckRoots& roots, NodeAccess& access,
                    std::vector<DeviceFinding>& out) {
    std::vector<std::pair<std::string, UsbDevice>> cables;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(fs::path(roots.sysfs) / "class/hidraw", ec)) {
        const auto usb = usbDeviceOf(entry.path(), roots.sysfs);
        if (usb && usb->name == "USB to Serial") {
            cables.emplace_back(entry.path().filename().string(), *usb);
        }
    }
    std::sort(cables.begin(), cables.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    if (cables.empty()) {
        out.push_back({false, "no HID cable (\"USB to Serial\") found", {}});
        return;
    }
    for (const auto& [name, usb] : cables) {
        const std::string node = (fs::path(roots.dev) / name).string();
        out.push_back({false,
                       "HID cable \"USB to Serial\" (" + usb.vendor + ":" + usb.product +
                           ") found at " + node,
                       {}});
        const int error = access.tryOpenReadWrite(node);
        if (error == EACCES || error == EPERM) {
            if (!rulesInstalled(roots)) {
                out.push_back({true,
                               node + " cannot be opened: permission denied, and the udev rules "
                                      "are not installed",
                               kInstallRules});
            } else if (access.groupOf(node) == "plugdev" && !access.userInGroup("plugdev") &&
                       !access.hasAccessList(node)) {
                // Our rules give the node to plugdev for users away from the seat (a service,
                // a login over the network) and an access list to the user at the seat.
                out.push_back({true,
                               node + " cannot be opened: permission denied; it belongs to the "
                                      "group plugdev and carries no access list for you",
                               "log in at the machine's own seat, or join the plugdev group: "
                               "\"sudo usermod -aG plugdev $USER\", then log in again"});
            } else if (!access.hasAccessList(node)) {
                out.push_back(
                    {true,
                     node + " cannot be opened: permission denied; the rules are "
                            "installed but the node was not tagged for you",
                     "log in at the machine's own seat, or unplug the cable and plug it in "
                     "again"});
            } else {
                out.push_back({true, node + " cannot be opened: permission denied",
                               "ask for read and write access to " + node});
            }
        } else if (error != 0) {
            out.push_back({true, node + " cannot be opened: " + errorText(error),
                           "unplug the cable and plug it in again"});
        } else {
            out.push_back({false, node + " can be opened for reading and writing", {}});
        }
        const bool sleepy = (usb.vendor == "1a86" && usb.product == "e008") ||
                            (usb.vendor == "04fa" && usb.product == "2490");
        const fs::path power = usb.folder / "power";
        if (sleepy && readLine(power / "control") == "on") {
            out.push_back({true,
                           "the cable's USB device has power/control \"on\": the wake-up rule "
                           "was not applied, so the cable may stay silent",
                           std::string(kInstallRules) + "; or now: \"echo auto | sudo tee " +
                               (power / "control").string() + "; echo 0 | sudo tee " +
                               (power / "autosuspend_delay_ms").string() + "\""});
        }
    }
}

std::string withoutLeadingZeros(const std::string& hex) {
    const auto first = hex.find_first_not_of('0');
    return first == std::string::npos ? "0" : hex.substr(first);
}

void checkBrltty(const DeviceCheckRoots& roots, const std::vector<Port>& ports,
                 std::vector<DeviceFinding>& out) {
    std::error_code ec;
    const fs::path sys = roots.system;
    if (!fs::exists(sys / "usr/bin/brltty", ec) && !fs::exists(sys / "bin/brltty", ec)) {
        return;
    }
    std::string rules;
    for (const char* folder : {"usr/lib/udev/rules.d", "lib/udev/rules.d", "etc/udev/rules.d"}) {
        std::error_code e;
        for (const auto& entry : fs::directory_iterator(sys / folder, e)) {
            if (entry.path().filename().string().find("brltty") != std::string::npos) {
                rules += readAll(entry.path());
            }
        }
    }
    for (const Port& p : ports) {
        if (!p.usb) {
            continue;
        }
        const std::string product = "\"" + withoutLeadingZeros(p.usb->vendor) + "/" +
                                    withoutLeadingZeros(p.usb->product) + "/";
        const std::string ids =
            "idVendor}==\"" + p.usb->vendor + "\", ATTRS{idProduct}==\"" + p.usb->product + "\"";
        if (rules.find(product) != std::string::npos || rules.find(ids) != std::string::npos) {
            out.push_back({true,
                           "brltty is installed with a rule that claims " + p.usb->vendor + ":" +
                               p.usb->product + " (" + p.node + ")",
                           "without a braille display: \"sudo apt remove brltty\""});
        }
    }
}

}  // namespace

std::vector<DeviceFinding> checkDevices(const DeviceCheckRoots& roots, NodeAccess& access) {
    std::vector<DeviceFinding> out;
    const std::vector<Port> ports = findPorts(roots);
    const std::vector<Process> procs = processes(roots);
    if (ports.empty()) {
        out.push_back({false, "no serial port found", {}});
    }
    checkPorts(roots, access, ports, procs, out);
    checkBridges(roots, ports, procs, out);
    checkHidCables(roots, access, out);
    checkBrltty(roots, ports, out);
    return out;
}

bool anyProblem(const std::vector<DeviceFinding>& findings) {
    return std::any_of(findings.begin(), findings.end(),
                       [](const DeviceFinding& f) { return f.problem; });
}

std::string formatFindings(const std::vector<DeviceFinding>& findings) {
    std::string text;
    for (const DeviceFinding& f : findings) {
        text += (f.problem ? "problem: " : "ok: ") + f.text + "\n";
        if (!f.fix.empty()) {
            text += "  fix: " + f.fix + "\n";
        }
    }
    return text;
}

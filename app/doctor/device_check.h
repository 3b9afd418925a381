#pragma once

#include <memory>
#include <string>
#include <vector>

// Where the device check looks: the sysfs tree, the device nodes, the process table (for who
// holds a port) and the root of the installed system (udev rules, the udev database, brltty).
struct DeviceCheckRoots {
    std::string sysfs = "/sys";
    std::string dev = "/dev";
    std::string proc = "/proc";
    std::string system = "/";
};

// One line of the check: what was found and, for a problem, how to fix it.
struct DeviceFinding {
    bool problem = false;
    std::string text;
    std::string fix;  // empty for a plain note
};

// The permission side of a node, the one part of the check that asks the system.
class NodeAccess {
public:
    virtual ~NodeAccess() = default;
    // Opens the node for reading and writing without waiting and closes it at once: 0 when
    // it opens, else the error number. Sends nothing.
    virtual int tryOpenReadWrite(const std::string& node) = 0;
    // The name of the node's owning group ("" when unknown).
    virtual std::string groupOf(const std::string& node) = 0;
    // Whether the user running the check is a member of the group.
    virtual bool userInGroup(const std::string& group) = 0;
    // Whether the node carries an access list (udev's "uaccess" tag gives it one).
    virtual bool hasAccessList(const std::string& node) = 0;
};

// The system's node access for the user running the program.
std::unique_ptr<NodeAccess> createNodeAccess();

// Checks the serial ports, the USB bridge, the HID cable, ModemManager and brltty under the
// roots. Opens nothing longer than a permission test; never writes to a device.
std::vector<DeviceFinding> checkDevices(const DeviceCheckRoots& roots, NodeAccess& access);

// True when one of the findings stands in the way.
bool anyProblem(const std::vector<DeviceFinding>& findings);

// The findings as lines: "problem: TEXT" or "ok: TEXT", a problem followed by "  fix: FIX".
std::string formatFindings(const std::vector<DeviceFinding>& findings);

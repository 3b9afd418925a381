#include "app/doctor/device_check.h"

#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <functional>
#include <map>
#include <set>
#include <string>

#include "tests/support/fakes/fake_usb_tree.h"
#include "tests/support/temp_folder.h"

namespace fs = std::filesystem;

namespace {

// Grants every node but the ones denied; the group and access list as set.
class FakeAccess final : public NodeAccess {
public:
    std::map<std::string, int> errors;  // node -> error number
    std::string group = "root";
    bool inGroup = false;
    bool accessList = false;

    int tryOpenReadWrite(const std::string& node) override {
        const auto it = errors.find(node);
        return it == errors.end() ? 0 : it->second;
    }
    std::string groupOf(const std::string&) override { return group; }
    bool userInGroup(const std::string&) override { return inGroup; }
    bool hasAccessList(const std::string&) override { return accessList; }
};

// A machine: the USB tree of sysfs and /dev, a /proc-like tree and the installed system's root.
struct Machine {
    FakeUsbTree usb;
    TempFolder other;

    Machine() {
        fs::create_directories(proc());
        fs::create_directories(system());
        fs::create_directories(usb.sysfs() + "/class/hidraw");
    }
    std::string proc() const { return other.path("proc"); }
    std::string system() const { return other.path("root"); }
    DeviceCheckRoots roots() const { return {usb.sysfs(), usb.dev(), proc(), system()}; }

    // A port's node under <dev>: an empty file, as the tree only needs its name.
    void addBridge(int n) {
        const std::string target = other.path("node-ttyUSB" + std::to_string(n));
        TempFolder::write(target, "");
        usb.addBridge(n, target);
    }
    // A process with a name and, optionally, a file it holds open.
    void addProcess(const std::string& pid, const std::string& program,
                    const std::string& holds = {}) {
        fs::create_directories(proc() + "/" + pid + "/fd");
        TempFolder::write(proc() + "/" + pid + "/comm", program + "\n");
        if (!holds.empty()) {
            fs::create_symlink(holds, proc() + "/" + pid + "/fd/3");
        }
    }
    // The HID cable as hidraw0 on USB device 1-9 with the given chip; returns its node.
    std::string addHidCable(const std::string& vendor, const std::string& product,
                            const std::string& powerControl = "auto") {
        const std::string rel = "devices/pci0000:00/0000:00:14.0/usb1/1-9";
        const std::string device = usb.sysfs() + "/" + rel;
        const std::string raw =
            device + "/1-9:1.0/0003:" + vendor + ":" + product + ".0001/hidraw/hidraw0";
        fs::create_directories(raw);
        fs::create_directories(device + "/power");
        FakeUsbTree::put(device + "/idVendor", vendor + "\n");
        FakeUsbTree::put(device + "/idProduct", product + "\n");
        FakeUsbTree::put(device + "/product", "USB to Serial\n");
        FakeUsbTree::put(device + "/power/control", powerControl + "\n");
        FakeUsbTree::put(raw + "/dev", "242:0\n");
        fs::create_directory_symlink(
            "../../" + rel + "/1-9:1.0/0003:" + vendor + ":" + product + ".0001/hidraw/hidraw0",
            usb.sysfs() + "/class/hidraw/hidraw0");
        const std::string node = usb.dev() + "/hidraw0";
        TempFolder::write(node, "");
        return node;
    }
    void installRules() {
        fs::create_directories(system() + "/usr/lib/udev/rules.d");
        TempFolder::write(system() + "/usr/lib/udev/rules.d/70-halvern.rules", "");
    }
};

std::string problems(const std::vector<DeviceFinding>& findings) {
    std::string text;
    for (const DeviceFinding& f : findings) {
        if (f.problem) {
            text += f.text + " | fix: " + f.fix + "\n";
        }
    }
    return text;
}

std::string notes(const std::vector<DeviceFinding>& findings) {
    std::string text;
    for (const DeviceFinding& f : findings) {
        if (!f.problem) {
            text += f.text + "\n";
        }
    }
    return text;
}

}  // namespace

// Each finding on a machine set up for it: the problem it names (empty: none) and a note it
// must print.
TEST(DeviceCheckTest, EachFindingOnAFakeMachine) {
    struct Case {
        const char* what;
        std::function<void(Machine&, FakeAccess&)> setUp;
        const char* problem;  // a part of the problems' text; "" for none at all
        const char* note;     // a part of the notes' text
    };
    const Case cases[] = {
        {"a machine without the meter's cables", [](Machine&, FakeAccess&) {}, "",
         "no USB bridge (10C4:EA61) found"},
        {"a port held by another process",
         [](Machine& m, FakeAccess&) {
             m.addBridge(0);
             m.addProcess("4242", "minicom", m.usb.dev() + "/ttyUSB0");
             m.addProcess("4243", "bash", "/dev/pts/1");
         },
         "/ttyUSB0 is held by minicom (process 4242) | fix: close that program",
         "USB bridge found"},
        {"a port held exclusively, its holder unseen",
         [](Machine& m, FakeAccess& a) {
             m.addBridge(0);
             a.errors[m.usb.dev() + "/ttyUSB0"] = EBUSY;
         },
         "/ttyUSB0 is in use by another program", ""},
        {"a port of the dialout group the user is not in",
         [](Machine& m, FakeAccess& a) {
             m.usb.addUsbTty(1, 5, "1a86", "7523", m.other.path("node"));
             TempFolder::write(m.other.path("node"), "");
             a.errors[m.usb.dev() + "/ttyUSB1"] = EACCES;
             a.group = "dialout";
         },
         "/ttyUSB1 cannot be opened: permission denied | fix: being in the dialout group would "
         "help",
         ""},
        {"two bridges",
         [](Machine& m, FakeAccess&) {
             m.addBridge(0);
             m.addBridge(1);
         },
         "2 USB bridges found", ""},
        {"ModemManager present, the bridge not ignored",
         [](Machine& m, FakeAccess&) {
             m.addBridge(0);
             m.addProcess("77", "ModemManager");
         },
         "ModemManager is running and does not leave", ""},
        {"ModemManager's unit running, the bridge ignored by the rules",
         [](Machine& m, FakeAccess&) {
             m.addBridge(0);
             fs::create_directories(m.system() + "/run/systemd/units");
             fs::create_directories(m.system() + "/run/udev/data");
             TempFolder::write(m.system() + "/run/systemd/units/invocation:ModemManager.service",
                               "");
             TempFolder::write(m.system() + "/run/udev/data/c188:0", "E:ID_MM_DEVICE_IGNORE=1\n");
         },
         "", "USB bridge found"},
        {"no rules installed",
         [](Machine& m, FakeAccess& a) { a.errors[m.addHidCable("1a86", "e008")] = EACCES; },
         "permission denied, and the udev rules are not installed | fix: install the program's "
         "udev",
         "HID cable \"USB to Serial\" (1a86:e008) found"},
        {"rules installed, the node not tagged",
         [](Machine& m, FakeAccess& a) {
             m.installRules();
             a.errors[m.addHidCable("1a86", "e008")] = EACCES;
         },
         "the node was not tagged for you", ""},
        {"rules installed, the node plugdev's and untagged, the user not in plugdev",
         [](Machine& m, FakeAccess& a) {
             m.installRules();
             a.errors[m.addHidCable("1a86", "e008")] = EACCES;
             a.group = "plugdev";
         },
         "belongs to the group plugdev and carries no access list for you | fix: log in at the "
         "machine's own seat, or join the plugdev group",
         ""},
        {"power/control on", [](Machine& m, FakeAccess&) { m.addHidCable("04fa", "2490", "on"); },
         "power/control \"on\": the wake-up rule was not applied", "can be opened"},
        {"brltty claiming the adapter",
         [](Machine& m, FakeAccess&) {
             m.usb.addUsbTty(1, 5, "1a86", "7523", m.other.path("node"));
             TempFolder::write(m.other.path("node"), "");
             fs::create_directories(m.system() + "/usr/bin");
             fs::create_directories(m.system() + "/usr/lib/udev/rules.d");
             TempFolder::write(m.system() + "/usr/bin/brltty", "");
             TempFolder::write(m.system() + "/usr/lib/udev/rules.d/85-brltty.rules",
                               "ENV{PRODUCT}==\"1a86/7523/*\", ENV{BRLTTY_BRAILLE_DRIVER}=\"bm\", "
                               "GOTO=\"brltty_usb_run\"\n");
         },
         "brltty is installed with a rule that claims 1a86:7523", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Machine machine;
        FakeAccess access;
        c.setUp(machine, access);
        const auto findings = checkDevices(machine.roots(), access);
        const std::string problemText = problems(findings);
        if (*c.problem == '\0') {
            EXPECT_EQ(problemText, "");
            EXPECT_FALSE(anyProblem(findings));
        } else {
            EXPECT_NE(problemText.find(c.problem), std::string::npos) << problemText;
            EXPECT_TRUE(anyProblem(findings));
        }
        EXPECT_NE(notes(findings).find(c.note), std::string::npos) << notes(findings);
    }
}

// The output: one line per finding, a problem's fix on the line below it.
TEST(DeviceCheckTest, FormatsOneLinePerFindingWithItsFix) {
    EXPECT_EQ(formatFindings({{false, "a is well", {}}, {true, "b is not", "do c"}}),
              "ok: a is well\nproblem: b is not\n  fix: do c\n");
}

// The real permission test and `halvern doctor`, as nobody (CI runs as root): a HID cable node
// only root may open, with no rules installed on the fake machine.
TEST(DeviceCheckTest, ANodeOnlyRootMayOpenAsNobody) {
    Machine machine;
    const std::string node = machine.addHidCable("1a86", "e008");
    ASSERT_EQ(::chmod(node.c_str(), 0600), 0);
    if (::geteuid() != 0) {
        ASSERT_EQ(::chmod(node.c_str(), 0000), 0);  // the user's own file: refuse it to them too
    }
    for (const std::string& top :
         {fs::path(machine.usb.sysfs()).parent_path().string(), machine.other.root()}) {
        ASSERT_EQ(::chmod(top.c_str(), 0755), 0);
    }
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        const auto access = createNodeAccess();
        const auto findings = checkDevices(machine.roots(), *access);
        const std::string text = problems(findings);
        const bool denied = text.find(node +
                                      " cannot be opened: permission denied, and the udev "
                                      "rules are not installed") != std::string::npos;
        if (!denied) {
            (void)!::write(2, text.data(), text.size());
            ::_exit(1);
        }
        ::dup2(out[1], 1);
        ::execl(HALVERN_BINARY, "halvern", "doctor", "--sysfs-root", machine.usb.sysfs().c_str(),
                "--dev-root", machine.usb.dev().c_str(), static_cast<char*>(nullptr));
        ::_exit(4);
    }
    ::close(out[1]);
    std::string printed;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;) {
        printed.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1) << printed;  // the command's: something in the way
    EXPECT_NE(printed.find("problem: " + node + " cannot be opened: permission denied"),
              std::string::npos)
        << printed;
    EXPECT_NE(printed.find("\n  fix: "), std::string::npos) << printed;
}

// Usage: a root that is not a folder is bad usage, not a machine without devices.
TEST(DeviceCheckTest, TheCommandRefusesAMistypedRoot) {
    const std::string command =
        std::string(HALVERN_BINARY) + " doctor --dev-root /no/such/dir 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    char line[512] = {};
    ASSERT_NE(std::fgets(line, sizeof line, pipe), nullptr);
    const int status = ::pclose(pipe);
    EXPECT_EQ(WEXITSTATUS(status), 2);
    EXPECT_STREQ(line, "halvern doctor: /no/such/dir is not a folder (--dev-root)\n");
}

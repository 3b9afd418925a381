// The Linux HID backend on a prepared sysfs tree: identities as the machine describes them,
// broken entries left out, reads of a node as hidraw answers them.
#include "transport/hid/posix/sysfs_hid_backend.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/fakes/fake_hid.h"
#include "transport/hid/hid_report_descriptor.h"
#include "transport/posix/udev_notices.h"

namespace {

namespace fs = std::filesystem;

// A machine as `hid list` should see it: a keyboard, two cables (one with a serial number),
// a device without a product string, a Bluetooth mouse, and entries that cannot be identified.
class HidMachine {
public:
    HidMachine() {
        keyboard = tree.plug(fakehid::usbDevice("1-1", "USB Keyboard", 0x046D, 0xC31C,
                                                fakehid::kKeyboardDescriptor));
        cable = tree.plug(fakehid::usbDevice("1-2"));
        fakehid::DeviceInfo serialCable = fakehid::usbDevice("1-3");
        serialCable.serial = "A5C3";
        withSerial = tree.plug(serialCable);
        noProduct = tree.plug(fakehid::usbDevice("1-4", std::nullopt, 0x04D9, 0x1503));
        fakehid::DeviceInfo bt = fakehid::usbDevice("", std::nullopt, 0x046D, 0xB01A);
        bt.usb = false;
        bluetooth = tree.plug(bt);
        // A USB device whose identifiers cannot be read, and a link to nowhere.
        const std::string broken = tree.plug(fakehid::usbDevice("1-5", "Broken"));
        fs::remove(fs::path(tree.instance(broken)).parent_path().parent_path() / "idProduct");
        fs::create_directory_symlink("../../devices/gone",
                                     fs::path(tree.sysfs()) / "class/hidraw/hidraw77");
        // A device whose descriptor is far larger than any real one.
        fakehid::DeviceInfo big = fakehid::usbDevice("1-6", "Big", 0x1234, 0xABCD);
        big.descriptor.assign(1 << 20, 0x81);
        huge = tree.plug(big);
    }
    fakehid::Tree tree;
    std::string keyboard, cable, withSerial, noProduct, bluetooth, huge;
};

TEST(SysfsHidBackendTest, IdentifiesDevicesFromSysfsAndLeavesBrokenEntriesOut) {
    HidMachine m;
    SysfsHidBackend backend(m.tree.roots());
    const std::vector<HidDeviceIdentity> devices = backend.enumerate();
    ASSERT_EQ(devices.size(), 6u);
    struct Expected {
        std::string name;
        std::uint16_t vid, pid;
        std::string product, serial;
    };
    const Expected expected[] = {{m.keyboard, 0x046D, 0xC31C, "USB Keyboard", ""},
                                 {m.cable, 0x1A86, 0xE008, "USB to Serial", ""},
                                 {m.withSerial, 0x1A86, 0xE008, "USB to Serial", "A5C3"},
                                 {m.noProduct, 0x04D9, 0x1503, "", ""},
                                 {m.bluetooth, 0x046D, 0xB01A, "", ""},
                                 {m.huge, 0x1234, 0xABCD, "Big", ""}};
    for (std::size_t i = 0; i < devices.size(); ++i) {
        const Expected& e = expected[i];
        SCOPED_TRACE(e.name);
        EXPECT_EQ(devices[i].node, m.tree.node(e.name));
        EXPECT_EQ(devices[i].instance, m.tree.instance(e.name));
        EXPECT_EQ(devices[i].vendorId, e.vid);
        EXPECT_EQ(devices[i].productId, e.pid);
        EXPECT_EQ(devices[i].product, e.product);
        EXPECT_EQ(devices[i].serial, e.serial);
        // identify() reads the same device back by its identity
        const auto again = backend.identify(devices[i].instance);
        ASSERT_TRUE(again.has_value());
        EXPECT_EQ(again->node, devices[i].node);
    }
    EXPECT_EQ(devices[0].reportDescriptor, fakehid::kKeyboardDescriptor);
    EXPECT_EQ(devices[5].reportDescriptor.size(), kHidMaxReportBytes);
    m.tree.unplug(m.cable);
    EXPECT_FALSE(backend.identify(devices[1].instance).has_value());
    EXPECT_EQ(backend.enumerate().size(), 5u);
    // A prepared tree gets no notices from the machine.
    EXPECT_EQ(backend.createMonitor(), nullptr);
}

TEST(SysfsHidBackendTest, ReadsAnswerAsAHidrawNodeDoes) {
    fakehid::Tree tree;
    SysfsHidBackend backend(tree.roots());
    EXPECT_EQ(backend.open(tree.dev() + "/hidraw5", true), -1);
    EXPECT_EQ(errno, ENOENT);

    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK, 0, pair), 0);
    std::uint8_t buffer[64];
    EXPECT_EQ(backend.read(pair[0], buffer, sizeof buffer).status, HidReadOutcome::Nothing);
    ASSERT_EQ(::send(pair[1], "\x01\x02\x03", 3, 0), 3);
    ASSERT_EQ(::send(pair[1], "", 0, 0), 0);
    HidReadOutcome r = backend.read(pair[0], buffer, sizeof buffer);
    EXPECT_EQ(r.status, HidReadOutcome::Report);
    EXPECT_EQ(r.count, 3u);
    r = backend.read(pair[0], buffer, sizeof buffer);
    EXPECT_EQ(r.status, HidReadOutcome::Report);
    EXPECT_EQ(r.count, 0u);
    // A socket is no hidraw node: the feature ioctl is refused.
    EXPECT_FALSE(backend.sendFeature(pair[0], buffer, 10));
    ::close(pair[1]);
    r = backend.read(pair[0], buffer, sizeof buffer);
    EXPECT_EQ(r.status, HidReadOutcome::Gone);
    EXPECT_EQ(r.error, ENODEV);
    backend.close(pair[0]);
}

TEST(SysfsHidBackendTest, UdevMonitorIsOptional) {
    // With libudev and a netlink socket the watches of the HID nodes and of the serial lines have
    // a descriptor and nothing queued; without, there are none.
    for (const auto& [subsystem, addedOnly] : {std::pair{"hidraw", false}, {"tty", true}}) {
        SCOPED_TRACE(subsystem);
        const std::unique_ptr<DeviceNotices> monitor = createUdevNotices(subsystem, addedOnly);
        if (monitor) {
            EXPECT_GE(monitor->fd(), 0);
            EXPECT_FALSE(monitor->drain());
        }
    }
}

TEST(HidListCommandTest, ListsTheMachineAndMarksTheCable) {
    HidMachine m;
    Child run = spawn({HALVERN_BINARY, "hid", "list", "--sysfs-root", m.tree.sysfs(),
                       "--dev-root=" + m.tree.dev()});
    std::string out;
    {
        // finish() drains standard error; read standard output first.
        out = readAll(run.outFd);
        run.outFd = ::open("/dev/null", O_RDONLY);
    }
    std::string err;
    ASSERT_EQ(finish(run, &err), 0) << err;
    const std::string dev = m.tree.dev();
    EXPECT_EQ(out, "\tUSB Keyboard\t" + dev +
                       "/hidraw0\t046D:C31C\n"
                       "*\tUSB to Serial\t" +
                       dev +
                       "/hidraw1\t1A86:E008\n"
                       "\tUSB to Serial (Serial=A5C3)\t" +
                       dev +
                       "/hidraw2\t1A86:E008\n"
                       "\tDevice VID=04D9 PID=1503\t" +
                       dev +
                       "/hidraw3\t04D9:1503\n"
                       "\tDevice VID=046D PID=B01A\t" +
                       dev +
                       "/hidraw4\t046D:B01A\n"
                       "\tBig\t" +
                       dev + "/hidraw6\t1234:ABCD\n");
}

TEST(HidListCommandTest, EmptyMachineAndWrongFolders) {
    fakehid::Tree tree;
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string err;
    };
    const Case cases[] = {
        {{"hid", "list", "--sysfs-root", tree.sysfs(), "--dev-root", tree.dev()}, 0, ""},
        {{"hid", "list", "--sysfs-root", tree.sysfs() + "/missing"}, 2, "is not a folder"},
        {{"hid", "list", "--dev-root"}, 2, "--dev-root needs a folder"},
        {{"hid", "list", "--bogus"}, 2, "unknown option"},
        {{"hid"}, 2, "usage: halvern hid list"},
        {{"hid", "list", "--help"}, 0, ""},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {HALVERN_BINARY};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Child run = spawn(args);
        std::string err;
        EXPECT_EQ(finish(run, &err), c.status) << args.back();
        EXPECT_NE(err.find(c.err), std::string::npos) << err;
    }
}

}  // namespace

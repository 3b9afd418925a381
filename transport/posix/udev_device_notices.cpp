// Notices of devices from udev, with libudev.so.1 loaded at run time: the program runs (waiting
// links then retry once a second only, the HID devices' list changes only through Rescan) on a
// machine without it. The serial links watch the tty subsystem, the HID controller hidraw.
#include <dlfcn.h>

#include <cstring>
#include <memory>

#include "transport/posix/udev_notices.h"

namespace {

struct udev;
struct udev_monitor;
struct udev_device;

// The few entry points the notices need, as libudev declares them.
struct UdevLibrary {
    void* handle = nullptr;
    udev* (*udev_new)() = nullptr;
    udev* (*udev_unref)(udev*) = nullptr;
    udev_monitor* (*udev_monitor_new_from_netlink)(udev*, const char*) = nullptr;
    int (*udev_monitor_filter_add_match_subsystem_devtype)(udev_monitor*, const char*,
                                                           const char*) = nullptr;
    int (*udev_monitor_enable_receiving)(udev_monitor*) = nullptr;
    int (*udev_monitor_get_fd)(udev_monitor*) = nullptr;
    udev_device* (*udev_monitor_receive_device)(udev_monitor*) = nullptr;
    udev_monitor* (*udev_monitor_unref)(udev_monitor*) = nullptr;
    const char* (*udev_device_get_action)(udev_device*) = nullptr;
    udev_device* (*udev_device_unref)(udev_device*) = nullptr;

    // All or nothing: a library lacking one entry point is released again.
    bool load() {
        handle = ::dlopen("libudev.so.1", RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            return false;
        }
        const bool complete =
            bind(udev_new, "udev_new") && bind(udev_unref, "udev_unref") &&
            bind(udev_monitor_new_from_netlink, "udev_monitor_new_from_netlink") &&
            bind(udev_monitor_filter_add_match_subsystem_devtype,
                 "udev_monitor_filter_add_match_subsystem_devtype") &&
            bind(udev_monitor_enable_receiving, "udev_monitor_enable_receiving") &&
            bind(udev_monitor_get_fd, "udev_monitor_get_fd") &&
            bind(udev_monitor_receive_device, "udev_monitor_receive_device") &&
            bind(udev_monitor_unref, "udev_monitor_unref") &&
            bind(udev_device_get_action, "udev_device_get_action") &&
            bind(udev_device_unref, "udev_device_unref");
        if (!complete) {
            ::dlclose(handle);
            handle = nullptr;
        }
        return complete;
    }

    template <typename F>
    bool bind(F& entry, const char* name) {
        entry = reinterpret_cast<F>(::dlsym(handle, name));
        return entry != nullptr;
    }
};

class UdevDeviceNotices final : public DeviceNotices {
public:
    UdevDeviceNotices(UdevLibrary lib, bool addedOnly) : m_lib(lib), m_addedOnly(addedOnly) {}
    ~UdevDeviceNotices() override {
        if (m_monitor) {
            m_lib.udev_monitor_unref(m_monitor);
        }
        if (m_udev) {
            m_lib.udev_unref(m_udev);
        }
        ::dlclose(m_lib.handle);
    }
    UdevDeviceNotices(const UdevDeviceNotices&) = delete;
    UdevDeviceNotices& operator=(const UdevDeviceNotices&) = delete;

    bool start(const char* subsystem) {
        m_udev = m_lib.udev_new();
        if (!m_udev) {
            return false;
        }
        // udev's own notices, not the kernel's: they come once the rules have run, so the node
        // exists with its permissions when the link tries it.
        m_monitor = m_lib.udev_monitor_new_from_netlink(m_udev, "udev");
        if (!m_monitor ||
            m_lib.udev_monitor_filter_add_match_subsystem_devtype(m_monitor, subsystem, nullptr) <
                0 ||
            m_lib.udev_monitor_enable_receiving(m_monitor) < 0) {
            return false;
        }
        m_fd = m_lib.udev_monitor_get_fd(m_monitor);
        return m_fd >= 0;
    }

    int fd() const override { return m_fd; }

    bool drain() override {
        // The monitor's socket is non-blocking: receive until the queue is empty. The filter lets
        // only the subsystem through; for a waiting link a removal brings nothing back.
        bool counted = false;
        while (udev_device* device = m_lib.udev_monitor_receive_device(m_monitor)) {
            const char* action = m_lib.udev_device_get_action(device);
            counted =
                counted || !m_addedOnly || (action != nullptr && std::strcmp(action, "add") == 0);
            m_lib.udev_device_unref(device);
        }
        return counted;
    }

private:
    UdevLibrary m_lib;
    bool m_addedOnly;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    int m_fd = -1;
};

}  // namespace

std::unique_ptr<DeviceNotices> createUdevNotices(const char* subsystem, bool addedOnly) {
    UdevLibrary lib;
    if (!lib.load()) {
        return nullptr;
    }
    auto notices = std::make_unique<UdevDeviceNotices>(lib, addedOnly);
    if (!notices->start(subsystem)) {
        return nullptr;
    }
    return notices;
}

std::unique_ptr<DeviceNotices> createDeviceNotices() {
    return createUdevNotices("tty", true);
}

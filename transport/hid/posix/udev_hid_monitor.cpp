// Device-change notices from udev, with libudev.so.1 loaded at run time: the program runs (with
// hot-plug off) on a machine without it.
#include <dlfcn.h>

#include <memory>

#include "transport/hid/posix/sysfs_hid_backend.h"

namespace {

struct udev;
struct udev_monitor;
struct udev_device;

// The few entry points the monitor needs, as libudev declares them.
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

class UdevHidMonitor final : public HidHotplugMonitor {
public:
    explicit UdevHidMonitor(UdevLibrary lib) : m_lib(lib) {}
    ~UdevHidMonitor() override {
        if (m_monitor) {
            m_lib.udev_monitor_unref(m_monitor);
        }
        if (m_udev) {
            m_lib.udev_unref(m_udev);
        }
        ::dlclose(m_lib.handle);
    }
    UdevHidMonitor(const UdevHidMonitor&) = delete;
    UdevHidMonitor& operator=(const UdevHidMonitor&) = delete;

    bool start() {
        m_udev = m_lib.udev_new();
        if (!m_udev) {
            return false;
        }
        m_monitor = m_lib.udev_monitor_new_from_netlink(m_udev, "udev");
        if (!m_monitor ||
            m_lib.udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "hidraw", nullptr) <
                0 ||
            m_lib.udev_monitor_enable_receiving(m_monitor) < 0) {
            return false;
        }
        m_fd = m_lib.udev_monitor_get_fd(m_monitor);
        return m_fd >= 0;
    }

    int fd() const override { return m_fd; }

    bool drain() override {
        // The monitor's socket is non-blocking: receive until the queue is empty. The filter
        // lets only hidraw notices through.
        bool any = false;
        while (udev_device* device = m_lib.udev_monitor_receive_device(m_monitor)) {
            m_lib.udev_device_unref(device);
            any = true;
        }
        return any;
    }

private:
    UdevLibrary m_lib;
    udev* m_udev = nullptr;
    udev_monitor* m_monitor = nullptr;
    int m_fd = -1;
};

}  // namespace

std::unique_ptr<HidHotplugMonitor> createUdevHidMonitor() {
    UdevLibrary lib;
    if (!lib.load()) {
        return nullptr;
    }
    auto monitor = std::make_unique<UdevHidMonitor>(lib);
    if (!monitor->start()) {
        return nullptr;
    }
    return monitor;
}

#include "transport/hid/jv_hid_controller.h"

#include <errno.h>

#include <algorithm>
#include <cstring>

namespace {

// Live controllers; everything runs on one thread.
int g_controllerCount = 0;

// Reports taken per wake-up of a reader before the loop gets its turn again: the kernel's
// queue of one open node.
constexpr int kReportsPerWake = 64;

// Sets a flag for the length of a scope, also when a handler throws.
class FlagScope {
public:
    explicit FlagScope(bool& flag) : m_flag(flag) { m_flag = true; }
    ~FlagScope() { m_flag = false; }
    FlagScope(const FlagScope&) = delete;
    FlagScope& operator=(const FlagScope&) = delete;

private:
    bool& m_flag;
};

}  // namespace

// --- device -------------------------------------------------------------------------------------

TJvHidDevice::TJvHidDevice(TJvHidDeviceController& controller, const HidDeviceIdentity& identity)
    : m_controller(&controller),
      m_backend(&controller.m_backend),
      m_loop(&controller.m_loop),
      m_pnp{identity.instance, identity.node},
      m_product(identity.product),
      m_serial(identity.serial),
      m_caps(parseReportDescriptor(identity.reportDescriptor.data(),
                                   identity.reportDescriptor.size())) {
    m_attributes.VendorID = identity.vendorId;
    m_attributes.ProductID = identity.productId;
    m_attributes.VersionNumber = identity.versionNumber;
}

TJvHidDevice::~TJvHidDevice() {
    *m_alive = false;
    TJvHidDataEvent dataHandler = m_dataHandler;
    TJvHidPlugEvent unplugHandler = m_unplugHandler;
    stopReader();
    m_dataHandler = nullptr;
    m_unplugHandler = nullptr;
    closeAll();
    m_errorPause.reset();
    if (m_controller) {
        m_controller->checkIn(*this, std::move(dataHandler), std::move(unplugHandler));
    }
}

bool TJvHidDevice::canOpen() const {
    return m_plugged && (m_checkedOut || m_inCallback);
}

bool TJvHidDevice::openMain() {
    if (canOpen() && m_mainFd < 0) {
        m_mainFd = m_backend->open(m_pnp.InterfacePath, true);
        m_readWriteAccess = m_mainFd >= 0;
        if (m_mainFd < 0) {
            m_mainFd = m_backend->open(m_pnp.InterfacePath, false);
        }
    }
    return m_mainFd >= 0;
}

void TJvHidDevice::closeMain() {
    if (m_mainFd >= 0) {
        m_backend->close(m_mainFd);
        m_mainFd = -1;
    }
}

void TJvHidDevice::closeRead() {
    // The watch goes before its descriptor.
    m_readWatch.reset();
    if (m_errorPause) {
        m_errorPause->stop();
    }
    if (m_readFd >= 0) {
        m_backend->close(m_readFd);
        m_readFd = -1;
    }
}

void TJvHidDevice::closeAll() {
    closeMain();
    closeRead();
}

bool TJvHidDevice::ReadWriteAccess() {
    if (m_readFd >= 0) {
        return true;  // the reader's descriptor is open for reading and writing
    }
    if (m_mainFd < 0 && canOpen()) {
        const int fd = m_backend->open(m_pnp.InterfacePath, true);
        m_readWriteAccess = fd >= 0;
        if (fd >= 0) {
            m_backend->close(fd);
        }
    }
    return m_readWriteAccess;
}

bool TJvHidDevice::SendFeature(const std::uint8_t* report, std::size_t length) {
    if (!report || length == 0 || !openMain()) {
        return false;
    }
    return m_backend->sendFeature(m_mainFd, report, length);
}

void TJvHidDevice::SetDataHandler(TJvHidDataEvent handler) {
    if (!handler) {
        stopReader();
    }
    m_dataHandler = std::move(handler);
    startReader();
}

bool TJvHidDevice::SetSleepTime(int ms) {
    if (ms < 10 || ms > 10000) {
        return false;
    }
    m_sleepTime = ms;
    return true;
}

void TJvHidDevice::startReader() {
    if (!m_dataHandler || !m_plugged || !m_checkedOut || m_readWatch) {
        return;
    }
    // The reader's own descriptor, opened for reading and writing: the access test of a reader.
    m_readFd = m_backend->open(m_pnp.InterfacePath, true);
    m_readWriteAccess = m_readFd >= 0;
    if (m_readFd < 0) {
        return;
    }
    // One spare byte in front for the report ID 0 of devices without numbered reports.
    m_reportBuffer.assign(kHidMaxReportBytes + 1, 0);
    if (!m_errorPause) {
        m_errorPause = m_loop->createTimer();
    }
    m_readWatch = m_loop->watchReadable(m_readFd, [this] { readReady(); });
}

void TJvHidDevice::stopReader() {
    // A stopped reader leaves no descriptor open: the kernel would queue reports for it that a
    // later reader would deliver as if they were new.
    closeRead();
}

void TJvHidDevice::readReady() {
    const std::shared_ptr<bool> alive = m_alive;
    for (int n = 0; n < kReportsPerWake && m_readWatch; ++n) {
        const bool prependId = !m_caps.NumberedReports;
        std::uint8_t* buffer = m_reportBuffer.data();
        const std::size_t offset = prependId ? 1 : 0;
        const HidReadOutcome outcome =
            m_backend->read(m_readFd, buffer + offset, m_reportBuffer.size() - offset);
        switch (outcome.status) {
            case HidReadOutcome::Nothing:
                return;
            case HidReadOutcome::Report: {
                if (outcome.count == 0) {
                    continue;  // an empty read is not a report
                }
                if (prependId) {
                    buffer[0] = 0;
                }
                const std::size_t got = outcome.count + offset;
                // Every report is delivered at the input report length, as the device declares it.
                const std::size_t length = std::max<std::size_t>(got, m_caps.InputReportByteLength);
                std::fill(buffer + got, buffer + length, std::uint8_t{0});
                const auto size =
                    static_cast<std::uint16_t>(std::min<std::size_t>(length - 1, 0xFFFF));
                const TJvHidDataEvent handler = m_dataHandler;
                if (handler) {
                    handler(*this, buffer[0], buffer + 1, size);
                }
                if (!*alive) {
                    return;  // the handler released the device
                }
                break;
            }
            case HidReadOutcome::Gone: {
                // Reading again would fail at once, forever: one error, and the reader stops.
                closeRead();
                const TJvHidDataErrorEvent onError = m_dataErrorHandler;
                if (onError) {
                    onError(*this, static_cast<std::uint32_t>(outcome.error));
                }
                return;
            }
            case HidReadOutcome::Failed: {
                // At most one error per SleepTime: the reader pauses before it reads again.
                m_readWatch->setEnabled(false);
                m_errorPause->start(static_cast<unsigned>(m_sleepTime),
                                    [this] { resumeAfterError(); });
                const TJvHidDataErrorEvent onError = m_dataErrorHandler;
                if (onError) {
                    onError(*this, static_cast<std::uint32_t>(outcome.error));
                }
                return;
            }
        }
    }
}

void TJvHidDevice::resumeAfterError() {
    if (m_readWatch) {
        m_readWatch->setEnabled(true);
    }
}

void TJvHidDevice::markUnplugged() {
    closeAll();
    m_plugged = false;
    TJvHidPlugEvent onUnplug = std::move(m_unplugHandler);
    m_unplugHandler = nullptr;
    if (onUnplug) {
        onUnplug(*this);
    }
}

// --- controller ---------------------------------------------------------------------------------

TJvHidDeviceController::TJvHidDeviceController(HidBackend& backend, EventLoop& loop)
    : m_backend(backend), m_loop(loop) {
    if (g_controllerCount > 0) {
        throw EControllerError("Only one TJvHidDeviceController allowed per program");
    }
    for (const HidDeviceIdentity& identity : m_backend.enumerate()) {
        std::unique_ptr<TJvHidDevice> device = createDevice(identity);
        TJvHidDevice* listed = device.get();
        m_devices.push_back(Slot{std::move(device), listed});
    }
    m_monitor = m_backend.createMonitor();
    if (m_monitor && m_monitor->fd() >= 0) {
        m_settle = m_loop.createTimer();
        m_monitorWatch = m_loop.watchReadable(m_monitor->fd(), [this] { monitorReady(); });
    }
    ++g_controllerCount;
}

TJvHidDeviceController::~TJvHidDeviceController() {
    --g_controllerCount;
    m_monitorWatch.reset();
    m_settle.reset();
    m_monitor.reset();
    m_onDeviceChange = nullptr;
    m_onDeviceUnplug = nullptr;
    m_onEnumerate = nullptr;
    std::vector<Slot> devices;
    devices.swap(m_devices);
    for (Slot& slot : devices) {
        slot.device->m_controller = nullptr;
        if (!slot.owned) {
            slot.device->markUnplugged();  // its user still owns it
        }
    }
    devices.clear();  // the devices the list owns go
}

std::unique_ptr<TJvHidDevice> TJvHidDeviceController::createDevice(
    const HidDeviceIdentity& identity) {
    std::unique_ptr<TJvHidDevice> device(new TJvHidDevice(*this, identity));
    device->SetDataHandler(m_onDeviceData);
    device->m_unplugHandler = m_onDeviceUnplug;
    // New devices read errors to the same place as the devices listed at start.
    device->m_dataErrorHandler = m_onDeviceDataError;
    return device;
}

void TJvHidDeviceController::SetOnDeviceChange(TJvHidDeviceChangeEvent handler) {
    if (handler.sameRoutine(m_onDeviceChange)) {
        return;
    }
    m_onDeviceChange = std::move(handler);
    DeviceChange();
    m_changeReported = true;
}

void TJvHidDeviceController::SetOnDeviceData(TJvHidDataEvent handler) {
    if (handler.sameRoutine(m_onDeviceData)) {
        return;
    }
    for (std::size_t i = 0; i < m_devices.size(); ++i) {
        if (m_devices[i].device->m_dataHandler.sameRoutine(m_onDeviceData)) {
            m_devices[i].device->SetDataHandler(handler);
        }
    }
    m_onDeviceData = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceDataError(TJvHidDataErrorEvent handler) {
    if (handler.sameRoutine(m_onDeviceDataError)) {
        return;
    }
    for (const Slot& slot : m_devices) {
        TJvHidDevice* device = slot.device;
        if (device->m_dataErrorHandler.sameRoutine(m_onDeviceDataError)) {
            device->m_dataErrorHandler = handler;
        }
    }
    m_onDeviceDataError = std::move(handler);
}

void TJvHidDeviceController::SetOnDeviceUnplug(TJvHidPlugEvent handler) {
    if (handler.sameRoutine(m_onDeviceUnplug)) {
        return;
    }
    for (const Slot& slot : m_devices) {
        TJvHidDevice* device = slot.device;
        if (device->m_unplugHandler.sameRoutine(m_onDeviceUnplug)) {
            device->m_unplugHandler = handler;
        }
    }
    m_onDeviceUnplug = std::move(handler);
}

void TJvHidDeviceController::SetDevThreadSleepTime(int ms) {
    if (ms == m_devThreadSleepTime) {
        return;
    }
    for (const Slot& slot : m_devices) {
        TJvHidDevice* device = slot.device;
        if (device->m_sleepTime == m_devThreadSleepTime) {
            device->SetSleepTime(ms);
        }
    }
    m_devThreadSleepTime = ms;
}

void TJvHidDeviceController::DeviceChange() {
    if (m_inPass) {
        m_passPending = true;  // a handler asked for a pass: it runs when this one is done
        return;
    }
    FlagScope inPass(m_inPass);
    do {
        m_passPending = false;
        runPass();
    } while (m_passPending);
}

void TJvHidDeviceController::runPass() {
    const std::vector<HidDeviceIdentity> present = m_backend.enumerate();
    const auto isPresent = [&present](const std::string& instance) {
        return std::any_of(present.rbegin(), present.rend(),
                           [&](const HidDeviceIdentity& n) { return n.instance == instance; });
    };
    bool changed = false;

    // Removals, last to first.
    for (std::size_t k = m_devices.size(); k-- > 0;) {
        if (k >= m_devices.size()) {
            continue;  // a handler shortened the list
        }
        TJvHidDevice* device = m_devices[k].device;
        if (device->m_plugged && isPresent(device->m_pnp.DeviceInstance)) {
            continue;
        }
        changed = true;
        const std::shared_ptr<bool> alive = device->m_alive;
        device->markUnplugged();
        if (*alive && m_onRemoval) {
            device->m_inCallback = true;
            m_onRemoval(*device);
            if (*alive) {
                device->m_inCallback = false;
            }
        }
        if (*alive && !device->m_checkedOut) {
            // Off the list first, then ended: its check-in on the way out finds nothing to do.
            const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                         [device](const Slot& s) { return s.device == device; });
            if (it != m_devices.end()) {
                std::unique_ptr<TJvHidDevice> gone = std::move(it->owned);
                m_devices.erase(it);
            }
        }
    }

    // Arrivals: what is present and not listed as plugged, in the system's order.
    for (const HidDeviceIdentity& identity : present) {
        const bool listed = std::any_of(m_devices.begin(), m_devices.end(), [&](const Slot& s) {
            return s.device->m_plugged && s.device->m_pnp.DeviceInstance == identity.instance;
        });
        if (listed) {
            continue;
        }
        std::unique_ptr<TJvHidDevice> owned = createDevice(identity);
        TJvHidDevice* device = owned.get();
        m_devices.push_back(Slot{std::move(owned), device});
        changed = true;
        if (m_onArrival) {
            const std::shared_ptr<bool> alive = device->m_alive;
            device->m_inCallback = true;
            m_onArrival(*device);
            if (*alive) {
                device->m_inCallback = false;
            }
        }
    }

    if ((changed || !m_changeReported) && m_onDeviceChange) {
        const TJvHidDeviceChangeEvent onChange = m_onDeviceChange;
        onChange(*this);
    }
}

int TJvHidDeviceController::EnumerateDevices() {
    int count = 0;
    for (std::size_t k = 0; k < m_devices.size(); ++k) {
        TJvHidDevice* device = m_devices[k].device;
        if (!device->m_plugged) {
            continue;
        }
        ++count;
        if (!m_onEnumerate) {
            break;
        }
        const std::shared_ptr<bool> alive = device->m_alive;
        device->m_inCallback = true;
        const TJvHidEnumerateEvent onEnumerate = m_onEnumerate;
        const bool goOn = onEnumerate(*device, static_cast<int>(k));
        if (*alive) {
            device->m_inCallback = false;
            if (!device->m_checkedOut) {
                device->closeAll();
            }
        }
        if (!goOn) {
            break;
        }
    }
    return count;
}

bool TJvHidDeviceController::CheckOutByIndex(TJvHidDevicePtr& HidDev, int Index) {
    HidDev.reset();  // a device the pointer still held goes back first
    if (Index < 0 || static_cast<std::size_t>(Index) >= m_devices.size() ||
        !m_devices[static_cast<std::size_t>(Index)].owned) {
        return false;
    }
    Slot& slot = m_devices[static_cast<std::size_t>(Index)];
    TJvHidDevice* device = slot.device;
    device->m_checkedOut = true;
    HidDev = std::move(slot.owned);
    device->startReader();
    return true;
}

void TJvHidDeviceController::checkIn(TJvHidDevice& device, TJvHidDataEvent dataHandler,
                                     TJvHidPlugEvent unplugHandler) {
    const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                 [&device](const Slot& s) { return s.device == &device; });
    if (it == m_devices.end()) {
        return;  // disposed by the controller itself
    }
    if (device.m_plugged) {
        // A fresh, checked-in device takes the place, read afresh from the system. A device that
        // is gone by now (or cannot be identified any more) leaves the list instead.
        if (const std::optional<HidDeviceIdentity> identity =
                m_backend.identify(device.m_pnp.DeviceInstance)) {
            std::unique_ptr<TJvHidDevice> fresh = createDevice(*identity);
            fresh->SetDataHandler(std::move(dataHandler));
            fresh->m_unplugHandler = std::move(unplugHandler);
            fresh->SetSleepTime(device.m_sleepTime);
            TJvHidDevice* listed = fresh.get();
            *it = Slot{std::move(fresh), listed};
            return;
        }
    }
    m_devices.erase(it);
}

void TJvHidDeviceController::monitorReady() {
    if (m_monitor->drain()) {
        m_settle->start(kHidSettleMs, [this] { DeviceChange(); });
    }
}

#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "transport/hid/hid_backend.h"
#include "transport/hid/hid_event.h"
#include "transport/hid/hid_report_descriptor.h"
#include "transport/loop/event_loop.h"

// The HID device controller: it keeps the list of HID devices present on the machine, notices
// when devices come and go, hands devices out to its user (check-out) and takes them back
// (check-in), sends feature reports and reads input reports. Everything runs on the thread of
// its event loop; a reading device is watched by the loop, no threads are started.

class TJvHidDevice;
class TJvHidDeviceController;

// Raised by the controller's constructor when another controller exists; never raised from
// inside the event loop.
class EControllerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Handler types; the parameter names are those the handlers are documented with.
using TJvHidPlugEvent = HidEvent<void(TJvHidDevice& HidDev)>;
using TJvHidEnumerateEvent = HidEvent<bool(TJvHidDevice& HidDev, int Idx)>;
// Data: the payload after the report ID, Size bytes (the input report length less one, or more
// when the device sent a longer report).
using TJvHidDataEvent = HidEvent<void(TJvHidDevice& HidDev, std::uint8_t ReportID,
                                      const std::uint8_t* Data, std::uint16_t Size)>;
// Error: the system's error number (errno).
using TJvHidDataErrorEvent = HidEvent<void(TJvHidDevice& HidDev, std::uint32_t Error)>;
using TJvHidDeviceChangeEvent = HidEvent<void(TJvHidDeviceController& Sender)>;

// A checked-out device belongs to the user; releasing (destroying) it checks it back in.
using TJvHidDevicePtr = std::unique_ptr<TJvHidDevice>;

// The plug-and-play record of a device.
struct TJvHidPnPInfo {
    std::string DeviceInstance;  // identity when lists are compared (sysfs path of the HID device)
    std::string InterfacePath;   // the device node every open uses
};

struct THIDDAttributes {
    std::uint32_t Size = 12;
    std::uint16_t VendorID = 0;
    std::uint16_t ProductID = 0;
    std::uint16_t VersionNumber = 0;
};

// One present HID device. Created only by the controller.
class TJvHidDevice {
public:
    // Checked out: checks the device in (the controller keeps a fresh device at its place).
    // Checked in or detached: disposal. Stops the reader before any descriptor is closed.
    ~TJvHidDevice();
    TJvHidDevice(const TJvHidDevice&) = delete;
    TJvHidDevice& operator=(const TJvHidDevice&) = delete;

    // The creating controller; null once the controller is gone.
    TJvHidDeviceController* Controller() const { return m_controller; }
    const TJvHidPnPInfo& PnPInfo() const { return m_pnp; }
    const THIDDAttributes& Attributes() const { return m_attributes; }
    const THIDDAttributes& DeviceAttributes() const { return m_attributes; }
    bool Plugged() const { return m_plugged; }
    bool CheckedOut() const { return m_checkedOut; }
    bool InCallback() const { return m_inCallback; }

    // Product string (UTF-8) from the system's description of the device; empty without one.
    // Never opens the device.
    const std::string& QueryProductText() const { return m_product; }
    // Serial-number string (UTF-8); empty without one. Never opens the device.
    const std::string& QuerySerialText() const { return m_serial; }
    // Report lengths from the report descriptor. Never fails.
    const HidCaps& QueryCaps() const { return m_caps; }

    // Whether the node opens for reading and writing. While the device may be opened (plugged,
    // and checked out or in a callback) it is tried with an open that is closed again at once,
    // unless a descriptor is already open; otherwise the result of the last try (false before).
    bool ReadWriteAccess();

    // Sends a feature report (byte 0 the report ID) on the kept-open main descriptor; false when
    // the device cannot be opened or refused the report.
    bool SendFeature(const std::uint8_t* report, std::size_t length);

    // Stores the data handler: an unset handler stops the reader; then the reader starts when
    // the device has a handler, is plugged, checked out and opens for reading and writing.
    void SetDataHandler(TJvHidDataEvent handler);
    const TJvHidDataEvent& DataHandler() const { return m_dataHandler; }
    const TJvHidDataErrorEvent& DataErrorHandler() const { return m_dataErrorHandler; }
    const TJvHidPlugEvent& UnplugHandler() const { return m_unplugHandler; }

    // Pause after a read error before the next read, in ms (100 at creation). Accepts only
    // 10 ≤ ms ≤ 10000; returns whether it was accepted.
    bool SetSleepTime(int ms);
    int SleepTime() const { return m_sleepTime; }

    // A reader watches the device.
    bool Reading() const { return m_readWatch != nullptr; }

private:
    friend class TJvHidDeviceController;
    TJvHidDevice(TJvHidDeviceController& controller, const HidDeviceIdentity& identity);

    bool canOpen() const;
    bool openMain();
    void closeMain();
    void closeRead();
    void closeAll();
    void startReader();
    void stopReader();
    void readReady();
    void resumeAfterError();
    void markUnplugged();

    TJvHidDeviceController* m_controller;
    HidBackend* m_backend;
    EventLoop* m_loop;
    TJvHidPnPInfo m_pnp;
    THIDDAttributes m_attributes;
    std::string m_product;
    std::string m_serial;
    HidCaps m_caps;
    bool m_plugged = true;
    bool m_checkedOut = false;
    bool m_inCallback = false;
    bool m_readWriteAccess = false;
    int m_sleepTime = 100;
    int m_mainFd = -1;
    int m_readFd = -1;
    TJvHidDataEvent m_dataHandler;
    TJvHidDataErrorEvent m_dataErrorHandler;
    TJvHidPlugEvent m_unplugHandler;
    std::unique_ptr<DescriptorWatch> m_readWatch;
    std::unique_ptr<LoopTimer> m_errorPause;
    std::vector<std::uint8_t> m_reportBuffer;
    // Cleared when the device is destroyed, so a reader callback learns that its handler
    // released the device.
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
};

// The controller. At most one exists at a time.
class TJvHidDeviceController {
public:
    // Lists the present devices (without opening any) and starts watching the system's
    // device-change notices when it has them. backend and loop must outlive the controller and
    // every device it handed out. Raises EControllerError "Only one TJvHidDeviceController
    // allowed per program" when a controller exists; the existing one is left as it was.
    TJvHidDeviceController(HidBackend& backend, EventLoop& loop);
    // Checked-out devices are detached and marked unplugged (their users still own them); the
    // others are released.
    ~TJvHidDeviceController();
    TJvHidDeviceController(const TJvHidDeviceController&) = delete;
    TJvHidDeviceController& operator=(const TJvHidDeviceController&) = delete;

    static constexpr const char* Version() { return "1.0.22"; }

    // Stores the handler (only when the routine differs) and runs a device-change pass at once,
    // which is reported even when nothing changed.
    void SetOnDeviceChange(TJvHidDeviceChangeEvent handler);
    void SetOnEnumerate(TJvHidEnumerateEvent handler) { m_onEnumerate = std::move(handler); }
    void SetOnArrival(TJvHidPlugEvent handler) { m_onArrival = std::move(handler); }
    void SetOnRemoval(TJvHidPlugEvent handler) { m_onRemoval = std::move(handler); }
    // The default handlers of the devices: the new handler goes to every listed device whose
    // handler has the routine of the old default, then it is stored. New devices (arrivals and
    // the fresh device of a check-in) take the defaults too.
    void SetOnDeviceData(TJvHidDataEvent handler);
    void SetOnDeviceDataError(TJvHidDataErrorEvent handler);
    void SetOnDeviceUnplug(TJvHidPlugEvent handler);
    const TJvHidDeviceChangeEvent& OnDeviceChange() const { return m_onDeviceChange; }
    const TJvHidEnumerateEvent& OnEnumerate() const { return m_onEnumerate; }
    const TJvHidPlugEvent& OnArrival() const { return m_onArrival; }
    const TJvHidPlugEvent& OnRemoval() const { return m_onRemoval; }
    const TJvHidDataEvent& OnDeviceData() const { return m_onDeviceData; }
    const TJvHidDataErrorEvent& OnDeviceDataError() const { return m_onDeviceDataError; }
    const TJvHidPlugEvent& OnDeviceUnplug() const { return m_onDeviceUnplug; }

    // Default SleepTime of devices (100). A new value goes to every listed device whose
    // SleepTime equals the old one.
    void SetDevThreadSleepTime(int ms);
    int DevThreadSleepTime() const { return m_devThreadSleepTime; }

    // One device-change pass: removals (OnRemoval), then arrivals (OnArrival), then
    // OnDeviceChange when the list changed or the pass is the first one reported. Opens no
    // device. A pass asked for from inside a pass runs right after it.
    void DeviceChange();
    // Passes each plugged device to OnEnumerate (with its list index) until it returns false;
    // returns the number of plugged devices visited (1 at most without OnEnumerate).
    int EnumerateDevices();
    // Checks out the device at Index: true and the device in HidDev, or false and HidDev null
    // (index outside the list, device already checked out).
    bool CheckOutByIndex(TJvHidDevicePtr& HidDev, int Index);
    // Checks a device in (the same as releasing it); HidDev is null afterwards.
    void CheckIn(TJvHidDevicePtr& HidDev) { HidDev.reset(); }

    // The listed devices in list order (checked-out ones included).
    int Count() const { return static_cast<int>(m_devices.size()); }
    TJvHidDevice& Device(int Index) const {
        return *m_devices.at(static_cast<std::size_t>(Index)).device;
    }
    // Device-change notices are watched (false: the list changes only through DeviceChange()).
    bool HotPlugActive() const { return m_monitorWatch != nullptr; }

private:
    friend class TJvHidDevice;
    // Creates a device for a listed identity, with the controller's default handlers.
    std::unique_ptr<TJvHidDevice> createDevice(const HidDeviceIdentity& identity);
    void checkIn(TJvHidDevice& device, TJvHidDataEvent dataHandler, TJvHidPlugEvent unplugHandler);
    void monitorReady();
    void runPass();

    HidBackend& m_backend;
    EventLoop& m_loop;
    // A listed device: owned by the list, or checked out (owned by its user; `owned` empty).
    struct Slot {
        std::unique_ptr<TJvHidDevice> owned;
        TJvHidDevice* device;
    };
    std::vector<Slot> m_devices;
    TJvHidDeviceChangeEvent m_onDeviceChange;
    TJvHidEnumerateEvent m_onEnumerate;
    TJvHidPlugEvent m_onArrival;
    TJvHidPlugEvent m_onRemoval;
    TJvHidDataEvent m_onDeviceData;
    TJvHidDataErrorEvent m_onDeviceDataError;
    TJvHidPlugEvent m_onDeviceUnplug;
    int m_devThreadSleepTime = 100;
    bool m_changeReported = false;
    bool m_inPass = false;
    bool m_passPending = false;
    std::unique_ptr<HidHotplugMonitor> m_monitor;
    std::unique_ptr<DescriptorWatch> m_monitorWatch;
    std::unique_ptr<LoopTimer> m_settle;
};

// A burst of device-change notices becomes one pass, this long after the last notice.
inline constexpr unsigned kHidSettleMs = 100;

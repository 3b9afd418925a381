#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "transport/hid/hid_cable_link.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/loop/event_loop.h"

// One device of the controller as the cable link sees it. Either a checked-out device that this
// object owns (destroying it stops its reader and checks it back in) or a device the controller
// lends for the length of one event (HidCtlEnumerate, HidCtlArrival, HidCtlRemoval).
class JvHidLinkDevice final : public HidLinkDevice {
public:
    using ReportTap =
        std::function<void(std::uint8_t reportId, const std::uint8_t* data, std::size_t size)>;

    // Owns a checked-out device. tap (may be empty) sees every report before the link does.
    JvHidLinkDevice(TJvHidDevicePtr device, ReportTap tap);
    // Lends a device for one event.
    explicit JvHidLinkDevice(TJvHidDevice& device);
    ~JvHidLinkDevice() override;

    std::string productText() override { return m_device->QueryProductText(); }
    std::string serialText() override { return m_device->QuerySerialText(); }
    std::uint16_t vendorId() const override { return m_device->Attributes().VendorID; }
    std::uint16_t productId() const override { return m_device->Attributes().ProductID; }
    bool readWriteAccess() const override { return m_device->ReadWriteAccess(); }
    std::string node() const override { return m_device->PnPInfo().InterfacePath; }
    bool sendFeature(const std::uint8_t* report, std::size_t length) override {
        return m_device->SendFeature(report, length);
    }
    void setDataHandler(DataHandler handler) override;
    bool reading() const override { return m_device->Reading(); }

    TJvHidDevice& device() const { return *m_device; }

private:
    TJvHidDevicePtr m_owned;
    TJvHidDevice* m_device;
    ReportTap m_tap;
};

// The cable link bound to the device controller: the link's controller side served by the
// controller, and the controller's events bound to the link's handlers in the order the window
// binds them (OnArrival, OnEnumerate, OnDeviceChange, OnDeviceDataError, OnRemoval). Binding
// OnDeviceChange runs the first device-change pass, which lists every device, checks each out
// and selects the cable. The window and halvern log --hid share it. Single-threaded, on the
// controller's event loop.
class HidCableBinding {
public:
    // The controller and the decoder must outlive the binding. Nothing is bound until bind().
    HidCableBinding(TJvHidDeviceController& controller, FrameDecoder& decoder,
                    bool hidHandler = true);
    ~HidCableBinding();
    HidCableBinding(const HidCableBinding&) = delete;
    HidCableBinding& operator=(const HidCableBinding&) = delete;

    // Binds the controller's events to the link (set the link's callbacks first: the first
    // device-change pass runs inside).
    void bind();

    // Reconnect of the cable (HidCableLink::setReconnect), off until set. While the link waits,
    // retryTimer ticks every kRetryMs: a device-change pass when the controller has no hot-plug
    // notices (with them, the pass comes with the notice), then the link's retry. Without a
    // timer reconnect stays off. The link's onWaitingFor is the binding's from then on.
    void setReconnect(bool on, std::unique_ptr<LoopTimer> retryTimer);
    static constexpr unsigned kRetryMs = 1000;

    HidCableLink& link() { return *m_link; }
    const HidCableLink& link() const { return *m_link; }
    TJvHidDeviceController& controller() { return m_controller; }

    // The controller's device behind a list entry; null when its check-out failed.
    static TJvHidDevice* jvDevice(const HidCableLink::Entry& entry);

    // Every input report a listed device delivers to the link, before the link handles it (the
    // capture of halvern log --hid).
    std::function<void(std::uint8_t reportId, const std::uint8_t* data, std::size_t size)> onReport;
    // A device's reader failed (after the link logged it, and after the link began to wait when
    // it was the cable's and it stopped); errno. The reader may have stopped.
    std::function<void(TJvHidDevice& device, std::uint32_t error)> onDataError;
    // The link waits for the device named, or has stopped waiting (empty).
    std::function<void(const std::string& device)> onWaitingFor;

    // The controller's handlers.
    void HidCtlArrival(TJvHidDevice& HidDev);
    bool HidCtlEnumerate(TJvHidDevice& HidDev, int Idx);
    void HidCtlDeviceChange(TJvHidDeviceController& Sender);
    void HidCtlDeviceDataError(TJvHidDevice& HidDev, std::uint32_t Error);
    void HidCtlRemoval(TJvHidDevice& HidDev);

private:
    class Controller;
    void retry();

    TJvHidDeviceController& m_controller;
    std::unique_ptr<LoopTimer> m_retry;
    std::unique_ptr<Controller> m_adapter;
    std::unique_ptr<HidCableLink> m_link;
    bool m_bound = false;
};

// Why a listed device cannot be read: the permission text when the system refused access, the
// system's reason otherwise. error is the errno of a read-write open of node.
std::string hidAccessProblemText(const std::string& node, int error);

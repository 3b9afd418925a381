// The HID cable link under arbitrary sequences of events: reports, clicks, selections,
// arrivals and removals with device-change passes, read errors and idle checks. Released
// devices are freed at once, so AddressSanitizer stops on any use through a stale handle.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_input.h"
#include "transport/hid/hid_cable_link.h"

namespace {

struct State {
    std::string product;
    std::string serial;
    bool readWrite = true;
    bool plugged = true;
    bool checkedOut = false;
    HidLinkDevice::DataHandler handler;
};

class Device final : public HidLinkDevice {
public:
    Device(std::shared_ptr<State> state, bool owner) : m_state(std::move(state)), m_owner(owner) {}
    ~Device() override {
        if (m_owner) {
            m_state->handler = nullptr;
            m_state->checkedOut = false;
        }
    }
    std::string productText() override { return m_state->product; }
    std::string serialText() override { return m_state->serial; }
    std::uint16_t vendorId() const override { return 0x1A86; }
    std::uint16_t productId() const override { return 0xE008; }
    bool readWriteAccess() const override { return m_state->readWrite; }
    std::string node() const override { return "/dev/hidraw0"; }
    bool sendFeature(const std::uint8_t*, std::size_t length) override { return length == 10; }
    void setDataHandler(DataHandler handler) override {
        fuzzCheck(m_owner);  // only checked-out devices read
        m_state->handler = std::move(handler);
    }
    bool reading() const override { return m_state->handler && m_state->plugged; }

private:
    std::shared_ptr<State> m_state;
    bool m_owner;
};

class Controller final : public HidLinkController {
public:
    HidCableLink* link = nullptr;
    std::vector<std::shared_ptr<State>> devices;

    void enumerateDevices() override {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i]->plugged) {
                Device view(devices[i], false);
                link->HidCtlEnumerate(view, static_cast<int>(i));
            }
        }
    }
    std::unique_ptr<HidLinkDevice> checkOutAt(int index) override {
        State& state = *devices.at(static_cast<std::size_t>(index));
        if (state.checkedOut) {
            return nullptr;
        }
        state.checkedOut = true;
        return std::make_unique<Device>(devices[static_cast<std::size_t>(index)], true);
    }
};

const char* const kProducts[] = {"USB to Serial", "Mouse", ""};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ReadingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, ".");
    Controller controller;
    HidCableLink link(controller, decoder);
    controller.link = &link;
    bool usbCon = false;
    bool readBtn = false;
    std::deque<std::function<void()>> queued;
    link.releaseUsbCon = [&] { usbCon = false; };
    link.releaseReadBtn = [&] { readBtn = false; };
    std::uint8_t arg = 0;
    // A message box runs its own event loop: with an odd argument, a device-change pass runs
    // while it is open.
    link.informationMessage = [&](std::string_view text) {
        fuzzCheck(!text.empty());
        if ((arg & 1) != 0) {
            link.HidCtlDeviceChange();
        }
    };
    link.post = [&](std::function<void()> task) { queued.push_back(std::move(task)); };
    // Reconnect on for inputs whose last byte is odd; its notices alternate, waiting first.
    link.setReconnect(size > 0 && (data[size - 1] & 1) != 0);
    bool waitingShown = false;
    link.onWaitingFor = [&](const std::string& device) {
        fuzzCheck(device.empty() == waitingShown);
        waitingShown = !device.empty();
    };
    link.HidCtlDeviceChange();

    std::size_t i = 0;
    auto take = [&]() -> std::uint8_t { return i < size ? data[i++] : 0; };
    while (i < size) {
        const std::uint8_t op = take();
        arg = take();
        switch (op % 10) {
            case 0: {  // a report of arg % 16 bytes to device arg / 16
                const std::size_t n = arg % 16 < size - i ? arg % 16 : size - i;
                const std::size_t device = arg / 16;
                if (device < controller.devices.size()) {
                    const auto handler = controller.devices[device]->handler;
                    if (handler) {
                        handler(0, data + i, n);
                    }
                }
                i += n;
                break;
            }
            case 1:
                usbCon = !usbCon;
                readBtn = readBtn && !usbCon;
                link.USBConClick(usbCon);
                break;
            case 2:
                readBtn = !readBtn;
                usbCon = usbCon && !readBtn;
                link.ReadBtnClick(readBtn);
                break;
            case 3:
                link.SetFeatureClick();
                break;
            case 4: {  // a device comes or goes, then the pass
                const std::size_t device = arg % 5;
                if (device < controller.devices.size()) {
                    State& state = *controller.devices[device];
                    state.plugged = !state.plugged;
                    Device view(controller.devices[device], false);
                    if (state.plugged) {
                        link.HidCtlArrival(view);
                    } else {
                        link.HidCtlRemoval(view);
                    }
                } else if (controller.devices.size() < 5) {
                    auto state = std::make_shared<State>();
                    state->product = kProducts[arg % 3];
                    state->serial = arg & 0x40 ? "1" : "";
                    state->readWrite = (arg & 0x80) == 0;
                    controller.devices.push_back(state);
                }
                link.HidCtlDeviceChange();
                break;
            }
            case 5:
                link.select(static_cast<int>(arg % 7) - 1);
                break;
            case 6:
                link.cableIdleCheck();
                break;
            case 7:
                link.ClearBtnClick();
                break;
            case 8:  // a read error; with the high bit the reader stopped: the device went away
                link.HidCtlDeviceDataError(arg);
                if ((arg & 0x80) != 0) {
                    link.readingLost();
                }
                break;
            case 9:
                if ((arg & 1) != 0) {
                    link.retryCable();
                }
                while (!queued.empty()) {
                    auto task = std::move(queued.front());
                    queued.pop_front();
                    task();
                }
                break;
        }
        // At most the device the link reads carries a handler, and only while it reads.
        int withHandler = 0;
        for (const auto& state : controller.devices) {
            withHandler += state->handler ? 1 : 0;
            fuzzCheck(!state->handler || state->checkedOut);
        }
        fuzzCheck(withHandler <= 1);
        fuzzCheck((link.reader() == HidCableLink::Reader::None) ==
                  (link.readingDevice() == nullptr));
        fuzzCheck(link.selectedIndex() < static_cast<int>(link.entries().size()));
        // Waiting is shown while it lasts, only behind a pressed "HID Connect" and reading nothing.
        fuzzCheck(link.waiting() == waitingShown);
        fuzzCheck(!link.waiting() ||
                  (link.reconnect() && link.reader() == HidCableLink::Reader::None &&
                   !link.awaited().empty()));
        fuzzCheck(!link.connected() || usbCon);
        fuzzCheck(link.history().size() <= BoundedLog::kDefaultCapacity);
    }
    return 0;
}

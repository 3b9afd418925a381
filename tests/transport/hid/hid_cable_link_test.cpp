// The HID cable link's handlers over a fake controller and fake devices.
#include "transport/hid/hid_cable_link.h"

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "lcd/connection_indicator.h"
#include "tests/support/frames.h"
#include "tests/support/recording_consumer.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// What the controller knows of one device, shared with the object checked out for it.
struct FakeState {
    std::string node;
    std::string product;
    std::string serial;
    std::uint16_t vid = 0x1A86;
    std::uint16_t pid = 0xE008;
    bool readWrite = true;
    bool plugged = true;
    bool checkOutFails = false;
    bool checkedOut = false;
    HidLinkDevice::DataHandler handler;
    std::vector<Bytes> features;
    std::vector<std::string> steps;  // "feature", "read", "stop", in the order they came
    std::vector<std::string>* events = nullptr;  // the controller's log of releases
};

class FakeDevice final : public HidLinkDevice {
public:
    FakeDevice(std::shared_ptr<FakeState> state, bool checkedOut)
        : m_state(std::move(state)), m_checkedOut(checkedOut) {}
    ~FakeDevice() override {
        if (m_checkedOut) {
            // Check-in stops the reader.
            m_state->handler = nullptr;
            m_state->checkedOut = false;
            m_state->events->push_back("release " + m_state->product);
        }
    }
    std::string productText() override { return m_state->product; }
    std::string serialText() override { return m_state->serial; }
    std::uint16_t vendorId() const override { return m_state->vid; }
    std::uint16_t productId() const override { return m_state->pid; }
    bool readWriteAccess() const override { return m_state->readWrite; }
    std::string node() const override { return m_state->node; }
    bool sendFeature(const std::uint8_t* report, std::size_t length) override {
        m_state->features.emplace_back(report, report + length);
        m_state->steps.emplace_back("feature");
        return m_state->readWrite;
    }
    void setDataHandler(DataHandler handler) override {
        m_state->steps.emplace_back(handler ? "read" : "stop");
        m_state->handler = std::move(handler);
    }
    bool reading() const override {
        return m_state->handler && m_state->plugged && m_state->readWrite;
    }

private:
    std::shared_ptr<FakeState> m_state;
    bool m_checkedOut;
};

class FakeController final : public HidLinkController {
public:
    HidCableLink* link = nullptr;
    std::vector<std::shared_ptr<FakeState>> devices;
    std::vector<std::string> events;

    FakeState& add(std::string product, std::string serial = "") {
        auto state = std::make_shared<FakeState>();
        state->node = "/dev/hidraw" + std::to_string(devices.size());
        state->product = std::move(product);
        state->serial = std::move(serial);
        state->events = &events;
        devices.push_back(state);
        return *state;
    }
    void enumerateDevices() override {
        for (std::size_t i = 0; i < devices.size(); ++i) {
            if (devices[i]->plugged) {
                FakeDevice view(devices[i], false);
                link->HidCtlEnumerate(view, static_cast<int>(i));
            }
        }
    }
    std::unique_ptr<HidLinkDevice> checkOutAt(int index) override {
        if (index < 0 || index >= static_cast<int>(devices.size())) {
            return nullptr;
        }
        FakeState& state = *devices[static_cast<std::size_t>(index)];
        if (state.checkedOut || state.checkOutFails) {
            return nullptr;
        }
        state.checkedOut = true;
        return std::make_unique<FakeDevice>(devices[static_cast<std::size_t>(index)], true);
    }
    // The device's reader hands one report to its data handler, as the controller would.
    bool deliver(std::size_t index, const Bytes& payload, std::uint8_t reportId = 0) {
        const HidLinkDevice::DataHandler handler = devices[index]->handler;  // may be cleared
        if (!handler) {
            return false;
        }
        handler(reportId, payload.data(), payload.size());
        return true;
    }
    // Unplugs a device: the controller reports the removal, then the change.
    void unplug(std::size_t index) {
        devices[index]->plugged = false;
        FakeDevice view(devices[index], false);
        link->HidCtlRemoval(view);
        link->HidCtlDeviceChange();
    }
};

Bytes payload(std::uint8_t count, Bytes bytes = {}) {
    bytes.insert(bytes.begin(), count);
    return bytes;
}

// The window's part: the group's buttons, the messages, and its event queue for posted tasks.
class HidCableLinkTest : public ::testing::Test {
protected:
    // hidHandler: this build's profile, whose "HID Connect" reads with HidReportData.
    explicit HidCableLinkTest(bool hidHandler = true) : link(controller, decoder, hidHandler) {
        controller.link = &link;
        link.releaseUsbCon = [this] {
            usbConDown = false;
            events.push_back("release USBCon");
        };
        link.releaseReadBtn = [this] { readBtnDown = false; };
        link.informationMessage = [this](std::string_view text) {
            messages.emplace_back(text);
            events.push_back("message");
        };
        link.post = [this](std::function<void()> task) { queued.push_back(std::move(task)); };
    }

    void start() { link.HidCtlDeviceChange(); }  // binding the change event runs one pass
    void clickUsbCon() {
        usbConDown = !usbConDown;
        if (usbConDown) {
            readBtnDown = false;
        }
        link.USBConClick(usbConDown);
    }
    void clickReadBtn() {
        readBtnDown = !readBtnDown;
        if (readBtnDown) {
            usbConDown = false;
        }
        link.ReadBtnClick(readBtnDown);
    }
    void runQueued() {
        while (!queued.empty()) {
            auto task = std::move(queued.front());
            queued.pop_front();
            task();
        }
    }
    // The meter's frame as the cable delivers it: four bytes a report, then an empty report.
    void deliverFrame(std::size_t device, const std::string& nibbles) {
        const std::string bytes = meterFrameBytes(nibbles).substr(1) + "\x0A";
        for (std::size_t i = 0; i < bytes.size(); i += 4) {
            const std::string part = bytes.substr(i, 4);
            controller.deliver(device, payload(static_cast<std::uint8_t>(part.size()),
                                               Bytes(part.begin(), part.end())));
        }
        controller.deliver(device, payload(0));
    }

    FakeController controller;
    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    HidCableLink link;
    bool usbConDown = false;
    bool readBtnDown = false;
    std::vector<std::string> messages;
    std::vector<std::string> events;
    std::deque<std::function<void()>> queued;
};

std::vector<std::string> captions(const HidCableLink& link) {
    std::vector<std::string> out;
    for (const auto& entry : link.entries()) {
        out.push_back(entry.caption);
    }
    return out;
}

// --- the list and the cable's selection ----------------------------------------------------

struct ListCase {
    const char* name;
    std::vector<std::pair<std::string, std::string>> devices;  // product, serial
    std::vector<std::string> captions;
    int selected;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const ListCase& c, std::ostream* os) {
    *os << c.name;
}

class HidCableLinkList : public HidCableLinkTest, public ::testing::WithParamInterface<ListCase> {};

TEST_P(HidCableLinkList, CaptionsEveryDeviceAndSelectsTheCable) {
    const ListCase& c = GetParam();
    for (const auto& [product, serial] : c.devices) {
        controller.add(product, serial).vid = 0x04D8;
    }
    start();
    EXPECT_EQ(captions(link), c.captions);
    EXPECT_EQ(link.selectedIndex(), c.selected);
    for (const auto& state : controller.devices) {
        EXPECT_TRUE(state->checkedOut);  // every listed device is checked out by the link
    }
}

INSTANTIATE_TEST_SUITE_P(
    Devices, HidCableLinkList,
    ::testing::Values(
        ListCase{"NoDevice", {}, {}, -1},
        ListCase{"OneCable",
                 {{"Keyboard", ""}, {"USB to Serial", ""}, {"Mouse", ""}},
                 {"Keyboard", "USB to Serial", "Mouse"},
                 1},
        ListCase{"TwoCablesTheLaterIsSelected",
                 {{"USB to Serial", ""}, {"USB to Serial", ""}},
                 {"USB to Serial", "USB to Serial"},
                 1},
        ListCase{"ACableWithASerialNumberIsNotSelected",
                 {{"USB to Serial", "A1"}},
                 {"USB to Serial (Serial=A1)"},
                 -1},
        ListCase{"NoProductTextGivesTheIds", {{"", ""}}, {"Device VID=04D8 PID=E008"}, -1}),
    [](const auto& info) { return std::string(info.param.name); });

// --- reading -------------------------------------------------------------------------------

TEST_F(HidCableLinkTest, HidConnectSendsTheFeatureReportAndDecodesTheCablesFrames) {
    controller.add("USB to Serial");
    start();
    clickUsbCon();
    EXPECT_TRUE(usbConDown);
    ASSERT_EQ(controller.devices[0]->features.size(), 1u);
    EXPECT_EQ(controller.devices[0]->features[0],
              (Bytes{0x00, 0x80, 0x25, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00}));
    EXPECT_EQ(link.history().last(), "00 80 25 00 00 03 00 00 00 00 ");
    EXPECT_EQ(link.reader(), HidCableLink::Reader::HidReportData);
    EXPECT_EQ(link.currentDevice(), link.entries()[0].device.get());

    deliverFrame(0, "00012340010");
    deliverFrame(0, "00156780010");
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00012340010D", "A00156780010D"}));
    EXPECT_EQ(link.memo1().line(0), "Memo1");
    EXPECT_EQ(link.memo1().last(), "00156780010DA");
    EXPECT_EQ(link.memo2().last(), "30303135363738303031300D0A");
    EXPECT_EQ(link.history().last(), "R 00  01 0A ");

    clickUsbCon();  // released: reading stops, the feature report is sent again
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_EQ(link.reader(), HidCableLink::Reader::None);
    EXPECT_EQ(controller.devices[0]->features.size(), 2u);
    EXPECT_TRUE(messages.empty());
}

// The profile of the other meter model, whose cable ReadBtn serves.
class OtherModelLinkTest : public HidCableLinkTest {
protected:
    OtherModelLinkTest() : HidCableLinkTest(false) {}
};

TEST_F(OtherModelLinkTest, ReadBtnReadsWithThePelmarkHandler) {
    EXPECT_TRUE(link.readBtnServes());
    controller.add("USB to Serial");
    start();
    clickReadBtn();
    EXPECT_EQ(link.reader(), HidCableLink::Reader::PelmarkReportData);
    EXPECT_TRUE(controller.devices[0]->features.empty());  // ReadBtn sends no feature report
    controller.deliver(0, payload(7, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77}));
    controller.deliver(0, payload(7, {0x88, 0x99, 0xAA, 0xBB, 0xCC, 0xDD, 0xEE}));
    controller.deliver(0, payload(0));
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"123456789ABCDE"});
    EXPECT_EQ(link.collector().pelmarkAcceptedFrames(), 1u);
    clickReadBtn();
    EXPECT_FALSE(controller.devices[0]->handler);
}

TEST_F(HidCableLinkTest, ReadBtnDoesNotServeThisBuildAndNeverSwapsTheHandler) {
    EXPECT_FALSE(link.readBtnServes());
    controller.add("USB to Serial");
    start();
    clickReadBtn();
    EXPECT_FALSE(readBtnDown);
    EXPECT_EQ(link.reader(), HidCableLink::Reader::None);
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_TRUE(messages.empty());
}

TEST_F(HidCableLinkTest, HidConnectSendsTheFeatureBeforeReadingAndCountsIdleReportsAfresh) {
    controller.add("USB to Serial");
    start();
    clickUsbCon();
    ASSERT_EQ(link.reader(), HidCableLink::Reader::HidReportData);
    // The cable is set up before its reader starts, never after.
    EXPECT_EQ(controller.devices[0]->steps, (std::vector<std::string>{"stop", "feature", "read"}));

    for (int i = 0; i < 5; ++i) {
        controller.deliver(0, payload(0));
    }
    EXPECT_EQ(link.collector().emptyReportCount(), 5);
    clickUsbCon();
    clickUsbCon();
    EXPECT_EQ(link.collector().emptyReportCount(), 0) << "HID Connect kept the old idle count";
}

TEST_F(HidCableLinkTest, WithoutACableTheUserIsToldAndHidConnectReleased) {
    controller.add("Keyboard");
    start();
    clickUsbCon();
    EXPECT_FALSE(usbConDown);
    EXPECT_EQ(messages, std::vector<std::string>{
                            "USB interface cable is not securely connected, please check and "
                            "re-try."});
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_TRUE(controller.devices[0]->features.empty());
    EXPECT_EQ(link.currentDevice(), nullptr);

    link.SetFeatureClick();
    EXPECT_EQ(messages.size(), 2u);
}

TEST_F(HidCableLinkTest, ACablePluggedInWhileTheMessageIsOpenDoesNotStartReading) {
    start();
    // The message box's event loop runs the pass of a cable plugged in meanwhile.
    link.informationMessage = [this](std::string_view text) {
        messages.emplace_back(text);
        controller.add("USB to Serial");
        link.HidCtlDeviceChange();
    };
    clickUsbCon();
    EXPECT_FALSE(usbConDown);
    EXPECT_EQ(messages.size(), 1u);
    EXPECT_EQ(link.selectedIndex(), 0);
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_EQ(link.reader(), HidCableLink::Reader::None);
}

TEST_F(HidCableLinkTest, ACableThatCannotBeOpenedReleasesItsButtonWithoutAMessage) {
    controller.add("USB to Serial").readWrite = false;
    start();
    clickUsbCon();
    EXPECT_FALSE(usbConDown);
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_TRUE(messages.empty());
    EXPECT_FALSE(link.entries()[0].device->readWriteAccess());  // the window says why

    clickReadBtn();
    EXPECT_FALSE(readBtnDown);
    EXPECT_FALSE(controller.devices[0]->handler);
}

TEST_F(HidCableLinkTest, AnEntryWhoseCheckOutFailedCannotRead) {
    controller.add("USB to Serial").checkOutFails = true;
    start();
    ASSERT_EQ(link.entries().size(), 1u);
    EXPECT_EQ(link.entries()[0].device, nullptr);
    clickUsbCon();
    EXPECT_FALSE(usbConDown);
    EXPECT_EQ(link.currentDevice(), nullptr);
}

TEST_F(HidCableLinkTest, ReleasingHidConnectStopsTheReaderEvenAfterTheSelectionMoved) {
    controller.add("USB to Serial");
    controller.add("Mouse");
    start();
    clickUsbCon();
    ASSERT_TRUE(controller.devices[0]->handler);
    link.select(1);
    clickUsbCon();
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_FALSE(controller.devices[1]->handler);
}

TEST_F(OtherModelLinkTest, OnlyOneDeviceFeedsTheCollectorAtATime) {
    controller.add("USB to Serial");
    controller.add("Mouse");
    start();
    link.select(0);
    clickReadBtn();
    link.select(1);
    clickReadBtn();  // released
    clickReadBtn();  // pressed on the mouse
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_TRUE(controller.devices[1]->handler);
}

// --- device changes ------------------------------------------------------------------------

TEST_F(HidCableLinkTest, AnUnplugWhileReadingStopsVisiblyAndLeavesNothingDangling) {
    controller.add("Keyboard");
    controller.add("USB to Serial");
    start();
    clickUsbCon();
    controller.deliver(1, payload(3, {0x30, 0x30, 0x30}));  // mid-frame
    events.clear();
    controller.events.clear();
    link.readingLost();  // without reconnect: nothing until the pass
    EXPECT_FALSE(link.waiting());
    EXPECT_TRUE(controller.devices[1]->handler);

    controller.unplug(1);
    EXPECT_EQ(link.history().last(), "Removal of USB to Serial");
    EXPECT_FALSE(usbConDown);
    EXPECT_EQ(events, std::vector<std::string>{"release USBCon"});
    EXPECT_EQ(controller.events,
              (std::vector<std::string>{"release Keyboard", "release USB to Serial"}));
    EXPECT_EQ(link.currentDevice(), nullptr);
    EXPECT_EQ(link.readingDevice(), nullptr);
    EXPECT_EQ(captions(link), std::vector<std::string>{"Keyboard"});
    EXPECT_EQ(link.selectedIndex(), -1);
    EXPECT_FALSE(controller.deliver(1, payload(0)));

    // The idle check after the pass has no device to reach.
    for (int i = 0; i < 2000; ++i) {
        link.collector().HidReportData(0, payload(0).data(), 1);
    }
    link.cableIdleCheck();
    runQueued();
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(HidCableLinkTest, APassWhileNotReadingLeavesTheButtonsAlone) {
    controller.add("USB to Serial");
    start();
    controller.add("Mouse");
    FakeDevice mouse(controller.devices[1], false);
    link.HidCtlArrival(mouse);
    link.HidCtlDeviceChange();
    EXPECT_TRUE(events.empty());
    EXPECT_EQ(link.history().last(), "Arrival of Mouse");
    EXPECT_EQ(captions(link), (std::vector<std::string>{"USB to Serial", "Mouse"}));
    EXPECT_EQ(link.selectedIndex(), 0);
}

// --- reconnect ----------------------------------------------------------------------------

// With reconnect, as the window and halvern log run the link.
class ReconnectingLinkTest : public HidCableLinkTest {
protected:
    ReconnectingLinkTest() {
        link.setReconnect(true);
        link.onWaitingFor = [this](const std::string& device) { waits.push_back(device); };
    }
    // A device plugged in and the controller's pass.
    void plug(const std::string& product, bool readWrite = true) {
        FakeState& state = controller.add(product);
        state.readWrite = readWrite;
        FakeDevice view(controller.devices.back(), false);
        link.HidCtlArrival(view);
        link.HidCtlDeviceChange();
    }

    std::vector<std::string> waits;
};

TEST_F(ReconnectingLinkTest, HidConnectStaysDownWhileTheCableIsAwayAndReadsItWhenItIsBack) {
    controller.add("Keyboard");
    controller.add("USB to Serial");
    start();
    clickUsbCon();
    deliverFrame(1, "00012340010");
    // Cut off after its first report: these bytes must not join the next frame.
    controller.deliver(1, payload(4, {0x30, 0x30, 0x30, 0x35}));
    events.clear();

    // The reader stops (the device went away), then the pass no longer lists the cable.
    link.readingLost();
    EXPECT_TRUE(link.waiting());
    EXPECT_EQ(waits, std::vector<std::string>{"/dev/hidraw1"});
    EXPECT_FALSE(controller.devices[1]->handler);
    EXPECT_FALSE(link.collector().frameOpen());
    controller.unplug(1);
    link.retryCable();  // nothing listed to try
    EXPECT_TRUE(usbConDown);
    EXPECT_TRUE(events.empty()) << "HID Connect was released";
    EXPECT_EQ(waits.size(), 1u) << "the waiting was told again";
    EXPECT_EQ(link.history().last(), "Removal of USB to Serial");
    EXPECT_EQ(link.reader(), HidCableLink::Reader::None);

    // Back, but not readable yet (its permissions are still being set): nothing is sent to it.
    plug("USB to Serial", false);
    ASSERT_EQ(link.selectedIndex(), 1);
    EXPECT_TRUE(link.waiting());
    EXPECT_TRUE(controller.devices[2]->features.empty());
    controller.devices[2]->readWrite = true;
    link.retryCable();
    EXPECT_FALSE(link.waiting());
    EXPECT_EQ(waits, (std::vector<std::string>{"/dev/hidraw1", ""}));
    // Read as a press reads it: the feature report first, then the reader.
    EXPECT_EQ(controller.devices[2]->steps, (std::vector<std::string>{"feature", "read"}));
    EXPECT_EQ(link.reader(), HidCableLink::Reader::HidReportData);
    EXPECT_TRUE(usbConDown);

    // Its 8th and 9th bytes end in D and A: joined to the cut bytes they would pass as a frame.
    deliverFrame(2, "0001234DA10");
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00012340010D", "A0001234DA10D"}));
}

TEST_F(ReconnectingLinkTest, APassThatStillListsTheCableReadsItOnAtOnce) {
    controller.add("USB to Serial");
    start();
    clickUsbCon();
    plug("Mouse");
    EXPECT_TRUE(usbConDown);
    EXPECT_TRUE(events.empty());
    EXPECT_TRUE(waits.empty()) << "nothing went away";
    EXPECT_TRUE(controller.devices[0]->handler);
    EXPECT_EQ(controller.devices[0]->features.size(), 2u);
    deliverFrame(0, "00012340010");
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"A00012340010D"});
}

TEST_F(ReconnectingLinkTest, ReleasingTheButtonOrPressingReadBtnEndsTheWaiting) {
    struct Case {
        const char* what;
        std::function<void()> click;
    };
    // Pressing another link's button releases "HID Connect" as a click on it does.
    const std::vector<Case> cases = {
        {"HID Connect released", [this] { clickUsbCon(); }},
        {"ReadBtn pressed", [this] { clickReadBtn(); }},
    };
    controller.add("USB to Serial");
    start();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        waits.clear();
        clickUsbCon();
        ASSERT_TRUE(usbConDown);
        link.readingLost();
        ASSERT_TRUE(link.waiting());
        c.click();
        EXPECT_FALSE(link.waiting());
        EXPECT_FALSE(link.connected());
        EXPECT_EQ(waits, (std::vector<std::string>{"/dev/hidraw0", ""}));
        EXPECT_TRUE(messages.empty());
        // Neither a retry nor a pass reads the cable behind a released button.
        link.retryCable();
        link.HidCtlDeviceChange();
        EXPECT_EQ(link.reader(), HidCableLink::Reader::None);
        EXPECT_FALSE(controller.devices[0]->handler);
        EXPECT_EQ(waits.size(), 2u);
    }
}

// --- the cable-idle check ------------------------------------------------------------------

// The window: the decoder marks the indicator, whose fall-back ticks run the link's check.
class IndicatorConsumer : public RecordingConsumer {
public:
    ConnectionIndicator* indicator = nullptr;
    void frameMark() override { indicator->frameMark(); }
};

TEST_F(HidCableLinkTest, TheIdleCheckFiresOnlyOnceDecodingStopsAndShowsItsMessageAfterTheTick) {
    IndicatorConsumer frames;
    ConnectionIndicator indicator;
    frames.indicator = &indicator;
    FrameDecoder serialDecoder(frames, clock, ".");
    indicator.addFallBackCheck([this] { link.cableIdleCheck(); });
    link.informationMessage = [&](std::string_view text) {
        // The message comes after reading stopped and the count was reset; while it is open
        // the indicator goes on ticking without a second message.
        EXPECT_FALSE(controller.devices[0]->handler);
        EXPECT_EQ(link.collector().emptyReportCount(), 0);
        EXPECT_FALSE(usbConDown);
        messages.emplace_back(text);
        for (int i = 0; i < 9; ++i) {
            indicator.tick();
        }
    };

    controller.add("USB to Serial");
    start();
    clickUsbCon();
    for (int i = 0; i < HidCableLink::kIdleReports - 1; ++i) {
        controller.deliver(0, payload(0));
    }
    for (int i = 0; i < 3; ++i) {
        indicator.tick();
    }
    EXPECT_TRUE(usbConDown);  // 1899: nothing yet
    controller.deliver(0, payload(0));
    EXPECT_EQ(link.collector().emptyReportCount(), HidCableLink::kIdleReports);

    // Frames from elsewhere keep the indicator active: no fall-back tick, no check.
    for (int i = 0; i < 20; ++i) {
        serialDecoder.decode("A00012340010D");  // a frame every 100 ms
        indicator.tick();
    }
    EXPECT_TRUE(usbConDown);
    EXPECT_TRUE(messages.empty());

    indicator.tick();
    EXPECT_TRUE(queued.empty());
    indicator.tick();  // the third tick since the last frame falls back
    EXPECT_FALSE(usbConDown);
    EXPECT_FALSE(controller.devices[0]->handler);
    EXPECT_TRUE(messages.empty());  // not inside the tick
    ASSERT_EQ(queued.size(), 1u);
    runQueued();
    EXPECT_EQ(messages, std::vector<std::string>{
                            "USB interface cable is securely connected, please check if the "
                            "meter is ready."});
    EXPECT_TRUE(queued.empty());
}

// --- the logs ------------------------------------------------------------------------------

TEST_F(HidCableLinkTest, LogLinesForEventsAndErrors) {
    controller.add("USB to Serial", "77");
    start();
    FakeDevice cable(controller.devices[0], false);
    link.HidCtlArrival(cable);
    link.HidCtlDeviceDataError(5);
    link.HidCtlDeviceDataError(19);
    link.HidCtlRemoval(cable);
    const auto& h = link.history();
    ASSERT_EQ(h.size(), 4u);
    EXPECT_EQ(h.line(0), "Arrival of USB to Serial (Serial=77)");
    EXPECT_EQ(h.line(1), "READ ERROR: Input/output error (5)");
    EXPECT_EQ(h.line(2), "READ ERROR: No such device (13)");
    EXPECT_EQ(h.line(3), "Removal of USB to Serial (Serial=77)");
    link.ClearBtnClick();
    EXPECT_TRUE(link.history().empty());
    EXPECT_EQ(link.memo1().size(), 1u);  // ClearBtn empties the history only
}

TEST_F(HidCableLinkTest, TheLogsKeepTheirNewestTenThousandLines) {
    controller.add("USB to Serial");
    start();
    clickUsbCon();
    for (int i = 0; i < 10050; ++i) {
        controller.deliver(0, payload(1, {static_cast<std::uint8_t>(i)}));
        controller.deliver(0, payload(0));
    }
    EXPECT_EQ(link.history().size(), 10000u);
    EXPECT_EQ(link.history().last(), "R 00  01 41 ");  // 10049 & 0xFF
    EXPECT_EQ(link.memo1().size(), 10000u);
    EXPECT_EQ(link.memo2().size(), 10000u);
    EXPECT_EQ(link.memo2().last(), "41");
    EXPECT_EQ(link.memo2().endNumber(), 10051u);  // "Memo2" and a line per frame
}

TEST(BoundedLogTest, KeepsTheNewestLinesInOrder) {
    BoundedLog log(3);
    for (const char* line : {"a", "b", "c", "d", "e"}) {
        log.add(line);
    }
    ASSERT_EQ(log.size(), 3u);
    EXPECT_EQ(log.line(0), "c");
    EXPECT_EQ(log.line(2), "e");
    EXPECT_EQ(log.firstNumber(), 2u);
    EXPECT_EQ(log.endNumber(), 5u);

    log.clear();
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(log.firstNumber(), 5u);
    log.add("f");
    log.add("g");
    EXPECT_EQ(log.line(0), "f");
    EXPECT_EQ(log.last(), "g");
    EXPECT_EQ(BoundedLog(0).capacity(), 1u);
}

}  // namespace

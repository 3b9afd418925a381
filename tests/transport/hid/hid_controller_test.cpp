// The HID controller on the Linux backend over a prepared sysfs tree, with socket pairs for the
// device nodes and the poll() loop for its readers.
#include "transport/hid/jv_hid_controller.h"

#include <errno.h>

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/fakes/fake_hid.h"
#include "transport/loop/event_loop.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

struct Received {
    std::uint8_t id;
    Bytes payload;
};

// A machine with a keyboard and the meter's cable, a controller and a log of its events.
class HidControllerTest : public testing::Test {
protected:
    HidControllerTest() {
        keyboard = tree.plug(fakehid::usbDevice("1-1", "USB Keyboard", 0x046D, 0xC31C,
                                                fakehid::kKeyboardDescriptor));
        cable = tree.plug(fakehid::usbDevice("1-2"));
    }

    TJvHidDeviceController& make() {
        controller = std::make_unique<TJvHidDeviceController>(backend, loop);
        return *controller;
    }
    // Logs arrivals, removals and changes in the order they come.
    void bindLog() {
        controller->SetOnArrival(
            [this](TJvHidDevice& d) { events.push_back("arrival " + d.PnPInfo().InterfacePath); });
        controller->SetOnRemoval(
            [this](TJvHidDevice& d) { events.push_back("removal " + d.PnPInfo().InterfacePath); });
        controller->SetOnDeviceChange(
            [this](TJvHidDeviceController&) { events.push_back("change"); });
    }
    TJvHidDataEvent collector() {
        return
            [this](TJvHidDevice&, std::uint8_t id, const std::uint8_t* data, std::uint16_t size) {
                received.push_back({id, Bytes(data, data + size)});
            };
    }
    TJvHidDataErrorEvent errorCollector() {
        return [this](TJvHidDevice&, std::uint32_t error) { errors.push_back(error); };
    }
    // Runs the loop for a while (until the condition holds, or the time is up).
    template <typename Done>
    void pumpUntil(Done done, std::chrono::milliseconds limit = 2000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            loop.runOnce(10);
        }
    }
    void pump(int rounds = 5) {
        for (int i = 0; i < rounds; ++i) {
            loop.runOnce(0);
        }
    }

    fakehid::Tree tree;
    fakehid::Backend backend{tree};
    std::unique_ptr<HeadlessEventLoop> loopOwned = createHeadlessEventLoop();
    HeadlessEventLoop& loop = *loopOwned;
    std::unique_ptr<TJvHidDeviceController> controller;
    std::string keyboard;
    std::string cable;
    std::vector<std::string> events;
    std::vector<Received> received;
    std::vector<std::uint32_t> errors;
};

TEST_F(HidControllerTest, ListsThePresentDevicesFromSysfsWithoutOpeningAny) {
    make();
    ASSERT_EQ(controller->Count(), 2);
    const TJvHidDevice& kb = controller->Device(0);
    EXPECT_EQ(kb.PnPInfo().InterfacePath, tree.node(keyboard));
    EXPECT_EQ(kb.PnPInfo().DeviceInstance, tree.instance(keyboard));
    EXPECT_EQ(kb.Attributes().VendorID, 0x046D);
    EXPECT_EQ(kb.Attributes().ProductID, 0xC31C);
    EXPECT_EQ(kb.QueryProductText(), "USB Keyboard");
    EXPECT_EQ(kb.QueryCaps().InputReportByteLength, 9);
    const TJvHidDevice& c = controller->Device(1);
    EXPECT_EQ(c.QueryProductText(), "USB to Serial");
    EXPECT_EQ(c.QuerySerialText(), "");
    EXPECT_EQ(c.Attributes().VersionNumber, 0x1200);
    EXPECT_TRUE(c.Plugged());
    EXPECT_FALSE(c.CheckedOut());
    // Binding the handlers runs a pass; enumerating hands every device to its handler.
    bindLog();
    controller->SetOnEnumerate([](TJvHidDevice&, int) { return true; });
    EXPECT_EQ(controller->EnumerateDevices(), 2);
    EXPECT_EQ(backend.opens(), 0);
    EXPECT_FALSE(controller->HotPlugActive());
}

TEST_F(HidControllerTest, ASecondControllerIsRefusedAndTheFirstCarriesOn) {
    make();
    try {
        TJvHidDeviceController second(backend, loop);
        FAIL() << "a second controller was made";
    } catch (const EControllerError& e) {
        EXPECT_STREQ(e.what(), "Only one TJvHidDeviceController allowed per program");
    }
    bindLog();
    EXPECT_EQ(events, std::vector<std::string>{"change"});
    tree.unplug(cable);
    controller->DeviceChange();
    EXPECT_EQ(controller->Count(), 1);
    // Once the first is gone, a new one may be made.
    controller.reset();
    EXPECT_NO_THROW(make());
}

TEST_F(HidControllerTest, OnlyTheFirstPassAndRealChangesAreReported) {
    make();
    bindLog();
    EXPECT_EQ(events, std::vector<std::string>{"change"});
    // The same routine again runs no pass; a pass with nothing changed calls no handler.
    const TJvHidDeviceChangeEvent same = controller->OnDeviceChange();
    controller->SetOnDeviceChange(same);
    controller->DeviceChange();
    EXPECT_EQ(events.size(), 1u);
    EXPECT_EQ(backend.opens(), 0);
}

TEST_F(HidControllerTest, APassReportsRemovalsBeforeArrivalsAndAReplugAsBoth) {
    make();
    bindLog();
    events.clear();
    tree.unplug(keyboard);
    const std::string mouse =
        tree.plug(fakehid::usbDevice("1-3", "Mouse", 0x093A, 0x2510, fakehid::kKeyboardDescriptor));
    controller->DeviceChange();
    EXPECT_EQ(events, (std::vector<std::string>{"removal " + tree.node(keyboard),
                                                "arrival " + tree.node(mouse), "change"}));
    ASSERT_EQ(controller->Count(), 2);
    EXPECT_EQ(controller->Device(0).PnPInfo().InterfacePath, tree.node(cable));
    EXPECT_EQ(controller->Device(1).PnPInfo().InterfacePath, tree.node(mouse));

    // Unplugged and plugged back between two passes: a new identity, so a removal and an arrival.
    events.clear();
    const std::string before = controller->Device(0).PnPInfo().DeviceInstance;
    tree.unplug(cable);
    const std::string again = tree.plug(fakehid::usbDevice("1-2"));
    controller->DeviceChange();
    EXPECT_EQ(events, (std::vector<std::string>{"removal " + tree.node(cable),
                                                "arrival " + tree.node(again), "change"}));
    EXPECT_NE(controller->Device(1).PnPInfo().DeviceInstance, before);
    EXPECT_EQ(backend.opens(), 0);
}

TEST_F(HidControllerTest, EnumerateDevicesCountsPluggedDevices) {
    make();
    // Without a handler the first plugged device is counted and the walk stops.
    EXPECT_EQ(controller->EnumerateDevices(), 1);
    std::vector<int> seen;
    controller->SetOnEnumerate([&](TJvHidDevice& d, int idx) {
        EXPECT_TRUE(d.InCallback());
        seen.push_back(idx);
        return true;
    });
    EXPECT_EQ(controller->EnumerateDevices(), 2);
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));
    EXPECT_FALSE(controller->Device(0).InCallback());
    controller->SetOnEnumerate([](TJvHidDevice&, int) { return false; });
    EXPECT_EQ(controller->EnumerateDevices(), 1);
    // A checked-out device that is gone is listed but not counted.
    TJvHidDevicePtr held;
    ASSERT_TRUE(controller->CheckOutByIndex(held, 1));
    tree.unplug(cable);
    controller->DeviceChange();
    ASSERT_EQ(controller->Count(), 2);
    controller->SetOnEnumerate([](TJvHidDevice&, int) { return true; });
    EXPECT_EQ(controller->EnumerateDevices(), 1);
    tree.unplug(keyboard);
    controller->DeviceChange();
    EXPECT_EQ(controller->EnumerateDevices(), 0);
    controller->SetOnEnumerate(nullptr);
    EXPECT_EQ(controller->EnumerateDevices(), 0);
}

TEST_F(HidControllerTest, CheckOutAndCheckInLeaveAFreshDeviceWithTheSameHandler) {
    make();
    TJvHidDevicePtr dev;
    for (const int index : {-1, 2, 99}) {
        EXPECT_FALSE(controller->CheckOutByIndex(dev, index)) << index;
        EXPECT_EQ(dev, nullptr);
    }
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    TJvHidDevice* first = dev.get();
    EXPECT_TRUE(dev->CheckedOut());
    TJvHidDevicePtr twice;
    EXPECT_FALSE(controller->CheckOutByIndex(twice, 1));
    EXPECT_EQ(twice, nullptr);

    dev->SetDataHandler(collector());
    ASSERT_TRUE(dev->SetSleepTime(250));
    EXPECT_TRUE(dev->Reading());
    const TJvHidDataEvent handler = dev->DataHandler();
    controller->CheckIn(dev);
    EXPECT_EQ(dev, nullptr);
    ASSERT_EQ(controller->Count(), 2);
    TJvHidDevice& fresh = controller->Device(1);
    EXPECT_NE(&fresh, first);
    EXPECT_FALSE(fresh.CheckedOut());
    EXPECT_FALSE(fresh.Reading());  // no reader until it is checked out again
    EXPECT_TRUE(fresh.DataHandler().sameRoutine(handler));
    EXPECT_EQ(fresh.SleepTime(), 250);
    EXPECT_EQ(fresh.PnPInfo().InterfacePath, tree.node(cable));
    EXPECT_EQ(backend.openDescriptors(), 0u);

    // Checked out again it reads at once, with the handler it kept.
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    EXPECT_TRUE(dev->Reading());
    backend.report(tree.node(cable), {0x01, 0x31});
    pumpUntil([&] { return !received.empty(); });
    ASSERT_EQ(received.size(), 1u);
}

TEST_F(HidControllerTest, CheckInOfADeviceGoneMeanwhileRemovesItFromTheList) {
    make();
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    tree.unplug(cable);  // gone, but no pass has run yet
    dev.reset();
    ASSERT_EQ(controller->Count(), 1);
    EXPECT_EQ(controller->Device(0).PnPInfo().InterfacePath, tree.node(keyboard));
    // The next pass finds nothing left to report.
    bindLog();
    events.clear();
    controller->DeviceChange();
    EXPECT_TRUE(events.empty());
}

TEST_F(HidControllerTest, NewDevicesTakeTheDefaultHandlers) {
    make();
    controller->SetOnDeviceDataError(errorCollector());
    controller->SetOnDeviceData(collector());
    const TJvHidDataErrorEvent onError = controller->OnDeviceDataError();
    // Listed devices got them by hand-over, arrivals and fresh devices at creation.
    const std::string mouse = tree.plug(fakehid::usbDevice("1-3", "Mouse"));
    controller->DeviceChange();
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 0));
    dev.reset();
    for (int i = 0; i < controller->Count(); ++i) {
        EXPECT_TRUE(controller->Device(i).DataErrorHandler().sameRoutine(onError)) << i;
        EXPECT_TRUE(controller->Device(i).DataHandler().sameRoutine(controller->OnDeviceData()))
            << i;
    }
    // A device with a handler of its own keeps it when the default changes.
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    const TJvHidDataEvent own = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*,
                                   std::uint16_t) {};
    dev->SetDataHandler(own);
    controller->SetOnDeviceData(nullptr);
    EXPECT_TRUE(dev->DataHandler().sameRoutine(own));
    EXPECT_FALSE(controller->Device(0).DataHandler());
    EXPECT_FALSE(controller->Device(2).DataHandler());
}

// Handlers bound to the same member function share a routine whatever the receiver.
struct Receiver {
    void onData(TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) { ++calls; }
    void other(TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {}
    int calls = 0;
};

TEST(HidEventTest, MemberFunctionsCompareByRoutine) {
    Receiver a;
    Receiver b;
    const TJvHidDataEvent ea(&a, &Receiver::onData);
    EXPECT_TRUE(ea.sameRoutine(TJvHidDataEvent(&b, &Receiver::onData)));
    EXPECT_FALSE(ea.sameRoutine(TJvHidDataEvent(&a, &Receiver::other)));
    EXPECT_FALSE(ea.sameRoutine(nullptr));
    EXPECT_TRUE(TJvHidDataEvent().sameRoutine(nullptr));
    const auto lambda = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {};
    const TJvHidDataEvent l1 = lambda;
    const TJvHidDataEvent l2 = l1;
    EXPECT_TRUE(l1.sameRoutine(l2));
    EXPECT_FALSE(l1.sameRoutine(TJvHidDataEvent(lambda)));
    // Callables of different types never share a routine.
    const TJvHidPlugEvent p1 = [](TJvHidDevice&) {};
    const TJvHidPlugEvent p2 = [](TJvHidDevice&) {};
    const TJvHidDataEvent l3 = [](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
    };
    EXPECT_FALSE(p1.sameRoutine(p2));
    EXPECT_FALSE(l1.sameRoutine(l3));
}

TEST_F(HidControllerTest, SleepTimeKeepsItsRange) {
    make();
    TJvHidDevice& dev = controller->Device(0);
    struct Case {
        int ms;
        bool accepted;
        int after;
    };
    for (const Case& c : {Case{9, false, 100}, Case{10, true, 10}, Case{10000, true, 10000},
                          Case{10001, false, 10000}, Case{-5, false, 10000}}) {
        EXPECT_EQ(dev.SetSleepTime(c.ms), c.accepted) << c.ms;
        EXPECT_EQ(dev.SleepTime(), c.after) << c.ms;
    }
    // The default goes to the devices that still have the old default.
    controller->SetDevThreadSleepTime(40);
    EXPECT_EQ(controller->DevThreadSleepTime(), 40);
    EXPECT_EQ(controller->Device(0).SleepTime(), 10000);
    EXPECT_EQ(controller->Device(1).SleepTime(), 40);
}

struct ReportCase {
    const char* name;
    std::vector<std::uint8_t> descriptor;
    Bytes sent;
    std::uint8_t id;
    Bytes payload;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const ReportCase& c, std::ostream* os) {
    *os << c.name;
}

class HidReportTest : public HidControllerTest, public testing::WithParamInterface<ReportCase> {};

TEST_P(HidReportTest, HandlersSeeTheIdThenThePayload) {
    const ReportCase& c = GetParam();
    const std::string dev =
        tree.plug(fakehid::usbDevice("1-4", "Probe", 0x1234, 0x0001, c.descriptor));
    make();
    TJvHidDevicePtr d;
    ASSERT_TRUE(controller->CheckOutByIndex(d, 2));
    d->SetDataHandler(collector());
    backend.report(tree.node(dev), c.sent);
    pumpUntil([&] { return !received.empty(); });
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].id, c.id);
    EXPECT_EQ(received[0].payload, c.payload);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, HidReportTest,
    testing::Values(
        // no report IDs: ID 0 in front, padded to the 8-byte report
        ReportCase{"unnumbered",
                   fakehid::kCableDescriptor,
                   {0x03, 0x31, 0x32, 0x33},
                   0,
                   {0x03, 0x31, 0x32, 0x33, 0, 0, 0, 0}},
        // numbered: the first byte is the ID; padded to the longest report (6 bytes)
        ReportCase{"numbered",
                   fakehid::kNumberedDescriptor,
                   {0x01, 0xA, 0xB, 0xC},
                   1,
                   {0xA, 0xB, 0xC, 0, 0, 0}},
        // a longer report than declared is delivered whole
        ReportCase{"longer",
                   fakehid::kNumberedDescriptor,
                   {0x02, 1, 2, 3, 4, 5, 6, 7, 8},
                   2,
                   {1, 2, 3, 4, 5, 6, 7, 8}}),
    [](const testing::TestParamInfo<ReportCase>& info) { return std::string(info.param.name); });

TEST_F(HidControllerTest, ReportsArriveInOrderAndEmptyReadsAreNotDelivered) {
    make();
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    EXPECT_FALSE(dev->Reading());  // no handler, no reader
    dev->SetDataHandler(collector());
    ASSERT_TRUE(dev->Reading());
    for (std::uint8_t i = 1; i <= 100; ++i) {
        backend.report(tree.node(cable), i == 50 ? Bytes{} : Bytes{0x01, i});
    }
    pumpUntil([&] { return received.size() >= 99; });
    ASSERT_EQ(received.size(), 99u);
    std::uint8_t expected = 1;
    for (const Received& r : received) {
        if (expected == 50) {
            ++expected;
        }
        EXPECT_EQ(r.payload[1], expected++);
    }
    // Clearing the handler stops the reader and closes its descriptor.
    dev->SetDataHandler(nullptr);
    EXPECT_FALSE(dev->Reading());
    EXPECT_EQ(backend.openDescriptors(), 0u);
    EXPECT_TRUE(errors.empty());
}

TEST_F(HidControllerTest, AnUnplugWhileReadingGivesOneErrorAndStopsTheReader) {
    make();
    controller->SetOnDeviceDataError(errorCollector());
    bindLog();
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    dev->SetDataHandler(collector());
    backend.report(tree.node(cable), {0x01, 0x41});
    backend.hangUp(tree.node(cable));
    pumpUntil([&] { return !errors.empty(); });
    // The report queued before the unplug still arrives, then one error.
    ASSERT_EQ(received.size(), 1u);
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], std::uint32_t{ENODEV});
    EXPECT_FALSE(dev->Reading());
    // Nothing is watched any more: the loop sleeps instead of spinning on the hang-up.
    EXPECT_EQ(loop.runOnce(50), 0);
    EXPECT_EQ(errors.size(), 1u);

    // The pass that follows reports the removal; the device stays listed until released.
    events.clear();
    tree.unplug(cable);
    controller->DeviceChange();
    EXPECT_EQ(events, (std::vector<std::string>{"removal " + tree.node(cable), "change"}));
    EXPECT_FALSE(dev->Plugged());
    EXPECT_EQ(controller->Count(), 2);
    EXPECT_FALSE(dev->SendFeature(Bytes{0, 1}.data(), 2));
    dev.reset();
    EXPECT_EQ(controller->Count(), 1);
    EXPECT_EQ(backend.openDescriptors(), 0u);
}

TEST_F(HidControllerTest, OtherReadErrorsAreDeliveredAtMostOncePerSleepTime) {
    make();
    controller->SetOnDeviceDataError(errorCollector());
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    ASSERT_TRUE(dev->SetSleepTime(100));
    dev->SetDataHandler(collector());
    backend.setFailReads(true);
    backend.report(tree.node(cable), {0x01, 0x41});
    const auto start = std::chrono::steady_clock::now();
    pumpUntil([&] { return !errors.empty(); });
    pump(50);
    EXPECT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], std::uint32_t{EPROTO});
    pumpUntil([&] { return errors.size() >= 2; });
    ASSERT_EQ(errors.size(), 2u);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    // Once the device reads again, the report comes.
    backend.setFailReads(false);
    pumpUntil([&] { return !received.empty(); });
    EXPECT_EQ(received.size(), 1u);
    EXPECT_TRUE(dev->Reading());
}

TEST_F(HidControllerTest, FeatureReportsAndAccess) {
    make();
    TJvHidDevicePtr dev;
    const Bytes report = {0x00, 0x80, 0x25, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00};
    // Checked in, a device is not opened.
    EXPECT_FALSE(controller->Device(1).SendFeature(report.data(), report.size()));
    EXPECT_FALSE(controller->Device(1).ReadWriteAccess());
    EXPECT_EQ(backend.opens(), 0);
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    EXPECT_TRUE(dev->ReadWriteAccess());
    EXPECT_EQ(backend.openDescriptors(), 0u);  // the access test closes again at once
    EXPECT_TRUE(dev->SendFeature(report.data(), report.size()));
    ASSERT_EQ(backend.features.size(), 1u);
    EXPECT_EQ(backend.features[0].node, tree.node(cable));
    EXPECT_EQ(backend.features[0].bytes, report);
    backend.setRefuseFeatures(true);
    EXPECT_FALSE(dev->SendFeature(report.data(), report.size()));
    EXPECT_FALSE(dev->SendFeature(nullptr, 0));
    // A node the user may not write: no access and no reader.
    TJvHidDevicePtr kb;
    backend.setReadOnly(tree.node(keyboard));
    ASSERT_TRUE(controller->CheckOutByIndex(kb, 0));
    EXPECT_FALSE(kb->ReadWriteAccess());
    kb->SetDataHandler(collector());
    EXPECT_FALSE(kb->Reading());
}

TEST_F(HidControllerTest, AHandlerMayReleaseItsDeviceOrAskForAPass) {
    make();
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    dev->SetDataHandler([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        received.push_back({});
        dev.reset();  // released from inside its own report
    });
    backend.report(tree.node(cable), {0x01, 0x01});
    backend.report(tree.node(cable), {0x01, 0x02});
    pumpUntil([&] { return !received.empty(); });
    pump();
    EXPECT_EQ(received.size(), 1u);
    EXPECT_EQ(dev, nullptr);
    EXPECT_EQ(controller->Count(), 2);

    // A pass asked for from the change handler runs after the one that called it.
    int changes = 0;
    controller->SetOnDeviceChange([&](TJvHidDeviceController& c) {
        if (++changes == 1) {
            tree.unplug(keyboard);
            c.DeviceChange();
            EXPECT_EQ(c.Count(), 2);  // not yet
        }
    });
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(controller->Count(), 1);
}

TEST_F(HidControllerTest, DevicesOutliveTheirController) {
    make();
    int unplugs = 0;
    controller->SetOnDeviceUnplug([&](TJvHidDevice&) { ++unplugs; });
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 1));
    dev->SetDataHandler(collector());
    controller.reset();
    EXPECT_EQ(unplugs, 1);
    EXPECT_EQ(dev->Controller(), nullptr);
    EXPECT_FALSE(dev->Plugged());
    EXPECT_FALSE(dev->Reading());
    EXPECT_EQ(backend.openDescriptors(), 0u);
    dev.reset();
}

TEST_F(HidControllerTest, ABurstOfNoticesBecomesOnePass) {
    backend.setHotplug(true);
    make();
    ASSERT_TRUE(controller->HotPlugActive());
    int changes = 0;
    controller->SetOnDeviceChange([&](TJvHidDeviceController&) { ++changes; });
    tree.unplug(keyboard);
    const std::string mouse = tree.plug(fakehid::usbDevice("1-3", "Mouse"));
    for (int i = 0; i < 5; ++i) {
        backend.notify();
        loop.runOnce(0);
    }
    pumpUntil([&] { return changes >= 2; }, 1000ms);
    pumpUntil([] { return false; }, 2 * std::chrono::milliseconds(kHidSettleMs));
    EXPECT_EQ(changes, 2);  // the one at binding, then one for the burst
    EXPECT_EQ(controller->Count(), 2);
}

}  // namespace

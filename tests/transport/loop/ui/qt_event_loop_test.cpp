// The HID controller in the Qt event loop: reports through QSocketNotifier, an unplug that
// stops the notifier, a device released from its own report, notices merged by a QTimer.
#include "transport/loop/ui/qt_event_loop.h"

#include <errno.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

#include <gtest/gtest.h>

#include "tests/support/fakes/fake_hid.h"
#include "transport/hid/jv_hid_controller.h"

namespace {

class QtHidLoopTest : public testing::Test {
protected:
    QtHidLoopTest() {
        cable = tree.plug(fakehid::usbDevice("1-2"));
        backend.setHotplug(true);
        controller = std::make_unique<TJvHidDeviceController>(backend, loop);
        controller->SetOnDeviceDataError(
            [this](TJvHidDevice&, std::uint32_t error) { errors.push_back(error); });
    }
    template <typename Done>
    bool waitFor(Done done, int ms = 2000) {
        QElapsedTimer t;
        t.start();
        while (!done() && t.elapsed() < ms) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return done();
    }

    fakehid::Tree tree;
    fakehid::Backend backend{tree};
    std::unique_ptr<EventLoop> loopOwned = createQtEventLoop();
    EventLoop& loop = *loopOwned;
    std::unique_ptr<TJvHidDeviceController> controller;
    std::string cable;
    std::vector<std::uint32_t> errors;
    std::vector<std::uint8_t> counts;
};

TEST_F(QtHidLoopTest, ReportsArriveInTheEventLoopUntilTheCableIsPulled) {
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 0));
    dev->SetDataHandler(
        [&](TJvHidDevice&, std::uint8_t, const std::uint8_t* data, std::uint16_t size) {
            EXPECT_EQ(size, 8);
            counts.push_back(data[0]);
        });
    for (std::uint8_t i = 1; i <= 20; ++i) {
        backend.report(tree.node(cable), {i});
    }
    ASSERT_TRUE(waitFor([&] { return counts.size() == 20; }));
    EXPECT_EQ(counts.front(), 1);
    EXPECT_EQ(counts.back(), 20);

    backend.hangUp(tree.node(cable));
    ASSERT_TRUE(waitFor([&] { return !errors.empty(); }));
    EXPECT_EQ(errors[0], std::uint32_t{ENODEV});
    EXPECT_FALSE(dev->Reading());
    // The notifier is stopped: no more errors however long the loop runs.
    QTest::qWait(100);
    EXPECT_EQ(errors.size(), 1u);
    dev.reset();
}

TEST_F(QtHidLoopTest, ADeviceReleasedFromItsOwnReportAndANoticeBurst) {
    TJvHidDevicePtr dev;
    ASSERT_TRUE(controller->CheckOutByIndex(dev, 0));
    dev->SetDataHandler([&](TJvHidDevice&, std::uint8_t, const std::uint8_t*, std::uint16_t) {
        counts.push_back(0);
        dev.reset();
    });
    backend.report(tree.node(cable), {1});
    backend.report(tree.node(cable), {2});
    ASSERT_TRUE(waitFor([&] { return !counts.empty(); }));
    QTest::qWait(50);
    EXPECT_EQ(counts.size(), 1u);
    EXPECT_EQ(controller->Count(), 1);
    EXPECT_EQ(backend.openDescriptors(), 0u);

    int changes = 0;
    controller->SetOnDeviceChange([&](TJvHidDeviceController&) { ++changes; });
    tree.plug(fakehid::usbDevice("1-3", "Mouse"));
    for (int i = 0; i < 3; ++i) {
        backend.notify();
        QCoreApplication::processEvents();
    }
    ASSERT_TRUE(waitFor([&] { return changes == 2; }));
    QTest::qWait(2 * kHidSettleMs);
    EXPECT_EQ(changes, 2);
    EXPECT_EQ(controller->Count(), 2);
}

}  // namespace

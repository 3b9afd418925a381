#pragma once

// The USB bridge link on a real pseudo-terminal behind a sysfs tree laid out as on a machine
// with the bridge, for the link's benchmarks and instruction counts. Ticks are run by hand.
#include <sys/ioctl.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "bench/hand_timer.h"
#include "meter/clock.h"
#include "meter/frame_decoder.h"
#include "meter/reading_consumer.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/fake_usb_tree.h"
#include "transport/usb_bridge/posix/usb_bridge_tty.h"
#include "transport/usb_bridge/usb_xpress_link.h"

struct UsbLinkFixture {
    UsbLinkFixture() {
        tree.addBridge(0, pty.devicePath());
        auto owned = std::make_unique<UsbBridgeTty>(tree.roots());
        tty = owned.get();
        link = std::make_unique<UsbXpressLink>(std::move(owned), std::make_unique<HandTimer>(),
                                               decoder);
        link->start();
    }
    bool ok() const { return link->holdsDevice(); }

    // Writes one meter frame and waits until the link's tty has all of it queued.
    void sendFrame() {
        static const std::string frame = "00012340010\r\n";
        pty.writeAll(frame);
        int queued = 0;
        const int fd = tty->fd(1);
        while (::ioctl(fd, FIONREAD, &queued) == 0 && queued < static_cast<int>(frame.size())) {
            std::this_thread::yield();
        }
    }

    PseudoTerminal pty;
    FakeUsbTree tree;
    ReadingConsumer consumer;  // the hooks do nothing: the link and the decoder are measured
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    UsbBridgeTty* tty = nullptr;
    std::unique_ptr<UsbXpressLink> link;
};

#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "lcd/connection_indicator.h"
#include "meter/reading_consumer.h"
#include "transport/device_roots.h"
#include "transport/poll_event_loop.h"

class FrameDecoder;
class HidCableBinding;
class LoopTimer;
class SysfsHidBackend;
class TJvHidDeviceController;

// halvern log --hid's link: the device controller on a poll() loop, the cable link bound to it
// as in the window, "HID Connect" pressed, and the cable-idle check on a connection indicator
// that ticks every 100 ms. Single-threaded; everything runs inside run().
class HidLogSession {
public:
    // Lists the HID devices under roots; opens none.
    explicit HidLogSession(const DeviceRoots& roots);
    ~HidLogSession();
    HidLogSession(const HidLogSession&) = delete;
    HidLogSession& operator=(const HidLogSession&) = delete;

    // The cable the window would select (the last "USB to Serial"), tested for reading and
    // writing; the reason when it cannot be read: the link's not-connected text, or the node
    // and why it does not open (the udev hint when permission is denied).
    std::optional<std::string> findCable();

    // Binds the link to the decoder and presses "HID Connect": the feature report goes out and
    // the reader starts. False with the reason in stopReason().
    bool start(FrameDecoder& decoder);

    // Add to the decoder's consumers: its frame mark keeps the idle check quiet.
    ReadingConsumer& indicatorConsumer() { return m_marker; }

    // Runs the loop until deadline, requestStop(), or the link stops reading (stopReason()
    // says why); afterRound runs after every round of the loop.
    void run(std::chrono::steady_clock::time_point deadline,
             const std::function<void()>& afterRound);
    // Async-signal-safe.
    void requestStop() {
        m_stopAsked.store(true, std::memory_order_relaxed);
        m_loop.requestStop();
    }

    // Why reading stopped by itself (the idle check's message, the cable went away); empty
    // otherwise.
    const std::string& stopReason() const { return m_stopReason; }
    // The cable's node (/dev/hidrawN), once found.
    const std::string& node() const { return m_node; }

    // Every input report of the cable, before the link handles it.
    std::function<void(std::uint8_t reportId, const std::uint8_t* data, std::size_t size)> onReport;
    // A read error line as the link logs it ("READ ERROR: ...").
    std::function<void(std::string_view line)> onReadError;
    // A device-change pass stopped reading and the cable, still listed, is read again.
    std::function<void()> onResumed;

private:
    struct Marker final : ReadingConsumer {
        ConnectionIndicator* indicator = nullptr;
        void frameMark() override { indicator->frameMark(); }
    };
    void tick();
    void stop(std::string reason);

    PollEventLoop m_loop;
    std::unique_ptr<SysfsHidBackend> m_backend;
    std::unique_ptr<TJvHidDeviceController> m_controller;
    std::unique_ptr<HidCableBinding> m_binding;
    std::unique_ptr<LoopTimer> m_conTimer;
    ConnectionIndicator m_indicator;
    Marker m_marker;
    std::string m_node;
    std::string m_stopReason;
    bool m_stopped = false;
    bool m_released = false;  // "HID Connect" was released without a message
    std::atomic<bool> m_stopAsked{false};
};

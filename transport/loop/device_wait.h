#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "transport/loop/event_loop.h"

// Waiting for a device that went away while a link was reading it: a try to get it back runs
// once a second on a timer of the loop (never more often, and nothing runs in between), until a
// try succeeds or the wait is stopped. Single-threaded: every call runs on the loop's thread.
class DeviceWait {
public:
    // How often a lost device is looked for: often enough that reading resumes within two seconds
    // of its return, rarely enough that waiting costs next to nothing.
    static constexpr unsigned kRetryIntervalMs = 1000;

    // The timer is owned; nothing is waited for yet.
    explicit DeviceWait(std::unique_ptr<LoopTimer> timer);
    ~DeviceWait();
    DeviceWait(const DeviceWait&) = delete;
    DeviceWait& operator=(const DeviceWait&) = delete;

    // Waits for `device` (the name the user is shown): tryOpen runs kRetryIntervalMs from now and
    // then every kRetryIntervalMs until it returns true, which ends the wait. Replaces a wait
    // under way. tryOpen may stop the wait or start another one.
    void start(std::string device, std::function<bool()> tryOpen);
    // Ends the wait: tryOpen does not run again. Nothing while not waiting.
    void stop();
    // Tries at once (the system said a device was plugged in); the retries go on as they were
    // when it fails. Nothing while not waiting.
    void tryNow() { retry(); }
    bool waiting() const { return m_waiting; }
    // The device waited for; empty while not waiting.
    const std::string& device() const { return m_device; }

private:
    void retry();

    std::unique_ptr<LoopTimer> m_timer;
    std::function<bool()> m_tryOpen;
    std::string m_device;
    bool m_waiting = false;
    std::uint64_t m_generation = 0;  // counts the starts
};

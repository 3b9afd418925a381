#pragma once

#include <functional>
#include <memory>

// The event side of the HID controller: descriptors watched for input and single-shot timers,
// all run on the one thread that owns the controller. The window gives it a Qt event loop
// (QSocketNotifier, QTimer), headless programs a poll() loop of their own (PollEventLoop).

// A descriptor being watched. Destroying it stops the watch at once: no callback runs
// afterwards, so the descriptor may be closed right after. Safe to destroy from its own callback.
class DescriptorWatch {
public:
    virtual ~DescriptorWatch() = default;
    // A disabled watch keeps its descriptor but runs no callback until enabled again.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// A single-shot timer. Safe to stop or destroy from its own callback.
class LoopTimer {
public:
    virtual ~LoopTimer() = default;
    // (Re)starts the timer: onTimeout runs once, intervalMs from now, unless stopped first.
    virtual void start(unsigned intervalMs, std::function<void()> onTimeout) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class DescriptorEventLoop {
public:
    virtual ~DescriptorEventLoop() = default;
    // Runs onReadable whenever fd has input, a hang-up or an error; enabled from the start.
    // The loop must outlive the watch.
    virtual std::unique_ptr<DescriptorWatch> watchReadable(int fd,
                                                           std::function<void()> onReadable) = 0;
    // A stopped timer. The loop must outlive it.
    virtual std::unique_ptr<LoopTimer> createTimer() = 0;
};

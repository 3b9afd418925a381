#pragma once

#include <chrono>
#include <functional>
#include <memory>

// The one event loop every link runs on: descriptors watched for input, one-shot and periodic
// timers, tasks posted to run after the current event, and a request to stop. Everything runs
// on the one thread that owns the loop, one callback at a time. The window gives it the Qt
// event loop (QSocketNotifier, QTimer: createQtEventLoop in loop/ui/), headless programs a
// poll() loop of their own (createHeadlessEventLoop).

// A descriptor being watched. Destroying it stops the watch at once: no callback runs
// afterwards, so the descriptor may be closed right after. Safe to destroy from its own callback.
class DescriptorWatch {
public:
    virtual ~DescriptorWatch() = default;
    // A disabled watch keeps its descriptor but runs no callback until enabled again.
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;
};

// A timer of the loop, single-shot or periodic. Safe to stop, restart or destroy from its own
// callback; no callback runs after stop() returns.
class LoopTimer {
public:
    virtual ~LoopTimer() = default;
    // (Re)starts the timer as single-shot: onTimeout runs once, intervalMs from now.
    virtual void start(unsigned intervalMs, std::function<void()> onTimeout) = 0;
    // (Re)starts the timer as periodic: onTick runs every intervalMs until stop(). A tick that
    // comes late is not caught up in a burst.
    virtual void startPeriodic(unsigned intervalMs, std::function<void()> onTick) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class EventLoop {
public:
    virtual ~EventLoop() = default;
    // Runs onReadable whenever fd has input, a hang-up or an error; enabled from the start.
    // The loop must outlive the watch.
    virtual std::unique_ptr<DescriptorWatch> watchReadable(int fd,
                                                           std::function<void()> onReadable) = 0;
    // A stopped timer. The loop must outlive it.
    virtual std::unique_ptr<LoopTimer> createTimer() = 0;
    // Runs task once, after the event being handled, on the loop's thread. Never fails.
    virtual void post(std::function<void()> task) = 0;
    // Asks the loop to end: the headless run() returns, the window's application quits.
    virtual void requestStop() = 0;
};

// The loop of a program without a window: it runs only inside run().
class HeadlessEventLoop : public EventLoop {
public:
    // Runs until requestStop(), a stop signal (see stopOnSignals) or the deadline; returns at
    // once when nothing is watched, no timer runs and no task is posted.
    virtual void run(std::chrono::steady_clock::time_point deadline =
                         std::chrono::steady_clock::time_point::max()) = 0;
    // Waits at most timeoutMs (-1: until something happens) and runs what became due: the
    // callbacks of ready descriptors, then expired timers, then posted tasks. Returns the number
    // of callbacks run.
    virtual int runOnce(int timeoutMs) = 0;
    // SIGINT and SIGTERM end run() (as requestStop does) while the loop lives, instead of ending
    // the process; the handling before is put back when the loop goes. Fails (false, errno set)
    // only when the system refuses.
    virtual bool stopOnSignals() = 0;
};

// The poll() loop. Never fails.
std::unique_ptr<HeadlessEventLoop> createHeadlessEventLoop();

#include "transport/loop/device_wait.h"

DeviceWait::DeviceWait(std::unique_ptr<LoopTimer> timer) : m_timer(std::move(timer)) {}

DeviceWait::~DeviceWait() {
    m_timer->stop();
}

void DeviceWait::start(std::string device, std::function<bool()> tryOpen) {
    m_device = std::move(device);
    m_tryOpen = std::move(tryOpen);
    m_waiting = true;
    ++m_generation;
    m_timer->startPeriodic(kRetryIntervalMs, [this] { retry(); });
}

void DeviceWait::stop() {
    m_timer->stop();
    m_waiting = false;
    m_device.clear();
    m_tryOpen = nullptr;
}

void DeviceWait::retry() {
    if (!m_waiting) {
        return;
    }
    // The try may stop this wait or start another: it runs on a copy, and its success ends
    // only the wait it belongs to.
    const std::function<bool()> tryOpen = m_tryOpen;
    const std::uint64_t generation = m_generation;
    if (tryOpen() && m_waiting && m_generation == generation) {
        stop();
    }
}

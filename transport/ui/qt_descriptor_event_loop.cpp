#include "transport/ui/qt_descriptor_event_loop.h"

#include <QSocketNotifier>
#include <QTimer>

namespace {

class QtDescriptorWatch final : public DescriptorWatch {
public:
    QtDescriptorWatch(int fd, std::function<void()> onReadable)
        : m_notifier(new QSocketNotifier(fd, QSocketNotifier::Read)) {
        // The slot holds the callback itself: the watch may be destroyed while it runs.
        QObject::connect(m_notifier, &QSocketNotifier::activated, m_notifier,
                         [onReadable = std::move(onReadable)] { onReadable(); });
    }
    ~QtDescriptorWatch() override {
        // Stopped at once, so the descriptor may be closed right after; deleted later, since
        // this may run inside the notifier's own signal.
        m_notifier->setEnabled(false);
        QObject::disconnect(m_notifier, nullptr, nullptr, nullptr);
        m_notifier->deleteLater();
    }
    void setEnabled(bool enabled) override { m_notifier->setEnabled(enabled); }
    bool isEnabled() const override { return m_notifier->isEnabled(); }

private:
    QSocketNotifier* m_notifier;
};

class QtLoopTimer final : public LoopTimer {
public:
    QtLoopTimer() : m_timer(new QTimer) {
        m_timer->setSingleShot(true);
        QObject::connect(m_timer, &QTimer::timeout, m_timer, [this] {
            // A copy: the callback may restart this timer with another one, or destroy it.
            const std::function<void()> onTimeout = m_onTimeout;
            if (onTimeout) {
                onTimeout();
            }
        });
    }
    ~QtLoopTimer() override {
        m_timer->stop();
        QObject::disconnect(m_timer, nullptr, nullptr, nullptr);
        m_timer->deleteLater();
    }
    void start(unsigned intervalMs, std::function<void()> onTimeout) override {
        m_onTimeout = std::move(onTimeout);
        m_timer->start(static_cast<int>(intervalMs));
    }
    void stop() override { m_timer->stop(); }
    bool isActive() const override { return m_timer->isActive(); }

private:
    QTimer* m_timer;
    std::function<void()> m_onTimeout;
};

}  // namespace

std::unique_ptr<DescriptorWatch> QtDescriptorEventLoop::watchReadable(
    int fd, std::function<void()> onReadable) {
    return std::make_unique<QtDescriptorWatch>(fd, std::move(onReadable));
}

std::unique_ptr<LoopTimer> QtDescriptorEventLoop::createTimer() {
    return std::make_unique<QtLoopTimer>();
}

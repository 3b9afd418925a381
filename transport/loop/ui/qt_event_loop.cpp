#include "transport/loop/ui/qt_event_loop.h"

#include <QCoreApplication>
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
        m_timer->setSingleShot(true);
        m_timer->setTimerType(Qt::CoarseTimer);
        m_timer->start(static_cast<int>(intervalMs));
    }
    void startPeriodic(unsigned intervalMs, std::function<void()> onTick) override {
        m_onTimeout = std::move(onTick);
        m_timer->setSingleShot(false);
        // A coarse timer lets the system batch wake-ups; 5 % slack on a poll interval is
        // harmless here.
        m_timer->setTimerType(Qt::CoarseTimer);
        m_timer->start(static_cast<int>(intervalMs));
    }
    void stop() override { m_timer->stop(); }
    bool isActive() const override { return m_timer->isActive(); }

private:
    QTimer* m_timer;
    std::function<void()> m_onTimeout;
};

class QtEventLoop final : public EventLoop {
public:
    std::unique_ptr<DescriptorWatch> watchReadable(int fd,
                                                   std::function<void()> onReadable) override {
        return std::make_unique<QtDescriptorWatch>(fd, std::move(onReadable));
    }
    std::unique_ptr<LoopTimer> createTimer() override { return std::make_unique<QtLoopTimer>(); }
    void post(std::function<void()> task) override {
        QMetaObject::invokeMethod(&m_context, std::move(task), Qt::QueuedConnection);
    }
    void requestStop() override {
        QMetaObject::invokeMethod(QCoreApplication::instance(), &QCoreApplication::quit,
                                  Qt::QueuedConnection);
    }

private:
    QObject m_context;  // posted tasks die with the loop
};

}  // namespace

std::unique_ptr<EventLoop> createQtEventLoop() {
    return std::make_unique<QtEventLoop>();
}

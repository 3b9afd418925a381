#include "app/outputs/publisher_runs.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <thread>

struct PublisherRuns::Worker {
    std::mutex mutex;
    std::condition_variable wake;
    std::deque<std::function<void()>> tasks;
    bool busy = false;
    bool closing = false;
    bool done = false;

    void post(std::function<void()> task) {
        std::lock_guard lock(mutex);
        tasks.push_back(std::move(task));
        wake.notify_all();
    }

    void loop() {
        std::unique_lock lock(mutex);
        while (true) {
            wake.wait(lock, [this] { return closing || !tasks.empty(); });
            if (tasks.empty()) {
                break;
            }
            std::function<void()> task = std::move(tasks.front());
            tasks.pop_front();
            busy = true;
            lock.unlock();
            task();
            task = nullptr;  // the publisher it holds may go here, off the window's thread
            lock.lock();
            busy = false;
            wake.notify_all();
        }
        done = true;
        wake.notify_all();
    }
};

bool PublisherRuns::Run::started() const {
    std::lock_guard lock(m_mutex);
    return m_started;
}

std::string PublisherRuns::Run::startFailure() const {
    std::lock_guard lock(m_mutex);
    return m_failure;
}

PublisherRuns::PublisherRuns() = default;

PublisherRuns::~PublisherRuns() {
    if (!m_worker) {
        return;
    }
    std::unique_lock lock(m_worker->mutex);
    m_worker->closing = true;
    m_worker->wake.notify_all();
    m_worker->wake.wait_for(lock, endWait, [this] { return m_worker->done; });
}

void PublisherRuns::post(std::function<void()> task) {
    if (!m_worker) {
        m_worker = std::make_shared<Worker>();
        // The thread keeps the worker alive: it may outlive these runs at the program's end.
        std::thread([worker = m_worker] { worker->loop(); }).detach();
    }
    m_worker->post(std::move(task));
}

std::shared_ptr<PublisherRuns::Run> PublisherRuns::start(std::unique_ptr<MqttPublisher> publisher) {
    auto run = std::make_shared<Run>(std::move(publisher));
    post([run] {
        std::string reason;
        const bool ok = run->m_publisher->start(reason);
        std::lock_guard lock(run->m_mutex);
        run->m_started = ok;
        run->m_failure = ok ? std::string() : (reason.empty() ? "unknown reason" : reason);
    });
    return run;
}

void PublisherRuns::finish(const std::shared_ptr<Run>& run, double drainSeconds) {
    if (!run) {
        return;
    }
    // Only the publisher goes to the thread: the run's owner may keep or drop the run itself.
    post([publisher = run->m_publisher, drainSeconds] {
        publisher->setDrainSeconds(drainSeconds);
        publisher->finish();
    });
}

bool PublisherRuns::idle() const {
    if (!m_worker) {
        return true;
    }
    std::lock_guard lock(m_worker->mutex);
    return m_worker->tasks.empty() && !m_worker->busy;
}

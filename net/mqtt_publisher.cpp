#include "net/mqtt_publisher.h"

#include <chrono>

#include "net/mqtt_settings.h"

namespace {
// Messages handed to the client and not yet delivered, at most: the client's own queue stays
// small and the rows wait in ours, where they are bounded and counted.
constexpr std::size_t kMaxOutstanding = 256;
}  // namespace

MqttPublisher::MqttPublisher(std::unique_ptr<MqttClient> client, std::string meterId, int qos,
                             RowEncoder encoder, std::size_t capacity)
    : m_client(std::move(client)),
      m_id(std::move(meterId)),
      m_topic(readingTopic(m_id)),
      m_qos(qos),
      m_encoder(std::move(encoder)),
      m_capacity(capacity == 0 ? 1 : capacity) {
    m_client->onConnection = [this](bool connected, const std::string& why) {
        connectionChanged(connected, why);
    };
    m_client->onDelivered = [this] { delivered(); };
}

MqttPublisher::~MqttPublisher() {
    finish();
}

bool MqttPublisher::start(std::string& reason) {
    if (!m_client->start(reason)) {
        m_finished = true;
        return false;
    }
    m_sender = std::thread([this] { sendLoop(); });
    return true;
}

void MqttPublisher::rowRecorded(const TableStore& table, std::size_t row) {
    m_scratch.clear();
    m_encoder(table, row, m_scratch);
    std::lock_guard lock(m_mutex);
    if (m_queue.size() >= m_capacity) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.emplace_back(m_scratch);
    m_wake.notify_one();
}

void MqttPublisher::connectionChanged(bool connected, const std::string& why) {
    std::lock_guard lock(m_mutex);
    m_connected = connected;
    if (connected) {
        m_announce = true;
        m_outstanding = 0;  // what was in flight is resent by the client or lost with the link
        m_problem.clear();
    } else {
        m_problem = why;
    }
    m_wake.notify_all();
}

void MqttPublisher::delivered() {
    std::lock_guard lock(m_mutex);
    if (m_outstanding > 0) {
        --m_outstanding;
    }
    m_wake.notify_all();
}

void MqttPublisher::sendLoop() {
    std::unique_lock lock(m_mutex);
    while (true) {
        m_wake.wait(lock, [this] {
            return m_stopping ||
                   (m_connected &&
                    (m_announce || (!m_queue.empty() && m_outstanding < kMaxOutstanding)));
        });
        if (m_stopping) {
            return;
        }
        if (m_announce) {
            m_announce = false;
            lock.unlock();
            const bool ok =
                m_client->publish(discoveryTopic(m_id), discoveryConfig(m_id), 1, true) &&
                m_client->publish(availabilityTopic(m_id), "online", 1, true);
            lock.lock();
            if (!ok) {
                m_announce = true;  // the connection went meanwhile: again on the next
            }
            continue;
        }
        std::string message = std::move(m_queue.front());
        m_queue.pop_front();
        ++m_outstanding;
        lock.unlock();
        const bool ok = m_client->publish(m_topic, message, m_qos, false);
        lock.lock();
        if (ok) {
            ++m_published;
        } else {
            // Not taken: the row waits at the head for the next connection, unless newer rows
            // filled the queue meanwhile.
            if (m_outstanding > 0) {
                --m_outstanding;
            }
            if (m_queue.size() >= m_capacity) {
                ++m_dropped;
            } else {
                m_queue.push_front(std::move(message));
            }
            m_connected = false;
        }
    }
}

void MqttPublisher::finish() {
    if (m_finished) {
        return;
    }
    m_finished = true;
    {
        std::unique_lock lock(m_mutex);
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                  std::chrono::duration<double>(m_drainSeconds));
        m_wake.wait_until(lock, deadline, [this] {
            return !m_connected || (m_queue.empty() && m_outstanding == 0 && !m_announce);
        });
        m_unsent = m_queue.size();
        m_stopping = true;
        m_wake.notify_all();
    }
    if (m_sender.joinable()) {
        m_sender.join();
    }
    bool connected = false;
    {
        std::lock_guard lock(m_mutex);
        connected = m_connected;
    }
    if (connected) {
        m_client->publish(availabilityTopic(m_id), "offline", 1, true);
    }
    m_client->stop();
}

MqttPublisher::Status MqttPublisher::status() const {
    std::lock_guard lock(m_mutex);
    return Status{m_connected, m_problem, m_queue.size(), m_published, m_dropped};
}

#include "net/mqtt_publisher.h"

#include <algorithm>
#include <chrono>

#include "net/lcd_state_message.h"
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
    m_client->onDelivered = [this](int mid) { delivered(mid); };
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
    const SensorKind kind = m_rowKind ? m_rowKind(table, row) : SensorKind();
    std::lock_guard lock(m_mutex);
    if (m_queue.size() >= m_capacity) {
        m_queue.pop_front();
        ++m_dropped;
    }
    m_queue.push_back({m_scratch, kind});
    m_wake.notify_one();
}

void MqttPublisher::stateApplied(const LcdState& state) {
    // Most frames show what the last one showed: compared here, they cost no lock. The buffers
    // keep their room, so a changed state allocates nothing either.
    m_stateScratch.clear();
    appendLcdStateJson(state, m_stateScratch);
    if (m_stateScratch == m_stateFormed) {
        return;
    }
    m_stateFormed.swap(m_stateScratch);
    std::lock_guard lock(m_mutex);
    if (m_stopping) {
        return;
    }
    m_statePending.assign(m_stateFormed);
    m_hasStatePending = true;
    m_wake.notify_one();
}

void MqttPublisher::connectionChanged(bool connected, const std::string& why) {
    std::lock_guard lock(m_mutex);
    m_connected = connected;
    if (connected) {
        m_announce = true;
        m_problem.clear();
    } else {
        m_problem = why;
    }
    requeueInFlight();
    m_early.clear();
    m_wake.notify_all();
}

void MqttPublisher::requeueInFlight() {
    // Newest first to the head, so the queue keeps the order of recording.
    while (!m_inFlight.empty()) {
        InFlight& f = m_inFlight.back();
        if (f.row) {
            if (m_queue.size() >= m_capacity) {
                ++m_dropped;  // older than everything queued: it goes first
            } else {
                m_queue.push_front({std::move(f.message), f.kind});
            }
        }
        m_inFlight.pop_back();
    }
}

void MqttPublisher::delivered(int mid) {
    std::lock_guard lock(m_mutex);
    const auto it = std::find_if(m_inFlight.begin(), m_inFlight.end(),
                                 [mid](const InFlight& f) { return f.mid == mid; });
    if (it == m_inFlight.end()) {
        m_early.push_back(mid);
    } else {
        if (it->row) {
            ++m_published;
        }
        m_inFlight.erase(it);
    }
    m_wake.notify_all();
}

void MqttPublisher::sendLoop() {
    std::unique_lock lock(m_mutex);
    // Hands one message over; false when the connection is gone (the message is given back).
    const auto hand = [&](const std::string& topic, std::string& message, int qos, bool retain,
                          bool row, SensorKind kind) {
        int mid = 0;
        lock.unlock();
        const bool ok = m_client->publish(topic, message, qos, retain, mid);
        lock.lock();
        if (!ok) {
            m_connected = false;
            return false;
        }
        if (const auto early = std::find(m_early.begin(), m_early.end(), mid);
            early != m_early.end()) {
            m_early.erase(early);
            m_published += row ? 1 : 0;
        } else {
            m_inFlight.push_back({mid, row, row ? std::move(message) : std::string(), kind});
        }
        return true;
    };
    const std::string stateTopicOfId = stateTopic(m_id);
    while (!m_stopping) {
        if (!m_connected) {
            m_wake.wait(lock);
            continue;
        }
        if (m_announce) {
            m_announce = false;
            std::string config = discoveryConfig(m_id, m_announcedKind);
            std::string online = "online";
            if (!hand(discoveryTopic(m_id), config, 1, true, false, {}) ||
                !hand(availabilityTopic(m_id), online, 1, true, false, {})) {
                m_announce = true;  // the connection went meanwhile: again on the next
            } else if (!m_hasStatePending && !m_stateSent.empty()) {
                // A broker that restarted without its store has lost the retained state.
                m_statePending.swap(m_stateSent);
                m_stateSent.clear();
                m_hasStatePending = true;
            }
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_hasStatePending && now >= m_nextStateAt) {
            m_hasStatePending = false;
            if (m_statePending == m_stateSent) {
                m_wake.notify_all();  // back to what was sent within the interval: finish() may end
                continue;
            }
            m_stateOut.assign(m_statePending);
            if (hand(stateTopicOfId, m_stateOut, m_qos, true, false, {})) {
                m_stateSent.assign(m_stateOut);
                m_nextStateAt = now + kStateInterval;
            } else if (!m_hasStatePending) {
                m_hasStatePending = true;  // the connection went: sent on the next
            }
            continue;
        }
        if (!m_queue.empty() && m_inFlight.size() < kMaxOutstanding) {
            const SensorKind kind = m_queue.front().kind;
            if (kind.known() && kind != m_announcedKind) {
                // The discovery config goes before the first row of the new quantity.
                std::string config = discoveryConfig(m_id, kind);
                if (hand(discoveryTopic(m_id), config, 1, true, false, {})) {
                    m_announcedKind = kind;
                }
                continue;
            }
            QueuedRow entry = std::move(m_queue.front());
            m_queue.pop_front();
            if (!hand(m_topic, entry.message, m_qos, false, true, entry.kind)) {
                // Not taken: the row waits at the head for the next connection, unless newer
                // rows filled the queue meanwhile.
                if (m_queue.size() >= m_capacity) {
                    ++m_dropped;
                } else {
                    m_queue.push_front(std::move(entry));
                }
            }
            continue;
        }
        if (m_hasStatePending) {
            m_wake.wait_until(lock, m_nextStateAt);
        } else {
            m_wake.wait(lock);
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
            return !m_connected ||
                   (m_queue.empty() && m_inFlight.empty() && !m_announce && !m_hasStatePending);
        });
        m_unsent = m_queue.size() +
                   static_cast<std::size_t>(std::count_if(m_inFlight.begin(), m_inFlight.end(),
                                                          [](const InFlight& f) { return f.row; }));
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
        int mid = 0;
        m_client->publish(availabilityTopic(m_id), "offline", 1, true, mid);
    }
    m_client->stop();
}

MqttPublisher::Status MqttPublisher::status() const {
    std::lock_guard lock(m_mutex);
    return Status{m_connected, m_problem, m_queue.size(), m_published, m_dropped};
}

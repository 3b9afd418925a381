// The MQTT client on libmosquitto, driven by a thread of our own rather than
// mosquitto_loop_start: libmosquitto's loop gives up for good after a failed TLS handshake (a
// wrong CA, a certificate being renewed) and says nothing of it, while a logger must keep
// trying and tell why it cannot. The thread connects, keeps the connection alive and reconnects
// with exponential backoff; libmosquitto's own error lines say why an attempt failed.
#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

#include "net/mqtt_client.h"

namespace {

// libmosquitto is set up once per process and never torn down (other clients may live).
void initLibrary() {
    static std::once_flag once;
    std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string connackText(int rc) {
    const char* text = mosquitto_connack_string(rc);
    return text != nullptr ? text : "refused (" + std::to_string(rc) + ")";
}

// libmosquitto's error line in the user's words: "OpenSSL Error[0]: error:0A000086:SSL
// routines::certificate verify failed" -> "TLS: certificate verify failed"; "Error: Unable to
// load CA certificates, check cafile "x"." -> "Unable to load CA certificates, check cafile "x"".
std::string errorLineText(std::string_view line) {
    if (line.starts_with("OpenSSL Error")) {
        const std::size_t at = line.rfind(':');
        return "TLS: " + std::string(at == std::string_view::npos ? line : line.substr(at + 1));
    }
    if (line.starts_with("Error: ")) {
        line.remove_prefix(7);
    }
    while (!line.empty() && (line.back() == '.' || line.back() == '\n')) {
        line.remove_suffix(1);
    }
    return std::string(line);
}

class MosquittoClient final : public MqttClient {
public:
    explicit MosquittoClient(MqttClientConfig config) : m_config(std::move(config)) {}
    ~MosquittoClient() override {
        stop();
        if (m_mosq != nullptr) {
            mosquitto_destroy(m_mosq);
        }
    }

    bool start(std::string& reason) override {
        initLibrary();
        m_mosq = mosquitto_new(m_config.clientId.c_str(), true, this);
        if (m_mosq == nullptr) {
            reason = std::string("cannot make an MQTT client: ") + std::strerror(errno);
            return false;
        }
        mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
        // A refusal is told when the thread sees the connection end, with the broker's reason.
        mosquitto_connect_callback_set(m_mosq, [](mosquitto*, void* self, int rc) {
            auto* c = static_cast<MosquittoClient*>(self);
            if (rc != 0) {
                c->noteError(connackText(rc));
                return;
            }
            {
                std::lock_guard lock(c->m_mutex);
                c->m_connected = true;
            }
            if (c->onConnection) {
                c->onConnection(true, std::string());
            }
        });
        mosquitto_publish_callback_set(m_mosq, [](mosquitto*, void* self, int mid) {
            auto* c = static_cast<MosquittoClient*>(self);
            if (c->onDelivered) {
                c->onDelivered(mid);
            }
        });
        if (!m_config.user.empty() &&
            mosquitto_username_pw_set(
                m_mosq, m_config.user.c_str(),
                m_config.password.empty() ? nullptr : m_config.password.c_str()) !=
                MOSQ_ERR_SUCCESS) {
            reason = "the MQTT user or password cannot be used";
            return false;
        }
        if (m_config.tls) {
            const int rc = mosquitto_tls_set(
                m_mosq, m_config.caFile.empty() ? nullptr : m_config.caFile.c_str(),
                m_config.caFile.empty() ? "/etc/ssl/certs" : nullptr, nullptr, nullptr, nullptr);
            if (rc != MOSQ_ERR_SUCCESS) {
                reason =
                    "cannot use the CA file " + m_config.caFile + ": " + mosquitto_strerror(rc);
                return false;
            }
        }
        if (!m_config.willTopic.empty() &&
            mosquitto_will_set(m_mosq, m_config.willTopic.c_str(),
                               static_cast<int>(m_config.willPayload.size()),
                               m_config.willPayload.data(), 1, true) != MOSQ_ERR_SUCCESS) {
            reason = "cannot set the MQTT Last Will";
            return false;
        }
        mosquitto_log_callback_set(m_mosq, [](mosquitto*, void* self, int level, const char* line) {
            if ((level & MOSQ_LOG_ERR) != 0 && line != nullptr) {
                static_cast<MosquittoClient*>(self)->noteError(errorLineText(line));
            }
        });
        mosquitto_threaded_set(m_mosq, true);
        // An unreachable broker here is no failure: the thread keeps trying.
        const int rc = mosquitto_connect_async(m_mosq, m_config.host.c_str(), m_config.port,
                                               m_config.keepAliveSeconds);
        const int error = errno;
        m_connecting = rc == MOSQ_ERR_SUCCESS;
        if (!m_connecting) {
            failed(rc, error);
        }
        m_running = true;
        m_thread = std::thread([this] { run(); });
        return true;
    }

    bool publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                 int& mid) override {
        return mosquitto_publish(m_mosq, &mid, topic.c_str(), static_cast<int>(payload.size()),
                                 payload.data(), qos, retain) == MOSQ_ERR_SUCCESS;
    }

    void stop() override {
        if (!m_running) {
            return;
        }
        m_running = false;
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        // The goodbye goes out behind what was handed over; the thread ends once it is sent.
        mosquitto_disconnect(m_mosq);
        m_thread.join();
    }

private:
    void noteError(std::string text) {
        std::lock_guard lock(m_mutex);
        if (m_error.empty()) {
            m_error = std::move(text);  // the first line says it; those after it follow from it
        }
    }

    // An attempt or a connection failed with rc (errno error): onConnection says why.
    void failed(int rc, int error) {
        std::string why;
        {
            std::lock_guard lock(m_mutex);
            why.swap(m_error);
        }
        if (why.empty()) {
            why = rc == MOSQ_ERR_ERRNO          ? std::strerror(error)
                  : rc == MOSQ_ERR_CONN_LOST    ? "the connection was lost"
                  : rc == MOSQ_ERR_CONN_REFUSED ? "the broker refused the connection"
                  : rc == MOSQ_ERR_NO_CONN      ? "the connection was lost"
                                                : mosquitto_strerror(rc);
        }
        if (onConnection) {
            onConnection(false, why);
        }
    }

    // The network: read, write and keep alive while connected; after a failure wait (1 s,
    // doubling up to 30 s; a connection that came starts again at 1 s) and connect again.
    void run() {
        auto delay = std::chrono::seconds(1);
        std::chrono::steady_clock::time_point stopDeadline{};
        while (true) {
            if (m_connecting) {
                const int rc = mosquitto_loop(m_mosq, 500, 1);
                const int error = errno;
                if (rc == MOSQ_ERR_SUCCESS || (rc == MOSQ_ERR_ERRNO && error == EINTR)) {
                    std::lock_guard lock(m_mutex);
                    if (m_connected) {
                        delay = std::chrono::seconds(1);
                    }
                    if (!m_stopping) {
                        continue;
                    }
                    // Stopping: the goodbye is on its way; a broker that never answers it
                    // holds the end up for a moment at most.
                    if (stopDeadline == std::chrono::steady_clock::time_point{}) {
                        stopDeadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
                    }
                    if (std::chrono::steady_clock::now() < stopDeadline) {
                        continue;
                    }
                    return;
                }
                m_connecting = false;
                {
                    std::lock_guard lock(m_mutex);
                    m_connected = false;
                    if (m_stopping) {
                        return;
                    }
                }
                failed(rc, error);
            }
            {
                std::unique_lock lock(m_mutex);
                if (m_wake.wait_for(lock, delay, [this] { return m_stopping; })) {
                    return;
                }
                m_error.clear();
            }
            delay = std::min(delay * 2, std::chrono::seconds(30));
            const int rc = mosquitto_reconnect_async(m_mosq);
            const int error = errno;
            m_connecting = rc == MOSQ_ERR_SUCCESS;
            if (!m_connecting) {
                failed(rc, error);
            }
        }
    }

    MqttClientConfig m_config;
    mosquitto* m_mosq = nullptr;
    bool m_running = false;
    bool m_connecting = false;  // the client's thread: a socket is open or being opened
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    bool m_connected = false;  // the broker accepted us on the present socket
    std::string m_error;       // libmosquitto's first error line of the present attempt
};

}  // namespace

std::unique_ptr<MqttClient> createMqttClient(const MqttClientConfig& config) {
    return std::make_unique<MosquittoClient>(config);
}

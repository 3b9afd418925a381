// The MQTT client on libmosquitto: its own network thread (mosquitto_loop_start) connects,
// keeps the connection alive and reconnects with exponential backoff.
#include <mosquitto.h>

#include <cerrno>
#include <cstring>
#include <mutex>

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
        mosquitto_connect_callback_set(m_mosq, [](mosquitto*, void* self, int rc) {
            auto* c = static_cast<MosquittoClient*>(self);
            if (c->onConnection) {
                c->onConnection(rc == 0, rc == 0 ? std::string() : connackText(rc));
            }
        });
        mosquitto_disconnect_callback_set(m_mosq, [](mosquitto*, void* self, int rc) {
            auto* c = static_cast<MosquittoClient*>(self);
            if (c->onConnection) {
                c->onConnection(false, rc == 0 ? "disconnected" : "the connection was lost");
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
        mosquitto_reconnect_delay_set(m_mosq, 1, 30, true);
        // An unreachable broker here is no failure: the thread keeps trying.
        const int rc = mosquitto_connect_async(m_mosq, m_config.host.c_str(), m_config.port,
                                               m_config.keepAliveSeconds);
        if (rc != MOSQ_ERR_SUCCESS && onConnection) {
            onConnection(false,
                         rc == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(rc));
        }
        if (mosquitto_loop_start(m_mosq) != MOSQ_ERR_SUCCESS) {
            reason = "cannot start the MQTT client's thread";
            return false;
        }
        m_running = true;
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
        mosquitto_disconnect(m_mosq);
        mosquitto_loop_stop(m_mosq, false);
    }

private:
    MqttClientConfig m_config;
    mosquitto* m_mosq = nullptr;
    bool m_running = false;
};

}  // namespace

std::unique_ptr<MqttClient> createMqttClient(const MqttClientConfig& config) {
    return std::make_unique<MosquittoClient>(config);
}

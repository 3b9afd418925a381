#pragma once

#include <functional>
#include <memory>
#include <string>

// What a client of an MQTT broker is given: where the broker is, who we are, and the message
// the broker sends for us when we vanish (the Last Will).
struct MqttClientConfig {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string caFile;  // with tls: the authority that signed the broker's certificate
    std::string user;    // empty: anonymous
    std::string password;
    std::string clientId;
    std::string willTopic;
    std::string willPayload;
    int keepAliveSeconds = 30;
};

// A connection to an MQTT broker kept by a thread of its own: it connects, and after a loss
// reconnects with a growing delay (1 s doubling up to 30 s), without ever blocking its caller.
// publish() may be called from any thread.
class MqttClient {
public:
    virtual ~MqttClient() = default;

    // Starts connecting. False with the reason when the settings cannot be used (a CA file that
    // does not load); an unreachable broker is not a failure here: onConnection tells it.
    virtual bool start(std::string& reason) = 0;
    // Hands a message to the connection, its id in mid; false when there is no connection
    // (nothing was taken).
    virtual bool publish(const std::string& topic, const std::string& payload, int qos, bool retain,
                         int& mid) = 0;
    // Sends what was handed over, says goodbye and stops the thread. Called once, at the end.
    virtual void stop() = 0;

    // On the client's thread: the connection came (true) or went or failed (false, with why).
    std::function<void(bool connected, const std::string& why)> onConnection;
    // On the client's thread: the message mid left (QoS 0) or the broker took it (QoS 1). It may
    // come before publish() returned.
    std::function<void(int mid)> onDelivered;
};

// The platform's client (libmosquitto).
std::unique_ptr<MqttClient> createMqttClient(const MqttClientConfig& config);

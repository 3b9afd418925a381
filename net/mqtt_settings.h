#pragma once

#include <optional>
#include <string>
#include <string_view>

// A broker's address as the command line gives it: mqtt://host[:port] or mqtts://host[:port].
struct MqttUrl {
    bool tls = false;
    std::string host;
    int port = 1883;
};

// The address in url; nullopt with the reason otherwise. An IPv6 host is written in brackets.
std::optional<MqttUrl> parseMqttUrl(std::string_view url, std::string& reason);

// A name made safe for a topic level: letters, digits, '-' and '_' stay, every run of anything
// else becomes one '_', and leading or trailing '_' go ("/dev/ttyUSB0" -> "dev_ttyUSB0").
// "meter" when nothing is left.
std::string topicSafeId(std::string_view name);

// The topics of a meter id.
std::string readingTopic(const std::string& id);
std::string availabilityTopic(const std::string& id);
std::string discoveryTopic(const std::string& id);

// The Home Assistant discovery config of a meter id: a sensor of the readings' value, with the
// availability topic.
std::string discoveryConfig(const std::string& id);

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
std::string stateTopic(const std::string& id);
std::string availabilityTopic(const std::string& id);
std::string discoveryTopic(const std::string& id);

// What the readings' value is to Home Assistant: its device class ("voltage", "current",
// "frequency", "temperature"; empty where Home Assistant has none, as for resistance or
// capacitance, whose configs it would otherwise reject) and its unit ("V", "Ω", "°C", ...).
// Both empty: not known yet. Views of static texts.
struct SensorKind {
    std::string_view deviceClass;
    std::string_view unit;

    bool known() const { return !unit.empty(); }
    friend bool operator==(const SensorKind&, const SensorKind&) = default;
};

// The kind of a quantity of the quantity table ("voltage_dc", "V"); not known for an empty
// quantity or unit.
SensorKind sensorKindOf(std::string_view quantity, std::string_view siUnit);

// The Home Assistant discovery config of a meter id: a sensor of the readings' value, with the
// availability topic, and the device class and unit of kind when it is known.
std::string discoveryConfig(const std::string& id, const SensorKind& kind = {});

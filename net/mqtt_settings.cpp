#include "net/mqtt_settings.h"

#include <charconv>
#include <utility>

std::optional<MqttUrl> parseMqttUrl(std::string_view url, std::string& reason) {
    MqttUrl out;
    std::string_view rest;
    if (url.starts_with("mqtt://")) {
        rest = url.substr(7);
    } else if (url.starts_with("mqtts://")) {
        out.tls = true;
        out.port = 8883;
        rest = url.substr(8);
    } else {
        reason = "'" + std::string(url) + "' is not mqtt://host[:port] or mqtts://host[:port]";
        return std::nullopt;
    }
    if (!rest.empty() && rest.back() == '/') {
        rest.remove_suffix(1);
    }
    std::string_view portText;
    if (rest.starts_with('[')) {
        const std::size_t close = rest.find(']');
        if (close == std::string_view::npos) {
            reason = "'" + std::string(url) + "' has an IPv6 address without its ']'";
            return std::nullopt;
        }
        out.host = std::string(rest.substr(1, close - 1));
        rest.remove_prefix(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':') {
                reason = "'" + std::string(url) + "' has text after the address";
                return std::nullopt;
            }
            portText = rest.substr(1);
            if (portText.empty()) {
                reason = "'" + std::string(url) + "' has no port after ':'";
                return std::nullopt;
            }
        }
    } else {
        const std::size_t colon = rest.find(':');
        out.host = std::string(rest.substr(0, colon));
        if (colon != std::string_view::npos) {
            portText = rest.substr(colon + 1);
            if (portText.empty()) {
                reason = "'" + std::string(url) + "' has no port after ':'";
                return std::nullopt;
            }
        }
    }
    if (out.host.empty()) {
        reason = "'" + std::string(url) + "' names no host";
        return std::nullopt;
    }
    if (out.host.find_first_of("/@?# ") != std::string::npos) {
        reason = "'" + std::string(url) + "' is not mqtt://host[:port] (no user, path or query)";
        return std::nullopt;
    }
    if (!portText.empty()) {
        int port = 0;
        const auto [end, ec] =
            std::from_chars(portText.data(), portText.data() + portText.size(), port);
        if (ec != std::errc() || end != portText.data() + portText.size() || port < 1 ||
            port > 65535) {
            reason = "the port in '" + std::string(url) + "' is not a number from 1 to 65535";
            return std::nullopt;
        }
        out.port = port;
    }
    return out;
}

std::string topicSafeId(std::string_view name) {
    std::string out;
    bool gap = false;
    for (const char c : name) {
        const bool keep = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') || c == '-' || c == '_';
        if (keep) {
            if (gap && !out.empty()) {
                out += '_';
            }
            gap = false;
            out += c;
        } else {
            gap = true;
        }
    }
    while (!out.empty() && out.front() == '_') {
        out.erase(out.begin());
    }
    while (!out.empty() && out.back() == '_') {
        out.pop_back();
    }
    return out.empty() ? "meter" : out;
}

std::string readingTopic(const std::string& id) {
    return "halvern/" + id + "/reading";
}
std::string stateTopic(const std::string& id) {
    return "halvern/" + id + "/state";
}
std::string availabilityTopic(const std::string& id) {
    return "halvern/" + id + "/availability";
}
std::string discoveryTopic(const std::string& id) {
    return "homeassistant/sensor/halvern_" + id + "/config";
}

SensorKind sensorKindOf(std::string_view quantity, std::string_view siUnit) {
    // The quantities Home Assistant has a device class for; the others (resistance, continuity,
    // capacitance, engine speed, dwell) carry their unit alone.
    static constexpr std::pair<std::string_view, std::string_view> kClasses[] = {
        {"voltage_dc", "voltage"},      {"voltage_ac", "voltage"}, {"diode", "voltage"},
        {"current_dc", "current"},      {"current_ac", "current"}, {"frequency", "frequency"},
        {"temperature", "temperature"},
    };
    if (quantity.empty() || siUnit.empty()) {
        return {};
    }
    for (const auto& [name, deviceClass] : kClasses) {
        if (name == quantity) {
            return {deviceClass, siUnit};
        }
    }
    return {{}, siUnit};
}

std::string discoveryConfig(const std::string& id, const SensorKind& kind) {
    // The id is topic-safe and the kind's texts are the quantity table's: letters, digits,
    // '-', '_' and UTF-8 symbols need no escaping in JSON.
    std::string kindFields;
    if (!kind.deviceClass.empty()) {
        kindFields += "\"device_class\":\"" + std::string(kind.deviceClass) + "\",";
    }
    if (kind.known()) {
        kindFields += "\"unit_of_measurement\":\"" + std::string(kind.unit) + "\",";
    }
    return "{\"name\":\"Halvern " + id + "\",\"unique_id\":\"halvern_" + id +
           "\",\"state_topic\":\"" + readingTopic(id) + "\"," + kindFields +
           "\"value_template\":\"{{ value_json.value }}\",\"availability_topic\":\"" +
           availabilityTopic(id) +
           "\",\"payload_available\":\"online\",\"payload_not_available\":\"offline\","
           "\"device\":{\"identifiers\":[\"halvern_" +
           id + "\"],\"name\":\"Halvern meter " + id +
           "\",\"manufacturer\":\"Halvern\",\"model\":\"4000-count multimeter\"}}";
}

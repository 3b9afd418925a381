#include "app/outputs/output_settings.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstring>

#include "app/outputs/listen_address.h"
#include "net/mqtt_settings.h"

namespace {

// Whether text is UTF-8 without control characters, as MQTT's strings must be.
bool isCleanUtf8(const std::string& text) {
    std::size_t follow = 0;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (follow > 0) {
            if ((c & 0xC0) != 0x80) {
                return false;
            }
            --follow;
            continue;
        }
        if (c < 0x20 || c == 0x7F) {
            return false;
        }
        if (c >= 0x80) {
            if ((c & 0xE0) == 0xC0 && c >= 0xC2) {
                follow = 1;
            } else if ((c & 0xF0) == 0xE0) {
                follow = 2;
            } else if ((c & 0xF8) == 0xF0 && c <= 0xF4) {
                follow = 3;
            } else {
                return false;
            }
        }
    }
    return follow == 0;
}

}  // namespace

std::optional<FormProblem> checkPublishForm(const PublishForm& form, const std::string& password,
                                            const std::string& defaultId,
                                            MqttPublishSettings& settings) {
    using Field = FormProblem::Field;
    if (form.url.empty()) {
        return FormProblem{Field::Url,
                           "the broker's address is empty; give mqtt://host[:port] "
                           "or mqtts://host[:port]"};
    }
    std::string reason;
    const std::optional<MqttUrl> url = parseMqttUrl(form.url, reason);
    if (!url) {
        return FormProblem{Field::Url, reason};
    }
    if (!form.caFile.empty()) {
        if (!url->tls) {
            return FormProblem{Field::CaFile, "a CA file needs an mqtts:// address"};
        }
        struct stat st {};
        if (::stat(form.caFile.c_str(), &st) != 0 || ::access(form.caFile.c_str(), R_OK) != 0) {
            return FormProblem{Field::CaFile, "cannot read the CA file " + form.caFile + ": " +
                                                  std::strerror(errno)};
        }
        if (!S_ISREG(st.st_mode)) {
            return FormProblem{Field::CaFile, "the CA file " + form.caFile + " is not a file"};
        }
    }
    if (form.user.size() > 65535 || !isCleanUtf8(form.user)) {
        return FormProblem{Field::User, "the user name has characters a broker refuses"};
    }
    if (!password.empty() && form.user.empty()) {
        return FormProblem{Field::Password, "a password needs a user name"};
    }
    if (password.size() > 65535) {
        return FormProblem{Field::Password, "the password is too long for a broker"};
    }
    if (form.qos != 0 && form.qos != 1) {
        return FormProblem{Field::Qos, "the QoS must be 0 or 1"};
    }
    const std::string id = form.meterId.empty() ? topicSafeId(defaultId) : form.meterId;
    if (topicSafeId(id) != id) {
        return FormProblem{Field::MeterId,
                           "the meter id must be letters, digits, '-' and '_' (a "
                           "topic level), such as " +
                               topicSafeId(id)};
    }
    settings = MqttPublishSettings{};
    settings.url = *url;
    settings.caFile = form.caFile;
    settings.user = form.user;
    settings.password = password;
    settings.qos = form.qos;
    settings.meterId = id;
    return std::nullopt;
}

std::optional<FormProblem> checkScpiForm(const ScpiForm& form) {
    using Field = FormProblem::Field;
    if (form.address.empty()) {
        return FormProblem{Field::Address,
                           "the address is empty; give one such as 127.0.0.1, 0.0.0.0 or ::1"};
    }
    if (!isNumericAddress(form.address)) {
        return FormProblem{Field::Address, "'" + form.address +
                                               "' is no IP address; give one such as 127.0.0.1, "
                                               "0.0.0.0 or ::1"};
    }
    if (form.port < 1 || form.port > 65535) {
        return FormProblem{Field::Port, "the port must be from 1 to 65535 (5025 is usual)"};
    }
    return std::nullopt;
}

bool isLoopbackAddress(const std::string& address) {
    in_addr v4{};
    if (inet_pton(AF_INET, address.c_str(), &v4) == 1) {
        return (ntohl(v4.s_addr) >> 24) == 127;
    }
    in6_addr v6{};
    if (inet_pton(AF_INET6, address.c_str(), &v6) == 1) {
        if (IN6_IS_ADDR_LOOPBACK(&v6)) {
            return true;
        }
        // ::ffff:127.x.x.x
        return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
    }
    return false;
}

PublishStatusText publishStatusText(const std::string& url, const MqttPublisher::Status& status,
                                    bool started, const std::string& startFailure) {
    // The line is short (a corner of the LCD panel): the state and the rows that wait; the
    // detail names the broker and the reason.
    PublishStatusText t;
    const auto rows = [](std::uint64_t n) {
        return n == 1 ? std::string("1 row") : std::to_string(n) + " rows";
    };
    if (!startFailure.empty()) {
        t.line = "MQTT: cannot start";
        t.detail = "Publishing to " + url + " cannot start: " + startFailure;
        t.trouble = true;
        return t;
    }
    const std::string waiting = status.queued > 0 ? ", " + rows(status.queued) + " waiting" : "";
    const std::string shortWaiting =
        status.queued > 0 ? ", " + std::to_string(status.queued) + " waiting" : "";
    if (!started) {
        t.line = "MQTT: starting" + shortWaiting;
        t.detail = "Publishing to " + url + " is starting" + waiting;
    } else if (status.connected) {
        t.line = "MQTT: connected" + shortWaiting;
        t.detail =
            "MQTT: connected to " + url + ", " + rows(status.published) + " published" + waiting;
    } else if (status.problem.empty()) {
        t.line = "MQTT: connecting" + shortWaiting;
        t.detail = "MQTT: connecting to " + url + waiting;
    } else {
        t.line = "MQTT: unreachable" + shortWaiting;
        t.detail = "MQTT: broker unreachable (" + status.problem + ")" + waiting + "; " + url +
                   " is tried again and again, and up to " +
                   std::to_string(MqttPublisher::kDefaultCapacity) + " rows wait for it";
        t.trouble = true;
    }
    if (status.dropped > 0) {
        t.line += ", " + std::to_string(status.dropped) + " lost";
        t.detail += "; " + rows(status.dropped) + " dropped from the full queue";
        t.trouble = true;
    }
    return t;
}

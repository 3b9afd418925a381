#pragma once

#include <optional>
#include <string>

#include "net/meter_outputs.h"
#include "net/mqtt_publisher.h"

// What the window's "Publish…" dialog holds: the broker's settings as the user typed them.
struct PublishForm {
    bool enabled = false;  // off until the user turns it on
    std::string url;       // mqtt://host[:port] or mqtts://host[:port]
    std::string caFile;    // mqtts only
    std::string user;      // empty: anonymous
    // The password typed now; empty keeps the one already set (passwordSet), if any.
    std::string password;
    bool passwordSet = false;       // a password is known (typed earlier or remembered)
    bool rememberPassword = false;  // kept in the settings file; otherwise for this session only
    int qos = 0;                    // 0 or 1
    std::string meterId;            // empty: the default id
};

// What the window's "SCPI server…" dialog holds.
struct ScpiForm {
    bool enabled = false;
    std::string address = "127.0.0.1";
    int port = 5025;
};

// A field of a form and why its value cannot be used, as the dialog shows it.
struct FormProblem {
    enum class Field { Url, CaFile, User, Password, Qos, MeterId, Address, Port };
    Field field;
    std::string text;
};

// The publisher's settings of a form that is turned on, the password given separately (the
// form's own, or the one kept when the form leaves it empty) and defaultId standing in for an
// empty meter id. Fails with the field and the reason: an address that is no broker's, a CA file
// without mqtts or one that cannot be read, a user with characters a broker refuses, a QoS other
// than 0 and 1, a meter id that is no topic level.
std::optional<FormProblem> checkPublishForm(const PublishForm& form, const std::string& password,
                                            const std::string& defaultId,
                                            MqttPublishSettings& settings);

// Checks a form that is turned on: a numeric IPv4 or IPv6 address and a port from 1 to 65535.
// Fails with the field and the reason.
std::optional<FormProblem> checkScpiForm(const ScpiForm& form);

// Whether the server would listen on a loopback address only (127.0.0.0/8, ::1).
bool isLoopbackAddress(const std::string& address);

// What the LCD panel says about publishing: a short line and the whole of it.
struct PublishStatusText {
    std::string line;
    std::string detail;
    bool trouble = false;  // rows cannot be sent now or were lost
};

// The text of a publisher's state. startFailure: why the client could not start (empty while
// it starts or runs); started: whether the client runs.
PublishStatusText publishStatusText(const std::string& url, const MqttPublisher::Status& status,
                                    bool started, const std::string& startFailure);

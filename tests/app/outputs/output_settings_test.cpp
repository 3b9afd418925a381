// The checks of the window's broker and SCPI settings, the listening address of halvern log
// --scpi, and the short text of the broker's state.
#include "app/outputs/output_settings.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "app/outputs/listen_address.h"
#include "tests/support/temp_folder.h"

namespace {

using Field = FormProblem::Field;

TEST(PublishFormTest, EveryFieldIsCheckedWithAReason) {
    TempFolder dir;
    const std::string ca = dir.path("ca.pem");
    TempFolder::write(ca, "-----BEGIN CERTIFICATE-----\n");
    struct Case {
        const char* what;
        PublishForm form;
        std::string password;
        std::optional<Field> problem;  // nullopt: accepted
        const char* says;              // a part of the reason, or the meter id when accepted
    };
    const auto form = [](std::string url) {
        PublishForm f;
        f.enabled = true;
        f.url = std::move(url);
        return f;
    };
    const auto with = [](PublishForm f, auto change) {
        change(f);
        return f;
    };
    const Case cases[] = {
        {"plain broker, the link's device as id", form("mqtt://127.0.0.1:1883"), "", std::nullopt,
         "dev_ttyUSB0"},
        {"mqtts with its authority", with(form("mqtts://b.lan"), [&](auto& f) { f.caFile = ca; }),
         "", std::nullopt, "dev_ttyUSB0"},
        {"user, password, QoS 1, own id",
         with(form("mqtt://b.lan"),
              [](auto& f) {
                  f.user = "alice";
                  f.qos = 1;
                  f.meterId = "bench-2";
              }),
         "secret", std::nullopt, "bench-2"},
        {"empty address", form(""), "", Field::Url, "empty"},
        {"not a broker's address", form("http://b.lan"), "", Field::Url, "http://b.lan"},
        {"CA file without mqtts", with(form("mqtt://b.lan"), [&](auto& f) { f.caFile = ca; }), "",
         Field::CaFile, "mqtts://"},
        {"missing CA file",
         with(form("mqtts://b.lan"), [&](auto& f) { f.caFile = dir.path("none.pem"); }), "",
         Field::CaFile, "No such file"},
        {"CA file is a folder",
         with(form("mqtts://b.lan"), [&](auto& f) { f.caFile = dir.root(); }), "", Field::CaFile,
         "not a file"},
        {"control character in the user",
         with(form("mqtt://b.lan"), [](auto& f) { f.user = "al\nice"; }), "", Field::User,
         "characters"},
        {"password without a user", form("mqtt://b.lan"), "secret", Field::Password, "user"},
        {"QoS 2", with(form("mqtt://b.lan"), [](auto& f) { f.qos = 2; }), "", Field::Qos, "0 or 1"},
        {"id with a topic separator",
         with(form("mqtt://b.lan"), [](auto& f) { f.meterId = "bench/2"; }), "", Field::MeterId,
         "bench_2"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        MqttPublishSettings settings;
        const std::optional<FormProblem> problem =
            checkPublishForm(c.form, c.password, "/dev/ttyUSB0", settings);
        if (!c.problem) {
            ASSERT_FALSE(problem) << problem->text;
            EXPECT_EQ(settings.meterId, c.says);
            EXPECT_EQ(settings.password, c.password);
            EXPECT_EQ(settings.qos, c.form.qos);
            EXPECT_EQ(settings.caFile, c.form.caFile);
        } else {
            ASSERT_TRUE(problem);
            EXPECT_EQ(problem->field, *c.problem);
            EXPECT_NE(problem->text.find(c.says), std::string::npos) << problem->text;
        }
    }
    // No link in use: the id is "meter".
    MqttPublishSettings settings;
    ASSERT_FALSE(checkPublishForm(form("mqtt://b.lan"), "", "", settings));
    EXPECT_EQ(settings.meterId, "meter");
}

TEST(ScpiFormTest, AddressesAndPorts) {
    struct Case {
        const char* address;
        int port;
        std::optional<Field> problem;
        bool loopback;
    };
    const Case cases[] = {
        {"127.0.0.1", 5025, std::nullopt, true},
        {"127.8.0.3", 1, std::nullopt, true},
        {"::1", 65535, std::nullopt, true},
        {"::ffff:127.0.0.1", 5025, std::nullopt, true},
        {"0.0.0.0", 5025, std::nullopt, false},
        {"::", 5025, std::nullopt, false},
        {"192.168.1.20", 5025, std::nullopt, false},
        // A name would be looked up on the window's thread.
        {"localhost", 5025, Field::Address, false},
        {"", 5025, Field::Address, false},
        {"127.0.0.1", 0, Field::Port, true},
        {"127.0.0.1", 65536, Field::Port, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.address) + " port " + std::to_string(c.port));
        const std::optional<FormProblem> problem = checkScpiForm({true, c.address, c.port});
        EXPECT_EQ(problem ? std::optional<Field>(problem->field) : std::nullopt, c.problem);
        EXPECT_EQ(isLoopbackAddress(c.address), c.loopback);
    }
}

TEST(ListenAddressTest, PortAloneAddressAndPortOrNone) {
    struct Case {
        const char* text;
        bool ok;
        const char* address;
        int port;
    };
    const Case cases[] = {
        {"5025", true, "127.0.0.1", 5025}, {"0.0.0.0:5026", true, "0.0.0.0", 5026},
        {"[::1]:5025", true, "::1", 5025}, {"", false, "", 0},
        {":5025", false, "", 0},           {"127.0.0.1:", false, "", 0},
        {"5025x", false, "", 0},           {"0", false, "", 0},
        {"65536", false, "", 0},           {"[::1]5025", false, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::string address;
        int port = 0;
        ASSERT_EQ(parseListenAddress(c.text, address, port), c.ok);
        if (c.ok) {
            EXPECT_EQ(address, c.address);
            EXPECT_EQ(port, c.port);
        }
    }
}

TEST(PublishStatusTextTest, TheLineIsShortAndTheDetailSaysWhy) {
    struct Case {
        const char* what;
        MqttPublisher::Status status;
        bool started;
        const char* failure;
        const char* line;
        const char* inDetail;
        bool trouble;
    };
    const Case cases[] = {
        {"starting",
         {false, "", 3, 0, 0},
         false,
         "",
         "MQTT: starting, 3 waiting",
         "3 rows waiting",
         false},
        {"connected",
         {true, "", 0, 12, 0},
         true,
         "",
         "MQTT: connected",
         "12 rows published",
         false},
        {"connecting", {false, "", 0, 0, 0}, true, "", "MQTT: connecting", "mqtt://b:1883", false},
        {"unreachable",
         {false, "Connection refused", 1, 0, 0},
         true,
         "",
         "MQTT: unreachable, 1 waiting",
         "broker unreachable (Connection refused), 1 row waiting",
         true},
        {"full queue",
         {false, "Lookup error.", 10000, 0, 25},
         true,
         "",
         "MQTT: unreachable, 10000 waiting, 25 lost",
         "25 rows dropped",
         true},
        {"cannot start",
         {},
         false,
         "cannot use the CA file x",
         "MQTT: cannot start",
         "cannot use the CA file x",
         true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const PublishStatusText t =
            publishStatusText("mqtt://b:1883", c.status, c.started, c.failure);
        EXPECT_EQ(t.line, c.line);
        EXPECT_NE(t.detail.find(c.inDetail), std::string::npos) << t.detail;
        EXPECT_EQ(t.trouble, c.trouble);
    }
}

}  // namespace

#include "net/mqtt_publisher.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "meter/clock.h"
#include "meter/frame_decoder.h"
#include "net/lcd_state_message.h"
#include "net/mqtt_settings.h"
#include "recording/table_store.h"

namespace {

TEST(MqttSettingsTest, BrokerAddresses) {
    struct Case {
        const char* label;
        const char* url;
        bool ok;
        bool tls;
        const char* host;
        int port;
    };
    const Case cases[] = {
        {"host alone", "mqtt://broker.lan", true, false, "broker.lan", 1883},
        {"host and port", "mqtt://127.0.0.1:18830", true, false, "127.0.0.1", 18830},
        {"trailing slash", "mqtt://h:1/", true, false, "h", 1},
        {"tls default port", "mqtts://h", true, true, "h", 8883},
        {"IPv6 with port", "mqtt://[::1]:1884", true, false, "::1", 1884},
        {"IPv6 alone", "mqtt://[::1]", true, false, "::1", 1883},
        {"other scheme", "http://h", false, false, "", 0},
        {"no scheme", "h:1883", false, false, "", 0},
        {"no host", "mqtt://", false, false, "", 0},
        {"empty port", "mqtt://h:", false, false, "", 0},
        {"port zero", "mqtt://h:0", false, false, "", 0},
        {"port too big", "mqtt://h:65536", false, false, "", 0},
        {"port not a number", "mqtt://h:88a", false, false, "", 0},
        {"user in url", "mqtt://u:p@h", false, false, "", 0},
        {"path", "mqtt://h/topic", false, false, "", 0},
        {"open bracket", "mqtt://[::1", false, false, "", 0},
    };
    for (const Case& c : cases) {
        std::string reason;
        const std::optional<MqttUrl> url = parseMqttUrl(c.url, reason);
        ASSERT_EQ(url.has_value(), c.ok) << c.label;
        if (c.ok) {
            EXPECT_EQ(url->tls, c.tls) << c.label;
            EXPECT_EQ(url->host, c.host) << c.label;
            EXPECT_EQ(url->port, c.port) << c.label;
        } else {
            EXPECT_NE(reason.find(c.url), std::string::npos) << c.label << ": " << reason;
        }
    }
}

TEST(MqttSettingsTest, TopicSafeIds) {
    const std::pair<const char*, const char*> cases[] = {
        {"/dev/ttyUSB0", "dev_ttyUSB0"},
        {"/dev/pts/3", "dev_pts_3"},
        {"meter-1_a", "meter-1_a"},
        {"a+b#c d", "a_b_c_d"},
        {"///", "meter"},
        {"", "meter"},
    };
    for (const auto& [name, id] : cases) {
        EXPECT_EQ(topicSafeId(name), id) << name;
    }
    EXPECT_EQ(discoveryTopic("m1"), "homeassistant/sensor/halvern_m1/config");
    EXPECT_NE(discoveryConfig("m1").find("\"state_topic\":\"halvern/m1/reading\""),
              std::string::npos);
}

// A client whose connection the test switches, recording what it was handed.
class FakeClient final : public MqttClient {
public:
    struct Message {
        std::string topic;
        std::string payload;
        bool retain;
        std::chrono::steady_clock::time_point at;
    };
    bool start(std::string&) override { return true; }
    bool publish(const std::string& topic, const std::string& payload, int, bool retain,
                 int& mid) override {
        std::lock_guard lock(m_mutex);
        if (!m_up) {
            return false;
        }
        m_sent.push_back({topic, payload, retain, std::chrono::steady_clock::now()});
        mid = ++m_mid;
        if (m_deliver) {
            onDelivered(mid);  // before publish() returns, as a fast broker may
        }
        return true;
    }
    // Whether messages taken from now on are acknowledged (not: a broker that went silent).
    void acknowledge(bool deliver) {
        std::lock_guard lock(m_mutex);
        m_deliver = deliver;
    }
    void stop() override { stopped = true; }

    void setUp(bool up) {
        {
            std::lock_guard lock(m_mutex);
            m_up = up;
        }
        onConnection(up, up ? "" : "the connection was lost");
    }
    std::vector<Message> sent() {
        std::lock_guard lock(m_mutex);
        return m_sent;
    }
    std::vector<std::string> readings() { return on(readingTopic("m1")); }
    std::vector<Message> states() {
        std::vector<Message> out;
        for (const Message& m : sent()) {
            if (m.topic == stateTopic("m1")) {
                out.push_back(m);
            }
        }
        return out;
    }
    std::vector<std::string> on(const std::string& topic) {
        std::vector<std::string> out;
        for (const Message& m : sent()) {
            if (m.topic == topic) {
                out.push_back(m.payload);
            }
        }
        return out;
    }
    bool stopped = false;

private:
    std::mutex m_mutex;
    bool m_up = false;
    bool m_deliver = true;
    int m_mid = 0;
    std::vector<Message> m_sent;
};

void rowNumber(const TableStore&, std::size_t row, std::string& out) {
    out += std::to_string(row);
}

// Waits (bounded) until the condition holds.
template <class F>
bool eventually(F condition) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

std::vector<std::string> numbers(std::size_t from, std::size_t to) {
    std::vector<std::string> out;
    for (std::size_t i = from; i < to; ++i) {
        out.push_back(std::to_string(i));
    }
    return out;
}

TEST(MqttPublisherTest, RowsWaitForTheBrokerAndArriveInOrder) {
    auto owned = std::make_unique<FakeClient>();
    FakeClient& client = *owned;
    MqttPublisher publisher(std::move(owned), "m1", 0, rowNumber);
    std::string reason;
    ASSERT_TRUE(publisher.start(reason));
    const TableStore table;
    for (std::size_t i = 0; i < 5; ++i) {
        publisher.rowRecorded(table, i);  // no broker yet: queued
    }
    EXPECT_EQ(publisher.status().queued, 5u);
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return client.readings().size() == 5; }));
    EXPECT_EQ(client.readings(), numbers(0, 5));
    // Every connection announces the meter first: retained discovery, then online.
    const std::vector<FakeClient::Message> sent = client.sent();
    EXPECT_EQ(sent[0].topic, discoveryTopic("m1"));
    EXPECT_TRUE(sent[0].retain);
    EXPECT_EQ(sent[1].topic, availabilityTopic("m1"));
    EXPECT_EQ(sent[1].payload, "online");

    client.setUp(false);
    for (std::size_t i = 5; i < 8; ++i) {
        publisher.rowRecorded(table, i);
    }
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return client.readings().size() == 8; }));
    EXPECT_EQ(client.readings(), numbers(0, 8));

    publisher.finish();
    EXPECT_EQ(client.sent().back().topic, availabilityTopic("m1"));
    EXPECT_EQ(client.sent().back().payload, "offline");
    EXPECT_TRUE(client.stopped);
    EXPECT_EQ(publisher.unsent(), 0u);
}

TEST(MqttPublisherTest, RowsTakenButNotAcknowledgedAreSentAgainAfterALoss) {
    auto owned = std::make_unique<FakeClient>();
    FakeClient& client = *owned;
    MqttPublisher publisher(std::move(owned), "m1", 1, rowNumber);
    std::string reason;
    ASSERT_TRUE(publisher.start(reason));
    client.setUp(true);
    const TableStore table;
    publisher.rowRecorded(table, 0);
    ASSERT_TRUE(eventually([&] { return publisher.status().published == 1; }));
    client.acknowledge(false);
    publisher.rowRecorded(table, 1);
    publisher.rowRecorded(table, 2);
    ASSERT_TRUE(eventually([&] { return client.readings().size() == 3; }));
    client.setUp(false);  // rows 1 and 2 were never acknowledged
    EXPECT_EQ(publisher.status().queued, 2u);
    publisher.rowRecorded(table, 3);
    client.acknowledge(true);
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return publisher.status().published == 4; }));
    EXPECT_EQ(client.readings(), (std::vector<std::string>{"0", "1", "2", "1", "2", "3"}));
    publisher.finish();
    EXPECT_EQ(publisher.unsent(), 0u);
}

TEST(MqttPublisherTest, FullQueueDropsTheOldestAndCountsThem) {
    auto owned = std::make_unique<FakeClient>();
    FakeClient& client = *owned;
    MqttPublisher publisher(std::move(owned), "m1", 1, rowNumber, 4);
    std::string reason;
    ASSERT_TRUE(publisher.start(reason));
    const TableStore table;
    for (std::size_t i = 0; i < 10; ++i) {
        publisher.rowRecorded(table, i);
    }
    EXPECT_EQ(publisher.status().queued, 4u);
    EXPECT_EQ(publisher.status().dropped, 6u);
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return client.readings().size() == 4; }));
    EXPECT_EQ(client.readings(), numbers(6, 10));
    publisher.finish();
}

TEST(MqttPublisherTest, EndWithoutBrokerDoesNotWaitAndCountsTheUnsent) {
    auto owned = std::make_unique<FakeClient>();
    FakeClient& client = *owned;
    MqttPublisher publisher(std::move(owned), "m1", 0, rowNumber);
    std::string reason;
    ASSERT_TRUE(publisher.start(reason));
    const TableStore table;
    publisher.rowRecorded(table, 0);
    publisher.rowRecorded(table, 1);
    const auto start = std::chrono::steady_clock::now();
    publisher.finish();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(publisher.unsent(), 2u);
    EXPECT_TRUE(client.sent().empty());  // no offline without a connection: the Will says it
    EXPECT_TRUE(client.stopped);
}

// The LCD states of frames that differ in their digits only.
std::vector<LcdState> lcdStates(int count) {
    ReadingConsumer none;
    FixedClock clock;
    FrameDecoder decoder(none, clock, ".");
    std::vector<LcdState> out;
    for (int i = 0; i < count; ++i) {
        char frame[16];
        std::snprintf(frame, sizeof frame, "A001%04d0010D", i);
        decoder.decode(frame);
        out.push_back(decoder.lcdState());
    }
    return out;
}

std::string stateJson(const LcdState& state) {
    std::string out;
    appendLcdStateJson(state, out);
    return out;
}

TEST(MqttPublisherTest, LcdStateIsRetainedAtMostTenTimesASecondAndTheLastOfABurstArrives) {
    auto owned = std::make_unique<FakeClient>();
    FakeClient& client = *owned;
    MqttPublisher publisher(std::move(owned), "m1", 0, rowNumber);
    std::string reason;
    ASSERT_TRUE(publisher.start(reason));
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return client.sent().size() == 2; }));  // discovery, online
    ReadingConsumer& lcd = publisher.lcdState();

    // A burst far quicker than the interval: the first goes at once, the last when the
    // interval ends, none between them.
    const std::vector<LcdState> states = lcdStates(40);
    for (const LcdState& s : states) {
        lcd.lcdApply(s);
    }
    ASSERT_TRUE(eventually([&] {
        const auto sent = client.states();
        return !sent.empty() && sent.back().payload == stateJson(states.back());
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    std::vector<FakeClient::Message> sent = client.states();
    EXPECT_LE(sent.size(), 3u);
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_TRUE(sent[i].retain);
        if (i > 0) {
            EXPECT_GE(sent[i].at - sent[i - 1].at, MqttPublisher::kStateInterval);
        }
    }
    EXPECT_EQ(sent.back().payload, stateJson(states.back()));

    // The same state again: nothing new.
    lcd.lcdApply(states.back());
    lcd.lcdApply(states.back());
    std::this_thread::sleep_for(std::chrono::milliseconds(250));
    EXPECT_EQ(client.states().size(), sent.size());

    // A new connection has the state again (a broker may have lost it), after its discovery.
    client.setUp(false);
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return client.states().size() == sent.size() + 1; }));
    EXPECT_EQ(client.states().back().payload, stateJson(states.back()));

    // A change right after a send is not lost at the end: finish() waits for its interval.
    lcd.lcdApply(states[1]);
    lcd.lcdApply(states[2]);
    publisher.finish();
    EXPECT_EQ(client.states().back().payload, stateJson(states[2]));
    EXPECT_EQ(client.sent().back().payload, "offline");
}

TEST(MqttPublisherTest, DiscoveryTellsTheRowsDeviceClassAndUnitBeforeTheFirstRowOfEachQuantity) {
    auto owned = std::make_unique<FakeClient>();
    FakeClient& client = *owned;
    // Rows 0-1 volts, 2 an unknown function (the kind stays), 3 ohms, 4 volts again.
    const SensorKind kinds[] = {sensorKindOf("voltage_dc", "V"),
                                sensorKindOf("voltage_ac", "V"),
                                {},
                                sensorKindOf("resistance", "\u03A9"),
                                sensorKindOf("voltage_dc", "V")};
    MqttPublisher publisher(std::move(owned), "m1", 1, rowNumber);
    publisher.setRowKind([&](const TableStore&, std::size_t row) { return kinds[row]; });
    std::string reason;
    ASSERT_TRUE(publisher.start(reason));
    const TableStore table;
    for (std::size_t i = 0; i < 5; ++i) {
        publisher.rowRecorded(table, i);
    }
    client.setUp(true);
    ASSERT_TRUE(eventually([&] { return client.readings().size() == 5; }));
    std::vector<std::string> order;
    for (const FakeClient::Message& m : client.sent()) {
        if (m.topic == discoveryTopic("m1")) {
            EXPECT_TRUE(m.retain);
            const auto unit = m.payload.find("\"unit_of_measurement\":\"");
            const auto cls = m.payload.find("\"device_class\":\"");
            order.push_back(
                "config " +
                (cls == std::string::npos ? std::string("-") : m.payload.substr(cls + 16, 7)) +
                " " +
                (unit == std::string::npos
                     ? std::string("-")
                     : m.payload.substr(unit + 23, m.payload.find('"', unit + 23) - unit - 23)));
        } else if (m.topic == readingTopic("m1")) {
            order.push_back("row " + m.payload);
        }
    }
    EXPECT_EQ(order,
              (std::vector<std::string>{"config - -", "config voltage V", "row 0", "row 1", "row 2",
                                        "config - \u03A9", "row 3", "config voltage V", "row 4"}));
    // Home Assistant has no device class for resistance: the unit goes alone.
    EXPECT_EQ(discoveryConfig("m1", sensorKindOf("resistance", "\u03A9")).find("device_class"),
              std::string::npos);
    publisher.finish();
}

}  // namespace

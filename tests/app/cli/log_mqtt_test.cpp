// halvern log --mqtt against a real mosquitto broker on a free loopback port, the meter simulated
// on a pseudo-terminal: what the logger records is what a subscriber receives, whatever the
// broker does meanwhile.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/temp_folder.h"

namespace {

const char kSession[] = "halvern-test-reader";
const char kReadings[] = "halvern/m1/reading";

// The rows of a JSON Lines file written by the logger, without their line ends.
std::vector<std::string> fileRows(const std::string& file) {
    std::istringstream in(TempFolder::read(file));
    std::vector<std::string> rows;
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        rows.push_back(line);
    }
    return rows;
}

// A persistent session at QoS 1 on the readings: the broker keeps them for the test until it
// collects them, across a clean restart of the broker.
void openReadingsSession(const MqttBroker& broker) {
    broker.subscribe({"-c", "-i", kSession, "-q", "1", "-t", kReadings, "-E"});
}

// The readings the session holds, each once (at QoS 1 one may come twice), in order of arrival.
// Taken for a fixed while rather than counted: a count that duplicates fill would end the run
// with rows acknowledged but not printed.
std::vector<std::string> collectReadings(const MqttBroker& broker) {
    std::istringstream in(
        broker.subscribe({"-c", "-i", kSession, "-q", "1", "-t", kReadings, "-W", "2"}));
    std::vector<std::string> rows;
    std::set<std::string> seen;
    std::string line;
    while (std::getline(in, line)) {
        if (seen.insert(line).second) {
            rows.push_back(line);
        }
    }
    return rows;
}

// The rows not received, for a failure's message.
std::string missing(const std::vector<std::string>& rows,
                    const std::vector<std::string>& received) {
    const std::set<std::string> got(received.begin(), received.end());
    std::string out = "missing:";
    for (const std::string& r : rows) {
        if (got.count(r) == 0) {
            out += " [" + r.substr(0, 40) + "]";
        }
    }
    return out + "\n";
}

// The standard error of a running child read so far, without waiting.
void readAvailable(int fd, std::string& into) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
    char buf[512];
    ssize_t n;
    while ((n = read(fd, buf, sizeof buf)) > 0) {
        into.append(buf, static_cast<std::size_t>(n));
    }
}

// Waits (bounded) until the child has said `text` `times` times on standard error.
bool waitForMessage(const Child& child, std::string& err, const std::string& text, int times = 1) {
    for (int i = 0; i < 1000; ++i) {
        readAvailable(child.errFd, err);
        int found = 0;
        for (std::size_t at = err.find(text); at != std::string::npos;
             at = err.find(text, at + 1)) {
            ++found;
        }
        if (found >= times) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

std::vector<std::string> logArgs(const std::string& port, const std::string& file,
                                 const MqttBroker& broker) {
    return {HALVERN_BINARY, "log",        "--port",     port, "--save",     file,
            "--mqtt",       broker.url(), "--mqtt-qos", "1",  "--meter-id", "m1"};
}

TEST(LogMqttTest, EveryRecordedRowIsReceivedWithRetainedDiscoveryAndOfflineAtTheEnd) {
    MqttBroker broker;
    ASSERT_TRUE(broker.start()) << "mosquitto (scripts/install-deps.sh) did not start";
    openReadingsSession(broker);
    Simulator meter("100");
    TempFolder dir;
    const std::string file = dir.path("log.jsonl");
    std::vector<std::string> args = logArgs(meter.path(), file, broker);
    args.insert(args.end(), {"--frames", "40"});
    ChildGuard log{spawn(args)};
    std::string err;
    ASSERT_EQ(finish(log.child, &err), 0) << err;
    log.child = {};

    const std::vector<std::string> rows = fileRows(file);
    ASSERT_GE(rows.size(), 39u) << err;
    const std::vector<std::string> received = collectReadings(broker);
    EXPECT_EQ(received, rows) << missing(rows, received) << err;
    const std::string config = broker.retained("homeassistant/sensor/halvern_m1/config");
    EXPECT_NE(config.find("\"state_topic\":\"halvern/m1/reading\""), std::string::npos) << config;
    EXPECT_EQ(broker.retained("halvern/m1/availability"), "offline");
}

TEST(LogMqttTest, KilledLoggerIsOfflineThroughItsLastWill) {
    MqttBroker broker;
    ASSERT_TRUE(broker.start());
    Simulator meter("50");
    TempFolder dir;
    ChildGuard log{spawn(logArgs(meter.path(), dir.path("log.jsonl"), broker))};
    std::string err;
    ASSERT_TRUE(waitForMessage(log.child, err, "connected to the broker")) << err;
    std::string availability;
    for (int i = 0; i < 50 && availability != "online"; ++i) {
        availability = broker.retained("halvern/m1/availability");
    }
    EXPECT_EQ(availability, "online");
    kill(log.child.pid, SIGKILL);
    for (int i = 0; i < 50 && availability != "offline"; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        availability = broker.retained("halvern/m1/availability");
    }
    EXPECT_EQ(availability, "offline");
}

TEST(LogMqttTest, BrokerThatGoesAwayStallsNothingAndGetsTheQueuedRowsAfterItsRestart) {
    MqttBroker broker;
    ASSERT_TRUE(broker.start());
    openReadingsSession(broker);
    Simulator meter("50");
    TempFolder dir;
    const std::string file = dir.path("log.jsonl");
    ChildGuard log{spawn(logArgs(meter.path(), file, broker))};
    std::string err;
    ASSERT_TRUE(waitForMessage(log.child, err, "connected to the broker")) << err;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    broker.stop(SIGTERM);
    ASSERT_TRUE(waitForMessage(log.child, err, "cannot be reached")) << err;
    // The reading carries on while nobody takes the rows.
    const std::size_t atLoss = fileRows(file).size();
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    EXPECT_GT(fileRows(file).size(), atLoss + 10) << "the logger stalled without its broker";

    ASSERT_TRUE(broker.start());
    ASSERT_TRUE(waitForMessage(log.child, err, "connected to the broker", 2)) << err;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(log.child.pid, SIGTERM);
    std::string rest;
    ASSERT_EQ(finish(log.child, &rest), 0) << err << rest;
    log.child = {};

    const std::vector<std::string> rows = fileRows(file);
    const std::vector<std::string> received = collectReadings(broker);
    EXPECT_EQ(received, rows) << missing(rows, received) << err << rest;
}

TEST(LogMqttTest, BrokerThatIsNotRunningCostsNoReading) {
    Simulator meter("100");
    TempFolder dir;
    const std::string file = dir.path("log.jsonl");
    const auto start = std::chrono::steady_clock::now();
    ChildGuard log{
        spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--save", file, "--mqtt",
               "mqtt://127.0.0.1:" + std::to_string(freeLoopbackPort()), "--frames", "20"})};
    std::string err;
    ASSERT_EQ(finish(log.child, &err), 0) << err;
    log.child = {};
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
    EXPECT_NE(err.find("cannot be reached (Connection refused)"), std::string::npos) << err;
    EXPECT_NE(err.find("rows were not published"), std::string::npos) << err;
    EXPECT_GE(fileRows(file).size(), 19u);
}

TEST(LogMqttTest, BadBrokerOptionsAreRefusedAndSayWhy) {
    struct Case {
        const char* label;
        std::vector<std::string> args;
        const char* says;
    };
    const Case cases[] = {
        {"not an mqtt url", {"--mqtt", "http://127.0.0.1"}, "is not mqtt://host[:port]"},
        {"bad port", {"--mqtt", "mqtt://127.0.0.1:70000"}, "not a number from 1 to 65535"},
        {"password on the command line",
         {"--mqtt", "mqtt://127.0.0.1", "--mqtt-password", "secret"},
         "HALVERN_MQTT_PASSWORD"},
        {"qos 2", {"--mqtt", "mqtt://127.0.0.1", "--mqtt-qos", "2"}, "must be 0 or 1"},
        {"meter id not a topic level",
         {"--mqtt", "mqtt://127.0.0.1", "--meter-id", "a/b"},
         "letters, digits"},
        {"ca without tls", {"--mqtt", "mqtt://127.0.0.1", "--mqtt-ca", "ca.pem"}, "mqtts://"},
        {"broker options without a broker", {"--meter-id", "m1"}, "need --mqtt URL"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {HALVERN_BINARY, "log", "--port", "/dev/null"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        Child log = spawn(args);
        std::string err;
        EXPECT_EQ(finish(log, &err), 2) << c.label;
        EXPECT_NE(err.find(c.says), std::string::npos) << c.label << ": " << err;
    }
}

TEST(LogMqttTest, TlsWithTheBrokersAuthorityDeliversAndAWrongOneIsToldWhileTheLogRecords) {
    MqttBroker broker(MqttBroker::Transport::Tls);
    ASSERT_TRUE(broker.start()) << "mosquitto or openssl (scripts/install-deps.sh) is missing";
    openReadingsSession(broker);
    Simulator meter("100");
    TempFolder dir;
    const std::string file = dir.path("log.jsonl");
    std::vector<std::string> args = logArgs(meter.path(), file, broker);
    args.insert(args.end(), {"--mqtt-ca", broker.caFile(), "--frames", "30"});
    ChildGuard log{spawn(args)};
    std::string err;
    ASSERT_EQ(finish(log.child, &err), 0) << err;
    log.child = {};
    const std::vector<std::string> rows = fileRows(file);
    ASSERT_GE(rows.size(), 29u) << err;
    const std::vector<std::string> received = collectReadings(broker);
    EXPECT_EQ(received, rows) << missing(rows, received) << err;

    // An authority that did not sign the broker's certificate: said once with the reason, and
    // the log goes on recording.
    Simulator meter2("100");
    const std::string other = dir.path("other.jsonl");
    args = logArgs(meter2.path(), other, broker);
    args.insert(args.end(), {"--mqtt-ca", broker.otherCaFile(), "--frames", "20"});
    log.child = spawn(args);
    ASSERT_EQ(finish(log.child, &err), 0) << err;
    log.child = {};
    EXPECT_NE(err.find("cannot be reached (TLS: certificate verify failed; is " +
                       broker.otherCaFile() + " the authority"),
              std::string::npos)
        << err;
    EXPECT_GE(fileRows(other).size(), 19u) << err;
    EXPECT_NE(err.find("rows were not published"), std::string::npos) << err;

    // A CA file that is not there: refused before the meter is opened.
    args = logArgs("/dev/null", dir.path("none.jsonl"), broker);
    args.insert(args.end(), {"--mqtt-ca", dir.path("no-such-ca.crt")});
    log.child = spawn(args);
    EXPECT_EQ(finish(log.child, &err), 1) << err;
    log.child = {};
    EXPECT_NE(err.find("cannot read the CA file " + dir.path("no-such-ca.crt") +
                       ": No such file or directory"),
              std::string::npos)
        << err;
}

// The text of a JSON string field in a flat object; "<none>" without the field.
std::string field(const std::string& json, const std::string& name) {
    const std::string key = "\"" + name + "\":\"";
    const std::size_t at = json.find(key);
    if (at == std::string::npos) {
        return "<none>";
    }
    const std::size_t from = at + key.size();
    return json.substr(from, json.find('"', from) - from);
}

TEST(LogMqttTest, ConfigHasTheUnitOfEveryRowAfterItAndTheStateFollowsTheLcd) {
    MqttBroker broker;
    ASSERT_TRUE(broker.start());
    const std::string config = "homeassistant/sensor/halvern_m1/config";
    const std::string state = "halvern/m1/state";
    const std::vector<std::string> topics = {"-t", kReadings, "-t", state, "-t", config};
    std::vector<std::string> session = {"-c", "-i", "halvern-test-all", "-q", "1", "-v"};
    session.insert(session.end(), topics.begin(), topics.end());
    std::vector<std::string> open = session;
    open.push_back("-E");
    broker.subscribe(open);
    // The simulator turns the dial through volts, ohms and degrees within three seconds.
    Simulator meter("100");
    TempFolder dir;
    std::vector<std::string> args = logArgs(meter.path(), dir.path("log.jsonl"), broker);
    args.insert(args.end(), {"--duration", "3"});
    ChildGuard log{spawn(args)};
    std::string err;
    ASSERT_EQ(finish(log.child, &err), 0) << err;
    log.child = {};
    // -R: not the retained messages a new subscription is handed once more.
    std::vector<std::string> collect = session;
    collect.insert(collect.end(), {"-R", "-W", "2"});
    std::istringstream in(broker.subscribe(collect));

    std::string unit = "<none>";  // of the config in force
    std::set<std::string> units;
    std::vector<std::string> states;
    std::size_t configs = 0;
    std::size_t readings = 0;
    std::string line;
    while (std::getline(in, line)) {
        const std::size_t space = line.find(' ');
        const std::string topic = line.substr(0, space);
        const std::string payload = line.substr(space + 1);
        if (topic == config) {
            if (configs++ == 0) {
                EXPECT_EQ(field(payload, "device_class"), "<none>") << "before the first row";
            }
            unit = field(payload, "unit_of_measurement");
            units.insert(unit);
        } else if (topic == kReadings) {
            ++readings;
            EXPECT_EQ(field(payload, "unit"), unit) << payload;
        } else if (topic == state) {
            EXPECT_TRUE(payload.starts_with("{\"display\":\"") && payload.ends_with("]}"))
                << payload;
            EXPECT_TRUE(states.empty() || states.back() != payload)
                << "sent twice: " << payload << " after " << states.size();
            states.push_back(payload);
        }
    }
    EXPECT_GT(readings, 100u) << err;
    EXPECT_GE(units.size(), 3u) << "volts, ohms, degrees";
    EXPECT_TRUE(units.count("\u03A9")) << "the ohms' unit";
    // At most ten states a second (three seconds and the two ends), far fewer than the frames.
    EXPECT_GE(states.size(), 10u);
    EXPECT_LE(states.size(), 33u);
    ASSERT_FALSE(states.empty());
    EXPECT_EQ(broker.retained(state), states.back());
}

}  // namespace

// halvern log --scpi: real TCP clients on loopback against the logger of a simulated meter.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/fakes/fake_usb_tree.h"
#include "tests/support/mqtt_broker.h"
#include "tests/support/temp_folder.h"

namespace {

// A blocking client whose reads give up after two seconds.
class ScpiClient {
public:
    explicit ScpiClient(int port) : m_fd(socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<uint16_t>(port));
        timeval t{2, 0};
        setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
        m_connected = connect(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    }
    ~ScpiClient() { close(m_fd); }
    bool connected() const { return m_connected; }
    void send(const std::string& text) { ::send(m_fd, text.data(), text.size(), MSG_NOSIGNAL); }
    // One answer line without its LF; "<closed>" when the server closed, "<timeout>" otherwise.
    std::string line() {
        std::string out;
        char c;
        while (true) {
            const ssize_t n = recv(m_fd, &c, 1, 0);
            if (n == 0) {
                return out.empty() ? "<closed>" : out;
            }
            if (n < 0) {
                return "<timeout>";
            }
            if (c == '\n') {
                return out;
            }
            out += c;
        }
    }

private:
    int m_fd;
    bool m_connected = false;
};

// The logger with its SCPI server on a free port, ended and reaped with the test.
struct ScpiLog {
    explicit ScpiLog(const std::string& meterPath, const std::vector<std::string>& extra = {}) {
        port = freeLoopbackPort();
        std::vector<std::string> args = {HALVERN_BINARY, "log",
                                         "--port",       meterPath,
                                         "--scpi",       "127.0.0.1:" + std::to_string(port)};
        args.insert(args.end(), extra.begin(), extra.end());
        log.child = spawn(args);
        for (int i = 0; i < 300 && !acceptsConnections(port); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // a reading or two
    }
    std::string end() {
        kill(log.child.pid, SIGTERM);
        std::string err;
        finish(log.child, &err);
        log.child = {};
        return err;
    }
    int port = 0;
    ChildGuard log;
};

TEST(LogScpiTest, EveryCommandAnswers) {
    Simulator meter("50");
    ScpiLog log(meter.path());
    ScpiClient client(log.port);
    ASSERT_TRUE(client.connected());
    client.send("*IDN?\n");
    EXPECT_EQ(client.line(), "Halvern,Interface Program,0,2.0.0");
    for (const char* query : {"READ?\n", "meas?\r\n", ":FETCh?\n"}) {
        client.send(query);
        const std::string answer = client.line();
        char* end = nullptr;
        std::strtod(answer.c_str(), &end);
        EXPECT_TRUE(end != answer.c_str() && *end == '\0') << query << answer;
    }
    client.send("CONF?\n");
    EXPECT_EQ(client.line().front(), '"');
    client.send("VOLT?;*IDN?\n");
    EXPECT_EQ(client.line(), "Halvern,Interface Program,0,2.0.0");
    client.send("SYST:ERR?;SYST:ERR?\n");
    EXPECT_EQ(client.line(), "-113,\"Undefined header\";0,\"No error\"");
    log.end();
}

TEST(LogScpiTest, OversizedFloodingAndIdleClientsAreClosedOthersServed) {
    Simulator meter("50");
    ScpiLog log(meter.path(), {"--scpi-idle", "1"});
    {
        ScpiClient flood(log.port);
        flood.send(std::string(300, 'A'));  // no line end, over the limit
        EXPECT_EQ(flood.line(), "<closed>");
    }
    std::vector<std::unique_ptr<ScpiClient>> clients;
    for (std::size_t i = 0; i < 8; ++i) {
        clients.push_back(std::make_unique<ScpiClient>(log.port));
    }
    ScpiClient ninth(log.port);
    EXPECT_EQ(ninth.line(), "-310,\"System error: too many clients\"");
    EXPECT_EQ(ninth.line(), "<closed>");
    for (auto& c : clients) {
        c->send("*IDN?\n");
        EXPECT_EQ(c->line(), "Halvern,Interface Program,0,2.0.0");
    }
    // Silent for the idle time: closed, and the place is free again.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    EXPECT_EQ(clients[0]->line(), "<closed>");
    ScpiClient later(log.port);
    later.send("*IDN?\n");
    EXPECT_EQ(later.line(), "Halvern,Interface Program,0,2.0.0");
    const std::string err = log.end();
    EXPECT_NE(err.find("line too long"), std::string::npos) << err;
    EXPECT_NE(err.find("idle"), std::string::npos) << err;
}

TEST(LogScpiTest, PortInUseOrBadAddressSayWhy) {
    Simulator meter("50");
    ScpiLog first(meter.path());
    Simulator other("50");
    Child second = spawn(
        {HALVERN_BINARY, "log", "--port", other.path(), "--scpi", std::to_string(first.port)});
    std::string err;
    EXPECT_EQ(finish(second, &err), 1);
    EXPECT_NE(err.find("the port is in use"), std::string::npos) << err;
    Child bad = spawn({HALVERN_BINARY, "log", "--port", other.path(), "--scpi", "127.0.0.1:0"});
    EXPECT_EQ(finish(bad, &err), 2);
    EXPECT_NE(err.find("--scpi must be"), std::string::npos) << err;
    first.end();
}

// A meter on a USB serial adapter: its serial number names the meter in the topics and answers
// *IDN?; without one, the device path names it and *IDN? says 0 (as EveryCommandAnswers shows).
TEST(LogScpiTest, TheAdaptersUsbSerialNumberIsTheMeterIdAndTheIdnSerial) {
    Simulator meter("50");
    FakeUsbTree tree;
    tree.addUsbTty(0, 2, "0403", "6001", meter.path(), "FT232R", "A6008isP");
    MqttBroker broker;
    ASSERT_TRUE(broker.start());
    ScpiLog log(tree.dev() + "/ttyUSB0", {"--sysfs-root", tree.sysfs(), "--mqtt", broker.url()});
    ScpiClient client(log.port);
    ASSERT_TRUE(client.connected());
    client.send("*IDN?\n");
    EXPECT_EQ(client.line(), "Halvern,Interface Program,A6008isP,2.0.0");
    const std::string err = log.end();
    EXPECT_NE(err.find("as halvern/A6008isP/reading"), std::string::npos) << err;
    EXPECT_EQ(broker.retained("halvern/A6008isP/availability"), "offline");
}

}  // namespace

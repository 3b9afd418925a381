#pragma once

// A real mosquitto broker for the tests, on a free loopback port, in a folder of its own; killed
// when the test ends, also on failure. Clients are mosquitto_sub runs.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/temp_folder.h"

namespace {

// The first of the usual places that holds the program; empty when none does.
inline std::string findTool(const std::string& name) {
    for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/usr/local/sbin/", "/usr/local/bin/"}) {
        const std::string path = dir + name;
        if (access(path.c_str(), X_OK) == 0) {
            return path;
        }
    }
    return {};
}

// A loopback port nobody listens on now.
inline int freeLoopbackPort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0) {
        port = ntohs(a.sin_port);
    }
    close(fd);
    return port;
}

inline bool acceptsConnections(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    return ok;
}

// A child killed and reaped when the test leaves its scope.
struct ChildGuard {
    Child child;
    ~ChildGuard() {
        if (child.pid > 0 && stillRunning(child)) {
            kill(child.pid, SIGKILL);
        }
        if (child.pid > 0) {
            finish(child);
        }
    }
};

class MqttBroker {
public:
    // Persistent sessions are kept on disk across a clean stop, so a subscriber's queue outlives
    // a restart of the broker.
    MqttBroker() : m_port(freeLoopbackPort()) {
        TempFolder::write(m_dir.path("mosquitto.conf"),
                          "listener " + std::to_string(m_port) +
                              " 127.0.0.1\nallow_anonymous true\npersistence true\n"
                              "persistence_location " +
                              m_dir.root() + "/\nmax_queued_messages 0\n" + runAs());
    }
    ~MqttBroker() { stop(SIGKILL); }

    // Starts it and waits (bounded) until it accepts connections.
    bool start() {
        const std::string exe = findTool("mosquitto");
        if (exe.empty()) {
            return false;
        }
        m_child = spawn({exe, "-c", m_dir.path("mosquitto.conf")});
        for (int i = 0; i < 500; ++i) {
            if (acceptsConnections(m_port)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
    void stop(int signal) {
        if (m_child.pid > 0) {
            kill(m_child.pid, signal);
            finish(m_child);
            m_child = {};
        }
    }
    int port() const { return m_port; }
    std::string url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }

    // mosquitto_sub on this broker with the extra arguments; its standard output once it ended
    // (it must end by itself: -C, -W or -E).
    std::string subscribe(const std::vector<std::string>& args) const {
        std::vector<std::string> all = {findTool("mosquitto_sub"), "-h", "127.0.0.1", "-p",
                                        std::to_string(m_port)};
        all.insert(all.end(), args.begin(), args.end());
        Child sub = spawn(all);
        const std::string out = readAll(sub.outFd);
        sub.outFd = -1;
        finish(sub);
        return out;
    }
    // The retained message of a topic; empty when there is none.
    std::string retained(const std::string& topic) const {
        std::string out = subscribe({"-t", topic, "-C", "1", "-W", "1", "--retained-only"});
        while (!out.empty() && out.back() == '\n') {
            out.pop_back();
        }
        return out;
    }

private:
    // Started by root, the broker would become the user mosquitto, who cannot write the folder.
    static std::string runAs() {
        const passwd* me = getpwuid(geteuid());
        return me != nullptr ? "user " + std::string(me->pw_name) + "\n" : std::string();
    }

    TempFolder m_dir;
    int m_port;
    Child m_child;
};

}  // namespace

#pragma once

// A real mosquitto broker for the tests, on a free loopback port, in a folder of its own; killed
// when the test ends, also on failure. Clients are mosquitto_sub runs. With TLS, the broker's
// certificate for 127.0.0.1 is signed by an authority the test makes in the folder with openssl,
// beside a second authority that signed nothing of it.
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
    enum class Transport { Plain, Tls };

    // Persistent sessions are kept on disk across a clean stop, so a subscriber's queue outlives
    // a restart of the broker.
    explicit MqttBroker(Transport transport = Transport::Plain)
        : m_port(freeLoopbackPort()), m_tls(transport == Transport::Tls) {
        std::string tls;
        if (m_tls) {
            m_certificatesMade = makeCertificates();
            tls = "cafile " + caFile() + "\ncertfile " + m_dir.path("server.crt") + "\nkeyfile " +
                  m_dir.path("server.key") + "\n";
        }
        TempFolder::write(m_dir.path("mosquitto.conf"),
                          "listener " + std::to_string(m_port) +
                              " 127.0.0.1\nallow_anonymous true\npersistence true\n"
                              "persistence_location " +
                              m_dir.root() + "/\nmax_queued_messages 0\n" + tls + runAs());
    }
    ~MqttBroker() { stop(SIGKILL); }

    // Starts it and waits (bounded) until it accepts connections.
    bool start() {
        const std::string exe = findTool("mosquitto");
        if (exe.empty() || (m_tls && !m_certificatesMade)) {
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
    std::string url() const {
        return (m_tls ? "mqtts://127.0.0.1:" : "mqtt://127.0.0.1:") + std::to_string(m_port);
    }
    // With TLS: the authority that signed the broker's certificate, and one that did not.
    std::string caFile() const { return m_dir.path("ca.crt"); }
    std::string otherCaFile() const { return m_dir.path("other-ca.crt"); }

    // mosquitto_sub on this broker with the extra arguments; its standard output once it ended
    // (it must end by itself: -C, -W or -E).
    std::string subscribe(const std::vector<std::string>& args) const {
        std::vector<std::string> all = {findTool("mosquitto_sub"), "-h", "127.0.0.1", "-p",
                                        std::to_string(m_port)};
        if (m_tls) {
            all.insert(all.end(), {"--cafile", caFile()});
        }
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
    // Two authorities and the broker's key and certificate (for the address 127.0.0.1, which
    // clients check), each made by openssl in the folder; false when one cannot be made.
    bool makeCertificates() const {
        const std::string openssl = findTool("openssl");
        if (openssl.empty()) {
            return false;
        }
        const auto run = [&](std::vector<std::string> args) {
            args.insert(args.begin(), openssl);
            Child c = spawn(args);
            return finish(c) == 0;
        };
        const std::vector<std::string> ec = {"-newkey", "ec", "-pkeyopt",
                                             "ec_paramgen_curve:prime256v1", "-nodes"};
        const auto authority = [&](const std::string& name, const std::string& subject) {
            std::vector<std::string> args = {"req", "-x509", "-days", "2", "-subj", subject};
            args.insert(args.end(), ec.begin(), ec.end());
            args.insert(args.end(),
                        {"-keyout", m_dir.path(name + ".key"), "-out", m_dir.path(name + ".crt")});
            return run(args);
        };
        std::vector<std::string> request = {"req", "-subj", "/CN=127.0.0.1"};
        request.insert(request.end(), ec.begin(), ec.end());
        request.insert(request.end(),
                       {"-keyout", m_dir.path("server.key"), "-out", m_dir.path("server.csr")});
        TempFolder::write(m_dir.path("server.ext"), "subjectAltName=IP:127.0.0.1\n");
        return authority("ca", "/CN=Halvern test CA") &&
               authority("other-ca", "/CN=Another test CA") && run(request) &&
               run({"x509", "-req", "-days", "2", "-in", m_dir.path("server.csr"), "-CA", caFile(),
                    "-CAkey", m_dir.path("ca.key"), "-CAcreateserial", "-extfile",
                    m_dir.path("server.ext"), "-out", m_dir.path("server.crt")});
    }

    // Started by root, the broker would become the user mosquitto, who cannot write the folder.
    static std::string runAs() {
        const passwd* me = getpwuid(geteuid());
        return me != nullptr ? "user " + std::string(me->pw_name) + "\n" : std::string();
    }

    TempFolder m_dir;
    int m_port;
    bool m_tls;
    bool m_certificatesMade = false;
    Child m_child;
};

}  // namespace

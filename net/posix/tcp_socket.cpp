#include "net/tcp_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string addressText(const sockaddr_storage& a) {
    char host[INET6_ADDRSTRLEN] = "?";
    int port = 0;
    if (a.ss_family == AF_INET) {
        const auto& v4 = reinterpret_cast<const sockaddr_in&>(a);
        inet_ntop(AF_INET, &v4.sin_addr, host, sizeof host);
        port = ntohs(v4.sin_port);
    } else if (a.ss_family == AF_INET6) {
        const auto& v6 = reinterpret_cast<const sockaddr_in6&>(a);
        inet_ntop(AF_INET6, &v6.sin6_addr, host, sizeof host);
        port = ntohs(v6.sin6_port);
    }
    return std::string(host) + ":" + std::to_string(port);
}

class PosixConnection final : public TcpConnection {
public:
    PosixConnection(int fd, std::string peer) : m_fd(fd), m_peer(std::move(peer)) {}
    ~PosixConnection() override { ::close(m_fd); }
    int fd() const override { return m_fd; }
    long read(char* buffer, std::size_t size) override {
        const ssize_t n = ::recv(m_fd, buffer, size, 0);
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
            m_failed = true;
        }
        return n;
    }
    long write(const char* data, std::size_t size) override {
        const ssize_t n = ::send(m_fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
                m_failed = true;
                return -1;
            }
            return 0;
        }
        return n;
    }
    bool failed() const override { return m_failed; }
    std::string peer() const override { return m_peer; }

private:
    int m_fd;
    std::string m_peer;
    bool m_failed = false;
};

class PosixListener final : public TcpListener {
public:
    PosixListener(int fd, int port, bool loopback) : m_fd(fd), m_port(port), m_loopback(loopback) {}
    ~PosixListener() override { ::close(m_fd); }
    int fd() const override { return m_fd; }
    std::unique_ptr<TcpConnection> accept() override {
        sockaddr_storage peer{};
        socklen_t len = sizeof peer;
        const int fd =
            ::accept4(m_fd, reinterpret_cast<sockaddr*>(&peer), &len, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            return nullptr;
        }
        return std::make_unique<PosixConnection>(fd, addressText(peer));
    }
    int port() const override { return m_port; }
    bool loopback() const override { return m_loopback; }

private:
    int m_fd;
    int m_port;
    bool m_loopback;
};

}  // namespace

std::unique_ptr<TcpListener> listenTcp(const std::string& address, int port, std::string& reason) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE;
    addrinfo* found = nullptr;
    const std::string where = address + ":" + std::to_string(port);
    if (const int rc = getaddrinfo(address.c_str(), std::to_string(port).c_str(), &hints, &found);
        rc != 0) {
        reason = "cannot listen on " + where + ": " + gai_strerror(rc);
        return nullptr;
    }
    const addrinfo* a = found;
    const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        reason = "cannot listen on " + where + ": " + std::strerror(errno);
        freeaddrinfo(found);
        return nullptr;
    }
    const int one = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(fd, a->ai_addr, a->ai_addrlen) != 0 || ::listen(fd, 16) != 0) {
        const int error = errno;
        reason = error == EADDRINUSE ? "cannot listen on " + where + ": the port is in use"
                                     : "cannot listen on " + where + ": " + std::strerror(error);
        ::close(fd);
        freeaddrinfo(found);
        return nullptr;
    }
    bool loopback = false;
    if (a->ai_family == AF_INET) {
        loopback =
            (ntohl(reinterpret_cast<const sockaddr_in*>(a->ai_addr)->sin_addr.s_addr) >> 24) == 127;
    } else if (a->ai_family == AF_INET6) {
        loopback =
            IN6_IS_ADDR_LOOPBACK(&reinterpret_cast<const sockaddr_in6*>(a->ai_addr)->sin6_addr);
    }
    freeaddrinfo(found);
    sockaddr_storage bound{};
    socklen_t len = sizeof bound;
    getsockname(fd, reinterpret_cast<sockaddr*>(&bound), &len);
    const std::string text = addressText(bound);
    return std::make_unique<PosixListener>(fd, std::stoi(text.substr(text.rfind(':') + 1)),
                                           loopback);
}

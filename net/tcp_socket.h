#pragma once

#include <cstddef>
#include <memory>
#include <string>

// A client's TCP connection, non-blocking.
class TcpConnection {
public:
    virtual ~TcpConnection() = default;
    virtual int fd() const = 0;
    // Bytes read (0: the peer closed; -1: nothing now, or an error: see closed()).
    virtual long read(char* buffer, std::size_t size) = 0;
    // Bytes written, possibly fewer (the peer reads slowly); -1 on an error.
    virtual long write(const char* data, std::size_t size) = 0;
    // Whether the last read or write failed for good.
    virtual bool failed() const = 0;
    virtual std::string peer() const = 0;
};

// A listening TCP socket, non-blocking.
class TcpListener {
public:
    virtual ~TcpListener() = default;
    virtual int fd() const = 0;
    // The next waiting client; null when none waits.
    virtual std::unique_ptr<TcpConnection> accept() = 0;
    // The port listened on (the one the system chose for port 0).
    virtual int port() const = 0;
    // Whether the address is a loopback one (127.0.0.0/8, ::1).
    virtual bool loopback() const = 0;
};

// Listens on address:port (IPv4 or IPv6 literal, or a host name); null with the reason ("port
// 5025 on 127.0.0.1 is in use") when the system refuses.
std::unique_ptr<TcpListener> listenTcp(const std::string& address, int port, std::string& reason);

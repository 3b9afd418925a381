#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "net/scpi_parser.h"
#include "net/tcp_socket.h"
#include "transport/loop/event_loop.h"

// SCPI over TCP on the session's event loop: each client's bytes are cut into lines for a parser
// of its own. A line over ScpiParser::kMaxLine bytes is refused and its client closed; at most
// kMaxClients are served (one more is closed at once); a client that neither sends nor reads
// for the idle time is closed, as is one whose unread answers pile up.
class ScpiServer {
public:
    static constexpr std::size_t kMaxClients = 8;
    static constexpr std::size_t kMaxPendingOutput = 64 * 1024;

    // The loop and the instrument must outlive the server.
    ScpiServer(EventLoop& loop, std::unique_ptr<TcpListener> listener,
               const ScpiInstrument& instrument, unsigned idleMs = 60000);
    ~ScpiServer();

    std::size_t clientCount() const { return m_clients.size(); }
    int port() const { return m_listener->port(); }
    // Why a client was closed ("line too long", ...), for a notice.
    std::function<void(const std::string& peer, const std::string& why)> onClientClosed;

private:
    struct Client;
    void acceptClients();
    void readClient(Client& client);
    void flush(Client& client);
    void close(Client& client, const std::string& why);

    EventLoop& m_loop;
    std::unique_ptr<TcpListener> m_listener;
    const ScpiInstrument& m_instrument;
    unsigned m_idleMs;
    std::unique_ptr<DescriptorWatch> m_watch;
    std::vector<std::unique_ptr<Client>> m_clients;
};

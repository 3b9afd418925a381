#include "net/scpi_server.h"

#include <algorithm>

struct ScpiServer::Client {
    std::unique_ptr<TcpConnection> connection;
    std::unique_ptr<DescriptorWatch> watch;
    std::unique_ptr<LoopTimer> idle;
    std::unique_ptr<ScpiParser> parser;
    std::string line;
    std::string output;
};

ScpiServer::ScpiServer(EventLoop& loop, std::unique_ptr<TcpListener> listener,
                       const ScpiInstrument& instrument, unsigned idleMs)
    : m_loop(loop), m_listener(std::move(listener)), m_instrument(instrument), m_idleMs(idleMs) {
    m_watch = m_loop.watchReadable(m_listener->fd(), [this] { acceptClients(); });
}

ScpiServer::~ScpiServer() {
    for (auto& c : m_clients) {
        c->watch.reset();
        c->idle.reset();
    }
}

void ScpiServer::acceptClients() {
    while (std::unique_ptr<TcpConnection> connection = m_listener->accept()) {
        if (m_clients.size() >= kMaxClients) {
            const std::string busy = "-310,\"System error: too many clients\"\n";
            connection->write(busy.data(), busy.size());
            if (onClientClosed) {
                onClientClosed(connection->peer(), "too many clients");
            }
            continue;  // closed as it goes
        }
        auto client = std::make_unique<Client>();
        Client* c = client.get();
        c->connection = std::move(connection);
        c->parser = std::make_unique<ScpiParser>(m_instrument);
        c->idle = m_loop.createTimer();
        c->idle->start(m_idleMs, [this, c] { close(*c, "idle"); });
        c->watch = m_loop.watchReadable(c->connection->fd(), [this, c] { readClient(*c); });
        m_clients.push_back(std::move(client));
    }
}

void ScpiServer::readClient(Client& client) {
    char buffer[1024];
    const long n = client.connection->read(buffer, sizeof buffer);
    if (n == 0 || (n < 0 && client.connection->failed())) {
        close(client, n == 0 ? "" : "read failed");
        return;
    }
    if (n < 0) {
        return;
    }
    client.idle->start(m_idleMs, [this, c = &client] { close(*c, "idle"); });
    for (long i = 0; i < n; ++i) {
        const char ch = buffer[i];
        if (ch == '\n') {
            client.output += client.parser->handleLine(client.line);
            client.line.clear();
        } else if (client.line.size() >= ScpiParser::kMaxLine + 1) {  // room for a CR
            close(client, "line too long");
            return;
        } else {
            client.line += ch;
        }
    }
    flush(client);
}

void ScpiServer::flush(Client& client) {
    while (!client.output.empty()) {
        const long n = client.connection->write(client.output.data(), client.output.size());
        if (n < 0) {
            close(client, "write failed");
            return;
        }
        if (n == 0) {
            break;
        }
        client.output.erase(0, static_cast<std::size_t>(n));
    }
    if (client.output.size() > kMaxPendingOutput) {
        close(client, "answers not read");
    }
}

void ScpiServer::close(Client& client, const std::string& why) {
    if (onClientClosed && !why.empty()) {
        onClientClosed(client.connection->peer(), why);
    }
    const auto it = std::find_if(m_clients.begin(), m_clients.end(),
                                 [&](const auto& c) { return c.get() == &client; });
    if (it == m_clients.end()) {
        return;
    }
    // Destroyed after the event: this may run inside the client's own callbacks.
    std::shared_ptr<Client> gone(std::move(*it));
    m_clients.erase(it);
    gone->watch->setEnabled(false);
    gone->idle->stop();
    m_loop.post([gone] {});
}

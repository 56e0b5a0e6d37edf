#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talvex::test {

/// A TCP server on 127.0.0.1 for one connection, on its own thread. The
/// script decides what it answers; every wait is bounded, so the server
/// stops by itself even when the client never comes or never leaves.
class LoopbackServer {
public:
    /// How long any one wait of the server may take.
    static constexpr int kWaitLimitMs = 5000;

    class Client {
    public:
        explicit Client(int socket) : m_socket(socket) {}

        /// Reads up to the request's empty line and keeps what it read.
        std::string readRequest()
        {
            std::string request;
            while (request.find("\r\n\r\n") == std::string::npos) {
                const std::string piece = readSome();
                if (piece.empty())
                    break;
                request += piece;
            }
            return request;
        }

        void send(std::string_view bytes)
        {
            while (!bytes.empty()) {
                const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
                if (sent <= 0)
                    return;
                bytes.remove_prefix(static_cast<std::size_t>(sent));
            }
        }

        /// Waits until the client closes its end (or the wait limit ends).
        void waitForClose()
        {
            while (!readSome().empty()) {
            }
        }

    private:
        std::string readSome()
        {
            pollfd entry{m_socket, POLLIN, 0};
            if (::poll(&entry, 1, kWaitLimitMs) <= 0)
                return {};
            char buffer[4096];
            const ssize_t count = ::recv(m_socket, buffer, sizeof buffer, 0);
            return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
        }

        int m_socket;
    };

    /// The script gets the accepted connection and returns the request it read.
    using Script = std::function<std::string(Client&)>;

    explicit LoopbackServer(Script script)
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::listen(m_listener, 1) != 0
            || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            if (m_listener >= 0)
                ::close(m_listener);
            throw std::runtime_error("no loopback server");
        }
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this, script = std::move(script)] { serve(script); });
    }

    ~LoopbackServer()
    {
        if (m_thread.joinable())
            m_thread.join();
        ::close(m_listener);
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    std::uint16_t port() const { return m_port; }

    /// The request the script read; waits for the server to finish.
    const std::string& request()
    {
        if (m_thread.joinable())
            m_thread.join();
        return m_request;
    }

private:
    void serve(const Script& script)
    {
        pollfd entry{m_listener, POLLIN, 0};
        if (::poll(&entry, 1, kWaitLimitMs) <= 0)
            return;
        const int socket = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (socket < 0)
            return;
        Client client(socket);
        m_request = script(client);
        ::close(socket);
    }

    int m_listener = -1;
    std::uint16_t m_port = 0;
    std::string m_request;
    std::thread m_thread;
};

/// A port on 127.0.0.1 that refuses connections: bound, never listening,
/// and held for the object's lifetime so no one else takes it.
class RefusingPort {
public:
    RefusingPort()
    {
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (m_socket < 0 || ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0
            || ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            if (m_socket >= 0)
                ::close(m_socket);
            throw std::runtime_error("no loopback port");
        }
        m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(m_socket); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::uint16_t port() const { return m_port; }

private:
    int m_socket = -1;
    std::uint16_t m_port = 0;
};

} // namespace talvex::test

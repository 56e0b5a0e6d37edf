#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

#if defined(_WIN32)
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace talvex::test {

// The few socket calls the servers make, on BSD sockets and on Winsock.
namespace loopback {
#if defined(_WIN32)
using Socket = SOCKET;
inline constexpr Socket kNoSocket = INVALID_SOCKET;
using AddressLength = int;
inline Socket openSocket(int family = AF_INET) { return ::socket(family, SOCK_STREAM, IPPROTO_TCP); }
inline void closeSocket(Socket socket) { ::closesocket(socket); }
inline Socket acceptOne(Socket listener) { return ::accept(listener, nullptr, nullptr); }
inline bool readable(Socket socket, int timeoutMs)
{
    WSAPOLLFD entry{socket, POLLRDNORM, 0};
    return ::WSAPoll(&entry, 1, timeoutMs) > 0;
}
inline long sendSome(Socket socket, const char* data, std::size_t size)
{
    return ::send(socket, data, static_cast<int>(std::min<std::size_t>(size, 1 << 20)), 0);
}
inline long receiveSome(Socket socket, char* buffer, std::size_t size)
{
    return ::recv(socket, buffer, static_cast<int>(size), 0);
}
/// Winsock wants WSAStartup before any call, once per user.
class Library {
public:
    Library()
    {
        WSADATA data{};
        ::WSAStartup(MAKEWORD(2, 2), &data);
    }
    ~Library() { ::WSACleanup(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};
#else
using Socket = int;
inline constexpr Socket kNoSocket = -1;
using AddressLength = socklen_t;
inline Socket openSocket(int family = AF_INET) { return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0); }
inline void closeSocket(Socket socket) { ::close(socket); }
inline Socket acceptOne(Socket listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }
inline bool readable(Socket socket, int timeoutMs)
{
    pollfd entry{socket, POLLIN, 0};
    return ::poll(&entry, 1, timeoutMs) > 0;
}
inline long sendSome(Socket socket, const char* data, std::size_t size)
{
    return ::send(socket, data, size, MSG_NOSIGNAL);
}
inline long receiveSome(Socket socket, char* buffer, std::size_t size)
{
    return ::recv(socket, buffer, size, 0);
}
class Library {};
#endif

/// The loopback address of the family, with port 0 (the system picks one).
inline sockaddr_storage loopbackAddress(int family, std::uint16_t port = 0)
{
    sockaddr_storage storage{};
    if (family == AF_INET6) {
        auto& address = reinterpret_cast<sockaddr_in6&>(storage);
        address.sin6_family = AF_INET6;
        address.sin6_addr.s6_addr[15] = 1; // ::1
        address.sin6_port = htons(port);
    } else {
        auto& address = reinterpret_cast<sockaddr_in&>(storage);
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(port);
    }
    return storage;
}

inline AddressLength addressLength(int family)
{
    return family == AF_INET6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
}

inline std::uint16_t portOf(const sockaddr_storage& storage)
{
    return ntohs(storage.ss_family == AF_INET6 ? reinterpret_cast<const sockaddr_in6&>(storage).sin6_port
                                               : reinterpret_cast<const sockaddr_in&>(storage).sin_port);
}

/// A socket bound to the family's loopback address on a port the system
/// picks, listening when asked; throws where that cannot be had.
inline Socket bound(int family, bool listening, std::uint16_t& port)
{
    const Socket socket = openSocket(family);
    sockaddr_storage address = loopbackAddress(family);
    AddressLength length = addressLength(family);
    if (socket == kNoSocket || ::bind(socket, reinterpret_cast<sockaddr*>(&address), length) != 0
        || (listening && ::listen(socket, 1) != 0)
        || ::getsockname(socket, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (socket != kNoSocket)
            closeSocket(socket);
        throw std::runtime_error("no loopback socket");
    }
    port = portOf(address);
    return socket;
}
} // namespace loopback

/// A TCP server on 127.0.0.1 for one connection, on its own thread. The
/// script decides what it answers; every wait is bounded, so the server
/// stops by itself even when the client never comes or never leaves.
class LoopbackServer {
public:
    /// How long any one wait of the server may take.
    static constexpr int kWaitLimitMs = 5000;

    class Client {
    public:
        explicit Client(loopback::Socket socket) : m_socket(socket) {}

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
                const long sent = loopback::sendSome(m_socket, bytes.data(), bytes.size());
                if (sent <= 0)
                    return;
                bytes.remove_prefix(static_cast<std::size_t>(sent));
            }
        }

        /// Waits until the other end closes (or the wait limit ends), and
        /// answers what came meanwhile.
        std::string waitForClose()
        {
            std::string all;
            for (std::string piece = readSome(); !piece.empty(); piece = readSome())
                all += piece;
            return all;
        }

    private:
        std::string readSome()
        {
            if (!loopback::readable(m_socket, kWaitLimitMs))
                return {};
            char buffer[4096];
            const long count = loopback::receiveSome(m_socket, buffer, sizeof buffer);
            return count > 0 ? std::string(buffer, static_cast<std::size_t>(count)) : std::string();
        }

        loopback::Socket m_socket;
    };

    /// The script gets the accepted connection and returns the request it read.
    using Script = std::function<std::string(Client&)>;

    /// Answers the request with `reply` and closes.
    static Script answering(std::string reply)
    {
        return [reply = std::move(reply)](Client& client) {
            std::string request = client.readRequest();
            client.send(reply);
            return request;
        };
    }

    /// Reads the request and never answers.
    static Script silent()
    {
        return [](Client& client) {
            std::string request = client.readRequest();
            client.waitForClose();
            return request;
        };
    }

    /// On 127.0.0.1, or on ::1 with AF_INET6 (which throws where the
    /// machine has no IPv6 loopback).
    explicit LoopbackServer(Script script, int family = AF_INET)
        : m_listener(loopback::bound(family, true, m_port))
    {
        m_thread = std::thread([this, script = std::move(script)] { serve(script); });
    }

    ~LoopbackServer()
    {
        request();
        loopback::closeSocket(m_listener);
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
        if (!loopback::readable(m_listener, kWaitLimitMs))
            return;
        const loopback::Socket socket = loopback::acceptOne(m_listener);
        if (socket == loopback::kNoSocket)
            return;
        Client client(socket);
        m_request = script(client);
        loopback::closeSocket(socket);
    }

    loopback::Library m_library;
    std::uint16_t m_port = 0; // before the socket, which sets it
    loopback::Socket m_listener = loopback::kNoSocket;
    std::string m_request;
    std::thread m_thread;
};

/// Sends `request` to 127.0.0.1:`port` and answers what comes back until the
/// server closes; every wait is bounded. A forwarding proxy's upstream leg.
inline std::string exchange(std::uint16_t port, std::string_view request)
{
    [[maybe_unused]] loopback::Library library;
    const loopback::Socket socket = loopback::openSocket();
    if (socket == loopback::kNoSocket)
        return {};
    sockaddr_storage address = loopback::loopbackAddress(AF_INET, port);
    std::string reply;
    if (::connect(socket, reinterpret_cast<sockaddr*>(&address), loopback::addressLength(AF_INET)) == 0) {
        LoopbackServer::Client client(socket);
        client.send(request);
        reply = client.waitForClose();
    }
    loopback::closeSocket(socket);
    return reply;
}

/// A port on 127.0.0.1 that refuses connections: bound, never listening,
/// and held for the object's lifetime so no one else takes it.
class RefusingPort {
public:
    RefusingPort() : m_socket(loopback::bound(AF_INET, false, m_port)) {}
    ~RefusingPort() { loopback::closeSocket(m_socket); }
    RefusingPort(const RefusingPort&) = delete;
    RefusingPort& operator=(const RefusingPort&) = delete;

    std::uint16_t port() const { return m_port; }

private:
    loopback::Library m_library;
    std::uint16_t m_port = 0; // before the socket, which sets it
    loopback::Socket m_socket = loopback::kNoSocket;
};

} // namespace talvex::test

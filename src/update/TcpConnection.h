#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace talvex {

/// One TCP client connection over the platform's sockets (POSIX or
/// Winsock), in the steps the version check takes. Every wait is bounded
/// by the caller's time-out. The destructor closes the socket and releases
/// the socket library.
class TcpConnection {
public:
    enum class Wait { Readable, TimedOut, Failed };

    virtual ~TcpConnection() = default;

    /// Starts the socket library (Winsock 2.2); false when it will not start.
    virtual bool startup() = 0;
    /// Looks the name up: IPv4, first address. False when it does not resolve.
    virtual bool resolve(const std::string& host, std::uint16_t port) = 0;
    /// Connects to the resolved address; false when refused, unreachable or
    /// not done within the time-out.
    virtual bool connect(std::chrono::milliseconds timeout) = 0;
    /// Sends every byte, or false.
    virtual bool send(std::string_view bytes, std::chrono::milliseconds timeout) = 0;
    virtual Wait waitReadable(std::chrono::milliseconds timeout) = 0;
    /// One receive: the count, 0 when the peer closed, -1 on an error.
    virtual std::ptrdiff_t receive(char* buffer, std::size_t capacity) = 0;
};

/// The connection over this platform's sockets.
std::unique_ptr<TcpConnection> makePlatformConnection();

} // namespace talvex

#include "update/TcpConnection.h"

// std::min and std::max, not the Windows header's macros.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <cstring>

namespace talvex {
namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr WORD kWinsockVersion = MAKEWORD(2, 2);

timeval timeLeft(SteadyClock::time_point deadline)
{
    const auto left = std::max<long long>(
        std::chrono::duration_cast<std::chrono::microseconds>(deadline - SteadyClock::now()).count(), 0);
    timeval value{};
    value.tv_sec = static_cast<long>(std::min<long long>(left / 1000000, LONG_MAX));
    value.tv_usec = static_cast<long>(left % 1000000);
    return value;
}

/// select() on one socket until the deadline: 1 when ready for the asked
/// direction, 0 on the time-out, -1 on an error (a failed connect shows in
/// the exception set).
int selectUntil(SOCKET socket, bool forWriting, SteadyClock::time_point deadline)
{
    fd_set ready;
    fd_set failed;
    FD_ZERO(&ready);
    FD_ZERO(&failed);
    FD_SET(socket, &ready);
    FD_SET(socket, &failed);
    timeval limit = timeLeft(deadline);
    // For reading, the exception set would only report out-of-band data.
    const int result = forWriting ? ::select(0, nullptr, &ready, &failed, &limit)
                                  : ::select(0, &ready, nullptr, nullptr, &limit);
    if (result == SOCKET_ERROR || (forWriting && FD_ISSET(socket, &failed)))
        return -1;
    return result > 0 ? 1 : 0;
}

class WinsockTcpConnection final : public TcpConnection {
public:
    ~WinsockTcpConnection() override
    {
        if (m_socket != INVALID_SOCKET)
            ::closesocket(m_socket);
        if (m_started)
            ::WSACleanup();
    }

    bool startup() override
    {
        WSADATA data{};
        m_started = ::WSAStartup(kWinsockVersion, &data) == 0;
        return m_started;
    }

    bool resolve(const std::string& host, std::uint16_t port) override
    {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_STREAM;
        hints.ai_protocol = IPPROTO_TCP;
        addrinfo* found = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr)
            return false;
        std::memcpy(&m_address, found->ai_addr, sizeof m_address);
        ::freeaddrinfo(found);
        m_address.sin_family = AF_INET;
        m_address.sin_port = htons(port);
        m_resolved = true;
        return true;
    }

    bool connect(std::chrono::milliseconds timeout) override
    {
        if (!m_resolved)
            return false;
        m_socket = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        if (m_socket == INVALID_SOCKET)
            return false;
        // Non-blocking, so that every wait below has its time-out.
        u_long nonBlocking = 1;
        if (::ioctlsocket(m_socket, FIONBIO, &nonBlocking) != 0)
            return false;
        if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) == 0)
            return true;
        if (::WSAGetLastError() != WSAEWOULDBLOCK)
            return false;
        if (selectUntil(m_socket, true, SteadyClock::now() + timeout) <= 0)
            return false;
        int error = 0;
        int length = sizeof error;
        return ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) == 0
               && error == 0;
    }

    bool send(std::string_view bytes, std::chrono::milliseconds timeout) override
    {
        const auto deadline = SteadyClock::now() + timeout;
        while (!bytes.empty()) {
            const int chunk = static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX));
            const int sent = ::send(m_socket, bytes.data(), chunk, 0);
            if (sent > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(sent));
                continue;
            }
            if (sent == 0 || ::WSAGetLastError() != WSAEWOULDBLOCK)
                return false;
            if (selectUntil(m_socket, true, deadline) <= 0)
                return false;
        }
        return true;
    }

    Wait waitReadable(std::chrono::milliseconds timeout) override
    {
        const int result = selectUntil(m_socket, false, SteadyClock::now() + timeout);
        if (result == 0)
            return Wait::TimedOut;
        return result > 0 ? Wait::Readable : Wait::Failed;
    }

    std::ptrdiff_t receive(char* buffer, std::size_t capacity) override
    {
        const int count = ::recv(m_socket, buffer, static_cast<int>(std::min<std::size_t>(capacity, INT_MAX)), 0);
        return count == SOCKET_ERROR ? -1 : count;
    }

private:
    bool m_started = false;
    SOCKET m_socket = INVALID_SOCKET;
    sockaddr_in m_address{};
    bool m_resolved = false;
};

} // namespace

std::unique_ptr<TcpConnection> makePlatformConnection()
{
    return std::make_unique<WinsockTcpConnection>();
}

} // namespace talvex

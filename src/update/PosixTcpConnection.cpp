#include "update/TcpConnection.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace talvex {
namespace {

using SteadyClock = std::chrono::steady_clock;

// A server that closed early must not end the program with SIGPIPE.
#ifdef MSG_NOSIGNAL
constexpr int kSendFlags = MSG_NOSIGNAL;
#else
constexpr int kSendFlags = 0;
#endif

int pollMilliseconds(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

/// Waits for the events until the deadline, across interrupted calls.
/// The events seen, 0 on the time-out, -1 on an error.
int pollUntil(int socket, short events, SteadyClock::time_point deadline)
{
    for (;;) {
        pollfd entry{socket, events, 0};
        const int ready = ::poll(&entry, 1, pollMilliseconds(deadline));
        if (ready > 0)
            return entry.revents;
        if (ready == 0)
            return 0;
        if (errno != EINTR)
            return -1;
    }
}

class PosixTcpConnection final : public TcpConnection {
public:
    ~PosixTcpConnection() override
    {
        if (m_socket >= 0)
            ::close(m_socket);
    }

    bool startup() override { return true; }

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
        m_socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
        if (m_socket < 0)
            return false;
        // Non-blocking, so that every wait below has its time-out.
        const int flags = ::fcntl(m_socket, F_GETFL, 0);
        if (flags < 0 || ::fcntl(m_socket, F_SETFL, flags | O_NONBLOCK) < 0)
            return false;
        if (::connect(m_socket, reinterpret_cast<const sockaddr*>(&m_address), sizeof m_address) == 0)
            return true;
        if (errno != EINPROGRESS && errno != EINTR)
            return false;
        if (pollUntil(m_socket, POLLOUT, SteadyClock::now() + timeout) <= 0)
            return false;
        int error = 0;
        socklen_t length = sizeof error;
        return ::getsockopt(m_socket, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0;
    }

    bool send(std::string_view bytes, std::chrono::milliseconds timeout) override
    {
        const auto deadline = SteadyClock::now() + timeout;
        while (!bytes.empty()) {
            const ssize_t sent = ::send(m_socket, bytes.data(), bytes.size(), kSendFlags);
            if (sent > 0) {
                bytes.remove_prefix(static_cast<std::size_t>(sent));
                continue;
            }
            if (sent < 0 && errno == EINTR)
                continue;
            if (sent == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
                return false;
            if (pollUntil(m_socket, POLLOUT, deadline) <= 0)
                return false;
        }
        return true;
    }

    Wait waitReadable(std::chrono::milliseconds timeout) override
    {
        const int events = pollUntil(m_socket, POLLIN, SteadyClock::now() + timeout);
        if (events == 0)
            return Wait::TimedOut;
        // A hang-up or an error still reads: the read then says which.
        return events > 0 ? Wait::Readable : Wait::Failed;
    }

    std::ptrdiff_t receive(char* buffer, std::size_t capacity) override
    {
        for (;;) {
            const ssize_t count = ::recv(m_socket, buffer, capacity, 0);
            if (count >= 0 || errno != EINTR)
                return count;
        }
    }

private:
    int m_socket = -1;
    sockaddr_in m_address{};
    bool m_resolved = false;
};

} // namespace

std::unique_ptr<TcpConnection> makePlatformConnection()
{
    return std::make_unique<PosixTcpConnection>();
}

} // namespace talvex

#include "sim/PtyServer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace talvex {
namespace {

// How long after the last inbound byte the server keeps polling briskly.
constexpr Micros kBusyWindow = Millis(30);

std::uint32_t baudOf(speed_t speed)
{
    switch (speed) {
    case B1200: return 1200;
    case B2400: return 2400;
    case B4800: return 4800;
    case B9600: return 9600;
    case B19200: return 19200;
    case B38400: return 38400;
    case B57600: return 57600;
    case B115200: return 115200;
    case B230400: return 230400;
    default: return 0;
    }
}

} // namespace

PtyServer::PtyServer(SimulatedProgrammer& device, Clock& clock)
    : m_device(device)
    , m_clock(clock)
{
    m_device.setIgnoreLines(true);
}

PtyServer::~PtyServer()
{
    for (Terminal& terminal : m_terminals) {
        if (terminal.slaveKeeper >= 0)
            ::close(terminal.slaveKeeper);
        if (terminal.master >= 0)
            ::close(terminal.master);
    }
}

bool PtyServer::start(std::string& error)
{
    for (Terminal& terminal : m_terminals) {
        terminal.master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (terminal.master < 0 || ::grantpt(terminal.master) != 0 || ::unlockpt(terminal.master) != 0) {
            error = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
            return false;
        }
        const char* name = ::ptsname(terminal.master);
        if (!name) {
            error = std::string("ptsname: ") + std::strerror(errno);
            return false;
        }
        terminal.path = name;
        terminal.slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (terminal.slaveKeeper < 0) {
            error = terminal.path + ": " + std::strerror(errno);
            return false;
        }
        termios raw{};
        ::tcgetattr(terminal.slaveKeeper, &raw);
        ::cfmakeraw(&raw);
        ::cfsetispeed(&raw, B115200);
        ::cfsetospeed(&raw, B115200);
        ::tcsetattr(terminal.slaveKeeper, TCSANOW, &raw);
    }
    return true;
}

const std::string& PtyServer::slavePath(int reader) const
{
    return m_terminals.at(static_cast<std::size_t>(reader - 1)).path;
}

void PtyServer::replugAfterBackToBoot(int polls, Micros away)
{
    SimulatedProgrammer::PlugScript hands;
    hands.unplugAfterPolls = polls;
    m_device.setPlugScript(hands);
    m_replugAfter = away;
}

void PtyServer::plugBackWhenDue()
{
    if (!m_replugAfter || m_device.plugged()) {
        m_unpluggedSince.reset();
        return;
    }
    if (!m_unpluggedSince)
        m_unpluggedSince = m_clock.now();
    else if (m_clock.now() - *m_unpluggedSince >= *m_replugAfter)
        m_device.setPlugged(true);
}

void PtyServer::run(const std::atomic<bool>& stop)
{
    while (!stop.load()) {
        plugBackWhenDue();
        int timeoutMs = 50;
        // Fresh bytes are still on their way in, or their command is being
        // framed: look again soon, or every answer waits for the idle poll.
        if (m_clock.now() - m_lastInbound < kBusyWindow)
            timeoutMs = 1;
        for (int reader = 1; reader <= 2; ++reader) {
            if (const auto next = m_device.reader(reader)->nextOutput()) {
                const auto wait = std::chrono::duration_cast<Millis>(*next - m_clock.now()).count();
                timeoutMs = std::clamp<int>(static_cast<int>(wait), 0, timeoutMs);
            }
        }
        pollOnce(timeoutMs);
        deliverDue();
    }
}

void PtyServer::pollOnce(int timeoutMs)
{
    pollfd fds[2];
    for (std::size_t i = 0; i < 2; ++i)
        fds[i] = {m_terminals[i].master, POLLIN, 0};
    if (::poll(fds, 2, timeoutMs) <= 0)
        return;
    for (std::size_t i = 0; i < 2; ++i) {
        if (!(fds[i].revents & POLLIN))
            continue;
        std::uint8_t buffer[512];
        const ssize_t count = ::read(m_terminals[i].master, buffer, sizeof buffer);
        // Unplugged, nothing at the other end of the wire hears it.
        if (count <= 0 || !m_device.plugged())
            continue;
        termios settings{};
        ::tcgetattr(m_terminals[i].slaveKeeper, &settings);
        const std::uint32_t baud = baudOf(::cfgetospeed(&settings));
        auto endpoint = m_device.reader(static_cast<int>(i) + 1);
        TimePoint arrival = m_clock.now();
        for (ssize_t k = 0; k < count; ++k) {
            arrival += characterTime(baud);
            endpoint->receive(buffer[k], arrival, baud);
        }
        m_lastInbound = arrival;
    }
}

void PtyServer::deliverDue()
{
    const TimePoint now = m_clock.now();
    for (std::size_t i = 0; i < 2; ++i) {
        auto endpoint = m_device.reader(static_cast<int>(i) + 1);
        endpoint->advanceTo(now);
        std::uint8_t buffer[512];
        while (const std::size_t count = endpoint->takeOutput(now, buffer, sizeof buffer)) {
            std::size_t written = 0;
            while (written < count) {
                const ssize_t result = ::write(m_terminals[i].master, buffer + written, count - written);
                // A full terminal (nobody reading) drops the rest, as a wire would.
                if (result < 0 && errno != EINTR)
                    break;
                if (result > 0)
                    written += static_cast<std::size_t>(result);
            }
        }
    }
}

} // namespace talvex

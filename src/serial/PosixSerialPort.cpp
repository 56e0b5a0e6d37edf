#include "serial/PosixSerialPort.h"

#include <cerrno>
#include <chrono>
#include <utility>

#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace talvex {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The Windows modem status bits the device protocol reads.
constexpr std::uint32_t kModemStatusDsr = 0x20;
constexpr std::uint32_t kModemStatusRing = 0x40;
constexpr std::uint32_t kModemStatusRlsd = 0x80;

constexpr std::pair<std::uint32_t, speed_t> kSpeeds[] = {
    {50, B50}, {75, B75}, {110, B110}, {134, B134}, {150, B150}, {200, B200},
    {300, B300}, {600, B600}, {1200, B1200}, {1800, B1800}, {2400, B2400},
    {4800, B4800}, {9600, B9600}, {19200, B19200}, {38400, B38400},
    {57600, B57600}, {115200, B115200}, {230400, B230400},
#ifdef B460800
    {460800, B460800},
#endif
#ifdef B500000
    {500000, B500000},
#endif
#ifdef B576000
    {576000, B576000},
#endif
#ifdef B921600
    {921600, B921600},
#endif
#ifdef B1000000
    {1000000, B1000000},
#endif
#ifdef B1152000
    {1152000, B1152000},
#endif
#ifdef B1500000
    {1500000, B1500000},
#endif
#ifdef B2000000
    {2000000, B2000000},
#endif
#ifdef B2500000
    {2500000, B2500000},
#endif
#ifdef B3000000
    {3000000, B3000000},
#endif
#ifdef B3500000
    {3500000, B3500000},
#endif
#ifdef B4000000
    {4000000, B4000000},
#endif
};

std::optional<speed_t> speedFor(std::uint32_t baud)
{
    for (const auto& [rate, speed] : kSpeeds)
        if (rate == baud)
            return speed;
    return std::nullopt;
}

std::uint32_t baudFor(speed_t speed)
{
    for (const auto& [rate, constant] : kSpeeds)
        if (constant == speed)
            return rate;
    return 0;
}

tcflag_t sizeFlag(std::uint8_t dataBits)
{
    switch (dataBits) {
    case 5: return CS5;
    case 6: return CS6;
    case 7: return CS7;
    default: return CS8;
    }
}

#ifdef CMSPAR
constexpr tcflag_t kStickParity = CMSPAR;
#else
constexpr tcflag_t kStickParity = 0;
#endif

LineSettings settingsFrom(const termios& tio)
{
    LineSettings settings;
    settings.baudRate = baudFor(cfgetospeed(&tio));
    switch (tio.c_cflag & CSIZE) {
    case CS5: settings.dataBits = 5; break;
    case CS6: settings.dataBits = 6; break;
    case CS7: settings.dataBits = 7; break;
    default: settings.dataBits = 8; break;
    }
    const bool odd = (tio.c_cflag & PARODD) != 0;
    if (!(tio.c_cflag & PARENB))
        settings.parity = Parity::None;
    else if (kStickParity != 0 && (tio.c_cflag & kStickParity))
        settings.parity = odd ? Parity::Mark : Parity::Space;
    else
        settings.parity = odd ? Parity::Odd : Parity::Even;
    // With five data bits a UART sends one and a half stop bits for CSTOPB.
    if (!(tio.c_cflag & CSTOPB))
        settings.stopBits = StopBits::One;
    else
        settings.stopBits = settings.dataBits == 5 ? StopBits::OneAndHalf : StopBits::Two;
    return settings;
}

int millisecondsUntil(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

void sleepUntil(SteadyClock::time_point deadline)
{
    for (int left = millisecondsUntil(deadline); left > 0; left = millisecondsUntil(deadline))
        ::poll(nullptr, 0, left);
}

} // namespace

PosixSerialPort::PosixSerialPort(int fd, const termios& original)
    : m_fd(fd)
    , m_original(original)
    , m_applied(settingsFrom(original))
{
}

PosixSerialPort::~PosixSerialPort()
{
    m_lowLatency.reset(); // while the descriptor is still open
    // TCSANOW: waiting for output to drain could hang on a dead device.
    ::tcsetattr(m_fd, TCSANOW, &m_original);
    ::ioctl(m_fd, TIOCNXCL);
    ::flock(m_fd, LOCK_UN);
    ::close(m_fd);
}

bool PosixSerialPort::setModemLine(int line, bool on)
{
    int bits = line;
    return ::ioctl(m_fd, on ? TIOCMBIS : TIOCMBIC, &bits) == 0;
}

bool PosixSerialPort::setDtr(bool on)
{
    return setModemLine(TIOCM_DTR, on);
}

bool PosixSerialPort::setRts(bool on)
{
    return setModemLine(TIOCM_RTS, on);
}

bool PosixSerialPort::sendByte(std::uint8_t byte)
{
    return writeBlock(&byte, 1);
}

bool PosixSerialPort::writeBlock(const std::uint8_t* data, std::size_t length)
{
    // Give up once nothing moves for the time-out plus a few character
    // times, so slow bauds still count as progress but a dead device fails.
    const auto charTime = std::chrono::microseconds(
        m_applied.baudRate ? 10'000'000 / m_applied.baudRate : 0);
    const auto stallLimit = std::chrono::milliseconds(kReadTimeoutMs) + 4 * charTime;

    const auto queuedOutput = [this] {
        int queued = 0;
        return ::ioctl(m_fd, TIOCOUTQ, &queued) == 0 ? queued : -1;
    };

    std::size_t sent = 0;
    auto lastProgress = SteadyClock::now();
    int queued = queuedOutput();
    while (sent < length) {
        const ssize_t written = ::write(m_fd, data + sent, length - sent);
        if (written > 0) {
            sent += static_cast<std::size_t>(written);
            lastProgress = SteadyClock::now();
            queued = queuedOutput();
            continue;
        }
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK)
            return false; // EIO and the like: the device is gone

        // No room: a shrinking output queue still means the line is alive.
        const int nowQueued = queuedOutput();
        if (nowQueued >= 0 && nowQueued < queued)
            lastProgress = SteadyClock::now();
        queued = nowQueued;

        const int waitMs = millisecondsUntil(lastProgress + stallLimit);
        if (waitMs == 0)
            return false;
        pollfd pfd{m_fd, POLLOUT, 0};
        const int ready = ::poll(&pfd, 1, waitMs);
        if (ready < 0 && errno != EINTR)
            return false;
        if (ready > 0 && !(pfd.revents & POLLOUT))
            return false; // hang-up or error without room
    }
    return true;
}

ReadResult PosixSerialPort::read(std::uint8_t* buffer, std::size_t capacity)
{
    if (capacity == 0)
        return {};
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kReadTimeoutMs);

    // Like a Win32 read with a total time-out: gather until the buffer is
    // full or the time is up.
    std::size_t got = 0;
    bool gone = false;
    while (got < capacity) {
        const int waitMs = millisecondsUntil(deadline);
        if (waitMs == 0)
            break;
        pollfd pfd{m_fd, POLLIN, 0};
        const int ready = ::poll(&pfd, 1, waitMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            gone = true;
            break;
        }
        if (ready == 0)
            break;
        if (pfd.revents & POLLIN) {
            const ssize_t count = ::read(m_fd, buffer + got, capacity - got);
            if (count > 0) {
                got += static_cast<std::size_t>(count);
                continue;
            }
            if (count < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK))
                continue;
        }
        // A hung-up tty reads 0 or EIO and polls ready for good.
        gone = true;
        break;
    }
    // Pace a vanished device like a silent one, so a caller polling in a
    // loop does not spin.
    if (gone && got == 0) {
        sleepUntil(deadline);
        return ReadResult::gone();
    }
    return ReadResult::got(got);
}

Status PosixSerialPort::presence()
{
    // A terminal whose device went away polls as hung up, for good.
    pollfd pfd{m_fd, 0, 0};
    if (::poll(&pfd, 1, 0) < 0)
        return Status::Other;
    return (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0 ? Status::Gone : Status::Ok;
}

std::optional<std::uint32_t> PosixSerialPort::modemStatus()
{
    int lines = 0;
    if (::ioctl(m_fd, TIOCMGET, &lines) != 0)
        return std::nullopt;
    std::uint32_t status = 0;
    if (lines & TIOCM_CTS)
        status |= kModemStatusCts;
    if (lines & TIOCM_DSR)
        status |= kModemStatusDsr;
    if (lines & TIOCM_RNG)
        status |= kModemStatusRing;
    if (lines & TIOCM_CAR)
        status |= kModemStatusRlsd;
    return status;
}

LineSettings PosixSerialPort::currentSettings() const
{
    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return m_applied;
    return settingsFrom(tio);
}

bool PosixSerialPort::applyMode(const std::string& mode)
{
    const auto settings = parseModeString(mode);
    const auto speed = settings ? speedFor(settings->baudRate) : std::nullopt;
    if (!speed) {
        errno = EINVAL;
        return false;
    }
    // Win32 rules: 1.5 stop bits only with 5 data bits, 2 only with more.
    if ((settings->stopBits == StopBits::OneAndHalf && settings->dataBits != 5)
        || (settings->stopBits == StopBits::Two && settings->dataBits == 5)) {
        errno = EINVAL;
        return false;
    }
    if (kStickParity == 0
        && (settings->parity == Parity::Mark || settings->parity == Parity::Space)) {
        errno = EINVAL;
        return false;
    }

    termios tio{};
    if (::tcgetattr(m_fd, &tio) != 0)
        return false;
    ::cfmakeraw(&tio);
    tio.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR);
    tio.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | kStickParity);
    tio.c_cflag |= CLOCAL | CREAD | sizeFlag(settings->dataBits);
    switch (settings->parity) {
    case Parity::None: break;
    case Parity::Odd: tio.c_cflag |= PARENB | PARODD; break;
    case Parity::Even: tio.c_cflag |= PARENB; break;
    case Parity::Mark: tio.c_cflag |= PARENB | kStickParity | PARODD; break;
    case Parity::Space: tio.c_cflag |= PARENB | kStickParity; break;
    }
    if (settings->stopBits != StopBits::One)
        tio.c_cflag |= CSTOPB;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, *speed) != 0 || ::cfsetospeed(&tio, *speed) != 0)
        return false;
    if (::tcsetattr(m_fd, TCSANOW, &tio) != 0)
        return false;

    // tcsetattr succeeds when any part took, so check the speed stuck.
    // Parity and size are not checked: a pseudo-terminal forces 8N.
    termios check{};
    if (::tcgetattr(m_fd, &check) == 0 && ::cfgetospeed(&check) != *speed) {
        errno = EINVAL;
        return false;
    }
    m_applied = *settings;

    // A Win32 mode string enables DTR and RTS; ptys have no lines to set.
    setDtr(true);
    setRts(true);
    return true;
}

} // namespace talvex

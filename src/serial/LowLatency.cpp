#include "serial/LowLatency.h"

#include <filesystem>
#include <system_error>

#include <sys/ioctl.h>
#if defined(__linux__)
#include <linux/serial.h>
#endif

namespace talvex {
namespace {

class KernelSerialFlags final : public SerialFlagsAccess {
public:
    std::optional<int> read(int fd) override
    {
#if defined(__linux__)
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
            return std::nullopt;
        return serial.flags;
#else
        (void)fd;
        return std::nullopt;
#endif
    }

    bool write(int fd, int flags) override
    {
#if defined(__linux__)
        serial_struct serial{};
        if (::ioctl(fd, TIOCGSERIAL, &serial) != 0)
            return false;
        serial.flags = flags;
        return ::ioctl(fd, TIOCSSERIAL, &serial) == 0;
#else
        (void)fd;
        (void)flags;
        return false;
#endif
    }
};

#if defined(__linux__)
static_assert(kLowLatencyFlag == ASYNC_LOW_LATENCY);
#endif

} // namespace

SerialFlagsAccess& kernelSerialFlags()
{
    static KernelSerialFlags access;
    return access;
}

LowLatencyHold::LowLatencyHold(int fd, SerialFlagsAccess& access)
    : m_fd(fd)
    , m_access(access)
{
    const std::optional<int> flags = m_access.read(m_fd);
    if (!flags || (*flags & kLowLatencyFlag) != 0)
        return;
    if (m_access.write(m_fd, *flags | kLowLatencyFlag))
        m_restore = *flags;
}

LowLatencyHold::~LowLatencyHold()
{
    if (m_restore)
        m_access.write(m_fd, *m_restore);
}

} // namespace talvex

#include "serial/PosixPortHost.h"

#include "ftdi/SysfsUsbDevice.h"
#include "serial/NativePortHost.h"
#include "serial/PosixSerialPort.h"
#include "serial/UdevPorts.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <iterator>
#include <optional>
#include <system_error>
#include <tuple>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#ifdef __linux__
#include <linux/serial.h>
#endif

namespace talvex {
namespace {

// The device families to list, in the order a user looks for them.
constexpr const char* kFamilies[] = {"ttyUSB", "ttyACM", "ttyS"};
constexpr int kUartFamily = 2;

/// The family index and unit number of a name such as "ttyUSB10".
std::optional<std::pair<int, unsigned long>> classify(const std::string& name)
{
    for (int family = 0; family < static_cast<int>(std::size(kFamilies)); ++family) {
        const std::string prefix = kFamilies[family];
        if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0)
            continue;
        const std::string digits = name.substr(prefix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) {
                return c >= '0' && c <= '9';
            }))
            return std::nullopt;
        return std::make_pair(family, std::stoul(digits));
    }
    return std::nullopt;
}

/// Every PC has ttyS0..ttyS31 nodes; only those with a UART answer
/// TIOCGSERIAL with a known type. Anything we cannot check is left out.
bool hasUart(const std::string& path)
{
#ifdef __linux__
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    serial_struct info{};
    const bool known = ::ioctl(fd, TIOCGSERIAL, &info) == 0 && info.type != PORT_UNKNOWN;
    ::close(fd);
    return known;
#else
    (void)path;
    return false;
#endif
}

} // namespace

std::unique_ptr<PortHost> makeNativePortHost()
{
    return std::make_unique<PosixPortHost>();
}

PosixPortHost::PosixPortHost(std::string deviceDirectory)
    : m_deviceDirectory(std::move(deviceDirectory))
{
}

std::vector<PortInfo> PosixPortHost::listPorts()
{
    struct Found {
        int family;
        unsigned long unit;
        PortInfo port;
    };
    std::vector<Found> found;
    // libudev forbids sharing a context between threads, even with locks,
    // and batch workers list ports at the same time: one per listing.
    const UdevPorts udev;
    std::error_code error;
    for (std::filesystem::directory_iterator it(m_deviceDirectory, error), end;
         !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        const auto kind = classify(name);
        if (!kind)
            continue;
        const std::string path = it->path().string();
        const UdevTty device = udev.describeNode(path);
        // udev tells a UART without opening the port; else the port is asked.
        if (kind->first == kUartFamily && !(device.uart ? *device.uart : hasUart(path)))
            continue;
        found.push_back({kind->first, kind->second, {path, device.usb}});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.family, a.unit, a.port.name) < std::tie(b.family, b.unit, b.port.name);
    });

    std::vector<PortInfo> ports;
    ports.reserve(found.size());
    for (Found& entry : found)
        ports.push_back(std::move(entry.port));
    return ports;
}

Failure PosixPortHost::errorFromErrno(const std::string& path, int error)
{
    Failure result;
    switch (error) {
    case ENOENT:
    case ENODEV:
    case ENXIO:
        result.status = Status::Gone;
        break;
    case EACCES:
    case EPERM:
        result.status = Status::Denied;
        break;
    case EBUSY:
    case EWOULDBLOCK: // flock's answer; the same value as EAGAIN here
        result.status = Status::Busy;
        break;
    default:
        result.status = Status::Other;
        break;
    }
    result.detail = path + ": " + std::generic_category().message(error);
    return result;
}

OpenResult PosixPortHost::open(const std::string& name, const std::string& mode)
{
    const auto fail = [](int fd, Failure error) {
        if (fd >= 0)
            ::close(fd);
        return OpenResult(std::move(error));
    };

    // O_NONBLOCK so a port waiting for carrier cannot stall the open; the
    // port keeps it and waits in poll().
    int fd = -1;
    do
        fd = ::open(name.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return fail(-1, errorFromErrno(name, errno));
    if (!::isatty(fd))
        return fail(fd, {Status::Other, name + ": not a serial port"});

    // TIOCEXCL keeps other users out but not root; the advisory lock also
    // stops a second open by root or by this very process.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0)
        return fail(fd, errorFromErrno(name, errno));
    termios original{};
    if (::tcgetattr(fd, &original) != 0)
        return fail(fd, errorFromErrno(name, errno));

    // From here the port owns the descriptor: dropping it on failure puts
    // the old settings back and unlocks.
    auto port = std::make_unique<PosixSerialPort>(fd, original);
    if (!parseModeString(mode))
        return fail(-1, {Status::Other, name + ": malformed mode string \"" + mode + "\""});
    if (!port->applyMode(mode)) {
        const int error = errno;
        return fail(-1, {Status::Other, name + ": cannot set mode \"" + mode
                                                 + "\": " + std::generic_category().message(error)});
    }
    // An FTDI chip holds a short answer for its latency timer (16 ms)
    // unless asked not to.
    if (const auto usb = usbDeviceOfTty(name); usb && isFtdi(usb->vendorId))
        port->holdLowLatency(kernelSerialFlags());
    return OpenResult(std::unique_ptr<SerialPort>(std::move(port)));
}

} // namespace talvex

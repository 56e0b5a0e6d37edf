#pragma once

#include "serial/PortHost.h"

#include <optional>
#include <string>

struct udev; // libudev's handle

namespace talvex {

/// What the system's device database says of one terminal device node.
struct UdevTty {
    std::optional<UsbIdentity> usb; ///< set when a USB device is behind it
    /// Serial-core ports say whether a UART is there ("type" not 0);
    /// nothing when the device does not say.
    std::optional<bool> uart;
};

/// Reads the tty devices' USB parents from udev (libudev: the udev
/// database, or sysfs where no udev daemon runs). Without libudev at build
/// time, or where it cannot start, every look-up answers "not known".
class UdevPorts {
public:
    UdevPorts();
    ~UdevPorts();
    UdevPorts(const UdevPorts&) = delete;
    UdevPorts& operator=(const UdevPorts&) = delete;

    bool available() const { return m_udev != nullptr; }

    /// The device whose node `path` is (followed through symbolic links,
    /// found by its device number, so a node in another directory that is
    /// no character device is not mistaken for the system's).
    UdevTty describeNode(const std::string& path) const;

private:
    ::udev* m_udev = nullptr;
};

} // namespace talvex

#pragma once

#include "ftdi/SysfsUsbDevice.h"
#include "serial/PortHost.h"

#include <optional>
#include <string>
#include <vector>

namespace talvex {

/// The udev rule the package installs.
inline constexpr const char* kUdevRuleName = "60-talvex-programmer.rules";

/// Where the system shows what the checks read. Tests point these into a
/// directory tree of their own.
struct SystemPaths {
    std::string proc = "/proc";
    std::string sysClassTty = "/sys/class/tty";
    /// libusb's device nodes, one per USB device: BBB/DDD.
    std::string devBusUsb = "/dev/bus/usb";
    /// The libftdi the USB serial tool loads; empty: its default name.
    std::string libftdi;
    /// udev's rule directories, the one that wins first.
    std::vector<std::string> udevRuleDirectories {"/etc/udev/rules.d", "/run/udev/rules.d",
                                                  "/usr/local/lib/udev/rules.d", "/usr/lib/udev/rules.d",
                                                  "/lib/udev/rules.d"};
};

/// The package's udev rule as udev would take it.
struct UdevRuleState {
    std::string path;           ///< where the one in force lies; empty when none
    bool masked = false;        ///< an empty file or a link to /dev/null hides it
    bool grantsAccess = false;  ///< TAG+="uaccess" for the chip's ports
    bool quietsModemManager = false; ///< ENV{ID_MM_DEVICE_IGNORE}="1"

    bool installed() const { return !path.empty() && !masked; }
    bool complete() const { return installed() && grantsAccess && quietsModemManager; }
};

UdevRuleState findUdevRule(const SystemPaths& paths = {});

/// The port's USB device as sysfs shows it, under the paths given.
std::optional<SysfsUsbDevice> usbIdentityOf(const std::string& portPath, const SystemPaths& paths = {});

/// Why this user may not open a device node, and what would let them.
struct PermissionDiagnosis {
    std::string user;
    std::string owner;
    std::string group;
    unsigned mode = 0;        ///< the permission bits, as 0660
    std::string reason;       ///< one sentence without the fix
    std::vector<std::string> fixes; ///< best first, each a command or a step
};

/// Nothing when the path cannot be looked at (no such node, no system
/// that has owners and groups).
std::optional<PermissionDiagnosis> diagnosePermission(const std::string& portPath, const SystemPaths& paths = {});

/// What the windows and talvexctl log when a port will not open:
/// "ERROR: <port> Port open error!", the system's reason, and, when the
/// system refused permission, the fix on the next line.
std::vector<std::string> portOpenErrorLines(const std::string& portName, const Failure& error);

} // namespace talvex

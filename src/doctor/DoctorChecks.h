#pragma once

#include "serial/PortAccess.h"
#include "update/VersionCheck.h"

#include <map>
#include <string>
#include <vector>

namespace talvex {
class ApplicationContext;
}

namespace talvex::cli {

/// What one check of `talvexctl doctor` found.
struct Finding {
    enum class Level { Ok, Note, Problem };

    std::string check;   ///< "port", "udev-rule", "modemmanager", "brltty", "latency-timer", ...
    std::string subject; ///< the port, rule file or server it is about
    Level level = Level::Ok;
    std::string text;
    std::vector<std::string> fixes; ///< commands or steps, best first
};

const char* levelName(Finding::Level level);

/// A running process as /proc shows it.
struct ProcessInfo {
    int pid = 0;
    std::string name;        ///< its comm
    std::string commandLine; ///< arguments joined by blanks
};

std::vector<ProcessInfo> runningProcesses(const SystemPaths& paths);

/// The processes that hold each of `nodes` open (canonical device paths).
/// `unreadable` counts processes whose descriptors this user may not see.
struct Holders {
    std::map<std::string, std::vector<ProcessInfo>> byNode;
    int unreadable = 0;
};

Holders findHolders(const std::vector<std::string>& nodes, const SystemPaths& paths);

/// Each port: can this user open it, and if not, why; who else holds it.
std::vector<Finding> checkPorts(ApplicationContext& context, const std::vector<std::string>& ports,
                                const SystemPaths& paths);
Finding checkUdevRule(const SystemPaths& paths);
Finding checkModemManager(const std::vector<ProcessInfo>& processes, const SystemPaths& paths);
Finding checkBrltty(const std::vector<ProcessInfo>& processes, const SystemPaths& paths);
/// The FTDI ports' latency timers, where sysfs shows them.
std::vector<Finding> checkLatencyTimers(const std::vector<std::string>& ports, const SystemPaths& paths);
/// The libraries the USB serial number needs: D2XX, or libftdi 1.5 or later.
Finding checkFtdiLibraries(ApplicationContext& context, const SystemPaths& paths);
/// Whether this user may read and write the programmer's USB device node,
/// as libusb (under libftdi) must for the USB serial number; one finding
/// per chip behind `ports`.
std::vector<Finding> checkUsbDeviceNodes(const std::vector<std::string>& ports, const SystemPaths& paths);
Finding checkVersionServer(const VersionServer& server);

/// Whether a library of that name loads at all, whatever its version.
bool libftdiFound(const std::string& nameOrPath);

/// Every check in the order they are printed; `ports` empty: the host's.
std::vector<Finding> runDoctorChecks(ApplicationContext& context, std::vector<std::string> ports,
                                     const VersionServer& server, const SystemPaths& paths = {});

} // namespace talvex::cli

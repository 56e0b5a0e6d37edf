#pragma once

#include "common/Result.h"
#include "ftdi/UsbIdentity.h"
#include "serial/SerialPort.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace talvex {

/// A port that opened, or why it did not (the system's own words in the
/// detail), so the user learns more than "Port open error!".
using OpenResult = Result<std::unique_ptr<SerialPort>>;

/// One port a host offers.
struct PortInfo {
    std::string name;
    /// Nothing for a built-in UART, or where the system does not say.
    std::optional<UsbIdentity> usb;

    bool operator==(const PortInfo&) const = default;
};

/// The ports a host offers and the way to open one by name.
class PortHost {
public:
    virtual ~PortHost() = default;

    /// The ports to try in a scan or listing, in order (COM1…COM254 on
    /// Windows; device nodes on Linux), with their USB identity where the
    /// system knows it. Listing opens no port of a USB device.
    virtual std::vector<PortInfo> listPorts() = 0;

    /// The names of listPorts(), in its order.
    std::vector<std::string> candidateNames()
    {
        std::vector<std::string> names;
        for (PortInfo& port : listPorts())
            names.push_back(std::move(port.name));
        return names;
    }

    /// The USB device behind the port of that name, as listPorts() tells.
    std::optional<UsbIdentity> usbIdentityOf(const std::string& name)
    {
        for (PortInfo& port : listPorts()) {
            if (port.name == name)
                return std::move(port.usb);
        }
        return std::nullopt;
    }

    /// Opens exclusively, sets the 20 ms time-outs and applies the mode.
    virtual OpenResult open(const std::string& name, const std::string& mode) = 0;

    /// Where the host sends what it has to say about a port it opened (a
    /// port left at the driver's latency, say); talvexctl prints it as a
    /// log line. Nowhere until set.
    using LogSink = std::function<void(const std::string& line)>;
    void setLogSink(LogSink sink) { m_log = std::move(sink); }

protected:
    void log(const std::string& line) const
    {
        if (m_log)
            m_log(line);
    }

private:
    LogSink m_log;
};

} // namespace talvex

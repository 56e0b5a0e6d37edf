#pragma once

#include "serial/PortHost.h"

namespace talvex {

/// The device nodes of a POSIX system. Names are full paths; any terminal
/// device can be opened by path, a pseudo-terminal slave included.
class PosixPortHost final : public PortHost {
public:
    /// `deviceDirectory` is scanned for candidates; tests point it at a
    /// temporary directory.
    explicit PosixPortHost(std::string deviceDirectory = "/dev");

    /// ttyUSB*, then ttyACM*, then the ttyS* that have a UART behind them,
    /// each group in natural order (ttyUSB2 before ttyUSB10); the USB
    /// identities from udev. Without udev the names alone, as before.
    std::vector<PortInfo> listPorts() override;

    OpenResult open(const std::string& name, const std::string& mode) override;

    /// The one place an errno becomes a Status; the message is the
    /// path and the system's text.
    static Failure errorFromErrno(const std::string& path, int error);

private:
    std::string m_deviceDirectory;
};

} // namespace talvex

#pragma once

#include "serial/PortHost.h"
#include "ftdi/D2xxApi.h"

#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace talvex {

/// The COM ports of a Windows machine.
class Win32PortHost final : public PortHost {
public:
    /// Where the host learns the ports' USB identities and finds the D2XX
    /// library for the FTDI latency timer; tests hand in their own.
    struct Sources {
        std::function<std::map<std::string, UsbIdentity>()> usbPorts;
        std::function<D2xxLoadResult()> d2xx;
    };

    /// SetupAPI and ftd2xx.dll, loaded the first time an FTDI port opens.
    Win32PortHost();
    explicit Win32PortHost(Sources sources);

    /// COM1…COM254, each with the USB identity SetupAPI gives for it.
    std::vector<PortInfo> listPorts() override;
    /// An FTDI chip's port gets a 1 ms latency timer while it is open
    /// (D2xxLatency); where that cannot be, one log line says why.
    OpenResult open(const std::string& name, const std::string& mode) override;

private:
    PortInfo describe(const std::string& name);
    std::shared_ptr<D2xxApi> d2xx();

    Sources m_sources;
    std::mutex m_mutex; ///< over the listing and the library kept below
    std::optional<std::map<std::string, UsbIdentity>> m_usb; ///< the last listing
    std::optional<D2xxLoadResult> m_d2xx;
};

} // namespace talvex

#pragma once

#include "serial/PortHost.h"
#include "sim/SimEndpoint.h"

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>

namespace talvex {

class SimulatedFtdi;

/// USB identities of the devices a simulated host carries, as a real
/// system reports them.
namespace simusb {
/// One interface (0 = A, 1 = B) of an FT2232 (0403:6010).
UsbIdentity ft2232(const std::string& serial, int interfaceNumber, const std::string& location,
                   const std::string& product = "Dual RS232");
/// A Silicon Labs CP210x bridge (10c4:ea60).
UsbIdentity cp210x(const std::string& serial, const std::string& location);
/// A board that is a CDC ACM device of its own (an Arduino Uno, 2341:0043).
UsbIdentity cdcAcmBoard(const std::string& serial, const std::string& location);
} // namespace simusb

/// A host with COM1…COM254 (or fewer) where tests place simulated devices.
/// A name with nothing attached does not exist; a port that is open
/// cannot be opened twice, as on a real host.
class SimulatedPortHost final : public PortHost {
public:
    explicit SimulatedPortHost(Clock& clock, int portCount = 254);

    void attach(const std::string& name, std::shared_ptr<SimEndpoint> endpoint);
    void detach(const std::string& name);
    /// Another program holds this port.
    void markBusy(const std::string& name, bool busy = true);
    /// Whether an open asks the port's chip for low latency, as the native
    /// host does for FTDI ports (on by default).
    void setAsksLowLatency(bool asks) { m_asksLowLatency = asks; }

    /// What the listing says of the USB device behind `name`; nothing (the
    /// default) is a built-in UART or a port the system says nothing of.
    void setUsbIdentity(const std::string& name, std::optional<UsbIdentity> usb);
    /// `chip`'s interfaces A and B sit behind these ports; the listing
    /// shows what the chip read from its EEPROM when it was plugged in,
    /// and nothing while it is unplugged.
    void attachFtdiChip(std::shared_ptr<SimulatedFtdi> chip, const std::string& interfaceA,
                        const std::string& interfaceB);

    /// COM1…COMn, each with the identity set for it.
    std::vector<PortInfo> listPorts() override;
    OpenResult open(const std::string& name, const std::string& mode) override;

    int openCount(const std::string& name) const;
    /// Every try to open the name, failed ones included.
    int openAttempts(const std::string& name) const;

private:
    Clock& m_clock;
    int m_portCount;
    mutable std::mutex m_mutex;
    bool m_asksLowLatency = true;
    std::map<std::string, std::shared_ptr<SimEndpoint>> m_endpoints;
    std::set<std::string> m_busy;
    std::set<std::string> m_open;
    std::map<std::string, int> m_openCounts;
    std::map<std::string, int> m_openAttempts;
    std::map<std::string, std::function<std::optional<UsbIdentity>()>> m_usb;
};

} // namespace talvex

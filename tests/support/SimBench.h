#pragma once

#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimEndpoints.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <memory>

namespace talvex::test {

/// Places programmers and other devices on a bench's simulated host.
class SimDevices {
public:
    // Held here, in the bench's base, they outlive the host that reaches them.
    std::vector<std::shared_ptr<SimulatedProgrammer>> devices;

    std::shared_ptr<SimulatedProgrammer> addProgrammer(const std::string& reader1, const std::string& reader2,
                                                       SpeedVariant variant = SpeedVariant::Normal,
                                                       const std::string& serial = "0123456789ABCDEF0123456789ABCDEF")
    {
        auto device = std::make_shared<SimulatedProgrammer>(variant, serial);
        device->attachTo(m_where, reader1, reader2);
        devices.push_back(device);
        return device;
    }

    /// The programmer behind an FT2232 whose EEPROM carries `usbSerial`, as
    /// a host lists it: reader 1 on interface A, reader 2 on B.
    std::shared_ptr<SimulatedProgrammer>
    addFtdiProgrammer(const std::string& interfaceA, const std::string& interfaceB,
                      SpeedVariant variant = SpeedVariant::Normal,
                      const std::string& serial = "0123456789ABCDEF0123456789ABCDEF",
                      const std::string& usbSerial = "TLVX0001", const std::string& location = "1-4")
    {
        auto device = addProgrammer(interfaceA, interfaceB, variant, serial);
        m_where.setUsbIdentity(interfaceA, simusb::ft2232(usbSerial, 0, location, "TalvexUSB"));
        m_where.setUsbIdentity(interfaceB, simusb::ft2232(usbSerial, 1, location, "TalvexUSB"));
        return device;
    }

    void addSilent(const std::string& name) { m_where.attach(name, std::make_shared<SilentEndpoint>()); }

    /// A silent port with this USB device behind it (nothing: a built-in UART).
    void addSilent(const std::string& name, std::optional<UsbIdentity> usb)
    {
        addSilent(name);
        m_where.setUsbIdentity(name, std::move(usb));
    }

    void addAnswering(const std::string& name, std::vector<std::uint8_t> bytes)
    {
        m_where.attach(name, ScriptedEndpoint::answering(std::move(bytes)));
    }

protected:
    // Only bound here; the host is built after this base.
    explicit SimDevices(SimulatedPortHost& where)
        : m_where(where)
    {
    }

private:
    SimulatedPortHost& m_where;
};

/// A host of COM1…COM254 in virtual time, with an application context on
/// it, where a test places programmers and other devices.
struct SimBench : SimDevices {
    VirtualClock clock;
    SimulatedPortHost host{clock};
    ApplicationContext context{host, clock};

    SimBench()
        : SimDevices(host)
    {
    }

    DiscoveryEnvironment discovery() { return context.discovery(); }
};

} // namespace talvex::test

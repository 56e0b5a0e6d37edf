#pragma once

#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimEndpoints.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <memory>

namespace talvex::test {

/// A host of COM1…COM254 in virtual time, with an application context on
/// it, where a test places programmers and other devices.
struct SimBench {
    VirtualClock clock;
    // Devices live as long as the host that reaches them.
    std::vector<std::shared_ptr<SimulatedProgrammer>> devices;
    SimulatedPortHost host{clock};
    ApplicationContext context{host, clock};

    std::shared_ptr<SimulatedProgrammer> addProgrammer(const std::string& reader1, const std::string& reader2,
                                                       SpeedVariant variant = SpeedVariant::Normal,
                                                       const std::string& serial = "0123456789ABCDEF0123456789ABCDEF")
    {
        auto device = std::make_shared<SimulatedProgrammer>(variant, serial);
        device->attachTo(host, reader1, reader2);
        devices.push_back(device);
        return device;
    }

    /// The programmer behind an FT2232 whose EEPROM carries `usbSerial`, as
    /// a host lists it: reader 1 on interface A, reader 2 on B.
    std::shared_ptr<SimulatedProgrammer>
    addFtdiProgrammer(const std::string& interfaceA, const std::string& interfaceB,
                      SpeedVariant variant = SpeedVariant::Normal,
                      const std::string& serial = "0123456789ABCDEF0123456789ABCDEF",
                      const std::string& usbSerial = "TLVX0001")
    {
        auto device = addProgrammer(interfaceA, interfaceB, variant, serial);
        host.setUsbIdentity(interfaceA, simusb::ft2232(usbSerial, 0, "1-4", "TalvexUSB"));
        host.setUsbIdentity(interfaceB, simusb::ft2232(usbSerial, 1, "1-4", "TalvexUSB"));
        return device;
    }

    void addSilent(const std::string& name) { host.attach(name, std::make_shared<SilentEndpoint>()); }

    /// A silent port with this USB device behind it (nothing: a built-in UART).
    void addSilent(const std::string& name, std::optional<UsbIdentity> usb)
    {
        addSilent(name);
        host.setUsbIdentity(name, std::move(usb));
    }

    void addAnswering(const std::string& name, std::vector<std::uint8_t> bytes)
    {
        host.attach(name, ScriptedEndpoint::answering(std::move(bytes)));
    }

    DiscoveryEnvironment discovery() { return context.discovery(); }
};

} // namespace talvex::test

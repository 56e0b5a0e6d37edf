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

    void addSilent(const std::string& name) { host.attach(name, std::make_shared<SilentEndpoint>()); }

    void addAnswering(const std::string& name, std::vector<std::uint8_t> bytes)
    {
        host.attach(name, ScriptedEndpoint::answering(std::move(bytes)));
    }

    DiscoveryEnvironment discovery() { return context.discovery(); }
};

} // namespace talvex::test

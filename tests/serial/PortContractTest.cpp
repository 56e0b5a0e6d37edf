// The port contract on the simulated port, in virtual time.

#include "common/VirtualClock.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"
#include "support/PortContract.h"

using namespace talvex;

namespace {

class SimulatedBackend {
public:
    SimulatedBackend() { m_device->attachTo(m_host, "COM3", "COM4"); }

    PortHost& host() { return m_host; }
    Clock& clock() { return m_clock; }
    // Reader 2 of the application says nothing until asked.
    std::string livePort() { return "COM4"; }
    std::string missingPort() { return "COM9"; }
    bool exclusiveOpen() { return true; }
    bool canVanish() { return true; }
    std::string notReady() { return {}; }
    void vanish() { m_device->setPlugged(false); }

private:
    VirtualClock m_clock;
    std::shared_ptr<SimulatedProgrammer> m_device = std::make_shared<SimulatedProgrammer>();
    SimulatedPortHost m_host{m_clock};
};

} // namespace

namespace talvex::test {
INSTANTIATE_TYPED_TEST_SUITE_P(Simulated, PortContract, ::testing::Types<SimulatedBackend>);
} // namespace talvex::test

// The port contract on the POSIX backend, over a pseudo-terminal whose
// master end plays the device.

#include "common/RealClock.h"
#include "serial/PosixPortHost.h"
#include "support/PortContract.h"
#include "support/Pty.h"

using namespace talvex;

namespace {

class PosixBackend {
public:
    PortHost& host() { return m_host; }
    Clock& clock() { return m_clock; }
    std::string livePort() { return m_pty.slave(); }
    std::string missingPort() { return "/dev/ttyTALVEX-none"; }
    bool exclusiveOpen() { return true; }
    bool canVanish() { return true; }
    std::string notReady() { return {}; }
    void vanish() { m_pty.closeMaster(); }

private:
    test::Pty m_pty;
    RealClock m_clock;
    PosixPortHost m_host;
};

} // namespace

namespace talvex::test {
INSTANTIATE_TYPED_TEST_SUITE_P(Posix, PortContract, ::testing::Types<PosixBackend>);
} // namespace talvex::test

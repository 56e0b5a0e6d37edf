// The port contract on the POSIX backend, over a pseudo-terminal whose
// master end plays the device.

#include "common/RealClock.h"
#include "serial/PosixPortHost.h"
#include "support/PortContract.h"

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using namespace talvex;

namespace {

class PosixBackend {
public:
    PosixBackend()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        EXPECT_GE(m_master, 0);
        EXPECT_EQ(::grantpt(m_master), 0);
        EXPECT_EQ(::unlockpt(m_master), 0);
        const char* name = ::ptsname(m_master);
        m_slave = name ? name : "";
    }
    ~PosixBackend() { vanish(); }
    PosixBackend(const PosixBackend&) = delete;
    PosixBackend& operator=(const PosixBackend&) = delete;

    PortHost& host() { return m_host; }
    Clock& clock() { return m_clock; }
    std::string livePort() { return m_slave; }
    std::string missingPort() { return "/dev/ttyTALVEX-none"; }
    bool exclusiveOpen() { return true; }
    bool canVanish() { return true; }
    std::string notReady() { return {}; }
    // The kernel hangs the terminal up once its master is closed: an
    // unplugged USB adapter looks the same to the port.
    void vanish()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    std::string m_slave;
    RealClock m_clock;
    PosixPortHost m_host;
};

} // namespace

namespace talvex::test {
INSTANTIATE_TYPED_TEST_SUITE_P(Posix, PortContract, ::testing::Types<PosixBackend>);
} // namespace talvex::test

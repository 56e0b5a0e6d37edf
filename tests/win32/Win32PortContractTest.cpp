// The port contract on the Win32 backend, on the silent reader 2 of the
// boot loader simulator that scripts/wine-tests.sh puts behind COM ports.

#include "common/RealClock.h"
#include "serial/ComPortHelpers.h"
#include "serial/NativePortHost.h"
#include "support/PortContract.h"
#include "win32/WineAware.h"

using namespace talvex;

namespace {

class Win32Backend {
public:
    PortHost& host() { return *m_host; }
    Clock& clock() { return m_clock; }
    std::string livePort() { return m_ports ? m_ports->reader2 : std::string(); }
    std::string missingPort() { return "COM199"; }
    // Wine lets a second handle open a COM port that is a pseudo-terminal.
    bool exclusiveOpen() { return !test::runningUnderWine(); }
    // Unplugging needs hands, or the far end of the terminal, which a
    // Windows program cannot reach; the read status mapping is checked
    // below instead.
    bool canVanish() { return false; }
    void vanish() {}
    std::string notReady()
    {
        if (m_ports)
            return {};
        if (test::simulatorRequired())
            return {}; // the open then fails loudly rather than skipping
        return "no simulated programmer on COM ports (scripts/wine-tests.sh sets TALVEX_SIM_BOOT_PORTS)";
    }

private:
    std::optional<test::SimulatorPorts> m_ports = test::simulatorPorts("BOOT");
    std::unique_ptr<PortHost> m_host = makeNativePortHost();
    RealClock m_clock;
};

} // namespace

namespace talvex::test {
INSTANTIATE_TYPED_TEST_SUITE_P(Win32, PortContract, ::testing::Types<Win32Backend>);
} // namespace talvex::test

TEST(Win32PortContract, ReadErrorsOfARemovedDeviceMeanGone)
{
    for (const DWORD code : {ERROR_DEVICE_REMOVED, ERROR_ACCESS_DENIED, ERROR_BAD_COMMAND, ERROR_GEN_FAILURE,
                             ERROR_OPERATION_ABORTED, ERROR_INVALID_HANDLE})
        EXPECT_EQ(comReadStatus(code), Status::Gone) << code;
    EXPECT_EQ(comReadStatus(ERROR_NOT_ENOUGH_MEMORY), Status::Other);
}

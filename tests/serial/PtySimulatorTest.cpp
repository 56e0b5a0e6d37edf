// End to end over the real POSIX backend: the simulator program serves the
// programmer on two pseudo-terminals and the tool identifies it in real time.

#include "common/RealClock.h"
#include "protocol/Discovery.h"
#include "serial/NativePortHost.h"
#include "serial/PortSlot.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::SimulatorProcess;

namespace {

// Short answer delay: the simulator answers within milliseconds, and the
// test should not take many seconds; the waits' shape is what matters.
constexpr int kAnswerDelayMs = 150;

// Identifies what answers on the terminal, opened in `mode`, and closes it.
IdentifyResult identifyOn(const std::string& path, const char* mode, SpeedVariant variant = SpeedVariant::Normal)
{
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot port;
    EXPECT_TRUE(port.open(*host, path, mode)) << port.lastOpenError().message;
    return identify(port, clock, variant, kAnswerDelayMs);
}

} // namespace

TEST(PtySimulator, LowSpeedBuildAnswersOnlyAt9600Baud)
{
    SimulatorProcess simulator({"--variant", "low2"});
    ASSERT_TRUE(simulator.ready());
    EXPECT_EQ(identifyOn(simulator.path(1), kNormalMode).mode, ProgrammerMode::None);
    const IdentifyResult identity = identifyOn(simulator.path(1), kLowSpeedMode, SpeedVariant::LowSpeed2);
    EXPECT_EQ(identity.mode, ProgrammerMode::Application);
    EXPECT_EQ(identity.fields.serialNumber, "0123456789ABCDEF0123456789ABCDEF");
}

TEST(PtySimulator, BootLoaderAnswersOnReaderOne)
{
    SimulatorProcess simulator({"--boot"});
    ASSERT_TRUE(simulator.ready());
    const IdentifyResult identity = identifyOn(simulator.path(1), kNormalMode);
    EXPECT_EQ(identity.mode, ProgrammerMode::BootLoader);
    EXPECT_EQ(identity.fields.serialNumber, "0123456789ABCDEF0123456789ABCDEF");
}

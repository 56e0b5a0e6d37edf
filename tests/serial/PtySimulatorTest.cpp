// End to end over the real POSIX backend: the simulator program serves the
// programmer on two pseudo-terminals and the tool identifies it in real time.

#include "support/IdentifyOn.h"
#include "support/SimulatorProcess.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::SimulatorProcess;
using talvex::test::identifyOn;

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

// End to end over the Win32 backend: the device is reached by its COMn name
// through CreateFileW, the DCB calls, TransmitCommChar and ReadFile. Under
// Wine the COM ports are pseudo-terminals served by the native simulator
// program (scripts/wine-tests.sh starts it and names the ports); the
// expected serial number and version are those the simulator was given.

#include "common/RealClock.h"
#include "protocol/Discovery.h"
#include "serial/NativePortHost.h"
#include "serial/PortSlot.h"
#include "support/IdentifyOn.h"
#include "win32/WineAware.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::identifyOn;

namespace {

// The simulator answers within milliseconds; a short answer delay keeps
// the real-time waits short without changing their shape.
constexpr int kAnswerDelayMs = 150;

} // namespace

TEST(Win32ComPort, IdentifiesTheProgrammerByItsComNames)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "NORMAL");
    const IdentifyResult second = identifyOn(sim.reader2, kNormalMode);
    EXPECT_EQ(second.mode, ProgrammerMode::Application);
    EXPECT_EQ(second.fields.serialNumber, sim.serial);
    EXPECT_EQ(second.fields.readerDigit, '2');
    EXPECT_EQ(second.versionText, sim.versionText);
    const IdentifyResult first = identifyOn(sim.reader1, kNormalMode);
    EXPECT_EQ(first.mode, ProgrammerMode::Application);
    EXPECT_EQ(first.fields.serialNumber, sim.serial);
    EXPECT_EQ(first.fields.readerDigit, '1');

    // The settings window's search: the selected list entry, opened by name.
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot port;
    DetectionResults results;
    results.answerDelayMs = kAnswerDelayMs;
    DiscoveryEnvironment env{*host, port, clock, {}};
    EXPECT_EQ(searchSelectedPort(env, results, {sim.reader1, sim.reader2}, 1), "2");
    EXPECT_EQ(results.serialNumber, sim.serial);
    EXPECT_FALSE(port.isOpen());
}

TEST(Win32ComPort, DetectionFindsBothReadersAmongAllComPorts)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "NORMAL");
    RealClock clock;
    auto host = makeNativePortHost();
    PortSlot port;
    DetectionResults results;
    results.answerDelayMs = kAnswerDelayMs;
    DiscoveryEnvironment env{*host, port, clock, {}};

    // COM1 … COM254 through CreateFileW: the missing ones fail at once,
    // the first programmer found ends the scan at its second reader.
    detectProgrammer(env, results);
    EXPECT_EQ(results.reader1Port, sim.reader1);
    EXPECT_EQ(results.reader2Port, sim.reader2);
    EXPECT_EQ(results.serialNumber, sim.serial);
    EXPECT_EQ(results.versionText, sim.versionText);
    EXPECT_EQ(results.variant, SpeedVariant::Normal);
    EXPECT_FALSE(results.bootLoader);
    EXPECT_FALSE(port.isOpen());
}

TEST(Win32ComPort, LowSpeedBuildAnswersOnlyAfterTheDcbSwitchedTo9600Baud)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "LOW2");
    // The simulator reads the speed from the terminal, so this checks that
    // BuildCommDCBW and SetCommState reach the line.
    EXPECT_EQ(identifyOn(sim.reader1, kNormalMode).mode, ProgrammerMode::None);
    const IdentifyResult identity = identifyOn(sim.reader1, kLowSpeedMode, SpeedVariant::LowSpeed2);
    EXPECT_EQ(identity.mode, ProgrammerMode::Application);
    EXPECT_EQ(identity.fields.serialNumber, sim.serial);
    EXPECT_EQ(identity.fields.readerDigit, '1');
}

TEST(Win32ComPort, BootLoaderAnswersOnReaderOneOnly)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "BOOT");
    const IdentifyResult identity = identifyOn(sim.reader1, kNormalMode);
    EXPECT_EQ(identity.mode, ProgrammerMode::BootLoader);
    EXPECT_EQ(identity.fields.serialNumber, sim.serial);
    EXPECT_EQ(identifyOn(sim.reader2, kNormalMode).mode, ProgrammerMode::None);
}

// The Win32 host lowers an FTDI port's latency timer through the D2XX
// library around the COM port's open and close. Wine's SetupAPI lists no
// USB identities, so the host is told that the simulator's ports are an
// FT2232's two channels, and the D2XX library is the stand-in, whose
// state file shows every value the timer was given.

#include "common/RealClock.h"
#include "protocol/Identification.h"
#include "serial/PortSlot.h"
#include "serial/Win32PortHost.h"
#include "support/ftd2xx/StandinBench.h"
#include "win32/WineAware.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::StandinBench;

namespace {

constexpr int kAnswerDelayMs = 150;

int comNumber(const std::string& name)
{
    return std::stoi(name.substr(3));
}

UsbIdentity channel(int interfaceNumber)
{
    return {kFtdiVendorId, 0x6010, "TLVX0001", interfaceNumber, "", "TalvexUSB", "Port_#0002.Hub_#0001"};
}

// A host that sees the simulator's ports as the FT2232 behind them.
std::unique_ptr<Win32PortHost> programmerHost(const test::SimulatorPorts& sim, const char* library,
                                              std::vector<std::string>& log)
{
    auto host = std::make_unique<Win32PortHost>(Win32PortHost::Sources{
        [sim] {
            return std::map<std::string, UsbIdentity>{
                {sim.reader1, channel(0)}, {sim.reader2, channel(1)}, {"COM253", channel(0)}};
        },
        [library] { return DynamicD2xx::load(library); }});
    host->setLogSink([&log](const std::string& line) { log.push_back(line); });
    return host;
}

} // namespace

TEST(Win32Latency, FtdiPortRunsAtOneMillisecondWhileOpenAndGetsItsTimerBack)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "NORMAL");
    StandinBench standin;
    standin.addProgrammer("TLVX0001").comPort = {comNumber(sim.reader1), comNumber(sim.reader2)};
    standin.save();
    std::vector<std::string> log;
    const auto host = programmerHost(sim, TALVEX_FTD2XX_STANDIN, log);
    RealClock clock;
    PortSlot port;

    const Result<void> opened = port.open(*host, sim.reader1, kNormalMode);
    ASSERT_TRUE(opened) << opened.failure().detail;
    const Ft2232Chip open = standin.chip(0);
    EXPECT_EQ(open.latency[0], 1);
    EXPECT_FALSE(open.d2xxOpen[0]) << "the D2XX handle must be closed before the COM port opens";
    EXPECT_TRUE(open.latencySets[1].empty());
    // The port works as ever with the timer lowered.
    const IdentifyResult identified = identify(port, clock, SpeedVariant::Normal, kAnswerDelayMs);
    EXPECT_EQ(identified.fields.serialNumber, sim.serial);
    port.close();

    const Ft2232Chip closed = standin.chip(0);
    EXPECT_EQ(closed.latency[0], 16);
    EXPECT_EQ(closed.latencySets[0], (std::vector<int> {1, 16}));
    EXPECT_FALSE(closed.d2xxOpen[0]);
    EXPECT_TRUE(log.empty()) << log.front();

    // A port that does not open leaves the timer as it found it, unsaid.
    standin.change([](Ft2232Bus& bus) { bus.chips[0].comPort[0] = 253; });
    EXPECT_FALSE(port.open(*host, "COM253", kNormalMode));
    EXPECT_EQ(standin.chip(0).latencySets[0], (std::vector<int> {1, 16, 1, 16}));
    EXPECT_TRUE(log.empty()) << log.front();
}

TEST(Win32Latency, PortKeepsTheDriversSettingWithOneLineWhereD2xxCannotHelp)
{
    TALVEX_SIMULATOR_PORTS_OR_SKIP(sim, "NORMAL");
    StandinBench standin;
    standin.addProgrammer("TLVX0001").comPort = {comNumber(sim.reader1), comNumber(sim.reader2)};
    standin.save();
    const auto opensWithOneLine = [&](const char* library, const std::string& why) {
        std::vector<std::string> log;
        const auto host = programmerHost(sim, library, log);
        PortSlot port;
        const Result<void> reopened = port.open(*host, sim.reader1, kNormalMode);
        EXPECT_TRUE(reopened) << reopened.failure().detail;
        port.close();
        ASSERT_EQ(log.size(), 1U) << why;
        EXPECT_EQ(log[0].rfind(sim.reader1 + " keeps the driver's latency setting: ", 0), 0U) << log[0];
        EXPECT_NE(log[0].find(why), std::string::npos) << log[0];
    };
    opensWithOneLine("C:\\nonexistent\\talvex\\ftd2xx.dll", "is not loaded");
    opensWithOneLine(TALVEX_FTD2XX_STANDIN_NOLATENCY, "lacks FT_GetComPortNumber");
    EXPECT_TRUE(standin.chip(0).latencySets[0].empty());
}

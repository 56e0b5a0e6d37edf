// The FTDI latency timer of a COM port through D2XX, on the stand-in
// library loaded the way the program loads ftd2xx.dll: which D2XX device
// is the port's channel, 1 ms asked before the port opens and the old value
// put back after it closed, and one log line wherever the port keeps the
// driver's setting.

#include "serial/D2xxLatency.h"
#include "sim/SimulatedPortHost.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(D2xxLatency, ComNumbersAreReadFromThePortName)
{
    EXPECT_EQ(comPortNumber("COM1"), 1);
    EXPECT_EQ(comPortNumber("com254"), 254);
    EXPECT_EQ(comPortNumber("COM0"), std::nullopt);
    EXPECT_EQ(comPortNumber("COM07"), std::nullopt);
    EXPECT_EQ(comPortNumber("COM"), std::nullopt);
    EXPECT_EQ(comPortNumber("COM3x"), std::nullopt);
    EXPECT_EQ(comPortNumber("/dev/ttyUSB0"), std::nullopt);
}

#if defined(TALVEX_FTD2XX_STANDIN)
#include "support/ftd2xx/StandinBench.h"

namespace {

using Latencies = std::array<std::uint8_t, 2>;
using Sets = std::array<std::vector<int>, 2>;

PortInfo programmerPort(const std::string& name, int channel, const std::string& serial = "TLVX0001")
{
    return {name, simusb::ft2232(serial, channel, "Port_#0002.Hub_#0001")};
}

bool keepsDriverSetting(const std::string& line, const std::string& port, const std::string& why)
{
    return line.rfind(port + " keeps the driver's latency setting: ", 0) == 0 && line.find(why) != std::string::npos
        && line.find('\n') == std::string::npos;
}

// Another FTDI chip on COM5/COM6, then the programmer's on COM7/COM8.
struct LatencyBench : test::StandinBench {
    LatencyBench()
    {
        addProgrammer("FT0ABCDE").comPort = {5, 6};
        addProgrammer("TLVX0001").comPort = {7, 8};
        save();
    }
    LatencyRequest lower(const PortInfo& port, const char* library = TALVEX_FTD2XX_STANDIN) const
    {
        const D2xxLoadResult loaded = load(library);
        EXPECT_TRUE(loaded) << loaded.error;
        return lowerLatencyTimer(loaded.api, port);
    }
    // Nothing was set on any chip, and no channel is left open.
    void expectUntouched() const
    {
        for (const Ft2232Chip& chip : reload().chips) {
            EXPECT_EQ(chip.latencySets, Sets{});
            EXPECT_EQ(chip.d2xxOpen, (std::array<bool, 2>{false, false}));
        }
    }
};

} // namespace

TEST(D2xxLatency, OneMillisecondWhileHeldOnTheChannelOfThePortAndTheOldValueAfter)
{
    LatencyBench b;
    {
        const LatencyRequest request = b.lower(programmerPort("COM8", 1));
        ASSERT_NE(request.hold, nullptr) << request.logLine;
        EXPECT_EQ(request.logLine, "");
        EXPECT_EQ(request.hold->savedMs(), 16);
        // Only the port's own channel, and closed again before the port opens.
        EXPECT_EQ(b.chip(1).latency, (Latencies{16, 1}));
        EXPECT_EQ(b.chip(1).d2xxOpen, (std::array<bool, 2>{false, false}));
        EXPECT_EQ(b.chip(0).latencySets, Sets{});
    }
    EXPECT_EQ(b.chip(1).latencySets, (Sets{{{}, {1, 16}}}));
    EXPECT_FALSE(b.chip(1).d2xxOpen[1]);
}

TEST(D2xxLatency, PortsThatKeepTheDriversSettingSaySoInOneLineAndTouchNothing)
{
    LatencyBench b;
    const LatencyRequest absent = lowerLatencyTimer(nullptr, programmerPort("COM7", 0));
    EXPECT_EQ(absent.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(absent.logLine, "COM7", "is not loaded")) << absent.logLine;

    // A library from before these entry points still loads, for the EEPROM work.
    const LatencyRequest lacking = b.lower(programmerPort("COM7", 0), TALVEX_FTD2XX_STANDIN_NOLATENCY);
    EXPECT_EQ(lacking.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(lacking.logLine, "COM7", "lacks FT_GetComPortNumber")) << lacking.logLine;

    // The chip is there, but D2XX gives its channel another COM number.
    const LatencyRequest moved = b.lower(programmerPort("COM12", 0));
    EXPECT_EQ(moved.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(moved.logLine, "COM12", "no FTDI D2XX device TLVX0001A could be opened as COM12"))
        << moved.logLine;

    // Another program holds the channel through D2XX.
    b.change([](Ft2232Bus& bus) { bus.chips[1].heldElsewhere = true; });
    const LatencyRequest busy = b.lower(programmerPort("COM7", 0));
    EXPECT_EQ(busy.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(busy.logLine, "COM7", "TLVX0001A")) << busy.logLine;

    b.change([](Ft2232Bus& bus) { bus.chips[1].lowestLatency = 255; });
    const LatencyRequest refused = b.lower(programmerPort("COM8", 1));
    EXPECT_EQ(refused.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(refused.logLine, "COM8", "FT_SetLatencyTimer answered FT_INVALID_PARAMETER"))
        << refused.logLine;
    b.expectUntouched();
}

TEST(D2xxLatency, OtherPortsAndLowTimersAreLeftAloneWithoutALine)
{
    LatencyBench b;
    const PortInfo others[] = {{"COM9", simusb::cp210x("0001", "Port_#0003.Hub_#0001")},
                               {"COM1", std::nullopt},
                               programmerPort("\\\\.\\pipe\\x", 0)};
    for (const PortInfo& port : others) {
        const LatencyRequest request = b.lower(port);
        EXPECT_EQ(request.hold, nullptr) << port.name;
        EXPECT_EQ(request.logLine, "") << port.name;
    }

    b.change([](Ft2232Bus& bus) { bus.chips[1].latency[0] = 1; }); // the user set it in Device Manager
    const LatencyRequest already = b.lower(programmerPort("COM7", 0));
    EXPECT_EQ(already.hold, nullptr);
    EXPECT_EQ(already.logLine, "");
    b.expectUntouched();
}

TEST(D2xxLatency, LibraryThatRefusesOneMillisecondGetsTwo)
{
    LatencyBench b;
    b.change([](Ft2232Bus& bus) { bus.chips[1].lowestLatency = 2; });
    {
        const LatencyRequest request = b.lower(programmerPort("COM7", 0));
        ASSERT_NE(request.hold, nullptr) << request.logLine;
        EXPECT_EQ(b.chip(1).latency[0], 2);
    }
    EXPECT_EQ(b.chip(1).latencySets[0], (std::vector<int>{2, 16}));
}

TEST(D2xxLatency, ChipWithoutSerialNumberIsFoundByItsComNumber)
{
    test::StandinBench b;
    const std::vector<std::uint16_t> blank(64, 0xFFFF);
    b.addChip(Ft2232Kind::Ft2232C, EepromPart::C46, blank).comPort = {3, 4};
    b.addChip(Ft2232Kind::Ft2232C, EepromPart::C46, blank).comPort = {5, 6};
    b.bus.chips[0].heldElsewhere = true;
    b.save();
    {
        const LatencyRequest request = lowerLatencyTimer(b.load().api, programmerPort("COM6", 1, ""));
        ASSERT_NE(request.hold, nullptr) << request.logLine;
        EXPECT_EQ(b.chip(1).latency, (Latencies{16, 1}));
        EXPECT_EQ(b.chip(0).latencySets, Sets{});
    }
    EXPECT_EQ(b.chip(1).latencySets, (Sets{{{}, {1, 16}}}));
}
#endif

// The FTDI latency timer of a COM port through D2XX: which D2XX device is
// the port's channel, 1 ms asked before the port opens and the old value
// put back after it closed, and one log line wherever the port keeps the
// driver's setting. Driven through a recording library, and through the
// stand-in library loaded the way the program loads ftd2xx.dll.

#include "serial/D2xxLatency.h"
#include "sim/SimulatedPortHost.h"

#if defined(TALVEX_FTD2XX_STANDIN)
#include "support/ftd2xx/StandinBench.h"
#endif

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

using namespace talvex;

namespace {

class RecordingD2xx final : public D2xxApi {
public:
    struct Device {
        std::string serial;
        std::int32_t com = -1;
        std::uint32_t id = 0x04036010;
        std::uint32_t flags = 0;
        std::uint8_t latency = 16;
        std::uint8_t lowest = 1; ///< less is refused, as some libraries refuse 1
        bool open = false;
    };

    std::vector<Device> devices;
    bool latencyFunctions = true;
    std::vector<std::string> calls;

    std::vector<std::string> takeCalls() { return std::exchange(calls, {}); }
    int openHandles() const
    {
        return static_cast<int>(std::count_if(devices.begin(), devices.end(), [](const Device& d) { return d.open; }));
    }

    FtStatus createDeviceInfoList(std::uint32_t& count) override
    {
        calls.push_back("list");
        count = static_cast<std::uint32_t>(devices.size());
        return ftstatus::kOk;
    }
    FtStatus getDeviceInfoList(FtDeviceListInfoNode* records, std::uint32_t& count) override
    {
        count = std::min<std::uint32_t>(count, static_cast<std::uint32_t>(devices.size()));
        for (std::uint32_t i = 0; i < count; ++i) {
            records[i] = FtDeviceListInfoNode{};
            records[i].Flags = devices[i].flags;
            records[i].ID = devices[i].id;
            std::strncpy(records[i].SerialNumber, devices[i].serial.c_str(), sizeof records[i].SerialNumber - 1);
        }
        return ftstatus::kOk;
    }
    FtStatus open(int index, FtHandle& handle) override
    {
        calls.push_back("open " + std::to_string(index));
        Device& device = devices.at(static_cast<std::size_t>(index));
        if (device.open || (device.flags & kFtFlagOpened) != 0)
            return ftstatus::kDeviceNotOpened;
        device.open = true;
        handle = &device;
        return ftstatus::kOk;
    }
    FtStatus close(FtHandle handle) override
    {
        calls.push_back("close " + indexOf(handle));
        device(handle).open = false;
        return ftstatus::kOk;
    }
    bool hasLatencyTimer() const override { return latencyFunctions; }
    FtStatus getComPortNumber(FtHandle handle, std::int32_t& number) override
    {
        calls.push_back("com " + indexOf(handle));
        number = device(handle).com;
        return ftstatus::kOk;
    }
    FtStatus getLatencyTimer(FtHandle handle, std::uint8_t& milliseconds) override
    {
        calls.push_back("get " + indexOf(handle));
        milliseconds = device(handle).latency;
        return ftstatus::kOk;
    }
    FtStatus setLatencyTimer(FtHandle handle, std::uint8_t milliseconds) override
    {
        calls.push_back("set " + indexOf(handle) + " " + std::to_string(milliseconds));
        if (milliseconds < device(handle).lowest)
            return ftstatus::kInvalidParameter;
        device(handle).latency = milliseconds;
        return ftstatus::kOk;
    }

    // The EEPROM is no business of the latency timer.
    FtStatus eraseEe(FtHandle) override { return unexpected("FT_EraseEE"); }
    FtStatus writeEe(FtHandle, std::uint32_t, std::uint16_t) override { return unexpected("FT_WriteEE"); }
    bool canReadEe() const override { return true; }
    FtStatus readEe(FtHandle, std::uint32_t, std::uint16_t&) override { return unexpected("FT_ReadEE"); }

private:
    Device& device(FtHandle handle)
    {
        Device* found = static_cast<Device*>(handle);
        if (found < devices.data() || found >= devices.data() + devices.size() || !found->open)
            throw std::logic_error("call on a handle that is not open");
        return *found;
    }
    std::string indexOf(FtHandle handle) { return std::to_string(&device(handle) - devices.data()); }
    FtStatus unexpected(const char* call)
    {
        ADD_FAILURE() << call << " called";
        return ftstatus::kOtherError;
    }
};

// The programmer's chip on COM7 and COM8, beside another FTDI device.
std::shared_ptr<RecordingD2xx> bench()
{
    auto d2xx = std::make_shared<RecordingD2xx>();
    d2xx->devices = {{"FT0ABCDE", 5, 0x04036001}, {"TLVX0001A", 7}, {"TLVX0001B", 8}};
    return d2xx;
}

PortInfo programmerPort(const std::string& name, int channel, const std::string& serial = "TLVX0001")
{
    return {name, simusb::ft2232(serial, channel, "Port_#0002.Hub_#0001")};
}

bool keepsDriverSetting(const std::string& line, const std::string& port, const std::string& why)
{
    return line.rfind(port + " keeps the driver's latency setting: ", 0) == 0 && line.find(why) != std::string::npos
        && line.find('\n') == std::string::npos;
}

} // namespace

TEST(D2xxLatency, OneMillisecondWhileHeldOnTheChannelOfThePortAndTheOldValueAfter)
{
    const auto d2xx = bench();
    LatencyRequest request = lowerLatencyTimer(d2xx, programmerPort("COM8", 1));
    ASSERT_NE(request.hold, nullptr);
    EXPECT_EQ(request.logLine, "");
    EXPECT_EQ(request.hold->savedMs(), 16);
    // Only the channel named by serial number and letter is opened, and it
    // is closed again before the COM port is.
    EXPECT_EQ(d2xx->takeCalls(), (std::vector<std::string>{"list", "open 2", "com 2", "get 2", "set 2 1", "close 2"}));
    EXPECT_EQ(d2xx->devices[2].latency, 1);
    EXPECT_EQ(d2xx->devices[1].latency, 16);
    EXPECT_EQ(d2xx->openHandles(), 0);

    request.hold.reset(); // the COM port has closed
    EXPECT_EQ(d2xx->takeCalls(), (std::vector<std::string>{"list", "open 2", "com 2", "set 2 16", "close 2"}));
    EXPECT_EQ(d2xx->devices[2].latency, 16);
    EXPECT_EQ(d2xx->openHandles(), 0);
}

TEST(D2xxLatency, PortsThatKeepTheDriversSettingSaySoInOneLineAndTouchNothing)
{
    // No library at all.
    const LatencyRequest absent = lowerLatencyTimer(nullptr, programmerPort("COM7", 0));
    EXPECT_EQ(absent.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(absent.logLine, "COM7", "is not loaded")) << absent.logLine;

    // A library without the latency entry points.
    auto old = bench();
    old->latencyFunctions = false;
    const LatencyRequest lacking = lowerLatencyTimer(old, programmerPort("COM7", 0));
    EXPECT_EQ(lacking.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(lacking.logLine, "COM7", "FT_SetLatencyTimer")) << lacking.logLine;
    EXPECT_TRUE(old->takeCalls().empty());

    // The chip is there, but D2XX gives its channel another COM number.
    auto moved = bench();
    const LatencyRequest unmatched = lowerLatencyTimer(moved, programmerPort("COM12", 0));
    EXPECT_EQ(unmatched.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(unmatched.logLine, "COM12", "no FTDI D2XX device TLVX0001A could be opened as COM12"))
        << unmatched.logLine;
    EXPECT_EQ(moved->devices[1].latency, 16);
    EXPECT_EQ(moved->openHandles(), 0);

    // Another program holds the channel through D2XX: it is not even tried.
    auto held = bench();
    held->devices[1].flags = kFtFlagOpened;
    const LatencyRequest busy = lowerLatencyTimer(held, programmerPort("COM7", 0));
    EXPECT_EQ(busy.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(busy.logLine, "COM7", "TLVX0001A")) << busy.logLine;
    EXPECT_EQ(held->takeCalls(), std::vector<std::string>{"list"});
}

TEST(D2xxLatency, OtherPortsAndLowTimersAreLeftAloneWithoutALine)
{
    const auto d2xx = bench();
    const LatencyRequest bridge = lowerLatencyTimer(d2xx, {"COM9", simusb::cp210x("0001", "Port_#0003.Hub_#0001")});
    const LatencyRequest uart = lowerLatencyTimer(d2xx, {"COM1", std::nullopt});
    const LatencyRequest notCom = lowerLatencyTimer(d2xx, programmerPort("\\\\.\\pipe\\x", 0));
    for (const LatencyRequest* request : {&bridge, &uart, &notCom}) {
        EXPECT_EQ(request->hold, nullptr);
        EXPECT_EQ(request->logLine, "");
    }
    EXPECT_TRUE(d2xx->takeCalls().empty());

    d2xx->devices[1].latency = 1; // the user set it in Device Manager
    const LatencyRequest already = lowerLatencyTimer(d2xx, programmerPort("COM7", 0));
    EXPECT_EQ(already.hold, nullptr);
    EXPECT_EQ(already.logLine, "");
    EXPECT_EQ(d2xx->takeCalls(), (std::vector<std::string>{"list", "open 1", "com 1", "get 1", "close 1"}));
}

TEST(D2xxLatency, LibraryThatRefusesOneMillisecondGetsTwo)
{
    const auto d2xx = bench();
    d2xx->devices[1].lowest = 2;
    LatencyRequest request = lowerLatencyTimer(d2xx, programmerPort("COM7", 0));
    ASSERT_NE(request.hold, nullptr) << request.logLine;
    EXPECT_EQ(d2xx->devices[1].latency, 2);
    request.hold.reset();
    EXPECT_EQ(d2xx->devices[1].latency, 16);

    d2xx->devices[1].lowest = 255;
    const LatencyRequest refused = lowerLatencyTimer(d2xx, programmerPort("COM7", 0));
    EXPECT_EQ(refused.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(refused.logLine, "COM7", "FT_SetLatencyTimer answered FT_INVALID_PARAMETER"))
        << refused.logLine;
    EXPECT_EQ(d2xx->openHandles(), 0);
}

TEST(D2xxLatency, ChipWithoutSerialNumberIsFoundByItsComNumberAmongFtdiDevices)
{
    auto d2xx = std::make_shared<RecordingD2xx>();
    d2xx->devices = {{"", 3, 0x10c4ea60}, {"", 4, 0x04036010, kFtFlagOpened}, {"", 5}, {"", 6}};
    LatencyRequest request = lowerLatencyTimer(d2xx, programmerPort("COM6", 1, ""));
    ASSERT_NE(request.hold, nullptr) << request.logLine;
    // Neither another vendor's device nor one held elsewhere is opened.
    EXPECT_EQ(d2xx->takeCalls(), (std::vector<std::string>{"list", "open 2", "com 2", "close 2", "open 3", "com 3",
                                                           "get 3", "set 3 1", "close 3"}));
    EXPECT_EQ(d2xx->devices[3].latency, 1);
    EXPECT_EQ(d2xx->devices[2].latency, 16);
}

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
// The same through the library loader and the stand-in's C entry points.
TEST(D2xxLatency, StandInLibraryIsSetAndRestoredThroughItsEntryPoints)
{
    test::StandinBench standin;
    standin.addProgrammer("TLVX0001").comPort = {11, 12};
    standin.save();

    const D2xxLoadResult loaded = test::StandinBench::load();
    ASSERT_TRUE(loaded) << loaded.error;
    ASSERT_TRUE(loaded.api->hasLatencyTimer());
    {
        const LatencyRequest request = lowerLatencyTimer(loaded.api, programmerPort("COM11", 0));
        ASSERT_NE(request.hold, nullptr) << request.logLine;
        const Ft2232Chip during = standin.chip(0);
        EXPECT_EQ(during.latency[0], 1);
        EXPECT_FALSE(during.d2xxOpen[0]);
        EXPECT_TRUE(during.latencySets[1].empty());
    }
    const Ft2232Chip after = standin.chip(0);
    EXPECT_EQ(after.latency[0], 16);
    EXPECT_EQ(after.latencySets[0], (std::vector<int>{1, 16}));
    EXPECT_FALSE(after.d2xxOpen[0]);

    // A library from before these entry points still loads, for the EEPROM
    // work, and the port keeps the driver's setting.
    const D2xxLoadResult older = DynamicD2xx::load(TALVEX_FTD2XX_STANDIN_NOLATENCY);
    ASSERT_TRUE(older) << older.error;
    EXPECT_FALSE(older.api->hasLatencyTimer());
    const LatencyRequest lacking = lowerLatencyTimer(older.api, programmerPort("COM11", 0));
    EXPECT_EQ(lacking.hold, nullptr);
    EXPECT_TRUE(keepsDriverSetting(lacking.logLine, "COM11", "lacks FT_GetComPortNumber")) << lacking.logLine;
    EXPECT_EQ(standin.chip(0).latencySets[0], (std::vector<int>{1, 16}));
}
#endif

#include "batch/ProgrammerSearch.h"
#include "common/LockstepClock.h"
#include "sim/SimEndpoints.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <gtest/gtest.h>

#include <thread>

namespace talvex::test {
namespace {

constexpr const char* kSerialA = "0123456789ABCDEF0123456789ABCDEF";
constexpr const char* kSerialB = "FEDCBA9876543210FEDCBA9876543210";

TEST(ProgrammerSearch, PortsWithoutUsbIdentityArePairedByTheSerialTheyAnswer)
{
    LockstepClock clock;
    SimulatedPortHost host(clock, 12);
    SimulatedProgrammer first(SpeedVariant::Normal, kSerialA);
    SimulatedProgrammer second(SpeedVariant::LowSpeed2, kSerialB);
    // Listed as COM1..COM12; reader 2 before reader 1 for the second.
    first.attachTo(host, "COM2", "COM3");
    second.attachTo(host, "COM8", "COM5");
    host.attach("COM10", std::make_shared<SilentEndpoint>());

    const std::vector<FoundProgrammer> found = findProgrammers(host, clock, {});
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].portsText(), "COM2/COM3");
    EXPECT_EQ(found[0].serialNumber, kSerialA);
    EXPECT_EQ(found[0].firmwareVersion, "1.10");
    EXPECT_EQ(found[1].portsText(), "COM8/COM5");
    EXPECT_EQ(found[1].serialNumber, kSerialB);
    EXPECT_EQ(found[1].variant, SpeedVariant::LowSpeed2);
    EXPECT_FALSE(found[1].usb);
}

TEST(ProgrammerSearch, AnFtdiProgrammerLeavesOtherDevicesAloneUnlessTheyAreNamed)
{
    LockstepClock clock;
    SimulatedPortHost host(clock, 12);
    SimulatedProgrammer programmer(SpeedVariant::Normal, kSerialA);
    programmer.attachTo(host, "COM7", "COM8");
    host.setUsbIdentity("COM7", simusb::ft2232("FT1", 0, "1-4"));
    host.setUsbIdentity("COM8", simusb::ft2232("FT1", 1, "1-4"));
    host.attach("COM1", std::make_shared<SilentEndpoint>());
    host.setUsbIdentity("COM1", simusb::cp210x("CP1", "1-2"));

    std::vector<FoundProgrammer> found = findProgrammers(host, clock, {});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].portsText(), "COM7/COM8");
    EXPECT_EQ(host.openAttempts("COM1"), 0) << "an Arduino must not be reset";
    EXPECT_EQ(host.openAttempts("COM8"), 0);

    // Named ports are all tried, listed or not, in the order given.
    found = findProgrammers(host, clock, {{"COM1", "COM7", "COM20"}, 1000, {}});
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].reader1Port, "COM7");
    EXPECT_GT(host.openAttempts("COM1"), 0);
    EXPECT_GT(host.openAttempts("COM20"), 0);
}

TEST(ProgrammerSearch, AReplugFindsEachProgrammerAtItsSocketFirst)
{
    LockstepClock clock;
    SimulatedPortHost host(clock, 12);
    // Two chips without serial numbers, at sockets 1-1 and 1-2.
    host.setUsbIdentity("COM3", simusb::ft2232("", 0, "1-1"));
    host.setUsbIdentity("COM5", simusb::ft2232("", 0, "1-2"));
    const UsbIdentity first = simusb::ft2232("", 0, "1-1");
    const UsbIdentity second = simusb::ft2232("", 0, "1-2");
    // Plugged in again the other way round: the system numbers them anew.
    host.setUsbIdentity("COM3", second);
    host.setUsbIdentity("COM5", first);
    EXPECT_EQ(portOfUsbIdentity(host, first, "COM3"), "COM5");
    EXPECT_EQ(portOfUsbIdentity(host, second, "COM5"), "COM3");
    // Where the socket is not known, the serial number still finds it.
    host.setUsbIdentity("COM7", simusb::ft2232("TLVX0007", 0, "1-3"));
    EXPECT_EQ(portOfUsbIdentity(host, simusb::ft2232("TLVX0007", 0, ""), "COM1"), "COM7");
}

TEST(LockstepClock, ThreadsSeeOneTimelineAndTimeWaitsForTheSlowest)
{
    LockstepClock clock;
    std::mutex mutex;
    std::vector<std::pair<char, long long>> seen;
    const auto worker = [&](char name, int stepMs, int steps) {
        clock.threadStarted();
        for (int i = 0; i < steps; ++i) {
            clock.sleepMs(stepMs);
            std::lock_guard lock(mutex);
            seen.emplace_back(name, static_cast<long long>(clock.now().count() / 1000));
        }
        clock.threadEnded();
    };
    clock.admitThreads(2);
    std::thread a(worker, 'a', 10, 3);
    std::thread b(worker, 'b', 25, 1);
    a.join();
    b.join();
    // Each woke at its own time, never later: the run is the timeline.
    const std::vector<std::pair<char, long long>> expected {{'a', 10}, {'a', 20}, {'b', 25}, {'a', 30}};
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(clock.now(), Micros(30000));
    // A thread not admitted waits alone.
    clock.sleepMs(5);
    EXPECT_EQ(clock.now(), Micros(35000));
}

} // namespace
} // namespace talvex::test

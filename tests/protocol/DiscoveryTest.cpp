#include "protocol/Discovery.h"
#include "support/SimBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using Bytes = std::vector<std::uint8_t>;

namespace {

const std::string kSerialA = "0123456789ABCDEF0123456789ABCDEF";
const std::string kSerialB = "FEDCBA9876543210FEDCBA9876543210";

Bytes bootAnswerOfLength(std::size_t length)
{
    Bytes answer(length, 0x11);
    answer[0] = 0xA5;
    return answer;
}

} // namespace

TEST(Discovery, ScanFindsBothPortsAmongSilentBusyAndForeignPortsAndStops)
{
    test::SimBench bench;
    bench.addSilent("COM1");
    bench.addSilent("COM2");
    bench.addSilent("COM3");
    bench.host.markBusy("COM3");
    bench.addAnswering("COM4", {'O', 'K', '\r', '\n'});
    bench.addAnswering("COM5", bootAnswerOfLength(22)); // one byte short: no hit
    bench.addAnswering("COM6", Bytes(5000, 0xC1));      // talks far too much
    auto device = bench.addProgrammer("COM7", "COM8");
    device->setFirmwareVersion(1, 0x0A);
    device->setCardPresent(1, true);
    bench.addProgrammer("COM20", "COM21", SpeedVariant::Normal, kSerialB);

    DetectionResults& results = bench.context.detection();
    auto env = bench.discovery();
    detectProgrammer(env, results);

    EXPECT_EQ(results.reader1Port, "COM7");
    EXPECT_EQ(results.reader2Port, "COM8");
    EXPECT_EQ(results.serialNumber, kSerialA);
    EXPECT_EQ(results.versionDigits, "10A");
    EXPECT_EQ(results.versionText, "1.10");
    EXPECT_EQ(results.versionNumber, 110);
    EXPECT_FALSE(results.bootLoader);
    EXPECT_EQ(results.variant, SpeedVariant::Normal);
    EXPECT_EQ(results.answerText.size(), 64u);
    // It stopped at the second port: nothing after COM8 was touched.
    EXPECT_EQ(bench.host.openCount("COM8"), 1);
    EXPECT_EQ(bench.host.openCount("COM20"), 0);
    EXPECT_FALSE(bench.context.ports().a.isOpen());
    // Identification, then the identity asked twice on each port.
    const auto commands = device->receivedCommands();
    ASSERT_EQ(commands.size(), 6u);
    EXPECT_EQ(commands[0].bytes, Bytes{0xA5});
    EXPECT_EQ(commands[1].bytes, Bytes{0x00});
    EXPECT_EQ(commands[2].bytes, Bytes{0x00});
}

TEST(Discovery, ScanOfAllPortsRunsInVirtualTime)
{
    test::SimBench bench;
    for (int n = 1; n <= 254; ++n) {
        if (n != 7 && n != 8)
            bench.addSilent("COM" + std::to_string(n));
    }
    bench.addProgrammer("COM7", "COM8");
    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    // Every port opens, so the scan reaches past the device only if it
    // fails to stop; with the device on 7/8 it must stop there.
    scanForProgrammer(env, results, SpeedVariant::Normal);
    EXPECT_EQ(results.reader1Port, "COM7");
    EXPECT_EQ(results.reader2Port, "COM8");
    EXPECT_EQ(bench.host.openCount("COM9"), 0);

    // A device placed last makes the scan visit every port.
    test::SimBench full;
    for (int n = 1; n <= 252; ++n)
        full.addSilent("COM" + std::to_string(n));
    full.addProgrammer("COM253", "COM254");
    auto fullEnv = full.discovery();
    scanForProgrammer(fullEnv, full.context.detection(), SpeedVariant::Normal);
    EXPECT_EQ(full.context.detection().reader1Port, "COM253");
    EXPECT_EQ(full.context.detection().reader2Port, "COM254");
    EXPECT_EQ(full.host.openCount("COM1"), 1);
    // Each silent port costs its line preparation and pauses: minutes
    // of device time, taken in virtual time.
    EXPECT_GT(full.clock.slept(), Millis(252 * 3000));
}

TEST(Discovery, ADifferentSecondDeviceTakesOverTheSerialNumber)
{
    test::SimBench bench;
    auto first = std::make_shared<SimulatedProgrammer>(SpeedVariant::Normal, kSerialA);
    bench.devices.push_back(first);
    bench.host.attach("COM3", first->reader(1));
    bench.addProgrammer("COM5", "COM6", SpeedVariant::Normal, kSerialB);

    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    scanForProgrammer(env, results, SpeedVariant::Normal);
    EXPECT_EQ(results.serialNumber, kSerialB);
    EXPECT_EQ(results.reader1Port, "COM3");
    EXPECT_EQ(results.reader2Port, "COM6");
    EXPECT_EQ(bench.host.openCount("COM6"), 1);
}

TEST(Discovery, BootLoaderIsAlwaysReaderOne)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM9", "COM4");
    device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    device->setFirmwareVersion(1, 0x05);
    // This boot loader calls itself reader 2.
    device->setAnswerFilter([](const auto&, Bytes answer) {
        if (answer.size() > 1)
            answer[1] = 0x02;
        return answer;
    });

    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    detectProgrammer(env, results);
    EXPECT_TRUE(results.bootLoader);
    EXPECT_EQ(results.reader1Port, "COM9");
    EXPECT_EQ(results.reader2Port, "");
    EXPECT_EQ(results.serialNumber, kSerialA);
    EXPECT_EQ(results.versionDigits, "105");
    // The boot path leaves the version text to the caller.
    EXPECT_EQ(results.versionText, "");
    EXPECT_EQ(results.variant, SpeedVariant::Normal);
}

TEST(Discovery, LowSpeedBuildIgnoresTheWrongLineSequence)
{
    // A second-variant build scanned with the first variant's sequence
    // stays silent: the variants are told apart by lines, not only speed.
    test::SimBench bench;
    bench.addProgrammer("COM3", "COM4", SpeedVariant::LowSpeed2);
    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    scanForProgrammer(env, results, SpeedVariant::LowSpeed1);
    EXPECT_TRUE(results.serialNumber.empty());
    scanForProgrammer(env, results, SpeedVariant::LowSpeed2);
    EXPECT_EQ(results.serialNumber, kSerialA);
}

TEST(Discovery, NoPortAndNoProgrammer)
{
    test::SimBench bench;
    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    detectProgrammer(env, results);
    EXPECT_EQ(results.reader1Port, kNoPortText);
    EXPECT_TRUE(enumeratePorts(env, true, SpeedVariant::Normal, 1000).empty());

    test::SimBench quiet;
    quiet.addSilent("COM1");
    auto quietEnv = quiet.discovery();
    DetectionResults& quietResults = quiet.context.detection();
    detectProgrammer(quietEnv, quietResults);
    EXPECT_EQ(quietResults.reader1Port, "");
    EXPECT_TRUE(quietResults.serialNumber.empty());
    EXPECT_FALSE(quietResults.bootLoader);
    // All three speeds were tried.
    EXPECT_EQ(quiet.host.openCount("COM1"), 3);
}

TEST(Discovery, EnumerationProbesEachPortWithCardPresence)
{
    test::SimBench bench;
    bench.addSilent("COM2");
    bench.addSilent("COM3");
    bench.host.markBusy("COM3");
    auto app = bench.addProgrammer("COM7", "COM8");
    app->setCardPresent(1, true);
    auto boot = bench.addProgrammer("COM10", "COM11", SpeedVariant::Normal, kSerialB);
    boot->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    boot->setCardPresent(1, true);

    int pumps = 0;
    bench.context.setPump([&] { ++pumps; });
    auto env = bench.discovery();
    const auto ports = manualScan(env, bench.context.detection());

    ASSERT_EQ(ports.size(), 5u);
    EXPECT_EQ(ports[0].name, "COM2");
    EXPECT_EQ(ports[0].probe, ProbeResult::NoProgrammer);
    EXPECT_EQ(ports[1].name, "COM7");
    EXPECT_EQ(ports[1].probe, ProbeResult::ApplicationWithCard);
    EXPECT_EQ(ports[2].name, "COM8");
    EXPECT_EQ(ports[2].probe, ProbeResult::Application);
    EXPECT_EQ(ports[3].name, "COM10");
    EXPECT_EQ(ports[3].probe, ProbeResult::BootLoaderWithCard);
    EXPECT_EQ(ports[4].probe, ProbeResult::NoProgrammer); // the boot loader listens on reader 1 only
    EXPECT_EQ(pumps, 254);
    EXPECT_EQ(bench.context.detection().variant, SpeedVariant::Normal);
    EXPECT_FALSE(bench.context.ports().a.isOpen());
}

TEST(Discovery, ManualScanFallsBackToTheLowSpeedVariants)
{
    test::SimBench bench;
    bench.addProgrammer("COM5", "COM6", SpeedVariant::LowSpeed2);
    auto env = bench.discovery();
    const auto ports = manualScan(env, bench.context.detection());
    ASSERT_EQ(ports.size(), 2u);
    EXPECT_EQ(ports[0].probe, ProbeResult::Application);
    EXPECT_EQ(bench.context.detection().variant, SpeedVariant::LowSpeed2);
    EXPECT_EQ(bench.host.openCount("COM5"), 3);
}

TEST(Discovery, SearchOnTheSelectedPort)
{
    test::SimBench bench;
    bench.addSilent("COM1");
    bench.addProgrammer("COM7", "COM8");
    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    const std::vector<std::string> listed{"COM1", "COM7", "COM8"};

    EXPECT_EQ(searchSelectedPort(env, results, {}, std::nullopt), kNoPortText);
    EXPECT_FALSE(searchSelectedPort(env, results, listed, std::nullopt).has_value());
    EXPECT_EQ(bench.host.openCount("COM1"), 0);

    EXPECT_EQ(searchSelectedPort(env, results, listed, 2), "2");
    EXPECT_EQ(results.serialNumber, kSerialA);
    EXPECT_EQ(results.versionDigits, "10A");
    EXPECT_FALSE(results.bootLoader);
    EXPECT_FALSE(bench.context.ports().a.isOpen());

    EXPECT_EQ(searchSelectedPort(env, results, listed, 0), kNoProgrammerText);
    EXPECT_TRUE(results.serialNumber.empty());
}

TEST(Discovery, IdentifyAndSearchOnTheOpenPort)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM7", "COM8");
    device->setFirmwareVersion(1, 0x05);
    PortSlot& port = bench.context.ports().a;
    ASSERT_TRUE(port.open(bench.host, "COM8", kNormalMode));

    const IdentifyResult identity = identify(port, bench.clock, SpeedVariant::Normal, 1000);
    EXPECT_EQ(identity.mode, ProgrammerMode::Application);
    EXPECT_EQ(identity.fields.serialNumber, kSerialA);
    EXPECT_EQ(identity.fields.readerDigit, '2');
    EXPECT_EQ(identity.versionText, "1.05");
    EXPECT_TRUE(port.isOpen());

    IdentityFields fields;
    EXPECT_EQ(searchOpenPort(port, bench.clock, 1000, fields), "2");
    EXPECT_EQ(fields.serialNumber, kSerialA);

    device->setSilent(true);
    EXPECT_EQ(identify(port, bench.clock, SpeedVariant::Normal, 1000).mode, ProgrammerMode::None);
    EXPECT_EQ(searchOpenPort(port, bench.clock, 1000, fields), kNoProgrammerText);
}

TEST(Discovery, ShortOrVanishingAnswersAreNoProgrammer)
{
    test::SimBench bench;
    auto device = bench.addProgrammer("COM7", "COM8");
    // The identity comes back one byte short on every port.
    device->setAnswerFilter([](const SimulatedProgrammer::ReceivedCommand& command, Bytes answer) {
        if (command.bytes[0] == 0x00)
            answer.pop_back();
        return answer;
    });
    auto env = bench.discovery();
    DetectionResults& results = bench.context.detection();
    detectProgrammer(env, results);
    EXPECT_TRUE(results.serialNumber.empty());

    // Unplugged in the middle of its answer: the read ends, nothing is found.
    test::SimBench gone;
    auto leaving = gone.addProgrammer("COM7", "COM8");
    leaving->setAnswerFilter([&](const auto&, Bytes answer) {
        gone.clock.at(gone.clock.now() + Millis(6), [&] { leaving->setPlugged(false); });
        return answer;
    });
    auto goneEnv = gone.discovery();
    detectProgrammer(goneEnv, gone.context.detection());
    EXPECT_TRUE(gone.context.detection().serialNumber.empty());
}

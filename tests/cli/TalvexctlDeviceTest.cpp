// talvexctl against the simulated programmer in virtual time: detection,
// identification, reading and writing each build's settings, and the
// exit codes of a device that refuses, a port that will not open and a
// port with nothing behind it.

#include "cli/CliBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

constexpr const char* kSerial = "00112233445566778899AABBCCDDEEFF";

// A programmer of one build behind an FT2232 on COM3/COM4, a built-in
// UART on COM1.
struct DeviceBench : CliBench {
    std::shared_ptr<SimulatedProgrammer> device;

    explicit DeviceBench(SpeedVariant variant = SpeedVariant::Normal)
        : device(sim.addFtdiProgrammer("COM3", "COM4", variant, kSerial))
    {
        sim.addSilent("COM1");
        device->setFirmwareVersion(2, 0x05);
    }

    // Short identification waits: the simulated device answers at once.
    CliResult call(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), {"--answer-delay", "150"});
        return run(arguments);
    }
};

} // namespace

TEST(TalvexctlDiscovery, DetectAndPortsReportWhatAnsweredWhere)
{
    DeviceBench bench;
    bench.device->setCardPresent(1, true);

    const CliResult detect = bench.call({"detect"});
    EXPECT_EQ(detect.status, 0) << detect.err;
    EXPECT_EQ(detect.out,
              "mode: application\nserial: 00112233445566778899AABBCCDDEEFF\nversion: 2.05\n"
              "reader1-port: COM3\nreader2-port: COM4\nvariant: normal\n");

    const CliResult json = bench.call({"detect", "--json"});
    EXPECT_EQ(json.out,
              "{\"mode\":\"application\",\"serialNumber\":\"00112233445566778899AABBCCDDEEFF\","
              "\"version\":\"2.05\",\"reader1Port\":\"COM3\",\"reader2Port\":\"COM4\",\"variant\":\"normal\"}\n");

    const CliResult ports = bench.call({"ports"});
    EXPECT_EQ(ports.status, 0) << ports.err;
    EXPECT_EQ(ports.out,
              "COM1\t-\tno programmer\n"
              "COM3\tFT2232 0403:6010 TLVX0001A\tapplication, card inserted\n"
              "COM4\tFT2232 0403:6010 TLVX0001B\tapplication\n");
    const CliResult portsJson = bench.call({"ports", "--json"});
    EXPECT_EQ(portsJson.out,
              "[{\"port\":\"COM1\",\"usb\":null,\"programmer\":null,\"card\":false},"
              "{\"port\":\"COM3\",\"usb\":{\"description\":\"FT2232 0403:6010 TLVX0001A\",\"vendorId\":\"0403\","
              "\"productId\":\"6010\",\"serial\":\"TLVX0001\",\"interface\":0,\"manufacturer\":\"FTDI\","
              "\"product\":\"TalvexUSB\",\"location\":\"1-4\"},\"programmer\":\"application\",\"card\":true},"
              "{\"port\":\"COM4\",\"usb\":{\"description\":\"FT2232 0403:6010 TLVX0001B\",\"vendorId\":\"0403\","
              "\"productId\":\"6010\",\"serial\":\"TLVX0001\",\"interface\":1,\"manufacturer\":\"FTDI\","
              "\"product\":\"TalvexUSB\",\"location\":\"1-4\"},\"programmer\":\"application\",\"card\":false}]\n");
}

TEST(TalvexctlDiscovery, TheBootLoaderAndTheLowSpeedBuildsAreFoundToo)
{
    DeviceBench boot;
    boot.device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    const CliResult detected = boot.call({"detect"});
    EXPECT_EQ(detected.status, 0) << detected.err;
    EXPECT_TRUE(contains(detected.out, "mode: boot loader\n"));
    EXPECT_TRUE(contains(detected.out, "reader1-port: COM3\n"));

    DeviceBench uniprog(SpeedVariant::LowSpeed2);
    const CliResult found = uniprog.call({"detect", "--json"});
    EXPECT_EQ(found.status, 0) << found.err;
    EXPECT_TRUE(contains(found.out, "\"variant\":\"low2\""));
}

TEST(TalvexctlDiscovery, NothingToFindIsExitThree)
{
    CliBench silent;
    silent.sim.addSilent("COM1");
    const CliResult detect = silent.run({"--answer-delay", "150", "detect"});
    EXPECT_EQ(detect.status, 3);
    EXPECT_EQ(detect.out, "");
    EXPECT_TRUE(contains(detect.err, "talvexctl: detect: no programmer found"));
    const CliResult ports = silent.run({"--answer-delay", "150", "ports"});
    EXPECT_EQ(ports.status, 3);
    EXPECT_EQ(ports.out, "COM1\t-\tno programmer\n");

    CliBench empty;
    const CliResult none = empty.run({"detect"});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(contains(none.err, "no serial port could be opened"));
}

TEST(TalvexctlInfo, IdentifiesTheDeviceOnOnePortWithTheWindowsLogLines)
{
    DeviceBench bench;
    const CliResult info = bench.call({"info", "--port", "COM4"});
    EXPECT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(info.out,
              "port: COM4\nmode: application\nserial: 00112233445566778899AABBCCDDEEFF\nversion: 2.05\n"
              "reader: 2\nvariant: normal\n");
    EXPECT_EQ(info.err,
              "Attempting to open COM Port...\nCOM4 Port opened successfully!\nProgrammer in PROGRAM mode.\n");

    const CliResult quiet = bench.call({"-q", "info", "--port", "COM3", "--json"});
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.out,
              "{\"port\":\"COM3\",\"mode\":\"application\",\"serialNumber\":"
              "\"00112233445566778899AABBCCDDEEFF\",\"version\":\"2.05\",\"reader\":1,\"variant\":\"normal\"}\n");

    bench.device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    const CliResult boot = bench.call({"info", "--port", "COM3"});
    EXPECT_EQ(boot.status, 0);
    EXPECT_TRUE(contains(boot.out, "mode: boot loader\n"));
    EXPECT_FALSE(contains(boot.out, "reader:"));
    EXPECT_TRUE(contains(boot.err, "Programmer in BOOT mode.\nOnly firmware upload allowed !\n"));

    // The Phoenix build answers the second try, and counts its readers from 0.
    DeviceBench phoenix(SpeedVariant::LowSpeed1);
    const CliResult low = phoenix.call({"info", "--port", "COM4"});
    EXPECT_EQ(low.status, 0) << low.err;
    EXPECT_TRUE(contains(low.out, "reader: 2\nvariant: low1\n"));
}

TEST(TalvexctlSettings, NormalBuildWritesShowInTheNextRead)
{
    DeviceBench bench;
    const CliResult before = bench.call({"settings", "--port", "COM3"});
    EXPECT_EQ(before.status, 0) << before.err;
    EXPECT_EQ(before.out, "reader: 1\nclock: 4.00 MHz\nspeed: 115200\nparity: none\nadded-stop-bits: 0\n");

    const CliResult clock = bench.call({"set", "clock", "--port", "COM3", "8"});
    EXPECT_EQ(clock.status, 0) << clock.err;
    EXPECT_EQ(clock.out, "Clock set OK !\n");
    const CliResult port = bench.call(
        {"set", "card-port", "--port", "COM3", "--speed", "38400", "--parity", "even", "--stop-bits", "2"});
    EXPECT_EQ(port.status, 0) << port.err;
    EXPECT_EQ(port.out, "SmartCard Speed set OK !\n");

    const CliResult after = bench.call({"settings", "--port", "COM3", "--json"});
    EXPECT_EQ(after.out,
              "{\"port\":\"COM3\",\"variant\":\"normal\",\"reader\":1,\"clockMHz\":\"8.00\","
              "\"speed\":\"38400\",\"parity\":\"even\",\"addedStopBits\":2}\n");
    // The reader is the port's: reader 2 kept its settings.
    EXPECT_EQ(bench.device->readerSettings(2), SimulatedProgrammer::ReaderSettings {});

    // Only the parity given: the speed and stop bits stay as the device has them.
    EXPECT_EQ(bench.call({"set", "card-port", "--port", "COM4", "--parity", "odd"}).status, 0);
    EXPECT_EQ(bench.device->readerSettings(2), (SimulatedProgrammer::ReaderSettings {4000000, 0x02, 0x01, 0x00}));

    EXPECT_NE(bench.device->savedSettings(), bench.device->settings());
    const CliResult save = bench.call({"save", "--port", "COM3"});
    EXPECT_EQ(save.out, "OK, setting stored in flash memory.\n");
    EXPECT_EQ(bench.device->savedSettings(), bench.device->settings());

    const CliResult restore = bench.call({"restore-default", "--port", "COM4"});
    EXPECT_EQ(restore.out, "OK, setting set to factory default.\n");
    EXPECT_EQ(bench.call({"settings", "--port", "COM3"}).out, before.out);
}

TEST(TalvexctlSettings, AdvancedModeSendsTheListsInTheDevicesOrder)
{
    DeviceBench bench;
    const CliResult atr = bench.call({"set", "advanced", "--port", "COM3", "--mode", "atr-115200", "--com1-clock",
                                      "8.00 MHz", "--com1-speed", "38400", "--com1-parity", "Odd", "--com2-clock",
                                      "default", "--com2-speed", "115200", "--com2-parity", "none"});
    EXPECT_EQ(atr.status, 0) << atr.err;
    EXPECT_EQ(atr.out, "Talvex set mode OK !\n");
    EXPECT_EQ(bench.device->settings().advancedFields,
              (std::vector<std::uint8_t> {0x00, 0x00, 0x05, 0x01, 0x01, 0x01, 0xFF, 0x00, 0x02}));

    const CliResult debug = bench.call({"set", "advanced", "--port", "COM3", "--mode", "debug", "--debug-parity",
                                        "even", "--debug-speed", "9600", "--debug-stop-bits", "default"});
    EXPECT_EQ(debug.status, 0) << debug.err;
    EXPECT_EQ(bench.device->settings().advancedFields, (std::vector<std::uint8_t> {0x02, 0x02, 0x00, 0xFF}));
}

TEST(TalvexctlSettings, PhoenixAndUniprogBuildsHaveTheirOwnCommands)
{
    DeviceBench phoenix(SpeedVariant::LowSpeed1);
    EXPECT_EQ(phoenix.call({"settings", "--port", "COM3"}).out, "reader: 1\nclock: 4.00 MHz\n");
    const CliResult clock = phoenix.call({"set", "phoenix-clock", "--port", "COM3", "3.572"});
    EXPECT_EQ(clock.status, 0) << clock.err;
    EXPECT_EQ(clock.out, "Clock set OK !\n");
    EXPECT_EQ(phoenix.device->readerSettings(1).clockHz, 3572000u);
    EXPECT_EQ(phoenix.call({"settings", "--port", "COM3"}).out, "reader: 1\nclock: 3.572 MHz\n");

    DeviceBench uniprog(SpeedVariant::LowSpeed2);
    const std::string factory = "reader1-clock: default\nreader2-clock: default\nreader1-baud: default\n"
                                "reader2-baud: default\nreader1-baud-com: default\nreader2-baud-com: default\n";
    EXPECT_EQ(uniprog.call({"settings", "--port", "COM4"}).out, factory);
    const CliResult set = uniprog.call({"set", "uniprog", "--port", "COM4", "--clock1", "6", "--baud-com2", "38400"});
    EXPECT_EQ(set.status, 0) << set.err;
    EXPECT_EQ(set.out, "Talvex set parameters OK !\n");
    EXPECT_TRUE(contains(set.err, "Talvex get parameters OK !\n"));
    EXPECT_EQ(uniprog.device->settings().uniprog, (UniprogCodes {0x05, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}));
    EXPECT_EQ(uniprog.call({"settings", "--port", "COM4", "--json"}).out,
              "{\"port\":\"COM4\",\"variant\":\"low2\",\"reader1-clock\":\"6.00\",\"reader2-clock\":\"default\","
              "\"reader1-baud\":\"default\",\"reader2-baud\":\"default\",\"reader1-baud-com\":\"default\","
              "\"reader2-baud-com\":\"38400\"}\n");
    const CliResult reset = uniprog.call({"factory-reset", "--port", "COM4"});
    EXPECT_EQ(reset.out, "Talvex reset to default !\n");
    EXPECT_EQ(uniprog.call({"settings", "--port", "COM4"}).out, factory);
}

TEST(TalvexctlSettings, RefusalsHaveTheirOwnExitCodes)
{
    DeviceBench bench;
    // The device answers the clock write with its error code.
    bench.device->setAnswerFilter(
        [](const SimulatedProgrammer::ReceivedCommand& command, std::vector<std::uint8_t> answer) {
            if (!command.bytes.empty() && command.bytes[0] == 0x02)
                return std::vector<std::uint8_t> {0x02, 0x01};
            return answer;
        });
    const CliResult refused = bench.call({"set", "clock", "--port", "COM3", "6"});
    EXPECT_EQ(refused.status, 5);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(contains(refused.err, "Clock set ERROR !\n"));

    const CliResult otherBuild = bench.call({"set", "uniprog", "--port", "COM3", "--clock1", "6"});
    EXPECT_EQ(otherBuild.status, 5);
    EXPECT_TRUE(contains(otherBuild.err, "the programmer on COM3 is the normal build, not the Uniprog build (low2)"));

    bench.sim.host.markBusy("COM3");
    const CliResult busy = bench.call({"info", "--port", "COM3"});
    EXPECT_EQ(busy.status, 4);
    EXPECT_EQ(busy.out, "");
    EXPECT_TRUE(contains(busy.err, "ERROR: COM3 Port open error!\nCOM3: Access is denied (the port is in use).\n"));
    const CliResult missing = bench.call({"-q", "settings", "--port", "COM9"});
    EXPECT_EQ(missing.status, 8);
    EXPECT_TRUE(contains(missing.err, "COM9: The system cannot find the file"));

    const CliResult nothing = bench.call({"info", "--port", "COM1"});
    EXPECT_EQ(nothing.status, 3);
    EXPECT_TRUE(contains(nothing.err, "No Programmer found !\n"));

    bench.sim.host.markBusy("COM3", false);
    bench.device->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    const CliResult boot = bench.call({"save", "--port", "COM3"});
    EXPECT_EQ(boot.status, 5);
    EXPECT_TRUE(contains(boot.err, "runs its boot loader: only a firmware upload is possible"));

    // Pulled out as the clock write goes out, and still out for the next command.
    bench.device->setFirmware(SimulatedProgrammer::Firmware::Application);
    bench.device->setAnswerFilter([device = bench.device.get()](const auto& command, std::vector<std::uint8_t> answer) {
        if (command.bytes.empty() || command.bytes[0] != 0x02)
            return answer;
        device->setPlugged(false);
        return std::vector<std::uint8_t> {};
    });
    const CliResult gone = bench.call({"set", "clock", "--port", "COM3", "6"});
    EXPECT_EQ(gone.status, 8);
    EXPECT_TRUE(contains(gone.err, "Clock set ERROR !\nThe programmer on COM3 is gone (unplugged?)")) << gone.err;
    const CliResult stillGone = bench.call({"save", "--port", "COM3"});
    EXPECT_EQ(stillGone.status, 8);
    EXPECT_TRUE(contains(stillGone.err, "The programmer on COM3 is gone (unplugged?)")) << stillGone.err;
}

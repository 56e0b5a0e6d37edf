// Detection by USB identity: the ports of FTDI chips are tried first, one
// chip's interfaces together and A first, and the host's other devices are
// left alone once the programmer answered there; without an answer the
// scan goes on over every other port as before.

#include "protocol/Discovery.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::TraceBench;
using Strings = std::vector<std::string>;

namespace {

const std::string kSerial = "0123456789ABCDEF0123456789ABCDEF";

// A host such as a bench PC: a built-in UART, a CP210x bridge, an Arduino
// board, another FT2232 adapter, and the programmer, whose interface B
// got the lower COM number.
struct MixedHost : TraceBench {
    std::shared_ptr<SimulatedProgrammer> device;

    explicit MixedHost(SpeedVariant variant = SpeedVariant::Normal)
        : TraceBench(7)
    {
        addSilent("COM1", std::nullopt);
        addSilent("COM2", simusb::cp210x("0001", "1-1"));
        addSilent("COM3", simusb::cdcAcmBoard("85736323838351F0E1A1", "1-2"));
        addSilent("COM4", simusb::ft2232("FT5AB12C", 0, "1-3"));
        addSilent("COM5", simusb::ft2232("FT5AB12C", 1, "1-3"));
        device = addFtdiProgrammer("COM7", "COM6", variant);
    }
};

} // namespace

TEST(UsbIdentityScan, FtdiChipsFirstTheirInterfacesTogetherAFirstThenTheRestInTheHostsOrder)
{
    const std::vector<PortInfo> ports = {
        {"COM1", std::nullopt},
        {"COM2", simusb::ft2232("FT5AB12C", 1, "1-1")},
        {"COM3", simusb::cp210x("0001", "1-2")},
        {"COM4", simusb::ft2232("TLVX0001", 1, "1-3")},
        {"COM5", simusb::ft2232("FT5AB12C", 0, "1-1")},
        {"COM6", simusb::ft2232("TLVX0001", 0, "1-3")},
        {"COM7", simusb::cdcAcmBoard("8573", "1-4")},
        {"COM8", UsbIdentity{kFtdiVendorId, 0x6001, "A50285BI", 0, "FTDI", "FT232R USB UART", "1-5"}},
        // Two chips with blank EEPROMs: no serial, told apart by where they sit.
        {"COM9", simusb::ft2232("", 1, "2-1")},
        {"COM10", simusb::ft2232("", 0, "2-2")},
        {"COM11", simusb::ft2232("", 0, "2-1")},
        {"COM12", UsbIdentity{kFtdiVendorId, 0x6010, "", std::nullopt, "", "", ""}},
    };
    const ScanOrder order = scanOrder(ports);
    EXPECT_EQ(order.ftdi, (Strings{"COM5", "COM2", "COM6", "COM4", "COM8", "COM11", "COM9", "COM10", "COM12"}));
    EXPECT_EQ(order.others, (Strings{"COM1", "COM3", "COM7"}));

    EXPECT_TRUE(scanOrder({}).ftdi.empty());
    const ScanOrder plain = scanOrder({{"COM2", std::nullopt}, {"COM1", std::nullopt}});
    EXPECT_TRUE(plain.ftdi.empty());
    EXPECT_EQ(plain.others, (Strings{"COM2", "COM1"})) << "the host's order, not sorted again";
}

TEST(UsbIdentityScan, DescriptionNamesTheChipItsIdsAndTheSerialWithTheChannel)
{
    EXPECT_EQ(usbDescription(simusb::ft2232("TLVX0001", 0, "1-4", "TalvexUSB")), "FT2232 0403:6010 TLVX0001A");
    EXPECT_EQ(usbDescription(simusb::ft2232("TLVX0001", 1, "1-4")), "FT2232 0403:6010 TLVX0001B");
    EXPECT_EQ(usbDescription(simusb::ft2232("", 1, "1-4")), "FT2232 0403:6010");
    EXPECT_EQ(usbDescription(simusb::cp210x("0001", "1-1")), "CP210x 10c4:ea60 0001");
    EXPECT_EQ(usbDescription(simusb::cdcAcmBoard("8573", "1-2")), "Arduino Uno 2341:0043 8573");
    // A single-channel chip's serial has no letter.
    EXPECT_EQ(usbDescription(UsbIdentity{kFtdiVendorId, 0x6001, "A50285BI", 0, "FTDI", "FT232R USB UART", "1-5"}),
              "FT232 0403:6001 A50285BI");
    EXPECT_EQ(usbDescription(UsbIdentity{0x1234, 0xabcd, "", std::nullopt, "", "", ""}), "1234:abcd");
    EXPECT_EQ(usbDescription(std::nullopt), "");
}

// The programmer answers behind the second FT2232: the other adapter is
// tried first (it is listed first), then interface A, then B; the UART,
// the bridge and the board are never opened. The boot loader listens on
// reader 1 only: interface B stays silent, and still the scan ends there.
TEST(UsbIdentityScan, ProgrammerOnFtdiPortsLeavesEveryOtherPortUnopened)
{
    for (const auto firmware : {SimulatedProgrammer::Firmware::Application, SimulatedProgrammer::Firmware::BootLoader}) {
        const bool boot = firmware == SimulatedProgrammer::Firmware::BootLoader;
        SCOPED_TRACE(boot ? "boot loader" : "application");
        MixedHost host;
        host.device->setFirmware(firmware);
        DiscoveryEnvironment env = host.discovery();
        DetectionResults& results = host.context.detection();

        host.start();
        detectProgrammer(env, results);

        EXPECT_EQ(host.opensTried(), (Strings{"COM4 115200,N,8,1", "COM5 115200,N,8,1", "COM7 115200,N,8,1",
                                              "COM6 115200,N,8,1"}));
        EXPECT_EQ(results.reader1Port, "COM7");
        EXPECT_EQ(results.reader2Port, boot ? "" : "COM6");
        EXPECT_EQ(results.serialNumber, kSerial);
        EXPECT_EQ(results.bootLoader, boot);
        for (const char* other : {"COM1", "COM2", "COM3"})
            EXPECT_EQ(host.sim.openAttempts(other), 0) << other;
    }
}

// A host that does not tell (an older driver, Wine): the programmer sits
// behind ports without a USB identity. The FTDI adapter is tried first,
// then every other port in the host's order, as before.
TEST(UsbIdentityScan, WithoutAnAnswerOnFtdiPortsEveryOtherPortIsScannedInTheHostsOrder)
{
    TraceBench host(6);
    host.addSilent("COM1", std::nullopt);
    host.addProgrammer("COM2", "COM3");
    host.addSilent("COM4", simusb::cp210x("0001", "1-1"));
    host.addSilent("COM5", simusb::ft2232("FT5AB12C", 1, "1-3"));
    host.addSilent("COM6", simusb::ft2232("FT5AB12C", 0, "1-3"));
    DiscoveryEnvironment env = host.discovery();
    DetectionResults& results = host.context.detection();

    host.start();
    detectProgrammer(env, results);

    EXPECT_EQ(host.opensTried(), (Strings{"COM6 115200,N,8,1", "COM5 115200,N,8,1", "COM1 115200,N,8,1",
                                          "COM2 115200,N,8,1", "COM3 115200,N,8,1"}));
    EXPECT_EQ(results.reader1Port, "COM2");
    EXPECT_EQ(results.reader2Port, "COM3");
    EXPECT_EQ(results.serialNumber, kSerial);
}

// A 9600-baud build answers to nothing at 115200: that scan opens every
// port, as before; the low-speed scans try the FTDI ports first again,
// and the one that finds the device there opens nothing else.
TEST(UsbIdentityScan, LowSpeedBuildsAreFoundOnTheFtdiPortsToo)
{
    MixedHost host(SpeedVariant::LowSpeed2);
    DiscoveryEnvironment env = host.discovery();
    DetectionResults& results = host.context.detection();

    host.start();
    detectProgrammer(env, results);

    const std::string normal = " 115200,N,8,1";
    const std::string low = " 9600,N,8,1";
    EXPECT_EQ(host.opensTried(),
              (Strings{"COM4" + normal, "COM5" + normal, "COM7" + normal, "COM6" + normal, "COM1" + normal,
                       "COM2" + normal, "COM3" + normal,
                       "COM4" + low, "COM5" + low, "COM7" + low, "COM6" + low, "COM1" + low, "COM2" + low,
                       "COM3" + low,
                       "COM4" + low, "COM5" + low, "COM7" + low, "COM6" + low}));
    EXPECT_EQ(results.variant, SpeedVariant::LowSpeed2);
    EXPECT_EQ(results.reader1Port, "COM7");
    EXPECT_EQ(results.reader2Port, "COM6");
}

// Two programmers on two FT2232s whose COM numbers interleave: the chip
// listed first is found, both its readers, and the other is not touched.
TEST(UsbIdentityScan, OneChipsInterfacesAreTriedTogether)
{
    TraceBench host(4);
    host.addFtdiProgrammer("COM1", "COM3", SpeedVariant::Normal, "FEDCBA9876543210FEDCBA9876543210", "TLVX0001", "1-5");
    host.addFtdiProgrammer("COM2", "COM4", SpeedVariant::Normal, kSerial, "TLVX0002", "1-6");
    DiscoveryEnvironment env = host.discovery();
    DetectionResults& results = host.context.detection();

    host.start();
    detectProgrammer(env, results);

    EXPECT_EQ(host.opensTried(), (Strings{"COM1 115200,N,8,1", "COM3 115200,N,8,1"}));
    EXPECT_EQ(results.reader1Port, "COM1");
    EXPECT_EQ(results.reader2Port, "COM3");
    EXPECT_EQ(results.serialNumber, "FEDCBA9876543210FEDCBA9876543210");
}

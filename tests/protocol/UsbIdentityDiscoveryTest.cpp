// Ports with their USB identity: the one-line description, and the manual
// scan's listing.

#include "protocol/Discovery.h"
#include "support/TraceBench.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::TraceBench;
using Strings = std::vector<std::string>;

namespace {

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

// The manual scan lists every port that opens in the host's order, each
// with the USB identity the host gave.
TEST(UsbIdentityScan, ManualScanListsEachPortWithItsUsbIdentity)
{
    MixedHost host;
    DiscoveryEnvironment env = host.discovery();

    const std::vector<ProbedPort> ports = manualScan(env, host.context.detection());

    ASSERT_EQ(ports.size(), 7u);
    const Strings descriptions = [&] {
        Strings texts;
        for (const ProbedPort& port : ports)
            texts.push_back(port.name + " " + usbDescription(port.usb));
        return texts;
    }();
    EXPECT_EQ(descriptions,
              (Strings{"COM1 ", "COM2 CP210x 10c4:ea60 0001", "COM3 Arduino Uno 2341:0043 85736323838351F0E1A1",
                       "COM4 FT2232 0403:6010 FT5AB12CA", "COM5 FT2232 0403:6010 FT5AB12CB",
                       "COM6 FT2232 0403:6010 TLVX0001B", "COM7 FT2232 0403:6010 TLVX0001A"}));
    EXPECT_EQ(ports[5].probe, ProbeResult::Application);
    EXPECT_EQ(ports[6].probe, ProbeResult::Application);
    EXPECT_EQ(ports[6].usb, simusb::ft2232("TLVX0001", 0, "1-4", "TalvexUSB"));
}

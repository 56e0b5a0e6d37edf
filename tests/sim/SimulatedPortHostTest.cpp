// The simulated host lists its ports as a real system does: names in
// order, the programmer's two ports as an FT2232's interfaces with what
// the chip read from its EEPROM, other devices as what they are.

#include "common/VirtualClock.h"
#include "sim/SimulatedFtdi.h"
#include "sim/SimulatedPortHost.h"
#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(SimulatedPortHostListing, FtdiChipShowsWhatItReadFromItsEepromWhenPlugged)
{
    VirtualClock clock;
    SimulatedPortHost host(clock, 4);
    auto chip = std::make_shared<SimulatedFtdi>();
    host.attachFtdiChip(chip, "COM3", "COM4");
    host.setUsbIdentity("COM2", simusb::cp210x("0001", "1-1"));

    const std::vector<PortInfo> ports = host.listPorts();
    ASSERT_EQ(ports.size(), 4u);
    EXPECT_EQ(ports[0], (PortInfo{"COM1", std::nullopt}));
    EXPECT_EQ(ports[1], (PortInfo{"COM2", simusb::cp210x("0001", "1-1")}));
    EXPECT_EQ(ports[2], (PortInfo{"COM3", UsbIdentity{0x0403, 0x6010, "TLVX0001", 0, "FTDI", "TalvexUSB", "2-1"}}));
    EXPECT_EQ(ports[3], (PortInfo{"COM4", UsbIdentity{0x0403, 0x6010, "TLVX0001", 1, "FTDI", "TalvexUSB", "2-1"}}));
    EXPECT_EQ(host.candidateNames(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));

    // A new serial number shows only once the chip is plugged in again.
    chip->setEeprom(buildEepromImage("BENCH007"));
    EXPECT_EQ(host.listPorts()[2].usb->serial, "TLVX0001");
    chip->replug();
    EXPECT_EQ(host.listPorts()[2].usb->serial, "BENCH007");
    EXPECT_EQ(host.listPorts()[3].usb->serial, "BENCH007");

    // A blank EEPROM: no serial, the chip's own product name.
    EepromWords blank;
    blank.fill(0xFFFF);
    chip->setEeprom(blank);
    chip->replug();
    EXPECT_EQ(host.listPorts()[3].usb, (UsbIdentity{0x0403, 0x6010, "", 1, "FTDI", "Dual RS232", "2-1"}));

    chip->setPlugged(false);
    EXPECT_FALSE(host.listPorts()[2].usb.has_value());
}

// The POSIX host's port listing through the real libudev, on a sysfs and
// device nodes that umockdev mocks: two FT2232s (the programmer and another
// adapter), a CP210x bridge, an Arduino board on ttyACM and a built-in
// UART.
//
// Runs under umockdev-wrapper (LD_PRELOAD of libumockdev-preload); without
// it the program exits 77, which ctest counts as skipped.

#include "serial/PosixPortHost.h"

#include <gtest/gtest.h>

#include <umockdev.h>

#include <dlfcn.h>

#include <cstdio>

using namespace talvex;

namespace {

// As `udevadm info --export-db` writes devices, which umockdev reads back.
// The programmer's tty devices carry the properties a udev daemon adds; the
// other adapter's only what the kernel shows in sysfs (no daemon running).
// The Arduino's descriptor strings come from udev alone, with '_' for
// blanks. The other FT2232's interface B was probed first.
constexpr const char* kDevices = R"(P: /devices/pci0000:00/0000:00:14.0/usb1/1-1
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=10c4
A: idProduct=ea60
A: serial=0001
A: manufacturer=Silicon Labs
A: product=CP2102 USB to UART Bridge Controller

P: /devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00

P: /devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0
E: SUBSYSTEM=usb-serial

P: /devices/pci0000:00/0000:00:14.0/usb1/1-1/1-1:1.0/ttyUSB0/tty/ttyUSB0
N: ttyUSB0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB0
E: MAJOR=188
E: MINOR=0
A: dev=188:0

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=0403
A: idProduct=6010
A: serial=FT5AB12C
A: manufacturer=FTDI
A: product=Dual RS232-HS

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.1
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=01

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.1/ttyUSB1
E: SUBSYSTEM=usb-serial

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.1/ttyUSB1/tty/ttyUSB1
N: ttyUSB1
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB1
E: MAJOR=188
E: MINOR=1
A: dev=188:1

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB2
E: SUBSYSTEM=usb-serial

P: /devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB2/tty/ttyUSB2
N: ttyUSB2
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB2
E: MAJOR=188
E: MINOR=2
A: dev=188:2

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=0403
A: idProduct=6010
A: serial=TLVX0001
A: manufacturer=FTDI
A: product=TalvexUSB

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB3
E: SUBSYSTEM=usb-serial

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.0/ttyUSB3/tty/ttyUSB3
N: ttyUSB3
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB3
E: MAJOR=188
E: MINOR=3
E: ID_VENDOR=FTDI
E: ID_VENDOR_ID=0403
E: ID_MODEL=TalvexUSB
E: ID_MODEL_ID=6010
E: ID_SERIAL_SHORT=TLVX0001
E: ID_USB_INTERFACE_NUM=00
A: dev=188:3

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.1
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=01

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.1/ttyUSB4
E: SUBSYSTEM=usb-serial

P: /devices/pci0000:00/0000:00:14.0/usb1/1-3/1-3:1.1/ttyUSB4/tty/ttyUSB4
N: ttyUSB4
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyUSB4
E: MAJOR=188
E: MINOR=4
E: ID_VENDOR=FTDI
E: ID_VENDOR_ID=0403
E: ID_MODEL=TalvexUSB
E: ID_MODEL_ID=6010
E: ID_SERIAL_SHORT=TLVX0001
E: ID_USB_INTERFACE_NUM=01
A: dev=188:4

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4
E: SUBSYSTEM=usb
E: DEVTYPE=usb_device
A: idVendor=2341
A: idProduct=0043

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0
E: SUBSYSTEM=usb
E: DEVTYPE=usb_interface
A: bInterfaceNumber=00

P: /devices/pci0000:00/0000:00:14.0/usb1/1-4/1-4:1.0/tty/ttyACM0
N: ttyACM0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyACM0
E: MAJOR=166
E: MINOR=0
E: ID_VENDOR=Arduino_LLC
E: ID_VENDOR_ID=2341
E: ID_MODEL=Arduino_Uno
E: ID_MODEL_ID=0043
E: ID_SERIAL_SHORT=85736323838351F0E1A1
E: ID_USB_INTERFACE_NUM=00
A: dev=166:0

P: /devices/pnp0/00:05/tty/ttyS0
N: ttyS0
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyS0
E: MAJOR=4
E: MINOR=64
A: dev=4:64
A: type=4

P: /devices/platform/serial8250/tty/ttyS1
N: ttyS1
E: SUBSYSTEM=tty
E: DEVNAME=/dev/ttyS1
E: MAJOR=4
E: MINOR=65
A: dev=4:65
A: type=0
)";

// A mocked sysfs and /dev for the test's lifetime.
class MockedHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_testbed = umockdev_testbed_new();
        GError* error = nullptr;
        const bool added = umockdev_testbed_add_from_string(m_testbed, kDevices, &error);
        ASSERT_TRUE(added) << (error ? error->message : "");
    }

    void TearDown() override
    {
        if (m_testbed)
            g_object_unref(m_testbed);
    }

private:
    UMockdevTestbed* m_testbed = nullptr;
};

using UdevListing = MockedHost;

} // namespace

TEST_F(UdevListing, EachPortWithItsUsbIdentityInTheUsualOrder)
{
    PosixPortHost host;
    const std::vector<PortInfo> ports = host.listPorts();

    const std::vector<PortInfo> expected = {
        {"/dev/ttyUSB0",
         UsbIdentity{0x10c4, 0xea60, "0001", 0, "Silicon Labs", "CP2102 USB to UART Bridge Controller", "1-1"}},
        {"/dev/ttyUSB1", UsbIdentity{0x0403, 0x6010, "FT5AB12C", 1, "FTDI", "Dual RS232-HS", "1-2"}},
        {"/dev/ttyUSB2", UsbIdentity{0x0403, 0x6010, "FT5AB12C", 0, "FTDI", "Dual RS232-HS", "1-2"}},
        {"/dev/ttyUSB3", UsbIdentity{0x0403, 0x6010, "TLVX0001", 0, "FTDI", "TalvexUSB", "1-3"}},
        {"/dev/ttyUSB4", UsbIdentity{0x0403, 0x6010, "TLVX0001", 1, "FTDI", "TalvexUSB", "1-3"}},
        {"/dev/ttyACM0", UsbIdentity{0x2341, 0x0043, "85736323838351F0E1A1", 0, "Arduino LLC", "Arduino Uno", "1-4"}},
        // The UART without USB fields; ttyS1 has no UART behind it.
        {"/dev/ttyS0", std::nullopt},
    };
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ports[i].name, expected[i].name);
        EXPECT_EQ(ports[i].usb, expected[i].usb) << ports[i].name;
    }
}

int main(int argc, char** argv)
{
    // umockdev redirects /sys and /dev only for a program it preloads.
    if (!dlopen("libumockdev-preload.so.0", RTLD_NOW | RTLD_NOLOAD)) {
        std::puts("skipped: libumockdev-preload.so.0 is not loaded (run under umockdev-wrapper)");
        return 77;
    }
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

// The POSIX host's port listing through the real libudev, on a sysfs and
// device nodes that umockdev mocks: two FT2232s (the programmer and another
// adapter), a CP210x bridge, an Arduino board on ttyACM and a built-in
// UART. Then the automatic detection on that listing, with the ports
// opened on simulated devices, shows which ports it touches.
//
// Runs under umockdev-wrapper (LD_PRELOAD of libumockdev-preload); without
// it the program exits 77, which ctest counts as skipped.

#include "protocol/Discovery.h"
#include "serial/PosixPortHost.h"
#include "support/RecordingPortHost.h"

#include "common/VirtualClock.h"
#include "context/ApplicationContext.h"
#include "sim/SimEndpoints.h"
#include "sim/SimulatedPortHost.h"
#include "sim/SimulatedProgrammer.h"

#include <gtest/gtest.h>

#include <umockdev.h>

#include <dlfcn.h>

#include <cstdio>
#include <memory>

using namespace talvex;
using Strings = std::vector<std::string>;

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

// Lists through udev, opens simulated devices by the same names.
class UdevListedHost final : public PortHost {
public:
    explicit UdevListedHost(SimulatedPortHost& devices)
        : m_devices(devices)
    {
    }

    std::vector<PortInfo> listPorts() override { return m_listing.listPorts(); }
    OpenResult open(const std::string& name, const std::string& mode) override { return m_devices.open(name, mode); }

private:
    PosixPortHost m_listing;
    SimulatedPortHost& m_devices;
};

// The mocked host with a silent device behind every port, the programmer
// behind the second FT2232 when `programmer` is set; opens are recorded.
struct Bench {
    VirtualClock clock;
    std::shared_ptr<SimulatedProgrammer> device = std::make_shared<SimulatedProgrammer>();
    SimulatedPortHost devices{clock, 0};
    UdevListedHost listed{devices};
    test::RecordingPortHost host{listed, clock};
    ApplicationContext context{host, clock};

    explicit Bench(bool programmer)
    {
        for (const char* name : {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyACM0", "/dev/ttyS0"})
            devices.attach(name, std::make_shared<SilentEndpoint>());
        if (programmer) {
            device->attachTo(devices, "/dev/ttyUSB3", "/dev/ttyUSB4");
        } else {
            devices.attach("/dev/ttyUSB3", std::make_shared<SilentEndpoint>());
            devices.attach("/dev/ttyUSB4", std::make_shared<SilentEndpoint>());
        }
    }

    // Each port opened, in order, with its mode.
    Strings opened() const
    {
        Strings names;
        for (const test::PortEvent& event : host.recorder().events()) {
            if (event.kind == test::PortEvent::Kind::Open || event.kind == test::PortEvent::Kind::OpenFailed)
                names.push_back(event.port + " " + event.mode);
        }
        return names;
    }
};

using UdevListing = MockedHost;
using UdevDetection = MockedHost;

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
        EXPECT_EQ(ports[i].usb, expected[i].usb) << ports[i].name << ": " << usbDescription(ports[i].usb);
    }
    EXPECT_EQ(usbDescription(ports[3].usb), "FT2232 0403:6010 TLVX0001A");
    EXPECT_EQ(usbDescription(ports[0].usb), "CP210x 10c4:ea60 0001");
}

TEST_F(UdevDetection, TheProgrammerOnFtdiPortsLeavesTheOtherPortsUnopened)
{
    Bench bench(true);
    DiscoveryEnvironment env = bench.context.discovery();
    DetectionResults& results = bench.context.detection();

    detectProgrammer(env, results);

    // The other adapter first (it is listed first), its interface A first;
    // then the programmer's A and B, and the scan ends.
    EXPECT_EQ(bench.opened(), (Strings{"/dev/ttyUSB2 115200,N,8,1", "/dev/ttyUSB1 115200,N,8,1",
                                       "/dev/ttyUSB3 115200,N,8,1", "/dev/ttyUSB4 115200,N,8,1"}));
    EXPECT_EQ(results.reader1Port, "/dev/ttyUSB3");
    EXPECT_EQ(results.reader2Port, "/dev/ttyUSB4");
    EXPECT_EQ(results.serialNumber, bench.device->serialNumber());
    for (const char* other : {"/dev/ttyUSB0", "/dev/ttyACM0", "/dev/ttyS0"})
        EXPECT_EQ(bench.devices.openAttempts(other), 0) << other;
}

TEST_F(UdevDetection, WithNothingAnsweringTheFtdiPortsComeFirstThenTheRestInTheUsualOrder)
{
    Bench bench(false);
    DiscoveryEnvironment env = bench.context.discovery();

    scanForProgrammer(env, bench.context.detection(), SpeedVariant::Normal);

    EXPECT_EQ(bench.opened(),
              (Strings{"/dev/ttyUSB2 115200,N,8,1", "/dev/ttyUSB1 115200,N,8,1", "/dev/ttyUSB3 115200,N,8,1",
                       "/dev/ttyUSB4 115200,N,8,1", "/dev/ttyUSB0 115200,N,8,1", "/dev/ttyACM0 115200,N,8,1",
                       "/dev/ttyS0 115200,N,8,1"}));
    EXPECT_TRUE(bench.context.detection().serialNumber.empty());
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

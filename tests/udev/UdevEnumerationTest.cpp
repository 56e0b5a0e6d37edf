// The POSIX host's port listing through the real libudev, on a sysfs and
// device nodes that umockdev mocks: two FT2232s (the programmer and another
// adapter), a CP210x bridge, an Arduino board on ttyACM and a built-in
// UART. (Which ports the detection touches on such a listing is
// tests/protocol/UsbIdentityDiscoveryTest's.)
//
// Runs under umockdev-wrapper (LD_PRELOAD of libumockdev-preload); without
// it the program exits 77, which ctest counts as skipped.

#include "protocol/Discovery.h"
#include "serial/PosixPortHost.h"
#include "usbserial/FtdiChipChoice.h"


#include <gtest/gtest.h>

#include <libudev.h>
#include <umockdev.h>

#include <dlfcn.h>

#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

using namespace talvex;
using Strings = std::vector<std::string>;

namespace {

// As `udevadm info --export-db` writes devices, which umockdev reads back.
const std::string kUsb = "/devices/pci0000:00/0000:00:14.0/usb1/";

std::string usbDevice(const std::string& port, const std::string& attributes)
{
    return "P: " + kUsb + port + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" + attributes + "\n";
}

// The properties a udev daemon adds to a tty.
std::string udevProperties(const std::string& vendor, const std::string& vendorId, const std::string& model,
                           const std::string& modelId, const std::string& serial, int interfaceNumber)
{
    return "E: ID_VENDOR=" + vendor + "\nE: ID_VENDOR_ID=" + vendorId + "\nE: ID_MODEL=" + model
        + "\nE: ID_MODEL_ID=" + modelId + "\nE: ID_SERIAL_SHORT=" + serial + "\nE: ID_USB_INTERFACE_NUM=0"
        + std::to_string(interfaceNumber) + "\n";
}

// Interface `number` of the device on `port` with its tty, through a
// usb-serial driver or (an ACM board) straight under the interface.
std::string ttyOn(const std::string& port, int number, const std::string& tty, int major, int minor,
                  const std::string& properties = {}, bool usbSerial = true)
{
    const std::string interface = kUsb + port + "/" + port + ":1." + std::to_string(number);
    std::string text = "P: " + interface + "\nE: SUBSYSTEM=usb\nE: DEVTYPE=usb_interface\nA: bInterfaceNumber=0"
        + std::to_string(number) + "\n\n";
    std::string parent = interface;
    if (usbSerial) {
        parent += "/" + tty;
        text += "P: " + parent + "\nE: SUBSYSTEM=usb-serial\n\n";
    }
    const std::string major_ = std::to_string(major);
    const std::string minor_ = std::to_string(minor);
    return text + "P: " + parent + "/tty/" + tty + "\nN: " + tty + "\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/" + tty
        + "\nE: MAJOR=" + major_ + "\nE: MINOR=" + minor_ + "\n" + properties + "A: dev=" + major_ + ":" + minor_
        + "\n\n";
}

// The programmer's tty devices carry the properties a udev daemon adds; the
// other adapter's only what the kernel shows in sysfs (no daemon running).
// The Arduino's descriptor strings come from udev alone, with '_' for
// blanks, as in the programmer's serial number, whose descriptor has a
// blank inside. The other FT2232's interface B was probed first.
const std::string kDevices = usbDevice("1-1", "A: idVendor=10c4\nA: idProduct=ea60\nA: serial=0001\n"
                                              "A: manufacturer=Silicon Labs\n"
                                              "A: product=CP2102 USB to UART Bridge Controller\n")
    + ttyOn("1-1", 0, "ttyUSB0", 188, 0)
    + usbDevice("1-2", "A: idVendor=0403\nA: idProduct=6010\nA: serial=FT5AB12C\nA: manufacturer=FTDI\n"
                       "A: product=Dual RS232-HS\n")
    + ttyOn("1-2", 1, "ttyUSB1", 188, 1) + ttyOn("1-2", 0, "ttyUSB2", 188, 2)
    + usbDevice("1-3", "A: idVendor=0403\nA: idProduct=6010\nA: serial=TLVX 0001\nA: manufacturer=FTDI\n"
                       "A: product=TalvexUSB\n")
    + ttyOn("1-3", 0, "ttyUSB3", 188, 3, udevProperties("FTDI", "0403", "TalvexUSB", "6010", "TLVX_0001", 0))
    + ttyOn("1-3", 1, "ttyUSB4", 188, 4, udevProperties("FTDI", "0403", "TalvexUSB", "6010", "TLVX_0001", 1))
    + usbDevice("1-4", "A: idVendor=2341\nA: idProduct=0043\n")
    + ttyOn("1-4", 0, "ttyACM0", 166, 0,
            udevProperties("Arduino_LLC", "2341", "Arduino_Uno", "0043", "85736323838351F0E1A1", 0), false)
    + "P: /devices/pnp0/00:05/tty/ttyS0\nN: ttyS0\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyS0\nE: MAJOR=4\n"
      "E: MINOR=64\nA: dev=4:64\nA: type=4\n\n"
      "P: /devices/platform/serial8250/tty/ttyS1\nN: ttyS1\nE: SUBSYSTEM=tty\nE: DEVNAME=/dev/ttyS1\nE: MAJOR=4\n"
      "E: MINOR=65\nA: dev=4:65\nA: type=0\n";

// A mocked sysfs and /dev for the test's lifetime.
class MockedHost : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_testbed = umockdev_testbed_new();
        GError* error = nullptr;
        const bool added = umockdev_testbed_add_from_string(m_testbed, kDevices.c_str(), &error);
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

// Which threads use each udev context, seen at every device look-up; a
// new context at a freed one's address starts afresh.
std::mutex g_contextsMutex;
std::map<udev*, std::set<std::thread::id>> g_contextThreads;

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
        {"/dev/ttyUSB3", UsbIdentity{0x0403, 0x6010, "TLVX 0001", 0, "FTDI", "TalvexUSB", "1-3"}},
        {"/dev/ttyUSB4", UsbIdentity{0x0403, 0x6010, "TLVX 0001", 1, "FTDI", "TalvexUSB", "1-3"}},
        {"/dev/ttyACM0", UsbIdentity{0x2341, 0x0043, "85736323838351F0E1A1", 0, "Arduino LLC", "Arduino Uno", "1-4"}},
        // The UART without USB fields; ttyS1 has no UART behind it.
        {"/dev/ttyS0", std::nullopt},
    };
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(ports[i].name, expected[i].name);
        EXPECT_EQ(ports[i].usb, expected[i].usb) << ports[i].name << ": " << usbDescription(ports[i].usb);
    }
    EXPECT_EQ(usbDescription(ports[3].usb), "FT2232 0403:6010 TLVX 0001A");
    EXPECT_EQ(usbDescription(ports[0].usb), "CP210x 10c4:ea60 0001");

    // libftdi lists the chip by the descriptor's string: the port's chip is found by it.
    FtdiChip chip;
    chip.serial = "TLVX 0001";
    chip.location = "1-3";
    chip.id = 0x04036010;
    const FtdiChipChoice choice = chooseFtdiChip({chip}, FtdiChipRequest::forProgrammerPort(ports[3].usb->serial, ""));
    EXPECT_TRUE(choice.chip) << choice.problem;
}

TEST_F(UdevListing, ThreadsListingAtOnceShareNoUdevContext)
{
    PosixPortHost host;
    std::vector<std::thread> workers;
    for (int i = 0; i < 4; ++i)
        workers.emplace_back([&host] { EXPECT_EQ(host.listPorts().size(), 7u); });
    for (std::thread& worker : workers)
        worker.join();
    const std::lock_guard lock(g_contextsMutex);
    ASSERT_FALSE(g_contextThreads.empty());
    for (const auto& [context, threads] : g_contextThreads)
        EXPECT_EQ(threads.size(), 1u) << "a udev context used by " << threads.size() << " threads";
}

extern "C" udev* udev_new()
{
    static const auto real = reinterpret_cast<udev* (*)()>(::dlsym(RTLD_NEXT, "udev_new"));
    udev* context = real();
    const std::lock_guard lock(g_contextsMutex);
    g_contextThreads.erase(context);
    return context;
}

extern "C" udev_device* udev_device_new_from_devnum(udev* context, char type, dev_t devnum)
{
    using Real = udev_device* (*)(udev*, char, dev_t);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "udev_device_new_from_devnum"));
    {
        const std::lock_guard lock(g_contextsMutex);
        g_contextThreads[context].insert(std::this_thread::get_id());
    }
    return real(context, type, devnum);
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

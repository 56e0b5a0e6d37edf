// What SetupAPI's ids tell of a Windows port's USB device: the FTDI
// driver's ids with the channel letter, a plain USB device's, one
// interface of a composite device, and ids that name no USB device.

#include "serial/SetupApiIds.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(SetupApiIds, FtdiDriverIdsGiveTheSerialAndTheChannel)
{
    const auto a = usbIdentityFromIds("FTDIBUS\\VID_0403+PID_6010+TLVX0001A\\0000",
                                      "FTDIBUS\\VID_0403+PID_6010+TLVX0001A\\0000", "USB\\VID_0403&PID_6010\\TLVX0001");
    ASSERT_TRUE(a.has_value());
    EXPECT_EQ(a->vendorId, 0x0403);
    EXPECT_EQ(a->productId, 0x6010);
    EXPECT_EQ(a->serial, "TLVX0001");
    EXPECT_EQ(a->interfaceNumber, 0);

    const auto b = usbIdentityFromIds("ftdibus\\vid_0403+pid_6010+tlvx0001b\\0000", "", "");
    ASSERT_TRUE(b.has_value());
    EXPECT_EQ(b->serial, "tlvx0001") << "the serial as the device gives it";
    EXPECT_EQ(b->interfaceNumber, 1);

    // A single-channel chip keeps a serial that happens to end in a letter.
    const auto single = usbIdentityFromIds("FTDIBUS\\VID_0403+PID_6001+A50285BA\\0000", "", "");
    ASSERT_TRUE(single.has_value());
    EXPECT_EQ(single->serial, "A50285BA");
    EXPECT_FALSE(single->interfaceNumber.has_value());

    // A blank EEPROM: the driver makes an id up from the location.
    const auto blank = usbIdentityFromIds("FTDIBUS\\VID_0403+PID_6010+5&2C0B5A8&0&2B\\0000", "", "");
    ASSERT_TRUE(blank.has_value());
    EXPECT_EQ(blank->serial, "");
    EXPECT_EQ(blank->interfaceNumber, 1);
}

TEST(SetupApiIds, UsbDevicesKeepTheirSerialInTheInstanceId)
{
    const auto bridge = usbIdentityFromIds("USB\\VID_10C4&PID_EA60&REV_0100", "USB\\VID_10C4&PID_EA60\\0001", "");
    ASSERT_TRUE(bridge.has_value());
    EXPECT_EQ(bridge->vendorId, 0x10c4);
    EXPECT_EQ(bridge->productId, 0xea60);
    EXPECT_EQ(bridge->serial, "0001");
    EXPECT_FALSE(bridge->interfaceNumber.has_value());

    // Windows makes an instance id up for a device without a serial.
    const auto noSerial =
        usbIdentityFromIds("USB\\VID_1A86&PID_7523&REV_0264", "USB\\VID_1A86&PID_7523\\5&1A2B3C&0&3", "");
    ASSERT_TRUE(noSerial.has_value());
    EXPECT_EQ(noSerial->productId, 0x7523);
    EXPECT_EQ(noSerial->serial, "");

    // One interface of a composite device: the serial is its parent's.
    const auto board = usbIdentityFromIds("USB\\VID_2341&PID_0043&REV_0001&MI_00",
                                          "USB\\VID_2341&PID_0043&MI_00\\6&1A2B&0&0000",
                                          "USB\\VID_2341&PID_0043\\85736323838351F0E1A1");
    ASSERT_TRUE(board.has_value());
    EXPECT_EQ(board->vendorId, 0x2341);
    EXPECT_EQ(board->productId, 0x0043);
    EXPECT_EQ(board->interfaceNumber, 0);
    EXPECT_EQ(board->serial, "85736323838351F0E1A1");
}

TEST(SetupApiIds, IdsWithoutAUsbDeviceGiveNothing)
{
    EXPECT_FALSE(usbIdentityFromIds("ACPI\\PNP0501", "ACPI\\PNP0501\\1", "ACPI_HAL\\PNP0C08\\0").has_value());
    EXPECT_FALSE(usbIdentityFromIds("", "", "").has_value());
    EXPECT_FALSE(usbIdentityFromIds("USB\\VID_10C4&PID_EA", "", "").has_value()) << "cut short";
    EXPECT_FALSE(usbIdentityFromIds("USB\\VID_XYZW&PID_EA60", "", "").has_value()) << "not hexadecimal";
}

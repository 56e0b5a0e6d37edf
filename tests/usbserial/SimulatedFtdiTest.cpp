// The in-process FTDI chip of --simulate, through its D2XX face: what it
// shows per channel, its EEPROM as the part holds it, and its faults.

#include "sim/SimulatedFtdi.h"

#include <gtest/gtest.h>

#include <string>

using namespace talvex;

namespace {

std::vector<FtDeviceListInfoNode> listOf(SimulatedFtdi& chip)
{
    std::uint32_t count = 0;
    EXPECT_EQ(chip.createDeviceInfoList(count), ftstatus::kOk);
    std::vector<FtDeviceListInfoNode> records(count);
    if (count > 0)
        EXPECT_EQ(chip.getDeviceInfoList(records.data(), count), ftstatus::kOk);
    return records;
}

} // namespace

TEST(SimulatedFtdi, ShowsWhatItReadAtPlugInAndWrapsAtThePartSize)
{
    SimulatedFtdi chip("TLVX0001", 1, Ft2232Kind::Ft2232H, EepromPart::C56);
    auto records = listOf(chip);
    ASSERT_EQ(records.size(), 2U);
    EXPECT_EQ(std::string(records[0].SerialNumber), "TLVX0001A");
    EXPECT_EQ(std::string(records[1].Description), "TalvexUSB B");
    EXPECT_EQ(records[1].Type, 6U);
    EXPECT_EQ(records[0].ID, 0x04036010U);
    EXPECT_EQ(records[0].LocId, 0x2111U);
    EXPECT_EQ(records[1].LocId, 0x2112U);

    FtHandle handle = nullptr;
    ASSERT_EQ(chip.openBySerial("TLVX0001B", handle), ftstatus::kOk);
    FtOpenedDevice device;
    ASSERT_EQ(chip.getDeviceInfo(handle, device), ftstatus::kOk);
    EXPECT_EQ(device.serialNumber, "TLVX0001B");
    EXPECT_EQ(device.type, 6U);
    std::uint16_t low = 0, wrapped = 1;
    ASSERT_EQ(chip.readEe(handle, 5, low), ftstatus::kOk);
    ASSERT_EQ(chip.readEe(handle, 128 + 5, wrapped), ftstatus::kOk);
    EXPECT_EQ(wrapped, low) << "a 93C56 has 128 words";

    // A new image shows only once the chip is plugged in again.
    FtdiImageSpec spec;
    spec.kind = Ft2232Kind::Ft2232H;
    spec.part = EepromPart::C56;
    spec.product = "TalvexUSB";
    spec.serial = "NEW00001";
    const std::vector<std::uint16_t> image = buildFtdiImage(spec);
    for (std::uint32_t word = 0; word < image.size(); ++word)
        ASSERT_EQ(chip.writeEe(handle, word, image[word]), ftstatus::kOk) << word;
    EXPECT_EQ(std::string(listOf(chip)[0].SerialNumber), "TLVX0001A");
    chip.replug();
    std::uint16_t value = 0;
    EXPECT_EQ(chip.readEe(handle, 0, value), ftstatus::kIoError) << "the handle died with the old plug-in";
    EXPECT_EQ(chip.close(handle), ftstatus::kOk);
    EXPECT_EQ(std::string(listOf(chip)[0].SerialNumber), "NEW00001A");

    // One bit off: the chip's own names, no serial number.
    std::vector<std::uint16_t> broken = image;
    broken[127] ^= 1;
    chip.setEepromPart(broken);
    chip.replug();
    records = listOf(chip);
    EXPECT_EQ(std::string(records[0].SerialNumber), "");
    EXPECT_EQ(std::string(records[0].Description), "Dual RS232-HS A");
}

TEST(SimulatedFtdi, FaultsAnswerAsTheLibraryWould)
{
    SimulatedFtdi chip;
    chip.change([](Ft2232Chip& c) { c.heldElsewhere = true; });
    FtHandle handle = nullptr;
    EXPECT_EQ(chip.open(0, handle), ftstatus::kDeviceNotOpened);
    const auto records = listOf(chip);
    EXPECT_EQ(records[0].Flags & kFtFlagOpened, kFtFlagOpened);
    EXPECT_EQ(std::string(records[0].SerialNumber), "") << "an open device's strings are not shown";
    ASSERT_EQ(chip.openByLocation(0x2112, handle), ftstatus::kOk) << "channel B is free";

    chip.failWrite(10, ftstatus::kEepromWriteFailed);
    chip.change([](Ft2232Chip& c) { c.vanishAtWord = 20; });
    const std::uint16_t before = chip.eeprom()[10];
    EXPECT_EQ(chip.writeEe(handle, 10, 0x1234), ftstatus::kEepromWriteFailed);
    EXPECT_EQ(chip.eeprom()[10], before);
    EXPECT_EQ(chip.writeEe(handle, 11, 0x1234), ftstatus::kOk);
    EXPECT_EQ(chip.writeEe(handle, 20, 0x1234), ftstatus::kIoError) << "the chip left the bus";
    EXPECT_EQ(chip.writeEe(handle, 21, 0x1234), ftstatus::kIoError);
    EXPECT_TRUE(listOf(chip).empty());
    const Ft2232Chip after = chip.chip();
    EXPECT_EQ(after.eepromWrites, 2) << "the refused write and word 11";
    EXPECT_EQ(after.wordsWritten, std::vector<int>{11});

    chip.replug();
    EXPECT_EQ(listOf(chip).size(), 2U);
}

#include "firmware/UploadBench.h"
#include "sim/SimulatedFtdi.h"
#include "usbserial/D2xxBackend.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;

namespace {

const char* kProgrammerSerial = "0123456789ABCDEF0123456789ABCDEF";

FtdiLoadResult simulatedLibrary(std::shared_ptr<SimulatedFtdi> chip, const std::string& backups)
{
    FtdiLoadResult library = d2xxBackend(D2xxLoadResult {std::move(chip), {}});
    library.backupDirectory = backups;
    return library;
}

struct SimulatedTab {
    test::TempFolder backups;
    std::shared_ptr<SimulatedFtdi> chip = std::make_shared<SimulatedFtdi>();
    UsbSerialTool tool {simulatedLibrary(chip, backups.path("eeprom"))};
};

} // namespace

TEST(SimulatedFtdi, ListsBothChannelsOfTheProgrammersChip)
{
    SimulatedTab tab;
    const UsbSerialListing listing = tab.tool.readSerial();
    ASSERT_EQ(listing.outcome, UsbSerialListing::Outcome::Listed);
    EXPECT_EQ(*listing.listingText, "Device 0:\n   ID=0x4036010\n   LocId=0x2111\n   SerialNumber=TLVX0001A\n "
                                 "  Description=TalvexUSB A\n\n"
                                 "Device 1:\n   ID=0x4036010\n   LocId=0x2112\n   SerialNumber=TLVX0001B\n "
                                 "  Description=TalvexUSB B\n\n");
    EXPECT_EQ(listing.serialText, "TLVX0001");
    EXPECT_EQ(tab.tool.selectedIndex(), 1);
    EXPECT_EQ(tab.tool.devices()[0].type, fttype::kFt2232C);
}

TEST(SimulatedFtdi, NewSerialIsVerifiedAndShowsAfterReplug)
{
    SimulatedTab tab;
    tab.tool.readSerial();
    const auto generated = tab.tool.generate(kProgrammerSerial);
    const UsbSerialWrite write = tab.tool.writeSerial(*generated.serialText);
    ASSERT_EQ(write.outcome, UsbSerialWrite::Outcome::Verified);
    EXPECT_EQ(write.logLines.back(), "Write serial number: EF012345 OK. Please, unplug and restart Talvex !\n");

    const EepromWords eeprom = tab.chip->eeprom();
    EXPECT_EQ(eepromString(eeprom, kSerialPointerWord), "EF012345");
    EXPECT_EQ(ftdiEepromChecksum(eeprom), eeprom[kEepromChecksumWord]);

    // The chip reads its EEPROM when plugged in, not before.
    EXPECT_EQ(tab.tool.readSerial().serialText, "TLVX0001");
    tab.chip->replug();
    const UsbSerialListing after = tab.tool.readSerial();
    EXPECT_EQ(after.serialText, "EF012345");
    EXPECT_EQ(tab.tool.devices()[0].serialNumber, "EF012345A");
    EXPECT_EQ(tab.tool.devices()[1].serialNumber, "EF012345B");
}

TEST(SimulatedFtdi, BlankOrBrokenEepromEnumeratesWithoutSerial)
{
    SimulatedTab tab;
    EepromWords words = tab.chip->eeprom();
    words[kEepromChecksumWord] ^= 1; // one bit off: the chip rejects the image
    tab.chip->setEeprom(words);
    tab.chip->replug();

    const UsbSerialListing listing = tab.tool.readSerial();
    EXPECT_EQ(listing.outcome, UsbSerialListing::Outcome::Listed);
    EXPECT_FALSE(listing.serialText.has_value());
    EXPECT_EQ(tab.tool.selectedIndex(), UsbSerialTool::kNoDevice);
    EXPECT_EQ(tab.tool.devices()[0].description, "Dual RS232 A");
    EXPECT_EQ(tab.tool.devices()[1].serialNumber, "");
}

TEST(SimulatedFtdi, FaultsReachTheLogThroughTheSameInterface)
{
    SimulatedTab tab;
    tab.tool.readSerial();
    const EepromWords before = tab.chip->eeprom();

    tab.chip->failOpen(1, ftstatus::kDeviceNotFound);
    const UsbSerialWrite notOpened = tab.tool.writeSerial("EF012345");
    EXPECT_EQ(notOpened.outcome, UsbSerialWrite::Outcome::OpenFailed);
    EXPECT_EQ(tab.chip->eeprom(), before);

    tab.chip->failOpen(1, ftstatus::kOk);
    tab.chip->failWrite(40, ftstatus::kEepromWriteFailed);
    const UsbSerialWrite halfWritten = tab.tool.writeSerial("EF012345");
    EXPECT_EQ(halfWritten.outcome, UsbSerialWrite::Outcome::WordWriteFailed);
    EXPECT_EQ(halfWritten.word, 40);

    // The channel was closed after the failure: a second try goes through.
    tab.chip->failWrite(40, ftstatus::kOk);
    EXPECT_EQ(tab.tool.writeSerial("EF012345").outcome, UsbSerialWrite::Outcome::Verified);
}

TEST(SimulatedFtdi, UnpluggedChipListsNothing)
{
    SimulatedTab tab;
    tab.chip->setPlugged(false);
    EXPECT_EQ(tab.tool.readSerial().outcome, UsbSerialListing::Outcome::NoDevice);
    FtHandle handle = nullptr;
    EXPECT_EQ(tab.chip->open(0, handle), ftstatus::kDeviceNotFound);
    tab.chip->setPlugged(true);
    EXPECT_EQ(tab.tool.readSerial().outcome, UsbSerialListing::Outcome::Listed);
}

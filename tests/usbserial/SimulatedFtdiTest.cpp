#include "firmware/UploadBench.h"
#include "sim/SimulatedFtdi.h"
#include "usbserial/D2xxBackend.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(SimulatedFtdi, BrokenEepromEnumeratesWithoutSerial)
{
    test::TempFolder backups;
    auto chip = std::make_shared<SimulatedFtdi>();
    FtdiLoadResult library = d2xxBackend(D2xxLoadResult {chip, {}});
    library.backupDirectory = backups.path("eeprom");
    UsbSerialTool tool(library);
    EepromWords words = chip->eeprom();
    words[kEepromChecksumWord] ^= 1; // one bit off: the chip rejects the image
    chip->setEeprom(words);
    chip->replug();

    const UsbSerialListing listing = tool.readSerial();
    EXPECT_EQ(listing.outcome, UsbSerialListing::Outcome::Listed);
    EXPECT_FALSE(listing.serialText.has_value());
    EXPECT_EQ(tool.selectedIndex(), UsbSerialTool::kNoDevice);
    EXPECT_EQ(tool.devices()[0].description, "Dual RS232 A");
    EXPECT_EQ(tool.devices()[1].serialNumber, "");
}

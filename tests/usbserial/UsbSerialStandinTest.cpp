// The tool against the stand-in D2XX library, loaded through the real
// run-time loader (dlopen by path).
#if defined(TALVEX_FTD2XX_STANDIN)

#include "support/ftd2xx/StandinBench.h"
#include "usbserial/EepromImage.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::StandinBench;
using Outcome = UsbSerialWrite::Outcome;

namespace {

const std::string kOkLine = "Write serial number: EF012345 OK. Please, unplug and restart Talvex !\n";

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Any log line contains `part`.
bool logged(const std::vector<std::string>& lines, const std::string& part)
{
    for (const auto& line : lines) {
        if (contains(line, part))
            return true;
    }
    return false;
}

// The serial number the chip's EEPROM now carries and whether its
// checksum holds, read the way the chip reads them.
std::string programmedSerial(const standin::Chip& chip)
{
    return eepromString(chip.eeprom, kSerialPointerWord).value_or("<none>");
}

bool checksumHolds(const standin::Chip& chip)
{
    return ftdiEepromChecksum(chip.eeprom) == chip.eeprom[kEepromChecksumWord];
}

// The chips saved, and a tool on the stand-in that has listed them.
UsbSerialTool listed(const StandinBench& bench)
{
    bench.save();
    UsbSerialTool tool(bench.d2xx());
    tool.readSerial();
    return tool;
}

} // namespace

TEST(UsbSerialListing, PaneShowsEveryDeviceAndTheLastWithASerialIsSelected)
{
    StandinBench bench;
    auto& first = bench.addChip("FT1AAAAA", "TalvexUSB A", 0x2111);
    first.id = 0x04036010;
    auto& second = bench.addChip("FT2BBBBBB", "TalvexUSB B", 0x2112);
    second.id = 0x04036010;
    bench.save();
    UsbSerialTool tool(bench.d2xx());
    ASSERT_TRUE(tool.available()) << tool.unavailableReason();

    const UsbSerialListing listing = tool.readSerial();
    EXPECT_EQ(listing.outcome, UsbSerialListing::Outcome::Listed);
    ASSERT_TRUE(listing.listingText.has_value());
    EXPECT_EQ(*listing.listingText, "Device 0:\n   ID=0x4036010\n   LocId=0x2111\n   SerialNumber=FT1AAAAA\n "
                                 "  Description=TalvexUSB A\n\n"
                                 "Device 1:\n   ID=0x4036010\n   LocId=0x2112\n   SerialNumber=FT2BBBBBB\n "
                                 "  Description=TalvexUSB B\n\n");
    EXPECT_EQ(listing.serialText, "FT2BBBBB") << "the second device's first 8 characters";
    EXPECT_EQ(tool.selectedIndex(), 1);
    EXPECT_TRUE(listing.devicesListed);
    // The first operation names the library, in one line.
    EXPECT_EQ(listing.logLines,
              std::vector<std::string> {"USB serial number through FTDI D2XX (" TALVEX_FTD2XX_STANDIN ")."});
    ASSERT_EQ(tool.devices().size(), 2U);
    EXPECT_EQ(tool.devices()[0].serialNumber, "FT1AAAAA");
    EXPECT_EQ(tool.devices()[1].description, "TalvexUSB B");
    EXPECT_EQ(tool.devices()[1].locId, 0x2112U);
}

TEST(UsbSerialListing, FourCharacterSerialIsPaddedAndProgrammedPadded)
{
    StandinBench bench;
    bench.addChip("AB12", "TalvexUSB A", 0x11);
    bench.save();
    UsbSerialTool tool(bench.d2xx());

    const UsbSerialListing listing = tool.readSerial();
    ASSERT_EQ(listing.serialText, "AB12    ");
    EXPECT_EQ(tool.selectedIndex(), 0);

    // What the window passes back from "Edit2" is what gets programmed.
    const UsbSerialWrite write = tool.writeSerial(*listing.serialText);
    EXPECT_EQ(write.outcome, Outcome::Verified);
    EXPECT_EQ(programmedSerial(bench.reload().chips[0]), "AB12    ");
    EXPECT_TRUE(logged(write.logLines, "Write serial number: AB12     OK. Please, unplug and restart Talvex !\n"));
}

TEST(UsbSerialListing, EmptySerialsAreListedButNotSelectedALeadingBlankCanBeRepaired)
{
    StandinBench bench;
    bench.addChip("FT000001", "TalvexUSB A", 0x11);
    bench.addChip("", "Dual RS232 B", 0x12);
    bench.addChip(" X", "Leading blank", 0x13);
    bench.save();
    UsbSerialTool tool(bench.d2xx());

    // The chip an earlier tool left with " X" is the last one with a
    // serial number: selected, so it can be written again.
    const UsbSerialListing listing = tool.readSerial();
    EXPECT_EQ(listing.serialText, " X      ");
    EXPECT_EQ(tool.selectedIndex(), 2);
    EXPECT_TRUE(contains(*listing.listingText, "Device 1:\n   ID=0x4036001\n   LocId=0x12\n   SerialNumber=\n "
                                            "  Description=Dual RS232 B\n\n"));
    EXPECT_EQ(tool.writeSerial("TLVX0002").outcome, Outcome::Verified);
    EXPECT_EQ(programmedSerial(bench.reload().chips[2]), "TLVX0002");
    bench.state = bench.reload();
    bench.state.chips[2].serial = "";
    const int erasesBefore = bench.state.chips[2].erases;

    // Nothing with a serial number any more: nothing selected, nothing
    // written, and the log says what to do.
    bench.state.chips[0].serial = "";
    bench.save();
    const UsbSerialListing blank = tool.readSerial();
    EXPECT_EQ(blank.outcome, UsbSerialListing::Outcome::Listed);
    EXPECT_TRUE(blank.devicesListed);
    EXPECT_FALSE(blank.serialText.has_value());
    EXPECT_EQ(tool.selectedIndex(), UsbSerialTool::kNoDevice);

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::NoDeviceSelected);
    EXPECT_TRUE(logged(write.logLines, "no FTDI device with a serial number is selected"));
    const auto chips = bench.reload().chips;
    EXPECT_EQ(chips[0].erases + chips[1].erases, 0);
    EXPECT_EQ(chips[2].erases, erasesBefore);
}

TEST(UsbSerialListing, NothingAttachedOrAFailingLibraryChangesNothing)
{
    StandinBench bench;
    bench.save();
    UsbSerialTool tool(bench.d2xx());
    const UsbSerialListing none = tool.readSerial();
    EXPECT_EQ(none.outcome, UsbSerialListing::Outcome::NoDevice);
    EXPECT_FALSE(none.listingText.has_value());
    EXPECT_FALSE(none.devicesListed);
    EXPECT_EQ(none.logLines.size(), 1U) << "only the library's line";

    bench.addChip("FT000001", "TalvexUSB A", 0x11);
    bench.state.createFailure = ftstatus::kIoError;
    bench.save();
    const UsbSerialListing createFailed = tool.readSerial();
    EXPECT_EQ(createFailed.outcome, UsbSerialListing::Outcome::ListFailed);
    EXPECT_EQ(createFailed.failure.text, "FT_IO_ERROR");
    EXPECT_FALSE(createFailed.listingText.has_value()) << "the pane is only cleared once devices are counted";
    EXPECT_FALSE(createFailed.devicesListed);

    bench.state.createFailure = ftstatus::kOk;
    bench.state.listFailure = ftstatus::kInsufficientResources;
    bench.save();
    const UsbSerialListing listFailed = tool.readSerial();
    EXPECT_EQ(listFailed.outcome, UsbSerialListing::Outcome::ListFailed);
    EXPECT_EQ(listFailed.listingText, "") << "cleared, then nothing to show";
    EXPECT_FALSE(listFailed.devicesListed);
    EXPECT_FALSE(listFailed.serialText.has_value());
    EXPECT_EQ(tool.selectedIndex(), UsbSerialTool::kNoDevice);
}

TEST(UsbSerialWrite, WritesTheImageAndReadsItBack)
{
    StandinBench bench;
    bench.addChip("FT000001", "Other adapter", 0x11);
    bench.addChip("TLVX0001", "TalvexUSB A", 0x12);
    UsbSerialTool tool = listed(bench);
    const UsbSerialGenerated generated = tool.generate("0123456789ABCDEF0123456789ABCDEF");
    ASSERT_EQ(generated.serialText, "EF012345");

    const UsbSerialWrite write = tool.writeSerial(*generated.serialText);
    EXPECT_EQ(write.outcome, Outcome::Verified);
    EXPECT_TRUE(write.succeeded());
    EXPECT_EQ(write.device, 1);
    ASSERT_EQ(write.logLines.size(), 3U);
    ASSERT_TRUE(write.backupFile.has_value());
    EXPECT_EQ(write.logLines[0], "EEPROM backup saved to " + write.backupFile->string());
    EXPECT_EQ(write.logLines[1], "EEPROM verified: all 64 words read back as written.");
    EXPECT_EQ(write.logLines[2], kOkLine);

    const standin::State after = bench.reload();
    const standin::Chip& target = after.chips[1];
    EXPECT_EQ(target.erases, 1);
    EXPECT_EQ(target.wordWrites, 64);
    EXPECT_FALSE(target.opened) << "the device must be closed again";
    EXPECT_EQ(programmedSerial(target), "EF012345");
    EXPECT_EQ(eepromString(target.eeprom, kProductPointerWord), "TalvexUSB");
    EXPECT_EQ(eepromString(target.eeprom, kManufacturerPointerWord), "FTDI");
    EXPECT_TRUE(checksumHolds(target)) << "the checksum rule over words 0-62 gives word 63";
    EXPECT_EQ(target.eeprom[0], 0x0808);
    EXPECT_EQ(target.eeprom[62], 0x0000);

    const standin::Chip& other = after.chips[0];
    EXPECT_EQ(other.erases, 0);
    EXPECT_EQ(other.wordWrites, 0);
    EXPECT_EQ(other.eeprom[0], 0xFFFF);
}

TEST(UsbSerialWrite, TypedSerialIsCheckedThenPadded)
{
    StandinBench bench;
    bench.addChip("TLVX0001", "TalvexUSB A", 0x11);
    UsbSerialTool tool = listed(bench);

    for (const char* bad : {"", "        ", " AB", "AB-12", "ABCDEFGHI"}) {
        const UsbSerialWrite write = tool.writeSerial(bad);
        EXPECT_EQ(write.outcome, Outcome::InvalidText) << '"' << bad << '"';
        EXPECT_TRUE(logged(write.logLines, "nothing was written")) << '"' << bad << '"';
    }
    EXPECT_EQ(bench.reload().chips[0].erases, 0);

    const UsbSerialWrite write = tool.writeSerial("XY");
    EXPECT_EQ(write.outcome, Outcome::Verified);
    EXPECT_EQ(write.serial, "XY      ");
    EXPECT_EQ(programmedSerial(bench.reload().chips[0]), "XY      ");
}

TEST(UsbSerialWrite, FailingWordWriteIsReportedAndStopsTheWrite)
{
    // 15 (FT_EEPROM_NOT_PROGRAMMED) included: it must not pass for success.
    for (FtStatus status : {ftstatus::kEepromWriteFailed, ftstatus::kEepromNotProgrammed, ftstatus::kIoError}) {
        StandinBench bench;
        auto& chip = bench.addChip("TLVX0001", "TalvexUSB A", 0x11);
        chip.failWriteWord = 20;
        chip.failWriteStatus = status;
        UsbSerialTool tool = listed(bench);

        const UsbSerialWrite write = tool.writeSerial("EF012345");
        EXPECT_EQ(write.outcome, Outcome::WordWriteFailed) << status;
        EXPECT_EQ(write.word, 20);
        EXPECT_EQ(write.failure.code, static_cast<int>(status));
        ASSERT_EQ(write.logLines.size(), 2U);
        EXPECT_TRUE(contains(write.logLines[1], "EEPROM word 20 of 64 was not written (" + d2xxStatusName(status) + ")"))
            << write.logLines[1];
        EXPECT_TRUE(contains(write.logLines[1], "Write the serial number again, or restore the backup " +
                                                    write.backupFile.value().string()));
        EXPECT_FALSE(logged(write.logLines, " OK.")) << status;

        const standin::Chip after = bench.reload().chips[0];
        EXPECT_EQ(after.wordWrites, 20) << "words after the failing one are not tried";
        EXPECT_FALSE(after.opened);
        EXPECT_FALSE(checksumHolds(after));
    }
}

TEST(UsbSerialWrite, ReadBackThatDiffersIsReported)
{
    StandinBench bench;
    auto& chip = bench.addChip("TLVX0001", "TalvexUSB A", 0x11);
    chip.stuckWord = 30; // the write is answered FT_OK but lost
    UsbSerialTool tool = listed(bench);

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::Mismatch);
    EXPECT_EQ(write.word, 30);
    // Word 30 is the serial's fourth character, '1'; erased it reads all ones.
    EXPECT_TRUE(contains(write.logLines.back(), "1 of 64 words differ; word 30 reads 0xFFFF, 0x0031 was written"))
        << write.logLines.back();
    EXPECT_FALSE(bench.reload().chips[0].opened);
}

TEST(UsbSerialWrite, DeviceThatCannotBeOpenedIsReported)
{
    StandinBench bench;
    bench.addChip("FT000001", "Other adapter", 0x11);
    bench.addChip("TLVX0001", "TalvexUSB A", 0x12).openFailure = ftstatus::kDeviceNotOpened;
    UsbSerialTool tool = listed(bench);

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::OpenFailed);
    EXPECT_EQ(write.failure.error, FtdiError::Busy);
    ASSERT_EQ(write.logLines.size(), 1U);
    EXPECT_TRUE(contains(write.logLines[0], "FTDI device 1 is held by another program (FT_DEVICE_NOT_OPENED)"))
        << write.logLines[0];
    EXPECT_FALSE(write.backupFile.has_value());
    for (const auto& after : bench.reload().chips) {
        EXPECT_EQ(after.erases, 0);
        EXPECT_EQ(after.wordWrites, 0);
    }
}

TEST(UsbSerialWrite, FailingCloseGivesTheErrorLine)
{
    StandinBench bench;
    bench.addChip("TLVX0001", "TalvexUSB A", 0x11).closeFailure = ftstatus::kIoError;
    UsbSerialTool tool = listed(bench);

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::CloseFailed);
    EXPECT_EQ(write.logLines.back(), "Write serial number ERROR !\n");
    EXPECT_FALSE(logged(write.logLines, " OK."));
}

#endif

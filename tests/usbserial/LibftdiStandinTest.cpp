// The tool through libftdi: the stand-in libftdi loaded through the real
// run-time loader, its chips in a state file.
#if defined(TALVEX_LIBFTDI_STANDIN)

#include "support/ftd2xx/StandinBench.h"
#include "usbserial/EepromBackup.h"
#include "usbserial/FtdiLibraryChoice.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::StandinBench;
using Outcome = UsbSerialWrite::Outcome;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// A bench of chips behind the stand-in libftdi: the programmer's FT2232C
// with a valid image, as a chip of the tool's making looks.
struct LibftdiBench {
    StandinBench bench {standin::kLibftdiStateVariable};

    standin::Chip& addProgrammer(const std::string& serial, int address)
    {
        standin::Chip& chip = bench.addChip(serial, "TalvexUSB", 0);
        chip.id = 0x04036010;
        chip.bus = 3;
        chip.address = address;
        chip.eeprom = buildEepromImage(serial);
        return chip;
    }
    UsbSerialTool tool() const { return UsbSerialTool(bench.libftdi()); }
    /// The chips saved, and a tool that has listed them.
    UsbSerialTool listed()
    {
        bench.save();
        UsbSerialTool listing = tool();
        listing.readSerial();
        return listing;
    }
    standin::Chip chip(std::size_t index) const { return bench.reload().chips.at(index); }
};

EepromWords backupContents(const std::filesystem::path& path)
{
    const EepromFileCheck file = readEepromFile(path);
    EXPECT_TRUE(file.words.has_value()) << path;
    return file.words.value_or(EepromWords {});
}

} // namespace

TEST(LibftdiStandin, ListsOneRecordPerChipWithItsBusPlaceAndSaysWhichLibrary)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 7);
    b.bench.addChip("", "FT232R USB UART", 0); // no serial string at all
    b.bench.addChip("A9XYZ", "Locked", 0).noAccess = true;
    b.bench.save();
    UsbSerialTool tool = b.tool();

    const UsbSerialListing listing = tool.readSerial();
    ASSERT_EQ(listing.outcome, UsbSerialListing::Outcome::Listed) << listing.failure.text;
    EXPECT_EQ(listing.logLines,
              std::vector<std::string> {"USB serial number through libftdi (" TALVEX_LIBFTDI_STANDIN ")."});
    EXPECT_EQ(*listing.listingText,
              "Device 0:\n   ID=0x4036010\n   LocId=0x307\n   SerialNumber=TLVX0001\n   Description=TalvexUSB\n\n"
              "Device 1:\n   ID=0x4036001\n   LocId=0x103\n   SerialNumber=\n   Description=FT232R USB UART\n\n"
              "Device 2:\n   ID=0x4036001\n   LocId=0x104\n   SerialNumber=\n "
              "  Description=(not accessible: libusb_open() failed (-4))\n\n");
    EXPECT_EQ(tool.selectedIndex(), 0) << "the only chip with a serial number";
    EXPECT_EQ(tool.devices()[0].type, 4U) << "FT2232C, from its release number";
}

TEST(LibftdiStandin, WriteBacksUpOpensBySerialDetachesInterfaceAOnlyAndGivesItBack)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 5);
    b.bench.save();
    UsbSerialTool tool = b.tool();
    tool.setClock([] { return std::chrono::system_clock::from_time_t(1700000000); });
    tool.readSerial();

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    ASSERT_EQ(write.outcome, Outcome::Verified) << write.logLines.back();
    const standin::Chip after = b.chip(0);
    EXPECT_EQ(after.openedBy, "serial");
    EXPECT_EQ(after.detaches, 1);
    EXPECT_EQ(after.reattaches, 1) << "ftdi_sio must get the port back";
    EXPECT_EQ(after.sioDetached, 0U);
    EXPECT_FALSE(after.opened);
    EXPECT_EQ(after.eeprom, buildEepromImage("EF012345"));

    // The backup holds what the chip held before, named after chip and time.
    ASSERT_TRUE(write.backupFile.has_value());
    EXPECT_EQ(write.backupFile->parent_path(), b.bench.backupDirectory());
    EXPECT_EQ(write.backupFile->filename().string(),
              eepromBackupFileName("TLVX0001", std::chrono::system_clock::from_time_t(1700000000)));
    EXPECT_EQ(backupContents(*write.backupFile), buildEepromImage("TLVX0001"));
    EXPECT_EQ(write.logLines.front(), "EEPROM backup saved to " + write.backupFile->string());

    // A second write in the same second keeps the first backup.
    const UsbSerialWrite again = tool.writeSerial("EF012346");
    ASSERT_TRUE(again.backupFile.has_value());
    EXPECT_NE(*again.backupFile, *write.backupFile);
    EXPECT_EQ(backupContents(*again.backupFile), buildEepromImage("EF012345"));
    EXPECT_EQ(backupContents(*write.backupFile), buildEepromImage("TLVX0001"));
}

TEST(LibftdiStandin, TwoChipsSharingASerialAreOpenedByBusPlace)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 5);
    b.addProgrammer("TLVX0001", 9);
    UsbSerialTool tool = b.listed();
    ASSERT_EQ(tool.selectedIndex(), 1);
    EXPECT_EQ(tool.selectChip(std::string("TLVX0001")).outcome, UsbSerialSelection::Outcome::Shared);

    tool.readSerial();
    ASSERT_EQ(tool.writeSerial("NEW00009").outcome, Outcome::Verified);
    EXPECT_EQ(b.chip(1).openedBy, "bus");
    EXPECT_EQ(b.chip(1).eeprom, buildEepromImage("NEW00009"));
    EXPECT_EQ(b.chip(0).eeprom, buildEepromImage("TLVX0001")) << "the other chip is not touched";
    EXPECT_EQ(b.chip(0).detaches, 0);
}

TEST(LibftdiStandin, AnotherChipTheUserMayNotOpenDoesNotStopTheWrite)
{
    LibftdiBench b;
    b.addProgrammer("OTHER001", 4).noAccess = true; // listed first, searched first
    b.addProgrammer("TLVX0001", 5);
    UsbSerialTool tool = b.listed();
    ASSERT_EQ(tool.selectedIndex(), 1);

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::Verified) << write.logLines.back();
    EXPECT_EQ(b.chip(1).openedBy, "bus");
    EXPECT_EQ(b.chip(1).eeprom, buildEepromImage("EF012345"));
}

TEST(LibftdiStandin, BusyOrRefusedChipIsNamedAndNothingIsWritten)
{
    for (const bool busy : {true, false}) {
        LibftdiBench b;
        b.addProgrammer("TLVX0001", 5);
        UsbSerialTool tool = b.listed();
        (busy ? b.bench.state.chips[0].heldElsewhere : b.bench.state.chips[0].noAccess) = true;
        b.bench.save();

        const UsbSerialWrite write = tool.writeSerial("EF012345");
        EXPECT_EQ(write.outcome, Outcome::OpenFailed);
        EXPECT_EQ(write.failure.error, busy ? FtdiError::Busy : FtdiError::Denied);
        const std::string expected = busy ? "is held by another program (unable to claim usb device"
                                          : "may not be opened by this user (libusb_open() failed (-4))";
        EXPECT_TRUE(contains(write.logLines.back(), expected))
            << write.logLines.back();
        EXPECT_TRUE(contains(write.logLines.back(), "nothing was written"));
        EXPECT_FALSE(write.backupFile.has_value());
        EXPECT_EQ(b.chip(0).eeprom, buildEepromImage("TLVX0001"));
        EXPECT_EQ(b.chip(0).detaches, 0);
    }
}

TEST(LibftdiStandin, RefusedWordStopsTheWriteNamesTheBackupAndGivesThePortBack)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 5).failWriteWord = 20;
    UsbSerialTool tool = b.listed();

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::WordWriteFailed);
    EXPECT_EQ(write.word, 20);
    ASSERT_TRUE(write.backupFile.has_value());
    EXPECT_TRUE(contains(write.logLines.back(), "EEPROM word 20 of 64 was not written (libusb error -9)"));
    EXPECT_TRUE(contains(write.logLines.back(), "restore the backup " + write.backupFile->string()));
    const standin::Chip after = b.chip(0);
    EXPECT_EQ(after.wordWrites, 20);
    EXPECT_EQ(after.reattaches, 1);
    EXPECT_EQ(backupContents(*write.backupFile), buildEepromImage("TLVX0001"));
}

TEST(LibftdiStandin, DisconnectAfterWordTwentySaysThePartialImageAndTheBackup)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 5).vanishAfterWrites = 20;
    UsbSerialTool tool = b.listed();

    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, Outcome::Disconnected);
    EXPECT_EQ(write.word, 20);
    EXPECT_EQ(write.failure.error, FtdiError::Disconnected);
    ASSERT_TRUE(write.backupFile.has_value());
    EXPECT_EQ(write.logLines.back(),
              "Write serial number ERROR: the FTDI device went away at EEPROM word 20 of 64 (libusb error -4); the "
              "chip may hold a partial image. Plug the programmer in again and restore the backup " +
                  write.backupFile->string() + ".");
    EXPECT_EQ(backupContents(*write.backupFile), buildEepromImage("TLVX0001"));

    // Plugged in again: the backup goes back.
    auto state = b.bench.reload();
    state.chips[0].unplugged = false;
    state.chips[0].sioDetached = 0; // a chip plugged in gets its driver afresh
    state.chips[0].vanishAfterWrites = -1;
    b.bench.state = state;
    b.bench.save();
    tool.readSerial();
    const UsbSerialWrite restored = tool.restore(backupContents(*write.backupFile));
    EXPECT_EQ(restored.outcome, Outcome::Verified) << restored.logLines.back();
    EXPECT_EQ(restored.logLines.back(), "Restore EEPROM: OK. Please, unplug and restart Talvex !\n");
    EXPECT_EQ(b.chip(0).eeprom, buildEepromImage("TLVX0001"));
}

TEST(LibftdiStandin, BackupReadsTheSelectedChip)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 5);
    b.addProgrammer("TLVX0002", 6);
    UsbSerialTool tool = b.listed();
    EXPECT_EQ(tool.selectChip(std::nullopt).outcome, UsbSerialSelection::Outcome::Several);
    EXPECT_EQ(tool.backup().outcome, UsbSerialBackup::Outcome::NoDeviceSelected);

    ASSERT_EQ(tool.selectChip(std::string("TLVX0001")).device, 0);
    const UsbSerialBackup backup = tool.backup();
    ASSERT_EQ(backup.outcome, UsbSerialBackup::Outcome::Read);
    EXPECT_EQ(backup.words, buildEepromImage("TLVX0001"));
    EXPECT_EQ(b.chip(0).reattaches, 1);
}

TEST(FtdiLibraryChoice, D2xxWhereItLoadsLibftdiOtherwiseOrAsForced)
{
    LibftdiBench b;
    b.addProgrammer("TLVX0001", 5);
    b.bench.save();
    const FtdiLibraryLoaders noD2xx {[] { return loadD2xxBackend("/nonexistent/libftd2xx.so"); },
                                     [] { return loadLibftdi(TALVEX_LIBFTDI_STANDIN); }};
    const FtdiLoadResult automatic = chooseFtdiLibrary(FtdiLibraryPreference::Automatic, noD2xx);
    ASSERT_TRUE(automatic) << automatic.error;
    EXPECT_EQ(automatic.backend->name(), "libftdi (" TALVEX_LIBFTDI_STANDIN ")");
    EXPECT_FALSE(chooseFtdiLibrary(FtdiLibraryPreference::D2xx, noD2xx));

    const FtdiLibraryLoaders both {[] { return loadD2xxBackend(TALVEX_FTD2XX_STANDIN); },
                                   [] { return loadLibftdi(TALVEX_LIBFTDI_STANDIN); }};
    EXPECT_EQ(chooseFtdiLibrary(FtdiLibraryPreference::Automatic, both).backend->name(),
              "FTDI D2XX (" TALVEX_FTD2XX_STANDIN ")");
    EXPECT_EQ(chooseFtdiLibrary(FtdiLibraryPreference::Libftdi, both).backend->name(),
              "libftdi (" TALVEX_LIBFTDI_STANDIN ")");

    const FtdiLibraryLoaders none {[] { return loadD2xxBackend("/nonexistent/libftd2xx.so"); },
                                   [] { return loadLibftdi("/nonexistent/libftdi1.so.2"); }};
    const FtdiLoadResult nothing = chooseFtdiLibrary(FtdiLibraryPreference::Automatic, none);
    EXPECT_FALSE(nothing);
    EXPECT_TRUE(contains(nothing.error, "no FTDI library could be loaded")) << nothing.error;
    EXPECT_TRUE(contains(nothing.error, "libftd2xx.so")) << nothing.error;
    EXPECT_TRUE(contains(nothing.error, "Install the package libftdi1-2")) << nothing.error;
}

#endif

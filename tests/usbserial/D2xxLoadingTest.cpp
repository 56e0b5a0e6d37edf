// Loading the D2XX library at run time: what a missing library or entry
// point leaves behind.
#if defined(TALVEX_FTD2XX_STANDIN)

#include "support/ftd2xx/StandinBench.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::StandinBench;

namespace {

bool contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

} // namespace

TEST(D2xxLoading, LoadsTheStandInByPathWithAllEntryPoints)
{
    const D2xxLoadResult full = StandinBench::load();
    ASSERT_TRUE(full) << full.error;
    EXPECT_TRUE(full.error.empty());
    EXPECT_TRUE(full.api->canReadEe());
#if defined(_WIN32)
    EXPECT_EQ(defaultD2xxLibraryName(), "ftd2xx.dll");
#else
    EXPECT_EQ(defaultD2xxLibraryName(), "libftd2xx.so");
#endif
}

TEST(D2xxLoading, MissingLibraryIsSaidOnceAndLeavesTheTabHarmless)
{
    const std::string path = "/nonexistent/talvex/libftd2xx.so";
    const D2xxLoadResult missing = DynamicD2xx::load(path);
    ASSERT_FALSE(missing);
    EXPECT_TRUE(contains(missing.error, "the FTDI D2XX library " + path + " could not be loaded")) << missing.error;
    EXPECT_TRUE(contains(missing.error, "Install FTDI's D2XX driver"));

    UsbSerialTool tool(d2xxBackend(missing));
    EXPECT_FALSE(tool.available());
    const UsbSerialListing first = tool.readSerial();
    EXPECT_EQ(first.outcome, UsbSerialListing::Outcome::Unavailable);
    ASSERT_EQ(first.logLines.size(), 1U);
    EXPECT_EQ(first.logLines[0], missing.error);
    EXPECT_FALSE(first.listingText.has_value());
    EXPECT_FALSE(first.devicesListed);

    // Once said, never again, whichever button comes next.
    EXPECT_TRUE(tool.readSerial().logLines.empty());
    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, UsbSerialWrite::Outcome::Unavailable);
    EXPECT_TRUE(write.logLines.empty());
    EXPECT_EQ(tool.selectedIndex(), UsbSerialTool::kNoDevice);
}

TEST(D2xxLoading, WriteFirstAlsoSaysItOnce)
{
    UsbSerialTool tool(loadD2xxBackend("/nonexistent/libftd2xx.so"));
    EXPECT_EQ(tool.writeSerial("EF012345").logLines.size(), 1U);
    EXPECT_TRUE(tool.readSerial().logLines.empty());
}

TEST(D2xxLoading, MissingEntryPointIsNamed)
{
    const D2xxLoadResult broken = DynamicD2xx::load(TALVEX_FTD2XX_STANDIN_NOWRITEEE);
    ASSERT_FALSE(broken);
    EXPECT_TRUE(contains(broken.error, "has no entry point FT_WriteEE")) << broken.error;

    UsbSerialTool tool(d2xxBackend(broken));
    const UsbSerialListing listing = tool.readSerial();
    EXPECT_EQ(listing.outcome, UsbSerialListing::Outcome::Unavailable);
    EXPECT_EQ(listing.logLines, std::vector<std::string>{broken.error});
    EXPECT_TRUE(tool.readSerial().logLines.empty());
}

TEST(D2xxLoading, LibraryWithoutReadEeWritesUnverifiedAndSaysSo)
{
    StandinBench bench;
    bench.addChip("TLVX0001", "TalvexUSB A", 0x11);
    bench.save();
    const D2xxLoadResult older = StandinBench::load(TALVEX_FTD2XX_STANDIN_NOREADEE);
    ASSERT_TRUE(older) << older.error;
    EXPECT_FALSE(older.api->canReadEe());

    FtdiLoadResult library = d2xxBackend(older);
    library.backupDirectory = bench.backupDirectory();
    UsbSerialTool tool(library);
    tool.readSerial();
    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, UsbSerialWrite::Outcome::WrittenUnverified);
    ASSERT_EQ(write.logLines.size(), 3U);
    EXPECT_EQ(write.logLines[0],
              "No backup of the EEPROM: FTDI D2XX (" TALVEX_FTD2XX_STANDIN_NOREADEE ") cannot read it.");
    EXPECT_EQ(write.logLines[1], "EEPROM not verified: this FTDI D2XX library has no FT_ReadEE.");
    EXPECT_EQ(write.logLines[2], "Write serial number: EF012345 OK. Please, unplug and restart Talvex !\n");
    EXPECT_FALSE(write.backupFile.has_value());
    EXPECT_FALSE(std::filesystem::exists(bench.backupDirectory()));
    EXPECT_EQ(bench.reload().chips[0].wordWrites, 64);
}

TEST(D2xxLoading, StandInWithoutItsStateRefusesInsteadOfInventingDevices)
{
    StandinBench::clearStateVariable();
    UsbSerialTool tool(d2xxBackend(StandinBench::load()));
    const UsbSerialListing listing = tool.readSerial();
    EXPECT_EQ(listing.outcome, UsbSerialListing::Outcome::ListFailed);
    EXPECT_EQ(listing.failure.text, "FT_OTHER_ERROR");
}

#endif

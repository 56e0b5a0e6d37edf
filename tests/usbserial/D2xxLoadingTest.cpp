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
    EXPECT_EQ(first.failure.status, Status::Unsupported);
    ASSERT_EQ(first.logLines.size(), 1U);
    EXPECT_EQ(first.logLines[0], "USB serial tool unavailable: " + missing.error);
    EXPECT_FALSE(first.listingText.has_value());
    EXPECT_FALSE(first.devicesListed);

    // Once said, never again, whichever button comes next.
    EXPECT_TRUE(tool.readSerial().logLines.empty());
    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, EepromOutcome::Unavailable);
    EXPECT_TRUE(write.logLines.empty());
    EXPECT_FALSE(tool.chosenChip().has_value());
}

TEST(D2xxLoading, MissingEntryPointIsNamed)
{
    const D2xxLoadResult broken = DynamicD2xx::load(TALVEX_FTD2XX_STANDIN_NOWRITEEE);
    ASSERT_FALSE(broken);
    EXPECT_TRUE(contains(broken.error, "has no entry point FT_WriteEE")) << broken.error;

    // Said once also when the write comes first.
    UsbSerialTool tool(d2xxBackend(broken));
    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, EepromOutcome::Unavailable);
    EXPECT_EQ(write.logLines, std::vector<std::string>{"USB serial tool unavailable: " + broken.error});
    EXPECT_TRUE(tool.readSerial().logLines.empty());
}

TEST(D2xxLoading, LibraryWithoutReadEeWritesNothingAndSaysWhy)
{
    StandinBench bench;
    bench.addProgrammer("TLVX0001");
    bench.save();
    const D2xxLoadResult older = StandinBench::load(TALVEX_FTD2XX_STANDIN_NOREADEE);
    ASSERT_TRUE(older) << older.error;
    EXPECT_FALSE(older.api->canReadEe());

    FtdiLoadResult library = d2xxBackend(older);
    library.backupDirectory = bench.backupDirectory();
    UsbSerialTool tool(library);
    tool.readSerial();
    ASSERT_TRUE(tool.choose({}).chip);
    const UsbSerialWrite write = tool.writeSerial("EF012345");
    EXPECT_EQ(write.outcome, EepromOutcome::ReadFailed);
    ASSERT_FALSE(write.logLines.empty());
    EXPECT_TRUE(contains(write.logLines.back(), "cannot read the EEPROM, so the chip's other settings could not be "
                                                "kept; nothing was written"))
        << write.logLines.back();
    EXPECT_FALSE(std::filesystem::exists(bench.backupDirectory()));
    EXPECT_EQ(bench.chip(0).eepromWrites, 0);
}

#endif

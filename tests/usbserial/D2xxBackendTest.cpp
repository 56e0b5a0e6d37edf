// The USB serial tool on FTDI's D2XX interface, the library loaded by path
// as the program loads it (the stand-in over the chip model): a chip named
// among several is found again by its place, checked once open, and keeps
// its whole EEPROM but the serial number; a chip that came back at another
// place is not taken for it.
#if defined(TALVEX_FTD2XX_STANDIN)

#include "support/ftd2xx/StandinBench.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;
using test::StandinBench;

TEST(D2xxBackend, WritesOnlyTheChipNamedAndOnlyItsSerialNumber)
{
    StandinBench bench;
    bench.addProgrammer("TLVX0001", Ft2232Kind::Ft2232C, EepromPart::C46, "2-1");
    const auto image = StandinBench::imageFor(Ft2232Kind::Ft2232H, EepromPart::C66, "HS000042", true);
    bench.addChip(Ft2232Kind::Ft2232H, EepromPart::C66, image, "1-4.2");
    bench.save();

    UsbSerialTool tool(bench.d2xx());
    ASSERT_TRUE(tool.readSerial().devicesListed);
    ASSERT_EQ(tool.chips().size(), 2U) << "one chip of each pair of channel records";
    EXPECT_FALSE(tool.choose({}).chip) << "two programmer chips, none named";
    const FtdiChipChoice named = tool.choose({std::string("HS000042"), std::nullopt, false});
    ASSERT_TRUE(named.chip) << named.problem;
    EXPECT_EQ(named.chip->kind, FtdiChipKind::Ft2232H);

    const UsbSerialWrite write = tool.writeSerial("NEW00042");
    ASSERT_TRUE(write.succeeded()) << write.logLines.back();
    EXPECT_EQ(write.partWords, 256U) << "a 93C66 seen by its wrap";
    const Ft2232Chip after = bench.chip(1);
    for (std::size_t i = 0; i < image.size(); ++i) {
        if (after.eeprom[i] != image[i]) {
            EXPECT_TRUE(i == 127 || (i >= 0x9A / 2 && i < 0x80)) << "word " << i << " changed";
        }
    }
    EXPECT_EQ(after.eeprom[200], image[200]) << "past the checked area";
    EXPECT_EQ(bench.chip(0).eepromWrites, 0);
    EXPECT_EQ(bench.chip(0).eepromReads, 0) << "the other chip is not even read";
    Ft2232Chip seen = after;
    seen.replug(seen.address + 1);
    EXPECT_EQ(seen.enumeration().serial, "NEW00042");

    // Moved to another port since the listing: not the chip listed.
    bench.change([](Ft2232Bus& bus) { bus.chips[1].ports = {3}; });
    const UsbSerialWrite stale = tool.writeSerial("STALE001");
    EXPECT_EQ(stale.outcome, EepromOutcome::OpenFailed);
    EXPECT_EQ(bench.chip(1).eeprom, after.eeprom);
}

#endif

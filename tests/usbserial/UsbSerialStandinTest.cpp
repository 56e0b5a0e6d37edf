// The stand-in D2XX library over the chip model, loaded through the
// program's own run-time loader (dlopen by path): what a caller of the
// real library would see of the modelled chips, in the state file after.
#if defined(TALVEX_FTD2XX_STANDIN)

#include "support/ftd2xx/StandinBench.h"

#include <gtest/gtest.h>

#include <string>

using namespace talvex;
using test::StandinBench;

namespace {

std::vector<FtDeviceListInfoNode> listOf(D2xxApi& library)
{
    std::uint32_t count = 0;
    EXPECT_EQ(library.createDeviceInfoList(count), ftstatus::kOk);
    std::vector<FtDeviceListInfoNode> records(count);
    if (count > 0)
        EXPECT_EQ(library.getDeviceInfoList(records.data(), count), ftstatus::kOk);
    return records;
}

} // namespace

TEST(D2xxStandin, ListsEachChannelOpensByNameOrPlaceAndKeepsWhatWasWritten)
{
    StandinBench bench;
    bench.addProgrammer("TLVX0001", Ft2232Kind::Ft2232C, EepromPart::C46, "2-1");
    bench.addChip(Ft2232Kind::Ft2232H, EepromPart::C66,
                  StandinBench::imageFor(Ft2232Kind::Ft2232H, EepromPart::C66, "HS000042", true), "1-4.2");
    bench.save();
    const D2xxLoadResult loaded = StandinBench::load();
    ASSERT_TRUE(loaded) << loaded.error;
    D2xxApi& d2xx = *loaded.api;
    ASSERT_TRUE(d2xx.canOpenEx());

    const auto records = listOf(d2xx);
    ASSERT_EQ(records.size(), 4U);
    EXPECT_EQ(std::string(records[1].SerialNumber), "TLVX0001B");
    EXPECT_EQ(std::string(records[2].Description), "TalvexUSB A");
    EXPECT_EQ(records[0].Type, 4U);
    EXPECT_EQ(records[3].Type, 6U);
    EXPECT_EQ(records[0].LocId, 0x2111U);
    EXPECT_EQ(records[3].LocId, 0x1422U);

    FtHandle handle = nullptr;
    ASSERT_EQ(d2xx.openBySerial("HS000042B", handle), ftstatus::kOk);
    FtOpenedDevice device;
    ASSERT_EQ(d2xx.getDeviceInfo(handle, device), ftstatus::kOk);
    EXPECT_EQ(device.serialNumber, "HS000042B");
    EXPECT_EQ(device.description, "TalvexUSB B");
    EXPECT_EQ(device.id, 0x04036010U);
    EXPECT_EQ(std::string(listOf(d2xx)[3].SerialNumber), "HS000042B") << "still listed while open";
    EXPECT_EQ(listOf(d2xx)[3].Flags & kFtFlagOpened, kFtFlagOpened);
    FtHandle again = nullptr;
    EXPECT_EQ(d2xx.openByLocation(0x1422, again), ftstatus::kDeviceNotOpened) << "already open";

    // A 93C66 repeats itself only after 256 words; word 200 lies beyond
    // what the chip checks, so writing it changes nothing it shows.
    std::uint16_t first = 0, wrapped = 1;
    ASSERT_EQ(d2xx.readEe(handle, 0, first), ftstatus::kOk);
    ASSERT_EQ(d2xx.readEe(handle, 256, wrapped), ftstatus::kOk);
    EXPECT_EQ(wrapped, first);
    ASSERT_EQ(d2xx.writeEe(handle, 200, 0xBEEF), ftstatus::kOk);
    ASSERT_EQ(d2xx.close(handle), ftstatus::kOk);

    const Ft2232Chip after = bench.chip(1);
    EXPECT_EQ(after.eeprom[200], 0xBEEF);
    EXPECT_EQ(after.wordsWritten, std::vector<int>{200});
    EXPECT_EQ(after.eepromReads, 2);
    EXPECT_FALSE(after.d2xxOpen[1]);
    EXPECT_EQ(bench.chip(0).eepromWrites, 0);
}

TEST(D2xxStandin, HandlesDieWithTheChipAndFaultsComeFromTheStateFile)
{
    StandinBench bench;
    bench.addProgrammer("TLVX0001").failWriteWord = 9;
    bench.save();
    const D2xxLoadResult loaded = StandinBench::load();
    ASSERT_TRUE(loaded) << loaded.error;
    D2xxApi& d2xx = *loaded.api;

    FtHandle handle = nullptr;
    ASSERT_EQ(d2xx.openBySerial("TLVX0001A", handle), ftstatus::kOk);
    EXPECT_EQ(d2xx.writeEe(handle, 9, 0), ftstatus::kEepromWriteFailed);
    bench.replug(0);
    EXPECT_EQ(d2xx.writeEe(handle, 10, 0), ftstatus::kIoError) << "opened before the replug";
    EXPECT_EQ(d2xx.close(handle), ftstatus::kOk);
    EXPECT_EQ(bench.chip(0).eepromWrites, 1);

    bench.change([](Ft2232Bus& bus) { bus.chips[0].heldElsewhere = true; });
    EXPECT_EQ(d2xx.openBySerial("TLVX0001A", handle), ftstatus::kDeviceNotFound)
        << "a channel held elsewhere shows no serial number";
    EXPECT_EQ(d2xx.open(0, handle), ftstatus::kDeviceNotOpened);

    StandinBench::clearStateVariable();
    std::uint32_t count = 0;
    EXPECT_EQ(d2xx.createDeviceInfoList(count), ftstatus::kOtherError) << "no state, no invented devices";
}

#endif

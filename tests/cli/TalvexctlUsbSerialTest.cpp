// talvexctl's USB serial number commands against the simulated FTDI chip,
// the EEPROM image file, and the version check against a loopback server.

#include "cli/CliBench.h"
#include "firmware/UploadBench.h"
#include "update/LoopbackServer.h"
#include "usbserial/EepromBackup.h"
#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include <sstream>

#if defined(TALVEX_LIBUSB_STANDIN_DIR)
#include "support/ProgramRun.h"
#include "support/libusb/UsbBench.h"
#endif

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;
using talvex::test::contains;

namespace {

std::vector<std::uint8_t> fileBytes(const std::string& path)
{
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(TalvexctlUsbSerial, ImageFileHoldsTheWordsLowByteFirstWithTheirChecksum)
{
    CliBench bench;
    test::TempFolder folder;
    const std::string path = folder.path("eeprom.bin");
    const CliResult result = bench.run({"usb-serial", "image", "AB12", "--out", path});
    ASSERT_EQ(result.status, 0) << result.err;

    // The image's words (tests/usbserial's) low byte first: 0403, 6010 first.
    const std::vector<std::uint8_t> bytes = fileBytes(path);
    const EepromWords words = buildEepromImage("AB12");
    ASSERT_EQ(bytes.size(), 128u);
    for (std::size_t i = 0; i < words.size(); ++i)
        EXPECT_EQ(bytes[2 * i] | bytes[2 * i + 1] << 8, words[i]) << i;
    EXPECT_EQ(bytes[2], 0x03);
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "0x%04X", words[63]);
    EXPECT_EQ(result.out,
              "USB serial number \"AB12    \": 128 bytes, checksum " + std::string(checksum) + ", written to " + path +
                  "\n");
    // No chip was touched.
    EXPECT_EQ(bench.ftdi->eepromPart(), SimulatedFtdi().eepromPart());

    const CliResult unwritable = bench.run({"usb-serial", "image", "AB12", "--out", folder.path("no/such/dir/x.bin")});
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_TRUE(contains(unwritable.err, "cannot write"));
}

TEST(TalvexctlUsbSerial, ListWriteAndGenerate)
{
    CliBench bench;
    bench.sim.addProgrammer("COM3", "COM4");

    const CliResult list = bench.run({"usb-serial", "list"});
    EXPECT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out,
              "Device 0:\n   ID=0x4036010\n   LocId=0x2111\n   SerialNumber=TLVX0001A\n   Description=TalvexUSB A\n\n"
              "Device 1:\n   ID=0x4036010\n   LocId=0x2112\n   SerialNumber=TLVX0001B\n   Description=TalvexUSB B\n\n");
    const CliResult json = bench.run({"usb-serial", "list", "--json"});
    EXPECT_TRUE(contains(json.out,
                         "{\"index\":1,\"serialNumber\":\"TLVX0001B\",\"description\":\"TalvexUSB B\","
                         "\"id\":\"0x4036010\",\"locId\":\"0x2112\",\"location\":\"0x2111\","
                         "\"chip\":\"FT2232C/D\"}"))
        << json.out;

    const CliResult write = bench.run({"usb-serial", "write", "NEW1"});
    EXPECT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "Write serial number: NEW1     OK. Please, unplug and restart Talvex !\n");
    EXPECT_TRUE(contains(write.err, "EEPROM verified"));
    bench.ftdi->replug();
    EXPECT_TRUE(contains(bench.run({"usb-serial", "list"}).out, "SerialNumber=NEW1    B"));

    const CliResult generate = bench.run({"--answer-delay", "150", "usb-serial", "generate", "--port", "COM3"});
    EXPECT_EQ(generate.status, 0) << generate.err;
    EXPECT_EQ(generate.out, "EF012345\n");

    const CliResult invalid = bench.run({"usb-serial", "write", "bad!"});
    EXPECT_EQ(invalid.status, 2);
    EXPECT_TRUE(contains(invalid.err, "\"bad!\" is not a USB serial number"));
}

TEST(TalvexctlUsbSerial, ChipProblemsHaveTheirOwnExitCodes)
{
    CliBench busy;
    busy.ftdi->failOpen(0, ftstatus::kDeviceNotOpened);
    const CliResult notOpened = busy.run({"usb-serial", "write", "NEW1"});
    EXPECT_EQ(notOpened.status, 4);
    EXPECT_TRUE(contains(notOpened.err, "FTDI chip TLVX0001 at 0x2111 is held by another program")) << notOpened.err;

    CliBench unplugged;
    unplugged.ftdi->setPlugged(false);
    const CliResult none = unplugged.run({"usb-serial", "list"});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(contains(none.err, "no FTDI device is attached"));

    CliBench mismatch;
    mismatch.ftdi->failWrite(27, ftstatus::kEepromWriteFailed);
    EXPECT_EQ(mismatch.run({"usb-serial", "write", "NEW1"}).status, 5);

    CliBench noLibrary;
    noLibrary.sim.context.setUsbSerialLibrary([] { return D2xxLoadResult {nullptr, "no D2XX library here"}; });
    const CliResult missing = noLibrary.run({"usb-serial", "list"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "USB serial tool unavailable: no D2XX library here\n");
}

TEST(TalvexctlUsbSerial, BackupRestoreAndTheChipNamedBySerial)
{
    CliBench bench;
    test::TempFolder folder;
    bench.sim.context.setUsbSerialBackupDirectory(folder.path("backups"));
    const std::string saved = folder.path("saved.bin");

    const CliResult backup = bench.run({"usb-serial", "backup", "--out", saved});
    ASSERT_EQ(backup.status, 0) << backup.err;
    EXPECT_TRUE(contains(backup.out, "EEPROM of FTDI chip TLVX0001 at 0x2111: 128 bytes, valid, checksum word "))
        << backup.out;
    EXPECT_TRUE(contains(backup.out, ", saved to " + saved));
    EXPECT_EQ(readEepromFile(saved).words, bench.ftdi->eepromPart());

    EXPECT_EQ(bench.run({"usb-serial", "write", "NEW1", "--serial", "TLVX0001"}).status, 0);
    const CliResult wrongChip = bench.run({"usb-serial", "write", "NEW2", "--serial", "NOPE"});
    EXPECT_EQ(wrongChip.status, 3);
    EXPECT_TRUE(contains(wrongChip.err, "no attached FTDI chip has the serial number \"NOPE\" (programmer chips "
                                        "attached: TLVX0001 at 0x2111)"))
        << wrongChip.err;
    EXPECT_EQ(enumerateFtdiEeprom(Ft2232Kind::Ft2232C, EepromPart::C46, bench.ftdi->eepromPart()).serial, "NEW1    ");

    // The write saved what the chip held before it, and the log named it.
    const auto backups = std::filesystem::directory_iterator(folder.path("backups"));
    const auto first = std::filesystem::begin(backups);
    ASSERT_NE(first, std::filesystem::end(backups));
    const std::vector<std::uint16_t> factory = SimulatedFtdi().eepromPart();
    EXPECT_EQ(readEepromFile(first->path()).words, factory);

    const CliResult restored = bench.run({"usb-serial", "restore", saved});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out, "Restore EEPROM: OK. Please, unplug and restart Talvex !\n");
    EXPECT_EQ(bench.ftdi->eepromPart(), SimulatedFtdi().eepromPart());
}

TEST(TalvexctlUsbSerial, RestoreRefusesABadFileUnlessForced)
{
    CliBench bench;
    test::TempFolder folder;
    bench.sim.context.setUsbSerialBackupDirectory(folder.path("backups"));
    EepromWords broken = buildEepromImage("NEW1");
    broken[kEepromChecksumWord] ^= 0x0001;
    ASSERT_TRUE(writeEepromFile(folder.path("broken.bin"), EepromContents(broken.begin(), broken.end())));
    const std::string shortFile = folder.write("short.bin", std::vector<std::uint8_t>(100, 0x41));

    const CliResult refused = bench.run({"usb-serial", "restore", folder.path("broken.bin")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(contains(refused.err, "broken.bin's checksum does not match its words")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "nothing was written (--force writes it anyway)"));
    const CliResult shortRefused = bench.run({"usb-serial", "restore", shortFile});
    EXPECT_EQ(shortRefused.status, 2);
    EXPECT_TRUE(contains(shortRefused.err, "short.bin has 100 bytes; an EEPROM image has 128, 256 or 512"))
        << shortRefused.err;
    EXPECT_EQ(bench.ftdi->eepromPart(), SimulatedFtdi().eepromPart());
    EXPECT_FALSE(std::filesystem::exists(folder.path("backups"))) << "a refused file touches no chip";

    const CliResult forced = bench.run({"usb-serial", "restore", folder.path("broken.bin"), "--force"});
    EXPECT_EQ(forced.status, 0) << forced.err;
    EXPECT_TRUE(contains(forced.err, "writing it anyway as --force asks")) << forced.err;
    EXPECT_EQ(bench.ftdi->eeprom(), broken);

    const CliResult forcedShort = bench.run({"usb-serial", "restore", shortFile, "--force"});
    EXPECT_EQ(forcedShort.status, 0) << forcedShort.err;
    EXPECT_TRUE(contains(forcedShort.err, "filled up with 0xFF")) << forcedShort.err;
    EXPECT_EQ(bench.ftdi->eeprom()[49], 0x4141);
    EXPECT_EQ(bench.ftdi->eeprom()[50], 0xFFFF);
}

TEST(TalvexctlUsbSerial, LibraryChoiceIsCheckedBeforeAnyChip)
{
    CliBench bench;
    const CliResult unknown = bench.run({"usb-serial", "list", "--ftdi-library", "ftd2xx"});
    EXPECT_EQ(unknown.status, 2);
    EXPECT_TRUE(contains(unknown.err, "--ftdi-library takes d2xx or libftdi")) << unknown.err;
    const CliResult simulated = bench.run({"--simulate", "usb-serial", "list", "--ftdi-library", "libftdi"});
    EXPECT_EQ(simulated.status, 2);
    EXPECT_TRUE(contains(simulated.err, "--simulate has its own chip")) << simulated.err;
}

#if defined(TALVEX_LIBUSB_STANDIN_DIR)

namespace {

using test::UsbBench;

// talvexctl as a program of its own over the real libftdi, whose libusb is
// the stand-in (found under libusb's real name), its chips in the bench's
// state file, its backups under `data`.
CliResult onLibftdi(const UsbBench& chips, const std::string& data, std::vector<std::string> args)
{
    std::vector<std::string> environment = chips.environment();
    environment.push_back("XDG_DATA_HOME=" + data);
    const test::ProgramResult run = test::runProgramWith(TALVEXCTL_PATH, std::move(args), environment);
    return {run.status, run.out, run.err};
}

// The words that differ between two images of one part.
std::vector<std::size_t> changedWords(const std::vector<std::uint16_t>& before, const std::vector<std::uint16_t>& after)
{
    std::vector<std::size_t> changed;
    for (std::size_t i = 0; i < std::min(before.size(), after.size()); ++i) {
        if (before[i] != after[i])
            changed.push_back(i);
    }
    return changed;
}

// The "talvexctl usb-serial restore ..." line a failed write advises, as the
// user would copy it.
std::vector<std::string> advisedRestore(const std::string& err)
{
    const std::string start = "\"talvexctl usb-serial restore ";
    const auto at = err.find(start);
    if (at == std::string::npos)
        return {};
    const auto end = err.find('"', at + 1);
    std::istringstream words(err.substr(at + 11, end - at - 11));
    std::vector<std::string> args;
    for (std::string word; words >> word;)
        args.push_back(word);
    return args;
}

} // namespace

TEST(TalvexctlOnLibftdi, OnlyTheSerialNumberChangesOnEachChipKindAndPart)
{
    for (const Ft2232Kind kind : {Ft2232Kind::Ft2232C, Ft2232Kind::Ft2232H}) {
        for (const EepromPart part : {EepromPart::C46, EepromPart::C56, EepromPart::C66}) {
            SCOPED_TRACE(ft2232KindName(kind) + " " + eepromPartName(part));
            UsbBench chips;
            test::TempFolder folder;
            std::vector<std::uint16_t> image = UsbBench::imageFor(kind, part, "OLD00001", true);
            // The upper half of a 93C66 lies outside what the chip reads: a user's.
            if (part == EepromPart::C66)
                image[200] = 0x1234;
            chips.addChip(kind, part, image, "1-4.2");
            chips.save();
            const FtdiEnumeration before = chips.chip(0).enumeration();

            const CliResult write = onLibftdi(chips, folder.path("data"), {"usb-serial", "write", "NEW12345"});
            ASSERT_EQ(write.status, 0) << write.err;
            EXPECT_EQ(write.out, "Write serial number: NEW12345 OK. Please, unplug and restart Talvex !\n");
            EXPECT_TRUE(contains(write.err, "writing to FTDI chip OLD00001 at 1-4.2")) << write.err;

            Ft2232Chip after = chips.chip(0);
            // The serial descriptor (9 words where the chip's pointer says) and
            // the checksum, nothing else; the checksum written last.
            const std::size_t checked = eepromCheckedWords(part);
            const std::size_t descriptor = ((image[9] & 0xFF) & (checked * 2 - 1)) / 2;
            const auto mayChange = [&](std::size_t word) {
                return word == checked - 1 || (word > descriptor && word < descriptor + 9);
            };
            for (const std::size_t word : changedWords(image, after.eeprom))
                EXPECT_TRUE(mayChange(word)) << word;
            for (const int word : after.wordsWritten)
                EXPECT_TRUE(mayChange(static_cast<std::size_t>(word))) << "written: " << word;
            ASSERT_FALSE(after.wordsWritten.empty());
            EXPECT_EQ(after.wordsWritten.back(), static_cast<int>(checked - 1));
            EXPECT_EQ(after.eepromErases, 0);
            EXPECT_EQ(after.kernelDriver, (std::array<bool, 2> {true, true})) << "ftdi_sio has both ports back";

            after.replug(after.address + 1);
            const FtdiEnumeration seen = after.enumeration();
            EXPECT_TRUE(seen.fromEeprom);
            EXPECT_EQ(seen.serial, "NEW12345");
            FtdiEnumeration expected = before;
            expected.serial = "NEW12345";
            EXPECT_EQ(seen, expected);

            // The backup holds the whole EEPROM as it was.
            const auto backups = std::filesystem::directory_iterator(folder.path("data") + "/talvex/eeprom-backups");
            ASSERT_NE(std::filesystem::begin(backups), std::filesystem::end(backups));
            EXPECT_EQ(readEepromFile(std::filesystem::begin(backups)->path()).words, image);
        }
    }
}

TEST(TalvexctlOnLibftdi, TwoProgrammersEachWriteGoesToTheChipNamedAndNoOther)
{
    UsbBench chips;
    test::TempFolder folder;
    chips.addProgrammer("TLVX0001", Ft2232Kind::Ft2232C, EepromPart::C46, "2-1");
    chips.addProgrammer("TLVX0002", Ft2232Kind::Ft2232H, EepromPart::C56, "2-2");
    chips.save();
    const auto run = [&](std::vector<std::string> args) { return onLibftdi(chips, folder.path("data"), args); };

    const CliResult unnamed = run({"usb-serial", "write", "NEW1"});
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_TRUE(contains(unnamed.err, "2 programmer chips are attached and none was named")) << unnamed.err;
    EXPECT_TRUE(contains(unnamed.err, "TLVX0001 at 2-1; TLVX0002 at 2-2")) << unnamed.err;

    const CliResult second = run({"usb-serial", "write", "NEW2", "--location", "2-2"});
    ASSERT_EQ(second.status, 0) << second.err;
    EXPECT_EQ(chips.chip(0).eepromWrites, 0);
    const CliResult first = run({"usb-serial", "write", "NEW1", "--serial", "TLVX0001"});
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(chips.chip(1).eepromWrites, static_cast<int>(chips.chip(1).wordsWritten.size()));

    chips.replug(0);
    chips.replug(1);
    EXPECT_EQ(chips.chip(0).enumeration().serial, "NEW1    ");
    EXPECT_EQ(chips.chip(1).enumeration().serial, "NEW2    ");

    const CliResult mismatch = run({"usb-serial", "write", "NEW3", "--location", "2-9"});
    EXPECT_EQ(mismatch.status, 3);
    EXPECT_TRUE(contains(mismatch.err, "no FTDI chip is attached at 2-9")) << mismatch.err;
    const CliResult twoWays = run({"usb-serial", "write", "NEW3", "--location", "2-1", "--serial", "NEW1"});
    EXPECT_EQ(twoWays.status, 2);
}

TEST(TalvexctlOnLibftdi, ABlankChipIsFoundByItsPlaceAndProgrammed)
{
    UsbBench chips;
    test::TempFolder folder;
    chips.addChip(Ft2232Kind::Ft2232H, EepromPart::C56, std::vector<std::uint16_t>(128, 0xFFFF), "3-1");
    chips.save();

    const CliResult list = onLibftdi(chips, folder.path("data"), {"usb-serial", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_TRUE(contains(list.err, "no serial number (EEPROM blank or invalid) at 3-1")) << list.err;

    const CliResult write = onLibftdi(chips, folder.path("data"), {"usb-serial", "write", "FRESH001"});
    ASSERT_EQ(write.status, 0) << write.err;
    chips.replug(0);
    const FtdiEnumeration seen = chips.chip(0).enumeration();
    EXPECT_TRUE(seen.fromEeprom);
    EXPECT_EQ(seen.serial, "FRESH001");
    EXPECT_EQ(seen.product, "TalvexUSB");
}

TEST(TalvexctlOnLibftdi, AFailedOrCutWriteIsUndoneByFollowingItsMessage)
{
    struct Case {
        const char* name;
        void (*fault)(Ft2232Chip&, int word);
        bool replugFirst;
    };
    const Case cases[] = {
        {"refused word", [](Ft2232Chip& chip, int word) { chip.failWriteWord = word; }, false},
        {"unplugged mid-write", [](Ft2232Chip& chip, int word) { chip.vanishAtWord = word; }, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        UsbBench chips;
        test::TempFolder folder;
        const std::vector<std::uint16_t> image =
            UsbBench::imageFor(Ft2232Kind::Ft2232C, EepromPart::C46, "TLVX0001", true);
        chips.addChip(Ft2232Kind::Ft2232C, EepromPart::C46, image, "2-1");
        // The third word of the serial number descriptor: one that changes.
        c.fault(chips.bus.chips[0], ((image[9] & 0x7F) / 2) + 2);
        chips.save();

        const CliResult cut = onLibftdi(chips, folder.path("data"), {"usb-serial", "write", "ABCDEFGH"});
        EXPECT_EQ(cut.status, 5) << cut.err;
        const std::vector<std::string> advice = advisedRestore(cut.err);
        ASSERT_FALSE(advice.empty()) << cut.err;
        EXPECT_EQ(advice.back(), "2-1");

        chips.change([](Ft2232Bus& bus) {
            bus.chips[0].failWriteWord = -1;
            bus.chips[0].vanishAtWord = -1;
        });
        if (c.replugFirst) {
            chips.plugIn(0);
        }
        // Half written: after a re-plug it has no serial number to be found by.
        Ft2232Chip half = chips.chip(0);
        half.replug(half.address + 1);
        EXPECT_NE(half.enumeration().serial, "TLVX0001");

        const CliResult restore = onLibftdi(chips, folder.path("data"), advice);
        ASSERT_EQ(restore.status, 0) << restore.err;
        EXPECT_EQ(chips.chip(0).eeprom, image);
        chips.replug(0);
        EXPECT_EQ(chips.chip(0).enumeration().serial, "TLVX0001");
    }
}

TEST(TalvexctlOnLibftdi, AHeldChipIsNotWritten)
{
    UsbBench chips;
    test::TempFolder folder;
    chips.addProgrammer("TLVX0001");
    chips.bus.chips[0].heldElsewhere = true;
    chips.save();
    const CliResult held = onLibftdi(chips, folder.path("data"), {"usb-serial", "write", "NEW1"});
    EXPECT_EQ(held.status, 4);
    EXPECT_TRUE(contains(held.err, "is held by another program")) << held.err;
    EXPECT_EQ(chips.chip(0).eepromWrites, 0);
    EXPECT_FALSE(std::filesystem::exists(folder.path("data") + "/talvex/eeprom-backups"));
}

#endif

TEST(TalvexctlCheckVersion, PrintsTheLatestVersionsAndTheNotice)
{
    CliBench bench;
    bench.sim.addProgrammer("COM3", "COM4"); // firmware 1.10
    test::LoopbackServer server([](test::LoopbackServer::Client& client) {
        std::string request = client.readRequest();
        client.send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\nfwversion=112 swversion=10600");
        return request;
    });
    const std::string where = "127.0.0.1:" + std::to_string(server.port());
    const CliResult result = bench.run({"--answer-delay", "150", "check-version", "--server", where, "--port", "COM3"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out,
              "firmware: 1.12\nsoftware: 1.06.00\nNew download available on '127.0.0.1' :\n"
              "Talvex firmware rev. 1.12 \nTalvexUSB-Setting Manager version 1.06.00 \n");
    EXPECT_TRUE(contains(result.err, "Latest version available for Talvex firmware rev. 1.12\n"));
    EXPECT_TRUE(contains(server.request(), "GET /version.html HTTP/1.1\r\nHost: " + where + "\r\n"));

    CliBench unreachable;
    test::RefusingPort refusing;
    const CliResult refused = unreachable.run(
        {"check-version", "--server", "127.0.0.1:" + std::to_string(refusing.port())});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_TRUE(contains(refused.err, "Could not connect !"));
    EXPECT_TRUE(contains(refused.err, "could not reach the version server http://127.0.0.1:"));
}

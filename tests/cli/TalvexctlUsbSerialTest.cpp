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

#if defined(TALVEX_LIBFTDI_STANDIN)
#include "support/ftd2xx/StandinBench.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;
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

// FTDI's checksum, worked out here again rather than taken from the tool.
std::uint16_t checksumOf(const EepromWords& words)
{
    unsigned sum = 0xAAAA;
    for (std::size_t i = 0; i < 63; ++i) {
        sum = (sum ^ words[i]) & 0xFFFF;
        sum = ((sum << 1) | (sum >> 15)) & 0xFFFF;
    }
    return static_cast<std::uint16_t>(sum);
}

} // namespace

TEST(TalvexctlUsbSerial, ImageFileHoldsTheWordsLowByteFirstWithTheirChecksum)
{
    CliBench bench;
    test::TempFolder folder;
    const std::string path = folder.path("eeprom.bin");
    const CliResult result = bench.run({"usb-serial", "image", "AB12", "--out", path});
    ASSERT_EQ(result.status, 0) << result.err;

    const std::vector<std::uint8_t> bytes = fileBytes(path);
    ASSERT_EQ(bytes.size(), 128u);
    EepromWords words {};
    for (std::size_t i = 0; i < words.size(); ++i)
        words[i] = static_cast<std::uint16_t>(bytes[2 * i] | bytes[2 * i + 1] << 8);
    // Vendor and product IDs: 0403, 6010, low byte first.
    EXPECT_EQ(bytes[2], 0x03);
    EXPECT_EQ(bytes[3], 0x04);
    EXPECT_EQ(bytes[4], 0x10);
    EXPECT_EQ(bytes[5], 0x60);
    EXPECT_EQ(eepromString(words, kSerialPointerWord), "AB12    ");
    EXPECT_EQ(eepromString(words, kProductPointerWord), "TalvexUSB");
    EXPECT_EQ(words[63], checksumOf(words));
    char checksum[8];
    std::snprintf(checksum, sizeof checksum, "0x%04X", words[63]);
    EXPECT_EQ(result.out,
              "USB serial number \"AB12    \": 128 bytes, checksum " + std::string(checksum) + ", written to " + path +
                  "\n");
    // No chip was touched.
    EXPECT_EQ(bench.ftdi->eeprom(), buildEepromImage(SimulatedFtdi::kFactorySerial));

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
                         "\"id\":\"0x4036010\",\"locId\":\"0x2112\",\"selected\":true}"))
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
    busy.ftdi->failOpen(1, ftstatus::kDeviceNotOpened);
    const CliResult notOpened = busy.run({"usb-serial", "write", "NEW1"});
    EXPECT_EQ(notOpened.status, 4);
    EXPECT_TRUE(contains(notOpened.err, "FTDI device 1 is held by another program"));

    CliBench unplugged;
    unplugged.ftdi->setPlugged(false);
    const CliResult none = unplugged.run({"usb-serial", "list"});
    EXPECT_EQ(none.status, 3);
    EXPECT_TRUE(contains(none.err, "no FTDI device is attached"));

    CliBench mismatch;
    mismatch.ftdi->failWrite(3, ftstatus::kEepromWriteFailed);
    EXPECT_EQ(mismatch.run({"usb-serial", "write", "NEW1"}).status, 5);

    CliBench noLibrary;
    noLibrary.sim.context.setUsbSerialLibrary([] { return D2xxLoadResult {nullptr, "no D2XX library here"}; });
    const CliResult missing = noLibrary.run({"usb-serial", "list"});
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err, "no D2XX library here\n");
}

TEST(TalvexctlUsbSerial, BackupRestoreAndTheChipNamedBySerial)
{
    CliBench bench;
    test::TempFolder folder;
    bench.sim.context.setUsbSerialBackupDirectory(folder.path("backups"));
    const std::string saved = folder.path("saved.bin");

    const CliResult backup = bench.run({"usb-serial", "backup", "--out", saved});
    ASSERT_EQ(backup.status, 0) << backup.err;
    EXPECT_TRUE(contains(backup.out, "EEPROM of FTDI chip TLVX0001: 128 bytes, checksum ")) << backup.out;
    EXPECT_TRUE(contains(backup.out, "(valid), saved to " + saved));
    EXPECT_EQ(readEepromFile(saved).words, buildEepromImage(SimulatedFtdi::kFactorySerial));

    EXPECT_EQ(bench.run({"usb-serial", "write", "NEW1", "--serial", "TLVX0001"}).status, 0);
    const CliResult wrongChip = bench.run({"usb-serial", "write", "NEW2", "--serial", "NOPE"});
    EXPECT_EQ(wrongChip.status, 3);
    EXPECT_TRUE(contains(wrongChip.err, "no attached FTDI chip has the serial number \"NOPE\" (attached: TLVX0001)"))
        << wrongChip.err;
    EXPECT_EQ(bench.ftdi->eeprom(), buildEepromImage("NEW1"));

    // The write saved what the chip held before it, and the log named it.
    const auto backups = std::filesystem::directory_iterator(folder.path("backups"));
    const auto first = std::filesystem::begin(backups);
    ASSERT_NE(first, std::filesystem::end(backups));
    EXPECT_EQ(readEepromFile(first->path()).words, buildEepromImage(SimulatedFtdi::kFactorySerial));

    const CliResult restored = bench.run({"usb-serial", "restore", saved});
    EXPECT_EQ(restored.status, 0) << restored.err;
    EXPECT_EQ(restored.out, "Restore EEPROM: OK. Please, unplug and restart Talvex !\n");
    EXPECT_EQ(bench.ftdi->eeprom(), buildEepromImage(SimulatedFtdi::kFactorySerial));
}

TEST(TalvexctlUsbSerial, RestoreRefusesABadFileUnlessForced)
{
    CliBench bench;
    test::TempFolder folder;
    bench.sim.context.setUsbSerialBackupDirectory(folder.path("backups"));
    EepromWords broken = buildEepromImage("NEW1");
    broken[kEepromChecksumWord] ^= 0x0001;
    std::string error;
    ASSERT_TRUE(writeEepromFile(folder.path("broken.bin"), broken, error));
    const std::string shortFile = folder.write("short.bin", std::vector<std::uint8_t>(100, 0x41));

    const CliResult refused = bench.run({"usb-serial", "restore", folder.path("broken.bin")});
    EXPECT_EQ(refused.status, 2);
    EXPECT_TRUE(contains(refused.err, "broken.bin's checksum does not match its words")) << refused.err;
    EXPECT_TRUE(contains(refused.err, "nothing was written (--force writes it anyway)"));
    const CliResult shortRefused = bench.run({"usb-serial", "restore", shortFile});
    EXPECT_EQ(shortRefused.status, 2);
    EXPECT_TRUE(contains(shortRefused.err, "short.bin has 100 bytes; an EEPROM image has 128")) << shortRefused.err;
    EXPECT_EQ(bench.ftdi->eeprom(), buildEepromImage(SimulatedFtdi::kFactorySerial));
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

#if defined(TALVEX_LIBFTDI_STANDIN)

namespace {

// talvexctl as a program of its own, where only the stand-in libftdi can
// be found under libftdi's real name, its chips in `state`, its backups
// under `data`.
CliResult talvexctlOnLibftdi(const std::string& state, const std::string& data, std::vector<std::string> args)
{
    test::TempFolder folder;
    const std::string out = folder.path("out");
    const std::string err = folder.path("err");
    std::vector<std::string> environment {"LD_LIBRARY_PATH=" TALVEX_LIBFTDI_STANDIN_DIR,
                                          std::string(standin::kLibftdiStateVariable) + "=" + state,
                                          "XDG_DATA_HOME=" + data};
    for (char** variable = environ; *variable; ++variable) {
        const std::string entry = *variable;
        if (entry.rfind("LD_LIBRARY_PATH=", 0) != 0 && entry.rfind("XDG_DATA_HOME=", 0) != 0
            && entry.rfind("TALVEX_", 0) != 0)
            environment.push_back(entry);
    }
    std::vector<char*> envp;
    for (auto& entry : environment)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    args.insert(args.begin(), TALVEXCTL_PATH);
    std::vector<char*> argv;
    for (auto& arg : args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    pid_t pid = -1;
    CliResult result;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0)
        return result;
    int status = 0;
    if (::waitpid(pid, &status, 0) == pid && WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    const auto text = [](const std::string& path) {
        std::ifstream file(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
    };
    result.out = text(out);
    result.err = text(err);
    return result;
}

} // namespace

TEST(TalvexctlOnLibftdi, WithoutD2xxListsBacksUpWritesVerifiesAndRestores)
{
    test::StandinBench chips(standin::kLibftdiStateVariable);
    test::TempFolder folder;
    const std::string data = folder.path("data");
    standin::Chip& programmer = chips.addChip("TLVX0001", "TalvexUSB", 0);
    programmer.id = 0x04036010;
    programmer.eeprom = buildEepromImage("TLVX0001");
    chips.save();
    const auto run = [&](std::vector<std::string> args) { return talvexctlOnLibftdi(chips.statePath(), data, args); };

    const CliResult list = run({"usb-serial", "list"});
    ASSERT_EQ(list.status, 0) << list.err;
    EXPECT_EQ(list.out,
              "Device 0:\n   ID=0x4036010\n   LocId=0x102\n   SerialNumber=TLVX0001\n   Description=TalvexUSB\n\n");
    EXPECT_TRUE(contains(list.err, "USB serial number through libftdi (libftdi1.so.2).")) << list.err;

    const std::string saved = folder.path("before.bin");
    EXPECT_EQ(run({"usb-serial", "backup", "--out", saved}).status, 0);
    EXPECT_EQ(readEepromFile(saved).words, buildEepromImage("TLVX0001"));

    const CliResult write = run({"usb-serial", "write", "NEW1"});
    ASSERT_EQ(write.status, 0) << write.err;
    EXPECT_EQ(write.out, "Write serial number: NEW1     OK. Please, unplug and restart Talvex !\n");
    EXPECT_TRUE(contains(write.err, "EEPROM backup saved to " + data + "/talvex/eeprom-backups/eeprom-TLVX0001-"))
        << write.err;
    EXPECT_TRUE(contains(write.err, "EEPROM verified: all 64 words read back as written."));
    standin::Chip after = chips.reload().chips[0];
    EXPECT_EQ(after.eeprom, buildEepromImage("NEW1    "));
    EXPECT_EQ(after.sioDetached, 0U) << "the port is back";
    EXPECT_EQ(after.reattaches, 2) << "once after the backup, once after the write";

    const CliResult restore = run({"usb-serial", "restore", saved, "--ftdi-library", "libftdi"});
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_EQ(chips.reload().chips[0].eeprom, buildEepromImage("TLVX0001"));

    const CliResult d2xx = run({"usb-serial", "list", "--ftdi-library", "d2xx"});
    EXPECT_EQ(d2xx.status, 1);
    EXPECT_TRUE(contains(d2xx.err, "the FTDI D2XX library libftd2xx.so could not be loaded")) << d2xx.err;
}

TEST(TalvexctlOnLibftdi, SeveralChipsAHeldChipAndADisconnectAreRefusedClearly)
{
    test::StandinBench chips(standin::kLibftdiStateVariable);
    test::TempFolder folder;
    const std::string data = folder.path("data");
    for (const char* serial : {"TLVX0001", "TLVX0002"}) {
        standin::Chip& chip = chips.addChip(serial, "TalvexUSB", 0);
        chip.id = 0x04036010;
        chip.eeprom = buildEepromImage(serial);
    }
    chips.state.chips[1].heldElsewhere = true;
    chips.state.chips[0].vanishAfterWrites = 20;
    chips.save();
    const auto run = [&](std::vector<std::string> args) { return talvexctlOnLibftdi(chips.statePath(), data, args); };

    const CliResult unnamed = run({"usb-serial", "write", "NEW1"});
    EXPECT_EQ(unnamed.status, 2);
    EXPECT_TRUE(contains(unnamed.err, "2 FTDI chips are attached (TLVX0001, TLVX0002)")) << unnamed.err;

    const CliResult held = run({"usb-serial", "write", "NEW1", "--serial", "TLVX0002"});
    EXPECT_EQ(held.status, 4);
    EXPECT_TRUE(contains(held.err, "is held by another program")) << held.err;

    const CliResult tooLong = run({"usb-serial", "write", "NEW123456", "--serial", "TLVX0001"});
    EXPECT_EQ(tooLong.status, 2);
    EXPECT_TRUE(contains(tooLong.err, "is not a USB serial number")) << tooLong.err;
    EXPECT_EQ(chips.reload().chips[0].wordWrites, 0);

    const CliResult cut = run({"usb-serial", "write", "NEW1", "--serial", "TLVX0001"});
    EXPECT_EQ(cut.status, 5);
    EXPECT_TRUE(contains(cut.err, "went away at EEPROM word 20 of 64")) << cut.err;
    EXPECT_TRUE(contains(cut.err, "the chip may hold a partial image. Plug the programmer in again and restore the "
                                  "backup " + data + "/talvex/eeprom-backups/eeprom-TLVX0001-"))
        << cut.err;
}

TEST(TalvexctlOnLibftdi, SimulateStillUsesTheSimulatedChipEndToEnd)
{
    test::StandinBench chips(standin::kLibftdiStateVariable);
    chips.save();
    test::TempFolder folder;
    const std::string state = folder.path("bench.state");
    const std::string saved = folder.path("factory.bin");
    const auto run = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {"--simulate", "--sim-state", state});
        return talvexctlOnLibftdi(chips.statePath(), folder.path("data"), args);
    };

    const CliResult backup = run({"usb-serial", "backup", "--out", saved});
    ASSERT_EQ(backup.status, 0) << backup.err;
    EXPECT_TRUE(contains(backup.err, "USB serial number through the simulated programmer's FTDI chip (D2XX)."));
    ASSERT_EQ(run({"usb-serial", "write", "LINE42"}).status, 0);
    EXPECT_TRUE(contains(run({"usb-serial", "list"}).out, "SerialNumber=LINE42  A"));
    const CliResult restore = run({"usb-serial", "restore", saved});
    EXPECT_EQ(restore.status, 0) << restore.err;
    EXPECT_TRUE(contains(run({"usb-serial", "list"}).out, "SerialNumber=TLVX0001A"));
    EXPECT_FALSE(std::filesystem::exists(folder.path("data"))) << "a simulated chip's backups stay out of the user's";
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

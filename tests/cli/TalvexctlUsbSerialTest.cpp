// talvexctl's USB serial number commands against the simulated FTDI chip,
// the EEPROM image file, and the version check against a loopback server.

#include "cli/CliBench.h"
#include "firmware/UploadBench.h"
#include "update/LoopbackServer.h"
#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

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
    EXPECT_TRUE(contains(notOpened.err, "FTDI device 1 could not be opened"));

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

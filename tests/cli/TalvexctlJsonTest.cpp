// talvexctl's --json outputs with texts that JSON must escape: quotes,
// backslashes and control characters from an FTDI description or a port
// name, and bytes above 0x7F, kept when they are UTF-8 and replaced by
// U+FFFD when not, so that any JSON reader takes the line.

#include "cli/CliBench.h"
#include "firmware/UploadBench.h"
#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <nlohmann/json.hpp>

using namespace talvex;
using talvex::test::CliBench;
using talvex::test::CliResult;

namespace {

using Json = nlohmann::json;

constexpr const char* kReplacement = "\xEF\xBF\xBD"; // U+FFFD in UTF-8

// The EEPROM image the tool writes, with its product name (the FTDI
// description) replaced by `product` in the free words after the serial
// number; the chip shows it after a replug.
EepromWords imageWithProduct(const std::string& product)
{
    EepromWords words = buildEepromImage("TLVX0001");
    constexpr std::size_t kFreeWord = 35; // after the three descriptors
    EXPECT_LE(kFreeWord + 1 + product.size(), kEepromChecksumWord);
    const auto byteLength = static_cast<std::uint16_t>(2 + 2 * product.size());
    words[kProductPointerWord] = static_cast<std::uint16_t>(byteLength << 8 | (0x80 + 2 * kFreeWord));
    words[kFreeWord] = static_cast<std::uint16_t>(0x03 << 8 | byteLength);
    for (std::size_t i = 0; i < product.size(); ++i)
        words[kFreeWord + 1 + i] = static_cast<unsigned char>(product[i]);
    words[kEepromChecksumWord] = ftdiEepromChecksum(words);
    return words;
}

// One line of JSON, read by a strict reader (it refuses raw control
// characters and invalid UTF-8).
Json parsedLine(const CliResult& result)
{
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_FALSE(result.out.empty());
    EXPECT_EQ(result.out.find('\n'), result.out.size() - 1) << "one line: " << result.out;
    try {
        return Json::parse(result.out);
    } catch (const Json::exception& error) {
        ADD_FAILURE() << "not JSON: " << error.what() << "\n" << result.out;
        return {};
    }
}

struct TextCase {
    std::string what;
    std::string raw;
    std::string decoded;
};

const std::vector<TextCase> kPortNames = {
    {"quote", "COM\"3", "COM\"3"},
    {"backslash", "\\\\.\\COM3", "\\\\.\\COM3"},
    {"control characters", "a\tb\nc\rd\x01\x1f\x7f", "a\tb\nc\rd\x01\x1f\x7f"},
    {"valid UTF-8", "caf\xC3\xA9-\xE2\x82\xAC-\xF0\x9F\x94\x8C", "caf\xC3\xA9-\xE2\x82\xAC-\xF0\x9F\x94\x8C"},
    {"lone bytes", "x\xFFy\x80z", std::string("x") + kReplacement + "y" + kReplacement + "z"},
    {"broken sequence", "\xC3" "A", std::string(kReplacement) + "A"},
    {"cut at the end", "COM\xE2\x82", std::string("COM") + kReplacement},
};

} // namespace

TEST(TalvexctlJson, FtdiDescriptionIsEscapedAndMadeValidUtf8)
{
    const std::string product = "\"Q\\/\x01\t\n\x1f" "\xC3\xA9\xE2\x82\xAC" "\xFF\xC3" "A\x80\x7F";
    const std::string decoded = std::string("\"Q\\/\x01\t\n\x1f") + "\xC3\xA9\xE2\x82\xAC" + kReplacement +
                                kReplacement + "A" + kReplacement + "\x7F";
    CliBench bench;
    bench.ftdi->setEeprom(imageWithProduct(product));
    bench.ftdi->replug();

    const Json list = parsedLine(bench.run({"usb-serial", "list", "--json"}));
    ASSERT_TRUE(list.is_array()) << list;
    ASSERT_EQ(list.size(), 2u) << list;
    EXPECT_EQ(list[0]["description"], decoded + " A");
    EXPECT_EQ(list[1]["description"], decoded + " B");
    EXPECT_EQ(list[1]["serialNumber"], "TLVX0001B");
    EXPECT_EQ(list[1]["location"], "0x2111");
    EXPECT_EQ(list[0]["index"], 0);
}

TEST(TalvexctlJson, PortNamesAreEscapedAndMadeValidUtf8)
{
    for (const TextCase& name : kPortNames) {
        CliBench bench;
        bench.sim.addProgrammer(name.raw, "COM4");
        for (const char* command : {"info", "settings"}) {
            const Json object = parsedLine(bench.run({"--answer-delay", "150", command, "--port", name.raw, "--json"}));
            ASSERT_TRUE(object.is_object()) << name.what << " " << command;
            EXPECT_EQ(object["port"], name.decoded) << name.what << " " << command;
            EXPECT_EQ(object["variant"], "normal") << name.what << " " << command;
            EXPECT_EQ(object["reader"], 1) << name.what << " " << command;
        }
    }
}

// The members' order is pinned by TalvexctlDiscovery's exact outputs.
TEST(TalvexctlJson, NothingKnownIsNull)
{
    CliBench boot;
    boot.sim.addProgrammer("COM3", "COM4")->setFirmware(SimulatedProgrammer::Firmware::BootLoader);
    const Json info = parsedLine(boot.run({"--answer-delay", "150", "info", "--port", "COM3", "--json"}));
    EXPECT_TRUE(info.contains("reader")) << info;
    EXPECT_TRUE(info["reader"].is_null()) << info;
}

TEST(TalvexctlJson, AtrCardNamesFromAListThatIsNotUtf8AreReplacedNotFatal)
{
    CliBench bench;
    test::TempFolder folder;
    const std::string list = folder.path("smartcard_list.txt");
    std::ofstream(list, std::ios::binary) << "3B 02 14 50\n\tCarte d\xE9" "faut \xC3\n";

    const Json atr = parsedLine(bench.run({"atr", "3B021450", "--json", "--card-list", list}));
    EXPECT_EQ(atr["card"], std::string("Carte d") + kReplacement + "faut " + kReplacement) << atr;
}

#include "protocol/CommandText.h"
#include "protocol/VersionText.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(CommandText, DigitsBecomeBytesByTheDeviceRules)
{
    using Bytes = std::vector<std::uint8_t>;
    EXPECT_EQ(commandFrame("0102020300003D"), (Bytes{0x01, 0x02, 0x02, 0x03, 0x00, 0x00, 0x3D}));
    // Lower case and anything outside 1-9, A-F count 0.
    EXPECT_EQ(commandFrame("0a"), (Bytes{0x00}));
    EXPECT_EQ(commandFrame("fF"), (Bytes{0x0F}));
    EXPECT_EQ(commandFrame("G1-9"), (Bytes{0x01, 0x09}));
    // A trailing odd digit is not sent.
    EXPECT_EQ(commandFrame("FD0"), (Bytes{0xFD}));
    EXPECT_EQ(commandFrame(""), Bytes{});
}

TEST(CommandText, FrameIsLimitedTo1024Bytes)
{
    EXPECT_EQ(commandFrame(std::string(2048, 'A'))->size(), 1024u);
    EXPECT_EQ(commandFrame(std::string(2049, 'A'))->size(), 1024u);
    EXPECT_FALSE(commandFrame(std::string(2050, 'A')).has_value());
}

TEST(CommandText, HexTextAndItsCaseBlindReading)
{
    EXPECT_EQ(toHexText({0x00, 0xA5, 0x3D, 0xFF}), "00A53DFF");
    EXPECT_EQ(textDigitValue('a'), 10);
    EXPECT_EQ(textDigitValue('A'), 10);
    EXPECT_EQ(textDigitValue('Z'), 35);
    EXPECT_FALSE(textDigitValue('.').has_value());
}

TEST(VersionText, FirmwareAndToolVersions)
{
    EXPECT_EQ(firmwareVersionText("10A"), "1.10");
    EXPECT_EQ(firmwareVersionNumber("10A"), 110);
    EXPECT_EQ(firmwareVersionText("105"), "1.05");
    EXPECT_EQ(firmwareVersionNumber("105"), 105);
    EXPECT_EQ(firmwareVersionText("1a0"), "1.160");
    // A major that is no decimal digit counts 0 in the number only.
    EXPECT_EQ(firmwareVersionText("A01"), "A.01");
    EXPECT_EQ(firmwareVersionNumber("A01"), 1);
    EXPECT_EQ(firmwareVersionText(""), "");
    EXPECT_EQ(toolVersionText(10501), "1.05.01");
}

#include "ftdi/D2xxTypes.h"
#include "usbserial/UsbSerialText.h"
#include "usbserial/UsbSerialTool.h"

#include <gtest/gtest.h>

using namespace talvex;

TEST(UsbSerialText, GenerateTakesCharactersFifteenToTwentyTwo)
{
    UsbSerialTool tool(FtdiLoadResult {nullptr, "no library", {}});
    const UsbSerialGenerated generated = tool.generate("0123456789ABCDEF0123456789ABCDEF");
    EXPECT_EQ(generated.serialText, "EF012345");
    EXPECT_TRUE(generated.canWrite);
    EXPECT_TRUE(generated.logLines.empty());
    // "generate" needs no library: it only fills the edit.
    EXPECT_EQ(tool.generate("00000000000000abcdef999999999999").serialText, "abcdef99");
}

TEST(UsbSerialText, GenerateWithoutAProgrammerSerialChangesNothingAndSaysWhy)
{
    UsbSerialTool tool(FtdiLoadResult {nullptr, "no library", {}});
    // The label's design text, nothing, one digit short or long, not hex.
    for (const char* label : {"Serial", "", "0123456789ABCDEF0123456789ABCDE", "0123456789ABCDEF0123456789ABCDEF0",
                              "0123456789ABCDEF0123456789ABCDEG"}) {
        const UsbSerialGenerated generated = tool.generate(label);
        EXPECT_FALSE(generated.serialText.has_value()) << label;
        EXPECT_FALSE(generated.canWrite) << label;
        ASSERT_EQ(generated.logLines.size(), 1U) << label;
        EXPECT_NE(generated.logLines[0].find("32 hexadecimal digits"), std::string::npos);
        EXPECT_NE(generated.logLines[0].find("nothing was changed"), std::string::npos);
    }
}

TEST(UsbSerialText, PaddingAndAllowedCharacters)
{
    EXPECT_EQ(padUsbSerial("AB12"), "AB12    ");
    EXPECT_EQ(padUsbSerial(""), "        ");
    EXPECT_EQ(padUsbSerial("FT9ABCDEFG"), "FT9ABCDE");

    EXPECT_TRUE(isUsbSerialText("Ab 09zZ"));
    EXPECT_TRUE(isUsbSerialText("12345678"));
    EXPECT_FALSE(isUsbSerialText("123456789")) << "nine characters";
    EXPECT_FALSE(isUsbSerialText("AB-12")) << "a dash";
    EXPECT_FALSE(isUsbSerialText("\xC3\xA4")) << "a non-ASCII letter";
    EXPECT_FALSE(isUsbSerialText(std::string("A\0B", 3))) << "a zero byte";
}

TEST(UsbSerialText, RecordFieldsStopAtTheTerminatorOrTheFieldsEnd)
{
    FtDeviceListInfoNode node{};
    std::copy_n("FT123\0junk", 10, node.SerialNumber);
    EXPECT_EQ(d2xxFieldText(node.SerialNumber, sizeof node.SerialNumber), "FT123");
    std::fill(std::begin(node.SerialNumber), std::end(node.SerialNumber), 'X');
    EXPECT_EQ(d2xxFieldText(node.SerialNumber, sizeof node.SerialNumber), std::string(16, 'X'));
}


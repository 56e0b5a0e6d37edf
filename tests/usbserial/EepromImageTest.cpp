#include "usbserial/EepromImage.h"

#include <gtest/gtest.h>

#include <iterator>
#include <cstdint>
#include <string>

using namespace talvex;

namespace {

// The words from `first` on as the text they hold, one character a word;
// a word with its high byte set shows as '?'.
std::string textAt(const EepromWords& image, std::size_t first, std::size_t count)
{
    std::string text;
    for (std::size_t word = first; word < first + count; ++word)
        text += image[word] < 0x100 ? static_cast<char>(image[word]) : '?';
    return text;
}

} // namespace

TEST(EepromImage, FixedWordsFollowTheFtdiLayout)
{
    const EepromWords image = buildEepromImage("EF012345");
    const std::uint16_t fixed[] = {0x0808, 0x0403, 0x6010, 0x0500, 0x3280, 0x0008, 0x0200};
    for (std::size_t word = 0; word < std::size(fixed); ++word)
        EXPECT_EQ(image[word], fixed[word]) << "word " << word;
    EXPECT_EQ(image[10], 0x0046);
}

TEST(EepromImage, DescriptorsFollowEachOtherFromWordElevenWithTheirPointers)
{
    const EepromWords image = buildEepromImage("EF012345");
    // Manufacturer at byte 22: pointer 0x80 + 22 = 0x96, 10 bytes.
    EXPECT_EQ(image[7], 0x0A96);
    EXPECT_EQ(image[11], 0x030A);
    EXPECT_EQ(textAt(image, 12, 4), "FTDI");
    // Product at byte 32 (0xA0): 2 + 2 × 9 = 20 bytes.
    EXPECT_EQ(image[8], 0x14A0);
    EXPECT_EQ(image[16], 0x0314);
    EXPECT_EQ(textAt(image, 17, 9), "TalvexUSB");
    // Serial number at byte 52 (0xB4): header 0x0312, 8 slots.
    EXPECT_EQ(image[9], 0x12B4);
    EXPECT_EQ(image[26], 0x0312);
    EXPECT_EQ(textAt(image, 27, 8), "EF012345");
    for (std::size_t word = 35; word <= 62; ++word)
        EXPECT_EQ(image[word], 0) << "free word " << word;
}

TEST(EepromImage, ShortSerialIsPaddedWithSpacesAndLongOneCut)
{
    EXPECT_EQ(textAt(buildEepromImage("AB12"), 27, 8), "AB12    ");
    const EepromWords longOne = buildEepromImage("ABCDEFGHIJ");
    EXPECT_EQ(textAt(longOne, 27, 8), "ABCDEFGH");
    EXPECT_EQ(longOne[35], 0) << "the descriptor must not run past its 8 slots";
}

TEST(EepromImage, ChecksumFollowsFtdiRule)
{
    // Hand-worked values: with all words zero, 0xAAAA is rotated 63 times,
    // i.e. right by one: 0x5555.
    EepromWords words{};
    EXPECT_EQ(ftdiEepromChecksum(words), 0x5555);
    // 0xAAAA ^ 0x5555 = 0xFFFF, which every rotation keeps.
    words[0] = 0x5555;
    EXPECT_EQ(ftdiEepromChecksum(words), 0xFFFF);
    // After 62 rotations 0xAAAA is itself again; ^1 gives 0xAAAB, rotated 0x5557.
    words = {};
    words[62] = 0x0001;
    EXPECT_EQ(ftdiEepromChecksum(words), 0x5557);
    // Word 63 is the checksum's own place and does not count.
    words[63] = 0x1234;
    EXPECT_EQ(ftdiEepromChecksum(words), 0x5557);
}

TEST(EepromImage, StringDescriptorsReadBack)
{
    const EepromWords image = buildEepromImage("AB12");
    EXPECT_EQ(eepromString(image, kManufacturerPointerWord), "FTDI");
    EXPECT_EQ(eepromString(image, kProductPointerWord), "TalvexUSB");
    EXPECT_EQ(eepromString(image, kSerialPointerWord), "AB12    ");

    EepromWords blank;
    blank.fill(0xFFFF);
    EXPECT_FALSE(eepromString(blank, kSerialPointerWord).has_value());

    EepromWords brokenHeader = image;
    brokenHeader[26] = 0x0310; // length no longer matches the pointer word
    EXPECT_FALSE(eepromString(brokenHeader, kSerialPointerWord).has_value());

    EepromWords pastTheEnd = image;
    pastTheEnd[kSerialPointerWord] = 0x12FC; // would run into the checksum
    EXPECT_FALSE(eepromString(pastTheEnd, kSerialPointerWord).has_value());
}
